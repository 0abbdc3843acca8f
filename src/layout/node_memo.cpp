// Layouts remembered from one render to the next (see DocNode::memo).
//
// A node is immutable and its layout at a line bound depends on nothing else, so a printer laying the unchanged parts
// of a changed expression out again recalls their layouts (see rememberLayout): at the bound they had, or at any bound
// that turns none of the layout's comparisons of a width with a bound the other way (see BoundRoom), as where the
// expression around a part grows by a few columns.  The first full layout only marks the node, as most nodes of a
// changed document are on the path to the change and are laid out once; one laid out again lasts.
//
// The counts are added at once; where the budget has less room left than the layout built, it might have been passed
// part-way, so the node is laid out again instead.  Texts live in a render's arena and are not kept: one all in its
// own fields (see selfContained) is made again; any other becomes an Again text, written by laying the node out again
// or as the characters the node keeps from its last such write at the same column and a bound its layout holds at.
// Most are never written.
#include <memory>
#include <string>
#include <vector>

#include "layout/nodes_internal.h"
#include "support/block_pool.h"

namespace plim::pretty_detail {

struct LayoutMemo {
    // A candidate: its sizes and its text, as a text to make again (no part), or a text shared by all layouts
    // (`shared`), or the node's own candidate in its place (kind Again, no node).
    struct Entry {
        LayoutInt height = 0;
        LayoutInt lastWidth = 0;
        LayoutInt width = 0;
        LayoutInt shift = 0;
        const void* ptr = nullptr;  // the text's node, or the shared text
        TextTree::Kind kind = TextTree::Kind::Again;
        bool shared = false;
        std::uint32_t index = 0;
    };
    LayoutInt lowest = 0;     // the bounds it holds at (see BoundRoom): from lowest
    std::uint64_t span = 0;   // to lowest + span
    LayoutInt highest() const { return lowest + static_cast<LayoutInt>(span); }
    // Whether it holds at the bound: one comparison.
    bool holdsAt(LayoutInt line) const { return static_cast<std::uint64_t>(line - lowest) <= span; }
    Sizes sizes;
    LayoutInt used = 0;     // the candidates counted
    LayoutInt allowed = 0;  // the raise of the budget by the texts laid out
    bool tooWide = false;
    bool pair = false;
    bool firstTooWide = false;
    bool secondTooWide = false;
    std::uint32_t firstCount = 0;  // the entries of the first list; the second's follow
    SmallVec<Entry, 1> entries;
    // The candidate last written from a text laid out again, as written (see textWritten), with the bounds its layout
    // holds at.
    struct Written { LayoutInt lowest; LayoutInt highest; std::uint32_t index; LayoutInt column; std::string chars; };
    std::unique_ptr<Written> written;
};

void freeMemo(LayoutMemo* m) noexcept {
    m->~LayoutMemo();
    PoolAllocator<LayoutMemo>().deallocate(m, 1);
}

namespace {

// Whether the text says all it is in its own fields, with no part: made again as it is.
bool selfContained(const TextTree& t) {
    switch (t.kind) {
    case TextTree::Kind::Marker:
    case TextTree::Kind::Plain:
    case TextTree::Kind::Line:
    case TextTree::Kind::Below:
    case TextTree::Kind::Again: return true;
    default: return false;
    }
}

// A leaf that all layouts share: the markers of widths up to 2.
bool sharedByAll(const TextTree& t) {
    return t.kind == TextTree::Kind::Leaf && t.shift <= 2 && &t == markerText(t.shift);
}

LayoutMemo::Entry entryOf(const Candidate& c) {
    LayoutMemo::Entry e;
    e.height = c.height;
    e.lastWidth = c.lastWidth;
    e.width = c.width;
    const TextTree& t = *c.text;
    if (t.kind == TextTree::Kind::Leaf) {
        e.shared = sharedByAll(t);
        if (e.shared) e.ptr = &t;
    } else if (selfContained(t)) {
        e.kind = t.kind;
        e.shift = t.shift;
        e.index = t.index;
        e.ptr = t.kind == TextTree::Kind::Marker ? nullptr : t.doc;
    }  // otherwise the node's own candidate: kind Again, no node
    return e;
}

const TextTree* textOf(const LayoutMemo::Entry& e, const DocNode& d, LayoutInt line, std::size_t index) {
    if (e.shared) return static_cast<const TextTree*>(e.ptr);
    if (e.kind == TextTree::Kind::Again && e.ptr == nullptr)
        return currentArena->make(TextTree::Kind::Again, line, nullptr, nullptr, nullptr, &d, static_cast<std::uint32_t>(index));
    return currentArena->make(e.kind, e.shift, nullptr, nullptr, nullptr, static_cast<const DocNode*>(e.ptr), e.index);
}

// The arena of the texts laid out again for the text being written, made at the first, emptied when it is written.
thread_local std::unique_ptr<TextArena> againArena;

}  // namespace

void keepRoom(LayoutInt width, LayoutInt bound, bool fits) {
    LayoutInt room = 0;
    if (fits) {
        if (__builtin_sub_overflow(bound, width, &room)) room = kFarBound;
        boundRoom.down = std::min(boundRoom.down, room);
        return;
    }
    if (__builtin_sub_overflow(width - 1, bound, &room)) room = kFarBound;
    boundRoom.up = std::min(boundRoom.up, room);
}

bool recallRemembered(const DocNode& d, LayoutInt line, NodeResult& out) {
    const LayoutMemo* m = d.memo.get();
    if (!m->holdsAt(line)) return false;
    if (budget.renders > 0 && budget.allowed - budget.used < m->used) return false;
    if (boundTracking) {
        boundRoom.down = std::min(boundRoom.down, line - m->lowest);
        boundRoom.up = std::min(boundRoom.up, m->highest() - line);
    }
    budget.used += m->used;
    budget.allowed += m->allowed;
    const std::size_t n = m->entries.size();
    Candidate* cs = allocCandidates(n);
    for (std::size_t i = 0; i < n; ++i) {
        const LayoutMemo::Entry& e = m->entries[i];
        cs[i] = Candidate{e.height, e.lastWidth, e.width, textOf(e, d, line, i)};
    }
    out.sizes = m->sizes;
    out.tooWide = m->tooWide;
    out.reply = NodeReply{m->pair, CandidateList::slice(cs, m->firstCount), CandidateList::slice(cs + m->firstCount, n - m->firstCount),
                          m->firstTooWide, m->secondTooWide};
    return true;
}

void keepLayout(const DocNode& d, LayoutInt line, const NodeResult& r, BudgetMark start, BoundRoom room) {
    const std::size_t n = candidateCount(r.reply);
    LayoutMemo* m = d.memo.get();
    if (m == nullptr) {
        m = new (PoolAllocator<LayoutMemo>().allocate(1)) LayoutMemo();
        d.memo.set(m);
    }
    m->lowest = d.boundSizes ? line : line - room.down;
    m->span = d.boundSizes ? 0 : static_cast<std::uint64_t>(room.down + room.up);
    m->sizes = r.sizes;
    m->used = budget.used - start.used;
    m->allowed = budget.allowed - start.allowed;
    m->tooWide = r.tooWide;
    m->pair = r.reply.pair;
    m->firstTooWide = r.reply.firstTooWide;
    m->secondTooWide = r.reply.secondTooWide;
    m->firstCount = static_cast<std::uint32_t>(r.reply.first.size());
    m->entries.resize(0);
    m->entries.reserve(n);
    for (const Candidate& c : r.reply.first) m->entries.push_back(entryOf(c));
    if (r.reply.pair)
        for (const Candidate& c : r.reply.second) m->entries.push_back(entryOf(c));
}

const TextTree* textLaidOutAgain(const TextTree& t) {
    if (againArena == nullptr) againArena = std::make_unique<TextArena>();
    ArenaScope scope(*againArena);
    // Outside the budget: the render counted this layout once already.
    struct Outside {
        Budget saved = budget;
        Outside() { budget.renders = 0; }
        ~Outside() { budget = saved; }
    } outside;
    // The texts stay until the text is written; the candidates go at once.
    const CandidateMark mark = candidateMark();
    const NodeResult r = layOutAgain(*t.doc, t.shift);
    const std::size_t firsts = r.reply.first.size();
    const TextTree* text = t.index < firsts ? r.reply.first[t.index].text : r.reply.second[t.index - firsts].text;
    againArena->candidateRewind(mark);
    return text;
}

const std::string* textWritten(const TextTree& t, LayoutInt column) {
    const LayoutMemo* m = t.doc->memo.get();
    const LayoutMemo::Written* w = m != nullptr ? m->written.get() : nullptr;
    const bool within = w != nullptr && w->lowest <= t.shift && t.shift <= w->highest;
    return within && w->index == t.index && w->column == column ? &w->chars : nullptr;
}

void keepTextWritten(const TextTree& t, LayoutInt column, std::string chars) {
    // The memo holds the layout at the text's bound: the one laid out again for it.
    LayoutMemo* m = t.doc->memo.get();
    if (m == nullptr || !m->holdsAt(t.shift)) return;
    using Written = LayoutMemo::Written;
    m->written = std::make_unique<Written>(Written{m->lowest, m->highest(), t.index, column, std::move(chars)});
}

void forgetTextsLaidOutAgain() {
    if (againArena != nullptr) againArena->clear();  // kept for the next text, as a render's is
}

}  // namespace plim::pretty_detail
