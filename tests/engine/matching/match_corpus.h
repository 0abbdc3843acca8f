// A deterministic corpus of well-typed pattern/term pairs for cross-checking and timing the
// matchers: first-order patterns, repeated pattern variables, higher-order pattern variables
// (also applied to bound variables), lambdas, tuples and tuple binders, lists, conditionals,
// constants and type-variable patterns, against closed terms (and a few terms in a context).
//
// Header-only; include from tests as "engine/matching/match_corpus.h" and from bench/ by relative path.
// Every call builds the same list in the same order.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lang/constants.h"
#include "lang/expressions.h"
#include "lang/syntax.h"
#include "lang/types.h"

namespace plim::corpus {

struct MatchCase {
    std::string label;
    Expr pattern;
    Expr term;
    std::vector<TypedVar> termContext;  // variables bound around the term (usually none)
};

namespace detail {

inline Type I() { return intType(); }
inline Type Bo() { return boolType(); }
inline Type fn(Type a, Type b) { return mkArrow(std::move(a), std::move(b)); }
inline Type fn(Type a, Type b, Type c) { return fn(std::move(a), fn(std::move(b), std::move(c))); }
inline Type pairT() { return mkTupleType({intType(), intType()}); }
inline Type listT() { return mkListType(intType()); }

inline Expr var(const std::string& n, Type t) { return mkVar(n, std::move(t)); }
inline Expr num(std::int32_t k) { return mkCon(mkNumber(k), intType()); }
inline Expr constr(const std::string& n, Type t) { return mkCon(mkConstr(n), std::move(t)); }
inline Expr ap(const Expr& f, const Expr& x) { return mkAp(f, x, resType(f.type())); }
inline Expr ap(const Expr& f, const Expr& x, const Expr& y) { return ap(ap(f, x), y); }
inline Expr binop(Op op, Type t) { return mkCon(mkBinop(op), std::move(t)); }
inline Expr plus(const Expr& a, const Expr& b) { return ap(binop(Op::Plus, fn(I(), I(), I())), a, b); }
inline Expr times(const Expr& a, const Expr& b) { return ap(binop(Op::Tim, fn(I(), I(), I())), a, b); }
inline Expr eq(const Expr& a, const Expr& b) { return ap(binop(Op::Eq, fn(I(), I(), Bo())), a, b); }
inline Expr cons(const Expr& a, const Expr& b) { return ap(binop(Op::Cons, fn(I(), listT(), listT())), a, b); }
inline Expr nul() { return mkCon(mkNul(), listT()); }
inline Expr ifte(const Expr& c, const Expr& a, const Expr& b) {
    return ap(ap(mkCon(mkIf(), fn(Bo(), fn(I(), I(), I()))), c), a, b);
}
inline Expr pair(const Expr& a, const Expr& b) {
    const Type t = mkTupleType({a.type(), b.type()});
    return ap(mkCon(mkTuple(2), fn(a.type(), b.type(), t)), a, b);
}
inline Expr lam(const std::string& v, Type a, const Expr& body) { return typedLam(v, a, body); }
inline Expr lamPair(const std::string& p, const std::string& q, const Expr& body) {
    const Expr pat = pair(var(p, I()), var(q, I()));
    return mkLam(pat, body, fn(pairT(), body.type()));
}

// Constants of the terms: F : Int -> Int, G : Int -> Int -> Int, H : (Int -> Int) -> Int -> Int,
// FST : (Int, Int) -> Int, SUM : [Int] -> Int, T : ((Int, Int) -> Int) -> Int.
inline Expr F(const Expr& a) { return ap(constr("F", fn(I(), I())), a); }
inline Expr G(const Expr& a, const Expr& b) { return ap(constr("G", fn(I(), I(), I())), a, b); }
inline Expr H(const Expr& f, const Expr& a) { return ap(constr("H", fn(fn(I(), I()), I(), I())), f, a); }
inline Expr FST(const Expr& p) { return ap(constr("FST", fn(pairT(), I())), p); }
inline Expr SUM(const Expr& l) { return ap(constr("SUM", fn(listT(), I())), l); }
inline Expr T(const Expr& f) { return ap(constr("T", fn(fn(pairT(), I()), I())), f); }

// A small deterministic generator of closed Int terms.
struct Rng {
    std::uint32_t state;
    std::uint32_t next(std::uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % bound;
    }
};

inline Expr genInt(Rng& r, int depth, const std::vector<std::string>& locals) {
    if (depth <= 0 || r.next(4) == 0) {
        if (!locals.empty() && r.next(2) == 0) return var(locals[r.next(locals.size())], I());
        return num(static_cast<std::int32_t>(r.next(3)));
    }
    switch (r.next(7)) {
    case 0: return plus(genInt(r, depth - 1, locals), genInt(r, depth - 1, locals));
    case 1: return times(genInt(r, depth - 1, locals), genInt(r, depth - 1, locals));
    case 2: return F(genInt(r, depth - 1, locals));
    case 3: return G(genInt(r, depth - 1, locals), genInt(r, depth - 1, locals));
    case 4: {
        const std::string z = "z" + std::to_string(locals.size());
        std::vector<std::string> inner = locals;
        inner.push_back(z);
        return H(lam(z, I(), genInt(r, depth - 1, inner)), genInt(r, depth - 1, locals));
    }
    case 5: return FST(pair(genInt(r, depth - 1, locals), genInt(r, depth - 1, locals)));
    default: return SUM(cons(genInt(r, depth - 1, locals), cons(genInt(r, depth - 1, locals), nul())));
    }
}

inline std::vector<std::pair<std::string, Expr>> intTerms() {
    std::vector<std::pair<std::string, Expr>> ts = {
        {"1+2", plus(num(1), num(2))},
        {"3+3", plus(num(3), num(3))},
        {"F 2", F(num(2))},
        {"G (F 1) 2", G(F(num(1)), num(2))},
        {"(1+2)+(1+2)", plus(plus(num(1), num(2)), plus(num(1), num(2)))},
        {"H (\\z->z+1) 3", H(lam("z", I(), plus(var("z", I()), num(1))), num(3))},
        {"H (\\z->G z 2) (F 0)", H(lam("z", I(), G(var("z", I()), num(2))), F(num(0)))},
        {"FST (1,2)", FST(pair(num(1), num(2)))},
        {"SUM [1,2]", SUM(cons(num(1), cons(num(2), nul())))},
        {"if 1==2 then 3 else F 3", ifte(eq(num(1), num(2)), num(3), F(num(3)))},
        {"G (1+1) (F (1+1))", G(plus(num(1), num(1)), F(plus(num(1), num(1))))},
        {"T (\\(p,q)->p+q)", T(lamPair("p", "q", plus(var("p", I()), var("q", I()))))},
        {"H F (F 1)", H(constr("F", fn(I(), I())), F(num(1)))},
        {"F (F (F 1))", F(F(F(num(1))))},
    };
    Rng r{12345u};
    for (int i = 0; i < 10; ++i) ts.push_back({"random " + std::to_string(i), genInt(r, 3, {})});
    return ts;
}

inline std::vector<std::pair<std::string, Expr>> intPatterns() {
    const Type ii = fn(I(), I());
    const Expr x = var("x", I()), y = var("y", I()), k = var("k", I()), a = var("a", I()), b = var("b", I());
    const Expr f = var("f", ii), g = var("g", ii), f2 = var("f", fn(I(), I(), I()));
    const Expr z = var("z", I());
    const Expr xs = var("xs", listT()), pv = var("pp", pairT()), c = var("c", Bo());
    const Expr fp = var("f", fn(pairT(), I()));
    return {
        {"x", x},
        {"x (type variable)", var("x", mkTid("a"))},
        {"x+y", plus(x, y)},
        {"x+x", plus(x, x)},
        {"F x", F(x)},
        {"G x y", G(x, y)},
        {"G x x", G(x, x)},
        {"f x", ap(f, x)},
        {"f 1", ap(f, num(1))},
        {"f (x+1)", ap(f, plus(x, num(1)))},
        {"f (F 1)", ap(f, F(num(1)))},
        {"f x y", ap(f2, x, y)},
        {"g (F x)", ap(g, F(x))},
        {"H (\\z->f z) a", H(lam("z", I(), ap(f, z)), a)},
        {"H (\\z->z+k) a", H(lam("z", I(), plus(z, k)), a)},
        {"H (\\z->G z k) a", H(lam("z", I(), G(z, k)), a)},
        {"H (\\z->f (F z)) a", H(lam("z", I(), ap(f, F(z))), a)},
        {"H f a", H(f, a)},
        {"FST (a,b)", FST(pair(a, b))},
        {"FST pp", FST(pv)},
        {"f (a,b)", ap(fp, pair(a, b))},
        {"SUM (x:xs)", SUM(cons(x, xs))},
        {"SUM xs", SUM(xs)},
        {"if c then a else b", ifte(c, a, b)},
        {"T (\\(p,q)->f2 p q)", T(lamPair("p", "q", ap(f2, var("p", I()), var("q", I()))))},
        {"f (1+2)", ap(f, plus(num(1), num(2)))},
        {"F (f 1)", F(ap(f, num(1)))},
    };
}

}  // namespace detail

// The corpus: every Int pattern against every Int term, then patterns and terms of function
// type, then terms in a context of bound variables.
inline std::vector<MatchCase> matchCorpus() {
    using namespace detail;
    std::vector<MatchCase> out;
    const auto terms = intTerms();
    for (const auto& [pl, p] : intPatterns())
        for (const auto& [tl, t] : terms) out.push_back({pl + " ~ " + tl, p, t, {}});

    const Type ii = fn(I(), I());
    const Expr k = var("k", I()), f = var("f", ii), z = var("z", I());
    const std::vector<std::pair<std::string, Expr>> fnPatterns = {
        {"f", f},
        {"\\z->z+k", lam("z", I(), plus(z, k))},
        {"\\z->f z", lam("z", I(), ap(f, z))},
        {"\\z->f (F z)", lam("z", I(), ap(f, F(z)))},
        {"G k", ap(constr("G", fn(I(), I(), I())), k)},
    };
    const std::vector<std::pair<std::string, Expr>> fnTerms = {
        {"F", constr("F", ii)},
        {"\\w->w+1", lam("w", I(), plus(var("w", I()), num(1)))},
        {"G 1", ap(constr("G", fn(I(), I(), I())), num(1))},
        {"\\w->F (F w)", lam("w", I(), F(F(var("w", I()))))},
        {"\\w->G w w", lam("w", I(), G(var("w", I()), var("w", I())))},
    };
    for (const auto& [pl, p] : fnPatterns)
        for (const auto& [tl, t] : fnTerms) out.push_back({pl + " ~ " + tl, p, t, {}});

    const Expr u = var("u", I()), x = var("x", I());
    const std::vector<TypedVar> ctx = {{"u", I()}, {"v", I()}};
    const std::vector<std::pair<std::string, Expr>> ctxTerms = {
        {"u+1", plus(u, num(1))},
        {"G u (F u)", G(u, F(u))},
        {"H (\\z->z+u) v", H(lam("z", I(), plus(z, u)), var("v", I()))},
    };
    const std::vector<std::pair<std::string, Expr>> ctxPatterns = {
        {"x", x},
        {"x+1", plus(x, num(1))},
        {"f x", ap(f, x)},
        {"H (\\z->f z) k", H(lam("z", I(), ap(f, z)), k)},
    };
    for (const auto& [pl, p] : ctxPatterns)
        for (const auto& [tl, t] : ctxTerms) out.push_back({pl + " ~ [u,v] " + tl, p, t, ctx});
    return out;
}

}  // namespace plim::corpus
