// The documents of the subexpressions printed last, kept by node, so that printing an
// expression that shares subtrees with the one printed before it (the steps of a calculation:
// a rewrite rebuilds only the path to its redex) builds documents for its new nodes only.
//
// An expression's document depends on nothing but the expression and the precedence of its
// context, and a node is immutable: the document kept for a live node at a precedence is the
// one the printer would build.  Each entry holds its node, so a node's address is not reused
// while its entry lives.  A round is one printing; `endRound` keeps only the entries that the
// round reached (looked up, made, or below one looked up), so the cache holds the documents of
// the last expression printed and no more.
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
    // The document kept for the node at the precedence, or null.  A found entry and every
    // entry below its node are kept for this round.
    const Doc* find(const Expr& e, Precedence p);
    // Keeps the node's document at the precedence for this round and the next.
    void add(const Expr& e, Precedence p, const Doc& d);
    // Ends a round: drops the entries it did not reach.
    void endRound();
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        Expr node;
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
    void rebuildSlots(std::size_t count);
    // Keeps, for this round, the entries of the nodes below e.
    void keepBelow(const Expr& e);
    // Keeps every entry of the node; false when it has none or they were kept already.
    bool keepNode(const void* identity);

    std::vector<Entry> entries_;
    std::vector<std::uint32_t> slots_;  // open addressing by node, a power of two long
    std::vector<const Expr*> walk_;     // the nodes still to visit in keepBelow
    std::uint32_t round_ = 1;
};

}  // namespace plim
