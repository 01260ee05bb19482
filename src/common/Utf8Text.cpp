#include "common/Utf8Text.h"

#include <cstdint>
#include <cstring>

namespace sentrel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUnit(std::string& units, std::uint16_t unit) {
    units += static_cast<char>(unit & 0xFF);
    units += static_cast<char>(unit >> 8);
}

}  // namespace

char32_t NextCodePoint(std::string_view text, std::size_t& at) noexcept {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
        ++at;
        return byte;
    }
    const int length = byte >= 0xC2 && byte <= 0xDF ? 2 : byte >= 0xE0 && byte <= 0xEF ? 3
                       : byte >= 0xF0 && byte <= 0xF4                                  ? 4
                                                                                        : 0;
    const char32_t stray = kStrayByteBase + byte;
    if (length == 0 || text.size() - at < static_cast<std::size_t>(length)) {
        ++at;
        return stray;
    }
    char32_t c = byte & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(k)]);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return stray;
        }
        c = (c << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
        ++at;
        return stray;
    }
    at += static_cast<std::size_t>(length);
    return c;
}

bool IsAscii(std::string_view text) noexcept {
    std::size_t at = 0;
    std::uint64_t bits = 0;
    for (; text.size() - at >= sizeof bits; at += sizeof bits) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, sizeof word);
        bits |= word;
    }
    for (; at < text.size(); ++at) bits |= static_cast<unsigned char>(text[at]);
    return (bits & 0x8080808080808080u) == 0;
}

bool IsValidUtf8(std::string_view text) noexcept {
    std::size_t at = 0;
    while (at < text.size()) {
        // Eight ASCII bytes at a time: most text is ASCII.
        std::uint64_t word = 0;
        if (text.size() - at >= sizeof word) {
            std::memcpy(&word, text.data() + at, sizeof word);
            if ((word & 0x8080808080808080u) == 0) {
                at += sizeof word;
                continue;
            }
        }
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            ++at;
        } else if (NextCodePoint(text, at) >= kStrayByteBase) {
            return false;
        }
    }
    return true;
}

void AppendUtf8(std::string& text, char32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf8FromUtf16Le(std::string_view units) {
    std::string text;
    const std::size_t count = units.size() / 2;
    const auto unitAt = [&](std::size_t i) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(units[2 * i]) |
                                          (static_cast<unsigned char>(units[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t unit = unitAt(i);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < count && unitAt(i + 1) >= 0xDC00 && unitAt(i + 1) < 0xE000) {
            AppendUtf8(text, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            AppendUtf8(text, kReplacement);
        } else {
            AppendUtf8(text, unit);
        }
    }
    return text;
}

std::string Utf16LeFromUtf8(std::string_view text) {
    std::string units;
    units.reserve(text.size() * 2);
    std::size_t at = 0;
    while (at < text.size()) {
        char32_t c = NextCodePoint(text, at);
        if (c >= kStrayByteBase) c = kReplacement;
        if (c >= 0x10000) {
            AppendUnit(units, static_cast<std::uint16_t>(0xD800 + ((c - 0x10000) >> 10)));
            AppendUnit(units, static_cast<std::uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            AppendUnit(units, static_cast<std::uint16_t>(c));
        }
    }
    return units;
}

}  // namespace sentrel
