// Documents as trees of nodes, laid out at a line bound into candidates whose texts live in an arena per layout (the
// algorithm: layout/document.h), within the work budget of a render.  Only the layout library includes this.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "layout/document.h"
#include "support/small_vec.h"

namespace plim::pretty_detail {

// --- fixed bounds: none changes what a document renders as; they trade memory for speed -----

// The most places a template keeps (see ParNode::places); a larger one's are made when they are needed.
inline constexpr std::size_t kMaxPlaces = 48;
// The templates of hvSpList for up to this many items are made once and shared.
inline constexpr std::size_t kSharedTemplates = 32;

// A node remembers its layout (see DocNode::memo) where it has at most this many candidates.
inline constexpr std::size_t kRememberedCandidates = 64;

// Candidates above a mark are moved down only past this many: fewer stay in the cache, freed with the enclosing one's.
inline constexpr std::size_t kCompactSlack = 128;
// Candidates moved down are saved aside on the stack up to this many, in a heap block beyond.
inline constexpr std::size_t kCompactOnStack = 16;
// A layout's text arena grows by blocks of this many texts, after a first block of this many and blocks growing ...
inline constexpr std::size_t kTextBlock = 1024;
inline constexpr std::size_t kFirstTextBlock = 16;
// ... and its candidates by chunks of at least this many (most layouts live in the first).
inline constexpr std::size_t kCandidateChunk = 4096;
// A render's arena keeps for the next one the room most layouts need: this many texts and usual candidate chunks ...
inline constexpr std::size_t kKeptArenaTexts = std::size_t{1} << 14;
inline constexpr std::size_t kKeptArenaChunks = 8;
// ... and up to this many texts it reached, as each step of a calculation needs about as many: no fresh pages per step.
inline constexpr std::size_t kReachedArenaTexts = std::size_t{1} << 20;
// A node's one line at least this wide is kept from one render to the next once written twice (see LineTexts).
inline constexpr LayoutInt kKeptLineWidth = 12;
// The buffer of the text writer is given back after writing a text larger than this.
inline constexpr std::size_t kWriterKeptBytes = std::size_t{1} << 22;

// --- the work budget and the error texts ---------------------------------------------------

// The most candidates one render may build before it answers with the too-wide marker of the document's width, and
// the further ones allowed for each text laid out: the budget grows with the document, only runaway choices reach it.
inline constexpr LayoutInt kCandidateBudget = 1000000;
inline constexpr LayoutInt kCandidatesPerText = 64;

// The work budget of a render.
struct Budget {
    LayoutInt used = 0;
    LayoutInt allowed = kCandidateBudget;
    int renders = 0;  // renders in progress on this thread
};
inline thread_local Budget budget;
// Abandons the render in progress.
[[noreturn]] void budgetExhausted();

// Counts one candidate built; past the budget, inside a render, abandons the render.
inline void countCandidate() {
    if (++budget.used > budget.allowed && budget.renders > 0) budgetExhausted();
}
// Counts n candidates built at once (no text counted among them): past the budget where one by one would have been.
inline void countCandidates(LayoutInt n) {
    if (n <= 0) return;
    budget.used += n;
    if (budget.used > budget.allowed && budget.renders > 0) budgetExhausted();
}
// Counts texts laid out, each of which raises the budget of the render.
inline void countText(LayoutInt texts = 1) {
    budget.allowed += kCandidatesPerText * texts;
}

// --- the room of a layout's bound -----------------------------------------------------------
//
// A layout compares widths with bounds, each the node's line bound less a fixed amount (or one fixed, as a zero size's
// part has), and is otherwise the same at every bound: at another line bound that turns no comparison the other way,
// it is the same, text for text.  Each comparison is made through fitsWithin, which keeps how far the line bound may
// fall and rise before one turns (the least room seen since the innermost frame that may be remembered began, see
// FrameStack), so that a layout remembered at one bound serves the bounds around it (see LayoutMemo).  The room is
// kept only while a frame whose layout may be remembered is open (boundTracking, see FrameStack::start): a node's
// first full layout only marks it (see rememberLayout), so most layouts, all of a document laid out once, compare as
// they would without it, at the cost of a test.
inline constexpr LayoutInt kFarBound = std::numeric_limits<LayoutInt>::max() / 4;
struct BoundRoom {
    LayoutInt down = kFarBound;  // the bound may fall this much
    LayoutInt up = kFarBound;    // and rise this much
};
inline thread_local BoundRoom boundRoom;
inline thread_local bool boundTracking = false;

// The room of a comparison kept (boundTracking on); out of line, so that a comparison made while no room is kept costs
// a test and no more.
[[gnu::noinline]] void keepRoom(LayoutInt width, LayoutInt bound, bool fits);
// Whether the width is within the bound, the room of the comparison kept while boundTracking.
[[gnu::always_inline]] inline bool fitsWithin(LayoutInt width, LayoutInt bound) {
    const bool fits = width <= bound;
    if (boundTracking) [[unlikely]]
        keepRoom(width, bound, fits);
    return fits;
}
// The room of the layouts made from here on begun afresh; the room before returned, for restoreBoundRoom.
inline BoundRoom freshBoundRoom() { return std::exchange(boundRoom, BoundRoom{}); }
// The room before a frame's layout narrowed by the frame's own, which is returned.
inline BoundRoom restoreBoundRoom(const BoundRoom& before) {
    const BoundRoom own = boundRoom;
    boundRoom.down = std::min(before.down, own.down);
    boundRoom.up = std::min(before.up, own.up);
    return own;
}

inline constexpr const char* kNegativeWidthError = "<Error: negative page width >";
inline constexpr const char* kRenderPairError = "<Error: can't render a pair>";
inline constexpr const char* kFilterPairError = "<Error: can not filter a pair>";
inline constexpr const char* kDupDupError = "<Error: can't dup a dup>";
inline constexpr const char* kBesidePairsError = "<Error: can't beside two pairs>";
inline constexpr const char* kAbovePairsError = "<Error: can't above two pairs>";
inline constexpr const char* kJoinSingleError = "<Error: can't join a single result>";
inline constexpr const char* kFillPairError = "<Error: element in fill list is a pair>";
inline constexpr const char* kFillHigherError = "<Error: element in fill higher than 1>";
inline constexpr const char* kFillBlockWidthError = "<Error: negative page width in fillblock>";
inline constexpr const char* kNegativeIndentError = "<Error: negative indentation>";
std::string choiceCountError(LayoutInt left, LayoutInt right);
std::string applyCountError(LayoutInt params, LayoutInt args);

// --- the text of a candidate ----------------------------------------------------------------

struct DocNode;

// The text of a candidate, written out only when rendered: characters (Leaf), two texts side by side or stacked, one
// indented, the too-wide marker of a width, or a node's text: the one layout of a plain node (DocNode::plainTexts),
// the one line of a node sure of it (DocNode::sure) or laid out below zero (DocNode::below), or a remembered
// candidate, written by laying its node out again (DocNode::memo).  Texts live and die with their layout's arena.

struct TextTree {
    enum class Kind : std::uint8_t { Leaf, Beside, Above, Indent, Marker, Plain, Line, Below, Again };
    Kind kind;
    std::uint16_t index;   // Again: the candidate's place in the node's reply (the first list, then the second)
    // Beside: the first part's last width; Indent: the indentation; Leaf, Marker: the length; Again: the bound.
    std::int32_t shift;
    const TextTree* first;  // Beside, Above, Indent
    union {
        const TextTree* second;  // Beside, Above
        const char* chars;       // Leaf: the characters
        const DocNode* doc;      // Plain, Line, Below, Again: the node
    };
};

// A leaf text of the given characters that no arena holds.
constexpr TextTree sharedLeaf(const char* chars, LayoutInt length) {
    TextTree t;
    t.kind = TextTree::Kind::Leaf;
    t.index = 0;
    t.shift = static_cast<std::int32_t>(length);
    t.first = nullptr;
    t.chars = chars;
    return t;
}

// The characters of the text, its first character at `column`, appended to `out`.
void writeText(const TextTree& t, LayoutInt column, std::string& out);

// --- candidates and replies ----------------------------------------------------------------

// One candidate layout of a node: its sizes and its text, in the layout's arena.
struct Candidate {
    LayoutInt height = 0;
    LayoutInt lastWidth = 0;
    LayoutInt width = 0;
    const TextTree* text = nullptr;
};

// --- document and parameterised-document nodes ----------------------------------------------

// The layout of a node below zero, where no text fits, known as the node is made for texts, the empty document,
// side-by-side compositions and lists of hvSpList (printed expressions): it and its counts are the same at every such
// bound, so a part nested past the page's width is answered without its parts' layouts (see belowResult).  It counts
// fewer candidates than its texts allow (a composition at most one for two parts with a text each), so it never passes
// the budget: only its totals are kept (counts too large to keep leave it unknown).  It holds at every bound below
// `upTo` too: a text until it fits, a list of hvSpList while an item is too wide (a text beside or among parts too wide
// makes the same counts and candidate whether it fits or not); only its candidate's texts differ there.
struct BelowZero {
    bool known : 1 = false;
    bool tooWide : 1 = false;
    bool candidate : 1 = false;  // a single list of one candidate, one line of `width`; or of none
    std::uint32_t texts : 29 = 0;  // counted as laid out (see countText)
    std::int32_t width = 0;
    std::uint32_t candidates = 0;  // counted as built (see countCandidate)
    std::int32_t upTo = 0;

    // Counts added; false where they would not fit.
    bool add(std::uint64_t moreTexts, std::uint64_t moreCandidates) {
        constexpr std::uint64_t kMaxTexts = (std::uint64_t{1} << 29) - 1;
        constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
        if (texts + moreTexts > kMaxTexts || candidates + moreCandidates > kMax) return false;
        texts = static_cast<std::uint32_t>(texts + moreTexts);
        candidates += static_cast<std::uint32_t>(moreCandidates);
        return true;
    }
};

struct ParNode;
using ParNodeRef = std::shared_ptr<const ParNode>;

// The layout a node had the last time it was laid out in full (layout/node_memo.cpp), owned by the node; or, until it
// has been laid out in full twice, only a mark that it was once.  Layouts run on one thread at a time.
struct LayoutMemo;
void freeMemo(LayoutMemo* m) noexcept;
class MemoSlot {
public:
    MemoSlot() = default;
    MemoSlot(const MemoSlot&) = delete;
    MemoSlot& operator=(const MemoSlot&) = delete;
    ~MemoSlot() {
        if (LayoutMemo* m = get()) freeMemo(m);
    }
    LayoutMemo* get() const { return (bits_ & 1) != 0 ? nullptr : reinterpret_cast<LayoutMemo*>(bits_); }
    void set(LayoutMemo* m) { bits_ = reinterpret_cast<std::uintptr_t>(m); }
    // Without a layout kept: whether the node was laid out in full once, and that marked.
    bool once() const { return bits_ == 1; }
    // Whether the node was laid out in full before: a layout kept, or the mark.
    bool laidOut() const { return bits_ != 0; }
    void setOnce() { bits_ = 1; }

private:
    std::uintptr_t bits_ = 0;  // the layout, or 1 for the mark
};

// The parts of a node of many parts, and those of documents (taken out of them).
using NodeParts = SmallVec<DocNodeRef, 3>;
NodeParts nodesOf(std::span<Doc> items);

// A node's sizes, kept in 32 bits (a larger size stands at the largest); read as Sizes.
struct NodeSizes {
    std::int32_t height = 0;
    std::int32_t lastWidth = 0;
    std::int32_t width = 0;

    operator Sizes() const { return Sizes{height, lastWidth, width}; }  // NOLINT: read as Sizes
    NodeSizes& operator=(const Sizes& s) {
        height = kept(s.height);
        lastWidth = kept(s.lastWidth);
        width = kept(s.width);
        return *this;
    }
    static std::int32_t kept(LayoutInt n) {
        using L = std::numeric_limits<std::int32_t>;
        return static_cast<std::int32_t>(std::clamp<LayoutInt>(n, L::min(), L::max()));
    }
};

struct DocNode {
    enum class Kind : std::uint8_t { Text, Empty, Beside, Above, Join, Filter, Indent, Dup, Apply, AboveList, Error, Fill, ZeroSize, Centred };
    // The handles on the node (see DocNodeRef), at the node's own address.
    NodeCount count;
    // What a layout reads first, together.
    Kind kind = Kind::Empty;
    // What the node is sure of at every bound, known as it is made (see flatLayout): `Line`, that at a bound of at
    // least lineLow its layout is its one line, of width lineLow and with lineTexts texts, which writeLine writes;
    // `Tall`, that it is a single list whose candidates all have two lines or more; `No`, neither.
    enum class Sure : std::uint8_t { No, Line, Tall };
    Sure sure = Sure::No;
    // Whether the node's layout may be a pair of alternatives; false where it is certainly a single list (see sure).
    bool mayPair : 1 = false;
    // Whether the node's sizes depend on the line bound (a fill, or a node with one as a part): `sizes` are then a
    // guess, those at a bound are its layout's there, and the node is sure of nothing.
    bool boundSizes : 1 = false;
    // Where sure of its line through a choice (a joined pair, a joined choice template): whether it is the second.
    bool lineSecond : 1 = false;
    // Whether its line (at least kKeptLineWidth wide) has been written once: the second write keeps it (see LineTexts).
    mutable bool lineWritten : 1 = false;
    // A plain node (a text, or plain nodes side by side, stacked or indented) has exactly one layout, whose sizes are
    // its own, and where it fits no part of it is too wide: it is laid out at once, as one candidate whose text is the
    // node.  The count is its number of texts (each occurrence of a shared one); zero for a node that is not plain.

    std::uint32_t plainTexts = 0;
    NodeSizes sizes;
    std::int32_t lineLow = 0;  // where sure of a line: see sure, and kNoLine
    std::uint32_t lineTexts = 0;  // where sure of a line: see sure
    BelowZero below;
    mutable MemoSlot memo;
    DocNodeRef left;  // the part of a one-part node, the first of two
    DocNodeRef right;
    // Apply: the layout and its arguments; AboveList, Fill, Centred: the items.  Kept aside, as few nodes have them.
    struct Many {
        SmallVec<DocNodeRef, 3> parts;  // most have a few, kept without a block of their own
        ParNodeRef layout;
        std::int32_t fillWidth = 0;  // Fill: the block width, where not filled to the line bound
        bool fillToBound = false;    // Fill: filled to the line bound
    };
    static constexpr std::size_t kLocalChars = 8;
    // What one kind of node has of its own, as no node has two of these.
    union {
        LayoutInt amount = 0;           // Indent
        Many* many;                     // see hasMany: owned
        char localChars[kLocalChars];   // Text, Error: a text of up to kLocalChars characters
        char* farChars;                 // Text, Error: a longer text, owned
    };

    DocNode() = default;
    DocNode(const DocNode&) = delete;
    DocNode& operator=(const DocNode&) = delete;
    ~DocNode();

    // Text, Error: the text (its length is the node's width).
    std::string_view text() const {
        const auto n = static_cast<std::size_t>(sizes.width);
        return {n <= kLocalChars ? localChars : farChars, n};
    }
    // Text, Error: sets the text and the sizes of its one line.
    void setText(std::string_view t);
    // Apply, AboveList, Fill or Centred, told by one test on a mask of kinds.
    bool hasMany() const {
        constexpr unsigned kMany = 1U << static_cast<unsigned>(Kind::Apply) | 1U << static_cast<unsigned>(Kind::AboveList) |
                                   1U << static_cast<unsigned>(Kind::Fill) | 1U << static_cast<unsigned>(Kind::Centred);
        return ((kMany >> static_cast<unsigned>(kind)) & 1U) != 0;
    }
};
static_assert(std::is_standard_layout_v<DocNode> && offsetof(DocNode, count) == 0,
              "a node's handles find its count at the node's address");
// A printed term has a few nodes per subterm, and a layout a text per candidate of each.
static_assert(sizeof(void*) != 8 || (sizeof(DocNode) <= 80 && sizeof(DocNode::Many) <= 64 && sizeof(TextTree) <= 24),
              "the nodes and texts of large documents stay small");
// The largest width a node keeps as its lineLow: it stands for any larger one, and for none.
inline constexpr LayoutInt kNoLine = std::numeric_limits<std::int32_t>::max();

// One place of a template filled with its parameters: one of its parts where the template puts
// it (a part of both arrangements of a choice twice, each template of a filling once), followed
// by the places of its own parts.  Indices count from the template's first place.
struct PlaceShape {
    static constexpr std::int32_t kNoArg = std::numeric_limits<std::int32_t>::max();
    const ParNode* p;
    std::uint32_t parent;  // the place itself, for the first
    std::uint32_t end;     // the places of its parts follow it, up to here
    // Hole, First, Second: the place of the inner template it takes (of a filling), ~i for parameter i, or kNoArg.
    std::int32_t from;
    bool outside;  // in the outer template of a filling with the wrong count: never laid out
};

struct ParNode {
    // HvSp stands for the joined choice of hvSpList over `params` holes, laid out in loops rather than built from three
    // nodes per item; it is only ever filled with documents (see hvSpApplyNode), never part of another template.
    enum class Kind { Hole, First, Second, Lift, Filter, Beside, Above, Join, Indent, Choice, Subst, HvSp };
    Kind kind = Kind::Hole;
    LayoutInt params = 0;
    LayoutInt amount = 0;  // Indent
    DocNodeRef doc;        // Lift
    std::vector<ParNodeRef> parts;
    // The template's places, made with the node; none for a long one, whose places are made when they are needed.
    std::vector<PlaceShape> places;
    // Whether a document lifted into it has sizes that depend on the bound (see DocNode::boundSizes).
    bool boundSizes = false;

    ParNode() = default;
    ParNode(const ParNode&) = delete;
    ParNode& operator=(const ParNode&) = delete;
    ~ParNode();
};

// The node of each kind; sizes are computed at once from the parts'.
DocNodeRef textNode(std::string text);
DocNodeRef emptyNode();
DocNodeRef besideNode(DocNodeRef l, DocNodeRef r);
// The node of a one-character text, made once.
const DocNodeRef& charNode(char c);
// besideNode(charNode(open), besideNode(d, charNode(close))) and besideNode(a, besideNode(charNode(' '), b)), at once.
DocNodeRef enclosedNode(char open, DocNodeRef d, char close);
DocNodeRef spacedNode(DocNodeRef a, DocNodeRef b);
// The node of spacedListDoc (layout/combinators.h), built in one go: the list's facts flow through the compositions
// around it without a call between them.
DocNodeRef spacedListNode(Doc* head, std::span<Doc> items, bool parens);
DocNodeRef aboveNode(DocNodeRef u, DocNodeRef d);
DocNodeRef joinNode(DocNodeRef d);
DocNodeRef filterNode(DocNodeRef d);
DocNodeRef indentNode(LayoutInt n, DocNodeRef d);
DocNodeRef dupNode(DocNodeRef x, DocNodeRef y);
DocNodeRef applyNode(ParNodeRef p, NodeParts args);
DocNodeRef aboveListNode(NodeParts items);
// The items filled side by side while they fit in the line bound (toBound) or in `width`, each laid out at that width.
DocNodeRef fillNode(bool toBound, LayoutInt width, NodeParts items);
DocNodeRef zeroSizeNode(DocNodeRef d);
// The items stacked, each centred under the widest, where an item's width depends on the bound (else: indented items).
DocNodeRef centredNode(NodeParts items);
// applyNode of a list of hvSpList (`layout`, an HvSp template, a parameter per item) to the nodes taken out of items.
DocNodeRef hvSpApplyNode(const ParNodeRef& layout, std::span<Doc> items);
// hvSpList's node (items not empty): the template as one node, laid out in loops, filled with the items' nodes.
DocNodeRef hvSpListNode(std::span<Doc> items);

ParNodeRef holeNode(ParNode::Kind kind);  // Hole, First or Second
ParNodeRef liftNode(DocNodeRef d);
ParNodeRef parUnaryNode(ParNode::Kind kind, ParNodeRef p, LayoutInt amount = 0);  // Filter, Join, Indent
ParNodeRef parBinaryNode(ParNode::Kind kind, ParNodeRef l, ParNodeRef r);         // Beside, Above, Choice
ParNodeRef substNode(ParNodeRef outer, std::vector<ParNodeRef> inners);

// The joined choice of hvSpList for `length` (> 0) items, as nodes alone.
ParNodeRef hvSpNode(std::size_t length);

// --- sizes and bounds -------------------------------------------------------------------------

// A part without lines adds none to the height of a side-by-side composition.
inline Sizes besideSizes(const Sizes& a, const Sizes& c) {
    const LayoutInt shared = a.height != 0 && c.height != 0 ? 1 : 0;
    return Sizes{a.height + c.height - shared, a.lastWidth + c.lastWidth, std::max(a.width, a.lastWidth + c.width)};
}
inline Sizes aboveSizes(const Sizes& u, const Sizes& d) {
    return Sizes{u.height + d.height, d.lastWidth, std::max(u.width, d.width)};
}
inline Sizes choiceSizes(const Sizes& a, const Sizes& b) {
    return Sizes{std::max(a.height, b.height), std::min(a.lastWidth, b.lastWidth), std::min(a.width, b.width)};
}
inline Sizes indentSizes(const Sizes& s, LayoutInt n) { return Sizes{s.height, s.lastWidth + n, s.width + n}; }

// Every candidate of the node at the bound from column 0, each followed by two line feeds (a pair: the pair error).
void writeAllCandidates(std::string& out, const DocNodeRef& d, LayoutInt lineBound);

// renderStackTo of the parts' nodes (null: not a node), part by part (see renderStackParts);
// false, nothing written or counted, where the stack cannot be rendered so.
bool renderMadeStack(std::string& out, std::size_t count, const std::function<DocNodeRef(std::size_t)>& partAt,
                     LayoutInt lineBound);

// The node's first candidate at the bounds written to `out` (the render of a node).
void renderNode(std::string& out, const DocNodeRef& d, LayoutInt lineBound);

}  // namespace plim::pretty_detail
