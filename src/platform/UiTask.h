#pragma once
// Tasks for the window thread: any thread posts a callable, the window thread runs it, in the
// order of posting, from its message loop. A worker thread hands its results over this way and
// never touches a window or the shield's state itself.
//
//   uitask::Host host;                       // the window thread, at start-up
//   uitask::Post([text] { ShowLine(text); }); // any thread
//
// The queue lives under a mutex; one posted message to a message-only window wakes the drain,
// however many tasks wait. A drain runs the tasks that were queued when it began, so a task that
// posts its own follow-up lets the window thread answer its other messages in between. A task
// that throws is logged and the next one runs. Tasks still queued when the host goes are
// destroyed without running; a post with no host (before start-up, after shutdown) is dropped.
//
// A task that reaches an object must not run after that object is gone: the object holds a
// Lifetime and posts through its Poster, whose tasks are dropped once the Lifetime has ended.
//
// A worker that needs the window thread's answer before it goes on sends instead of posting
// (Poster::Send): it waits while the task runs. The window thread, waiting for such a worker to
// end, waits with WaitLettingSendsRun, or the two would wait for each other.

#include <functional>
#include <memory>

#include <windows.h>

namespace sentrel::platform {
class MessageWindow;
}

namespace sentrel::platform::uitask {

// The queue's owner on the window thread: one at a time, made on the thread that runs the
// message loop (the tasks run there). Throws Win32Error when its window cannot be made, and
// std::logic_error when another host exists. A task must not destroy the host that runs it.
class Host {
public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

private:
    std::unique_ptr<MessageWindow> window_;
};

// Queues `task` for the window thread (any thread). Dropped (destroyed on the calling thread)
// when there is no host.
void Post(std::function<void()> task);

// Posts tasks for one owner; a task whose owner's Lifetime has ended when its turn comes is
// destroyed without running. Copies may be kept and used on any thread, also after the owner is
// gone (a worker that outlives its window).
class Poster {
public:
    void Post(std::function<void()> task) const;
    // Runs `task` on the window thread and returns once it has run (from the window thread
    // itself: at once). False, and `task` not run, when there is no host or the owner's Lifetime
    // has ended by the time its turn comes. A task that throws is logged (it has run). Sends
    // are not queued behind the posted tasks: a sender that needs what it posted shown first
    // shows it in its task.
    bool Send(const std::function<void()>& task) const;

private:
    friend class Lifetime;
    explicit Poster(std::weak_ptr<const bool> owner) : owner_(std::move(owner)) {}
    std::weak_ptr<const bool> owner_;
};

// Held by an object (a member, ended on the window thread by its destructor) whose tasks must
// never outlive it.
class Lifetime {
public:
    Lifetime() = default;
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    Poster MakePoster() const { return Poster(alive_); }
    // Ends this life and starts a new one: what was posted through the posters made so far is
    // dropped, new posters post for the new life.
    void Renew() { alive_ = std::make_shared<const bool>(true); }

private:
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
};

// Window thread: waits up to `timeoutMs` for `object` (a worker's thread) to be signalled,
// running meanwhile the tasks that workers send. True when it was signalled.
bool WaitLettingSendsRun(HANDLE object, unsigned timeoutMs);

}  // namespace sentrel::platform::uitask
