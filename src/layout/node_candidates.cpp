// The candidate lists of the node engine and the attribute rules of its compositions.
#include "layout/nodes_internal.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace plim::pretty_detail {
// --- candidate lists -------------------------------------------------------------------------

Candidate textCandidate(const TextTree* t) {
    const LayoutInt n = t->shift;
    return Candidate{1, n, n, t};
}

CandidateList textCandidates(const std::string& s) { return CandidateList::one(textCandidate(leafText(s))); }

// A long marker is spelled out only when it is rendered: every part of a long line that does not fit has its own.
const TextTree* markerText(LayoutInt n) {
    if (n <= 2) {  // "", "*" or "<>", shared by all layouts
        static constexpr TextTree shortMarkers[3] = {sharedLeaf("", 0), sharedLeaf("*", 1), sharedLeaf("<>", 2)};
        return &shortMarkers[n == 0 || n == 1 ? n : 2];
    }
    return currentArena->make(TextTree::Kind::Marker, n, nullptr, nullptr, nullptr);
}

CandidateList markerCandidates(LayoutInt n) { return CandidateList::one(textCandidate(markerText(n))); }

NodeReply single(CandidateList cs) {
    NodeReply r;
    r.first = std::move(cs);
    return r;
}

NodeReply errorReplyOf(const char* text) { return single(textCandidates(text)); }

bool takesFirst(const Candidate& x, const Candidate& y) {
    if (x.height != y.height) return x.height < y.height;
    if (x.width != y.width) return x.width < y.width;
    return x.lastWidth == y.lastWidth;
}

bool sameSizes(const Candidate& x, const Candidate& y) {
    return x.height == y.height && x.width == y.width && x.lastWidth == y.lastWidth;
}

CandidateList mergeCandidates(const CandidateList& xs, const CandidateList& ys) {
    Candidate* out = allocCandidates(xs.size() + ys.size());
    std::size_t n = 0, i = 0, j = 0;
    while (i < xs.size() && j < ys.size()) {
        const Candidate& x = xs[i];
        const Candidate& y = ys[j];
        if (!takesFirst(x, y)) {
            out[n++] = ys[j++];
            continue;
        }
        out[n++] = xs[i++];
        if (sameSizes(x, y)) ++j;
    }
    for (; i < xs.size(); ++i) out[n++] = xs[i];
    for (; j < ys.size(); ++j) out[n++] = ys[j];
    return CandidateList::slice(out, n);
}

namespace {

// firstWithin while the room of the bound is kept (see BoundRoom): for the first product within it and the narrowest of
// those wider, as x's own width decides nothing more (no product is narrower than it).
[[gnu::noinline]] std::size_t firstWithinKeepingRoom(LayoutInt bound, const Candidate& x, const CandidateList& ys) {
    if (x.width > bound) {
        keepRoom(x.width, bound, false);
        return ys.size();
    }
    std::size_t j = 0;
    LayoutInt narrowest = std::numeric_limits<LayoutInt>::max();
    for (; j < ys.size(); ++j) {
        const LayoutInt w = std::max(x.width, x.lastWidth + ys[j].width);
        if (w <= bound) {
            keepRoom(w, bound, true);
            break;
        }
        narrowest = std::min(narrowest, w);
    }
    if (j != 0) keepRoom(narrowest, bound, false);
    return j;
}

// Where the products of x with ys within the bound begin: after the leading ones wider than it (none, if x is wider).
std::size_t firstWithin(LayoutInt bound, const Candidate& x, const CandidateList& ys) {
    if (boundTracking) [[unlikely]]
        return firstWithinKeepingRoom(bound, x, ys);
    if (x.width > bound) return ys.size();
    std::size_t j = 0;
    while (j < ys.size() && std::max(x.width, x.lastWidth + ys[j].width) > bound) ++j;
    return j;
}

// The sizes of the product of x and y; its text is made where it is kept (withText).
Candidate productSizes(const Candidate& x, const Candidate& y) {
    return Candidate{x.height + y.height - 1, x.lastWidth + y.lastWidth, std::max(x.width, x.lastWidth + y.width), nullptr};
}

Candidate withText(TextArena& a, Candidate p, const Candidate& x, const Candidate& y) {
    p.text = a.make(TextTree::Kind::Beside, x.lastWidth, x.text, y.text, nullptr);
    return p;
}

// The products of x with ys[from..] merged into those of the later candidates of its list, block[s, e), as
// mergeCandidates would (a product with fewer lines than `atLeast`, the next candidate's height, goes before them all),
// in place: the row goes in front, into the room below s, which holds it whole. A merged candidate never moves past one
// not yet read, as each step writes one and reads one or takes one of the row's. Where candidates of the list were
// dropped (equal sizes), the ones before the gap move up to it.
void mergeRowInPlace(const Candidate& x, const CandidateList& ys, std::size_t from, LayoutInt atLeast, Candidate* block,
                     std::size_t& s, std::size_t& e) {
    TextArena& a = *currentArena;
    const std::size_t n = ys.size() - from;
    const std::size_t start = s - n;
    std::size_t o = start, j = s, k = 0;
    while (k < n) {
        const Candidate& y = ys[from + k];
        const Candidate p = productSizes(x, y);
        if (p.height >= atLeast) {
            if (j == e) break;
            if (!takesFirst(p, block[j])) {
                block[o++] = block[j++];
                continue;
            }
            if (sameSizes(p, block[j])) ++j;
        }
        block[o++] = withText(a, p, x, y);
        ++k;
    }
    if (k < n) {  // the list ran out: the rest of the row follows
        for (; k < n; ++k) block[o++] = withText(a, productSizes(x, ys[from + k]), x, ys[from + k]);
        s = start;
        e = o;
        return;
    }
    if (o != j) std::copy_backward(block + start, block + o, block + j);
    s = start + (j - o);
}

}  // namespace

// The list is one the caller has just built and holds alone: the kept candidates are moved down in place. Those of
// fewer lines are kept as a staircase from the widest down (widths decreasing, last widths increasing), so that the
// one that could make a candidate useless is the widest step no wider than it. Layouts grow narrower as they grow
// taller, so a candidate is mostly compared with the last step alone and a kept one goes at the end: linear in the
// list. A list out of height order is kept as it is from there on.
CandidateList pruned(CandidateList xs) {
    if (xs.size() < 2) return xs;
    struct Step {
        LayoutInt width;
        LayoutInt lastWidth;
    };
    static thread_local std::vector<Step> stairs;  // kept for its room
    std::vector<Step>& shorter = stairs;
    shorter.clear();
    // The first step no wider than w, where the steps are not empty.
    const auto firstNoWider = [&](LayoutInt w) {
        if (shorter.back().width > w) return shorter.end();
        if (shorter.front().width <= w) return shorter.begin();
        return std::partition_point(shorter.begin(), shorter.end(), [w](const Step& s) { return s.width > w; });
    };
    const auto useless = [&](const Candidate& f) {
        if (shorter.empty()) return false;
        const auto at = firstNoWider(f.width);
        return at != shorter.end() && at->lastWidth <= f.lastWidth;
    };
    // A candidate of the level just closed as a step, in place of the steps it makes useless.
    const auto keep = [&](const Candidate& f) {
        if (useless(f)) return;
        const auto noNarrower = [&](const Step& s) { return s.width >= f.width; };
        const auto end = shorter.empty() || noNarrower(shorter.back()) ? shorter.end()
                                                                        : std::partition_point(shorter.begin(), shorter.end(), noNarrower);
        const auto from = std::partition_point(shorter.begin(), end, [&](const Step& s) { return s.lastWidth < f.lastWidth; });
        if (from == end) {
            shorter.insert(from, Step{f.width, f.lastWidth});
            return;
        }
        *from = Step{f.width, f.lastWidth};
        shorter.erase(from + 1, end);
    };
    // One of the same sizes kept at this height: where the level's widths have not decreased so far, only among the
    // last ones kept, of its width (so that a level costs each candidate a look or two), else any.
    bool widthOrder = true;  // the level's widths so far in order
    const auto kept = [&](std::size_t level, std::size_t n, const Candidate& f) {
        if (!widthOrder) return std::any_of(xs.begin() + level, xs.begin() + n, [&](const Candidate& s) { return sameSizes(s, f); });
        for (std::size_t k = n; k-- > level && xs[k].width == f.width;)
            if (sameSizes(xs[k], f)) return true;
        return false;
    };
    LayoutInt height = xs[0].height;
    LayoutInt lastWidth = xs[0].width;  // of the level's last candidate read
    std::size_t level = 0;  // where the kept candidates of the current height begin
    std::size_t n = 1;      // the kept candidates, moved down to the front
    std::size_t i = 1;
    for (; i < xs.size(); ++i) {
        const Candidate& f = xs[i];
        if (f.height < height) break;
        if (f.height > height) {
            for (std::size_t k = level; k < n; ++k) keep(xs[k]);
            level = n;
            height = f.height;
            widthOrder = true;
        } else {
            widthOrder = widthOrder && f.width >= lastWidth;
            if (kept(level, n, f)) {
                lastWidth = f.width;
                continue;
            }
        }
        lastWidth = f.width;
        if (useless(f)) continue;
        xs[n++] = f;
    }
    for (; i < xs.size(); ++i) xs[n++] = xs[i];
    xs.resize(n);
    return xs;
}

// The products of x with ys after the leading ones wider than the bound.
CandidateList besideRow(LayoutInt bound, const Candidate& x, const CandidateList& ys) {
    const std::size_t j = firstWithin(bound, x, ys);
    const std::size_t n = ys.size() - j;
    if (n == 0) return {};
    TextArena& a = *currentArena;
    Candidate* row = a.cands(n);
    countCandidates(static_cast<LayoutInt>(n));  // no text is counted among them
    for (std::size_t k = 0; k < n; ++k) row[k] = withText(a, productSizes(x, ys[j + k]), x, ys[j + k]);
    return CandidateList::slice(row, n);
}

// The products of xs and ys, pruned where xs has more than one candidate: the rows of each x, from the last, each
// merged into those after it as mergeCandidates would (with the next x's height), in one block.
CandidateList besideCandidates(LayoutInt bound, const CandidateList& xs, const CandidateList& ys) {
    if (xs.size() < 2) return xs.empty() ? CandidateList{} : besideRow(bound, xs.front(), ys);
    static thread_local std::vector<std::size_t> rowStarts;  // kept for its room
    rowStarts.resize(xs.size());
    std::size_t total = 0;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        rowStarts[i] = firstWithin(bound, xs[i], ys);
        total += ys.size() - rowStarts[i];
    }
    if (total == 0) return {};
    Candidate* block = currentArena->cands(total);
    countCandidates(static_cast<LayoutInt>(total));  // no text is counted among them
    std::size_t s = total, e = total;
    for (std::size_t i = xs.size(); i-- > 0;) {
        if (rowStarts[i] == ys.size()) continue;  // a row without products leaves the list as it is
        const LayoutInt atLeast = i + 1 < xs.size() ? xs[i + 1].height : std::numeric_limits<LayoutInt>::min();
        mergeRowInPlace(xs[i], ys, rowStarts[i], atLeast, block, s, e);
    }
    return pruned(CandidateList::slice(block + s, e - s));
}

// The stacks of xs over ys, counted at once, as no text is between.
CandidateList aboveCandidates(const CandidateList& xs, const CandidateList& ys, std::size_t need) {
    if (xs.empty() || ys.empty()) return CandidateList{};
    const std::size_t most = std::min(need, xs.size() + ys.size() - 1);  // each stack advances one of the two
    TextArena& a = *currentArena;
    Candidate* out = a.cands(most);
    std::size_t n = 0, i = 0, j = 0;
    while (i < xs.size() && j < ys.size() && n < most) {
        const Candidate& x = xs[i];
        const Candidate& y = ys[j];
        out[n++] = Candidate{x.height + y.height, y.lastWidth, std::max(x.width, y.width),
                             a.make(TextTree::Kind::Above, 0, x.text, y.text, nullptr)};
        if (x.width >= y.width) ++i;
        else ++j;
    }
    countCandidates(static_cast<LayoutInt>(n));
    const CandidateList stacks = CandidateList::slice(out, n);
    return need != kAll || (xs.size() < 2 && ys.size() < 2) ? stacks : pruned(stacks);
}

CandidateList alternative(const NodeReply& r) { return r.pair ? textCandidates(kDupDupError) : r.first; }

// --- attribute rules -------------------------------------------------------------------------

// Two parts' replies combined list by list: a single reply with a pair gives a pair, two pairs the error text.
template <class Combine>
NodeReply combineReplies(const NodeReply& a, const NodeReply& b, Combine combine, const char* pairsError) {
    if (!a.pair && !b.pair) return single(combine(a.first, b.first));
    if (!a.pair) return NodeReply{true, combine(a.first, b.first), combine(a.first, b.second), b.firstTooWide, b.secondTooWide};
    if (!b.pair) return NodeReply{true, combine(a.first, b.first), combine(a.second, b.first), a.firstTooWide, a.secondTooWide};
    return errorReplyOf(pairsError);
}

NodeResult besideResult(const NodeResult& l, const NodeResult& r, LayoutInt line) {
    NodeResult out;
    out.sizes = besideSizes(l.sizes, r.sizes);
    out.tooWide = l.tooWide || r.tooWide || (l.reply.pair && r.reply.pair);
    auto product = [&](const CandidateList& x, const CandidateList& y) -> CandidateList {
        if (l.sizes.height == 0) return y;
        if (r.sizes.height == 0) return x;
        const bool bounded = !l.tooWide && !r.tooWide;
        return besideCandidates(bounded ? line : std::numeric_limits<LayoutInt>::max(), x, y);
    };
    out.reply = combineReplies(l.reply, r.reply, product, kBesidePairsError);
    return out;
}

namespace {

// The room of the comparisons (see BoundRoom) that dropped ys[start, from) as too wide after `before` columns, and of
// the one that kept ys[from], if any.
[[gnu::noinline]] void keepProductsRoom(const CandidateList& ys, std::size_t start, std::size_t from, LayoutInt before,
                                        LayoutInt bound) {
    for (std::size_t k = start; k < from; ++k) keepRoom(before + ys[k].width, bound, false);
    if (from < ys.size()) keepRoom(before + ys[from].width, bound, true);
}

}  // namespace

bool hvSpLineAtOnce(Args args, const LayoutInt* lines, NodeResult& h) {
    const std::size_t n = args.count;
    const NodeResult& last = args.items[n - 1];
    if (n < 2 || last.reply.pair || last.tooWide || last.sizes.height == 0) return false;
    const bool keep = boundTracking;  // the room of its comparisons kept (see BoundRoom)
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const NodeResult& x = args.items[i];
        const CandidateList& xs = x.reply.first;
        if (x.reply.pair || x.tooWide || x.sizes.height == 0 || xs.empty() || xs[0].height != 1 ||
            (xs.size() > 1 && xs[1].height <= 1))
            return false;
        if (keep) [[unlikely]]
            keepRoom(0, lines[i + 1], lines[i + 1] >= 0);
        if (lines[i + 1] < 0) return false;
    }
    // The products from the right, as sizes: each drops the leading candidates too wide for it.
    const CandidateList& ys = last.reply.first;
    std::size_t from = 0;
    LayoutInt before = 0;  // the width of the line before the last item's candidates so far
    h.sizes = last.sizes;
    const auto product = [&](LayoutInt width, LayoutInt bound, const Sizes& part) {
        before += width;
        const std::size_t start = from;
        while (from < ys.size() && before + ys[from].width > bound) ++from;
        if (keep) [[unlikely]]
            keepProductsRoom(ys, start, from, before, bound);
        countCandidates(static_cast<LayoutInt>(ys.size() - from));
        h.sizes = besideSizes(part, h.sizes);
    };
    for (std::size_t i = n - 1; i-- > 0;) {
        countText();  // the blank, laid out
        product(1, lines[i + 1] + 1, Sizes{1, 1, 1});
        product(args.items[i].reply.first[0].width, lines[i], args.items[i].sizes);
    }
    static constexpr TextTree blank = sharedLeaf(" ", 1);
    TextArena& a = *currentArena;
    const TextTree* line = nullptr;
    LayoutInt at = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const Candidate& x = args.items[i].reply.first[0];
        line = line == nullptr ? x.text : a.make(TextTree::Kind::Beside, at, line, x.text, nullptr);
        at += x.width;
        line = a.make(TextTree::Kind::Beside, at, line, &blank, nullptr);
        ++at;
    }
    Candidate* out = allocCandidates(ys.size() - from);
    for (std::size_t k = from; k < ys.size(); ++k) {
        const Candidate& y = ys[k];
        out[k - from] = Candidate{y.height, at + y.lastWidth, at + y.width, a.make(TextTree::Kind::Beside, at, line, y.text, nullptr)};
    }
    h.tooWide = false;
    h.reply = single(CandidateList::slice(out, ys.size() - from));
    return true;
}

bool hvSpStackAtOnce(Args args, NodeResult& v) {
    const std::size_t n = args.count;
    const NodeResult& last = args.items[n - 1];
    if (n < 2 || last.reply.pair || last.sizes.height == 0) return false;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const NodeResult& x = args.items[i];
        if (x.reply.pair || x.sizes.height == 0 || x.reply.first.size() != 1) return false;
    }
    // The stacks from the bottom, as sizes, each texts' last part the last item's candidate.
    const CandidateList& ys = last.reply.first;
    CandidateList stack = CandidateList::slice(allocCandidates(ys.size()), ys.size());
    std::copy(ys.begin(), ys.end(), stack.begin());
    v.sizes = last.sizes;
    v.tooWide = last.tooWide;
    for (std::size_t i = n - 1; i-- > 0;) {
        const Candidate& x = args.items[i].reply.first[0];
        const std::size_t before = stack.size();
        std::size_t k = 0;
        while (k < before) {
            Candidate& y = stack[k++];
            const bool advances = x.width >= y.width;  // the upper one advances: no more stacks
            y = Candidate{x.height + y.height, y.lastWidth, std::max(x.width, y.width), y.text};
            if (advances) break;
        }
        stack.resize(k);
        countCandidates(static_cast<LayoutInt>(k));
        if (before >= 2) stack = pruned(stack);
        v.sizes = aboveSizes(args.items[i].sizes, v.sizes);
        v.tooWide = v.tooWide || args.items[i].tooWide;
    }
    TextArena& a = *currentArena;
    const TextTree* upper = args.items[0].reply.first[0].text;
    for (std::size_t i = 1; i + 1 < n; ++i) upper = a.make(TextTree::Kind::Above, 0, upper, args.items[i].reply.first[0].text, nullptr);
    for (Candidate& c : stack) c.text = a.make(TextTree::Kind::Above, 0, upper, c.text, nullptr);
    v.reply = single(stack);
    return true;
}

NodeResult aboveResult(const NodeResult& u, const NodeResult& d, std::size_t need) {
    NodeResult out;
    out.sizes = aboveSizes(u.sizes, d.sizes);
    auto stack = [&](const CandidateList& x, const CandidateList& y) -> CandidateList {
        if (u.sizes.height == 0) return y;
        if (d.sizes.height == 0) return x;
        return aboveCandidates(x, y, need);
    };
    out.reply = combineReplies(u.reply, d.reply, stack, kAbovePairsError);
    out.tooWide = d.tooWide || u.tooWide || (u.reply.pair && d.reply.pair);
    return out;
}

[[gnu::noinline]] NodeResult joinResult(NodeResult e) {
    NodeResult out;
    out.sizes = e.sizes;
    out.tooWide = e.reply.pair ? e.tooWide : true;
    if (e.reply.pair) {
        NodeReply& p = e.reply;
        if (p.secondTooWide) out.reply = single(!p.first.empty() ? std::move(p.first) : std::move(p.second));
        else if (!p.firstTooWide) out.reply = single(pruned(mergeCandidates(p.first, p.second)));
        else out.reply = single(!p.second.empty() ? std::move(p.second) : std::move(p.first));
    } else if (e.tooWide) {
        out.reply = std::move(e.reply);
    } else {
        out.reply = errorReplyOf(kJoinSingleError);
    }
    return out;
}

[[gnu::noinline]] NodeResult filterResult(NodeResult e) {
    NodeResult out;
    out.sizes = e.sizes;
    const bool pair = e.reply.pair;
    const bool some = !pair && !e.reply.first.empty() && e.reply.first.front().height <= 1;
    out.tooWide = some ? e.tooWide : true;
    if (some) {
        CandidateList& xs = e.reply.first;
        std::size_t n = 1;
        while (n < xs.size() && xs[n].height <= 1) ++n;
        xs.resize(n);
        out.reply = single(std::move(xs));
    } else if (!pair) {
        out.reply = single(markerCandidates(e.sizes.width));
    } else {
        out.reply = errorReplyOf(kFilterPairError);
    }
    return out;
}

CandidateList indentCandidates(LayoutInt n, LayoutInt line, bool keepAll, const CandidateList& xs) {
    std::size_t i = 0;
    if (!keepAll)
        while (i < xs.size() && !fitsWithin(xs[i].width, line - n)) ++i;
    Candidate* out = allocCandidates(xs.size() - i);
    for (std::size_t k = i; k < xs.size(); ++k) {
        countCandidate();
        out[k - i] = Candidate{xs[k].height, xs[k].lastWidth + n, xs[k].width + n, indentText(n, xs[k].text)};
    }
    return CandidateList::slice(out, xs.size() - i);
}

[[gnu::noinline]] NodeResult indentResult(LayoutInt n, const NodeResult& inner, LayoutInt line) {
    NodeResult out;
    out.sizes = indentSizes(inner.sizes, n);
    const bool room = fitsWithin(n, line);
    out.tooWide = n < 0 || !room || inner.tooWide;
    const NodeReply& r = inner.reply;
    if (n < 0) out.reply = errorReplyOf(kNegativeIndentError);
    else if (!room) out.reply = single(markerCandidates(n + inner.sizes.width));
    else out.reply = r.pair ? NodeReply{true, indentCandidates(n, line, inner.tooWide, r.first),
                                        indentCandidates(n, line, inner.tooWide, r.second), r.firstTooWide, r.secondTooWide}
                            : single(indentCandidates(n, line, inner.tooWide, r.first));
    return out;
}

NodeResult choiceResult(const NodeResult& x, const NodeResult& y, LayoutInt leftParams, LayoutInt rightParams) {
    NodeResult out;
    out.sizes = choiceSizes(x.sizes, y.sizes);
    const bool counts = leftParams == rightParams;
    out.tooWide = !counts || (x.tooWide && y.tooWide);
    if (!counts) out.reply = single(textCandidates(choiceCountError(leftParams, rightParams)));
    else if (!out.tooWide) out.reply = NodeReply{true, alternative(x.reply), alternative(y.reply), x.tooWide, y.tooWide};
    else out.reply = single(markerCandidates(out.sizes.width));
    return out;
}

void fillResult(NodeResult& state, const NodeResult& item, LayoutInt width) {
    const LayoutInt h = item.sizes.height;
    const LayoutInt z = state.sizes.lastWidth + item.sizes.width;
    // Not kept in the room of the bound (see BoundRoom): a fill's sizes follow the bound, so that it and all around it
    // are remembered at their own bounds alone, and a fill block's width is its own.
    const bool fits = z <= width;
    const bool pair = item.reply.pair;
    const LayoutInt lines = state.sizes.height;
    CandidateList& a = state.reply.first;
    bool error = pair || (lines != 0 && h > 1);
    if (lines == 0) {
        if (!pair) a = item.reply.first;
    } else if (pair && h == 0) {
        a = textCandidates(kFillPairError);
    } else if (error || h == 1) {
        const CandidateList& b = error ? textCandidates(pair ? kFillPairError : kFillHigherError) : item.reply.first;
        const LayoutInt bound = error ? std::numeric_limits<LayoutInt>::max() : width;
        a = fits ? besideCandidates(bound, a, b) : aboveCandidates(a, b, kAll);
    }
    state.sizes.height = lines == 0 ? (h > 0 ? 1 : 0) : fits ? lines : lines + 1;
    state.sizes.width = fits ? (state.sizes.width == width ? width : z) : width;
    state.sizes.lastWidth = error ? width + 1 : fits ? z : item.sizes.width;
    state.tooWide = state.tooWide || error || item.tooWide;
}

NodeResult fillBlockResult(NodeResult fill, LayoutInt blockWidth, LayoutInt line) {
    const bool room = blockWidth <= line;  // a fill's, as fillResult's
    if (blockWidth < 0) fill.reply = errorReplyOf(kFillBlockWidthError);
    else if (!room) fill.reply = single(markerCandidates(blockWidth));
    fill.tooWide = fill.tooWide || blockWidth < 0 || !room;
    return fill;
}

NodeResult zeroSizeResult(NodeResult e) {
    const auto first = [](const CandidateList& xs) {
        return CandidateList::one(Candidate{1, 0, 0, xs.empty() ? markerText(0) : xs.front().text});
    };
    NodeResult out;
    out.sizes = Sizes{1, 0, 0};
    const NodeReply& r = e.reply;
    out.reply = r.pair ? NodeReply{true, first(r.first), first(r.second), r.firstTooWide, r.secondTooWide}
                       : single(first(r.first));
    return out;
}

[[gnu::noinline]] NodeResult errorResult(const std::string& text) {
    const auto n = static_cast<LayoutInt>(text.size());
    return NodeResult{.reply = single(textCandidates(text)), .tooWide = true, .sizes = Sizes{1, n, n}};
}

}  // namespace plim::pretty_detail
