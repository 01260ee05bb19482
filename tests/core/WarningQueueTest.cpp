#include "core/WarningQueue.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/ProbeWarning.h"
#include "support/TempFolder.h"
#include "warnings/Backuper.h"
#include "warnings/Warning.h"

namespace sentrel {
namespace {

constexpr auto kHkcu = RegistryRoot::CurrentUser;

std::unique_ptr<TWarning> Process(const std::string& name, const std::string& folder = "C:\\x\\") {
    return std::make_unique<TProcessWarning>(name, folder + name);
}

using test::ProbeWarning;

TEST(WarningQueue, HoldsAtMost201Warnings) {
    WarningQueue queue;
    for (int i = 0; i < 200; ++i) queue.QueueWarning(Process("p" + std::to_string(i) + ".dll"));
    ASSERT_EQ(queue.Count(), 200u);

    // Holding 200 it accepts one more; holding 201 it refuses every new one.
    queue.QueueWarning(Process("p200.dll"));
    EXPECT_EQ(queue.Count(), 201u);
    queue.QueueWarning(Process("p201.dll"));
    queue.QueueWarning(std::make_unique<TCookieWarning>("cookie.txt"));
    EXPECT_EQ(queue.Count(), 201u);

    // Once the dispatcher has removed one, there is room for one again.
    queue.RemoveHead();
    EXPECT_EQ(queue.Count(), 200u);
    queue.QueueWarning(Process("p201.dll"));
    EXPECT_EQ(queue.Count(), 201u);
    queue.QueueWarning(Process("p202.dll"));
    EXPECT_EQ(queue.Count(), 201u);
    EXPECT_EQ(queue.Head()->Name, "p1.dll");
}

TEST(WarningQueue, RefusesEmptyNamesAndDuplicates) {
    WarningQueue queue;
    queue.QueueWarning(Process(""));
    queue.QueueWarning(std::make_unique<TCookieWarning>(""));
    queue.QueueWarning(nullptr);
    EXPECT_TRUE(queue.Empty());

    // Two identical findings of one tick give one warning; a process in another folder is the
    // same process warning, a file in another folder is not the same file warning.
    queue.QueueWarning(Process("a.dll"));
    queue.QueueWarning(Process("a.dll"));
    queue.QueueWarning(Process("a.dll", "D:\\y\\"));
    EXPECT_EQ(queue.Count(), 1u);
    queue.QueueWarning(std::make_unique<TFileWarning>("a.dll", "C:\\x\\a.dll"));
    queue.QueueWarning(std::make_unique<TFileWarning>("a.dll", "D:\\y\\a.dll"));
    queue.QueueWarning(std::make_unique<TFileWarning>("a.dll", "D:\\y\\a.dll"));
    EXPECT_EQ(queue.Count(), 3u);
    EXPECT_EQ(queue.Head()->ClassName(), "TProcessWarning");
}

TEST(WarningQueue, DuplicateTestAsksTheQueuedWarning) {
    // A queued autorun warning refuses a registry entry warning with the same fields...
    WarningQueue autorunFirst;
    autorunFirst.QueueWarning(std::make_unique<TAutorunAddWarning>(kHkcu, "K\\", "K\\", "V", "data"));
    autorunFirst.QueueWarning(std::make_unique<TRegistyWarning>(kHkcu, "K\\", "K\\", "V", "data"));
    EXPECT_EQ(autorunFirst.Count(), 1u);

    // ...while a queued registry entry warning lets the autorun warning in.
    WarningQueue entryFirst;
    entryFirst.QueueWarning(std::make_unique<TRegistyWarning>(kHkcu, "K\\", "K\\", "V", "data"));
    entryFirst.QueueWarning(std::make_unique<TAutorunAddWarning>(kHkcu, "K\\", "K\\", "V", "data"));
    ASSERT_EQ(entryFirst.Count(), 2u);
    EXPECT_EQ(entryFirst.Head()->ClassName(), "TRegistyWarning");

    // Every queued warning is asked, not only the head.
    entryFirst.QueueWarning(std::make_unique<TRegistyWarning>(kHkcu, "K\\", "K\\", "V", "other data"));
    entryFirst.QueueWarning(std::make_unique<TFileWarning>("b.dll", "C:\\b.dll"));
    entryFirst.QueueWarning(std::make_unique<TFileWarning>("b.dll", "C:\\b.dll"));
    EXPECT_EQ(entryFirst.Count(), 3u);
}

TEST(WarningQueue, OwnsItsWarnings) {
    ASSERT_EQ(ProbeWarning::living, 0);
    {
        WarningQueue queue;
        queue.QueueWarning(std::make_unique<ProbeWarning>("one"));
        queue.QueueWarning(std::make_unique<ProbeWarning>("two"));
        EXPECT_EQ(ProbeWarning::living, 2);

        // A refused warning is destroyed at once.
        queue.QueueWarning(std::make_unique<ProbeWarning>("one"));
        queue.QueueWarning(std::make_unique<ProbeWarning>(""));
        EXPECT_EQ(ProbeWarning::living, 2);

        // The current warning is the head, still queued; removing it destroys it and clears it.
        TWarning* head = queue.MakeHeadCurrent();
        EXPECT_EQ(head, queue.Head());
        EXPECT_EQ(queue.Current(), head);
        EXPECT_EQ(queue.Count(), 2u);
        queue.RemoveHead();
        EXPECT_EQ(ProbeWarning::living, 1);
        EXPECT_EQ(queue.Current(), nullptr);
        EXPECT_EQ(queue.Head()->Name, "two");

        // Removing the head while another warning is current leaves that one current.
        queue.QueueWarning(std::make_unique<ProbeWarning>("three"));
        queue.MakeHeadCurrent();
        queue.ClearCurrent();
        EXPECT_EQ(queue.Current(), nullptr);
        queue.RemoveHead();
        queue.RemoveHead();
        queue.RemoveHead();  // empty: nothing happens
        EXPECT_EQ(ProbeWarning::living, 0);
        EXPECT_EQ(queue.MakeHeadCurrent(), nullptr);

        // What is still queued goes with the queue.
        queue.QueueWarning(std::make_unique<ProbeWarning>("four"));
    }
    EXPECT_EQ(ProbeWarning::living, 0);
}

TEST(WarningQueue, MarksAWarningFromItsPlanToItsFinish) {
    test::TempFolder folder;
    TBackuper backuper(folder.Path());
    std::function<void()> act, finish;
    WarningQueue queue({}, [&](auto work, auto then) { std::tie(act, finish) = std::tie(work, then); });
    queue.QueueWarning(std::make_unique<ProbeWarning>("slow"));
    TWarning& slow = *queue.MakeHeadCurrent();
    const int fixesBefore = ProbeWarning::fixes;
    int ended = 0;
    queue.StartFix(slow, backuper, [&](const FixResult& result) {
        ended += result.error ? 10 : 1;
        queue.RemoveHead();  // the mark is gone by now
    });

    // Marked: it cannot go, and no second fix starts; new warnings still queue.
    EXPECT_EQ(queue.BeingFixed(), &slow);
    EXPECT_THROW(queue.RemoveHead(), std::logic_error);
    EXPECT_THROW(queue.StartFix(slow, backuper, [](const FixResult&) {}), std::logic_error);
    ProbeWarning unqueued("unqueued");
    unqueued.MakeTexts();
    EXPECT_THROW(queue.StartFix(unqueued, backuper, [](const FixResult&) {}), std::logic_error);
    queue.QueueWarning(std::make_unique<ProbeWarning>("next"));
    EXPECT_EQ(queue.Count(), 2u);

    // The act on another thread touches no queue (a call there would fail the fix).
    std::thread(act).join();
    EXPECT_EQ(ProbeWarning::fixes, fixesBefore + 1);
    EXPECT_EQ(ended, 0);
    finish();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(queue.Head()->Name, "next");
}

TEST(WarningQueue, RefusesCallsFromAnotherThread) {
    test::TempFolder folder;
    TBackuper backuper(folder.Path());
    WarningQueue queue;
    queue.QueueWarning(Process("a.dll"));
    EXPECT_EQ(queue.OwnerThread(), std::this_thread::get_id());

    int refused = 0;
    std::string message;
    TWarning* const head = queue.Head();
    std::thread other([&] {
        const auto attempt = [&](auto&& call) {
            try {
                call();
            } catch (const std::logic_error& error) {
                ++refused;
                message = error.what();
            }
        };
        attempt([&] { queue.QueueWarning(Process("b.dll")); });
        attempt([&] { queue.Head(); });
        attempt([&] { queue.Count(); });
        attempt([&] { queue.Empty(); });
        attempt([&] { queue.MakeHeadCurrent(); });
        attempt([&] { queue.Current(); });
        attempt([&] { queue.ClearCurrent(); });
        attempt([&] { queue.RemoveHead(); });
        attempt([&] { queue.AlertBusy(); });
        attempt([&] { queue.SetAlertBusy(true); });
        attempt([&] { queue.StartFix(*head, backuper, [](const FixResult&) {}); });
    });
    other.join();
    EXPECT_EQ(refused, 11);
    EXPECT_NE(message.find("StartFix"), std::string::npos) << message;

    // Nothing changed, and the owning thread goes on as before.
    EXPECT_EQ(queue.Count(), 1u);
    EXPECT_EQ(queue.Current(), nullptr);
    EXPECT_FALSE(queue.AlertBusy());
    queue.QueueWarning(Process("b.dll"));
    EXPECT_EQ(queue.Count(), 2u);
}

}  // namespace
}  // namespace sentrel
