// The making of the node engine's nodes: their sizes, what the shortcuts are sure of, and the values of templates.
#include "layout/nodes_internal.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "support/block_pool.h"
#include "support/release.h"

namespace plim::pretty_detail {

namespace {

[[gnu::noinline]] void freeMany(DocNode::Many* many) noexcept {
    many->~Many();
    PoolAllocator<DocNode::Many>().deallocate(many, 1);
}

}  // namespace

// Only the node's own blocks are left (dropNode took its parts); inline, as most nodes have none.
inline DocNode::~DocNode() {
    if ((kind == Kind::Text || kind == Kind::Error) && static_cast<std::size_t>(sizes.width) > kLocalChars)
        delete[] farChars;
    if (hasMany() && many != nullptr) freeMany(many);
}

void DocNode::setText(std::string_view t) {
    char* to = t.size() > kLocalChars ? (farChars = new char[t.size()]) : localChars;
    std::copy(t.begin(), t.end(), to);
    const auto n = static_cast<LayoutInt>(t.size());
    lineLow = static_cast<std::int32_t>(std::min(n, kNoLine));
    sizes = Sizes{1, n, n};  // the width says where the text is, so it is set last
}

namespace {

// The nodes waiting to be destroyed by the drop running on this thread, last in first out.
using DropList = ReleaseList<const DocNode*, 256>;
thread_local DropList* drops = nullptr;

// Gives up the handle, queuing the node if it was the last. One with no memory for a place on the list stays
// allocated, with what it holds: a drop runs in destructors, which may not fail (support/release.h).
inline void takePart(DropList& s, DocNodeRef& part) {
    if (const DocNode* d = part.releaseLast()) (void)s.push(d);
}

// Queues the node's parts, the last of them to be destroyed first, then gives back its own blocks.
void destroyNode(DropList& s, DocNode* node) {
    if (node->hasMany() && node->many != nullptr) {
        for (DocNodeRef& part : node->many->parts) takePart(s, part);
    } else {
        takePart(s, node->left);
        takePart(s, node->right);
    }
    node->~DocNode();
    PoolAllocator<DocNode>().deallocate(node, 1);
}

}  // namespace

// A document is given back in the reverse of the order it was made in (the node, then its parts from the last), so
// that the next one made takes the same blocks in the same order, close together. A node dropped while another is
// being destroyed (one a layout's template holds) waits on the same list.
void dropNode(const DocNode* d) noexcept {
    if (drops != nullptr) {
        (void)drops->push(d);
        return;
    }
    DropList list;
    drops = &list;
    for (const DocNode* next = d; next != nullptr; next = list.empty() ? nullptr : list.pop())
        destroyNode(list, const_cast<DocNode*>(next));  // no handle is left to see it
    drops = nullptr;
}

ParNode::~ParNode() {
    if (parts.empty()) return;
    releaseSoleChildren(*this, [](ParNode& p, auto take) {
        for (ParNodeRef& q : p.parts) take(q);
    });
}

namespace {

// A node just made, set up through this handle before any other handle sees it.
class FreshNode {
public:
    explicit FreshNode(DocNode* d) : node_(d), ref_(DocNodeRef::adopt(d)) {}
    DocNode* operator->() const { return node_; }
    DocNode& operator*() const { return *node_; }
    operator DocNodeRef() && { return std::move(ref_); }  // NOLINT: the node, set up

private:
    DocNode* node_;
    DocNodeRef ref_;
};

inline FreshNode node(DocNode::Kind kind) {
    FreshNode d(new (PoolAllocator<DocNode>().allocate(1)) DocNode);  // its members set as declared, no more
    d->kind = kind;
    return d;
}
inline FreshNode node(DocNode::Kind kind, DocNodeRef&& left, DocNodeRef&& right = nullptr) {
    FreshNode d = node(kind);
    d->boundSizes = left->boundSizes || (right && right->boundSizes);
    d->left = std::move(left);
    d->right = std::move(right);
    return d;
}

// A node whose sizes depend on the bound is sure of nothing: no line the shortcut finds, nothing known below zero.
[[gnu::noinline]] void boundFacts(DocNode& d) {
    d.plainTexts = 0;
    d.sure = DocNode::Sure::No;
    d.lineSecond = false;
    d.lineLow = 0;
    d.lineTexts = 0;
    d.below = BelowZero{};
}
inline DocNodeRef finished(FreshNode&& d) {
    if (d->boundSizes) boundFacts(*d);
    return std::move(d);
}
bool anyBoundSizes(const NodeParts& parts) {
    return std::any_of(parts.begin(), parts.end(), [](const DocNodeRef& p) { return p->boundSizes; });
}

DocNode::Many* makeMany(NodeParts parts, ParNodeRef layout) {
    DocNode::Many* m = PoolAllocator<DocNode::Many>().allocate(1);
    return new (m) DocNode::Many{std::move(parts), std::move(layout)};
}

DocNodeRef errorNode(const std::string& text) {
    auto d = node(DocNode::Kind::Error);
    d->setText(text);
    return d;
}

using Sure = DocNode::Sure;

// The sizes of a node with what it is sure of (DocNode::sure), combined by the compositions' rules (ValueRules).
struct NodeValue {
    Sizes sizes;
    LayoutInt line = 0;
    std::uint32_t texts = 0;
    Sure sure = Sure::No;
    // A choice whose join is sure of a line, and through which alternative (see ValueRules::join).
    bool lineChoice = false;
    bool second = false;
    // Sure of a line that only its own writer writes (a joined choice, a list of hvSpList): not so its compositions.
    bool topOnly = false;
    bool single = true;  // certainly a single list

    bool straightLine() const { return sure == Sure::Line && !topOnly; }
};

LayoutInt lineSum(LayoutInt a, LayoutInt b) { return b >= kNoLine - a ? kNoLine : a + b; }
// Counts of texts are capped: they only raise the work budget.
std::uint32_t textSum(std::uint32_t a, std::uint32_t b) {
    return b > std::numeric_limits<std::uint32_t>::max() - a ? std::numeric_limits<std::uint32_t>::max() : a + b;
}
// The texts of two plain nodes composed, or zero when either is not plain.
template <class A, class B>
std::uint32_t plainPair(const A& a, const B& b) {
    return a.plainTexts == 0 || b.plainTexts == 0 ? 0 : textSum(a.plainTexts, b.plainTexts);
}
bool hasLines(const NodeValue& v) { return v.sizes.height != 0; }

// The value of a document, and of nothing certain beyond the sizes.
NodeValue valueOf(const DocNode& d) {
    NodeValue v;
    v.sizes = d.sizes;
    v.line = d.lineLow;
    v.texts = d.lineTexts;
    v.sure = d.sure;
    v.single = !d.mayPair;
    return v;
}
NodeValue unsure(const NodeValue& v) {
    NodeValue out = v;
    out.sure = Sure::No;
    out.lineChoice = false;
    return out;
}

void setValue(DocNode& d, const NodeValue& v) {
    d.mayPair = !v.single;
    d.sizes = v.sizes;
    d.lineLow = static_cast<std::int32_t>(std::min(v.line, kNoLine));
    d.lineTexts = v.texts;
    d.sure = v.sure == Sure::Line && v.line >= kNoLine ? Sure::No : v.sure;
    d.lineSecond = v.second;
}

// The rules of the compositions on sizes alone and on values, which give a template's places theirs (placeValues); a
// hole that takes an alternative of a pair (First, Second) is sure of nothing but what a filter is.
struct SizeRules {
    static Sizes pick(const Sizes& s) { return s; }
    static Sizes lift(const DocNode& d) { return d.sizes; }
    static Sizes filter(const Sizes& s) { return s; }
    static Sizes join(const Sizes& s) { return s; }
    static Sizes indent(const Sizes& s, LayoutInt n) { return indentSizes(s, n); }
    static Sizes beside(const Sizes& a, const Sizes& b) { return besideSizes(a, b); }
    static Sizes above(const Sizes& a, const Sizes& b) { return aboveSizes(a, b); }
    static Sizes choice(const Sizes& a, const Sizes& b, bool) { return choiceSizes(a, b); }
    static Sizes filling(const Sizes& outer) { return outer; }
    static Sizes line(LayoutInt n) { return Sizes{1, n, n}; }
};
struct ValueRules {
    static NodeValue pick(const NodeValue& v) { return filter(unsure(v)); }
    static NodeValue lift(const DocNode& d) { return valueOf(d); }
    static NodeValue filter(const NodeValue& e) {
        NodeValue v = e;
        v.single = true;
        v.lineChoice = false;
        if (!e.straightLine()) v.sure = Sure::No;
        return v;
    }
    static NodeValue join(const NodeValue& e) {
        NodeValue v;
        v.sizes = e.sizes;
        v.line = e.line;
        if (e.lineChoice) {
            v.sure = Sure::Line;
            v.texts = e.texts;
            v.second = e.second;
            v.topOnly = true;
        }
        return v;
    }
    static NodeValue indent(const NodeValue& a, LayoutInt n) {
        NodeValue v = a;
        v.sizes = indentSizes(a.sizes, n);
        v.line = n < 0 ? 0 : lineSum(a.line, n);
        v.lineChoice = false;
        if (n < 0 || !a.straightLine()) v.sure = Sure::No;
        return v;
    }
    // Side by side: a line where both are (a part without lines leaves the other's as it is), taller where both are.
    static NodeValue beside(const NodeValue& a, const NodeValue& b) {
        NodeValue v;
        v.sizes = besideSizes(a.sizes, b.sizes);
        v.line = !hasLines(a) ? b.line : !hasLines(b) ? a.line : lineSum(a.line, b.line);
        v.single = a.single && b.single;
        if (hasLines(a) && hasLines(b)) {
            if (a.straightLine() && b.straightLine()) {
                v.sure = Sure::Line;
                v.texts = textSum(a.texts, b.texts);
            } else if (a.sure == Sure::Tall && b.sure == Sure::Tall) {
                v.sure = Sure::Tall;
            }
        }
        return v;
    }
    // Stacked: taller where both have lines and are single lists.
    static NodeValue above(const NodeValue& a, const NodeValue& b) {
        NodeValue v;
        v.sizes = aboveSizes(a.sizes, b.sizes);
        v.single = a.single && b.single;
        if (hasLines(a) && hasLines(b) && v.single) v.sure = Sure::Tall;
        return v;
    }
    // Sure of nothing; its join is sure of one alternative's line where the other is taller, if the counts match.
    static NodeValue choice(const NodeValue& a, const NodeValue& b, bool equal) {
        NodeValue v;
        v.sizes = choiceSizes(a.sizes, b.sizes);
        v.single = false;
        const bool first = a.straightLine() && b.sure == Sure::Tall;
        if (first || (a.sure == Sure::Tall && b.straightLine())) {
            const NodeValue& chosen = first ? a : b;
            v.lineChoice = equal;
            v.second = !first;
            v.line = chosen.line;
            v.texts = chosen.texts;
        }
        return v;
    }
    // The writer of lines does not fill templates into templates.
    static NodeValue filling(const NodeValue& outer) { return outer.sure == Sure::Line ? unsure(outer) : outer; }
    // One line of n characters that the shortcut is not sure of (an error text).
    static NodeValue line(LayoutInt n) { return NodeValue{Sizes{1, n, n}, n}; }
};

// The values of a template's places over its arguments' (a missing one without lines), from the last place (each
// after its parts); a filling of the wrong count has the value of its error text.
template <class Rules, class V>
void placeValues(const PlaceShape* places, std::size_t n, const V* args, V* out) {
    for (std::size_t k = n; k-- > 0;) {
        const PlaceShape& at = places[k];
        const ParNode& p = *at.p;
        const auto part = [&](int i) -> const V& { return out[i == 0 ? k + 1 : places[k + 1].end]; };
        using K = ParNode::Kind;
        switch (p.kind) {
        case K::Hole:
        case K::First:
        case K::Second: {
            const V v = at.from == PlaceShape::kNoArg ? V{} : at.from < 0 ? args[~at.from] : out[at.from];
            out[k] = p.kind == K::Hole ? v : Rules::pick(v);
            break;
        }
        case K::Lift: out[k] = Rules::lift(*p.doc); break;
        case K::HvSp: out[k] = V{}; break;  // never part of another template
        case K::Filter: out[k] = Rules::filter(part(0)); break;
        case K::Join: out[k] = Rules::join(part(0)); break;
        case K::Indent: out[k] = Rules::indent(part(0), p.amount); break;
        case K::Beside: out[k] = Rules::beside(part(0), part(1)); break;
        case K::Above: out[k] = Rules::above(part(0), part(1)); break;
        case K::Choice: out[k] = Rules::choice(part(1), part(0), p.parts[0]->params == p.parts[1]->params); break;
        case K::Subst:
            out[k] = countsMatch(p) ? Rules::filling(part(0)) : Rules::line(static_cast<LayoutInt>(countError(p).size()));
            break;
        }
    }
}

// The value of a template over its arguments' (one for each parameter), from its kept places or places made for it.
NodeValue parValue(const ParNode& p, const NodeValue* args) {
    static thread_local std::vector<PlaceShape> made;  // kept for their room
    static thread_local std::vector<NodeValue> values;
    const std::vector<PlaceShape>* places = &p.places;
    if (places->empty()) {
        made.clear();
        makePlaces(p, made);
        places = &made;
    }
    values.resize(places->size());
    placeValues<ValueRules>(places->data(), places->size(), args, values.data());
    return values[0];
}

// A template node; its places kept where they are few (see ParNode::places).
ParNodeRef parNode(ParNode::Kind kind, LayoutInt params, std::vector<ParNodeRef> parts, LayoutInt amount = 0,
                   DocNodeRef doc = nullptr) {
    auto p = std::allocate_shared<ParNode>(PoolAllocator<ParNode>());
    p->kind = kind;
    p->params = params;
    p->parts = std::move(parts);
    p->amount = amount;
    p->boundSizes = (doc && doc->boundSizes) ||
                    std::any_of(p->parts.begin(), p->parts.end(), [](const ParNodeRef& q) { return q->boundSizes; });
    p->doc = std::move(doc);
    std::vector<PlaceShape> places;
    if (makePlaces(*p, places, kMaxPlaces)) p->places = std::move(places);
    return p;
}

}  // namespace

void placeSizes(const PlaceShape* places, std::size_t n, const Sizes* args, Sizes* out) {
    placeValues<SizeRules>(places, n, args, out);
}

// A text is sure of its line; below zero it is too wide, its marker.
DocNodeRef textNode(std::string text) {
    auto d = node(DocNode::Kind::Text);
    d->setText(text);
    d->plainTexts = 1;
    d->lineTexts = 1;
    if (d->sizes.width < kNoLine) d->sure = DocNode::Sure::Line;
    BelowZero& b = d->below;
    b.tooWide = true;
    b.candidate = true;
    b.width = d->sizes.width;
    b.upTo = d->sizes.width;
    b.known = d->sizes.width < kNoLine && b.add(1, 0);
    return d;
}

namespace {

// Made once and kept forever, their handles not counted: the table is never freed. Out of line, so that the
// look-up itself is inlined where the builders take a one-character text.
[[gnu::noinline]] const DocNodeRef* makeCharNodes() {
    auto* all = new DocNodeRef[256];
    for (int i = 0; i < 256; ++i) {
        all[i] = textNode(std::string(1, static_cast<char>(i)));
        all[i].keepForever();
    }
    return all;
}

}  // namespace

const DocNodeRef& charNode(char c) {
    static const DocNodeRef* const nodes = makeCharNodes();
    return nodes[static_cast<unsigned char>(c)];
}

// Kept forever, its handles not counted: the handle is never freed.
DocNodeRef emptyNode() {
    static const DocNodeRef* const empty = [] {
        auto d = node(DocNode::Kind::Empty);
        d->below.known = true;  // no candidate, no count, at every bound
        d->below.upTo = static_cast<std::int32_t>(kNoLine);
        auto* kept = new DocNodeRef(std::move(d));
        kept->keepForever();
        return kept;
    }();
    return *empty;
}

namespace {

// The bound below which a layout known below zero holds, kept in 32 bits (never below zero).
std::int32_t upToBound(LayoutInt up) { return static_cast<std::int32_t>(std::clamp<LayoutInt>(up, 0, kNoLine)); }

// Below zero, two parts side by side (see DocNode::below): the right part's layout, the left part's, then their
// product, which no bound limits where either is too wide (and none fits where neither is, as a part with lines is
// too wide there); a part without lines leaves the other's candidates as they are.
template <class A, class C>
BelowZero besideBelow(const A& l, const C& r) {
    const BelowZero& a = l.below;
    const BelowZero& c = r.below;
    if (!a.known || !c.known) return BelowZero{};
    const bool lines = l.sizes.height != 0 && r.sizes.height != 0;
    const bool tooWide = a.tooWide || c.tooWide;
    const bool product = lines && tooWide && a.candidate && c.candidate;
    const BelowZero& alone = l.sizes.height == 0 ? c : a;  // where a part has no lines
    const LayoutInt width = product ? LayoutInt{a.width} + c.width : alone.width;
    // The right part starts after the left one's last line. A text beside a part too wide there makes the same product
    // whether it fits or not (see BelowZero::upTo); of two texts, the left one, while the right one is too wide.
    const bool freeLeft = lines && l.kind == DocNode::Kind::Text && c.tooWide;
    const bool freeRight = lines && !freeLeft && r.kind == DocNode::Kind::Text && a.tooWide;
    const LayoutInt leftUp = freeLeft ? kNoLine : LayoutInt{a.upTo};
    const LayoutInt rightUp = freeRight ? kNoLine : LayoutInt{c.upTo} + l.sizes.lastWidth;
    BelowZero b;
    b.upTo = upToBound(std::min(leftUp, rightUp));
    if (width >= kNoLine || !b.add(std::uint64_t{a.texts} + c.texts, std::uint64_t{a.candidates} + c.candidates + (product ? 1 : 0)))
        return BelowZero{};
    b.known = true;
    b.tooWide = tooWide;
    b.candidate = product || (!lines && alone.candidate);
    b.width = static_cast<std::int32_t>(width);
    return b;
}

// What a one-character text is sure of, as textNode sets it: enclosedNode and spacedNode compute with it as constants.
struct OneCharFacts {
    static constexpr DocNode::Kind kind = DocNode::Kind::Text;
    static constexpr Sizes sizes{1, 1, 1};
    static constexpr std::int32_t lineLow = 1;
    static constexpr bool mayPair = false;
    static constexpr bool boundSizes = false;
    static constexpr std::uint32_t plainTexts = 1;
    static constexpr std::uint32_t lineTexts = 1;
    static constexpr Sure sure = Sure::Line;
    static constexpr BelowZero below{.known = true, .tooWide = true, .candidate = true, .texts = 1, .width = 1, .upTo = 1};
};

// The values of two nodes side by side set on `d` at once, as setValue(d, ValueRules::beside(...)) would, and their
// layout below zero (see besideBelow): most nodes of a printed term are made here.
template <class A, class C>
inline void setBesideFacts(DocNode& d, const A& a, const C& c) {
    d.sizes = besideSizes(a.sizes, c.sizes);
    const bool aLines = a.sizes.height != 0;
    const bool cLines = c.sizes.height != 0;
    const bool both = aLines && cLines;
    const LayoutInt line = !aLines ? c.lineLow : !cLines ? a.lineLow : lineSum(a.lineLow, c.lineLow);
    d.lineLow = static_cast<std::int32_t>(std::min(line, kNoLine));
    d.mayPair = a.mayPair || c.mayPair;
    d.plainTexts = plainPair(a, c);
    const bool lineSure = both && a.sure == Sure::Line && c.sure == Sure::Line;
    d.lineTexts = lineSure ? textSum(a.lineTexts, c.lineTexts) : 0;
    d.sure = lineSure ? (line >= kNoLine ? Sure::No : Sure::Line)
                      : both && a.sure == Sure::Tall && c.sure == Sure::Tall ? Sure::Tall : Sure::No;
    if (aLines != cLines && (aLines ? c.kind : a.kind) == DocNode::Kind::Empty) {
        // Beside the empty document a part is as sure as it is alone.
        d.sure = aLines ? a.sure : c.sure;
        d.lineTexts = aLines ? a.lineTexts : c.lineTexts;
    }
    d.below = besideBelow(a, c);
    d.boundSizes = a.boundSizes || c.boundSizes;
}

// The two nodes side by side, their released handles taken over; `lf`, `rf` their facts (the nodes, or OneCharFacts).
template <class LeftFacts = DocNode, class RightFacts = DocNode>
[[gnu::always_inline]] inline DocNodeRef besidePair(const DocNode* l, const DocNode* r, const LeftFacts& lf, const RightFacts& rf) {
    auto* d = new (PoolAllocator<DocNode>().allocate(1)) DocNode;
    d->kind = DocNode::Kind::Beside;
    setBesideFacts(*d, lf, rf);
    if (d->boundSizes) boundFacts(*d);
    d->left = DocNodeRef::adopt(l);
    d->right = DocNodeRef::adopt(r);
    return DocNodeRef::adopt(d);
}

// The handle on a one-character text (kept forever: its handles are not counted).
inline const DocNode* oneChar(char c) { return charNode(c).get(); }

// A node of one or two parts with its value (computed from theirs), plain texts and indentation.
DocNodeRef valuedNode(DocNode::Kind kind, const NodeValue& v, DocNodeRef&& l, DocNodeRef&& r = nullptr,
                      std::uint32_t plain = 0, LayoutInt amount = 0) {
    auto d = node(kind, std::move(l), std::move(r));
    setValue(*d, v);
    d->plainTexts = plain;
    d->amount = amount;
    return finished(std::move(d));
}

// The value of a list of hvSpList set on `d` in one pass from the last item, with whether its sizes depend on the
// bound: sure of its line (the items' and the blanks) where each item is sure of its own and the stack is taller (or
// the item is alone). Also its layout below zero where its items are known there and one is too wide: the items'
// layouts in order, the counts of the stack (one for each item with lines above others with lines, while each has a
// candidate), then the list's marker.
[[gnu::always_inline]] inline void setHvSpFacts(DocNode& d, const DocNodeRef* items, std::size_t n) {
    const Sizes space{1, 1, 1};
    const DocNode& last = *items[n - 1];
    Sizes line = last.sizes;
    LayoutInt stackHeight = last.sizes.height;  // the stack's last width is the last item's
    LayoutInt stackWidth = last.sizes.width;
    LayoutInt lineLow = static_cast<LayoutInt>(n) - 1;
    std::uint64_t texts = n - 1;  // capped at the end, as textSum caps each sum
    bool sure = true;
    bool known = true;
    bool wide = false;
    std::uint64_t belowTexts = 0;
    std::uint64_t belowCandidates = 0;
    // Where an item other than a text is too wide, the texts' counts and candidates are the same whether they fit or
    // not: only the other items bound where the layout holds (see upTo).
    LayoutInt upAll = kNoLine;
    LayoutInt upOthers = kNoLine;
    bool otherWide = false;
    bool bound = false;  // whether an item's sizes depend on the bound
    // What every item adds, the last one included.
    const auto take = [&](const DocNode& a, bool lines) {
        if (lines) lineLow = lineSum(lineLow, a.lineLow);
        texts += a.lineTexts;
        sure = sure && lines && a.sure == Sure::Line;
        known = known && a.below.known;
        wide = wide || a.below.tooWide;
        belowTexts += a.below.texts;
        belowCandidates += a.below.candidates;
        bound = bound || a.boundSizes;
        upAll = std::min<LayoutInt>(upAll, a.below.upTo);
        if (a.kind != DocNode::Kind::Text) {
            upOthers = std::min<LayoutInt>(upOthers, a.below.upTo);
            otherWide = otherWide || a.below.tooWide;
        }
    };
    take(last, last.sizes.height != 0);
    bool belowLines = last.sizes.height != 0;  // whether the items below have lines
    bool belowCandidate = last.below.candidate;
    for (std::size_t i = n - 1; i-- > 0;) {
        const DocNode& a = *items[i];
        const bool lines = a.sizes.height != 0;
        line = besideSizes(a.sizes, besideSizes(space, line));
        stackHeight += a.sizes.height;
        stackWidth = std::max<LayoutInt>(a.sizes.width, stackWidth);
        if (lines) {
            belowCandidate = a.below.candidate && (belowCandidate || !belowLines);
            if (belowLines && belowCandidate) ++belowCandidates;
            belowLines = true;
        }
        take(a, lines);
    }
    d.sizes = choiceSizes(line, Sizes{stackHeight, last.sizes.lastWidth, stackWidth});
    d.boundSizes = bound;
    if (sure) {
        d.lineLow = static_cast<std::int32_t>(std::min(lineLow, kNoLine));
        d.lineTexts = static_cast<std::uint32_t>(std::min<std::uint64_t>(texts, std::numeric_limits<std::uint32_t>::max()));
        d.sure = lineLow >= kNoLine ? Sure::No : Sure::Line;
    }
    BelowZero& b = d.below;
    if (!known || !wide || d.sizes.width >= kNoLine || !b.add(belowTexts, belowCandidates)) return;
    b.known = true;
    b.tooWide = true;
    b.candidate = true;
    b.width = static_cast<std::int32_t>(d.sizes.width);
    b.upTo = upToBound(otherWide ? upOthers : upAll);
}

}  // namespace

DocNodeRef besideNode(DocNodeRef l, DocNodeRef r) {
    const DocNode* a = l.release();
    const DocNode* c = r.release();
    return besidePair(a, c, *a, *c);
}

namespace {

// enclosedNode and spacedNode of released handles, giving theirs up.
[[gnu::always_inline]] inline const DocNode* enclosedOf(char open, const DocNode* x, char close) {
    const DocNode* inner = besidePair(x, oneChar(close), *x, OneCharFacts{}).release();
    return besidePair(oneChar(open), inner, OneCharFacts{}, *inner).release();
}
[[gnu::always_inline]] inline const DocNode* spacedOf(const DocNode* left, const DocNode* x) {
    const DocNode* right = besidePair(oneChar(' '), x, OneCharFacts{}, *x).release();
    return besidePair(left, right, *left, *right).release();
}

}  // namespace

DocNodeRef enclosedNode(char open, DocNodeRef d, char close) {
    return DocNodeRef::adopt(enclosedOf(open, d.release(), close));
}

DocNodeRef spacedNode(DocNodeRef a, DocNodeRef b) {
    const DocNode* x = b.release();
    return DocNodeRef::adopt(spacedOf(a.release(), x));
}

DocNodeRef aboveNode(DocNodeRef u, DocNodeRef lower) {
    const NodeValue s = ValueRules::above(valueOf(*u), valueOf(*lower));
    const std::uint32_t plain = plainPair(*u, *lower);
    return valuedNode(DocNode::Kind::Above, s, std::move(u), std::move(lower), plain);
}

// A dup's own value is sure of nothing (dupNode): its join's is worked out from its alternatives'.
DocNodeRef joinNode(DocNodeRef e) {
    const NodeValue s = e->kind == DocNode::Kind::Dup
                            ? ValueRules::join(ValueRules::choice(valueOf(*e->left), valueOf(*e->right), true))
                            : ValueRules::join(valueOf(*e));
    return valuedNode(DocNode::Kind::Join, s, std::move(e));
}

DocNodeRef filterNode(DocNodeRef e) {
    return valuedNode(DocNode::Kind::Filter, ValueRules::filter(valueOf(*e)), std::move(e));
}

DocNodeRef indentNode(LayoutInt n, DocNodeRef e) {
    const NodeValue s = ValueRules::indent(valueOf(*e), n);
    const std::uint32_t plain = n >= 0 ? e->plainTexts : 0;
    return valuedNode(DocNode::Kind::Indent, s, std::move(e), nullptr, plain, n);
}

DocNodeRef dupNode(DocNodeRef x, DocNodeRef y) {
    const NodeValue s = unsure(ValueRules::choice(valueOf(*x), valueOf(*y), true));
    return valuedNode(DocNode::Kind::Dup, s, std::move(x), std::move(y));
}

DocNodeRef applyNode(ParNodeRef p, NodeParts args) {
    const auto m = static_cast<LayoutInt>(args.size());
    if (p->params != m) return errorNode(applyCountError(p->params, m));
    const bool boundSizes = p->boundSizes || anyBoundSizes(args);
    SmallVec<NodeValue, 8> values;
    values.reserve(args.size());
    for (const DocNodeRef& a : args) values.push_back(valueOf(*a));
    const NodeValue s = parValue(*p, values.data());
    auto d = node(DocNode::Kind::Apply);
    d->many = makeMany(std::move(args), std::move(p));
    setValue(*d, s);
    d->boundSizes = boundSizes;
    return finished(std::move(d));
}

NodeParts nodesOf(std::span<Doc> items) {
    NodeParts parts;
    parts.reserve(items.size());
    for (Doc& d : items) parts.push_back(std::move(d).node());
    return parts;
}

namespace {

// hvSpApplyNode, inlined where hvSpListNode hands out its shared templates.
[[gnu::always_inline]] inline DocNodeRef hvSpApplyOf(const ParNodeRef& layout, std::span<Doc> items) {
    auto* many = new (PoolAllocator<DocNode::Many>().allocate(1)) DocNode::Many{{}, layout};
    NodeParts& parts = many->parts;  // filled in place: most nodes of a printed term are these
    parts.reserve(items.size());
    for (Doc& item : items) parts.push_back(std::move(item).node());
    auto d = node(DocNode::Kind::Apply);
    d->many = many;
    setHvSpFacts(*d, parts.data(), parts.size());
    return finished(std::move(d));
}

}  // namespace

DocNodeRef hvSpApplyNode(const ParNodeRef& layout, std::span<Doc> items) { return hvSpApplyOf(layout, items); }

namespace {

// hvSpListNode: the short templates, asked for again and again, built once. Never freed: they are handed out by
// handles that own nothing (kept here, beside the owning ones), copied and dropped without atomic updates.
[[gnu::always_inline]] inline DocNodeRef hvSpListOf(std::span<Doc> items) {
    const std::size_t n = items.size();
    static const std::vector<ParNodeRef>* const shortLayouts = [] {
        auto* all = new std::vector<ParNodeRef>();
        for (std::size_t k = 1; k <= kSharedTemplates; ++k) all->push_back(hvSpNode(k));
        for (std::size_t k = 0; k < kSharedTemplates; ++k) all->push_back(ParNodeRef(ParNodeRef(), (*all)[k].get()));
        return all;
    }();
    if (n > kSharedTemplates) return hvSpApplyNode(hvSpNode(n), items);
    return hvSpApplyOf((*shortLayouts)[kSharedTemplates + n - 1], items);
}

}  // namespace

DocNodeRef hvSpListNode(std::span<Doc> items) { return hvSpListOf(items); }

// The list of one text lays out as the text: where it does not fit, both show its marker.
DocNodeRef spacedListNode(Doc* head, std::span<Doc> items, bool parens) {
    const bool oneText = items.size() == 1 && items[0].node()->kind == DocNode::Kind::Text;
    const DocNode* x = items.empty() ? emptyNode().release()
                       : oneText     ? std::move(items[0]).node().release()
                                     : hvSpListOf(items).release();
    if (head != nullptr) x = spacedOf(std::move(*head).node().release(), x);
    return DocNodeRef::adopt(parens ? enclosedOf('(', x, ')') : x);
}

DocNodeRef aboveListNode(NodeParts items) {
    Sizes s;  // the last item stands above the empty document: no last width
    std::size_t withLines = 0;
    bool mayPair = false;
    for (const DocNodeRef& a : items) {
        withLines += a->sizes.height != 0 ? 1 : 0;
        s.height += a->sizes.height;
        s.width = std::max<LayoutInt>(s.width, a->sizes.width);
        mayPair = mayPair || a->mayPair;
    }
    auto d = node(DocNode::Kind::AboveList);
    d->mayPair = mayPair;
    d->many = makeMany(std::move(items), nullptr);
    d->sizes = s;
    if (withLines >= 2 && !mayPair) d->sure = DocNode::Sure::Tall;  // taller, as any two stacked single lists
    d->boundSizes = anyBoundSizes(d->many->parts);
    return finished(std::move(d));
}

// A fill's sizes are those of its layout (see boundSizes); here one line of its items, or none.
DocNodeRef fillNode(bool toBound, LayoutInt width, NodeParts items) {
    Sizes s;
    for (const DocNodeRef& a : items) {
        if (a->sizes.height != 0) s.height = 1;
        s.width += a->sizes.width;
    }
    s.lastWidth = s.width;
    auto d = node(DocNode::Kind::Fill);
    d->many = makeMany(std::move(items), nullptr);
    d->many->fillToBound = toBound;
    d->many->fillWidth = NodeSizes::kept(width);
    d->sizes = s;
    d->boundSizes = true;
    return finished(std::move(d));
}

// Its sizes are those of its layout (see boundSizes); here those of the items' sizes.
DocNodeRef centredNode(NodeParts items) {
    bool mayPair = false;
    LayoutInt widest = 0;
    for (const DocNodeRef& a : items) {
        mayPair = mayPair || a->mayPair;
        widest = std::max<LayoutInt>(widest, a->sizes.width);
    }
    Sizes s;
    for (const DocNodeRef& a : items) s = aboveSizes(s, indentSizes(a->sizes, (widest - a->sizes.width) / 2));
    auto d = node(DocNode::Kind::Centred);
    d->sizes = s;
    d->many = makeMany(std::move(items), nullptr);
    d->mayPair = mayPair;
    d->boundSizes = true;
    return finished(std::move(d));
}

// The part laid out without width limit, reported as one line of width 0.
DocNodeRef zeroSizeNode(DocNodeRef e) {
    auto d = node(DocNode::Kind::ZeroSize, std::move(e));
    d->boundSizes = false;
    d->mayPair = d->left->mayPair;
    d->sizes = Sizes{1, 0, 0};
    boundFacts(*d);
    return d;
}

ParNodeRef holeNode(ParNode::Kind kind) { return parNode(kind, 1, {}); }

ParNodeRef liftNode(DocNodeRef d) { return parNode(ParNode::Kind::Lift, 0, {}, 0, std::move(d)); }

ParNodeRef parUnaryNode(ParNode::Kind kind, ParNodeRef q, LayoutInt amount) {
    const LayoutInt n = q->params;
    return parNode(kind, n, {std::move(q)}, amount);
}

ParNodeRef parBinaryNode(ParNode::Kind kind, ParNodeRef l, ParNodeRef r) {
    const LayoutInt n = kind == ParNode::Kind::Choice ? l->params : l->params + r->params;
    return parNode(kind, n, {std::move(l), std::move(r)});
}

ParNodeRef substNode(ParNodeRef outer, std::vector<ParNodeRef> inners) {
    LayoutInt total = 0;
    for (const ParNodeRef& q : inners) total += q->params;
    inners.insert(inners.begin(), std::move(outer));
    return parNode(ParNode::Kind::Subst, total, std::move(inners));
}

ParNodeRef hvSpNode(std::size_t length) { return parNode(ParNode::Kind::HvSp, static_cast<LayoutInt>(length), {}); }

bool flatLayout(const DocNode& d, LayoutInt lineBound, NodeResult& out) {
    if (d.sure != DocNode::Sure::Line || d.lineLow > lineBound) return false;
    countText(d.lineTexts);
    countCandidate();
    out.sizes = d.sizes;
    out.tooWide = false;
    out.whole = false;
    out.firstShortest = false;
    out.reply = NodeReply{};
    const TextTree* t = currentArena->make(TextTree::Kind::Line, 0, nullptr, nullptr, nullptr, &d);
    out.reply.first = CandidateList::one(Candidate{1, d.lineLow, d.lineLow, t});
    return true;
}

}  // namespace plim::pretty_detail
