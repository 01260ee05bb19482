#pragma once
// Whether a folder (and, when asked, everything below it) may have changed, from the system's
// change notification on it, so that a monitor reads a folder only after a change: the same
// idea as RegistryWatch, for files.

#include <string>

#include <windows.h>

#include "platform/UniqueHandle.h"

namespace sentrel::platform {

class FolderWatch {
public:
    // Nothing is opened until the first Changed.
    FolderWatch(std::string folder, bool subtree);

    // True at the first call, and then once after each change the system reported there since
    // the last call (a file or folder made, deleted, renamed or written); also when the folder
    // appeared or went. A missing folder is looked for again at most every few seconds.
    bool Changed();

private:
    bool Arm();

    std::string folder_;
    bool subtree_;
    UniqueChangeNotification handle_;
    bool first_ = true;
    ULONGLONG lookedAt_ = 0;
    static constexpr ULONGLONG kMissingRetryMs = 5000;
};

}  // namespace sentrel::platform
