// The first-order walk read from an expression gives what the one-step match on the converted
// term gives, wherever it gives an answer: the same bindings in the same order, node for node,
// and the same type substitution.
#include <gtest/gtest.h>

#include "engine/matching/fast/matcher.h"
#include "engine/matching/fast/solver.h"
#include "engine/matching/match_corpus.h"
#include "frontend/printer/expressions.h"

namespace plim {
namespace {

using namespace corpus::detail;

// What the walk asks of the term: applications and constants only, every type known and
// without type variables, every saturated tuple typed as the conversion builds one.
bool readsAsTerm(const Expr& e) {
    std::vector<const Expr*> todo{&e};
    while (!todo.empty()) {
        const Expr& x = *todo.back();
        todo.pop_back();
        if (x.isVar() || x.isLam() || x.isLet() || !x.typeIsEvaluated() || x.type().hasTypeVars()) return false;
        if (x.isAp()) {
            if (fast::saturatedTupleArgs(x) && !fast::tupleTypedAsBuilt(x)) return false;
            todo.push_back(&x.fun());
            todo.push_back(&x.arg());
        }
    }
    return true;
}

Type L(Type t) { return mkListType(std::move(t)); }
// C : a -> [a] -> [a] at the element type a.
Expr C(const Expr& x, const Expr& xs, const Type& a) { return ap(constr("C", fn(a, L(a), L(a))), x, xs); }
Expr nil(const Type& a) { return mkCon(mkNul(), L(a)); }

std::vector<MatchResult> viaTerms(const Expr& p, const Expr& t) {
    return toVector(fastConvertRun(fastEngine(fastOneStepStep, fast::identitySubst(), fast::convertPrime({}, p), {},
                                              fast::convertPrime({}, t), {}, initialNameSupply()))
                        .results);
}

// The walk's answer, compared with the terms' where it gives one; whether it gave one.
bool compareOn(const Expr& p, const Expr& t) {
    SCOPED_TRACE(showExpr(p) + " ~ " + showExpr(t));
    const std::optional<std::optional<MatchResult>> direct =
        fast::matchFirstOrderExpr(fastOneStepStep, fast::convertPrime({}, p), t);
    if (!direct) return false;
    const std::vector<MatchResult> terms = viaTerms(p, t);
    EXPECT_EQ(terms.size(), direct->has_value() ? 1u : 0u);
    if (terms.size() != 1 || !*direct) return true;
    const MatchResult& a = **direct;
    const MatchResult& b = terms.front();
    EXPECT_EQ(showSubst(a.subst), showSubst(b.subst));
    EXPECT_EQ(a.subst.size(), b.subst.size());
    for (std::size_t k = 0; k < a.subst.size() && k < b.subst.size(); ++k) {
        EXPECT_EQ(a.subst[k].first, b.subst[k].first);
        EXPECT_TRUE(a.subst[k].second.sameNode(b.subst[k].second)) << showExpr(a.subst[k].second);
    }
    const auto& x = a.types.bindings();
    const auto& y = b.types.bindings();
    EXPECT_EQ(x.size(), y.size());
    for (auto i = x.begin(), j = y.begin(); i != x.end() && j != y.end(); ++i, ++j) {
        EXPECT_EQ(i->first, j->first);
        EXPECT_TRUE(eqType(i->second, j->second));
    }
    return true;
}

TEST(FastFirstOrderOnExpressions, SameAsTheOneStepMatchOfTheTerms) {
    std::size_t answered = 0, matched = 0;
    for (const corpus::MatchCase& c : corpus::matchCorpus()) {
        if (!c.termContext.empty() || !readsAsTerm(c.term)) continue;
        if (compareOn(c.pattern, c.term)) ++answered;
        if (!viaTerms(c.pattern, c.term).empty()) ++matched;
    }
    EXPECT_GT(answered, 50u);
    EXPECT_GT(matched, 20u);
}

TEST(FastFirstOrderOnExpressions, TuplesAndPolymorphicPatterns) {
    const Expr a = var("a", I()), b = var("b", I()), x = var("x", pairT());
    const Expr PP = constr("PP", fn(pairT(), pairT(), I()));
    // Whole tuples against tuples and against a pattern variable; a tuple against an
    // application of the same constant, one element short.
    EXPECT_TRUE(compareOn(ap(PP, pair(a, b), x), ap(PP, pair(num(1), num(2)), pair(F(num(1)), num(3)))));
    EXPECT_TRUE(compareOn(ap(PP, pair(a, b), x), ap(PP, pair(num(1), num(2)), pair(num(1), num(3)))));
    const Expr partial = ap(mkCon(mkTuple(2), fn(I(), I(), pairT())), num(1));
    const Expr Q = constr("Q", fn(fn(I(), pairT()), I()));
    EXPECT_TRUE(compareOn(ap(Q, ap(mkCon(mkTuple(2), fn(I(), I(), pairT())), a)), ap(Q, partial)));
    // A pattern typed with a type variable: the type substitution it finds.
    const Type t = mkTid("t");
    const Expr K = constr("K", fn(t, t, I()));
    const Expr Ki = constr("K", fn(I(), I(), I()));
    EXPECT_TRUE(compareOn(ap(K, var("u", t), var("v", t)), ap(Ki, num(4), F(num(5)))));
    // A variable twice is left to the worklist.
    EXPECT_FALSE(compareOn(ap(K, var("u", t), var("u", t)), ap(Ki, num(4), num(4))));
}

TEST(FastFirstOrderOnExpressions, DecidesOrLeavesToTheWorklist) {
    const Type a = mkTid("a");
    const Expr x = var("x", a);
    const Expr xs = var("xs", L(a));
    const Expr list12 = C(num(1), C(num(2), nil(I()), I()), I());
    const Expr pairOfA = ap(constr("P", fn(a, a, I())), x, var("y", a));
    const Expr intAndBool = ap(constr("P", fn(I(), Bo(), I())), num(1), mkCon(mkBoolean(true), Bo()));
    // Decided by the walk.
    EXPECT_TRUE(compareOn(C(x, xs, a), list12));
    EXPECT_TRUE(compareOn(C(x, xs, a), nil(I())));
    EXPECT_TRUE(compareOn(C(x, C(num(2), xs, a), a), list12));
    EXPECT_TRUE(compareOn(C(x, C(num(3), xs, a), a), list12));
    EXPECT_TRUE(compareOn(G(var("x", I()), F(var("y", I()))), G(num(1), F(num(2)))));
    EXPECT_TRUE(compareOn(pairOfA, intAndBool));  // one constructor name, types that clash
    // Left to the worklist: a flexible head, a lambda in the pattern.
    EXPECT_FALSE(compareOn(ap(var("f", fn(I(), I())), var("z", I())), F(num(2))));
    EXPECT_FALSE(compareOn(lam("z", I(), F(var("z", I()))), constr("F", fn(I(), I()))));
}

}  // namespace
}  // namespace plim
