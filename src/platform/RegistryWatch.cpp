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
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, path_.c_str(), 0, KEY_NOTIFY | view_, &key) != ERROR_SUCCESS) return false;
    key_.reset(key);
    ResetEvent(event_.get());
    const DWORD filter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
    if (RegNotifyChangeKeyValue(key, subtree_ ? TRUE : FALSE, filter, event_.get(), TRUE) != ERROR_SUCCESS) {
        key_.reset();
        return false;
    }
    return true;
}

}  // namespace sentrel::platform
