// The reference matcher: a plain, search-based higher-order matcher against which the fast
// matcher is checked.  Pattern and term are converted to the matcher's own terms
// (engine/matching/reference/terms.h), a worklist of matching problems is solved depth first
// (engine/matching/reference/solver.h), and every solution is converted back to a `MatchResult`.
//
// These are the six match operations of the reference matcher's record, in its field order;
// the applicability test of that record is simply true.  Everything is computed on demand:
// the conversions run when the results are first examined, the results one at a time, and
// the rest of the name supply only when it is read (it forces the whole result list).  A
// pattern variable of the pattern side is any variable not named in the pattern's bound
// list; variables named in a bound list are fixed.
#pragma once

#include "engine/matching/matcher.h"
#include "engine/matching/substitutions.h"
#include "lang/expressions.h"
#include "lang/names.h"

namespace plim::ref {

// Field 1: every way the pattern equals the term, first-order apart from lambdas; no names
// are drawn.
MatchResults simpleMatch(const Expr& pattern, const Expr& term);
// Field 2: the same from initial bindings, pattern and term in their contexts.
MatchResults simpleMatchWith(const MatchResult& bindings, const TermCtx& pattern, const TermCtx& term);
// Field 3: one-step higher-order matching of a closed pattern against a term in its context.
MatchRun oneStepMatch(const Expr& pattern, const TermCtx& term, const NameSupply& supply);
// Field 4: the same from initial bindings, the pattern in its context.
MatchRun oneStepMatchWith(const MatchResult& bindings, const TermCtx& pattern, const TermCtx& term,
                          const NameSupply& supply);
// Field 5: two-step matching; a pattern outside the two-step class is matched one-step.
MatchRun twoStepMatch(const Expr& pattern, const TermCtx& term, const NameSupply& supply);
// Field 6: the same from initial bindings.
MatchRun twoStepMatchWith(const MatchResult& bindings, const TermCtx& pattern, const TermCtx& term,
                          const NameSupply& supply);

}  // namespace plim::ref
