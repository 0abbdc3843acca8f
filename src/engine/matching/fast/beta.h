// Beta reduction, which matches lambda patterns with the fast matcher, and the wrapper that
// shows a matcher its pattern and term in beta-eta normal form.
#pragma once

#include "engine/matching/matcher.h"
#include "lang/expressions.h"

namespace plim {

// The beta normal form, in normal order: a redex (\p -> b) x is contracted with the first
// solution of matching p against x (x's free variables held fixed) by fastMatcher, applied
// to b without capture (a lambda inside b that binds a name of p keeps its own variable; one
// that would capture a free variable of x is renamed); a redex whose pattern does not match
// stays.  A let raises "Matching:217|function betareduce".
Expr betareduce(const Expr& e);

// e beta-reduced, then eta-contracted: what the beta wrapper's operations match.
Expr betaEtaNormal(const Expr& e);

// The matcher whose six match operations see pattern and term in betaEtaNormal form;
// `applicable` is m's own.
MatcherRef betaMatcher(MatcherRef m);

}  // namespace plim
