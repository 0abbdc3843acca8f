// Walks over lambda binders (a variable or a tuple of binders, nested to any depth), shared by
// the two matchers, each with its own binder type.  Every walk keeps its place on a work stack,
// so a binder nested a million tuples deep costs no native stack.
//
// A binder type has isVar() and name(); the walks are told how to reach a tuple's parts.
#pragma once

#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lang/types.h"
#include "scanning/string_literal.h"

namespace plim::binder_walks {

// Calls `visit(name)` for the binder's variables from left to right until one call returns
// true; says whether one did.  `parts(b)` gives a tuple binder's parts.
template <class B, class Parts, class Visit>
bool anyName(const B& b, const Parts& parts, const Visit& visit) {
    if (b.isVar()) return visit(b.name());
    std::vector<const B*> pending{&b};
    while (!pending.empty()) {
        const B* at = pending.back();
        pending.pop_back();
        if (at->isVar()) {
            if (visit(at->name())) return true;
            continue;
        }
        const std::vector<B>& cs = parts(*at);
        for (auto c = cs.rbegin(); c != cs.rend(); ++c) pending.push_back(&*c);
    }
    return false;
}

// Goes down two trees in step, left to right: `splitA(a)` gives the parts of an inner node of
// the first tree or null for a leaf, `splitB(b)` likewise for the second.  Each leaf of the
// first tree meets what stands at its place in the second in `leaf(a, b)`, which says whether
// to go on.  Says whether the walk went through: an inner node that meets a leaf or a node
// with another number of parts stops it.
template <class A, class B, class SplitA, class SplitB, class Leaf>
bool zip(const A& a, const B& b, const SplitA& splitA, const SplitB& splitB, const Leaf& leaf) {
    // The top and the leaves right under it are met without the work stack, which most walks
    // (a variable, or a flat tuple) then never need.
    const std::vector<A>* top = splitA(a);
    if (!top) return leaf(a, b);
    const std::vector<B>* tops = splitB(b);
    if (!tops || tops->size() != top->size()) return false;
    std::size_t flat = 0;
    while (flat < top->size() && !splitA((*top)[flat])) {
        if (!leaf((*top)[flat], (*tops)[flat])) return false;
        ++flat;
    }
    if (flat == top->size()) return true;
    std::vector<std::pair<const A*, const B*>> pending;
    for (std::size_t i = top->size(); i-- > flat;) pending.emplace_back(&(*top)[i], &(*tops)[i]);
    while (!pending.empty()) {
        const auto [x, y] = pending.back();
        pending.pop_back();
        const std::vector<A>* xs = splitA(*x);
        if (!xs) {
            if (!leaf(*x, *y)) return false;
            continue;
        }
        const std::vector<B>* ys = splitB(*y);
        if (!ys || ys->size() != xs->size()) return false;
        for (std::size_t i = xs->size(); i-- > 0;) pending.emplace_back(&(*xs)[i], &(*ys)[i]);
    }
    return true;
}

// A tree's image built bottom-up: `arity(x)` gives the number of parts of an inner node and
// nothing for a leaf, `child(x, i)` its part i; `leaf(x)` is a leaf's image (leaves are met
// from left to right) and `join(x, images)` an inner node's from its parts' images.
template <class R, class X, class Arity, class Child, class Leaf, class Join>
R fold(const X& root, const Arity& arity, const Child& child, const Leaf& leaf, const Join& join) {
    struct Task {
        X x;
        std::size_t parts;
        bool join;  // the parts' images wait at the end of `built`
    };
    std::vector<Task> tasks{{root, 0, false}};
    std::vector<R> built;
    while (!tasks.empty()) {
        Task k = std::move(tasks.back());
        tasks.pop_back();
        if (k.join) {
            const auto first = built.end() - static_cast<std::ptrdiff_t>(k.parts);
            std::vector<R> images(std::make_move_iterator(first), std::make_move_iterator(built.end()));
            built.erase(first, built.end());
            built.push_back(join(k.x, std::move(images)));
            continue;
        }
        const std::optional<std::size_t> n = arity(k.x);
        if (!n) {
            built.push_back(leaf(k.x));
            continue;
        }
        tasks.push_back({k.x, *n, true});
        for (std::size_t i = *n; i-- > 0;) tasks.push_back({child(k.x, i), 0, false});
    }
    return std::move(built.back());
}

// The variables of a pattern term (PVar leaves under Tupl nodes) as a binder, with their names
// from left to right; `var(name)` and `tup(parts)` make binders, `fail()` refuses any other
// node and does not return.
template <class B, class Term, class Var, class Tup, class Fail>
std::pair<B, std::vector<std::string>> ofPattern(const Term& pattern, const Var& var, const Tup& tup,
                                                 const Fail& fail) {
    using Kind = decltype(pattern.kind());
    std::vector<std::string> names;
    B b = fold<B>(
        &pattern,
        [&fail](const Term* t) -> std::optional<std::size_t> {
            if (t->is(Kind::PVar)) return std::nullopt;
            if (!t->is(Kind::Tupl)) fail();
            return t->elems().size();
        },
        [](const Term* t, std::size_t i) { return &t->elems()[i]; },
        [&](const Term* t) {
            names.push_back(t->name());
            return var(t->name());
        },
        [&tup](const Term*, std::vector<B> parts) { return tup(std::move(parts)); });
    return {std::move(b), std::move(names)};
}

// The binder rebuilt against its type: `var(name, type)` for a variable, `tuple(parts, type)`
// for a tuple, whose parts stop at the shorter of the binder's parts and `tupleArgs(type)`,
// the component types of a tuple type (which refuses any other type and does not return).
template <class R, class B, class Parts, class TupleArgs, class Var, class Tuple>
R againstType(const B& b, const Type& type, const Parts& parts, const TupleArgs& tupleArgs, const Var& var,
              const Tuple& tuple) {
    using At = std::pair<const B*, const Type*>;
    return fold<R>(
        At{&b, &type},
        [&](const At& at) -> std::optional<std::size_t> {
            if (at.first->isVar()) return std::nullopt;
            const std::size_t n = parts(*at.first).size(), m = tupleArgs(*at.second).size();
            return n < m ? n : m;
        },
        [&](const At& at, std::size_t i) { return At{&parts(*at.first)[i], &tupleArgs(*at.second)[i]}; },
        [&var](const At& at) { return var(at.first->name(), *at.second); },
        [&tuple](const At& at, std::vector<R> images) { return tuple(std::move(images), *at.second); });
}

// The binder's text in derived form (LamVar "x", LamTup [...]), in parentheses when prec > 10.
template <class B, class Parts>
void appendText(std::string& out, int prec, const B& b, const Parts& parts) {
    struct Item {
        const B* binder;   // null: `text` comes next
        const char* text;
    };
    std::vector<Item> pending{{&b, nullptr}};
    if (prec > 10) {
        out += '(';
        pending.insert(pending.begin(), Item{nullptr, ")"});
    }
    while (!pending.empty()) {
        const Item it = pending.back();
        pending.pop_back();
        if (!it.binder) {
            out += it.text;
        } else if (it.binder->isVar()) {
            out += "LamVar ";
            appendStringLiteral(out, it.binder->name());
        } else {
            out += "LamTup [";
            pending.push_back({nullptr, "]"});
            const std::vector<B>& cs = parts(*it.binder);
            for (std::size_t i = cs.size(); i-- > 0;) {
                pending.push_back({&cs[i], nullptr});
                if (i > 0) pending.push_back({nullptr, ","});
            }
        }
    }
}

}  // namespace plim::binder_walks
