// The parser library's combinators for source files that also use the syntax trees.
//
// The derived combinators declare an alias template `BlockItem` (an item of a brace block and
// its line), and the syntax declares the program-block cell `BlockItem` in the same namespace;
// a file that includes both headers directly does not compile.  Such a file includes this
// header before any other that brings in the derived combinators: here the library's alias is
// known as `ParsedBlockItem`.
#pragma once

#define BlockItem ParsedBlockItem
#include "text/ko_parsing_ext.h"
#undef BlockItem

#include "text/ko_parsing.h"
