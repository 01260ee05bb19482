#include "platform/RegistryWatch.h"

#include <utility>

namespace sentrel::platform {

RegistryWatch::RegistryWatch(HKEY root, std::string path, RegistryViewFlag view, bool subtree)
    : root_(root), path_(std::move(path)), view_(view), subtree_(subtree) {}

std::uint64_t RegistryWatch::Generation() {
    if (armed_ && WaitForSingleObject(event_.get(), 0) == WAIT_TIMEOUT) return generation_;
    ++generation_;
    armed_ = Arm();
    return generation_;
}

bool RegistryWatch::Arm() {
    // The key is opened afresh each time: after a change the key may be a new one of the same
    // name (deleted and made again), which the old handle would never report.
    key_.reset();
    if (!event_) event_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event_) return false;
    // A missing key is watched through the nearest key above it that is there (with everything
    // below it), so that its making is seen; a path missing right below the root is not watched.
    std::string path = path_;
    bool above = false;
    HKEY key = nullptr;
    for (;;) {
        const LONG status = RegOpenKeyExA(root_, path.c_str(), 0, KEY_NOTIFY | view_, &key);
        if (status == ERROR_SUCCESS) break;
        const std::size_t slash = path.find_last_of('\\');
        if (status != ERROR_FILE_NOT_FOUND || slash == std::string::npos) return false;
        path.resize(slash);
        above = true;
    }
    key_.reset(key);
    ResetEvent(event_.get());
    const DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    if (RegNotifyChangeKeyValue(key, subtree_ || above ? TRUE : FALSE, filter, event_.get(), TRUE) != ERROR_SUCCESS) {
        key_.reset();
        return false;
    }
    return true;
}

}  // namespace sentrel::platform
