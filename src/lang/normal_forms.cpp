// Normal forms of whole expressions: eta contraction, renaming against fresh supplies, eta
// expansion to full arity and the display of beta-redexes as lets.
#include <cstdint>
#include <deque>
#include <optional>

#include "lang/expressions.h"
#include "lang/expressions_rebuild.h"
#include "support/errors.h"

namespace plim {

using expr_detail::lamApChildren;
using expr_detail::rebuild;
using expr_detail::unchanged;

namespace {

bool isArrow(const Type& t) { return t.isTCon() && t.name() == arrowName && t.args().size() == 2; }

bool sharesName(const std::vector<std::string>& xs, const std::vector<std::string>& ys) {
    for (const auto& x : xs)
        for (const auto& y : ys)
            if (x == y) return true;
    return false;
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

Expr etaTest(const Expr& lam, const Expr& f, const Expr& fRed, const Expr& xRed, const Lazy<Type>& s) {
    const Expr& p = lam.pattern();
    if (exprEq({}, {}, etared(p), xRed) && !sharesName(freeNames(p), freeNames(f))) return fRed;
    const Expr& body = lam.body();
    if (body.isAp() && body.fun().sameNode(fRed) && body.arg().sameNode(xRed)) return lam;
    return mkLam(p, mkAp(fRed, xRed, s), lam.lazyType());
}

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

namespace {

// One node of the expansion walk: the node, how it is walked (in full: expanded at its top
// when it has a function type; or inside only, as an application's function), and the
// children still to walk.  The one child of a node being expanded is its expansion.
struct ExpandFrame {
    const Expr* node;  // inside the expression, or an expansion an outer frame holds
    bool full;
    std::uint8_t kids = 0;  // 0, 1 (a lambda's body, or the expansion) or 2 (function, argument)
    std::uint8_t walked = 0;
    std::optional<Expr> expansion;
};

// A rebuilt child: empty when it is the child as it was.
using Rebuilt = std::optional<Expr>;

}  // namespace

std::pair<Expr, NameSupply> recexpand(const Expr& e, NameSupply supply,
                                      const std::function<bool(const Expr&, bool full)>& expanded) {
    // Names are drawn from the supply in pre-order: a frame decides its children (and draws
    // the name of its expansion) when it is opened.  The rebuilt children wait on `results`;
    // a node whose children come back unchanged is kept as it is, and the unchanged parts are
    // only looked at, never held.  A deque keeps each frame in place while inner ones come
    // and go, so the expansion it holds stays where its child frame points.
    std::deque<ExpandFrame> stack;
    std::vector<Rebuilt> results;
    auto open = [&](const Expr& n, bool full) {
        ExpandFrame f{&n, full, 0, 0, std::nullopt};
        if (expanded && expanded(n, full)) {
        } else if (n.isLam()) {
            f.kids = 1;
        } else if (full && isArrow(n.type())) {
            const Type& t = n.type();
            auto [name, rest] = nextName(supply);
            supply = std::move(rest);
            Expr var = mkVar(name, t.args()[0]);
            f.expansion = mkLam(var, mkAp(n, var, t.args()[1]), t);
            f.kids = 1;
        } else if (n.isAp()) {
            f.kids = 2;
        } else if (n.isLet()) {
            patternFail(CodedFailure::RecursiveExpandLet);
        }
        stack.push_back(std::move(f));
    };
    auto take = [&results]() {
        Rebuilt r = std::move(results.back());
        results.pop_back();
        return r;
    };
    auto finish = [&take](ExpandFrame& f) -> Rebuilt {
        const Expr& x = *f.node;
        if (f.kids == 0) return std::nullopt;
        if (f.expansion) {
            Rebuilt inside = take();
            return inside ? std::move(inside) : std::move(f.expansion);
        }
        if (f.kids == 1) {
            Rebuilt body = take();
            if (!body) return std::nullopt;
            return mkLamAs(x, x.pattern(), std::move(*body));
        }
        Rebuilt arg = take();
        Rebuilt fun = take();
        if (!fun && !arg) return std::nullopt;
        return mkApAs(x, fun ? std::move(*fun) : x.fun(), arg ? std::move(*arg) : x.arg());
    };
    open(e, true);
    for (;;) {
        ExpandFrame& top = stack.back();
        if (top.walked < top.kids) {
            const std::uint8_t k = top.walked++;
            if (top.expansion) open(*top.expansion, true);
            else if (top.kids == 1) open(top.node->body(), true);
            else if (k == 0) open(top.node->fun(), false);
            else open(top.node->arg(), true);
            continue;
        }
        Rebuilt built = finish(top);
        stack.pop_back();
        if (stack.empty()) return {built ? std::move(*built) : e, std::move(supply)};
        results.push_back(std::move(built));
    }
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
