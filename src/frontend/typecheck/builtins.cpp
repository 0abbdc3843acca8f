// The built-in definitions and the conversion of definition groups into program blocks.
#include "frontend/typecheck/builtins.h"

#include <string>

#include "frontend/reader/declarations.h"
#include "frontend/reader/reader.h"
#include "support/errors.h"

namespace plim {

Decl parseEquation(std::string_view text) {
    return parseTokens(pDefinition(), scanText(text)).value;
}

const std::vector<BuiltinDefinition>& builtinDefinitions() {
    static const std::vector<BuiltinDefinition> builtins{
        {{"(++)"}, parseEquation("[] ++ ys = ys")},
        {{"(++)"}, parseEquation("(x:xs) ++ ys = x:(xs++ys)")},
        {{"(.)"}, parseEquation("(f.g) x = f (g x)")},
    };
    return builtins;
}

Defs groupToDefs(const ElemGroup& group) {
    std::vector<DefItem> defs;
    defs.reserve(group.size());
    for (const auto& [elem, line] : group) {
        if (elem.kind() == ElemKind::TrafoElem) failUser(std::string(mutualTrafoRecursionText));
        defs.push_back(DefItem{elem.decl(), line});
    }
    return Defs::fromVector(std::move(defs));
}

BlockItem groupToBlockItem(const ElemGroup& group) {
    if (group.size() == 1 && group.front().first.kind() == ElemKind::TrafoElem)
        return BlockItem(group.front().first.rewrite());
    return BlockItem(mkDList(groupToDefs(group)));
}

Block groupsToBlock(const std::vector<ElemGroup>& groups) {
    std::vector<BlockItem> items;
    items.reserve(groups.size());
    for (const ElemGroup& group : groups) items.push_back(groupToBlockItem(group));
    return Block::fromVector(std::move(items));
}

}  // namespace plim
