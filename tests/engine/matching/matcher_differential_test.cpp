// The fast and the reference matcher side by side on a few hundred random pairs (the pairs,
// the checks and the counts are differential_pairs.h's): no difference in the result sets, no
// result unsound or ill-typed.  Long runs by hand: build/tests/plim_matcher_differential --pairs 20000.
#include <gtest/gtest.h>

#include <iostream>
#include <set>
#include <string>

#include "engine/matching/differential_pairs.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

// Findings of kinds whose faults are known and still open: the bindings' types (plim's own
// check refuses results whose bindings keep the pattern's type variables), a two-step match
// that stops with a user error part-way, a match of an ill-typed pair that ends the session.
bool stillOpen(const std::string& kind) {
    static const std::set<std::string> open = {"fast check dump", "ref check dump", "fast user error",
                                               "ref user error", "fast lost session", "ref lost session"};
    return open.count(kind) != 0;
}

TEST(MatcherDifferential, FastAndReferenceAgreeAndEveryResultHolds) {
    difftest::RunResult run;
    runOnLargeStack([&] { run = difftest::runPairs(20261208, test::rounds(300), std::cout); });
    difftest::writeSummary(run, std::cout);
    std::string unexpected;
    for (const difftest::Finding& f : run.found)
        if (!stillOpen(f.kind)) unexpected += f.kind + ": " + f.command + "\n    " + f.detail + "\n";
    EXPECT_EQ(unexpected, "");
    EXPECT_GT(run.counts.fastResults, run.counts.pairs);  // the pairs do match
}

}  // namespace
}  // namespace plim
