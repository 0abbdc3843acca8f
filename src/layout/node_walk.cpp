// The node engine's layout walk and the render of a node.
#include "layout/nodes_internal.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/work_room.h"

namespace plim::pretty_detail {
namespace {

// The result set, in place, to a single list with the given sizes and flag.
inline void setSingle(NodeResult& out, const Sizes& sizes, bool tooWide, const CandidateList& cs) {
    out.reply.pair = false;
    out.reply.first = cs;
    out.reply.second = CandidateList{};
    out.reply.firstTooWide = false;
    out.reply.secondTooWide = false;
    out.tooWide = tooWide;
    out.whole = false;  // as far as a frame asking for the first alone knows
    out.firstShortest = cs.size() == 1;  // the only candidate
    out.sizes = sizes;
}

// A text that does not fit (one that fits is plain, see layOut): the marker of its width.
[[gnu::noinline]] void textResult(const DocNode& d, NodeResult& out) {
    countText();
    setSingle(out, d.sizes, true, markerCandidates(d.sizes.width));
}

// A plain node that fits: its one layout, as the node's texts and compositions would give it.
inline void plainResult(const DocNode& d, NodeResult& out) {
    countText(d.plainTexts);
    const TextTree* t = currentArena->make(TextTree::Kind::Plain, 0, nullptr, nullptr, nullptr, &d);
    setSingle(out, d.sizes, false, CandidateList::one(Candidate{d.sizes.height, d.sizes.lastWidth, d.sizes.width, t}));
}

// A composition laid out below zero, where it is known (see DocNode::below): what its parts' layouts and its own would
// give, with their counts (which never pass the budget), its text written from the node.
[[gnu::noinline]] void belowResult(const DocNode& d, NodeResult& out) {
    budget.used += d.below.candidates;
    countText(d.below.texts);
    CandidateList cs;
    if (d.below.candidate) {
        const LayoutInt width = d.below.width;
        const TextTree* t = currentArena->make(TextTree::Kind::Below, 0, nullptr, nullptr, nullptr, &d);
        cs = CandidateList::one(Candidate{1, width, width, t});
    }
    setSingle(out, d.sizes, d.below.tooWide, cs);
}

// Whether the node's layout at a bound below its BelowZero::upTo is the one known below zero, text and all: a
// composition below zero, where every text is too wide, or a list of hvSpList at any such bound (its marker).
inline bool knownAtOnce(const DocNode& d, LayoutInt line) {
    if (!d.below.known) return false;
    return d.kind == DocNode::Kind::Apply || (line < 0 && d.kind == DocNode::Kind::Beside);
}

// layOutAtOnce for any other node: one known below zero, one whose line the shortcut finds, a text, empty or an error.
inline bool layOutOtherAtOnce(const DocNode& d, LayoutInt line, std::size_t need, CandidateMark& mark, NodeResult& out) {
    if (line < d.below.upTo && knownAtOnce(d, line)) {
        belowResult(d, out);
        return true;
    }
    mark = candidateMark();
    if (need == 1 && d.lineLow <= line && flatLayout(d, line, out)) return true;
    switch (d.kind) {
    case DocNode::Kind::Text: textResult(d, out); break;
    case DocNode::Kind::Empty: out = NodeResult{}; break;
    case DocNode::Kind::Error: out = errorResult(std::string(d.text())); break;
    default: return false;
    }
    compactTo(out, mark);
    return true;
}

// The room of the comparisons of widths with the bound that layOutAtOnce makes, kept (see BoundRoom).
[[gnu::noinline]] void keepRoomAtOnce(const DocNode& d, LayoutInt line, std::size_t need) {
    if (need != kAll) return;
    if (d.plainTexts != 0) {
        const bool fits = d.sizes.width <= line;
        keepRoom(d.sizes.width, line, fits);
        if (fits) return;
    }
    if (!d.below.known) return;
    const bool below = line < d.below.upTo;
    keepRoom(d.below.upTo, line, !below);
    if (below && d.kind == DocNode::Kind::Beside) keepRoom(0, line, line >= 0);
}

// The layout of a node that needs none of its parts' layouts (a plain node that fits, the most common part, without a
// call; the others in layOutOtherAtOnce), never whole (see NodeResult::whole); false, with the mark where its
// candidates begin, for any other node.  Its room kept where asked for all: a layout asked for its first alone keeps
// none, as every layout around it is asked for its first alone too, and none of those is remembered but at its bound.
inline bool layOutAtOnce(const DocNode& d, LayoutInt line, std::size_t need, CandidateMark& mark, NodeResult& out) {
    if (boundTracking) [[unlikely]]
        keepRoomAtOnce(d, line, need);
    if (d.plainTexts != 0 && d.sizes.width <= line) {
        plainResult(d, out);
        return true;
    }
    return layOutOtherAtOnce(d, line, need, mark, out);
}

// --- the layout walk -------------------------------------------------------------------------
//
// A node whose layout needs its parts' layouts is a frame on the walk's own stack (see layout/document.h): it asks for
// its parts' layouts one at a time, in the order of the rules, and is resumed with each result; it ends with its own.

// No slot of the walk's arguments: a result goes to the walk's current result.
inline constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

// A part's layout asked for by a frame, and where it goes: the walk's current result, or (a template's argument or
// place) its slot in the walk's arguments, which a layout made at once is written into in place.
struct PartRequest {
    const DocNode* d = nullptr;
    LayoutInt line = 0;
    std::size_t need = kAll;
    std::size_t slot = kNoSlot;
    bool framed = false;  // found to need a frame of its own (see laidOutHere)
};

// The part's layout made in place where it needs no frame (see layOutAtOnce) or is remembered, so that a frame goes on
// to its next part without a turn of the walk; otherwise false, the request marked as needing a frame.
[[gnu::always_inline]] inline bool laidOutHere(PartRequest& req, NodeResult& out) {
    CandidateMark mark;
    if (layOutAtOnce(*req.d, req.line, req.need, mark, out)) return true;
    if (recallLayout(*req.d, req.line, out)) {
        out.whole = true;  // a remembered layout has every candidate, whatever was asked for
        out.firstShortest = false;
        return true;
    }
    req.framed = true;
    return false;
}

// A part a frame lays out, at its bound.
struct FramePart {
    const DocNode* doc = nullptr;
    LayoutInt line = 0;
};

// The lists of one walk's frames, kept apart so that a frame stays small: each frame's parts with their bounds, the
// arguments of a template being filled and its places' layouts.  A frame's lists are on top while it runs.
struct FrameLists {
    std::vector<FramePart> parts;
    std::vector<NodeResult> args;
    TemplatePlaces places;
};

// Whether a part's layout, asked for its first candidate alone, is kept whole: where it has them all and its first is
// taller than a line, as a chain around it needs every candidate of that height (see firstOnlyOf), and the chains
// around it stay whole rather than each lay its part out again.
bool keptWhole(const NodeResult& r) {
    const auto tall = [](const CandidateList& cs) { return !cs.empty() && cs.front().height > 1; };
    return r.whole && (tall(r.reply.first) || (r.reply.pair && tall(r.reply.second)));
}

// Each list of the layout left with its first candidate alone.
void keepFirstAlone(NodeResult& r) {
    r.reply.first.resize(std::min<std::size_t>(r.reply.first.size(), 1));
    if (r.reply.pair) r.reply.second.resize(std::min<std::size_t>(r.reply.second.size(), 1));
}

// The one part of a frame asked for its first candidate alone (see firstOnlyOf, hvSpAsksFirst), as it came: the
// frame's layout from that candidate, where it is not the frame's, is made again from all of the part's (where the part
// made them all) or with the part asked again for all.  The frame's layout from the part is made at once: no other
// part it waits for is laid out in a frame of its own.
struct FirstOnly {
    NodeResult full;     // its layout as it came
    BudgetMark counts;   // the budget's counts when it came
    bool had[2] = {false, false};  // whether its lists had a candidate
    bool tall = false;   // and whether one of those was taller than a line
    bool shortest = false;  // a single list whose first has fewer lines than the rest (see NodeResult::firstShortest)

    // Keeps the part's layout as it came and leaves it with the first candidate of each list alone.
    explicit FirstOnly(NodeResult& r) : full(r), counts(budgetMark()), shortest(r.firstShortest && !r.reply.pair) {
        const auto note = [this](const CandidateList& cs, bool& some) {
            some = !cs.empty();
            tall = tall || (some && cs.front().height > 1);
        };
        note(r.reply.first, had[0]);
        if (r.reply.pair) note(r.reply.second, had[1]);
        keepFirstAlone(r);
    }
    // The part's layout as it came, where it has them all, with the budget's counts as they were when it came.
    bool restoreWhole(NodeResult& r) const {
        if (!full.whole) return false;
        r = full;
        budget.used = counts.used;
        budget.allowed = counts.allowed;
        return true;
    }
};

struct Frame {
    const DocNode* d = nullptr;
    LayoutInt line = 0;
    std::size_t need = kAll;
    BudgetMark counts;               // the budget's counts before the node's layout
    CandidateMark mark;              // where the node's candidates begin
    int stage = 0;              // what the last request was for
    std::size_t next = 0;       // the part being laid out
    CandidateMark partsMark;         // where the candidates of a chain's result begin
    NodeResult acc;             // the result so far; Dup: the first side
    std::size_t partsAt = 0;    // where its parts begin in the walk's lists
    std::size_t argsAt = 0;     // Apply: where its arguments so far begin
    std::size_t placesAt = 0;   // Apply: where its template's places begin
    std::size_t slot = kNoSlot;  // where its result goes (see PartRequest)
    std::size_t firstOnly = kNoSlot;  // Beside, Apply: the part asked for its first candidate alone (see FirstOnly);
                                      // Apply, before it is asked for: the one that may be
    bool partial = false;              // the result is its first candidate alone (see NodeResult::whole)
    bool endShortest = false;          // Beside: that of its last part, which has fewer lines than the rest
    FrameLists* lists = nullptr;

    void start(const PartRequest& req, CandidateMark m, FrameLists& l) {
        d = req.d;
        line = req.line;
        need = req.need;
        slot = req.slot;
        firstOnly = kNoSlot;
        partial = false;
        endShortest = false;
        counts = budgetMark();
        mark = m;
        stage = 0;
        next = 0;
        lists = &l;
        partsAt = l.parts.size();
        argsAt = l.args.size();
        placesAt = l.places.size();
    }
    // Whether its layout may be remembered at bounds around its own (see BoundRoom): made once before (see
    // rememberLayout) and asked for all its candidates (a layout made for the first alone is remembered at its own
    // bound, as is one whose sizes follow the bound, see keepLayout).
    bool mayBeRemembered() const { return d->memo.laidOut() && need == kAll; }
    void end() const {
        lists->parts.resize(partsAt);
        lists->args.resize(argsAt);
        lists->places.dropFrom(placesAt);
    }
    void addPart(const DocNode* part, LayoutInt bound) { lists->parts.push_back(FramePart{part, bound}); }
    std::size_t partCount() const { return lists->parts.size() - partsAt; }
    const FramePart& part(std::size_t i) const { return lists->parts[partsAt + i]; }
    std::size_t argCount() const { return lists->args.size() - argsAt; }
    NodeResult* args() const { return lists->args.data() + argsAt; }
    // Asks for all of a part's candidates where its first do not serve: that request undone, its candidates freed.
    void askAgainForAll(PartRequest& req, const DocNode* part, LayoutInt bound) const {
        rewind();
        req = PartRequest{part, bound, kAll};
    }
    // Its layout begun again: the counts and candidates since its start undone.
    void rewind() const {
        budget.used = counts.used;
        budget.allowed = counts.allowed;
        currentArena->candidateRewind(mark);
    }
    // Asks for the part at `next`, or ends with the result so far once none is left.
    bool nextPart(NodeResult& ret, PartRequest& req, std::size_t partNeed) {
        if (next == 0) {
            ret = std::move(acc);
            return false;
        }
        --next;
        const FramePart& p = part(next);
        req = PartRequest{p.doc, p.line, partNeed};
        return true;
    }
};

// A chain of side-by-side compositions whose parts are laid out from the left: each left part into its slot at the
// bound the layouts before it leave, the last part into the result, then the products from the right.
bool besideInOrder(Frame& f, NodeResult& ret, PartRequest& req) {
    const std::size_t lefts = f.partCount() - 1;
    const std::size_t done = f.argCount();
    if (f.stage == 3 && done <= lefts) {
        if (done > 0) {
            const LayoutInt bound = f.part(done - 1).line - f.args()[done - 1].sizes.lastWidth;
            f.lists->parts[f.partsAt + done].line = bound;
        }
        if (done < lefts) {
            f.lists->args.emplace_back();
            req = PartRequest{f.part(done).doc, f.part(done).line, kAll, f.argsAt + done};
            return true;
        }
        f.stage = 4;
        req = PartRequest{f.part(lefts).doc, f.part(lefts).line, kAll};
        return true;
    }
    NodeResult acc = std::move(ret);
    const CandidateMark mark = candidateMark();
    for (std::size_t i = lefts; i-- > 0;) {
        acc = besideResult(f.args()[i], acc, f.part(i).line);
        compactTo(acc, mark);
    }
    ret = std::move(acc);
    return false;
}

// With plain left parts that fit (one candidate each): whether the first candidates of the last part's layout `r` stay
// first in the chain's products, each product within the chain's bound there (unbounded where `r` is too wide).
bool firstProductsFit(const Frame& f, const NodeResult& r) {
    if (r.tooWide || r.sizes.height == 0) return true;
    const auto fits = [&](const CandidateList& cs) {
        if (cs.empty()) return true;
        LayoutInt width = cs.front().width;
        for (std::size_t i = f.partCount(); i-- > 0;) {
            const Sizes& left = f.part(i).doc->sizes;
            if (left.height == 0) continue;
            width = std::max(left.width, left.lastWidth + width);
            if (width > f.part(i).line) return false;
        }
        return true;
    };
    return fits(r.reply.first) && (!r.reply.pair || fits(r.reply.second));
}

// The last part of a chain of side-by-side compositions nested to the right.
const DocNode* chainEnd(const DocNode& d) {
    const DocNode* at = &d;
    while (at->kind == DocNode::Kind::Beside) at = at->right.get();
    return at;
}

// The part of a chain of side-by-side compositions (its parts and their bounds listed, `end` the last at `endBound`)
// that is asked for its first candidate alone where only the first is needed: the one part that is not plain and
// within its bound, the others having one candidate each.  Its products with them keep its first candidate first where
// that candidate is one line (a taller one's product with a part after it may be wider than a later one's); besideKept
// checks that they keep it at all.  None (kNoSlot) where the chain has no such part.
std::size_t firstOnlyOf(const Frame& f, const DocNode* end, LayoutInt endBound) {
    if (f.need != 1 || end->plainTexts == 0 || end->sizes.width > endBound) return kNoSlot;
    std::size_t at = kNoSlot;
    for (std::size_t i = 0; i < f.partCount(); ++i) {
        const FramePart& p = f.part(i);
        if (p.doc->plainTexts != 0 && p.doc->sizes.width <= p.line) continue;
        if (at != kNoSlot) return kNoSlot;
        at = i;
    }
    return at;
}

// The products of the chain's first-only part's layout `r` (part m) with those of the parts after it, `after`, and
// then with the plain parts before it, laid out at once.
NodeResult besideProducts(const Frame& f, std::size_t m, const NodeResult& r, const NodeResult& after) {
    NodeResult acc = besideResult(r, after, f.part(m).line);
    for (std::size_t i = m; i-- > 0;) acc = besideResult(layOut(*f.part(i).doc, f.part(i).line), acc, f.part(i).line);
    return acc;
}

// The chain's layout from its first-only part's, `ret`: from its first candidate alone where the products keep it in
// each list that had one and it is one line; else from all of the part's where it made them all; else false, the
// chain to be laid out again with the part asked for all.
bool besideFromFirst(Frame& f, NodeResult& ret) {
    const std::size_t m = f.firstOnly;
    const FirstOnly o(ret);
    NodeResult acc = besideProducts(f, m, ret, f.acc);
    if ((!o.tall || o.shortest) && (!o.had[0] || !acc.reply.first.empty()) &&
        (!o.had[1] || (acc.reply.pair && !acc.reply.second.empty()))) {
        f.partial = true;
        acc.firstShortest = o.shortest;  // each product as many lines more than its candidate as the others'
        ret = std::move(acc);
        return true;
    }
    NodeResult whole;
    if (!o.restoreWhole(whole)) return false;
    ret = besideProducts(f, m, whole, f.acc);
    return true;
}

// The chain's result, its products all made: where its last part's first came alone after plain parts, with fewer
// lines than its others, so has the chain's first (each product as many lines more than its candidate as the others').
inline bool endChain(const Frame& f, NodeResult& ret) {
    ret.firstShortest = f.endShortest;  // set only where the chain's result is its first candidate alone
    return false;
}

// The products of a chain with a first-only part (see firstOnlyOf), from the right, each part after it asked for all,
// the part itself for its first candidate alone; `start`: none asked for yet.  Out of line: few chains have one.
[[gnu::noinline]] bool besideAroundFirstOnly(Frame& f, NodeResult& ret, PartRequest& req, bool start) {
    const auto partNeed = [&f] { return f.next == f.firstOnly + 1 ? 1 : kAll; };
    if (start) {
        if (!f.nextPart(ret, req, partNeed())) return endChain(f, ret);
        if (!laidOutHere(req, ret)) return true;
    }
    for (;;) {
        if (f.next == f.firstOnly) {
            if (besideFromFirst(f, ret)) return false;
            f.firstOnly = kNoSlot;
            f.stage = 1;
            const FramePart& left = f.part(f.partCount() - 1);
            f.askAgainForAll(req, chainEnd(*f.d), left.line - left.doc->sizes.lastWidth);
            return true;
        }
        // The products after the first-only part stay where they are, for its products again (see besideFromFirst).
        f.acc = besideResult(ret, f.acc, f.part(f.next).line);
        if (!f.nextPart(ret, req, partNeed())) return endChain(f, ret);
        if (!laidOutHere(req, ret)) return true;
    }
}

// Where a chain's step goes on: to its products from the right (stage 2, `ret` the part at `next`), or it ends the step
// with a request (Ask) or the chain's result (Done).
enum class ChainStep { Products, Ask, Done };

// The stages of a chain before its products from the right (see besideStep).
[[gnu::always_inline]] inline ChainStep besideBegin(Frame& f, NodeResult& ret, PartRequest& req) {
    if (f.stage == 0) {
        const DocNode* at = f.d;
        LayoutInt bound = f.line;
        bool inOrder = false;
        bool first = f.need != kAll;
        for (; at->kind == DocNode::Kind::Beside; at = at->right.get()) {
            f.addPart(at->left.get(), bound);
            inOrder = inOrder || at->left->boundSizes;
            first = first && at->left->plainTexts != 0 && at->left->sizes.width <= bound;
            bound -= at->left->sizes.lastWidth;
        }
        if (inOrder) {
            f.addPart(at, bound);
            f.stage = 3;
            return besideInOrder(f, ret, req) ? ChainStep::Ask : ChainStep::Done;
        }
        if (!first) f.firstOnly = firstOnlyOf(f, at, bound);
        f.stage = first ? 5 : 1;
        req = PartRequest{at, bound, first ? f.need : kAll};
        return ChainStep::Ask;
    }
    if (f.stage == 5 && !keptWhole(ret)) {
        if (firstProductsFit(f, ret)) {
            f.endShortest = ret.firstShortest && !ret.reply.pair;
            keepFirstAlone(ret);
            f.partial = true;
        } else if (!ret.whole) {
            f.stage = 1;
            const FramePart& left = f.part(f.partCount() - 1);
            f.askAgainForAll(req, chainEnd(*f.d), left.line - left.doc->sizes.lastWidth);
            return ChainStep::Ask;
        }
    }
    if (f.stage >= 3 && f.stage < 5) return besideInOrder(f, ret, req) ? ChainStep::Ask : ChainStep::Done;
    if (f.stage == 1 || f.stage == 5) {
        f.acc = std::move(ret);
        f.partsMark = candidateMark();
        f.next = f.partCount();
        if (f.firstOnly != kNoSlot) {
            f.stage = 6;
            return besideAroundFirstOnly(f, ret, req, true) ? ChainStep::Ask : ChainStep::Done;
        }
        f.stage = 2;
        if (!f.nextPart(ret, req, kAll)) {
            endChain(f, ret);
            return ChainStep::Done;
        }
        if (!laidOutHere(req, ret)) return ChainStep::Ask;
        return ChainStep::Products;
    }
    return besideAroundFirstOnly(f, ret, req, false) ? ChainStep::Ask : ChainStep::Done;  // stage 6
}

// A chain of side-by-side compositions nested to the right: the last part first, then each left part from the right,
// at the chain's bound there; in order (besideInOrder) where a left part's sizes depend on its bound, so that each
// bound comes from the layouts before it.  Plain left parts pass a need of the first few candidates on to the last
// part, asked again for all where those do not fit (see firstProductsFit); plain parts around one other pass it on to
// that one (see firstOnlyOf).  Inlined into the walk: as a call, with the registers it saved, it cost more than the
// work of most chains, a part or two.
[[gnu::always_inline]] inline bool besideStep(Frame& f, NodeResult& ret, PartRequest& req) {
    if (f.stage != 2) {  // the common resumption, each product, first
        const ChainStep step = besideBegin(f, ret, req);
        if (step != ChainStep::Products) return step == ChainStep::Ask;
    }
    for (;;) {
        f.acc = besideResult(ret, f.acc, f.part(f.next).line);
        compactTo(f.acc, f.partsMark);
        if (!f.nextPart(ret, req, kAll)) return endChain(f, ret);
        if (!laidOutHere(req, ret)) return true;
    }
}

// A chain of stacked compositions nested downwards or a stack of documents (above the empty document), from the bottom.
bool stackStep(Frame& f, NodeResult& ret, PartRequest& req) {
    if (f.stage == 0 && f.d->kind == DocNode::Kind::AboveList) {
        for (const DocNodeRef& item : f.d->many->parts) f.addPart(item.get(), f.line);
        f.acc = NodeResult{};
        f.partsMark = candidateMark();
        f.next = f.partCount();
    } else if (f.stage == 0) {
        const DocNode* at = f.d;
        for (; at->kind == DocNode::Kind::Above; at = at->right.get()) f.addPart(at->left.get(), f.line);
        f.stage = 1;
        req = PartRequest{at, f.line, f.need};
        return true;
    } else if (f.stage == 1) {
        f.acc = std::move(ret);
        f.partsMark = candidateMark();
        f.next = f.partCount();
    } else {
        f.acc = aboveResult(ret, f.acc, f.need);
        compactTo(f.acc, f.partsMark);
    }
    f.stage = 2;
    while (f.nextPart(ret, req, f.need)) {
        if (!laidOutHere(req, ret)) return true;
        f.acc = aboveResult(ret, f.acc, f.need);
        compactTo(f.acc, f.partsMark);
    }
    return false;
}

// A join, a filter, an indentation or a zero size of one part, which it asks for every candidate.
bool unaryStep(Frame& f, NodeResult& ret, PartRequest& req) {
    const DocNode& d = *f.d;
    if (f.stage == 0) {
        f.stage = 1;
        const LayoutInt line = d.kind == DocNode::Kind::ZeroSize ? kUnboundedWidth
                               : d.kind == DocNode::Kind::Indent ? f.line - d.amount
                                                                 : f.line;
        req = PartRequest{d.left.get(), line, kAll};
        return true;
    }
    if (d.kind == DocNode::Kind::Join) ret = joinResult(std::move(ret));
    else if (d.kind == DocNode::Kind::Filter) ret = filterResult(std::move(ret));
    else if (d.kind == DocNode::Kind::ZeroSize) ret = zeroSizeResult(std::move(ret));
    else ret = indentResult(d.amount, ret, f.line);
    return false;
}

// A fill: its items from the first, each at the fill width, into the result so far (fillResult).
bool fillStep(Frame& f, NodeResult& ret, PartRequest& req) {
    const DocNode::Many& m = *f.d->many;
    const LayoutInt width = m.fillToBound ? f.line : m.fillWidth;
    if (f.stage == 0) {
        f.acc = NodeResult{};
        f.partsMark = candidateMark();
        f.stage = 1;
    } else {
        fillResult(f.acc, ret, width);
        compactTo(f.acc, f.partsMark);
    }
    if (f.next < m.parts.size()) {
        req = PartRequest{m.parts[f.next++].get(), width, kAll};
        return true;
    }
    ret = m.fillToBound ? std::move(f.acc) : fillBlockResult(std::move(f.acc), m.fillWidth, f.line);
    return false;
}

// A centred column whose items' widths depend on the bound: each item laid out at the bound for its width, into a slot;
// then each indented by half of what it lacks of the widest, below the items before it (as centredAboveList does).
bool centredStep(Frame& f, NodeResult& ret, PartRequest& req) {
    const NodeParts& items = f.d->many->parts;
    if (f.stage == 0) {
        const std::size_t i = f.argCount();
        if (i < items.size()) {
            f.lists->args.emplace_back();
            req = PartRequest{items[i].get(), f.line, kAll, f.argsAt + i};
            return true;
        }
        LayoutInt widest = 0;
        for (std::size_t k = 0; k < items.size(); ++k) widest = std::max(widest, f.args()[k].sizes.width);
        for (std::size_t k = 0; k < items.size(); ++k) f.addPart(items[k].get(), f.line - (widest - f.args()[k].sizes.width) / 2);
        f.lists->args.resize(f.argsAt);
        f.acc = NodeResult{};
        f.partsMark = candidateMark();
        f.stage = 1;
    } else {
        const LayoutInt indent = f.line - f.part(f.next).line;
        f.acc = aboveResult(f.acc, indentResult(indent, ret, f.line), kAll);
        compactTo(f.acc, f.partsMark);
        ++f.next;
    }
    if (f.next < f.partCount()) {
        req = PartRequest{f.part(f.next).doc, f.part(f.next).line, kAll};
        return true;
    }
    ret = std::move(f.acc);
    return false;
}

// The two documents' layouts as a pair.
bool dupStep(Frame& f, NodeResult& ret, PartRequest& req) {
    const DocNode& d = *f.d;
    if (f.stage < 2) {
        if (f.stage == 1) f.acc = std::move(ret);
        req = PartRequest{(f.stage == 0 ? d.left : d.right).get(), f.line, f.need};
        ++f.stage;
        return true;
    }
    const NodeResult& x = f.acc;
    const NodeResult& y = ret;
    NodeResult out;
    out.sizes = d.boundSizes ? choiceSizes(x.sizes, y.sizes) : d.sizes;
    out.tooWide = x.tooWide && y.tooWide;
    if (!x.tooWide || !y.tooWide)
        out.reply = NodeReply{true, alternative(x.reply), alternative(y.reply), x.tooWide, y.tooWide};
    else
        out.reply = single(markerCandidates(out.sizes.width));
    ret = std::move(out);
    return false;
}

// The arguments of a template as the parts of its frame, each at the bound of its place (a part past the template's
// parameters at the whole bound).  The bounds are those of the arguments' sizes; where the first `done` are laid out,
// of their layouts' sizes, and only the later arguments' bounds are set again (see applyStep).
void setArgumentBounds(Frame& f, const ParNode& layout, const NodeParts& parts, std::size_t done) {
    const auto sizesAt = [&](std::size_t i) { return i < done ? f.args()[i].sizes : parts[i]->sizes; };
    if (done == 0) f.lists->parts.resize(f.partsAt + parts.size());
    const auto set = [&](std::size_t i, LayoutInt bound) { f.lists->parts[f.partsAt + i] = FramePart{parts[i].get(), bound}; };
    if (layout.kind == ParNode::Kind::HvSp) {
        // Without places: the larger of the whole bound and the line's at the item (as layOutHvSpList sets it), which is
        // never larger but where a negative indentation made it so.
        LayoutInt at = f.line;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (i >= done) set(i, std::max(at, f.line));
            at -= sizesAt(i).lastWidth + 1;
        }
        return;
    }
    SmallVec<Sizes, 4> sizes;
    sizes.reserve(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) sizes.push_back(sizesAt(i));
    if (done == 0) f.lists->places.add(layout);
    Bounds bounds;
    f.lists->places.measure(f.placesAt, sizes.data(), f.line, bounds);
    for (std::size_t i = done; i < parts.size(); ++i) set(i, i < bounds.size() ? bounds[i] : f.line);
}

// Whether the last item of a list of hvSpList, item i, is asked for its first candidate alone, where only the list's
// first is needed (as applyStep decides once, from the template's kind): where no item before it is a pair, the list's
// first candidate is made from the last item's, however many candidates the items before it have (its stack's first
// has their firsts above it; its line's first has it where the line keeps it, see hvSpFromFirst).
inline bool hvSpAsksFirst(const Frame& f, std::size_t i) {
    for (std::size_t k = 0; k < i; ++k)
        if (f.args()[k].reply.pair) return false;
    return true;
}

// Whether the first candidate of a list of hvSpList, made from its last item's first alone (which has fewer lines than
// the item's others), has fewer lines than the list's others: where it is the line's, as many lines as the item's
// first, and the items before the last are one candidate each, with lines, so that every other line has as many as
// one of the item's others and every stack more.
bool hvSpLineFirstShortest(Args items, const NodeResult& list) {
    const CandidateList& last = items.items[items.count - 1].reply.first;
    if (list.reply.pair || list.reply.first.empty() || last.empty() || list.reply.first.front().height != last.front().height)
        return false;
    for (std::size_t i = 0; i + 1 < items.count; ++i) {
        const NodeResult& x = items.items[i];
        if (x.reply.pair || x.reply.first.size() != 1 || x.reply.first.front().height < 1) return false;
    }
    return true;
}

// The layout of a list of hvSpList from its items', the last one's first candidate alone where it was asked for that:
// then only the list's first candidate, as where the line keeps it; false where the line drops it, or the item is a
// pair of lists.  Out of line: few lists are asked for their first alone.
[[gnu::noinline]] bool hvSpFromFirstOnly(Frame& f, NodeResult& ret) {
    const Args items{f.args(), f.argCount()};
    NodeResult& last = f.args()[items.count - 1];
    f.firstOnly = kNoSlot;
    if (keptWhole(last)) {
        ret = layOutHvSpList(items, f.line);
        return true;
    }
    const FirstOnly o(last);
    bool dropped = false;
    if (!last.reply.pair) {
        ret = layOutHvSpList(items, f.line, &dropped);
        if (!dropped) {
            keepFirstAlone(ret);
            f.partial = true;
            ret.firstShortest = o.shortest && hvSpLineFirstShortest(items, ret);
            return true;
        }
    }
    if (!o.restoreWhole(last)) return false;
    ret = layOutHvSpList(items, f.line);
    return true;
}
// The layout of a list of hvSpList from its items' (see hvSpFromFirstOnly); false where it is to be made again with
// its last item asked for all.
inline bool hvSpFromFirst(Frame& f, NodeResult& ret) {
    if (f.firstOnly != kNoSlot) return hvSpFromFirstOnly(f, ret);
    ret = layOutHvSpList(Args{f.args(), f.argCount()}, f.line);
    return true;
}

// The list's arguments to be laid out again, each asked for all, where its last item's first candidate did not make
// the list's (see hvSpFromFirst).
[[gnu::noinline]] void askArgumentsAgainForAll(Frame& f) {
    f.rewind();
    f.lists->args.resize(f.argsAt);
    f.need = kAll;
}

// A template filled with documents: each argument at the bound of its place, from the first, into its slot; then its
// places from the last, each into a slot after the arguments (see TemplatePlaces), a lifted document as a node.
// Inlined into the walk, as besideStep is: as a call it cost more than the work of a small template.
[[gnu::always_inline]] inline bool applyStep(Frame& f, NodeResult& ret, PartRequest& req) {
    const NodeParts& parts = f.d->many->parts;
    const ParNode& layout = *f.d->many->layout;
    if (f.stage == 0) {
        setArgumentBounds(f, layout, parts, 0);
        // The last item of a list of hvSpList may be asked for its first alone (see hvSpAsksFirst).
        if (layout.kind == ParNode::Kind::HvSp && f.need == 1) f.firstOnly = parts.size() - 1;
        f.stage = 1;
    }
    if (f.stage == 1) {
        for (;;) {
            for (std::size_t i = f.argCount(); i < parts.size(); i = f.argCount()) {  // the arguments laid out
                if (i > 0 && parts[i - 1]->boundSizes) setArgumentBounds(f, layout, parts, i);
                const bool first = i == f.firstOnly && hvSpAsksFirst(f, i);
                if (i == f.firstOnly && !first) f.firstOnly = kNoSlot;
                req = PartRequest{f.part(i).doc, f.part(i).line, first ? 1 : kAll, f.argsAt + i};
                if (!laidOutHere(req, f.lists->args.emplace_back())) return true;
            }
            if (layout.kind != ParNode::Kind::HvSp) break;
            if (hvSpFromFirst(f, ret)) return false;
            // The last item's first candidate does not make the list's: all of it again, every item in full.
            askArgumentsAgainForAll(f);
        }
        // The places' bounds again from the last argument's layout, where its sizes follow the bound: the earlier
        // arguments' were measured above, and lifted documents by their nodes.
        if (!parts.empty() && parts[parts.size() - 1]->boundSizes) setArgumentBounds(f, layout, parts, parts.size());
        f.lists->args.resize(f.argsAt + parts.size() + (f.lists->places.size() - f.placesAt));
        f.next = f.lists->places.size();
        f.stage = 2;
    }
    TemplatePlaces& places = f.lists->places;
    NodeResult* results = f.args() + parts.size();
    while (f.next > f.placesAt) {
        const std::size_t k = --f.next;
        if (!places.layOut(k, f.placesAt, results, Args{f.args(), parts.size()})) {
            req = PartRequest{&places.liftedAt(k), places.lineOf(k), kAll, f.argsAt + parts.size() + (k - f.placesAt)};
            return true;
        }
    }
    ret = std::move(results[0]);
    return false;
}

// Resumes the frame with its requested part's result: true with its next request, false with its own result in `ret`.
bool resume(Frame& f, NodeResult& ret, PartRequest& req) {
    switch (f.d->kind) {
    case DocNode::Kind::Beside: return besideStep(f, ret, req);
    case DocNode::Kind::Above:
    case DocNode::Kind::AboveList: return stackStep(f, ret, req);
    case DocNode::Kind::Join:
    case DocNode::Kind::Filter:
    case DocNode::Kind::ZeroSize:
    case DocNode::Kind::Indent: return unaryStep(f, ret, req);
    case DocNode::Kind::Fill: return fillStep(f, ret, req);
    case DocNode::Kind::Centred: return centredStep(f, ret, req);
    case DocNode::Kind::Dup: return dupStep(f, ret, req);
    case DocNode::Kind::Apply: return applyStep(f, ret, req);
    default: return false;  // laid out at once (see layOutAtOnce)
    }
}

// The frames of a walk, borrowed for their room from the thread's; a walk may start another (a lifted part's).
struct FrameStack {
    std::vector<Frame> frames;
    std::size_t size = 0;
    FrameLists lists;
    // The frames that keep the room of their own layouts' bounds, the last on top: its depth, the room before it, and
    // whether it began keeping it (none below it did).  Out of the frames, as most keep none.  A frame that may not be
    // remembered keeps none of its own: its comparisons narrow the room of the frames below it as they are made.
    struct RoomKept {
        std::size_t depth;
        BoundRoom before;
        bool began;
    };
    std::vector<RoomKept> rooms;

    [[gnu::noinline]] void keepRoom() {
        rooms.push_back(RoomKept{size, freshBoundRoom(), !boundTracking});
        boundTracking = true;
    }
    // The top frame's layout, made into `r`, remembered (see rememberLayout): where its node was laid out in full
    // before, for the bounds the room of its own layout leaves around its bound where it kept one (the room before
    // it then narrowed by its own); else only marked, where it may be remembered at all.
    void remember(const Frame& f, const NodeResult& r) {
        if (f.d->memo.laidOut()) [[unlikely]]
            return rememberAgain(f, r);
        rememberLayout(*f.d, f.line, f.need, r, f.counts);
    }
    [[gnu::noinline]] void rememberAgain(const Frame& f, const NodeResult& r) {
        BoundRoom own{0, 0};
        if (!rooms.empty() && rooms.back().depth == size) {
            const RoomKept kept = rooms.back();
            rooms.pop_back();
            own = restoreBoundRoom(kept.before);
            if (kept.began) boundTracking = false;
        }
        rememberLayout(*f.d, f.line, f.need, r, f.counts, own);
    }

    // Out of line: a walk inlined with it is too large for its steps' small helpers to be inlined.
    [[gnu::noinline]] ~FrameStack() {}
    Frame& push() {
        if (size == frames.size()) frames.emplace_back();
        return frames[size++];
    }
    // A frame begun: where it may be remembered, the room of its bound kept from here on.
    void start(const PartRequest& req, CandidateMark m) {
        Frame& f = push();
        f.start(req, m, lists);
        if (f.mayBeRemembered()) [[unlikely]]
            keepRoom();
    }
    void clear() {
        rooms.clear();
        size = 0;
        lists.parts.clear();
        lists.args.clear();
        lists.places.dropFrom(0);
    }
};

// The layout walk from the node; where `recallRoot` is false, the node's own layout is made, not recalled.
NodeResult walk(const DocNode& d, LayoutInt line, std::size_t need, bool recallRoot) {
    NodeResult ret;
    CandidateMark mark;
    if (layOutAtOnce(d, line, need, mark, ret)) return ret;
    if (recallRoot && recallLayout(d, line, ret)) {
        ret.firstShortest = false;
        return ret;
    }
    BorrowedRoom<FrameStack> stack;
    // A walk left past the budget leaves the room kept as it found it.
    struct KeepingAsBefore {
        bool before = boundTracking;
        ~KeepingAsBefore() { boundTracking = before; }
    } keeping;
    FrameStack& s = *stack;
    s.start(PartRequest{&d, line, need}, mark);
    while (s.size != 0) {
        Frame& f = s.frames[s.size - 1];
        PartRequest req;
        if (!resume(f, ret, req)) {
            compactTo(ret, f.mark);
            ret.whole = f.need == kAll || (!f.partial && (f.d->kind == DocNode::Kind::Beside || f.d->kind == DocNode::Kind::Apply));
            s.remember(f, ret);
            f.end();
            if (f.slot != kNoSlot) s.lists.args[f.slot] = std::move(ret);
            --s.size;
            continue;
        }
        if (!req.framed && laidOutHere(req, req.slot == kNoSlot ? ret : s.lists.args[req.slot])) continue;
        s.start(req, candidateMark());
    }
    return ret;
}

// The render of a stack at column 0: each part (`part(k)` the k-th from the bottom, a pointer or a handle that keeps
// it while it is laid out and written) laid out in the order and with the counts of the stack's own layout, its first
// candidate written at once, while its nodes are still in the cache, and its candidates freed; the texts joined from
// the top.  False, the counts undone, where that layout is not simply the parts' first candidates one below the other
// (a part that is a pair or has lines but no candidates, or no part with lines), where the indentation of `indent`
// columns would drop it (wider than its bound, no part too wide), or where a part is not a node (null).
template <class PartFromBottom>
bool renderStackParts(std::string& out, std::size_t count, PartFromBottom part, LayoutInt line,
                      std::optional<LayoutInt> indent = {}) {
    const Budget saved = budget;
    const auto undo = [&saved] {
        budget = saved;
        return false;
    };
    TextArena& a = *currentArena;
    std::string texts;
    std::vector<std::pair<std::size_t, std::size_t>> pieces;  // from the bottom: where each part's text ends
    LayoutInt widest = 0;
    bool tooWide = false;
    for (std::size_t k = 0; k < count; ++k) {
        const auto p = part(k);
        if (!p) return undo();
        const std::size_t textsAt = a.mark();
        const CandidateMark candsAt = a.candidateMark();
        const NodeResult r = layOut(*p, line, 1);
        const bool fails = r.reply.pair || (r.sizes.height != 0 && r.reply.first.empty());
        tooWide = tooWide || r.tooWide;
        if (!fails && r.sizes.height != 0) {
            if (!pieces.empty()) countCandidate();  // the stack of this part's first candidate and the rest's
            const std::size_t start = texts.size();
            texts.append(static_cast<std::size_t>(indent.value_or(0)), ' ');
            writeText(*r.reply.first.front().text, indent.value_or(0), texts);
            pieces.emplace_back(start, texts.size());
            widest = std::max(widest, r.reply.first.front().width);
        }
        a.rewind(textsAt);
        a.candidateRewind(candsAt);
        if (fails) return undo();
    }
    if (pieces.empty() || (indent && !tooWide && widest > line)) return undo();
    if (indent) countCandidate();  // the indented candidate
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        if (it != pieces.rbegin()) out += '\n';
        out.append(texts, it->first, it->second - it->first);
    }
    return true;
}

// The render of a chain of stacked compositions or a stack of documents, or of one indented, by renderStackParts.
bool renderStack(std::string& out, const DocNode& d, LayoutInt line) {
    const bool indented = d.kind == DocNode::Kind::Indent && d.amount >= 0 && d.amount <= line;
    const DocNode& stack = indented ? *d.left : d;
    std::vector<const DocNode*> parts;  // from the top
    if (stack.kind == DocNode::Kind::AboveList) {
        for (const DocNodeRef& item : stack.many->parts) parts.push_back(item.get());
    } else if (stack.kind == DocNode::Kind::Above) {
        const DocNode* at = &stack;
        for (; at->kind == DocNode::Kind::Above; at = at->right.get()) parts.push_back(at->left.get());
        parts.push_back(at);
    } else {
        return false;
    }
    const auto fromBottom = [&parts](std::size_t k) { return parts[parts.size() - 1 - k]; };
    if (!indented) return renderStackParts(out, parts.size(), fromBottom, line);
    return renderStackParts(out, parts.size(), fromBottom, line - d.amount, d.amount);
}

// A render's arena, borrowed (renders may nest): new blocks for a render's few hundred texts would cost more than it.
using RenderArena = BorrowedRoom<TextArena>;

}  // namespace

NodeResult layOut(const DocNode& d, LayoutInt line, std::size_t need) { return walk(d, line, need, true); }

NodeResult layOutAgain(const DocNode& d, LayoutInt line) { return walk(d, line, kAll, false); }

bool renderMadeStack(std::string& out, std::size_t count, const std::function<DocNodeRef(std::size_t)>& partAt,
                     LayoutInt lineBound) {
    RenderArena arena;
    ArenaScope scope(*arena);
    nextLineRound();
    // The empty document below the last part has no lines: it adds nothing.
    return renderStackParts(out, count, [&](std::size_t k) { return partAt(count - 1 - k); }, lineBound);
}

void renderNode(std::string& out, const DocNodeRef& d, LayoutInt lineBound) {
    RenderArena arena;
    ArenaScope scope(*arena);
    nextLineRound();
    if (renderStack(out, *d, lineBound)) return;
    const NodeResult r = layOut(*d, lineBound, 1);
    if (r.reply.pair) {
        out += kRenderPairError;
        return;
    }
    // Lines but no candidate, though no part was too wide (an indentation leaves its part no room, a product has none
    // within the bound): the marker of its width, as where a part is too wide, never nothing.
    if (!r.reply.first.empty()) writeText(*r.reply.first.front().text, 0, out);
    else if (const Sizes& s = d->boundSizes ? r.sizes : d->sizes; s.height != 0) out += ::plim::markerText(s.width);
}

void writeAllCandidates(std::string& out, const DocNodeRef& d, LayoutInt lineBound) {
    RenderArena arena;
    ArenaScope scope(*arena);
    const NodeResult r = layOut(*d, lineBound);
    if (r.reply.pair) {
        out += kRenderPairError;
        out += "\n\n";
        return;
    }
    for (const Candidate& c : r.reply.first) {
        writeText(*c.text, 0, out);
        out += "\n\n";
    }
}

}  // namespace plim::pretty_detail
