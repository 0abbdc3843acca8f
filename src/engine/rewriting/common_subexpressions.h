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
//   plain equality.  Three walks, each stopping as soon as it can:
//   1. The spine: from the top, the applications with a leaf on one side and an application
//      on the other occur once each (no sibling holds them), so whatever repeats lies below
//      them, in the body; only the written form meets them again, to rebuild them.
//   2. The twig test: two equal applications hold, at one place inside each, an
//      application of a leaf to a leaf (a twig), so a body whose twigs all differ by their
//      leaves' names and constants repeats nothing.  One walk that reads no type and hashes
//      only twigs, stopping at the first key met twice, settles most steps.
//   3. The values: one walk numbers the body's values, hash-consed: a leaf by its name or
//      constant and its type, an application by the hash of its form its node was built
//      with (Expr::hashCode) and its parts' numbers (its type compared when the parts are
//      equal), so equal subtrees get one number and no two leaves are ever compared
//      pairwise.  A subtree equal to one valued before is not entered: an application is
//      looked up by its hash on the way down and compared with the values of that hash (a
//      walk that stops at the first difference and enters no node both share); none equal,
//      it is a new value, entered on the way up.  So a node shared in memory costs one
//      look-up, a copy of a subtree a comparison, and nodes compared equal in a call before
//      (kept in a table of copies, swept as the calls go) two look-ups.  Below a value of
//      the same hash that differs (in types, which the hash leaves out) nothing is looked up
//      on the way down, the values found on the way up by their parts' numbers, so that no
//      node is compared in vain twice.  The
//      numbers come parts first, so two linear passes over them (parents first, then parts
//      first) give how often a value occurs (twice or more: two incoming edges, or one from
//      a value that does), the groups, the covered ones (reached from a group through
//      single parents) and those above a kept group.  The order of first occurrences comes
//      from a walk of the graph that enters only the values holding a group, the order
//      innermost first (a topological order that takes, of the groups ready, the first)
//      from the values that lie inside a group and hold one.  A value's written form is
//      made once for all its occurrences, parts first, only for the values above a kept
//      group, and names are drawn from the supply only when something is shared.
//   Time linear in the nodes (a hash probe or two for each node valued, a few reads for each
//   node compared; a node shared in memory is entered once), memory of a few words per
//   node; the tables keep their capacity from call to call, a slot stamped with its call, a
//   value's slot holding its key (so a probe reads no value).  The walk keeps of a value its
//   parts, first node and type's node; the facts of the graph are a table filled after it.
//
//   Named shortcuts, measured by callgrind at width 80:
//   - The twig test (2): naive reverse of 100, 3,330 M instructions when every step was
//     valued in full, 2,248 M with the test (when it came in).
//   - The spine (1): Peano multiplication, 20 by 20, 352.5 M instructions without it,
//     317.0 M with it (its expressions are long chains of S above the repeats).
//   - The leaf memo (3): a leaf whose fields as they stand (a constructor's one shared copy
//     of its name, a number, a variable's node) and type's node were met before in the call
//     is found in a memo of 512 slots by them, not hashed by name and type nor compared again
//     (an expression's leaves are many nodes of few names and types: Peano numbers parsed
//     as thousands of S nodes); equal types are compared by their nodes first, eqType called
//     only when they differ.  Quicksort of 64 Peano numbers: 4,792.9 M in all, the display
//     form 2,574.0 M, with the memo by address that came before (a leaf node met again, in
//     256 slots: most leaves missed it and were hashed and compared), 3,930.2 M and 1,712.6 M
//     with this one; at width 1000000, 4,151.0 M -> 3,290.2 M in all.  Naive Fibonacci of
//     12, whose leaves are few nodes, 319.8 M in all either way (320.9 M).
//   - Subtrees found by their hash (valueTree): a copy of a subtree valued before (Peano
//     numbers and lists parsed or built apart) is compared, not valued again.  It replaced
//     the look-up by address (every 8th application along a chain), which found only nodes
//     shared in memory.  Quicksort of 64 Peano numbers at width 80, the walk 831.1 M ->
//     146.4 M + 489.4 M comparing, 3,131.5 M -> 2,968.9 M in all.
//   - Copies known from the calls before (KnownCopies, shared_display_copies.h): two nodes
//     compared equal are entered in one class, so the next steps of a calculation, which
//     keep them, find them equal by two look-ups.  Quicksort of 64 at width 80, 2,921.0 M ->
//     2,445.0 M in all (comparing 450.5 M -> 4.2 M).
//   - The last leaf (leafValue): the leaf met last, by its fields and type's node, is asked
//     before the memo (leaves come one constructor after another: S of a Peano number).
//     Quicksort of 64, the display form 1,510.3 M -> 1,378.7 M; Fibonacci of 14, 156.3 M ->
//     148.5 M.
//   - Numbers and operators first (constantHash, shared_display_sites.h): naive reverse,
//     the display form 61.1 M without it, 58.1 M with it.
//   - The lambda-free display form (displayForm, calculation.cpp): an expression without
//     lambdas and lets is shared by shareLambdaFree directly, its supply of fresh names
//     made only when something is shared, and csesTop and nearbetas, which leave such an
//     expression as it is, are not called: naive reverse of 100, 2,224.1 M without it,
//     2,211.4 M with it (the display form's cost 88.7 M -> 75.9 M).
// - With lambdas, subexpressions are bucketed by a fingerprint that equal ones share (names
//   ignored, eta contracted), compared exactly within a bucket, and the lambda bodies with
//   nothing to share are found in one pass and skipped: near linear, pairwise only within a
//   bucket of one fingerprint.
//   Named shortcut: binders looked up only where a lambda can bind (bindingLambdas): a
//   subtree without variables, or without lambdas where no lambda is around it, is not
//   entered.  Map and fold of 128 Peano numbers, the display form 520.6 M -> 456.4 M.
//   Named shortcut: the lambda bodies with something to share are looked for in each lambda
//   that lies inside no other one, walked on its own (Candidates), not in the whole result of
//   shareCommon, which shareCommon has just walked: a site outside every lambda has no body
//   to share in, and two sites in two such lambdas never meet.  Map and fold of 128 Peano
//   numbers, the display form 443.1 M -> 400.1 M instructions (csesTop 61.2 M -> 18.5 M).
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
