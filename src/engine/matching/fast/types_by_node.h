#pragma once
// A small per-thread memo of what is built from types, keyed by the very type nodes: the key
// holds the types, so their nodes (and addresses) stay theirs while the entry lives.  The
// memo is dropped whole before it would hold more than kLimit entries.
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "lang/types.h"
#include "support/hashing.h"

namespace plim::fast {

// Two types looked up as a pair key without copying their handles (a copy counts atomically).
using TypePairProbe = std::pair<const Type*, const Type*>;

// Hash and equality of a key of types by their nodes: a type, a pair or a list of them.
struct SameTypeNodes {
    using is_transparent = void;
    static std::uint64_t hash(const Type& t) { return reinterpret_cast<std::uintptr_t>(t.nodeAddress()); }
    static std::uint64_t hash(const std::pair<Type, Type>& k) { return mixHash(hash(k.first), hash(k.second)); }
    static std::uint64_t hash(const TypePairProbe& k) { return mixHash(hash(*k.first), hash(*k.second)); }
    static std::uint64_t hash(const std::vector<Type>& k) {
        std::uint64_t h = k.size();
        for (const Type& t : k) h = mixHash(h, hash(t));
        return h;
    }
    template <class Key>
    std::size_t operator()(const Key& k) const { return static_cast<std::size_t>(mixHash(0, hash(k))); }

    static bool same(const Type& a, const Type& b) { return a.sameNode(b); }
    static bool same(const std::pair<Type, Type>& a, const std::pair<Type, Type>& b) {
        return a.first.sameNode(b.first) && a.second.sameNode(b.second);
    }
    static bool same(const TypePairProbe& a, const std::pair<Type, Type>& b) {
        return a.first->sameNode(b.first) && a.second->sameNode(b.second);
    }
    static bool same(const std::pair<Type, Type>& a, const TypePairProbe& b) { return same(b, a); }
    static bool same(const std::vector<Type>& a, const std::vector<Type>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!a[i].sameNode(b[i])) return false;
        return true;
    }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const { return same(a, b); }
};

template <class Key, class Value>
class TypesByNode {
public:
    // The value kept for the key, or build(key) kept from now on.  The key is looked up as
    // given (a probe that names the key's types, or the key itself) and made by `makeKey`
    // (from the probe) only when it is new.
    template <class Probe, class MakeKey, class Build>
    Value get(const Probe& probe, MakeKey&& makeKey, Build&& build) {
        if (auto it = byKey_.find(probe); it != byKey_.end()) return it->second;
        Key key = makeKey(probe);
        Value built = build(key);
        if (byKey_.size() >= kLimit) byKey_.clear();
        byKey_.emplace(std::move(key), built);
        return built;
    }
    template <class Build>
    Value get(const Key& key, Build&& build) {
        return get(key, [](const Key& k) { return k; }, std::forward<Build>(build));
    }

private:
    static constexpr std::size_t kLimit = 4096;
    std::unordered_map<Key, Value, SameTypeNodes, SameTypeNodes> byKey_;
};

}  // namespace plim::fast
