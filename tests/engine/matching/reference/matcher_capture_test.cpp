// The reference matcher never lets a variable be captured: where pattern and term (or a
// lambda and one inside it) use one name for different binders, the results are those of
// the same match with the binders named apart.  Run as the match commands run them, with the
// map-fusion example loaded.
#include "engine/matching/reference/matcher.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/matching/program_matches.h"
#include "engine/matching/combinators/combinators.h"
#include "engine/matching/reference/record.h"
#include "engine/matching/reference/term_operations.h"

namespace plim {
namespace {

using progtest::Kind;
using progtest::matchOutput;

std::string refOutput(Kind kind, const std::string& pattern, const std::string& term) {
    return matchOutput(refMatcher(), kind, pattern, term);
}

TEST(RefCapture, TheTermsLambdaVariableIsNotCapturedByALambdaInsideIt) {
    // \ y -> map (\ z -> y) [1] under a binder named z is not \ z -> map (\ z -> z) [1].
    EXPECT_EQ(refOutput(Kind::Simple, "\\ z -> f", "\\ y -> map (\\ z -> y) [1]"), "");
    EXPECT_EQ(refOutput(Kind::Simple, "\\ z -> f z", "\\ y -> map (\\ z -> y) [1]"),
              "f := (\\ y -> map (\\ z -> y) (1 : []))\n\n---\n");
    EXPECT_EQ(refOutput(Kind::OneStep, "\\ z -> f z", "\\ y -> map (\\ z -> y) [1]"),
              "f := (\\ y -> map (\\ z -> y) (1 : []))\n\n---\n");
}

TEST(RefCapture, OneStepAbstractionsCaptureNothing) {
    const std::string expected =
        "f := map\ng := 3\nh := (\\ a -> [])\n\n---\n"
        "f := (\\ a -> map (\\ z -> 3))\nh := (\\ b -> [])\n\n---\n"
        "f := (\\ b a -> a)\nh := (\\ c -> map (\\ z -> 3) [])\n\n---\n"
        "f := (\\ b a -> a [])\nh := (\\ c -> map (\\ z -> 3))\n\n---\n"
        "f := (\\ b a -> a b [])\ng := 3\nh := (\\ c -> map)\n\n---\n"
        "f := (\\ b a -> a (\\ z -> 3) [])\nh := (\\ c -> map)\n\n---\n"
        "f := (\\ b a -> map a [])\nh := (\\ c z -> 3)\n\n---\n"
        "f := (\\ b a -> map (\\ z -> a) [])\nh := (\\ c -> 3)\n\n---\n"
        "f := (\\ b -> b)\ng := map (\\ z -> 3) []\n\n---\n"
        "f := (\\ b a -> map b [])\ng := 3\n\n---\n"
        "f := (\\ b a -> map (\\ z -> 3) [])\n\n---\n";
    // No result binds g to map (\ z -> z) [] any more.
    EXPECT_EQ(refOutput(Kind::OneStep, "f (\\ z -> g) (h 1)", "map (\\ z -> 3) []"), expected);
    // Its argument holds a pattern variable: two-step matching is one-step matching here.
    EXPECT_EQ(refOutput(Kind::TwoStep, "f (\\ z -> g) (h 1)", "map (\\ z -> 3) []"), expected);
}

TEST(RefCapture, ABinderShadowedInThePatternIsNotTheOuterOne) {
    // \ z -> \ z -> z + 1 is \ a -> \ b -> b + 1, not \ a -> \ b -> a + 1.
    EXPECT_EQ(refOutput(Kind::Simple, "\\ z -> \\ z -> z + 1", "\\ a -> \\ b -> a + 1"), "");
    EXPECT_EQ(refOutput(Kind::Simple, "\\ z -> \\ z -> z + 1", "\\ a -> \\ b -> b + 1"), "\n---\n");
    // Against a term that is no lambda (matched through its application to the binder).
    EXPECT_EQ(refOutput(Kind::OneStep, "\\ a -> \\ a -> f a a", "\\ x -> (+) (square x)"), "");
    EXPECT_EQ(refOutput(Kind::OneStep, "\\ a -> \\ b -> f a b", "\\ x -> (+) (square x)"),
              "f := (\\ x -> (+) (square x))\n\n---\n");
}

TEST(RefCapture, ALambdaInsideTheArgumentKeepsItsOwnVariable) {
    // The two-step bodies match \ x -> (x, \ x -> x + 1) opened: the inner x stays bound.
    EXPECT_EQ(refOutput(Kind::TwoStep, "f (\\ x -> (x, \\ x -> x + 1))", "map (\\ y -> (5, \\ y -> y + 1)) [1]"),
              "f := (\\ a -> map (\\ y -> (5, (\\ y -> y + 1))) (1 : []))\n\n---\n"
              "f := (\\ a -> map (\\ y -> a 5) (1 : []))\n\n---\n");
}

TEST(RefCapture, APatternVariableNamedLikeABinderOfTheTerm) {
    EXPECT_EQ(refOutput(Kind::OneStep, "f (\\ x -> x + y)", "map (\\ y -> y + 1) [1]"),
              "f := (\\ a -> map a (1 : []))\ny := 1\n\n---\n"
              "f := (\\ a -> map (\\ y -> y + 1) (1 : []))\n\n---\n");
}

TEST(RefCapture, LambdasEqualUpToTheirBoundNamesAreAbstractedTogether) {
    const std::string out = refOutput(Kind::OneStep, "g f",
                                      "map (\\ y -> (y, 2)) (map (\\ (z, w) -> square w) (map (\\ w -> (w, 2)) [0]))");
    EXPECT_NE(out.find("f := (\\ y -> (y, 2))\ng := (\\ a -> map a (map (\\ (z, w) -> square w) (map a (0 : []))))\n"),
              std::string::npos)
        << out;
}

TEST(RefCapture, RenamingLeavesShadowedVariablesAndRenamesCapturingBinders) {
    using namespace ref;
    const Type I = intType();
    const Type II = mkArrow(I, I);
    // \ z -> y renamed y to z: the binder becomes z1.
    std::unordered_set<std::string> used{"y", "z"};
    const Term t = Lam(LamVar("z"), LVar("y", I), II);
    EXPECT_EQ(show(renameFreeLocals({{"y", "z"}}, t, used)),
              "Lam (LamVar \"z1\") (LVar \"z\" (TCon \"Int\" [])) (TCon \"Arrow\" [TCon \"Int\" [],TCon \"Int\" []])");
    // \ y -> y: the bound y is not the free one.
    const Term s = Lam(LamVar("y"), LVar("y", I), II);
    EXPECT_TRUE(renameFreeLocals({{"y", "z"}}, s, used).sameNode(s));
    // Freezing leaves a variable bound inside the term alone.
    EXPECT_EQ(show(freezeLocals({"y"}, Ap(s, LVar("y", I), I))),
              "Ap (Lam (LamVar \"y\") (LVar \"y\" (TCon \"Int\" [])) (TCon \"Arrow\" [TCon \"Int\" [],TCon \"Int\" []])) "
              "(Con (Constr \"y\") (TCon \"Int\" [])) (TCon \"Int\" [])");
}

}  // namespace
}  // namespace plim
