#include "ui/MessageBox.h"

namespace sentrel::ui {

void ShowError(const std::string& text, HWND owner) {
    MessageBoxA(owner, text.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void ShowInformation(const std::string& text, HWND owner) {
    MessageBoxA(owner, text.c_str(), kApplicationTitle, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

}  // namespace sentrel::ui
