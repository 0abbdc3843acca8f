// Common subexpressions written once: the sharing of the display form of an expression.
//
// `shareCommon` writes every repeated subexpression that is an application or a lambda, not
// of a function type and mentioning no variable of the context, once, as a local definition
// of a fresh variable: one let around the expression, definitions innermost first, groups
// (equal subexpressions, up to bound names and eta) ordered by first occurrence, a group whose
// every occurrence lies inside one occurrence each of another group left out.  `cses` and
// `csesTop` repeat this inside every lambda body.  These work on let-free expressions.
//
// Algorithm and costs.
//
// - Without lambdas (the expressions of most calculations: every step of one is shared
//   afresh, nothing is kept from one call to the next), equality up to bound names and eta is
//   plain equality.  One walk numbers the expression's values, hash-consed: a leaf by its name
//   or constant and its type, an application by its parts' numbers (its type compared when
//   the parts are equal), so equal subtrees get one number and no two leaves or subtrees are
//   ever compared pairwise.  Nodes shared in memory are entered once, so the walk, and all that
//   follows, costs the number of distinct nodes, not of the tree's occurrences.  The numbers
//   form a graph (one vertex per distinct subtree) from which follow, each in one pass over
//   it: how often a value occurs (counted up to two), the order of first occurrences, the
//   order innermost first (a topological order of the graph that takes, of the groups ready,
//   the first), and which groups are covered (those reached from a group through values with
//   a single parent).  The written form then rebuilds only the nodes above kept occurrences,
//   and draws names from the supply only when something is shared.  Time linear in the
//   distinct nodes (a hash probe or two each), memory of a few words per node, none kept.
// - With lambdas, subexpressions are bucketed by a fingerprint that equal ones share (names
//   ignored, eta contracted), compared exactly within a bucket, and the lambda bodies with
//   nothing to share are found in one pass and skipped: near linear, pairwise only within a
//   bucket of one fingerprint.
//
// Internal errors raise the coded pattern-match failures "SubExpressions:<line>|function f".
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "lang/expressions.h"
#include "lang/names.h"
#include "lang/syntax.h"

namespace plim {

// An expression with its binders, threaded with a name supply.
using CtxExpr = std::pair<Expr, std::vector<TypedVar>>;
using CtxExprRun = std::pair<CtxExpr, NameSupply>;

// The repeated shareable subexpressions of e written once each, as one let around e whose
// definitions come innermost first; e itself (and no name drawn) when nothing repeats.
CtxExprRun shareCommon(const CtxExpr& at, const NameSupply& supply);
// shareCommon applied to every lambda body; a let raises "SubExpressions:318|function cses".
CtxExprRun cses(const CtxExpr& at, const NameSupply& supply);
// cses of the body of a top-level let (its definitions untouched), or cses.
CtxExprRun csesTop(const CtxExpr& at, const NameSupply& supply);
// shareCommon, then csesTop on its result.
CtxExprRun shareAll(const CtxExpr& at, const NameSupply& supply);

// shareCommon of an expression without lambdas and lets, under the binders ctx: the let and
// the supply left, or nothing when nothing repeats.  The supply is asked for only when
// something is shared.
std::optional<std::pair<Expr, NameSupply>> shareLambdaFree(const Expr& e, const std::vector<TypedVar>& ctx,
                                                           const std::function<NameSupply()>& supply);

}  // namespace plim
