#include "platform/UiTask.h"

#include <deque>
#include <mutex>
#include <stdexcept>

#include "common/DiagnosticLog.h"
#include "platform/MessageWindow.h"

namespace sentrel::platform::uitask {

namespace {

constexpr const char* kWindowClass = "SentrelUiTasks";
constexpr UINT kWakeMessage = WM_APP + 1;
// A worker's sent task: WPARAM points at its SentTask, the answer is 1 when it ran.
constexpr UINT kSendMessage = WM_APP + 2;

struct SentTask {
    const std::weak_ptr<const bool>& owner;
    const std::function<void()>& task;
};

struct Queue {
    std::mutex mutex;
    std::deque<std::function<void()>> tasks;
    HWND window = nullptr;  // the host's; null while there is none
    bool wakePosted = false;
};

// Never destroyed: a worker may still post while the process ends.
Queue& TheQueue() {
    static Queue* const queue = new Queue;
    return *queue;
}

// The host's message-only window: the wake message runs a drain.
class WakeWindow : public MessageWindow {
public:
    WakeWindow() : MessageWindow(kWindowClass) {}

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kSendMessage) return RunSent(*reinterpret_cast<const SentTask*>(wParam));
        if (message != kWakeMessage) return DefaultHandling(message, wParam, lParam);
        Drain();
        return 0;
    }

private:
    static LRESULT RunSent(const SentTask& sent) {
        if (sent.owner.expired()) return 0;
        try {
            sent.task();
        } catch (...) {
            LogCaught("window-thread task, sent");
        }
        return 1;
    }

    void Drain() {
        Queue& queue = TheQueue();
        std::size_t budget = 0;
        {
            const std::lock_guard lock(queue.mutex);
            // From here on a post wakes another drain: a task that runs a modal loop does not
            // hold up the tasks after it.
            queue.wakePosted = false;
            budget = queue.tasks.size();
        }
        for (; budget > 0; --budget) {
            std::function<void()> task;
            {
                const std::lock_guard lock(queue.mutex);
                if (queue.window != Handle() || queue.tasks.empty()) return;
                task = std::move(queue.tasks.front());
                queue.tasks.pop_front();
            }
            try {
                task();
            } catch (...) {
                LogCaught("window-thread task");
            }
        }
        const std::lock_guard lock(queue.mutex);
        if (queue.window == Handle() && !queue.tasks.empty() && !queue.wakePosted)
            queue.wakePosted = PostMessageA(queue.window, kWakeMessage, 0, 0) != FALSE;
    }
};

}  // namespace

Host::Host() {
    Queue& queue = TheQueue();
    {
        const std::lock_guard lock(queue.mutex);
        if (queue.window) throw std::logic_error("a window-thread task host exists already");
    }
    window_ = std::make_unique<WakeWindow>();
    const std::lock_guard lock(queue.mutex);
    queue.window = window_->Handle();
    queue.wakePosted = false;
}

Host::~Host() {
    Queue& queue = TheQueue();
    std::deque<std::function<void()>> dropped;
    {
        const std::lock_guard lock(queue.mutex);
        queue.window = nullptr;
        dropped.swap(queue.tasks);
    }
    // Destroyed unrun, outside the lock: what a task holds may post again (and is dropped).
    dropped.clear();
}

void Post(std::function<void()> task) {
    if (!task) return;
    Queue& queue = TheQueue();
    std::unique_lock lock(queue.mutex);
    if (!queue.window) {
        lock.unlock();
        return;  // `task` goes with this call, outside the lock
    }
    queue.tasks.push_back(std::move(task));
    if (queue.wakePosted) return;
    queue.wakePosted = PostMessageA(queue.window, kWakeMessage, 0, 0) != FALSE;
    if (queue.wakePosted) return;
    lock.unlock();
    // A full message queue: the next post tries to wake the drain again.
    LogEvent("window-thread task: the wake message could not be posted");
}

void Poster::Post(std::function<void()> task) const {
    if (!task) return;
    uitask::Post([owner = owner_, task = std::move(task)] {
        if (!owner.expired()) task();
    });
}

bool Poster::Send(const std::function<void()>& task) const {
    if (!task) return false;
    HWND window = nullptr;
    {
        Queue& queue = TheQueue();
        const std::lock_guard lock(queue.mutex);
        window = queue.window;
    }
    if (!window) return false;
    // The host gone meanwhile: the send fails (0).
    const SentTask sent{owner_, task};
    return SendMessageA(window, kSendMessage, reinterpret_cast<WPARAM>(&sent), 0) == 1;
}

bool WaitLettingSendsRun(HANDLE object, unsigned timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        const DWORD wait = MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_SENDMESSAGE);
        if (wait == WAIT_OBJECT_0) return true;
        if (wait == WAIT_OBJECT_0 + 1) {
            // A worker waits for a sent task: this runs it.
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        // Bounded however often the workers send.
        if (wait != WAIT_OBJECT_0 + 1 || left == 0) return WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
    }
}

}  // namespace sentrel::platform::uitask
