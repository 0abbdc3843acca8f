// The rigid top of a pattern against a term, for both matchers' term types.
#pragma once

#include <cstddef>

#include "lang/constants.h"
#include "engine/matching/term_vocabulary.h"

namespace plim {

// For a lambda x, the rigid top of its body against u: a lambda of x against a lambda of u meets
// its body, and against anything else (by eta) u applied to one more argument.  So below the
// lambdas both have, x's body must have the rigid top that u applied to the k lambdas x has
// more requires: a constant or tuple top only when k is 0; an application of a rigid head to n
// arguments when u applied to k arguments has such a head n applications down.  A local
// variable at the top is left alone (the lambdas rename it).  Any other x: rigidTopAllows.
template <TermVocabulary Term>
bool lambdaTopAllows(const Term& x, const Term& u) {
    using K = decltype(x.kind());
    const Term* p = &x;
    const Term* b = &u;
    for (; p->is(K::Lam) && b->is(K::Lam); p = &p->body(), b = &b->body()) {
    }
    std::size_t extra = 0;  // arguments applied to b by the eta steps
    for (; p->is(K::Lam); p = &p->body()) ++extra;
    if (p->is(K::Ap) && flexibleHead(*p)) return true;
    std::size_t n = 0;  // arguments of p's head
    for (; p->is(K::Ap); p = &p->fun()) ++n;
    if (p->is(K::PVar) || p->is(K::Lam) || (p->is(K::LVar) && x.is(K::Lam))) return true;
    if (n < extra) return false;  // p's head meets an application of b
    for (std::size_t i = extra; i < n; ++i, b = &b->fun())
        if (!b->is(K::Ap)) return false;
    switch (p->kind()) {
    case K::Con: return b->is(K::Con) && eqConstant(p->constant(), b->constant());
    case K::LVar: return b->is(K::LVar) && b->name() == p->name();
    case K::Tupl: return b->is(K::Tupl) && b->elems().size() == p->elems().size();
    default: return true;
    }
}

// The top of u has the form that the rigid top of x requires: the same constant or local
// variable, a tuple of as many elements, or, for an application with a rigid head, as many
// arguments applied to such a head.  Substitutions never change these parts of x, and the
// matchers take a rigid-headed application apart only against an application, so otherwise the
// problem (x, u) fails at once, without an error.  A lambda x has no rigid top.
template <TermVocabulary Term>
bool rigidTopAllows(const Term& x, const Term& u) {
    return x.is(decltype(x.kind())::Lam) || lambdaTopAllows(x, u);
}

}  // namespace plim
