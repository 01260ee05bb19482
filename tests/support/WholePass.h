#pragma once
// Drives a monitor's sliced pass as the shield's clock does, one slice per tick with the shield's
// slice time, until the pass ends.

#include <functional>
#include <stdexcept>

#include "monitors/SliceCursor.h"

namespace sentrel::test {

// The slices the pass took. Throws when it does not end within a bound no real pass reaches.
inline int RunWholePass(const std::function<bool(const SliceBudget& budget)>& slice) {
    for (int slices = 1; slices <= 1000000; ++slices)
        if (slice(TimeBudget(kMonitorSliceTime))) return slices;
    throw std::runtime_error("a sliced pass that never ends");
}

}  // namespace sentrel::test
