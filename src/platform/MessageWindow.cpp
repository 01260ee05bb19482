#include "platform/MessageWindow.h"

namespace sentrel::platform {

MessageWindow::MessageWindow(const char* className) {
    WNDCLASSEXA description{};
    description.lpszClassName = className;
    RegisterLinkedClass(description);
    CreateLinked(className, "", 0, 0, 0, 0, 0, 0, HWND_MESSAGE);
}

}  // namespace sentrel::platform
