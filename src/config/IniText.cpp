#include "config/IniText.h"

#include <stdexcept>

#include "common/StoredText.h"
#include "common/TextCase.h"
#include "common/Utf8Text.h"

namespace sentrel {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";
constexpr std::size_t npos = std::string::npos;

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}


bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != npos;
}

}  // namespace

IniText::Line IniText::MakeLine(std::string text, std::string end) {
    Line line;
    line.text = std::move(text);
    line.end = std::move(end);
    const std::string_view content = Trim(line.text);
    if (content.empty() || content.front() == ';') return line;
    if (content.front() == '[') {
        const std::size_t close = content.rfind(']');
        if (close != npos) {
            line.kind = LineKind::Section;
            line.name = Trim(content.substr(1, close - 1));
            return line;
        }
    }
    line.kind = LineKind::Key;
    const std::size_t equals = content.find('=');
    if (equals == npos) {
        // A key without a value, as the system reads it: it hides later lines of the same key.
        line.name = content;
        return line;
    }
    line.hasValue = true;
    line.name = Trim(content.substr(0, equals));
    std::string_view value = Trim(content.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    line.value = value;
    return line;
}

IniText IniText::ParseUtf16(std::string_view units) {
    IniText ini;
    ini.utf16_ = true;
    ini.byteOrderMark_ = kUtf16LeByteOrderMark;
    if (units.size() % 2 != 0) {
        ini.oddByte_ = units.substr(units.size() - 1);
        units.remove_suffix(1);
    }
    const auto isUnit = [&](std::size_t at, char c) { return units[at] == c && units[at + 1] == '\0'; };
    std::size_t start = 0;
    while (start < units.size()) {
        std::size_t newline = start;
        while (newline < units.size() && !isUnit(newline, '\n')) newline += 2;
        const bool ended = newline < units.size();
        const bool crlf = ended && newline >= start + 2 && isUnit(newline - 2, '\r');
        const std::size_t textEnd = crlf ? newline - 2 : newline;
        const std::size_t next = ended ? newline + 2 : units.size();
        Line line = MakeLine(Utf8FromUtf16Le(units.substr(start, textEnd - start)),
                             ended ? (crlf ? "\r\n" : "\n") : "");
        line.raw = units.substr(start, next - start);
        ini.lines_.push_back(std::move(line));
        start = next;
    }
    return ini;
}

IniText IniText::Parse(std::string_view bytes) {
    return Parse(bytes, LegacyCodePage());
}

IniText IniText::Parse(std::string_view bytes, unsigned legacyCodePage) {
    if (bytes.starts_with(kUtf16LeByteOrderMark)) return ParseUtf16(bytes.substr(kUtf16LeByteOrderMark.size()));
    IniText ini;
    if (bytes.starts_with(kUtf8ByteOrderMark)) {
        ini.byteOrderMark_ = kUtf8ByteOrderMark;
        bytes.remove_prefix(kUtf8ByteOrderMark.size());
    }
    const std::string text = Utf8FromStoredText(bytes, legacyCodePage);
    bytes = text;
    while (!bytes.empty()) {
        const std::size_t newline = bytes.find('\n');
        if (newline == npos) {
            ini.lines_.push_back(MakeLine(std::string(bytes), {}));
            break;
        }
        const bool crlf = newline > 0 && bytes[newline - 1] == '\r';
        const std::size_t textLength = crlf ? newline - 1 : newline;
        ini.lines_.push_back(MakeLine(std::string(bytes.substr(0, textLength)), crlf ? "\r\n" : "\n"));
        bytes.remove_prefix(newline + 1);
    }
    return ini;
}

std::string IniText::ToText() const {
    std::string text = byteOrderMark_;
    for (const Line& line : lines_) {
        if (!utf16_) {
            text += line.text;
            text += line.end;
        } else if (!line.raw.empty()) {
            text += line.raw;  // unchanged: its own units, even where the code page has no character
        } else {
            text += Utf16LeFromUtf8(line.text + line.end);
        }
    }
    return text + oddByte_;
}

std::size_t IniText::FindSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == LineKind::Section && SameIgnoringCase(lines_[i].name, section)) return i;
    }
    return npos;
}

std::size_t IniText::SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < lines_.size() && lines_[i].kind != LineKind::Section) ++i;
    return i;
}

std::size_t IniText::FindKey(std::size_t header, std::string_view key) const {
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind == LineKind::Key && SameIgnoringCase(lines_[i].name, key)) return i;
    }
    return npos;
}

std::optional<std::string> IniText::Get(std::string_view section, std::string_view key) const {
    const std::size_t header = FindSection(section);
    if (header == npos) return std::nullopt;
    const std::size_t line = FindKey(header, key);
    if (line == npos || !lines_[line].hasValue) return std::nullopt;
    return lines_[line].value;
}

void IniText::InsertLine(std::size_t at, std::string text) {
    // The line before the new one must end, or the two would run together.
    if (at > 0 && lines_[at - 1].end.empty()) {
        Line& before = lines_[at - 1];
        before.end = "\r\n";
        if (!before.raw.empty()) before.raw += Utf16LeFromUtf8(before.end);
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), MakeLine(std::move(text), "\r\n"));
}

void IniText::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (section.empty() || section != Trim(section) || HasLineBreak(section) || section.find(']') != npos) {
        throw std::invalid_argument("An INI section name cannot be \"" + std::string(section) + "\"");
    }
    if (key.empty() || key != Trim(key) || HasLineBreak(key) || key.find('=') != npos || key.front() == '[' ||
        key.front() == ';') {
        throw std::invalid_argument("An INI key name cannot be \"" + std::string(key) + "\"");
    }
    if (HasLineBreak(value)) throw std::invalid_argument("An INI value cannot hold a line break");

    std::size_t header = FindSection(section);
    if (header == npos) {
        InsertLine(lines_.size(), "[" + std::string(section) + "]");
        header = lines_.size() - 1;
    }
    const std::size_t existing = FindKey(header, key);
    if (existing != npos) {
        Line& line = lines_[existing];
        line = MakeLine(line.name + "=" + std::string(value), std::move(line.end));
        return;
    }
    std::size_t at = header + 1;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind == LineKind::Key && lines_[i].hasValue) at = i + 1;
    }
    InsertLine(at, std::string(key) + "=" + std::string(value));
}

bool IniText::EraseKey(std::string_view section, std::string_view key) {
    const std::size_t header = FindSection(section);
    if (header == npos) return false;
    const std::size_t line = FindKey(header, key);
    if (line == npos) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(line));
    return true;
}

bool IniText::EraseSection(std::string_view section) {
    const std::size_t header = FindSection(section);
    if (header == npos) return false;
    const std::size_t end = SectionEnd(header);
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(end));
    return true;
}

std::vector<std::string> IniText::SectionNames() const {
    std::vector<std::string> names;
    for (const Line& line : lines_) {
        if (line.kind == LineKind::Section) names.push_back(line.name);
    }
    return names;
}

std::vector<std::string> IniText::KeyNames(std::string_view section) const {
    std::vector<std::string> names;
    const std::size_t header = FindSection(section);
    if (header == npos) return names;
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind != LineKind::Key) continue;
        bool seen = false;
        for (const std::string& name : names) seen = seen || SameIgnoringCase(name, lines_[i].name);
        if (!seen) names.push_back(lines_[i].name);
    }
    return names;
}

}  // namespace sentrel
