// The layout of the node engine's templates (parameterised nodes) filled with laid-out arguments.
#include "layout/nodes_internal.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace plim::pretty_detail {
// --- the places of templates -----------------------------------------------------------------

namespace {

bool isHole(ParNode::Kind k) { return k == ParNode::Kind::Hole || k == ParNode::Kind::First || k == ParNode::Kind::Second; }

// A part to place, with the run of slots (see makePlaces) it takes.
struct PlaceItem {
    const ParNode* p;
    std::uint32_t parent;
    std::uint32_t at;
    std::uint32_t count;
    std::uint32_t fills;  // the slot of the filling that this inner template fills, or none
    bool outside;
};
constexpr std::uint32_t kNoSlot = std::numeric_limits<std::uint32_t>::max();

// The slots of a template's places: its arguments', 0 .. args - 1, which hold themselves
// (argument i as ~i) and are never filled, then each filling's for its inner templates.
struct Slots {
    std::size_t args = 0;
    std::vector<std::int32_t> fillings;

    // n new slots of a filling: the first one's number.
    std::uint32_t open(std::size_t n) {
        const std::size_t first = args + fillings.size();
        fillings.resize(fillings.size() + n);
        return static_cast<std::uint32_t>(first);
    }
    void fill(std::size_t slot, std::int32_t place) { fillings[slot - args] = place; }
    std::int32_t at(std::size_t slot) const {
        return slot < args ? ~static_cast<std::int32_t>(slot) : fillings[slot - args];
    }
};

// The parts of a place to the work list, the first on top: a side-by-side or stacked composition's left (upper) part
// first, a choice's right arrangement first, a filling's outer template first, then its inner ones from the last.
void placeParts(const PlaceItem& it, std::uint32_t k, Slots& slots, std::vector<PlaceItem>& todo,
                PlaceShape& place) {
    const ParNode& p = *it.p;
    const std::size_t mark = todo.size();
    const auto part = [&](const ParNodeRef& q, std::size_t at, std::size_t n, std::uint32_t fills = kNoSlot) {
        todo.push_back(PlaceItem{q.get(), k, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(n), fills, it.outside});
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
    case K::Subst: {  // the outer template over slots that its inner ones fill
        const std::size_t n = p.parts.size() - 1;
        const std::uint32_t inner = slots.open(n);
        part(p.parts[0], inner, n);
        todo.back().outside = it.outside || !countsMatch(p);
        // Each inner one over its run of the arguments, cut short where they run out.
        std::size_t at = 0;
        for (std::size_t i = 1; i <= n; ++i) at += static_cast<std::size_t>(p.parts[i]->params);
        for (std::size_t i = n; i >= 1; --i) {
            const auto c = static_cast<std::size_t>(p.parts[i]->params);
            at -= c;
            const std::size_t from = std::min<std::size_t>(at, it.count);
            part(p.parts[i], it.at + from, std::min<std::size_t>(c, it.count - from), inner + static_cast<std::uint32_t>(i - 1));
        }
        break;
    }
    default:
        if (isHole(p.kind) && it.count > 0) place.from = static_cast<std::int32_t>(it.at);  // its slot, for now
        break;
    }
    std::reverse(todo.begin() + static_cast<std::ptrdiff_t>(mark), todo.end());
}

}  // namespace

// The places in pre-order, over slots: the arguments', then each filling's for its inner
// templates, which their places fill.  A hole takes its slot's argument or place.
// The arguments' slots are not stored: a template of many parameters whose places stop at
// `limit` costs no more than the limit.
bool makePlaces(const ParNode& root, std::vector<PlaceShape>& out, std::size_t limit) {
    static thread_local std::vector<PlaceItem> todo;        // kept for their room: the walk is
    static thread_local Slots slots;                         // never nested
    todo.clear();
    const auto count = static_cast<std::size_t>(root.params);
    slots.args = count;
    slots.fillings.clear();
    const std::size_t base = out.size();
    todo.push_back(PlaceItem{&root, 0, 0, static_cast<std::uint32_t>(count), kNoSlot, false});
    while (!todo.empty()) {
        if (limit != 0 && out.size() - base >= limit) return false;
        const PlaceItem it = todo.back();
        todo.pop_back();
        const auto k = static_cast<std::uint32_t>(out.size() - base);
        if (it.fills != kNoSlot) slots.fill(it.fills, static_cast<std::int32_t>(k));
        out.push_back(PlaceShape{it.p, it.parent, k + 1, PlaceShape::kNoArg, it.outside});
        placeParts(it, k, slots, todo, out.back());
    }
    for (std::size_t k = out.size(); k-- > base;) {  // from the last: a place's parts end where its last one's do
        PlaceShape& at = out[k];
        if (isHole(at.p->kind) && at.from != PlaceShape::kNoArg) at.from = slots.at(static_cast<std::size_t>(at.from));
        PlaceShape& parent = out[base + at.parent];
        parent.end = std::max(parent.end, at.end);
    }
    return true;
}

std::size_t TemplatePlaces::add(const ParNode& p) {
    const std::size_t first = shapes_.size();
    if (!p.places.empty()) shapes_.insert(shapes_.end(), p.places.begin(), p.places.end());
    else makePlaces(p, shapes_);
    sizes_.resize(shapes_.size());
    state_.resize(shapes_.size());
    return first;
}

void TemplatePlaces::measure(std::size_t first, const Sizes* args, LayoutInt line, Bounds& bounds) {
    placeSizes(shapes_.data() + first, shapes_.size() - first, args, sizes_.data() + first);
    paramBounds_.clear();
    for (std::size_t k = first; k < shapes_.size(); ++k) {
        while (!open_.empty() && first + shapes_[open_.back()].end <= k) close(first);
        if (k == first) state_[k].line = line;
        else setLine(first, k);
        state_[k].boundsAt = paramBounds_.size();
        if (isHole(shapes_[k].p->kind)) paramBounds_.push_back(state_[k].line);
        open_.push_back(static_cast<std::uint32_t>(k));
    }
    while (!open_.empty()) close(first);
    bounds.clear();
    bounds.append(paramBounds_.begin(), paramBounds_.end());
}

// The bound of a place from its parent's: a side-by-side composition's right part after the left one's last line, an
// indented part less the indentation; an inner template of a filling has its own, set as the outer one is closed.
void TemplatePlaces::setLine(std::size_t first, std::size_t k) {
    const std::size_t parent = first + shapes_[k].parent;
    const LayoutInt line = state_[parent].line;
    switch (shapes_[parent].p->kind) {
    case ParNode::Kind::Beside: state_[k].line = k == parent + 1 ? line : line - sizes_[parent + 1].lastWidth; break;
    case ParNode::Kind::Indent: state_[k].line = line - shapes_[parent].p->amount; break;
    case ParNode::Kind::Subst:
        if (k == parent + 1) state_[k].line = line;
        break;
    default: state_[k].line = line; break;
    }
}

// The place on top of the open ones closed, its parameters' bounds at the end of paramBounds_ as its parts left them
// but for a choice's and a filling's; an outer template of a filling hands its bounds to its inner ones, keeping none.
void TemplatePlaces::close(std::size_t first) {
    const std::size_t k = open_.back();
    open_.pop_back();
    if (shapes_[k].p->kind == ParNode::Kind::Choice) closeChoice(first, k);
    else if (shapes_[k].p->kind == ParNode::Kind::Subst) closeFilling(first, k);
    const std::size_t parent = first + shapes_[k].parent;
    if (k == parent + 1 && shapes_[parent].p->kind == ParNode::Kind::Subst) setInnerLines(first, k);
}

// A choice takes the larger of its arrangements' bounds for each parameter, as long as both
// have one.  Its right arrangement's come first, then its left one's (see makePlaces).
void TemplatePlaces::closeChoice(std::size_t first, std::size_t k) {
    const std::size_t at = state_[k].boundsAt;
    const std::size_t left = state_[first + shapes_[k + 1].end].boundsAt;
    const std::size_t n = std::min(left - at, paramBounds_.size() - left);
    for (std::size_t i = 0; i < n; ++i) paramBounds_[at + i] = std::max(paramBounds_[at + i], paramBounds_[left + i]);
    paramBounds_.resize(at + n);
}

// A filling puts its inner templates' bounds, which follow one another from the last inner
// template's (see makePlaces), in their order: each one's moved in front of the later ones'.
void TemplatePlaces::closeFilling(std::size_t first, std::size_t k) {
    const auto at = [this](std::size_t i) { return paramBounds_.begin() + static_cast<std::ptrdiff_t>(i); };
    const std::size_t end = first + shapes_[k].end;
    for (std::size_t c = first + shapes_[k + 1].end; c < end; c = first + shapes_[c].end) {
        const std::size_t next = first + shapes_[c].end;
        const std::size_t to = next < end ? state_[next].boundsAt : paramBounds_.size();
        std::rotate(at(state_[k].boundsAt), at(state_[c].boundsAt), at(to));
    }
}

// A filling's outer template, closed, gives each inner one its parameter's bound (or the whole) and drops its own.
void TemplatePlaces::setInnerLines(std::size_t first, std::size_t outer) {
    const std::size_t parent = outer - 1;
    const std::size_t at = state_[outer].boundsAt;
    std::size_t i = shapes_[parent].p->parts.size() - 1;  // the inner templates, from the last
    for (std::size_t c = first + shapes_[outer].end; c < first + shapes_[parent].end; c = first + shapes_[c].end) {
        --i;
        state_[c].line = at + i < paramBounds_.size() ? paramBounds_[at + i] : state_[parent].line;
    }
    paramBounds_.resize(at);
}

namespace {

// A hole's layout over its argument (an alternative of it, for First and Second); without one, none and too wide.
NodeResult holeResult(const ParNode& p, const NodeResult* arg) {
    if (arg == nullptr) return NodeResult{.reply = {}, .tooWide = true, .sizes = {}};
    NodeResult r = *arg;
    if (p.kind == ParNode::Kind::Hole || !r.reply.pair) return r;
    const bool second = p.kind == ParNode::Kind::Second;
    const bool flag = second ? r.reply.secondTooWide : r.reply.firstTooWide;
    r.reply = single(second ? std::move(r.reply.second) : std::move(r.reply.first));
    r.tooWide = r.tooWide || flag;
    return r;
}

}  // namespace

bool TemplatePlaces::layOut(std::size_t k, std::size_t first, NodeResult* results, Args args) {
    const PlaceShape& at = shapes_[k];
    state_[k].mark = candidateMark();
    if (at.outside) return true;
    const ParNode& p = *at.p;
    NodeResult& out = results[k - first];
    const auto part = [&](int i) -> NodeResult& { return results[i == 0 ? k + 1 - first : shapes_[k + 1].end]; };
    using K = ParNode::Kind;
    switch (p.kind) {
    case K::Hole:
    case K::First:
    case K::Second: {
        const NodeResult* arg = at.from == PlaceShape::kNoArg ? nullptr : at.from < 0 ? &args.items[~at.from] : &results[at.from];
        out = holeResult(p, arg);
        break;
    }
    case K::Lift: return false;
    case K::HvSp: out = NodeResult{}; break;
    case K::Filter: out = filterResult(std::move(part(0))); break;
    case K::Join: out = joinResult(std::move(part(0))); break;
    case K::Indent: out = indentResult(p.amount, part(0), state_[k].line); break;
    case K::Beside: out = besideResult(part(0), part(1), state_[k].line); break;
    case K::Above: out = aboveResult(part(0), part(1), kAll); break;
    case K::Choice: out = choiceResult(part(1), part(0), p.parts[0]->params, p.parts[1]->params); break;
    case K::Subst: out = countsMatch(p) ? std::move(part(0)) : errorResult(countError(p)); break;
    }
    compactTo(out, state_[first + at.end - 1].mark);
    return true;
}

// --- lists of hvSpList ---------------------------------------------------------------------------

namespace {

// The blank between two items of an hvSpList's line, at the given bound.
NodeResult spaceResult(LayoutInt line) {
    static const DocNodeRef space = textNode(" ");
    return layOut(*space, line);
}

// Whether the line of a list of hvSpList is too wide, read off its parts' flags as its compositions would combine
// them: a blank with no room, an item before the last not a single line of its own (filtered), or the last too wide.
bool hvSpLineTooWide(Args items, const SmallVec<LayoutInt, 8>& lines) {
    if (items.items[items.count - 1].tooWide) return true;
    for (std::size_t i = 0; i + 1 < items.count; ++i) {
        const NodeResult& a = items.items[i];
        const bool oneLine = !a.reply.pair && !a.reply.first.empty() && a.reply.first.front().height <= 1;
        if (!fitsWithin(0, lines[i + 1]) || !oneLine || a.tooWide) return true;
    }
    return false;
}

// The sizes of a list of hvSpList over its items' layouts.
Sizes hvSpSizesOf(Args items) {
    Sizes line = items.items[items.count - 1].sizes;
    Sizes stack = line;
    for (std::size_t i = items.count - 1; i-- > 0;) {
        line = besideSizes(items.items[i].sizes, besideSizes(Sizes{1, 1, 1}, line));
        stack = aboveSizes(items.items[i].sizes, stack);
    }
    return choiceSizes(line, stack);
}

// Whether the line `h` has fewer lists with candidates than the last item `last` it ends with.
bool lineDropsFirst(const NodeResult& last, const NodeResult& h) {
    const bool second = last.reply.pair && !last.reply.second.empty();
    return (!last.reply.first.empty() && h.reply.first.empty()) || (second && (!h.reply.pair || h.reply.second.empty()));
}

}  // namespace

NodeResult layOutHvSpList(Args items, LayoutInt line, bool* firstDropped) {
    const std::size_t n = items.count;
    const NodeResult* item = items.items;
    SmallVec<LayoutInt, 8> lines;  // each item after the last lines of the ones before it and their blanks
    for (std::size_t i = 0; i < n; ++i) lines.push_back(i == 0 ? line : lines[i - 1] - item[i - 1].sizes.lastWidth - 1);
    NodeResult v;
    if (!hvSpStackAtOnce(items, v)) {
        v = item[n - 1];
        const CandidateMark stackMark = candidateMark();
        for (std::size_t i = n - 1; i-- > 0;) {
            v = aboveResult(item[i], v, kAll);
            compactTo(v, stackMark);
        }
    }
    // A too-wide line loses (and is not built) to a stack that is not too wide, unless the stack has no candidates.
    if (hvSpLineTooWide(items, lines)) {
        NodeResult out;
        out.sizes = hvSpSizesOf(items);
        out.tooWide = v.tooWide;
        out.reply = single(v.tooWide ? markerCandidates(out.sizes.width) : alternative(v.reply));
        if (v.tooWide || !out.reply.first.empty()) return out;
    }
    NodeResult h;
    // A line built at once is not too wide: where the stack is not either, nor a pair, the join of
    // their choice is the two merged and pruned, made here at once.
    const bool lineAtOnce = hvSpLineAtOnce(items, lines.data(), h);
    if (firstDropped != nullptr && lineAtOnce) *firstDropped = lineDropsFirst(item[n - 1], h);
    if (lineAtOnce && !v.tooWide && !v.reply.pair) {
        NodeResult out;
        out.sizes = choiceSizes(h.sizes, v.sizes);
        out.reply = single(pruned(mergeCandidates(h.reply.first, v.reply.first)));
        return out;
    }
    if (!lineAtOnce) {
        h = item[n - 1];
        const CandidateMark lineMark = candidateMark();
        for (std::size_t i = n - 1; i-- > 0;) {
            h = besideResult(spaceResult(lines[i + 1] + 1), h, lines[i + 1] + 1);
            h = besideResult(filterResult(item[i]), h, lines[i]);
            compactTo(h, lineMark);
        }
        if (firstDropped != nullptr) *firstDropped = lineDropsFirst(item[n - 1], h);
    }
    const auto params = static_cast<LayoutInt>(n);
    return joinResult(choiceResult(h, v, params, params));
}

}  // namespace plim::pretty_detail
