// The printed form of a program file: its definitions and TRANSFORM blocks in source order,
// each definition followed by ";", each block as
//
//   TRANSFORM name:a,b
//   REDEFINE def1;def2
//   SPECIFYING def3
//   USING entry1;
//
//         entry2
//   END;
//
// The listing is a document: the interpreter lays it out at its own page width.
#pragma once

#include <string>
#include <vector>

#include "lang/syntax.h"
#include "layout/document.h"

namespace plim {

// The whole program, one element below another with no empty lines between them.
Doc showProgram(const Elems& elems);
// The text of showProgram(elems) at the page width, appended to `out`: each element's document
// is made, laid out, written and released in turn.
void renderProgramTo(std::string& out, const Elems& elems, LayoutInt width);
// One TRANSFORM block from its five parts.
Doc ppSourceElement(const std::string& name, const std::vector<std::string>& names, const DList& redefine,
                    const DList& specifying, const Theory& use);
Doc ppRewrite(const Rewrite& r);
// The names joined by "," without blanks.
Doc ppNameList(const std::string& first, const std::vector<std::string>& rest);
// The definitions of a clause, each but the last followed by ";".
std::vector<Doc> ppDefinitionList(const DList& dlist);

}  // namespace plim
