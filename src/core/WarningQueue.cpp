#include "core/WarningQueue.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "warnings/Warning.h"

namespace sentrel {

WarningQueue::WarningQueue(WarningContext context)
    : owner_(std::this_thread::get_id()), context_(std::move(context)) {}

WarningQueue::~WarningQueue() = default;

void WarningQueue::CheckThread(const char* operation) const {
    if (std::this_thread::get_id() != owner_) {
        throw std::logic_error(std::string("WarningQueue::") + operation +
                               " called from a thread other than the one that owns the queue");
    }
}

void WarningQueue::QueueWarning(std::unique_ptr<TWarning> warning) {
    CheckThread("QueueWarning");
    if (!warning) return;
    if (warnings_.size() >= kCapacity) return;
    if (warning->Name.empty()) return;
    for (const auto& queued : warnings_) {
        if (queued->AreEqual(*warning)) return;
    }
    warning->MakeTexts();
    warnings_.push_back(std::move(warning));
}

bool WarningQueue::FixWarning(TWarning& warning, TBackuper& backuper) {
    CheckThread("FixWarning");
    warning.Fix(backuper, context_);
    return true;
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
    if (current_ == warnings_.front().get()) current_ = nullptr;
    warnings_.pop_front();
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
