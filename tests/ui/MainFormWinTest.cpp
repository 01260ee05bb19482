#include "ui/MainForm.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/MessagePump.h"

namespace sentrel::ui {
namespace {

using sentrel::test::PumpFor;

TEST(MainFormTimers, AllStartDisabledAndTickOnlyWhenEnabled) {
    TMainForm form({.terminate = [] {}, .endSession = [] {}});
    form.Create();
    int mainTicks = 0, cookieTicks = 0, processTicks = 0;
    form.SetTimerHandlers({.MainTimerTimer = [&] { ++mainTicks; },
                           .ProcessTimerTimer = [&] { ++processTicks; },
                           .CookiesTimerTimer = [&] { ++cookieTicks; }});
    for (const auto& timer : kTimers) EXPECT_FALSE(form.IsTimerEnabled(timer.id)) << timer.name;
    PumpFor(700);
    EXPECT_EQ(processTicks, 0);

    form.SetTimerEnabled(TimerId::ProcessTimer, true);
    EXPECT_TRUE(form.IsTimerEnabled(TimerId::ProcessTimer));
    PumpFor(1300);
    EXPECT_GE(processTicks, 1);
    EXPECT_LE(processTicks, 3);  // every 500 ms
    EXPECT_EQ(mainTicks, 0);
    EXPECT_EQ(cookieTicks, 0);

    form.SetTimerEnabled(TimerId::ProcessTimer, false);
    const int stoppedAt = processTicks;
    PumpFor(700);
    EXPECT_EQ(processTicks, stoppedAt);
}

TEST(MainFormTimers, AFailingTickIsSwallowedAndTheNextOneRuns) {
    TMainForm form({.terminate = [] {}, .endSession = [] {}});
    form.Create();
    int ticks = 0;
    form.SetTimerHandlers({.ProcessTimerTimer = [&] {
        ++ticks;
        throw std::runtime_error("a monitor failed");
    }});
    form.SetTimerEnabled(TimerId::ProcessTimer, true);
    PumpFor(1400);
    EXPECT_GE(ticks, 2);
}

TEST(MainFormTimers, IntervalsAreTheMonitorIntervals) {
    EXPECT_EQ(SpecOf(TimerId::MainTimer).intervalMs, 1000u);
    EXPECT_EQ(SpecOf(TimerId::ProcessTimer).intervalMs, 500u);
    EXPECT_EQ(SpecOf(TimerId::AutorunListTimer).intervalMs, 6000u);
    EXPECT_EQ(SpecOf(TimerId::RegChangeTimer).intervalMs, 4500u);
    EXPECT_EQ(SpecOf(TimerId::RegistryTimer).intervalMs, 5000u);
    EXPECT_EQ(SpecOf(TimerId::CookiesTimer).intervalMs, 10000u);
    EXPECT_EQ(SpecOf(TimerId::FoldersTimer).intervalMs, 9000u);
}

}  // namespace
}  // namespace sentrel::ui
