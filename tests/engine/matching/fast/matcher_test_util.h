// Test helpers for the fast matcher: small typed builders and the check every match result
// must pass (substitute into the pattern, beta-reduce, eta-contract, compare with the term).
// The substitution and beta reduction here are a small test-only normaliser: capture is
// avoided by renaming every binder met while substituting, and only redexes whose lambda
// binds a variable or a tuple of variables against a tuple are reduced.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/matching/fast/matcher.h"
#include "lang/expressions.h"
#include "lang/syntax.h"
#include "lang/types.h"

namespace plim::fasttest {

class Normaliser {
public:
    // The pattern with the result's bindings and type substitution applied, beta-reduced.
    Expr instantiate(const MatchResult& r, const Expr& p) {
        std::map<std::string, Expr> s;
        for (const auto& [n, e] : r.subst)
            if (!s.count(n)) s.emplace(n, e);
        return normalise(substitute(withTypes(r.types, p), s));
    }

    Expr normalise(const Expr& e) {
        switch (e.kind()) {
        case ExprKind::Ap: {
            const Expr f = normalise(e.fun());
            const Expr a = normalise(e.arg());
            if (f.isLam()) {
                std::map<std::string, Expr> s;
                if (bindPattern(f.pattern(), a, s)) return normalise(substitute(f.body(), s));
            }
            return mkAp(f, a, e.type());
        }
        case ExprKind::Lam: return mkLam(e.pattern(), normalise(e.body()), e.type());
        default: return e;
        }
    }

private:
    int counter_ = 0;

    static Expr withTypes(const TypeSubst& ts, const Expr& e) {
        if (ts.isIdentity()) return e;
        const Type t = substType(ts, e.type());
        switch (e.kind()) {
        case ExprKind::Var: return mkVar(e.name(), t);
        case ExprKind::Con: return mkCon(e.constant(), t);
        case ExprKind::Ap: return mkAp(withTypes(ts, e.fun()), withTypes(ts, e.arg()), t);
        case ExprKind::Lam: return mkLam(withTypes(ts, e.pattern()), withTypes(ts, e.body()), t);
        case ExprKind::Let: return e;
        }
        return e;
    }

    static bool bindPattern(const Expr& pat, const Expr& a, std::map<std::string, Expr>& s) {
        if (pat.isVar()) {
            s.insert_or_assign(pat.name(), a);
            return true;
        }
        auto ps = fast::saturatedTupleArgs(pat);
        auto as = fast::saturatedTupleArgs(a);
        if (!ps || !as || ps->size() != as->size()) return false;
        for (std::size_t i = 0; i < ps->size(); ++i)
            if (!bindPattern((*ps)[i], (*as)[i], s)) return false;
        return true;
    }

    // The pattern with every variable renamed afresh, the renaming added to s.
    Expr renamePattern(const Expr& pat, std::map<std::string, Expr>& s) {
        switch (pat.kind()) {
        case ExprKind::Var: {
            const Expr v = mkVar(pat.name() + "'" + std::to_string(++counter_), pat.type());
            s.insert_or_assign(pat.name(), v);
            return v;
        }
        case ExprKind::Ap: return mkAp(renamePattern(pat.fun(), s), renamePattern(pat.arg(), s), pat.type());
        default: return pat;
        }
    }

    Expr substitute(const Expr& e, const std::map<std::string, Expr>& s) {
        switch (e.kind()) {
        case ExprKind::Var: {
            auto it = s.find(e.name());
            return it == s.end() ? e : it->second;
        }
        case ExprKind::Ap: return mkAp(substitute(e.fun(), s), substitute(e.arg(), s), e.type());
        case ExprKind::Lam: {
            std::map<std::string, Expr> inner = s;
            const Expr pat = renamePattern(e.pattern(), inner);
            return mkLam(pat, substitute(e.body(), inner), e.type());
        }
        default: return e;
        }
    }
};

// True when the result passes the check against the pattern and the term.
inline bool passesCheck(const MatchResult& r, const Expr& p, const Expr& t) {
    Normaliser n;
    return exprEq({}, {}, etared(n.instantiate(r, p)), etared(t));
}

}  // namespace plim::fasttest
