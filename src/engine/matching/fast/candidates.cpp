// The application steps: first-order decomposition, and for a flexible head the one-step and
// two-step candidate images, with the element-by-element handling of tuple arguments.
//
// Every candidate list is lazy: groups of equal subterms, subsets of their occurrences and
// two-step bodies are produced only as far as the search reads them.
#include <algorithm>
#include <functional>
#include <optional>
#include <span>
#include <unordered_map>

#include "engine/matching/abstraction_types.h"
#include "engine/matching/fast/matcher.h"
#include "engine/matching/fast/scoped_walk.h"
#include "engine/matching/fast/solver.h"
#include "engine/matching/fast/types_by_node.h"
#include "engine/matching/repeated_elements.h"
#include "engine/matching/rigid_tops.h"
#include "engine/matching/tuple_typing.h"
#include "engine/matching/type_constraint.h"
#include "support/errors.h"
#include "support/hashing.h"
#include "support/release.h"

namespace plim::fast {

namespace {

using Step = std::pair<StepResult, NameSupply>;

// A step result with the supply after it.  (Braces would copy the problems: a braced pair
// initialises the pair through its constructor from const references.)
Step stepOf(Term image, Problems problems, NameSupply s) {
    return Step(StepResult(std::move(image), std::move(problems)), std::move(s));
}

StepResults decomposition(const Term& x, const Term& t, const NameSupply& s) {
    if (!t.is(TermKind::Ap)) return StepResults();
    return StepResults::cons(stepOf(t.fun(), {{x, t.arg()}}, s), StepResults());
}

// --- one-step candidates ------------------------------------------------------------------

bool contains(const std::vector<std::string>& names, const std::string& n) {
    return std::find(names.begin(), names.end(), n) != names.end();
}

bool subsetOf(const std::vector<std::string>& small, const std::vector<std::string>& big) {
    return std::includes(big.begin(), big.end(), small.begin(), small.end());
}

// The top of b has the form that the rigid top of x requires (rigid_tops.h).
bool shapeAllows(const Term& x, const Term& b) {
    return rigidTopAllows(x, b);
}

// A subterm of t that x may be matched against once it is abstracted.  What is left out
// could only give candidates whose problem (x, b) fails: one that lacks a rigid symbol of x,
// one that mentions a local variable x cannot, and one whose type x's type can never match:
// when the types of t hold no type variable (so that no later substitution changes them), one
// that x's type cannot match now (a later substitution only makes x's type more specific);
// otherwise, for x typed by a type variable, one whose type holds that variable as a part.
bool qualifies(const Term& x, const Term& b, bool closedTypes) {
    if (!shapeAllows(x, b)) return false;
    if (!abstractionTypesAllow(x.type(), b.type(), closedTypes)) return false;
    if (!mayMatch(x, b)) return false;
    if (!b.hasLVar()) return true;
    if (!x.hasLVar()) return !hasFreeLocals(b);
    return subsetOf(freeLocalSet(b), freeLocalSet(x));
}

// The subterm at the position mentions no variable bound by a lambda of t above it (by name
// alone, a variable bound further out and one bound inside t can look alike).
bool freeOfInnerBinders(const PositionTable& all, std::size_t at) {
    const Term& b = all.term(at);
    if (!hasFreeLocals(b)) return true;
    const std::vector<std::string> inner = bindersOnPath(all.term(0), all.path(at));
    for (const std::string& n : freeLocalSet(b))
        if (contains(inner, n)) return false;
    return true;
}

// The abstraction candidates come from one generator that walks the qualifying positions in
// order: a group is a subterm with the paths of all its occurrences (equal under termEq), in
// pre-order, started at its first occurrence; for each group the non-empty subsets of its
// paths follow in powerset order (subset number i holds the paths whose bit is set in i, the
// last path being bit 0), without the single [Second] path; the constant abstraction ends
// the list.  Groups are found only as the search reads that far.

// Whether the problem (x, b) of a group may be solved with the problems it comes with; a group
// it rules out gives no candidate (none by default).  It is given only for terms without
// lambdas and looks at the shape of b alone, so that it answers alike for equal subterms.
using GroupFilter = std::function<bool(const Term& b)>;

// What an idle workspace holds in place of terms.
const Term& idleTerm() {
    thread_local const Term idle = LVar(std::string(), mkTid("idle"));
    return idle;
}

struct Abstractions {
    // Lets go of the terms, keeping the storage for another generator.
    void release() {
        x = t = b = var = idleTerm();
        headType.reset();
        fitsType.reset();
        admits = nullptr;
        all.reset(idleTerm());
        known = nullptr;
        cut.clear();
        groupPaths.clear();
        subset.clear();
    }

    Term x = idleTerm();
    Term t = idleTerm();
    std::string v;
    std::optional<HeadType> headType;  // what the images' types must fit, when known
    GroupFilter admits;                // the groups that may give candidates, when given
    bool closedTypes = false;          // t's types hold no type variable
    bool lambdaApplications = false;   // t holds an application of a lambda that lambdaApplications meets
    PositionTable all = PositionTable(idleTerm());
    std::vector<std::uint8_t> taken;  // bytes, not bits: asked at every position
    std::size_t nextFrom = 0;  // where the search for the next group starts
    bool inGroup = false;
    bool finished = false;     // the constant abstraction is given
    Term b = idleTerm();       // the current group's subterm (x until the first group)
    Term var = idleTerm();     // the abstraction variable, typed as b
    std::optional<Type> fnType;  // the image's type, from b's type to t's, once asked for
    std::vector<Path> paths;   // b's paths
    std::vector<std::size_t> members;  // the positions of b's group
    std::vector<std::uint8_t> counter;  // counter[k] is bit k of the current subset number
    std::vector<const Path*> subset;  // the paths of the current subset, in `groupPaths`
    std::vector<const Path*> groupPaths;  // b's paths, in `paths` or in `known`
    // Read in place of the positions: the groups of the term t was abstracted from, with the
    // paths it abstracted (`cut`); the groups in the order of their first members left.
    const struct KnownGroups* known = nullptr;
    std::vector<std::size_t> cut;  // positions, numbered in pre-order of the known groups' term
    std::vector<std::pair<std::size_t, std::size_t>> knownOrder;  // (first member left, group)
    std::size_t nextKnown = 0;
    std::optional<Type> fitsType;  // the type imageFits was last asked for, and its answer
    bool fits = false;
};

// The groups of the subterms of a term that an argument may be matched against, each with
// its subterms and their pre-order numbers and paths, in the order the generator finds them.
// A term without lambdas that has some of its positions abstracted (by a variable x cannot
// mention) has the same groups without the positions inside or above those: the generator of
// a tuple argument's next element reads them from here instead of from its own positions.
struct KnownGroups {
    PositionTable all;                 // the term's positions
    std::vector<std::size_t> members;  // the groups' positions, group after group
    std::vector<std::size_t> starts;   // where each group's begin in `members`, and the end
};

// The type of an image, from its argument and result types: the head's own type when that is
// the same function type, so that the type match of the head against the image finds the
// very same node instead of comparing two copies (on a long spine of applications each level
// would compare the whole rest of the spine's type; sharing, the next level finds its result
// type to be the very node of its head's).
Type imageType(const std::optional<HeadType>& h, const Type& arg, const Type& res) {
    if (h && h->types.isIdentity()) {
        const Type& f = h->head;
        auto same = [](const Type& a, const Type& b) { return a.sameNode(b) || eqType(a, b); };
        if (f.isTCon() && f.name() == arrowName && f.args().size() == 2 && same(f.args()[0], arg) &&
            same(f.args()[1], res))
            return f;
    }
    return mkArrow(arg, res);
}

// The type of the image abstracting b can be matched by the head's type (when t's types are
// closed: the head's type only becomes more specific before the image meets it).
bool imageFits(Abstractions& g, const Term& b) {
    if (!g.headType || !g.closedTypes) return true;
    // Asked at every position, most of which share their type nodes: the last answer is kept.
    if (g.fitsType && g.fitsType->sameNode(b.type())) return g.fits;
    const Type image = mkArrow(b.type(), g.t.type());
    const TypeSubst& ts = g.headType->types;
    g.fits = typesMatch(g.headType->head, ts.isIdentity() ? image : substType(ts, image));
    g.fitsType = b.type();
    return g.fits;
}

// The abstraction variable of a group: the same node for the same name and the very same
// type node, so that the bodies of a search's candidates share it, and the nodes rebuilt
// around it with it (term_operations.cpp, withChild).
Term abstractionVariable(const std::string& v, const Type& type) {
    constexpr std::size_t kRecent = 16;
    thread_local std::vector<Term> recent;  // the newest last
    for (std::size_t i = recent.size(); i-- > 0;)
        if (recent[i].type().sameNode(type) && recent[i].name() == v) return recent[i];
    Term u = LVar(v, type);
    if (recent.size() == kRecent) recent.erase(recent.begin());
    recent.push_back(u);
    return u;
}

// The next group that `admits` lets through: its subterm, its paths and a fresh subset
// counter; false once there is none.  A group it rules out is not gathered: `admits` asks for
// the shape of a term without lambdas, which every equal subterm shares, so the positions of
// that group are ruled out as well when they come, and none of them belongs to a group that is
// let through.
bool startKnownGroup(Abstractions& g);

// The positions of the next group that `admits` lets through, in `g.members`, the first
// holding the group's subterm; false once there is none.
bool nextGroupMembers(Abstractions& g) {
    std::vector<std::size_t>& members = g.members;
    for (;;) {
        std::size_t i = g.nextFrom;
        while (i < g.all.size() && (g.taken[i] || !qualifies(g.x, g.all.term(i), g.closedTypes) ||
                                    !imageFits(g, g.all.term(i)) || !freeOfInnerBinders(g.all, i)))
            ++i;
        if (i == g.all.size()) return false;
        g.nextFrom = i + 1;
        const Term& b = g.all.term(i);
        if (g.admits && !g.admits(b)) continue;
        members.assign(1, i);
        // A term without lambdas equals no smaller term: its own positions, and those of every
        // smaller subterm after it (a subtree's positions follow its top in pre-order, as many
        // as its nodes), are passed over.
        const bool plain = !b.hasLam();
        for (std::size_t j = plain ? i + b.size() : i + 1; j < g.all.size(); ++j) {
            const Term& u = g.all.term(j);
            if (plain && u.size() < b.size()) {
                j += u.size() - 1;
                continue;
            }
            // termEq's own first test, without the call: terms without lambdas of another
            // kind or size differ.
            if (g.taken[j] || (plain && !u.hasLam() && (u.kind() != b.kind() || u.size() != b.size())) ||
                !termEq(b, u) || !freeOfInnerBinders(g.all, j))
                continue;
            g.taken[j] = 1;
            members.push_back(j);
        }
        // Every candidate of the group brings the problem (x, b); when it has no solution
        // (self_typed_applications.h), the group, gathered whole, gives none.
        if (problemMatchesNothing(g.x, b)) continue;
        return true;
    }
}

bool startGroup(Abstractions& g) {
    if (g.known) return startKnownGroup(g);
    if (!nextGroupMembers(g)) return false;
    const std::vector<std::size_t>& members = g.members;
    g.b = g.all.term(members.front());
    g.var = abstractionVariable(g.v, g.b.type());
    g.fnType.reset();
    g.paths.resize(members.size());
    g.groupPaths.clear();
    for (std::size_t k = 0; k < members.size(); ++k) {
        g.all.pathInto(members[k], g.paths[k]);
        g.groupPaths.push_back(&g.paths[k]);
    }
    g.counter.assign(g.paths.size(), 0);
    return true;
}

// The position i of the known groups' term is cut away: it is inside or above a cut position
// (a subtree's positions follow its top in pre-order, as many as its nodes).
bool cutAway(const Abstractions& g, std::size_t i) {
    const PositionTable& all = g.known->all;
    auto inside = [&all](std::size_t a, std::size_t top) { return top <= a && a - top < all.term(top).size(); };
    return std::any_of(g.cut.begin(), g.cut.end(), [&](std::size_t c) { return inside(i, c) || inside(c, i); });
}

// The known groups in the order of their first members left once the cut positions are gone.
void orderKnownGroups(Abstractions& g) {
    g.knownOrder.clear();
    g.nextKnown = 0;
    const KnownGroups& k = *g.known;
    for (std::size_t n = 0; n + 1 < k.starts.size(); ++n)
        for (std::size_t m = k.starts[n]; m < k.starts[n + 1]; ++m)
            if (!cutAway(g, k.members[m])) {
                g.knownOrder.emplace_back(k.members[m], n);
                break;
            }
    std::sort(g.knownOrder.begin(), g.knownOrder.end());
}

// startGroup from the known groups: the members of the next group left, its subterm the
// first of them, as the walk over the term's own positions would find them.
bool startKnownGroup(Abstractions& g) {
    if (g.nextKnown == g.knownOrder.size()) return false;
    const auto [first, n] = g.knownOrder[g.nextKnown++];
    const KnownGroups& k = *g.known;
    g.members.clear();
    for (std::size_t m = k.starts[n]; m < k.starts[n + 1]; ++m)
        if (!cutAway(g, k.members[m])) g.members.push_back(k.members[m]);
    g.b = k.all.term(first);
    g.var = abstractionVariable(g.v, g.b.type());
    g.fnType.reset();
    g.paths.resize(g.members.size());
    g.groupPaths.clear();
    for (std::size_t m = 0; m < g.members.size(); ++m) {
        k.all.pathInto(g.members[m], g.paths[m]);
        g.groupPaths.push_back(&g.paths[m]);
    }
    g.counter.assign(g.groupPaths.size(), 0);
    return true;
}

// The next subset of the current group's paths; false once they are all taken.
bool nextSubset(Abstractions& g, std::vector<const Path*>& subset) {
    std::size_t k = 0;
    while (k < g.counter.size() && g.counter[k]) g.counter[k++] = 0;
    if (k == g.counter.size()) return false;
    g.counter[k] = 1;
    const std::size_t n = g.groupPaths.size();
    subset.clear();
    for (std::size_t j = 0; j < n; ++j)
        if (g.counter[n - 1 - j]) subset.push_back(g.groupPaths[j]);
    return true;
}

bool isArgumentOnly(const std::vector<const Path*>& subset) {
    return subset.size() == 1 && subset.front()->size() == 1 && subset.front()->front() == Second;
}

bool binderFits(const LamBinding& b, const Term& a) {
    return binder_walks::zip(
        b, a, [](const LamBinding& c) { return c.isVar() ? nullptr : &c.components(); },
        [](const Term& u) { return u.is(TermKind::Tupl) ? &u.elems() : nullptr; },
        [](const LamBinding&, const Term&) { return true; });
}

// The applications of lambdas met on the walk down applications and lambda bodies (not into
// tuples, nor into an application's own parts): none, all with a binder that fits the
// argument, or one whose binder does not.  An abstraction body that keeps a redex which beta
// reduction could never contract (a tuple binder against anything but a tuple of its shape)
// is no candidate.  Replacing subterms by a variable never makes a binder fit, so a term whose
// walk meets no application of a lambda answers for all its abstractions at once.
enum class LambdaApplications : std::uint8_t { None, AllFit, Misfit };

LambdaApplications lambdaApplications(const Term& t) {
    LambdaApplications found = LambdaApplications::None;
    if (!t.hasLam()) return found;
    // Kept for the next walk (nothing below walks again).
    thread_local std::vector<const Term*> pending;
    pending.assign(1, &t);
    while (!pending.empty()) {
        const Term& u = *pending.back();
        pending.pop_back();
        if (!u.hasLam()) continue;
        if (u.is(TermKind::Lam)) {
            pending.push_back(&u.body());
        } else if (u.is(TermKind::Ap)) {
            if (u.fun().is(TermKind::Lam)) {
                if (!binderFits(u.fun().binder(), u.arg())) return LambdaApplications::Misfit;
                found = LambdaApplications::AllFit;
                continue;
            }
            pending.push_back(&u.arg());
            pending.push_back(&u.fun());
        }
    }
    return found;
}

// A candidate of a generator before its image is built: an Image is the image itself, `body`
// (the decomposition); the others are the abstraction of the generator's variable, typed
// `varType`, over `body`: the Constant abstraction, or that of some occurrences of a Group.
// A candidate brings one problem at most (none for the constant abstraction), held in place.
// The supply left after it is its generator's (OneStepSource::restOf), as is `varType` (the
// type of a term the generator holds): a candidate is read before the next one is asked for.
struct Candidate {
    enum class Kind : std::uint8_t { Image, Constant, Group };
    Kind kind;
    Term body;
    const Type* varType;
    std::optional<Problem> problem;

    Problems problems() && {
        Problems out;
        if (problem) out.push_back(std::move(*problem));
        return out;
    }
};

// The problem (x, b) of an abstraction, none when it holds whatever comes: the same constant
// on both sides at one type without type variables, which no substitution changes.
std::optional<Problem> abstractionProblem(const Term& x, const Term& b) {
    if (x.is(TermKind::Con) && b.is(TermKind::Con) && !x.hasTypeVars() && eqConstant(x.constant(), b.constant()) &&
        (x.type().sameNode(b.type()) || eqType(x.type(), b.type())))
        return std::nullopt;
    return Problem{x, b};
}

// The next abstraction of the generator, the constant abstraction last; none after that.
std::optional<Candidate> nextAbstraction(Abstractions& g) {
    if (g.finished) return std::nullopt;
    for (;;) {
        if (!g.inGroup) {
            if (!startGroup(g)) {
                // The constant abstraction comes last; its variable stands for x.
                g.finished = true;
                return Candidate{Candidate::Kind::Constant, g.t, &g.x.type(), {}};
            }
            g.inGroup = true;
        }
        if (!nextSubset(g, g.subset)) {
            g.inGroup = false;
            continue;
        }
        if (isArgumentOnly(g.subset)) continue;
        Term body = replaceAll(g.subset, g.var, g.t);
        if (g.lambdaApplications && lambdaApplications(body) == LambdaApplications::Misfit) continue;
        return Candidate{Candidate::Kind::Group, std::move(body), &g.b.type(), abstractionProblem(g.x, g.b)};
    }
}

// The workspaces of finished generators, kept with their storage on the thread: a search
// starts a generator for every element of every tuple candidate it opens.
class AbstractionsPool {
public:
    ~AbstractionsPool() { closed() = true; }
    std::unique_ptr<Abstractions> take() {
        if (free_.empty()) return std::make_unique<Abstractions>();
        std::unique_ptr<Abstractions> g = std::move(free_.back());
        free_.pop_back();
        return g;
    }
    // Keeps the workspace unless the pool is full or its storage grew for a large term (kept,
    // it would stay with the thread for good).
    void give(std::unique_ptr<Abstractions> g) {
        if (free_.size() >= kKept || g->all.capacity() > kKeptPositions) return;
        g->release();
        free_.push_back(std::move(g));
    }
    // Set once the thread's pool is gone (a generator may outlive it at the thread's end).
    static bool& closed() {
        thread_local bool gone = false;
        return gone;
    }

private:
    static constexpr std::size_t kKept = 64;
    static constexpr std::size_t kKeptPositions = 1 << 14;
    std::vector<std::unique_ptr<Abstractions>> free_;
};

AbstractionsPool& abstractionsPool() {
    thread_local AbstractionsPool pool;
    return pool;
}

struct GiveBack {
    void operator()(Abstractions* g) const {
        std::unique_ptr<Abstractions> owned(g);
        if (!AbstractionsPool::closed()) abstractionsPool().give(std::move(owned));
    }
};

// The results of a list, one at a time.
class ListSource final : public StepSource {
public:
    explicit ListSource(StepResults rest) : rest_(std::move(rest)) {}
    std::optional<Step> next() override {
        if (rest_.empty()) return std::nullopt;
        Step r = rest_.head();
        rest_ = rest_.tail();
        return r;
    }

private:
    StepResults rest_;
};

StepSourcePtr fromList(StepResults rs) { return std::make_unique<ListSource>(std::move(rs)); }

// The one-step candidates of a flexible head: the decomposition first, then the abstractions
// of subterms (of the groups `admits` lets through, when given), then the constant
// abstraction.  The fresh name is drawn, and the term's positions listed, only when the
// search reads past the decomposition.
class OneStepSource final : public StepSource {
public:
    OneStepSource(Term x, Term t, NameSupply s, std::optional<HeadType> headType, GroupFilter admits,
                  const KnownGroups* known = nullptr, const std::vector<std::size_t>& cut = {})
        : x_(std::move(x)), t_(std::move(t)), s_(std::move(s)), headType_(std::move(headType)), admits_(std::move(admits)),
          known_(known), cut_(cut) {}

    // The same generator for other arguments, its workspace kept; `known`, when given, holds
    // the groups of the term that t is with the positions `cut` abstracted (KnownGroups).
    void restart(Term x, Term t, NameSupply s, std::optional<HeadType> headType, GroupFilter admits,
                 const KnownGroups* known = nullptr, const std::vector<std::size_t>& cut = {}) {
        x_ = std::move(x);
        t_ = std::move(t);
        s_ = std::move(s);
        headType_ = std::move(headType);
        admits_ = std::move(admits);
        phase_ = Phase::Decomposition;
        abstracting_ = false;
        known_ = known;
        cut_.assign(cut.begin(), cut.end());
    }

    std::optional<Step> next() override {
        std::optional<Candidate> c = nextCandidate();
        if (!c) return std::nullopt;
        if (c->kind == Candidate::Kind::Image)
            return stepOf(std::move(c->body), std::move(*c).problems(), s_);
        Term u = Lam(binder_, std::move(c->body), imageTypeOf(*c));
        // Its own variable is the only local variable it adds to t's: closed with t.
        if (!hasFreeLocals(t_)) recordClosed(u);
        return stepOf(std::move(u), std::move(*c).problems(), rest_);
    }

    // The next candidate, its image not built (the fold over a tuple argument opens it).
    std::optional<Candidate> nextCandidate() {
        switch (phase_) {
        case Phase::Decomposition:
            phase_ = Phase::Start;
            if (t_.is(TermKind::Ap))
                return Candidate{Candidate::Kind::Image, t_.fun(), &t_.type(), Problem{x_, t_.arg()}};
            [[fallthrough]];
        case Phase::Start: {
            auto [v, rest] = nextName(s_);
            if (!binder_.isVar() || binder_.name() != v) binder_ = LamVar(v);
            rest_ = std::move(rest);
            // No subterm holds what the whole term lacks: only the constant abstraction is left.
            if (!mayMatch(x_, t_)) {
                phase_ = Phase::Done;
                return Candidate{Candidate::Kind::Constant, t_, &x_.type(), {}};
            }
            phase_ = Phase::Abstracting;
            if (!g_) g_.reset(abstractionsPool().take().release());
            start(*g_, std::move(v));
            [[fallthrough]];
        }
        case Phase::Abstracting:
            if (std::optional<Candidate> c = nextAbstraction(*g_)) return c;
            phase_ = Phase::Done;
            return std::nullopt;
        case Phase::Done: return std::nullopt;
        }
        return std::nullopt;
    }

    // The binder of the abstractions' variable (once a candidate other than the decomposition is given).
    const LamBinding& binder() const { return binder_; }
    // The positions the last abstraction of a group abstracted, numbered in pre-order of t.
    void abstracted(std::vector<std::size_t>& out) const {
        const Abstractions& g = *g_;
        const std::size_t n = g.members.size();
        out.clear();
        for (std::size_t j = 0; j < n; ++j)
            if (g.counter[n - 1 - j]) out.push_back(g.members[j]);
    }
    // The supply left after the candidate: the given one after the decomposition, the one
    // without the abstractions' variable after the others.
    const NameSupply& restOf(const Candidate& c) const { return c.kind == Candidate::Kind::Image ? s_ : rest_; }

private:
    enum class Phase : std::uint8_t { Decomposition, Start, Abstracting, Done };

    void start(Abstractions& g, std::string v) {
        abstracting_ = true;
        g.x = x_;
        g.t = t_;
        g.v = std::move(v);
        g.headType = std::move(headType_);
        g.fitsType.reset();
        g.admits = std::move(admits_);
        g.closedTypes = !t_.hasTypeVars();
        g.lambdaApplications = lambdaApplications(t_) != LambdaApplications::None;
        g.known = known_;
        if (known_) {
            g.cut = cut_;
            orderKnownGroups(g);
        } else {
            g.all.reset(t_);
            g.taken.assign(g.all.size(), 0);
        }
        g.nextFrom = 0;
        g.inGroup = false;
        g.finished = false;
        g.b = x_;
        g.var = x_;
        g.fnType.reset();
    }

    // The type of the abstraction's image: the group's, worked out once for the group.
    Type imageTypeOf(const Candidate& c) {
        // The head type moves into the workspace when it starts: a workspace kept from before a
        // restart holds the head type of the arguments before.
        if (c.kind != Candidate::Kind::Group) return imageType(abstracting_ ? g_->headType : headType_, x_.type(), t_.type());
        if (!g_->fnType) g_->fnType = imageType(g_->headType, g_->b.type(), g_->t.type());
        return *g_->fnType;
    }

    Term x_;
    Term t_;
    NameSupply s_;
    std::optional<HeadType> headType_;
    GroupFilter admits_;
    Phase phase_ = Phase::Decomposition;
    bool abstracting_ = false;  // g_ started for these arguments (and holds headType_)
    const KnownGroups* known_ = nullptr;
    std::vector<std::size_t> cut_;
    LamBinding binder_ = LamVar(std::string());  // binds the abstractions' variable
    NameSupply rest_;  // s_ without that variable
    std::unique_ptr<Abstractions, GiveBack> g_;
};

StepSourcePtr oneStepFlexible(const Term& x, const Term& t, const NameSupply& s,
                              const std::optional<HeadType>& headType = std::nullopt, GroupFilter admits = nullptr) {
    return std::make_unique<OneStepSource>(x, t, s, headType, std::move(admits));
}

// The groups that a generator for x over t, without a head type or a filter, finds.
KnownGroups knownGroups(const Term& x, const Term& t) {
    std::unique_ptr<Abstractions, GiveBack> g(abstractionsPool().take().release());
    g->x = x;
    g->t = t;
    g->closedTypes = !t.hasTypeVars();
    g->all.reset(t);
    g->taken.assign(g->all.size(), 0);
    g->nextFrom = 0;
    KnownGroups out{PositionTable(idleTerm()), {}, {0}};
    while (nextGroupMembers(*g)) {
        out.members.insert(out.members.end(), g->members.begin(), g->members.end());
        out.starts.push_back(out.members.size());
    }
    std::swap(out.all, g->all);
    return out;
}

// Tuple and function types of images built before on this thread, by their parts' very
// nodes: the images of one search are built from the same few types, and sharing their nodes
// lets the conversion of the results substitute each type once (conversion.cpp).
class ImageTypes {
public:
    Type tuple(std::vector<Type> parts) {
        return tuples_.get(std::move(parts), [](const std::vector<Type>& ps) { return mkTupleType(ps); });
    }
    Type arrow(const Type& arg, const Type& res) {
        return arrows_.get(
            TypePairProbe{&arg, &res}, [](const TypePairProbe& p) { return std::pair<Type, Type>(*p.first, *p.second); },
            [](const std::pair<Type, Type>& k) { return mkArrow(k.first, k.second); });
    }

private:
    TypesByNode<std::vector<Type>, Type> tuples_;
    TypesByNode<std::pair<Type, Type>, Type> arrows_;
};

ImageTypes& imageTypes() {
    thread_local ImageTypes types;
    return types;
}

// --- two-step candidates -----------------------------------------------------------------
//
// The bodies are built as the reference matcher builds them, level by level: level 0 is the
// term itself; level n + 1 replaces, in each body of level n, one subterm that holds no
// abstraction variable and is an instance of the argument's body (its leading lambda
// variables as pattern variables, other local variables frozen) by the abstraction variable
// applied to the instantiated parameters, contracting a lambda on the way that becomes an eta
// redex.  Bodies equal under termEq to an earlier body of the same level are dropped.  The
// levels stop before the first empty level.  So the candidates come in the reference order:
// the constant abstraction first, then the abstractions of one instance, of two, and so on;
// only the names of the fresh variables may differ.
//
// The abstraction variable has one type: the argument's type as the body's instances
// instantiate it.  A body keeps the type substitution of its instances, and a further
// instance must give the argument's type variables the same types (merged, not sought with
// them applied, which would let the match bind the term's type variables): a polymorphic constant met at two types gives two bodies, not one variable used at
// both.  An instance whose match leaves a parameter unbound (the argument ignores it) gives no
// body: no term stands for that parameter.  The candidate brings the body's type substitution
// along as a problem, so that the match's types say what the argument's type variables were
// instantiated to, also those that only its inner parts mention.

struct BodyBuilder {
    std::string v;             // the abstraction variable's name
    Type argType;              // the whole argument's type
    std::vector<Term> params;  // the argument's leading lambda variables, as PVars
    Term pattern;              // the argument's body, opened and frozen
};

BodyBuilder bodyBuilder(const std::string& v, const Term& x) {
    const Term opened = openLeadingLams(x);
    // Without local variables there is nothing to freeze.
    return BodyBuilder{v, x.type(), leadingLamVars(x), opened.hasLVar() ? freezeLocals(freeLocals(opened), opened) : opened};
}

// A body with what its instances made of the argument's type variables.
struct TypedBody {
    Term body;
    TypeSubst types;
    // Where the search of the body for a further instance starts: past its newest instance,
    // when the instances are searched in increasing order (TwoStepSource::ordered_).
    std::size_t from = 0;
};

// The constants that the free variables of the subterm at a position of b are frozen into:
// its own name for a variable bound outside b, which the argument may mention as well; a name
// no variable has for one bound by a lambda of b above the position, which is another
// variable even when it looks like one of the argument's.
NameMap frozenNames(const PositionTable& all, std::size_t at) {
    NameMap out;
    if (!hasFreeLocals(all.term(at))) return out;
    const std::vector<std::string> inner = bindersOnPath(all.term(0), all.path(at));
    for (const std::string& n : freeLocalSet(all.term(at))) out.emplace(n, contains(inner, n) ? " " + n : n);
    return out;
}

// The replacement of one instance: the abstraction variable, typed as the instance's types
// make the argument's type, applied to the instantiated parameters; nothing when a parameter
// is left unbound.
std::optional<Term> replacementFor(const BodyBuilder& bb, const TermSubst& m, const TypeSubst& types) {
    Term r = LVar(bb.v, substType(types, bb.argType));
    for (const Term& p : bb.params) {
        Term a = applyTermSubst(m, p);
        if (a.is(TermKind::PVar)) return std::nullopt;
        r = Ap(r, std::move(a), resType(r.type()));
    }
    return r;
}

// A hash that bodies equal under termEq share, read from the body itself without building its
// eta-normal form: the leaves that eta contraction never removes, in pre-order (constants,
// pattern variables and the local variables no lambda of the body binds), each with its
// type.  Contracting `\b -> f b` keeps the leaves of f in their order and drops only those of
// b, which its lambda binds.
std::uint64_t bodyHash(const Term& body) {
    // Kept for the next hash (nothing below hashes again).
    thread_local std::vector<const std::string*> bound;
    bound.clear();
    std::uint64_t h = 0;
    auto isBound = [](const std::string& n) {
        return std::any_of(bound.begin(), bound.end(), [&n](const std::string* b) { return *b == n; });
    };
    auto mixLeaf = [&h](const Term& u, std::uint64_t what) {
        h = mixHash(mixHash(mixHash(h, static_cast<std::uint64_t>(u.kind())), u.type().hashCode()), what);
    };
    walkScoped(body, bound, [&](const Term& u) {
        switch (u.kind()) {
        case TermKind::LVar:
            if (!isBound(u.name())) mixLeaf(u, std::hash<std::string>{}(u.name()));
            return false;
        case TermKind::PVar: mixLeaf(u, std::hash<std::string>{}(u.name())); return false;
        case TermKind::Con:
            mixLeaf(u, static_cast<std::uint64_t>(u.constant().kind()));
            if (u.constant().kind() == ConstantKind::Number)
                h = mixHash(h, static_cast<std::uint32_t>(u.constant().number()));
            return false;
        default: return true;
        }
    });
    return h;
}

// The bodies already listed, by bodyHash: a new body is compared only with those of its hash,
// so a level of n bodies is cleared of duplicates in about n comparisons, not n².  The first
// body is looked into only when a second one comes, as a comparison would (a binder the term
// refused fails where it did).
class SeenBodies {
public:
    // True, and the body kept, when no body seen is equal to it.
    bool isNew(const Term& body) {
        if (!first_ && seen_.empty()) {
            first_ = body;
            return true;
        }
        if (first_) {
            seen_.emplace(bodyHash(*first_), *first_);
            first_.reset();
        }
        const std::uint64_t h = bodyHash(body);
        auto [from, to] = seen_.equal_range(h);
        for (auto it = from; it != to; ++it)
            if (termEq(it->second, body)) return false;
        seen_.emplace(h, body);
        return true;
    }

private:
    std::optional<Term> first_;
    std::unordered_multimap<std::uint64_t, Term> seen_;
};

// The node of u that shapeAllows compares with the head of x's application spine (or with x
// itself) is a local variable.
bool reachesLocalHead(const Term& x, const Term& u) {
    const Term* p = &x;
    const Term* b = &u;
    for (; p->is(TermKind::Ap) && b->is(TermKind::Ap); p = &p->fun(), b = &b->fun()) {
    }
    return b->is(TermKind::LVar);
}

// The problem that holds the match to a body's type substitution.
Problem typeConstraint(const TypeSubst& s) {
    auto [pattern, term] = typeConstraintTypes(s);
    return {Con(typeConstraintMarker(), std::move(pattern)), Con(typeConstraintMarker(), std::move(term))};
}

// The two-step candidates, one at a time: the bodies level by level, each level's bodies
// found by searching the bodies of the level before, position by position, for instances,
// and each body turned into its abstraction as it is reached.  The fresh name is drawn when
// the first candidate is asked for.
class TwoStepSource final : public StepSource {
public:
    TwoStepSource(const Term& x, const Term& t, const NameSupply& s) : x_(x), t_(t), s_(s) {}

    std::optional<Step> next() override {
        if (!bb_) return start();
        std::optional<TypedBody> b = nextBody();
        if (!b) return std::nullopt;
        return candidateOf(*b);
    }

private:
    // The first candidate: the term itself as the body (level 0).
    Step start() {
        auto [v, rest] = nextName(s_);
        bb_.emplace(bodyBuilder(v, x_));
        binder_.emplace(LamVar(v));
        rest_ = std::move(rest);
        ordered_ = bb_->params.empty() && !t_.hasLam() && !bb_->pattern.hasTypeVars() && !bb_->argType.hasTypeVars();
        level_.push_back(TypedBody{t_, TypeSubst()});
        return candidateOf(level_.front());
    }

    Step candidateOf(const TypedBody& b) const {
        const Type varType = substType(b.types, bb_->argType);
        Term u = etaReduce(Lam(*binder_, b.body, imageTypes().arrow(varType, b.body.type())));
        Problems problems;
        if (!b.types.isIdentity()) problems.push_back(typeConstraint(b.types));
        return stepOf(std::move(u), std::move(problems), rest_);
    }

    // The next body of the level after `level_`, not equal to an earlier one of it; when that
    // level is done, the first of the one after it; nothing before the first empty level.
    std::optional<TypedBody> nextBody() {
        if (!positions_) {
            positions_.emplace(t_);
            at_ = 0;
            if (!openPosition()) nextInstances();
        }
        for (;;) {
            while (!solutions_.empty()) {
                const Solution m = solutions_.head();
                solutions_ = solutions_.tail();
                std::optional<TypedBody> b = instanceBody(m.first);
                if (b && (ordered_ || seen_.isNew(b->body))) {
                    next_.push_back(*b);
                    return b;
                }
            }
            if (nextInstances()) continue;
            if (++parent_ < level_.size()) {
                openParent();
            } else if (next_.empty()) {
                return std::nullopt;
            } else {
                level_ = std::move(next_);
                next_.clear();
                seen_ = SeenBodies();
                parent_ = 0;
                openParent();
            }
        }
    }

    void openParent() {
        positions_->reset(level_[parent_].body);
        at_ = level_[parent_].from;
        if (at_ < positions_->size() && !openPosition()) nextInstances();
    }

    // The solutions at the next position of the parent that has some; false once there is
    // none.
    bool nextInstances() {
        while (++at_ < positions_->size())
            if (openPosition()) return true;
        return false;
    }

    // The instances of the argument's body at the current position of the current parent, in
    // `solutions_`; false when the position's shape rules out all.
    bool openPosition() {
        const Term& u = positions_->term(at_);
        if (u.hasLVar()) return openFrozen(u);
        // Nothing to freeze, and no abstraction variable in it.
        return shapeAllows(bb_->pattern, u) && openAt(u);
    }

    [[gnu::noinline]] bool openAt(const Term& u) {
        frozen_.clear();
        solutions_ = solveProblems(ApStep::Simple, identitySubst(), {{bb_->pattern, u}}, emptySupply());
        return true;
    }

    // openPosition at a subterm with local variables, frozen for the match.
    [[gnu::noinline]] bool openFrozen(const Term& u) {
        if (occursLVar(bb_->v, u)) return false;
        // Freezing changes the top's shape only where the head it reaches is a local
        // variable: elsewhere the subterm's own shape decides, before anything is frozen.
        if (!reachesLocalHead(bb_->pattern, u) && !shapeAllows(bb_->pattern, u)) return false;
        frozen_ = frozenNames(*positions_, at_);
        const Term frozen = freezeLocalsAs(frozen_, u);
        if (!shapeAllows(bb_->pattern, frozen)) return false;
        solutions_ = solveProblems(ApStep::Simple, identitySubst(), {{bb_->pattern, frozen}}, emptySupply());
        return true;
    }

    // The body that replaces the current position by the instance of one match; nothing when
    // its types disagree with the parent's or a parameter is left unbound.
    std::optional<TypedBody> instanceBody(const TermSubst& m) const {
        const NameMap& fs = frozen_;
        const TermSubst thawed{m.bindings.mapped([&fs](const Term& t) { return thawLocalsAs(fs, t); }), m.types};
        const TypedBody& parent = level_[parent_];
        std::optional<TypeSubst> types = mergedInstanceTypes(parent.types, m.types);
        if (!types) return std::nullopt;
        std::optional<Term> r = replacementFor(*bb_, thawed, *types);
        if (!r) return std::nullopt;
        return TypedBody{positions_->replacedAt(at_, *r), std::move(*types), ordered_ ? at_ + 1 : 0};
    }

    Term x_;
    Term t_;
    NameSupply s_;
    std::optional<BodyBuilder> bb_;
    std::optional<LamBinding> binder_;
    NameSupply rest_;
    std::vector<TypedBody> level_;  // the level whose bodies are searched
    std::vector<TypedBody> next_;   // the bodies of the level after it found so far
    SeenBodies seen_;               // those bodies, for dropping equal ones
    // The instances are positions of t replaced by the bare abstraction variable, at one type,
    // in a term without lambdas: a body is t with a set of such positions replaced, none
    // inside another, and bodies of different sets differ.  The levels list the sets in
    // increasing order (by their positions in pre-order, compared from the first), each first
    // found from the set without its last position: so each body is extended only by
    // positions after its newest one, and no body is found twice.
    bool ordered_ = false;
    std::size_t parent_ = 0;        // the body of level_ searched
    std::optional<PositionTable> positions_;  // its positions, once searched
    std::size_t at_ = 0;            // the position searched
    NameMap frozen_;                // the names its free locals are frozen into
    List<Solution> solutions_;      // the matches at it not yet taken
};

// --- tuple arguments ---------------------------------------------------------------------

StepSourcePtr baseStep(ApStep step, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                       GroupFilter admits = nullptr) {
    if (step == ApStep::Simple || !flexible) return fromList(decomposition(x, t, s));
    if (step == ApStep::OneStep) return oneStepFlexible(x, t, s, std::nullopt, std::move(admits));
    return std::make_unique<TwoStepSource>(x, t, s);
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

// The candidate's problems and those of the elements before it cannot all be solved.
bool disagrees(const Repeats& repeated, const Problems& fresh, ProblemSpan earlier) {
    auto pattern = [](const Problem& p) -> const Term& { return p.first; };
    auto term = [](const Problem& p) -> const Term& { return p.second; };
    const std::vector<std::string>& names = repeated->names;
    return repeated_elements::disagree(names, fresh, earlier, pattern, term) ||
           repeated_elements::disagree(names, fresh, repeated->outer, pattern, term);
}

// What the fold over the element e, after the problems `earlier`, checks against.
Repeats repeatsFor(const Repeats& repeated, const Term& e, ProblemSpan earlier) {
    if (repeated->names.empty() || !e.is(TermKind::Tupl) || earlier.empty()) return repeated;
    Problems outer(earlier.begin(), earlier.end());
    outer.insert(outer.end(), repeated->outer.begin(), repeated->outer.end());
    return std::make_shared<const repeated_elements::Checked<Problem>>(
        repeated_elements::Checked<Problem>{repeated->names, std::move(outer)});
}

// The groups of abstractions of the element e, after the problems `earlier`, whose candidates
// `disagrees` would not rule out: for a repeated bare element, those whose subterm agrees in
// shape with what the problems before it hold for e.  The same test, made once for a group
// and not once for each of its candidates (which are then not built); nothing to filter
// otherwise.
GroupFilter agreeingGroups(const Repeats& rep, const Term& e, ProblemSpan earlier) {
    if (!e.is(TermKind::PVar) || !contains(rep->names, e.name())) return nullptr;
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
class TupleSource final : public StepSource {
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
            const KnownGroups* known = admits ? nullptr : knownGroupsFor(e);
            std::unique_ptr<OneStepSource> oneStep;
            if (spare_.empty()) {
                oneStep = std::make_unique<OneStepSource>(e, acc.body, s, std::nullopt, std::move(admits), known, cut_);
            } else {
                oneStep = std::move(spare_.back());
                spare_.pop_back();
                oneStep->restart(e, acc.body, s, std::nullopt, std::move(admits), known, cut_);
            }
            return Frame{std::move(acc), problems_.size(), std::move(oneStep), nullptr};
        }
        StepSourcePtr candidates =
            withTupleArguments(step_, true, e, acc.body, s, repeatsFor(repeated_, e, problems_), std::move(admits));
        return Frame{std::move(acc), problems_.size(), nullptr, std::move(candidates)};
    }

    // The frame's next candidate opened into `opened` (left empty when the problems before it
    // rule it out); false once there is none.
    bool takeCandidate(Frame& top, std::optional<std::pair<TupleFold, NameSupply>>& opened) {
        cutKnown_ = false;
        if (top.oneStep) {
            std::optional<Candidate> c = top.oneStep->nextCandidate();
            if (!c) return false;
            if (&top == &frames_.front() && c->kind != Candidate::Kind::Image) {
                // The body is the term with these paths abstracted (none: the constant abstraction).
                cutKnown_ = true;
                if (c->kind == Candidate::Kind::Group) top.oneStep->abstracted(cut_);
                else cut_.clear();
            }
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
        if (disagrees(repeated_, fresh, problems_)) return false;
        if (fresh.size() == 1 && settledBefore(fresh.front())) return true;
        problems_.insert(problems_.end(), std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
        return true;
    }

    // The problem (x, b) of a bare pattern variable is settled by one kept before it: one of x
    // against a subterm equal to b (types included) that holds no variable and no lambda, so
    // that solving the two binds x alike and checks nothing else.  The problems kept after
    // that one are all of x: the ones solved between them in worklist order (later elements'
    // first) would take x bound by either of the two alike, so leaving this one out changes
    // no outcome.
    bool settledBefore(const Problem& p) const {
        const Term& x = p.first;
        const Term& b = p.second;
        if (!x.is(TermKind::PVar) || b.hasPVar() || b.hasLVar() || b.hasLam()) return false;
        for (std::size_t i = problems_.size(); i-- > 0;) {
            const Problem& q = problems_[i];
            if (!q.first.is(TermKind::PVar) || q.first.name() != x.name() ||
                !(q.first.type().sameNode(x.type()) || eqType(q.first.type(), x.type())))
                return false;
            if (termEq(q.second, b)) return true;
        }
        return false;
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

    // The groups of the second element over the term, for its generators over the bodies the
    // first element's abstractions leave (KnownGroups): when the first element's candidate
    // just taken abstracted positions of the term (`cut_`), and the term has no lambdas.
    const KnownGroups* knownGroupsFor(const Term& e) {
        if (!cutKnown_ || frames_.size() != 1 || !leaves_.front().closes.empty() || t_.hasLam()) return nullptr;
        if (!secondGroups_) secondGroups_ = knownGroups(e, t_);
        return &*secondGroups_;
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
    // Before the frames: their generators read it until they go.
    std::optional<KnownGroups> secondGroups_;
    std::vector<Frame> frames_;
    Problems problems_;
    Problems fresh_;  // the problem of a generator's candidate, in storage kept for the next
    TupleMemo finished_;  // the last image's binder
    bool typed_;          // binders' types are checked against the head's argument type
    TypeUnifier unifier_;  // the leaves' parts against their current binders' types
    std::vector<std::size_t> marks_;  // the unifier's mark before each leaf's pair
    std::vector<std::unique_ptr<OneStepSource>> spare_;  // generators of frames left, for new frames
    bool cutKnown_ = false;            // the first element's candidate just taken abstracted `cut_`
    std::vector<std::size_t> cut_;     // positions of the term, numbered in pre-order
};

// A single result.
class OnceSource final : public StepSource {
public:
    explicit OnceSource(Step r) : r_(std::move(r)) {}
    std::optional<Step> next() override {
        std::optional<Step> r = std::move(r_);
        r_.reset();
        return r;
    }

private:
    std::optional<Step> r_;
};

// A rigid head decomposes whatever its argument: taking a tuple argument apart element by
// element as if the head were flexible would let the two-step candidates, which bring no
// problems, drop the pattern variables of the tuple.
StepSourcePtr withTupleArguments(ApStep step, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                                 Repeats repeated, GroupFilter admits, const std::optional<Type>& headArg) {
    if (!x.is(TermKind::Tupl) || !flexible) return baseStep(step, flexible, x, t, s, std::move(admits));
    if (x.elems().empty()) return std::make_unique<OnceSource>(finishTuple(TupleFold{nullptr, t}, {}, s));
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

StepSourcePtr stepSource(ApStep step, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                         const std::optional<HeadType>& headType, bool wholeArgument, std::vector<std::string> repeated) {
    if (step == ApStep::Simple) return fromList(decomposition(x, t, s));
    if (step == ApStep::OneStep && flexible && (wholeArgument || !x.is(TermKind::Tupl)))
        return oneStepFlexible(x, t, s, headType);
    if (wholeArgument) return baseStep(step, flexible, x, t, s);
    return withTupleArguments(
        step, flexible, x, t, s,
        std::make_shared<const repeated_elements::Checked<Problem>>(repeated_elements::Checked<Problem>{std::move(repeated), {}}),
        nullptr, headArgument(headType));
}

}  // namespace plim::fast
