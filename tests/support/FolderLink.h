#pragma once
// Windows build only.

#include <windows.h>

#include <stdexcept>
#include <string>

#include "platform/FolderLinks.h"

namespace sentrel::test {

// A folder link for a test. Wine makes no links through the Windows calls; what it shows as one
// is a Unix symbolic link, which the test makes with the system's own "ln" (Wine starts Unix
// programs too). On Windows the link is a junction.
inline void MakeFolderLink(const std::string& link, const std::string& target) {
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unixFileName == nullptr) return platform::CreateFolderLink(link, target);
    const auto unixPath = [&](const std::string& path) {
        const std::wstring wide(path.begin(), path.end());
        char* name = unixFileName(wide.c_str());
        if (name == nullptr) throw std::runtime_error("no Unix name for " + path);
        std::string result(name);
        HeapFree(GetProcessHeap(), 0, name);
        return result;
    };
    std::string command = "Z:\\bin\\ln -s \"" + unixPath(target) + "\" \"" + unixPath(link) + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA("Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        throw std::runtime_error("cannot start ln");
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // Wine's handle of a Unix process may be signalled before the program has run: wait for
    // the link itself.
    for (int waited = 0; waited < 10000 && !platform::IsFolderLink(link); waited += 10) Sleep(10);
}

}  // namespace sentrel::test
