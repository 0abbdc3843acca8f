// The two-step candidate images of a flexible head: the abstractions of the instances of the
// argument's body, found level by level as the search reads them.
#include <algorithm>
#include <functional>
#include <optional>
#include <unordered_map>

#include "engine/matching/fast/solver.h"
#include "engine/matching/fast/step_sources.h"
#include "engine/matching/type_constraint.h"
#include "support/hashing.h"

namespace plim::fast::step_sources {

namespace {

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
    return BodyBuilder{v, x.type(), leadingLamVars(x), opened.hasLVar() ? freezeLocals(freeLocalsOf(opened), opened) : opened};
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
    for (const std::string& n : freeLocalSet(all.term(at))) out.emplace(n, listed(inner, n) ? " " + n : n);
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

// The two-step candidates, one at a time: the bodies level by level, each level's bodies
// found by searching the bodies of the level before, position by position, for instances,
// and each body turned into its abstraction as it is reached.  The fresh name is drawn when
// the first candidate is asked for.
class TwoStepSource final : public StepSource, public PooledSource<TwoStepSource> {
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
        if (!b.types.isIdentity()) problems.push_back(typeConstraint<Problem>(b.types, Con));
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
            if (match_) {
                const TermSubst m = std::move(*match_);
                match_.reset();
                std::optional<TypedBody> b = instanceBody(m);
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

    // The match at the next position of the parent that has one; false once there is none.
    bool nextInstances() {
        while (++at_ < positions_->size())
            if (openPosition()) return true;
        return false;
    }

    // The instance of the argument's body at the current position of the current parent, in
    // `match_` (the simple step finds one at most); false when there is none.
    bool openPosition() {
        const Term& u = positions_->term(at_);
        if (u.hasLVar()) return openFrozen(u);
        // Nothing to freeze, and no abstraction variable in it.
        return rigidTopAllows(bb_->pattern, u) && openAt(u);
    }

    [[gnu::noinline]] bool openAt(const Term& u) {
        frozen_.clear();
        match_ = solveSimple({{bb_->pattern, u}});
        return match_.has_value();
    }

    // openPosition at a subterm with local variables, frozen for the match.
    [[gnu::noinline]] bool openFrozen(const Term& u) {
        if (occursLVar(bb_->v, u)) return false;
        // Freezing changes the top's shape only where the head it reaches is a local
        // variable: elsewhere the subterm's own shape decides, before anything is frozen.
        if (!reachesLocalHead(bb_->pattern, u) && !rigidTopAllows(bb_->pattern, u)) return false;
        frozen_ = frozenNames(*positions_, at_);
        const Term frozen = freezeLocalsAs(frozen_, u);
        if (!rigidTopAllows(bb_->pattern, frozen)) return false;
        match_ = solveSimple({{bb_->pattern, frozen}});
        return match_.has_value();
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
    std::optional<TermSubst> match_;  // the match at it, until taken
};

}  // namespace

StepSourcePtr twoStepSource(const Term& x, const Term& t, const NameSupply& s) {
    return std::make_unique<TwoStepSource>(x, t, s);
}

}  // namespace plim::fast::step_sources
