#include "platform/OutputFile.h"

#include <algorithm>

#include "platform/Win32Error.h"

namespace sentrel::platform {

OutputFile::OutputFile(const std::string& path)
    : file_(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (!file_) ThrowLastError("CreateFileA(" + path + ")");
}

void OutputFile::Write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file_.get(), bytes.data(), want, &written, nullptr)) ThrowLastError("WriteFile");
        // A disk file takes everything or fails; nothing written is a full disk by another name.
        if (written == 0) ThrowWin32Error("WriteFile", ERROR_DISK_FULL);
        bytes = bytes.subspan(written);
    }
}

}  // namespace sentrel::platform
