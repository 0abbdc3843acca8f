// What a match produces and how it is used: a `Substitution` binds object-language variables
// to expressions, a `MatchResult` pairs it with a substitution of type variables.  Applying,
// composing, lifting type-only matches, and the text and HTML forms of substitutions.
#pragma once

#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "lang/expressions.h"
#include "lang/names.h"
#include "lang/syntax.h"
#include "lang/types.h"
#include "html/html.h"
#include "support/lazy.h"

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

// Match results are produced one at a time, on demand; a match makes a short list of them,
// mostly read once and dropped: its cells come from the block pool.
template <>
struct PooledListCells<MatchResult> : std::true_type {};
using MatchResults = List<MatchResult>;

// (empty substitution, identity).
const MatchResult& emptyMatch();

Expr appSubst(const Substitution& s, const TypeSubst& ts, const Expr& e);
// The same without capture: a variable bound by a lambda of e is not replaced below it (its
// binder stays), and a lambda whose binder would capture a free variable of a bound
// expression takes a new binder name (the old name followed by a number) first.
Expr appSubstAvoidingCapture(const Substitution& s, const TypeSubst& ts, const Expr& e);
Expr applyMatch(const MatchResult& r, const Expr& e);
std::vector<std::string> matchDomain(const MatchResult& r);
MatchResult composeMatch(const MatchResult& r1, const MatchResult& r2);

std::string showSubst(const Substitution& s);
std::string showSubstBlock(const Substitution& s);
std::string showSubsts(const MatchResults& rs);
std::string showMatchResult(const MatchResult& r);
Html substHtml(const Substitution& s);

// --- companions ---------------------------------------------------------------------------

// Each type substitution as a match without bindings, in order.
std::vector<MatchResult> liftTypeMatches(const std::vector<TypeSubst>& typeMatches);
// The one-way matches of the type pattern against the type, lifted.
std::vector<MatchResult> matchTypes(const Type& pattern, const Type& t);
// ([(name, e)], ts) for each way ts in which the type of e is an instance of ty.
std::vector<MatchResult> bindVar(const std::string& name, const Type& ty, const Expr& e);

}  // namespace plim
