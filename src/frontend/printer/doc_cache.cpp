#include "frontend/printer/doc_cache.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "layout/combinators.h"

namespace plim {

namespace {

constexpr std::size_t kLeastSlots = 64;

// The slots are given back once four times as many as the entries need.
constexpr std::size_t kSlotsSpare = 4;

// The lists of parts move together once the dropped ones take more than this and than the rest.
constexpr std::size_t kFewDroppedParts = 1024;

constexpr std::uint64_t kMostWeight = std::uint64_t{1} << 30;

// Room for `count` entries: at most half the slots in use.
std::size_t slotsFor(std::size_t count) { return std::max(kLeastSlots, std::bit_ceil(2 * count + 1)); }

}  // namespace

ExprDocCache::ExprDocCache() : slots_(kLeastSlots) { passedNow_.round = 1; }

std::uint32_t ExprDocCache::hashOf(const void* identity) {
    std::uint64_t h = reinterpret_cast<std::uintptr_t>(identity) >> 4;
    h *= 0x9E3779B97F4A7C15ULL;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

std::size_t ExprDocCache::slotOf(const void* identity, Precedence p) const {
    const std::size_t mask = slots_.size() - 1;
    const std::uint32_t hash = hashOf(identity);
    std::size_t s = hash & mask;
    for (; slots_[s].entry != kNone; s = (s + 1) & mask) {
        const Entry& e = entries_[slots_[s].entry];
        if (slots_[s].hash == hash && e.node == identity && e.prec == p) break;
    }
    return s;
}

bool ExprDocCache::holds(const Expr& e, Precedence p) const {
    return keeps(p) && slots_[slotOf(e.identity(), p)].entry != kNone;
}

void ExprDocCache::index(EntryId entry) {
    if (2 * live_ >= slots_.size()) return rebuildSlots(slotsFor(live_));
    const std::size_t mask = slots_.size() - 1;
    const std::uint32_t hash = hashOf(entries_[entry].node);
    std::size_t s = hash & mask;
    while (slots_[s].entry != kNone) s = (s + 1) & mask;
    slots_[s] = Slot{entry, hash};
}

// The entry's slot freed by shifting back the slots after it that may stand in it, so that
// every entry stays reachable from its home without marks of removed ones.
void ExprDocCache::unindex(EntryId entry) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = hashOf(entries_[entry].node) & mask;
    while (slots_[s].entry != entry) s = (s + 1) & mask;
    for (std::size_t j = (s + 1) & mask; slots_[j].entry != kNone; j = (j + 1) & mask) {
        const std::size_t home = slots_[j].hash & mask;
        if (((j - home) & mask) < ((j - s) & mask)) continue;  // its home lies after s
        slots_[s] = slots_[j];
        s = j;
    }
    slots_[s] = Slot{};
}

void ExprDocCache::rebuildSlots(std::size_t slots) {
    slots_.assign(slots, Slot{});
    const std::size_t mask = slots - 1;
    for (EntryId i = 0; i < entries_.size(); ++i) {
        const void* node = entries_[i].node;
        if (node == nullptr) continue;
        const std::uint32_t hash = hashOf(node);
        std::size_t s = hash & mask;
        while (slots_[s].entry != kNone) s = (s + 1) & mask;
        slots_[s] = Slot{i, hash};
    }
}

const Doc* ExprDocCache::find(const Expr& e, Precedence p) {
    const void* identity = e.identity();
    const Slot slot = slots_[slotOf(identity, p)];
    if (slot.entry == kNone) {
        making_.push_back(Making{identity, static_cast<std::uint32_t>(reached_.size()), static_cast<std::int8_t>(p), false});
        return nullptr;
    }
    Entry& entry = entries_[slot.entry];
    ++entry.holders;
    reached_.push_back(slot.entry);
    pauses_.found(entry.weight);
    return &entry.doc;
}

// The node is the last one missed, but for one that made no document.
ExprDocCache::Making ExprDocCache::madeNow(const void* identity, Precedence p) {
    if (making_.empty() || making_.back().node != identity || making_.back().prec != p)
        return madeNowBelow(identity, p);
    const Making m = making_.back();
    making_.pop_back();
    return m;
}

ExprDocCache::Making ExprDocCache::madeNowBelow(const void* identity, Precedence p) {
    bool madePart = false;
    for (std::size_t i = making_.size(); i-- > 0;) {
        Making m = making_[i];
        madePart = madePart || m.madePart;
        if (m.node != identity || m.prec != p) continue;
        making_.resize(i);  // those after it made no document: their parts are its
        m.madePart = madePart;
        return m;
    }
    return Making{identity, static_cast<std::uint32_t>(reached_.size()), static_cast<std::int8_t>(p), false};
}

bool ExprDocCache::worthKeeping(const Making& m) const {
    return !m.madePart || pauses_.afterPause() || passedLastRound(m.node);
}

void ExprDocCache::notePassed(const void* identity) {
    Passed& set = passedNow_;
    if (2 * (set.count + 1) > set.slots.size()) morePassed();
    const std::size_t mask = set.slots.size() - 1;
    std::size_t s = hashOf(identity) & mask;
    while (set.slots[s].round == set.round) s = (s + 1) & mask;
    set.slots[s] = Passed::Slot{identity, set.round};
    ++set.count;
}

[[gnu::noinline]] void ExprDocCache::morePassed() {
    Passed& set = passedNow_;
    std::vector<Passed::Slot> old(std::max(kLeastSlots, 2 * set.slots.size()));
    old.swap(set.slots);
    set.count = 0;
    for (const Passed::Slot& slot : old)
        if (slot.round == set.round) notePassed(slot.node);
}

bool ExprDocCache::passedLastRound(const void* identity) const {
    const Passed& set = passedLast_;
    if (set.count == 0) return false;
    const std::size_t mask = set.slots.size() - 1;
    for (std::size_t s = hashOf(identity) & mask; set.slots[s].round == set.round; s = (s + 1) & mask)
        if (set.slots[s].node == identity) return true;
    return false;
}

ExprDocCache::EntryId ExprDocCache::newEntry() {
    ++live_;
    if (freeEntries_.empty()) return moreEntries();
    const EntryId id = freeEntries_.back();
    freeEntries_.pop_back();
    return id;
}

[[gnu::noinline]] ExprDocCache::EntryId ExprDocCache::moreEntries() {
    entries_.emplace_back();
    return static_cast<EntryId>(entries_.size() - 1);
}

void ExprDocCache::add(const Expr& e, Precedence p, const Doc& d) {
    const void* identity = e.identity();
    const Making made = madeNow(identity, p);
    pauses_.made();
    if (!making_.empty()) making_.back().madePart = true;
    // Not kept: its parts stay reached for the node above.
    if (!worthKeeping(made) || reached_.size() - made.firstReached > kMostParts) return notePassed(identity);
    const std::size_t first = made.firstReached;
    const EntryId id = newEntry();
    Entry& entry = entries_[id];
    entry.node = identity;
    entry.prec = static_cast<std::int8_t>(p);
    entry.doc = d;
    entry.holders = 1;
    entry.firstPart = static_cast<std::uint32_t>(parts_.size());
    entry.partCount = static_cast<std::uint32_t>(reached_.size() - first);
    std::uint64_t weight = 1;
    for (std::size_t k = first; k < reached_.size(); ++k) weight += entries_[reached_[k]].weight;
    entry.weight = static_cast<std::uint32_t>(std::min<std::uint64_t>(weight, kMostWeight));
    if (entry.partCount > 0) {
        parts_.insert(parts_.end(), reached_.begin() + static_cast<std::ptrdiff_t>(first), reached_.end());
        reached_.resize(first);
    }
    reached_.push_back(id);
    index(id);
}

void ExprDocCache::release(EntryId entry) {
    if (--entries_[entry].holders > 0) return;
    dropping_.push_back(entry);
    while (!dropping_.empty()) {
        const EntryId id = dropping_.back();
        dropping_.pop_back();
        drop(id);
    }
}

// Drops the entry, and lists for dropping the parts it held last.
void ExprDocCache::drop(EntryId id) {
    unindex(id);
    Entry& entry = entries_[id];
    const auto parts = parts_.begin() + entry.firstPart;
    for (auto it = parts; it != parts + entry.partCount; ++it)
        if (--entries_[*it].holders == 0) dropping_.push_back(*it);
    droppedParts_ += entry.partCount;
    --live_;
    entry.node = nullptr;
    entry.partCount = 0;
    freeEntries_.push_back(id);
    const Doc gone = std::move(entry.doc);  // leaves the entry's empty
}

void ExprDocCache::compactParts() {
    std::vector<EntryId> kept;
    kept.reserve(parts_.size() - droppedParts_);
    for (Entry& entry : entries_) {
        if (entry.node == nullptr) continue;
        const auto from = parts_.begin() + entry.firstPart;
        entry.firstPart = static_cast<std::uint32_t>(kept.size());
        kept.insert(kept.end(), from, from + entry.partCount);
    }
    parts_.swap(kept);
    droppedParts_ = 0;
}

const Doc* SameDocs::missed(std::uint64_t fields, std::int64_t prec, const Doc* parts, std::size_t count,
                            std::uintptr_t extra, std::uint64_t hash, std::size_t slot) {
    key_ = Key{fields, prec, extra, count, {}};
    hash_ = hash;
    slot_ = slot;
    pending_.assign(parts, parts + count);  // before the printer moves them into the combination
    return nullptr;
}

Doc SameDocs::text(std::string t) {
    key_ = Key{kText, 0, 0, 0, t};
    std::uint64_t h = kText;
    for (const char c : t) h = hashWord(h, static_cast<unsigned char>(c));
    hash_ = hashDone(h);
    if (const Doc* kept = findText()) return *kept;
    Doc d = textDoc(t);
    add(d);
    return d;
}

const Doc* SameDocs::findText() {
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = static_cast<std::size_t>(hash_) & mask;
    for (; slots_[s] != kFree; s = (s + 1) & mask) {
        Entry& e = entries_[slots_[s] - 1];
        if (e.hash != hash_ || e.fields != kText || std::string_view(texts_).substr(e.at, e.count) != key_.text) continue;
        return found(e);
    }
    slot_ = s;
    return nullptr;
}

void SameDocs::add(const Doc& d) {
    const Key& k = key_;
    const bool text = k.fields == kText;
    const auto at = static_cast<std::uint32_t>(text ? texts_.size() : parts_.size());
    if (text) texts_.append(k.text);
    else parts_.insert(parts_.end(), std::make_move_iterator(pending_.begin()), std::make_move_iterator(pending_.end()));
    pending_.clear();
    const auto count = static_cast<std::uint32_t>(text ? k.text.size() : k.count);
    entries_.push_back(Entry{hash_, k.fields, k.prec, k.extra, at, count, round_, d});
    slots_[slot_] = static_cast<std::uint32_t>(entries_.size());
    pauses_.made();
    if (2 * entries_.size() > slots_.size()) rebuild(2 * slots_.size());
}

void SameDocs::rebuild(std::size_t slots) {
    slots_.assign(slots, kFree);
    const std::size_t mask = slots - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        std::size_t s = static_cast<std::size_t>(entries_[i].hash) & mask;
        while (slots_[s] != kFree) s = (s + 1) & mask;
        slots_[s] = static_cast<std::uint32_t>(i + 1);
    }
}

// The entries found in the last kForgetAfter rounds kept, moved down in place with their parts.
void SameDocs::forgetOld() {
    std::size_t to = 0;
    std::size_t partsTo = 0;
    std::size_t textsTo = 0;
    for (Entry& e : entries_) {
        if (round_ - e.lastFound > kForgetAfter) continue;
        if (e.fields == kText) {
            if (e.at != textsTo) texts_.replace(textsTo, e.count, texts_, e.at, e.count);
            e.at = static_cast<std::uint32_t>(textsTo);
            textsTo += e.count;
        } else {
            const auto from = parts_.begin() + e.at;
            if (e.at != partsTo) std::move(from, from + e.count, parts_.begin() + static_cast<std::ptrdiff_t>(partsTo));
            e.at = static_cast<std::uint32_t>(partsTo);
            partsTo += e.count;
        }
        if (&entries_[to] != &e) entries_[to] = std::move(e);
        ++to;
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(to), entries_.end());
    parts_.erase(parts_.begin() + static_cast<std::ptrdiff_t>(partsTo), parts_.end());
    texts_.resize(textsTo);
    rebuild(slotsFor(entries_.size()));
    sweepAt_ = std::max(kLeastEntries, entries_.size() + entries_.size() / kSweepSpare);
}

void RoundPauses::endRound() {
    if (pausedFor_ > 0) {
        afterPause_ = --pausedFor_ == 0;
    } else if (afterPause_) {
        afterPause_ = false;
    } else if (made_ > limits_.madeFew && limits_.foundFew * found_ < made_) {
        lastPause_ = std::min(limits_.most, std::max<std::uint32_t>(1, 2 * lastPause_));
        pausedFor_ = lastPause_;
    } else {
        lastPause_ = 0;
    }
    found_ = 0;
    made_ = 0;
}

void SameDocs::endRound() {
    ++round_;
    pauses_.endRound();
    if (entries_.size() > sweepAt_) forgetOld();
}

void ExprDocCache::endRound() {
    same_.endRound();
    making_.clear();  // made no document: their parts are the round's tops
    for (const EntryId id : tops_) release(id);
    tops_.swap(reached_);
    reached_.clear();
    held_.swap(roots_);
    roots_.clear();
    std::swap(passedNow_, passedLast_);
    passedNow_.count = 0;
    passedNow_.round = passedLast_.round + 1;  // frees every slot
    if (droppedParts_ > kFewDroppedParts && 2 * droppedParts_ > parts_.size()) compactParts();
    if (slots_.size() > kSlotsSpare * slotsFor(size())) rebuildSlots(slotsFor(size()));
    pauses_.endRound();
}

}  // namespace plim
