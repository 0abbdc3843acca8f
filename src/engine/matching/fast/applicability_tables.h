// The fast matcher's applicability test answered for every rule at every position of an
// expression from two small tables instead of one conversion per question: the symbols each
// rule's left side requires (built once per theory, here), and the symbols each subexpression
// holds (built once per node along a derivation, with the driver's other facts:
// site_tables.cpp).  Symbols are bits of one word.
//
// The tables answer exactly as `fastApplicableExpr` does; where they cannot (more symbols
// than bits, a pattern whose test involves a bound variable or fails, a lambda whose binder
// the fast matcher rejects) they say so and the caller asks the matcher.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lang/syntax.h"

namespace plim {

using SymbolSet = std::uint64_t;

struct RuleSymbols {
    std::vector<std::string> symbols;  // sorted; symbol k is bit k
    // Per rule, the symbols its left side requires; nothing: ask the matcher.
    std::vector<std::optional<SymbolSet>> required;
};

// The table for the rules' left sides; nothing when their symbols do not fit one word.
std::optional<RuleSymbols> ruleSymbols(const std::vector<Expr>& leftSides);

// The symbol of a constant (one bit, or none when no left side requires it).
SymbolSet symbolOf(const Constant& c, const std::vector<std::string>& symbols);
// The fast engine takes the lambda pattern as a binder.
bool binderFits(const Expr& pattern);

// The answer of the applicability test from the two tables.
inline bool holdsAll(SymbolSet held, SymbolSet required) { return (required & ~held) == 0; }

}  // namespace plim
