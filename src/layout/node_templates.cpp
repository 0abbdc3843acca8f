// The layout of the node engine's templates (parameterised nodes) filled with laid-out
// arguments.
#include "layout/nodes_internal.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <utility>

#include "support/hashing.h"
#include "support/tree_walk.h"

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

// The walk of paramBounds, on a work list of its own: a template nested however deep takes no
// deeper calls.  Each hole's bound goes to `out` in parameter order.
class BoundsWalk {
public:
    explicit BoundsWalk(Bounds& out) : out_(out) {}

    void run(const ParNode& p, const Sizes* sizes, std::size_t count, LayoutInt line) {
        enter(p, sizes, count, line);
        while (!todo_.empty()) {
            const Task t = todo_.back();
            todo_.resize(todo_.size() - 1);
            switch (t.op) {
            case Op::Enter: enter(*t.p, t.sizes, t.count, t.line); break;
            case Op::ChoiceMiddle: middles_.push_back(out_.size()); break;
            case Op::Choice: choice(t.count); break;
            case Op::SubstInner: substInner(t); break;
            }
        }
    }

private:
    enum class Op : std::uint8_t { Enter, ChoiceMiddle, Choice, SubstInner };
    struct Task {
        Op op;
        const ParNode* p;
        const Sizes* sizes;
        std::size_t count;  // Choice: where the choice's bounds begin
        LayoutInt line;
    };

    void enter(const ParNode& p, const Sizes* sizes, std::size_t count, LayoutInt line) {
        using K = ParNode::Kind;
        switch (p.kind) {
        case K::Hole:
        case K::First:
        case K::Second: out_.push_back(line); return;
        case K::Lift:
        case K::HvSp: return;  // no part of a template (see ParNode::Kind)
        case K::Filter:
        case K::Join: todo_.push_back(Task{Op::Enter, p.parts[0].get(), sizes, count, line}); return;
        case K::Indent: todo_.push_back(Task{Op::Enter, p.parts[0].get(), sizes, count, line - p.amount}); return;
        case K::Beside:
        case K::Above: {
            // The right part of a side-by-side composition starts after the left one's last line.
            const auto n = std::min(static_cast<std::size_t>(p.parts[0]->params), count);
            const LayoutInt right = p.kind == K::Beside ? line - sizes_.of(*p.parts[0], sizes, n).lastWidth : line;
            todo_.push_back(Task{Op::Enter, p.parts[1].get(), sizes + n, count - n, right});
            todo_.push_back(Task{Op::Enter, p.parts[0].get(), sizes, n, line});
            return;
        }
        case K::Choice:
            todo_.push_back(Task{Op::Choice, &p, nullptr, out_.size(), 0});
            todo_.push_back(Task{Op::Enter, p.parts[1].get(), sizes, count, line});
            todo_.push_back(Task{Op::ChoiceMiddle, &p, nullptr, 0, 0});
            todo_.push_back(Task{Op::Enter, p.parts[0].get(), sizes, count, line});
            return;
        case K::Subst: subst(p, sizes, count, line); return;
        }
    }

    // Each parameter at the larger of the bounds the two alternatives give it, as long as both
    // have one.
    void choice(std::size_t start) {
        const std::size_t middle = middles_.back();
        middles_.resize(middles_.size() - 1);
        const std::size_t n = std::min(middle - start, out_.size() - middle);
        for (std::size_t i = 0; i < n; ++i) out_[start + i] = std::max(out_[start + i], out_[middle + i]);
        out_.resize(start + n);
    }

    // The outer template at the bounds of the whole, over the inner ones' sizes; then each inner
    // one at the bound the outer one gives its place (SubstInner).
    void subst(const ParNode& p, const Sizes* sizes, std::size_t count, LayoutInt line) {
        held_.push_back(std::make_unique<std::vector<Sizes>>());
        std::vector<Sizes>& inner = *held_.back();
        std::size_t at = 0;
        for (std::size_t i = 1; i < p.parts.size(); ++i) {
            const auto [from, n] = nextRun(*p.parts[i], count, at);
            inner.push_back(sizes_.of(*p.parts[i], sizes + from, n));
        }
        todo_.push_back(Task{Op::SubstInner, &p, sizes, count, line});
        marks_.push_back(out_.size());
        todo_.push_back(Task{Op::Enter, p.parts.front().get(), inner.data(), inner.size(), line});
    }

    void substInner(const Task& t) {
        const ParNode& p = *t.p;
        held_.resize(held_.size() - 1);
        const std::size_t mark = marks_.back();
        marks_.resize(marks_.size() - 1);
        SmallVec<LayoutInt, 8> outerBounds;
        outerBounds.append(out_.begin() + mark, out_.end());
        out_.resize(mark);
        std::size_t at = 0;
        SmallVec<Task, 8> inners;
        for (std::size_t i = 1; i < p.parts.size(); ++i) {
            const auto [from, n] = nextRun(*p.parts[i], t.count, at);
            const LayoutInt b = i - 1 < outerBounds.size() ? outerBounds[i - 1] : t.line;
            inners.push_back(Task{Op::Enter, p.parts[i].get(), t.sizes + from, n, b});
        }
        for (std::size_t k = inners.size(); k-- > 0;) todo_.push_back(inners[k]);
    }

    // Most templates are small: their walk needs no block of its own.
    Bounds& out_;
    FillingSizes sizes_;  // the sizes of the fillings' parts, each measured once
    SmallVec<Task, 8> todo_;
    SmallVec<std::size_t, 4> middles_;
    SmallVec<std::size_t, 2> marks_;  // where the bounds of the fillings being walked begin
    SmallVec<std::unique_ptr<std::vector<Sizes>>, 2> held_;  // the inner sizes of those fillings
};

}  // namespace

void paramBounds(const ParNode& p, const Sizes* sizes, std::size_t count, LayoutInt line, Bounds& out) {
    BoundsWalk(out).run(p, sizes, count, line);
}

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

// --- the sizes of nested fillings ------------------------------------------------------------

std::size_t FillingSizes::KeyHash::operator()(const Key& k) const {
    std::uint64_t h = reinterpret_cast<std::uintptr_t>(k.p);
    for (const Sizes& s : k.args) h = mixHash(mixHash(mixHash(h, s.height), s.lastWidth), s.width);
    return h;
}

const Sizes* FillingSizes::known(const ParNode& p, const Sizes* args, std::size_t count) {
    probe_.p = &p;
    probe_.args.assign(args, args + count);
    const auto it = known_.find(probe_);
    return it == known_.end() ? nullptr : &it->second;
}

Sizes FillingSizes::keep(const Part& f, Sizes s) {
    known_.emplace(Key{f.p, std::vector<Sizes>(f.args, f.args + f.count)}, s);
    return s;
}

// The walk of a filling of more than a short program, bottom up: each nested part not yet known
// measured first, over its run of the arguments, then the outer template over the parts' sizes;
// each filling measured is kept for later asks.  A filling whose count does not fit its outer
// template is measured whole.
struct FillingSizes::Measure {
    FillingSizes& all;

    std::optional<Sizes> enter(const Part& f, std::vector<Part>& parts) const {
        const ParNode& p = *f.p;
        if (!nested(p)) return parSizes(p, f.args, f.count);
        if (const Sizes* k = all.known(p, f.args, f.count)) return *k;
        if (p.parts.front()->params != static_cast<LayoutInt>(p.parts.size() - 1))
            return all.keep(f, parSizes(p, f.args, f.count));
        std::size_t at = 0;
        for (std::size_t i = 1; i < p.parts.size(); ++i) {
            const auto [from, n] = nextRun(*p.parts[i], f.count, at);
            parts.push_back(Part{p.parts[i].get(), f.args + from, n});
        }
        return std::nullopt;
    }
    Sizes leave(const Part& f, std::span<Sizes> inner) const {
        return all.keep(f, parSizes(*f.p->parts.front(), inner.data(), inner.size()));
    }
};

Sizes FillingSizes::of(const ParNode& p, const Sizes* args, std::size_t count) {
    if (!nested(p)) return parSizes(p, args, count);
    Measure measure{*this};
    return rebuildTree<Part, Sizes>(Part{&p, args, count}, measure);
}

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
