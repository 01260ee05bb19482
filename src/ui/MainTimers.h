#pragma once
// The timers of the main window: every timer of the program belongs to it and fires on the
// main thread. Each has a fixed id and interval and is disabled until the security level (or,
// for MainTimer, the end of start-up) enables it.

#include <array>
#include <string_view>

#include <windows.h>

namespace sentrel::ui {

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

}  // namespace sentrel::ui
