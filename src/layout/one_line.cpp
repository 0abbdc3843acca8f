// The one-line shortcut of a node's layout (see flatLayout in layout/nodes.h).
//
// A pass over the node finds, for each part at the bound its layout would have, what is
// certain of that layout:
//   Fits(w)  a single list, not too wide, whose first candidate is one line of width w (within
//            the bound) and no other one-line candidate is narrower;
//   Tall     a single list whose candidates, where it is not too wide, all have two lines or
//            more;
//   Empty    a single list without candidates, not too wide, of a document without lines;
//   Unknown  anything else.
// The rules below follow the attribute rules of the layout (layout/node_candidates.cpp) and keep
// only the cases where the answer is certain: two lines side by side are one line where that
// fits the bound; a choice between a line and a taller arrangement is the line, between two
// lines the narrower (the first on a tie); a part without lines leaves the other as it is.
// Every rule asks only that lines fit bounds, so what holds at a bound holds at a larger one.
#include <algorithm>

#include "layout/rules_internal.h"
#include "layout/nodes.h"

namespace plim::pretty_detail {

namespace {

struct Flat {
    enum class Kind : std::uint8_t { Unknown, Empty, Fits, Tall };
    Kind kind = Kind::Unknown;
    LayoutInt width = 0;
    const TextTree* text = nullptr;

    bool fits() const { return kind == Kind::Fits; }
    bool known() const { return kind != Kind::Unknown; }
};

constexpr Flat unknown() { return Flat{}; }
constexpr Flat empty() { return Flat{Flat::Kind::Empty}; }
constexpr Flat tall() { return Flat{Flat::Kind::Tall}; }
Flat fits(LayoutInt width, const TextTree* text) { return Flat{Flat::Kind::Fits, width, text}; }

// Two parts side by side at the bound of the composition.
Flat besideFlat(const Flat& l, const Sizes& ls, const Flat& r, const Sizes& rs, LayoutInt line) {
    if (!l.known() || !r.known()) return unknown();
    if (ls.height == 0) return l.kind == Flat::Kind::Empty ? r : unknown();
    if (rs.height == 0) return r.kind == Flat::Kind::Empty ? l : unknown();
    if (l.fits() && r.fits()) {
        if (l.width + r.width > line) return unknown();
        return fits(l.width + r.width, newText(TextTree::Kind::Beside, l.width, l.text, r.text));
    }
    return tall();
}

// The joined choice of two single lists.
Flat joinFlat(const Flat& x, const Flat& y) {
    using K = Flat::Kind;
    if (x.fits() && y.fits()) return y.width < x.width ? y : x;
    if (x.fits() && (y.kind == K::Tall || y.kind == K::Empty)) return x;
    if (y.fits() && (x.kind == K::Tall || x.kind == K::Empty)) return y;
    if (x.kind == K::Empty && y.kind == K::Empty) return empty();
    return unknown();
}

// The join of a pair whose first side gives x and whose second side, asked for only where it
// can matter, gives y(): nothing is certain once the first side is not.
template <class Second>
Flat joinFlat(const Flat& x, Second y) {
    return x.known() ? joinFlat(x, y()) : unknown();
}

Flat filterFlat(const Flat& e) { return e.fits() ? e : unknown(); }

Flat indentFlat(LayoutInt n, const Flat& e, LayoutInt line) {
    if (n < 0 || n > line) return unknown();
    if (e.fits()) return fits(e.width + n, newText(TextTree::Kind::Indent, n, e.text, nullptr));
    return e;
}

// A part side by side with the ones after it: its layout, its sizes and the bound the
// composition has at it.
struct SidePart {
    Flat flat;
    Sizes sizes;
    LayoutInt line;
};

// The parts, from the left, composed from the right.
template <std::size_t N>
Flat besideParts(const SmallVec<SidePart, N>& parts) {
    Flat acc = parts.back().flat;
    Sizes accSizes = parts.back().sizes;
    for (std::size_t i = parts.size() - 1; i-- > 0;) {
        acc = besideFlat(parts[i].flat, parts[i].sizes, acc, accSizes, parts[i].line);
        accSizes = besideSizes(parts[i].sizes, accSizes);
    }
    return acc;
}

// `count` parts stacked at one bound, given by their sizes, whether each is a single list, and
// their layouts (asked for only where needed): taller than a line where two or more have lines
// and all are single lists; otherwise the one with lines, where the others are empty.
template <class SizesAt, class SingleAt, class FlatAt>
Flat stackFlat(std::size_t count, SizesAt sizesAt, SingleAt singleAt, FlatAt flatAt) {
    std::size_t withLines = 0;
    bool single = true;
    for (std::size_t i = 0; i < count; ++i) {
        withLines += sizesAt(i).height != 0 ? 1 : 0;
        single = single && singleAt(i);
    }
    if (withLines >= 2) return single ? tall() : unknown();
    Flat out = empty();
    for (std::size_t i = 0; i < count; ++i) {
        const Flat f = flatAt(i);
        const bool hasLines = sizesAt(i).height != 0;
        if (hasLines ? !f.known() : f.kind != Flat::Kind::Empty) return unknown();
        if (hasLines) out = f;
    }
    return out;
}

// An argument of a parameterised node: a document, or the layout of an inner parameterised
// node, found when first asked for.  A document is laid out at the largest of the bounds of the
// places its parameter takes; what is certain at the bound of any one of them holds at that
// largest bound too, so the first place asked for gives it.
struct FlatArg {
    const DocNode* doc = nullptr;
    Sizes sizes;
    bool single = true;
    bool known = false;
    Flat flat;
};

struct FlatArgs {
    FlatArg* items = nullptr;
    std::size_t count = 0;

    FlatArgs take(std::size_t n) const { return FlatArgs{items, std::min(n, count)}; }
    FlatArgs drop(std::size_t n) const {
        const std::size_t k = std::min(n, count);
        return FlatArgs{items + k, count - k};
    }
    Sizes sizesOf(const ParNode& p) const {
        if (p.kind == ParNode::Kind::Hole) return count == 0 ? Sizes{} : items[0].sizes;
        if (p.kind == ParNode::Kind::Lift) return p.doc->sizes;
        SmallVec<Sizes, 8> s;
        for (std::size_t i = 0; i < count; ++i) s.push_back(items[i].sizes);
        return parSizes(p, s.data(), s.size());
    }
    bool singleOf(const ParNode& p) const {
        if (p.kind == ParNode::Kind::Hole) return count == 0 || items[0].single;
        if (p.kind == ParNode::Kind::Lift) return !p.doc->mayPair;
        SmallVec<std::uint8_t, 8> s;
        for (std::size_t i = 0; i < count; ++i) s.push_back(items[i].single);
        return parSingle(p, s.data(), s.size());
    }
};

// One pass over a node.  It gives up (Unknown) after a number of steps, as choices whose
// alternatives share parts would otherwise walk those parts again and again, and on parts
// nested deeper than kFlatDepth, which the full layout, whose walk keeps a stack of its own,
// lays out instead.
class FlatWalk {
public:
    explicit FlatWalk(LayoutInt line) : steps_(kFlatStepsBase + kFlatStepsPerColumn * std::clamp<LayoutInt>(line, 0, kFlatColumnsCounted)) {}

    LayoutInt texts() const { return texts_; }

    Flat doc(const DocNode& d, LayoutInt line) {
        if (--steps_ < 0 || depth_ >= kFlatDepth) return unknown();
        const Deeper deeper(depth_);
        if (d.plainTexts != 0 && d.sizes.width <= line) {
            if (d.sizes.height != 1) return tall();
            texts_ += d.plainTexts;
            return fits(d.sizes.width, newText(TextTree::Kind::Plain, 0, nullptr, nullptr, nullptr, &d));
        }
        // What the node is sure of at every bound, known as it was made, ends the pass at once.
        if (d.sure == DocNode::Sure::Line && d.lineLow <= line) {
            texts_ += d.lineTexts;
            return fits(d.lineLow, newText(TextTree::Kind::Line, 0, nullptr, nullptr, nullptr, &d));
        }
        if (d.sure == DocNode::Sure::Tall) return tall();
        switch (d.kind) {
        case DocNode::Kind::Empty: return empty();
        case DocNode::Kind::Beside: return besideChain(d, line);
        case DocNode::Kind::Above: return aboveChain(d, line);
        case DocNode::Kind::AboveList: return stacked(d.many->parts, line);
        case DocNode::Kind::Join:
            if (d.left->kind != DocNode::Kind::Dup) return unknown();
            return joinFlat(doc(*d.left->left, line), [&] { return doc(*d.left->right, line); });
        case DocNode::Kind::Filter: return filterFlat(doc(*d.left, line));
        case DocNode::Kind::Indent: return indentFlat(d.amount, doc(*d.left, line - d.amount), line);
        case DocNode::Kind::Apply: return apply(d, line);
        default: return unknown();  // a text too wide, an error, a pair
        }
    }

private:
    // A chain of side-by-side compositions nested to the right: the parts from the left, each
    // at the bound the chain gives it.
    Flat besideChain(const DocNode& d, LayoutInt line) {
        SmallVec<SidePart, 8> parts;
        for (const DocNode* at = &d;; at = at->right.get()) {
            const DocNode& part = at->kind == DocNode::Kind::Beside ? *at->left : *at;
            const Flat f = doc(part, line);
            if (!f.known()) return unknown();
            parts.push_back(SidePart{f, part.sizes, line});
            if (at->kind != DocNode::Kind::Beside) break;
            line -= part.sizes.lastWidth;
        }
        return besideParts(parts);
    }

    // Stacked documents, each at the whole bound.
    template <class Nodes>
    Flat stacked(const Nodes& nodes, LayoutInt line) {
        return stackFlat(
            nodes.size(), [&](std::size_t i) { return nodes[i]->sizes; }, [&](std::size_t i) { return !nodes[i]->mayPair; },
            [&](std::size_t i) { return doc(*nodes[i], line); });
    }

    Flat aboveChain(const DocNode& d, LayoutInt line) {
        SmallVec<const DocNode*, 8> nodes;
        const DocNode* at = &d;
        for (; at->kind == DocNode::Kind::Above; at = at->right.get()) nodes.push_back(at->left.get());
        nodes.push_back(at);
        return stacked(nodes, line);
    }

    Flat apply(const DocNode& d, LayoutInt line) {
        const NodeParts& parts = d.many->parts;
        if (d.many->layout->kind == ParNode::Kind::HvSp) {  // every item at the whole bound
            return hvSp(parts.size(), [&](std::size_t i) {
                const DocNode& p = *parts[i];
                return Item{doc(p, line), p.sizes, !p.mayPair};
            }, line);
        }
        SmallVec<FlatArg, 8> args;
        for (const DocNodeRef& a : parts) args.push_back(FlatArg{a.get(), a->sizes, !a->mayPair, false, Flat{}});
        return par(*d.many->layout, FlatArgs{args.data(), args.size()}, line);
    }

    // The argument's layout, asked for at the bound of one of its places.
    Flat arg(FlatArg& a, LayoutInt line) {
        if (!a.known) {
            a.flat = doc(*a.doc, line);
            a.known = true;
        }
        return a.flat;
    }

    Flat par(const ParNode& p, FlatArgs args, LayoutInt line) {
        if (--steps_ < 0 || depth_ >= kFlatDepth) return unknown();
        const Deeper deeper(depth_);
        switch (p.kind) {
        case ParNode::Kind::Hole: return args.count == 0 ? unknown() : arg(args.items[0], line);
        case ParNode::Kind::Lift: return doc(*p.doc, line);
        case ParNode::Kind::Filter: return filterFlat(par(*p.parts[0], args, line));
        case ParNode::Kind::Join: {
            const ParNode& c = *p.parts[0];
            if (c.kind != ParNode::Kind::Choice || c.parts[0]->params != c.parts[1]->params) return unknown();
            return joinFlat(par(*c.parts[0], args, line), [&] { return par(*c.parts[1], args, line); });
        }
        case ParNode::Kind::Indent: return indentFlat(p.amount, par(*p.parts[0], args, line - p.amount), line);
        case ParNode::Kind::Beside: return parBesideChain(p, args, line);
        case ParNode::Kind::Above: return parAboveChain(p, args, line);
        case ParNode::Kind::Subst: return subst(p, args, line);
        case ParNode::Kind::HvSp: return hvSp(static_cast<std::size_t>(p.params), args, line);
        default: return unknown();  // a pair, or a side of one
        }
    }

    Flat parBesideChain(const ParNode& p, FlatArgs args, LayoutInt line) {
        SmallVec<SidePart, 8> parts;
        for (const ParNode* at = &p;; at = at->parts[1].get()) {
            const ParNode& part = at->kind == ParNode::Kind::Beside ? *at->parts[0] : *at;
            const FlatArgs taken = at->kind == ParNode::Kind::Beside ? args.take(static_cast<std::size_t>(part.params)) : args;
            const Flat f = par(part, taken, line);
            if (!f.known()) return unknown();
            const Sizes s = taken.sizesOf(part);
            parts.push_back(SidePart{f, s, line});
            if (at->kind != ParNode::Kind::Beside) break;
            line -= s.lastWidth;
            args = args.drop(taken.count);
        }
        return besideParts(parts);
    }

    Flat parAboveChain(const ParNode& p, FlatArgs args, LayoutInt line) {
        struct Part {
            const ParNode* node;
            FlatArgs args;
        };
        SmallVec<Part, 8> parts;
        const ParNode* at = &p;
        for (; at->kind == ParNode::Kind::Above; at = at->parts[1].get()) {
            const FlatArgs taken = args.take(static_cast<std::size_t>(at->parts[0]->params));
            parts.push_back(Part{at->parts[0].get(), taken});
            args = args.drop(taken.count);
        }
        parts.push_back(Part{at, args});
        return stackFlat(
            parts.size(), [&](std::size_t i) { return parts[i].args.sizesOf(*parts[i].node); },
            [&](std::size_t i) { return parts[i].args.singleOf(*parts[i].node); },
            [&](std::size_t i) { return par(*parts[i].node, parts[i].args, line); });
    }

    // The inner nodes at the bounds the outer one gives its parameters, then the outer one
    // with their layouts as its arguments.
    Flat subst(const ParNode& p, FlatArgs args, LayoutInt line) {
        const ParNode& outer = *p.parts.front();
        if (outer.params != static_cast<LayoutInt>(p.parts.size() - 1)) return unknown();
        SmallVec<FlatArgs, 8> slices;
        SmallVec<Sizes, 8> innerSizes;
        FlatArgs rest = args;
        for (std::size_t i = 1; i < p.parts.size(); ++i) {
            slices.push_back(rest.take(static_cast<std::size_t>(p.parts[i]->params)));
            innerSizes.push_back(slices.back().sizesOf(*p.parts[i]));
            rest = rest.drop(slices.back().count);
        }
        Bounds outerBounds;
        paramBounds(outer, innerSizes.data(), innerSizes.size(), line, outerBounds);
        SmallVec<FlatArg, 8> inner;
        for (std::size_t i = 1; i < p.parts.size(); ++i) {
            const LayoutInt b = i - 1 < outerBounds.size() ? outerBounds[i - 1] : line;
            const Flat f = par(*p.parts[i], slices[i - 1], b);
            inner.push_back(FlatArg{nullptr, innerSizes[i - 1], slices[i - 1].singleOf(*p.parts[i]), true, f});
        }
        return par(outer, FlatArgs{inner.data(), inner.size()}, line);
    }

    // The joined choice of hvSpList: the items on one line, separated by blanks (all but the
    // last filtered), or stacked.  Only a line that fits is certain to come first.  The items
    // are taken from the left, while the line may still fit.
    struct Item {
        Flat flat;
        Sizes sizes;
        bool single;
    };
    template <class ItemAt>
    Flat hvSp(std::size_t length, ItemAt itemAt, LayoutInt line) {
        SmallVec<Item, 8> items;
        LayoutInt used = 0;
        for (std::size_t i = 0; i < length; ++i) {
            items.push_back(itemAt(i));
            const Flat& f = items.back().flat;
            if (i + 1 < length ? !f.fits() : !f.known()) return unknown();
            used += f.fits() ? f.width + 1 : 0;
            if (used > line + 1) return unknown();
        }
        // The line: each item at its bound, and the blank before each but the first.  (A line
        // that fits leaves every blank room: the bounds count no more than the items' widths.)
        const SmallVec<LayoutInt, 8> lines =
            hvSpLineBounds(length, line, [&](std::size_t i) { return items[i].sizes.lastWidth; });
        SmallVec<SidePart, 16> onLine;
        for (std::size_t i = 0; i < length; ++i) {
            if (i > 0) onLine.push_back(SidePart{fits(1, blankText()), Sizes{1, 1, 1}, lines[i] + 1});
            onLine.push_back(SidePart{items[i].flat, items[i].sizes, lines[i]});
        }
        texts_ += static_cast<LayoutInt>(length) - 1;  // the blanks
        const Flat h = besideParts(onLine);
        if (!h.fits()) return unknown();
        const Flat v = stackFlat(
            length, [&](std::size_t i) { return items[i].sizes; }, [&](std::size_t i) { return items[i].single; },
            [&](std::size_t i) { return items[i].flat; });
        return joinFlat(h, v);
    }

    Flat hvSp(std::size_t length, FlatArgs args, LayoutInt line) {
        if (length > args.count) return unknown();
        return hvSp(length, [&](std::size_t i) {
            FlatArg& a = args.items[i];
            return Item{arg(a, line), a.sizes, a.single};
        }, line);
    }

    // The nesting of the pass's calls, while it lasts.
    struct Deeper {
        explicit Deeper(int& depth) : depth_(depth) { ++depth_; }
        ~Deeper() { --depth_; }
        Deeper(const Deeper&) = delete;
        Deeper& operator=(const Deeper&) = delete;
        int& depth_;
    };

    LayoutInt steps_;
    LayoutInt texts_ = 0;
    int depth_ = 0;
};

}  // namespace

bool flatLayout(const DocNode& d, LayoutInt lineBound, NodeResult& out) {
    FlatWalk walk(lineBound);
    const Flat f = walk.doc(d, lineBound);
    if (!f.fits()) return false;
    countText(walk.texts());
    countCandidate();
    out.sizes = d.sizes;
    out.tooWide = false;
    out.reply = NodeReply{};
    Candidate* c = allocCandidates(1);
    *c = Candidate{1, f.width, f.width, f.text};
    out.reply.first = CandidateList::slice(c, 1);
    return true;
}

}  // namespace plim::pretty_detail
