#include "platform/RegistryWatch.h"

#include <algorithm>
#include <utility>

namespace sentrel::platform {

RegistryWatch::RegistryWatch(HKEY root, std::string path, RegistryViewFlag view, bool subtree)
    : root_(root), path_(std::move(path)), view_(view), subtree_(subtree) {}

std::uint64_t RegistryWatch::Generation() {
    if (armed_ && polled_ == Polled::Quiet) return generation_;
    if (armed_ && polled_ == Polled::No && WaitForSingleObject(event_.get(), 0) == WAIT_TIMEOUT) return generation_;
    ++generation_;
    armed_ = Arm();
    polled_ = Polled::No;
    return generation_;
}

void RegistryWatch::Poll(const std::vector<RegistryWatch*>& watches) {
    std::vector<RegistryWatch*> armed;
    std::vector<HANDLE> events;
    for (RegistryWatch* watch : watches) {
        watch->polled_ = Polled::No;
        if (!watch->armed_) continue;
        armed.push_back(watch);
        events.push_back(watch->event_.get());
    }
    // The events are reset only when their watch is set again: a wait for any of them names
    // the first one set, and the next wait starts after it.
    std::size_t from = 0;
    while (from < events.size()) {
        const DWORD count = static_cast<DWORD>(std::min<std::size_t>(events.size() - from, MAXIMUM_WAIT_OBJECTS));
        const DWORD result = WaitForMultipleObjects(count, events.data() + from, FALSE, 0);
        if (result == WAIT_TIMEOUT) {
            for (DWORD i = 0; i < count; ++i) armed[from + i]->polled_ = Polled::Quiet;
            from += count;
        } else if (result < WAIT_OBJECT_0 + count) {
            const std::size_t set = from + (result - WAIT_OBJECT_0);
            for (std::size_t i = from; i < set; ++i) armed[i]->polled_ = Polled::Quiet;
            armed[set]->polled_ = Polled::Changed;
            from = set + 1;
        } else {
            return;  // the rest ask their own event, as without a poll
        }
    }
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
