// The fast matcher's applicability test answered for every rule at every position of an
// expression from two small tables instead of one conversion per question: the symbols each
// rule's left side requires (built once per theory), and the symbols each subexpression
// holds (built once per expression, in one linear pass).  Symbols are bits of one word.
//
// The tables answer exactly as `fastApplicableExpr` does; where they cannot (more symbols
// than bits, a pattern whose test involves a bound variable or fails, a lambda whose binder
// the fast matcher rejects) they say so and the caller asks the matcher.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
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

// What the symbol pass knows of every subexpression, per site in subpaths order (pre-order, a
// lambda's body, an application's argument before its function).
struct SiteSymbolFacts {
    std::vector<SymbolSet> held;
    // Of an application: the symbols of its spine's arguments and of the spine's head, the
    // number of arguments, and the arity of a tuple constant at the head (0 for another head).
    std::vector<SymbolSet> args, head;
    std::vector<int> spine, headTuple;

    void grow();  // one more site, facts still zero
    void copyBlock(const SiteSymbolFacts& from, std::size_t first, std::size_t size);
};

// The facts of a subexpression's sites known from before (made with the same table): the
// facts, the subexpression's site there and its number of sites; nothing where unknown.
using KnownSymbols =
    std::function<std::optional<std::tuple<const SiteSymbolFacts*, std::size_t, std::size_t>>(const Expr&)>;

// The facts of every subexpression of e, those of `known` subexpressions taken as they are;
// nothing when e holds (outside them) a lambda whose binder the fast matcher rejects.
std::optional<SiteSymbolFacts> siteSymbolFacts(const Expr& e, const RuleSymbols& table,
                                               const KnownSymbols& known = {});
// The symbols held by every subexpression of e (siteSymbolFacts(e, table)->held).
std::optional<std::vector<SymbolSet>> siteSymbols(const Expr& e, const RuleSymbols& table);

// The symbol of a constant (one bit, or none when no left side requires it).
SymbolSet symbolOf(const Constant& c, const std::vector<std::string>& symbols);
// The fast engine takes the lambda pattern as a binder.
bool binderFits(const Expr& pattern);

// The answer of the applicability test from the two tables.
inline bool holdsAll(SymbolSet held, SymbolSet required) { return (required & ~held) == 0; }

}  // namespace plim
