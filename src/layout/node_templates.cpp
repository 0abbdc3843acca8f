// The layout of the node engine's templates (parameterised nodes) filled with laid-out
// arguments.
#include "layout/nodes_internal.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace plim::pretty_detail {
// --- parameterised nodes ---------------------------------------------------------------------

namespace {

// The run of a filling's `count` arguments that the next part takes, `at` arguments in: its
// start and length, cut short where the arguments run out.  Moves `at` past the part.
std::pair<std::size_t, std::size_t> nextRun(const ParNode& part, std::size_t count, std::size_t& at) {
    const auto c = static_cast<std::size_t>(part.params);
    const std::size_t from = std::min(at, count);
    at += c;
    return {from, std::min(c, count - from)};
}

bool isHole(ParNode::Kind k) { return k == ParNode::Kind::Hole || k == ParNode::Kind::First || k == ParNode::Kind::Second; }

// Whether a filling's outer template takes as many parameters as it has inner ones.
bool countsMatch(const ParNode& subst) {
    return subst.parts.front()->params == static_cast<LayoutInt>(subst.parts.size() - 1);
}

}  // namespace

// --- the places of templates -----------------------------------------------------------------

std::size_t TemplatePlaces::add(const ParNode& root, std::size_t count) {
    const std::size_t first = places_.size();
    const auto args = static_cast<std::uint32_t>(slots_.size());
    for (std::size_t i = 0; i < count; ++i) slots_.push_back(~static_cast<std::int32_t>(i));
    todo_.push_back(Item{&root, static_cast<std::uint32_t>(first), args, static_cast<std::uint32_t>(count), kNone, false});
    while (!todo_.empty()) {
        const Item it = todo_.back();
        todo_.pop_back();
        const auto k = static_cast<std::uint32_t>(places_.size());
        if (it.fills != kNone) slots_[it.fills] = static_cast<std::int32_t>(k);
        places_.push_back(Place{it.p, it.parent, k + 1, kNone, it.outside, {}, 0, 0, {}, args});
        addParts(places_.back(), it, k);
    }
    for (std::size_t k = places_.size(); k-- > first + 1;) {  // a place's parts end where its last one's do
        Place& parent = places_[places_[k].parent];
        parent.end = std::max(parent.end, places_[k].end);
    }
    return first;
}

// The parts of a place to the work list, in the order of their places: a side-by-side or
// stacked composition's left (upper) part first, a choice's right arrangement first, a filling's
// outer template first and then its inner ones from the last.
void TemplatePlaces::addParts(Place& place, const Item& it, std::uint32_t k) {
    const ParNode& p = *it.p;
    const std::size_t mark = todo_.size();
    const auto part = [&](const ParNodeRef& q, std::size_t at, std::size_t n, std::uint32_t fills = kNone) {
        todo_.push_back(Item{q.get(), k, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(n), fills, it.outside});
    };
    using K = ParNode::Kind;
    switch (p.kind) {
    case K::Filter:
    case K::Join:
    case K::Indent: part(p.parts[0], it.at, it.count); break;
    case K::Beside:
    case K::Above: {
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(p.parts[0]->params), it.count);
        part(p.parts[0], it.at, n);
        part(p.parts[1], it.at + n, it.count - n);
        break;
    }
    case K::Choice:
        part(p.parts[1], it.at, it.count);
        part(p.parts[0], it.at, it.count);
        break;
    case K::Subst: {
        const std::size_t n = p.parts.size() - 1;
        place.slot = static_cast<std::uint32_t>(slots_.size());
        slots_.resize(slots_.size() + n);
        part(p.parts[0], place.slot, n);
        todo_.back().outside = it.outside || !countsMatch(p);
        SmallVec<std::pair<std::size_t, std::size_t>, 8> runs;
        std::size_t at = 0;
        for (std::size_t i = 1; i <= n; ++i) runs.push_back(nextRun(*p.parts[i], it.count, at));
        for (std::size_t i = n; i >= 1; --i) part(p.parts[i], it.at + runs[i - 1].first, runs[i - 1].second, place.slot + static_cast<std::uint32_t>(i - 1));
        break;
    }
    default:
        if (isHole(p.kind) && it.count > 0) place.slot = it.at;
        break;
    }
    std::reverse(todo_.begin() + static_cast<std::ptrdiff_t>(mark), todo_.end());  // the first part on top
}

void TemplatePlaces::measure(std::size_t first, const Sizes* args, LayoutInt line, Bounds& bounds) {
    measureSizes(first, args);
    lists_.clear();
    open_.clear();
    for (std::size_t k = first; k < places_.size(); ++k) {
        while (!open_.empty() && places_[open_.back()].end <= k) close();
        Place& at = places_[k];
        if (k == first) at.line = line;
        else setLine(at, k);
        at.listAt = lists_.size();
        if (isHole(at.p->kind)) lists_.push_back(at.line);
        open_.push_back(static_cast<std::uint32_t>(k));
    }
    while (!open_.empty()) close();
    bounds.clear();
    bounds.append(lists_.begin(), lists_.end());
}

// From the last place to the first (each after its parts): the sizes the rules give a template
// over its arguments' sizes, a missing argument without lines.
void TemplatePlaces::measureSizes(std::size_t first, const Sizes* args) {
    using K = ParNode::Kind;
    for (std::size_t k = places_.size(); k-- > first;) {
        Place& at = places_[k];
        const ParNode& p = *at.p;
        const auto part = [&](int i) { return places_[i == 0 ? k + 1 : places_[k + 1].end].sizes; };
        switch (p.kind) {
        case K::Hole:
        case K::First:
        case K::Second:
            if (at.slot == kNone) at.sizes = Sizes{};
            else if (const std::int32_t s = slots_[at.slot]; s < 0) at.sizes = args[~s];
            else at.sizes = places_[static_cast<std::size_t>(s)].sizes;
            break;
        case K::Lift: at.sizes = p.doc->sizes; break;
        case K::HvSp: at.sizes = Sizes{}; break;
        case K::Filter:
        case K::Join: at.sizes = part(0); break;
        case K::Indent: at.sizes = indentSizes(part(0), p.amount); break;
        case K::Beside: at.sizes = besideSizes(part(0), part(1)); break;
        case K::Above: at.sizes = aboveSizes(part(0), part(1)); break;
        case K::Choice: at.sizes = choiceSizes(part(1), part(0)); break;
        case K::Subst: {
            const auto n = static_cast<LayoutInt>(applyCountError(p.parts[0]->params, static_cast<LayoutInt>(p.parts.size() - 1)).size());
            at.sizes = countsMatch(p) ? part(0) : Sizes{1, n, n};
            break;
        }
        }
    }
}

// The bound of a place from its parent's: a side-by-side composition's right part after the left
// one's last line, an indented part less the indentation (an inner template of a filling has
// its own, set as the outer one's place is closed).
void TemplatePlaces::setLine(Place& at, std::size_t k) {
    const Place& parent = places_[at.parent];
    const bool firstPart = k == at.parent + 1;
    switch (parent.p->kind) {
    case ParNode::Kind::Beside: at.line = firstPart ? parent.line : parent.line - places_[at.parent + 1].sizes.lastWidth; break;
    case ParNode::Kind::Indent: at.line = parent.line - parent.p->amount; break;
    case ParNode::Kind::Subst:
        if (firstPart) at.line = parent.line;
        break;
    default: at.line = parent.line; break;
    }
}

// The place on top of the open ones closed, its parameters' bounds at the end of the lists: a
// choice takes the larger of its arrangements' bounds for each parameter, as long as both have
// one; a filling's outer template hands its inner ones its parameters' bounds (the whole bound
// past them) and keeps none, and the filling puts its inner ones' in order.
void TemplatePlaces::close() {
    const std::uint32_t k = open_.back();
    open_.pop_back();
    Place& at = places_[k];
    if (at.p->kind == ParNode::Kind::Choice) {
        const std::size_t right = at.listAt;
        const std::size_t left = places_[places_[k + 1].end].listAt;
        const std::size_t n = std::min(left - right, lists_.size() - left);
        for (std::size_t i = 0; i < n; ++i) lists_[right + i] = std::max(lists_[right + i], lists_[left + i]);
        lists_.resize(right + n);
    } else if (at.p->kind == ParNode::Kind::Subst) {
        // The inner ones' bounds, from the last inner one's, in order.
        const std::size_t n = at.p->parts.size() - 1;
        std::vector<LayoutInt> ordered;
        for (std::size_t i = 0; i < n; ++i) {
            const Place& inner = places_[static_cast<std::size_t>(slots_[at.slot + i])];
            const std::size_t to = inner.end < at.end ? places_[inner.end].listAt : lists_.size();
            ordered.insert(ordered.end(), lists_.begin() + static_cast<std::ptrdiff_t>(inner.listAt), lists_.begin() + static_cast<std::ptrdiff_t>(to));
        }
        std::copy(ordered.begin(), ordered.end(), lists_.begin() + static_cast<std::ptrdiff_t>(at.listAt));
    }
    if (k == at.parent + 1 && places_[at.parent].p->kind == ParNode::Kind::Subst) {
        const Place& filling = places_[at.parent];
        const std::size_t n = filling.p->parts.size() - 1;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t b = at.listAt + i;
            places_[static_cast<std::size_t>(slots_[filling.slot + i])].line = b < lists_.size() ? lists_[b] : filling.line;
        }
        lists_.resize(at.listAt);
    }
}

bool TemplatePlaces::layOut(std::size_t k, std::size_t first, NodeResult* results, Args args) const {
    const Place& at = places_[k];
    const ParNode& p = *at.p;
    NodeResult& out = results[k - first];
    const auto part = [&](int i) -> NodeResult& { return results[(i == 0 ? k + 1 : places_[k + 1].end) - first]; };
    using K = ParNode::Kind;
    switch (p.kind) {
    case K::Hole:
    case K::First:
    case K::Second: {
        const std::int32_t s = at.slot == kNone ? 0 : slots_[at.slot];
        const NodeResult* arg = at.slot == kNone ? nullptr : s < 0 ? &args.items[~s] : &results[static_cast<std::size_t>(s) - first];
        out = holeResult(p, Args{arg, arg == nullptr ? 0u : 1u});
        break;
    }
    case K::Lift: return false;
    case K::HvSp: out = NodeResult{}; break;
    case K::Filter: out = filterResult(std::move(part(0))); break;
    case K::Join: out = joinResult(std::move(part(0)), kAll); break;
    case K::Indent: out = indentResult(p.amount, part(0), at.line); break;
    case K::Beside: out = besideResult(part(0), part(1), at.line); break;
    case K::Above: out = aboveResult(part(0), part(1), kAll); break;
    case K::Choice: out = choiceResult(part(1), part(0), p.parts[0]->params, p.parts[1]->params); break;
    case K::Subst:
        out = countsMatch(p) ? std::move(part(0)) : errorResult(applyCountError(p.parts[0]->params, static_cast<LayoutInt>(p.parts.size() - 1)));
        break;
    }
    return true;
}

void TemplatePlaces::dropFrom(std::size_t first) {
    if (first >= places_.size()) return;
    slots_.resize(places_[first].slotsAt);
    places_.resize(first);
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

namespace {

// The blank between two items of an hvSpList's line, at the given bound.
NodeResult spaceResult(LayoutInt line) {
    static const DocNodeRef space = textNode(" ");
    return layOut(*space, line);
}

// Whether the line of a list of hvSpList is too wide, read off the flags of its parts as its
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

// The sizes of hvSpNode(length) over its items' layouts, a missing item without lines.
Sizes hvSpSizesOf(std::size_t length, Args args) {
    const auto at = [&](std::size_t i) { return i < args.count ? args.items[i].sizes : Sizes{}; };
    Sizes line = at(length - 1);
    Sizes stack = line;
    for (std::size_t i = length - 1; i-- > 0;) {
        line = besideSizes(at(i), besideSizes(Sizes{1, 1, 1}, line));
        stack = aboveSizes(at(i), stack);
    }
    return choiceSizes(line, stack);
}

// A list of hvSpList where every item is a single list and one of them is too wide (or
// missing): the line is then too wide (see hvSpLineTooWide) and so is the stack, and the layout
// is the marker of the list's width.  The stack is not built: only its candidates are counted, as the general
// rules build it from the bottom; a level's candidates are worked out (without texts, and
// dropped) only where an item above stacks on them, the top's only counted.  False (nothing
// counted) where this does not apply.
bool hvSpStackCounted(std::size_t length, Args args) {
    bool wide = length > args.count;
    const std::size_t present = std::min(length, args.count);
    for (std::size_t i = 0; i < present; ++i) {
        if (args.items[i].reply.pair) return false;
        wide = wide || args.items[i].tooWide;
    }
    if (!wide) return false;
    const CandidateMark mark = candidateMark();
    bool lines = present == length && args.items[length - 1].sizes.height != 0;  // the stack so far has lines
    CandidateList vs = present == length ? args.items[length - 1].reply.first : CandidateList{};
    for (std::size_t i = std::min(present, length - 1); i-- > 0;) {
        const NodeResult& x = args.items[i];
        if (x.sizes.height == 0) continue;
        const CandidateList& xs = x.reply.first;
        if (!lines) vs = xs;
        else if (i == 0) countCandidates(aboveCount(xs, vs));
        else vs = aboveSizesOnly(xs, vs);
        lines = true;
    }
    currentArena->candidateRewind(mark);
    return true;
}

// The layout of a list of hvSpList where it is not the marker of hvSpStackCounted.
NodeResult hvSpBuilt(std::size_t length, Args args, LayoutInt line) {
    static const ParNode hole;
    const auto arg = [&](std::size_t i) { return holeResult(hole, args.drop(i)); };
    SmallVec<LayoutInt, 8> lines;  // each item after the last lines of the ones before it and their blanks
    for (std::size_t i = 0; i < length; ++i)
        lines.push_back(i == 0 ? line : lines[i - 1] - (i - 1 < args.count ? args.items[i - 1].sizes.lastWidth : 0) - 1);
    NodeResult v = arg(length - 1);
    const CandidateMark stackMark = candidateMark();
    for (std::size_t i = length - 1; i-- > 0;) {
        v = aboveResult(arg(i), v, kAll);
        compactTo(v, stackMark);
    }
    const auto n = static_cast<LayoutInt>(length);
    // A line that is too wide loses to a stack that is not, unless the stack has no candidates:
    // then it need not be built.
    if (hvSpLineTooWide(length, args, lines)) {
        NodeResult out;
        out.sizes = hvSpSizesOf(length, args);
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

// --- lists of hvSpList ---------------------------------------------------------------------------

void layOutHvSpList(const DocNode& d, Args args, LayoutInt line, NodeResult& out) {
    const auto length = static_cast<std::size_t>(d.many->layout->params);
    if (!hvSpStackCounted(length, args)) {
        out = hvSpBuilt(length, args, line);
        return;
    }
    out.sizes = d.boundSizes ? hvSpSizesOf(length, args) : d.sizes;
    out.tooWide = true;
    out.reply = single(markerCandidates(out.sizes.width));
}

}  // namespace plim::pretty_detail
