#include "database/Mask.h"

#include "common/TextCase.h"
#include "common/Utf8Text.h"

namespace sentrel {

namespace {

// The folded character at `at`, moving `at` past it.
char32_t NextFolded(std::string_view text, std::size_t& at) noexcept {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
        ++at;
        return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
    }
    return FoldCase(NextCodePoint(text, at));
}

}  // namespace

bool MatchesMask(std::string_view text, std::string_view mask) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < text.size() && j < mask.size()) {
        const char32_t c = NextFolded(mask, j);
        if (c == '*') {
            if (j == mask.size()) return true;
            std::size_t after = j;
            const char32_t next = NextFolded(mask, after);
            if (next == '*' || next == '?') throw InvalidMaskError();
            std::size_t at = i;
            while (i < text.size() && NextFolded(text, at) != next) i = at;
            if (i == text.size()) return false;
        } else if (c == '?') {
            NextFolded(text, i);
        } else if (NextFolded(text, i) != c) {
            return false;
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
