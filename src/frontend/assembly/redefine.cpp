#include "frontend/assembly/redefine.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "support/errors.h"

namespace plim {

namespace {

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A scheme with bound names is instantiated with "a", "b", ...; any other type is kept.
Type instantiated(const Type& t) {
    if (t.isTAbs() && !t.boundVars().empty()) return inst(typeVarNames(), t);
    return t;
}

const Type& typeOfName(const TypeEnv& env, const std::string& name) {
    for (const auto& [n, t] : env)
        if (n == name) return t;
    patternFail(CodedFailure::RedefineMissingType);
}

// How a definition item fares against the redefined names.
enum class Coverage { None, Some, All };

Coverage coverage(const std::vector<std::string>& names, const std::vector<std::string>& redefined) {
    const auto n = std::count_if(names.begin(), names.end(), [&](const std::string& x) { return contains(redefined, x); });
    if (n == 0) return Coverage::None;  // also an item that defines no names: it is never removed
    return static_cast<std::size_t>(n) == names.size() ? Coverage::All : Coverage::Some;
}

// The block without the applied transformation's name among its prerequisites (first
// occurrence only).
Rewrite withoutPrerequisite(const Rewrite& r, const std::string& trafoName) {
    Rewrite copy = r;
    if (auto it = std::find(copy.names.begin(), copy.names.end(), trafoName); it != copy.names.end())
        copy.names.erase(it);
    return copy;
}

}  // namespace

Elems mergeRedefinition(const std::string& trafoName, const std::vector<std::string>& redefinedNames,
                        const std::vector<Decl>& newDefinitions, const std::vector<ProgramItem>& items) {
    std::vector<Elem> out;
    bool placed = false;
    for (const ProgramItem& item : items) {
        if (const auto* t = std::get_if<TransformProgramItem>(&item)) {
            if (t->name != trafoName) out.push_back(mkTrafoElem(withoutPrerequisite(t->rewrite, trafoName)));
            continue;
        }
        const auto& d = std::get<DefinitionProgramItem>(item);
        switch (coverage(d.names, redefinedNames)) {
        case Coverage::None: out.push_back(mkDefElem(d.decl)); break;
        case Coverage::Some: failUser("must redefine everything");
        case Coverage::All:
            if (!placed)
                for (const Decl& nd : newDefinitions) out.push_back(mkDefElem(nd));
            placed = true;
            break;
        }
    }
    if (!placed) failUser("couldn't find original definition to remove");
    Elems elems;
    for (auto it = out.rbegin(); it != out.rend(); ++it) elems = mkOneElem(std::move(*it), std::move(elems), 0);
    return elems;
}

SourceFile applyRedefine(const TrafoEntry& entry, const RewriteName& rewriteName) {
    std::optional<RuleList> theory;
    std::vector<Decl> newDefinitions;
    for (const DefItem& d : entry.redefinitions.defs) newDefinitions.push_back(d.decl);
    // Every name is rewritten, and its calculation written, before anything is merged.
    for (const std::string& name : entry.specifiedNames) {
        if (!theory) {
            theory = entry.theoryOf(entry.name);
            if (!theory) patternFail(CodedFailure::RedefineMissingTheory);
        }
        const Type type = instantiated(typeOfName(entry.env, name));
        std::vector<Decl> rewritten = rewriteName(*theory, name, type);
        newDefinitions.insert(newDefinitions.end(), rewritten.begin(), rewritten.end());
    }
    static const std::vector<ProgramItem> noItems;
    return mkSourceFile(mergeRedefinition(entry.name, entry.redefinedNames, newDefinitions,
                                          entry.items ? *entry.items : noItems));
}

}  // namespace plim
