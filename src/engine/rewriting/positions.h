// Positions inside expressions and local definitions at them.
//
// Paths: a `Path` is the list of steps from an expression down to one of its subexpressions,
// outermost first: `First` (function of an application), `Second` (its argument), `Body`
// (body of a lambda).  `subpaths` enumerates every subexpression with its path and binders,
// on demand, in pre-order with the argument before the function; `select` and `replace`
// work at a path; `elim` introduces a local definition for a subexpression that occurs at
// several paths.  The display form's sharing built on them is in common_subexpressions.h.
//
// Internal errors raise the coded pattern-match failures "SubExpressions:<line>|function f"
// or the messages "invalid replace: ..." and "invalid select".
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lang/expressions.h"
#include "lang/names.h"
#include "lang/syntax.h"
#include "support/lazy.h"

namespace plim {

// --- paths ------------------------------------------------------------------------------------

// In tag order; equality and ordering follow it.
enum class Step : std::uint8_t { First, Second, Body };
using Path = std::vector<Step>;

// "First", "Second", "Body".
std::string showStep(Step s);
// "[First,Body]"; "[]" for the empty path.
std::string showPath(const Path& p);
// Lexicographic over steps; a proper prefix sorts first.
bool pathLess(const Path& a, const Path& b);
// p1 is a prefix of p2 (every path is a prefix of itself).
bool isPathPrefix(const Path& p1, const Path& p2);

// A subexpression with the binders around it, and its path.
using SubPath = std::pair<TermCtx, Path>;

// Every subexpression of e with its binders and path, produced on demand: (e, binders) with
// the empty path first (before e is examined), then the body of a lambda (the pattern's
// variables in front of the binders), or the argument's subexpressions before the function's.
// Demanding the entries after a let's own raises "SubExpressions:35|function subpaths".
List<SubPath> subpaths(const TermCtx& at);
List<SubPath> subpathsFrom(const Expr& e, const std::vector<TypedVar>& binders);

// The subexpression at the path; a path that does not fit raises "invalid select".
Expr select(const Expr& e, const Path& path);
// e with the subexpression at the path replaced by `replacement`; rebuilt nodes keep their
// types.  A path that does not fit raises "invalid replace: " + the printed subexpression
// reached + " " + the printed rest of the path.
Expr replace(const Expr& e, const Path& path, const Expr& replacement);
// exprEq({}, {}, replace(e, path, replacement), e) without the rebuilt expression: the nodes
// replace would rebuild along the path compare as the old ones (their forms and types are
// theirs), so only what the comparison reads of them and of the parts beside the path is
// read, in the same order, and the replacement is compared with the subexpression it takes
// the place of.  A path that does not fit raises "invalid select".
bool equalAfterReplace(const Expr& e, const Path& path, const Expr& replacement);
// The paths of the occurrences of Var x, function side before argument side.
std::vector<Path> findvar(const std::string& x, const Expr& e);

// --- occurrences ------------------------------------------------------------------------------

// (expression, its occurrence paths).
using Occurrences = std::pair<Expr, std::vector<Path>>;
// (expression, its occurrence paths, the subexpressions that may be named at its level).
struct OccurrenceTriple {
    Expr expr;
    std::vector<Path> paths;
    std::vector<Occurrences> inner;
};

std::vector<OccurrenceTriple> subsubexps(const Expr& e);
// Merging by equality up to bound names and eta: a repeated expression's entry gets the new
// paths in front of its own.
std::vector<Occurrences> mergeOccurrences(const std::vector<Occurrences>& entries);
std::vector<OccurrenceTriple> mergeOccurrenceTriples(const std::vector<OccurrenceTriple>& entries);
bool occursMoreThanOnce(const Occurrences& o);

// --- local definitions ------------------------------------------------------------------------

// The definitions of ds moved one by one onto the front of acc.
Defs revAppendDefs(const Defs& ds, Defs acc);
// On Let defs body t: a new definition v = (select body paths[0]) in front of defs, v the next
// name of the supply, and Var v put at every path of body.  A non-let raises
// "SubExpressions:290|function elim".
std::pair<Expr, NameSupply> elim(const Expr& let, const Expr& x, const std::vector<Path>& paths,
                                 const NameSupply& supply);

// Let defs body t with the definitions reversed (the body alone when there are none); a
// non-let raises "SubExpressions:285|function revdefs".
Expr revdefs(const Expr& e);

}  // namespace plim
