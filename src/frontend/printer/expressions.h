// The printed form of expressions, constants and declarations, close to what the reader
// accepts: application by juxtaposition, infix operators with the parentheses that their
// precedences ask for, lambdas in parentheses, local definitions as a trailing "where"
// block, conditionals, tuples and data declarations.  No types are printed.
//
//   showExpr(f x y)              "f x y"
//   showExpr(\x -> \y -> x)      "(\ x y -> x)"
//   showExpr(Tuple 2 a b)        "(a, b)"
//   showExpr(Tuple 3 a b)        "Tuple 3 a b"
//   showDecl(Fun (f x) (x + 1))  "f x = x + 1"
//   showExpr((a + b) * c)        "(a + b) * c"
//
// Long spines (application chains, operator chains, nested lambdas and local definitions)
// are walked with an explicit stack: printing never recurses on the depth of the tree.
// Laying the document out is the layout library's work; run deep documents on a large
// stack (support/big_stack.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/printer/doc_cache.h"
#include "lang/constants.h"
#include "lang/syntax.h"
#include "layout/document.h"

namespace plim {

// The expression printed in a context of the given precedence.
Doc ppExpr(Precedence p, const Expr& e);
// The same, with the documents of subexpressions kept in the cache taken from it, and those
// built added to it.
Doc ppExpr(Precedence p, const Expr& e, ExprDocCache& cache);
// The constant applied to the arguments (none for a bare constant).
Doc ppConstant(Precedence p, const Constant& c, const std::vector<Expr>& args);
Doc ppDecl(const Decl& d);

// The printed symbol of an operator: the source symbol, and one blank for application.
std::string printedOpSymbol(Op op);
// The declarations of a definition chain, in order.
std::vector<Decl> defsToList(const Defs& defs);

// The renderers, at the printer's fixed bounds (160, 160).
std::string showExpr(const Expr& e);
std::string showDecl(const Decl& d);
// The two sides printed as the definition "lhs = rhs".
std::string showFunDef(const Expr& lhs, const Expr& rhs);
// The definitions one above another, each but the last followed by ";"; no braces.
std::string showDefs(const DList& defs);

}  // namespace plim
