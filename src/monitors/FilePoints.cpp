#include "monitors/FilePoints.h"

#include <charconv>
#include <vector>

#include "common/SafeDisplayText.h"
#include "common/Utf8Text.h"
#include "database/Table.h"

namespace sentrel {

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::string_view WithoutSeparators(std::string_view text) {
    while (!text.empty() && IsSeparator(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSeparator(text.back())) text.remove_suffix(1);
    return text;
}

bool ClimbsOut(std::string_view relative) {
    for (std::size_t start = 0; start <= relative.size();) {
        std::size_t end = start;
        while (end < relative.size() && !IsSeparator(relative[end])) ++end;
        if (relative.substr(start, end - start) == "..") return true;
        start = end + 1;
    }
    return false;
}

template <typename Number>
std::optional<Number> NumberOf(std::string_view text) {
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return number;
}

}  // namespace

std::optional<FilePlace> FilePlaceOf(std::string_view where) {
    // The longest name that begins the place and ends at a separator or at its end.
    std::optional<FilePlace> best;
    std::size_t bestLength = 0;
    for (const auto& [name, folder] : platform::kKnownFolderNames) {
        if (where.size() < name.size() || !SameNameIgnoringCase(where.substr(0, name.size()), name)) continue;
        if (where.size() > name.size() && !IsSeparator(where[name.size()])) continue;
        if (name.size() <= bestLength) continue;
        bestLength = name.size();
        best = FilePlace{folder, std::string(WithoutSeparators(where.substr(name.size())))};
    }
    if (best && ClimbsOut(best->relative)) return std::nullopt;
    return best;
}

bool IsSystemPlace(const FilePlace& place) {
    return place.folder == platform::KnownFolder::System || place.folder == platform::KnownFolder::Windows;
}

std::string WatchedFileRaw(const WatchedFileState& state) {
    return std::to_string(state.size) + " " + std::to_string(state.time) + " " + state.sha256;
}

std::optional<WatchedFileState> WatchedFileOfRaw(std::string_view raw) {
    const std::size_t first = raw.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : raw.find(' ', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const auto size = NumberOf<std::int64_t>(raw.substr(0, first));
    const auto time = NumberOf<std::uint64_t>(raw.substr(first + 1, second - first - 1));
    const std::string_view sha256 = raw.substr(second + 1);
    if (!size || !time || (!sha256.empty() && sha256.size() != 64)) return std::nullopt;
    return WatchedFileState{*size, *time, std::string(sha256)};
}

bool WatchedContentChanged(const WatchedFileState& before, const WatchedFileState& after) {
    if (!before.sha256.empty() && !after.sha256.empty()) return before.sha256 != after.sha256;
    return before.size != after.size || before.time != after.time;
}

std::string FirstLinesShown(std::string_view content) {
    constexpr std::size_t kLooked = 4096;
    std::string text;
    if (content.starts_with("\xFF\xFE")) {
        // UTF-16 (little-endian), as Windows PowerShell writes a profile with ">".
        std::string_view units = content.substr(2, kLooked * 2);
        if (units.size() % 2) units.remove_suffix(1);
        text = Utf8FromUtf16Le(units);
    } else {
        if (content.starts_with(kUtf8ByteOrderMark)) content.remove_prefix(kUtf8ByteOrderMark.size());
        text = std::string(content.substr(0, kLooked));
    }
    if (text.find('\0') != std::string::npos) return {};
    std::string shown;
    std::size_t lines = 0;
    std::size_t start = 0;
    while (lines < kShownLines && start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line;
        for (const char c : std::string_view(text).substr(start, end - start)) {
            if (c == '\t') line += ' ';
            else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) line += c;
        }
        start = end + 1;
        if (line.find_first_not_of(' ') == std::string::npos) continue;
        if (!shown.empty()) shown += '\n';
        shown += SafeDisplayText(line, kShownLineCharacters);
        ++lines;
    }
    return shown;
}

}  // namespace sentrel
