#include <gtest/gtest.h>

#include "engine/matching/reference/matcher_test_util.h"

namespace plim {
namespace {

using namespace reftest;
using namespace ref;

const Type fII = fn(I(), I());
const Type fIII = fn(I(), fII);

TEST(RefCore, EmptyWorklistHasOneIdentitySolution) {
    const NameSupply supply = initialNameSupply();
    const auto sols = toVector(matchProblems(AppRule::Simple, {}, supply));
    ASSERT_EQ(sols.size(), 1u);
    EXPECT_TRUE(isIdentity(sols[0].bindings));
    EXPECT_EQ(sols[0].supply.vars.head(), "a");
}

TEST(RefCore, RepeatedPatternVariableMustMeetEqualTerms) {
    const Expr c = k("c", fIII);
    const Expr p = ap(c, v("X"), v("X"));
    EXPECT_EQ(texts(simpleMatch(p, ap(c, num(1), num(1)))), "X=1");
    EXPECT_EQ(texts(simpleMatch(p, ap(c, num(1), num(2)))), "");
    EXPECT_EQ(texts(simpleMatch(ap(c, v("X"), v("Y")), ap(c, num(1), num(2)))), "X=1, Y=2");
}

TEST(RefCore, PatternVariableBindsLambdaButNoEscapingVariable) {
    const Expr idY = lam("y", I(), v("y"));
    EXPECT_EQ(texts(simpleMatch(v("V", fII), idY)), "V=(\\ y -> y)");
    // \z -> X against \y -> y: X would have to name the bound y.
    EXPECT_EQ(texts(simpleMatch(lam("z", I(), v("X")), idY)), "");
    EXPECT_EQ(texts(simpleMatch(lam("z", I(), v("X")), lam("y", I(), num(3)))), "X=3");
}

TEST(RefCore, LambdaPatternAgainstNonLambdaTakesAnEtaStep) {
    // \x -> F x against g: the body is matched against g x.
    EXPECT_EQ(texts(simpleMatch(lam("x", I(), ap(v("F", fII), v("x"))), k("g", fII))), "F=g");
}

TEST(RefCore, TuplesMatchElementwiseOnlyAtEqualLength) {
    EXPECT_EQ(texts(simpleMatch(pair(v("X"), v("Y")), pair(num(1), num(2)))), "X=1, Y=2");
    const Expr triple = mkTupleExpr({num(1), num(2), num(3)});
    EXPECT_EQ(texts(simpleMatch(pair(v("X"), v("Y")), triple)), "");
}

TEST(RefCore, TypesMustMatch) {
    EXPECT_EQ(texts(simpleMatch(v("X", boolType()), num(1))), "");
    const MatchResults rs = simpleMatch(v("X", mkTid("t")), num(1));
    ASSERT_FALSE(rs.empty());
    EXPECT_EQ(rs.head().types("t"), I());
}

TEST(RefCore, PatternVariableInTheTermIsAnError) {
    const MatchResults rs = simpleMatch(v("X"), ap(k("g", fII), v("y")));
    EXPECT_EQ(failureText([&] { (void)rs.empty(); }), "free variables in term: g y");
}

TEST(RefCore, ComposeBindingsAppliesOuterToInner) {
    const Bindings s{VarMap::Node("x", Con(mkNumber(1), I()), 1, {}, {}), identitySubst()};
    const Bindings h{VarMap::Node("y", Ap(PVar("f", fII), PVar("x", I()), I()), 1, {}, {}), identitySubst()};
    EXPECT_EQ(showSubst(unconvertBindings(composeBindings(s, h)).subst), "x := 1\ny := f 1\n");
    const Term typed = PVar("z", mkTid("t"));
    const Bindings ts{VarMap(), bindVar("t", I())};
    EXPECT_EQ(applyBindings(ts, typed).type(), I());
}

TEST(RefAbstract, LevelsOfAbstraction) {
    const Term t = Ap(Con(mkConstr("k"), fII), Con(mkConstr("a"), I()), I());
    const Term x = Lam(LamVar("y"), Ap(Con(mkConstr("k"), fII), LVar("y", I()), I()), fII);
    EXPECT_EQ(toVector(abstractssub(0, "v", x, t)).size(), 1u);
    EXPECT_TRUE(toVector(abstractssub(0, "v", x, t))[0].sameNode(t));
    const auto level1 = toVector(abstractssub(1, "v", x, t));
    ASSERT_EQ(level1.size(), 1u);
    EXPECT_EQ(show(level1[0]), show(Ap(LVar("v", fII), Con(mkConstr("a"), I()), I())));
    EXPECT_TRUE(abstractssub(2, "v", x, t).empty());
    EXPECT_EQ(failureText([&] { (void)abstractssub(-1, "v", x, t).empty(); }),
              "ReferenceMatching:575|function abstractssub");
}

TEST(RefAbstract, EqualBodiesCountOnce) {
    // h 1 1 with the argument 1: level 2 reaches h v v from both sides, listed once.
    const Term one = Con(mkNumber(1), I());
    const Term t = Ap(Ap(Con(mkConstr("h"), fIII), one, fII), one, I());
    const auto level1 = toVector(abstractssub(1, "v", one, t));
    ASSERT_EQ(level1.size(), 2u);
    EXPECT_EQ(showExpr(unconvert(level1[0])), "h v 1");
    EXPECT_EQ(showExpr(unconvert(level1[1])), "h 1 v");
    const auto level2 = toVector(abstractssub(2, "v", one, t));
    ASSERT_EQ(level2.size(), 1u);
    EXPECT_EQ(showExpr(unconvert(level2[0])), "h v v");
    EXPECT_TRUE(abstractssub(3, "v", one, t).empty());
}

TEST(RefAbstract, EndlessLevelsListEachBodyOnceInOrder) {
    // \y -> y against h 1: every level puts v around one more subterm, and the bodies
    // reached from two bodies of the level before are listed once, at the first place.
    const Term t = Ap(Con(mkConstr("h"), fII), Con(mkNumber(1), I()), I());
    const Term x = Lam(LamVar("y"), LVar("y", I()), fII);
    const auto level2 = toVector(abstractssub(2, "v", x, t));
    std::vector<std::string> texts;
    for (const Term& b : level2) texts.push_back(showExpr(unconvert(b)));
    EXPECT_EQ(texts, (std::vector<std::string>{"v (v (h 1))", "v (h (v 1))", "h (v (v 1))"}));
    EXPECT_EQ(toVector(abstractssub(6, "v", x, t)).size(), 7u);
}

TEST(RefAbstract, OneBodyTakesTheArgumentsTypesAlike) {
    // The argument [] : [c] against h ([] : [Int]) ([] : [[Int]]): each instance gives a body
    // whose variable has the type that instance gives [c]; no body abstracts both, since one
    // variable cannot stand for [] at two types.
    const Type lI = mkTCon("List", {I()});
    const Type llI = mkTCon("List", {lI});
    const Term h = Con(mkConstr("h"), fn(lI, fn(llI, I())));
    const Term t = Ap(Ap(h, Con(mkNul(), lI), fn(llI, I())), Con(mkNul(), llI), I());
    const Term x = Con(mkNul(), mkTCon("List", {mkTid("c")}));
    const auto level1 = toVector(abstractNextTypedLevel(
        List<TypedBody>::cons(TypedBody{t, identitySubst()}, List<TypedBody>()), "v", x));
    ASSERT_EQ(level1.size(), 2u);
    EXPECT_EQ(level1[0].types("c"), I());
    EXPECT_EQ(showExpr(unconvert(level1[0].body)), "h v []");
    EXPECT_EQ(level1[1].types("c"), lI);
    EXPECT_EQ(showExpr(unconvert(level1[1].body)), "h [] v");
    const Term& v0 = level1[0].body.fun().arg();
    EXPECT_EQ(v0.type(), lI);
    EXPECT_TRUE(abstractssub(2, "v", x, t).empty());
    // A type variable of the term stays what it is: [] : [e] is no second instance at [Int].
    const Type le = mkTCon("List", {mkTid("e")});
    const Term h2 = Con(mkConstr("h"), fn(lI, fn(le, I())));
    const Term t2 = Ap(Ap(h2, Con(mkNul(), lI), fn(le, I())), Con(mkNul(), le), I());
    EXPECT_EQ(toVector(abstractssub(1, "v", x, t2)).size(), 2u);
    EXPECT_TRUE(abstractssub(2, "v", x, t2).empty());
}

TEST(RefAbstract, AnInstanceThatLeavesAParameterUnboundGivesNoBody) {
    // \ y -> 1 matches every 1 whatever y is: no term stands for y, so no body abstracts it.
    const Term one = Con(mkNumber(1), I());
    const Term t = Ap(Con(mkConstr("g"), fII), one, I());
    const Term x = Lam(LamVar("y"), one, fII);
    EXPECT_TRUE(abstractssub(1, "v", x, t).empty());
}

}  // namespace
}  // namespace plim
