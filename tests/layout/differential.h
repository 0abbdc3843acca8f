// Shared by the differential tests of the layout library and of the printer: the
// combinators of the library as it runs (Pruned: the node engine) and of its oracle (Exhaustive,
// layout/lazy_rules.h: the lazy attribute rules with every candidate built); the printer's own
// arrangements over either; and a small random source.
//
// The oracle builds every candidate, with no pruning of dominated candidates, no one-line shortcut
// and no work budget, so that it shows that dropping candidates never changes a text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "layout/combinators.h"
#include "layout/lazy_rules.h"

namespace plim::difftest {

// The combinators used below, for one of the two libraries.
#define PLIM_LAYOUT_LIBRARY(Name, ns)                                                                      \
    struct Name {                                                                                          \
        using D = ns::Doc;                                                                                 \
        using P = ns::ParDoc;                                                                              \
        static D text(const std::string& s) { return ns::textDoc(s); }                                     \
        static D empty() { return ns::emptyDoc(); }                                                        \
        static D beside(D a, D b) { return ns::besideDoc(a, b); }                                          \
        static D above(D a, D b) { return ns::aboveDoc(a, b); }                                            \
        static D besideSpace(D a, D b) { return ns::besideSpace(a, b); }                                   \
        static D filter(D a) { return ns::filterDoc(a); }                                                  \
        static D indent(LayoutInt n, D a) { return ns::indentDoc(n, a); }                                  \
        static D parens(D a) { return ns::parensDoc(a); }                                                  \
        static D join(D a, D b) { return ns::joinDoc(ns::dupDoc(a, b)); }                                  \
        static D dup(D a, D b) { return ns::dupDoc(a, b); }                                                \
        static D joinOf(D a) { return ns::joinDoc(a); }                                                    \
        static D hv(std::vector<D> xs) { return ns::hvList(std::move(xs)); }                               \
        static D hvSp(std::vector<D> xs) { return ns::hvSpList(std::move(xs)); }                           \
        static D aboves(std::vector<D> xs) { return ns::aboveList(std::move(xs)); }                        \
        static D spaced(std::vector<D> xs) { return ns::besideSpaceList(std::move(xs)); }                  \
        static D fill(std::vector<D> xs) { return ns::fillDoc(std::move(xs)); }                            \
        static D fillBlock(LayoutInt n, std::vector<D> xs) { return ns::fillBlockDoc(n, std::move(xs)); }  \
        static D centred(std::vector<D> xs) { return ns::centredAboveList(std::move(xs)); }                \
        static D zeroSize(D a) { return ns::zeroSizeDoc(a); }                                              \
        static D block(std::vector<D> xs) { return ns::blockDoc("(", ")", ", ", std::move(xs)); }          \
        static D cond(D c, D t, D e) { return ns::ifThenElseDoc("if ", " then ", " else ", "", c, t, e); } \
        static P hole() { return ns::parDoc(); }                                                           \
        static P first() { return ns::firstParDoc(); }                                                     \
        static P second() { return ns::secondParDoc(); }                                                   \
        static P lift(D d) { return ns::liftParDoc(d); }                                                   \
        static P filterP(P p) { return ns::filterParDoc(p); }                                              \
        static P besideP(P a, P b) { return ns::besideParDoc(a, b); }                                      \
        static P aboveP(P a, P b) { return ns::aboveParDoc(a, b); }                                        \
        static P indentP(LayoutInt n, P p) { return ns::indentParDoc(n, p); }                              \
        static P bestOf(P a, P b) { return ns::joinParDoc(ns::choiceParDoc(a, b)); }                       \
        static P choiceP(P a, P b) { return ns::choiceParDoc(a, b); }                                      \
        static P substP(P outer, std::vector<P> inners) { return ns::substParDoc(outer, std::move(inners)); } \
        static D apply(P p, std::vector<D> xs) { return ns::applyParDoc(p, std::move(xs)); }               \
        static std::string render(const D& d, LayoutInt w) { return ns::renderDoc(d, w); }                 \
    }

PLIM_LAYOUT_LIBRARY(Pruned, ::plim);
PLIM_LAYOUT_LIBRARY(Exhaustive, ::plim::lazy_rules);
#undef PLIM_LAYOUT_LIBRARY

// The printer's own arrangements, over either library.
template <class L>
typename L::D funDef(typename L::D lhs, typename L::D rhs) {
    auto p = L::bestOf(L::besideP(L::filterP(L::hole()), L::hole()), L::aboveP(L::hole(), L::indentP(3, L::hole())));
    return L::apply(p, {lhs, rhs});
}
template <class L>
typename L::D hvEach(std::vector<typename L::D> xs) {
    typename L::D rest = xs.back();
    for (std::size_t i = xs.size() - 1; i-- > 0;) {
        auto step = L::bestOf(L::besideP(L::filterP(L::hole()), L::hole()), L::aboveP(L::hole(), L::hole()));
        rest = L::apply(step, {xs[i], rest});
    }
    return rest;
}
template <class L>
typename L::D tightBlock(std::vector<typename L::D> xs) {
    auto line = L::lift(L::text(")"));
    auto stack = L::lift(L::text(")"));
    for (std::size_t i = xs.size(); i-- > 0;) {
        line = L::besideP(L::lift(L::text(i == 0 ? "(" : ", ")), L::besideP(L::filterP(L::hole()), line));
        stack = L::aboveP(L::besideP(L::lift(L::text(i == 0 ? "( " : ", ")), L::hole()), stack);
    }
    return L::apply(L::bestOf(line, stack), std::move(xs));
}

struct Random {
    std::uint64_t state;
    unsigned below(unsigned n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<unsigned>((state >> 33) % n);
    }
};

// The library as it runs renders what the oracle does at three random widths.
inline void expectSameTexts(const Pruned::D& pruned, const Exhaustive::D& exhaustive, Random& r, const std::string& what) {
    for (int k = 0; k < 3; ++k) {
        const LayoutInt w = 1 + r.below(200);
        ASSERT_EQ(Pruned::render(pruned, w), Exhaustive::render(exhaustive, w)) << what << " at width " << w;
    }
}

}  // namespace plim::difftest
