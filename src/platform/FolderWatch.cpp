#include "platform/FolderWatch.h"

#include <utility>

#include "platform/WideText.h"

namespace sentrel::platform {

FolderWatch::FolderWatch(std::string folder, bool subtree) : folder_(std::move(folder)), subtree_(subtree) {}

bool FolderWatch::Changed() {
    if (first_) {
        first_ = false;
        lookedAt_ = GetTickCount64();
        Arm();
        return true;
    }
    if (!handle_) {
        // A missing folder is looked for again now and then, not at every question.
        const ULONGLONG now = GetTickCount64();
        if (now - lookedAt_ < kMissingRetryMs) return false;
        lookedAt_ = now;
        return Arm();  // the folder is there now (or still missing)
    }
    const DWORD state = WaitForSingleObject(handle_.get(), 0);
    if (state == WAIT_TIMEOUT) return false;
    // A change, or a folder that went (the wait fails or the next one cannot be set).
    if (state != WAIT_OBJECT_0 || !FindNextChangeNotification(handle_.get())) handle_.reset();
    return true;
}

bool FolderWatch::Arm() {
    constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                              FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
    handle_.reset(FindFirstChangeNotificationW(WideFromUtf8(folder_).c_str(), subtree_ ? TRUE : FALSE, kFilter));
    return static_cast<bool>(handle_);
}

}  // namespace sentrel::platform
