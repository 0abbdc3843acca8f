// Beta reduction and the wrapper that shows a matcher its pattern and term in beta-eta normal
// form.  A redex's lambda pattern is matched against its argument by a matcher the caller
// names: the system's is the fast matcher's record (fastRecord(), whose betareduce(e) is
// betareduce(e, *fastRecord())), which this folder cannot see.
#pragma once

#include "engine/matching/matcher.h"
#include "lang/expressions.h"

namespace plim {

// The beta normal form, in normal order: a redex (\p -> b) x is contracted with the first
// solution of matching p against x (x's free variables held fixed) by `patterns`, applied to b
// without capture (a lambda inside b that binds a name of p keeps its own variable; one that
// would capture a free variable of x is renamed); a redex whose pattern does not match stays.
// A let raises "Matching:217|function betareduce".
Expr betareduce(const Expr& e, const Matcher& patterns);

// The matcher whose six match operations see pattern and term beta-reduced (redexes matched
// by `patterns`), then eta-contracted; `applicable` is m's own.
MatcherRef betaMatcher(MatcherRef m, MatcherRef patterns);

}  // namespace plim
