// Builders that the grammar's parse actions share: applications with the placeholder type,
// the left fold of an application, the conversion of a resolved operator tree into
// expression nodes, and the actions for tuple types and type names.  Every expression node
// built here carries placeholderType.
#pragma once

#include <string>
#include <vector>

#include "lang/constants.h"
#include "lang/syntax.h"
#include "lang/types.h"

namespace plim {

// Ap f x placeholderType: the application node of juxtaposition.
Expr mkAp(Expr f, Expr x);

// mkAp (... (mkAp f a1) ...) an: the left-nested application; no arguments give f itself.
Expr foldApplication(Expr f, const std::vector<Expr>& args);

// Con c placeholderType.
Expr mkConExpr(Constant c);
// Var n placeholderType.
Expr mkVarExpr(std::string name);
// Con Error placeholderType: the node inserted for a missing expression.
Expr errorExpr();

// l op r as an expression: Ap l r for App, else Ap (Ap (Con (Binop op)) l) r.
Expr operatorApplication(Op op, Expr left, Expr right);

// The expression of a resolved operator tree: a leaf is its operand; (l App r) is Ap l' r';
// (l op r) is Ap (Ap (Con (Binop op)) l') r'.
Expr opTreeToExpr(const OpTree<Expr>& tree);

// A parenthesised list of types: one type is itself, n types TCon "Tuple<n>" [t1, ..., tn].
Type tupleTypeAction(std::vector<Type> types);
// A type name: TCon name [].
Type typeNameAction(std::string name);

}  // namespace plim
