#include "ui/MainForm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>

namespace sentrel::ui {
namespace {

// Pumps the thread's messages for a while.
void PumpMessages(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    MSG message{};
    while (std::chrono::steady_clock::now() < deadline) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        Sleep(5);
    }
}

TEST(MainFormTimers, AllStartDisabledAndTickOnlyWhenEnabled) {
    TMainForm form({.terminate = [] {}, .endSession = [] {}});
    form.Create();
    int mainTicks = 0, cookieTicks = 0, processTicks = 0;
    form.SetTimerHandlers({.MainTimerTimer = [&] { ++mainTicks; },
                           .ProcessTimerTimer = [&] { ++processTicks; },
                           .CookiesTimerTimer = [&] { ++cookieTicks; }});
    for (const auto& timer : kTimers) EXPECT_FALSE(form.IsTimerEnabled(timer.id)) << timer.name;
    PumpMessages(std::chrono::milliseconds(700));
    EXPECT_EQ(processTicks, 0);

    form.SetTimerEnabled(TimerId::ProcessTimer, true);
    EXPECT_TRUE(form.IsTimerEnabled(TimerId::ProcessTimer));
    PumpMessages(std::chrono::milliseconds(1300));
    EXPECT_GE(processTicks, 1);
    EXPECT_LE(processTicks, 3);  // every 500 ms
    EXPECT_EQ(mainTicks, 0);
    EXPECT_EQ(cookieTicks, 0);

    form.SetTimerEnabled(TimerId::ProcessTimer, false);
    const int stoppedAt = processTicks;
    PumpMessages(std::chrono::milliseconds(700));
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
    PumpMessages(std::chrono::milliseconds(1400));
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
