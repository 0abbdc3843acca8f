#include "frontend/printer/doc_cache.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace plim {

namespace {

constexpr std::size_t kLeastSlots = 64;

// A round pauses the cache where it found fewer than one entry for each kFoundFew it made, and
// made more than kMadeFew; pauses last at most kMostPaused rounds.
constexpr std::size_t kFoundFew = 16;
constexpr std::size_t kMadeFew = 64;
constexpr std::uint32_t kMostPaused = 16;

// Room for `count` entries: at most half the slots in use.
std::size_t slotsFor(std::size_t count) { return std::max(kLeastSlots, std::bit_ceil(2 * count + 1)); }

// Whether the node may have an entry: only nodes with parts have one.
bool hasParts(const Expr& e) { return e.isAp() || e.isLam() || e.isLet(); }

}  // namespace

std::size_t ExprDocCache::slotOf(const void* identity) const {
    std::uint64_t h = reinterpret_cast<std::uintptr_t>(identity) >> 4;
    h *= 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(h ^ (h >> 32)) & (slots_.size() - 1);
}

void ExprDocCache::index(std::uint32_t entry) {
    std::size_t s = slotOf(entries_[entry].node);
    while (slots_[s] != kEmpty) s = (s + 1) & (slots_.size() - 1);
    slots_[s] = entry + 1;
}

void ExprDocCache::rebuildSlots(std::size_t slots) {
    slots_.assign(slots, kEmpty);
    for (std::size_t i = 0; i < entries_.size(); ++i) index(static_cast<std::uint32_t>(i));
}

std::uint32_t ExprDocCache::lookUp(const void* identity, Precedence p) const {
    if (entries_.empty()) return kEmpty;
    for (std::size_t s = slotOf(identity); slots_[s] != kEmpty; s = (s + 1) & (slots_.size() - 1)) {
        const Entry& entry = entries_[slots_[s] - 1];
        if (entry.node == identity && entry.prec == p) return slots_[s];
    }
    return kEmpty;
}

bool ExprDocCache::holds(const Expr& e, Precedence p) const { return lookUp(e.identity(), p) != kEmpty; }

const Doc* ExprDocCache::find(const Expr& e, Precedence p) {
    const std::uint32_t slot = lookUp(e.identity(), p);
    if (slot == kEmpty) return nullptr;
    Entry& entry = entries_[slot - 1];
    ++found_;
    if (entry.round != round_) {
        entry.round = round_;
        keepBelow(e);
    }
    return &entry.doc;
}

void ExprDocCache::add(const Expr& e, Precedence p, const Doc& d) {
    entries_.push_back(Entry{e.identity(), p, d, round_});
    ++made_;
    if (2 * entries_.size() >= slots_.size()) {
        rebuildSlots(slotsFor(entries_.size()));
        return;
    }
    index(static_cast<std::uint32_t>(entries_.size() - 1));
}

bool ExprDocCache::keepNode(const void* identity) {
    bool fresh = false;
    bool found = false;
    for (std::size_t s = slotOf(identity); slots_[s] != kEmpty; s = (s + 1) & (slots_.size() - 1)) {
        Entry& entry = entries_[slots_[s] - 1];
        if (entry.node != identity) continue;
        found = true;
        fresh = fresh || entry.round != round_;
        entry.round = round_;
    }
    return !found || fresh;
}

void ExprDocCache::keepBelow(const Expr& e) {
    auto visit = [this](const Expr& x) {
        if (hasParts(x) && keepNode(x.identity())) walk_.push_back(&x);
    };
    walk_.push_back(&e);
    while (!walk_.empty()) {
        const Expr& x = *walk_.back();
        walk_.pop_back();
        switch (x.kind()) {
        case ExprKind::Ap:
            visit(x.fun());
            visit(x.arg());
            break;
        case ExprKind::Lam:
            visit(x.pattern());
            visit(x.body());
            break;
        case ExprKind::Let:
            visit(x.body());
            for (const DefItem& item : x.defs().defs) {
                const Decl& d = item.decl;
                if (d.kind() == DeclKind::Fun) {
                    visit(d.fun().lhs);
                    visit(d.fun().rhs);
                } else if (d.kind() == DeclKind::Dec) {
                    visit(d.dec().name);
                }
            }
            break;
        case ExprKind::Var:
        case ExprKind::Con: break;
        }
    }
}

std::size_t ExprDocCache::slotHolding(std::uint32_t entry) const {
    std::size_t s = slotOf(entries_[entry].node);
    while (slots_[s] != entry + 1) s = (s + 1) & (slots_.size() - 1);
    return s;
}

// The slot freed by shifting back the entries after it that may stand in it, so that every
// entry stays reachable from its own slot without marks of removed ones.
void ExprDocCache::freeSlot(std::size_t s) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t j = (s + 1) & mask; slots_[j] != kEmpty; j = (j + 1) & mask) {
        const std::size_t home = slotOf(entries_[slots_[j] - 1].node);
        if (((j - home) & mask) < ((j - s) & mask)) continue;  // its home lies after s
        slots_[s] = slots_[j];
        s = j;
    }
    slots_[s] = kEmpty;
}

// The last entry takes the place of the removed one.
void ExprDocCache::remove(std::uint32_t entry) {
    freeSlot(slotHolding(entry));
    const auto last = static_cast<std::uint32_t>(entries_.size() - 1);
    if (entry != last) {
        slots_[slotHolding(last)] = entry + 1;
        entries_[entry] = std::move(entries_[last]);
    }
    entries_.pop_back();
}

// The entries of this round moved to the front, the others dropped, and the slots made anew,
// with room for as many entries as the round had.
void ExprDocCache::compact() {
    const std::size_t peak = entries_.size();
    auto kept = entries_.begin();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->round != round_) continue;
        if (kept != it) *kept = std::move(*it);
        ++kept;
    }
    entries_.erase(kept, entries_.end());
    rebuildSlots(slotsFor(peak));
}

void ExprDocCache::endRound() {
    const auto stale = static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [this](const Entry& e) { return e.round != round_; }));
    // Removing one by one costs a few probes each; making the slots anew, a few per entry kept.
    // The room kept for a larger expression is given back.
    constexpr std::size_t kFewStale = 4;  // at most one in kFewStale
    if (kFewStale * stale >= entries_.size() || slotsFor(entries_.size()) < slots_.size()) {
        compact();
    } else {
        for (std::size_t i = entries_.size(); i-- > 0;)
            if (entries_[i].round != round_) remove(static_cast<std::uint32_t>(i));
    }
    held_.swap(roots_);
    roots_.clear();
    ++round_;
    decidePause();
}

void ExprDocCache::decidePause() {
    if (pausedFor_ > 0) {
        afterPause_ = --pausedFor_ == 0;
    } else if (afterPause_) {
        afterPause_ = false;
    } else if (made_ > kMadeFew && kFoundFew * found_ < made_) {
        lastPause_ = std::min(kMostPaused, std::max<std::uint32_t>(1, 2 * lastPause_));
        pausedFor_ = lastPause_;
    } else {
        lastPause_ = 0;
    }
    found_ = 0;
    made_ = 0;
}

}  // namespace plim
