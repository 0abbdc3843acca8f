// The layout of the node engine's templates (parameterised nodes) filled with laid-out
// arguments.
#include "layout/nodes_internal.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <set>
#include <utility>

#include "support/block_pool.h"
#include "layout/rules_internal.h"

namespace plim::pretty_detail {
// --- parameterised nodes ---------------------------------------------------------------------

namespace {

void substParamBounds(const ParNode& p, const Sizes* sizes, std::size_t count, LayoutInt line,
                      Bounds& out) {
    const ParNode& outer = *p.parts.front();
    SmallVec<Sizes, 8> inner;
    std::size_t at = 0;
    for (std::size_t i = 1; i < p.parts.size(); ++i) {
        const auto c = static_cast<std::size_t>(p.parts[i]->params);
        const std::size_t from = std::min(at, count);
        inner.push_back(parSizes(*p.parts[i], sizes + from, std::min(c, count - from)));
        at += c;
    }
    Bounds outerBounds;
    paramBounds(outer, inner.data(), inner.size(), line, outerBounds);
    at = 0;
    for (std::size_t i = 1; i < p.parts.size(); ++i) {
        const auto c = static_cast<std::size_t>(p.parts[i]->params);
        const std::size_t from = std::min(at, count);
        const LayoutInt b = i - 1 < outerBounds.size() ? outerBounds[i - 1] : line;
        paramBounds(*p.parts[i], sizes + from, std::min(c, count - from), b, out);
        at += c;
    }
}

// On one line each item starts after the ones before it and their blanks; stacked, each has
// the whole line.  The joined choice gives each the larger bound.
void hvSpParamBounds(std::size_t length, const Sizes* sizes, std::size_t count, LayoutInt line, Bounds& out) {
    LayoutInt h = line;
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(std::max(h, line));
        h -= (i < count ? sizes[i].lastWidth : 0) + 1;
    }
}

}  // namespace

void paramBounds(const ParNode& p, const Sizes* sizes, std::size_t count, LayoutInt line, Bounds& out) {
    switch (p.kind) {
    case ParNode::Kind::Hole:
    case ParNode::Kind::First:
    case ParNode::Kind::Second: out.push_back(line); return;
    case ParNode::Kind::Lift: return;
    case ParNode::Kind::Filter:
    case ParNode::Kind::Join: paramBounds(*p.parts[0], sizes, count, line, out); return;
    case ParNode::Kind::Indent: paramBounds(*p.parts[0], sizes, count, line - p.amount, out); return;
    case ParNode::Kind::Beside:
    case ParNode::Kind::Above: {
        // A chain of the same composition nested to the right, in a loop; the right part of a
        // side-by-side composition starts after the left one's last line.
        const ParNode* at = &p;
        while (at->kind == p.kind) {
            const auto n = std::min(static_cast<std::size_t>(at->parts[0]->params), count);
            paramBounds(*at->parts[0], sizes, n, line, out);
            if (p.kind == ParNode::Kind::Beside) line -= parSizes(*at->parts[0], sizes, n).lastWidth;
            sizes += n;
            count -= n;
            at = at->parts[1].get();
        }
        paramBounds(*at, sizes, count, line, out);
        return;
    }
    case ParNode::Kind::Choice: {
        Bounds l, r;
        paramBounds(*p.parts[0], sizes, count, line, l);
        paramBounds(*p.parts[1], sizes, count, line, r);
        for (std::size_t i = 0; i < l.size() && i < r.size(); ++i) out.push_back(std::max(l[i], r[i]));
        return;
    }
    case ParNode::Kind::Subst: substParamBounds(p, sizes, count, line, out); return;
    case ParNode::Kind::HvSp: hvSpParamBounds(static_cast<std::size_t>(p.params), sizes, count, line, out); return;
    }
}

namespace {

// The sizes of p filled with the arguments.
Sizes argSizes(const ParNode& p, Args args) {
    SmallVec<Sizes, 4> sizes;
    for (std::size_t k = 0; k < args.count; ++k) sizes.push_back(args.items[k].sizes);
    return parSizes(p, sizes.data(), sizes.size());
}

NodeResult holeResult(const ParNode& p, Args args) {
    if (args.count == 0) {
        NodeResult missing;
        missing.tooWide = true;
        return missing;
    }
    NodeResult r = args.items[0];
    if (p.kind == ParNode::Kind::Hole || !r.reply.pair) return r;
    const bool second = p.kind == ParNode::Kind::Second;
    const bool flag = second ? r.reply.secondTooWide : r.reply.firstTooWide;
    r.reply = single(second ? std::move(r.reply.second) : std::move(r.reply.first));
    r.tooWide = r.tooWide || flag;
    return r;
}

NodeResult substResult(const ParNode& p, Args args, LayoutInt line) {
    const ParNode& outer = *p.parts.front();
    // The inner documents are laid out at the bounds the outer one gives its parameters.
    SmallVec<Sizes, 8> innerSizes;
    Args rest = args;
    SmallVec<Args, 8> slices;
    for (std::size_t i = 1; i < p.parts.size(); ++i) {
        const auto c = static_cast<std::size_t>(p.parts[i]->params);
        slices.push_back(rest.take(c));
        SmallVec<Sizes, 8> s;
        for (std::size_t k = 0; k < slices.back().count; ++k) s.push_back(slices.back().items[k].sizes);
        innerSizes.push_back(parSizes(*p.parts[i], s.data(), s.size()));
        rest = rest.drop(c);
    }
    Bounds outerBounds;
    paramBounds(outer, innerSizes.data(), innerSizes.size(), line, outerBounds);
    SmallVec<NodeResult, 8> inner;
    for (std::size_t i = 1; i < p.parts.size(); ++i) {
        const LayoutInt b = i - 1 < outerBounds.size() ? outerBounds[i - 1] : line;
        inner.push_back(layOutPar(*p.parts[i], slices[i - 1], b));
    }
    const auto count = static_cast<LayoutInt>(inner.size());
    if (outer.params != count) return errorResult(applyCountError(outer.params, count));
    return layOutPar(outer, Args{inner.data(), inner.size()}, line);
}

// A chain of the same composition nested to the right, laid out in a loop.
NodeResult parChainResult(const ParNode& p, Args args, LayoutInt line) {
    // The bounds from the parts' sizes, left to right; the layouts from the right.
    struct Left {
        const ParNode* part;
        Args args;
        LayoutInt line;
    };
    SmallVec<Left, 4> lefts;
    const ParNode* at = &p;
    while (at->kind == p.kind) {
        const ParNode& part = *at->parts[0];
        const Args taken = args.take(static_cast<std::size_t>(part.params));
        lefts.push_back(Left{&part, taken, line});
        if (p.kind == ParNode::Kind::Beside) line -= argSizes(part, taken).lastWidth;
        args = args.drop(taken.count);
        at = at->parts[1].get();
    }
    NodeResult acc = layOutPar(*at, args, line);
    const CandidateMark mark = candidateMark();
    for (auto it = lefts.rbegin(); it != lefts.rend(); ++it) {
        const NodeResult left = layOutPar(*it->part, it->args, it->line);
        acc = p.kind == ParNode::Kind::Beside ? besideResult(left, acc, it->line) : aboveResult(left, acc, kAll);
        compactTo(acc, mark);
    }
    return acc;
}

// The leading one-line candidates of a single list whose other candidates all have two lines or
// more, as `out` (a document without lines as it is); false for any other reply.
bool lineRun(const NodeResult& r, NodeResult& out) {
    if (r.reply.pair) return false;
    out = r;
    if (r.sizes.height == 0) return true;
    const CandidateList& cs = r.reply.first;
    std::size_t n = 0;
    while (n < cs.size() && cs[n].height == 1) ++n;
    for (std::size_t i = n; i < cs.size(); ++i)
        if (cs[i].height < 2) return false;
    out.reply.first.resize(n);
    return true;
}

// The filtered chain of parameters side by side, where each argument is a single list whose
// one-line candidates come first: the one-line candidates of the chain then come first too (two
// parts side by side make one line only where both are one line, and the merges take fewer
// lines first) and are made from the parts' one-line candidates alone, which is all the filter
// keeps.  They are built with the pruning the whole lists would have had.  False, with nothing
// done, for any other chain.
bool lineChainResult(const ParNode& p, Args args, LayoutInt line, NodeResult& out) {
    if (p.kind != ParNode::Kind::Beside) return false;
    struct Part {
        const NodeResult* arg;
        LayoutInt line;
    };
    SmallVec<Part, 8> parts;
    for (const ParNode* at = &p;; at = at->parts[1].get()) {
        const ParNode& part = at->kind == ParNode::Kind::Beside ? *at->parts[0] : *at;
        if (part.kind != ParNode::Kind::Hole || args.count == 0) return false;
        parts.push_back(Part{args.items, line});
        line -= args.items[0].sizes.lastWidth;
        args = args.drop(1);
        if (at->kind != ParNode::Kind::Beside) break;
    }
    SmallVec<NodeResult, 8> runs;
    for (const Part& q : parts) {
        runs.push_back(NodeResult{});
        if (!lineRun(*q.arg, runs.back())) return false;
    }
    NodeResult acc = runs.back();
    const CandidateMark mark = candidateMark();
    for (std::size_t i = parts.size() - 1; i-- > 0;) {
        acc = besideResult(runs[i], acc, parts[i].line, parts[i].arg->reply.first.size());
        compactTo(acc, mark);
    }
    out = std::move(acc);
    return true;
}

// The layout of hvSpNode(length), in the order the three nodes per item would give it: the
// line from the right (each item filtered but the last), the stack from the bottom.
// The blank between two items on the line, at the given bound.
NodeResult spaceResult(LayoutInt line) {
    static const DocNodeRef space = textNode(" ");
    if (line < 1) return layOut(*space, line);
    countText();
    NodeResult out;
    out.sizes = space->sizes;
    out.reply = single(CandidateList{Candidate{1, 1, 1, blankText()}});
    return out;
}

// Whether the line of hvSpResult is too wide, read off the flags of its parts as its
// compositions would combine them: a blank with no room, an item before the last that is not a
// single line of its own (filtered), or the last item too wide.
bool hvSpLineTooWide(std::size_t length, Args args, const SmallVec<LayoutInt, 8>& lines) {
    if (length > args.count || args.items[length - 1].tooWide) return true;
    for (std::size_t i = 0; i + 1 < length; ++i) {
        const NodeResult& a = args.items[i];
        const bool oneLine = !a.reply.pair && !a.reply.first.empty() && a.reply.first.front().height <= 1;
        if (lines[i + 1] + 1 < 1 || !oneLine || a.tooWide) return true;
    }
    return false;
}

// hvSpResult where every item has one layout, a line, and is not too wide (as most short
// lists of names and operators do): the line, where it fits, and the stack, each built once,
// with the counts and the texts of the general rules.  False (nothing counted) where they do
// not apply.
bool hvSpOfLines(std::size_t length, Args args, const SmallVec<LayoutInt, 8>& lines, NodeResult& out) {
    if (length < 2 || args.count < length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        const NodeResult& a = args.items[i];
        if (a.reply.pair || a.tooWide || a.reply.first.size() != 1 || a.reply.first[0].height != 1 ||
            a.sizes.height == 0)
            return false;
        if (i > 0 && lines[i] + 1 < 1) return false;  // no room for the blank before it
    }
    TextArena& arena = *currentArena;
    // The stack, then the line, as the general rules build them.
    Candidate v = args.items[length - 1].reply.first[0];
    Sizes vSizes = args.items[length - 1].sizes;
    for (std::size_t i = length - 1; i-- > 0;) {
        const Candidate& x = args.items[i].reply.first[0];
        countCandidate();
        v = Candidate{x.height + v.height, v.lastWidth, std::max(x.width, v.width),
                 arena.make(TextTree::Kind::Above, 0, x.text, v.text, nullptr)};
        vSizes = aboveSizes(args.items[i].sizes, vSizes);
    }
    Candidate h = args.items[length - 1].reply.first[0];
    bool line = true;
    for (std::size_t i = length - 1; i-- > 0;) {
        countText();  // the blank
        if (!line) continue;
        const LayoutInt blankBound = lines[i + 1] + 1;
        line = 1 + h.width <= blankBound;
        if (!line) continue;
        countCandidate();
        const Candidate& x = args.items[i].reply.first[0];
        line = x.width <= lines[i] && std::max(x.width, x.lastWidth + 1 + h.width) <= lines[i];
        if (!line) continue;
        countCandidate();
        const TextTree* rest = arena.make(TextTree::Kind::Beside, 1, blankText(), h.text, nullptr);
        h = Candidate{1, x.lastWidth + 1 + h.lastWidth, std::max(x.width, x.lastWidth + 1 + h.width),
                 arena.make(TextTree::Kind::Beside, x.lastWidth, x.text, rest, nullptr)};
    }
    const Sizes hSizes = hvSpLineSizes(length, [&](std::size_t i) { return args.items[i].sizes; });
    // The line comes first, having one line; the stack follows, as the line is wider.
    const std::size_t n = line ? 2 : 1;
    Candidate* cs = allocCandidates(n);
    cs[0] = h;
    cs[n - 1] = v;
    out = NodeResult{};
    out.sizes = choiceSizes(hSizes, vSizes);
    out.reply.first = CandidateList::slice(cs, n);
    return true;
}

NodeResult hvSpResult(std::size_t length, Args args, LayoutInt line) {
    static const ParNode hole;
    const auto arg = [&](std::size_t i) { return holeResult(hole, args.drop(i)); };
    const SmallVec<LayoutInt, 8> lines = hvSpLineBounds(
        length, line, [&](std::size_t i) { return i < args.count ? args.items[i].sizes.lastWidth : 0; });
    if (NodeResult quick; hvSpOfLines(length, args, lines, quick)) return quick;
    NodeResult v = arg(length - 1);
    const CandidateMark stackMark = candidateMark();
    for (std::size_t i = length - 1; i-- > 0;) {
        v = aboveResult(arg(i), v, kAll);
        compactTo(v, stackMark);
    }
    const auto n = static_cast<LayoutInt>(length);
    // A line that is too wide loses to a stack that is not, unless the stack has no candidates:
    // then it need not be built.
    const Sizes hSizes =
        hvSpLineSizes(length, [&](std::size_t i) { return i < args.count ? args.items[i].sizes : Sizes{}; });
    if (hvSpLineTooWide(length, args, lines)) {
        NodeResult out;
        out.sizes = choiceSizes(hSizes, v.sizes);
        out.tooWide = v.tooWide;
        if (v.tooWide) out.reply = single(markerCandidates(out.sizes.width));
        else out.reply = single(alternative(v.reply));
        if (v.tooWide || !out.reply.first.empty()) return out;
    }
    NodeResult h = arg(length - 1);
    const CandidateMark lineMark = candidateMark();
    for (std::size_t i = length - 1; i-- > 0;) {
        h = besideResult(spaceResult(lines[i + 1] + 1), h, lines[i + 1] + 1);
        h = besideResult(filterResult(arg(i)), h, lines[i]);
        compactTo(h, lineMark);
    }
    return joinResult(choiceResult(h, v, n, n), kAll);
}

}  // namespace

NodeResult layOutPar(const ParNode& p, Args args, LayoutInt line) {
    switch (p.kind) {
    case ParNode::Kind::Hole:
    case ParNode::Kind::First:
    case ParNode::Kind::Second: return holeResult(p, args);
    case ParNode::Kind::Lift: return layOut(*p.doc, line);
    case ParNode::Kind::Filter: {
        NodeResult lines;
        if (lineChainResult(*p.parts[0], args, line, lines)) return filterResult(std::move(lines));
        return filterResult(layOutPar(*p.parts[0], args, line));
    }
    case ParNode::Kind::Join: return joinResult(layOutPar(*p.parts[0], args, line), kAll);
    case ParNode::Kind::Indent:
        return indentResult(p.amount, layOutPar(*p.parts[0], args, line - p.amount), line);
    case ParNode::Kind::Beside:
    case ParNode::Kind::Above: return parChainResult(p, args, line);
    case ParNode::Kind::Choice:
        return choiceResult(layOutPar(*p.parts[0], args, line), layOutPar(*p.parts[1], args, line), p.parts[0]->params,
                            p.parts[1]->params);
    case ParNode::Kind::Subst: return substResult(p, args, line);
    case ParNode::Kind::HvSp: return hvSpResult(static_cast<std::size_t>(p.params), args, line);
    }
    return NodeResult{};
}

}  // namespace plim::pretty_detail
