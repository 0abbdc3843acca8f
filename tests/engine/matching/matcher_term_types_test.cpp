// A match instantiates the pattern's type variables, never the term's: where a binding brings
// the term's types into the pattern, a later part of the pattern that meets other types of the
// term fails, in both matchers, so that every result checks.  Nor does a match bind a type
// variable to a type that holds it.
#include <gtest/gtest.h>

#include <string>

#include "engine/matching/combinators/combinators.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/matcher.h"
#include "engine/matching/program_matches.h"
#include "engine/matching/reference/record.h"
#include "support/big_stack.h"

namespace plim {
namespace {

using progtest::Kind;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// What `printed` gives on the large stack, with the check's dumps (none expected) after it.
template <class F>
std::string withCheckDumps(F printed) {
    std::string out;
    CaptureStderr();
    runOnLargeStack([&] { out = printed(); });
    return out + GetCapturedStderr();
}

// The results printed, with the check's dumps after them.
std::string checkedResults(const MatcherRef& m, Kind kind, const std::string& pattern, const std::string& term) {
    return withCheckDumps(
        [&] { return progtest::matchOutput(checkMatcher(m), kind, pattern, term, progtest::probeSignature()); });
}

// The same for a pair whose check reports a type error, taken on as the match commands take it.
std::string resultsDespiteReports(const MatcherRef& m, Kind kind, const std::string& pattern, const std::string& term) {
    const progtest::Checked read = progtest::readPair(pattern, term, progtest::probeSignature());
    EXPECT_NE(read.reports, "") << pattern;
    const auto both = progtest::checkedDespiteReports(read.lhs, read.rhs, progtest::probeSignature());
    if (!both) return "no equation";
    return withCheckDumps([&] {
        std::string out;
        for (List<MatchResult> at = progtest::runMatch(checkMatcher(m), kind, both->first, both->second); !at.empty();
             at = at.tail())
            out += showSubstBlock(at.head().subst);
        return out;
    });
}

void expectBoth(const std::string& pattern, const std::string& term, const std::string& expected) {
    for (Kind kind : {Kind::Simple, Kind::OneStep, Kind::TwoStep}) {
        EXPECT_EQ(checkedResults(fastMatcher(), kind, pattern, term), expected) << "fast: " << pattern;
        EXPECT_EQ(checkedResults(refMatcher(), kind, pattern, term), expected) << "ref: " << pattern;
    }
}

TEST(MatcherTermTypes, TwoEmptyListsOfTheTermAreNotOneVariable) {
    // The two [] have types of their own; f := [] would give both the first one's.
    expectBoth("(konst 1 f, len f)", "(konst 1 [], len [])", "");
    expectBoth("(konst 1 f, len g)", "(konst 1 [], len [])", "f := []\ng := []\n\n---\n");
}

TEST(MatcherTermTypes, AnAbstractionUsedAtTwoTypesOfTheTermIsNoResult) {
    // q := \ g -> [] would stand for the [] under foldr, whose type is the term's own, and for
    // the [] of Int that ends the list.
    const char* pattern = "(ident ((p ((q 1), (f (q b)))) (foldr (\\ b -> ident) 3 [])))";
    const char* term = "(ident ((foldr (\\ b -> ident) 3 []) : []))";
    const std::string fast = checkedResults(fastMatcher(), Kind::OneStep, pattern, term);
    EXPECT_EQ(fast, checkedResults(refMatcher(), Kind::OneStep, pattern, term));
    EXPECT_EQ(fast.find("Mismatch"), std::string::npos) << fast;
    EXPECT_NE(fast.find("p := (\\ (c, d) -> c)\n"), std::string::npos) << fast;
}

TEST(MatcherTermTypes, APatternVariableAppliedToItselfIsBoundToNothing) {
    // g := (\ c -> konst 1) makes g g (1, True) reduce to the term, but only with a type of g
    // that holds itself (the checker's report says so): no result.  Where the pattern lets g
    // go unused, the results leave it unbound.
    const std::string unused = "q := (\\ c b -> foldr c (konst 1 (1, True)))\n\n---\n"
                               "q := (\\ c b -> foldr (\\ a -> ident) (konst 1 (1, True)))\n\n---\n"
                               "q := (\\ d c b -> foldr d (konst 1 (1, True)) (0 : []))\n\n---\n"
                               "q := (\\ d c b -> foldr (\\ a -> ident) (konst 1 (1, True)) (0 : []))\n\n---\n";
    for (const MatcherRef& m : {fastMatcher(), refMatcher()}) {
        for (Kind kind : {Kind::Simple, Kind::OneStep, Kind::TwoStep})
            EXPECT_EQ(resultsDespiteReports(m, kind, "g g (1, True)", "konst 1 (1, True)"), "");
        for (Kind kind : {Kind::OneStep, Kind::TwoStep})
            EXPECT_EQ(resultsDespiteReports(m, kind, "q (\\ a -> ident) (g g (1, True)) [0]",
                                            "foldr (\\ a -> ident) (konst 1 (1, True)) [0]"),
                      unused);
    }
}

TEST(MatcherTermTypes, ASelfApplicationThatCannotFitEndsEverySearchOfItsHead) {
    // Once h ((g, g), ...) is typed against a subterm, h's second occurrence has a function
    // type that the subterm it meets never has, so every way of taking h ((g, g), ...) apart
    // fails on it at the next step: the search must not grow with the product of the tuple's
    // elements' candidates (with three elements it took minutes).  The only result abstracts
    // nothing.
    const char* term = "(if ((ident . (\\ z -> False)) (first (0, 2))) then ([] ++ [(1, False), (0, False)]) "
                       "else [((\\ b -> (3, True)) (3, 2)), (first ((3, True), (0, True)))])";
    const std::string only = "y := (\\ a -> if (ident . (\\ z -> False)) (first (0, 2)) then [] ++ ((1, False) : "
                             "((0, False) : [])) else (3, True) : (first ((3, True), (0, True)) : []))\n\n---\n";
    for (const char* pattern :
         {"(y ((h g) h))", "(y ((h ((g, g), g)) h))", "(y ((h ((((g, g), g), g), (g, g))) h))"}) {
        const progtest::Checked read = progtest::readPair(pattern, term, progtest::probeSignature());
        const auto both = progtest::checkedDespiteReports(read.lhs, read.rhs, progtest::probeSignature());
        ASSERT_TRUE(both) << pattern;
        for (const MatcherRef& m : {fastMatcher(), refMatcher()})
            for (Kind kind : {Kind::OneStep, Kind::TwoStep}) {
                std::string out;
                runOnLargeStack([&] {
                    for (List<MatchResult> at = progtest::runMatch(m, kind, both->first, both->second); !at.empty();
                         at = at.tail())
                        out += showSubstBlock(at.head().subst);
                });
                EXPECT_EQ(out, only) << pattern;
            }
    }
}

// (f (Q, ..., Q), Q) for Q = q (\ a -> ident) (g g (1, True)) [0], with `copies` copies of Q
// nested as progtest::headOfCopies nests them, against ((T, T), T), T the term Q meets: both
// matchers give the same results, `count` of them, the first being `first`.  The copies of Q's
// problems are taken apart once (repeated_problems.h), so its lambdas' binders are named from
// the front of the supply.
void expectCopiesOfQ(int copies, std::size_t count, const std::string& first) {
    const std::string pattern =
        "((\\ x -> ((" + progtest::headOfCopies("x", copies) + "), x)) " + progtest::kSelfAppliedPart + ")";
    const std::string term = "((\\ x -> ((x, x), x)) " + progtest::kSelfAppliedPartTerm + ")";
    const std::string fast = resultsDespiteReports(fastMatcher(), Kind::OneStep, pattern, term);
    const std::string ref = resultsDespiteReports(refMatcher(), Kind::OneStep, pattern, term);
    EXPECT_EQ(ref, fast) << copies;
    std::size_t results = 0;
    for (std::size_t at = ref.find("---"); at != std::string::npos; at = ref.find("---", at + 1)) ++results;
    EXPECT_EQ(results, count) << copies;
    EXPECT_EQ(ref.substr(0, ref.find("---") + 4), first) << copies;
}

TEST(MatcherTermTypes, CopiesOfAnArgumentWhoseLambdaNoSubtermMeetsEndInBothMatchers) {
    // Each element of f's argument abstracts subterms of the term, each to be met by Q, and
    // every way of meeting one abstracts subterms again for q's first argument, a lambda whose
    // body is the constant ident.  Only a lambda with such a body can meet it; the reference
    // matcher built every other abstraction before finding that out.
    expectCopiesOfQ(2, 36, "f := (\\ (b, c) -> (c, b))\nq := (\\ e d -> foldr e (konst 1 (1, True)))\n\n---\n");
}

TEST(MatcherTermTypes, CopiesOfAnArgumentMeetOnlySubtermsOfItsType) {
    // Every element of f's argument abstracts subterms of the term, each to be met by Q, of
    // type Int.  The abstractions of subterms of other types are not built, nor their
    // combinations: the reference matcher took seconds where it now takes a fraction of one.
    expectCopiesOfQ(3, 64, "f := (\\ ((b, c), d) -> (c, b))\nq := (\\ h e -> foldr h (konst 1 (1, True)))\n\n---\n");
}

}  // namespace
}  // namespace plim
