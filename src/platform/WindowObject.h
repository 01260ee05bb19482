#pragma once
// A window owned by an object: the one window procedure of the program links the object to its
// HWND at WM_NCCREATE, hands every message to HandleMessage and unlinks the object at
// WM_NCDESTROY. Whatever a handler throws ends that message, goes to the diagnostic log, and the
// message gets the default answer: the next message starts afresh.

#include <windows.h>

namespace sentrel::platform {

class WindowObject {
public:
    WindowObject(const WindowObject&) = delete;
    WindowObject& operator=(const WindowObject&) = delete;
    // A window still there is unlinked, so late messages do not reach the object, then destroyed:
    // its WM_DESTROY gets the default answer. A derived window that handles WM_DESTROY calls
    // Destroy in its own destructor.
    virtual ~WindowObject();

    HWND Handle() const noexcept { return hwnd_; }

    // Registers a window class (once per class name) whose procedure is the linking one; the
    // description's lpfnWndProc and hInstance are filled in. Throws Win32Error.
    static void RegisterLinkedClass(WNDCLASSEXA description);

protected:
    WindowObject() = default;

    // Creates the window of a class registered with RegisterLinkedClass, linked to this object.
    // Throws Win32Error.
    void CreateLinked(const char* className, const char* title, DWORD style, DWORD exStyle, int x, int y, int width,
                      int height, HWND parent);

    // Handles one message; the default passes it to DefWindowProc. The messages of creation
    // arrive before a derived part exists and reach this default.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) const noexcept {
        return DefWindowProcA(hwnd_, message, wParam, lParam);
    }
    // Called after WM_NCDESTROY, when the HWND is gone.
    virtual void OnDestroyed() {}
    // Destroys the window while the object is whole, so its handlers of WM_DESTROY run (and
    // those of its child windows). Nothing happens when there is no window.
    void Destroy() noexcept;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    HWND hwnd_ = nullptr;
    const char* className_ = "";
};

}  // namespace sentrel::platform
