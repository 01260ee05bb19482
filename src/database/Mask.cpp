#include "database/Mask.h"

namespace sentrel {

namespace {

char LowerAscii(char c) noexcept {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool MatchesMask(std::string_view text, std::string_view mask) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < text.size() && j < mask.size()) {
        const char c = LowerAscii(mask[j]);
        if (c == '*') {
            if (j + 1 == mask.size()) return true;
            const char next = LowerAscii(mask[j + 1]);
            if (next == '*' || next == '?') throw InvalidMaskError();
            while (i < text.size() && LowerAscii(text[i]) != next) ++i;
            if (i == text.size()) return false;
            ++j;
        } else if (c == '?') {
            ++i;
            ++j;
        } else {
            if (LowerAscii(text[i]) != c) return false;
            ++i;
            ++j;
        }
    }
    return i == text.size() && j == mask.size();
}

bool IsWellFormedMask(std::string_view mask) noexcept {
    for (std::size_t j = 0; j + 1 < mask.size(); ++j) {
        if (mask[j] == '*' && (mask[j + 1] == '*' || mask[j + 1] == '?')) return false;
    }
    return true;
}

}  // namespace sentrel
