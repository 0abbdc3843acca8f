// The candidate images of a tuple argument, taken apart element by element and folded back
// into one image with a tuple binder; and the application steps' entry.
#include <algorithm>
#include <optional>
#include <span>

#include "engine/matching/fast/solver.h"
#include "engine/matching/fast/step_sources.h"
#include "engine/matching/repeated_elements.h"
#include "engine/matching/tuple_typing.h"
#include "support/release.h"

namespace plim::fast::step_sources {

namespace {

// The step's results on an argument taken whole.
StepSourcePtr baseStep(ApStep step, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                       const std::optional<HeadType>& headType = std::nullopt, GroupFilter admits = nullptr) {
    if (step == ApStep::Simple || !flexible) return decomposition(x, t, s);
    if (step == ApStep::OneStep) return std::make_unique<OneStepSource>(x, t, s, headType, std::move(admits));
    return twoStepSource(x, t, s);
}

// The binders a fold over a tuple argument's elements has opened, newest first, with their
// types; a fold shares them with the folds that go on from it.
struct BinderCell {
    // Its parts moved or copied in once (a binder's name is a string: every move of it costs a
    // call).
    BinderCell(LamBinding&& b, Type&& t, std::shared_ptr<const BinderCell>&& o)
        : binder(std::move(b)), type(std::move(t)), outer(std::move(o)) {}
    BinderCell(const LamBinding& b, Type&& t, std::shared_ptr<const BinderCell>&& o)
        : binder(b), type(std::move(t)), outer(std::move(o)) {}
    BinderCell(const BinderCell&) = delete;
    BinderCell& operator=(const BinderCell&) = delete;
    ~BinderCell() {
        releaseSoleChildren(*this, [](BinderCell& c, auto take) { take(c.outer); });
    }

    LamBinding binder;
    Type type;
    std::shared_ptr<const BinderCell> outer;
};
using Binders = std::shared_ptr<const BinderCell>;

template <class Binding>
Binders withBinder(Binding&& b, Type t, Binders outer) {
    return std::allocate_shared<BinderCell>(PoolAllocator<BinderCell>(), std::forward<Binding>(b), std::move(t),
                                            std::move(outer));
}

// The fold over a tuple argument's elements: the binders opened so far and the term left to
// abstract (the problems collected are kept by the fold's source).  An element that is a tuple
// itself is folded the same way, so that the image's binder nests as the argument does and
// each innermost element is abstracted alone.
struct TupleFold {
    Binders binders;
    Term body;
};

// The term's own lambda at the head of a redex that never contracts (its binder does not fit
// the argument), taken by the decomposition of body: opened, its binder would stand for the
// element, which is matched against that very argument, and the image would not give the
// term back.
bool stuckRedexHead(const Term& h, const Term& body) {
    return body.is(TermKind::Ap) && h.sameNode(body.fun()) && !binderFits(h.binder(), body.arg());
}

// The candidate h of one element opened into a binder, its type and the body under it.
std::pair<TupleFold, NameSupply> openCandidate(const TupleFold& acc, const Term& h, const NameSupply& s) {
    if (h.is(TermKind::Lam) && !stuckRedexHead(h, acc.body))
        return {TupleFold{withBinder(h.binder(), argType(h.type()), acc.binders), h.body()}, s};
    auto [w, rest] = nextName(s);
    const Type& wt = argType(h.type());
    Term body = Ap(h, LVar(w, wt), resType(h.type()));
    return {TupleFold{withBinder(LamVar(w), wt, acc.binders), std::move(body)}, std::move(rest)};
}

using Repeats = std::shared_ptr<const repeated_elements::Checked<Problem>>;
using ProblemSpan = std::span<const Problem>;

// The groups of abstractions of the element e, after the problems `earlier`, whose candidates
// `disagreesWith` would not rule out: for a repeated bare element, those whose subterm agrees in
// shape with what the problems before it hold for e.  The same test, made once for a group
// and not once for each of its candidates (which are then not built); nothing to filter
// otherwise.
GroupFilter agreeingGroups(const Repeats& rep, const Term& e, ProblemSpan earlier) {
    if (!e.is(TermKind::PVar) || !listed(rep->names, e.name())) return nullptr;
    // What the problems before it hold for e: a subterm must agree in shape with each.
    std::vector<Term> held;
    auto collect = [&held, &e](ProblemSpan problems) {
        for (const Problem& p : problems)
            if (p.first.is(TermKind::PVar) && p.first.name() == e.name()) held.push_back(p.second);
    };
    collect(earlier);
    collect(rep->outer);
    if (held.empty()) return nullptr;
    return [held = std::move(held)](const Term& b) {
        return std::none_of(held.begin(), held.end(),
                            [&b](const Term& u) { return repeated_elements::shapesDiffer(b, u); });
    };
}

// The cells of the newest k binders of a fold, oldest first (kept on the thread: nothing
// reads them after the next call).
const std::vector<const BinderCell*>& newestCells(const Binders& from, std::size_t k) {
    thread_local std::vector<const BinderCell*> cells;
    cells.assign(k, nullptr);
    const BinderCell* c = from.get();
    for (std::size_t j = k; j-- > 0; c = c->outer.get()) cells[j] = c;
    return cells;
}

std::size_t countBinders(const Binders& bs) {
    std::size_t k = 0;
    for (const BinderCell* c = bs.get(); c; c = c->outer.get()) ++k;
    return k;
}

// What a place of the fold that closes binders into a tuple binder built last: that binder,
// given again for parts with the same names and the very same inner tuples, and its type,
// given again for the very same part types; so that the images of a search share them.  The
// cells are read from the newest back, as the fold holds them.
struct TupleMemo {
    std::optional<LamBinding> binder;
    std::vector<Type> parts;
    std::optional<Type> type;
    std::optional<std::pair<Type, Type>> arrow;  // the last image type from `type`: (result, image type)

    bool holdsBinder(const BinderCell* newest, std::size_t k) const {
        if (!binder) return false;
        const std::vector<LamBinding>& bs = binder->components();
        if (bs.size() != k) return false;
        for (const BinderCell* c = newest; k-- > 0; c = c->outer.get()) {
            const LamBinding& b = c->binder;
            if (b.isVar() ? !bs[k].isVar() || bs[k].name() != b.name() : !b.sameComponents(bs[k])) return false;
        }
        return true;
    }
    bool holdsType(const BinderCell* newest, std::size_t k) const {
        if (!type || parts.size() != k) return false;
        for (const BinderCell* c = newest; k-- > 0; c = c->outer.get())
            if (!c->type.sameNode(parts[k])) return false;
        return true;
    }
    // The function type from the tuple's type to `result`.
    const Type& imageType(const Type& result) {
        if (!arrow || !arrow->first.sameNode(result) || !arrow->second.args()[0].sameNode(*type))
            arrow.emplace(result, imageTypes().arrow(*type, result));
        return arrow->second;
    }
};

LamBinding tupleBinderOf(const std::vector<const BinderCell*>& cells) {
    std::vector<LamBinding> bs;
    bs.reserve(cells.size());
    for (const BinderCell* c : cells) bs.push_back(c->binder);
    return LamTup(std::move(bs));
}

Type tupleTypeOf(const std::vector<const BinderCell*>& cells) {
    std::vector<Type> ts;
    ts.reserve(cells.size());
    for (const BinderCell* c : cells) ts.push_back(c->type);
    return imageTypes().tuple(std::move(ts));
}

// The memo, holding the tuple binder of the newest k binders of the fold and its type.
TupleMemo& tupleOf(const Binders& from, std::size_t k, TupleMemo& memo) {
    if (!memo.holdsBinder(from.get(), k)) memo.binder = tupleBinderOf(newestCells(from, k));
    if (!memo.holdsType(from.get(), k)) {
        const std::vector<const BinderCell*>& cells = newestCells(from, k);
        memo.type = tupleTypeOf(cells);
        memo.parts.clear();
        for (const BinderCell* c : cells) memo.parts.push_back(c->type);
    }
    return memo;
}

Step finishTuple(TupleFold f, Problems problems, const NameSupply& s, TupleMemo* memo = nullptr) {
    const std::size_t k = countBinders(f.binders);
    if (k == 0) return stepOf(std::move(f.body), std::move(problems), s);
    if (k == 1) {
        const BinderCell& c = *f.binders;
        Term u = Lam(c.binder, f.body, imageTypes().arrow(c.type, f.body.type()));
        return stepOf(etaReduce(u), std::move(problems), s);
    }
    std::optional<TupleMemo> none;
    TupleMemo& tuple = tupleOf(f.binders, k, memo ? *memo : none.emplace());
    Term u = Lam(*tuple.binder, f.body, tuple.imageType(f.body.type()));
    return stepOf(etaReduce(u), std::move(problems), s);
}

StepSourcePtr withTupleArguments(ApStep step, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                                 Repeats repeated, GroupFilter admits = nullptr,
                                 const std::optional<Type>& headArg = std::nullopt);

// The innermost elements of a tuple argument, left to right, taken by one fold: an element
// that is a tuple of two or more is not folded on its own, its elements are taken in its place
// and, after its last one, the binders they opened are closed into one tuple binder, as
// opening the tuple abstraction that a fold of its own would give does.
struct Leaf {
    Term e;
    // The tuples that end with this element, innermost first: the index of the first leaf of
    // each and its number of elements.
    std::vector<std::pair<std::size_t, std::size_t>> closes;
    // The binder each of those tuples was last closed into.
    std::vector<TupleMemo> closed;
    // The part of the head's argument type at this element, when the head's type is known and
    // is a tuple type down to it.
    std::optional<Type> headPart;
};

// `headArg`: the head's argument type, when known.
std::vector<Leaf> leavesOf(const Term& x, const std::optional<Type>& headArg = std::nullopt) {
    struct Open {
        const Term* tuple;
        std::size_t next;
        std::size_t firstLeaf;
        std::optional<Type> type;
    };
    std::vector<Leaf> out;
    std::vector<Open> open{{&x, 0, 0, headArg}};
    while (!open.empty()) {
        Open& top = open.back();
        const std::size_t n = top.tuple->elems().size();
        if (top.next == n) {
            if (open.size() > 1) {
                out.back().closes.emplace_back(top.firstLeaf, n);
                out.back().closed.emplace_back();
            }
            open.pop_back();
            continue;
        }
        std::optional<Type> part = tupleTypeComponent(top.type, top.next, n);
        const Term& e = top.tuple->elems()[top.next++];
        if (e.is(TermKind::Tupl) && e.elems().size() >= 2) {
            open.push_back(Open{&e, 0, out.size(), std::move(part)});
            continue;
        }
        out.push_back(Leaf{e, {}, {}, std::move(part)});
    }
    return out;
}

// The fold after the last element of an inner tuple whose k elements opened the newest k
// binders, `outer` the fold before its first element: as the outer fold opens the inner fold's
// abstraction.  That is a lambda with a tuple binder over the k binders, unless it is an eta
// redex, which is opened as any other candidate.
std::pair<TupleFold, NameSupply> closeTuple(TupleFold fold, NameSupply s, const TupleFold& outer, std::size_t k,
                                            TupleMemo& memo) {
    const TupleMemo& tuple = tupleOf(fold.binders, k, memo);
    const BinderCell* oldest = fold.binders.get();
    for (std::size_t j = 1; j < k; ++j) oldest = oldest->outer.get();
    Binders before = oldest->outer;
    if (fold.body.is(TermKind::Ap)) {
        const Term u = Lam(*tuple.binder, fold.body, mkArrow(*tuple.type, fold.body.type()));
        Term reduced = etaReduce(u);
        if (!reduced.sameNode(u)) return openCandidate(outer, reduced, s);
    }
    return {TupleFold{withBinder(*tuple.binder, *tuple.type, std::move(before)), std::move(fold.body)}, std::move(s)};
}

// The candidates of the elements, depth first: for each candidate of the first element, in
// order, every combination of candidates of the later ones.  One frame per innermost element
// whose candidates are being tried.  The problems of the candidates taken so far are kept
// in one list, those of each frame's candidate after those of the frames before it.
class TupleSource final : public StepSource, public PooledSource<TupleSource> {
public:
    // `headArg`: the head's argument type, which every image's argument type must meet, when
    // the images' argument types follow their binders' (imageTypesFollowBinders).
    TupleSource(ApStep step, const Term& x, Repeats repeated, Term t, NameSupply s,
                const std::optional<Type>& headArg = std::nullopt)
        : step_(step), leaves_(leavesOf(x, headArg)), repeated_(std::move(repeated)), t_(std::move(t)),
          s_(std::move(s)), typed_(headArg && tupleTypeConstrains(*headArg)) {
        if (typed_) marks_.assign(leaves_.size(), 0);
    }

    std::optional<Step> next() override {
        if (!started_) {
            started_ = true;
            frames_.push_back(frameFor(leaves_.front().e, TupleFold{nullptr, t_}, s_));
        }
        while (!frames_.empty()) {
            std::optional<std::pair<TupleFold, NameSupply>> opened;
            if (!takeCandidate(frames_.back(), opened)) {
                if (frames_.back().oneStep) spare_.push_back(std::move(frames_.back().oneStep));
                frames_.pop_back();
                continue;
            }
            if (!opened) continue;  // ruled out by the problems before it
            const std::size_t i = frames_.size() - 1;
            if (typed_ && !binderTypesFit(i, opened->first.binders->type)) continue;
            for (std::size_t c = 0; c < leaves_[i].closes.size(); ++c) {
                const auto& [first, k] = leaves_[i].closes[c];
                *opened = closeTuple(std::move(opened->first), std::move(opened->second), frames_[first].acc, k,
                                     leaves_[i].closed[c]);
            }
            auto& [fold, s2] = *opened;
            if (i + 1 == leaves_.size()) {
                Step r = finishTuple(std::move(fold), collected(), s2, &finished_);
                // Every local variable of the image is one its binder opened.
                if (!t_.hasLVar()) recordClosed(r.first.first);
                return r;
            }
            frames_.push_back(frameFor(leaves_[i + 1].e, std::move(fold), s2));
        }
        return std::nullopt;
    }

private:
    // The candidates of one element: a one-step generator's taken as it gives them, before
    // their images are built; any other source's images.
    struct Frame {
        TupleFold acc;            // the fold before this element
        std::size_t problemsFrom;  // where the problems of this frame's candidate start
        std::unique_ptr<OneStepSource> oneStep;
        StepSourcePtr candidates;  // when oneStep is null
    };

    Frame frameFor(const Term& e, TupleFold acc, const NameSupply& s) {
        GroupFilter admits = agreeingGroups(repeated_, e, problems_);
        if (step_ == ApStep::OneStep && !e.is(TermKind::Tupl)) {
            std::unique_ptr<OneStepSource> oneStep;
            if (spare_.empty()) {
                oneStep = std::make_unique<OneStepSource>(e, acc.body, s, std::nullopt, std::move(admits));
            } else {
                oneStep = std::move(spare_.back());
                spare_.pop_back();
                oneStep->restart(e, acc.body, s, std::nullopt, std::move(admits));
            }
            return Frame{std::move(acc), problems_.size(), std::move(oneStep), nullptr};
        }
        StepSourcePtr candidates =
            withTupleArguments(step_, true, e, acc.body, s, repeated_elements::checkedFor(repeated_, e, problems_),
                               std::move(admits));
        return Frame{std::move(acc), problems_.size(), nullptr, std::move(candidates)};
    }

    // The frame's next candidate opened into `opened` (left empty when the problems before it
    // rule it out); false once there is none.
    bool takeCandidate(Frame& top, std::optional<std::pair<TupleFold, NameSupply>>& opened) {
        if (top.oneStep) {
            std::optional<Candidate> c = top.oneStep->nextCandidate();
            if (!c) return false;
            fresh_.clear();
            if (c->problem) fresh_.push_back(std::move(*c->problem));
            if (!admit(top, fresh_)) return true;
            if (c->kind == Candidate::Kind::Image) {
                opened = openCandidate(top.acc, c->body, top.oneStep->restOf(*c));
            } else {
                // The abstraction's lambda, opened as openCandidate opens it (a lambda just built
                // is at the head of no redex of the body).
                opened.emplace(TupleFold{withBinder(top.oneStep->binder(), *c->varType, top.acc.binders),
                                         std::move(c->body)},
                               top.oneStep->restOf(*c));
            }
            return true;
        }
        std::optional<Step> c = top.candidates->next();
        if (!c) return false;
        if (!admit(top, c->first.second)) return true;
        opened = openCandidate(top.acc, c->first.first, c->second);
        return true;
    }

    // Keeps the problems of the frame's new candidate after those of the frames before it;
    // false (keeping none) when they cannot all be solved.
    bool admit(const Frame& top, Problems& fresh) {
        problems_.erase(problems_.begin() + static_cast<std::ptrdiff_t>(top.problemsFrom), problems_.end());
        auto pattern = [](const Problem& p) -> const Term& { return p.first; };
        auto term = [](const Problem& p) -> const Term& { return p.second; };
        if (repeated_elements::disagreesWith(*repeated_, fresh, problems_, pattern, term)) return false;
        problems_.insert(problems_.end(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
        return true;
    }

    // With the binder of leaf i typed t, the binders' types of the leaves so far can all meet
    // their parts of the head's argument type: otherwise no image that goes on from them can
    // match the head (the pairs, not the images, are what differ between the candidates).
    // The pairs of the leaves before i stay unified while leaf i's candidates are tried; the
    // bindings after them are taken back for each.
    bool binderTypesFit(std::size_t i, const Type& t) {
        unifier_.undo(marks_[i]);
        if (leaves_[i].headPart && !unifier_.unify(*leaves_[i].headPart, t)) return false;
        if (i + 1 < marks_.size()) marks_[i + 1] = unifier_.mark();
        return true;
    }

    // The problems of the candidates taken, later elements' first.
    Problems collected() const {
        Problems out;
        out.reserve(problems_.size());
        std::size_t end = problems_.size();
        for (std::size_t i = frames_.size(); i-- > 0;) {
            const std::size_t from = frames_[i].problemsFrom;
            out.insert(out.end(), problems_.begin() + static_cast<std::ptrdiff_t>(from),
                       problems_.begin() + static_cast<std::ptrdiff_t>(end));
            end = from;
        }
        return out;
    }

    ApStep step_;
    std::vector<Leaf> leaves_;
    Repeats repeated_;
    Term t_;
    NameSupply s_;
    bool started_ = false;
    std::vector<Frame> frames_;
    Problems problems_;
    Problems fresh_;  // the problem of a generator's candidate, in storage kept for the next
    TupleMemo finished_;  // the last image's binder
    bool typed_;          // binders' types are checked against the head's argument type
    TypeUnifier unifier_;  // the leaves' parts against their current binders' types
    std::vector<std::size_t> marks_;  // the unifier's mark before each leaf's pair
    std::vector<std::unique_ptr<OneStepSource>> spare_;  // generators of frames left, for new frames
};

// A rigid head decomposes whatever its argument: taking a tuple argument apart element by
// element as if the head were flexible would let the two-step candidates, which bring no
// problems, drop the pattern variables of the tuple.
StepSourcePtr withTupleArguments(ApStep step, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                                 Repeats repeated, GroupFilter admits, const std::optional<Type>& headArg) {
    if (!x.is(TermKind::Tupl) || !flexible)
        return baseStep(step, flexible, x, t, s, std::nullopt, std::move(admits));
    if (x.elems().empty()) return onceSource(finishTuple(TupleFold{nullptr, t}, {}, s));
    return std::make_unique<TupleSource>(step, x, std::move(repeated), t, s, headArg);
}

// The argument type of the head's type, when the images' argument types follow their binders'.
std::optional<Type> headArgument(const std::optional<HeadType>& h) {
    if (!h || !h->tupleImagesTyped) return std::nullopt;
    const Type& f = h->head;
    if (!f.isTCon() || f.name() != arrowName || f.args().size() != 2) return std::nullopt;
    return f.args()[0];
}

}  // namespace

}  // namespace plim::fast::step_sources

namespace plim::fast {

using namespace step_sources;

StepSourcePtr stepSource(ApStep step, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                         const std::optional<HeadType>& headType, bool wholeArgument, std::vector<std::string> repeated) {
    if (step == ApStep::Simple || wholeArgument || !x.is(TermKind::Tupl))
        return baseStep(step, flexible, x, t, s, headType);
    return withTupleArguments(
        step, flexible, x, t, s,
        std::make_shared<const repeated_elements::Checked<Problem>>(repeated_elements::Checked<Problem>{std::move(repeated), {}}),
        nullptr, headArgument(headType));
}

}  // namespace plim::fast
