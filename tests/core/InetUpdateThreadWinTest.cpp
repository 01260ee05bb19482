#include <gtest/gtest.h>

#include "core/InetUpdateThread.h"

namespace sentrel {
namespace {

TEST(InetUpdateThread, ProgressIsTheRoundedPercentageWithHalvesToEven) {
    EXPECT_EQ(ProgressPercent(1024, 2048), 50);
    EXPECT_EQ(ProgressPercent(1, 8), 12);   // 12.5
    EXPECT_EQ(ProgressPercent(3, 8), 38);   // 37.5
    EXPECT_EQ(ProgressPercent(5, 200), 2);  // 2.5
    EXPECT_EQ(ProgressPercent(7, 200), 4);  // 3.5
    EXPECT_EQ(ProgressPercent(2, 3), 67);
    EXPECT_EQ(ProgressPercent(0, 10), 0);
    EXPECT_EQ(ProgressPercent(10, 10), 100);
    EXPECT_EQ(ProgressPercent(5, 0), 0);
    // Large files do not overflow.
    EXPECT_EQ(ProgressPercent(std::int64_t{3} << 40, std::int64_t{4} << 40), 75);
}

}  // namespace
}  // namespace sentrel
