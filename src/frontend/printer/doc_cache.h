// The documents of the subexpressions printed last, kept by node, so that printing an
// expression that shares subtrees with the one printed before it (the steps of a calculation:
// a rewrite rebuilds only the path to its redex) builds documents for its new nodes only.
//
// An expression's document depends on nothing but the expression and the precedence of its
// context, and a node is immutable: the document kept for a live node at a precedence is the
// one the printer would build.  A round is one printing or a few; `endRound` keeps only the
// entries that the round reached (looked up, made, or below one looked up), so the cache holds
// the documents of the last expressions printed and no more, and it holds those expressions,
// so the address of a node with an entry is not reused while the entry lives.
//
// Where a round finds little of what the one before made (each step rebuilds most of the
// expression, as when every node lies on the path to the redex), keeping documents costs more
// than it saves: the cache then pauses for a round, then for twice as many while that holds
// (up to kMostPaused), the printer printing without it; a round after a pause keeps documents
// again for the next to find.
//
//   ExprDocCache cache;
//   for (const Expr& e : steps) {
//       out += renderAtPrinterBounds(ppExpr(0, e, cache));
//       cache.endRound();
//   }
//
// Read by one thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "lang/syntax.h"
#include "layout/document.h"

namespace plim {

// A context precedence: 0 at the top, 1 for the body of a local definition, 100 for the
// arguments of an application, an operator's own precedence for its operands.
using Precedence = std::int64_t;

class ExprDocCache {
public:
    // The printer's, while it prints `root`, which the cache holds until the round after:
    // the document kept for a node of the root at the precedence, or null (a found entry and
    // every entry below its node are kept for this round); and a document to keep.
    void hold(const Expr& root) { roots_.push_back(root); }
    const Doc* find(const Expr& e, Precedence p);
    void add(const Expr& e, Precedence p, const Doc& d);
    // Ends a round: drops the entries it did not reach.
    void endRound();
    // Whether the cache sits this round out.
    bool paused() const { return pausedFor_ > 0; }

    std::size_t size() const { return entries_.size(); }
    // Whether a document is kept for the node at the precedence (keeps nothing).
    bool holds(const Expr& e, Precedence p) const;

private:
    struct Entry {
        const void* node;  // the node's identity
        Precedence prec;
        Doc doc;
        std::uint32_t round;
    };
    static constexpr std::uint32_t kEmpty = 0;  // a free slot; others hold an entry's index + 1

    std::size_t slotOf(const void* identity) const;
    void index(std::uint32_t entry);
    std::size_t slotHolding(std::uint32_t entry) const;
    void freeSlot(std::size_t s);
    void remove(std::uint32_t entry);
    void rebuildSlots(std::size_t slots);  // a power of two
    void compact();
    // Whether the next round pauses, from what this one found and made.
    void decidePause();
    // The slot's value of the node's entry at the precedence, or kEmpty.
    std::uint32_t lookUp(const void* identity, Precedence p) const;
    // Keeps, for this round, the entries of the nodes below e.
    void keepBelow(const Expr& e);
    // Keeps every entry of the node; false when it has none or they were kept already.
    bool keepNode(const void* identity);

    std::vector<Entry> entries_;
    std::vector<std::uint32_t> slots_;  // open addressing by node, a power of two long
    std::vector<const Expr*> walk_;     // the nodes still to visit in keepBelow
    std::vector<Expr> roots_;           // printed in this round
    std::vector<Expr> held_;            // printed in the last round: their nodes have the entries
    std::uint32_t round_ = 1;
    // Pausing: the entries this round found and made, the rounds still to sit out, the length
    // of the last pause, and whether this round follows a pause (and has nothing to find).
    std::size_t found_ = 0;
    std::size_t made_ = 0;
    std::uint32_t pausedFor_ = 0;
    std::uint32_t lastPause_ = 0;
    bool afterPause_ = true;  // the first round has nothing to find either
};

}  // namespace plim
