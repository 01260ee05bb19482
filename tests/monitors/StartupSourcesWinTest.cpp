// The scheduled-task source lists the tasks through its runner, and where the system cannot list
// them (Wine) it stops asking after the first try and holds nothing to compare.
#include <gtest/gtest.h>

#include "monitors/StartupSources.h"

namespace sentrel {
namespace {

TEST(ScheduledTasksSource, ListsThroughItsRunnerAndStopsWhereListingIsNotImplemented) {
    AutostartPoint point;
    point.kind = AutostartPointKind::Tasks;
    point.path = "\\";
    point.name = "the scheduled tasks";
    int runs = 0;
    auto source = MakeScheduledTasksSource({point}, std::make_shared<AutostartGate>(),
                                           [&](std::function<void()> work, std::function<void()> finish) {
                                               ++runs;
                                               work();
                                               finish();
                                           },
                                           0);
    ASSERT_EQ(source->PointCount(), 1u);
    EXPECT_EQ(source->PointId(0), "tasks \\");
    EXPECT_FALSE(source->Read(0));  // the listing starts with the first reading
    EXPECT_EQ(runs, 1);
    const auto second = source->Read(0);
    for (int i = 0; i < 3; ++i) source->Read(0);
    if (second)
        EXPECT_GT(runs, 1);  // a system that lists tasks is asked again
    else
        EXPECT_EQ(runs, 1) << "asked again after \"not implemented\"";
}

}  // namespace
}  // namespace sentrel
