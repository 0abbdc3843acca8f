// The type variables of the term a match starts from, for both matchers' term types.
//
// A match instantiates the pattern's type variables only: the term's types are what the
// pattern must become.  A binding brings the term's types into the pattern (f := [] typed
// [b] puts [b] wherever f stands), and a later type match must not bind those variables in
// turn: (konst 1 f, len f) against (konst 1 [], len []), whose empty lists have two types of
// their own, would bind one to the other, and the pattern instantiated would give one list
// type where the term has two.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "lang/types.h"

namespace plim {

using TermTypeVars = std::shared_ptr<const std::vector<std::string>>;

// The type variables in the types of the terms' nodes (`holdsTypeVars` tells which nodes have
// one in their types or below); null when there is none.
template <class Term, class HoldsTypeVars>
TermTypeVars termTypeVars(const std::vector<const Term*>& roots, const HoldsTypeVars& holdsTypeVars) {
    using K = decltype(roots.front()->kind());
    std::vector<std::string> names;
    std::vector<const Term*> todo;
    for (const Term* r : roots)
        if (holdsTypeVars(*r)) todo.push_back(r);
    while (!todo.empty()) {
        const Term& t = *todo.back();
        todo.pop_back();
        if (!t.type().isGround())
            for (std::string& n : typeVarsOf(t.type()))
                if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(std::move(n));
        auto push = [&](const Term& u) {
            if (holdsTypeVars(u)) todo.push_back(&u);
        };
        switch (t.kind()) {
        case K::Ap:
            push(t.fun());
            push(t.arg());
            break;
        case K::Lam: push(t.body()); break;
        case K::Tupl:
            for (const Term& e : t.elems()) push(e);
            break;
        default: break;
        }
    }
    if (names.empty()) return nullptr;
    return std::make_shared<const std::vector<std::string>>(std::move(names));
}

// The type substitution binds one of the term's type variables to another type.
inline bool bindsTermTypeVar(const TypeSubst& s, const TermTypeVars& vars) {
    if (!vars || s.isIdentity()) return false;
    for (const std::string& v : *vars)
        if (const Type* b = s.find(v); b && !(b->isTid() && b->name() == v)) return true;
    return false;
}

}  // namespace plim
