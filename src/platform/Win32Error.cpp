#include "platform/Win32Error.h"

#include "common/SystemErrorWin.h"

namespace sentrel::platform {

std::string SystemMessage(DWORD code) {
    return SystemErrorText(code);
}

Win32Error::Win32Error(const std::string& call, DWORD code)
    : std::runtime_error(call + " failed: " + SystemMessage(code)), code_(code) {}

void ThrowWin32Error(const std::string& call, DWORD code) {
    throw Win32Error(call, code);
}

void ThrowLastError(const std::string& call) {
    throw Win32Error(call, GetLastError());
}

}  // namespace sentrel::platform
