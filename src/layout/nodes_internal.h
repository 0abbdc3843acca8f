// The workings the files of the node engine share: the arena of a layout's texts and candidates, the candidate lists
// and attribute rules on them, and the layout of templates.  Only the node engine's own sources include this header.
#pragma once

#include <algorithm>
#include <deque>
#include <limits>
#include <memory>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "layout/nodes.h"

namespace plim::pretty_detail {

// A render begins: the lines kept from renders before the last two may go (see kKeptLineWidth).
void nextLineRound();

// --- texts ----------------------------------------------------------------------------------

// The texts one layout builds (and its leaf strings: markers, error texts), in blocks freed together with its
// candidates; the render of a stack part by part rewinds them once each part's text is written.
class TextArena {
public:
    TextArena() = default;
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;

    const TextTree* make(TextTree::Kind kind, LayoutInt shift, const TextTree* first, const TextTree* second,
                         const char* chars, const DocNode* doc = nullptr, std::uint32_t index = 0) {
        TextTree& t = texts_.next();
        t.kind = kind;
        t.index = static_cast<std::uint16_t>(index);
        t.shift = NodeSizes::kept(shift);
        t.first = first;
        if (kind == TextTree::Kind::Leaf) t.chars = chars;
        else if (kind == TextTree::Kind::Plain || kind == TextTree::Kind::Line ||
                 kind == TextTree::Kind::Below || kind == TextTree::Kind::Again)
            t.doc = doc;
        else t.second = second;
        return &t;
    }
    const std::string& keep(std::string s) { return strings_.emplace_back(std::move(s)); }

    // Emptied for another layout, keeping the room of the fixed bounds for the next one.  The next
    // layout starts in the first chunk, so that its first marks are in a chunk (see takenSince).
    void clear() {
        texts_.keepReached();
        keepCandidateChunks();
        strings_.clear();
        candidateRewind(candChunks_.empty() ? CandidateMark{} : CandidateMark{0, candChunks_[0].get()});
    }

    // The room it holds: for texts, and for candidates.
    std::size_t textRoom() const { return texts_.room(); }
    std::size_t candidateRoom() const { return std::accumulate(candSizes_.begin(), candSizes_.end(), std::size_t{0}); }

    // The texts' extent, and its rewinding to an earlier extent: the texts made since are gone.
    std::size_t mark() const { return texts_.filled; }
    void rewind(std::size_t mark) { texts_.rewind(mark); }

private:
    // The texts, in blocks that never move.
    struct Region {
        std::vector<std::unique_ptr<TextTree[]>> blocks;
        std::vector<std::size_t> ends;  // the count of texts up to the end of each block
        std::size_t filled = 0;  // texts in use
        std::size_t reached = 0;  // the blocks reached since the region was last emptied
        TextTree* top = nullptr;  // the next text, or null where it is to be found again
        TextTree* end = nullptr;  // the end of its block
        TextTree& next() {
            if (top == end) nextBlock();
            ++filled;
            return *top++;
        }
        // Finds room for the next text, in a new block if need be; the first are small (most lazy layouts make few).
        void nextBlock() {
            const std::size_t b = blockOf(filled);
            if (b == blocks.size()) {
                const std::size_t size = ends.empty() ? kFirstTextBlock : std::min(kTextBlock, 4 * blockSize(b - 1));
                blocks.push_back(std::make_unique_for_overwrite<TextTree[]>(size));
                ends.push_back((ends.empty() ? 0 : ends.back()) + size);
            }
            reached = std::max(reached, b + 1);
            const std::size_t begin = ends[b] - blockSize(b);
            top = blocks[b].get() + (filled - begin);
            end = blocks[b].get() + blockSize(b);
        }
        // The block that holds text number `texts` (from 0): the count of the blocks before it.
        std::size_t blockOf(std::size_t texts) const {
            return static_cast<std::size_t>(std::upper_bound(ends.begin(), ends.end(), texts) - ends.begin());
        }
        std::size_t blockSize(std::size_t b) const { return b == 0 ? ends[0] : ends[b] - ends[b - 1]; }
        std::size_t room() const { return ends.empty() ? 0 : ends.back(); }
        void keepReached() {
            if (room() > kKeptArenaTexts && (reached < blocks.size() || room() > kReachedArenaTexts)) {
                const std::size_t keep = std::min(std::max(reached, blockOf(kKeptArenaTexts)), blockOf(kReachedArenaTexts));
                blocks.resize(keep);
                ends.resize(keep);
            }
            reached = 0;
            rewind(0);
        }
        void rewind(std::size_t to) {
            filled = to;
            top = end = nullptr;  // found again by the next text
        }
    };
    Region texts_;
    std::deque<std::string> strings_;

public:
    // The layout's candidates, in chunks that never move, used as a stack: a layout marks the top, builds its parts'
    // candidates and its own, then moves its own down to the mark (see compactTo), freeing all its parts built.
    struct CandidateMark {
        std::size_t chunk = 0;
        Candidate* top = nullptr;  // in chunk `chunk`, or null before the first chunk
    };
    Candidate* cands(std::size_t n) {
        if (static_cast<std::size_t>(room_.end - room_.top) < n) nextChunk(n);
        Candidate* p = room_.top;
        room_.top += n;
        return p;
    }
    CandidateMark candidateMark() const { return CandidateMark{chunk_, room_.top}; }
    // The room taken since the mark, where that is in the mark's chunk; otherwise more than any bound.
    std::size_t takenSince(CandidateMark m) const {
        if (m.top == nullptr || m.chunk != chunk_) return std::numeric_limits<std::size_t>::max();
        return static_cast<std::size_t>(room_.top - m.top);
    }
    // Whether the n candidates at p lie in the chunk of the mark, at or above it.
    bool aboveInChunk(const Candidate* p, std::size_t n, CandidateMark m) const {
        if (m.top == nullptr) return false;
        const Candidate* end = candChunks_[m.chunk].get() + candSizes_[m.chunk];
        return p >= m.top && p < end && static_cast<std::size_t>(end - p) >= n;
    }
    void candidateRewind(CandidateMark m) {
        chunk_ = m.chunk;
        room_.top = m.top;
        room_.end = m.top == nullptr ? nullptr : candChunks_[m.chunk].get() + candSizes_[m.chunk];
    }

private:
    void keepCandidateChunks() {
        std::size_t kept = 0;
        for (std::size_t c = 0; c < candChunks_.size() && kept < kKeptArenaChunks; ++c) {
            if (candSizes_[c] > kCandidateChunk) continue;
            if (kept != c) {
                candChunks_[kept] = std::move(candChunks_[c]);
                candSizes_[kept] = candSizes_[c];
            }
            ++kept;
        }
        candChunks_.resize(kept);
        candSizes_.resize(kept);
    }
    // Moves the top to the start of the next chunk with room for n, made if need be.
    [[gnu::noinline]] void nextChunk(std::size_t n) {
        std::size_t c = room_.top == nullptr ? 0 : chunk_ + 1;
        while (c < candChunks_.size() && candSizes_[c] < n) ++c;
        if (c == candChunks_.size()) {
            const std::size_t size = std::max(kCandidateChunk, n);
            candChunks_.push_back(std::make_unique_for_overwrite<Candidate[]>(size));
            candSizes_.push_back(size);
        }
        chunk_ = c;
        room_.top = candChunks_[c].get();
        room_.end = room_.top + candSizes_[c];
    }

    std::vector<std::unique_ptr<Candidate[]>> candChunks_;
    std::vector<std::size_t> candSizes_;
    std::size_t chunk_ = 0;  // the chunk of the room
    struct {
        Candidate* top = nullptr;
        Candidate* end = nullptr;
    } room_;  // the free part of that chunk (none before the first)
};

// The arena of the layout running on this thread.
inline thread_local TextArena* currentArena = nullptr;

class ArenaScope {
public:
    explicit ArenaScope(TextArena& a) : previous_(std::exchange(currentArena, &a)) {}
    ~ArenaScope() { currentArena = previous_; }
    ArenaScope(const ArenaScope&) = delete;
    ArenaScope& operator=(const ArenaScope&) = delete;

private:
    TextArena* previous_;
};

inline Candidate* allocCandidates(std::size_t n) {
    return currentArena->cands(n);
}

// A candidate list: a slice of the running layout's candidates, in its arena; copies share them.
class CandidateList {
public:
    // A list of one candidate, in room of its own (as a braced list of one has).
    static CandidateList one(const Candidate& x) {
        Candidate* room = allocCandidates(1);
        *room = x;
        return slice(room, 1);
    }
    // The n candidates at data.
    static CandidateList slice(Candidate* data, std::size_t n) {
        CandidateList c;
        c.data_ = data;
        c.size_ = static_cast<std::uint32_t>(n);
        return c;
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Candidate* begin() { return data_; }
    Candidate* end() { return data_ + size_; }
    const Candidate* begin() const { return data_; }
    const Candidate* end() const { return data_ + size_; }
    Candidate& operator[](std::size_t i) { return data_[i]; }
    const Candidate& operator[](std::size_t i) const { return data_[i]; }
    const Candidate& front() const { return data_[0]; }
    const Candidate& back() const { return data_[size_ - 1]; }

    // Keeps the first n (n <= size()).
    void resize(std::size_t n) { size_ = static_cast<std::uint32_t>(n); }

private:
    Candidate* data_ = nullptr;
    std::uint32_t size_ = 0;
};

struct NodeReply {
    bool pair = false;
    CandidateList first;  // the candidates of a single reply
    CandidateList second;
    bool firstTooWide = false;
    bool secondTooWide = false;
};

struct NodeResult {
    NodeReply reply;
    bool tooWide = false;
    // Every candidate, though only the first was asked for (see layOut's `need`): its layout had to make them all.
    bool whole = false;
    // A single list whose first candidate has fewer lines than any other its layout in full has, though only the
    // first was made: known where it is its one candidate and kept where the first is made from a part's (see
    // FirstOnly); false where not known.
    bool firstShortest = false;
    Sizes sizes;
};

// The layout of a node sure of its line at the bound (see DocNode::sure) without its other candidates: its one line,
// not too wide; false for any other node.  Only for a caller that reads no more than the first candidate.
bool flatLayout(const DocNode& d, LayoutInt lineBound, NodeResult& out);

// The node laid out with every line within `lineBound`.  Where fewer than all candidates are `need`ed (a stack whose
// first candidate is rendered), only that many leading ones are built along stacks and after texts; elsewhere all are.
inline constexpr std::size_t kAll = static_cast<std::size_t>(-1);
NodeResult layOut(const DocNode& d, LayoutInt lineBound, std::size_t need = kAll);

using CandidateMark = TextArena::CandidateMark;

inline CandidateMark candidateMark() { return currentArena->candidateMark(); }
// The result's candidates moved down to the mark, the room above them freed.  A few cache blocks of room are left as
// they are (checked here, without a call): an enclosing layout frees them with its own, or the arena is rewound.
void compactLarge(NodeResult& r, CandidateMark m);
inline void compactTo(NodeResult& r, CandidateMark m) {
    if (currentArena->takenSince(m) > kCompactSlack) compactLarge(r, m);
}
const TextTree* leafText(std::string s);
const TextTree* indentText(LayoutInt n, const TextTree* a);

// --- candidate lists ---------------------------------------------------------------------------

CandidateList textCandidates(const std::string& s);
// The marker of a width, as a text of the running layout.
const TextTree* markerText(LayoutInt n);
CandidateList markerCandidates(LayoutInt n);
NodeReply single(CandidateList cs);
// Two lists merged (of two heads, the one with fewer lines, then the narrower; of equal sizes the first's, the other
// dropped); a list without the candidates that earlier ones make useless.
CandidateList mergeCandidates(const CandidateList& xs, const CandidateList& ys);
CandidateList pruned(CandidateList xs);
NodeReply errorReplyOf(const char* text);
// The candidates of one alternative: a pair in its place shows the "dup a dup" error.
CandidateList alternative(const NodeReply& r);

// --- attribute rules -----------------------------------------------------------------------------

// The rules of the compositions on their parts' layouts at the line bound.
NodeResult besideResult(const NodeResult& l, const NodeResult& r, LayoutInt line);
NodeResult aboveResult(const NodeResult& u, const NodeResult& d, std::size_t need);
NodeResult joinResult(NodeResult e);
NodeResult filterResult(NodeResult e);
NodeResult indentResult(LayoutInt n, const NodeResult& inner, LayoutInt line);
NodeResult choiceResult(const NodeResult& x, const NodeResult& y, LayoutInt leftParams, LayoutInt rightParams);
NodeResult errorResult(const std::string& text);
// A fill's state (candidates, flag; as sizes the lines begun, last line's width, width filled) after one more item.
void fillResult(NodeResult& state, const NodeResult& item, LayoutInt width);
// A fill block's layout at the line bound from its fill: an error for a negative block width, its marker where wider.
NodeResult fillBlockResult(NodeResult fill, LayoutInt blockWidth, LayoutInt line);
// The first candidate of each list as one line of width 0 (an empty line where there is none).
NodeResult zeroSizeResult(NodeResult e);

// --- remembered layouts (layout/node_memo.cpp) -----------------------------------------------------

// The counts of the work budget at the start of a node's layout.
struct BudgetMark {
    LayoutInt used = 0;
    LayoutInt allowed = 0;
};
inline BudgetMark budgetMark() { return BudgetMark{budget.used, budget.allowed}; }

// The node's remembered layout at the bound, with the counts its layout made (all its candidates, also where only the
// first are needed); false where it remembers none there, or where those counts could pass the budget on the way.
bool recallRemembered(const DocNode& d, LayoutInt line, NodeResult& out);
inline bool recallLayout(const DocNode& d, LayoutInt line, NodeResult& out) {
    return d.memo.get() != nullptr && recallRemembered(d, line, out);
}
// The layout kept in the node's memo, made if need be, for the bounds that `room` leaves around the line (see
// BoundRoom; only the line itself where the node's sizes depend on it).
void keepLayout(const DocNode& d, LayoutInt line, const NodeResult& r, BudgetMark start, BoundRoom room);
inline std::size_t candidateCount(const NodeReply& r) { return r.first.size() + (r.pair ? r.second.size() : 0); }
// Remembers the node's layout at the bound, made since `start`, where it has all its candidates (asked for all, or
// whole though asked for the first) and they are few:
// from the second such layout on, at any bound, the first only marking the node.
inline void rememberLayout(const DocNode& d, LayoutInt line, std::size_t need, const NodeResult& r, BudgetMark start,
                           BoundRoom room = BoundRoom{0, 0}) {
    if ((need != kAll && !r.whole) || candidateCount(r.reply) > kRememberedCandidates) return;
    if (d.memo.get() != nullptr || d.memo.once()) keepLayout(d, line, r, start, room);
    else d.memo.setOnce();
}
// The node laid out at the bound, its own layout not recalled (its parts' may be).
NodeResult layOutAgain(const DocNode& d, LayoutInt line);
// The text of a recalled (Again) candidate, its node laid out again outside the budget, until forgetTextsLaidOutAgain.
const TextTree* textLaidOutAgain(const TextTree& t);
void forgetTextsLaidOutAgain();
// What such a text was last written as at the column, or null (each step of a calculation writes it again); and kept.
const std::string* textWritten(const TextTree& t, LayoutInt column);
void keepTextWritten(const TextTree& t, LayoutInt column, std::string chars);

// --- templates -----------------------------------------------------------------------------------

// The arguments of a parameterised node: a slice of the laid-out argument documents.
struct Args {
    const NodeResult* items = nullptr;
    std::size_t count = 0;
};

// The layout of a list of hvSpList (a node filling a template of kind HvSp, one item for each parameter) over its
// items' layouts, as the general rules give it.
// Where `firstDropped` is given, it tells whether the line arrangement was built and lost the last item's first
// candidate (too wide for the line), so that a layout from that first candidate alone is not the list's.
NodeResult layOutHvSpList(Args items, LayoutInt line, bool* firstDropped = nullptr);
// The line arrangement of such a list (its items at the `lines` its blanks leave them) built at once, with the counts
// of its products, where the items before the last are one line each; false, nothing counted, where it is not.
bool hvSpLineAtOnce(Args args, const LayoutInt* lines, NodeResult& h);
// Its stacked arrangement built at once, with the counts of its stacks, where the items before
// the last have one candidate each; false, nothing counted, where it is built stack by stack.
bool hvSpStackAtOnce(Args args, NodeResult& v);

// The line bounds of parameters.
using Bounds = SmallVec<LayoutInt, 8>;

// Whether a filling's outer template takes as many parameters as it has inner templates; the error text where not.
inline bool countsMatch(const ParNode& subst) {
    return subst.parts.front()->params == static_cast<LayoutInt>(subst.parts.size() - 1);
}
inline std::string countError(const ParNode& subst) {
    return applyCountError(subst.parts.front()->params, static_cast<LayoutInt>(subst.parts.size() - 1));
}
// The places of p, an argument filling each parameter, appended to `out`; false past `limit` (0: none), some added.
bool makePlaces(const ParNode& p, std::vector<PlaceShape>& out, std::size_t limit = 0);
// The sizes of a template's places over arguments of the given sizes.
void placeSizes(const PlaceShape* places, std::size_t n, const Sizes* args, Sizes* out);

// The places of the templates that one walk fills with arguments (see PlaceShape).  One pass over a template's places
// from the last gives their sizes, one from the first their bounds and those of the template's parameters, and one from
// the last their layouts: each after its parts', the right part of a side-by-side composition before the left one, the
// inner templates of a filling from the first before the outer one, as the rules ask for them.  A template nested
// however deep takes no deeper calls, and each part of a filling is laid out once.
class TemplatePlaces {
public:
    // The places of p filled with an argument for each parameter appended; the first one's index returned.
    std::size_t add(const ParNode& p);
    // The sizes and bounds of the template's places from `first` on, over arguments of the given sizes, at the line
    // bound; each parameter's bound, in order, to `bounds` (the larger of a choice's two, while both have one).
    void measure(std::size_t first, const Sizes* args, LayoutInt line, Bounds& bounds);
    // Place k laid out into `results` (its template's places' layouts from `first`) from its parts' and the arguments',
    // its candidates moved down to its parts' start; false for a lifted document, which the walk lays out at lineOf(k).
    bool layOut(std::size_t k, std::size_t first, NodeResult* results, Args args);
    const DocNode& liftedAt(std::size_t k) const { return *shapes_[k].p->doc; }
    LayoutInt lineOf(std::size_t k) const { return state_[k].line; }
    std::size_t size() const { return shapes_.size(); }
    // The places from `first` (a template's first) on dropped (inline: every frame of a walk drops its own).
    void dropFrom(std::size_t first) {
        if (first < shapes_.size()) shapes_.resize(first);
    }

private:
    struct State {
        LayoutInt line = 0;
        std::size_t boundsAt = 0;  // where its parameters' bounds begin in paramBounds_
        CandidateMark mark;        // where the candidates of its layout begin
    };
    void setLine(std::size_t first, std::size_t k);
    void close(std::size_t first);
    void closeChoice(std::size_t first, std::size_t k);
    void closeFilling(std::size_t first, std::size_t k);
    void setInnerLines(std::size_t first, std::size_t outer);

    std::vector<PlaceShape> shapes_;
    std::vector<Sizes> sizes_;
    std::vector<State> state_;
    std::vector<LayoutInt> paramBounds_;  // of the parameters of the places measured, in order
    std::vector<std::uint32_t> open_;     // the places whose parts are being measured
};

}  // namespace plim::pretty_detail
