#pragma once
// A message-only window (HWND_MESSAGE) owned by an object: the target for messages that worker
// threads post and for timers, on the thread that created it. One window-procedure thunk links
// the object to its HWND at WM_NCCREATE and unlinks it at WM_NCDESTROY; whatever HandleMessage
// throws ends that message, goes to the diagnostic log, and the message gets the default answer.

#include <windows.h>

namespace sentrel::platform {

class MessageWindow {
public:
    // Registers `className` (once per class name) and creates the window on the calling thread.
    explicit MessageWindow(const char* className);
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    virtual ~MessageWindow();

    HWND Handle() const noexcept { return hwnd_; }

protected:
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) const noexcept {
        return DefWindowProcA(hwnd_, message, wParam, lParam);
    }

private:
    static LRESULT CALLBACK Thunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    HWND hwnd_ = nullptr;
    const char* className_;
};

}  // namespace sentrel::platform
