// The program-file grammar.
//
//   program        ::= sourceElements
//   sourceElements ::= { sourceElement ";" } | sourceElement      ("list of source elements")
//   sourceElement  ::= definition | transformBlock
//   transformBlock ::= "TRANSFORM" lowerId [ ":" lowerId { "," lowerId } ]
//                      "REDEFINE" definitions "SPECIFYING" definitions "USING" theory "END"
//
// An element's line is the line of its ";" plus one (1 for a ";" inserted by repair); an
// element read without ";" has line 0.  The grammar keeps the sides of the USING theories'
// equations as read; readProgram (frontend/reader/reader.h) makes them let-free when its value is read.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "frontend/reader/reader.h"
#include "lang/syntax.h"

namespace plim {

const Parser<SourceFile>& pProgram();
const Parser<Elems>& pSourceElements();
const Parser<Elem>& pSourceElement();
const Parser<Rewrite>& pTransformBlock();

using ElemPair = std::pair<Elem, std::int32_t>;
// (e, l) followed by the rest becomes OneElem e rest (l + 1); the end NoElem.
Elems elemsFromPairs(const std::vector<ElemPair>& pairs);

// The source file with `unlet` applied to the equations of every USING theory.
SourceFile unletSourceFile(const SourceFile& file);

}  // namespace plim
