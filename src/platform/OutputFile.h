#pragma once
// A file created (or emptied) for writing only, shared with nobody while it is open, written
// whole piece by piece and closed when the owner goes.

#include <cstdint>
#include <span>
#include <string>

#include "platform/UniqueHandle.h"

namespace sentrel::platform {

class OutputFile {
public:
    // CreateFileA with CREATE_ALWAYS; throws Win32Error.
    explicit OutputFile(const std::string& path);

    // Appends all of `bytes`; throws Win32Error when the system writes less.
    void Write(std::span<const std::uint8_t> bytes);

private:
    UniqueFile file_;
};

}  // namespace sentrel::platform
