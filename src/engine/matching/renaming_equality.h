// Equality of terms up to the renaming of lambda-bound variables, written once for both
// matchers' terms (the vocabulary's node, term_vocabulary.h).  Types are compared everywhere.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/matching/binder_walks.h"
#include "engine/matching/term_vocabulary.h"
#include "engine/matching/vocabulary_operations.h"
#include "lang/constants.h"
#include "lang/types.h"

namespace plim::renaming_equality {

// The distance from the innermost binder of the last occurrence of n, or nothing.
inline std::optional<std::size_t> boundDepth(const std::vector<const std::string*>& bound, const std::string& n) {
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
        if (left.size() != right.size()) return false;
        for (std::size_t i = 0; i < left.size(); ++i)
            if (*left[i] != *right[i]) return false;
        return true;
    }
    // Pairs the variables of two binders (as matchBinders does) and enters them; how many, or
    // nothing when the binders do not fit.
    template <class B>
    std::optional<std::size_t> enter(const B& s, const B& t) {
        const std::size_t before = left.size();
        if (s.isVar() && t.isVar()) {
            left.push_back(&s.name());
            right.push_back(&t.name());
            return 1;
        }
        const bool fit = binder_walks::zip(s, t, term_ops::tupleParts<B>, term_ops::tupleParts<B>, [this](const B& p, const B& q) {
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

// The two nodes agree, their children aside.  Names and constants tell most unequal nodes
// apart, so they are compared before the types.
template <TermNodes Term>
bool sameNodeUpTo(const BoundOnBothSides& b, const Term& s, const Term& t) {
    using K = typename Term::Kind;
    const bool parts = [&] {
        switch (s.kind()) {
        case K::LVar: {
            const auto d1 = boundDepth(b.left, s.name()), d2 = boundDepth(b.right, t.name());
            if (d1 || d2) return d1 && d2 && *d1 == *d2;
            return s.name() == t.name();
        }
        case K::PVar: return s.name() == t.name();
        case K::Con: return eqConstant(s.constant(), t.constant());
        case K::Tupl: return s.elems().size() == t.elems().size();
        default: return true;
        }
    }();
    return parts && (s.type().sameNode(t.type()) || eqType(s.type(), t.type()));
}

// root1 and root2 are equal up to the renaming of bound variables, with names1 and names2
// bound around them (innermost first).  `differ(s, t)` is a cheap test that tells some unequal
// pairs of one kind apart before their nodes are compared.  Pair by pair on a work stack of its
// own (the walk goes down two terms side by side and stops at the first difference), children
// from left to right; a pair without terms marks where a lambda's binders leave scope.
template <TermNodes Term, class Differ>
bool eqUpTo(const Term& root1, const Term& root2, const Differ& differ, const std::vector<std::string>& names1 = {},
            const std::vector<std::string>& names2 = {}) {
    using K = typename Term::Kind;
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
    for (auto it = names1.rbegin(); it != names1.rend(); ++it) b.left.push_back(&*it);
    for (auto it = names2.rbegin(); it != names2.rend(); ++it) b.right.push_back(&*it);
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
        if (s.kind() != t.kind() || differ(s, t)) return false;
        if (s.sameNode(t) && (!s.hasLVar() || b.alike())) continue;
        if (!sameNodeUpTo(b, s, t)) return false;
        switch (s.kind()) {
        case K::Ap:
            work.push_back({&s.arg(), &t.arg(), 0});
            work.push_back({&s.fun(), &t.fun(), 0});
            break;
        case K::Lam: {
            const std::optional<std::size_t> entered = b.enter(s.binder(), t.binder());
            if (!entered) return false;
            work.push_back({nullptr, nullptr, *entered});
            work.push_back({&s.body(), &t.body(), 0});
            break;
        }
        case K::Tupl:
            for (std::size_t i = s.elems().size(); i-- > 0;) work.push_back({&s.elems()[i], &t.elems()[i], 0});
            break;
        default: break;
        }
    }
    return true;
}

}  // namespace plim::renaming_equality
