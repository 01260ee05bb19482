#include "common/SafeDisplayText.h"

#include <algorithm>

#include "common/Utf8Text.h"

namespace sentrel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kEllipsis = 0x2026;

bool IsLineBreakOrTab(char32_t c) {
    return c == '\t' || c == '\n' || c == '\r' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c >= kStrayByteBase;
}

}  // namespace

std::string SafeDisplayText(std::string_view text, std::size_t maxCharacters) {
    std::string shown;
    shown.reserve(std::min(text.size(), maxCharacters * 3));
    std::size_t count = 0;
    std::size_t cutAt = 0;  // the size of `shown` before its last character that still fits an ellipsis
    std::size_t at = 0;
    while (at < text.size()) {
        char32_t c = NextCodePoint(text, at);
        if (c == '\r' && at < text.size() && text[at] == '\n') ++at;  // CR LF is one break
        if (IsLineBreakOrTab(c)) c = ' ';
        else if (IsControl(c)) c = kReplacement;
        if (count == maxCharacters) {
            // One character too many: the last one makes room for the ellipsis.
            shown.resize(cutAt);
            if (maxCharacters > 0) AppendUtf8(shown, kEllipsis);
            return shown;
        }
        if (count + 1 == maxCharacters) cutAt = shown.size();
        AppendUtf8(shown, c);
        ++count;
    }
    return shown;
}

}  // namespace sentrel
