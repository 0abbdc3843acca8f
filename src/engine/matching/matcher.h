// The matcher interface: one immutable record of seven operations behind which the fast matcher
// (engine/matching/fast/record.h) and the reference matcher (engine/matching/reference/record.h)
// stand, and the tables a matcher may offer to answer for every position at once.  Beta
// reduction is in engine/matching/beta.h, the combinators that build new records from old
// ones in engine/matching/combinators/combinators.h.
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
    // applicable and visit (whether the subexpressions below may be tried) are answered from the
    // tables: they raise no error.
    virtual bool answersAll() const = 0;
    // The subexpression was met, in this table's expression or one of the chain before it, where
    // eta expansion leaves it as it is: in full (asked with true) or as an application's function.
    virtual bool ownExpansion(const Expr& sub, bool full) const = 0;
    // The matcher's applicability test of the rule's left side at the subexpression.
    virtual bool applicable(std::size_t rule, const Expr& sub, const BoundVars& bound) const = 0;
    // The question of the driver's walk of positions (raising no error where answersAll):
    // whether the rule is tried at the subexpression (it holds a constant, its test succeeds,
    // unless `top`, where the caller has asked it, and the match may succeed), and whether any
    // subexpression below it may be tried; of the two below it, a lambda's body or an
    // application's function (`first`) and an application's argument (`second`), false where
    // no subexpression at or under it may be tried.
    struct Visit {
        bool attempt;
        bool below;
        bool first = true;
        bool second = true;
    };
    virtual Visit visit(std::size_t rule, const Expr& sub, bool top, const BoundVars& bound) const = 0;
    // The matcher's one-step match of the rule's left side at the subexpression.
    virtual MatchRun matchOneStep(std::size_t rule, const TermCtx& at, const NameSupply& supply) const = 0;
    // The table of e, an expression built from this one's parts, with the same variables bound
    // around it: what this table knows of a node both share is reused, not computed again.
    virtual std::shared_ptr<const SiteTable> next(const Expr& e, const std::vector<TypedVar>& ctx) const = 0;
};

// The left sides of one theory, in theory order.
class RuleTable {
public:
    virtual ~RuleTable() = default;
    // The table of e, with the variables ctx bound around it (SiteTable::next gives the table
    // of an expression built from its parts).
    virtual std::shared_ptr<const SiteTable> sites(const Expr& e, const std::vector<TypedVar>& ctx) const = 0;
};

// Matchers are shared by handle and never changed.
using MatcherRef = std::shared_ptr<const Matcher>;

}  // namespace plim
