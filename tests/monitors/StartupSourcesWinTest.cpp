// The scheduled-task source: a listing a fix or an undo overlapped is dropped, each row gets its
// folder's tasks, and where listing is not implemented (Wine) it is tried once only.
#include <gtest/gtest.h>

#include <windows.h>

#include "common/Files.h"
#include "common/Utf8Text.h"
#include "monitors/StartupSources.h"
#include "support/TempFolder.h"
#include "support/MessagePump.h"
#include "warnings/StartupWarnings.h"
#include "platform/Win32Error.h"

namespace sentrel {
namespace {

AutostartPoint TasksPoint(std::string folder) {
    return {.kind = AutostartPointKind::Tasks, .path = std::move(folder), .name = "the scheduled tasks"};
}

// Each listing's work and finish, kept for the test to run.
using Runs = std::vector<std::pair<std::function<void()>, std::function<void()>>>;
std::vector<platform::ScheduledTask> NoStore() {
    return {};
}

AutostartRunner KeepIn(Runs& runs) {
    return [&runs](std::function<void()> work, std::function<void()> finish) { runs.emplace_back(work, finish); };
}

TEST(ScheduledTasksSource, DropsAListingAFixOverlappedAndGivesEachRowItsFolder) {
    auto gate = std::make_shared<AutostartGate>();
    Runs runs;
    const std::vector<platform::ScheduledTask> tasks = {
        {"\\Updater", "u.exe", {}, true, {{"u.exe", "", ""}}},
        {"\\Vendor\\Job", "j.exe", {}, true, {{"j.exe", "/a", "C:\\j"}}}};
    auto source = MakeScheduledTasksSource({TasksPoint("\\"), TasksPoint("\\vendor")}, gate, KeepIn(runs), 0,
                                           [&] { return tasks; }, NoStore);
    EXPECT_FALSE(source->Read(0));  // the first reading starts a listing
    ASSERT_EQ(runs.size(), 1u);
    runs[0].first();  // listed; a fix holds and accepts a point before the listing's finish
    gate->Hold("tasks \\");
    gate->Accept("tasks \\");
    runs[0].second();
    EXPECT_FALSE(source->Read(0)) << "a listing that may miss the fix was used";
    ASSERT_EQ(runs.size(), 2u);

    runs[1].first();
    runs[1].second();
    const auto all = source->Read(0);
    const auto vendor = source->Read(1);
    ASSERT_TRUE(all && vendor);
    EXPECT_EQ(all->size(), 2u);
    // Each task keeps its actions, which a fix of their change puts back.
    EXPECT_EQ(*vendor,
              (std::vector<AutostartEntry>{{"\\Vendor\\Job", "j.exe", TaskActionsRaw({{"j.exe", "/a", "C:\\j"}})}}));
    EXPECT_EQ(runs.size(), 3u);  // both rows took the listing: the next one starts
}

// Where the Task Scheduler cannot list tasks (Wine), the task store tells them, and is read again
// only once something changed there.
TEST(ScheduledTasksSource, WhereListingIsNotImplementedTheStoreIsReadWhenItChanged) {
    const test::TempFolder store;
    const auto define = [&](const std::string& name, const std::string& command) {
        const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-16\"?><Task><Actions><Exec><Command>" + command +
                                "</Command><Arguments>-a &amp; b</Arguments></Exec></Actions></Task>";
        CreateFolders(store / "Vendor");
        WriteFileAtomically(store / name, std::string(kUtf16LeByteOrderMark) + Utf16LeFromUtf8(xml));
    };
    define("Vendor\\Job", "C:\\x\\job.exe");
    Runs runs;
    auto source = MakeScheduledTasksSource(
        {TasksPoint("\\")}, std::make_shared<AutostartGate>(), KeepIn(runs), 0,
        []() -> std::vector<platform::ScheduledTask> { throw platform::Win32Error("GetTasks", static_cast<DWORD>(E_NOTIMPL)); },
        [&] { return ListTaskStore(store.Path()); }, store.Path());
    EXPECT_FALSE(source->Read(0));
    ASSERT_EQ(runs.size(), 1u);
    runs[0].first();
    runs[0].second();
    EXPECT_EQ(source->Read(0), (std::vector<AutostartEntry>{{"\\Vendor\\Job", "C:\\x\\job.exe -a & b",
                                                             TaskActionsRaw({{"C:\\x\\job.exe", "-a & b", ""}})}}));
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(source->Read(0));
    EXPECT_EQ(runs.size(), 1u) << "the store was read again without a change";

    define("Planted", "C:\\p.exe");
    ASSERT_TRUE(test::PumpUntil([&] { return !source->Read(0) && runs.size() == 2; }, 5000));
    runs[1].first();
    runs[1].second();
    const auto entries = source->Read(0);
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 2u);
}

}  // namespace
}  // namespace sentrel
