// The parser library's combinators, for the grammar's source files.  Include this before any
// other header that brings in the derived combinators: the library's alias for block items is
// renamed here, because the syntax's program blocks already use that name in namespace plim.
#pragma once

#define BlockItem ParsedBlockItem
#include "text/ko_parsing_ext.h"
#undef BlockItem

#include "text/ko_parsing.h"
