// The scheduled-task source: a listing made while a fix or an undo changed a point is not used,
// the rows take the tasks of their folders, and where listing is not implemented (Wine) it stops
// asking after the first try.
#include <gtest/gtest.h>

#include <windows.h>

#include "monitors/StartupSources.h"
#include "platform/Win32Error.h"

namespace sentrel {
namespace {

AutostartPoint TasksPoint(std::string folder) {
    AutostartPoint point;
    point.kind = AutostartPointKind::Tasks;
    point.path = std::move(folder);
    point.name = "the scheduled tasks";
    return point;
}

// Keeps each listing's work and finish for the test to run.
struct HeldRunner {
    std::vector<std::pair<std::function<void()>, std::function<void()>>> runs;
    AutostartRunner Runner() {
        return [this](std::function<void()> work, std::function<void()> finish) {
            runs.emplace_back(std::move(work), std::move(finish));
        };
    }
    void Complete(std::size_t run) {
        runs.at(run).first();
        runs.at(run).second();
    }
};

TEST(ScheduledTasksSource, DropsAListingAFixOverlappedAndGivesEachRowItsFolder) {
    auto gate = std::make_shared<AutostartGate>();
    HeldRunner held;
    std::vector<platform::ScheduledTask> tasks = {{"\\Updater", "u.exe", {}, true}, {"\\Vendor\\Job", "j.exe", {}, true}};
    auto source = MakeScheduledTasksSource({TasksPoint("\\"), TasksPoint("\\vendor")}, gate, held.Runner(), 0,
                                           [&] { return tasks; });
    ASSERT_EQ(source->PointCount(), 2u);
    EXPECT_EQ(source->PointId(1), "tasks \\vendor");

    EXPECT_FALSE(source->Read(0));  // the first reading starts a listing
    ASSERT_EQ(held.runs.size(), 1u);
    held.runs[0].first();  // listed; then a fix holds and accepts a point before the finish
    gate->Hold("tasks \\");
    gate->Accept("tasks \\");
    held.runs[0].second();
    EXPECT_FALSE(source->Read(0)) << "a listing that may miss the fix was used";
    ASSERT_EQ(held.runs.size(), 2u);

    held.Complete(1);
    const auto all = source->Read(0);
    const auto vendor = source->Read(1);
    ASSERT_TRUE(all && vendor);
    EXPECT_EQ(all->size(), 2u);
    ASSERT_EQ(vendor->size(), 1u);
    EXPECT_EQ(vendor->front(), (AutostartEntry{"\\Vendor\\Job", "j.exe", {}}));
    EXPECT_EQ(held.runs.size(), 3u);  // both rows took the listing: the next one starts
}

TEST(ScheduledTasksSource, StopsAskingWhereListingIsNotImplemented) {
    HeldRunner held;
    int listings = 0;
    auto source = MakeScheduledTasksSource({TasksPoint("\\")}, std::make_shared<AutostartGate>(), held.Runner(), 0,
                                           [&]() -> std::vector<platform::ScheduledTask> {
                                               ++listings;
                                               throw platform::Win32Error("GetTasks", static_cast<DWORD>(E_NOTIMPL));
                                           });
    EXPECT_FALSE(source->Read(0));
    held.Complete(0);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(source->Read(0));
    EXPECT_EQ(held.runs.size(), 1u);
    EXPECT_EQ(listings, 1);
}

}  // namespace
}  // namespace sentrel
