// Normal forms of whole expressions: eta contraction, renaming against fresh supplies, eta
// expansion to full arity and the display of beta-redexes as lets.
#include <optional>

#include "lang/expressions.h"
#include "lang/expressions_rebuild.h"
#include "support/errors.h"

namespace plim {

using expr_detail::lamApChildren;
using expr_detail::rebuild;
using expr_detail::rebuildItems;
using expr_detail::unchanged;

namespace {

bool isArrow(const Type& t) { return t.isTCon() && t.name() == arrowName && t.args().size() == 2; }

bool sharesName(const std::vector<std::string>& xs, const std::vector<std::string>& ys) {
    for (const auto& x : xs)
        for (const auto& y : ys)
            if (x == y) return true;
    return false;
}

// The eta test of \p -> f x (of type s), with f' and x' the contracted f and x: f' when x is
// the pattern itself and no name of the pattern is free in f, else the lambda rebuilt.
Expr etaTest(const Expr& lam, const Expr& f, const Expr& fRed, const Expr& xRed, const Lazy<Type>& s) {
    const Expr& p = lam.pattern();
    if (exprEq({}, {}, etared(p), xRed) && !sharesName(freeNames(p), freeNames(f))) return fRed;
    const Expr& body = lam.body();
    if (body.isAp() && body.fun().sameNode(fRed) && body.arg().sameNode(xRed)) return lam;
    return mkLam(p, mkAp(fRed, xRed, s), lam.lazyType());
}

// The definitions of a let with each right side replaced by the given one, lines kept,
// followed by `tail`.
Defs withRightSides(const Defs& defs, const std::vector<Expr>& rhss, const Defs& tail) {
    std::vector<DefItem> items = defs.toVector();
    Defs out = tail;
    for (std::size_t i = items.size(); i-- > 0;)
        out = mkOneDef(mkFun(items[i].decl.fun().lhs, rhss[i]), out, items[i].line);
    return out;
}

Type scrubType(const Type& t, const RenameState& st) {
    switch (t.kind()) {
    case TypeKind::Tid: return mkTid(renamedSecond(t.name(), st).first);
    case TypeKind::TCon: {
        std::vector<Type> args;
        for (const Type& a : t.args()) args.push_back(scrubType(a, st));
        return mkTCon(t.name(), std::move(args));
    }
    case TypeKind::TAbs: {
        std::vector<std::string> vars;
        for (const auto& v : t.boundVars()) vars.push_back(renamedSecond(v, st).first);
        return mkTAbs(std::move(vars), scrubType(t.body(), st));
    }
    }
    return t;
}

}  // namespace

Expr etared(const Expr& e) {
    // Only lambdas change: a subtree without one is its own result.
    auto children = [](const Expr& node) -> std::vector<Expr> {
        if (!node.holdsAny(ExprHolds::Lam)) return {};
        if (node.isAp()) return {node.fun(), node.arg()};
        if (node.isLam() && node.body().isAp()) return {node.body().fun(), node.body().arg()};
        if (node.isLam()) return {node.body()};
        return {};
    };
    auto combine = [&children](const Expr& node, const std::vector<Expr>& done) -> Expr {
        if (!node.holdsAny(ExprHolds::Lam)) return node;
        if (node.isAp()) return unchanged(children(node), done) ? node : mkAp(done[0], done[1], node.lazyType());
        if (!node.isLam()) return node;
        const Expr& body = node.body();
        if (body.isAp()) return etaTest(node, body.fun(), done[0], done[1], body.lazyType());
        const Expr& reduced = done[0];
        if (reduced.isAp())
            return etaTest(node, reduced.fun(), etared(reduced.fun()), etared(reduced.arg()), reduced.lazyType());
        return reduced.sameNode(body) ? node : mkLam(node.pattern(), reduced, node.lazyType());
    };
    return rebuild(e, children, combine);
}

bool etaDiffers(const Expr& a, const Expr& b) { return !exprEq({}, {}, etared(a), etared(b)); }

std::pair<Expr, RenameState> scrub(const Expr& e, RenameState st) {
    // The state changes only when a lambda is entered (its pattern names are renamed) and left
    // (the renamings of before come back, the supplies stay consumed), so the walk threads one
    // state through the nodes in pre-order.
    std::vector<std::pair<Renaming, Renaming>> saved;
    const bool typesStay = st.secondRenaming.empty();
    // The scrubbed type; with no type renaming the node's own type, still unread.
    auto type = [&st, typesStay](const Expr& node) {
        return typesStay ? node.lazyType() : Lazy<Type>(scrubType(node.type(), st));
    };
    // Without a type renaming, only variables and lambdas change: a subtree of constants and
    // applications is its own result.
    auto stays = [typesStay](const Expr& node) {
        return typesStay && !node.holdsAny(ExprHolds::Lam | ExprHolds::Var | ExprHolds::Let);
    };
    auto children = [&](const Expr& node) -> std::vector<Expr> {
        if (stays(node)) return {};
        switch (node.kind()) {
        case ExprKind::Lam:
            saved.emplace_back(st.firstRenaming, st.secondRenaming);
            for (const std::string& n : freeNames(node.pattern())) st = renameFirst(n, st).second;
            return {node.pattern(), node.body()};
        case ExprKind::Ap: return {node.fun(), node.arg()};
        case ExprKind::Let: patternFail(CodedFailure::ScrubLet);
        default: return {};
        }
    };
    auto combine = [&](const Expr& node, const std::vector<Expr>& done) -> Expr {
        if (stays(node)) return node;
        switch (node.kind()) {
        case ExprKind::Var: return mkVar(renamedFirst(node.name(), st).first, type(node).get());
        case ExprKind::Con: return mkCon(node.constant(), type(node).get());
        case ExprKind::Ap: return mkAp(done[0], done[1], type(node));
        case ExprKind::Lam: {
            Expr out = mkLam(done[0], done[1], type(node));
            st.firstRenaming = saved.back().first;
            st.secondRenaming = saved.back().second;
            saved.pop_back();
            return out;
        }
        case ExprKind::Let: break;
        }
        patternFail(CodedFailure::ScrubLet);
    };
    Expr out = rebuild(e, children, combine);
    return {std::move(out), std::move(st)};
}

std::pair<Expr, NameSupply> recexpand(const Expr& e, NameSupply supply,
                                      const std::function<bool(const Expr&, bool full)>& expanded) {
    // An item is an expression with how it is walked: in full (expanded at its top when it has
    // a function type) or inside only (the function part of an application).  Names are drawn
    // from the supply in pre-order.
    struct Item {
        Expr expr;
        bool full;
    };
    auto children = [&supply, &expanded](const Item& item) -> std::vector<Item> {
        const Expr& x = item.expr;
        if (expanded && expanded(x, item.full)) return {};
        if (x.isLam()) return {{x.body(), true}};
        if (item.full) {
            const Type& t = x.type();
            if (isArrow(t)) {
                auto [name, rest] = nextName(supply);
                supply = std::move(rest);
                Expr var = mkVar(name, t.args()[0]);
                return {{mkLam(var, mkAp(x, var, t.args()[1]), t), true}};
            }
        }
        switch (x.kind()) {
        case ExprKind::Ap: return {{x.fun(), false}, {x.arg(), true}};
        case ExprKind::Let: patternFail(CodedFailure::RecursiveExpandLet);
        default: return {};
        }
    };
    auto combine = [](const Item& item, const std::vector<Expr>& done) -> Expr {
        const Expr& x = item.expr;
        if (done.empty()) return x;  // a leaf, or known to be expanded
        if (x.isLam()) return done[0].sameNode(x.body()) ? x : mkLam(x.pattern(), done[0], x.lazyType());
        if (x.isAp() && done.size() == 2) {
            if (done[0].sameNode(x.fun()) && done[1].sameNode(x.arg())) return x;
            return mkAp(done[0], done[1], x.lazyType());
        }
        return done.empty() ? x : done[0];  // an expansion stands for the expression
    };
    Expr out = rebuildItems<Item>(Item{e, true}, children, combine);
    return {std::move(out), std::move(supply)};
}

Expr nearbetas(const Expr& e) {
    // Only redexes and let-expressions change: a subtree without lambdas and lets stays.
    auto stays = [](const Expr& node) { return !node.holdsAny(ExprHolds::Lam | ExprHolds::Let); };
    auto children = [&stays](const Expr& node) -> std::vector<Expr> {
        if (stays(node)) return {};
        switch (node.kind()) {
        case ExprKind::Ap:
            if (node.fun().isLam()) return {node.fun().body(), node.arg()};
            return {node.fun(), node.arg()};
        case ExprKind::Let: {
            std::vector<Expr> out;
            for (const DefItem& d : node.defs().defs) {
                if (!d.decl.isFun()) patternFail(CodedFailure::NearBetasNonFunction);
                out.push_back(d.decl.fun().rhs);
            }
            out.push_back(node.body());
            return out;
        }
        default: return lamApChildren(node);
        }
    };
    auto combine = [&children, &stays](const Expr& node, const std::vector<Expr>& done) -> Expr {
        if (stays(node)) return node;
        switch (node.kind()) {
        case ExprKind::Lam:
            return unchanged(children(node), done) ? node : mkLam(node.pattern(), done[0], node.lazyType());
        case ExprKind::Ap: {
            if (!node.fun().isLam())
                return unchanged(children(node), done) ? node : mkAp(done[0], done[1], node.lazyType());
            const Expr& body = done[0];
            Defs inner = body.isLet() ? body.defs().defs : mkNoDef();
            Defs defs = mkOneDef(mkFun(node.fun().pattern(), done[1]), inner, 0);
            return mkLet(mkDList(defs), body.isLet() ? body.body() : body, node.lazyType());
        }
        case ExprKind::Let: {
            const Expr& body = done.back();
            if (!body.isLet() && unchanged(children(node), done)) return node;
            Defs tail = body.isLet() ? body.defs().defs : mkNoDef();
            Defs defs = withRightSides(node.defs().defs, done, tail);
            return mkLet(mkDList(defs), body.isLet() ? body.body() : body, node.lazyType());
        }
        default: return node;
        }
    };
    return rebuild(e, children, combine);
}

}  // namespace plim
