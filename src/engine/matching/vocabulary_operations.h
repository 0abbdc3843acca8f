// The term operations that both matchers' terms answer alike, written once over the one
// vocabulary (term_vocabulary.h).  Each matcher takes them into its own namespace with
// using-declarations, so that they are found as the vocabulary's names for its terms.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/binder_walks.h"
#include "engine/matching/term_vocabulary.h"
#include "support/small_vec.h"

namespace plim::term_ops {

// A tuple binder's parts, nothing for a variable: how the binder walks go down.
template <class B>
const std::vector<B>* tupleParts(const B& b) {
    return b.isVar() ? nullptr : &b.components();
}

// The names a binder binds, left to right.
template <class B>
std::vector<std::string> binderNames(const B& b) {
    std::vector<std::string> out;
    binder_walks::anyName(b, [](const B& x) -> const std::vector<B>& { return x.components(); },
                          [&out](const std::string& n) {
                              out.push_back(n);
                              return false;
                          });
    return out;
}

// Pattern binder first: the pairs (pattern's name, term's name) that make the two alike, or
// nothing when their shapes differ.
template <class B>
std::optional<std::vector<std::pair<std::string, std::string>>> matchBinders(const B& pattern, const B& term) {
    if (pattern.isVar() && term.isVar()) return std::vector<std::pair<std::string, std::string>>{{pattern.name(), term.name()}};
    std::vector<std::pair<std::string, std::string>> out;
    const bool fit = binder_walks::zip(pattern, term, tupleParts<B>, tupleParts<B>, [&out](const B& p, const B& t) {
        if (!t.isVar()) return false;
        out.emplace_back(p.name(), t.name());
        return true;
    });
    if (!fit) return std::nullopt;
    return out;
}

// Pushes the parts of a term onto a walk's work stack, the first on top.
template <TermNodes Term, class Stack>
void pushChildren(const Term& t, Stack& work) {
    using K = typename Term::Kind;
    switch (t.kind()) {
    case K::Ap:
        work.push_back(&t.arg());
        work.push_back(&t.fun());
        break;
    case K::Lam: work.push_back(&t.body()); break;
    case K::Tupl:
        for (std::size_t i = t.elems().size(); i-- > 0;) work.push_back(&t.elems()[i]);
        break;
    default: break;
    }
}

// Some node of t (t itself included) answers `found`; `enter(u)` says whether the walk goes
// below u.  A work stack of its own: the walk stops at the first find.
template <TermNodes Term, class Found, class Enter>
bool anyNode(const Term& t, const Found& found, const Enter& enter) {
    SmallVec<const Term*, 16> work;  // most walks need no heap block
    work.push_back(&t);
    while (!work.empty()) {
        const Term& u = *work.back();
        work.resize(work.size() - 1);
        if (found(u)) return true;
        if (enter(u)) pushChildren(u, work);
    }
    return false;
}

// The LVar x occurs in t (bound inside it or not).
template <TermNodes Term>
bool occursLVar(const std::string& x, const Term& t) {
    using K = typename Term::Kind;
    if (!t.hasLVar()) return false;
    return anyNode(
        t, [&x](const Term& u) { return u.is(K::LVar) && u.name() == x; }, [](const Term& u) { return u.hasLVar(); });
}

// The body under the leading lambdas, and their binders' names (innermost first) before acc.
template <TermNodes Term>
std::pair<Term, std::vector<std::string>> stripLams(const Term& t, std::vector<std::string> acc = {}) {
    Term at = t;
    while (at.is(Term::Kind::Lam)) {
        std::vector<std::string> names = binderNames(at.binder());
        names.insert(names.end(), acc.begin(), acc.end());
        acc = std::move(names);
        Term next = at.body();
        at = std::move(next);
    }
    return {at, std::move(acc)};
}

}  // namespace plim::term_ops
