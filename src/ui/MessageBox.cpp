#include "ui/MessageBox.h"

#include "common/SafeDisplayText.h"

namespace sentrel::ui {

std::string ReadableDetail(const std::string& detail, std::size_t maxLength) {
    return SafeDisplayText(detail, maxLength);
}

void ShowError(const std::string& text, HWND owner) {
    MessageBoxA(owner, text.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void ShowInformation(const std::string& text, HWND owner) {
    MessageBoxA(owner, text.c_str(), kApplicationTitle, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

}  // namespace sentrel::ui
