// Subtrees known to be equal from the display forms made before on this thread (internal to
// shared_display_values.cpp).
//
// The steps of a calculation keep most of their expression's nodes, copies of a value among
// them (Peano numbers parsed or built apart), and every step's display form finds them equal
// again.  Once two such nodes were compared equal, both are entered with one number, their
// class: nodes of one class are equal, and found again they cost a look-up, not a comparison.
// The table holds the nodes it names, so that an address never stands for another node, and
// no other node; an entry goes (sweep) once nothing but the table holds its node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "lang/syntax.h"

namespace plim::shared_display_detail {

class KnownCopies {
public:
    // The class of x, 0 when x has none.
    std::uint64_t classOf(const Expr& x) const {
        const int k = find(x.identity());
        return k < 0 ? 0 : entries_[static_cast<std::size_t>(k)].second;
    }

    // x was found equal to `first`, whose class is `known` (0 when it has none yet): x joins
    // that class (a new one, first's too, when there was none).
    void remember(const Expr& x, const Expr& first, std::uint64_t known) {
        if (known == 0) {
            known = ++classes_;
            enter(first, known);
        }
        const int k = find(x.identity());
        if (k >= 0) {
            entries_[static_cast<std::size_t>(k)].second = known;
        } else {
            enter(x, known);
        }
    }

    // The entries of nodes that nothing but the table holds dropped.  Called once per
    // display form, it looks at the entries when 16 were made or 64 calls were made since it
    // last did: so it costs a few reads per entry kept for every 16 made or 64 calls, and the
    // nodes held for nothing but the table stay few (looking only when the entries had
    // doubled, naive Fibonacci of 17 at width 80 peaked 1.7% higher).
    void sweep() {
        if (entries_.size() < swept_ + 16 && ++calls_ < 64) return;
        calls_ = 0;
        std::size_t kept = 0;
        for (std::size_t k = 0; k < entries_.size(); ++k) {
            if (entries_[k].first.heldOnce()) continue;
            if (kept != k) entries_[kept] = std::move(entries_[k]);
            ++kept;
        }
        swept_ = kept;
        if (kept == entries_.size()) return;
        while (entries_.size() > kept) entries_.pop_back();
        reindex();
    }

private:
    static std::size_t slotOf(const void* address, std::size_t mask) {
        return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(address) * 0x9e3779b97f4a7c15ULL) >> 32) & mask;
    }
    // The entry of the node at this address, or -1.
    int find(const void* address) const {
        if (slots_.empty()) return -1;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = slotOf(address, mask); slots_[at] >= 0; at = (at + 1) & mask)
            if (entries_[static_cast<std::size_t>(slots_[at])].first.identity() == address) return slots_[at];
        return -1;
    }
    void enter(const Expr& x, std::uint64_t known) {
        entries_.emplace_back(x, known);
        if (2 * entries_.size() > slots_.size()) {
            reindex();
        } else {
            place(entries_.size() - 1);
        }
    }
    void place(std::size_t entry) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = slotOf(entries_[entry].first.identity(), mask);
        while (slots_[at] >= 0) at = (at + 1) & mask;
        slots_[at] = static_cast<int>(entry);
    }
    // At least two slots per entry, at least 64: the table at most half full.
    void reindex() {
        std::size_t size = 64;
        while (size < 2 * entries_.size()) size *= 2;
        slots_.assign(size, -1);
        for (std::size_t k = 0; k < entries_.size(); ++k) place(k);
    }

    std::vector<std::pair<Expr, std::uint64_t>> entries_;  // a node compared, and its class
    std::vector<int> slots_;       // open addressing by the node's address
    std::size_t swept_ = 0;        // the entries kept by the last sweep
    std::uint64_t classes_ = 0;    // the classes made
    unsigned calls_ = 0;           // the calls since the last sweep
};

}  // namespace plim::shared_display_detail
