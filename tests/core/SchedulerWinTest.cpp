// The shield's clock on its own message-only window: which timers a level runs, and how they tick.
#include "core/Scheduler.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "core/SecurityLevels.h"
#include "support/MessagePump.h"

namespace sentrel {
namespace {

using test::PumpUntil;

TEST(Scheduler, EachSwitchRunsItsOwnMonitorTimerAndNoLevelStopsTheDispatcher) {
    Scheduler scheduler;
    for (const TimerSpec& timer : kTimers) EXPECT_FALSE(scheduler.IsTimerEnabled(timer.id)) << timer.name;
    const std::pair<bool MonitorSwitches::*, TimerId> switchTimers[] = {
        {&MonitorSwitches::autorun, TimerId::AutorunListTimer}, {&MonitorSwitches::processes, TimerId::ProcessTimer},
        {&MonitorSwitches::regChange, TimerId::RegChangeTimer}, {&MonitorSwitches::registry, TimerId::RegistryTimer},
        {&MonitorSwitches::cookies, TimerId::CookiesTimer},     {&MonitorSwitches::folders, TimerId::FoldersTimer},
    };
    for (const auto& [member, id] : switchTimers) {
        MonitorSwitches switches;
        switches.sysDir = true;  // the file watcher's, no timer
        switches.*member = true;
        scheduler.ApplySwitches(switches);
        for (const TimerSpec& timer : kTimers)
            EXPECT_EQ(scheduler.IsTimerEnabled(timer.id), timer.id == id) << SpecOf(id).name << " on: " << timer.name;
    }
    scheduler.SetTimerEnabled(TimerId::MainTimer, true);
    scheduler.ApplySwitches({});
    for (const TimerSpec& timer : kTimers)
        EXPECT_EQ(scheduler.IsTimerEnabled(timer.id), timer.id == TimerId::MainTimer) << timer.name;
}

TEST(Scheduler, OnlyRunningTimersTickAndAFailingTickDoesNotStopTheNext) {
    Scheduler scheduler;
    int mainTicks = 0, processTicks = 0;
    scheduler.SetTicks({.MainTimerTimer = [&] { ++mainTicks; },
                        .ProcessTimerTimer = [&] {
                            ++processTicks;
                            throw std::runtime_error("a monitor failed");
                        }});
    MonitorSwitches switches;
    switches.processes = true;
    scheduler.ApplySwitches(switches);
    // Three ticks of 500 ms: a dispatcher tick (1000 ms) would have come by then.
    ASSERT_TRUE(PumpUntil([&] { return processTicks >= 3; }, 5000));
    EXPECT_EQ(mainTicks, 0);

    scheduler.ApplySwitches({});
    const int stoppedAt = processTicks;
    scheduler.SetTimerEnabled(TimerId::MainTimer, true);
    ASSERT_TRUE(PumpUntil([&] { return mainTicks >= 2; }, 5000));
    EXPECT_EQ(processTicks, stoppedAt);
}

TEST(Scheduler, AnUnfinishedPassBringsTheNextTickSoonUntilItEnds) {
    Scheduler scheduler;
    int ticks = 0;
    scheduler.SetTicks({.RegistryTimerTimer = [&] { return ++ticks >= 3; }});
    scheduler.SetTimerEnabled(TimerId::RegistryTimer, true);
    // The first tick after the 5 s interval, the two follow-ups right after it.
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 1; }, 8000));
    EXPECT_TRUE(scheduler.IsFollowingUp(TimerId::RegistryTimer));
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 3; }, 1000));
    EXPECT_FALSE(scheduler.IsFollowingUp(TimerId::RegistryTimer));  // back to its interval
}

TEST(Scheduler, IntervalsAreTheMonitorIntervals) {
    EXPECT_EQ(SpecOf(TimerId::MainTimer).intervalMs, 1000u);
    EXPECT_EQ(SpecOf(TimerId::ProcessTimer).intervalMs, 500u);
    EXPECT_EQ(SpecOf(TimerId::AutorunListTimer).intervalMs, 6000u);
    EXPECT_EQ(SpecOf(TimerId::RegChangeTimer).intervalMs, 4500u);
    EXPECT_EQ(SpecOf(TimerId::RegistryTimer).intervalMs, 5000u);
    EXPECT_EQ(SpecOf(TimerId::CookiesTimer).intervalMs, 10000u);
    EXPECT_EQ(SpecOf(TimerId::FoldersTimer).intervalMs, 9000u);
}

}  // namespace
}  // namespace sentrel
