#include "platform/MessageWindow.h"

#include <string>

#include "common/DiagnosticLog.h"
#include "platform/Win32Error.h"

namespace sentrel::platform {

MessageWindow::MessageWindow(const char* className) : className_(className) {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA existing{sizeof existing};
    if (!GetClassInfoExA(instance, className, &existing)) {
        WNDCLASSEXA wc{sizeof wc};
        wc.lpfnWndProc = &MessageWindow::Thunk;
        wc.hInstance = instance;
        wc.lpszClassName = className;
        if (!RegisterClassExA(&wc)) ThrowLastError(std::string("RegisterClassExA(") + className + ")");
    }
    // The messages of creation arrive before the derived part exists and get the default answer
    // (the virtual call reaches this class); the derived class's own messages come later.
    if (!CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this))
        ThrowLastError(std::string("CreateWindowExA(") + className + ")");
}

MessageWindow::~MessageWindow() {
    if (hwnd_) {
        // The object goes first: unlink it so late messages do not reach a dead object.
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

LRESULT MessageWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultHandling(message, wParam, lParam);
}

LRESULT CALLBACK MessageWindow::Thunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    MessageWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<MessageWindow*>(reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (self) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        LogCaught(std::string(self->className_) + " message " + std::to_string(message));
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace sentrel::platform
