#include "engine/rewriting/driver.h"

#include <gtest/gtest.h>

#include "engine/calculations/calculation.h"
#include "engine/matching/fast/record.h"
#include "engine/rewriting/driver_test_util.h"
#include "frontend/printer/expressions.h"

namespace plim {
namespace {

using namespace rewrite_test;

std::vector<std::string> labels(const CalcSteps& steps, std::size_t limit = 1000) {
    std::vector<std::string> out;
    for (const CalcStep& s : toVector(steps, limit)) out.push_back(s.first.label());
    return out;
}

std::vector<std::string> shown(const CalcSteps& steps, std::size_t limit = 1000) {
    std::vector<std::string> out;
    for (const CalcStep& s : toVector(steps, limit)) out.push_back(showExpr(s.second));
    return out;
}

// A matcher whose one-step results are scripted; everything else first-order.
MatcherRef scriptedOneStep(std::function<MatchResults(const Expr&, const TermCtx&)> script) {
    Matcher m = *firstOrderMatcher();
    m.matchOneStep = [script](const Expr& p, const TermCtx& t, const NameSupply& s) { return MatchRun{script(p, t), s}; };
    return std::make_shared<const Matcher>(std::move(m));
}

Expr f(const Expr& x) { return ap(con("f", fn(nat(), nat())), x); }
Expr g(const Expr& x) { return ap(con("g", fn(nat(), nat())), x); }

TEST(Rewrite, PeanoArithmeticRunsToTheNormalForm) {
    Derivation d = rewriteDefinition(firstOrderMatcher(), peanoTheory(), add(peano(2), peano(1)));
    EXPECT_EQ(showExpr(d.start), "add (S (S Z)) (S Z)");
    EXPECT_EQ(labels(d.steps), (std::vector<std::string>{"addS", "addS", "addZ"}));
    EXPECT_EQ(shown(d.steps), (std::vector<std::string>{"S (add (S Z) (S Z))", "S (S (add Z (S Z)))", "S (S (S Z))"}));
    EXPECT_TRUE(d.failures.empty());

    Derivation m = rewriteDefinition(firstOrderMatcher(), peanoTheory(), mul(peano(3), peano(2)));
    EXPECT_EQ(showExpr(finalExpression(m)), showExpr(peano(6)));
}

TEST(Rewrite, NoRuleOrNoMatchGivesNoStepsAndNoFailures) {
    const Expr e = add(peano(1), zero());
    for (const auto& theory : {std::vector<Rule>{}, std::vector<Rule>{rule("mulZ", mul(zero(), var("y")), zero())}}) {
        Derivation d = rewriteDefinition(firstOrderMatcher(), theory, e);
        EXPECT_EQ(showExpr(d.start), "add (S Z) Z");
        EXPECT_TRUE(d.steps.empty());
        EXPECT_TRUE(d.failures.empty());
    }
}

TEST(Rewrite, ARuleThatChangesNothingMakesNoStep) {
    const Expr x = var("x");
    Derivation d = rewriteDefinition(firstOrderMatcher(), {rule("same", add(x, zero()), add(x, zero()))},
                                     add(peano(1), zero()));
    EXPECT_TRUE(d.steps.empty());
    EXPECT_TRUE(d.failures.empty());
}

TEST(Rewrite, RuleOrderThenPositionOrderThenFirstProgressingMatch) {
    const Expr x = var("x"), y = var("y");
    const Rule sz = rule("sz", succ(zero()), zero());
    const Rule addS = rule("addS", add(succ(x), y), succ(add(x, y)));
    const Expr e = add(peano(1), peano(1));
    // The first rule wins even where the second applies further up.
    EXPECT_EQ(labels(rewriteDefinition(firstOrderMatcher(), {sz, addS}, e).steps, 1), std::vector<std::string>{"sz"});
    EXPECT_EQ(labels(rewriteDefinition(firstOrderMatcher(), {addS, sz}, e).steps, 1), std::vector<std::string>{"addS"});
    // Within a rule, the argument comes before the function.
    EXPECT_EQ(shown(rewriteDefinition(firstOrderMatcher(), {sz}, e).steps, 1),
              std::vector<std::string>{"add (S Z) Z"});

    // Within a position, the first match whose result differs from the expression.
    // g x = x, with the scripted matches x := g Z (no progress) and then x := Z.
    const Rule pick = rule("pick", g(x), x);
    MatcherRef scripted = scriptedOneStep([](const Expr& p, const TermCtx& t) {
        if (!p.isAp()) return MatchResults();
        const std::string name = p.arg().name();  // the renamed x
        return fromVector(std::vector<MatchResult>{MatchResult{{{name, t.expr}}, identitySubst()},
                                                  MatchResult{{{name, zero()}}, identitySubst()}});
    });
    Derivation d = rewriteDefinition(scripted, {pick}, g(zero()));
    ASSERT_EQ(labels(d.steps, 1), std::vector<std::string>{"pick"});
    EXPECT_EQ(showExpr(d.steps.head().second), "Z");
    const Substitution& chosen = d.steps.head().first.match().subst;
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(showExpr(chosen[0].second), "Z");
}

TEST(Rewrite, IncompleteMatchesAreIgnored) {
    const Expr x = var("x");
    // The scripted match binds nothing although the left side has the variable x.
    MatcherRef scripted = scriptedOneStep([](const Expr&, const TermCtx&) {
        return MatchResults::cons(MatchResult{{}, identitySubst()}, {});
    });
    Derivation d = rewriteDefinition(scripted, {rule("drop", f(x), zero())}, f(peano(1)));
    EXPECT_TRUE(d.steps.empty());
}

TEST(Rewrite, ARuleRejectedAtTheTopIsNeverTriedBelow) {
    auto calls = std::make_shared<Calls>();
    Matcher m = *firstOrderMatcher(calls);
    const Expr e = g(f(zero()));
    m.applicable = [calls, e](const Expr&, const TermCtx& t) {
        ++calls->applicable;
        return !exprEq({}, {}, t.expr, e);  // rejects the whole expression only
    };
    Derivation d = rewriteDefinition(std::make_shared<const Matcher>(m), {rule("fz", f(zero()), zero())}, e);
    EXPECT_TRUE(d.steps.empty());
    EXPECT_EQ(calls->applicable, 1);
    EXPECT_EQ(calls->oneStep, 0);
}

TEST(Rewrite, WithoutTablesEveryTestIsMadeBeforeTheFirstAttempt) {
    const Expr x = var("x");
    const Expr e = g(f(zero()));
    // The rule would make progress at the whole expression, but the test at f Z, below it,
    // raises: it is made before any attempt, so the step raises.
    Matcher m = *firstOrderMatcher();
    m.applicable = [inner = f(zero())](const Expr&, const TermCtx& t) {
        if (exprEq({}, {}, t.expr, inner)) failUser("test raised below the top");
        return true;
    };
    Derivation d = rewriteDefinition(std::make_shared<const Matcher>(m), {rule("gz", g(x), zero())}, e);
    EXPECT_THROW(static_cast<void>(d.steps.empty()), UserError);
    // Without the raising test the rule rewrites the whole expression.
    d = rewriteDefinition(firstOrderMatcher(), {rule("gz", g(x), zero())}, e);
    EXPECT_EQ(labels(d.steps), std::vector<std::string>{"gz"});
}

TEST(Rewrite, SubexpressionsWithoutConstantsAreNeverTried) {
    auto calls = std::make_shared<Calls>();
    const Expr x = var("x");
    // x = S x would apply anywhere; the expression holds no constant at all.
    Derivation d = rewriteDefinition(firstOrderMatcher(calls), {rule("grow", x, succ(x))}, var("q"));
    EXPECT_TRUE(d.steps.empty());
    EXPECT_EQ(calls->oneStep, 0);
    // In g q only the whole expression and g hold a constant: two positions are tested, and
    // only the first is matched, as it makes progress.  At Z the rule is rejected.
    calls = std::make_shared<Calls>();
    d = rewriteDefinition(firstOrderMatcher(calls), {rule("gz", g(x), zero())}, g(var("q")));
    EXPECT_EQ(labels(d.steps), std::vector<std::string>{"gz"});
    EXPECT_EQ(calls->applicable, 3);
    EXPECT_EQ(calls->oneStep, 1);
}

TEST(Rewrite, AConstantInALambdaPatternMakesAPosition) {
    auto calls = std::make_shared<Calls>();
    const Expr a = var("a"), b = var("b"), x = var("x", fn(mkTupleType({nat(), nat()}), nat()));
    const Expr pair = ap(mkCon(mkTuple(2), fn(nat(), fn(nat(), mkTupleType({nat(), nat()})))), a, b);
    // \(a, b) -> a: only the lambda itself holds a constant, in its pattern.
    Derivation d = rewriteDefinition(firstOrderMatcher(calls), {rule("same", x, x)}, lam(pair, a));
    EXPECT_TRUE(d.steps.empty());
    EXPECT_EQ(calls->oneStep, 1);
}

TEST(Rewrite, ConditionalRuleSucceedsWithItsNestedDerivationsInConditionOrder) {
    const Expr x = var("x");
    std::vector<Rule> theory = peanoTheory();
    // f x = Z, if { add x Z = x; add Z (add Z x) = x }
    theory.push_back(rule("cond", f(x), zero(), {{add(x, zero()), x}, {add(zero(), add(zero(), x)), x}}));
    Derivation d = rewriteDefinition(firstOrderMatcher(), theory, f(zero()));
    ASSERT_EQ(labels(d.steps), std::vector<std::string>{"cond"});
    const Calculation& c = d.steps.head().first;
    ASSERT_TRUE(c.isConditional());
    ASSERT_EQ(c.conditions().size(), 2u);
    EXPECT_EQ(showExpr(c.conditions()[0].start), "add Z Z");
    EXPECT_EQ(showExpr(c.conditions()[1].start), "add Z (add Z Z)");
    EXPECT_EQ(labels(c.conditions()[1].steps), (std::vector<std::string>{"addZ", "addZ"}));
    EXPECT_TRUE(d.failures.empty());
}

TEST(Rewrite, ConditionsInNormalFormGiveNoNestedDerivation) {
    const Expr x = var("x");
    Derivation d = rewriteDefinition(firstOrderMatcher(), {rule("cond", f(x), zero(), {{x, x}})}, f(zero()));
    ASSERT_EQ(labels(d.steps), std::vector<std::string>{"cond"});
    EXPECT_TRUE(d.steps.head().first.isConditional());
    EXPECT_TRUE(d.steps.head().first.conditions().empty());
}

TEST(Rewrite, FailedConditionsAreTheFailuresOfTheFinalExpression) {
    const Expr x = var("x");
    std::vector<Rule> theory = peanoTheory();
    // f x = Z, if { add x Z = Z; add Z x = x }: the last condition holds, the first fails.
    theory.push_back(rule("cond", f(x), zero(), {{add(x, zero()), zero()}, {add(zero(), x), x}}));
    Derivation d = rewriteDefinition(firstOrderMatcher(), theory, f(peano(1)));
    EXPECT_TRUE(d.steps.empty());
    const std::vector<Calculation> failures = toVector(d.failures);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].label(), "cond");
    ASSERT_EQ(failures[0].conditions().size(), 2u);
    // The failing (first) condition's derivation comes first, then the one that held.
    EXPECT_EQ(showExpr(failures[0].conditions()[0].start), "add (S Z) Z");
    EXPECT_EQ(showExpr(finalExpression(failures[0].conditions()[0])), "S Z");
    EXPECT_EQ(showExpr(failures[0].conditions()[1].start), "add Z (S Z)");
}

TEST(Rewrite, FailuresOfEarlierExpressionsAreDropped) {
    const Expr x = var("x");
    std::vector<Rule> theory = peanoTheory();
    theory.push_back(rule("cond", f(x), zero(), {{x, zero()}}));
    // f (add Z (S Z)): the condition fails at the start, then addZ makes a step, and it
    // fails again at the final expression: only that last failure is kept.
    Derivation d = rewriteDefinition(firstOrderMatcher(), theory, f(add(zero(), peano(1))));
    EXPECT_EQ(labels(d.steps), std::vector<std::string>{"addZ"});
    const std::vector<Calculation> failures = toVector(d.failures);
    ASSERT_EQ(failures.size(), 1u);
    ASSERT_EQ(failures[0].match().subst.size(), 1u);
    EXPECT_EQ(showExpr(failures[0].match().subst[0].second), "S Z");
}

TEST(Rewrite, CommutativityStreamsItsFirstSteps) {
    const Expr x = mkVar("x", intType()), y = mkVar("y", intType());
    Derivation d = rewriteDefinition(firstOrderMatcher(), {rule("comm", plus(x, y), plus(y, x))}, plus(num(1), num(2)));
    EXPECT_EQ(shown(d.steps, 3), (std::vector<std::string>{"2 + 1", "1 + 2", "2 + 1"}));
    // A long run costs no stack and keeps only what is held.
    CalcSteps at = std::move(d.steps);
    d = Derivation{d.start, {}, {}};
    for (int i = 0; i < 20000; ++i) at = at.tail();
    EXPECT_EQ(at.head().first.label(), "comm");
}

TEST(Rewrite, CanonicalNamesAreStable) {
    const Expr q = var("q"), r = var("r");
    // \q -> add q (S Z): canonical names come from a supply fresh for the context alone.
    const Expr e = lam(q, add(q, peano(1)));
    Derivation d1 = rewriteDefinition(firstOrderMatcher(), peanoTheory(), e);
    Derivation d2 = rewriteDefinition(firstOrderMatcher(), peanoTheory(), lam(r, add(r, peano(1))));
    EXPECT_EQ(showExpr(d1.start), "(\\ a -> add a (S Z))");
    EXPECT_EQ(showExpr(d1.start), showExpr(d2.start));
    EXPECT_EQ(shown(d1.steps), shown(d2.steps));
    EXPECT_EQ(canonicalForm({{"a", nat()}}, lam(q, q)).pattern().name(), "b");
}

TEST(Rewrite, LocalDefinitionsAreRemovedFirst) {
    const Expr y = var("y");
    const Expr let = mkLet(mkDList(mkOneDef(mkFun(y, peano(1)), mkNoDef(), 1)), add(y, zero()), nat());
    Derivation d = rewriteDefinition(fastMatcher(), peanoTheory(), let);
    EXPECT_EQ(showExpr(d.start), "(\\ a -> add a Z) (S Z)");
    EXPECT_EQ(showExpr(finalExpression(d)), "S Z");
}

TEST(Rewrite, AdvanceUsesTheCopiesThenRenamesTheLastOne) {
    auto theory = std::make_shared<const std::vector<Rule>>(peanoTheory());
    RuleCopies three{theory, theory, theory};
    auto [two, s] = plim::advance(three, initialNameSupply());
    EXPECT_EQ(two.size(), 2u);
    EXPECT_EQ(s.vars.head(), "a");
    auto [one, s1] = plim::advance(RuleCopies{theory}, initialNameSupply());
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one.front()->size(), theory->size());
    EXPECT_NE(s1.vars.head(), "a");
}

Type intList() { return mkListType(intType()); }
Expr nil() { return mkCon(mkNul(), intList()); }
Expr cons(const Expr& x, const Expr& xs) {
    return ap(mkCon(mkBinop(Op::Cons), fn(intType(), fn(intList(), intList()))), x, xs);
}
Expr mapF(const Expr& f, const Expr& xs) {
    return ap(con("map", fn(fn(intType(), intType()), fn(intList(), intList()))), f, xs);
}

TEST(RewriteWithFastMatcher, SameDerivationAsFirstOrderMatching) {
    const Expr e = mul(peano(2), peano(3));
    const Derivation fast = rewriteDefinition(fastMatcher(), peanoTheory(), e);
    const Derivation first = rewriteDefinition(firstOrderMatcher(), peanoTheory(), e);
    EXPECT_EQ(showCalculation(80, 0, fast.start, fast.steps), showCalculation(80, 0, first.start, first.steps));
    EXPECT_EQ(showExpr(finalExpression(fast)), showExpr(peano(6)));
}

TEST(RewriteWithFastMatcher, HigherOrderRuleBetaReducesItsInstances) {
    const Expr f = mkVar("f", fn(intType(), intType()));
    const Expr x = mkVar("x", intType()), xs = mkVar("xs", intList()), y = mkVar("y", intType());
    const std::vector<Rule> theory{rule("mapNil", mapF(f, nil()), nil()),
                                   rule("mapCons", mapF(f, cons(x, xs)), cons(ap(f, x), mapF(f, xs)))};
    const Derivation d = rewriteDefinition(fastMatcher(), theory, mapF(lam(y, plus(y, num(1))), cons(num(5), nil())));
    EXPECT_EQ(labels(d.steps), (std::vector<std::string>{"mapCons", "mapNil"}));
    EXPECT_EQ(showExpr(finalExpression(d)), "5 + 1 : []");
}

TEST(RewriteWithFastMatcher, CommutativityStreams) {
    const Expr x = mkVar("x", intType()), y = mkVar("y", intType());
    const Derivation d = rewriteDefinition(fastMatcher(), {rule("comm", plus(x, y), plus(y, x))}, plus(num(1), num(2)));
    EXPECT_EQ(shown(d.steps, 3), (std::vector<std::string>{"2 + 1", "1 + 2", "2 + 1"}));
}

}  // namespace
}  // namespace plim
