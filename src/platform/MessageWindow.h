#pragma once
// A message-only window (HWND_MESSAGE) owned by an object: the target for messages that worker
// threads post and for timers, on the thread that created it.

#include "platform/WindowObject.h"

namespace sentrel::platform {

class MessageWindow : public WindowObject {
public:
    // Registers `className` (once per class name) and creates the window on the calling thread.
    explicit MessageWindow(const char* className);
};

}  // namespace sentrel::platform
