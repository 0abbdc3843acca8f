// Which binder of a lambda at the head of an application pattern receives its argument, for
// both matchers' term types.
#pragma once

#include <cstddef>

namespace plim {

// The pattern f x, where f is a lambda applied to n arguments (n >= 0), gives x to the lambda's
// (n + 1)-th binder; true when that binder is one variable.  Such a pattern arises when a
// pattern variable bound to a lambda is substituted into its application.  Its argument is
// then one value whatever its form: the images searched element by element for a tuple
// argument all bind a tuple of variables (or contract to the term's head), and a variable
// binder never pairs with a tuple binder, so they would miss the image that binds the whole
// tuple.
template <class Term>
bool headBinderTakesArgumentWhole(const Term& f) {
    using K = decltype(f.kind());
    std::size_t applied = 0;
    const Term* h = &f;
    for (; h->is(K::Ap); h = &h->fun()) ++applied;
    for (; h->is(K::Lam); h = &h->body()) {
        if (applied == 0) return h->binder().isVar();
        --applied;
    }
    return false;
}

}  // namespace plim
