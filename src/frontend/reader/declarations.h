// Declarations and definition lists.
//
//   definition ::= expr ( "=" expr | "::" type ) | "data" typeApplication "=" constructors
//   localDefs  ::= "{" definition { ";" definition } "}" | definition
//
// A definition list takes its block syntax as a parameter: local definitions use braces,
// program files and transformation blocks a plain ";"-separated list.
#pragma once

#include <functional>
#include <vector>

#include "frontend/reader/reader.h"
#include "frontend/reader/types.h"
#include "lang/syntax.h"

namespace plim {

// "definition", default Fun (Con Error) (Con Error).
const Parser<Decl>& pDefinition();
// "=" expr or "::" type; a missing one is repaired as a type signature.
const Parser<DefinitionRhs>& pDefinitionRhs();
// "data" and a type head, yielding the function that completes the Data declaration.
const Parser<std::function<Decl(Alts)>>& pDataDecl();
// "constructor declaration(s)", default NoAlt.
const Parser<Alts>& pConstructors();

// A block syntax: from the item parser to a parser of (item, line) pairs.
using DefinitionBlock = std::function<Parser<std::vector<DefinitionItem>>(Parser<Decl>)>;

// "list of definitions", default NoDef: the block of definitions, or one definition without
// block syntax (line -1); (d, n) becomes OneDef d rest (n + 1).
Parser<Defs> pDefinitionList(const DefinitionBlock& block);
// The definitions of where and let: braces, or one definition alone.
const Parser<DList>& pLocalDefinitions();
// The definitions of REDEFINE and SPECIFYING: one or more separated by ";", each with line 0.
const Parser<DList>& pDefinitionList();

}  // namespace plim
