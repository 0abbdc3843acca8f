// A match instantiates the pattern's type variables, never the term's: where a binding brings
// the term's types into the pattern, a later part of the pattern that meets other types of the
// term fails, in both matchers, so that every result checks.
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

// The results printed, with the check's dumps (none expected) after them.
std::string checkedResults(const MatcherRef& m, Kind kind, const std::string& pattern, const std::string& term) {
    std::string out;
    CaptureStderr();
    runOnLargeStack([&] {
        out = progtest::matchOutput(checkMatcher(m), kind, pattern, term, progtest::probeSignature());
    });
    return out + GetCapturedStderr();
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

}  // namespace
}  // namespace plim
