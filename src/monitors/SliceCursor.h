#pragma once
// A pass over a large table or list walked in slices across timer ticks, so that no tick holds
// the main thread for long. The cursor remembers where the pass stopped; a slice goes on from
// there until its time is spent, visiting at least one entry so every pass ends. When the walked
// table is not the one the pass began on (another identity, another length: an update replaced
// the tables, the watch list changed), the pass starts over at the first entry.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace sentrel {

// Says whether a slice may visit one more entry.
using SliceBudget = std::function<bool()>;

// A budget of wall-clock time counted from its creation.
SliceBudget TimeBudget(std::chrono::microseconds length);
// A budget that never runs out: the whole pass in one slice.
SliceBudget WholePass();

// How long one slice of a monitor tick may run: well below what a user notices as a hold-up,
// and a fraction of the pause before the follow-up tick.
inline constexpr std::chrono::milliseconds kMonitorSliceTime{25};

class TSliceCursor {
public:
    // Visits entries `Position()`, `Position() + 1`, ... of a table of `count` entries while
    // `budget` allows (always at least one). `identity` names the table walked: a value other
    // than the previous slice's, or another `count`, begins a new pass. The cursor moves on
    // before `visit` runs, so an entry whose visit throws is skipped rather than retried on
    // every tick (the exception reaches the caller). True when the slice ended the pass (the
    // next slice begins a new one); an empty table ends its pass at once.
    bool Walk(std::size_t count, std::uint64_t identity, const SliceBudget& budget,
              const std::function<void(std::size_t)>& visit);

    // The next entry to visit; 0 between passes.
    std::size_t Position() const { return position_; }
    // Forgets the pass under way: the next slice begins a new one.
    void Reset() { position_ = 0; }

private:
    std::size_t position_ = 0;
    std::size_t count_ = 0;
    std::uint64_t identity_ = 0;
};

}  // namespace sentrel
