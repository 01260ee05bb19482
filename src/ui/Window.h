#pragma once
// The base of every window of the program: one window-procedure thunk links the object to its
// HWND at WM_NCCREATE and unlinks it at WM_NCDESTROY. Each window class handles its messages in
// HandleMessage, one method per message; whatever it throws ends that message silently
// (Catcher) and the message gets the default answer.

#include <string>

#include <windows.h>

namespace sentrel::ui {

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Handle() const noexcept { return hwnd_; }

    // Registers a window class whose procedure is the thunk (once per class name).
    static void RegisterWindowClass(const char* className, UINT style = 0, HICON icon = nullptr,
                                    HBRUSH background = nullptr);

protected:
    // Creates the window; the class must have been registered with RegisterWindowClass.
    void CreateWindowOfClass(const char* className, const char* title, DWORD style, DWORD exStyle, int x, int y,
                             int width, int height, HWND parent = nullptr);

    // Handles one message; the default passes it to DefWindowProc.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) const noexcept {
        return DefWindowProcA(hwnd_, message, wParam, lParam);
    }

    // Called after WM_NCDESTROY, when the HWND is gone.
    virtual void OnDestroyed() {}

private:
    static LRESULT CALLBACK Thunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    HWND hwnd_ = nullptr;
};

}  // namespace sentrel::ui
