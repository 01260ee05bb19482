#pragma once
// Running the test thread's messages while a window, timer or watcher of the code under test
// does its work on this thread.

#include <functional>

#include <windows.h>

namespace sentrel::test {

// Runs the thread's messages until `done` holds or `timeoutMs` has passed; returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(10);
    }
}

// Runs the thread's messages for `ms`.
inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

}  // namespace sentrel::test
