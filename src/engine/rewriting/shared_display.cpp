// Common subexpressions for display.
//
// Equal subexpressions (up to bound names and eta) are grouped together, in the order of their
// first occurrence.  To keep the cost near linear in the size of the expression, an expression
// without lambdas is numbered by shape in one walk, and one in which nothing non-atomic repeats
// (most steps of a calculation) is left after it; otherwise candidates are first bucketed by a
// fingerprint that equal subexpressions always share (a hash of the tree with names ignored and
// eta contraction applied generously), and only candidates within one bucket are compared
// exactly.  The groups that repeat are then written once each in one bottom-up pass that
// builds new nodes only above their occurrences.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <iterator>
#include <optional>
#include <queue>
#include <set>
#include <tuple>
#include <unordered_map>

#include "engine/rewriting/common_subexpressions.h"
#include "engine/rewriting/positions.h"
#include "engine/rewriting/shared_display_sites.h"
#include "lang/expressions_rebuild.h"
#include "support/errors.h"

namespace plim {

namespace shared_display_detail {

// Every subexpression in visiting order, iteratively.  A let raises the error of subpaths, or
// is taken as a leaf.
Walk walkSites(const Expr& e, bool letsAreLeaves) {
    struct Pending {
        const Expr* expr;
        int parent;
        Step step;
        int depth;
    };
    Walk w;
    std::vector<Pending> stack{{&e, -1, Step::First, 0}};
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        const int i = static_cast<int>(w.sites.size());
        w.sites.push_back(Site{p.expr, p.parent, p.step, p.depth, {-1, -1}});
        if (p.parent >= 0) w.sites[p.parent].kids[p.step == Step::Second ? 1 : 0] = i;
        const Expr& node = *p.expr;
        switch (node.kind()) {
        case ExprKind::Lam: stack.push_back({&node.body(), i, Step::Body, p.depth + 1}); break;
        case ExprKind::Ap:
            stack.push_back({&node.fun(), i, Step::First, p.depth + 1});
            stack.push_back({&node.arg(), i, Step::Second, p.depth + 1});
            break;
        case ExprKind::Let:
            if (!letsAreLeaves) patternFail(CodedFailure::SubpathsLet);
            break;
        default: break;
        }
    }
    w.size.assign(w.sites.size(), 1);
    for (std::size_t k = w.sites.size(); k-- > 1;) w.size[w.sites[k].parent] += w.size[k];
    return w;
}

}  // namespace shared_display_detail

using namespace shared_display_detail;

namespace {

// The lambdas around a site during a walk: for each name, the types it is bound at and the
// sites of the binding lambdas, innermost last.
class Scope {
public:
    void bind(const std::vector<TypedVar>& vars, int site) {
        for (const TypedVar& v : vars) binders_[v.first].push_back({v.second, site});
    }
    void unbind(const std::vector<TypedVar>& vars) {
        for (const TypedVar& v : vars) binders_[v.first].pop_back();
    }
    // The site of the innermost lambda binding v, or -1.
    int innermost(const std::string& name, const Type& type) const {
        auto it = binders_.find(name);
        if (it == binders_.end()) return -1;
        for (auto b = it->second.rbegin(); b != it->second.rend(); ++b)
            if (eqType(b->first, type)) return b->second;
        return -1;
    }

private:
    std::unordered_map<std::string, std::vector<std::pair<Type, int>>> binders_;
};

constexpr int unbound = std::numeric_limits<int>::max();

// For each variable site, the site of the innermost lambda binding it, or -1.  A subtree
// without variables, or without lambdas where no lambda is around it, binds none: it is not
// entered.
std::vector<int> bindingLambdas(const Walk& w) {
    std::vector<int> binder(w.sites.size(), -1);
    Scope scope;
    int open = 0;  // the lambdas around the site
    std::vector<std::pair<int, std::vector<TypedVar>>> stack{{0, {}}};  // site, or -1 to unbind
    auto enter = [&](int site) {
        const Expr& x = *w.sites[site].expr;
        if (x.holdsAny(ExprHolds::Var) && (open > 0 || x.holdsAny(ExprHolds::Lam))) stack.push_back({site, {}});
    };
    while (!stack.empty()) {
        auto [i, vars] = std::move(stack.back());
        stack.pop_back();
        if (i < 0) {
            scope.unbind(vars);
            --open;
            continue;
        }
        const Site& s = w.sites[i];
        const Expr& node = *s.expr;
        if (node.isVar()) {
            binder[i] = scope.innermost(node.name(), node.type());
        } else if (node.isLam()) {
            std::vector<TypedVar> bound = freevars(node.pattern());
            scope.bind(bound, i);
            ++open;
            stack.push_back({-1, std::move(bound)});
            enter(s.kids[0]);
        } else if (node.isAp()) {
            enter(s.kids[0]);
            enter(s.kids[1]);
        }
    }
    return binder;
}

bool inContext(const Expr& v, const std::vector<TypedVar>& ctx) {
    for (const TypedVar& c : ctx)
        if (c.first == v.name() && eqType(c.second, v.type())) return true;
    return false;
}

}  // namespace

namespace shared_display_detail {

// For every site, whether its subexpression has a free variable that a lambda above it inside
// the walk, or the context around the whole expression, binds.  Each variable occurrence
// records the depth of the lambda binding it (-1 for the context, `unbound` for neither); a
// subtree mentions a binder from outside itself exactly when the smallest of these depths lies
// above it.
std::vector<char> mentionsBinders(const Walk& w, const std::vector<TypedVar>& ctx) {
    const std::vector<int> binder = bindingLambdas(w);
    std::vector<int> lowest(w.sites.size(), unbound);
    for (std::size_t k = 0; k < w.sites.size(); ++k) {
        if (binder[k] >= 0) lowest[k] = w.sites[binder[k]].depth;
        else if (w.sites[k].expr->isVar() && inContext(*w.sites[k].expr, ctx)) lowest[k] = -1;
    }
    for (std::size_t k = w.sites.size(); k-- > 1;) {
        int& up = lowest[w.sites[k].parent];
        up = std::min(up, lowest[k]);
    }
    std::vector<char> mentions(w.sites.size());
    for (std::size_t k = 0; k < w.sites.size(); ++k) mentions[k] = lowest[k] < w.sites[k].depth;
    return mentions;
}

}  // namespace shared_display_detail

namespace {

// --- fingerprints ---------------------------------------------------------------------------

// The fingerprint of a site's tree with names ignored and every \p -> g x with x like p
// contracted to g; when the contracted form is an application, its function's fingerprint
// record and its argument's fingerprint.
struct Print {
    std::uint64_t hash = 0;
    int funSite = -1;  // the application's function site (its record holds its print)
    std::uint64_t argHash = 0;
};

}  // namespace

namespace shared_display_detail {

bool sameLeaf(const Expr& x, const Expr& y) {
    if (x.kind() != y.kind()) return false;
    if (x.isVar()) return x.name() == y.name();
    return eqConstant(x.constant(), y.constant());
}

bool isArrowType(const Type& t) { return t.isTCon() && t.name() == arrowName; }


}  // namespace shared_display_detail

namespace {

// A lambda pattern's fingerprint, its parts' first, on a work stack.
std::uint64_t patternHash(const Expr& root) {
    struct Frame {
        const Expr* expr;
        bool partsDone;
    };
    std::vector<Frame> work{{&root, false}};
    std::vector<std::uint64_t> done;
    while (!work.empty()) {
        const Frame f = work.back();
        work.pop_back();
        const Expr& p = *f.expr;
        if (f.partsDone) {
            if (p.isAp()) {
                const std::uint64_t arg = done.back();
                done.pop_back();
                done.back() = mix(mix(3, done.back()), arg);
            } else {
                done.back() = mix(5, done.back());
            }
            continue;
        }
        switch (p.kind()) {
        case ExprKind::Ap:
            work.push_back({&p, true});
            work.push_back({&p.arg(), false});
            work.push_back({&p.fun(), false});
            break;
        case ExprKind::Lam:
            work.push_back({&p, true});
            work.push_back({&p.body(), false});
            break;
        case ExprKind::Let: done.push_back(7); break;
        default: done.push_back(leafHash(p));
        }
    }
    return done.back();
}

std::vector<Print> fingerprints(const Walk& w) {
    std::vector<Print> prints(w.sites.size());
    // Children are allocated after their parent: a reverse scan sees them first.
    for (std::size_t k = w.sites.size(); k-- > 0;) {
        const Site& s = w.sites[k];
        const Expr& node = *s.expr;
        switch (node.kind()) {
        case ExprKind::Ap:
            prints[k] = Print{mix(mix(3, prints[s.kids[0]].hash), prints[s.kids[1]].hash), s.kids[0],
                              prints[s.kids[1]].hash};
            break;
        case ExprKind::Lam: {
            const Print& body = prints[s.kids[0]];
            if (body.funSite >= 0 && body.argHash == patternHash(node.pattern()))
                prints[k] = prints[body.funSite];
            else
                prints[k] = Print{mix(mix(5, patternHash(node.pattern())), body.hash), -1, 0};
            break;
        }
        default: prints[k] = Print{leafHash(node), -1, 0};
        }
    }
    return prints;
}

// --- grouping ---------------------------------------------------------------------------------


}  // namespace

namespace shared_display_detail {

bool liftable(const Site& s, bool mentions) {
    const Expr& e = *s.expr;
    if (e.isVar() || e.isCon()) return false;
    if (isArrowType(e.type())) return false;
    return !mentions;
}

}  // namespace shared_display_detail

namespace {

// A number per hash, for at most `count` hashes: open addressing, at most half full (no node
// allocated per hash, as a hash map would).
class NumberByHash {
public:
    explicit NumberByHash(std::size_t count) {
        std::size_t slots = 16;
        while (slots < 2 * count) slots *= 2;
        slots_.assign(slots, {0, kFree});
        mask_ = slots - 1;
    }
    // The number of hash h, made `initial` when h is new.  It stays where it is: the
    // table never grows.
    int& at(std::uint64_t h, int initial) {
        std::size_t i = spread(h) & mask_;
        while (slots_[i].second != kFree && slots_[i].first != h) i = (i + 1) & mask_;
        if (slots_[i].second == kFree) slots_[i] = {h, initial};
        return slots_[i].second;
    }

private:
    static constexpr int kFree = std::numeric_limits<int>::min();
    std::vector<std::pair<std::uint64_t, int>> slots_;
    std::size_t mask_ = 0;
};

// Value numbers of the lambda-free subtrees: two such sites get one number exactly when they
// are equal (same tree, names and constants, equal types everywhere), which for them is the
// equality up to bound names and eta.  Numbers are given bottom-up from the children's, so
// each site costs one table look-up; sites holding a lambda or let get -1.
std::vector<int> valueNumbers(const Walk& w) {
    const std::size_t n = w.sites.size();
    std::vector<int> number(n, -1);
    std::vector<int> representative;  // per number, a site
    std::vector<int> sameHash;        // per number, the previous number with the same hash
    NumberByHash latest(n);           // per hash, the latest number with it
    auto equalNode = [&](int i, int j) {
        const Expr& a = *w.sites[i].expr;
        const Expr& b = *w.sites[j].expr;
        if (a.sameNode(b)) return true;
        if (a.kind() != b.kind()) return false;
        switch (a.kind()) {
        case ExprKind::Var:
            if (a.name() != b.name()) return false;
            break;
        case ExprKind::Con:
            if (!eqConstant(a.constant(), b.constant())) return false;
            break;
        default:
            if (number[w.sites[i].kids[0]] != number[w.sites[j].kids[0]] ||
                number[w.sites[i].kids[1]] != number[w.sites[j].kids[1]])
                return false;
        }
        return eqType(a.type(), b.type());
    };
    for (std::size_t k = n; k-- > 0;) {
        const Site& s = w.sites[k];
        const Expr& node = *s.expr;
        std::uint64_t h = 0;
        if (node.isAp()) {
            const int f = number[s.kids[0]], a = number[s.kids[1]];
            if (f < 0 || a < 0) continue;
            h = mix(mix(3, static_cast<std::uint32_t>(f)), static_cast<std::uint32_t>(a));
        } else if (node.isVar() || node.isCon()) {
            h = leafKey(node);
        } else {
            continue;
        }
        h = mix(h, node.type().hashCode());  // equal sites have equal types
        int& last = latest.at(h, -1);
        for (int v = last; v >= 0; v = sameHash[v])
            if (equalNode(static_cast<int>(k), representative[v])) {
                number[k] = v;
                break;
            }
        if (number[k] >= 0) continue;
        number[k] = static_cast<int>(representative.size());
        representative.push_back(static_cast<int>(k));
        sameHash.push_back(last);
        last = number[k];
    }
    return number;
}

// Do two non-atomic sites share a fingerprint?  Without such a pair nothing can be shared.
bool anyPrintRepeats(const Walk& w, const std::vector<Print>& prints) {
    NumberByHash seen(w.sites.size());  // fingerprint -> sites met with it
    for (std::size_t k = 0; k < w.sites.size(); ++k) {
        if (w.sites[k].expr->isVar() || w.sites[k].expr->isCon()) continue;
        if (seen.at(prints[k].hash, 0)++ > 0) return true;
    }
    return false;
}

// The liftable occurrences grouped by equality up to bound names and eta, in order of first
// occurrence, each group's sites in order of occurrence.  Lambda-free sites join their group
// by value number; the others are compared with the groups of their fingerprint.
std::vector<Group> groupPairs(const Walk& w, const std::vector<TypedVar>& ctx) {
    const std::size_t n = w.sites.size();
    const std::vector<Print> prints = fingerprints(w);
    if (!anyPrintRepeats(w, prints)) return {};
    const std::vector<char> mentions = mentionsBinders(w, ctx);
    const std::vector<int> number = valueNumbers(w);
    std::vector<int> groupOfNumber;
    std::vector<int> first, last, size;   // per group: first and last site, number of sites
    std::vector<int> nextInBucket;        // per group: the previous group with its fingerprint
    std::vector<std::optional<Expr>> reduced;  // per group: etared of its expression, when needed
    std::vector<int> nextSite(n, -1);     // the next site of the same group
    NumberByHash buckets(n);                // fingerprint -> latest group
    auto sameAs = [&](int g, const Expr& mine) {
        if (!reduced[g]) reduced[g] = etared(*w.sites[first[g]].expr);
        return exprEq({}, {}, *reduced[g], mine);
    };
    for (int i = 0; i < static_cast<int>(n); ++i) {
        const Site& s = w.sites[i];
        if (!liftable(s, mentions[i])) continue;
        const int v = number[i];
        if (v >= 0 && static_cast<std::size_t>(v) >= groupOfNumber.size()) groupOfNumber.resize(v + 1, -1);
        int joined = v >= 0 ? groupOfNumber[v] : -1;
        int& bucket = buckets.at(prints[i].hash, -1);
        if (joined < 0 && bucket >= 0) {
            const Expr mine = v >= 0 ? *s.expr : etared(*s.expr);
            for (int g = bucket; g >= 0 && joined < 0; g = nextInBucket[g])
                if ((v < 0 || number[first[g]] < 0) && sameAs(g, mine)) joined = g;
        }
        if (joined < 0) {
            joined = static_cast<int>(first.size());
            first.push_back(i);
            last.push_back(i);
            size.push_back(1);
            nextInBucket.push_back(bucket);
            reduced.emplace_back();
            bucket = joined;
        } else {
            nextSite[last[joined]] = i;
            last[joined] = i;
            ++size[joined];
        }
        if (v >= 0) groupOfNumber[v] = joined;
    }
    std::vector<Group> repeated;
    for (std::size_t g = 0; g < first.size(); ++g) {
        if (size[g] < 2) continue;
        Group out{*w.sites[first[g]].expr, {}};
        for (int site = first[g]; site >= 0; site = nextSite[site]) out.sites.push_back(site);
        repeated.push_back(std::move(out));
    }
    return repeated;
}

// --- lambda bodies ----------------------------------------------------------------------------

// Which lambdas of an expression may have something to share in their bodies.
//
// cses shares within the body of every lambda, outermost first.  A subexpression s can be
// shared in the body of lambda k only when its free variables are bound above k (or s lies
// inside every lambda that binds them): so s takes part in the bodies from its *top* lambda
// -- the innermost lambda binding one of its free variables, or else its outermost lambda --
// down to its innermost one.  Two equal subexpressions meet first in the body of the deeper of
// their two tops, when that lambda lies above both; there they are written once (or vanish
// inside a larger shared expression).  So only those lambdas are marked, for every pair of
// non-atomic subexpressions with one fingerprint; a body that is not marked has nothing to
// share and its walk is skipped.  Binders' types are ignored, so no share is ever missed.
// Only a site inside a lambda has a top, and one inside a lambda L (L itself lying inside no
// lambda) has its top in L: so each such L is walked on its own, and the rest of the
// expression (most of it, its data) not at all.
struct Candidates {
    Expr root;
    Walk walk;
    std::vector<char> marked;  // per lambda site

    explicit Candidates(const Expr& lambda) : root(lambda), walk(walkSites(root, true)), marked(walk.sites.size()) {
        const std::vector<int> tops = topLambdas();
        const std::vector<Print> prints = fingerprints(walk);
        std::unordered_map<std::uint64_t, std::vector<int>> classes;
        for (int i = 0; i < static_cast<int>(walk.sites.size()); ++i)
            if (tops[i] >= 0) classes[prints[i].hash].push_back(i);
        for (auto& entry : classes)
            if (entry.second.size() > 1) markMeetings(entry.second, tops);
    }
    Candidates(const Candidates&) = delete;
    Candidates& operator=(const Candidates&) = delete;

private:
    // For each non-atomic site inside a lambda, its top lambda (above); -1 for the others.
    std::vector<int> topLambdas() const {
        const std::vector<Site>& sites = walk.sites;
        const std::size_t n = sites.size();
        std::vector<int> outermost(n, -1);
        for (std::size_t k = 1; k < n; ++k) {
            const int up = sites[k].parent;
            outermost[k] = outermost[up] >= 0 ? outermost[up] : (sites[up].expr->isLam() ? up : -1);
        }
        const std::vector<int> binder = bindingLambdas(walk);
        // The lambdas above a site that bind its free variables, by site (an ancestor's site
        // comes first), gathered bottom-up; a lambda drops itself.
        std::vector<std::vector<int>> binders(n);
        std::vector<int> tops(n, -1);
        for (std::size_t k = n; k-- > 0;) {
            const Site& s = sites[k];
            std::vector<int>& mine = binders[k];
            switch (s.expr->kind()) {
            case ExprKind::Var:
                if (binder[k] >= 0) mine.push_back(binder[k]);
                break;
            case ExprKind::Lam:
                mine = std::move(binders[s.kids[0]]);
                if (!mine.empty() && mine.back() == static_cast<int>(k)) mine.pop_back();
                break;
            case ExprKind::Ap: {
                std::vector<int>& f = binders[s.kids[0]];
                std::vector<int>& a = binders[s.kids[1]];
                std::set_union(f.begin(), f.end(), a.begin(), a.end(), std::back_inserter(mine));
                std::vector<int>().swap(f);
                std::vector<int>().swap(a);
                break;
            }
            default: break;
            }
            if (!s.expr->isVar() && !s.expr->isCon()) tops[k] = mine.empty() ? outermost[k] : mine.back();
        }
        return tops;
    }

    // Marks the top of each member that meets another member of its class there: one inside
    // the top's subtree whose own top is no deeper.
    void markMeetings(std::vector<int> members, const std::vector<int>& tops) {
        auto depthOfTop = [&](int m) { return walk.sites[tops[m]].depth; };
        std::stable_sort(members.begin(), members.end(), [&](int a, int b) { return depthOfTop(a) < depthOfTop(b); });
        std::set<int> placed;  // visiting positions of the members whose top is no deeper
        for (std::size_t k = 0; k < members.size();) {
            std::size_t end = k;
            while (end < members.size() && depthOfTop(members[end]) == depthOfTop(members[k])) placed.insert(members[end++]);
            for (; k < end; ++k) {
                const int top = tops[members[k]];
                const int own = members[k];
                auto it = placed.lower_bound(top);
                const int last = top + walk.size[top] - 1;
                if (it != placed.end() && *it == own) ++it;
                if (it != placed.end() && *it <= last) marked[top] = 1;
            }
        }
    }
};

// cses with explicit work stacks: the supply threads through the lambda bodies in order,
// function before argument, each body shared before the lambdas inside it are visited.
class LambdaBodies {
public:
    LambdaBodies(const std::vector<TypedVar>& ctx, NameSupply supply) : ctx_(ctx), supply_(std::move(supply)) {}

    Expr rebuild(const Expr& e) {
        tasks_.push_back(visit(e));
        while (!tasks_.empty()) {
            Task t = std::move(tasks_.back());
            tasks_.pop_back();
            step(t);
        }
        Expr out = std::move(values_.back());
        values_.pop_back();
        return out;
    }
    const NameSupply& supply() const { return supply_; }

private:
    enum class Do : std::uint8_t { Visit, BuildAp, BuildLam, BuildLet };
    struct Task {
        Do what;
        Expr node;
        std::shared_ptr<const Candidates> facts;  // for Visit: where node stands, if known
        int site = -1;
    };

    static bool stays(const Expr& node) { return !node.holdsAny(ExprHolds::Lam | ExprHolds::Let); }

    // The visit of a node outside every lambda whose candidates are known: a lambda is given
    // its own.  With binders around the whole expression every body may share: no candidates.
    Task visit(const Expr& e) {
        if (!e.isLam() || !ctx_.empty()) return Task{Do::Visit, e, nullptr, -1};
        return Task{Do::Visit, e, std::make_shared<const Candidates>(e), 0};
    }

    Expr pop() {
        Expr v = std::move(values_.back());
        values_.pop_back();
        return v;
    }

    void step(const Task& t) {
        const Expr& node = t.node;
        switch (t.what) {
        case Do::Visit: return visitNode(t);
        case Do::BuildAp: {
            Expr a = pop();
            Expr f = pop();
            values_.push_back(f.sameNode(node.fun()) && a.sameNode(node.arg()) ? node
                                                                                : mkAp(f, a, node.lazyType()));
            return;
        }
        case Do::BuildLam: {
            Expr body = pop();
            values_.push_back(body.sameNode(node.body()) ? node : mkLam(node.pattern(), body, node.lazyType()));
            return;
        }
        case Do::BuildLet: values_.push_back(mkLet(node.defs(), pop(), node.lazyType())); return;
        }
    }

    void visitNode(const Task& t) {
        const Expr& node = t.node;
        if (stays(node)) {
            values_.push_back(node);
            return;
        }
        const Site* site = t.facts ? &t.facts->walk.sites[t.site] : nullptr;
        switch (node.kind()) {
        case ExprKind::Ap:
            tasks_.push_back(Task{Do::BuildAp, node, nullptr, -1});
            tasks_.push_back(site ? Task{Do::Visit, node.arg(), t.facts, site->kids[1]} : visit(node.arg()));
            tasks_.push_back(site ? Task{Do::Visit, node.fun(), t.facts, site->kids[0]} : visit(node.fun()));
            return;
        case ExprKind::Lam: return visitLambda(node, t.facts, site ? t.site : -1);
        case ExprKind::Let: patternFail(CodedFailure::CommonSubexpressionsLet);
        default: values_.push_back(node); return;
        }
    }

    void visitLambda(const Expr& lam, const std::shared_ptr<const Candidates>& facts, int lamSite) {
        const Expr& body = lam.body();
        const int bodySite = lamSite >= 0 ? facts->walk.sites[lamSite].kids[0] : -1;
        tasks_.push_back(Task{Do::BuildLam, lam, nullptr, -1});
        const bool nothingToShare = facts && lamSite >= 0 && !facts->marked[lamSite] && !body.holdsAny(ExprHolds::Let);
        if (nothingToShare) {
            tasks_.push_back(Task{Do::Visit, body, facts, bodySite});
            return;
        }
        auto [shared, s1] = shareCommon(CtxExpr{body, ctx_}, supply_);
        supply_ = std::move(s1);
        const Expr& e = shared.first;
        if (e.sameNode(body) && facts && bodySite >= 0) {
            tasks_.push_back(Task{Do::Visit, body, facts, bodySite});
        } else if (e.isLet()) {
            tasks_.push_back(Task{Do::BuildLet, e, nullptr, -1});
            tasks_.push_back(visit(e.body()));
        } else {
            tasks_.push_back(visit(e));
        }
    }

    const std::vector<TypedVar>& ctx_;
    NameSupply supply_;
    std::vector<Task> tasks_;
    std::vector<Expr> values_;
};

}  // namespace

CtxExprRun shareCommon(const CtxExpr& at, const NameSupply& supply) {
    const auto& [e, ctx] = at;
    if (!e.holdsAny(ExprHolds::Lam | ExprHolds::Let)) {
        auto written = shareLambdaFree(e, ctx, [&supply] { return supply; });
        if (!written) return {at, supply};
        return {CtxExpr{std::move(written->first), ctx}, std::move(written->second)};
    }
    Grouping found;
    found.walk = walkSites(e, false);
    found.groups = groupPairs(found.walk, ctx);
    if (found.groups.empty()) return {at, supply};
    auto [folded, rest] = writeOnce(e, std::move(found), supply);
    return {CtxExpr{std::move(folded), ctx}, std::move(rest)};
}

CtxExprRun cses(const CtxExpr& at, const NameSupply& supply) {
    if (!at.first.holdsAny(ExprHolds::Lam | ExprHolds::Let)) return {at, supply};  // no body to share in
    LambdaBodies run(at.second, supply);
    Expr out = run.rebuild(at.first);
    return {CtxExpr{out, at.second}, run.supply()};
}

CtxExprRun csesTop(const CtxExpr& at, const NameSupply& supply) {
    const Expr& e = at.first;
    if (!e.isLet()) return cses(at, supply);
    LambdaBodies run(at.second, supply);
    Expr body = run.rebuild(e.body());
    return {CtxExpr{mkLet(e.defs(), body, e.lazyType()), at.second}, run.supply()};
}

CtxExprRun shareAll(const CtxExpr& at, const NameSupply& supply) {
    auto [shared, s1] = shareCommon(at, supply);
    return csesTop(shared, s1);
}

}  // namespace plim
