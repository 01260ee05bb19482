#pragma once
// Windows build only.

#include <windows.h>

#include <stdexcept>
#include <string>

#include "platform/FolderLinks.h"

namespace sentrel::test {

namespace detail {

// The Unix name of a path under Wine; empty on Windows.
inline std::string UnixFileName(const std::string& path) {
    using UnixFileNameFunction = char*(CDECL*)(const wchar_t*);
    const auto unixFileName = reinterpret_cast<UnixFileNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unixFileName == nullptr) return {};
    const std::wstring wide(path.begin(), path.end());
    char* name = unixFileName(wide.c_str());
    if (name == nullptr) throw std::runtime_error("no Unix name for " + path);
    std::string result(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Runs a Unix program under Wine (Wine starts Unix programs too); returns at once.
inline void RunUnixProgram(const std::string& program, std::string command) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        throw std::runtime_error("cannot start " + program);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace detail

// A folder link for a test. Wine makes no links through the Windows calls; what it shows as one
// is a Unix symbolic link, which the test makes with the system's own "ln". On Windows the link
// is a junction.
inline void MakeFolderLink(const std::string& link, const std::string& target) {
    if (detail::UnixFileName(link).empty()) return platform::CreateFolderLink(link, target);
    detail::RunUnixProgram("Z:\\bin\\ln", "Z:\\bin\\ln -s \"" + detail::UnixFileName(target) + "\" \"" +
                                                 detail::UnixFileName(link) + "\"");
    // Wine's handle of a Unix process may be signalled before the program has run: wait for
    // the link itself.
    for (int waited = 0; waited < 10000 && !platform::IsFolderLink(link); waited += 10) Sleep(10);
}

// Removes a link MakeFolderLink made; what it leads to stays.
inline void RemoveTestFolderLink(const std::string& link) {
    if (detail::UnixFileName(link).empty()) return platform::RemoveFolderLink(link);
    detail::RunUnixProgram("Z:\\bin\\rm", "Z:\\bin\\rm \"" + detail::UnixFileName(link) + "\"");
    for (int waited = 0; waited < 10000 && platform::IsFolderLink(link); waited += 10) Sleep(10);
}

}  // namespace sentrel::test
