// A set of positions in the fresh-name sequence that answers "the first position from p on that
// is not in the set" without a scan of the positions in it: a bit per position, and above it
// levels of summary words in which a bit says that the 64 bits below it are all set.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace plim {

class PositionSet {
public:
    bool contains(std::uint64_t p) const {
        const std::vector<std::uint64_t>& bits = levels_.empty() ? noWords() : levels_[0];
        return p / 64 < bits.size() && (bits[p / 64] >> (p % 64) & 1) != 0;
    }

    void set(std::uint64_t p, bool in) {
        if (!in && !contains(p)) return;
        if (in) grow(p);
        // A word that becomes full (or stops being full) sets (or clears) its bit one level up.
        for (std::size_t l = 0; l < levels_.size(); ++l) {
            std::uint64_t& word = levels_[l][p / 64];
            const bool wasFull = word == ~std::uint64_t{0};
            const std::uint64_t bit = std::uint64_t{1} << (p % 64);
            word = in ? word | bit : word & ~bit;
            const bool isFull = word == ~std::uint64_t{0};
            if (wasFull == isFull) return;
            p /= 64;
        }
    }

    // The smallest position q >= p that is not in the set.
    std::uint64_t nextAbsent(std::uint64_t p) const { return nextAbsentAt(0, p); }

private:
    static const std::vector<std::uint64_t>& noWords() {
        static const std::vector<std::uint64_t> none;
        return none;
    }

    // Room for p at every level.  A level of more than one word has a level above it, made
    // from the words full when it is added.
    void grow(std::uint64_t p) {
        if (levels_.empty()) levels_.emplace_back();
        for (std::size_t l = 0;; ++l, p /= 64) {
            if (levels_[l].size() <= p / 64) levels_[l].resize(p / 64 + 1, 0);
            if (l + 1 < levels_.size()) continue;
            if (levels_[l].size() == 1) return;
            std::vector<std::uint64_t> above((levels_[l].size() + 63) / 64, 0);
            for (std::size_t i = 0; i < levels_[l].size(); ++i)
                if (levels_[l][i] == ~std::uint64_t{0}) above[i / 64] |= std::uint64_t{1} << (i % 64);
            levels_.push_back(std::move(above));
        }
    }

    // The smallest q >= p whose bit at level l is clear (at a level above 0: a word below that
    // is not full).
    std::uint64_t nextAbsentAt(std::size_t l, std::uint64_t p) const {
        if (l >= levels_.size()) return p;
        const std::vector<std::uint64_t>& words = levels_[l];
        for (;;) {
            if (p / 64 >= words.size()) return p;
            const std::uint64_t clear = ~words[p / 64] >> (p % 64);
            if (clear != 0) return p + static_cast<std::uint64_t>(std::countr_zero(clear));
            // The rest of this word is full: on from the next word that is not.
            p = nextAbsentAt(l + 1, p / 64 + 1) * 64;
        }
    }

    std::vector<std::vector<std::uint64_t>> levels_;
};

}  // namespace plim
