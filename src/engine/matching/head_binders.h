// Which binder of a lambda at the head of an application pattern receives its argument, and
// what that binder allows, for both matchers' term types.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>
#include "engine/matching/binder_walks.h"
#include "engine/matching/term_vocabulary.h"
#include "engine/matching/vocabulary_operations.h"

namespace plim {

// The pattern f x, where f is a lambda applied to n arguments (n >= 0), gives x to the lambda's
// (n + 1)-th binder: that binder, or null when f is no such lambda.
template <TermVocabulary Term>
auto receivingBinder(const Term& f) -> decltype(&f.binder()) {
    using K = decltype(f.kind());
    std::size_t applied = 0;
    const Term* h = &f;
    for (; h->is(K::Ap); h = &h->fun()) ++applied;
    for (; h->is(K::Lam); h = &h->body()) {
        if (applied == 0) return &h->binder();
        --applied;
    }
    return nullptr;
}

// The binder receiving x in f x is one variable.  Such a pattern arises when a pattern variable
// bound to a lambda is substituted into its application.  Its argument is then one value
// whatever its form: the images searched element by element for a tuple argument all bind a
// tuple of variables (or contract to the term's head), and a variable binder never pairs with
// a tuple binder, so they would miss the image that binds the whole tuple.
template <TermVocabulary Term>
bool headBinderTakesArgumentWhole(const Term& f) {
    const auto* b = receivingBinder(f);
    return b && b->isVar();
}

// An image for f that is no lambda (the head h of t = h a, taken by decomposition or by an
// abstraction of the whole argument that contracts to h) can give a result only when a has
// the tuple shape of the binder receiving f's argument: f matches h by eta expansion,
// \ (x, y) -> h (x, y), and the pattern instantiated is a redex of that lambda applied to a,
// which beta reduction contracts only for a tuple of that shape.
template <TermVocabulary Term>
bool nonLambdaImagesFit(const Term& f, const Term& t) {
    using K = decltype(f.kind());
    const auto* binder = receivingBinder(f);
    if (!binder || binder->isVar()) return true;
    if (!t.is(K::Ap)) return false;
    using B = typename Term::Binding;
    return binder_walks::zip(
        *binder, t.arg(), term_ops::tupleParts<B>, [](const Term& a) { return a.is(K::Tupl) ? &a.elems() : nullptr; },
        [](const B&, const Term&) { return true; });
}

}  // namespace plim
