// The matcher interface: one immutable record of seven operations behind which the fast and
// the reference matcher stand, and the combinators that build new records from old ones.
//
// Operations 3 to 6 take the name supply as their last argument and return the results with
// the rest of the supply; both come from one shared engine run, and the rest of the supply
// is computed only when read (reading it forces the whole result list).
#pragma once

#include <functional>
#include <memory>

#include "engine/substitutions.h"
#include "model/expressions.h"
#include "model/names.h"
#include "text/lazy.h"

namespace plim {

// Results of a one-step or two-step match and what is left of the name supply.
struct MatchRun {
    MatchResults results;
    Lazy<NameSupply> rest;
};

struct Matcher {
    // 1: pattern, term.
    std::function<MatchResults(const Expr&, const Expr&)> matchSimple;
    // 2: bindings, (pattern, pattern bound list), (term, term bound list).
    std::function<MatchResults(const MatchResult&, const TermCtx&, const TermCtx&)> matchSimpleWith;
    // 3: pattern, term in context, supply.
    std::function<MatchRun(const Expr&, const TermCtx&, const NameSupply&)> matchOneStep;
    // 4: bindings, pattern in context, term in context, supply.
    std::function<MatchRun(const MatchResult&, const TermCtx&, const TermCtx&, const NameSupply&)> matchOneStepWith;
    // 5: as 3.
    std::function<MatchRun(const Expr&, const TermCtx&, const NameSupply&)> matchTwoStep;
    // 6: as 4.
    std::function<MatchRun(const MatchResult&, const TermCtx&, const TermCtx&, const NameSupply&)> matchTwoStepWith;
    // 7: pattern, term in context: false means no match can exist.
    std::function<bool(const Expr&, const TermCtx&)> applicable;
};

// Matchers are shared by handle and never changed.
using MatcherRef = std::shared_ptr<const Matcher>;

}  // namespace plim
