#include "platform/ProgramFolder.h"

#include <windows.h>
#include <shlobj.h>

#include "common/Files.h"
#include "platform/Win32Error.h"
#include "platform/WideText.h"

namespace sentrel::platform {

std::string ExecutablePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) ThrowLastError("GetModuleFileNameA");
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path;
}

std::string ProgramFolder() {
    return FolderPart(ExecutablePath());
}

std::string UserAppDataFolder() {
    // The wide call: MAX_PATH characters can take more than MAX_PATH bytes in UTF-8.
    wchar_t path[MAX_PATH] = {};
    const HRESULT result = SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    if (FAILED(result)) ThrowWin32Error("SHGetFolderPathW(CSIDL_APPDATA)", static_cast<DWORD>(result));
    return AnsiFromWide(path);
}

}  // namespace sentrel::platform
