#include "core/WarningQueue.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "warnings/Warning.h"

namespace sentrel {

WarningQueue::WarningQueue(WarningContext context, FixExecutor executor)
    : context_(std::move(context)), executor_(std::move(executor)) {}

WarningQueue::~WarningQueue() = default;

void WarningQueue::CheckThread(const char* operation) const {
    if (!owner_.IsCurrent()) {
        throw std::logic_error(std::string("WarningQueue::") + operation +
                               " called from a thread other than the one that owns the queue");
    }
}

void WarningQueue::QueueWarning(std::unique_ptr<TWarning> warning) {
    CheckThread("QueueWarning");
    if (!warning) return;
    if (warnings_.size() >= kCapacity) {
        ++refusedWhileFull_;
        return;
    }
    if (warning->Name.empty()) return;
    for (const auto& queued : warnings_) {
        if (queued->AreEqual(*warning)) return;
    }
    warning->MakeTexts();
    warnings_.push_back(std::move(warning));
    CountChanged();
}

bool WarningQueue::HasRoom() const {
    CheckThread("HasRoom");
    return warnings_.size() < kCapacity;
}

std::vector<TWarning*> WarningQueue::Waiting() const {
    CheckThread("Waiting");
    std::vector<TWarning*> waiting;
    if (warnings_.size() > 1) waiting.reserve(warnings_.size() - 1);
    for (std::size_t i = 1; i < warnings_.size(); ++i) waiting.push_back(warnings_[i].get());
    return waiting;
}

bool WarningQueue::RemoveWaiting(const TWarning* warning) {
    CheckThread("RemoveWaiting");
    if (warning == nullptr || warning == current_) return false;
    for (std::size_t i = 1; i < warnings_.size(); ++i) {
        if (warnings_[i].get() != warning) continue;
        warnings_.erase(warnings_.begin() + static_cast<std::ptrdiff_t>(i));
        CountChanged();
        return true;
    }
    return false;
}

std::size_t WarningQueue::RefusedWhileFull() const {
    CheckThread("RefusedWhileFull");
    return refusedWhileFull_;
}

std::size_t WarningQueue::TakeRefusedWhileFull() {
    CheckThread("TakeRefusedWhileFull");
    return std::exchange(refusedWhileFull_, 0);
}

void WarningQueue::SetCountListener(std::function<void()> listener) {
    CheckThread("SetCountListener");
    countListener_ = std::move(listener);
}

void WarningQueue::CountChanged() const {
    if (countListener_) countListener_();
}

void WarningQueue::StartFix(TWarning& warning, TBackuper& backuper, std::function<void(FixResult)> done) {
    CheckThread("StartFix");
    if (fixing_) throw std::logic_error("WarningQueue::StartFix: another fix runs");
    const auto queued = std::find_if(warnings_.begin(), warnings_.end(),
                                     [&warning](const auto& held) { return held.get() == &warning; });
    if (queued == warnings_.end()) throw std::logic_error("WarningQueue::StartFix: the warning is not queued");

    std::shared_ptr<PlannedFix> planned;
    try {
        planned = PlannedFix::Plan(*queued, backuper, context_);
    } catch (...) {
        done(FixResult{std::current_exception(), {}});
        return;
    }
    fixing_ = &warning;
    auto finish = [this, planned, done = std::move(done)] {
        FixResult result;
        try {
            result.notices = planned->Finish();
        } catch (...) {
            result.error = std::current_exception();
        }
        fixing_ = nullptr;
        done(std::move(result));
    };
    auto act = [planned] { planned->Act(); };
    if (!executor_) {
        act();
        return finish();
    }
    try {
        executor_(std::move(act), std::move(finish));
    } catch (...) {
        // No worker could take it: nothing was changed, and the warning is free again.
        fixing_ = nullptr;
        throw;
    }
}

const TWarning* WarningQueue::BeingFixed() const {
    CheckThread("BeingFixed");
    return fixing_;
}

bool WarningQueue::Empty() const {
    CheckThread("Empty");
    return warnings_.empty();
}

std::size_t WarningQueue::Count() const {
    CheckThread("Count");
    return warnings_.size();
}

TWarning* WarningQueue::Head() const {
    CheckThread("Head");
    return warnings_.empty() ? nullptr : warnings_.front().get();
}

TWarning* WarningQueue::Current() const {
    CheckThread("Current");
    return current_;
}

TWarning* WarningQueue::MakeHeadCurrent() {
    CheckThread("MakeHeadCurrent");
    current_ = warnings_.empty() ? nullptr : warnings_.front().get();
    return current_;
}

void WarningQueue::ClearCurrent() {
    CheckThread("ClearCurrent");
    current_ = nullptr;
}

void WarningQueue::RemoveHead() {
    CheckThread("RemoveHead");
    if (warnings_.empty()) return;
    if (fixing_ == warnings_.front().get())
        throw std::logic_error("WarningQueue::RemoveHead: the head is being fixed");
    if (current_ == warnings_.front().get()) current_ = nullptr;
    warnings_.pop_front();
    CountChanged();
}

bool WarningQueue::AlertBusy() const {
    CheckThread("AlertBusy");
    return alertBusy_;
}

void WarningQueue::SetAlertBusy(bool busy) {
    CheckThread("SetAlertBusy");
    alertBusy_ = busy;
}

}  // namespace sentrel
