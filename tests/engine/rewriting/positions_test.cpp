#include "engine/rewriting/positions.h"

#include <gtest/gtest.h>

#include "frontend/printer/expressions.h"
#include "engine/rewriting/driver_test_util.h"

namespace plim {
namespace {

using namespace rewrite_test;

std::vector<std::string> pathsOf(const List<SubPath>& xs) {
    std::vector<std::string> out;
    for (const SubPath& x : toVector(xs)) out.push_back(showPath(x.second));
    return out;
}

const Expr fAA = var("f", fn(nat(), fn(nat(), nat())));

TEST(SubPaths, PreOrderWithTheArgumentFirst) {
    const std::vector<TypedVar> b{{"z", nat()}};
    const auto one = toVector(subpathsFrom(var("v"), b));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].first.bound.size(), 1u);
    EXPECT_EQ(showPath(one[0].second), "[]");

    const Expr x = var("x");
    const auto two = toVector(subpaths(TermCtx{lam(x, x), b}));
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(showPath(two[1].second), "[Body]");
    ASSERT_EQ(two[1].first.bound.size(), 2u);
    EXPECT_EQ(two[1].first.bound.vars()[0].first, "x");
    EXPECT_EQ(two[1].first.bound.vars()[1].first, "z");

    EXPECT_EQ(pathsOf(subpaths(atTop(ap(fAA, var("a"), var("b"))))),
              (std::vector<std::string>{"[]", "[Second]", "[First]", "[First,Second]", "[First,First]"}));
}

TEST(SubPaths, ALetFailsOnlyWhenLookedInto) {
    const Expr let = mkLet(mkDList(mkNoDef()), zero(), nat());
    const List<SubPath> xs = subpaths(atTop(let));
    EXPECT_TRUE(xs.head().first.expr.sameNode(let));
    EXPECT_EQ(failureText([&] { xs.tail().empty(); }), "SubExpressions:35|function subpaths");
}

TEST(SubPaths, LongSpinesCostNoStack) {
    Expr e = zero();
    for (int i = 0; i < 100000; ++i) e = succ(e);
    // Paths are as long as the spine is deep: read the first entries and the deepest one.
    const auto first = toVector(subpaths(atTop(e)), 1000);
    EXPECT_EQ(showPath(first[2].second), "[Second,Second]");
    EXPECT_EQ(first[999].second.size(), 999u);
    EXPECT_TRUE(replace(e, Path(100000, Step::Second), var("q")).isAp());
}

TEST(SelectReplace, ErrorTextsAndEdgeCases) {
    const Expr let = mkLet(mkDList(mkNoDef()), zero(), nat());
    EXPECT_TRUE(replace(let, {}, zero()).isCon());
    EXPECT_EQ(failureText([] { replace(var("x"), {Step::First}, var("y")); }), "invalid replace: x [First]");
    EXPECT_EQ(failureText([] { replace(succ(var("x")), {Step::Second, Step::Body}, var("y")); }),
              "invalid replace: x [Body]");
    const Expr x = var("x");
    EXPECT_EQ(failureText([&] { select(lam(x, x), {Step::First}); }), "invalid select");
    const Expr e = ap(fAA, var("a"), var("b"));
    EXPECT_EQ(showExpr(replace(e, {Step::First, Step::Second}, zero())), "f Z b");
    EXPECT_EQ(showExpr(select(e, {Step::Second})), "b");
}

TEST(EqualAfterReplace, AgreesWithComparingTheRebuiltExpression) {
    const Expr x = var("x"), y = var("y");
    const Expr g = con("g", fn(nat(), nat()));
    const Expr let = mkLet(mkDList(mkOneDef(mkFun(var("w"), peano(1)), mkNoDef(), 1)), add(var("w"), zero()), nat());
    const Expr underLambda = lam(x, ap(fAA, ap(g, x), y));
    const Expr letBeside = ap(fAA, let, y);     // a let beside the path: never equal
    const Expr letAfter = ap(fAA, y, let);      // a let compared once the rest is equal
    struct Case {
        Expr e;
        Path path;
        Expr replacement;
    };
    const std::vector<Case> cases{
        {underLambda, {Step::Body, Step::Second}, y},
        {underLambda, {Step::Body, Step::Second}, x},
        {underLambda, {Step::Body, Step::First, Step::Second}, ap(g, var("x"))},
        {underLambda, {Step::Body, Step::First, Step::Second}, ap(g, y)},
        {underLambda, {}, lam(var("z"), ap(fAA, ap(g, var("z")), y))},
        {underLambda, {}, lam(var("z"), ap(fAA, ap(g, y), y))},
        {letBeside, {Step::Second}, y},
        {letAfter, {Step::First, Step::Second}, y},
        {letAfter, {Step::First, Step::Second}, x},
    };
    for (const Case& c : cases)
        EXPECT_EQ(equalAfterReplace(c.e, c.path, c.replacement),
                  exprEq({}, {}, replace(c.e, c.path, c.replacement), c.e))
            << showExpr(c.e) << " at " << showPath(c.path);
    EXPECT_TRUE(equalAfterReplace(underLambda, {Step::Body, Step::First, Step::Second}, ap(g, var("x"))));
    EXPECT_FALSE(equalAfterReplace(letAfter, {Step::First, Step::Second}, y));
}

TEST(FindVar, FunctionSideFirst) {
    const Expr x = var("x", fn(nat(), nat()));
    const auto ps = findvar("x", ap(x, ap(x, zero())));
    ASSERT_EQ(ps.size(), 2u);
    EXPECT_EQ(showPath(ps[0]), "[First]");
    EXPECT_EQ(showPath(ps[1]), "[Second,First]");
    EXPECT_EQ(failureText([] { findvar("x", mkLet(mkDList(mkNoDef()), zero(), nat())); }),
              "SubExpressions:121|function findvar");
}

TEST(Occurrences, MergingPutsTheNewPathsFirst) {
    const Expr x = succ(zero());
    const auto merged = mergeOccurrences({{x, {{Step::First}}}, {succ(zero()), {{Step::Second}}}});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(showPath(merged[0].second[0]), "[Second]");
    EXPECT_EQ(showPath(merged[0].second[1]), "[First]");
    const auto triples = subsubexps(add(peano(1), peano(1)));
    EXPECT_EQ(showPath(triples.front().paths.front()), "[]");
    EXPECT_TRUE(occursMoreThanOnce({x, {{}, {}}}));
}

TEST(Elim, IntroducesOneDefinitionForAllPaths) {
    const Expr e = add(peano(1), peano(1));
    const Path p1{Step::First, Step::Second}, p2{Step::Second};
    auto [let, s] = elim(mkLet(mkDList(mkNoDef()), e, nat()), peano(1), {p1, p2}, initialNameSupply());
    EXPECT_EQ(showExpr(let), "add a a\nwhere a = S Z");
    EXPECT_EQ(s.vars.head(), "b");
    EXPECT_EQ(failureText([&] { elim(e, e, {p1}, initialNameSupply()); }), "SubExpressions:290|function elim");
    EXPECT_EQ(failureText([&] { revdefs(e); }), "SubExpressions:285|function revdefs");
}

}  // namespace
}  // namespace plim
