#include "engine/rewriting/shared_display_repeats.h"

#include <algorithm>
#include <functional>
#include <string>

#include "engine/rewriting/shared_display_sites.h"

namespace plim::shared_display_detail {

namespace {

// The tables start afresh past this many leaves or twigs (those no longer met stay counted
// as 0 until then).
constexpr std::size_t kMostKept = std::size_t{1} << 16;
// Twigs remembered by node.
constexpr std::size_t kMemo = 4096;

// Open addressing, at most half full: the slot holding the entry for which `same` holds, or
// the free slot where it belongs.
template <class Same>
std::size_t slotFor(const std::vector<int>& slots, std::uint64_t hash, Same same) {
    const std::size_t mask = slots.size() - 1;
    std::size_t at = spread(hash) & mask;
    while (slots[at] >= 0 && !same(slots[at])) at = (at + 1) & mask;
    return at;
}

// Makes room for one more entry, re-indexing the entries by their hashes.
template <class HashOf>
void roomForOne(std::vector<int>& slots, std::size_t entries, HashOf hashOf) {
    if (2 * (entries + 1) <= slots.size()) return;
    slots.assign(std::max<std::size_t>(64, 4 * slots.size()), -1);
    for (std::size_t i = 0; i < entries; ++i)
        slots[slotFor(slots, hashOf(i), [](int) { return false; })] = static_cast<int>(i);
}

bool isTwig(const Expr& x) { return x.isAp() && !x.fun().isAp() && !x.arg().isAp(); }

}  // namespace

RepeatWatch& RepeatWatch::mine() {
    static thread_local RepeatWatch watch;
    return watch;
}

bool RepeatWatch::repeats(const Expr& e) {
    if (current_ && current_->sameNode(e)) return repeated_ > 0;
    if (leaves_.size() > kMostKept || twigs_.size() > kMostKept) clear();
    if (current_) countDifference(*current_, e);
    else countWhole(e, 1);
    current_ = e;
    return repeated_ > 0;
}

// Counts the twigs of x (and below it) by `by`.
void RepeatWatch::countWhole(const Expr& x, std::int64_t by) {
    if (!x.isAp()) return;
    std::vector<const Expr*>& todo = todo_;
    todo.assign(1, &x);
    while (!todo.empty()) {
        const Expr& at = *todo.back();
        todo.pop_back();
        if (isTwig(at)) {
            countTwig(at, by);
            continue;
        }
        if (at.fun().isAp()) todo.push_back(&at.fun());
        if (at.arg().isAp()) todo.push_back(&at.arg());
    }
}

// The counts of the tree `before` become those of `after`: applications at one place
// differ only below, in the children that are not the same node (down the path of a step's
// redex, one child at each) -- until both children differ, at the redex.
void RepeatWatch::countDifference(const Expr& before, const Expr& after) {
    const Expr* b = &before;
    const Expr* a = &after;
    while (!b->sameNode(*a)) {
        if (!b->isAp() || !a->isAp()) return countRedex(*b, *a);
        const bool intoArg = b->fun().sameNode(a->fun());
        if (!intoArg && !b->arg().sameNode(a->arg())) return countRedex(*b, *a);
        if (isTwig(*b)) countTwig(*b, -1);
        if (isTwig(*a)) countTwig(*a, 1);
        b = intoArg ? &b->arg() : &b->fun();
        a = intoArg ? &a->arg() : &a->fun();
    }
}

namespace {

// How deep in a redex the subtrees a rule moves are looked for.
constexpr int kNearDepth = 4;

}  // namespace

// The counts of the tree `before` become those of `after`, a redex and what replaced it.  A
// rule moves and copies the values of its variables, which stand near the top of the redex:
// the applications there are found in `after` without going into them, and each is then
// counted in or out whole only as often as `after` holds it more or less often than `before`.
// (Walking both trees stopping at any nodes counts them exactly; these stops only make it
// cheap.)
void RepeatWatch::countRedex(const Expr& before, const Expr& after) {
    near_.clear();
    auto nearEntry = [this](const Expr& x) -> Near* {
        for (Near& n : near_)
            if (n.node->sameNode(x)) return &n;
        return nullptr;
    };
    std::vector<std::pair<const Expr*, int>>& level = nearWalk_;
    level.assign(1, {&before, 0});
    while (!level.empty()) {
        const auto [x, depth] = level.back();
        level.pop_back();
        if (!x->isAp()) continue;
        if (depth > 0 && !nearEntry(*x)) near_.push_back(Near{x, 0, false});
        if (depth == kNearDepth) continue;
        level.emplace_back(&x->fun(), depth + 1);
        level.emplace_back(&x->arg(), depth + 1);
    }
    // `after`, stopping at every near application.
    walkStopping(after, 1, [&](const Expr& x) {
        Near* n = nearEntry(x);
        if (n == nullptr) return false;
        n->net += 1;
        n->met = true;
        return true;
    });
    // `before`, stopping at the near applications that `after` holds.
    walkStopping(before, -1, [&](const Expr& x) {
        Near* n = nearEntry(x);
        if (n == nullptr || !n->met) return false;
        n->net -= 1;
        return true;
    });
    for (const Near& n : near_)
        if (n.net != 0) countWhole(*n.node, n.net);
}

// Counts the twigs of x by `by`, except inside the nodes at which `stop` holds.
template <class Stop>
void RepeatWatch::walkStopping(const Expr& x, std::int64_t by, Stop stop) {
    std::vector<const Expr*>& todo = todo_;
    todo.assign(1, &x);
    while (!todo.empty()) {
        const Expr& at = *todo.back();
        todo.pop_back();
        if (!at.isAp() || stop(at)) continue;
        if (isTwig(at)) {
            countTwig(at, by);
            continue;
        }
        todo.push_back(&at.fun());
        todo.push_back(&at.arg());
    }
}

// A twig's count changes by `by`.
void RepeatWatch::countTwig(const Expr& x, std::int64_t by) {
    std::int64_t& count = twigs_[twigNumber(x)].count;
    const bool was = count >= 2;
    count += by;
    if (was != (count >= 2)) repeated_ = was ? repeated_ - 1 : repeated_ + 1;
}

// The twig's number, from the memo when it holds the node (the nodes of a step are mostly
// those of the step before), else by its leaves.
std::uint32_t RepeatWatch::twigNumber(const Expr& x) {
    if (memo_.empty()) memo_.resize(kMemo);
    Memo& m = memo_[spread(reinterpret_cast<std::uintptr_t>(x.identity())) & (kMemo - 1)];
    if (m.node && m.node->sameNode(x)) return m.twig;
    const std::uint64_t key = (std::uint64_t{leafNumber(x.fun())} << 32) | leafNumber(x.arg());
    roomForOne(twigSlots_, twigs_.size(), [this](std::size_t i) { return twigs_[i].key; });
    const std::size_t at = slotFor(twigSlots_, key, [&](int i) { return twigs_[i].key == key; });
    if (twigSlots_[at] < 0) {
        twigSlots_[at] = static_cast<int>(twigs_.size());
        twigs_.push_back(Twig{key, 0});
    }
    m = Memo{x, static_cast<std::uint32_t>(twigSlots_[at])};
    return m.twig;
}

std::uint32_t RepeatWatch::leafNumber(const Expr& leaf) {
    const std::uint64_t hash =
        leaf.isVar() ? mix(0x1234567ULL, std::hash<std::string>{}(leaf.name())) : leafHash(leaf);
    roomForOne(leafSlots_, leaves_.size(), [this](std::size_t i) { return leaves_[i].hash; });
    const std::size_t at = slotFor(leafSlots_, hash, [&](int i) {
        return leaves_[i].hash == hash && sameLeaf(leaves_[i].node, leaf);
    });
    if (leafSlots_[at] < 0) {
        leafSlots_[at] = static_cast<int>(leaves_.size());
        leaves_.push_back(Leaf{hash, leaf});
    }
    return static_cast<std::uint32_t>(leafSlots_[at]);
}

void RepeatWatch::clear() {
    current_.reset();
    leaves_.clear();
    leafSlots_.clear();
    twigs_.clear();
    twigSlots_.clear();
    memo_.clear();
    repeated_ = 0;
}

}  // namespace plim::shared_display_detail
