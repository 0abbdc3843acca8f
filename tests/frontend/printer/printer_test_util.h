// Small builders of untyped-looking syntax for the printer's tests: every node carries the
// placeholder type, which the printer never shows.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "lang/constants.h"
#include "lang/syntax.h"
#include "lang/types.h"

namespace plim::pptest {

inline Expr var(const std::string& n) { return mkVar(n, placeholderType()); }
inline Expr con(Constant c) { return mkCon(std::move(c), placeholderType()); }
inline Expr ap(Expr f, Expr x) { return mkAp(std::move(f), std::move(x), placeholderType()); }
inline Expr call(Expr f, const std::vector<Expr>& args) {
    for (const Expr& a : args) f = ap(f, a);
    return f;
}
inline Expr lam(Expr pattern, Expr body) { return mkLam(std::move(pattern), std::move(body), placeholderType()); }
inline Expr num(std::int32_t n) { return con(mkNumber(n)); }
inline Expr fnum(float x) { return con(mkFNumber(x)); }
inline Expr binop(Op op, Expr a, Expr b) { return call(con(mkBinop(op)), {std::move(a), std::move(b)}); }
inline Expr tuple(const std::vector<Expr>& items) {
    return call(con(mkTuple(static_cast<std::int32_t>(items.size()))), items);
}
inline Expr nil() { return con(mkNul()); }
inline Expr cons(Expr x, Expr xs) { return binop(Op::Cons, std::move(x), std::move(xs)); }
inline Decl fun(Expr lhs, Expr rhs) { return mkFun(std::move(lhs), std::move(rhs)); }
inline DList dlist(const std::vector<Decl>& decls) {
    Defs defs = mkNoDef();
    for (auto it = decls.rbegin(); it != decls.rend(); ++it) defs = mkOneDef(*it, defs, 0);
    return mkDList(defs);
}
inline Expr let(const std::vector<Decl>& decls, Expr body) {
    return mkLet(dlist(decls), std::move(body), placeholderType());
}

inline Type tid(const std::string& n) { return mkTid(n); }
inline Type tcon(const std::string& n, std::vector<Type> args = {}) { return mkTCon(n, std::move(args)); }
inline Type arrow(Type a, Type r) { return mkArrow(std::move(a), std::move(r)); }
inline Type listOf(Type t) { return mkListType(std::move(t)); }

}  // namespace plim::pptest
