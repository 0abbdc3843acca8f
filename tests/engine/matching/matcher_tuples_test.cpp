// The two matchers give the same results, in the same order, where tuples meet higher-order
// pattern variables: a redex that beta reduction cannot contract (a tuple binder against an
// argument that is no tuple) stays whole in every abstraction, and a tuple argument nested in
// a tuple argument gives an image whose binder nests the same way.
#include <gtest/gtest.h>

#include <string>

#include "engine/matching/fast/record.h"
#include "engine/matching/matcher.h"
#include "engine/matching/program_matches.h"
#include "engine/matching/combinators/combinators.h"
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

std::size_t countResults(const std::string& output) {
    std::size_t n = 0;
    for (std::size_t at = output.find("---"); at != std::string::npos; at = output.find("---", at + 1)) ++n;
    return n;
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

TEST(MatcherTuples, ARigidHeadTakesATupleArgumentApartBesideAStuckRedex) {
    // The redex under konst never contracts; taking the pair apart element by element would
    // have to keep it in every abstraction and found nothing.
    const char* pattern = "konst ((\\ (y, k) -> g 1) (first ((1, 0), [3]))) (f 0, False)";
    const char* term = "konst ((\\ (y, k) -> (\\ y -> False) k) (first ((1, 0), [3]))) (0, False)";
    expectBoth(Kind::OneStep, pattern, term,
               "f := (\\ a -> a)\ng := (\\ b -> False)\n\n---\n"
               "f := (\\ a -> 0)\ng := (\\ b -> False)\n\n---\n");
    expectBoth(Kind::TwoStep, pattern, term,
               "f := (\\ b -> 0)\ng := (\\ c -> False)\n\n---\n"
               "f := (\\ b -> b)\ng := (\\ c -> False)\n\n---\n");
}

TEST(MatcherTuples, ALambdaBoundToAVariableTakesATupleWhole) {
    // Once q := \ a -> a, the second q g is (\ a -> a) (False, 0): its binder takes the pair
    // whole, as it did when g was still unbound at the first q g.
    const std::string expected =
        "g := (False, 0)\nq := (\\ a -> a)\n\n---\n"
        "g := False\nq := (\\ a -> (a, 0))\n\n---\n"
        "g := 0\nq := (\\ a -> (False, a))\n\n---\n"
        "q := (\\ a -> (False, 0))\n\n---\n";
    expectBoth(Kind::OneStep, "(q g, q g)", "((False, 0), (False, 0))", expected);
    expectBoth(Kind::OneStep, "(q g, (1, q g))", "((False, 0), (1, (False, 0)))", expected);
    const char* x = "(first . (\\ z -> z)) (swap (q g))";
    const char* y = "(first . (\\ z -> z)) (swap (False, 0))";
    const std::string pattern = std::string("(\\ k -> swap (k, (p 1, k))) (") + x + ")";
    const std::string term = std::string("(\\ k -> swap (k, (k, k))) (") + y + ")";
    const std::string fast = resultsOf(fastMatcher(), Kind::OneStep, pattern, term);
    EXPECT_EQ(fast, resultsOf(refMatcher(), Kind::OneStep, pattern, term));
    EXPECT_NE(fast.find("g := (False, 0)\n"), std::string::npos) << fast;
}

TEST(MatcherTuples, TheLambdaOfAStuckRedexIsNotContractedAway) {
    // \ (f, a) -> q (f, a) at the head of a redex that never contracts stays a lambda: taken
    // as q, it let q ignore its argument, and the pattern instantiated stayed a redex.
    expectBoth(Kind::OneStep, "(\\ (f, a) -> q (f, a)) (first (swap ([], (2, 2))))",
               "(\\ (f, a) -> (f, first (f, a))) (first (swap ([], (2, 2))))",
               "q := (\\ (b, c) -> (b, first (b, c)))\n\n---\n");
    // So under a lambda too, in the pattern and in the term alike.
    expectBoth(Kind::OneStep, "\\ w -> (\\ (f, a) -> q (f, a)) (first (swap ([], (2, 2))))",
               "\\ w -> (\\ (f, a) -> (f, first (f, a))) (first (swap ([], (2, 2))))",
               "q := (\\ (b, c) -> (b, first (b, c)))\n\n---\n");
    for (Kind kind : {Kind::Simple, Kind::OneStep, Kind::TwoStep})
        expectBoth(kind, "(\\ y -> h)", "(\\ y -> ((\\ (f, y) -> (first (f, y))) (first ((0, True), 2))))",
                   "h := (\\ (f, y) -> first (f, y)) (first ((0, True), 2))\n\n---\n");
}

TEST(MatcherTuples, ALambdaWithATupleBinderMatchesAHeadOnlyBeforeATuple) {
    // \ (c, z) -> swap (g (c, z)) matches swap only as its eta expansion, which the argument's
    // instance then meets: beta reduction contracts that only for a pair.
    const char* pattern = "(\\ (c, z) -> swap (g (c, z))) (q (3, True))";
    expectBoth(Kind::OneStep, pattern, "swap (first ((2, 3), 4))", "");
    expectBoth(Kind::OneStep, pattern, "swap (5, 6)", "g := (\\ (d, e) -> (d, e))\nq := (\\ (a, b) -> (5, 6))\n\n---\n");
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

TEST(MatcherTuples, AnElementThatIsALocalVariableTakesTheTermsOccurrencesOfIt) {
    // The element y stands for the term's own y wherever that is abstracted; g, which no
    // binding can make mention y, only for parts without it.
    expectBoth(Kind::OneStep, "\\ y -> f (y, g)", "\\ y -> konst y (inc y)",
               "f := (\\ (a, b) -> b a (inc a))\ng := konst\n\n---\n"
               "f := (\\ (a, b) -> konst a (b a))\ng := inc\n\n---\n"
               "f := (\\ (a, b) -> konst a (inc a))\n\n---\n");
}

TEST(MatcherTuples, ElementsAfterTheFirstSeeTheBindersOpenedBefore) {
    // Each h after the first is searched in a term that holds the variables of the binders
    // opened for the elements before it; the parts that mention them are no candidates.
    const char* pattern = "g ((h, (3, h)), (3, 0))";
    const char* term = "((5, (3, 3)), (3, 0))";
    const std::string fast = resultsOf(fastMatcher(), Kind::OneStep, pattern, term);
    EXPECT_EQ(fast, resultsOf(refMatcher(), Kind::OneStep, pattern, term));
    EXPECT_EQ(countResults(fast), 456u);
}

TEST(MatcherTuples, ARepeatedElementTakesOnlyPartsAlikeWhereverItStands) {
    // Combinations whose q's stand for parts of different shapes are not searched on; those
    // left give the same results, in the same order, nested or not.
    const char* term = "((1, 2), (1, (2, 1)))";
    for (const char* pattern : {"f ((q, q), q)", "f (q, (q, q))"}) {
        const std::string fast = resultsOf(fastMatcher(), Kind::OneStep, pattern, term);
        EXPECT_EQ(fast, resultsOf(refMatcher(), Kind::OneStep, pattern, term)) << pattern;
        EXPECT_EQ(countResults(fast), 91u) << pattern;
    }
    // q first met outside the tuple: the elements are left to the solver.
    expectBoth(Kind::OneStep, "(q, f (q, q))", "(1, (1, 2))",
               "f := (\\ (a, b) -> (a, 2))\nq := 1\n\n---\n"
               "f := (\\ (a, b) -> (b, 2))\nq := 1\n\n---\n"
               "f := (\\ (a, b) -> (1, 2))\nq := 1\n\n---\n");
}

}  // namespace
}  // namespace plim
