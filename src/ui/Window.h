#pragma once
// The base of every window of the program's user interface: a window owned by its object (the
// one linking window procedure, platform/WindowObject.h). Each window class handles its messages
// in HandleMessage, one method per message; whatever it throws ends that message, goes to the
// diagnostic log, and the message gets the default answer.

#include <windows.h>

#include "platform/WindowObject.h"

namespace sentrel::ui {

class Window : public platform::WindowObject {
public:
    // Registers a window class whose procedure is the linking one (once per class name), with the
    // arrow cursor and, unless another is given, the dialog face as background.
    static void RegisterWindowClass(const char* className, UINT style = 0, HICON icon = nullptr,
                                    HBRUSH background = nullptr);

protected:
    Window() = default;

    // Creates the window; the class must have been registered with RegisterWindowClass.
    void CreateWindowOfClass(const char* className, const char* title, DWORD style, DWORD exStyle, int x, int y,
                             int width, int height, HWND parent = nullptr) {
        CreateLinked(className, title, style, exStyle, x, y, width, height, parent);
    }
};

}  // namespace sentrel::ui
