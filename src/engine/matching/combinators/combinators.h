// The combinators that build new matcher records from old ones: comparing, tracing,
// one-step-only, checking.
#pragma once

#include "engine/matching/matcher.h"
#include "lang/expressions.h"

namespace plim {

// Runs both matchers (operations 1 and 2: the second first; 3 to 6: the first first, the
// second drawing names from where the first stopped) and writes a dump to standard error
// when they find different numbers of results.  The results are always the second's;
// `applicable` is the second's.
MatcherRef compareMatchers(MatcherRef first, MatcherRef second);
// Writes "matching <pattern> against <term>\n" to standard error when a call's results are
// first examined.
MatcherRef traceMatcher(MatcherRef m);
// Answers two-step requests by one-step matching.
MatcherRef oneStepOnly(MatcherRef m);
// Writes a dump to standard error for every result that, substituted into the pattern and
// normalised, is not the term; results are returned unchanged.
MatcherRef checkMatcher(MatcherRef m);

// betaMatcher(refRecord(), fastRecord()): the matcher "ref", whose beta reduction, like
// everyone's, matches lambda patterns with the fast matcher.  Built once, on first use.
MatcherRef refMatcher();

// The comparing, announcing and verifying steps of the combinators.
// r2, after counting both lists (and the dump when the counts differ) on first examination.
MatchResults compareResults(const Expr& pattern, const Expr& term, MatchResults r1, MatchResults r2);
// rs, with the trace line written on first examination.
MatchResults traceMatch(const Expr& pattern, const Expr& term, MatchResults rs);
// r, with the check dump written when it fails the test.
MatchResult checkResult(const Expr& pattern, const Expr& term, const MatchResult& r);

}  // namespace plim
