// Common subexpressions for display.
//
// Equal subexpressions (up to bound names and eta) are grouped together, in the order of their
// first occurrence.  To keep the cost near linear in the size of the
// expression, candidates are first bucketed by a fingerprint that equal subexpressions always
// share (a hash of the tree with names ignored and eta contraction applied generously); only
// candidates within one bucket are compared exactly, and paths are built only for the
// subexpressions that occur more than once.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "engine/rewriting/positions.h"
#include "lang/expressions_rebuild.h"
#include "support/errors.h"

namespace plim {

namespace {

// One subexpression met by the walk, in subpaths order.
struct Site {
    Expr expr;
    int parent;  // -1 for the root
    Step step;
    int ctx;       // index of its binders
    int kids[2];   // Ap: function, argument; Lam: body; -1 when absent
};

struct Walk {
    std::vector<Site> sites;
    std::vector<std::vector<TypedVar>> ctxs;
};

// Every subexpression in subpaths order (argument before function), iteratively.
Walk walkSites(const Expr& e, const std::vector<TypedVar>& ctx) {
    Walk w;
    w.ctxs.push_back(ctx);
    std::vector<int> stack;
    w.sites.push_back(Site{e, -1, Step::First, 0, {-1, -1}});
    stack.push_back(0);
    while (!stack.empty()) {
        const int i = stack.back();
        stack.pop_back();
        const Expr node = w.sites[i].expr;
        const int ctxIndex = w.sites[i].ctx;
        auto add = [&](const Expr& child, Step s, int c) {
            w.sites.push_back(Site{child, i, s, c, {-1, -1}});
            return static_cast<int>(w.sites.size() - 1);
        };
        switch (node.kind()) {
        case ExprKind::Lam: {
            std::vector<TypedVar> inner = freevars(node.pattern());
            inner.insert(inner.end(), w.ctxs[ctxIndex].begin(), w.ctxs[ctxIndex].end());
            w.ctxs.push_back(std::move(inner));
            const int b = add(node.body(), Step::Body, static_cast<int>(w.ctxs.size() - 1));
            w.sites[i].kids[0] = b;
            stack.push_back(b);
            break;
        }
        case ExprKind::Ap: {
            const int f = add(node.fun(), Step::First, ctxIndex);
            const int a = add(node.arg(), Step::Second, ctxIndex);
            w.sites[i].kids[0] = f;
            w.sites[i].kids[1] = a;
            stack.push_back(f);
            stack.push_back(a);
            break;
        }
        case ExprKind::Let: patternFail(CodedFailure::SubpathsLet);
        default: break;
        }
    }
    return w;
}

// The visiting order of the sites: the pre-order of subpaths (a node, then its argument's
// subtree, then its function's).  Sites are allocated when their parent is expanded, so the
// order is recovered by a second walk.
std::vector<int> visitOrder(const Walk& w) {
    std::vector<int> order;
    order.reserve(w.sites.size());
    std::vector<int> stack{0};
    while (!stack.empty()) {
        const int i = stack.back();
        stack.pop_back();
        order.push_back(i);
        const Site& s = w.sites[i];
        if (s.expr.isAp()) {
            stack.push_back(s.kids[0]);
            stack.push_back(s.kids[1]);
        } else if (s.expr.isLam()) {
            stack.push_back(s.kids[0]);
        }
    }
    return order;
}

Path pathOf(const Walk& w, int i) {
    Path p;
    for (; w.sites[i].parent >= 0; i = w.sites[i].parent) p.push_back(w.sites[i].step);
    std::reverse(p.begin(), p.end());
    return p;
}

// --- fingerprints ---------------------------------------------------------------------------

std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
    a ^= b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2);
    return a * 0xff51afd7ed558ccdULL;
}

// The fingerprint of a site's tree with names ignored and every \p -> g x with x like p
// contracted to g; when the contracted form is an application, its function's fingerprint
// record and its argument's fingerprint.
struct Print {
    std::uint64_t hash = 0;
    int funSite = -1;  // the application's function site (its record holds its print)
    std::uint64_t argHash = 0;
};

std::uint64_t leafHash(const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Var: return 0x1234567ULL;
    case ExprKind::Con: return mix(0x7654321ULL, std::hash<std::string>{}(constantText(e.constant())));
    default: return 0;
    }
}

// Patterns are small; their fingerprint is computed by plain recursion.
std::uint64_t patternHash(const Expr& p) {
    switch (p.kind()) {
    case ExprKind::Ap: return mix(mix(3, patternHash(p.fun())), patternHash(p.arg()));
    case ExprKind::Lam: return mix(5, patternHash(p.body()));
    case ExprKind::Let: return 7;
    default: return leafHash(p);
    }
}

std::vector<Print> fingerprints(const Walk& w) {
    std::vector<Print> prints(w.sites.size());
    // Children are allocated after their parent: a reverse scan sees them first.
    for (std::size_t k = w.sites.size(); k-- > 0;) {
        const Site& s = w.sites[k];
        switch (s.expr.kind()) {
        case ExprKind::Ap:
            prints[k] = Print{mix(mix(3, prints[s.kids[0]].hash), prints[s.kids[1]].hash), s.kids[0],
                              prints[s.kids[1]].hash};
            break;
        case ExprKind::Lam: {
            const Print& body = prints[s.kids[0]];
            if (body.funSite >= 0 && body.argHash == patternHash(s.expr.pattern()))
                prints[k] = prints[body.funSite];
            else
                prints[k] = Print{mix(mix(5, patternHash(s.expr.pattern())), body.hash), -1, 0};
            break;
        }
        default: prints[k] = Print{leafHash(s.expr), -1, 0};
        }
    }
    return prints;
}

// --- grouping ---------------------------------------------------------------------------------

bool isArrowType(const Type& t) { return t.isTCon() && t.name() == arrowName; }

bool mentionsBinder(const Expr& sub, const std::vector<TypedVar>& binders) {
    if (binders.empty()) return false;
    for (const TypedVar& v : freevars(sub))
        for (const TypedVar& b : binders)
            if (eqTypedVar(v, b)) return true;
    return false;
}

bool liftable(const Walk& w, const Site& s) {
    if (s.expr.isVar() || s.expr.isCon()) return false;
    if (isArrowType(s.expr.type())) return false;
    return !mentionsBinder(s.expr, w.ctxs[s.ctx]);
}

struct Group {
    Expr expr;
    std::vector<int> sites;
    std::vector<Path> paths;
};

// The liftable occurrences grouped by equality up to bound names and eta, in order of first
// occurrence, each group's sites in order of occurrence.
std::vector<Group> groupPairs(const Walk& w) {
    const std::vector<Print> prints = fingerprints(w);
    std::vector<Group> groups;
    std::vector<std::optional<Expr>> reduced;  // etared of each group's expression, when needed
    std::unordered_map<std::uint64_t, std::vector<int>> buckets;  // fingerprint -> group indices
    for (int i : visitOrder(w)) {
        const Site& s = w.sites[i];
        if (!liftable(w, s)) continue;
        std::vector<int>& bucket = buckets[prints[i].hash];
        int joined = -1;
        if (!bucket.empty()) {
            const Expr mine = etared(s.expr);
            for (int g : bucket) {
                if (!reduced[g]) reduced[g] = etared(groups[g].expr);
                if (exprEq({}, {}, *reduced[g], mine)) {
                    joined = g;
                    break;
                }
            }
        }
        if (joined < 0) {
            bucket.push_back(static_cast<int>(groups.size()));
            groups.push_back(Group{s.expr, {i}, {}});
            reduced.emplace_back();
        } else {
            groups[joined].sites.push_back(i);
        }
    }
    std::vector<Group> repeated;
    for (Group& g : groups) {
        if (g.sites.size() < 2) continue;
        for (int site : g.sites) g.paths.push_back(pathOf(w, site));
        repeated.push_back(std::move(g));
    }
    return repeated;
}

// Does some path of g lead to a prefix of some path of h?
bool encloses(const Group& g, const Group& h) {
    for (const Path& p : g.paths)
        for (const Path& q : h.paths)
            if (isPathPrefix(p, q)) return true;
    return false;
}

std::vector<Group> innermostFirst(std::vector<Group> remaining) {
    std::vector<Group> out;
    while (!remaining.empty()) {
        std::size_t pick = 0;
        for (std::size_t i = 0; i < remaining.size(); ++i) {
            bool inner = true;
            for (std::size_t j = 0; j < remaining.size() && inner; ++j)
                if (j != i && encloses(remaining[i], remaining[j])) inner = false;
            if (inner) {
                pick = i;
                break;
            }
        }
        out.push_back(std::move(remaining[pick]));
        remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(pick));
    }
    return out;
}

// Is z found only inside the occurrences of w, path by path?
bool coveredBy(const Group& z, const Group& w) {
    if (z.paths.size() != w.paths.size()) return false;
    for (std::size_t k = 0; k < z.paths.size(); ++k)
        if (!isPathPrefix(w.paths[k], z.paths[k])) return false;
    return true;
}

std::vector<Group> dropCovered(std::vector<Group> groups) {
    std::vector<Group> out;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        bool covered = false;
        for (std::size_t j = i + 1; j < groups.size() && !covered; ++j) covered = coveredBy(groups[i], groups[j]);
        if (!covered) out.push_back(std::move(groups[i]));
    }
    return out;
}

}  // namespace

CtxExprRun shareCommon(const CtxExpr& at, const NameSupply& supply) {
    const auto& [e, ctx] = at;
    std::vector<Group> groups = innermostFirst(groupPairs(walkSites(e, ctx)));
    for (Group& g : groups) std::sort(g.paths.begin(), g.paths.end(), pathLess);
    groups = dropCovered(std::move(groups));
    if (groups.empty()) return {at, supply};
    Expr folded = mkLet(mkDList(mkNoDef()), e, e.lazyType());
    NameSupply s = supply;
    for (const Group& g : groups) std::tie(folded, s) = elim(folded, g.expr, g.paths, s);
    return {CtxExpr{revdefs(folded), ctx}, s};
}

CtxExprRun cses(const CtxExpr& at, const NameSupply& supply) {
    NameSupply s = supply;
    const std::vector<TypedVar>& ctx = at.second;
    // Only lambda bodies change: a subtree without lambdas and lets stays.
    auto stays = [](const Expr& node) { return !node.holdsAny(ExprHolds::Lam | ExprHolds::Let); };
    auto children = [&stays](const Expr& node) -> std::vector<Expr> {
        if (stays(node)) return {};
        switch (node.kind()) {
        case ExprKind::Ap: return {node.fun(), node.arg()};
        case ExprKind::Let: patternFail(CodedFailure::CommonSubexpressionsLet);
        default: return {};
        }
    };
    // Leaves are combined in left-to-right order, so the supply threads function before
    // argument, as the recursive definition does.
    auto combine = [&](const Expr& node, const std::vector<Expr>& done) -> Expr {
        if (stays(node)) return node;
        if (node.isAp())
            return expr_detail::unchanged({node.fun(), node.arg()}, done) ? node : mkAp(done[0], done[1], node.lazyType());
        if (!node.isLam()) return node;
        auto [shared, s1] = shareCommon(CtxExpr{node.body(), ctx}, s);
        auto [body, s2] = csesTop(shared, s1);
        s = s2;
        return body.first.sameNode(node.body()) ? node : mkLam(node.pattern(), body.first, node.lazyType());
    };
    Expr out = expr_detail::rebuild(at.first, children, combine);
    return {CtxExpr{out, ctx}, s};
}

CtxExprRun csesTop(const CtxExpr& at, const NameSupply& supply) {
    const Expr& e = at.first;
    if (!e.isLet()) return cses(at, supply);
    auto [body, s1] = cses(CtxExpr{e.body(), at.second}, supply);
    return {CtxExpr{mkLet(e.defs(), body.first, e.lazyType()), at.second}, s1};
}

CtxExprRun shareAll(const CtxExpr& at, const NameSupply& supply) {
    auto [shared, s1] = shareCommon(at, supply);
    return csesTop(shared, s1);
}

}  // namespace plim
