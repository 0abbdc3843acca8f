// Normal forms of whole expressions: eta contraction, renaming against fresh supplies, eta
// expansion to full arity and the display of beta-redexes as lets.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>

#include "lang/expressions.h"
#include "lang/expressions_rebuild.h"
#include "support/errors.h"
#include "support/work_room.h"

namespace plim {

using expr_detail::lamApChildren;
using expr_detail::rebuild;
using expr_detail::unchanged;

namespace {

// The count of arguments first: it spares most names a comparison.
bool isArrow(const Type& t) { return t.isTCon() && t.args().size() == 2 && t.name() == arrowName; }

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

// Every type variable renamed through the state's second renaming, the names schemes bind
// included; parts without variables are kept.  Rebuilt bottom-up on a work stack.
Type scrubType(const Type& root, const RenameState& st) {
    auto rename = [&st](const std::string& v) { return renamedSecond(v, st).first; };
    struct Frame {
        const Type* type;
        bool childrenDone;
    };
    std::vector<Frame> work{{&root, false}};
    std::vector<Type> done;
    while (!work.empty()) {
        const Frame f = work.back();
        work.pop_back();
        const Type& t = *f.type;
        if (t.isGround()) {
            done.push_back(t);
        } else if (t.isTid()) {
            done.push_back(mkTid(rename(t.name())));
        } else if (!f.childrenDone) {
            work.push_back({&t, true});
            if (t.isTAbs()) work.push_back({&t.body(), false});
            for (std::size_t i = t.args().size(); i-- > 0;) work.push_back({&t.args()[i], false});
        } else if (t.isTAbs()) {
            std::vector<std::string> vars;
            for (const auto& v : t.boundVars()) vars.push_back(rename(v));
            done.back() = mkTAbs(std::move(vars), std::move(done.back()));
        } else {
            const std::size_t first = done.size() - t.args().size();
            Type built = mkTConLike(t, done.data() + first);
            done.erase(done.begin() + static_cast<std::ptrdiff_t>(first), done.end());
            done.push_back(std::move(built));
        }
    }
    return std::move(done.back());
}

// The elements of e when it is a tuple constant applied to exactly its arity of arguments.
std::optional<std::vector<const Expr*>> tupleElements(const Expr& e) {
    std::vector<const Expr*> args;
    const Expr* at = &e;
    for (; at->isAp(); at = &at->fun()) args.push_back(&at->arg());
    if (!at->isCon() || at->constant().kind() != ConstantKind::Tuple) return std::nullopt;
    if (static_cast<std::size_t>(std::max(at->constant().arity(), 0)) != args.size()) return std::nullopt;
    return std::vector<const Expr*>(args.rbegin(), args.rend());
}

// The argument has the tuple shape of the lambda pattern (a variable takes anything).
bool argumentFits(const Expr& pattern, const Expr& arg) {
    std::vector<std::pair<const Expr*, const Expr*>> todo{{&pattern, &arg}};
    while (!todo.empty()) {
        const auto [p, a] = todo.back();
        todo.pop_back();
        if (p->isVar()) continue;
        const auto ps = tupleElements(*p);
        const auto as = tupleElements(*a);
        if (!ps || !as || ps->size() != as->size()) return false;
        for (std::size_t i = 0; i < ps->size(); ++i) todo.emplace_back((*ps)[i], (*as)[i]);
    }
    return true;
}

}  // namespace

Expr keepStuckHead(const Expr& ap, const Expr& fRed, const Expr& aRed) {
    const Expr& f = ap.fun();
    if (!f.isLam() || f.pattern().isVar() || (fRed.isLam() && fRed.pattern().sameNode(f.pattern())) ||
        argumentFits(f.pattern(), aRed))
        return fRed;
    return mkLam(f.pattern(), etared(f.body()), f.lazyType());
}

Expr etaTest(const Expr& lam, const Expr& ap, const Expr& fRed, const Expr& xRed) {
    const Expr& p = lam.pattern();
    // fRed, not f: where f holds the lambdas of an eta expansion, fRed is mostly without
    // variables, and the walk of free names passes over such parts.
    if (exprEq({}, {}, etared(p), xRed) && !sharesName(freeNames(p), freeNames(fRed))) return fRed;
    // The body stays an application, and its head is kept as at any other application.
    const Expr head = keepStuckHead(ap, fRed, xRed);
    const Expr& body = lam.body();
    if (body.isAp() && body.fun().sameNode(head) && body.arg().sameNode(xRed)) return lam;
    return mkLam(p, mkAp(head, xRed, ap.lazyType()), lam.lazyType());
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
    auto combine = [](const Expr& node, const std::vector<Expr>& done) -> Expr {
        return etaredNode(node, [&done](const Expr&, std::size_t i) -> const Expr& { return done[i]; });
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

// A rebuilt child: empty when it is the child as it was.
using Rebuilt = std::optional<Expr>;

// One node of the expansion walk with children to walk: the node, how many children it has
// (1 for a lambda's body or for its expansion, 2 for an application's function and argument),
// how many are walked, the expansion being walked, if any, and the children rebuilt so far.
struct ExpandFrame {
    const Expr* node;  // inside the expression, or inside an expansion the room holds
    Expr* expansion;   // held in the room; null when the node is walked as it is
    std::uint8_t kids;
    std::uint8_t walked;
    Rebuilt child[2];
};

// The open frames, and the expansions being walked (a deque keeps each in place while frames
// point into it).
struct ExpandRoom {
    std::vector<ExpandFrame> frames;
    std::deque<Expr> expansions;
    // A room grown by a deep expression is not kept: the next walks are mostly shallow.
    void clear() {
        constexpr std::size_t kept = 1 << 14;
        if (frames.capacity() > kept) std::vector<ExpandFrame>().swap(frames);
        frames.clear();
        expansions.clear();
    }
};

// The result of a frame whose children are done: the node as it is when nothing below changed.
Rebuilt finishFrame(ExpandFrame& f) {
    const Expr& x = *f.node;
    if (f.expansion) return f.child[0] ? std::move(f.child[0]) : std::move(*f.expansion);
    if (f.kids == 1) {
        if (!f.child[0]) return std::nullopt;
        return mkLamAs(x, x.pattern(), std::move(*f.child[0]));
    }
    if (!f.child[0] && !f.child[1]) return std::nullopt;
    return mkApAs(x, f.child[0] ? std::move(*f.child[0]) : x.fun(), f.child[1] ? std::move(*f.child[1]) : x.arg());
}

}  // namespace

std::pair<Expr, NameSupply> recexpand(const Expr& e, NameSupply supply,
                                      const std::function<bool(const Expr&, bool full)>& expanded, bool full) {
    // Names are drawn from the supply in pre-order: a node decides its children (and draws the
    // name of its expansion) when it is opened.  A rebuilt child goes to its parent's frame; a
    // node whose children come back unchanged is kept as it is, and the unchanged parts are only
    // looked at, never held.  A node with nothing to walk is its own result at once.
    BorrowedRoom<ExpandRoom> room;
    std::vector<ExpandFrame>& frames = room->frames;
    auto open = [&](const Expr& n, bool full) {
        if (expanded && expanded(n, full)) return;
        std::uint8_t kids = 0;
        Expr* expansion = nullptr;
        if (n.isLam()) {
            kids = 1;
        } else if (full && isArrow(n.type())) {
            const Type& t = n.type();
            auto [name, rest] = nextName(supply);
            supply = std::move(rest);
            Expr var = mkVar(name, t.args()[0]);
            expansion = &room->expansions.emplace_back(mkLam(var, mkAp(n, var, t.args()[1]), t));
            kids = 1;
        } else if (n.isAp()) {
            kids = 2;
        } else if (n.isLet()) {
            patternFail(CodedFailure::RecursiveExpandLet);
        }
        if (kids > 0) frames.push_back(ExpandFrame{&n, expansion, kids, 0, {}});
    };
    open(e, full);
    if (frames.empty()) return {e, std::move(supply)};
    for (;;) {
        ExpandFrame& top = frames.back();
        if (top.walked < top.kids) {
            const std::uint8_t k = top.walked++;
            // Opening may move the frames: `top` is not used after it.
            if (top.expansion) open(*top.expansion, true);
            else if (top.kids == 1) open(top.node->body(), true);
            else if (k == 0) open(top.node->fun(), false);
            else open(top.node->arg(), true);
            continue;
        }
        Rebuilt built = finishFrame(top);
        frames.pop_back();
        if (frames.empty()) return {built ? std::move(*built) : e, std::move(supply)};
        ExpandFrame& parent = frames.back();
        parent.child[parent.walked - 1] = std::move(built);
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
