// Immutable ordered maps held as weight-balanced binary search trees (weight 5).
//
// The maps store no ordering: every operation that compares keys takes the key ordering as
// its first argument.  An ordering is any object with three questions `eq(a, b)`, `lt(a, b)`
// and `gt(a, b)`; `NaturalOrd` asks them of ==, < and >.  Each operation asks exactly the
// questions of its algorithm, in the order of that algorithm.
//
// Every operation returns a new map and shares the untouched subtrees with its arguments.
// On collisions the unions and the intersection keep the key of their first map argument,
// and combining functions receive the first map's element first.  Trees are balanced, so
// the recursive walks below go only logarithmically deep.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/block_pool.h"
#include "support/errors.h"
#include "support/lazy.h"

namespace plim {

// The ordering of a type by its own ==, < and >.
struct NaturalOrd {
    template <class T>
    bool eq(const T& a, const T& b) const { return a == b; }
    template <class T>
    bool lt(const T& a, const T& b) const { return a < b; }
    template <class T>
    bool gt(const T& a, const T& b) const { return a > b; }
};

// Whether the cells of FiniteMap<K, E> come from the block pool (support/block_pool.h): opted
// into, next to the element type, by a module that rebuilds such maps all the time (every
// specialisation must be seen before the map type is used).
template <class K, class E>
struct PooledMapCells : std::false_type {};

// A map: `EmptyMap` or `Node` (key, element, size, smaller, greater).
template <class K, class E>
class FiniteMap {
    struct Cell {
        K key;
        E elt;
        std::int32_t size;
        FiniteMap smaller;
        FiniteMap greater;
    };

public:
    FiniteMap() = default;  // EmptyMap

    // Whoever builds a node by hand must give it its true size.
    static FiniteMap Node(K key, E elt, std::int32_t size, FiniteMap smaller, FiniteMap greater) {
        Cell c{std::move(key), std::move(elt), size, std::move(smaller), std::move(greater)};
        if constexpr (PooledMapCells<K, E>::value)
            return FiniteMap(std::allocate_shared<const Cell>(PoolAllocator<Cell>(), std::move(c)));
        return FiniteMap(std::make_shared<const Cell>(std::move(c)));
    }

    bool isEmpty() const { return !cell_; }
    // The fields of a node; only for a map that is not empty.
    const K& key() const { return cell_->key; }
    const E& elt() const { return cell_->elt; }
    std::int32_t size() const { return cell_ ? cell_->size : 0; }
    const FiniteMap& smaller() const { return cell_->smaller; }
    const FiniteMap& greater() const { return cell_->greater; }

    // True when both are the same tree object (not a test of equal contents).
    bool sameTree(const FiniteMap& other) const { return cell_ == other.cell_; }

private:
    explicit FiniteMap(std::shared_ptr<const Cell> cell) : cell_(std::move(cell)) {}
    std::shared_ptr<const Cell> cell_;
};

// ---------------------------------------------------------------------------------------
// Building and balancing
// ---------------------------------------------------------------------------------------

template <class K, class E>
FiniteMap<K, E> makeNode(K k, E e, FiniteMap<K, E> l, FiniteMap<K, E> r) {
    const std::int32_t size = 1 + l.size() + r.size();
    return FiniteMap<K, E>::Node(std::move(k), std::move(e), size, std::move(l), std::move(r));
}

namespace fm_detail {

template <class K, class E>
FiniteMap<K, E> single_L(const K& k, const E& e, const FiniteMap<K, E>& l, const FiniteMap<K, E>& r) {
    return makeNode(r.key(), r.elt(), makeNode(k, e, l, r.smaller()), r.greater());
}

template <class K, class E>
FiniteMap<K, E> double_L(const K& k, const E& e, const FiniteMap<K, E>& l, const FiniteMap<K, E>& r) {
    const FiniteMap<K, E>& b = r.smaller();
    if (b.isEmpty()) patternFail(CodedFailure::MapDoubleRotateLeft);
    return makeNode(b.key(), b.elt(), makeNode(k, e, l, b.smaller()),
                    makeNode(r.key(), r.elt(), b.greater(), r.greater()));
}

template <class K, class E>
FiniteMap<K, E> single_R(const K& k, const E& e, const FiniteMap<K, E>& l, const FiniteMap<K, E>& r) {
    return makeNode(l.key(), l.elt(), l.smaller(), makeNode(k, e, l.greater(), r));
}

template <class K, class E>
FiniteMap<K, E> double_R(const K& k, const E& e, const FiniteMap<K, E>& l, const FiniteMap<K, E>& r) {
    const FiniteMap<K, E>& b = l.greater();
    if (b.isEmpty()) patternFail(CodedFailure::MapDoubleRotateRight);
    return makeNode(b.key(), b.elt(), makeNode(l.key(), l.elt(), l.smaller(), b.smaller()),
                    makeNode(k, e, b.greater(), r));
}

// Five times a size, without overflow.
inline std::int64_t times5(std::int32_t size) { return std::int64_t{5} * size; }

}  // namespace fm_detail

// A node of the same entries, rotated once when one side holds more than 5 times the
// entries of the other (never when both sides together hold at most one entry).
template <class K, class E>
FiniteMap<K, E> balanceNode(K k, E e, FiniteMap<K, E> l, FiniteMap<K, E> r) {
    using namespace fm_detail;
    const std::int32_t sl = l.size();
    const std::int32_t sr = r.size();
    if (std::int64_t{sl} + sr <= 1) return makeNode(std::move(k), std::move(e), std::move(l), std::move(r));
    if (sr > times5(sl)) {
        if (r.isEmpty()) patternFail(CodedFailure::MapRebalanceGreater);
        if (r.smaller().size() < r.greater().size()) return single_L(k, e, l, r);
        return double_L(k, e, l, r);
    }
    if (sl > times5(sr)) {
        if (l.isEmpty()) patternFail(CodedFailure::MapRebalanceSmaller);
        if (l.greater().size() < l.smaller().size()) return single_R(k, e, l, r);
        return double_R(k, e, l, r);
    }
    return makeNode(std::move(k), std::move(e), std::move(l), std::move(r));
}

// ---------------------------------------------------------------------------------------
// The public operations
// ---------------------------------------------------------------------------------------

template <class K, class E, class O>
FiniteMap<K, E> emptyFM(const O&) {
    return FiniteMap<K, E>();
}

template <class O, class K, class E>
FiniteMap<K, E> unitFM(const O&, K key, E elt) {
    return FiniteMap<K, E>::Node(std::move(key), std::move(elt), 1, {}, {});
}

template <class O, class K, class E>
std::optional<E> lookupFM(const O& ord, const FiniteMap<K, E>& m, const std::type_identity_t<K>& key) {
    const FiniteMap<K, E>* at = &m;
    while (!at->isEmpty()) {
        if (ord.eq(key, at->key())) return at->elt();
        if (ord.lt(key, at->key())) {
            at = &at->smaller();
        } else if (ord.gt(key, at->key())) {
            at = &at->greater();
        } else {
            patternFail(CodedFailure::MapLookupUnordered);
        }
    }
    return std::nullopt;
}

template <class O, class K, class E>
E lookupWithDefaultFM(const O& ord, const FiniteMap<K, E>& m, std::type_identity_t<E> deflt,
                      const std::type_identity_t<K>& key) {
    std::optional<E> found = lookupFM(ord, m, key);
    return found ? std::move(*found) : std::move(deflt);
}

// Binds key; an existing element old becomes comb(elt, old) under the key given here.
template <class O, class C, class K, class E>
FiniteMap<K, E> addToCombFM(const O& ord, const C& comb, const std::type_identity_t<K>& key,
                            const std::type_identity_t<E>& elt, const FiniteMap<K, E>& m) {
    if (m.isEmpty()) return FiniteMap<K, E>::Node(key, elt, 1, {}, {});
    if (ord.lt(key, m.key()))
        return balanceNode(m.key(), m.elt(), addToCombFM(ord, comb, key, elt, m.smaller()), m.greater());
    if (ord.gt(key, m.key()))
        return balanceNode(m.key(), m.elt(), m.smaller(), addToCombFM(ord, comb, key, elt, m.greater()));
    return FiniteMap<K, E>::Node(key, comb(elt, m.elt()), m.size(), m.smaller(), m.greater());
}

template <class O, class K, class E>
FiniteMap<K, E> addToFM(const O& ord, const std::type_identity_t<K>& key, const std::type_identity_t<E>& elt,
                        const FiniteMap<K, E>& m) {
    return addToCombFM(ord, [](const E& neu, const E&) { return neu; }, key, elt, m);
}

// (least key, its element, the map without that entry); only for a map that is not empty.
template <class K, class E>
std::tuple<K, E, FiniteMap<K, E>> splitMin(const FiniteMap<K, E>& m) {
    if (m.smaller().isEmpty()) return {m.key(), m.elt(), m.greater()};
    auto [mk, me, rest] = splitMin(m.smaller());
    return {std::move(mk), std::move(me), balanceNode(m.key(), m.elt(), std::move(rest), m.greater())};
}

template <class O, class K, class E>
FiniteMap<K, E> delFromFM(const O& ord, const std::type_identity_t<K>& key, const FiniteMap<K, E>& m) {
    if (m.isEmpty()) return m;
    if (ord.lt(key, m.key())) return balanceNode(m.key(), m.elt(), delFromFM(ord, key, m.smaller()), m.greater());
    if (ord.gt(key, m.key())) return balanceNode(m.key(), m.elt(), m.smaller(), delFromFM(ord, key, m.greater()));
    if (m.smaller().isEmpty()) return m.greater();
    if (m.greater().isEmpty()) return m.smaller();
    auto [mk, me, rest] = splitMin(m.greater());
    return balanceNode(std::move(mk), std::move(me), m.smaller(), std::move(rest));
}

template <class O, class C, class K, class E>
FiniteMap<K, E> listToCombFM(const O& ord, const C& comb, const std::vector<std::pair<K, E>>& pairs) {
    FiniteMap<K, E> m;
    for (const auto& [k, e] : pairs) m = addToCombFM(ord, comb, k, e, m);
    return m;
}

template <class O, class K, class E>
FiniteMap<K, E> listToFM(const O& ord, const std::vector<std::pair<K, E>>& pairs) {
    return listToCombFM(ord, [](const E& neu, const E&) { return neu; }, pairs);
}

// One map of all entries; every key of m1 is below every key of m2.
template <class K, class E>
FiniteMap<K, E> glueFM(const FiniteMap<K, E>& m1, const FiniteMap<K, E>& m2) {
    using fm_detail::times5;
    if (m1.isEmpty()) return m2;
    if (m2.isEmpty()) return m1;
    if (times5(m1.size()) < m2.size()) return balanceNode(m2.key(), m2.elt(), glueFM(m1, m2.smaller()), m2.greater());
    if (times5(m2.size()) < m1.size()) return balanceNode(m1.key(), m1.elt(), m1.smaller(), glueFM(m1.greater(), m2));
    auto [mk, me, rest] = splitMin(m2);
    return balanceNode(std::move(mk), std::move(me), m1, std::move(rest));
}

// One map of l, the entry (k, e) and r; the keys of l are below k, those of r above.
template <class O, class K, class E>
FiniteMap<K, E> joinFM(const O& ord, const K& k, const E& e, const FiniteMap<K, E>& l, const FiniteMap<K, E>& r) {
    using fm_detail::times5;
    if (l.isEmpty()) return addToFM(ord, k, e, r);
    if (r.isEmpty()) return addToFM(ord, k, e, l);
    const std::int32_t sl = l.size();
    const std::int32_t sr = r.size();
    if (times5(sl) < sr) return balanceNode(r.key(), r.elt(), joinFM(ord, k, e, l, r.smaller()), r.greater());
    if (times5(sr) < sl) return balanceNode(l.key(), l.elt(), l.smaller(), joinFM(ord, k, e, l.greater(), r));
    return FiniteMap<K, E>::Node(k, e, sl + 1 + sr, l, r);
}

// The entries whose keys are less than key.
template <class O, class K, class E>
FiniteMap<K, E> splitBelow(const O& ord, const K& key, const FiniteMap<K, E>& m) {
    if (m.isEmpty()) return m;
    if (ord.lt(key, m.key())) return splitBelow(ord, key, m.smaller());
    if (ord.gt(key, m.key())) return joinFM(ord, m.key(), m.elt(), m.smaller(), splitBelow(ord, key, m.greater()));
    return m.smaller();
}

// The entries whose keys are greater than key.
template <class O, class K, class E>
FiniteMap<K, E> splitAbove(const O& ord, const K& key, const FiniteMap<K, E>& m) {
    if (m.isEmpty()) return m;
    if (ord.gt(key, m.key())) return splitAbove(ord, key, m.greater());
    if (ord.lt(key, m.key())) return joinFM(ord, m.key(), m.elt(), splitAbove(ord, key, m.smaller()), m.greater());
    return m.greater();
}

// The union; m1's keys and elements win.
template <class O, class K, class E>
FiniteMap<K, E> plusFM(const O& ord, const FiniteMap<K, E>& m1, const FiniteMap<K, E>& m2) {
    if (m2.isEmpty()) return m1;
    if (m1.isEmpty()) return m2;
    const K& k = m1.key();
    return joinFM(ord, k, m1.elt(), plusFM(ord, m1.smaller(), splitBelow(ord, k, m2)),
                  plusFM(ord, m1.greater(), splitAbove(ord, k, m2)));
}

// The union; a key of both maps keeps m1's key with comb(m1's element, m2's element).
template <class O, class C, class K, class E>
FiniteMap<K, E> plusCombFM(const O& ord, const C& comb, const FiniteMap<K, E>& m1, const FiniteMap<K, E>& m2) {
    if (m2.isEmpty()) return m1;
    if (m1.isEmpty()) return m2;
    const K& k = m1.key();
    FiniteMap<K, E> lower = plusCombFM(ord, comb, m1.smaller(), splitBelow(ord, k, m2));
    FiniteMap<K, E> upper = plusCombFM(ord, comb, m1.greater(), splitAbove(ord, k, m2));
    std::optional<E> e2 = lookupFM(ord, m2, k);
    return joinFM(ord, k, e2 ? E(comb(m1.elt(), *e2)) : m1.elt(), lower, upper);
}

// The entries of m1 whose keys are not in m2.
template <class O, class K, class E, class E2>
FiniteMap<K, E> minusFM(const O& ord, const FiniteMap<K, E>& m1, const FiniteMap<K, E2>& m2) {
    if (m1.isEmpty()) return FiniteMap<K, E>();
    if (m2.isEmpty()) return m1;
    const K& k = m2.key();
    return glueFM(minusFM(ord, splitBelow(ord, k, m1), m2.smaller()),
                  minusFM(ord, splitAbove(ord, k, m1), m2.greater()));
}

// The keys of m1 that m2 also holds, with m1's key and comb(m1's element, m2's element).
template <class O, class C, class K, class E1, class E2>
auto intersectCombFM(const O& ord, const C& comb, const FiniteMap<K, E1>& m1, const FiniteMap<K, E2>& m2)
    -> FiniteMap<K, decltype(comb(std::declval<const E1&>(), std::declval<const E2&>()))> {
    using E3 = decltype(comb(std::declval<const E1&>(), std::declval<const E2&>()));
    if (m2.isEmpty() || m1.isEmpty()) return FiniteMap<K, E3>();
    const K& k = m1.key();
    FiniteMap<K, E3> lower = intersectCombFM(ord, comb, m1.smaller(), splitBelow(ord, k, m2));
    FiniteMap<K, E3> upper = intersectCombFM(ord, comb, m1.greater(), splitAbove(ord, k, m2));
    std::optional<E2> e2 = lookupFM(ord, m2, k);
    if (e2) return joinFM(ord, k, E3(comb(m1.elt(), *e2)), lower, upper);
    return glueFM(lower, upper);
}

// The entries of m1 whose keys m2 also holds.
template <class O, class K, class E, class E2>
FiniteMap<K, E> intersectFM(const O& ord, const FiniteMap<K, E>& m1, const FiniteMap<K, E2>& m2) {
    return intersectCombFM(ord, [](const E& a, const E2&) { return a; }, m1, m2);
}

template <class O, class P, class K, class E>
FiniteMap<K, E> filterFM(const O& ord, const P& pred, const FiniteMap<K, E>& m) {
    if (m.isEmpty()) return m;
    FiniteMap<K, E> sm = filterFM(ord, pred, m.smaller());
    FiniteMap<K, E> gr = filterFM(ord, pred, m.greater());
    if (pred(m.key(), m.elt())) return joinFM(ord, m.key(), m.elt(), sm, gr);
    return glueFM(sm, gr);
}

// f(k1, e1, f(k2, e2, ... f(kn, en, z))) in ascending key order.
template <class F, class A, class K, class E>
A foldFM(const F& f, A z, const FiniteMap<K, E>& m) {
    if (m.isEmpty()) return z;
    A upper = foldFM(f, std::move(z), m.greater());
    return foldFM(f, f(m.key(), m.elt(), std::move(upper)), m.smaller());
}

// The same tree with each element e under key k replaced by f(k, e).
template <class F, class K, class E>
auto mapFM(const F& f, const FiniteMap<K, E>& m) -> FiniteMap<K, decltype(f(std::declval<const K&>(), std::declval<const E&>()))> {
    using E2 = decltype(f(std::declval<const K&>(), std::declval<const E&>()));
    if (m.isEmpty()) return FiniteMap<K, E2>();
    return FiniteMap<K, E2>::Node(m.key(), f(m.key(), m.elt()), m.size(), mapFM(f, m.smaller()), mapFM(f, m.greater()));
}

template <class O, class F, class A, class K, class E>
A foldOrdFM(const O&, const F& f, A z, const FiniteMap<K, E>& m) {
    return foldFM(f, std::move(z), m);
}

// mapFM under an ordering that it ignores: no key is compared.
template <class O, class F, class K, class E>
auto mapOrdFM(const O&, const F& f, const FiniteMap<K, E>& m) {
    return mapFM(f, m);
}

// The fold step that lists the entries: (key, element) in front of rest.
template <class K, class E>
List<std::pair<K, E>> fmToListStep(const K& key, const E& elt, List<std::pair<K, E>> rest) {
    return List<std::pair<K, E>>::cons({key, elt}, std::move(rest));
}

namespace fm_detail {
template <class K, class E>
void appendInOrder(const FiniteMap<K, E>& m, std::vector<std::pair<K, E>>& out) {
    if (m.isEmpty()) return;
    appendInOrder(m.smaller(), out);
    out.emplace_back(m.key(), m.elt());
    appendInOrder(m.greater(), out);
}

template <class SK, class SE, class K, class E>
void showTree(const SK& showKey, const SE& showElt, const FiniteMap<K, E>& m, std::size_t depth, std::string& out) {
    if (m.isEmpty()) return;
    out.append(2 * depth, ' ');
    out += showKey(m.key());
    out += " --> ";
    out += showElt(m.elt());
    out += " (size: " + std::to_string(m.size()) + ")\n";
    showTree(showKey, showElt, m.smaller(), depth + 1, out);
    showTree(showKey, showElt, m.greater(), depth + 1, out);
}
}  // namespace fm_detail

// The entries as pairs in ascending key order.
template <class O, class K, class E>
std::vector<std::pair<K, E>> fmToList(const O&, const FiniteMap<K, E>& m) {
    std::vector<std::pair<K, E>> out;
    out.reserve(static_cast<std::size_t>(m.size()));
    fm_detail::appendInOrder(m, out);
    return out;
}

// One line per entry in pre-order: 2·depth blanks, key, " --> ", element, " (size: n)".
template <class SK, class SE, class K, class E>
std::string showTreeFM(const SK& showKey, const SE& showElt, const FiniteMap<K, E>& m) {
    std::string out;
    fm_detail::showTree(showKey, showElt, m, 0, out);
    return out;
}

// Maps are equal and ordered as their ascending entry lists (key before element).
template <class K, class E>
bool operator==(const FiniteMap<K, E>& a, const FiniteMap<K, E>& b) {
    return a.size() == b.size() && fmToList(NaturalOrd{}, a) == fmToList(NaturalOrd{}, b);
}

template <class K, class E>
bool operator<(const FiniteMap<K, E>& a, const FiniteMap<K, E>& b) {
    return fmToList(NaturalOrd{}, a) < fmToList(NaturalOrd{}, b);
}

}  // namespace plim
