// The documents of the subexpressions printed last, kept by node, so that printing an
// expression that shares subtrees with the one printed before it (the steps of a calculation:
// a rewrite rebuilds only the path to its redex) builds documents for its new nodes only.
//
// An expression's document depends on nothing but the expression and the precedence of its
// context, and a node is immutable: the document kept for a live node at a precedence is the
// one the printer would build.
//
// Each entry lists the entries of its parts (the subexpressions printed into its document),
// and counts its holders: the entries listing it and, for the entries at the top of the last
// round's expressions, that round.  A round is one printing or a few; `endRound` lets go of the
// round before's tops, and an entry no one holds any longer is dropped with what only it held.
// So the cache keeps the documents of the last expressions printed and no more, at a cost per
// round that grows with the entries found, made and dropped, not with the expressions' size;
// and it holds those expressions, so the address of a node with an entry is not reused while
// the entry lives.
//
// The cache learns the parts from the order of the printer's calls: a node it misses is
// being made, and the entries found and made until the printer adds the node's document are
// its parts.
//
// Most nodes made in a round lie on the path from the root to the last redex, and the next
// step makes them anew: a document is kept only for a node none of whose parts was made in the
// same round (the new subtrees' lowest nodes), or for a node made in the round before without
// being kept (it lasted: the expression around it is changing elsewhere).  A document not
// kept holds on to its parts' entries for the node that holds it.  A round that finds nothing
// (the first, or one after a pause) keeps every document it makes.
//
// Where a round finds little of what the one before made, counting each document found with the
// kept documents of its parts (each step rebuilds most of the expression, as when every node
// lies on the path to the redex), keeping documents costs more
// than it saves: the cache then pauses for a round, then for twice as many while that holds
// (up to 256 rounds), the printer printing without it; a round after a pause keeps documents
// again for the next to find.  Small rounds count too (a step's display form, rebuilt whole,
// makes a few dozen documents).
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
#include <string>
#include <string_view>
#include <vector>

#include "lang/syntax.h"
#include "layout/document.h"

namespace plim {

// The rounds a cache sits out: after a round that finds fewer than one for each `foundFew`
// documents it makes (and makes more than `madeFew`), one round, then twice as many while that
// holds, up to `most`.  The round after a pause (or the first) has nothing to find: it is not
// judged.
class RoundPauses {
public:
    struct Limits {
        std::size_t foundFew;
        std::size_t madeFew;
        std::uint32_t most;
    };
    RoundPauses(std::uint32_t first, Limits limits) : limits_(limits), pausedFor_(first), afterPause_(first == 0) {}
    bool paused() const { return pausedFor_ > 0; }
    bool afterPause() const { return afterPause_; }
    // What this round found (its weight) and made.
    void found(std::size_t weight = 1) { found_ += weight; }
    void made() { ++made_; }
    // Judges the round, and starts the count of the next.
    void endRound();

private:
    Limits limits_;
    std::size_t found_ = 0;
    std::size_t made_ = 0;
    std::uint32_t pausedFor_;
    std::uint32_t lastPause_ = 0;
    bool afterPause_;
};

// The documents printed in recent rounds by what they are made of: the printer's combination of
// part documents (how, with which fields) or a text.  A combination of the same part documents,
// themselves taken from here, is the same document; found, it is taken instead of made again,
// so that an expression printed anew (a step's display form rebuilds the nodes above its shared
// names, which shift; a rewrite rebuilds the path to its redex) keeps the documents, and with
// them the layouts, of the parts that read as they read in a recent round.  Every combination
// is kept, new parts or not, so that a new subtree that lasts is found whole in the next round
// rather than a level a round from the bottom (naive Fibonacci at width 80, fib 16: 7,465 M
// instructions before, 6,476 M after, -13%; multiplication 311 M before, 239 M after, -23%;
// peak at fib 20, width 1000000: 31.8 MB before, 35.8 MB after).  Keys compare exactly (fields,
// texts, the parts' addresses); an entry holds its parts, so an address in a key is not reused
// while the key lives.  Once the table holds kLeastEntries and has grown by a kSweepSpare-th of
// the entries kept at the last sweep, the entries no round found since the one before are
// dropped: what is kept is what the last expressions printed read, and the path to each new
// redex only until the next sweep.  Where a round finds fewer than one for each 3 documents it
// makes, the table sits out a round, then twice as many while that holds, up to 256; it sits
// out the first round, which has nothing to find, and does not judge the one after a pause.
class SameDocs {
public:
    // The document kept for a combination of the part documents (its fields packed by the
    // printer, with a precedence and a word of what else it reads), or null: the key is then
    // kept, with the parts, for `add`.
    const Doc* find(std::uint64_t fields, std::int64_t prec, const Doc* parts, std::size_t count, std::uintptr_t extra);
    // Keeps the document for the key last missed.
    void add(const Doc& d);
    // Counts a document made and not kept (see the pauses).
    void madeApart() { pauses_.made(); }
    // The text's document, kept or made (and kept).
    Doc text(std::string t);
    void endRound();
    // Whether the table sits this round out.
    bool paused() const { return pauses_.paused(); }

private:
    static constexpr std::uint64_t kText = ~std::uint64_t{0};  // the fields of a text
    static constexpr std::uint32_t kForgetAfter = 1;    // the rounds since an entry was last found or made
    // Fewer cost more: at 8192, fib 16 takes 6,530 M and multiplication 272 M; at 1024, fib 16
    // takes 7,193 M.  At 65536 fib 16 takes 6,319 M, but fib 20 peaks at 62.6 MB.
    static constexpr std::size_t kLeastEntries = 16384;
    static constexpr std::size_t kSweepSpare = 2;        // swept after growing by half the entries kept
    static constexpr std::uint32_t kFree = 0;  // a free slot

    struct Key {
        std::uint64_t fields = 0;
        std::int64_t prec = 0;
        std::uintptr_t extra = 0;
        std::size_t count = 0;
        std::string_view text;
    };
    // Its parts (a text's characters) are parts_[at, at + count) (texts_'s).
    struct Entry {
        std::uint64_t hash;
        std::uint64_t fields;
        std::int64_t prec;
        std::uintptr_t extra;
        std::uint32_t at;
        std::uint32_t count;
        std::uint32_t lastFound;
        Doc doc;
    };

    const Doc* findText();  // key_'s
    // Keeps the key missed, whose hash is `hash` and whose free slot is `slot`, for add.
    const Doc* missed(std::uint64_t fields, std::int64_t prec, const Doc* parts, std::size_t count, std::uintptr_t extra,
                      std::uint64_t hash, std::size_t slot);

    // The entry found for key_, marked found in this round.
    const Doc* found(Entry& e) {
        e.lastFound = round_;
        pauses_.found();
        return &e.doc;
    }

    // A running hash of a key, one multiplication per word (mixHash costs more, and the words,
    // addresses and small numbers, need no more); `hashDone` brings its high bits, which every
    // word reaches, down to the low ones, which pick the slot.
    static std::uint64_t hashWord(std::uint64_t h, std::uint64_t word) { return (h ^ word) * 0x9E3779B97F4A7C15ULL; }
    static std::uint64_t hashDone(std::uint64_t h) { return h ^ (h >> 29); }
    void rebuild(std::size_t slots);  // a power of two
    void forgetOld();

    std::vector<Entry> entries_;
    std::vector<Doc> parts_;
    std::vector<Doc> pending_;  // the parts of the key last missed
    std::string texts_;
    std::vector<std::uint32_t> slots_ = std::vector<std::uint32_t>(64, kFree);  // entry + 1
    Key key_;  // the last looked up, its hash and the slot it has or would have
    std::uint64_t hash_ = 0;
    std::size_t slot_ = 0;
    std::uint32_t round_ = 0;
    std::size_t sweepAt_ = kLeastEntries;
    RoundPauses pauses_{1, {.foundFew = 3, .madeFew = 8, .most = 256}};
};

// Inline: the printer asks for every combination it makes while the table is in use.
inline const Doc* SameDocs::find(std::uint64_t fields, std::int64_t prec, const Doc* parts, std::size_t count,
                                 std::uintptr_t extra) {
    std::uint64_t h = hashWord(hashWord(fields, static_cast<std::uint64_t>(prec)), extra);
    for (std::size_t i = 0; i < count; ++i) h = hashWord(h, reinterpret_cast<std::uintptr_t>(parts[i].node().get()));
    h = hashDone(h);
    const std::size_t mask = slots_.size() - 1;
    std::size_t s = static_cast<std::size_t>(h) & mask;
    for (; slots_[s] != kFree; s = (s + 1) & mask) {
        Entry& e = entries_[slots_[s] - 1];
        if (e.hash != h || e.fields != fields || e.prec != prec || e.extra != extra || e.count != count) continue;
        const Doc* kept = parts_.data() + e.at;
        std::size_t i = 0;
        while (i < count && kept[i].node().get() == parts[i].node().get()) ++i;
        if (i < count) continue;
        return found(e);
    }
    return missed(fields, prec, parts, count, extra, h, s);
}

// A context precedence: 0 at the top, 1 for the body of a local definition, 100 for the
// arguments of an application, an operator's own precedence for its operands.
using Precedence = std::int64_t;

class ExprDocCache {
public:
    ExprDocCache();

    // The printer's, while it prints `root`, which the cache holds until the round after:
    // the document kept for a node of the root at the precedence, or null (the printer then
    // makes it, and adds it before it adds or finds anything outside the node); and a
    // document to keep.
    void hold(const Expr& root) { roots_.push_back(root); }
    const Doc* find(const Expr& e, Precedence p);
    void add(const Expr& e, Precedence p, const Doc& d);
    // Ends a round: drops the entries it did not reach.
    void endRound();
    // Whether the cache sits this round out.
    bool paused() const { return pauses_.paused(); }

    std::size_t size() const { return live_; }
    // Whether documents are kept at the precedence: at the small ones the printer gives its
    // parts; a part at any other is printed anew.
    static bool keeps(Precedence p) { return p >= -128 && p <= 127; }
    // Whether a document is kept for the node at the precedence (keeps nothing).
    bool holds(const Expr& e, Precedence p) const;
    // The documents of the last rounds by what they are made of, used in paused rounds too.
    SameDocs& same() { return same_; }

private:
    using EntryId = std::uint32_t;
    static constexpr EntryId kNone = ~EntryId{0};

    // The most parts an entry lists; a node with more keeps no document.
    static constexpr std::size_t kMostParts = (std::size_t{1} << 24) - 1;
    struct Entry {
        const void* node = nullptr;  // the node's identity; null for a free entry
        Doc doc{pretty_detail::DocNodeRef()};
        std::uint32_t holders = 0;
        std::uint32_t weight = 1;     // its document and the kept documents of its parts, counted
        std::uint32_t firstPart = 0;  // its parts' entries: parts_[firstPart, firstPart + partCount)
        std::uint32_t partCount : 24 = 0;
        std::int32_t prec : 8 = 0;    // see keeps
    };
    // An entry in the open addressing by node, with the hash of its node, whose low bits are its
    // home slot.
    struct Slot {
        EntryId entry = kNone;  // kNone for a free slot
        std::uint32_t hash = 0;
    };
    // A node missed in this round, whose parts are the entries reached from `firstReached` on.
    struct Making {
        const void* node;
        std::uint32_t firstReached;
        std::int8_t prec;
        bool madePart;  // whether a part's document was made in this round
    };
    // The nodes a round made documents for and did not keep: open addressing by node, where a
    // slot is in use when it bears the set's round.
    struct Passed {
        struct Slot {
            const void* node = nullptr;
            std::uint32_t round = 0;
        };
        std::vector<Slot> slots;
        std::size_t count = 0;
        std::uint32_t round = 0;
    };

    static std::uint32_t hashOf(const void* identity);
    // The slot of the node's entry at the precedence, or the free slot ending its run.
    std::size_t slotOf(const void* identity, Precedence p) const;
    void index(EntryId entry);
    void unindex(EntryId entry);
    void rebuildSlots(std::size_t slots);  // a power of two
    // The node being made, made no longer: where its parts start in reached_, and whether
    // the document of one of them was made in this round.
    Making madeNow(const void* identity, Precedence p);
    Making madeNowBelow(const void* identity, Precedence p);
    // Whether the document made for the node is worth keeping.
    bool worthKeeping(const Making& m) const;
    void notePassed(const void* identity);
    void morePassed();  // twice the room
    bool passedLastRound(const void* identity) const;
    EntryId newEntry();
    EntryId moreEntries();
    // One holder fewer for the entry; dropped, with what only it held, when it was the last.
    void release(EntryId entry);
    void drop(EntryId entry);
    // The lists of parts moved together once the dropped ones take as much room as the rest.
    void compactParts();
    std::vector<Entry> entries_;
    std::vector<EntryId> freeEntries_;
    std::size_t live_ = 0;              // entries in use
    std::vector<EntryId> parts_;        // the lists of parts of the entries, end to end
    std::size_t droppedParts_ = 0;      // room in parts_ of dropped entries
    std::vector<Slot> slots_;           // open addressing by node, a power of two long
    std::vector<Making> making_;        // the nodes missed in this round and not yet added
    std::vector<EntryId> reached_;      // found or made in this round, each held once, not yet a part
    std::vector<EntryId> tops_;         // the last round's, held once each
    std::vector<EntryId> dropping_;     // the entries still to drop in release
    std::vector<Expr> roots_;           // printed in this round
    std::vector<Expr> held_;            // printed in the last round: their nodes have the entries
    Passed passedNow_;                  // nodes whose documents this round did not keep
    Passed passedLast_;                 // and the round before
    // Pausing where the entries a round found (each with the entries made for it and kept: its
    // weight) are fewer than one for each 16 it made, and it made more than 16; pauses last at
    // most 256 rounds.
    RoundPauses pauses_{0, {.foundFew = 16, .madeFew = 16, .most = 256}};
    SameDocs same_;
};

}  // namespace plim
