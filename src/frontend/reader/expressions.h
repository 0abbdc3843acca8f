// The expression grammar.  Every node it builds carries placeholderType.
//
//   expr        ::= application [ "where" localDefs ]
//   application ::= operandSeq | "if" expr "then" expr "else" expr | "let" localDefs "in" expr
//   operandSeq  ::= atomic { [ operator ] atomic }
//   atomic      ::= atom | "\" atom { atom } "->" expr
//   atom        ::= lowerId | constant | "(" expr { "," expr } ")" | "(" operator ")"
//                 | "[" [ expr { "," expr } ] "]"
//
// An operand sequence is read flat, `App` written between juxtaposed atomics, and grouped by
// precedence and grouping only when built (buildOperatorExpr).
#pragma once

#include <string>

#include "frontend/reader/reader.h"
#include "lang/constants.h"
#include "lang/syntax.h"

namespace plim {

// --- nonterminals --------------------------------------------------------------------------------

// "expression", default Con Error: the expression parser of the whole front end.
const Parser<Expr>& pExpr();
// "application, conditional or local definition", default Con Error.
const Parser<Expr>& pApplication();
// "if-then-else", default If applied to three Con Error nodes.
const Parser<Expr>& pIfThenElse();
// "local definition", default Let (DList NoDef) (Con Error).
const Parser<Expr>& pLocalDef();
// "(atomic) expression", default Con Error.
const Parser<Expr>& pAtomic();
// "abstraction", default Lam (Con Error) (Con Error).
const Parser<Expr>& pAbstraction();
// "variable, constant, tuple or list enumeration", default Con Error.
const Parser<Expr>& pAtom();
// "bracketed expression or tuple", default Con Error.
const Parser<Expr>& pBracketed();
// "list enumeration", default Con Nul.
const Parser<Expr>& pListEnum();

// --- operator expressions ----------------------------------------------------------------------

// The operands and the operators of a run, in source order; operator i stands between
// operand i and operand i + 1.
struct OperandSeq {
    Chain<Expr> operands;
    Chain<Op> operators;
};

// The operands and operators of a run, read in a loop.
const Parser<OperandSeq>& pOperandSeq();

// The expression of a run: operators ordered by precedence, folded into a chain, regrouped,
// the operands filled in from the left, and the tree turned into applications.
Expr buildOperatorExpr(const OperandSeq& seq);

// --- builders of the expression forms ------------------------------------------------------------

// One element is itself; n elements the tuple constructor of arity n applied to them.
Expr bracketedExpr(const std::vector<Expr>& elements);
// The right-nested cons chain of the elements, ending in Con Nul.
Expr listEnumExpr(const std::vector<Expr>& elements);
// Lam p1 (Lam p2 (... (Lam pk body))).
Expr abstractionExpr(const std::vector<Expr>& patterns, Expr body);
// Ap (Ap (Ap (Con If) c) t) e.
Expr conditionalExpr(Expr condition, Expr thenBranch, Expr elseBranch);
// e itself when the definitions are NoDef, else Let defs e.
Expr whereExpr(Expr e, DList defs);

inline const std::string expressionDescription = "expression";

}  // namespace plim
