#pragma once
// The shield's clock: the dispatcher's timer and one timer per timer-driven monitor, on a
// message-only window of the window thread, so every tick runs on the main thread and no window
// of the user's is needed for it. The monitors are data: a list of entries, each with its name,
// interval, level switch and slice, given once; the timer ids follow from the list's order.
// Every timer stays stopped until the security level (or, for MainTimer, the end of start-up)
// starts it. A tick that fails ends there, with a line in the diagnostic log naming its timer;
// the next tick starts afresh.

#include <functional>
#include <string_view>
#include <vector>

#include "monitors/SliceCursor.h"
#include "platform/MessageWindow.h"

namespace sentrel {

struct MonitorSwitches;

// The dispatcher's timer: not a monitor, part of no level.
inline constexpr std::string_view kMainTimerName = "MainTimer";
inline constexpr unsigned kMainTimerIntervalMs = 1000;

// One timer-driven monitor.
struct MonitorEntry {
    std::string_view name;  // the timer's name ("ProcessTimer"), in the log and the tick costs
    unsigned intervalMs = 0;
    // The monitor word of the level switch that runs it ("Processes": LowProcesses, ...).
    std::string_view levelSwitch;
    // Walks a slice of the monitor's pass while the budget allows; true when the slice ended
    // the pass. A monitor that is not walked in slices does its whole tick and says true.
    std::function<bool(const SliceBudget& budget)> slice;
};

// The pause before the next tick of a monitor whose tick walked only a slice of its pass: the
// rest of the pass follows soon (the main thread answers the user in between) rather than a
// whole interval later.
inline constexpr unsigned kFollowUpTickMs = 25;

class Scheduler : private platform::MessageWindow {
public:
    // Creates the message-only window on the calling thread, which runs the ticks. Every timer
    // is stopped. Throws Win32Error.
    Scheduler();

    // What MainTimer does on its tick; nothing until it is set.
    void SetMainTimerTick(std::function<void()> tick) { mainTick_ = std::move(tick); }
    // The monitors, each with a timer of its own. Stops every monitor timer of a list given
    // before. Throws std::invalid_argument for a name given twice (or MainTimer's).
    void SetMonitors(std::vector<MonitorEntry> monitors);
    const std::vector<MonitorEntry>& Monitors() const { return monitors_; }

    // Starts a timer, by name, with its interval (a running one keeps its period) or stops it.
    // Throws std::invalid_argument for a name that is no timer's.
    void SetTimerEnabled(std::string_view name, bool enabled);
    bool IsTimerEnabled(std::string_view name) const;
    void StopAll();
    // Starts and stops each monitor by its level switch. MainTimer is not part of any level, and
    // the system-folder watcher has no timer.
    void ApplySwitches(const MonitorSwitches& switches);
    // True while the monitor's pass is unfinished and its next tick comes after kFollowUpTickMs.
    bool IsFollowingUp(std::string_view name) const;

    // What a timer's ticks have cost so far, in wall time of the window thread. A tick slower
    // than kSlowTickMs and than every earlier tick of its timer is logged when it ends.
    struct TickCost {
        unsigned long long ticks = 0;
        unsigned long long passes = 0;  // ticks that ended a pass
        long long totalUs = 0;
        long long longestUs = 0;
    };
    static constexpr long long kSlowTickMs = 100;
    const TickCost& CostOf(std::string_view name) const;
    // One log line per timer that ticked: its ticks, their time in all and the longest.
    void LogCosts() const;

private:
    // MainTimer is slot 0, the monitors follow in their order; a timer's id is its slot + 1.
    struct Slot {
        std::string_view name;
        unsigned intervalMs = 0;
        bool enabled = false;
        bool followingUp = false;
        TickCost cost;
    };

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(UINT_PTR id);
    std::size_t SlotOf(std::string_view name) const;
    void SetSlotEnabled(std::size_t slot, bool enabled);
    // Nothing happens to a stopped timer.
    void SetPassUnfinished(std::size_t slot, bool unfinished);
    // Once every running monitor has ended a pass, says so in the log (once a run).
    void NotePass();

    std::function<void()> mainTick_;
    std::vector<MonitorEntry> monitors_;
    std::vector<Slot> slots_;
    bool firstPassesLogged_ = false;
};

}  // namespace sentrel
