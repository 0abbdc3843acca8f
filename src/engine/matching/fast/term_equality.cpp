// Fast matcher terms: eta contraction and normal forms, and equality up to the renaming of
// bound variables and eta.
#include <optional>
#include <string>
#include <vector>

#include "engine/matching/fast/term_node.h"
#include "engine/matching/fast/terms.h"
#include "engine/matching/renaming_equality.h"

namespace plim::fast {

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
        [](const LamBinding&) { return true; },
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

bool holdsEtaRedex(const Term& root) {
    if (!root.hasLam()) return false;
    // Normalising rebuilds only what some lambda that is a redex as it stands changes: without
    // one, every node is kept, and with one the root changes.  So the lambdas are read as they
    // are, without rebuilding anything; a node without a local variable holds no redex
    // (knownEtaNormal).  A work stack of its own: the walk stops at the first redex.
    thread_local std::vector<const Term*> pending;
    pending.assign(1, &root);
    while (!pending.empty()) {
        const Term& u = *pending.back();
        pending.pop_back();
        if (!u.hasLam()) continue;
        if (const Term* known = knownEtaNormal(u)) {
            if (known->sameNode(u)) continue;
            return true;
        }
        switch (u.kind()) {
        case TermKind::Lam:
            if (!etaReduce(u).sameNode(u)) return true;
            pending.push_back(&u.body());
            break;
        case TermKind::Ap:
            pending.push_back(&u.arg());
            pending.push_back(&u.fun());
            break;
        case TermKind::Tupl:
            for (const Term& e : u.elems()) pending.push_back(&e);
            break;
        default: break;
        }
    }
    return false;
}

namespace {

// Equal terms are of one size: the comparison tells most unequal pairs apart at once.
bool differInSize(const Term& s, const Term& t) { return s.size() != t.size(); }

}  // namespace

bool termEq(const Term& s, const Term& t) {
    if (s.sameNode(t)) return true;
    // Without lambdas both are their own eta normal forms, which eqUpTo compares kind and
    // size first.
    if (!s.hasLam() && !t.hasLam()) {
        if (s.kind() != t.kind() || s.size() != t.size()) return false;
        // Two leaves, with no binder in scope: the nodes alone decide.
        if (s.size() == 1) {
            static const renaming_equality::BoundOnBothSides none;
            return renaming_equality::sameNodeUpTo(none, s, t);
        }
        return renaming_equality::eqUpTo(s, t, differInSize);
    }
    // Eta contraction keeps the kind of a node that is no lambda, and only makes a term
    // smaller: a term without lambdas larger than the other cannot equal it.
    if (!s.is(TermKind::Lam) && !t.is(TermKind::Lam) && s.kind() != t.kind()) return false;
    if ((!s.hasLam() && s.size() > t.size()) || (!t.hasLam() && t.size() > s.size())) return false;
    return renaming_equality::eqUpTo(etaNormalise(s), etaNormalise(t), differInSize);
}

}  // namespace plim::fast
