// Outside Windows the program's text is UTF-8.
#include "common/SystemText.h"

#include <cstdint>

namespace sentrel {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

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

void AppendUnit(std::string& units, std::uint16_t unit) {
    units += static_cast<char>(unit & 0xFF);
    units += static_cast<char>(unit >> 8);
}

}  // namespace

std::string SystemTextFromUtf16Le(std::string_view units) {
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

std::string Utf16LeFromSystemText(std::string_view text) {
    std::string units;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const int length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        char32_t c = kReplacement;
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        if (valid) {
            c = length == 1 ? byte : byte & (0x7F >> length);
            for (int k = 1; k < length && valid; ++k) {
                const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
                valid = (next & 0xC0) == 0x80;
                c = (c << 6) | (next & 0x3F);
            }
        }
        if (!valid || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            c = kReplacement;
            i += 1;
        } else {
            i += static_cast<std::size_t>(length);
        }
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
