// The shield's clock on its own message-only window: which monitors a level runs, and how they
// tick.
#include "core/Scheduler.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "core/SecurityLevels.h"
#include "support/MessagePump.h"

namespace sentrel {
namespace {

using test::PumpUntil;

// Three monitors whose slices count their ticks in `ticks` and ask `done` whether the pass ended;
// the first ticks every 50 ms, the others every 5 s.
std::vector<MonitorEntry> CountingMonitors(std::vector<int>& ticks, std::function<bool(int tick)> done) {
    static const std::string names[] = {"AMonitor", "BMonitor", "CMonitor"};
    ticks.assign(3, 0);
    std::vector<MonitorEntry> monitors;
    for (std::size_t i = 0; i < 3; ++i) {
        monitors.push_back({names[i], i == 0 ? 50u : 5000u, kSwitchWords[i + 1],
                            [&ticks, done, i](const SliceBudget& budget) {
                                EXPECT_TRUE(budget());
                                return done(++ticks[i]);
                            }});
    }
    return monitors;
}

TEST(Scheduler, EachLevelSwitchRunsItsOwnMonitorAndNoLevelStopsTheDispatcher) {
    Scheduler scheduler;
    std::vector<int> ticks;
    scheduler.SetMonitors(CountingMonitors(ticks, [](int) { return true; }));
    for (const MonitorEntry& monitor : scheduler.Monitors()) EXPECT_FALSE(scheduler.IsTimerEnabled(monitor.name));
    for (const MonitorEntry& on : scheduler.Monitors()) {
        MonitorSwitches switches;
        switches.Set(kSysDirSwitch, true);  // the file watcher's, no timer
        switches.Set(on.levelSwitch, true);
        scheduler.ApplySwitches(switches);
        for (const MonitorEntry& monitor : scheduler.Monitors())
            EXPECT_EQ(scheduler.IsTimerEnabled(monitor.name), monitor.name == on.name) << on.name << " on";
        EXPECT_FALSE(scheduler.IsTimerEnabled(kMainTimerName));
    }
    scheduler.SetTimerEnabled(kMainTimerName, true);
    scheduler.ApplySwitches({});
    for (const MonitorEntry& monitor : scheduler.Monitors()) EXPECT_FALSE(scheduler.IsTimerEnabled(monitor.name));
    EXPECT_TRUE(scheduler.IsTimerEnabled(kMainTimerName));
    EXPECT_THROW(scheduler.SetTimerEnabled("NoSuchTimer", true), std::invalid_argument);
    EXPECT_THROW(scheduler.SetMonitors({{"AMonitor", 50, "Autorun", {}}, {"AMonitor", 50, "Folders", {}}}),
                 std::invalid_argument);
}

TEST(Scheduler, OnlyRunningTimersTickAndAFailingTickDoesNotStopTheNext) {
    Scheduler scheduler;
    int mainTicks = 0;
    std::vector<int> ticks;
    scheduler.SetMainTimerTick([&] { ++mainTicks; });
    scheduler.SetMonitors(CountingMonitors(ticks, [](int) -> bool { throw std::runtime_error("a monitor failed"); }));
    MonitorSwitches switches;
    switches.Set(scheduler.Monitors()[0].levelSwitch, true);
    scheduler.ApplySwitches(switches);
    ASSERT_TRUE(PumpUntil([&] { return ticks[0] >= 3; }, 5000));
    EXPECT_EQ(mainTicks, 0);
    EXPECT_EQ(ticks[1] + ticks[2], 0);
    EXPECT_EQ(scheduler.CostOf("AMonitor").ticks, static_cast<unsigned long long>(ticks[0]));
    EXPECT_EQ(scheduler.CostOf("AMonitor").passes, 0u);

    scheduler.ApplySwitches({});
    const int stoppedAt = ticks[0];
    scheduler.SetTimerEnabled(kMainTimerName, true);
    ASSERT_TRUE(PumpUntil([&] { return mainTicks >= 2; }, 5000));
    EXPECT_EQ(ticks[0], stoppedAt);
}

TEST(Scheduler, AnUnfinishedPassBringsTheNextTickSoonUntilItEnds) {
    Scheduler scheduler;
    std::vector<int> ticks;
    // Every third tick ends a pass.
    scheduler.SetMonitors(CountingMonitors(ticks, [](int tick) { return tick % 3 == 0; }));
    scheduler.SetTimerEnabled("BMonitor", true);
    // The first tick after the 5 s interval, the two follow-ups right after it.
    ASSERT_TRUE(PumpUntil([&] { return ticks[1] >= 1; }, 8000));
    EXPECT_TRUE(scheduler.IsFollowingUp("BMonitor"));
    ASSERT_TRUE(PumpUntil([&] { return ticks[1] >= 3; }, 1000));
    EXPECT_FALSE(scheduler.IsFollowingUp("BMonitor"));  // back to its interval
    EXPECT_EQ(scheduler.CostOf("BMonitor").passes, 1u);
}

}  // namespace
}  // namespace sentrel
