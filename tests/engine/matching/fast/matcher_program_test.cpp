// The fast matcher run as the match commands run it, with the map-fusion example loaded:
// abstractions typed by the subterm they abstract, tuple arguments taken apart element by
// element, and bound variables renamed so that no result captures one.
#include <gtest/gtest.h>

#include <string>

#include "engine/matching/fast/matcher.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/program_matches.h"

namespace plim {
namespace {

using progtest::Kind;

std::string fastOutput(Kind kind, const std::string& pattern, const std::string& term) {
    return progtest::matchOutput(fastMatcher(), kind, pattern, term);
}

TEST(FastProgramMatches, ATupleArgumentAgainstAnApplicationEndsNothing) {
    EXPECT_EQ(fastOutput(Kind::OneStep, "f (x, y)", "inc 2"),
              "f := (\\ (a, b) -> b a)\nx := 2\ny := inc\n\n---\n"
              "f := (\\ (a, b) -> inc a)\nx := 2\n\n---\n"
              "f := (\\ (a, b) -> a)\nx := inc 2\n\n---\n"
              "f := (\\ (a, b) -> a b)\nx := inc\ny := 2\n\n---\n"
              "f := (\\ (a, b) -> a 2)\nx := inc\n\n---\n"
              "f := (\\ (a, b) -> inc b)\ny := 2\n\n---\n"
              "f := (\\ (a, b) -> b)\ny := inc 2\n\n---\n"
              "f := (\\ (a, b) -> b 2)\ny := inc\n\n---\n"
              "f := (\\ (a, b) -> inc 2)\n\n---\n");
    EXPECT_EQ(fastOutput(Kind::OneStep, "f (x, y)", "1 + 2"),
              "f := (\\ (a, b) -> b a)\nx := 2\ny := (+) 1\n\n---\n"
              "f := (\\ (a, b) -> b 1 a)\nx := 2\ny := (+)\n\n---\n"
              "f := (\\ (a, b) -> b + a)\nx := 2\ny := 1\n\n---\n"
              "f := (\\ (a, b) -> 1 + a)\nx := 2\n\n---\n"
              "f := (\\ (a, b) -> a)\nx := 1 + 2\n\n---\n"
              "f := (\\ (a, b) -> a b)\nx := (+) 1\ny := 2\n\n---\n"
              "f := (\\ (a, b) -> a 2)\nx := (+) 1\n\n---\n"
              "f := (\\ (a, b) -> a 1 b)\nx := (+)\ny := 2\n\n---\n"
              "f := (\\ (a, b) -> a b 2)\nx := (+)\ny := 1\n\n---\n"
              "f := (\\ (a, b) -> a 1 2)\nx := (+)\n\n---\n"
              "f := (\\ (a, b) -> a + b)\nx := 1\ny := 2\n\n---\n"
              "f := (\\ (a, b) -> b a 2)\nx := 1\ny := (+)\n\n---\n"
              "f := (\\ (a, b) -> a + 2)\nx := 1\n\n---\n"
              "f := (\\ (a, b) -> 1 + b)\ny := 2\n\n---\n"
              "f := (\\ (a, b) -> b)\ny := 1 + 2\n\n---\n"
              "f := (\\ (a, b) -> b 2)\ny := (+) 1\n\n---\n"
              "f := (\\ (a, b) -> b 1 2)\ny := (+)\n\n---\n"
              "f := (\\ (a, b) -> b + 2)\ny := 1\n\n---\n"
              "f := (\\ (a, b) -> 1 + 2)\n\n---\n");
    EXPECT_EQ(fastOutput(Kind::TwoStep, "f (x, y)", "inc 2"),
              "f := (\\ (a, b) -> b a)\nx := 2\ny := inc\n\n---\n"
              "f := (\\ (a, b) -> inc a)\nx := 2\n\n---\n"
              "f := (\\ (a, b) -> a)\nx := inc 2\n\n---\n"
              "f := (\\ (a, b) -> a b)\nx := inc\ny := 2\n\n---\n"
              "f := (\\ (a, b) -> a 2)\nx := inc\n\n---\n"
              "f := (\\ (a, b) -> inc b)\ny := 2\n\n---\n"
              "f := (\\ (a, b) -> b)\ny := inc 2\n\n---\n"
              "f := (\\ (a, b) -> b 2)\ny := inc\n\n---\n"
              "f := (\\ (a, b) -> inc 2)\n\n---\n");
}

// An abstraction variable stands for the subterm it replaces and takes its type, not the
// type of the argument pattern (a type variable, say, or a function type where the subterm
// is a number).
TEST(FastProgramMatches, AbstractionsAreTypedByTheSubtermTheyReplace) {
    EXPECT_EQ(fastOutput(Kind::OneStep, "f 1 x", "inc 2"),
              "f := (\\ a -> inc)\nx := 2\n\n---\n"
              "f := (\\ b a -> a)\nx := inc 2\n\n---\n"
              "f := (\\ b a -> a 2)\nx := inc\n\n---\n"
              "f := (\\ b a -> inc 2)\n\n---\n");
    EXPECT_EQ(fastOutput(Kind::OneStep, "f (x, y)", "(1, 2)"),
              "f := (\\ (a, b) -> a)\nx := (1, 2)\n\n---\n"
              "f := (\\ (a, b) -> (a, b))\nx := 1\ny := 2\n\n---\n"
              "f := (\\ (a, b) -> (a, 2))\nx := 1\n\n---\n"
              "f := (\\ (a, b) -> (b, a))\nx := 2\ny := 1\n\n---\n"
              "f := (\\ (a, b) -> (1, a))\nx := 2\n\n---\n"
              "f := (\\ (a, b) -> b)\ny := (1, 2)\n\n---\n"
              "f := (\\ (a, b) -> (b, 2))\ny := 1\n\n---\n"
              "f := (\\ (a, b) -> (1, b))\ny := 2\n\n---\n"
              "f := (\\ (a, b) -> (1, 2))\n\n---\n");
}

// g g needs g : t -> t' and t at once: no result binds f so that g must have such a type.
// A type variable that the pattern binds stands for its type in the candidates built from
// the pattern's types as well, so none of the typable results is lost on the way.
TEST(FastProgramMatches, EveryResultCanBeTyped) {
    const std::string expected =
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
              "f := (\\ b a -> 1 * 1)\n\n---\n";
    EXPECT_EQ(fastOutput(Kind::OneStep, "f g g", "1 * 1"), expected);
    EXPECT_EQ(fastOutput(Kind::TwoStep, "f g g", "1 * 1"), expected);
}

TEST(FastProgramMatches, NoResultCapturesABoundVariable) {
    // g := map (\ z -> z) [] would read the term's bound z as the pattern's.
    EXPECT_EQ(fastOutput(Kind::OneStep, "f (\\ z -> g) (h 1)", "map (\\ z -> 3) []"),
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
              "f := (\\ b a -> map (\\ z -> 3) [])\n\n---\n");
    // \ y -> map (\ z -> y) [1] under a binder named z is not \ z -> map (\ z -> z) [1].
    EXPECT_EQ(fastOutput(Kind::Simple, "\\ z -> map (\\ w -> z) xs", "\\ y -> map (\\ z -> y) [1]"),
              "xs := 1 : []\n\n---\n");
    EXPECT_EQ(fastOutput(Kind::Simple, "\\ z -> f", "\\ y -> map (\\ z -> y) [1]"),
              "");
    EXPECT_EQ(fastOutput(Kind::OneStep, "\\ x -> f (g x)", "\\ y -> map (\\ x -> x + y) [y]"),
              "f := (\\ a -> a)\ng := (\\ b -> map (\\ x1 -> x1 + b) (b : []))\n\n---\n"
              "f := (\\ a -> map (\\ x1 -> x1 + a) (a : []))\ng := (\\ b -> b)\n\n---\n");
    EXPECT_EQ(fastOutput(Kind::TwoStep, "\\ z -> f (\\ y -> z) z", "\\ y -> map (\\ z -> y) [y]"),
              "f := (\\ b a -> map b (a : []))\n\n---\n"
              "f := (\\ b a -> map (\\ z1 -> a) (a : []))\n\n---\n");
}

// An argument whose body holds no constant and mentions only the argument's own variables
// is matched one step at a time, also under two-step matching.
TEST(FastProgramMatches, ArgumentsOfTheirOwnVariablesOnlyAreMatchedOneStepAtATime) {
    const std::string expected =
              "f := 1\nh := (\\ a -> a)\n\n---\n"
              "f := 1\nh := (\\ a u -> (u, u))\n\n---\n";
    EXPECT_EQ(fastOutput(Kind::TwoStep, "map (h (\\ u -> (u, u))) [f, 1]", "map (\\ u -> (u, u)) [1, 1]"), expected);
    EXPECT_EQ(fastOutput(Kind::OneStep, "map (h (\\ u -> (u, u))) [f, 1]", "map (\\ u -> (u, u)) [1, 1]"), expected);
}

TEST(FastProgramMatches, AVariableAppliedToItselfEndsTheBranchesThatKeepIt) {
    // q's images that keep its second argument fail at g g, which no binding types, and the
    // images of the copies' tuple fail at f unless their binders have one type.  Both come to
    // light only after the other copies' branch points are open: these must not all be opened
    // and tried first (three copies took five seconds, five copies five minutes).
    const std::string& x = progtest::kSelfAppliedPart;
    const std::string& t = progtest::kSelfAppliedPartTerm;
    const std::string pair = "(" + t + ", " + t + ")";
    for (Kind kind : {Kind::OneStep, Kind::TwoStep})
        EXPECT_EQ(progtest::resultCountDespiteReports(fastMatcher(), kind, progtest::headOfCopies(x, 1), pair), 104);
    EXPECT_EQ(progtest::resultCountDespiteReports(fastMatcher(), Kind::OneStep, progtest::headOfCopies(x, 3), pair), 664);
}

}  // namespace
}  // namespace plim
