// Whether a tuple argument of a flexible head holds a component that only hands back one of
// its own variables, for both matchers' term types.
#pragma once

#include <algorithm>
#include <vector>
#include "engine/matching/term_vocabulary.h"

namespace plim {

// x is a tuple (nested tuples taken apart, as the tuple fold takes them) with a component
// \ k1 ... kn -> ki.  The two-step candidates of such a component never end: its body matches
// every subterm, and each level of abstracted bodies keeps subterms free of the abstraction
// variable (the arguments it was applied to) that the next level abstracts once more, so
// f ((\ k -> k), []) against t gives f := \ (a, b) -> a (a ... t) at every depth.  An argument
// \ k -> k alone is kept from the two-step candidates for that reason; in a tuple it must be
// too.
template <TermVocabulary Term>
bool holdsProjectingComponent(const Term& x) {
    using K = decltype(x.kind());
    if (!x.is(K::Tupl)) return false;
    std::vector<const Term*> work{&x};
    while (!work.empty()) {
        const Term& e = *work.back();
        work.pop_back();
        if (e.is(K::Tupl)) {
            for (const Term& c : e.elems()) work.push_back(&c);
            continue;
        }
        const auto [body, names] = stripLams(e, {});
        if (body.is(K::LVar) && std::find(names.begin(), names.end(), body.name()) != names.end()) return true;
    }
    return false;
}

}  // namespace plim
