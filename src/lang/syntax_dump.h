// The constructor text form of the syntax values: a one-line rendering that names each
// constructor and shows its fields, nested values in parentheses, for raw dumps.
//
//   Var "x" (Tid "a")
//   OneDef (Fun (Var "f" (Tid "a")) (Con Nul (Tid "a"))) NoDef 3
//
// A constructor with fields is enclosed in "(" and ")" when the context precedence is greater
// than 10; its fields are written at precedence 11.  A constructor without fields is never
// enclosed.  Strings are quoted with escapes, lists written "[a,b]".
#pragma once

#include <string>
#include <vector>

#include "lang/syntax.h"

namespace plim {

// The text of a value at a precedence, appended to out.
void appendSyntaxText(std::string& out, int prec, const Expr& e);
void appendSyntaxText(std::string& out, int prec, const Eqn& eqn);
void appendSyntaxText(std::string& out, int prec, const Eqs& eqs);
void appendSyntaxText(std::string& out, int prec, const Ceq& ceq);
void appendSyntaxText(std::string& out, int prec, const Theo& theo);
void appendSyntaxText(std::string& out, int prec, const Theory& theory);
void appendSyntaxText(std::string& out, int prec, const Alt& alt);
void appendSyntaxText(std::string& out, int prec, const Alts& alts);
void appendSyntaxText(std::string& out, int prec, const Rewrite& rewrite);
void appendSyntaxText(std::string& out, int prec, const Decl& decl);
void appendSyntaxText(std::string& out, int prec, const Defs& defs);
void appendSyntaxText(std::string& out, int prec, const DList& dlist);
void appendSyntaxText(std::string& out, int prec, const Elem& elem);
void appendSyntaxText(std::string& out, int prec, const Elems& elems);
void appendSyntaxText(std::string& out, int prec, const SourceFile& file);
void appendSyntaxText(std::string& out, int prec, const Block& block);
void appendSyntaxText(std::string& out, int prec, const Prog& prog);

// The value's text at a precedence, followed by rest.
template <class T>
std::string showsPrecSyntax(int prec, const T& value, const std::string& rest = {}) {
    std::string out;
    appendSyntaxText(out, prec, value);
    return out + rest;
}

// The value at precedence 0 with nothing after it.
template <class T>
std::string showSyntax(const T& value) {
    return showsPrecSyntax(0, value);
}

// "[", the values at precedence 0 separated by ",", "]", followed by rest.
template <class T>
std::string showListSyntax(const std::vector<T>& values, const std::string& rest = {}) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        appendSyntaxText(out, 0, values[i]);
    }
    return out + "]" + rest;
}

// The expression forms under their own names.
inline std::string showsPrecExpr(int prec, const Expr& e, const std::string& rest = {}) {
    return showsPrecSyntax(prec, e, rest);
}
// The constructor form; the printer's showExpr gives the concrete syntax.
inline std::string showExprSyntax(const Expr& e) { return showSyntax(e); }

}  // namespace plim
