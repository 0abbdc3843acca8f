// Renaming and freezing of locally bound variables without capture, written once for both
// matchers' terms (the vocabulary, term_vocabulary.h): the leaves and binders they build come
// from the matcher's TermMakers, a node with new children from its rebuilt(u, children).
//
// Names are plain strings; a renaming or freezing is a map from old to new names.
#pragma once

#include <cstddef>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/matching/binder_walks.h"
#include "engine/matching/term_vocabulary.h"
#include "engine/matching/vocabulary_operations.h"
#include "lang/constants.h"
#include "lang/types.h"
#include "support/tree_walk.h"

namespace plim::local_renaming {

using NameMap = std::map<std::string, std::string>;
using NameMapPtr = std::shared_ptr<const NameMap>;

// base followed by the smallest number that makes a name not in used; the name is added.
inline std::string freshVariant(const std::string& base, std::unordered_set<std::string>& used) {
    for (std::size_t i = 1;; ++i) {
        std::string name = base + std::to_string(i);
        if (used.insert(name).second) return name;
    }
}

// Each name standing for itself.
inline NameMap identityMap(const std::vector<std::string>& names) {
    NameMap out;
    for (const std::string& n : names) out.emplace(n, n);
    return out;
}

// The map without the names that a binder binds: they are shadowed below it.
template <class B>
NameMapPtr withoutBound(const NameMapPtr& env, const B& b) {
    NameMapPtr out = env;
    for (const std::string& n : term_ops::binderNames(b)) {
        if (!out->count(n)) continue;
        auto copy = std::make_shared<NameMap>(*out);
        copy->erase(n);
        out = std::move(copy);
    }
    return out;
}

template <class B>
bool sameBinderNames(const B& a, const B& b) {
    return binder_walks::zip(a, b, term_ops::tupleParts<B>, term_ops::tupleParts<B>,
                             [](const B& x, const B& y) { return y.isVar() && x.name() == y.name(); });
}

// The binder with its names renamed where the map says.
template <TermNodes Term>
typename Term::Binding renameBinder(const typename Term::Binding& b, const NameMap& renaming) {
    using B = typename Term::Binding;
    return binder_walks::fold<B>(
        &b,
        [](const B* x) -> std::optional<std::size_t> {
            if (x->isVar()) return std::nullopt;
            return x->components().size();
        },
        [](const B* x, std::size_t i) { return &x->components()[i]; },
        [&renaming](const B* x) {
            auto it = renaming.find(x->name());
            return it == renaming.end() ? *x : TermMakers<Term>::var(it->second);
        },
        [](const B*, std::vector<B> parts) { return LamTup(std::move(parts)); });
}

// Rebuilds t bottom-up with a map of names in scope that the lambdas change on the way
// down: enter(lam, env) gives the lambda's binder and the map for its body; leaf(u, env) the
// new leaf.  Subterms without LVars, and every subterm once the map is empty, stay as they
// are.  Written on the iterative visitor, so long spines cost no native stack.
template <TermNodes Term, class Enter, class Leaf>
Term rebuildScoped(const Term& root, const NameMapPtr& env0, const Enter& enter, const Leaf& leaf) {
    using Binding = typename Term::Binding;
    struct Item {
        const Term* t;
        NameMapPtr env;
    };
    struct Visitor {
        const Enter& enterLam;
        const Leaf& leafOf;
        // The binders the open lambdas take, innermost last, and whether each changed.
        std::vector<std::pair<Binding, bool>> binders;
        std::vector<Term> kids;
        std::optional<Term> enter(const Item& item, std::vector<Item>& children) {
            const Term& t = *item.t;
            if (item.env->empty() || !t.hasLVar()) return t;
            const std::size_t n = term_ops::childCount(t);
            if (n == 0) return leafOf(t, *item.env);
            NameMapPtr env = item.env;
            if (t.is(Term::Kind::Lam)) {
                auto [b, inner] = enterLam(t, env);
                const bool changed = !sameBinderNames(b, t.binder());
                binders.emplace_back(std::move(b), changed);
                env = std::move(inner);
            }
            for (std::size_t i = 0; i < n; ++i) children.push_back(Item{&term_ops::childOf(t, i), env});
            return std::nullopt;
        }
        Term leave(const Item& item, std::span<Term> done) {
            const Term& t = *item.t;
            kids.assign(std::make_move_iterator(done.begin()), std::make_move_iterator(done.end()));
            if (!t.is(Term::Kind::Lam)) return rebuilt(t, kids);
            auto [binder, changed] = std::move(binders.back());
            binders.pop_back();
            if (changed) return Lam(binder, std::move(kids[0]), t.type());
            return rebuilt(t, kids);
        }
    } visitor{enter, leaf, {}, {}};
    return rebuildTree<Item, Term>(Item{&root, env0}, visitor);
}

// The free LVars named as keys renamed to their values at once.  A lambda inside t whose
// binder would capture a renamed variable gets a fresh binder first: a variant of its name
// not in the set that used() gives.
template <TermNodes Term, class Used>
Term renameFreeLocals(const NameMap& renaming, const Term& t, const Used& used) {
    NameMap active;
    for (const auto& [from, to] : renaming)
        if (from != to) active.emplace(from, to);
    if (active.empty()) return t;
    auto enter = [&used](const Term& lam, const NameMapPtr& env) {
        NameMapPtr inner = withoutBound(env, lam.binder());
        // A binder named like the new name of a variable that occurs below it would capture it.
        NameMap fresh;
        for (const std::string& b : term_ops::binderNames(lam.binder())) {
            for (const auto& [from, to] : *inner) {
                if (to != b || !term_ops::occursLVar(from, lam.body())) continue;
                fresh.emplace(b, freshVariant(b, used()));
                break;
            }
        }
        if (fresh.empty()) return std::make_pair(lam.binder(), inner);
        auto extended = std::make_shared<NameMap>(*inner);
        for (const auto& [b, n] : fresh) (*extended)[b] = n;
        return std::make_pair(renameBinder<Term>(lam.binder(), fresh), NameMapPtr(std::move(extended)));
    };
    return rebuildScoped(t, std::make_shared<const NameMap>(std::move(active)), enter,
                         [](const Term& u, const NameMap& env) {
                             if (!u.is(Term::Kind::LVar)) return u;
                             auto it = env.find(u.name());
                             return it == env.end() ? u : TermMakers<Term>::lvar(it->second, u.type());
                         });
}

// Every free LVar named as a key replaced by make(its value, its type); an occurrence bound
// by a lambda inside t stays.
template <TermNodes Term, class Make>
Term mapFreeLocals(const NameMap& names, const Term& t, const Make& make) {
    if (names.empty()) return t;
    return rebuildScoped(
        t, std::make_shared<const NameMap>(names),
        [](const Term& lam, const NameMapPtr& env) {
            return std::make_pair(lam.binder(), withoutBound(env, lam.binder()));
        },
        [&make](const Term& u, const NameMap& env) {
            if (!u.is(Term::Kind::LVar)) return u;
            auto it = env.find(u.name());
            return it == env.end() ? u : make(it->second, u.type());
        });
}

// The free LVars named as keys turned into constructor constants named as their values.
template <TermNodes Term>
Term freezeLocalsAs(const NameMap& names, const Term& t) {
    auto constr = [](const std::string& n, const Type& ty) { return TermMakers<Term>::constr(n, ty); };
    return mapFreeLocals(names, t, constr);
}

// The free LVars named in `names` turned into constructor constants of the same name.
template <TermNodes Term>
Term freezeLocals(const std::vector<std::string>& names, const Term& t) {
    return freezeLocalsAs(identityMap(names), t);
}

// Every constructor constant whose name back(name) maps to a name (not null) turned into the
// LVar of that name; a subterm that holds no constructor constant is kept as it is.
template <TermNodes Term, class Back>
Term thawConstants(const Term& t, const Back& back) {
    using K = typename Term::Kind;
    return term_ops::mapTerm(
        t, [](const Term& u) { return u.hasConstr(); },
        [&back](const Term& v) {
            if (!v.is(K::Con) || v.constant().kind() != ConstantKind::Constr) return v;
            const std::string* name = back(v.constant().constrName());
            return name ? TermMakers<Term>::lvar(*name, v.type()) : v;
        },
        [](const typename Term::Binding&) { return true; },
        [](const Term& u, std::vector<Term>& kids, bool changed) { return changed ? rebuilt(u, kids) : u; });
}

// The inverse of freezeLocalsAs: a constructor constant named as a value of the map becomes
// the LVar of its key.
template <TermNodes Term>
Term thawLocalsAs(const NameMap& names, const Term& t) {
    if (names.empty() || !t.hasConstr()) return t;
    NameMap back;
    for (const auto& [v, c] : names) back.emplace(c, v);
    return thawConstants(t, [&back](const std::string& c) {
        auto it = back.find(c);
        return it == back.end() ? nullptr : &it->second;
    });
}

// The inverse of freezeLocals: a constructor constant named in `names` becomes the LVar of its
// name.  A set, not a scan of the list per constant: a term under many local names holds about
// as many constants.
template <TermNodes Term>
Term thawLocals(const std::vector<std::string>& names, const Term& t) {
    if (names.empty() || !t.hasConstr()) return t;
    const std::unordered_set<std::string> local(names.begin(), names.end());
    return thawConstants(t, [&local](const std::string& c) { return local.count(c) > 0 ? &c : nullptr; });
}

// Every free LVar named first in a pair renamed at once to the second (no capture test):
// renaming (x, y) and (y, x) swaps the two names, and a lambda of t that binds a renamed name
// again keeps its own occurrences.
template <TermNodes Term>
Term renameLocals(const std::vector<std::pair<std::string, std::string>>& renaming, const Term& t) {
    return mapFreeLocals(NameMap(renaming.begin(), renaming.end()), t,
                         [](const std::string& n, const Type& ty) { return TermMakers<Term>::lvar(n, ty); });
}

template <TermNodes Term>
Term renameLocal(const std::string& from, const std::string& to, const Term& t) {
    return renameLocals({{from, to}}, t);
}

// The variables of the chain of one-variable lambdas at the top, as PVars typed with their
// lambdas' argument types, outermost first.
template <TermNodes Term>
std::vector<Term> leadingLamVars(const Term& t) {
    std::vector<Term> out;
    for (const Term* at = &t; at->is(Term::Kind::Lam) && at->binder().isVar(); at = &at->body())
        out.push_back(TermMakers<Term>::pvar(at->binder().name(), argType(at->type())));
    return out;
}

// The body under the chain of one-variable lambdas at the top, their variables made free
// (PVars).  A lambda of the body that binds an opened name again keeps its own occurrences:
// opening \ x -> (x, \ x -> x) gives (x, \ x -> x) with the first x alone a pattern variable.
template <TermNodes Term>
Term openLeadingLams(const Term& t) {
    NameMap names;
    const Term* at = &t;
    for (; at->is(Term::Kind::Lam) && at->binder().isVar(); at = &at->body())
        names.emplace(at->binder().name(), at->binder().name());
    return mapFreeLocals(names, *at,
                         [](const std::string& n, const Type& ty) { return TermMakers<Term>::pvar(n, ty); });
}

// Every name that t uses: variables of both kinds, binder names and constructor names.
template <TermNodes Term>
void collectNames(const Term& t, std::unordered_set<std::string>& out) {
    using K = typename Term::Kind;
    auto collect = [&out](const Term& u) {
        if (u.is(K::Con) && u.constant().kind() == ConstantKind::Constr)
            out.insert(u.constant().constrName());
        else if (u.is(K::LVar) || u.is(K::PVar)) out.insert(u.name());
        else if (u.is(K::Lam))
            for (std::string& b : term_ops::binderNames(u.binder())) out.insert(std::move(b));
        return false;
    };
    term_ops::anyNode(t, collect, [](const Term&) { return true; });
}

// --- a pattern lambda against a term -------------------------------------------------------
//
// Written once for both matchers over what `names` answers for the problem (p, t):
// freeInTerm(n), whether the local variable n is free in t; fresh(n), a variant of n that
// neither p nor t uses (taken from then on); renameFree(map, u), u with its free local
// variables renamed at once, without capture.

// The bodies of two lambdas whose binders pair their variables (pattern's, term's), under one
// name per pair: the term's variable takes the pattern's name.  When that name is free in the
// term (it stands for a variable bound further out), the pair takes a new name on both
// sides; a lambda inside the term body that would capture a renamed variable is renamed.
template <class Term, class Names>
std::pair<Term, Term> lambdaBodies(const Term& p, const Term& t,
                                   const std::vector<std::pair<std::string, std::string>>& pairs, Names& names) {
    NameMap patternSide;
    NameMap termSide;
    for (const auto& [v, w] : pairs) {
        if (v == w) continue;
        std::string target = v;
        if (names.freeInTerm(v)) {
            target = names.fresh(v);
            patternSide.emplace(v, target);
        }
        termSide.emplace(w, target);
    }
    if (termSide.empty()) return {p.body(), t.body()};
    Term pbody = patternSide.empty() ? p.body() : names.renameFree(patternSide, p.body());
    return {std::move(pbody), names.renameFree(termSide, t.body())};
}

// The pattern lambda p, its binder renamed where one of its names is free in the term t that
// its body is to be matched against applied to the binder.
template <class Term, class Names>
Term clearBinder(const Term& p, const Term& t, Names& names) {
    if (!t.hasLVar()) return p;
    NameMap renaming;
    for (const std::string& v : binderNames(p.binder())) {
        if (!names.freeInTerm(v) || renaming.count(v)) continue;
        renaming.emplace(v, names.fresh(v));
    }
    if (renaming.empty()) return p;
    return Lam(renameBinder<Term>(p.binder(), renaming), names.renameFree(renaming, p.body()), p.type());
}

}  // namespace plim::local_renaming
