// The printed form of type terms: function types with "->", list types in brackets, tuple
// types in parentheses with "," between the components, other constructors applied by
// juxtaposition; a type scheme prints its body only.
//
//   showType(a -> b -> c)     "a -> b -> c"
//   showType((a -> b) -> c)   "(a -> b) -> c"
//   showType(Maybe (a, [b]))  "Maybe ((a,[b]))"
#pragma once

#include <string>
#include <vector>

#include "lang/types.h"
#include "layout/document.h"

namespace plim {

Doc ppType(const Type& t);
// A type in argument position: parenthesised unless it is a variable, a list type or a
// constructor without arguments.
Doc ppTypeArg(const Type& t);
// ppType laid out at the printer's fixed bounds (160, 160).
std::string showType(const Type& t);

// The documents side by side with the separator character alone between neighbours,
// grouped from the right; no documents give the empty document.
Doc ppSeparated(char separator, const std::vector<Doc>& docs);

}  // namespace plim
