#pragma once
// The shield's clock: the timers of the dispatcher and of the timer-driven monitors, on a
// message-only window of the window thread, so every tick runs on the main thread and no window
// of the user's is needed for it. Each timer has a fixed id and interval and stays stopped until
// the security level (or, for MainTimer, the end of start-up) starts it. A tick that fails ends
// there, with a line in the diagnostic log naming its timer; the next tick starts afresh.

#include <array>
#include <functional>
#include <string_view>

#include "platform/MessageWindow.h"

namespace sentrel {

struct MonitorSwitches;

enum class TimerId : UINT_PTR {
    MainTimer = 1,     // the dispatcher
    ProcessTimer,      // process monitor
    AutorunListTimer,  // autorun monitor
    RegChangeTimer,    // watched-value monitor
    RegistryTimer,     // registry-entry monitor
    CookiesTimer,      // cookie scanner
    FoldersTimer,      // folder scanner
};

struct TimerSpec {
    TimerId id;
    std::string_view name;
    UINT intervalMs;
};

inline constexpr std::array<TimerSpec, 7> kTimers = {{
    {TimerId::MainTimer, "MainTimer", 1000},
    {TimerId::ProcessTimer, "ProcessTimer", 500},
    {TimerId::AutorunListTimer, "AutorunListTimer", 6000},
    {TimerId::RegChangeTimer, "RegChangeTimer", 4500},
    {TimerId::RegistryTimer, "RegistryTimer", 5000},
    {TimerId::CookiesTimer, "CookiesTimer", 10000},
    {TimerId::FoldersTimer, "FoldersTimer", 9000},
}};

// The pause before the next tick of a monitor whose tick walked only a slice of its table: the
// rest of the pass follows soon (the main thread answers the user in between) rather than a
// whole interval later.
inline constexpr UINT kFollowUpTickMs = 25;

constexpr const TimerSpec& SpecOf(TimerId id) {
    return kTimers[static_cast<std::size_t>(id) - 1];
}

class Scheduler : private platform::MessageWindow {
public:
    // What each timer does on its tick; a timer without a handler does nothing. The table-walking
    // monitors walk a slice of their pass per tick and return whether the pass is finished: while
    // it is not, their next tick follows after kFollowUpTickMs; the tick that ends the pass gives
    // the timer its own interval again.
    struct Ticks {
        std::function<void()> MainTimerTimer;
        std::function<void()> ProcessTimerTimer;
        std::function<bool()> AutorunListTimerTimer;  // with the autostart points, sliced
        std::function<bool()> RegChangeTimerTimer;
        std::function<bool()> RegistryTimerTimer;
        std::function<bool()> CookiesTimerTimer;
        std::function<bool()> FoldersTimerTimer;
    };

    // Creates the message-only window on the calling thread, which runs the ticks. Every timer
    // is stopped. Throws Win32Error.
    Scheduler();

    void SetTicks(Ticks ticks) { ticks_ = std::move(ticks); }
    // Starts a timer with its interval (a running one keeps its period) or stops it.
    void SetTimerEnabled(TimerId id, bool enabled);
    bool IsTimerEnabled(TimerId id) const;
    void StopAll();
    // Starts and stops the monitor timers as a level's switches say. The dispatcher's timer is
    // not part of any level, and the system-folder watcher has no timer.
    void ApplySwitches(const MonitorSwitches& switches);
    // True while the timer's pass is unfinished and its next tick comes after kFollowUpTickMs.
    bool IsFollowingUp(TimerId id) const;

    // What a timer's ticks have cost so far, in wall time of the window thread. A tick slower
    // than kSlowTickMs and than every earlier tick of its timer is logged when it ends.
    struct TickCost {
        unsigned long long ticks = 0;
        long long totalUs = 0;
        long long longestUs = 0;
    };
    static constexpr long long kSlowTickMs = 100;
    const TickCost& CostOf(TimerId id) const;
    // One log line per timer that ticked: its ticks, their time in all and the longest.
    void LogCosts() const;

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id);
    void RunTick(TimerId id);
    // Nothing happens to a stopped timer.
    void SetPassUnfinished(TimerId id, bool unfinished);

    Ticks ticks_;
    std::array<bool, kTimers.size()> enabled_{};
    std::array<bool, kTimers.size()> followingUp_{};
    std::array<TickCost, kTimers.size()> costs_{};
};

}  // namespace sentrel
