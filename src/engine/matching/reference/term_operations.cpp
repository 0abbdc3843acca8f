#include "engine/matching/reference/term_operations.h"

#include <algorithm>
#include <deque>
#include <unordered_map>
#include <unordered_set>

#include "engine/matching/binder_walks.h"
#include "engine/matching/local_renaming.h"
#include "engine/matching/renaming_equality.h"
#include "engine/matching/two_step_patterns.h"
#include "support/errors.h"
#include "support/hashing.h"
#include "support/release.h"

namespace plim::ref {

using term_detail::rebuildTerm;
using term_ops::anyNode;

// ---------------------------------------------------------------------------------------
// Positions
// ---------------------------------------------------------------------------------------

StepList::Cell::~Cell() {
    releaseSoleChildren(*this, [](Cell& c, auto take) { take(c.up); });
}

StepList StepList::push(TermStep s) const {
    const std::size_t n = cell_ ? cell_->length + 1 : 1;
    return StepList(std::make_shared<const Cell>(s, cell_, n));
}

Path StepList::toPath() const {
    Path out(cell_ ? cell_->length : 0, First);
    std::size_t i = out.size();
    for (const Cell* c = cell_.get(); c; c = c->up.get()) out[--i] = c->step;
    return out;
}

namespace {

// The positions still to be listed, next first.  A long chain (the arguments of a long
// application spine wait here) is released one cell at a time.
struct Pending {
    Position pos;
    mutable std::shared_ptr<const Pending> rest;

    Pending(Position p, std::shared_ptr<const Pending> r) : pos(std::move(p)), rest(std::move(r)) {}
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;
    ~Pending() {
        releaseSoleChildren(*this, [](Pending& p, auto take) { take(p.rest); });
    }
};

List<Position> positionsFrom(std::shared_ptr<const Pending> pending) {
    return List<Position>::defer([pending]() {
        if (!pending) return List<Position>();
        const Position& p = pending->pos;
        std::shared_ptr<const Pending> rest = pending->rest;
        const Term& t = p.sub;
        const std::vector<Term>& parts = subterms(t);
        for (std::size_t i = parts.size(); i-- > 0;) {
            TermStep step = t.is(TermKind::Ap) ? (i == 0 ? First : Second)
                            : t.is(TermKind::Lam) ? Body
                                                  : TupElem(static_cast<std::int32_t>(i));
            rest = std::make_shared<const Pending>(Position{parts[i], p.path.push(step)}, rest);
        }
        return List<Position>::cons(p, positionsFrom(rest));
    });
}

}  // namespace

List<Position> positions(const Term& t) {
    return positionsFrom(std::make_shared<const Pending>(Position{t, StepList()}, nullptr));
}

std::vector<std::pair<std::string, bool>> freeLocalsAt(const Term& t, const Position& pos) {
    std::vector<std::pair<std::string, bool>> out;
    if (!pos.sub.hasLVar()) return out;
    const std::vector<std::string> free = freeLocalsOf(pos.sub);
    if (free.empty()) return out;
    const std::vector<std::string> inner = bindersOnPath(t, pos.path.toPath());
    for (const std::string& n : free) out.emplace_back(n, std::find(inner.begin(), inner.end(), n) != inner.end());
    return out;
}

// ---------------------------------------------------------------------------------------
// Replacement
// ---------------------------------------------------------------------------------------

Term withChild(const Term& t, const TermStep& s, Term&& c) {
    std::vector<Term> parts = subterms(t);
    const std::size_t i = s.kind == StepKind::Second ? 1 : s.kind == StepKind::TupElem ? static_cast<std::size_t>(s.position) : 0;
    parts[i] = std::move(c);
    return withSubterms(t, std::move(parts), t.type());
}

// ---------------------------------------------------------------------------------------
// Names and constants
// ---------------------------------------------------------------------------------------

// The reference matcher keeps its own walk, with a count per name of the lambdas around the
// node: it is the yardstick the fast matcher is measured against, and the shared walk
// (term_ops::freeLocalsOf) would take 6% off its corpus benchmarks.
std::vector<std::string> freeLocalsOf(const Term& root) {
    // How many lambdas around the node being visited bind each name.
    struct Visitor {
        std::vector<std::string> out;
        std::unordered_map<std::string, int> bound;
        bool enter(const Term* t, std::vector<const Term*>& children) {
            if (!t->hasLVar()) return false;
            if (t->is(TermKind::LVar)) {
                auto it = bound.find(t->name());
                if (it == bound.end() || it->second == 0) out.push_back(t->name());
                return false;
            }
            if (t->is(TermKind::Lam))
                for (const std::string& n : binderNames(t->binder())) ++bound[n];
            for (const Term& part : subterms(*t)) children.push_back(&part);
            return true;
        }
        void leave(const Term* t) {
            if (t->is(TermKind::Lam))
                for (const std::string& n : binderNames(t->binder())) --bound[n];
        }
    } visitor;
    walkTree<const Term*>(&root, visitor);
    return std::move(visitor.out);
}

bool isFreeLocal(const std::string& x, const Term& t) {
    const std::vector<std::string> free = freeLocalsOf(t);
    return std::find(free.begin(), free.end(), x) != free.end();
}

std::vector<std::string> patternVars(const Term& t) {
    std::vector<std::string> out;
    anyNode(
        t,
        [&out](const Term& u) {
            if (u.is(TermKind::PVar)) out.push_back(u.name());
            return false;
        },
        [](const Term& u) { return u.hasPVar(); });
    return out;
}

// ---------------------------------------------------------------------------------------
// Renaming without capture
// ---------------------------------------------------------------------------------------

Term renameFreeLocals(const NameMap& renaming, const Term& t, std::unordered_set<std::string>& used) {
    auto names = [&used]() -> std::unordered_set<std::string>& { return used; };
    return local_renaming::renameFreeLocals(renaming, t, names);
}

// ---------------------------------------------------------------------------------------
// Binders and eta
// ---------------------------------------------------------------------------------------

std::optional<std::vector<std::pair<std::string, Term>>> bindBinder(const LamBinding& b, const Term& t) {
    std::vector<std::pair<std::string, Term>> out;
    const bool fit = binder_walks::zip(
        b, t, term_ops::tupleParts<LamBinding>, [](const Term& u) { return u.is(TermKind::Tupl) ? &u.elems() : nullptr; },
        [&out](const LamBinding& x, const Term& u) {
            out.emplace_back(x.name(), u);
            return true;
        });
    if (!fit) return std::nullopt;
    return out;
}

Term etaNormalise(const Term& t) {
    auto lambdaFree = [](const Term& u) { return u.hasLam() ? std::nullopt : std::optional<Term>(u); };
    return rebuildTerm(t, lambdaFree, [](const Term& u, std::vector<Term> parts) -> Term {
        if (!u.is(TermKind::Lam)) return rebuilt(u, std::move(parts));
        return etaReduce(rebuilt(u, std::move(parts)));
    });
}

bool isEtaNormal(const Term& t) {
    return !anyNode(
        t, [](const Term& u) { return u.is(TermKind::Lam) && isEtaRedex(u); }, [](const Term& u) { return u.hasLam(); });
}

// The walk goes through applications and lambdas only, and not into a redex.
bool bindersFit(const Term& t) {
    auto redex = [](const Term& u) { return u.is(TermKind::Ap) && u.fun().is(TermKind::Lam); };
    return !anyNode(
        t, [&redex](const Term& u) { return redex(u) && !bindBinder(u.fun().binder(), u.arg()); },
        [&redex](const Term& u) { return u.hasLam() && (u.is(TermKind::Lam) || (u.is(TermKind::Ap) && !redex(u))); });
}

// ---------------------------------------------------------------------------------------
// Equality and steering
// ---------------------------------------------------------------------------------------

bool termEqUpTo(const std::vector<std::string>& ns1, const std::vector<std::string>& ns2, const Term& t1,
                const Term& t2) {
    return renaming_equality::eqUpTo(t1, t2, [](const Term&, const Term&) { return false; }, ns1, ns2);
}

bool termEq(const Term& t1, const Term& t2) { return termEqUpTo({}, {}, etaNormalise(t1), etaNormalise(t2)); }

namespace {

// s eta-expanded as the lambda l's partner: s applied to the variable x, which no term names.
std::optional<Term> etaPartner(const Term& l, const Term& s, const std::string& x) {
    const Type& t = l.type();
    if (!l.binder().isVar() || !t.isTCon() || t.name() != arrowName || t.args().size() != 2) return std::nullopt;
    return Ap(s, LVar(x, argType(t)), resType(t));
}

// The local variables a and b stand for each other: bound at the same distance, or both free
// and of one name.
bool sameLocal(const renaming_equality::BoundOnBothSides& bound, const Term& a, const Term& b) {
    const auto d1 = renaming_equality::boundDepth(bound.left, a.name());
    const auto d2 = renaming_equality::boundDepth(bound.right, b.name());
    if (d1 || d2) return d1 && d2 && *d1 == *d2;
    return a.name() == b.name();
}

}  // namespace

bool termsClash(const Term& t1, const Term& t2) {
    // A work stack of its own: the walk goes down two terms side by side and stops early.  A
    // task without terms marks where binders leave scope.  The eta partners and the names of
    // their variables are kept where their addresses stay.
    struct Task {
        const Term* a;
        const Term* b;
        std::size_t leaving;
    };
    renaming_equality::BoundOnBothSides bound;
    std::deque<Term> partners;
    std::deque<std::string> etaNames;
    std::vector<Task> stack{{&t1, &t2, 0}};
    while (!stack.empty()) {
        const Task task = stack.back();
        stack.pop_back();
        if (!task.a) {
            bound.left.resize(bound.left.size() - task.leaving);
            bound.right.resize(bound.right.size() - task.leaving);
            continue;
        }
        const Term& a = *task.a;
        const Term& b = *task.b;
        if ((a.sameNode(b) && !a.hasLVar()) || a.is(TermKind::PVar) || b.is(TermKind::PVar)) continue;
        if (a.is(TermKind::Lam) != b.is(TermKind::Lam)) {
            // The other side taken as the lambda of its eta step, when the binder is one variable.
            const bool left = a.is(TermKind::Lam);
            const Term& l = left ? a : b;
            const std::string& x = etaNames.emplace_back(" eta" + std::to_string(etaNames.size()));
            std::optional<Term> partner = etaPartner(l, left ? b : a, x);
            if (!partner) continue;
            const Term& other = partners.emplace_back(std::move(*partner));
            bound.left.push_back(left ? &l.binder().name() : &x);
            bound.right.push_back(left ? &x : &l.binder().name());
            stack.push_back({nullptr, nullptr, 1});
            stack.push_back({left ? &l.body() : &other, left ? &other : &l.body(), 0});
            continue;
        }
        if (a.kind() != b.kind()) return true;
        switch (a.kind()) {
        case TermKind::LVar:
            if (!sameLocal(bound, a, b)) return true;
            break;
        case TermKind::PVar: break;  // passed over above
        case TermKind::Con:
            if (!eqConstant(a.constant(), b.constant())) return true;
            break;
        case TermKind::Ap:
            stack.push_back({&a.arg(), &b.arg(), 0});
            stack.push_back({&a.fun(), &b.fun(), 0});
            break;
        case TermKind::Lam:
            // Binders of one shape pair their names; others are passed over.
            if (const std::optional<std::size_t> entered = bound.enter(a.binder(), b.binder())) {
                stack.push_back({nullptr, nullptr, *entered});
                stack.push_back({&a.body(), &b.body(), 0});
            }
            break;
        case TermKind::Tupl:
            if (a.elems().size() != b.elems().size()) return true;
            for (std::size_t i = a.elems().size(); i-- > 0;) stack.push_back({&a.elems()[i], &b.elems()[i], 0});
            break;
        }
    }
    return false;
}

bool holdsBetaRedex(const Term& t) {
    return anyNode(
        t, [](const Term& u) { return u.is(TermKind::Ap) && u.fun().is(TermKind::Lam); },
        [](const Term& u) { return u.hasLam(); });
}

namespace {

// What eqConstant compares, as far as it is cheap to hash (a float's value is left out: 0 and
// -0 are equal).
std::uint64_t constantHash(const Constant& k) {
    const auto kind = static_cast<std::uint64_t>(k.kind());
    switch (k.kind()) {
    case ConstantKind::Number: return mixHash(kind, static_cast<std::uint32_t>(k.number()));
    case ConstantKind::Tuple: return mixHash(kind, static_cast<std::uint32_t>(k.arity()));
    case ConstantKind::Binop: return mixHash(kind, static_cast<std::uint64_t>(k.op()));
    case ConstantKind::Boolean: return mixHash(kind, k.boolean() ? 1 : 0);
    case ConstantKind::Constr: return mixHash(kind, std::hash<std::string>{}(k.constrName()));
    default: return kind;
    }
}

// The part of one node that termEqUpTo compares before its children.
std::uint64_t nodeHash(const Term& t) {
    std::uint64_t h = mixHash(static_cast<std::uint64_t>(t.kind()), t.type().hashCode());
    switch (t.kind()) {
    case TermKind::PVar: return mixHash(h, std::hash<std::string>{}(t.name()));
    case TermKind::Con: return mixHash(h, constantHash(t.constant()));
    case TermKind::Lam: return mixHash(h, t.binder().isVar() ? 0 : 1 + t.binder().components().size());
    case TermKind::Tupl: return mixHash(h, t.elems().size());
    default: return h;
    }
}

}  // namespace

std::uint64_t termHash(const Term& t) {
    // The nodes in pre-order; equal terms have the same shape, so the same sequence.
    std::uint64_t h = 0;
    anyNode(
        t,
        [&h](const Term& u) {
            h = mixHash(h, nodeHash(u));
            return false;
        },
        [](const Term&) { return true; });
    return h;
}

bool flexibleHead(const Term& t) {
    Term at = t;
    while (at.is(TermKind::Ap)) {
        Term next = at.fun();
        at = std::move(next);
    }
    return at.is(TermKind::PVar) || at.is(TermKind::Lam);
}

bool isTwoStepPattern(const Term& t) { return suitsTwoStep(t); }

}  // namespace plim::ref
