#include "database/ShellFoldersWin.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "platform/UniqueHandle.h"
#include "platform/WideText.h"

namespace sentrel {

namespace {

constexpr const char* kCurrentVersionKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

std::string ShellFolder(int csidl) {
    // The wide call: MAX_PATH characters can take more than MAX_PATH bytes in UTF-8.
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return platform::Utf8FromWideField(path);
}

// GetWindowsDirectoryA and the like: called again with the size they ask for when MAX_PATH is
// too short.
template <typename Function>
std::string SystemPath(Function function) {
    std::vector<char> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const UINT length = function(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(length + 1);
    }
    return {};
}

// A text value of HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion; empty when it
// cannot be read.
std::string CurrentVersionText(const char* name) {
    platform::UniqueHkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return {};
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
    std::string text(size, '\0');
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    text.resize(std::min<std::size_t>(size, text.size()));
    // The stored text normally ends in its terminator; keep what comes before the first one.
    const std::size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    return text;
}

}  // namespace

std::string SpecialFolder(TSystemFolder folder) {
    switch (folder) {
        case TSystemFolder::Startup: return ShellFolder(CSIDL_STARTUP);
        case TSystemFolder::ProgramFiles: return CurrentVersionText("ProgramFilesDir");
        case TSystemFolder::StartMenu: return ShellFolder(CSIDL_STARTMENU);
        case TSystemFolder::Programs: return ShellFolder(CSIDL_PROGRAMS);
        case TSystemFolder::Desktop: return ShellFolder(CSIDL_DESKTOP);
        case TSystemFolder::Favorites: return ShellFolder(CSIDL_FAVORITES);
        case TSystemFolder::System: return SystemPath(GetSystemDirectoryA);
        case TSystemFolder::Temp:
            return SystemPath([](char* buffer, UINT size) { return static_cast<UINT>(GetTempPathA(size, buffer)); });
        case TSystemFolder::AppData: return ShellFolder(CSIDL_APPDATA);
        case TSystemFolder::CommonFiles: return CurrentVersionText("CommonFilesDir");
        case TSystemFolder::Windows: return SystemPath(GetWindowsDirectoryA);
        case TSystemFolder::CommonAppData: return ShellFolder(CSIDL_COMMON_APPDATA);
        case TSystemFolder::NetHood: return ShellFolder(CSIDL_NETHOOD);
        case TSystemFolder::ProgramFilesX86: return CurrentVersionText("ProgramFilesDir (x86)");
        case TSystemFolder::CommonFilesX86: return CurrentVersionText("CommonFilesDir (x86)");
    }
    return {};
}

const SystemMacroFolders& MacroFolders() {
    static const SystemMacroFolders folders;
    return folders;
}

void ExpandPathMacros(std::string& path) {
    sentrel::ExpandPathMacros(path, MacroFolders());
}

}  // namespace sentrel
