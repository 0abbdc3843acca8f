// The printed form of equations, conditional equations and theories: the text of the
// "showtheory" command, the theory of a transformation block's USING clause, and the single
// rules that the type checker quotes in its reports.
//
//   abc: f x = y, if {
//                    c1 = d1;
//                    c2 = d2
//                    }
//
// (the label, the equation and the condition part form a list in which each part is either
// followed directly by the rest, on one line, or placed above it; a rule without conditions
// that fits is one line).  Entries of a theory are stacked, each but the last followed by ";"
// and an empty line.
#pragma once

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "lang/syntax.h"
#include "layout/document.h"

namespace plim {

// A rule as the checker and the rewriting engine hold it: a label, its conditions and its
// equation, each equation as its (left side, right side) pair.
struct RuleTriple {
    std::string label;
    std::vector<std::pair<Expr, Expr>> conditions;
    std::pair<Expr, Expr> equation;
};
// The checked rule list that the checker yields and the rewriting engine receives.
using Rule = RuleTriple;

// An entry of a theory: a rule, or the name of one definition of a DEFINITION header.
struct TheoryDefinitionItem {
    std::string name;
};
using TheoryItem = std::variant<RuleTriple, TheoryDefinitionItem>;

// The entries of a theory body, in order.
std::vector<TheoryItem> theoItems(const Theo& theo);

// The label, ": " and the equation printed as a definition, and the conditions in a braced
// vertical block after ", if "; each part after the one before it or below it, as the width
// allows.
Doc ppEquation(const std::string& label, const std::vector<std::pair<Expr, Expr>>& conditions,
               const std::pair<Expr, Expr>& equation);
Doc ppCondEquation(const RuleTriple& rule);
Doc ppCondEquation(const Ceq& ceq);
Doc ppTheoryItem(const TheoryItem& item);
// The theory body: its entries stacked, each but the last followed by ";" and an empty line.
Doc ppTheo(const Theo& theo);

// The loaded theory as text, laid out at the printer's fixed bounds (160, 160).
std::string showTheory(const std::vector<RuleTriple>& rules);
// One rule as text, at the printer's fixed bounds.
std::string showEquation(const std::string& label, const std::vector<std::pair<Expr, Expr>>& conditions,
                         const std::pair<Expr, Expr>& equation);

}  // namespace plim
