#pragma once
// Running a helper program hidden and waiting for it: one of the system's (the registry editor),
// or this program itself doing one job whose outcome it writes to its standard output.

#include <cstddef>
#include <optional>
#include <string>

#include <windows.h>

namespace sentrel::platform {

// Starts `commandLine` with no window shown (STARTF_USESHOWWINDOW, SW_HIDE) and `currentFolder`
// as its current folder (the caller's when empty), and waits at most `timeoutMs` for it to end.
// Its exit code; std::nullopt when it did not end in time (it is left running). Throws
// Win32Error when it cannot be started.
std::optional<DWORD> RunHiddenAndWait(const std::string& commandLine, const std::string& currentFolder,
                                      DWORD timeoutMs);

// What a program run by RunHiddenAndRead wrote and how it ended.
struct HiddenRunOutcome {
    DWORD exitCode = 0;
    std::string output;  // its standard output, as written
};

// Starts `commandLine` with no window, its standard output a pipe that is read here to its end,
// and waits for it to end. A program that has not ended after `timeoutMs`, or that writes more
// than `maxOutput` bytes, is ended (TerminateProcess) and Win32Error thrown (ERROR_TIMEOUT,
// ERROR_BUFFER_OVERFLOW); so is one that cannot be started. Only the pipe is handed to it.
HiddenRunOutcome RunHiddenAndRead(const std::string& commandLine, DWORD timeoutMs, std::size_t maxOutput);

}  // namespace sentrel::platform
