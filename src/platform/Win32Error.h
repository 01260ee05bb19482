#pragma once
// Win32 failures as exceptions: the call that failed and the system's text for the error code.

#include <stdexcept>
#include <string>

#include <windows.h>

namespace sentrel::platform {

class Win32Error : public std::runtime_error {
public:
    Win32Error(const std::string& call, DWORD code);
    DWORD Code() const noexcept { return code_; }

private:
    DWORD code_;
};

// The system's message for an error code, without the trailing line break.
std::string SystemMessage(DWORD code);

[[noreturn]] void ThrowWin32Error(const std::string& call, DWORD code);
[[noreturn]] void ThrowLastError(const std::string& call);

// Throws with GetLastError() when `ok` is false; returns `ok` otherwise.
inline void CheckWin32(BOOL ok, const char* call) {
    if (!ok) ThrowLastError(call);
}

}  // namespace sentrel::platform
