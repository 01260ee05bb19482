#include "platform/ProgramFolder.h"

#include <algorithm>

#include <windows.h>
#include <shlobj.h>

#include "common/Files.h"
#include "platform/WideText.h"
#include "platform/Win32Error.h"

namespace sentrel::platform {

namespace {

// Asks a function that fills a wide buffer and answers the length (without the terminator when it
// fits, the size needed otherwise; 0 on failure) until the buffer is big enough.
template <typename Fill>
std::string GrownWideText(const char* call, Fill fill) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = fill(text.data(), static_cast<DWORD>(text.size()));
        if (length == 0) ThrowLastError(call);
        if (length < text.size()) {
            text.resize(length);
            return Utf8FromWide(text);
        }
        text.resize(std::max<std::size_t>(length, text.size() * 2));
    }
}

std::string WithoutTrailingBackslash(std::string folder) {
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    return folder;
}

}  // namespace

std::string ExecutablePath() {
    // GetModuleFileNameW cuts the path to the buffer and answers the buffer's size: ask again.
    return GrownWideText("GetModuleFileNameW", [](wchar_t* buffer, DWORD size) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer, size);
        return length >= size ? size + size : length;
    });
}

std::string ProgramFolder() {
    return FolderPart(ExecutablePath());
}

std::string UserAppDataFolder() {
    wchar_t path[MAX_PATH] = {};
    const HRESULT result = SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    if (FAILED(result)) ThrowWin32Error("SHGetFolderPathW(CSIDL_APPDATA)", static_cast<DWORD>(result));
    return Utf8FromWideField(path);
}

std::string WindowsFolder() {
    return WithoutTrailingBackslash(GrownWideText("GetWindowsDirectoryW", [](wchar_t* buffer, DWORD size) {
        return static_cast<DWORD>(GetWindowsDirectoryW(buffer, size));
    }));
}

std::string SystemFolder() {
    return WithoutTrailingBackslash(GrownWideText("GetSystemDirectoryW", [](wchar_t* buffer, DWORD size) {
        return static_cast<DWORD>(GetSystemDirectoryW(buffer, size));
    }));
}

std::string FullPathName(const std::string& path) {
    const std::wstring wide = WideFromUtf8(path);
    try {
        return GrownWideText("GetFullPathNameW", [&wide](wchar_t* buffer, DWORD size) {
            return GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
        });
    } catch (const Win32Error&) {
        return path;
    }
}

namespace {

std::string KnownFolder(const KNOWNFOLDERID& id, const char* name) {
    PWSTR path = nullptr;
    const HRESULT result = SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, &path);
    std::string folder = SUCCEEDED(result) ? Utf8FromWide(path) : std::string();
    CoTaskMemFree(path);
    if (FAILED(result)) ThrowWin32Error(std::string("SHGetKnownFolderPath(") + name + ")", static_cast<DWORD>(result));
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

}  // namespace

std::string MachineProgramsFolder() {
    return KnownFolder(FOLDERID_ProgramFiles, "FOLDERID_ProgramFiles");
}

std::string MachineDataFolder() {
    return KnownFolder(FOLDERID_ProgramData, "FOLDERID_ProgramData");
}

std::string ExpandEnvironmentNames(const std::string& text) {
    const std::wstring wide = WideFromUtf8(text);
    const DWORD size = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
    if (size == 0) return text;
    std::wstring expanded(size, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), size);
    if (written == 0 || written > size) return text;
    expanded.resize(written - 1);
    return Utf8FromWide(expanded);
}

}  // namespace sentrel::platform
