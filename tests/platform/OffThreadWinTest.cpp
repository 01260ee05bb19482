// Work off the window thread: its finish comes back to the window thread once, whether by the
// worker's post or by the drain at the end; a work still running at the end is left unfinished.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "platform/OffThread.h"
#include "platform/UiTask.h"
#include "platform/UniqueHandle.h"
#include "support/MessagePump.h"

namespace sentrel::platform {
namespace {

TEST(OffThread, EachFinishRunsOnceOnTheWindowThreadAndTheDrainLeavesWhatStillRuns) {
    uitask::Host host;
    const DWORD windowThread = GetCurrentThreadId();
    OffThread offThread;

    // Finished by the worker's post.
    std::atomic<DWORD> workThread{0};
    int finished = 0;
    offThread.Run([&] { workThread = GetCurrentThreadId(); }, [&] {
        EXPECT_EQ(GetCurrentThreadId(), windowThread);
        ++finished;
    });
    ASSERT_TRUE(test::PumpUntil([&] { return finished == 1; }, 5000));
    EXPECT_NE(workThread.load(), windowThread);
    EXPECT_EQ(offThread.Pending(), 0u);

    // At the end: a work that has ended is finished by the drain, before its post is handled
    // (which then finds nothing); one still held is left, its finish never runs.
    const UniqueHandle hold(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    int late = 0;
    int held = 0;
    offThread.Run([] {}, [&] { ++late; });
    offThread.Run([&] { WaitForSingleObject(hold.get(), 10000); }, [&] { ++held; });
    EXPECT_EQ(offThread.Drain(300), 1u);
    EXPECT_EQ(late, 1);
    EXPECT_EQ(held, 0);
    SetEvent(hold.get());
    test::PumpFor(300);
    EXPECT_EQ(late, 1);
}

}  // namespace
}  // namespace sentrel::platform
