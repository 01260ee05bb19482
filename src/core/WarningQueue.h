#pragma once
// The warning queue: the findings of the monitors, oldest first, waiting for the dispatcher; the
// current warning (the head being settled) and the alert busy flag through which the dispatcher
// and the alert window hand a warning to each other; and StartFix, the one way a warning is
// fixed, with the warning context the queue was made with. While a warning is being fixed it is
// marked so (BeingFixed): the dispatcher takes no next warning, the alert keeps its buttons
// disabled, and the warning cannot be removed; new warnings still queue.
//
// The queue owns its warnings: a refused warning is destroyed at once, and removing the head
// destroys it. A warning it takes gets its texts then, once. It belongs to the thread that
// created it (the main thread): the file watcher thread hands its findings to the main window by
// message, and the main thread queues them.
// Every operation checks that and throws std::logic_error when called from another thread, so
// a cross-thread call is a loud fault instead of a quiet data race.

#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/OwnerThread.h"
#include "warnings/WarningKinds.h"
#include "warnings/WarningSink.h"

namespace sentrel {

class TBackuper;
class TWarning;

// How the act of a fix reaches a worker: runs `act` on some thread, then `finish` on the
// queue's thread. The queue's own (an empty one) runs both in a row at once.
using FixExecutor = std::function<void(std::function<void()> act, std::function<void()> finish)>;

// How a fix ended: `error` holds what it raised (ThreatGoneError when the threat had gone);
// `notices` what the user is to be told.
struct FixResult {
    std::exception_ptr error;
    std::vector<std::string> notices;
};

class WarningQueue final : public WarningSink {
public:
    // At most this many warnings are held, which bounds the memory a flood of findings takes; a
    // full queue refuses new ones until the dispatcher has removed one. Refusals are counted, so
    // the user hears of them (RefusedWhileFull), and monitors that can find a threat again wait
    // for room (HasRoom) rather than lose it.
    static constexpr std::size_t kCapacity = 201;

    // An empty queue owned by the calling thread; its fixes get `context` and act through
    // `executor`.
    explicit WarningQueue(WarningContext context = {}, FixExecutor executor = {});
    ~WarningQueue();
    WarningQueue(const WarningQueue&) = delete;
    WarningQueue& operator=(const WarningQueue&) = delete;

    // Appends `warning` at the tail, unless the queue is full, its Name is empty, or a queued
    // warning's AreEqual (asked in queue order, with the new warning as argument) finds it a
    // duplicate; a refused warning is destroyed. A warning taken gets its texts (MakeTexts).
    // Nothing is reported to the caller; a warning refused because the queue is full is counted.
    // A null warning is ignored.
    void QueueWarning(std::unique_ptr<TWarning> warning) override;
    bool HasRoom() const override;

    // Fixes `warning`, a queued one: the plan here, the act through the executor, the finish
    // and then `done` on this thread with how it ended (a plan that fails ends it at once). The
    // warning stays where it is (usually the head) and is marked from the plan until `done` is
    // called; `done` removes it when it should go. Throws std::logic_error for a warning that is
    // not queued or while another fix runs.
    void StartFix(TWarning& warning, TBackuper& backuper, std::function<void(FixResult)> done);
    // The warning being fixed, or null.
    const TWarning* BeingFixed() const;

    bool Empty() const;
    std::size_t Count() const;
    // The warnings queued behind the head, oldest first.
    std::vector<TWarning*> Waiting() const;
    // Removes and destroys a warning queued behind the head; false when it is not there (the
    // head and the current warning are never removed this way).
    bool RemoveWaiting(const TWarning* warning);

    // How many warnings were refused because the queue was full since the count was last taken;
    // taking it starts a new count.
    std::size_t RefusedWhileFull() const;
    std::size_t TakeRefusedWhileFull();

    // Called on the owner thread whenever the number of queued warnings changed (a window shows
    // how many wait). May be empty.
    void SetCountListener(std::function<void()> listener);
    // The oldest warning, or null when the queue is empty.
    TWarning* Head() const;

    // The warning being settled (always the head while set), or null.
    TWarning* Current() const;
    // Makes the head the current warning (it stays in the queue) and returns it; null when the
    // queue is empty.
    TWarning* MakeHeadCurrent();
    void ClearCurrent();
    // Removes the head and destroys it. When it was the current warning, the current warning is
    // cleared with it, so it never refers to a destroyed warning. Nothing happens when the queue
    // is empty; std::logic_error while the head is being fixed.
    void RemoveHead();

    // Set while the alert window shows a warning; the dispatcher waits while it is set.
    bool AlertBusy() const;
    void SetAlertBusy(bool busy);

    std::thread::id OwnerThread() const { return owner_.Id(); }

private:
    void CheckThread(const char* operation) const;
    void CountChanged() const;

    sentrel::OwnerThread owner_;
    WarningContext context_;
    FixExecutor executor_;
    // Shared with a fix that runs: its act reads the warning on a worker.
    std::deque<std::shared_ptr<TWarning>> warnings_;
    TWarning* current_ = nullptr;
    const TWarning* fixing_ = nullptr;
    bool alertBusy_ = false;
    std::size_t refusedWhileFull_ = 0;
    std::function<void()> countListener_;
};

}  // namespace sentrel
