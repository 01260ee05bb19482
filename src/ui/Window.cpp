#include "ui/Window.h"

#include "core/Catcher.h"
#include "platform/Win32Error.h"

namespace sentrel::ui {

Window::~Window() {
    if (hwnd_) {
        // The object goes first: unlink it so late messages do not reach a dead object.
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void Window::RegisterWindowClass(const char* className, UINT style, HICON icon, HBRUSH background) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA existing{sizeof existing};
    if (GetClassInfoExA(instance, className, &existing)) return;

    WNDCLASSEXA wc{sizeof wc};
    wc.style = style;
    wc.lpfnWndProc = &Window::Thunk;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hIconSm = icon;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = background ? background : reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    if (!RegisterClassExA(&wc)) platform::ThrowLastError(std::string("RegisterClassExA(") + className + ")");
}

void Window::CreateWindowOfClass(const char* className, const char* title, DWORD style, DWORD exStyle, int x, int y,
                                 int width, int height, HWND parent) {
    const HWND hwnd = CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, nullptr,
                                      GetModuleHandleA(nullptr), this);
    if (!hwnd) platform::ThrowLastError(std::string("CreateWindowExA(") + className + ")");
}

LRESULT Window::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultHandling(message, wParam, lParam);
}

LRESULT CALLBACK Window::Thunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    Window* self = nullptr;
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        self = static_cast<Window*>(create->lpCreateParams);
        if (self) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);

    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        const LRESULT result = DefWindowProcA(hwnd, message, wParam, lParam);
        self->hwnd_ = nullptr;
        Guarded([self] { self->OnDestroyed(); });
        return result;
    }
    LRESULT result = 0;
    const bool handled = Guarded(
        [&] {
            result = self->HandleMessage(message, wParam, lParam);
            return true;
        },
        false);
    // A handler that failed gives the message its default answer.
    return handled ? result : DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace sentrel::ui
