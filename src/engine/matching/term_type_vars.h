// The type variables of the term a match starts from, for both matchers' term types.
//
// A match instantiates the pattern's type variables only: the term's types are what the
// pattern must become.  A binding brings the term's types into the pattern (f := [] typed
// [b] puts [b] wherever f stands), and a later type match must not bind those variables in
// turn: (konst 1 f, len f) against (konst 1 [], len []), whose empty lists have two types of
// their own, would bind one to the other, and the pattern instantiated would give one list
// type where the term has two.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "lang/types.h"
#include "support/lazy.h"
#include "engine/matching/term_vocabulary.h"

namespace plim {

using TermTypeVars = std::shared_ptr<const std::unordered_set<std::string>>;

namespace term_type_vars_detail {

// Adds the free type variables of t to `names`.  A constructor node already read (types of a
// term's nodes share their parts: a tuple's type holds its elements' types) is not read
// again, so the work is bounded by the distinct type nodes, not by the sum of the types' sizes.
inline void addTypeVars(const Type& t, std::unordered_set<const void*>& seen, std::unordered_set<std::string>& names) {
    std::vector<const Type*> todo{&t};
    while (!todo.empty()) {
        const Type& at = *todo.back();
        todo.pop_back();
        if (!at.hasTypeVars() || at.isGround()) continue;
        switch (at.kind()) {
        case TypeKind::Tid: names.insert(at.name()); break;
        case TypeKind::TCon:
            if (!seen.insert(at.nodeAddress()).second) break;
            for (const Type& a : at.args()) todo.push_back(&a);
            break;
        case TypeKind::TAbs:
            if (!seen.insert(at.nodeAddress()).second) break;
            for (std::string& n : typeVarsOf(at)) names.insert(std::move(n));
            break;
        }
    }
}

}  // namespace term_type_vars_detail

// The type variables in the types of the terms' nodes; null when there is none.
template <TermVocabulary Term>
TermTypeVars termTypeVars(const std::vector<const Term*>& roots) {
    using K = decltype(roots.front()->kind());
    std::unordered_set<std::string> names;
    std::unordered_set<const void*> seen;
    std::vector<const Term*> todo;
    for (const Term* r : roots)
        if (r->hasTypeVars()) todo.push_back(r);
    while (!todo.empty()) {
        const Term& t = *todo.back();
        todo.pop_back();
        term_type_vars_detail::addTypeVars(t.type(), seen, names);
        auto push = [&](const Term& u) {
            if (u.hasTypeVars()) todo.push_back(&u);
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
    return std::make_shared<const std::unordered_set<std::string>>(std::move(names));
}

// The type substitution binds one of the term's type variables to another type.  Read from
// the smaller side: a match's substitution binds a few of the pattern's variables, while a
// large term may have many.
inline bool bindsTermTypeVar(const TypeSubst& s, const TermTypeVars& vars) {
    if (!vars || s.isIdentity()) return false;
    auto bindsAway = [&s](const std::string& v) {
        const Type* b = s.find(v);
        return b && !(b->isTid() && b->name() == v);
    };
    if (s.size() < vars->size()) {
        for (const auto& [v, t] : s.bindings())
            if (vars->count(v) && bindsAway(v)) return true;
        return false;
    }
    for (const std::string& v : *vars)
        if (bindsAway(v)) return true;
    return false;
}

// The same with the term's type variables read only when the substitution binds one: most
// type matches of a large term's problems bind nothing, and reading its variables walks it.
inline bool bindsTermTypeVar(const TypeSubst& s, const Lazy<TermTypeVars>& vars) {
    return !s.isIdentity() && bindsTermTypeVar(s, vars.get());
}

}  // namespace plim
