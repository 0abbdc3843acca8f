// The application steps: first-order decomposition, and for a flexible head the one-step
// candidate images (the two-step ones and tuple arguments are in files of their own).
//
// Every candidate list is lazy: groups of equal subterms and subsets of their occurrences are
// produced only as far as the search reads them.
#include <algorithm>
#include <optional>
#include <utility>

#include "engine/matching/abstraction_types.h"
#include "engine/matching/fast/matcher.h"
#include "engine/matching/fast/solver.h"
#include "engine/matching/fast/step_sources.h"
#include "engine/matching/rigid_tops.h"

namespace plim::fast::step_sources {

// A step result with the supply after it.  (Braces would copy the problems: a braced pair
// initialises the pair through its constructor from const references.)
Step stepOf(Term image, Problems problems, NameSupply s) {
    return Step(StepResult(std::move(image), std::move(problems)), std::move(s));
}

namespace {

// A single result, or none.
class OnceSource final : public StepSource, public PooledSource<OnceSource> {
public:
    explicit OnceSource(std::optional<Step> r) : r_(std::move(r)) {}
    std::optional<Step> next() override { return std::exchange(r_, std::nullopt); }

private:
    std::optional<Step> r_;
};

}  // namespace

StepSourcePtr onceSource(std::optional<Step> r) { return std::make_unique<OnceSource>(std::move(r)); }

StepSourcePtr decomposition(const Term& x, const Term& t, const NameSupply& s) {
    if (!t.is(TermKind::Ap)) return onceSource(std::nullopt);
    return onceSource(stepOf(t.fun(), {{x, t.arg()}}, s));
}

// --- one-step candidates ------------------------------------------------------------------

bool binderFits(const LamBinding& b, const Term& a) {
    return binder_walks::zip(
        b, a, term_ops::tupleParts<LamBinding>,
        [](const Term& u) { return u.is(TermKind::Tupl) ? &u.elems() : nullptr; },
        [](const LamBinding&, const Term&) { return true; });
}

namespace {

bool subsetOf(const std::vector<std::string>& small, const std::vector<std::string>& big) {
    return std::includes(big.begin(), big.end(), small.begin(), small.end());
}

// A subterm of t that x may be matched against once it is abstracted.  What is left out
// could only give candidates whose problem (x, b) fails: one that lacks a rigid symbol of x,
// one that mentions a local variable x cannot, and one whose type x's type can never match:
// when the types of t hold no type variable (so that no later substitution changes them), one
// that x's type cannot match now (a later substitution only makes x's type more specific);
// otherwise, for x typed by a type variable, one whose type holds that variable as a part.
bool qualifies(const Term& x, const Term& b, bool closedTypes) {
    // A pattern variable has no rigid top and requires no symbol: only the type and the
    // local variables can rule b out.
    const bool bare = x.is(TermKind::PVar);
    if (!bare && !rigidTopAllows(x, b)) return false;
    if (!abstractionTypesAllow(x.type(), b.type(), closedTypes)) return false;
    if (!bare && !mayMatch(x, b)) return false;
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
        if (listed(inner, n)) return false;
    return true;
}

// The abstraction candidates come from one generator that walks the qualifying positions in
// order: a group is a subterm with the paths of all its occurrences (equal under termEq), in
// pre-order, started at its first occurrence; for each group the non-empty subsets of its
// paths follow in powerset order (subset number i holds the paths whose bit is set in i, the
// last path being bit 0), without the single [Second] path, a subset with one path inside
// another, and a body that keeps an eta redex of t; the constant abstraction ends the list.
// Groups are found only as the search reads that far.

// What an idle workspace holds in place of terms.
const Term& idleTerm() {
    thread_local const Term idle = LVar(std::string(), mkTid("idle"));
    return idle;
}

}  // namespace

struct Abstractions {
    // Lets go of the terms, keeping the storage for another generator.
    void release() {
        x = t = b = var = idleTerm();
        headType.reset();
        admits = nullptr;
        all.reset(idleTerm());
        subset.clear();
    }

    Term x = idleTerm();
    Term t = idleTerm();
    std::string v;
    std::optional<HeadType> headType;  // what the images' types must fit, when known
    GroupFilter admits;                // the groups that may give candidates, when given
    bool closedTypes = false;          // t's types hold no type variable
    bool lambdaApplications = false;   // t holds an application of a lambda that lambdaApplications meets
    bool etaRedexes = false;           // t holds an eta redex (holdsEtaRedex)
    PositionTable all = PositionTable(idleTerm());
    std::vector<std::uint8_t> taken;  // bytes, not bits: asked at every position
    std::size_t nextFrom = 0;  // where the search for the next group starts
    bool inGroup = false;
    bool finished = false;     // the constant abstraction is given
    Term b = idleTerm();       // the current group's subterm (x until the first group)
    Term var = idleTerm();     // the abstraction variable, typed as b
    std::vector<Path> paths;   // b's paths
    std::vector<std::size_t> members;  // the positions of b's group
    std::vector<std::uint8_t> counter;  // counter[k] is bit k of the current subset number
    std::vector<const Path*> subset;  // the paths of the current subset, in `paths`
};

namespace {

// The type of an image, from its argument and result types: the head's own type when that is
// the same function type, so that the type match of the head against the image finds the
// very same node instead of comparing two copies (on a long spine of applications each level
// would compare the whole rest of the spine's type; sharing, the next level finds its result
// type to be the very node of its head's).
Type imageType(const std::optional<HeadType>& h, const Type& arg, const Type& res) {
    if (h && h->types.isIdentity()) {
        const Type& f = h->head;
        auto same = [](const Type& a, const Type& b) { return a.sameNode(b) || eqType(a, b); };
        if (isArrowType(f) && same(f.args()[0], arg) && same(f.args()[1], res)) return f;
    }
    return mkArrow(arg, res);
}

// The type of the image abstracting b can be matched by the head's type (when t's types are
// closed: the head's type only becomes more specific before the image meets it).
bool imageFits(Abstractions& g, const Term& b) {
    if (!g.headType || !g.closedTypes) return true;
    const Type image = mkArrow(b.type(), g.t.type());
    const TypeSubst& ts = g.headType->types;
    return oneWayTypesMatch(g.headType->head, ts.isIdentity() ? image : substType(ts, image));
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

// The next group that `admits` lets through: its subterm, its paths and a fresh subset
// counter; false once there is none.  A group it rules out is not gathered: `admits` asks for
// the shape of a term without lambdas, which every equal subterm shares, so the positions of
// that group are ruled out as well when they come, and none of them belongs to a group that is
// let through.
bool startGroup(Abstractions& g) {
    if (!nextGroupMembers(g)) return false;
    g.b = g.all.term(g.members.front());
    g.var = abstractionVariable(g.v, g.b.type());
    g.paths.resize(g.members.size());
    for (std::size_t k = 0; k < g.members.size(); ++k) g.all.pathInto(g.members[k], g.paths[k]);
    g.counter.assign(g.paths.size(), 0);
    return true;
}

// The next subset of the current group's paths; false once they are all taken.
bool nextSubset(Abstractions& g, std::vector<const Path*>& subset) {
    std::size_t k = 0;
    while (k < g.counter.size() && g.counter[k]) g.counter[k++] = 0;
    if (k == g.counter.size()) return false;
    g.counter[k] = 1;
    const std::size_t n = g.paths.size();
    subset.clear();
    for (std::size_t j = 0; j < n; ++j)
        if (g.counter[n - 1 - j]) subset.push_back(&g.paths[j]);
    return true;
}

bool isArgumentOnly(const std::vector<const Path*>& subset) {
    return subset.size() == 1 && subset.front()->size() == 1 && subset.front()->front() == Second;
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

// An eta redex of t (\(g, b) -> f (g, b) beside f) can make a group hold a lambda and a
// subterm of its own (termEq compares eta normal forms): a subset holding both offers nothing
// of its own, as the inner occurrence is gone once the outer one is replaced.  Without an eta
// redex in t no group holds such a pair, and this is not asked.
bool nested(const std::vector<const Path*>& subset) {
    auto isPrefix = [](const Path& a, const Path& b) {
        return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
    };
    for (std::size_t i = 0; i < subset.size(); ++i)
        for (std::size_t j = 0; j < subset.size(); ++j)
            if (i != j && isPrefix(*subset[i], *subset[j])) return true;
    return false;
}

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
        if (g.etaRedexes && nested(g.subset)) continue;
        Term body = replaceAll(g.subset, g.var, g.t);
        if (g.lambdaApplications && lambdaApplications(body) == LambdaApplications::Misfit) continue;
        // A body that keeps an eta redex is no candidate: the image is not in eta normal form (a
        // body that abstracts the redex's own occurrence, or one above it, stands for it).
        // Replacing subterms that mention no variable bound above them by a variable makes no
        // new redex, so only a t with one (asked once per generator) has bodies to look at.
        if (g.etaRedexes && holdsEtaRedex(body)) continue;
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

}  // namespace

void GiveBack::operator()(Abstractions* g) const {
    std::unique_ptr<Abstractions> owned(g);
    if (!AbstractionsPool::closed()) abstractionsPool().give(std::move(owned));
}

OneStepSource::OneStepSource(Term x, Term t, NameSupply s, std::optional<HeadType> headType, GroupFilter admits)
    : x_(std::move(x)), t_(std::move(t)), s_(std::move(s)), headType_(std::move(headType)), admits_(std::move(admits)) {}

void OneStepSource::restart(Term x, Term t, NameSupply s, std::optional<HeadType> headType, GroupFilter admits) {
    x_ = std::move(x);
    t_ = std::move(t);
    s_ = std::move(s);
    headType_ = std::move(headType);
    admits_ = std::move(admits);
    phase_ = Phase::Decomposition;
    abstracting_ = false;
}

std::optional<Step> OneStepSource::next() {
    std::optional<Candidate> c = nextCandidate();
    if (!c) return std::nullopt;
    if (c->kind == Candidate::Kind::Image)
        return stepOf(std::move(c->body), std::move(*c).problems(), s_);
    Term u = Lam(binder_, std::move(c->body), imageTypeOf(*c));
    // Its own variable is the only local variable it adds to t's: closed with t.
    if (!hasFreeLocals(t_)) recordClosed(u);
    return stepOf(std::move(u), std::move(*c).problems(), rest_);
}

std::optional<Candidate> OneStepSource::nextCandidate() {
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

void OneStepSource::start(Abstractions& g, std::string v) {
    abstracting_ = true;
    g.x = x_;
    g.t = t_;
    g.v = std::move(v);
    g.headType = std::move(headType_);
    g.admits = std::move(admits_);
    g.closedTypes = !t_.hasTypeVars();
    g.lambdaApplications = lambdaApplications(t_) != LambdaApplications::None;
    g.etaRedexes = holdsEtaRedex(t_);
    g.all.reset(t_);
    g.taken.assign(g.all.size(), 0);
    g.nextFrom = 0;
    g.inGroup = false;
    g.finished = false;
    g.b = x_;
    g.var = x_;
}

Type OneStepSource::imageTypeOf(const Candidate& c) {
    // The head type moves into the workspace when it starts: a workspace kept from before a
    // restart holds the head type of the arguments before.
    if (c.kind != Candidate::Kind::Group) return imageType(abstracting_ ? g_->headType : headType_, x_.type(), t_.type());
    return imageType(g_->headType, g_->b.type(), g_->t.type());
}

ImageTypes& imageTypes() {
    thread_local ImageTypes types;
    return types;
}

}  // namespace plim::fast::step_sources
