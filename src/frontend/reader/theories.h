// Equations, conditional equations and theories.
//
//   theory    ::= item { ";" item }
//   item      ::= label ":" equation [ "," "if" "{" equation { ";" equation } "}" ]
//               | "DEFINITION" name { "," name }
//   name      ::= lowerId | "." | "++" | "(" ( "." | "++" ) ")"
//   equation  ::= expr "=" expr
//
// The grammar keeps the sides of equations as read; `unletTheory` turns their local
// definitions into applied abstractions once the repair log has been written.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "frontend/reader/reader.h"
#include "lang/syntax.h"

namespace plim {

// "equation", default Eqn (Con Error) (Con Error).
const Parser<Eqn>& pEquation();
// "equation list", default NoEq: "{" equations separated by ";" "}".
const Parser<Eqs>& pEquationList();
// "conditional equation", default Ceq "error" NoEq (the default equation) 0.  Its line is the
// line of its colon.
const Parser<Ceq>& pCondEquation();
// "theory", default Theory NoTheo.
const Parser<Theory>& pTheory();

// One item of a theory: an equation, or the names of one DEFINITION header.
using TheoryItem = std::variant<Ceq, std::vector<std::string>>;
// The items in order: an equation gives CeqTheo, a header one DefnTheo per name.
Theory theoryFromItems(const std::vector<TheoryItem>& items);

// The theory with `unlet` applied to both sides of every equation and condition; a side that
// unlet cannot handle stays as read, so that its failure comes where the side is used.
Theory unletTheory(const Theory& theory);

}  // namespace plim
