// The set of positions that finds the first position not in it past runs of positions in it.
#include <gtest/gtest.h>

#include "frontend/typecheck/position_set.h"

namespace plim {
namespace {

TEST(PositionSet, FirstAbsentPositionAcrossFullWordsAndSummaryLevels) {
    PositionSet s;
    EXPECT_EQ(s.nextAbsent(0), 0u);
    EXPECT_FALSE(s.contains(70));
    // One full word before the set grows past it: the summary made then knows the word is full.
    for (std::uint64_t p = 0; p < 64; ++p) s.set(p, true);
    s.set(100, true);
    EXPECT_EQ(s.nextAbsent(0), 64u);
    EXPECT_EQ(s.nextAbsent(100), 101u);
    // A long run, beyond two levels of summaries, with one gap.
    for (std::uint64_t p = 0; p < 300000; ++p) s.set(p, p != 262145);
    EXPECT_TRUE(s.contains(4096));
    EXPECT_FALSE(s.contains(262145));
    EXPECT_EQ(s.nextAbsent(0), 262145u);
    EXPECT_EQ(s.nextAbsent(262146), 300000u);
    // Clearing a position of a full word, and setting it again.
    s.set(4100, false);
    EXPECT_EQ(s.nextAbsent(7), 4100u);
    s.set(4100, true);
    s.set(262145, true);
    EXPECT_EQ(s.nextAbsent(0), 300000u);
    s.set(5, false);
    s.set(5, false);
    EXPECT_EQ(s.nextAbsent(0), 5u);
    EXPECT_EQ(s.nextAbsent(6), 300000u);
}

}  // namespace
}  // namespace plim
