// The fast and the reference matcher side by side on a few hundred random pairs (the pairs,
// the checks and the counts are differential_pairs.h's): no difference in the result sets, no
// result unsound, ill-typed or refused by plim's own check, no match of an ill-typed pair ending
// otherwise than with a user error.  A match is read as far as its first 1,000 results, which
// are compared in order when it reaches them (two matches of these pairs have thousands).
// Long runs by hand: build/tests/plim_matcher_differential --pairs 20000.
#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "engine/matching/differential_pairs.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

TEST(MatcherDifferential, FastAndReferenceAgreeAndEveryResultHolds) {
    difftest::RunResult run;
    difftest::RunOptions options;
    options.resultCap = 1000;
    runOnLargeStack([&] { run = difftest::runPairs(20261208, test::rounds(300), std::cout, options); });
    difftest::writeSummary(run, std::cout);
    std::string found;
    for (const difftest::Finding& f : run.found) found += f.kind + ": " + f.command + "\n    " + f.detail + "\n";
    EXPECT_EQ(found, "");
    EXPECT_GT(run.counts.fastResults, run.counts.pairs);  // the pairs do match
}

}  // namespace
}  // namespace plim
