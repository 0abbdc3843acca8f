// Compact text of parsed trees for the grammar tests, and helpers that run the readers.
//
//   Var x          x                    Con (Number 5)     5
//   Ap f x         (f x)                Con (Binop Plus)   (+)
//   Ap (Ap (Con (Binop op)) l) r         (l op r)
//   Lam p b        (\p -> b)            Let ds b           (let {d1; d2} in b)
//   Fun l r        l = r                Dec e t            e :: <type text>
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/reader/reader.h"
#include "lang/syntax.h"

namespace plim::test {

std::string showConstant(const Constant& c);
std::string showExpr(const Expr& e);
std::string showDecl(const Decl& d);
// "d1 @line; d2 @line"
std::string showDefs(const Defs& defs);
// "label @line: l = r if {c1; c2}" or "DEFINITION name", items joined by " | ".
std::string showTheo(const Theo& theo);

// True when every expression node of e carries placeholderType.
bool allPlaceholder(const Expr& e);

// The value and the log of one run of a grammar over a text.
template <class T>
struct Run {
    T value;
    std::string log;
};

template <class T>
Run<T> runGrammar(const Parser<T>& grammar, const std::string& text) {
    ParseResult<T> r = parseTokens(grammar, scanText(text));
    return Run<T>{std::move(r.value), std::move(r.log)};
}

inline Run<Expr> readExpr(const std::string& text) {
    std::ostringstream out;
    Expr e = parseExpression(text, out);
    return Run<Expr>{e, out.str()};
}

inline Run<Theory> readTheory(const std::string& text) {
    std::ostringstream out;
    Theory t = parseTheory(text, out);
    return Run<Theory>{t, out.str()};
}

inline std::string readFile(const std::string& relative) {
    std::ifstream in(std::string(PLIM_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace plim::test
