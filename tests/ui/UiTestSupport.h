#pragma once
// Helpers of the window tests: the pictures shipped next to the test program, and pumping the
// thread's messages.

#include <string>

#include <windows.h>

#include "support/MessagePump.h"

namespace sentrel::ui::test {

// The "graphics\" folder next to the running test program (the build copies the pictures there).
inline std::string ShippedGraphicsFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    folder.resize(folder.find_last_of('\\') + 1);
    return folder + "graphics\\";
}

// Handles the messages waiting for this thread, and those they post in turn.
inline void PumpPendingMessages() {
    ::sentrel::test::PumpFor(30);
}

}  // namespace sentrel::ui::test
