// Operations on typed expressions.
//
// Basics: typed builders, the type of a node, the constants, names and type variables of an
// expression, a name supply made fresh for a term, let elimination and equality up to the
// renaming of bound variables.
//
// Normalisation: eta contraction, renaming of bound variables against fresh supplies, eta
// expansion to full arity and the display of beta-redexes as lets.
//
// Most operations accept only let-free expressions; callers apply `unlet` first.  Where an
// operation meets a case it does not handle it raises the coded pattern-match failure of its
// module, line and function.  Results that are lists keep the order described with each
// operation: first occurrence from left to right, function before argument, pattern before
// body.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lang/bound_vars.h"
#include "lang/names.h"
#include "lang/syntax.h"
#include "lang/types.h"

namespace plim {

// Equal names (compared first) and equal types.
bool eqTypedVar(const TypedVar& a, const TypedVar& b);

// An expression with the typed variables bound around it, newest binder's variables first.
struct TermCtx {
    Expr expr;
    BoundVars bound;
};

// The context of a whole term: (e, []).
TermCtx atTop(const Expr& e);

// --- typed builders -------------------------------------------------------------------------

// Ap f x r, r the result part of f's type, worked out when first read: a type of f that is
// not a two-argument "Arrow" raises "cannot take result type of non-function" then.
Expr typedAp(const Expr& f, const Expr& x);
// Var name type.
Expr typedVar(const TypedVar& v);
// Lam (Var name a) b (TCon "Arrow" [a, type of b]).
Expr typedLam(const std::string& name, const Type& a, const Expr& body);
// The node's type, its last field.
const Type& exprType(const Expr& e);
// An application (a lambda) with new children and the type of `like`, held as `like` holds
// it: a known type as it is, one still to be computed unread.
inline Expr mkApAs(const Expr& like, Expr fun, Expr arg) { return mkPairAs(like, std::move(fun), std::move(arg)); }
inline Expr mkLamAs(const Expr& like, Expr pattern, Expr body) {
    return mkPairAs(like, std::move(pattern), std::move(body));
}

// --- walks ----------------------------------------------------------------------------------

// The constants of e from left to right, duplicates kept, in front of acc.
// A let raises "Expressions:98|function cons".
std::vector<Constant> cons(const Expr& e, std::vector<Constant> acc = {});
// The free typed variables, each once, in order of first occurrence.  A body variable with the
// name of a pattern variable but another type stays free.
std::vector<TypedVar> freevars(const Expr& e);
// The free names, each once, in order of first occurrence.
std::vector<std::string> freeNames(const Expr& e);
// Every variable name, bound or free, each once, in order of first occurrence.
std::vector<std::string> allNames(const Expr& e);
// The type variables of e's annotations (children before a node's own type, one entry per
// occurrence) in front of acc.
std::vector<std::string> addTyvars(const Expr& e, std::vector<std::string> acc);
// The distinct type variables of e's annotations.
std::vector<std::string> tyvars(const Expr& e);

// The function that removes from a supply the names of ctx and of e (from the first list) and
// the type variables of ctx's types and of e (from the second).  Both lists keep their order.
std::function<NameSupply(const NameSupply&)> freshFor(const Expr& e, const std::vector<TypedVar>& ctx);

// --- let elimination and equality -------------------------------------------------------------

// The expression without Let nodes: each definition lhs = rhs becomes an applied lambda
// (\lhs -> body) rhs, the first definition outermost, every generated application typed with
// the let's type.  A type signature or data declaration in a let (or where) raises the user
// error localDeclarationText: the rewriting engine has no form for it; so does a let inside
// a lambda pattern (letInPatternText).
Expr unlet(const Expr& e);
inline constexpr std::string_view localDeclarationText =
    "a let or where block with a type signature or data declaration cannot be rewritten";
// A lambda pattern that holds a let raises the user error letInPatternText.
inline constexpr std::string_view letInPatternText = "can't handle non-variable/tuple lambda bindings";
// Every let in e holds definitions only and no lambda pattern holds one, so that unlet
// succeeds.
bool unletApplies(const Expr& e);
// e holds a let anywhere, lambda patterns included.
bool holdsLet(const Expr& e);
// e holds a constant outside lets, lambda patterns included.
bool holdsConstant(const Expr& e);

// Equality of e1 (under the bound names env1, innermost first) and e2 (under env2): the same
// tree up to the renaming of bound variables, with equal types everywhere.  A let on either
// side is never equal.  Callers pass two empty environments.
bool exprEq(const std::vector<std::string>& env1, const std::vector<std::string>& env2, const Expr& e1,
            const Expr& e2);
// What exprEq reads when it meets a node on both sides under the same binders: every type in x,
// in pre-order (function before argument, pattern before body).  False when x holds a let, as
// the comparison then is.  `stack`: the walk's work space, left empty.
bool readsAsItself(const Expr& x, std::vector<const Expr*>& stack);

// --- normalisation --------------------------------------------------------------------------

// Eta contraction: \p -> f p becomes f when p's names are not free in f; from the inside out.
// A let is left alone.
Expr etared(const Expr& e);
// The contracted function of the application ap, given its contraction fRed and its contracted
// argument aRed: fRed, except for a lambda with a tuple pattern that the argument does not fit.
// Beta reduction never contracts such a redex, and contracting its lambda would turn it into
// an application that reduces: (\ (x, y) -> g (x, y)) z is no g z.  Its lambda is kept, with
// its body contracted.
Expr keepStuckHead(const Expr& ap, const Expr& fRed, const Expr& aRed);
// Its test of one lambda \p -> f x, with ap the application f x (the body, or what the body
// contracted to) and f' and x' the contracted f and x: f' when x is the pattern itself and no
// name of the pattern is free in f (contraction keeps the free names, so f' is asked), else the
// lambda rebuilt around f' x', f' through keepStuckHead (the lambda itself when nothing changed).
Expr etaTest(const Expr& lam, const Expr& ap, const Expr& fRed, const Expr& xRed);
// etared of one node, for walks that have contracted its children already: `reduced(child, i)`
// gives the contraction of the node's i-th child among an application's function and
// argument, or a lambda's body's function and argument when the body is an application, or
// else the lambda's body.
template <class Reduced>
Expr etaredNode(const Expr& x, const Reduced& reduced) {
    if (!x.holdsAny(ExprHolds::Lam)) return x;
    if (x.isAp()) {
        const Expr& a = reduced(x.arg(), 1);
        const Expr f = keepStuckHead(x, reduced(x.fun(), 0), a);
        return f.sameNode(x.fun()) && a.sameNode(x.arg()) ? x : mkAp(f, a, x.lazyType());
    }
    if (!x.isLam()) return x;
    const Expr& body = x.body();
    if (body.isAp()) return etaTest(x, body, reduced(body.fun(), 0), reduced(body.arg(), 1));
    const Expr& r = reduced(body, 0);
    if (r.isAp()) return etaTest(x, r, etared(r.fun()), etared(r.arg()));
    return r.sameNode(body) ? x : mkLam(x.pattern(), r, x.lazyType());
}
// True when a and b differ after eta contraction.
bool etaDiffers(const Expr& a, const Expr& b);

// Every bound variable renamed from the state's first supply (the new names in force exactly
// inside their lambda), free variables through the first renaming, type variables through the
// second.  Returns the new expression and the state with the supplies consumed and the
// renamings as given.  A let raises "Expressions:202|function scrub".
std::pair<Expr, RenameState> scrub(const Expr& e, RenameState st);

// Eta expansion to full arity: every expression of function type outside an application's
// function position gets as many lambdas as its type has arrows, with names from the supply's
// first list.  A let raises "Expressions:142|function recexpand".  `expanded`, when given,
// names subexpressions known to be their own expansion (an earlier result's parts): in full
// (asked with true) or only inside, as in an application's function position (false); those
// are taken as they are, without a walk.  `full` false: e itself stands as an application's
// function, expanded only inside.
std::pair<Expr, NameSupply> recexpand(const Expr& e, NameSupply supply,
                                      const std::function<bool(const Expr&, bool full)>& expanded = {},
                                      bool full = true);

// The expression with every beta-redex (\p -> b) x shown as the let "p = x in b"; consecutive
// redexes and lets fold into one let.  Nothing is reduced.  A type signature or data
// declaration in a let raises "Expressions:189|function nearbetas".
Expr nearbetas(const Expr& e);

}  // namespace plim
