#include "core/Reminder.h"

#include <gtest/gtest.h>

namespace sentrel {
namespace {

TEST(Reminder, PeriodChoicesMapToDays) {
    const int expected[] = {3, 7, 14, 21, 30, 60, 90, 180, 365};
    for (int period = 0; period < 9; ++period) EXPECT_EQ(RemindPeriodDays(period), expected[period]) << period;
    EXPECT_EQ(RemindPeriodDays(-1), 0);
    EXPECT_EQ(RemindPeriodDays(9), 0);
}

TEST(Reminder, IsDueOnlyStrictlyAfterThePeriod) {
    const TDateTime last = 46000.25;
    EXPECT_FALSE(IsReminderDue(last + 14, last, 14));
    EXPECT_TRUE(IsReminderDue(last + 14.001, last, 14));
    EXPECT_FALSE(IsReminderDue(last + 13, last, 14));
    // "Never" whatever the dates.
    EXPECT_FALSE(IsReminderDue(last + 1000, last, 0));
    // A last reminder in the future (a clock set back) is not due.
    EXPECT_FALSE(IsReminderDue(last - 20, last, 14));
}

}  // namespace
}  // namespace sentrel
