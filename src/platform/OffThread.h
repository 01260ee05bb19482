#pragma once
// Work that must not hold the window thread: each run's work goes to a worker thread of its own,
// and its finish comes back to the window thread (uitask) once the work has ended. At the end of
// the run the window thread drains: it waits, bounded, for the work still running and runs the
// finishes that are due, so what a worker did is never left half-recorded.
//
// Made, used and drained on the window thread (where the uitask host lives).

#include <cstdint>
#include <functional>
#include <map>

#include "platform/UiTask.h"
#include "platform/WorkerThread.h"

namespace sentrel::platform {

class OffThread {
public:
    OffThread() = default;
    OffThread(const OffThread&) = delete;
    OffThread& operator=(const OffThread&) = delete;

    // Starts `work` on a new worker thread, which owns it; once it has returned (or thrown, which
    // is logged), `finish` runs on the window thread (once). Throws Win32Error when no thread can be started (neither runs).
    void Run(std::function<void()> work, std::function<void()> finish);

    // Runs whose finish has not run yet.
    std::size_t Pending() const { return runs_.size(); }

    // The end of the run: waits up to `timeoutMs` in all for the work still running, and runs
    // the finish of every run whose work has ended. A work still running after that is logged
    // and left to end with the process; its finish is dropped and never runs (the work owns what
    // it uses). Returns the number of runs left so.
    std::size_t Drain(unsigned timeoutMs);

private:
    struct PendingRun {
        WorkerThread thread;
        std::function<void()> finish;
    };
    // The finish of run `id` when its work has ended (posted by the worker).
    void Complete(std::uint64_t id);

    std::map<std::uint64_t, PendingRun> runs_;
    std::uint64_t nextId_ = 0;
    // Ends with this object: a worker's late post finds no one.
    uitask::Lifetime lifetime_;
};

}  // namespace sentrel::platform
