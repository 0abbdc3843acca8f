// The fast matcher's core: one worklist algorithm over (pattern, term) problems with one rule
// per pattern constructor.  How an application pattern is taken apart is the application
// step: first-order decomposition for simple matching, higher-order candidates for one-step
// and two-step matching.
//
// Results are lazy lists in a fixed order: the worklist is solved from its front, new
// problems go to its end, and the solutions of one problem are explored depth first.  A
// caller that reads only the first result pays only for it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/fast/term_bindings.h"
#include "engine/matching/fast/terms.h"
#include "engine/matching/substitutions.h"
#include "lang/names.h"
#include "lang/types.h"
#include "support/lazy.h"

namespace plim {

namespace fast {
struct TermSubst;
}  // namespace fast

// The search builds bindings and solution lists for every candidate and drops most of them soon
// after: their cells come from the block pool.
template <>
struct PooledListCells<std::pair<fast::TermSubst, NameSupply>> : std::true_type {};
template <>
struct PooledListCells<fast::TermSubst> : std::true_type {};

}  // namespace plim

namespace plim::fast {

// (pattern, term); the term side never holds a PVar.
using Problem = std::pair<Term, Term>;
using Problems = std::vector<Problem>;

// (bindings keyed by pattern-variable name, type substitution).
struct TermSubst {
    TermBindings bindings;
    TypeSubst types;
};

// (EmptyMap, mkTid).
const TermSubst& identitySubst();

// PVars bound in the map are replaced by their terms (as stored); every other type is
// substituted.  Nodes that nothing changes are shared.
Term applyTermSubst(const TermSubst& s, const Term& t);
// s1 after s2: s2's terms with s1 applied, united with s1's map (s1 wins on a shared name).
TermSubst composeSubst(const TermSubst& s1, const TermSubst& s2);

// The application steps: how `Ap f x` against a term proposes images for f.
enum class ApStep : std::uint8_t { Simple, OneStep, TwoStep };

// One step result: the image u that f must match and the new problems.
using StepResult = std::pair<Term, Problems>;

// What every image of a step is matched against next: the type of the function part, and the
// type substitution that is applied to the image's type first.
struct HeadType {
    Type head;
    TypeSubst types;
    // A tuple argument's images have argument types that follow their binders' types, nested
    // as the argument is (tuple_typing.h, imageTypesFollowBinders): the binders' types must
    // meet the head's argument type.
    bool tupleImagesTyped = false;
};

// The step's proposals for (flexible, x, t) from a supply.  With a head type, an abstraction
// whose image's type the head's type cannot match is not built: it would fail there at once.
// A tuple x is searched element by element unless `wholeArgument` says the head's binder
// takes it whole (head_binders.h); `repeated` names the pattern variables repeated as its
// elements whose problems in one combination must agree (repeated_elements.h).  The results
// are pulled one at a time from a generator that keeps its place: what the search reads,
// without a list cell per result.
class StepSource {
public:
    virtual ~StepSource() = default;
    // The next result; nothing once there is none.
    virtual std::optional<std::pair<StepResult, NameSupply>> next() = 0;
};
using StepSourcePtr = std::unique_ptr<StepSource>;
StepSourcePtr stepSource(ApStep step, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                         const std::optional<HeadType>& head = std::nullopt, bool wholeArgument = false,
                         std::vector<std::string> repeated = {});

// A solution and the supply left after it.
using Solution = std::pair<TermSubst, NameSupply>;

// Every solution of the worklist under the step, from the accumulated substitution.
List<Solution> solveProblems(ApStep step, const TermSubst& acc, Problems worklist, const NameSupply& s);

// The solution of the worklist under the simple step, from the identity: the same search, run
// at once.  No rule of that step branches or draws a name, so there is one solution at most.
std::optional<TermSubst> solveSimple(Problems worklist);

// The match of one problem (p, t) from the identity, decided by one walk over the pattern
// where that walk finds what the worklist finds: p a first-order pattern (with rigid heads
// unless the step is simple) and t the term that converting e under no bound names gives,
// read from e itself: e holds no variable, lambda or let, every type in it is known and holds
// no type variable, and every saturated tuple in it is typed as the conversion builds one, so
// that each binding converts back to its own node.  Then there is at most one solution, no
// error and no name drawn.  The match as the conversion of the worklist's solution would give
// it (no result: no match); nothing when the walk cannot tell.
std::optional<std::optional<MatchResult>> matchFirstOrderExpr(ApStep step, const Term& p, const Expr& e);

// The same solutions as substitutions, each passed through `finish` when one is given, and
// the supplies of all of them combined (combPair from the right; the given supply when there
// is none).  Reading the supply reads the whole list.
struct SolutionRun {
    List<TermSubst> substs;
    Lazy<NameSupply> rest;
};
SolutionRun solveRun(ApStep step, const TermSubst& acc, Problems worklist, const NameSupply& s,
                     std::function<TermSubst(TermSubst)> finish = nullptr);
// The same for the single problem (p, t), with every substitution turned into a match result by
// `finish` as it comes.
struct ConvertedRun {
    List<MatchResult> results;
    Lazy<NameSupply> rest;
};
ConvertedRun solveRunConverted(ApStep step, const TermSubst& acc, Problem problem, const NameSupply& s,
                               std::function<MatchResult(TermSubst)> finish);

// The two-step matcher suits the pattern (suitsTwoStep, engine/matching/two_step_patterns.h).
bool twoStepApplicable(const Term& p);

}  // namespace plim::fast
