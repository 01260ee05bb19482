#pragma once
// Running a helper program of the system (the registry editor) hidden and waiting for it.

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

}  // namespace sentrel::platform
