// Simple matching on the expressions gives what the term matcher gives: the same results in
// the same order, the same type substitutions, the same errors.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/matching/fast/matcher.h"
#include "engine/matching/match_corpus.h"
#include "frontend/printer/expressions.h"
#include "support/errors.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using namespace corpus::detail;

// The results of one way of matching, or the error that reading them raised.
struct Outcome {
    std::vector<MatchResult> results;
    std::optional<std::string> error;
};

template <class Run>
Outcome outcomeOf(Run run) {
    Outcome out;
    try {
        out.results = toVector(run());
    } catch (const PlimError& e) {
        out.error = e.message();
    }
    return out;
}

bool sameTypes(const TypeSubst& a, const TypeSubst& b) {
    const auto& x = a.bindings();
    const auto& y = b.bindings();
    if (x.size() != y.size()) return false;
    for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j)
        if (i->first != j->first || !eqType(i->second, j->second)) return false;
    return true;
}

// Exactly equal: names, expressions node for node with their types, type substitutions.
void expectSame(const Outcome& direct, const Outcome& terms) {
    ASSERT_EQ(direct.error, terms.error);
    ASSERT_EQ(direct.results.size(), terms.results.size());
    for (std::size_t i = 0; i < direct.results.size(); ++i) {
        const MatchResult& a = direct.results[i];
        const MatchResult& b = terms.results[i];
        EXPECT_EQ(showSubst(a.subst), showSubst(b.subst));
        ASSERT_EQ(a.subst.size(), b.subst.size());
        for (std::size_t k = 0; k < a.subst.size(); ++k) {
            EXPECT_EQ(a.subst[k].first, b.subst[k].first);
            EXPECT_TRUE(exprEq({}, {}, a.subst[k].second, b.subst[k].second)) << showExpr(a.subst[k].second);
            EXPECT_TRUE(eqType(exprType(a.subst[k].second), exprType(b.subst[k].second)));
        }
        EXPECT_TRUE(sameTypes(a.types, b.types));
    }
}

void compareOn(const Expr& p, const Expr& t) {
    SCOPED_TRACE(showExpr(p) + " ~ " + showExpr(t));
    const Outcome direct = outcomeOf([&] { return fastSimpleMatchExpr(p, t); });
    const Outcome terms = outcomeOf([&] {
        return fastConvertSolutions(fastSimpleMatch(fast::convertPrime({}, p), fast::convertPrime({}, t)));
    });
    expectSame(direct, terms);
}

TEST(FastMatchingDirect, SameAsTheTermMatcherOnTheCorpus) {
    std::size_t matched = 0;
    for (const corpus::MatchCase& c : corpus::matchCorpus()) {
        compareOn(c.pattern, c.term);  // terms in a context have free variables: an error
        if (c.termContext.empty()) matched += toVector(fastSimpleMatchExpr(c.pattern, c.term)).size();
    }
    EXPECT_GT(matched, 100u);
}

Type pairOf(Type a, Type b) { return mkTupleType({std::move(a), std::move(b)}); }

TEST(FastMatchingDirect, LambdasAndTheRenamingOfTheirVariables) {
    const Type ii = fn(I(), I());
    const Expr a = var("a", I()), b = var("b", I()), x = var("x", I()), z = var("z", I()), w = var("w", I());
    const Expr P = constr("P", fn(ii, ii, I()));
    // Lambdas against lambdas, the pattern's variables against renamed ones.
    compareOn(lam("x", I(), plus(x, var("k", I()))), lam("a", I(), plus(a, num(1))));
    compareOn(lam("x", I(), plus(x, var("k", I()))), lam("a", I(), plus(num(1), a)));
    // A variable captured by a later lambda of its new name, in both directions.
    compareOn(lam("z", I(), lam("w", I(), z)), lam("a", I(), lam("z", I(), a)));
    compareOn(lam("x", I(), lam("x", I(), x)), lam("a", I(), lam("b", I(), a)));
    compareOn(lam("x", I(), lam("x", I(), x)), lam("a", I(), lam("b", I(), b)));
    compareOn(lam("x", I(), lam("y", I(), x)), lam("a", I(), lam("a", I(), a)));
    compareOn(lam("x", I(), lam("y", I(), var("y", I()))), lam("a", I(), lam("a", I(), a)));
    // A binding may not hold a variable of a lambda above it.
    compareOn(lam("x", I(), var("k", I())), lam("a", I(), a));
    compareOn(lam("x", I(), G(var("k", I()), x)), lam("a", I(), G(F(num(1)), a)));
    // Eta: a pattern lambda against a term that is none.
    compareOn(lam("x", I(), ap(var("f", ii), x)), constr("F", ii));
    compareOn(lam("x", I(), F(x)), constr("F", ii));
    const Expr Gc = constr("G", fn(I(), I(), I()));
    const Expr f2 = var("f", fn(I(), I(), I()));
    compareOn(lam("x", I(), lam("y", I(), ap(f2, x, var("y", I())))), Gc);
    compareOn(lam("x", I(), lam("y", I(), ap(f2, var("y", I()), x))), Gc);
    compareOn(lam("x", I(), ap(var("f", ii), x)), ap(Gc, num(1)));
    compareOn(lam("z", I(), lam("x", I(), ap(var("f", ii), z))), lam("a", I(), ap(Gc, a)));
    compareOn(lam("z", I(), lam("z", I(), ap(var("f", ii), z))), lam("a", I(), ap(Gc, a)));
    compareOn(lam("z", I(), lam("x", I(), ap(f2, z, x))), lam("a", I(), ap(Gc, a)));
    compareOn(lam("x", I(), ap(var("f", ii), x)), num(1));  // no function: the core's error
    // A repeated variable bound to lambdas equal up to their bound names, and to different ones.
    const Expr f = var("f", ii);
    compareOn(ap(P, f, f), ap(P, lam("w", I(), plus(w, num(1))), lam("z", I(), plus(z, num(1)))));
    compareOn(ap(P, f, f), ap(P, lam("w", I(), plus(w, num(1))), lam("z", I(), plus(z, num(2)))));
    compareOn(ap(P, f, f), ap(P, constr("F", ii), constr("F", ii)));
    compareOn(ap(P, f, f), ap(P, ap(constr("G", fn(I(), I(), I())), num(1)), ap(constr("G", fn(I(), I(), I())), num(1))));
    compareOn(ap(P, f, f), ap(P, constr("F", ii), lam("v", I(), F(var("v", I())))));
}

TEST(FastMatchingDirect, TuplesWholePartialAndRepeated) {
    const Expr x = var("x", pairT()), a = var("a", I()), b = var("b", I());
    const Expr PP = constr("PP", fn(pairT(), pairT(), I()));
    compareOn(ap(PP, x, x), ap(PP, pair(num(1), num(2)), pair(num(1), num(2))));
    compareOn(ap(PP, x, x), ap(PP, pair(num(1), num(2)), pair(num(1), num(3))));
    compareOn(ap(PP, pair(a, b), x), ap(PP, pair(num(1), num(2)), pair(F(num(1)), num(3))));
    // A tuple against an application of a pattern variable: no match.
    const Expr g = var("g", fn(I(), pairT()));
    compareOn(ap(PP, ap(g, a), x), ap(PP, pair(num(1), num(2)), pair(num(1), num(3))));
    // A partial tuple is an application of the tuple constant.
    const Type ip = fn(I(), pairT());
    const Expr Q = constr("Q", fn(ip, I()));
    const Expr partial = ap(mkCon(mkTuple(2), fn(I(), I(), pairT())), num(1));
    compareOn(ap(Q, var("h", ip)), ap(Q, partial));
    compareOn(ap(Q, ap(mkCon(mkTuple(2), fn(I(), I(), pairT())), a)), ap(Q, partial));
    // A lambda with a tuple binder, bound and matched.
    const Expr T2 = lamPair("p", "q", plus(var("p", I()), var("q", I())));
    compareOn(T(var("f", fn(pairT(), I()))), T(T2));
    compareOn(T(lamPair("u", "v", var("k", I()))), T(T2));
    // A tuple typed otherwise than the conversion back types it.
    const Expr oddPair = ap(ap(mkCon(mkTuple(2), fn(I(), I(), pairOf(I(), Bo()))), num(1)), num(2));
    compareOn(var("y", pairOf(I(), Bo())), oddPair);
}

TEST(FastMatchingDirect, TypeVariables) {
    const Type va = mkTid("a"), vb = mkTid("b");
    const Expr K2 = constr("K2", fn(va, va, I()));
    // The first argument fixes a; the second is matched with a substituted.
    compareOn(ap(K2, var("x", va), var("y", va)), ap(mkCon(mkConstr("K2"), fn(I(), I(), I())), num(1), num(2)));
    compareOn(ap(K2, var("x", va), var("y", va)),
              ap(mkCon(mkConstr("K2"), fn(I(), Bo(), I())), num(1), mkCon(mkBoolean(true), Bo())));
    // Terms with type variables: bound to themselves, to another variable, and under a later binding.
    const Expr N = constr("N", va);
    compareOn(var("x", va), N);
    compareOn(var("x", vb), N);
    const Expr M = constr("M", fn(va, vb, I()));
    compareOn(ap(mkCon(mkConstr("M"), fn(vb, va, I())), var("x", vb), var("y", va)), ap(M, N, num(1)));
    compareOn(ap(mkCon(mkConstr("M"), fn(vb, vb, I())), var("x", vb), var("y", vb)), ap(M, N, N));
}

// Types a million arrows deep (an eighth of that under the sanitizers, still a few bytes of
// stack a level), compared on the ordinary stack: equal ones built apart, one that differs at
// the bottom, and a pattern type with a variable there.
TEST(FastMatchingDirect, DeepTypesCostNoStack) {
    Type same = I(), alike = I(), other = Bo(), open = mkTid("a");
    for (int i = 0; i < test::inputSize(1000000); ++i) {
        same = fn(Bo(), std::move(same));
        alike = fn(Bo(), std::move(alike));
        other = fn(Bo(), std::move(other));
        open = fn(Bo(), std::move(open));
    }
    const Expr k = constr("K", alike);
    EXPECT_EQ(toVector(fastSimpleMatchExpr(var("x", same), k)).size(), 1u);
    EXPECT_TRUE(toVector(fastSimpleMatchExpr(var("x", other), k)).empty());
    const std::vector<MatchResult> bound = toVector(fastSimpleMatchExpr(var("x", open), k));
    ASSERT_EQ(bound.size(), 1u);
    EXPECT_TRUE(eqType(bound[0].types("a"), I()));
}

TEST(FastMatchingDirect, ErrorsAndOddConstants) {
    // A free variable in the term, a let, a lambda binding a constant.
    compareOn(var("x", I()), plus(var("y", I()), num(1)));
    compareOn(num(1), plus(var("y", I()), num(1)));
    compareOn(var("x", I()), mkLet(mkDList(mkNoDef()), num(1), I()));
    compareOn(mkLet(mkDList(mkNoDef()), num(1), I()), num(1));
    compareOn(var("f", fn(I(), I())), mkLam(num(1), num(2), fn(I(), I())));
    compareOn(mkLam(num(1), num(2), fn(I(), I())), constr("F", fn(I(), I())));
    // Constants that the rigid-symbol test keys apart from their equality.
    const Expr nan = mkCon(mkFNumber(std::nanf("")), floatType());
    const Expr err = mkCon(mkError(), I());
    compareOn(nan, nan);
    compareOn(F(err), F(err));
    compareOn(mkCon(mkFNumber(-0.0f), floatType()), mkCon(mkFNumber(0.0f), floatType()));
}

}  // namespace
}  // namespace plim
