#include "ui/MessageBox.h"

#include <string_view>

namespace sentrel::ui {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text` and the character it
// encodes; 0 when the bytes there are not one (a stray byte, a cut, an overlong or surrogate form).
std::size_t Utf8Sequence(std::string_view text, char32_t& character) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t lowest = 0;
    if (lead < 0x80) {
        character = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, character = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, character = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, character = lead & 0x07, lowest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        character = (character << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    return character < lowest || character > 0x10FFFF || surrogate ? 0 : length;
}

bool IsControl(char32_t character) {
    return character < 0x20 || (character >= 0x7F && character < 0xA0);
}

}  // namespace

std::string ReadableDetail(const std::string& detail, std::size_t maxLength) {
    std::string text;
    std::size_t characters = 0;
    bool lastWasReplaced = false;
    for (std::size_t at = 0; at < detail.size();) {
        char32_t character = 0;
        const std::size_t length = Utf8Sequence(std::string_view(detail).substr(at), character);
        const bool readable = length > 0 && !IsControl(character);
        if (readable) text.append(detail, at, length);
        else if (!lastWasReplaced) text += '?';
        if (readable || !lastWasReplaced) ++characters;
        lastWasReplaced = !readable;
        at += length > 0 ? length : 1;
        if (characters >= maxLength) {
            if (at < detail.size()) text += "...";
            break;
        }
    }
    return text;
}

void ShowError(const std::string& text, HWND owner) {
    MessageBoxA(owner, text.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void ShowInformation(const std::string& text, HWND owner) {
    MessageBoxA(owner, text.c_str(), kApplicationTitle, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

}  // namespace sentrel::ui
