// The fast matcher's core: one worklist algorithm over (pattern, term) problems with one rule
// per pattern constructor.  How an application pattern is taken apart is the application
// step: first-order decomposition for simple matching, higher-order candidates for one-step
// and two-step matching.
//
// Results are lazy lists in a fixed order: the worklist is solved from its front, new
// problems go to its end, and the solutions of one problem are explored depth first.  A
// caller that reads only the first result pays only for it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/fast/terms.h"
#include "support/finite_maps.h"
#include "lang/names.h"
#include "lang/types.h"
#include "support/lazy.h"

namespace plim::fast {

// (pattern, term); the term side never holds a PVar.
using Problem = std::pair<Term, Term>;
using Problems = std::vector<Problem>;

using TermBindings = FiniteMap<std::string, Term>;

// (bindings keyed by pattern-variable name, type substitution).
struct TermSubst {
    TermBindings bindings;
    TypeSubst types;
};

// (EmptyMap, mkTid).
const TermSubst& identitySubst();
bool isIdentity(const TermSubst& s);

// PVars bound in the map are replaced by their terms (as stored); every other type is
// substituted.  Nodes that nothing changes are shared.
Term applyTermSubst(const TermSubst& s, const Term& t);
// s1 after s2: s2's terms with s1 applied, united with s1's map (s1 wins on a shared name).
TermSubst composeSubst(const TermSubst& s1, const TermSubst& s2);

// The application steps: how `Ap f x` against a term proposes images for f.
enum class ApStep : std::uint8_t { Simple, OneStep, TwoStep };

// One step result: the image u that f must match and the new problems.
using StepResult = std::pair<Term, Problems>;
using StepResults = List<std::pair<StepResult, NameSupply>>;

// The step's proposals for (flexible, x, t) from a supply.
StepResults runStep(ApStep step, bool flexible, const Term& x, const Term& t, const NameSupply& s);

// A solution and the supply left after it.
using Solution = std::pair<TermSubst, NameSupply>;

// Every solution of the worklist under the step, from the accumulated substitution.
List<Solution> solveProblems(ApStep step, const TermSubst& acc, Problems worklist, const NameSupply& s);

// The two-step matcher suits the pattern: its flexible applications have arguments that
// hold no pattern variable once their leading lambdas are removed.
bool twoStepApplicable(const Term& p);

}  // namespace plim::fast
