#include "monitors/ProcessMonitor.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "common/DiagnosticLog.h"
#include "common/TextCase.h"
#include "database/PathParts.h"
#include "platform/ProcessRoutines.h"
#include "platform/Processes.h"
#include "platform/UniqueHandle.h"
#include "platform/WideText.h"
#include "warnings/Warning.h"
#include "warnings/WarningSink.h"

namespace sentrel {

std::string ExecutablePathOf(DWORD processId) {
    const platform::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    // Most paths fit the short buffer; the longest path Windows has is tried only when needed.
    for (const std::size_t size : {std::size_t{1024}, platform::kMaxModulePath}) {
        std::wstring path(size, L'\0');
        DWORD length = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process.get(), 0, path.data(), &length)) {
            path.resize(length);
            return platform::Utf8FromWide(path);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    }
    return {};
}

namespace {

std::vector<DWORD> RunningProcessIds() {
    auto ids = platform::EnumProcessIds();
    return ids ? std::move(*ids) : std::vector<DWORD>{};
}

}  // namespace

std::vector<std::string> ListRunningProgramPaths() {
    std::vector<std::string> paths;
    for (DWORD id : RunningProcessIds()) {
        std::string path = ExecutablePathOf(id);
        if (!path.empty()) paths.push_back(std::move(path));
    }
    return paths;
}

ProcessMonitor::ProcessMonitor()
    : ProcessMonitor([](std::vector<std::string>& list) { ListRunningModules(list); },
                     ProgramSource{&RunningProcessIds, &ExecutablePathOf}) {}

ProcessMonitor::ProcessMonitor(ModuleLister lister, ProgramSource programs)
    : lister_(std::move(lister)), programs_(std::move(programs)) {}

void ProcessMonitor::ProcessTimerTimer(const TThreatTables& tables, WarningSink& queue, const TLookupSystem& system) {
    owner_.Check("ProcessTimer");
    // A position outside the list (it cannot arise from the ticks themselves) starts a new pass
    // rather than reading past the end.
    if (processIndex_ < 0 || static_cast<std::size_t>(processIndex_) >= processList_.size()) processIndex_ = 0;
    // Nothing listed (yet): nothing of the pass to test, and the next tick lists afresh; the
    // started programs are looked at all the same.
    if (processIndex_ != 0 || TakeList()) {
        const std::string entry = processList_[static_cast<std::size_t>(processIndex_)];
        // Move on first: an entry whose test fails is skipped, not retried on every tick.
        processIndex_ =
            static_cast<std::size_t>(processIndex_) + 1 == processList_.size() ? 0 : processIndex_ + 1;
        try {
            if (IsKnownSpywareFile(tables, system, entry).Found)
                queue.QueueWarning(std::make_unique<TProcessWarning>(std::string(PathFileName(entry)), entry));
        } catch (...) {
            // The started programs are still looked at; then the caller hears of the failure.
            TestStartedPrograms(tables, queue, system);
            throw;
        }
    }
    TestStartedPrograms(tables, queue, system);
}

void ProcessMonitor::NoteToldAsProgram(const std::string& path) {
    owner_.Check("ProcessMonitor::NoteToldAsProgram");
    Remember(toldElsewhere_, path);
}

void ProcessMonitor::TestStartedPrograms(const TThreatTables& tables, WarningSink& queue, const TLookupSystem& system) {
    if (!programs_.ids || !programs_.executable) return;
    const bool due = startedTick_ == 0;
    startedTick_ = (startedTick_ + 1) % kStartedEveryTicks;
    if (!due) return;
    const std::vector<DWORD> ids = programs_.ids();
    // The system could not list them: nothing is forgotten, nothing tested.
    if (ids.empty()) return;
    const std::set<DWORD> running(ids.begin(), ids.end());
    std::vector<DWORD> started;
    for (DWORD id : ids) {
        if (!seenIds_.contains(id)) started.push_back(id);
    }
    // Ended processes are forgotten: the system may give their identifiers to new ones.
    std::erase_if(seenIds_, [&running](DWORD id) { return !running.contains(id); });
    const bool first = !programsSeen_;
    programsSeen_ = true;
    std::erase_if(unreadable_, [&running](const auto& entry) { return !running.contains(entry.first); });
    for (DWORD id : started) {
        if (first) {
            seenIds_.insert(id);
            continue;
        }
        // One that cannot be read yet (still starting) is looked at again at the next few looks;
        // one that stays closed (another user's) is left to the pass.
        const std::string path = programs_.executable(id);
        if (path.empty() && ++unreadable_[id] < kUnreadableTries) continue;
        unreadable_.erase(id);
        seenIds_.insert(id);
        if (path.empty()) continue;
        try {
            if (IsKnownSpywareFile(tables, system, path).Found) {
                const std::uint64_t now = GetTickCount64();
                if (Names(toldElsewhere_, path, now > kToldElsewhereMs ? now - kToldElsewhereMs : 0)) continue;
                queue.QueueWarning(std::make_unique<TProcessWarning>(std::string(PathFileName(path)), path));
                Remember(told_, path);
            }
        } catch (...) {
            LogCaught("process monitor: a started program");
            // That program is passed over; the pass tests it again in its turn.
        }
    }
}

bool ProcessMonitor::ToldAsStartedSince(const std::string& path, std::uint64_t sinceMs) const {
    owner_.Check("ProcessMonitor::ToldAsStartedSince");
    return Names(told_, path, sinceMs);
}

void ProcessMonitor::Remember(std::deque<Told>& told, const std::string& path) {
    if (told.size() >= kToldLimit) told.pop_front();
    told.push_back({path, GetTickCount64()});
}

bool ProcessMonitor::Names(const std::deque<Told>& told, const std::string& path, std::uint64_t sinceMs) {
    return std::any_of(told.begin(), told.end(), [&](const Told& entry) {
        return entry.atMs >= sinceMs && SameIgnoringCase(entry.path, path);
    });
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
