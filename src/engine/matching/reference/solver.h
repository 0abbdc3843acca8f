// The heart of the reference matcher: a solver for a worklist of (pattern, term) problems that
// yields, lazily and depth first, every way of binding the pattern variables so that pattern
// and term are equal.  It is first-order except for how an application pattern is taken
// apart, which the `AppRule` decides: the simple rule makes it the simple matcher, the
// one-step and two-step rules (appRuleCandidates, engine/matching/reference/matcher.cpp) a
// higher-order one.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/matching/reference/terms.h"
#include "lang/names.h"
#include "support/lazy.h"

namespace plim::ref {

struct Problem {
    Term pattern;
    Term term;
};
using Problems = std::vector<Problem>;

// One solution and the supply left after it.
struct Solution {
    Bindings bindings;
    NameSupply supply;
};
using Solutions = List<Solution>;

// How an application pattern is taken apart.
enum class AppRule { Simple, OneStep, TwoStep };

// What the function part of an application pattern must match, the problems that come with
// it, and the supply left.
struct AppCandidate {
    Term candidate;
    Problems problems;
    NameSupply supply;
};
using AppCandidates = List<AppCandidate>;

// The candidates of a rule for (flexible head, argument pattern, term); the higher-order
// rules are defined with the engine.  A tuple argument is taken whole when `wholeArgument`
// says the head's binder receives it so (head_binders.h); `repeated` names the pattern
// variables repeated as its elements whose problems in one combination must agree
// (repeated_elements.h); `headArg`, the head's argument type when the images of a tuple
// argument have argument types that follow their binders' (tuple_typing.h), rules out the
// combinations whose binders' types cannot meet it; `problemTypes` leaves out the
// abstractions whose problem fails at its type match, or at the top of a lambda's body,
// whatever comes (a search's own use: the generator alone gives them).
AppCandidates appRuleCandidates(AppRule rule, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                                bool wholeArgument = false, std::vector<std::string> repeated = {},
                                std::optional<Type> headArg = std::nullopt, bool problemTypes = false);
// simpleAppRule: t = Ap g y gives ((g, [(x, y)]), s); anything else nothing.
AppCandidates simpleAppRule(const Term& x, const Term& t, const NameSupply& s);

// Every solution of the worklist, solved front first, from the supply.
Solutions matchProblems(AppRule rule, const Problems& problems, const NameSupply& supply);

// p with the bound pattern variables replaced and every type annotation substituted.
Term applyBindings(const Bindings& b, const Term& p);
// s after h: h's bound terms with s applied, united with s's map (s wins on a shared name);
// the types h first, then s.
Bindings composeBindings(const Bindings& s, const Bindings& h);

// The bodies of t in which n instances of the argument pattern x's body have been replaced
// by applications of the variable v, without duplicates; [t] for n = 0.  A negative n raises
// "ReferenceMatching:575|function abstractssub".
List<Term> abstractssub(std::int64_t n, const std::string& v, const Term& x, const Term& t);
// A body of a level with what its instances made of x's type variables: every instance of
// one body gives them the same types, and the abstraction variable has x's type so
// instantiated.  An instance whose match leaves one of x's
// parameters unbound gives no body.
struct TypedBody {
    Term body;
    TypeSubst types;
};
List<TypedBody> abstractNextTypedLevel(const List<TypedBody>& previous, const std::string& v, const Term& x);

}  // namespace plim::ref
