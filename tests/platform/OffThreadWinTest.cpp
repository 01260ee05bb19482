// Work off the window thread: each finish runs once on the window thread, by the worker's post or
// by the drain at the end; a work still running at the end is left, its finish never runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "platform/OffThread.h"
#include "platform/UniqueHandle.h"
#include "support/MessagePump.h"

namespace sentrel::platform {
namespace {

TEST(OffThread, EachFinishRunsOnceOnTheWindowThreadAndTheDrainLeavesWhatStillRuns) {
    uitask::Host host;
    const DWORD windowThread = GetCurrentThreadId();
    OffThread offThread;
    DWORD workThread = 0;
    int finished = 0, late = 0, held = 0;
    offThread.Run([&] { workThread = GetCurrentThreadId(); },
                  [&] { finished += GetCurrentThreadId() == windowThread ? 1 : 10; });
    ASSERT_TRUE(test::PumpUntil([&] { return finished == 1; }, 5000));
    EXPECT_NE(workThread, windowThread);

    // The drain finishes the ended work before its post is handled (which then finds nothing).
    const UniqueHandle hold(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    offThread.Run([] {}, [&] { ++late; });
    // The worker drops its work, and this with it, once it has posted its finish.
    auto token = std::make_shared<int>();
    const std::weak_ptr<int> workGone = token;
    offThread.Run([&, token] { WaitForSingleObject(hold.get(), 10000); }, [&] { ++held; });
    token.reset();
    EXPECT_EQ(offThread.Drain(300), 1u);
    EXPECT_EQ(late, 1);
    SetEvent(hold.get());
    ASSERT_TRUE(test::PumpUntil([&] { return workGone.expired(); }, 10000));
    bool after = false;  // runs after the worker's post
    uitask::Post([&] { after = true; });
    ASSERT_TRUE(test::PumpUntil([&] { return after; }, 5000));
    EXPECT_EQ(late, 1);
    EXPECT_EQ(held, 0);
}

}  // namespace
}  // namespace sentrel::platform
