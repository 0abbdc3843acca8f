// The built-in definitions and the conversion of definition groups into program blocks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lang/syntax.h"

namespace plim {

// One definition read from a text with the program-file scanner and the definition grammar;
// the rest of the input and the repair log are dropped.
Decl parseEquation(std::string_view text);

// The built-in definitions: ("(++)", "[] ++ ys = ys"), ("(++)", "(x:xs) ++ ys = x:(xs++ys)"),
// ("(.)", "(f.g) x = f (g x)"), each read once with parseEquation.
struct BuiltinDefinition {
    std::vector<std::string> names;
    Decl decl;
};
const std::vector<BuiltinDefinition>& builtinDefinitions();

// A group of mutually dependent elements, each with its source line.
using ElemGroup = std::vector<std::pair<Elem, std::int32_t>>;

// The groups as blocks, in order: a group of definitions (or an empty group) becomes a
// DefsBlock, a lone transformation block a TrafoBlock; a larger group that holds a
// transformation block becomes a DefsBlock whose definitions raise "Can't have mutually
// recursive elements involving a transformation block" when checked.
Block groupsToBlock(const std::vector<ElemGroup>& groups);
// The definitions of a group in order, each with its element's line; raises the error above at
// the first transformation block.
Defs groupToDefs(const ElemGroup& group);
// The block of one group: a lone transformation block is a TrafoBlock, anything else a
// DefsBlock (groupToDefs, which raises the error above at a transformation block).
BlockItem groupToBlockItem(const ElemGroup& group);

}  // namespace plim
