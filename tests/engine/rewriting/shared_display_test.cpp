#include <gtest/gtest.h>

#include <random>

#include "engine/rewriting/common_subexpressions.h"
#include "engine/rewriting/driver_test_util.h"
#include "frontend/printer/expressions.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using namespace rewrite_test;

std::string writtenWithLambdas(const Expr& e);

std::string shared(const Expr& e) {
    auto [r, s] = shareAll(CtxExpr{e, {}}, initialNameSupply());
    return showExpr(r.first);
}

TEST(ShareCommon, NothingRepeatedLeavesTheExpressionAndTheSupply) {
    const Expr e = add(peano(1), succ(var("q")));
    auto [r, s] = shareCommon(CtxExpr{e, {}}, initialNameSupply());
    EXPECT_TRUE(r.first.sameNode(e));
    EXPECT_EQ(s.vars.head(), "a");
    // Repeated variables and constants are never shared.
    EXPECT_EQ(shared(add(var("q"), var("q"))), "add q q");
    EXPECT_EQ(shared(add(zero(), zero())), "add Z Z");
}

TEST(ShareCommon, WithoutLambdasTheSupplyIsAskedForOnlyWhenSomethingRepeats) {
    int asked = 0;
    auto supply = [&asked] {
        ++asked;
        return initialNameSupply();
    };
    EXPECT_FALSE(shareLambdaFree(add(peano(1), succ(var("q"))), {}, supply));
    EXPECT_FALSE(shareLambdaFree(add(zero(), zero()), {}, supply));  // leaves only
    EXPECT_FALSE(shareLambdaFree(zero(), {}, supply));
    EXPECT_EQ(asked, 0);
    auto written = shareLambdaFree(add(peano(2), peano(2)), {}, supply);
    ASSERT_TRUE(written);
    EXPECT_EQ(showExpr(written->first), "add a a\nwhere a = S (S Z)");
    EXPECT_EQ(written->second.vars.head(), "b");
    EXPECT_EQ(asked, 1);
}

TEST(ShareCommon, FunctionTypedRepeatsAreNeverShared) {
    const Expr part = ap(con("add", fn(nat(), fn(nat(), nat()))), zero());  // add Z : Nat -> Nat
    EXPECT_EQ(shared(ap(part, ap(part, zero()))), "add Z (add Z Z)");
}

TEST(ShareCommon, NestedRepeatsInnermostFirst) {
    // The inner S Z occurs only inside both S (S Z): one definition only.
    EXPECT_EQ(shared(add(peano(2), peano(2))), "add a a\nwhere a = S (S Z)");
    // S Z also occurs outside: both get definitions, the inner first.
    EXPECT_EQ(shared(add(add(peano(2), peano(2)), peano(1))), "add (add b b) a\nwhere {\n      a = S Z;\n      b = S a\n      }");
}

TEST(ShareCommon, RepeatsBelowAChainOfSingleApplicationsAreWrittenUnderIt) {
    // Above the repeats, each application has a leaf on one side: on the argument's ...
    EXPECT_EQ(shared(succ(succ(add(peano(1), peano(1))))), "S (S (add a a))\nwhere a = S Z");
    // ... or on the function's.
    EXPECT_EQ(shared(add(add(peano(2), peano(1)), zero())), "add (add (S a) a) Z\nwhere a = S Z");
    EXPECT_EQ(shared(succ(add(succ(add(peano(1), zero())), peano(1)))), "S (add (S (add a Z)) a)\nwhere a = S Z");
}

TEST(ShareCommon, EqualTextOfAnotherTypeIsNotARepeat) {
    // len nil at two element types: the same tree but for its types.
    auto lenNil = [](const Type& t) { return ap(con("len", fn(t, nat())), con("nil", t)); };
    const Type a = mkTCon("A"), b = mkTCon("B");
    EXPECT_EQ(shared(add(lenNil(a), lenNil(b))), "add (len nil) (len nil)");
    EXPECT_EQ(shared(add(lenNil(a), lenNil(a))), "add a a\nwhere a = len nil");
    EXPECT_EQ(shared(add(succ(lenNil(a)), add(succ(lenNil(b)), lenNil(b)))), "add (S (len nil)) (add (S a) a)\nwhere a = len nil");
}

TEST(ShareCommon, SubtreesOfOneFormUnequalDeepInsideAreValuedByTheirParts) {
    // Successors of len nil at two element types: one form, so one hash, level by level, and
    // unequal only at the bottom.
    auto lenNil = [](const Type& t) { return ap(con("len", fn(t, nat())), con("nil", t)); };
    auto chain = [&](const Type& t, int levels) {
        Expr e = lenNil(t);
        for (int k = 0; k < levels; ++k) e = succ(e);
        return e;
    };
    const Type a = mkTCon("A"), b = mkTCon("B");
    const Expr few = add(chain(a, 6), add(chain(b, 6), add(chain(b, 3), chain(a, 2))));
    auto [r, s] = shareCommon(CtxExpr{few, {}}, initialNameSupply());
    EXPECT_EQ(showExpr(r.first) + "|" + s.vars.head(), writtenWithLambdas(few));
    EXPECT_EQ(showExpr(r.first),
              "add (S (S (S (S a)))) (add (S (S (S b))) (add b a))\nwhere {\n      a = S (S (len nil));\n"
              "      b = S (S (S (len nil)))\n      }");
    // Twenty thousand levels each: comparing every level of the second chain with the first
    // one's down to its bottom would take 2 * 10^8 steps.
    const int n = test::inputSize(20000);
    auto [big, t] = shareCommon(CtxExpr{add(chain(a, n), chain(b, n)), {}}, initialNameSupply());
    EXPECT_FALSE(big.first.isLet());
}

TEST(ShareCommon, EqualSubtreesOverDistinctLeavesAreSharedAndOnlyThey) {
    const Expr p = var("p"), r = var("r");
    const Expr pair = add(succ(p), succ(r));
    EXPECT_EQ(shared(add(pair, add(succ(p), succ(r)))), "add a a\nwhere a = add (S p) (S r)");
    // S p and S r differ by their leaves alone: nothing repeats.
    EXPECT_EQ(shared(add(succ(p), add(succ(r), succ(var("s"))))), "add (S p) (add (S r) (S s))");
    // One name at two types is two variables.
    auto lenOf = [](const Type& t) { return ap(con("len", fn(t, nat())), var("q", t)); };
    EXPECT_EQ(shared(add(lenOf(mkTCon("A")), lenOf(mkTCon("B")))), "add (len q) (len q)");
    EXPECT_EQ(shared(add(lenOf(mkTCon("A")), lenOf(mkTCon("A")))), "add a a\nwhere a = len q");
}

TEST(ShareCommon, AnExpressionSharedInMemoryIsWalkedOncePerNode) {
    // Two hundred doublings: a tree of 2^200 occurrences over 201 nodes.
    Expr e = zero();
    for (int i = 0; i < 200; ++i) e = add(e, e);
    auto [r, s] = shareCommon(CtxExpr{e, {}}, initialNameSupply());
    ASSERT_TRUE(r.first.isLet());
    const std::string text = showExpr(r.first);
    EXPECT_EQ(text.substr(0, text.find('\n')), "add gq gq");  // the last name drawn, the 199th
    std::size_t definitions = 0;
    for (std::size_t at = text.find(" = add "); at != std::string::npos; at = text.find(" = add ", at + 1)) ++definitions;
    EXPECT_EQ(definitions, 199u);  // every level but the whole: add Z : Nat -> Nat stays
}

// Levels each holding the one below twice, as a node shared in memory met under chains of
// successors of one and of twenty.
Expr doublingsUnderSuccessors(int levels) {
    Expr e = zero();
    for (int i = 0; i < levels; ++i) {
        Expr right = e;
        for (int k = 0; k < 20; ++k) right = succ(right);
        e = add(succ(e), right);
    }
    return e;
}

TEST(ShareCommon, ANodeSharedInMemoryUnderChainsOfSuccessorsIsWalkedOnce) {
    // Six levels: what the general path gives, which walks every occurrence.
    const Expr few = doublingsUnderSuccessors(6);
    auto [r, s] = shareCommon(CtxExpr{few, {}}, initialNameSupply());
    EXPECT_EQ(showExpr(r.first) + "|" + s.vars.head(), writtenWithLambdas(few));
    // Two hundred: a tree of more than 2^200 occurrences over some 4,400 nodes.
    auto [big, t] = shareCommon(CtxExpr{doublingsUnderSuccessors(200), {}}, initialNameSupply());
    ASSERT_TRUE(big.first.isLet());
    EXPECT_EQ(big.first.defs().defs.length(), 200u);  // S of every level below the top
}

TEST(ShareCommon, AChainSharedInMemoryIsNotWalkedAgainFromEveryParent) {
    // A list of 20,000 cells holding one number of 20,000 successors, one node in memory: met
    // from every cell, it is found by its hash and known for the same node at once, not
    // walked to its end (which would take 4 * 10^8 steps).
    const int n = test::inputSize(20000);
    const Expr number = peano(n);
    const Expr cons = con("Cons", fn(nat(), fn(nat(), nat())));
    Expr list = zero();
    for (int i = 0; i < n; ++i) list = ap(cons, number, list);
    auto [r, s] = shareCommon(CtxExpr{list, {}}, initialNameSupply());
    ASSERT_TRUE(r.first.isLet());
    EXPECT_EQ(r.first.defs().defs.length(), 1u);
    EXPECT_EQ(s.vars.head(), "b");
}

TEST(ShareCommon, ARepeatAtTheBottomOfAHundredThousandLevelsIsSharedOnTheOrdinaryStack) {
    runOnLargeStack(
        [] {
            const int levels = test::inputSize(100000);
            Expr e = add(peano(1), peano(1));
            for (int i = 0; i < levels; ++i) e = succ(add(zero(), e));
            auto [r, s] = shareCommon(CtxExpr{e, {}}, initialNameSupply());
            ASSERT_TRUE(r.first.isLet());
            EXPECT_EQ(s.vars.head(), "b");
            EXPECT_EQ(showExpr(mkLet(r.first.defs(), zero(), nat())), "Z\nwhere a = S Z");
            Expr bottom = r.first.body();  // S (add Z (S (add Z ... (add a a))))
            for (int i = 0; i < levels; ++i) bottom = bottom.arg().arg();
            EXPECT_EQ(showExpr(bottom), "add a a");
        },
        test::kOrdinaryStack);
}

TEST(ShareCommon, RepeatsBelowAHundredThousandSuccessorsAreWrittenUnderThem) {
    runOnLargeStack(
        [] {
            // The successors occur once each: the repeats lie below them, and the written form
            // rebuilds them over the bottom's.
            const int levels = test::inputSize(100000);
            const Expr bottom = add(peano(2), succ(peano(2)));
            Expr e = bottom;
            for (int i = 0; i < levels; ++i) e = succ(e);
            auto [r, s] = shareCommon(CtxExpr{e, {}}, initialNameSupply());
            ASSERT_TRUE(r.first.isLet());
            EXPECT_EQ(s.vars.head(), "b");
            EXPECT_EQ(showExpr(mkLet(r.first.defs(), zero(), nat())), "Z\nwhere a = S (S Z)");
            Expr written = r.first.body();
            for (int i = 0; i < levels; ++i) {
                ASSERT_TRUE(written.isAp() && written.fun().sameNode(e.fun()));
                written = written.arg();
                e = e.arg();
            }
            EXPECT_EQ(showExpr(written), "add a (S a)");
            // Nothing repeats below them: the expression itself, no name drawn.
            Expr lone = add(peano(2), var("q"));
            for (int i = 0; i < levels; ++i) lone = succ(lone);
            auto [same, t] = shareCommon(CtxExpr{lone, {}}, initialNameSupply());
            EXPECT_TRUE(same.first.sameNode(lone));
            EXPECT_EQ(t.vars.head(), "a");
        },
        test::kOrdinaryStack);
}

TEST(ShareCommon, RepeatsMentioningTheContextStay) {
    const Expr q = var("q");
    const Expr e = add(succ(q), add(succ(q), succ(succ(zero()))));
    auto [inQ, s1] = shareCommon(CtxExpr{add(succ(q), succ(q)), {TypedVar{"q", nat()}}}, initialNameSupply());
    EXPECT_EQ(showExpr(inQ.first), "add (S q) (S q)");
    auto [inR, s2] = shareCommon(CtxExpr{e, {TypedVar{"r", nat()}}}, initialNameSupply());
    EXPECT_EQ(showExpr(inR.first), "add a (add a (S (S Z)))\nwhere a = S q");
    EXPECT_EQ(s2.vars.head(), "b");
}

TEST(ShareCommon, BoundVariablesShareOnlyInsideTheirLambda) {
    const Expr q = var("q");
    const Expr e = lam(q, add(succ(q), succ(q)));
    EXPECT_EQ(shared(e), "(\\ q ->\n add a a\n where a = S q\n)");
    auto [top, s] = shareCommon(CtxExpr{e, {}}, initialNameSupply());
    EXPECT_TRUE(top.first.sameNode(e));
}

TEST(ShareCommon, EtaAndBoundNamesDoNotMatter) {
    const Expr p = var("p"), r = var("r");
    const Expr s = con("S", fn(nat(), nat()));
    const Expr h = con("h", fn(fn(nat(), nat()), nat()));
    // h (\p -> S p) and h S count as the same; so do h (\p -> add p p) and h (\r -> add r r).
    EXPECT_EQ(shared(add(ap(h, lam(p, ap(s, p))), ap(h, s))), "add a a\nwhere a = h (\\ p -> S p)");
    EXPECT_EQ(shared(add(ap(h, lam(p, add(p, p))), ap(h, lam(r, add(r, r))))), "add a a\nwhere a = h (\\ p -> add p p)");
}

TEST(ShareCommon, ALetBelowTheTopIsAnError) {
    const Expr let = mkLet(mkDList(mkNoDef()), zero(), nat());
    EXPECT_EQ(failureText([&] { cses(CtxExpr{succ(let), {}}, initialNameSupply()); }),
              "SubExpressions:318|function cses");
    EXPECT_TRUE(csesTop(CtxExpr{let, {}}, initialNameSupply()).first.first.isLet());
}

// --- deep nesting ----------------------------------------------------------------------------

constexpr int deep = 20000;

// \ q -> \ q -> ... innermost, `levels` lambdas.
Expr lambdaChain(int levels, const Expr& q, const Expr& innermost) {
    Expr e = innermost;
    for (int i = 0; i < levels; ++i) e = lam(q, e);
    return e;
}

Expr bodyAt(Expr e, int levels) {
    for (int i = 0; i < levels; ++i) e = e.body();
    return e;
}

TEST(ShareCommon, DeepLambdaChainsWithNothingToShareStayAsTheyAre) {
    const Expr q = var("q");
    const Expr e = lambdaChain(deep, q, q);
    auto [r, s] = shareAll(CtxExpr{e, {}}, initialNameSupply());
    EXPECT_TRUE(r.first.sameNode(e));
    EXPECT_EQ(s.vars.head(), "a");
    // Nested applied lambdas, as a chain of lets becomes: (\ q -> (\ q -> ... q) Z) Z.
    Expr redexes = q;
    for (int i = 0; i < deep; ++i) redexes = ap(lam(q, redexes), zero());
    EXPECT_TRUE(shareAll(CtxExpr{redexes, {}}, initialNameSupply()).first.first.sameNode(redexes));
}

TEST(ShareCommon, ALambdaPatternHundredsOfThousandsDeepIsFingerprintedOnTheOrdinaryStack) {
    runOnLargeStack(
        [] {
            const Expr q = var("q");
            Expr pattern = q;
            for (int i = 0; i < test::inputSize(300000); ++i) pattern = succ(pattern);
            const Expr e = add(lam(pattern, q), lam(pattern, q));
            auto [r, s] = shareAll(CtxExpr{e, {}}, initialNameSupply());
            EXPECT_TRUE(r.first.sameNode(e));
        },
        test::kOrdinaryStack);
}

TEST(ShareCommon, ARepeatAtTheBottomOfADeepChainIsSharedInsideItsLambda) {
    const Expr q = var("q");
    const Expr e = lambdaChain(deep, q, add(succ(q), succ(q)));
    auto [r, s] = shareAll(CtxExpr{e, {}}, initialNameSupply());
    EXPECT_EQ(showExpr(bodyAt(r.first, deep - 1)), "(\\ q ->\n add a a\n where a = S q\n)");
    EXPECT_TRUE(bodyAt(r.first, deep - 2).body().sameNode(bodyAt(r.first, deep - 1)));
    EXPECT_EQ(s.vars.head(), "b");
}

TEST(ShareCommon, ARepeatOfAnOuterVariableIsSharedAtItsLambda) {
    // The repeat mentions only p: it is written once around the body of \ p, above every \ q.
    const Expr p = var("p"), q = var("q");
    const Expr e = lam(p, lambdaChain(deep, q, add(succ(p), add(succ(p), q))));
    auto [r, s] = shareAll(CtxExpr{e, {}}, initialNameSupply());
    const Expr body = r.first.body();
    ASSERT_TRUE(body.isLet());
    EXPECT_EQ(showExpr(bodyAt(body.body(), deep)), "add a (add a q)");
    EXPECT_EQ(s.vars.head(), "b");
}

// Random lambda-free expressions over few leaves, so that much repeats: of two types each for
// equal text, with partial applications (function-typed repeats) and nodes shared in memory.
class RandomTerms {
public:
    explicit RandomTerms(unsigned seed) : rng_(seed) {}

    Expr term(int depth) {
        if (depth == 0 || pick(4) == 0) return leaf();
        switch (pick(5)) {
        case 0: return succ(term(depth - 1));
        case 1: return add(term(depth - 1), term(depth - 1));
        case 2: return ap(addZero_, term(depth - 1));
        case 3: {
            const Type t = pick(2) == 0 ? mkTCon("A") : mkTCon("B");
            return ap(con("len", fn(t, nat())), con("nil", t));
        }
        default: {
            const Expr same = term(depth - 1);
            return add(same, pick(2) == 0 ? same : succ(same));
        }
        }
    }
    // e with the subtree at a random place replaced by a new term, the path above it rebuilt
    // and everything else kept: one step of a calculation.
    Expr step(const Expr& e) {
        if (!e.isAp() || pick(5) == 0) return term(3);
        const bool intoArg = pick(3) != 0;
        return intoArg ? mkApAs(e, e.fun(), step(e.arg())) : mkApAs(e, step(e.fun()), e.arg());
    }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

private:
    Expr leaf() {
        switch (pick(3)) {
        case 0: return zero();
        case 1: return var("q");
        default: return peano(1);
        }
    }
    std::mt19937 rng_;
    const Expr addZero_ = ap(con("add", fn(nat(), fn(nat(), nat()))), zero());
};

// The written form of shareCommon by the path for expressions with lambdas: under a lambda
// that binds nothing in it, e's repeats are grouped by fingerprint and compared exactly.
std::string writtenWithLambdas(const Expr& e) {
    const Expr wrapped = lam(var("unused"), e);
    auto [r, s] = shareCommon(CtxExpr{wrapped, {}}, initialNameSupply());
    const Expr& out = r.first;
    const Expr shown = out.isLet() ? mkLet(out.defs(), out.body().body(), e.type()) : e;
    return showExpr(shown) + "|" + s.vars.head();
}

TEST(ShareCommon, WithoutLambdasTheValuesGiveWhatTheGeneralPathGives) {
    RandomTerms random(7);
    for (int run = 0; run < 40; ++run) {
        Expr e = random.term(6);
        for (int step = 0; step < 12; ++step) {
            auto [r, s] = shareCommon(CtxExpr{e, {}}, initialNameSupply());
            ASSERT_EQ(showExpr(r.first) + "|" + s.vars.head(), writtenWithLambdas(e)) << "run " << run << " step " << step;
            e = random.step(e);
        }
    }
}

// Random expressions with lambdas: RandomTerms' terms (over the variable q) under lambdas
// binding q or p, side by side and nested, as arguments of h : (Nat -> Nat) -> Nat; a body
// often holds one part twice.
Expr withLambdas(RandomTerms& random, int depth) {
    if (depth == 0) return random.term(2);
    switch (random.pick(4)) {
    case 0: return random.term(3);
    case 1: return add(withLambdas(random, depth - 1), withLambdas(random, depth - 1));
    case 2: return succ(withLambdas(random, depth - 1));
    default: {
        const Expr h = con("h", fn(fn(nat(), nat()), nat()));
        const Expr body = withLambdas(random, depth - 1);
        const Expr twice = add(body, random.pick(2) == 0 ? body : succ(body));
        return ap(h, lam(var(random.pick(2) == 0 ? "q" : "p"), random.pick(2) == 0 ? body : twice));
    }
    }
}

TEST(ShareCommon, TheLambdaBodiesPassedOverAreThoseWithNothingToShare) {
    // With a binder around the whole expression that it never mentions, every lambda body is
    // shared in: the same text and supply as when the bodies with nothing to share are found
    // and passed over.
    RandomTerms random(11);
    const std::vector<TypedVar> unseen{TypedVar{"unseen", nat()}};
    int sharedInBodies = 0;
    for (int run = 0; run < 300; ++run) {
        const Expr e = withLambdas(random, 6);
        auto [passingOver, s1] = shareAll(CtxExpr{e, {}}, initialNameSupply());
        auto [everyBody, s2] = shareAll(CtxExpr{e, unseen}, initialNameSupply());
        const std::string text = showExpr(passingOver.first) + "|" + s1.vars.head();
        ASSERT_EQ(text, showExpr(everyBody.first) + "|" + s2.vars.head()) << "run " << run;
        auto [top, s3] = shareCommon(CtxExpr{e, {}}, initialNameSupply());
        if (text != showExpr(top.first) + "|" + s3.vars.head()) ++sharedInBodies;
    }
    EXPECT_GT(sharedInBodies, 30);
}

TEST(ShareCommon, WithoutLambdasLeavesAreOneValueByNameOrConstantAndTypeWhateverTheirNodes) {
    // Every leaf its own node, of more names and constants than the memo of leaves has slots:
    // numbers, constructors at two types (each type built afresh, so in nodes of its own),
    // floats and variables, repeated under inc at different distances.
    auto inc = [](const Expr& x) { return ap(con("inc", fn(x.type(), nat())), x); };
    Expr e = zero();
    for (int k = 0; k < 700; ++k) {
        e = add(inc(num(k % 300)), e);
        e = add(inc(con("C" + std::to_string(k % 250), k % 2 == 0 ? nat() : mkTCon("B"))), e);
        e = add(inc(mkCon(mkFNumber(static_cast<float>(k % 7) * 0.5f), mkTCon("Float"))), e);
        e = add(inc(var("v" + std::to_string(k % 30))), e);
    }
    auto [r, s] = shareCommon(CtxExpr{e, {}}, initialNameSupply());
    ASSERT_TRUE(r.first.isLet());
    EXPECT_EQ(showExpr(r.first) + "|" + s.vars.head(), writtenWithLambdas(e));
    // The same constant at two types is two values.
    const Expr atNat = inc(con("C", nat())), atB = inc(con("C", mkTCon("B")));
    EXPECT_EQ(shared(add(atNat, atB)), "add (inc C) (inc C)");
    EXPECT_EQ(shared(add(atNat, inc(con("C", nat())))), "add a a\nwhere a = inc C");
}

}  // namespace
}  // namespace plim
