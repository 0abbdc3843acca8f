#pragma once
// The candidate sources that the application steps' files share: the one-step generator, which
// the fold over a tuple argument drives candidate by candidate, and the pieces the two-step and
// tuple sources build on.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/fast/solver.h"
#include "engine/matching/fast/types_by_node.h"
#include "engine/matching/rigid_tops.h"
#include "support/block_pool.h"

namespace plim::fast::step_sources {

using Step = std::pair<StepResult, NameSupply>;

// A search makes generators for every branch point and tuple element it opens and drops them
// soon after: a generator class (final, so of one size) that derives from this takes its room
// from the block pool.
template <class Source>
struct PooledSource {
    static void* operator new(std::size_t) { return PoolAllocator<Source>().allocate(1); }
    static void operator delete(void* p) { PoolAllocator<Source>().deallocate(static_cast<Source*>(p), 1); }
};

// A step result with the supply after it.
Step stepOf(Term image, Problems problems, NameSupply s);

// The result given, if any, as a source.
StepSourcePtr onceSource(std::optional<Step> r);

// The decomposition: t = Ap g y gives the image g with the problem (x, y), anything else nothing.
StepSourcePtr decomposition(const Term& x, const Term& t, const NameSupply& s);

// The binder has the shape of the argument: a variable, or a tuple whose parts fit the
// argument's elements.
bool binderFits(const LamBinding& b, const Term& a);

// Whether the problem (x, b) of a group may be solved with the problems it comes with; a group
// it rules out gives no candidate (none by default).  It is given only for terms without
// lambdas and looks at the shape of b alone, so that it answers alike for equal subterms.
using GroupFilter = std::function<bool(const Term& b)>;

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

// A generator's workspace (candidates.cpp), given back to the thread's pool when done with.
struct Abstractions;
struct GiveBack {
    void operator()(Abstractions* g) const;
};

// The one-step candidates of a flexible head: the decomposition first, then the abstractions
// of subterms (of the groups `admits` lets through, when given), then the constant
// abstraction.  The fresh name is drawn, and the term's positions listed, only when the
// search reads past the decomposition.
class OneStepSource final : public StepSource, public PooledSource<OneStepSource> {
public:
    OneStepSource(Term x, Term t, NameSupply s, std::optional<HeadType> headType, GroupFilter admits);

    // The same generator for other arguments, its workspace kept.
    void restart(Term x, Term t, NameSupply s, std::optional<HeadType> headType, GroupFilter admits);

    std::optional<Step> next() override;

    // The next candidate, its image not built (the fold over a tuple argument opens it).
    std::optional<Candidate> nextCandidate();

    // The binder of the abstractions' variable (once a candidate other than the decomposition is given).
    const LamBinding& binder() const { return binder_; }
    // The supply left after the candidate: the given one after the decomposition, the one
    // without the abstractions' variable after the others.
    const NameSupply& restOf(const Candidate& c) const { return c.kind == Candidate::Kind::Image ? s_ : rest_; }

private:
    enum class Phase : std::uint8_t { Decomposition, Start, Abstracting, Done };

    void start(Abstractions& g, std::string v);

    // The type of the abstraction's image.
    Type imageTypeOf(const Candidate& c);

    Term x_;
    Term t_;
    NameSupply s_;
    std::optional<HeadType> headType_;
    GroupFilter admits_;
    Phase phase_ = Phase::Decomposition;
    bool abstracting_ = false;  // g_ started for these arguments (and holds headType_)
    LamBinding binder_ = LamVar(std::string());  // binds the abstractions' variable
    NameSupply rest_;  // s_ without that variable
    std::unique_ptr<Abstractions, GiveBack> g_;
};

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

ImageTypes& imageTypes();

// The two-step candidates of a flexible head (two_step_candidates.cpp).
StepSourcePtr twoStepSource(const Term& x, const Term& t, const NameSupply& s);

}  // namespace plim::fast::step_sources
