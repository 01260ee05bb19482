#include "core/Scheduler.h"

#include <chrono>
#include <stdexcept>
#include <string>

#include "common/DiagnosticLog.h"
#include "core/SecurityLevels.h"
#include "platform/Win32Error.h"

namespace sentrel {

namespace {

constexpr const char* kWindowClass = "SentrelScheduler";

UINT_PTR TimerIdOf(std::size_t slot) {
    return static_cast<UINT_PTR>(slot + 1);
}

}  // namespace

Scheduler::Scheduler() : MessageWindow(kWindowClass) {
    slots_.push_back({kMainTimerName, kMainTimerIntervalMs});
}

void Scheduler::SetMonitors(std::vector<MonitorEntry> monitors) {
    for (std::size_t slot = 1; slot < slots_.size(); ++slot) SetSlotEnabled(slot, false);
    slots_.resize(1);
    for (const MonitorEntry& monitor : monitors) {
        for (const Slot& slot : slots_) {
            if (slot.name == monitor.name)
                throw std::invalid_argument("a second timer named " + std::string(monitor.name));
        }
        slots_.push_back({monitor.name, monitor.intervalMs});
    }
    monitors_ = std::move(monitors);
    firstPassesLogged_ = false;
}

std::size_t Scheduler::SlotOf(std::string_view name) const {
    for (std::size_t slot = 0; slot < slots_.size(); ++slot)
        if (slots_[slot].name == name) return slot;
    throw std::invalid_argument("no timer named " + std::string(name));
}

void Scheduler::SetTimerEnabled(std::string_view name, bool enabled) {
    SetSlotEnabled(SlotOf(name), enabled);
}

void Scheduler::SetSlotEnabled(std::size_t slot, bool enabled) {
    Slot& timer = slots_[slot];
    // A running timer keeps its period: setting it again would restart the wait.
    if (enabled == timer.enabled) return;
    if (enabled) {
        if (!SetTimer(Handle(), TimerIdOf(slot), timer.intervalMs, nullptr))
            platform::ThrowLastError("SetTimer(" + std::string(timer.name) + ")");
    } else {
        KillTimer(Handle(), TimerIdOf(slot));
    }
    timer.enabled = enabled;
    timer.followingUp = false;
}

bool Scheduler::IsTimerEnabled(std::string_view name) const {
    return slots_[SlotOf(name)].enabled;
}

void Scheduler::StopAll() {
    for (std::size_t slot = 0; slot < slots_.size(); ++slot) SetSlotEnabled(slot, false);
}

void Scheduler::ApplySwitches(const MonitorSwitches& switches) {
    for (std::size_t i = 0; i < monitors_.size(); ++i) SetSlotEnabled(i + 1, switches[monitors_[i].levelSwitch]);
}

bool Scheduler::IsFollowingUp(std::string_view name) const {
    return slots_[SlotOf(name)].followingUp;
}

void Scheduler::SetPassUnfinished(std::size_t slot, bool unfinished) {
    Slot& timer = slots_[slot];
    if (!timer.enabled || timer.followingUp == unfinished) return;
    // Setting an existing timer again replaces its interval.
    if (!SetTimer(Handle(), TimerIdOf(slot), unfinished ? kFollowUpTickMs : timer.intervalMs, nullptr))
        platform::ThrowLastError("SetTimer(" + std::string(timer.name) + ")");
    timer.followingUp = unfinished;
}

LRESULT Scheduler::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER) return DefaultHandling(message, wParam, lParam);
    OnTimer(wParam);
    return 0;
}

void Scheduler::OnTimer(UINT_PTR id) {
    if (id < 1 || id > slots_.size()) return;
    const std::size_t slot = id - 1;
    const auto start = std::chrono::steady_clock::now();
    try {
        if (slot == 0) {
            if (mainTick_) mainTick_();
        } else if (const MonitorEntry& monitor = monitors_[slot - 1]; monitor.slice) {
            const bool done = monitor.slice(TimeBudget(kMonitorSliceTime));
            SetPassUnfinished(slot, !done);
            if (done) {
                ++slots_[slot].cost.passes;
                NotePass();
            }
        }
    } catch (...) {
        LogCaught(slots_[slot].name);
    }
    const long long us =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    TickCost& cost = slots_[slot].cost;
    ++cost.ticks;
    cost.totalUs += us;
    if (us > cost.longestUs) {
        cost.longestUs = us;
        if (us > kSlowTickMs * 1000)
            LogEvent(std::string(slots_[slot].name) + " tick took " + std::to_string(us / 1000) + " ms");
    }
}

void Scheduler::NotePass() {
    if (firstPassesLogged_) return;
    for (std::size_t slot = 1; slot < slots_.size(); ++slot)
        if (slots_[slot].enabled && slots_[slot].cost.passes == 0) return;
    firstPassesLogged_ = true;
    LogEvent("first pass of every monitor done");
}

const Scheduler::TickCost& Scheduler::CostOf(std::string_view name) const {
    return slots_[SlotOf(name)].cost;
}

void Scheduler::LogCosts() const {
    for (const Slot& timer : slots_) {
        const TickCost& cost = timer.cost;
        if (cost.ticks == 0) continue;
        LogEvent(std::string(timer.name) + ": " + std::to_string(cost.ticks) + " ticks, " +
                 std::to_string(cost.totalUs / 1000) + " ms in all, longest " + std::to_string(cost.longestUs / 1000) +
                 " ms");
    }
}

}  // namespace sentrel
