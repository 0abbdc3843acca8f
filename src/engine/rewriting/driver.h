// The rewriting driver: rewrites an expression with a theory until no rule changes it, and
// returns the whole derivation (engine/rewriting/derivation.h).
//
// A step applies the first rule (in theory order) at the first position (pre-order, argument
// before function, only subexpressions that hold a constant) with the first match of the
// matcher's one-step operation that changes the expression: the right side is instantiated,
// put in place and the whole expression beta-reduced.  A conditional rule applies only when
// each condition, both sides rewritten by nested derivations, is met by a two-step match.
//
// The steps are produced one at a time while they are read: an endless rewrite (a
// commutativity rule) yields its first steps at once, and the loop runs in constant stack.
// The failures (conditional attempts at the final expression) are computed only when read.
// Every expression stored in the derivation is in canonical form: names renamed in the order
// met from a supply fresh for the context, then eta-reduced.
#pragma once

#include <utility>
#include <vector>

#include "engine/matching/matcher.h"
#include "engine/rewriting/derivation.h"
#include "frontend/printer/theories.h"
#include "lang/expressions.h"
#include "lang/names.h"

namespace plim {

// The derivation of `expr` (let-expressions allowed) under the theory, with the variables
// `ctx` bound around it (the interpreter passes none).
Derivation rewriteDefinition(MatcherRef matcher, const std::vector<Rule>& theory, const Expr& expr,
                             const std::vector<TypedVar>& ctx = {});
Derivation rewriteDefinition(const Matcher& matcher, const std::vector<Rule>& theory, const Expr& expr,
                             const std::vector<TypedVar>& ctx = {});

// Conditions nest at most this deep: checking a condition of a derivation that is itself
// nested in kMaxConditionDepth conditions raises the user error "conditions nested too deeply
// (more than 1000 levels) in rule" and the rule's label in double quotes.  (A rule whose
// condition needs the rule itself would otherwise nest until memory or stack is spent.)
inline constexpr std::size_t kMaxConditionDepth = 1000;

// Renamed copies of the prepared theory: the first serves the current level of derivation,
// the next ones the nested derivations of conditions.  Never empty.
using RuleCopies = std::vector<std::shared_ptr<const std::vector<Rule>>>;

// The copies for the next level of nesting: all but the first, or one freshly renamed copy
// when only one is left.
std::pair<RuleCopies, NameSupply> advance(const RuleCopies& copies, const NameSupply& supply);

// One derivation of the let-free e under the copies' first theory, and the supply after the
// names its steps drew.  The returned supply is computed when read (it follows the whole
// derivation); the steps are not read to produce the derivation itself.
std::pair<Derivation, Lazy<NameSupply>> derive(MatcherRef matcher, const RuleCopies& copies, const Expr& e,
                                               const std::vector<TypedVar>& ctx, const NameSupply& supply);

// The form in which expressions are stored in a derivation.
Expr canonicalForm(const std::vector<TypedVar>& ctx, const Expr& e);

}  // namespace plim
