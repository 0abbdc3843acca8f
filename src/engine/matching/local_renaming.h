// Renaming and freezing of locally bound variables without capture, shared by the two
// matchers' term modules.  Each matcher keeps its own term type; it describes that type to
// these templates through a small table of operations:
//
//   struct Ops : KindTests<Term, Kind> {   // isLVar, isVariable, isLam, isConstr, components,
//                                           // boundNames, occursLVar
//       using Term = ...;  using Binding = ...;
//       static std::size_t childCount(const Term&);  static const Term& child(const Term&, std::size_t);
//       static Term rebuilt(const Term& u, std::vector<Term>& children);  // u when none changed
//       static Term lvar(std::string, Type);  static Term constr(std::string, Type);
//       static Term lam(Binding, Term body, Type);
//       static Binding var(std::string);  static Binding tup(std::vector<Binding>);
//   };
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

// The questions on node kinds and binders, for a term type of the vocabulary (its kinds
// named as in both matchers).
template <class Term, class Kind>
struct KindTests {
    static bool isLVar(const Term& t) { return t.is(Kind::LVar); }
    static bool isVariable(const Term& t) { return t.is(Kind::LVar) || t.is(Kind::PVar); }
    static bool isLam(const Term& t) { return t.is(Kind::Lam); }
    static bool isConstr(const Term& t) { return t.is(Kind::Con) && t.constant().kind() == ConstantKind::Constr; }
    using Binding = typename Term::Binding;
    static const std::vector<Binding>& components(const Binding& b) { return b.components(); }
    static std::vector<std::string> boundNames(const Binding& b) { return term_ops::binderNames(b); }
    static bool occursLVar(const std::string& n, const Term& t) { return term_ops::occursLVar(n, t); }
};

template <class Ops>
struct Renaming {
    using Term = typename Ops::Term;
    using Binding = typename Ops::Binding;

    // The map without the names that a binder binds: they are shadowed below it.
    static NameMapPtr withoutBound(const NameMapPtr& env, const Binding& b) {
        NameMapPtr out = env;
        for (const std::string& n : Ops::boundNames(b)) {
            if (!out->count(n)) continue;
            auto copy = std::make_shared<NameMap>(*out);
            copy->erase(n);
            out = std::move(copy);
        }
        return out;
    }

    static bool sameBinderNames(const Binding& a, const Binding& b) {
        return binder_walks::zip(a, b, term_ops::tupleParts<Binding>, term_ops::tupleParts<Binding>,
                                 [](const Binding& x, const Binding& y) { return y.isVar() && x.name() == y.name(); });
    }

    static Binding renameBinder(const Binding& b, const NameMap& renaming) {
        return binder_walks::fold<Binding>(
            &b,
            [](const Binding* x) -> std::optional<std::size_t> {
                if (x->isVar()) return std::nullopt;
                return Ops::components(*x).size();
            },
            [](const Binding* x, std::size_t i) { return &Ops::components(*x)[i]; },
            [&renaming](const Binding* x) {
                auto it = renaming.find(x->name());
                return it == renaming.end() ? *x : Ops::var(it->second);
            },
            [](const Binding*, std::vector<Binding> parts) { return Ops::tup(std::move(parts)); });
    }

    // Rebuilds t bottom-up with a map of names in scope that the lambdas change on the way
    // down: enter(lam, env) gives the lambda's binder and the map for its body; leaf(u, env)
    // the new leaf.  Subterms without LVars, and every subterm once the map is empty, stay as
    // they are.  Written on the iterative visitor, so long spines cost no native stack.
    template <class Enter, class Leaf>
    static Term rebuildScoped(const Term& root, const NameMapPtr& env0, const Enter& enter, const Leaf& leaf) {
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
                const std::size_t n = Ops::childCount(t);
                if (n == 0) return leafOf(t, *item.env);
                NameMapPtr env = item.env;
                if (Ops::isLam(t)) {
                    auto [b, inner] = enterLam(t, env);
                    const bool changed = !sameBinderNames(b, t.binder());
                    binders.emplace_back(std::move(b), changed);
                    env = std::move(inner);
                }
                for (std::size_t i = 0; i < n; ++i) children.push_back(Item{&Ops::child(t, i), env});
                return std::nullopt;
            }
            Term leave(const Item& item, std::span<Term> done) {
                const Term& t = *item.t;
                kids.assign(std::make_move_iterator(done.begin()), std::make_move_iterator(done.end()));
                if (!Ops::isLam(t)) return Ops::rebuilt(t, kids);
                auto [binder, changed] = std::move(binders.back());
                binders.pop_back();
                if (changed) return Ops::lam(binder, std::move(kids[0]), t.type());
                return Ops::rebuilt(t, kids);
            }
        } visitor{enter, leaf, {}, {}};
        return rebuildTree<Item, Term>(Item{&root, env0}, visitor);
    }

    // The free LVars named as keys renamed to their values at once.  A lambda inside t whose
    // binder would capture a renamed variable gets a fresh binder first: a variant of its name
    // not in the set that used() gives.
    template <class Used>
    static Term renameFreeLocals(const NameMap& renaming, const Term& t, const Used& used) {
        NameMap active;
        for (const auto& [from, to] : renaming)
            if (from != to) active.emplace(from, to);
        if (active.empty()) return t;
        auto enter = [&used](const Term& lam, const NameMapPtr& env) {
            NameMapPtr inner = withoutBound(env, lam.binder());
            // A binder named like the new name of a variable that occurs below it would capture it.
            NameMap fresh;
            for (const std::string& b : Ops::boundNames(lam.binder())) {
                for (const auto& [from, to] : *inner) {
                    if (to != b || !Ops::occursLVar(from, lam.body())) continue;
                    fresh.emplace(b, freshVariant(b, used()));
                    break;
                }
            }
            if (fresh.empty()) return std::make_pair(lam.binder(), inner);
            auto extended = std::make_shared<NameMap>(*inner);
            for (const auto& [b, n] : fresh) (*extended)[b] = n;
            return std::make_pair(renameBinder(lam.binder(), fresh), NameMapPtr(std::move(extended)));
        };
        return rebuildScoped(t, std::make_shared<const NameMap>(std::move(active)), enter,
                             [](const Term& u, const NameMap& env) {
                                 if (!Ops::isLVar(u)) return u;
                                 auto it = env.find(u.name());
                                 return it == env.end() ? u : Ops::lvar(it->second, u.type());
                             });
    }

    // Every free LVar named as a key replaced by make(its value, its type); an occurrence bound
    // by a lambda inside t stays.
    template <class Make>
    static Term mapFreeLocals(const NameMap& names, const Term& t, const Make& make) {
        if (names.empty()) return t;
        return rebuildScoped(
            t, std::make_shared<const NameMap>(names),
            [](const Term& lam, const NameMapPtr& env) {
                return std::make_pair(lam.binder(), withoutBound(env, lam.binder()));
            },
            [&make](const Term& u, const NameMap& env) {
                if (!Ops::isLVar(u)) return u;
                auto it = env.find(u.name());
                return it == env.end() ? u : make(it->second, u.type());
            });
    }

    // The free LVars named as keys turned into constructor constants named as their values.
    static Term freezeLocalsAs(const NameMap& names, const Term& t) {
        return mapFreeLocals(names, t, [](const std::string& n, const Type& ty) { return Ops::constr(n, ty); });
    }

    static Term freezeLocals(const std::vector<std::string>& names, const Term& t) {
        return freezeLocalsAs(identityMap(names), t);
    }

    // Every name that t uses: variables of both kinds, binder names and constructor names.
    static void collectNames(const Term& t, std::unordered_set<std::string>& out) {
        auto collect = [&out](const Term& u) {
            if (Ops::isConstr(u)) out.insert(u.constant().constrName());
            else if (Ops::isVariable(u)) out.insert(u.name());
            else if (Ops::isLam(u))
                for (std::string& b : Ops::boundNames(u.binder())) out.insert(std::move(b));
            return false;
        };
        term_ops::anyNode(t, collect, [](const Term&) { return true; });
    }
};

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
    return Lam(renameBinder(p.binder(), renaming), names.renameFree(renaming, p.body()), p.type());
}

}  // namespace plim::local_renaming
