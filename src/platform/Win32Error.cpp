#include "platform/Win32Error.h"

namespace sentrel::platform {

std::string SystemMessage(DWORD code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length ? std::string(buffer, length) : "error " + std::to_string(code);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return text;
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
