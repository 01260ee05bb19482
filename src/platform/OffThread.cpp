#include "platform/OffThread.h"

#include <windows.h>

#include <string>
#include <utility>

#include "common/DiagnosticLog.h"

namespace sentrel::platform {

void OffThread::Run(std::function<void()> work, std::function<void()> finish) {
    const std::uint64_t id = nextId_++;
    uitask::Poster poster = lifetime_.MakePoster();
    // The thread cannot post before this returns to the message loop: Complete finds the run.
    // The finish comes even when the work throws, so that nothing waits on it for good.
    WorkerThread thread([work = std::move(work), poster, id, this] {
        try {
            work();
        } catch (...) {
            LogCaught("work off the window thread");
        }
        poster.Post([this, id] { Complete(id); });
    });
    runs_.emplace(id, PendingRun{std::move(thread), std::move(finish)});
}

void OffThread::Complete(std::uint64_t id) {
    const auto found = runs_.find(id);
    if (found == runs_.end()) return;  // drained already
    std::function<void()> finish = std::move(found->second.finish);
    runs_.erase(found);
    finish();
}

std::size_t OffThread::Drain(unsigned timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    std::size_t left = 0;
    std::map<std::uint64_t, PendingRun> runs = std::move(runs_);
    runs_.clear();
    for (auto& [id, run] : runs) {
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        if (WaitForSingleObject(run.thread.Handle(), wait) != WAIT_OBJECT_0) {
            LogEvent("work " + std::to_string(id) + " still running at the end: left to end with the process");
            ++left;
            continue;
        }
        try {
            run.finish();
        } catch (...) {
            LogCaught("finish at the end");
        }
    }
    return left;
}

}  // namespace sentrel::platform
