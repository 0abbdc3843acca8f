// Abstractions built by the reference matcher's higher-order rules take types from the
// pattern; those follow the pattern's instantiation, so results whose pattern variables
// meet their own types again in a candidate are found.  Run as the match commands run them,
// with the map-fusion example loaded.
#include "engine/matching/reference/matcher.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/matching/fast/record.h"
#include "engine/matching/program_matches.h"
#include "engine/matching/combinators/combinators.h"
#include "engine/matching/reference/record.h"

namespace plim {
namespace {

using progtest::Kind;
using progtest::matchOutput;

TEST(RefTypes, ARepeatedVariableOfAnOpenTypeIsInstantiated) {
    const std::string expected =
        "g := 0\nh := (\\ b a -> a)\n\n---\n"
        "g := 0\nh := (\\ b a -> b)\n\n---\n"
        "h := (\\ b a -> 0)\n\n---\n";
    EXPECT_EQ(matchOutput(refMatcher(), Kind::OneStep, "h g g", "0"), expected);
    EXPECT_EQ(matchOutput(refMatcher(), Kind::TwoStep, "h g g", "0"), expected);
}

TEST(RefTypes, EveryOneStepResultOfFGGAgainstAProduct) {
    EXPECT_EQ(matchOutput(refMatcher(), Kind::OneStep, "f g g", "1 * 1"),
              "f := (*)\ng := 1\n\n---\n"
              "f := (\\ a -> (*) 1)\ng := 1\n\n---\n"
              "f := (\\ b a -> a)\ng := 1 * 1\n\n---\n"
              "f := (\\ b a -> a 1)\ng := (*) 1\n\n---\n"
              "f := (\\ b a -> a 1 1)\ng := (*)\n\n---\n"
              "f := (\\ b a -> a * b)\ng := 1\n\n---\n"
              "f := (\\ b a -> a * 1)\ng := 1\n\n---\n"
              "f := (\\ b a -> a * a)\ng := 1\n\n---\n"
              "f := (\\ b a -> b)\ng := 1 * 1\n\n---\n"
              "f := (\\ b a -> b 1)\ng := (*) 1\n\n---\n"
              "f := (\\ b a -> b 1 1)\ng := (*)\n\n---\n"
              "f := (\\ b a -> 1 * b)\ng := 1\n\n---\n"
              "f := (\\ b a -> b * 1)\ng := 1\n\n---\n"
              "f := (\\ b a -> b * b)\ng := 1\n\n---\n"
              "f := (\\ b a -> 1 * 1)\n\n---\n");
}

TEST(RefTypes, AnArgumentOfOpenTypeBeside) {
    EXPECT_EQ(matchOutput(refMatcher(), Kind::OneStep, "f 1 x", "inc 2"),
              "f := (\\ a -> inc)\nx := 2\n\n---\n"
              "f := (\\ b a -> a)\nx := inc 2\n\n---\n"
              "f := (\\ b a -> a 2)\nx := inc\n\n---\n"
              "f := (\\ b a -> inc 2)\n\n---\n");
}

TEST(RefTypes, AVariableAppliedToItselfEndsTheBranchesThatKeepIt) {
    // q's images that keep its second argument fail at g g, which no binding types.  That
    // problem comes after the other copy's branch points: they must not all be opened and
    // tried before it fails (the two copies took twenty seconds).
    const std::string& x = progtest::kSelfAppliedPart;
    const std::string& t = progtest::kSelfAppliedPartTerm;
    const std::string pair = "(" + t + ", " + t + ")";
    for (Kind kind : {Kind::OneStep, Kind::TwoStep})
        EXPECT_EQ(progtest::resultCountDespiteReports(refMatcher(), kind, progtest::headOfCopies(x, 1), pair), 104);
    EXPECT_EQ(progtest::resultCountDespiteReports(refMatcher(), Kind::OneStep, progtest::headOfCopies(x, 2), pair), 305);
}

TEST(RefTypes, CopiesOfAHeadKeepOnlyTheBranchesThatBindItAlike) {
    // Each application of q brings a problem (q, image) that waits until every application's
    // alternatives are opened; a branch holding two images of q that no term equals ends there.
    // The results are the fast matcher's, in its order.
    struct Case {
        const char* pattern;
        const char* term;
        const char* results;
    };
    const Case cases[] = {
        {"(q 1, q 2, q 3)", "(inc 1, inc 2, inc 3)", "q := inc\n\n---\n"},
        {"(q 1, q 1, q 2)", "(inc 1, inc 1, inc 2)", "q := inc\n\n---\n"},
        {"(q 1 2, q 1 2, q 2 1)", "(1 + 2, 1 + 2, 2 + 1)", "q := (+)\n\n---\n"},
    };
    for (Kind kind : {Kind::OneStep, Kind::TwoStep})
        for (const Case& c : cases) {
            const std::string out = matchOutput(refMatcher(), kind, c.pattern, c.term);
            EXPECT_EQ(out, c.results);
            EXPECT_EQ(out, matchOutput(fastMatcher(), kind, c.pattern, c.term));
        }
}

}  // namespace
}  // namespace plim
