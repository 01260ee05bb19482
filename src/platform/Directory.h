#pragma once
// Directory enumeration and the attribute query of one path. Names are UTF-8; the listing goes
// through the wide functions, whose structure holds every name whole.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace sentrel::platform {

struct TDirectoryEntry {
    std::string Name;  // the name alone, without folder
    DWORD Attributes = 0;
    std::uint64_t Size = 0;

    bool IsFolder() const noexcept { return (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

// The entries matching a pattern such as "C:\folder\*.txt", in the order the system gives them,
// without "." and "..". Files and folders of every attribute are listed. A pattern that matches
// nothing, or whose folder does not exist, gives an empty list; any other failure throws
// Win32Error.
std::vector<TDirectoryEntry> ListDirectory(const std::string& pattern);

// The attributes of a file or folder, or nothing when they cannot be read.
std::optional<DWORD> QueryFileAttributes(const std::string& path) noexcept;

// What tells, without reading it, that a file or folder changed: its size and last-write time
// (a folder's changes when a name in it comes or goes).
struct TFileStamp {
    bool folder = false;
    std::uint64_t size = 0;
    std::uint64_t lastWrite = 0;  // FILETIME, 100 ns since 1601

    bool operator==(const TFileStamp&) const = default;
};
// Nothing when there is no such file or folder; throws Win32Error when it cannot be asked.
std::optional<TFileStamp> QueryFileStamp(const std::string& path);

}  // namespace sentrel::platform
