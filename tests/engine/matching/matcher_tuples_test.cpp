// The two matchers give the same results, in the same order, where tuples meet higher-order
// pattern variables: a redex that beta reduction cannot contract (a tuple binder against an
// argument that is no tuple) stays whole in every abstraction, and a tuple argument nested in
// a tuple argument gives an image whose binder nests the same way.
#include <gtest/gtest.h>

#include <string>

#include "engine/matching/fast/record.h"
#include "engine/matching/matcher.h"
#include "engine/matching/program_matches.h"
#include "engine/matching/reference/record.h"
#include "support/big_stack.h"

namespace plim {
namespace {

using progtest::Kind;

std::string resultsOf(const MatcherRef& m, Kind kind, const std::string& pattern, const std::string& term) {
    std::string out;
    runOnLargeStack([&] { out = progtest::matchOutput(m, kind, pattern, term, progtest::probeSignature()); });
    return out;
}

void expectBoth(Kind kind, const std::string& pattern, const std::string& term, const std::string& expected) {
    EXPECT_EQ(resultsOf(fastMatcher(), kind, pattern, term), expected) << "fast: " << pattern << " ~ " << term;
    EXPECT_EQ(resultsOf(refMatcher(), kind, pattern, term), expected) << "ref: " << pattern << " ~ " << term;
}

const char* const kStuck = "(\\ (k, c) -> 1) (swap (0, 2))";

TEST(MatcherTuples, AStuckTupleRedexIsAbstractedOnlyWhole) {
    // Abstracting the 1 under the binder, or any part of the argument, would keep a redex
    // that never contracts: only the constant abstraction is left.
    expectBoth(Kind::OneStep, "f 1", kStuck, "f := (\\ a -> (\\ (k, c) -> 1) (swap (0, 2)))\n\n---\n");
    expectBoth(Kind::OneStep, "f p", kStuck,
               "f := (\\ (k, c) -> 1)\np := swap (0, 2)\n\n---\n"
               "f := (\\ a -> a)\np := (\\ (k, c) -> 1) (swap (0, 2))\n\n---\n"
               "f := (\\ a -> a (swap (0, 2)))\np := (\\ (k, c) -> 1)\n\n---\n"
               "f := (\\ a -> (\\ (k, c) -> 1) (swap (0, 2)))\n\n---\n");
}

TEST(MatcherTuples, TheLambdaOfAStuckRedexIsNoBinderForATupleElement) {
    // Opening the term's own (\ (x, z) -> True) for the element h would give
    // a := \ ((x, z), b) -> True, whose application to (h, h) never contracts.
    const char* term = "(\\ (x, z) -> True) (swap (1, 3))";
    for (Kind kind : {Kind::OneStep, Kind::TwoStep}) {
        const std::string fast = resultsOf(fastMatcher(), kind, "a (h, h)", term);
        EXPECT_EQ(fast, resultsOf(refMatcher(), kind, "a (h, h)", term));
        EXPECT_EQ(fast.find("(x, z), "), std::string::npos) << fast;
    }
}

TEST(MatcherTuples, ANestedTupleArgumentGivesANestedBinder) {
    std::string expected;
    for (const char* body : {"((a, b), c)", "((a, b), 3)", "((a, 2), c)", "((a, 2), 3)", "((1, b), c)", "((1, b), 3)",
                             "((1, 2), c)", "((1, 2), 3)"})
        expected += std::string("f := (\\ ((a, b), c) -> first (first ") + body + "))\n\n---\n";
    expectBoth(Kind::OneStep, "f ((1, 2), 3)", "first (first ((1, 2), 3))", expected);
    // The two-step matcher takes the same pattern (its argument has no pattern variable) with
    // its own candidates, which nest alike.
    EXPECT_EQ(resultsOf(fastMatcher(), Kind::TwoStep, "f ((1, 2), 3)", "first (first ((1, 2), 3))"),
              resultsOf(refMatcher(), Kind::TwoStep, "f ((1, 2), 3)", "first (first ((1, 2), 3))"));
}

}  // namespace
}  // namespace plim
