// Helpers shared by the matcher records and combinators (internal to the matching module).
#pragma once

#include <type_traits>
#include <utility>

#include "engine/matching/matcher.h"

namespace plim::matching_detail {

// A run started when its results or its rest supply is first read, and shared by both.
template <class Start>
MatchRun deferredRun(Start start) {
    Lazy<MatchRun> run = delay(std::move(start));
    return MatchRun{MatchResults::defer([run] { return run->results; }),
                    Lazy<NameSupply>::defer([run] { return run->rest.get(); })};
}

// The supply a run leaves, as a supply whose lists are read (and the run forced) on demand.
inline NameSupply supplyAfter(const MatchRun& run) {
    Lazy<NameSupply> rest = run.rest;
    return NameSupply{NameList::deferred([rest] { return rest->vars; }),
                      NameList::deferred([rest] { return rest->tyvars; })};
}

// The call run when its results (or, for a run, its results or rest supply) are first read.
template <class Call>
auto deferredCall(Call call) {
    if constexpr (std::is_same_v<std::invoke_result_t<Call>, MatchRun>) return deferredRun(std::move(call));
    else return MatchResults::defer(std::move(call));
}

// A record whose six match operations are build(op), op the member of Matcher that each
// replaces; `applicable` and `ruleTable` are left empty.
template <class Build>
Matcher eachMatchOperation(const Build& build) {
    Matcher m;
    m.matchSimple = build(&Matcher::matchSimple);
    m.matchSimpleWith = build(&Matcher::matchSimpleWith);
    m.matchOneStep = build(&Matcher::matchOneStep);
    m.matchOneStepWith = build(&Matcher::matchOneStepWith);
    m.matchTwoStep = build(&Matcher::matchTwoStep);
    m.matchTwoStepWith = build(&Matcher::matchTwoStepWith);
    return m;
}

// The pattern and the term among an operation's arguments, as expressions: the arguments are
// (p, t), (b, p, t), (p, t, s) or (b, p, t, s).
inline const Expr& exprOf(const Expr& e) { return e; }
inline const Expr& exprOf(const TermCtx& c) { return c.expr; }
template <class First, class Second, class... Rest>
std::pair<Expr, Expr> sidesOf(const First& first, const Second& second, const Rest&... rest) {
    if constexpr (std::is_same_v<First, MatchResult>) return sidesOf(second, rest...);
    else return {exprOf(first), exprOf(second)};
}

}  // namespace plim::matching_detail
