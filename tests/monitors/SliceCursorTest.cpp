// A pass walked in slices: every entry once per pass, whatever the slices' lengths, and a clean
// start when the table changes under the pass.
#include "monitors/SliceCursor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace sentrel {
namespace {

// A budget that allows `extra` visits after the first one of each slice.
SliceBudget Visits(int extra) {
    return [left = extra]() mutable { return left-- > 0; };
}

// Slices until the pass ends; the visited entries in order, and the number of slices.
struct Walked {
    std::vector<std::size_t> entries;
    int slices = 0;
};

Walked WalkPass(TSliceCursor& cursor, std::size_t count, std::uint64_t identity, int extra) {
    Walked walked;
    bool done = false;
    while (!done) {
        ++walked.slices;
        done = cursor.Walk(count, identity, Visits(extra), [&](std::size_t entry) { walked.entries.push_back(entry); });
        if (walked.slices > 1000) break;  // a cursor that never ends its pass
    }
    return walked;
}

std::vector<std::size_t> Range(std::size_t from, std::size_t to) {
    std::vector<std::size_t> entries;
    for (std::size_t i = from; i < to; ++i) entries.push_back(i);
    return entries;
}

TEST(SliceCursorTest, EveryEntryOncePerPassAcrossSlices) {
    TSliceCursor cursor;
    // Slices of 3 over 10 entries: 4 slices, each entry once, in order; then the next pass
    // begins at the first entry again.
    Walked first = WalkPass(cursor, 10, 1, 2);
    EXPECT_EQ(first.entries, Range(0, 10));
    EXPECT_EQ(first.slices, 4);
    EXPECT_EQ(cursor.Position(), 0u);
    Walked second = WalkPass(cursor, 10, 1, 2);
    EXPECT_EQ(second.entries, Range(0, 10));

    // A budget spent at once still visits one entry per slice; an unlimited one does it all.
    EXPECT_EQ(WalkPass(cursor, 5, 1, 0).slices, 5);
    Walked whole;
    EXPECT_TRUE(cursor.Walk(7, 1, WholePass(), [&](std::size_t entry) { whole.entries.push_back(entry); }));
    EXPECT_EQ(whole.entries, Range(0, 7));

    // An empty table ends its pass without a visit.
    EXPECT_TRUE(cursor.Walk(0, 1, WholePass(), [](std::size_t) { FAIL() << "visited an empty table"; }));
}

TEST(SliceCursorTest, NewTableOrLengthRestartsThePass) {
    TSliceCursor cursor;
    std::vector<std::size_t> seen;
    const auto record = [&](std::size_t entry) { seen.push_back(entry); };

    EXPECT_FALSE(cursor.Walk(10, 1, Visits(3), record));
    EXPECT_EQ(cursor.Position(), 4u);
    // The tables were replaced mid-pass: the new ones are walked from their first row.
    Walked replaced = WalkPass(cursor, 10, 2, 3);
    EXPECT_EQ(replaced.entries, Range(0, 10));

    // Same identity, fewer entries (a watch list cut short): from the start, never past the end.
    EXPECT_FALSE(cursor.Walk(10, 2, Visits(7), record));
    EXPECT_EQ(cursor.Position(), 8u);
    Walked shorter = WalkPass(cursor, 6, 2, 1);
    EXPECT_EQ(shorter.entries, Range(0, 6));

    // Reset forgets the pass under way.
    EXPECT_FALSE(cursor.Walk(6, 2, Visits(1), record));
    cursor.Reset();
    EXPECT_EQ(WalkPass(cursor, 6, 2, 1).entries, Range(0, 6));
}

TEST(SliceCursorTest, EntryThatThrowsIsSkippedNotRetried) {
    TSliceCursor cursor;
    std::vector<std::size_t> seen;
    const auto visit = [&](std::size_t entry) {
        seen.push_back(entry);
        if (entry == 2 || entry == 4) throw std::runtime_error("bad row");
    };
    EXPECT_THROW(cursor.Walk(5, 1, WholePass(), visit), std::runtime_error);
    EXPECT_THROW(cursor.Walk(5, 1, WholePass(), visit), std::runtime_error);
    // The throw on the last entry still ended the pass.
    EXPECT_EQ(cursor.Position(), 0u);
    EXPECT_EQ(seen, Range(0, 5));
}

}  // namespace
}  // namespace sentrel
