// What a match produces and how it is used: a `Substitution` binds object-language variables
// to expressions, a `MatchResult` pairs it with a substitution of type variables.  Applying,
// composing, lifting type-only matches, and the text and HTML forms of substitutions.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "model/expressions.h"
#include "model/syntax.h"
#include "model/types.h"
#include "text/html.h"
#include "text/lazy.h"

namespace plim {

// Bindings in the order they were built; a lookup takes the first binding of a name.
using Binding = std::pair<std::string, Expr>;
using Substitution = std::vector<Binding>;

// (substitution, type substitution).  The type substitution is a function from type-variable
// names to types held as an explicit map whose unbound names map to `Tid` of themselves.
struct MatchResult {
    Substitution subst;
    TypeSubst types;
};

// Match results are produced one at a time, on demand.
using MatchResults = List<MatchResult>;

// (empty substitution, identity).
const MatchResult& emptyMatch();

Expr appSubst(const Substitution& s, const TypeSubst& ts, const Expr& e);
Expr applyMatch(const MatchResult& r, const Expr& e);
std::vector<std::string> matchDomain(const MatchResult& r);
MatchResult composeMatch(const MatchResult& r1, const MatchResult& r2);

std::string showSubst(const Substitution& s);
std::string showSubstBlock(const Substitution& s);
std::string showSubsts(const MatchResults& rs);
std::string showMatchResult(const MatchResult& r);
Html substHtml(const Substitution& s);

}  // namespace plim
