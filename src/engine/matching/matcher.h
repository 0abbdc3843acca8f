// The matcher interface: one immutable record of seven operations behind which the fast and
// the reference matcher stand, beta reduction, and the combinators that build new records
// from old ones (comparing, tracing, one-step-only, checking).
//
// Operations 3 to 6 take the name supply as their last argument and return the results with
// the rest of the supply; both come from one shared engine run, and the rest of the supply
// is computed only when read (reading it forces the whole result list).
//
// Calling an operation does no work: the matching, and any side output of the wrappers on
// standard error, happens when the returned results (or supply) are first examined.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "engine/matching/substitutions.h"
#include "lang/expressions.h"
#include "lang/names.h"
#include "support/lazy.h"

namespace plim {

// Results of a one-step or two-step match and what is left of the name supply.
struct MatchRun {
    MatchResults results;
    Lazy<NameSupply> rest;
};

class RuleTable;

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
    // Optional: the tables that answer 3 and 7 for a theory's left sides at every position of
    // an expression at once (see RuleTable).  Empty for a matcher without them, and for every
    // wrapper that must see each call; a record that changes 3 or 7 must leave it empty.
    std::function<std::shared_ptr<const RuleTable>(const std::vector<Expr>& leftSides)> ruleTable;
};

// --- answering for every position at once -----------------------------------------------------
//
// The rewriting driver asks the applicability test and the one-step match of every rule of a
// theory at every subexpression of the expression it rewrites.  A matcher that can answer
// faster from work done once per theory and once per node offers these tables.  Each question
// names a subexpression `sub` of the table's expression (with the variables `bound` around it).

// The subexpressions of one expression.
class SiteTable {
public:
    virtual ~SiteTable() = default;
    // applicable and applicableBelow are answered from the tables: they raise no error.
    virtual bool answersAll() const = 0;
    // The subexpression holds a constant (lambda patterns included).
    virtual bool holdsConstant(const Expr& sub) const = 0;
    // The subexpression was met, in this table's expression or one of the chain before it, where
    // eta expansion leaves it as it is: in full (asked with true) or as an application's function.
    virtual bool ownExpansion(const Expr& sub, bool full) const = 0;
    // The matcher's applicability test of the rule's left side at the subexpression.
    virtual bool applicable(std::size_t rule, const Expr& sub, const std::vector<TypedVar>& bound) const = 0;
    // Where the tables answer every test: whether the rule is tried at the subexpression (it
    // holds a constant, its test succeeds, unless `top`, where the caller has asked it, and the
    // match may succeed), and whether any subexpression below it may be tried; of the two
    // below it, a lambda's body or an application's function (`first`) and an application's
    // argument (`second`), false where no subexpression at or under it may be tried.
    struct Visit {
        bool attempt;
        bool below;
        bool first = true;
        bool second = true;
    };
    virtual Visit visit(std::size_t rule, const Expr& sub, bool top, const std::vector<TypedVar>& bound) const = 0;
    // False only when the one-step match at the subexpression would give no result and raise no
    // error.
    virtual bool mayMatch(std::size_t rule, const Expr& sub) const = 0;
    // The matcher's one-step match of the rule's left side at the subexpression.
    virtual MatchRun matchOneStep(std::size_t rule, const TermCtx& at, const NameSupply& supply) const = 0;
};

// The left sides of one theory, in theory order.
class RuleTable {
public:
    virtual ~RuleTable() = default;
    // The table of e, with the variables ctx bound around it.  `previous` (may be null) is the
    // table of an expression built from this one's parts, made under the same context: what
    // it knows of a node both share is reused, not computed again.
    virtual std::shared_ptr<const SiteTable> sites(const Expr& e, const std::vector<TypedVar>& ctx,
                                                   const SiteTable* previous) const = 0;
};

// Matchers are shared by handle and never changed.
using MatcherRef = std::shared_ptr<const Matcher>;

// --- the two base matchers ------------------------------------------------------------------

// The fast engine adapted to the interface (pattern and term taken as given).
MatcherRef fastRecord();
// betaMatcher(fastRecord()): the default matcher, "fast".  Built once, on first use.
MatcherRef fastMatcher();
// The reference engine adapted to the interface; `applicable` is always true.
MatcherRef refRecord();
// betaMatcher(refRecord()): the matcher "ref".  Built once, on first use.
MatcherRef refMatcher();

// --- beta reduction ---------------------------------------------------------------------------

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

// --- combinators --------------------------------------------------------------------------------

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

// The comparing, announcing and verifying steps of the combinators.
// r2, after counting both lists (and the dump when the counts differ) on first examination.
MatchResults compareResults(const Expr& pattern, const Expr& term, MatchResults r1, MatchResults r2);
// rs, with the trace line written on first examination.
MatchResults traceMatch(const Expr& pattern, const Expr& term, MatchResults rs);
// r, with the check dump written when it fails the test.
MatchResult checkResult(const Expr& pattern, const Expr& term, const MatchResult& r);

}  // namespace plim
