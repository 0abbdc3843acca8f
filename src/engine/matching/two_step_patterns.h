// Which patterns the two-step matcher suits, for both matchers' term types.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "engine/matching/term_vocabulary.h"
#include "engine/matching/vocabulary_operations.h"

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
    // Stops at the first such component: a work stack of its own.
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

// The argument of an application with a flexible head suits the two-step matcher: it holds
// no projecting component, no pattern variable once its leading lambdas are removed, and its
// body mentions each of their variables.
template <TermVocabulary Term>
bool argumentSuitsTwoStep(const Term& x) {
    using K = typename Term::Kind;
    if (holdsProjectingComponent(x)) return false;
    const auto [body, names] = stripLams(x, {});
    if (body.hasPVar()) return false;
    const std::vector<std::string> locals = freeLocalsOf(body);
    // The body mentions each of the leading lambdas' names at least as often as they bind it:
    // the names minus the body's, one occurrence removed per occurrence, are none.
    const auto bindsMore = [&](const std::string& n) {
        return std::count(names.begin(), names.end(), n) > std::count(locals.begin(), locals.end(), n);
    };
    if (std::any_of(names.begin(), names.end(), bindsMore)) return false;
    if (term_ops::anyNode(body, [](const Term& u) { return u.is(K::Con); }, [](const Term&) { return true; }))
        return true;
    // Without a constant the body must mention some local variable bound further out: one
    // that only repeats the argument's own variables ((u, u) under \ u) gives the two-step
    // candidates nothing to find that one-step matching would not find, typed better.
    return std::any_of(locals.begin(), locals.end(),
                       [&names](const std::string& n) { return std::find(names.begin(), names.end(), n) == names.end(); });
}

// The two-step matcher suits the pattern: the argument of each of its applications with a
// flexible head suits it.  Such an application holds a pattern variable or a lambda: the
// parts that hold neither are not walked.
template <TermVocabulary Term>
bool suitsTwoStep(const Term& p) {
    using K = typename Term::Kind;
    return !term_ops::anyNode(
        p, [](const Term& u) { return u.is(K::Ap) && flexibleHead(u.fun()) && !argumentSuitsTwoStep(u.arg()); },
        [](const Term& u) { return u.hasPVar() || u.hasLam(); });
}

}  // namespace plim
