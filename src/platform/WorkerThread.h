#pragma once
// A worker thread started with a callable (_beginthreadex, so the C runtime is ready on it), and
// its handle to wait on. The owner never waits: when it goes, the thread runs on to its end.

#include <functional>

#include "platform/UniqueHandle.h"

namespace sentrel::platform {

class WorkerThread {
public:
    WorkerThread() noexcept = default;
    // Runs `work` on a new thread, which owns it (and what it holds) until it returns; an
    // exception leaving `work` is logged and ends the thread. Throws Win32Error when no thread
    // can be started (`work` is then dropped on this thread).
    explicit WorkerThread(std::function<void()> work);

    // The thread, to wait for; null when none was started.
    HANDLE Handle() const noexcept { return handle_.get(); }
    // True when no thread was started or it has ended.
    bool Finished() const noexcept;

private:
    UniqueHandle handle_;
};

}  // namespace sentrel::platform
