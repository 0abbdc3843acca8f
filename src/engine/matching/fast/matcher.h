// The fast matcher: conversion of expressions into its own terms and back, and the entries
// behind the seven operations of the matcher record (simple, one-step and two-step matching,
// each also from initial bindings, and the applicability test).
//
// Every entry returns at once: its work runs when its results (or, for one-step and two-step
// matching, the rest of the supply) are first read.  Raw solutions are `fast::TermSubst`s;
// `fastConvertSolution` turns one into a `MatchResult`, `fastConvertRun` a whole run.
//
// One path per question: every entry converts its expressions, runs the worklist of the core
// (solver.h) and converts its solutions back.  These shortcuts give the same answers faster,
// each kept because switching it off costs a benchmark more than 5% (callgrind instruction
// counts; bench_fast_matching figures are per iteration):
//   - the driver's tables (site_tables.cpp: RuleTable, SiteTable): the symbols each rule needs
//     and each node holds, and each node's normal form, found once per theory and once per
//     node along a derivation, so that a rule is tried only where it may match.  Off: the
//     map fusion benchmark (bench_map_fusion_matchers, 8) costs 107 times as much.  The
//     driver's one walk of positions asks the tables where a rule is tried and where below it
//     anything may be; with every position asked and tested instead, naive reverse (50,
//     bench_site_tables) costs +113%, rev.plim +54%.
//   - the rigid shape test where the tables' rule sets do not answer a visit (site_tables.cpp,
//     shapeMayFit): an attempt whose shape cannot fit is left out.  Off: map
//     fusion (8) +16.0%, (16) +20.6%.
//   - where the tables answer every question (none raises an error), the driver walks each
//     rule's positions between the attempts and stops at the first that makes progress, instead
//     of listing every attempt before making the first (driver.cpp, searchStep).  Off: naive
//     reverse (50) and Peano (10) of bench_site_tables +6.7% and +6.3% (their derivations),
//     rev.plim +4.0%, mul.plim +4.5%.
//   - the first-order walk read straight from an expression (first_order.cpp,
//     matchFirstOrderExpr), at a site whose normal form reads as its term, with no term built.
//     Off: rev.plim +59.1%, mul.plim +6.9%.
//   - simple matching read straight from the expressions (direct.cpp, fastSimpleMatchExpr),
//     handing the match to the terms wherever it does not follow them.  Off: the simple
//     matches of the corpus (BM_FastSimpleCorpus) +21.6%.
//   - the conversions made lately, by expression node and bound names (conversion.cpp,
//     RecentConversions).  Off: BM_FastOneStepCorpus +33.4%, BM_FastTwoStepCorpus +30.3%,
//     BM_FastApplicableExpr 22 times as much.  The lambdas inside each conversion, kept by the
//     names around them: off, a rewrite under nested lambdas is quadratic in their number
//     (BM_RewriteInsideNestedLambdasFast, 8,000: 17.6 s instead of 0.12 s).
//   - tuple binder patterns built before, by binder and type (conversion.cpp, BinderPatterns),
//     the last call's first.  Off: BM_FastOneStepNestedTuples (3) +94.7%; the last call's
//     alone: +20.3%.
//   - tuple constructors typed from the tuple type at hand when it is the elements' (no tuple
//     type built again; conversion.cpp, tupleExpr).  Off: BM_FastOneStepNestedTuples (3)
//     +7.9% with the memo of constructors by type node that it had, which alone was worth
//     4.6% and went.
//   - types substituted before, by type node and what the variables are bound to
//     (conversion.cpp, SubstitutedTypes).  Off: BM_FastOneStepNestedTuples (3) +57.9%.
//   - the conversion back on a walk of its own that does not enter the children converting at
//     once, rather than the tree walk (conversion.cpp, BackWalk).  Off: BM_FastOneStepCorpus
//     +14.1%, BM_FastOneStepNestedTuples (3) +11.1%, BM_FastTwoStepFirstResultsHuge +10.7%.
//   - small nodes rebuilt with one child replaced, by parent, child and position
//     (term_operations.cpp, RebuiltNodes).  Off: BM_FastOneStepNestedTuples (3) +10.0%.
//   - a group's abstraction variable, the same node for the same name and type node
//     (candidates.cpp, abstractionVariable).  Off: BM_FastOneStepNestedTuples (3) +13.8%.
//   - an image's type given as its head's own type when equal (candidates.cpp, imageType).
//     Off: BM_FastTwoStepWideApplication (100) +17.0%.
//   - the tuple binder and type a tuple fold closed into last (tuple_candidates.cpp,
//     TupleMemo).  Off: BM_FastOneStepNestedTuples (3) +48.1%.
//   - a one-problem match ruled out up front by its tuple images (solver.cpp,
//     ruledOutUpFront).  Off: BM_FastOneStepOwnTupleHead (100) +13.1%.
//   - the tuple and function types of images, by their parts' very nodes (step_sources.h,
//     ImageTypes).  Off: BM_FastOneStepNestedTuples (3) +25.3%.
//   - the type matches of problems, by the very nodes of their two types (solver.cpp,
//     typeMatch).  Off: BM_FastOneStepNestedTuples (3) +33.8%.
//   - the one-step generators of a tuple fold's finished frames, restarted with their
//     workspaces for its next frames (tuple_candidates.cpp, TupleSource::spare_;
//     candidates.cpp, OneStepSource::restart).  Off: BM_FastOneStepNestedTuples (3) +29.4%.
//   - a repeated element's groups ruled out whole, before their candidates are built
//     (tuple_candidates.cpp, agreeingGroups).  Off: BM_FastOneStepRepeatedElement (5) +51.8%.
//   - one memo of substituted types shared by the nodes of a large term (solver.cpp, substAll,
//     sharedTypesFrom).  Off: BM_FastTwoStepWideApplication (100) 4.9 times as much.
//   - the eta normal form kept per node (term_equality.cpp, etaNormalise).  Off:
//     BM_FastOneStepCorpus +7.9%.
//   - the rigid symbols a pattern requires and a term holds as bits, kept in each term node
//     and compared as masks (term_operations.cpp, mayMatchRequired).  Off:
//     BM_FastOneStepDeepChain (2500) +43.5%, BM_FastTwoStepWideApplication (100) +33.1%,
//     BM_FastOneStepNestedTuples (3) +18.9%.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/matching/fast/solver.h"
#include "engine/matching/fast/terms.h"
#include "engine/matching/matcher.h"
#include "engine/matching/substitutions.h"
#include "lang/expressions.h"
#include "lang/names.h"
#include "lang/syntax.h"
#include "support/lazy.h"

namespace plim {

namespace fast {

// convert': an expression as a term; variables named in `context` (the different names bound
// around the expression) become LVars, every other variable a PVar.  A let raises the coded failure
// "FastMatching:167|function convert'", a lambda pattern that is neither a variable nor a
// (nested) tuple of variables "can't handle non-variable/tuple lambda bindings" (when its
// binder is examined, if the lambda's body has no variables).
Term convertPrime(const NameSet& context, const Expr& e);
// convertPrime where it succeeds and leaves no refused binder in the term; nothing where it
// would raise one of its errors, at once or when a binder is examined.
std::optional<Term> convertIfPossible(const NameSet& context, const Expr& e);
// convert: a term back as an expression.
Expr convert(const Term& t);
// The binder of a converted lambda pattern and the names it binds, in order.
std::pair<LamBinding, std::vector<std::string>> binders(const Term& pattern);
// The pattern is a variable or a (nested) tuple of variables.
bool bindersFit(const Term& pattern);
// The arguments of a saturated tuple application, or nothing.
std::optional<std::vector<Expr>> saturatedTupleArgs(const Expr& e);
// Their number (a saturated tuple application is an application spine of a tuple constant of
// arity k >= 1 with k arguments), 0 for any other expression.
std::size_t saturatedTupleSize(const Expr& e);
// A function type (an arrow with its two arguments).
inline bool isArrowType(const Type& t) { return t.isTCon() && t.name() == arrowName && t.args().size() == 2; }
// The n elements of a saturated tuple application of size n, first element first.
inline void saturatedTupleElements(const Expr& e, std::size_t n, std::vector<const Expr*>& out) {
    out.resize(n);
    const Expr* at = &e;
    for (std::size_t i = n; i-- > 0; at = &at->fun()) out[i] = &at->arg();
}
// The tuple application of the components, typed from them.
Expr mkTupleExpr(std::vector<Expr> components);
// The saturated tuple application carries the types that mkTupleExpr of its elements gives.
bool tupleTypedAsBuilt(const Expr& e);
// The lambda pattern of a binder against the lambda's argument type.
Expr binderPattern(const Type& argumentType, const LamBinding& b);
// The binder as a term (LVar / Tupl of LVars) against the lambda's argument type.
Term binderTerm(const Type& argumentType, const LamBinding& b);
// The bindings in ascending name order as expressions; the type substitution unchanged.
MatchResult convertBindings(const TermSubst& s);
// The same with the type substitution applied to the bindings' types first.
MatchResult convertInstantiatedBindings(const TermSubst& s);

// The names of a bound list, in order (as long as the list: the conversions read
// context.names(), the different names, at once).
std::vector<std::string> contextNames(const BoundVars& context);

}  // namespace fast

// Raw solutions of one match, and the rest of the supply for one-step and two-step matching.
using FastSolutions = List<fast::TermSubst>;
struct FastRun {
    FastSolutions solutions;
    // The supplies of all solutions combined (the given one when there is none); reading it
    // runs the whole search.
    Lazy<NameSupply> rest;
};

// Initial bindings as the engine's map: a later binding of a name replaces an earlier one;
// every expression converted with no bound names.
fast::TermSubst fastConvertBindings(const MatchResult& bindings);
// One raw solution as a MatchResult (bindings in ascending name order).
MatchResult fastConvertSolution(const fast::TermSubst& s);
MatchResults fastConvertSolutions(const FastSolutions& ss);
MatchRun fastConvertRun(const FastRun& run);

// Simple (first-order) matching from no bindings.
FastSolutions fastSimpleMatch(const fast::Term& p, const fast::Term& t);
// Simple matching of expressions from no bindings: the results, their order and the errors
// of fastConvertSolutions(fastSimpleMatch(convertPrime({}, p), convertPrime({}, t))).  The
// expressions are matched as they are, without building terms; what that walk does not
// follow (see engine/matching/fast/direct.cpp) hands the whole problem to the term matcher.
MatchResults fastSimpleMatchExpr(const Expr& p, const Expr& t);
// Simple matching from initial bindings, with the variables bound around pattern and term.
FastSolutions fastSimpleMatchWith(const fast::TermSubst& b, const fast::Term& p, const BoundVars& pctx,
                                  const fast::Term& t, const BoundVars& tctx);

// The step function of one-step matching, for fastEngine.
inline constexpr fast::ApStep fastOneStepStep = fast::ApStep::OneStep;
// Matching with a step from initial bindings; the supply is drawn on by the step.
FastRun fastEngine(fast::ApStep step, const fast::TermSubst& b, const fast::Term& p,
                   const BoundVars& pctx, const fast::Term& t, const BoundVars& tctx,
                   const NameSupply& supply);
// fastConvertRun(fastEngine(...)) with each solution converted as the search finds it: no
// list of raw solutions in between.
MatchRun fastEngineConverted(fast::ApStep step, const fast::TermSubst& b, const fast::Term& p,
                             const BoundVars& pctx, const fast::Term& t,
                             const BoundVars& tctx, const NameSupply& supply);
// Two-step matching (one-step matching for a pattern that does not suit it).
FastRun fastTwoStep(const fast::Term& p, const fast::Term& t, const BoundVars& tctx,
                    const NameSupply& supply);
// The same from the bindings b, each solution converted as the search finds it (as
// fastEngineConverted).
MatchRun fastTwoStepConverted(const fast::TermSubst& b, const fast::Term& p, const BoundVars& pctx,
                              const fast::Term& t, const BoundVars& tctx, const NameSupply& supply);
// False when no match can exist: some constant or free bound variable that the pattern
// requires is missing from the term.
bool fastApplicable(const fast::Term& p, const fast::Term& t);
// The same test on the expressions, the pattern with no bound names and the term in its
// context: fastApplicable of their conversions.
bool fastApplicableExpr(const Expr& p, const TermCtx& t);

}  // namespace plim
