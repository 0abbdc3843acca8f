// The checking matcher judges results by a substitution and beta reduction that capture
// nothing: results that are correct pass silently also where pattern and term reuse binder
// names.  Run as the match commands run them, with the map-fusion example loaded.
#include <gtest/gtest.h>

#include <string>

#include "engine/matching/combinators/combinators.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/matcher.h"
#include "engine/matching/program_matches.h"
#include "engine/matching/reference/record.h"

namespace plim {
namespace {

using progtest::Kind;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const char* const kPattern = "map f (g (\\ u -> h u) k)";
const char* const kTerm = "map (\\ (z, w) -> square w) (map (\\ u -> (u, 2)) [0])";

TEST(CheckMatcherCapture, ShadowedInnerBindersRaiseNoFalseAlarm) {
    for (const MatcherRef& m : {fastMatcher(), refMatcher()}) {
        CaptureStderr();
        const std::string out = progtest::matchOutput(checkMatcher(m), Kind::OneStep, kPattern, kTerm);
        EXPECT_EQ(GetCapturedStderr(), "");
        EXPECT_NE(out, "");
    }
}

TEST(CheckMatcherCapture, ReferenceResultsOfTheShadowingCase) {
    CaptureStderr();
    const std::string out = progtest::matchOutput(checkMatcher(refMatcher()), Kind::OneStep, kPattern, kTerm);
    EXPECT_EQ(GetCapturedStderr(), "");
    const std::string first =
        "f := (\\ (z, w) -> square w)\ng := map\nh := (\\ u -> (u, 2))\nk := 0 : []\n\n---\n"
        "f := (\\ (z, w) -> square w)\ng := (\\ a -> a)\nh := map (\\ u -> (u, 2))\nk := 0 : []\n\n---\n";
    EXPECT_EQ(out.substr(0, first.size()), first);
    const std::string last = "f := (\\ (z, w) -> square w)\ng := (\\ b a -> map (\\ u -> (u, 2)) (0 : []))\n\n---\n";
    ASSERT_GE(out.size(), last.size());
    EXPECT_EQ(out.substr(out.size() - last.size()), last);
    std::size_t blocks = 0;
    for (std::size_t at = out.find("---"); at != std::string::npos; at = out.find("---", at + 1)) ++blocks;
    EXPECT_EQ(blocks, 55u);
}

TEST(CheckMatcherCapture, AResultThatCapturesIsStillReported) {
    // \ z -> \ z -> z + 1 against \ a -> \ b -> a + 1 with nothing bound: no renaming of the
    // pattern's binders can make the inner z the outer one.
    const progtest::Checked c = progtest::readPair("\\ z -> \\ z -> z + 1", "\\ a -> \\ b -> a + 1");
    ASSERT_EQ(c.reports, "");
    CaptureStderr();
    checkResult(c.lhs, c.rhs, emptyMatch());
    const std::string dump = GetCapturedStderr();
    const std::string head =
        "\n\nMismatch!\nWhile matching (\\ z z -> z + 1) against (\\ a b -> a + 1)\nBad match:\n\n"
        "substituted pattern: (\\ z z -> z + 1)\nbetareduced: (\\ z z -> z + 1)\n";
    EXPECT_EQ(dump.substr(0, head.size()), head);
}

}  // namespace
}  // namespace plim
