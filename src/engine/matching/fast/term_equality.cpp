// Fast matcher terms: eta contraction and normal forms, and equality up to the renaming of
// bound variables and eta.
#include <optional>
#include <string>
#include <vector>

#include "engine/matching/fast/term_node.h"
#include "engine/matching/fast/terms.h"

namespace plim::fast {

bool binderIsArgument(const LamBinding& binder, const Term& arg) {
    return binder_walks::zip(
        binder, arg, tupleParts,
        [](const Term& a) { return a.is(TermKind::Tupl) ? &a.elems() : nullptr; },
        [](const LamBinding& b, const Term& a) { return a.is(TermKind::LVar) && a.name() == b.name(); });
}

Term etaReduce(const Term& t) {
    if (!t.is(TermKind::Lam) || !t.body().is(TermKind::Ap)) return t;
    const Term& f = t.body().fun();
    if (!binderIsArgument(t.binder(), t.body().arg())) return t;
    for (const std::string& n : binderNames(t.binder()))
        if (occursLVar(n, f) && listed(freeLocalSet(f), n)) return t;
    return f;
}

namespace {

// The eta normal form of t when it is known without a walk: t itself when t holds no local
// variable and is no lambda (no lambda below can then be an eta redex, as its body would
// mention its own variable), else the one kept at the node.
const Term* knownEtaNormal(const Term& t) {
    if (!t.hasLVar() && !t.is(TermKind::Lam)) return &t;
    const TermCache& c = TermBuilder::of(t).memo();
    if (c.etaNormalIsSelf) return &t;
    return c.etaNormal ? &*c.etaNormal : nullptr;
}

}  // namespace

Term etaNormalise(const Term& root) {
    if (const Term* known = knownEtaNormal(root)) return *known;
    // A node whose normal form is kept but is not the node itself is entered all the same: its
    // children answer at once, and the kept form is taken.
    return mapTerm(
        root, [](const Term& u) { return knownEtaNormal(u) != &u; }, [](const Term& u) { return u; },
        [](const LamBinding&) { return true; }, [](const LamBinding&) {},
        [](const Term& u, std::vector<Term>& kids, bool changed) -> Term {
            TermCache& c = TermBuilder::of(u).memo();
            if (c.etaNormal) return *c.etaNormal;
            Term out = rebuildNode(u, kids, changed);
            if (u.is(TermKind::Lam)) out = etaReduce(out);
            if (out.sameNode(u)) c.etaNormalIsSelf = true;
            else c.etaNormal = out;
            return out;
        });
}

namespace {

// The distance from the innermost binder of the last occurrence of n, or nothing.
std::optional<std::size_t> boundDepth(const std::vector<const std::string*>& bound, const std::string& n) {
    for (std::size_t i = bound.size(); i-- > 0;)
        if (*bound[i] == n) return bound.size() - 1 - i;
    return std::nullopt;
}

// The binders entered on each side, innermost last, while the pairs below them are compared:
// the names inside the binders, which the compared terms keep alive.
struct BoundOnBothSides {
    std::vector<const std::string*> left, right;

    // The names bound on each side at the same positions are equal.
    bool alike() const {
        for (std::size_t i = 0; i < left.size(); ++i)
            if (*left[i] != *right[i]) return false;
        return true;
    }
    // Pairs the variables of two binders (as matchBinders does) and enters them; how many, or
    // nothing when the binders do not fit.
    std::optional<std::size_t> enter(const LamBinding& s, const LamBinding& t) {
        const std::size_t before = left.size();
        if (s.isVar() && t.isVar()) {
            left.push_back(&s.name());
            right.push_back(&t.name());
            return 1;
        }
        const bool fit = binder_walks::zip(s, t, tupleParts, tupleParts, [this](const LamBinding& p, const LamBinding& q) {
            if (!q.isVar()) return false;
            left.push_back(&p.name());
            right.push_back(&q.name());
            return true;
        });
        if (fit) return left.size() - before;
        left.resize(before);
        right.resize(before);
        return std::nullopt;
    }
};

// The two nodes agree, their children and types aside.
bool sameNodePartsUpTo(const BoundOnBothSides& b, const Term& s, const Term& t) {
    switch (s.kind()) {
    case TermKind::LVar: {
        const auto d1 = boundDepth(b.left, s.name()), d2 = boundDepth(b.right, t.name());
        if (d1 || d2) return d1 && d2 && *d1 == *d2;
        return s.name() == t.name();
    }
    case TermKind::PVar: return s.name() == t.name();
    case TermKind::Con: return eqConstant(s.constant(), t.constant());
    case TermKind::Tupl: return s.elems().size() == t.elems().size();
    default: return true;
    }
}

// The two nodes agree, their children aside.  Names and constants tell most unequal nodes
// apart, so they are compared before the types.
bool sameNodeUpTo(const BoundOnBothSides& b, const Term& s, const Term& t) {
    return sameNodePartsUpTo(b, s, t) && (s.type().sameNode(t.type()) || eqType(s.type(), t.type()));
}

// Equality up to the renaming of bound variables, pair by pair on a work stack, children
// from left to right; a pair without terms marks where a lambda's binders leave scope.
bool eqUpTo(const Term& root1, const Term& root2) {
    struct Pair {
        const Term* s;
        const Term* t;
        std::size_t leaving;  // on a mark: the number of binders to drop
    };
    // Kept for the next comparison (nothing below compares terms again).
    thread_local BoundOnBothSides b;
    thread_local std::vector<Pair> work;
    b.left.clear();
    b.right.clear();
    work.assign(1, Pair{&root1, &root2, 0});
    while (!work.empty()) {
        const Pair p = work.back();
        work.pop_back();
        if (!p.s) {
            b.left.resize(b.left.size() - p.leaving);
            b.right.resize(b.right.size() - p.leaving);
            continue;
        }
        const Term& s = *p.s;
        const Term& t = *p.t;
        if (s.kind() != t.kind() || s.size() != t.size()) return false;
        if (s.sameNode(t) && (!s.hasLVar() || b.alike())) continue;
        if (!sameNodeUpTo(b, s, t)) return false;
        switch (s.kind()) {
        case TermKind::Ap:
            work.push_back({&s.arg(), &t.arg(), 0});
            work.push_back({&s.fun(), &t.fun(), 0});
            break;
        case TermKind::Lam: {
            const std::optional<std::size_t> entered = b.enter(s.binder(), t.binder());
            if (!entered) return false;
            work.push_back({nullptr, nullptr, *entered});
            work.push_back({&s.body(), &t.body(), 0});
            break;
        }
        case TermKind::Tupl:
            for (std::size_t i = s.elems().size(); i-- > 0;) work.push_back({&s.elems()[i], &t.elems()[i], 0});
            break;
        default: break;
        }
    }
    return true;
}

}  // namespace

bool termEq(const Term& s, const Term& t) {
    if (s.sameNode(t)) return true;
    // Without lambdas both are their own eta normal forms, which eqUpTo compares kind and
    // size first.
    if (!s.hasLam() && !t.hasLam()) {
        if (s.kind() != t.kind() || s.size() != t.size()) return false;
        // Two leaves, with no binder in scope: the nodes alone decide.
        if (s.size() == 1) {
            static const BoundOnBothSides none;
            return sameNodeUpTo(none, s, t);
        }
        return eqUpTo(s, t);
    }
    // Eta contraction keeps the kind of a node that is no lambda, and only makes a term
    // smaller: a term without lambdas larger than the other cannot equal it.
    if (!s.is(TermKind::Lam) && !t.is(TermKind::Lam) && s.kind() != t.kind()) return false;
    if ((!s.hasLam() && s.size() > t.size()) || (!t.hasLam() && t.size() > s.size())) return false;
    return eqUpTo(etaNormalise(s), etaNormalise(t));
}

}  // namespace plim::fast
