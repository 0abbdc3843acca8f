// A pattern variable that a tuple argument repeats, f (..., q, ..., q, ...), for both matchers'
// term types.
//
// The one-step search takes the elements one after another, each against what the elements
// before it left of the term, and collects the problems of every combination of candidates:
// each element that is q itself brings a problem (q, b) (or none, for the constant
// abstraction).  The problems are solved after the image's, all before any problem that
// solving them brings; so the first of them binds q to its b and every later one must match
// that b as a closed pattern.  When the term holds no lambda, no b does, and a closed term
// without lambdas matches exactly the terms of its own shape (the same constants, local
// variables, tuple lengths and applications: a rigid head is only ever decomposed); a b that
// mentions a local variable matches nothing that q can be bound to.  So two problems of q whose
// terms differ in shape fail together, whichever comes first, and every combination that holds
// both gives no result: the search over the later elements is not run.  A combination found
// alike is left to the solver (the types may still differ).
//
// It holds when nothing else binds q first: q is not the whole pattern of a problem solved
// before the element's (the rest of the worklist, the head), and the term holds no lambda.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lang/constants.h"
#include "engine/matching/term_vocabulary.h"
#include "engine/matching/vocabulary_operations.h"

namespace plim::repeated_elements {

template <TermVocabulary Term>
using KindOf = decltype(std::declval<const Term&>().kind());

// The names of the pattern variables that are two or more of the leaves of the tuple x (its
// elements, and the elements of elements that are tuples) and occur nowhere else in it.
template <TermVocabulary Term>
std::vector<std::string> repeatedLeaves(const Term& x) {
    using K = KindOf<Term>;
    std::vector<std::string> bare;
    std::vector<std::string> inside;  // pattern variables of the leaves that are not bare
    std::vector<const Term*> pending{&x};
    while (!pending.empty()) {
        const Term& y = *pending.back();
        pending.pop_back();
        if (y.is(K::Tupl)) {
            for (const Term& e : y.elems()) pending.push_back(&e);
        } else if (y.is(K::PVar)) {
            bare.push_back(y.name());
        } else if (y.hasPVar()) {
            term_ops::anyNode(
                y,
                [&inside](const Term& u) {
                    if (u.is(K::PVar)) inside.push_back(u.name());
                    return false;
                },
                [](const Term& u) { return u.hasPVar(); });
        }
    }
    std::sort(bare.begin(), bare.end());
    std::vector<std::string> out;
    for (std::size_t i = 0; i + 1 < bare.size(); ++i)
        if (bare[i] == bare[i + 1] && (out.empty() || out.back() != bare[i]) &&
            std::find(inside.begin(), inside.end(), bare[i]) == inside.end())
            out.push_back(bare[i]);
    return out;
}

// Two terms without lambdas or pattern variables differ in shape: constants, local variables,
// tuple lengths or the form of a node.  Types are not compared.
template <TermVocabulary Term>
bool shapesDiffer(const Term& a, const Term& b) {
    using K = KindOf<Term>;
    // Kept for the next call: the search asks this for every candidate it tries.
    thread_local std::vector<std::pair<const Term*, const Term*>> pending;
    pending.assign(1, {&a, &b});
    while (!pending.empty()) {
        const auto [u, w] = pending.back();
        pending.pop_back();
        if (u->sameNode(*w)) continue;
        if (u->kind() != w->kind()) return true;
        switch (u->kind()) {
        case K::Con:
            if (!eqConstant(u->constant(), w->constant())) return true;
            break;
        case K::LVar:
        case K::PVar:
            if (u->name() != w->name()) return true;
            break;
        case K::Ap:
            pending.emplace_back(&u->fun(), &w->fun());
            pending.emplace_back(&u->arg(), &w->arg());
            break;
        case K::Tupl:
            if (u->elems().size() != w->elems().size()) return true;
            for (std::size_t i = 0; i < u->elems().size(); ++i) pending.emplace_back(&u->elems()[i], &w->elems()[i]);
            break;
        case K::Lam: return false;
        }
    }
    return false;
}

// The repeated pattern variables of f x against t whose problems can be checked this way:
// none when t holds a lambda, none that is f or the whole pattern of an earlier problem
// (`forEachEarlier` calls its argument on each such pattern).
template <TermVocabulary Term, class ForEachEarlier>
std::vector<std::string> checkedLeaves(const Term& f, const Term& x, const Term& t, ForEachEarlier forEachEarlier) {
    using K = KindOf<Term>;
    if (t.hasLam() || !x.is(K::Tupl)) return {};
    std::vector<std::string> names = repeatedLeaves(x);
    if (names.empty()) return names;
    auto drop = [&names](const Term& p) {
        if (p.is(K::PVar)) names.erase(std::remove(names.begin(), names.end(), p.name()), names.end());
    };
    drop(f);
    forEachEarlier(drop);
    return names;
}

// What one fold over a tuple's elements checks its candidates' problems against: the names
// above, and the problems that the elements before the tuple brought, in the tuples around it.
template <class Problem>
struct Checked {
    std::vector<std::string> names;
    std::vector<Problem> outer;
};

// Some problem of `fresh` and some of `earlier` have one of the names as their whole pattern
// and terms that differ in shape.  `pattern` and `term` take a problem apart.
template <class Problem, class Earlier, class Pattern, class TermOf>
bool disagree(const std::vector<std::string>& names, const std::vector<Problem>& fresh, const Earlier& earlier,
              Pattern pattern, TermOf term) {
    if (names.empty() || earlier.empty()) return false;
    for (const Problem& p : fresh) {
        const auto& q = pattern(p);
        if (!q.is(KindOf<std::decay_t<decltype(q)>>::PVar) ||
            std::find(names.begin(), names.end(), q.name()) == names.end())
            continue;
        for (const auto& e : earlier) {
            const auto& r = pattern(e);
            if (r.is(KindOf<std::decay_t<decltype(r)>>::PVar) && r.name() == q.name() && shapesDiffer(term(p), term(e)))
                return true;
        }
    }
    return false;
}

// The candidate's problems `fresh` and those of the elements before it, `earlier`, or those the
// checks carry from around the tuple, cannot all be solved.
template <class Problem, class Earlier, class Pattern, class TermOf>
bool disagreesWith(const Checked<Problem>& checked, const std::vector<Problem>& fresh, const Earlier& earlier,
                   Pattern pattern, TermOf term) {
    return disagree(checked.names, fresh, earlier, pattern, term) ||
           disagree(checked.names, fresh, checked.outer, pattern, term);
}

// What the fold over the element e, after the problems `earlier`, checks against: the fold
// of a tuple element checks against those problems too.
template <TermVocabulary Term, class Problem, class Earlier>
std::shared_ptr<const Checked<Problem>> checkedFor(const std::shared_ptr<const Checked<Problem>>& checked,
                                                   const Term& e, const Earlier& earlier) {
    if (checked->names.empty() || !e.is(KindOf<Term>::Tupl) || earlier.empty()) return checked;
    std::vector<Problem> outer(earlier.begin(), earlier.end());
    outer.insert(outer.end(), checked->outer.begin(), checked->outer.end());
    return std::make_shared<const Checked<Problem>>(Checked<Problem>{checked->names, std::move(outer)});
}

}  // namespace plim::repeated_elements
