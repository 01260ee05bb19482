#include "ui/Window.h"

namespace sentrel::ui {

void Window::RegisterWindowClass(const char* className, UINT style, HICON icon, HBRUSH background) {
    WNDCLASSEXA description{};
    description.style = style;
    description.hIcon = icon;
    description.hIconSm = icon;
    description.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    description.hbrBackground = background ? background : reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    description.lpszClassName = className;
    RegisterLinkedClass(description);
}

}  // namespace sentrel::ui
