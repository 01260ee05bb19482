// FolderTree.h on POSIX systems.
#include "common/DiagnosticLog.h"
#include "warnings/FolderTree.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace sentrel {

namespace {

// Deletes what `folder` (a real folder, not a link) holds, then the folder itself.
void DeleteTree(const std::string& folder) {
    // A read-only folder keeps its entries from being removed.
    ::chmod(folder.c_str(), S_IRWXU);
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    for (const std::string& name : names) {
        const std::string path = folder + '/' + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) continue;
        if (S_ISDIR(info.st_mode)) {
            DeleteTree(path);
        } else {
            if (!S_ISLNK(info.st_mode)) ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
            ::unlink(path.c_str());
        }
    }
    ::rmdir(folder.c_str());
}

}  // namespace

bool DeleteFolderTree(const std::string& folder) noexcept {
    try {
        std::string path = folder;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
        if (S_ISLNK(info.st_mode)) return ::unlink(path.c_str()) == 0;
        if (!S_ISDIR(info.st_mode)) return false;
        DeleteTree(path);
        return ::lstat(path.c_str(), &info) != 0 && errno == ENOENT;
    } catch (...) {
        LogCaught("folder tree removal");
        return false;
    }
}

}  // namespace sentrel
