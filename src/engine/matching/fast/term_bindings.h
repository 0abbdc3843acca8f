// The bindings of the fast matcher's substitutions: pattern-variable names with their terms,
// in ascending name order.
//
// A search binds a few names per solution, one at a time, and copies what it has bound for
// every alternative it tries; the results are read in name order.  So the bindings are one
// sorted block of entries that copies share: binding a name in bindings whose block nobody
// else holds changes that block, otherwise a copy of it.  A block holds its first few
// entries itself and comes from the block pool.  Like the terms, the bindings are built,
// read and dropped by one thread at a time: their holders are counted plainly.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "engine/matching/fast/terms.h"
#include "support/block_pool.h"

namespace plim::fast {

// Names compared inline: pattern-variable names are short, and most differ in their length or
// first letters.
inline bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}
// a < b, in the order of std::string.
inline bool nameBefore(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    return a.size() < b.size();
}

class TermBindings {
public:
    using Entry = std::pair<std::string, Term>;

    TermBindings() = default;
    TermBindings(const TermBindings& other) noexcept : block_(other.block_) {
        if (block_) ++block_->holders;
    }
    TermBindings(TermBindings&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    TermBindings& operator=(TermBindings other) noexcept {
        std::swap(block_, other.block_);
        return *this;
    }
    ~TermBindings() {
        if (block_ && --block_->holders == 0) drop(block_);
    }

    // Room for n bindings in all, for bindings that have none yet.
    void reserve(std::size_t n) {
        if (!block_ && n > 0) block_ = newBlock(n);
    }

    bool isEmpty() const { return size() == 0; }
    std::size_t size() const { return block_ ? block_->count : 0; }
    const Entry* begin() const { return block_ ? block_->items : nullptr; }
    const Entry* end() const { return block_ ? block_->items + block_->count : nullptr; }

    // The term bound to the name; null when there is none.
    const Term* find(const std::string& name) const {
        const Entry* at = lowerBound(name);
        return at != end() && sameName(at->first, name) ? &at->second : nullptr;
    }
    // Some bound term holds a pattern variable.
    bool anyHoldsPVar() const {
        return std::any_of(begin(), end(), [](const Entry& e) { return e.second.hasPVar(); });
    }

    // What binding a name that is bound already does: keep its term, or replace it.
    enum class OnBound : bool { Keep, Replace };
    void bind(const std::string& name, Term t, OnBound onBound = OnBound::Replace) {
        const Entry* at = lowerBound(name);
        const std::size_t i = static_cast<std::size_t>(at - begin());
        if (at != end() && sameName(at->first, name)) {
            if (onBound == OnBound::Replace) own(0).items[i].second = std::move(t);
            return;
        }
        own(1).insert(i, name, std::move(t));
    }

    // The same names with f applied to every term; shares the block when f changes none.
    template <class F>
    TermBindings mapped(const F& f) const {
        for (const Entry* at = begin(); at != end(); ++at) {
            Term u = f(at->second);
            if (u.sameNode(at->second)) continue;
            TermBindings out;
            out.block_ = copyOf(*block_, 0);
            Entry* es = out.block_->items;
            const std::size_t i = static_cast<std::size_t>(at - begin());
            es[i].second = std::move(u);
            for (std::size_t j = i + 1; j < size(); ++j) es[j].second = f(es[j].second);
            return out;
        }
        return *this;
    }

private:
    static constexpr std::uint32_t kLocal = 4;
    // Room for a few more bindings than a copy needs, so that the next ones go in place.
    static constexpr std::size_t kSpare = 3;

    struct Block {
        std::uint32_t holders = 1;
        std::uint32_t count = 0;
        std::uint32_t capacity = kLocal;
        Entry* items;  // `local`, or an array of `capacity` entries from the general allocator
        alignas(Entry) unsigned char local[kLocal * sizeof(Entry)];

        // Room for one more entry must be there.
        void insert(std::size_t at, const std::string& name, Term t);
    };
    static Block* newBlock(std::size_t capacity);
    static Block* copyOf(const Block& b, std::size_t more);
    static void drop(Block* b) noexcept;

    const Entry* lowerBound(const std::string& name) const {
        return std::lower_bound(begin(), end(), name,
                                [](const Entry& e, const std::string& n) { return nameBefore(e.first, n); });
    }
    // The block to change, held by these bindings alone and with room for `more` entries.
    Block& own(std::size_t more) {
        if (block_ && block_->holders == 1 && block_->count + more <= block_->capacity) return *block_;
        Block* fresh = block_ ? copyOf(*block_, more) : newBlock(more + kSpare);
        TermBindings old;
        old.block_ = std::exchange(block_, fresh);
        return *block_;
    }

    Block* block_ = nullptr;  // null when there are no bindings
};

}  // namespace plim::fast
