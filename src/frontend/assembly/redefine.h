// Applying a transformation block to the program's source elements.
//
//   SourceFile merged = applyRedefine(*info.transformOfName("fuse"), rewriteOne);
//   Assembly next = assembleProgram(merged);
//
// Each name that the block specifies is rewritten, frozen as a constant of its declared type,
// with the block's USING theory by the caller's action, which prints the calculation and
// returns the new definitions.  Then the program is rebuilt: the definitions that the block
// redefines are removed, the block's REDEFINE definitions and the rewritten definitions take
// the place of the first one removed, the block itself is dropped, and every other block loses
// its name from its prerequisite names.  Every element of the result has line 0.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "frontend/assembly/assembly.h"
#include "lang/syntax.h"
#include "lang/types.h"

namespace plim {

// The caller's rewriting action: rewrites the constant `name` of type `type` with the theory,
// writes its calculation, and returns the new definitions, [Fun (Var name type) result].
using RewriteName = std::function<std::vector<Decl>(const RuleList& theory, const std::string& name, const Type& type)>;

// Calls rewriteName for each specified name in order, then merges.  The theory is looked up
// when the first name is rewritten (none: "HParse:145|Data.Maybe.Just th"); a name without a
// type raises "HParse:146|Data.Maybe.Just typ" when reached.  The merge errors "couldn't find
// original definition to remove" and "must redefine everything" come only after every call.
SourceFile applyRedefine(const TrafoEntry& entry, const RewriteName& rewriteName);

// The merge alone: the program items rebuilt around the new elements.
Elems mergeRedefinition(const std::string& trafoName, const std::vector<std::string>& redefinedNames,
                        const std::vector<Decl>& newDefinitions, const std::vector<ProgramItem>& items);

}  // namespace plim
