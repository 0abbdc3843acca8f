// The rigid top of a pattern against a term, for both matchers' term types.
#pragma once

#include "lang/constants.h"

namespace plim {

// The top of u has the form that the rigid top of x requires: the same constant or local
// variable, a tuple of as many elements, or, for an application with a rigid head (`flexible`
// tells), as many arguments applied to such a head.  Substitutions never change these parts of
// x, and the matchers take a rigid-headed application apart only against an application, so
// otherwise the problem (x, u) fails at once, without an error.
template <class Term, class Flexible>
bool rigidTopAllows(const Term& x, const Term& u, const Flexible& flexible) {
    using K = decltype(x.kind());
    const Term* p = &x;
    const Term* b = &u;
    if (p->is(K::Ap)) {
        if (flexible(*p)) return true;
        for (; p->is(K::Ap); p = &p->fun(), b = &b->fun())
            if (!b->is(K::Ap)) return false;
    }
    switch (p->kind()) {
    case K::Con: return b->is(K::Con) && eqConstant(p->constant(), b->constant());
    case K::LVar: return b->is(K::LVar) && b->name() == p->name();
    case K::Tupl: return b->is(K::Tupl) && b->elems().size() == p->elems().size();
    default: return true;
    }
}

}  // namespace plim
