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

// Hash and equality of a key of types by their nodes: a type, a pair or a list of them.
struct SameTypeNodes {
    static std::uint64_t hash(const Type& t) { return reinterpret_cast<std::uintptr_t>(t.nodeAddress()); }
    static std::uint64_t hash(const std::pair<Type, Type>& k) { return mixHash(hash(k.first), hash(k.second)); }
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
    static bool same(const std::vector<Type>& a, const std::vector<Type>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!a[i].sameNode(b[i])) return false;
        return true;
    }
    template <class Key>
    bool operator()(const Key& a, const Key& b) const { return same(a, b); }
};

template <class Key, class Value>
class TypesByNode {
public:
    // The value kept for the key, or build(key) kept from now on.
    template <class Build>
    Value get(Key key, Build&& build) {
        if (auto it = byKey_.find(key); it != byKey_.end()) return it->second;
        Value built = build(key);
        if (byKey_.size() >= kLimit) byKey_.clear();
        byKey_.emplace(std::move(key), built);
        return built;
    }

private:
    static constexpr std::size_t kLimit = 4096;
    std::unordered_map<Key, Value, SameTypeNodes, SameTypeNodes> byKey_;
};

}  // namespace plim::fast
