// Tasks handed to the window thread: where and in which order they run, and which never run.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/UiTask.h"
#include "platform/WorkerThread.h"
#include "support/MessagePump.h"

namespace sentrel::platform {
namespace {

using test::PumpUntil;

TEST(UiTask, TasksFromAnyThreadRunOnTheWindowThreadInOrder) {
    uitask::Host host;
    const DWORD windowThread = GetCurrentThreadId();
    std::vector<int> ran;  // touched by the tasks only
    std::vector<DWORD> threads;
    uitask::Post([&] {
        ran.push_back(0);
        throw std::runtime_error("a task that fails");  // logged; the next one runs
    });
    std::thread worker([&] {
        for (int i = 1; i <= 300; ++i) {
            uitask::Post([&, i] {
                ran.push_back(i);
                threads.push_back(GetCurrentThreadId());
            });
        }
    });
    worker.join();
    EXPECT_TRUE(ran.empty()) << "a task ran outside the message loop";
    ASSERT_TRUE(PumpUntil([&] { return ran.size() == 301; }, 10000)) << ran.size() << " tasks ran";
    for (int i = 0; i <= 300; ++i) ASSERT_EQ(ran[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(std::count(threads.begin(), threads.end(), windowThread), 300);
}

TEST(UiTask, TasksOfAnEndedOwnerAndThoseLeftAtShutdownAreDestroyedUnrun) {
    int ran = 0;
    const auto held = std::make_shared<int>();  // every task holds it: its count shows them
    {
        uitask::Host host;
        uitask::Lifetime owner;
        const uitask::Poster oldLife = owner.MakePoster();
        oldLife.Post([&ran, held] { ++ran; });
        owner.Renew();
        oldLife.Post([&ran, held] { ++ran; });
        owner.MakePoster().Post([&ran] { ran += 10; });
        ASSERT_TRUE(PumpUntil([&] { return ran != 0; }, 5000));
        EXPECT_EQ(ran, 10);
        EXPECT_EQ(held.use_count(), 1);

        uitask::Post([&ran, held] { ++ran; });  // still queued when the host goes
        EXPECT_EQ(held.use_count(), 2);
    }
    EXPECT_EQ(held.use_count(), 1);
    uitask::Post([&ran, held] { ++ran; });  // no host: dropped at once
    EXPECT_EQ(held.use_count(), 1);
    EXPECT_EQ(ran, 10);
}

TEST(UiTask, ASentTaskRunsOnTheWindowThreadWhileItsSenderWaitsUnlessItsOwnerHasEnded) {
    uitask::Lifetime owner;
    const uitask::Poster poster = owner.MakePoster();
    DWORD ranOn = 0;
    int ran = 0;
    bool sent = false;
    {
        uitask::Host host;
        // The window thread waits for the sender and runs its task meanwhile.
        const WorkerThread sender([&] { sent = poster.Send([&] { ranOn = GetCurrentThreadId(); }); });
        ASSERT_TRUE(uitask::WaitLettingSendsRun(sender.Handle(), 5000));
        EXPECT_TRUE(sent);
        EXPECT_EQ(ranOn, GetCurrentThreadId());

        owner.Renew();
        const WorkerThread late([&] { sent = poster.Send([&] { ++ran; }); });
        ASSERT_TRUE(uitask::WaitLettingSendsRun(late.Handle(), 5000));
        EXPECT_FALSE(sent);
    }
    EXPECT_FALSE(owner.MakePoster().Send([&] { ++ran; })) << "sent with no host";
    EXPECT_EQ(ran, 0);
}

}  // namespace
}  // namespace sentrel::platform
