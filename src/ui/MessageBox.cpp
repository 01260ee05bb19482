#include "ui/MessageBox.h"

namespace sentrel::ui {

std::string ReadableDetail(const std::string& detail, std::size_t maxLength) {
    std::string text;
    bool lastWasReplaced = false;
    for (const char c : detail) {
        const auto byte = static_cast<unsigned char>(c);
        const bool printable = byte >= 0x20 && byte < 0x7F;
        if (printable) text += c;
        else if (!lastWasReplaced) text += '?';
        lastWasReplaced = !printable;
        if (text.size() >= maxLength) {
            text += "...";
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
