// The bindings of the fast matcher's substitutions: pattern-variable names with their terms,
// in ascending name order.
//
// A search binds a few names per solution, one at a time, and copies what it has bound for
// every alternative it tries; the results are read in name order.  So the bindings are one
// sorted block of slots that copies share: binding a name in bindings whose block nobody
// else holds changes that block, otherwise a copy of it.  A block holds its first few
// slots itself and comes from the block pool.  A slot keeps the pattern variable's node for
// its name, so that copying bindings copies no text.  Like the terms, the bindings are built,
// read and dropped by one thread at a time: their holders are counted plainly.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "engine/matching/fast/terms.h"
#include "lang/names.h"
#include "support/block_pool.h"

namespace plim::fast {

// a < b, in the order of std::string, compared inline.
inline bool nameOrderBefore(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    return a.size() < b.size();
}

class TermBindings {
public:
    // A binding keeps the pattern variable's node, which holds the name: copying or moving a
    // binding copies no text.
    struct Slot {
        Term var;
        Term term;
        const std::string& name() const { return var.name(); }
    };
    // What iterating yields: (name, term), read in place.
    using Entry = std::pair<const std::string&, const Term&>;
    class Iterator {
    public:
        explicit Iterator(const Slot* at) : at_(at) {}
        Entry operator*() const { return {at_->name(), at_->term}; }
        Iterator& operator++() {
            ++at_;
            return *this;
        }
        bool operator==(const Iterator& other) const { return at_ == other.at_; }

    private:
        const Slot* at_;
    };

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

    bool isEmpty() const { return size() == 0; }
    std::size_t size() const { return block_ ? block_->count : 0; }
    Iterator begin() const { return Iterator(first()); }
    Iterator end() const { return Iterator(last()); }

    // The term bound to the name; null when there is none.
    const Term* find(const std::string& name) const {
        const Slot* at = lowerBound(name);
        return at != last() && sameName(at->name(), name) ? &at->term : nullptr;
    }
    // f(slot) for each binding, in name order.
    template <class F>
    void forEachSlot(const F& f) const {
        std::for_each(first(), last(), f);
    }
    // Some bound term holds a pattern variable.
    bool anyHoldsPVar() const {
        if (!block_ || !block_->mayHoldPVar) return false;
        return std::any_of(first(), last(), [](const Slot& e) { return e.term.hasPVar(); });
    }

    // What binding a name that is bound already does: keep its term, or replace it.
    enum class OnBound : bool { Keep, Replace };
    // Binds the pattern variable `var` (a PVar) to t.
    void bind(const Term& var, Term t, OnBound onBound = OnBound::Replace) {
        const bool holdsPVar = t.hasPVar();
        const Slot* at = lowerBound(var.name());
        const std::size_t i = static_cast<std::size_t>(at - first());
        if (at == last() || !sameName(at->name(), var.name()))
            own(1).insert(i, Slot{var, std::move(t)});
        else if (onBound == OnBound::Replace)
            own(0).items[i].term = std::move(t);
        else
            return;
        if (holdsPVar) block_->mayHoldPVar = true;
    }
    // The same for a name alone: a pattern variable of the term's type holds it.
    void bind(const std::string& name, Term t, OnBound onBound = OnBound::Replace) {
        const Term var = PVar(name, t.type());
        bind(var, std::move(t), onBound);
    }

    // The same names with f applied to every term; shares the block when f changes none.
    template <class F>
    TermBindings mapped(const F& f) const {
        for (const Slot* at = first(); at != last(); ++at) {
            Term u = f(at->term);
            if (u.sameNode(at->term)) continue;
            TermBindings out;
            out.block_ = copyOf(*block_, 0);
            Slot* es = out.block_->items;
            const std::size_t i = static_cast<std::size_t>(at - first());
            es[i].term = std::move(u);
            for (std::size_t j = i + 1; j < size(); ++j) es[j].term = f(es[j].term);
            out.block_->mayHoldPVar = std::any_of(es, es + size(), [](const Slot& e) { return e.term.hasPVar(); });
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
        bool mayHoldPVar = false;  // false: no bound term holds a pattern variable
        Slot* items;  // `local`, or an array of `capacity` slots from the general allocator
        alignas(Slot) unsigned char local[kLocal * sizeof(Slot)];

        // Puts the slot at `at`, moving the slots from `at` on up one (a move takes the node
        // pointers, counting no holder).  The block must have room for it.
        void insert(std::size_t at, Slot&& slot) {
            Slot* end = items + count;
            if (at == count) {
                new (end) Slot(std::move(slot));
            } else {
                new (end) Slot(std::move(end[-1]));
                std::move_backward(items + at, end - 1, end);
                items[at] = std::move(slot);
            }
            ++count;
        }
    };
    static Block* newBlock(std::size_t capacity);
    static Block* copyOf(const Block& b, std::size_t more);
    static void drop(Block* b) noexcept;

    const Slot* first() const { return block_ ? block_->items : nullptr; }
    const Slot* last() const { return block_ ? block_->items + block_->count : nullptr; }
    const Slot* lowerBound(const std::string& name) const {
        return std::lower_bound(first(), last(), name,
                                [](const Slot& e, const std::string& n) { return nameOrderBefore(e.name(), n); });
    }
    // The block to change, held by these bindings alone and with room for `more` slots.
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
