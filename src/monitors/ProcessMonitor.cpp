#include "monitors/ProcessMonitor.h"

#include <memory>
#include <utility>

#include "warnings/WarningSink.h"
#include "database/PathParts.h"
#include "platform/ProcessRoutines.h"
#include "warnings/Warning.h"

namespace sentrel {

ProcessMonitor::ProcessMonitor()
    : ProcessMonitor([](std::vector<std::string>& list) { ListRunningModules(list); }) {}

ProcessMonitor::ProcessMonitor(ModuleLister lister) : lister_(std::move(lister)) {}

void ProcessMonitor::ProcessTimerTimer(const TThreatTables& tables, WarningSink& queue, const TLookupSystem& system) {
    // A position outside the list (it cannot arise from the ticks themselves) starts a new pass
    // rather than reading past the end.
    if (processIndex_ < 0 || static_cast<std::size_t>(processIndex_) >= processList_.size()) processIndex_ = 0;
    // Nothing listed (yet): nothing to test, and the next tick lists afresh.
    if (processIndex_ == 0 && !TakeList()) return;

    const std::string& entry = processList_[static_cast<std::size_t>(processIndex_)];
    // Move on first: an entry whose test fails is skipped, not retried on every tick.
    processIndex_ = static_cast<std::size_t>(processIndex_) + 1 == processList_.size() ? 0 : processIndex_ + 1;

    if (IsKnownSpywareFile(tables, system, entry).Found)
        queue.QueueWarning(std::make_unique<TProcessWarning>(std::string(PathFileName(entry)), entry));
}

bool ProcessMonitor::TakeList() {
    processList_.clear();
    if (!runner_) {
        lister_(processList_);
        return !processList_.empty();
    }
    Listing& listing = *listing_;
    if (listing.ready) {
        listing.ready = false;
        processList_ = std::move(listing.list);
        listing.list.clear();
        if (!processList_.empty()) return true;
    }
    if (listing.running) return false;
    auto result = std::make_shared<std::vector<std::string>>();
    listing.running = true;
    try {
        runner_([result, lister = lister_] { lister(*result); },
                [shared = listing_, result] {
                    shared->running = false;
                    shared->list = std::move(*result);
                    shared->ready = true;
                });
    } catch (const std::exception&) {
        listing.running = false;
        throw;
    }
    return false;
}

}  // namespace sentrel
