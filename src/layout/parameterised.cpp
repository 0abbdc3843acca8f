// Parameterised documents: holes, their compositions, choice, application and substitution.
#include <algorithm>

#include "layout/document.h"
#include "layout/rules_internal.h"
#include "layout/engines.h"
#include "layout/nodes.h"

namespace plim {

using namespace pretty_detail;

ParArgs::ParArgs(std::vector<DocAttrs> items)
    : items_(std::make_shared<const std::vector<DocAttrs>>(std::move(items))), count_(items_->size()) {}

ParArgs ParArgs::take(std::size_t n) const {
    ParArgs out = *this;
    out.count_ = std::min(n, count_);
    return out;
}

ParArgs ParArgs::drop(std::size_t n) const {
    ParArgs out = *this;
    const std::size_t k = std::min(n, count_);
    out.offset_ += k;
    out.count_ -= k;
    return out;
}

namespace {

DocAttrs docAttrsOf(const ParAttrs& p) {
    return DocAttrs{p.reply, p.tooWide, p.sizes};
}

ParAttrs withParams(DocAttrs d, List<PageBounds> paramBounds) {
    return ParAttrs{std::move(d.reply), std::move(d.tooWide), std::move(d.sizes), std::move(paramBounds)};
}

List<PageBounds> single(const PageBounds& b) {
    return List<PageBounds>::cons(b, List<PageBounds>());
}

// The bounds of the i-th entry of a list that becomes known later; `fallback` when the
// list is too short.
PageBounds boundsAt(const Lazy<std::vector<PageBounds>>& all, std::size_t i, const PageBounds& fallback) {
    auto pick = [all, i, fallback]() -> const PageBounds& { return i < all->size() ? (*all)[i] : fallback; };
    return PageBounds(delay([pick] { return *pick().lineBound; }), delay([pick] { return *pick().lastLineBound; }));
}

Lazy<std::vector<PageBounds>> vectorOf(const Later<List<PageBounds>>& list) {
    return delay([list] { return toVector(list.get()); });
}

// The parameter bounds of two parts, one after the other.  The lists of parameter bounds are
// built at once: their length follows from the documents' structure alone, while each entry
// keeps its lazy fields.
List<PageBounds> appendBounds(const List<PageBounds>& xs, List<PageBounds> ys) {
    if (xs.empty()) return ys;
    if (xs.tail().empty()) return List<PageBounds>::cons(xs.head(), std::move(ys));  // the usual case
    const std::vector<PageBounds> front = toVector(xs);
    for (auto it = front.rbegin(); it != front.rend(); ++it) ys = List<PageBounds>::cons(*it, std::move(ys));
    return ys;
}

// The larger bounds of each pair of entries, as long as both lists last.  Built when read, so
// that bounds known by then are compared at once.
List<PageBounds> zipMaxBounds(List<PageBounds> xs, List<PageBounds> ys) {
    return List<PageBounds>::defer([xs, ys]() -> List<PageBounds> {
        if (xs.empty() || ys.empty()) return List<PageBounds>();
        return List<PageBounds>::cons(maxBounds(xs.head(), ys.head()), zipMaxBounds(xs.tail(), ys.tail()));
    });
}

// One alternative of a pair-valued argument taken out: `second` picks the second.
ParDoc alternativeHole(bool second) {
    return ParDoc(1, [second](const ParArgs& args, const PageBounds& b) {
        ParAttrs p = parDoc()(args, b);
        Lazy<DocReply> reply = delay([pr = p.reply, second]() -> DocReply {
            const auto* pair = std::get_if<PairReply>(&*pr);
            if (!pair) return *pr;
            return SingleReply{second ? pair->second : pair->first};
        });
        Lazy<bool> tooWide = delay([pt = p.tooWide, pr = p.reply, second] {
            if (*pt) return true;
            const auto* pair = std::get_if<PairReply>(&*pr);
            return pair != nullptr && (second ? pair->secondTooWide : pair->firstTooWide);
        });
        return ParAttrs{reply, tooWide, p.sizes, p.paramBounds};
    });
}

// The same document with its tree of nodes.
ParDoc withNode(const ParDoc& p, ParNodeRef node) {
    return ParDoc(p.paramCount(), [p](const ParArgs& args, const PageBounds& b) { return p(args, b); }, std::move(node));
}

}  // namespace

ParDoc parDoc() {
    static const ParDoc hole(
        1,
        [](const ParArgs& args, const PageBounds& b) {
            if (args.size() == 0) return withParams(missingArgumentAttrs(), single(b));
            return withParams(args[0], single(b));
        },
        holeNode(ParNode::Kind::Hole));
    return hole;
}

ParDoc firstParDoc() {
    static const ParDoc hole = withNode(alternativeHole(false), holeNode(ParNode::Kind::First));
    return hole;
}

ParDoc secondParDoc() {
    static const ParDoc hole = withNode(alternativeHole(true), holeNode(ParNode::Kind::Second));
    return hole;
}

ParDoc liftParDoc(Doc d) {
    ParNodeRef node = allTrees<Doc>({&d}) ? liftNode(d.node()) : nullptr;
    return ParDoc(
        0, [d](const ParArgs&, const PageBounds& b) { return withParams(d(b), List<PageBounds>()); }, std::move(node));
}

ParDoc filterParDoc(ParDoc p) {
    ParNodeRef node = templateNode({&p}, [&] { return parUnaryNode(ParNode::Kind::Filter, p.node()); });
    return ParDoc(
        p.paramCount(),
        [p](const ParArgs& args, const PageBounds& b) {
            ParAttrs t = p(args, b);
            return withParams(filterAttrs(docAttrsOf(t)), t.paramBounds);
        },
        std::move(node));
}

ParDoc besideParDoc(ParDoc left, ParDoc right) {
    ParNodeRef node = templateNode({&left, &right}, [&] { return parBinaryNode(ParNode::Kind::Beside, left.node(), right.node()); });
    return ParDoc(left.paramCount() + right.paramCount(), [left, right](const ParArgs& args, const PageBounds& b) {
        const auto n = static_cast<std::size_t>(left.paramCount());
        Later<Lazy<Sizes>> rightSizes;
        ParAttrs l = left(args.take(n), besideLeftBounds(b, rightSizes));
        ParAttrs r = right(args.drop(n), besideRightBounds(b, l.sizes));
        rightSizes.define(r.sizes);
        return withParams(besideAttrs(docAttrsOf(l), docAttrsOf(r), b), appendBounds(l.paramBounds, r.paramBounds));
    }, std::move(node));
}

ParDoc aboveParDoc(ParDoc upper, ParDoc lower) {
    ParNodeRef node = templateNode({&upper, &lower}, [&] { return parBinaryNode(ParNode::Kind::Above, upper.node(), lower.node()); });
    return ParDoc(upper.paramCount() + lower.paramCount(), [upper, lower](const ParArgs& args, const PageBounds& b) {
        const auto n = static_cast<std::size_t>(upper.paramCount());
        ParAttrs u = upper(args.take(n), b);
        ParAttrs d = lower(args.drop(n), b);
        return withParams(aboveAttrs(docAttrsOf(u), docAttrsOf(d)), appendBounds(u.paramBounds, d.paramBounds));
    }, std::move(node));
}

ParDoc joinParDoc(ParDoc p) {
    ParNodeRef node = templateNode({&p}, [&] { return parUnaryNode(ParNode::Kind::Join, p.node()); });
    return ParDoc(
        p.paramCount(),
        [p](const ParArgs& args, const PageBounds& b) {
            ParAttrs t = p(args, b);
            return withParams(joinAttrs(docAttrsOf(t)), t.paramBounds);
        },
        std::move(node));
}

ParDoc indentParDoc(LayoutInt n, ParDoc p) {
    ParNodeRef node = templateNode({&p}, [&] { return parUnaryNode(ParNode::Kind::Indent, p.node(), n); });
    return ParDoc(
        p.paramCount(),
        [n, by = Lazy<LayoutInt>(n), p](const ParArgs& args, const PageBounds& b) {
            ParAttrs t = p(args, shrinkBounds(n, b));
            return withParams(indentAttrs(by, docAttrsOf(t), b), t.paramBounds);
        },
        std::move(node));
}

ParDoc choiceParDoc(ParDoc left, ParDoc right) {
    ParNodeRef node = templateNode({&left, &right}, [&] { return parBinaryNode(ParNode::Kind::Choice, left.node(), right.node()); });
    return ParDoc(left.paramCount(), [left, right](const ParArgs& args, const PageBounds& b) {
        const LayoutInt n = left.paramCount();
        const LayoutInt m = right.paramCount();
        ParAttrs l = left(args, b);
        ParAttrs r = right(args, b);
        Lazy<Sizes> sizes = combineSizes(l.sizes, r.sizes, [](const Sizes& ls, const Sizes& rs) {
            return Sizes{std::max(ls.height, rs.height), std::min(ls.lastWidth, rs.lastWidth),
                         std::min(ls.width, rs.width)};
        });
        Lazy<bool> tooWide = delay([n, m, lt = l.tooWide, rt = r.tooWide] { return n != m || (*lt && *rt); });
        Lazy<DocReply> reply = delay([n, m, l, r, sizes]() -> DocReply {
            if (n != m) return SingleReply{textFormats(choiceCountError(n, m))};
            if (!*l.tooWide) return PairReply{alternativeFormats(*l.reply), alternativeFormats(*r.reply), false, *r.tooWide};
            if (!*r.tooWide) return PairReply{alternativeFormats(*l.reply), alternativeFormats(*r.reply), true, false};
            return SingleReply{textFormats(markerText(sizes->width))};
        });
        return ParAttrs{reply, tooWide, sizes, zipMaxBounds(l.paramBounds, r.paramBounds)};
    }, std::move(node));
}

Doc applyParDoc(ParDoc p, std::vector<Doc> args) {
    if (allTrees<ParDoc>({&p}) && allTrees(args)) return Doc(applyNode(p.node(), takeNodes(args)));
    return Doc([p, args = std::move(args)](const PageBounds& b) {
        const LayoutInt n = p.paramCount();
        const auto m = static_cast<LayoutInt>(args.size());
        if (n != m) return errorAttrs(applyCountError(n, m));
        // Each argument is laid out once, at the bounds its parameter asks for; every use of
        // the parameter (in either alternative of a choice) reads these same attributes.
        Later<List<PageBounds>> paramBounds;
        Lazy<std::vector<PageBounds>> all = vectorOf(paramBounds);
        std::vector<DocAttrs> laidOut;
        laidOut.reserve(args.size());
        for (std::size_t i = 0; i < args.size(); ++i) laidOut.push_back(args[i](boundsAt(all, i, b)));
        ParAttrs attrs = p(ParArgs(std::move(laidOut)), b);
        paramBounds.define(attrs.paramBounds);
        return docAttrsOf(attrs);
    });
}

namespace {

ParDocListAttrs evalParDocList(const std::vector<ParDoc>& docs, const ParArgs& args,
                               const Lazy<std::vector<PageBounds>>& bounds, const PageBounds& fallback) {
    ParDocListAttrs out;
    std::vector<List<PageBounds>> nested;
    ParArgs rest = args;
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const auto c = static_cast<std::size_t>(docs[i].paramCount());
        ParAttrs e = docs[i](rest.take(c), boundsAt(bounds, i, fallback));
        rest = rest.drop(c);
        out.elements.push_back(docAttrsOf(e));
        nested.push_back(e.paramBounds);
        out.paramTotal += docs[i].paramCount();
    }
    out.count = static_cast<LayoutInt>(docs.size());
    for (auto it = nested.rbegin(); it != nested.rend(); ++it) out.paramBounds = appendBounds(*it, out.paramBounds);
    return out;
}

}  // namespace

ParDocListAttrs parDocList(const std::vector<ParDoc>& docs, const ParArgs& args, List<PageBounds> bounds) {
    Lazy<std::vector<PageBounds>> all = delay([bounds] { return toVector(bounds); });
    return evalParDocList(docs, args, all, unboundedBounds());
}

ParDoc substParDoc(ParDoc outer, std::vector<ParDoc> inners) {
    LayoutInt total = 0;
    for (const ParDoc& d : inners) total += d.paramCount();
    ParNodeRef node = templateNode({&outer}, [&]() -> ParNodeRef {
        if (!allTrees(inners)) return nullptr;
        std::vector<ParNodeRef> innerNodes;
        for (const ParDoc& d : inners) innerNodes.push_back(d.node());
        return substNode(outer.node(), std::move(innerNodes));
    });
    return ParDoc(total, [outer, inners = std::move(inners)](const ParArgs& args, const PageBounds& b) {
        Later<List<PageBounds>> outerBounds;
        ParDocListAttrs inner = evalParDocList(inners, args, vectorOf(outerBounds), b);
        ParAttrs o = outer(ParArgs(inner.elements), b);
        outerBounds.define(o.paramBounds);
        const LayoutInt n = outer.paramCount();
        if (n != inner.count) return withParams(errorAttrs(applyCountError(n, inner.count)), inner.paramBounds);
        return ParAttrs{o.reply, o.tooWide, o.sizes, inner.paramBounds};
    }, std::move(node));
}

}  // namespace plim
