#include "core/Scheduler.h"

#include <chrono>
#include <string>

#include "common/DiagnosticLog.h"
#include "core/SecurityLevels.h"
#include "platform/Win32Error.h"

namespace sentrel {

namespace {

constexpr const char* kWindowClass = "SentrelScheduler";

std::size_t SlotOf(TimerId id) {
    return static_cast<std::size_t>(id) - 1;
}

}  // namespace

Scheduler::Scheduler() : MessageWindow(kWindowClass) {}

void Scheduler::SetTimerEnabled(TimerId id, bool enabled) {
    const std::size_t slot = SlotOf(id);
    // A running timer keeps its period: setting it again would restart the wait.
    if (enabled == enabled_[slot]) return;
    if (enabled) {
        if (!SetTimer(Handle(), static_cast<UINT_PTR>(id), SpecOf(id).intervalMs, nullptr))
            platform::ThrowLastError("SetTimer(" + std::string(SpecOf(id).name) + ")");
    } else {
        KillTimer(Handle(), static_cast<UINT_PTR>(id));
    }
    enabled_[slot] = enabled;
    followingUp_[slot] = false;
}

bool Scheduler::IsTimerEnabled(TimerId id) const {
    return enabled_[SlotOf(id)];
}

void Scheduler::StopAll() {
    for (const TimerSpec& timer : kTimers) SetTimerEnabled(timer.id, false);
}

void Scheduler::ApplySwitches(const MonitorSwitches& switches) {
    SetTimerEnabled(TimerId::AutorunListTimer, switches.autorun);
    SetTimerEnabled(TimerId::ProcessTimer, switches.processes);
    SetTimerEnabled(TimerId::RegChangeTimer, switches.regChange);
    SetTimerEnabled(TimerId::RegistryTimer, switches.registry);
    SetTimerEnabled(TimerId::CookiesTimer, switches.cookies);
    SetTimerEnabled(TimerId::FoldersTimer, switches.folders);
}

bool Scheduler::IsFollowingUp(TimerId id) const {
    return followingUp_[SlotOf(id)];
}

void Scheduler::SetPassUnfinished(TimerId id, bool unfinished) {
    const std::size_t slot = SlotOf(id);
    if (!enabled_[slot] || followingUp_[slot] == unfinished) return;
    // Setting an existing timer again replaces its interval.
    if (!SetTimer(Handle(), static_cast<UINT_PTR>(id), unfinished ? kFollowUpTickMs : SpecOf(id).intervalMs, nullptr))
        platform::ThrowLastError("SetTimer(" + std::string(SpecOf(id).name) + ")");
    followingUp_[slot] = unfinished;
}

LRESULT Scheduler::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER) return DefaultHandling(message, wParam, lParam);
    OnTimer(wParam);
    return 0;
}

void Scheduler::OnTimer(UINT_PTR id) {
    if (id < 1 || id > kTimers.size()) return;
    const auto timer = static_cast<TimerId>(id);
    const auto start = std::chrono::steady_clock::now();
    try {
        RunTick(timer);
    } catch (...) {
        LogCaught(SpecOf(timer).name);
    }
    const long long us =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    TickCost& cost = costs_[SlotOf(timer)];
    ++cost.ticks;
    cost.totalUs += us;
    if (us > cost.longestUs) {
        cost.longestUs = us;
        if (us > kSlowTickMs * 1000)
            LogEvent(std::string(SpecOf(timer).name) + " tick took " + std::to_string(us / 1000) + " ms");
    }
}

const Scheduler::TickCost& Scheduler::CostOf(TimerId id) const {
    return costs_[SlotOf(id)];
}

void Scheduler::LogCosts() const {
    for (const TimerSpec& timer : kTimers) {
        const TickCost& cost = CostOf(timer.id);
        if (cost.ticks == 0) continue;
        LogEvent(std::string(timer.name) + ": " + std::to_string(cost.ticks) + " ticks, " +
                 std::to_string(cost.totalUs / 1000) + " ms in all, longest " + std::to_string(cost.longestUs / 1000) +
                 " ms");
    }
}

void Scheduler::RunTick(TimerId id) {
    const auto whole = [](const std::function<void()>& tick) {
        if (tick) tick();
    };
    const auto slice = [this, id](const std::function<bool()>& tick) {
        if (tick) SetPassUnfinished(id, !tick());
    };
    switch (id) {
    case TimerId::MainTimer: whole(ticks_.MainTimerTimer); break;
    case TimerId::ProcessTimer: whole(ticks_.ProcessTimerTimer); break;
    case TimerId::AutorunListTimer: slice(ticks_.AutorunListTimerTimer); break;
    case TimerId::RegChangeTimer: slice(ticks_.RegChangeTimerTimer); break;
    case TimerId::RegistryTimer: slice(ticks_.RegistryTimerTimer); break;
    case TimerId::CookiesTimer: slice(ticks_.CookiesTimerTimer); break;
    case TimerId::FoldersTimer: slice(ticks_.FoldersTimerTimer); break;
    }
}

}  // namespace sentrel
