// Beta reduction, the beta wrapper and the two base matcher values.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/matching/combinators/combinators.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/matcher.h"
#include "engine/matching/reference/record.h"
#include "frontend/printer/expressions.h"
#include "lang/constants.h"
#include "support/errors.h"
#include "support/failure_text.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

const Type intT = intType();
const Type a = mkTid("a");
Type fn(const Type& x, const Type& y) { return mkArrow(x, y); }
Expr var(const std::string& n, const Type& t = intType()) { return mkVar(n, t); }
Expr num(std::int32_t n) { return mkCon(mkNumber(n), intType()); }
Expr lam(const Expr& p, const Expr& body) { return mkLam(p, body, fn(p.type(), body.type())); }
Expr ap(const Expr& f, const Expr& x) { return typedAp(f, x); }
Expr pair(const Expr& x, const Expr& y) {
    Type t = mkTupleType({x.type(), y.type()});
    return ap(ap(mkCon(mkTuple(2), fn(x.type(), fn(y.type(), t))), x), y);
}

const Expr f = var("f", fn(intType(), intType()));
const Expr h = var("h", fn(intType(), fn(intType(), intType())));

TEST(Betareduce, ContractionsCaptureNothing) {
    const Expr x = var("x");
    const Expr y = var("y");
    const Expr z = var("z");
    // (\x -> \x -> x) 1: the inner lambda keeps its own x (no pattern 1).
    EXPECT_EQ(showExpr(betareduce(ap(lam(x, lam(x, x)), num(1)))), "(\\ x -> x)");
    // (\y -> \x -> y) x: the inner binder is renamed rather than capture the argument.
    EXPECT_EQ(showExpr(betareduce(ap(lam(y, lam(x, y)), x))), "(\\ x1 -> x)");
    // (\(y, z) -> (\(z, y) -> h y z)) (1, 2) with a pair argument: the inner pattern stays.
    const Expr inner = lam(pair(z, y), ap(ap(h, y), z));
    EXPECT_EQ(showExpr(betareduce(ap(lam(pair(y, z), inner), pair(num(1), num(2))))), "(\\ (z, y) -> h y z)");
    // A lambda that captures nothing keeps its name.
    EXPECT_EQ(showExpr(betareduce(ap(lam(y, lam(x, ap(ap(h, y), x))), num(5)))), "(\\ x -> h 5 x)");
}

TEST(Betareduce, LeavesVariablesConstantsAndRedexFreeLambdasAlone) {
    const Expr x = var("x");
    EXPECT_TRUE(betareduce(x).sameNode(x));
    EXPECT_TRUE(betareduce(num(3)).sameNode(num(3)) || betareduce(num(3)).isCon());
    const Expr l = lam(x, ap(f, x));  // \x -> f x is not eta-contracted
    EXPECT_TRUE(betareduce(l).sameNode(l));
    const Expr inner = lam(var("y"), ap(lam(x, x), num(1)));
    const Expr reduced = betareduce(inner);
    ASSERT_TRUE(reduced.isLam());
    EXPECT_TRUE(reduced.pattern().sameNode(inner.pattern()));
    EXPECT_EQ(reduced.type(), inner.type());
    EXPECT_EQ(showExpr(reduced), "(\\ y -> 1)");
}

TEST(Betareduce, ContractsAVariablePatternWithTheReducedArgument) {
    const Expr x = var("x");
    const Expr arg = ap(lam(var("y"), ap(f, var("y"))), var("z"));  // (\y -> f y) z
    const Expr e = ap(lam(x, ap(ap(h, x), x)), arg);
    EXPECT_EQ(showExpr(betareduce(e)), "h (f z) (f z)");
}

TEST(Betareduce, ATuplePatternThatDoesNotMatchLeavesTheRedex) {
    const Expr p = pair(var("p"), var("q"));
    const Expr redex = ap(lam(p, ap(lam(var("y"), var("y")), var("p"))), var("z", mkTupleType({intT, intT})));
    const Expr r = betareduce(redex);
    ASSERT_TRUE(r.isAp());
    EXPECT_EQ(r.type(), redex.type());
    EXPECT_EQ(showExpr(r), "(\\ (p, q) -> p) z");
    // The same lambda against a pair is contracted.
    const Expr matched = ap(r.fun(), pair(num(1), num(2)));
    EXPECT_EQ(showExpr(betareduce(matched)), "1");
}

TEST(Betareduce, ContractsTheRedexesThatContractionCreates) {
    // (\g -> g 1) (\y -> h y y)  ->  (\y -> h y y) 1  ->  h 1 1
    const Expr g = var("g", fn(intT, intT));
    const Expr y = var("y");
    const Expr e = ap(lam(g, ap(g, num(1))), lam(y, ap(ap(h, y), y)));
    EXPECT_EQ(showExpr(betareduce(e)), "h 1 1");
}

TEST(Betareduce, ALetRaisesTheCodedFailure) {
    const Expr let = mkLet(mkDList(mkOneDef(mkFun(var("x"), num(1)), mkNoDef(), 1)), var("x"), intT);
    EXPECT_EQ(failureText([&] { betareduce(let); }), "Matching:217|function betareduce");
    EXPECT_EQ(failureText([&] { betareduce(ap(f, let)); }), "Matching:217|function betareduce");
}

TEST(Betareduce, RedexesThatStayNestedInArgumentsAreReducedOnce) {
    // (\(a, b) -> (a, b)) ((\(a, b) -> (a, b)) ( ... z)): no pattern matches a variable, so
    // every redex stays; each is reduced once, not again by every enclosing contraction.
    const Type pairT = mkTupleType({intT, intT});
    Expr e = var("z", pairT);
    for (int i = 0; i < 60; ++i) {
        const Expr p = pair(var("a"), var("b"));
        e = mkAp(mkLam(p, p, fn(pairT, pairT)), e, pairT);
    }
    EXPECT_TRUE(betareduce(e).sameNode(e));
}

// let x1 = 0; x2 = x1; ... in xn, as the let elimination writes it: the first definition
// outermost, each body the next redex.
Expr letChain(int n) {
    Expr body = var("x" + std::to_string(n));
    for (int i = n; i >= 1; --i) {
        Expr rhs = i == 1 ? num(0) : var("x" + std::to_string(i - 1));
        body = mkAp(lam(var("x" + std::to_string(i)), body), rhs, intT);
    }
    return body;
}

TEST(Betareduce, LongChainsOfRedexesAndDeepTermsCostNoStack) {
    constexpr int n = test::inputSize(100000);
    EXPECT_EQ(showExpr(betareduce(letChain(n))), "0");

    // (\x -> x) ((\x -> x) ( ... 7))
    Expr nested = num(7);
    for (int i = 0; i < n; ++i) nested = ap(lam(var("x"), var("x")), nested);
    EXPECT_EQ(showExpr(betareduce(nested)), "7");

    // A deep lambda nest and a long spine without redexes come back as they are.
    Expr lams = num(1);
    for (int i = 0; i < n; ++i) lams = lam(var("v" + std::to_string(i)), lams);
    EXPECT_TRUE(betareduce(lams).sameNode(lams));
    Expr spine = var("s", a);
    for (int i = 0; i < n; ++i) spine = mkAp(spine, num(i), a);
    EXPECT_TRUE(betareduce(spine).sameNode(spine));
}

// --- the beta wrapper and the base matchers ---------------------------------------------------

TEST(BetaMatcher, PatternAndTermAreSeenBetaReducedAndEtaContracted) {
    const Expr g = var("g", fn(intT, intT));
    const Expr x = var("x");
    const Expr etaF = lam(x, ap(f, x));  // \x -> f x
    TermCtx term{etaF, {{"f", f.type()}}};
    for (const MatcherRef& m : {fastMatcher(), refMatcher()}) {
        std::vector<MatchResult> rs = toVector(m->matchSimpleWith(emptyMatch(), atTop(g), term));
        ASSERT_EQ(rs.size(), 1u);
        EXPECT_EQ(showExpr(rs[0].subst[0].second), "f");
        // As a pattern, \x -> g x is g.
        rs = toVector(m->matchSimpleWith(emptyMatch(), atTop(lam(x, ap(g, x))), TermCtx{f, {{"f", f.type()}}}));
        ASSERT_EQ(rs.size(), 1u);
        EXPECT_EQ(showSubst(rs[0].subst), "g := f\n");
        // A redex in the pattern is contracted first.
        rs = toVector(m->matchSimple(ap(lam(x, ap(g, x)), num(1)), ap(mkCon(mkConstr("S"), fn(intT, intT)), num(1))));
        ASSERT_EQ(rs.size(), 1u);
        EXPECT_EQ(showSubst(rs[0].subst), "g := S\n");
    }
}

TEST(BetaMatcher, ApplicabilityTestsTheUnnormalisedPattern) {
    // (\g -> g 1) F reduces to F 1, which needs the constant F; unreduced, its only
    // application has a lambda head and requires nothing.
    const Type ii = fn(intT, intT);
    const Expr g = var("g", ii);
    const Expr p = ap(lam(g, ap(g, num(1))), mkCon(mkConstr("F"), ii));
    const TermCtx t = atTop(ap(mkCon(mkConstr("K"), ii), num(1)));
    EXPECT_TRUE(fastMatcher()->applicable(p, t));
    EXPECT_FALSE(fastMatcher()->applicable(betareduce(p), t));
    EXPECT_TRUE(fastMatcher()->matchSimple(p, t.expr).empty());
    EXPECT_TRUE(refMatcher()->applicable(betareduce(p), t));
    EXPECT_TRUE(refMatcher()->applicable(num(1), atTop(num(2))));
}

TEST(BetaMatcher, WrappersSeeWhatTheCallerPassesAndOnlyThePatternIsReduced) {
    const Expr y = var("y");
    const Expr redex = ap(lam(y, y), num(1));  // (\y -> y) 1
    testing::internal::CaptureStderr();
    std::vector<MatchResult> rs = toVector(traceMatcher(fastMatcher())->matchSimple(var("x"), redex));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "matching x against (\\ y -> y) 1\n");
    ASSERT_EQ(rs.size(), 1u);
    EXPECT_EQ(showSubst(rs[0].subst), "x := 1\n");
    // The checker compares with the term as given: x := 1 does not give the redex back.
    testing::internal::CaptureStderr();
    EXPECT_EQ(length(checkMatcher(fastMatcher())->matchSimple(var("x"), redex)), 1u);
    const std::string dump = testing::internal::GetCapturedStderr();
    EXPECT_EQ(dump.rfind("\n\nMismatch!\nWhile matching x against (\\ y -> y) 1\nBad match:\nx := 1\n\n"
                         "substituted pattern: 1\nbetareduced: 1\n[Raw terms: ",
                         0),
              0u);
}

TEST(BaseMatchers, OneStepWithNoSolutionGivesTheEnginesSupply) {
    for (const MatcherRef& m : {fastMatcher(), refMatcher()}) {
        MatchRun run = m->matchOneStep(num(1), atTop(num(2)), initialNameSupply());
        EXPECT_TRUE(run.results.empty());
        EXPECT_EQ(run.rest->vars.head(), "a");
    }
}

TEST(BaseMatchers, BindingsThatBindANameTwiceStartFromTheLaterOne) {
    const Expr x = var("x");
    MatchResult twice{{{"x", num(1)}, {"x", num(2)}}, identitySubst()};
    const Expr p = ap(f, x);
    EXPECT_EQ(length(fastMatcher()->matchSimpleWith(twice, TermCtx{p, {{"f", f.type()}}}, TermCtx{ap(f, num(2)), {{"f", f.type()}}})), 1u);
    EXPECT_EQ(length(fastMatcher()->matchSimpleWith(twice, TermCtx{p, {{"f", f.type()}}}, TermCtx{ap(f, num(1)), {{"f", f.type()}}})), 0u);
}

TEST(BaseMatchers, ABoundListFixesItsVariablesInTheTerm) {
    const Expr fx = var("fx", fn(intT, intT));
    const Expr term = ap(f, var("y"));  // f y with y bound around it
    for (const MatcherRef& m : {fastMatcher(), refMatcher()}) {
        std::vector<MatchResult> rs = toVector(
            m->matchOneStep(ap(fx, var("w")), TermCtx{term, {{"y", intT}, {"f", f.type()}}}, initialNameSupply()).results);
        ASSERT_FALSE(rs.empty());
        EXPECT_EQ(showSubst(rs[0].subst).substr(0, 5), "fx :=");
    }
}

}  // namespace
}  // namespace plim
