// Immutable ordered sets: a thin layer over the finite maps, whose keys are the elements and
// whose elements carry no information.  As with the maps, every ordered operation takes the
// ordering of the element type as its first argument.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/finite_maps.h"

namespace plim {

// The element of no information.
struct Unit {
    friend bool operator==(Unit, Unit) { return true; }
    friend bool operator<(Unit, Unit) { return false; }
    friend bool operator>(Unit, Unit) { return false; }
};

template <class T>
class Set {
public:
    Set() = default;
    explicit Set(FiniteMap<T, Unit> map) : map_(std::move(map)) {}
    const FiniteMap<T, Unit>& map() const { return map_; }

private:
    FiniteMap<T, Unit> map_;
};

// The ordering of sets by the ordering of their elements: two sets compare as their
// ascending element lists, lexicographically; an exhausted list is the lesser.
template <class O>
struct SetOrd {
    O elemOrd;

    template <class T>
    bool eq(const Set<T>& a, const Set<T>& b) const {
        auto xs = fmToList(elemOrd, a.map());
        auto ys = fmToList(elemOrd, b.map());
        if (xs.size() != ys.size()) return false;
        for (std::size_t i = 0; i < xs.size(); ++i)
            if (!elemOrd.eq(xs[i].first, ys[i].first)) return false;
        return true;
    }
    template <class T>
    bool lt(const Set<T>& a, const Set<T>& b) const { return before(a, b); }
    template <class T>
    bool gt(const Set<T>& a, const Set<T>& b) const { return before(b, a); }

private:
    template <class T>
    bool before(const Set<T>& a, const Set<T>& b) const {
        auto xs = fmToList(elemOrd, a.map());
        auto ys = fmToList(elemOrd, b.map());
        for (std::size_t i = 0;; ++i) {
            if (i == ys.size()) return false;
            if (i == xs.size()) return true;
            if (!elemOrd.eq(xs[i].first, ys[i].first)) return elemOrd.lt(xs[i].first, ys[i].first);
        }
    }
};

template <class O>
SetOrd<O> setOrd(const O& elemOrd) {
    return SetOrd<O>{elemOrd};
}

template <class T>
bool operator==(const Set<T>& a, const Set<T>& b) {
    return a.map() == b.map();
}

template <class T>
bool operator<(const Set<T>& a, const Set<T>& b) {
    return a.map() < b.map();
}

template <class T, class O>
Set<T> emptySet(const O&) {
    return Set<T>();
}

template <class O, class T>
Set<T> unitSet(const O& ord, T x) {
    return Set<T>(unitFM(ord, std::move(x), Unit{}));
}

// A repeated element keeps its last occurrence as the representative.
template <class O, class T>
Set<T> mkSet(const O& ord, const std::vector<T>& xs) {
    std::vector<std::pair<T, Unit>> pairs;
    pairs.reserve(xs.size());
    for (const T& x : xs) pairs.emplace_back(x, Unit{});
    return Set<T>(listToFM(ord, pairs));
}

template <class O, class T>
std::vector<T> setToList(const O& ord, const Set<T>& s) {
    std::vector<T> out;
    for (auto& entry : fmToList(ord, s.map())) out.push_back(std::move(entry.first));
    return out;
}

template <class O, class T>
std::int32_t cardinality(const O&, const Set<T>& s) {
    return s.map().size();
}

template <class O, class T>
bool elementOf(const O& ord, const std::type_identity_t<T>& x, const Set<T>& s) {
    return lookupFM(ord, s.map(), x).has_value();
}

template <class O, class T>
Set<T> addToSet(const O& ord, const std::type_identity_t<T>& x, const Set<T>& s) {
    return Set<T>(addToCombFM(ord, [](Unit neu, Unit) { return neu; }, x, Unit{}, s.map()));
}

template <class O, class T>
Set<T> delFromSet(const O& ord, const std::type_identity_t<T>& x, const Set<T>& s) {
    return Set<T>(delFromFM(ord, x, s.map()));
}

template <class O, class T>
Set<T> unionSets(const O& ord, const Set<T>& a, const Set<T>& b) {
    return Set<T>(plusFM(ord, a.map(), b.map()));
}

template <class O, class T>
Set<T> minusSet(const O& ord, const Set<T>& a, const Set<T>& b) {
    return Set<T>(minusFM(ord, a.map(), b.map()));
}

template <class O, class T>
Set<T> intersectSets(const O& ord, const Set<T>& a, const Set<T>& b) {
    return Set<T>(intersectFM(ord, a.map(), b.map()));
}

template <class O, class P, class T>
Set<T> filterSet(const O& ord, const P& pred, const Set<T>& s) {
    return Set<T>(filterFM(ord, [&pred](const T& x, Unit) { return pred(x); }, s.map()));
}

// f(x1, f(x2, ... f(xn, z))) over the elements in ascending order.
template <class O, class F, class A, class T>
A foldSet(const O&, const F& f, A z, const Set<T>& s) {
    return foldFM([&f](const T& x, Unit, A acc) { return f(x, std::move(acc)); }, std::move(z), s.map());
}

// The set of f's results, built under the result type's ordering; equal results merge.
template <class O, class F, class T>
auto mapSet(const O& resultOrd, const F& f, const Set<T>& s) -> Set<decltype(f(std::declval<const T&>()))> {
    using U = decltype(f(std::declval<const T&>()));
    std::vector<U> images;
    for (const T& x : setToList(resultOrd, s)) images.push_back(f(x));
    return mkSet(resultOrd, images);
}

// mapSet under the result's ordering; the ordering of the source elements is not used.
template <class OS, class O, class F, class T>
auto mapSetOrd(const OS&, const O& resultOrd, const F& f, const Set<T>& s) {
    return mapSet(resultOrd, f, s);
}

template <class O, class T>
bool isSubsetOf(const O& ord, const Set<T>& a, const Set<T>& b) {
    return minusFM(ord, a.map(), b.map()).isEmpty();
}

// All subsets, ordered as sets are.
template <class O, class T>
Set<Set<T>> powerSet(const O& ord, const Set<T>& s) {
    const SetOrd<O> subsetOrd{ord};
    auto step = [&](const T& x, Set<Set<T>> acc) {
        std::vector<std::pair<Set<T>, Unit>> extended;
        for (const Set<T>& t : setToList(subsetOrd, acc)) extended.emplace_back(addToSet(ord, x, t), Unit{});
        return unionSets(subsetOrd, Set<Set<T>>(listToFM(subsetOrd, extended)), acc);
    };
    return foldSet(ord, step, unitSet(subsetOrd, Set<T>()), s);
}

// "{", the elements' text forms in ascending order separated by ", ", then "}".
template <class S, class T>
std::string showSet(const S& showElt, const Set<T>& s) {
    std::string out = "{";
    bool first = true;
    for (const auto& entry : fmToList(NaturalOrd{}, s.map())) {
        if (!first) out += ", ";
        out += showElt(entry.first);
        first = false;
    }
    return out + "}";
}

}  // namespace plim
