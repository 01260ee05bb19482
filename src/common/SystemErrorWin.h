#pragma once
// The system's text for a Windows error code (Windows build only). platform/Win32Error.h builds
// its exceptions on it; common's own Windows sources use it directly.

#include <cstdint>
#include <string>

namespace sentrel {

// FormatMessage's text for `code`, without the trailing line break and full stop; "error N"
// when the system has none.
std::string SystemErrorText(std::uint32_t code);

}  // namespace sentrel
