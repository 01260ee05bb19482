#include "platform/WindowObject.h"

#include <string>

#include "common/DiagnosticLog.h"
#include "platform/Win32Error.h"

namespace sentrel::platform {

WindowObject::~WindowObject() {
    if (hwnd_) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
}

void WindowObject::Destroy() noexcept {
    // WM_NCDESTROY clears hwnd_.
    if (hwnd_) DestroyWindow(hwnd_);
}

void WindowObject::RegisterLinkedClass(WNDCLASSEXA description) {
    description.cbSize = sizeof description;
    description.hInstance = GetModuleHandleA(nullptr);
    description.lpfnWndProc = &WindowObject::Procedure;
    WNDCLASSEXA existing{sizeof existing};
    if (GetClassInfoExA(description.hInstance, description.lpszClassName, &existing)) return;
    if (!RegisterClassExA(&description))
        ThrowLastError(std::string("RegisterClassExA(") + description.lpszClassName + ")");
}

void WindowObject::CreateLinked(const char* className, const char* title, DWORD style, DWORD exStyle, int x, int y,
                                int width, int height, HWND parent) {
    className_ = className;
    if (!CreateWindowExA(exStyle, className, title, style, x, y, width, height, parent, nullptr,
                         GetModuleHandleA(nullptr), this))
        ThrowLastError(std::string("CreateWindowExA(") + className + ")");
}

LRESULT WindowObject::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultHandling(message, wParam, lParam);
}

LRESULT CALLBACK WindowObject::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    WindowObject* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<WindowObject*>(reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
        if (self) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    } else {
        self = reinterpret_cast<WindowObject*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);

    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        const LRESULT result = DefWindowProcA(hwnd, message, wParam, lParam);
        self->hwnd_ = nullptr;
        try {
            self->OnDestroyed();
        } catch (...) {
            LogCaught(std::string(self->className_) + " after its window was destroyed");
        }
        return result;
    }
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        LogCaught(std::string(self->className_) + " message " + std::to_string(message));
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace sentrel::platform
