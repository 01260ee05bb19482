// FolderTree.h on Windows. Paths are UTF-8; the listing goes through the wide functions, whose
// structure holds every name whole.
#include "common/DiagnosticLog.h"
#include "platform/WideText.h"
#include "warnings/FolderTree.h"

#include <vector>

#include <windows.h>

namespace sentrel {

namespace {

struct Entry {
    std::string name;
    DWORD attributes;
};

bool IsGone(const std::string& path) {
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
           (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND);
}

std::vector<Entry> ListFolder(const std::string& folder) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW data{};
    const HANDLE find = FindFirstFileW(platform::WideFromUtf8(folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::string name = platform::Utf8FromWideField(data.cFileName);
        if (name != "." && name != "..") entries.push_back({name, data.dwFileAttributes});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries;
}

// Deletes what `folder` (a real folder, not a reparse point) holds, then the folder itself.
void DeleteTree(const std::string& folder) {
    for (const Entry& entry : ListFolder(folder)) {
        const std::string path = folder + "\\" + entry.name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            DeleteFileA(path.c_str());
        } else if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            // A junction or a folder link: removing it leaves its target alone.
            RemoveDirectoryA(path.c_str());
        } else {
            DeleteTree(path);
        }
    }
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

bool DeleteFolderTree(const std::string& folder) noexcept {
    try {
        std::string path = folder;
        while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return IsGone(path);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            return RemoveDirectoryA(path.c_str()) != 0;
        }
        DeleteTree(path);
        return IsGone(path);
    } catch (...) {
        LogCaught("folder tree removal");
        return false;
    }
}

}  // namespace sentrel
