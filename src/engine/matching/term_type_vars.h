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
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "lang/types.h"
#include "support/tree_walk.h"
#include "engine/matching/term_vocabulary.h"
#include "engine/matching/vocabulary_operations.h"

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
    std::unordered_set<std::string> names;
    std::unordered_set<const void*> seen;
    std::vector<const Term*> todo(roots.begin(), roots.end());
    while (!todo.empty()) {
        const Term& t = *todo.back();
        todo.pop_back();
        if (!t.hasTypeVars()) continue;
        term_type_vars_detail::addTypeVars(t.type(), seen, names);
        term_ops::pushChildren(t, todo);
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

// --- one variable at a time ---------------------------------------------------------------------

namespace term_type_vars_detail {

// Whether one type variable occurs free in the types of a term's nodes, by node and variable:
// the answers are kept on this thread (the nodes held, so that their addresses name them), and
// a node asked again, or a part of a node asked before, is not walked again.  Dropped whole
// past kLimit answers.
template <class Term>
class HeldVars {
public:
    bool inTerm(const Term& t, const std::string& v) {
        if (terms_.size() + types_.size() > kLimit) {
            terms_.clear();
            types_.clear();
        }
        TermWalk walk{*this, v};
        return rebuildTree<const Term*, Answer>(&t, walk).yes;
    }

private:
    static constexpr std::size_t kLimit = 1 << 18;
    struct Answer {
        bool yes;
    };
    using Key = NodeAndVar;
    using KeyHash = NodeAndVarHash;
    // A term node's address, through its last field, which every node has.
    static const void* nodeOf(const Term& t) { return &t.type(); }

    struct TypeWalk {
        HeldVars& held;
        const std::string& v;
        std::optional<Answer> enter(const Type* t, std::vector<const Type*>& children) {
            if (!t->hasTypeVars() || t->isGround()) return Answer{false};
            if (t->isTid()) return Answer{t->name() == v};
            if (auto it = held.types_.find(Key{t->nodeAddress(), v}); it != held.types_.end())
                return Answer{it->second.second};
            if (!t->isTCon()) {
                const std::vector<std::string> free = typeVarsOf(*t);
                return Answer{std::find(free.begin(), free.end(), v) != free.end()};
            }
            for (const Type& a : t->args()) children.push_back(&a);
            return std::nullopt;
        }
        Answer leave(const Type* t, std::span<Answer> parts) {
            bool any = false;
            for (const Answer& a : parts) any = any || a.yes;
            held.types_.emplace(Key{t->nodeAddress(), v}, std::make_pair(*t, any));
            return Answer{any};
        }
    };
    struct TermWalk {
        HeldVars& held;
        const std::string& v;
        std::optional<Answer> enter(const Term* t, std::vector<const Term*>& children) {
            if (!t->hasTypeVars()) return Answer{false};
            if (auto it = held.terms_.find(Key{nodeOf(*t), v}); it != held.terms_.end())
                return Answer{it->second.second};
            TypeWalk types{held, v};
            if (rebuildTree<const Type*, Answer>(&t->type(), types).yes) return Answer{true};
            term_ops::pushChildren(*t, children);
            return std::nullopt;
        }
        Answer leave(const Term* t, std::span<Answer> parts) {
            bool any = false;
            for (const Answer& a : parts) any = any || a.yes;
            held.terms_.emplace(Key{nodeOf(*t), v}, std::make_pair(*t, any));
            return Answer{any};
        }
    };

    std::unordered_map<Key, std::pair<Term, bool>, KeyHash> terms_;
    std::unordered_map<Key, std::pair<Type, bool>, KeyHash> types_;
};

}  // namespace term_type_vars_detail

// The type variables of the terms a match starts from, read as far as its type matches ask:
// whether a type substitution binds one of them.  A substitution that binds a few variables
// has those looked up alone (HeldVars above), so that the matches at every position under
// nested lambdas, which ask one variable of terms each a part of the one before, find the
// answers for the parts instead of walking them again; one that binds many reads the whole set
// once.  Read by one thread at a time, as every cache.
//
// The lookup per variable is a shortcut (the whole set says the same): bench_input_growth
// BM_RewriteInsideNestedLambdasRef/8000 takes 11.4 s without it, 0.46 s with it.
template <TermVocabulary Term>
class TermTypes {
public:
    explicit TermTypes(std::vector<Term> roots) : roots_(std::move(roots)) {}

    // bindsTermTypeVar(s, the terms' type variables).
    bool bound(const TypeSubst& s) const {
        if (s.isIdentity()) return false;
        if (all_ || s.size() > kFew) return bindsTermTypeVar(s, all());
        for (const auto& [v, t] : s.bindings()) {
            const Type* b = s.find(v);
            if (b && !(b->isTid() && b->name() == v) && held(v)) return true;
        }
        return false;
    }

private:
    static constexpr std::size_t kFew = 4;
    std::vector<Term> roots_;
    mutable std::optional<TermTypeVars> all_;
    mutable std::unordered_map<std::string, bool> asked_;

    const TermTypeVars& all() const {
        if (!all_) {
            std::vector<const Term*> roots;
            for (const Term& r : roots_) roots.push_back(&r);
            all_ = termTypeVars(roots);
        }
        return *all_;
    }
    bool held(const std::string& v) const {
        if (auto it = asked_.find(v); it != asked_.end()) return it->second;
        thread_local term_type_vars_detail::HeldVars<Term> memo;
        bool yes = false;
        for (const Term& r : roots_) yes = yes || memo.inTerm(r, v);
        asked_.emplace(v, yes);
        return yes;
    }
};

template <TermVocabulary Term>
bool bindsTermTypeVar(const TypeSubst& s, const std::shared_ptr<const TermTypes<Term>>& types) {
    return types->bound(s);
}

}  // namespace plim
