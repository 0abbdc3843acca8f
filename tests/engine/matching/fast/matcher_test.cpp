// The fast matching core, its application steps and its entries.
#include <gtest/gtest.h>

#include <algorithm>

#include <set>

#include "engine/matching/fast/matcher.h"
#include "engine/matching/fast/matcher_test_util.h"
#include "engine/matching/match_corpus.h"
#include "frontend/printer/expressions.h"
#include "support/errors.h"
#include "support/failure_text.h"
#include "support/sanitizer_build.h"

namespace plim::fast {
namespace {

using namespace corpus::detail;

Term conv(const Expr& e, const std::vector<std::string>& ctx = {}) { return convertPrime(ctx, e); }

// The binding of a name in a solution, printed, or "-" when unbound.
std::string bound(const TermSubst& s, const std::string& n) {
    const Term* t = s.bindings.find(n);
    return t ? showExpr(convert(*t)) : "-";
}

std::string bindingsText(const TermSubst& s) {
    std::string out;
    for (const auto& [n, t] : s.bindings) out += n + ":=" + showExpr(convert(t)) + ";";
    return out;
}

std::vector<std::string> texts(const FastSolutions& ss, std::size_t limit = 100) {
    std::vector<std::string> out;
    for (const TermSubst& s : toVector(ss, limit)) out.push_back(bindingsText(s));
    return out;
}

// The first results of a step, at most `limit`.
std::vector<std::pair<StepResult, NameSupply>> results(StepSourcePtr rs, std::size_t limit = 100) {
    std::vector<std::pair<StepResult, NameSupply>> out;
    while (out.size() < limit)
        if (auto r = rs->next()) out.push_back(std::move(*r));
        else break;
    return out;
}

std::vector<std::string> images(StepSourcePtr rs) {
    std::vector<std::string> out;
    for (const auto& r : results(std::move(rs))) out.push_back(showExpr(convert(r.first.first)));
    return out;
}

NameSupply supply() { return initialNameSupply(); }

// --- core ---------------------------------------------------------------------------------

TEST(FastMatchingCore, EmptyWorklistYieldsTheAccumulatedSubstitution) {
    TermSubst acc;
    acc.bindings.bind("q", conv(num(1)));
    const auto sols = toVector(solveProblems(ApStep::OneStep, acc, {}, supply()));
    ASSERT_EQ(sols.size(), 1u);
    EXPECT_EQ(bound(sols[0].first, "q"), "1");
    EXPECT_EQ(sols[0].second.vars.head(), "a");
}

TEST(FastMatchingCore, PatternVariablesAndLocalVariables) {
    // A local variable bound outside the term cannot be bound to a pattern variable.
    const Term escaping = Ap(conv(constr("F", fn(I(), I()))), LVar("y", I()), I());
    EXPECT_TRUE(toVector(solveProblems(ApStep::Simple, identitySubst(), {{PVar("x", I()), escaping}}, emptySupply())).empty());
    // Bound inside the term it can.
    const Term closed = conv(lam("y", I(), F(var("y", I()))));
    EXPECT_EQ(toVector(fastSimpleMatch(PVar("x", closed.type()), closed)).size(), 1u);
    // A term side with a pattern variable is an error, even when the pattern fails anyway.
    EXPECT_EQ(failureMessage([] { toVector(fastSimpleMatch(conv(num(1)), conv(plus(var("y", I()), num(2))))); }),
              "free variables in term: y + 2");
}

TEST(FastMatchingCore, TypesAreMatchedOneWay) {
    EXPECT_TRUE(toVector(fastSimpleMatch(Con(mkNumber(1), intType()), Con(mkNumber(1), boolType()))).empty());
    const auto r = toVector(fastSimpleMatch(PVar("x", mkTid("a")), conv(F(num(1)))));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(typeText(r[0].types("a")), typeText(intType()));
    EXPECT_EQ(bound(r[0], "x"), "F 1");
}

TEST(FastMatchingCore, LambdasTuplesAndRepeatedVariables) {
    // \x -> g x against a non-lambda: the body is matched against F applied to x.
    const Term p = conv(lam("x", I(), ap(var("g", fn(I(), I())), var("x", I()))));
    const auto r = toVector(fastSimpleMatch(p, conv(constr("F", fn(I(), I())))));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(bound(r[0], "g"), "F");
    // \x -> x + k against \y -> y + 1.
    const auto r2 = toVector(fastSimpleMatch(conv(lam("x", I(), plus(var("x", I()), var("k", I())))),
                                             conv(lam("y", I(), plus(var("y", I()), num(1))))));
    ASSERT_EQ(r2.size(), 1u);
    EXPECT_EQ(bound(r2[0], "k"), "1");
    // Tuples of different lengths never match.
    const Term pair2 = conv(pair(var("a", I()), var("b", I())));
    const Term triple = Tupl({conv(num(1)), conv(num(2)), conv(num(3))}, mkTupleType({I(), I(), I()}));
    EXPECT_TRUE(toVector(fastSimpleMatch(pair2, Tupl(triple.elems(), pair2.type()))).empty());
    EXPECT_EQ(texts(fastSimpleMatch(pair2, conv(pair(num(1), num(2))))), std::vector<std::string>{"a:=1;b:=2;"});
    // A repeated pattern variable: the first occurrence binds, the second must then match.
    const Term gxx = conv(G(var("x", I()), var("x", I())));
    EXPECT_EQ(texts(fastSimpleMatch(gxx, conv(G(num(1), num(1))))), std::vector<std::string>{"x:=1;"});
    EXPECT_TRUE(texts(fastSimpleMatch(gxx, conv(G(num(1), num(2))))).empty());
}

TEST(FastMatchingCore, ResultsComeDepthFirstInTheStepOrder) {
    // f x against 1 + 2, one-step: decomposition, abstraction of the whole term, of 1, constant.
    const Term p = conv(ap(var("f", fn(I(), I())), var("x", I())));
    const FastRun run = fastEngine(fastOneStepStep, identitySubst(), p, {}, conv(plus(num(1), num(2))), {}, supply());
    EXPECT_EQ(texts(run.solutions), (std::vector<std::string>{"f:=(+) 1;x:=2;", "f:=(\\ a -> a);x:=1 + 2;",
                                                              "f:=(\\ a -> a + 2);x:=1;", "f:=(\\ a -> 1 + 2);"}));
    // The supply left is the furthest one: one name used by the abstractions.
    EXPECT_EQ(run.rest->vars.head(), "b");
}

// The empty list at the element type a.
Expr nil(const Type& a) { return mkCon(mkNul(), mkListType(a)); }

// --- steps ----------------------------------------------------------------------------------

TEST(FastMatchingSteps, RigidHeadsDecomposeOnly) {
    const Term t = conv(F(num(2)));
    for (ApStep step : {ApStep::OneStep, ApStep::TwoStep}) {
        const auto rs = results(stepSource(step, false, PVar("x", I()), t, supply()));
        ASSERT_EQ(rs.size(), 1u);
        EXPECT_TRUE(rs[0].first.first.sameNode(t.fun()));
        ASSERT_EQ(rs[0].first.second.size(), 1u);
        EXPECT_TRUE(rs[0].first.second[0].second.sameNode(t.arg()));
    }
}

TEST(FastMatchingSteps, OneStepCandidatesInOrder) {
    // An argument that occurs nowhere: decomposition and the constant abstraction only.
    EXPECT_EQ(images(stepSource(ApStep::OneStep, true, conv(num(5)), conv(plus(num(1), num(2))), supply())),
              (std::vector<std::string>{"(+) 1", "(\\ a -> 1 + 2)"}));
    // The argument of the term itself alone is not abstracted: F 2 against x = 2.  Nor is
    // the whole term, which the constant 2 cannot match.
    EXPECT_EQ(images(stepSource(ApStep::OneStep, true, conv(num(2)), conv(F(num(2))), supply())),
              (std::vector<std::string>{"F", "(\\ a -> F 2)"}));
    // Occurrences of one subterm in powerset order, without the argument alone.
    EXPECT_EQ(images(stepSource(ApStep::OneStep, true, conv(num(1)), conv(G(num(1), num(1))), supply())),
              (std::vector<std::string>{"G 1", "(\\ a -> G a 1)", "(\\ a -> G a a)", "(\\ a -> G 1 1)"}));
    // An argument that may match any subterm keeps them all.
    EXPECT_EQ(images(stepSource(ApStep::OneStep, true, conv(var("y", I())), conv(F(num(2))), supply())),
              (std::vector<std::string>{"F", "(\\ a -> a)", "(\\ a -> F 2)"}));
}

TEST(FastMatchingSteps, TwoStepCandidatesFollowTheLevels) {
    // f 1 against 1 + 2: the constant abstraction, then one instance of 1 abstracted.
    EXPECT_EQ(images(stepSource(ApStep::TwoStep, true, conv(num(1)), conv(plus(num(1), num(2))), supply())),
              (std::vector<std::string>{"(\\ a -> 1 + 2)", "(\\ a -> a + 2)"}));
    // Two instances: level 1 has each alone, level 2 both.
    EXPECT_EQ(images(stepSource(ApStep::TwoStep, true, conv(num(1)), conv(G(num(1), num(1))), supply())),
              (std::vector<std::string>{"(\\ a -> G 1 1)", "(\\ a -> G a 1)", "G 1", "(\\ a -> G a a)"}));
    // Three instances: each level lists the sets of instances in order, each set once.
    EXPECT_EQ(images(stepSource(ApStep::TwoStep, true, conv(num(1)), conv(G(plus(num(1), num(1)), F(num(1)))),
                                supply())),
              (std::vector<std::string>{"(\\ a -> G (1 + 1) (F 1))", "(\\ a -> G (a + 1) (F 1))",
                                        "(\\ a -> G (1 + a) (F 1))", "(\\ a -> G (1 + 1) (F a))",
                                        "(\\ a -> G (a + a) (F 1))", "(\\ a -> G (a + 1) (F a))",
                                        "(\\ a -> G (1 + a) (F a))", "(\\ a -> G (a + a) (F a))"}));
    // An argument with a lambda: instances of its body, the abstraction applied to the instance.
    const Expr x = lam("z", I(), F(var("z", I())));
    EXPECT_EQ(images(stepSource(ApStep::TwoStep, true, conv(x), conv(G(F(num(3)), num(4))), supply())),
              (std::vector<std::string>{"(\\ a -> G (F 3) 4)", "(\\ a -> G (a 3) 4)"}));
    // An argument that fits every subterm: endless levels, each body listed once, in order.
    const std::vector<std::string> endless =
        images(stepSource(ApStep::TwoStep, true, conv(lam("y", I(), var("y", I()))), conv(F(num(1))), supply()));
    ASSERT_EQ(endless.size(), 100u);
    EXPECT_EQ(std::vector<std::string>(endless.begin(), endless.begin() + 6),
              (std::vector<std::string>{"(\\ a -> F 1)", "(\\ a -> a (F 1))", "(\\ a -> F (a 1))",
                                        "(\\ a -> a (a (F 1)))", "(\\ a -> a (F (a 1)))", "(\\ a -> F (a (a 1)))"}));
    EXPECT_EQ(std::set<std::string>(endless.begin(), endless.end()).size(), endless.size());
}

TEST(FastMatchingSteps, TupleArgumentsElementByElement) {
    // f (a, b) against FST (1, 2): among the results f := FST with a := 1 and b := 2.
    const Term p = conv(ap(var("f", fn(pairT(), I())), pair(var("a", I()), var("b", I()))));
    const auto all = texts(fastEngine(fastOneStepStep, identitySubst(), p, {}, conv(FST(pair(num(1), num(2)))), {},
                                      supply()).solutions);
    EXPECT_NE(std::find(all.begin(), all.end(), "a:=1;b:=2;f:=FST;"), all.end());
}

// --- entries ----------------------------------------------------------------------------------

TEST(FastMatchingEntries, ContextVariablesAreFrozenAndThawed) {
    const std::vector<TypedVar> ctx{{"x", intType()}};
    const Term t = conv(F(var("x", I())), {"x"});
    const FastRun run = fastEngine(fastOneStepStep, identitySubst(), PVar("f", I()), {}, t, ctx, supply());
    const auto r = toVector(run.solutions);
    ASSERT_EQ(r.size(), 1u);
    const Term b = *r[0].bindings.find("f");
    EXPECT_TRUE(b.arg().is(TermKind::LVar));
    // Without the context the same term is refused by the simple matcher.
    EXPECT_EQ(failureMessage([] { toVector(fastSimpleMatch(PVar("f", I()), conv(F(var("x", I()))))); }),
              "free variables in term: F x");
}

TEST(FastMatchingEntries, InitialBindingsAreAppliedAndKept) {
    MatchResult init;
    init.subst = {{"f", num(7)}, {"f", constr("F", fn(I(), I()))}};  // the later binding wins
    const TermSubst b = fastConvertBindings(init);
    const Term p = conv(ap(var("f", fn(I(), I())), var("y", I())));
    const auto one = toVector(fastEngine(fastOneStepStep, b, p, {}, conv(F(num(2))), {}, supply()).solutions);
    ASSERT_FALSE(one.empty());
    EXPECT_EQ(bindingsText(one[0]), "f:=F;y:=2;");
    EXPECT_EQ(texts(fastSimpleMatchWith(b, p, {}, conv(F(num(2))), {})), std::vector<std::string>{"f:=F;y:=2;"});
    const auto two = toVector(fastTwoStepConverted(b, p, {}, conv(F(num(2))), {}, supply()).results);
    ASSERT_FALSE(two.empty());
    const auto f = std::find_if(two[0].subst.begin(), two[0].subst.end(), [](const auto& x) { return x.first == "f"; });
    ASSERT_NE(f, two[0].subst.end());
    EXPECT_EQ(showExpr(f->second), "F");
}

TEST(FastMatchingEntries, NoResultKeepsTheSupply) {
    NameSupply s = supply();
    s.vars = s.vars.drop(5);
    const FastRun run = fastEngine(fastOneStepStep, identitySubst(), conv(num(1)), {}, conv(num(2)), {}, s);
    EXPECT_TRUE(run.solutions.empty());
    EXPECT_EQ(run.rest->vars.head(), "f");
    EXPECT_EQ(fastTwoStep(conv(num(1)), conv(num(2)), {}, s).rest->vars.head(), "f");
}

TEST(FastMatchingEntries, TwoStepApplicableExamples) {
    const Type ii = fn(I(), I());
    const Expr f = var("f", fn(ii, I()));
    EXPECT_TRUE(twoStepApplicable(conv(G(var("x", I()), F(num(1))))));
    EXPECT_FALSE(twoStepApplicable(conv(ap(f, lam("y", I(), var("y", I()))))));
    // y y uses y twice: one occurrence is left over, and the test goes on (true here).
    const Expr yy = lam("y", ii, ap(var("y", ii), ap(var("y", ii), num(1))));
    EXPECT_TRUE(twoStepApplicable(conv(ap(var("f", fn(fn(ii, I()), I())), yy))));
    // (u, u) under \ u mentions no local variable but u, and holds no constant.
    const Expr uu = lam("u", I(), pair(var("u", I()), var("u", I())));
    EXPECT_FALSE(twoStepApplicable(conv(ap(var("f", fn(uu.type(), I())), uu))));
    // The body mentions z, bound outside, but not y.
    const Term noY = Ap(PVar("f", fn(ii, I())), Lam(LamVar("y"), LVar("z", I()), ii), I());
    EXPECT_FALSE(twoStepApplicable(noY));
    EXPECT_FALSE(twoStepApplicable(conv(ap(var("f", ii), plus(var("x", I()), num(1))))));
    EXPECT_TRUE(twoStepApplicable(conv(ap(var("f", ii), F(num(1))))));
    // A tuple argument holding \ y -> y (also in an inner tuple), whatever its other
    // components hold: the tuple fold would give that component the two-step candidates.
    const Expr idY = lam("y", I(), var("y", I()));
    const Expr inner = pair(idY, num(1));
    EXPECT_FALSE(twoStepApplicable(conv(ap(var("f", fn(pair(idY, nil(I())).type(), I())), pair(idY, nil(I()))))));
    EXPECT_FALSE(twoStepApplicable(conv(ap(var("f", fn(pair(inner, num(2)).type(), I())), pair(inner, num(2))))));
    const Expr usesY = lam("y", I(), F(var("y", I())));
    EXPECT_TRUE(twoStepApplicable(conv(ap(var("f", fn(pair(usesY, num(2)).type(), I())), pair(usesY, num(2))))));
}

TEST(FastMatchingEntries, TwoStepFallsBackToOneStepForUnsuitedPatterns) {
    const Term p = conv(ap(var("f", fn(I(), I())), var("x", I())));
    const Term t = conv(G(F(num(1)), num(2)));
    EXPECT_EQ(texts(fastTwoStep(p, t, {}, supply()).solutions),
              texts(fastEngine(fastOneStepStep, identitySubst(), p, {}, t, {}, supply()).solutions));
}

TEST(FastMatchingEntries, ApplicabilityLooksForRigidSymbols) {
    EXPECT_TRUE(fastApplicable(conv(F(var("x", I()))), conv(G(F(num(1)), num(2)))));
    EXPECT_FALSE(fastApplicable(conv(F(var("x", I()))), conv(G(num(1), num(2)))));
    // Flexible applications require nothing.
    EXPECT_TRUE(fastApplicable(conv(ap(var("f", fn(I(), I())), num(9))), conv(num(2))));
}

TEST(FastMatchingEntries, FirstResultOfAHugeSearchComesAtOnce) {
    // 1 + 1 + ... + 1 (21 ones) + 2: the subterm 1 occurs 21 times, so the abstractions of
    // its occurrences number 2^21 - 2; the results are read one at a time.
    Expr t = num(1);
    for (int i = 0; i < 20; ++i) t = plus(t, num(1));
    t = plus(t, num(2));
    const Term p = conv(ap(var("f", fn(I(), I())), num(1)));
    const FastRun run = fastEngine(fastOneStepStep, identitySubst(), p, {}, conv(t), {}, supply());
    const auto first = toVector(run.solutions, 3);
    ASSERT_EQ(first.size(), 3u);
    for (const auto& s : first) EXPECT_TRUE(fasttest::passesCheck(fastConvertSolution(s), convert(p), t));
    const auto two = toVector(fastTwoStep(p, conv(t), {}, supply()).solutions, 3);
    EXPECT_EQ(two.size(), 3u);
    // So are those converted as the search finds them.
    EXPECT_EQ(toVector(fastEngineConverted(fastOneStepStep, identitySubst(), p, {}, conv(t), {}, supply()).results, 3).size(), 3u);
    EXPECT_EQ(toVector(fastTwoStepConverted(identitySubst(), p, {}, conv(t), {}, supply()).results, 3).size(), 3u);
}

}  // namespace
}  // namespace plim::fast
