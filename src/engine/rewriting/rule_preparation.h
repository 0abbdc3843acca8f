// Preparing theory rules for rewriting: local definitions removed from every equation, and
// copies of a theory whose names are fresh, so that the variables and type variables of a
// rule never meet those of the expression being rewritten, of its binders or of another rule.
#pragma once

#include <utility>
#include <vector>

#include "frontend/printer/theories.h"
#include "lang/names.h"
#include "lang/syntax.h"

namespace plim {

using Equation = std::pair<Expr, Expr>;

// (unlet l, unlet r).
Equation unletEquation(const Equation& eq);
// The rule with unletEquation applied to its conditions and its equation.
Rule unletRule(const Rule& rule);
std::vector<Rule> unletRules(const std::vector<Rule>& rules);

// A copy of the rule under fresh names: the free names of the equation and then of the
// conditions take the next variable names, their type variables the next type-variable names,
// and lambda-bound names the names after those (conditions before the equation).
std::pair<Rule, NameSupply> renameRule(const Rule& rule, const NameSupply& supply);
// renameRule over the list, each rule continuing from the supply the previous one left.
std::pair<std::vector<Rule>, NameSupply> renameRules(const std::vector<Rule>& rules, const NameSupply& supply);
// renameRules (unletRules rules) from (varNames, varNames).
std::vector<Rule> prepareTheory(const std::vector<Rule>& rules);

}  // namespace plim
