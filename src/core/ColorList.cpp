#include "core/ColorList.h"

#include <algorithm>
#include <stdexcept>

#include "common/Files.h"
#include "common/TextCase.h"
#include "common/Utf8Text.h"

namespace sentrel {

TColorList::TColorList(std::string path, unsigned legacyCodePage) : path_(std::move(path)) {
    if (!FileExists(path_)) WriteFileAtomically(path_, std::string());
    std::string text = ReadFileText(path_);
    if (std::string_view(text).starts_with(kUtf16LeByteOrderMark)) {
        utf16_ = true;
        text = Utf8FromUtf16Le(std::string_view(text).substr(kUtf16LeByteOrderMark.size()));
    } else {
        text = Utf8FromStoredText(text, legacyCodePage);
    }
    entries_ = ParseLines(text);
}

std::vector<std::string> TColorList::ParseLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

bool TColorList::Contains(std::string_view text) const {
    if (text.empty()) return false;
    return std::any_of(entries_.begin(), entries_.end(),
                       [text](const std::string& entry) { return SameIgnoringCase(entry, text); });
}

void TColorList::AddAndSave(std::string text) {
    entries_.push_back(std::move(text));
    try {
        Save();
    } catch (...) {
        entries_.pop_back();
        throw;
    }
}

void TColorList::AddAllAndSave(const std::vector<std::string>& lines) {
    const std::size_t oldCount = entries_.size();
    entries_.insert(entries_.end(), lines.begin(), lines.end());
    try {
        Save();
    } catch (...) {
        entries_.resize(oldCount);
        throw;
    }
}

void TColorList::ReplaceAllAndSave(const std::vector<std::string>& lines) {
    std::vector<std::string> old = std::move(entries_);
    entries_ = lines;
    try {
        Save();
    } catch (...) {
        entries_ = std::move(old);
        throw;
    }
}

void TColorList::Replace(std::size_t index, std::string text) {
    entries_.at(index) = std::move(text);
}

void TColorList::Delete(std::size_t index) {
    if (index >= entries_.size()) throw std::out_of_range("no entry " + std::to_string(index) + " in " + path_);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TColorList::Clear() {
    entries_.clear();
}

void TColorList::Save() {
    std::string text;
    for (const std::string& entry : entries_) {
        text += entry;
        text += "\r\n";
    }
    if (utf16_) text = std::string(kUtf16LeByteOrderMark) + Utf16LeFromUtf8(text);
    WriteFileAtomically(path_, text);
}

}  // namespace sentrel
