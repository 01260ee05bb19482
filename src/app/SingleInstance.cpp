#include "app/SingleInstance.h"

#include "platform/Win32Error.h"

namespace sentrel {

bool SingleInstance::Acquire() {
    // Another instance runs when the marker can be opened.
    platform::UniqueHandle other(OpenMutexA(MUTEX_ALL_ACCESS, TRUE, kSingleInstanceMutexName));
    if (other) return false;

    mutex_.reset(CreateMutexA(nullptr, TRUE, kSingleInstanceMutexName));
    if (!mutex_) platform::ThrowLastError("CreateMutexA");
    // Two instances started at the same moment: the one that did not create the mutex yields.
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        mutex_.reset();
        return false;
    }
    return true;
}

}  // namespace sentrel
