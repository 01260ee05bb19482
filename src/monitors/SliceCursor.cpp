#include "monitors/SliceCursor.h"

namespace sentrel {

SliceBudget TimeBudget(std::chrono::microseconds length) {
    const auto end = std::chrono::steady_clock::now() + length;
    return [end] { return std::chrono::steady_clock::now() < end; };
}

SliceBudget WholePass() {
    return [] { return true; };
}

bool TSliceCursor::Walk(std::size_t count, std::uint64_t identity, const SliceBudget& budget,
                        const std::function<void(std::size_t)>& visit) {
    if (identity != identity_ || count != count_ || position_ >= count) position_ = 0;
    identity_ = identity;
    count_ = count;
    if (count == 0) return true;
    do {
        const std::size_t entry = position_;
        position_ = entry + 1 == count ? 0 : entry + 1;
        visit(entry);
        if (position_ == 0) return true;
    } while (budget());
    return false;
}

}  // namespace sentrel
