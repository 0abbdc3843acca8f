#include "frontend/printer/doc_cache.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace plim {

namespace {

constexpr std::size_t kLeastSlots = 64;

// Whether the node may have an entry: only nodes with parts have one.
bool hasParts(const Expr& e) { return e.isAp() || e.isLam() || e.isLet(); }

}  // namespace

std::size_t ExprDocCache::slotOf(const void* identity) const {
    std::uint64_t h = reinterpret_cast<std::uintptr_t>(identity) >> 4;
    h *= 0x9E3779B97F4A7C15ULL;
    return static_cast<std::size_t>(h ^ (h >> 32)) & (slots_.size() - 1);
}

void ExprDocCache::index(std::uint32_t entry) {
    std::size_t s = slotOf(entries_[entry].node.identity());
    while (slots_[s] != kEmpty) s = (s + 1) & (slots_.size() - 1);
    slots_[s] = entry + 1;
}

void ExprDocCache::rebuildSlots(std::size_t count) {
    slots_.assign(std::max(kLeastSlots, std::bit_ceil(2 * count + 1)), kEmpty);
    for (std::size_t i = 0; i < entries_.size(); ++i) index(static_cast<std::uint32_t>(i));
}

const Doc* ExprDocCache::find(const Expr& e, Precedence p) {
    if (entries_.empty()) return nullptr;
    const void* id = e.identity();
    for (std::size_t s = slotOf(id); slots_[s] != kEmpty; s = (s + 1) & (slots_.size() - 1)) {
        Entry& entry = entries_[slots_[s] - 1];
        if (entry.node.identity() != id || entry.prec != p) continue;
        if (entry.round != round_) {
            entry.round = round_;
            keepBelow(e);
        }
        return &entry.doc;
    }
    return nullptr;
}

void ExprDocCache::add(const Expr& e, Precedence p, const Doc& d) {
    entries_.push_back(Entry{e, p, d, round_});
    if (2 * entries_.size() >= slots_.size()) {
        rebuildSlots(entries_.size());
        return;
    }
    index(static_cast<std::uint32_t>(entries_.size() - 1));
}

bool ExprDocCache::keepNode(const void* identity) {
    bool fresh = false;
    bool found = false;
    for (std::size_t s = slotOf(identity); slots_[s] != kEmpty; s = (s + 1) & (slots_.size() - 1)) {
        Entry& entry = entries_[slots_[s] - 1];
        if (entry.node.identity() != identity) continue;
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
    std::size_t s = slotOf(entries_[entry].node.identity());
    while (slots_[s] != entry + 1) s = (s + 1) & (slots_.size() - 1);
    return s;
}

// The slot freed by shifting back the entries after it that may stand in it, so that every
// entry stays reachable from its own slot without marks of removed ones.
void ExprDocCache::freeSlot(std::size_t s) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t j = (s + 1) & mask; slots_[j] != kEmpty; j = (j + 1) & mask) {
        const std::size_t home = slotOf(entries_[slots_[j] - 1].node.identity());
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

void ExprDocCache::endRound() {
    for (std::size_t i = entries_.size(); i-- > 0;)
        if (entries_[i].round != round_) remove(static_cast<std::uint32_t>(i));
    constexpr std::size_t kSparse = 8;  // room kept for a large expression is given back
    if (slots_.size() > kLeastSlots && kSparse * entries_.size() < slots_.size()) rebuildSlots(entries_.size());
    ++round_;
}

}  // namespace plim
