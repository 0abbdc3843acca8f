// The type grammar and the small parsers and builders from which definitions and data
// declarations are assembled.
//
//   type        ::= arrows                               (generalised; "type expresssion")
//   arrows      ::= application { "->" application }     (folded to the right)
//   application ::= UpperId { application } | atom
//   atom        ::= lowerId | "(" arrows { "," arrows } ")" | "[" arrows "]" | UpperId
//   constructor ::= UpperId { atom }
//   constructors::= constructor { "|" constructor }
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "frontend/reader/reader.h"
#include "lang/syntax.h"
#include "lang/types.h"

namespace plim {

// --- token parsers -----------------------------------------------------------------------------

const Parser<std::string>& pTypeArrowKeyword();   // the keyword "->"
const Parser<std::string>& pSignatureOperator();  // the operator "::"
const Parser<std::string>& pEqualsOperator();     // the operator "="
const Parser<std::string>& pBarOperator();        // the operator "|"
const Parser<std::string>& pDataKeyword();        // the keyword "data"

// --- types ----------------------------------------------------------------------------------------

// A type expression generalised over its free variables (named "a", "b", ... in order of first
// occurrence); when inserted, placeholderType with the message "\"type expresssion\" inserted".
const Parser<Type>& pType();
const Parser<Type>& pTypeArrows();
const Parser<Type>& pTypeApplication();
const Parser<Type>& pTypeAtom();

// --- constructor declarations ------------------------------------------------------------------

const Parser<Alt>& pConstructorDecl();
// One or more constructor declarations separated by "|", in source order.
const Parser<std::vector<Alt>>& pConstructorList();

// --- builders --------------------------------------------------------------------------------------

// TCon "List" [t].
Type listType(Type t);

// The right part of a definition: an expression (after "=") or a type (after "::").
struct DefinitionRhs {
    std::variant<Expr, Type> part;
};
DefinitionRhs rhsExpression(Expr e);
DefinitionRhs rhsType(Type t);

// Fun lhs e for an expression part, Dec lhs t for a type part.
Decl mkDefinition(Expr lhs, DefinitionRhs rhs);
// Data head alternatives.
Decl mkDataDefinition(Type head, Alts alts);
// One definition as a one-element list of definition items: [(d, -1)].
std::vector<DefinitionItem> definitionItem(Decl d);

// Alternatives in source order as an Alts chain.  (The checker of a constructor list,
// foldConstructorRules, belongs to the type checker, which folds the finished Alts.)
Alts toAlts(const std::vector<Alt>& alts);

// --- nonterminal texts ---------------------------------------------------------------------------

inline const std::string typeDescription = "type expresssion";
inline const std::string constructorsDescription = "constructor declaration(s)";
inline const std::string definitionListDescription = "list of definitions";

}  // namespace plim
