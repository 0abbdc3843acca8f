// Typed expressions built by hand for the reference matcher's tests, and the texts of
// results.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/matching/reference/matcher.h"
#include "engine/matching/reference/solver.h"
#include "engine/matching/reference/terms.h"
#include "engine/matching/reference/term_operations.h"
#include "frontend/printer/expressions.h"
#include "lang/constants.h"
#include "lang/expressions.h"
#include "support/errors.h"
#include "support/failure_text.h"

namespace plim::reftest {

inline const Type& I() { return intType(); }
inline Type fn(const Type& a, const Type& b) { return mkArrow(a, b); }
inline Expr v(const std::string& n, const Type& t = intType()) { return mkVar(n, t); }
// A constructor constant: terms are closed, their free symbols are constants.
inline Expr k(const std::string& n, const Type& t = intType()) { return mkCon(mkConstr(n), t); }
inline Expr num(std::int32_t n) { return mkCon(mkNumber(n), intType()); }
inline Expr ap(const Expr& f, const Expr& x) { return mkAp(f, x, resType(f.type())); }
inline Expr ap(const Expr& f, const Expr& x, const Expr& y) { return ap(ap(f, x), y); }
inline Expr lam(const std::string& n, const Type& t, const Expr& body) { return typedLam(n, t, body); }
inline Expr pair(const Expr& a, const Expr& b) { return ref::unconvert(ref::convertClosed(ref::mkTupleExpr({a, b}))); }
inline Expr plus(const Expr& a, const Expr& b) {
    return ap(mkCon(mkBinop(Op::Plus), fn(I(), fn(I(), I()))), a, b);
}

// "x := e\n" lines of each result, results separated by "|".
inline std::string texts(const MatchResults& rs, std::size_t limit = 100) {
    std::string out;
    std::size_t n = 0;
    for (List<MatchResult> at = rs; !at.empty() && n < limit; at = at.tail(), ++n) {
        if (n > 0) out += "|";
        std::string one;
        for (const auto& [name, e] : at.head().subst) {
            if (!one.empty()) one += ", ";
            one += name + "=" + showExpr(e);
        }
        out += one;
    }
    return out;
}

// Beta normal form as the beta wrapper computes it, with the reference matcher matching the
// lambda patterns (for checking results independently of the fast matcher).
inline Expr betaNormal(const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Lam: return mkLam(e.pattern(), betaNormal(e.body()), e.type());
    case ExprKind::Ap: {
        const Expr f = betaNormal(e.fun());
        const Expr x = betaNormal(e.arg());
        if (f.isLam()) {
            MatchResults rs = ref::simpleMatchWith(emptyMatch(), TermCtx{f.pattern(), {}}, TermCtx{x, freevars(x)});
            if (!rs.empty()) return betaNormal(applyMatch(rs.head(), f.body()));
        }
        return mkAp(f, x, e.type());
    }
    default: return e;
    }
}

// The meaning of a match: the substituted pattern, beta-reduced and eta-contracted, equals
// the eta-contracted term.
inline bool resultHolds(const Expr& p, const Expr& t, const MatchResult& r) {
    return exprEq({}, {}, etared(betaNormal(applyMatch(r, p))), etared(t));
}

}  // namespace plim::reftest
