#include "platform/WorkerThread.h"

#include <process.h>

#include <memory>

#include "common/DiagnosticLog.h"
#include "platform/Win32Error.h"

namespace sentrel::platform {

namespace {

unsigned __stdcall RunWork(void* parameter) noexcept {
    const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
    try {
        (*work)();
    } catch (...) {
        LogCaught("worker thread");
    }
    return 0;
}

}  // namespace

WorkerThread::WorkerThread(std::function<void()> work) {
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    const auto handle = _beginthreadex(nullptr, 0, RunWork, owned.get(), 0, nullptr);
    if (handle == 0) ThrowLastError("_beginthreadex");
    owned.release();  // the thread owns it now
    handle_.reset(reinterpret_cast<HANDLE>(handle));
}

bool WorkerThread::Finished() const noexcept {
    return !handle_ || WaitForSingleObject(handle_.get(), 0) == WAIT_OBJECT_0;
}

}  // namespace sentrel::platform
