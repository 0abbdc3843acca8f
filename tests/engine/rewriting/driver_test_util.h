// Builders of typed expressions and rules, and a small first-order matcher with scripted
// behaviour, for the tests of the rewriting modules.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/matcher.h"
#include "engine/matching/substitutions.h"
#include "frontend/printer/theories.h"
#include "lang/constants.h"
#include "lang/expressions.h"
#include "support/errors.h"
#include "../../support/failure_text.h"  // also read by benchmarks, from outside the tests

namespace plim::rewrite_test {

inline Type nat() { return mkTCon("Nat"); }
inline Type fn(Type x, Type y) { return mkArrow(std::move(x), std::move(y)); }
inline Expr var(const std::string& n, const Type& t = nat()) { return mkVar(n, t); }
inline Expr con(const std::string& n, const Type& t) { return mkCon(mkConstr(n), t); }
inline Expr num(std::int32_t n) { return mkCon(mkNumber(n), intType()); }
inline Expr ap(const Expr& f, const Expr& x) { return typedAp(f, x); }
inline Expr ap(const Expr& f, const Expr& x, const Expr& y) { return typedAp(typedAp(f, x), y); }
inline Expr lam(const Expr& p, const Expr& body) { return mkLam(p, body, fn(p.type(), body.type())); }

// Peano numerals and the program functions add and mul (constants, as the checker makes them).
inline Expr zero() { return con("Z", nat()); }
inline Expr succ(const Expr& x) { return ap(con("S", fn(nat(), nat())), x); }
inline Expr peano(int n) {
    Expr e = zero();
    for (int i = 0; i < n; ++i) e = succ(e);
    return e;
}
inline Expr add(const Expr& x, const Expr& y) { return ap(con("add", fn(nat(), fn(nat(), nat()))), x, y); }
inline Expr mul(const Expr& x, const Expr& y) { return ap(con("mul", fn(nat(), fn(nat(), nat()))), x, y); }
inline Expr plus(const Expr& x, const Expr& y) {
    return ap(mkCon(mkBinop(Op::Plus), fn(intType(), fn(intType(), intType()))), x, y);
}

inline Rule rule(std::string label, Expr lhs, Expr rhs, std::vector<std::pair<Expr, Expr>> conds = {}) {
    return Rule{std::move(label), std::move(conds), {std::move(lhs), std::move(rhs)}};
}

// add Z y = y; add (S x) y = S (add x y); mul Z y = Z; mul (S x) y = add y (mul x y).
inline std::vector<Rule> peanoTheory() {
    const Expr x = var("x"), y = var("y");
    return {rule("addZ", add(zero(), y), y), rule("addS", add(succ(x), y), succ(add(x, y))),
            rule("mulZ", mul(zero(), y), zero()), rule("mulS", mul(succ(x), y), add(y, mul(x, y)))};
}

// Lists of numerals (Nil and Cons) and the program functions app and rev.
inline Type natList() { return mkTCon("L"); }
inline Expr lnil() { return con("Nil", natList()); }
inline Expr lcons(const Expr& x, const Expr& xs) { return ap(con("Cons", fn(nat(), fn(natList(), natList()))), x, xs); }
inline Expr lapp(const Expr& xs, const Expr& ys) {
    return ap(con("app", fn(natList(), fn(natList(), natList()))), xs, ys);
}
inline Expr lrev(const Expr& xs) { return ap(con("rev", fn(natList(), natList())), xs); }

// Naive reverse: rev Nil = Nil; rev (Cons x xs) = app (rev xs) (Cons x Nil); app Nil ys = ys;
// app (Cons x xs) ys = Cons x (app xs ys).
inline std::vector<Rule> reverseRules() {
    const Expr x = var("x"), xs = var("xs", natList()), ys = var("ys", natList());
    return {rule("revN", lrev(lnil()), lnil()), rule("revC", lrev(lcons(x, xs)), lapp(lrev(xs), lcons(x, lnil()))),
            rule("appN", lapp(lnil(), ys), ys), rule("appC", lapp(lcons(x, xs), ys), lcons(x, lapp(xs, ys)))};
}

// First-order matching: a pattern variable (a free variable of the pattern not bound around
// it) binds a whole subterm, consistently; everything else must agree node by node.
inline bool matchInto(const Expr& p, const Expr& t, const std::vector<TypedVar>& bound, Substitution& s) {
    switch (p.kind()) {
    case ExprKind::Var: {
        for (const TypedVar& b : bound)
            if (b.first == p.name()) return t.isVar() && t.name() == p.name();
        for (const Binding& b : s)
            if (b.first == p.name()) return exprEq({}, {}, b.second, t);
        s.emplace_back(p.name(), t);
        return true;
    }
    case ExprKind::Con: return t.isCon() && t.constant() == p.constant();
    case ExprKind::Ap: return t.isAp() && matchInto(p.fun(), t.fun(), bound, s) && matchInto(p.arg(), t.arg(), bound, s);
    default: return false;
    }
}

inline MatchResults firstOrder(const Expr& p, const Expr& t, const std::vector<TypedVar>& bound, Substitution s) {
    if (!matchInto(p, t, bound, s)) return {};
    return MatchResults::cons(MatchResult{s, identitySubst()}, {});
}

inline bool constantsIncluded(const Expr& p, const Expr& t) {
    const std::vector<Constant> have = cons(t);
    for (const Constant& c : cons(p)) {
        bool found = false;
        for (const Constant& h : have) found = found || h == c;
        if (!found) return false;
    }
    return true;
}

// Counts what the driver asks of it.
struct Calls {
    int applicable = 0;
    int oneStep = 0;
    int twoStep = 0;
};

inline MatcherRef firstOrderMatcher(std::shared_ptr<Calls> calls = std::make_shared<Calls>()) {
    Matcher m;
    m.matchSimple = [](const Expr& p, const Expr& t) { return firstOrder(p, t, {}, {}); };
    m.matchSimpleWith = [](const MatchResult& b, const TermCtx& p, const TermCtx& t) {
        return firstOrder(p.expr, t.expr, t.bound.vars(), b.subst);
    };
    m.matchOneStep = [calls](const Expr& p, const TermCtx& t, const NameSupply& s) {
        ++calls->oneStep;
        return MatchRun{firstOrder(p, t.expr, t.bound.vars(), {}), s};
    };
    m.matchOneStepWith = [](const MatchResult& b, const TermCtx& p, const TermCtx& t, const NameSupply& s) {
        return MatchRun{firstOrder(p.expr, t.expr, t.bound.vars(), b.subst), s};
    };
    m.matchTwoStep = m.matchOneStep;
    m.matchTwoStepWith = [calls](const MatchResult& b, const TermCtx& p, const TermCtx& t, const NameSupply& s) {
        ++calls->twoStep;
        return MatchRun{firstOrder(p.expr, t.expr, t.bound.vars(), b.subst), s};
    };
    m.applicable = [calls](const Expr& p, const TermCtx& t) {
        ++calls->applicable;
        return constantsIncluded(p, t.expr);
    };
    return std::make_shared<const Matcher>(std::move(m));
}

}  // namespace plim::rewrite_test
