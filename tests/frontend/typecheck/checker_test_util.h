// Helpers for the type checker tests: reading types, theories and definition lists, and
// running the checker on them.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "frontend/reader/reader.h"
#include "frontend/reader/types.h"
#include "frontend/typecheck/checker.h"
#include "frontend/printer/printer.h"

namespace plim::test {

inline Type readType(const std::string& text) { return parseTokens(pType(), scanText(text)).value; }

inline Theo readTheo(const std::string& text) {
    std::ostringstream log;
    return parseTheory(text, log).elems;
}

inline Lazy<CheckEnv> envOf(const TypeEnv& env) { return Lazy<CheckEnv>(CheckEnv::fromTypeEnv(env)); }

inline Lazy<DefnRules> noTable() {
    return Lazy<DefnRules>::defer([]() -> DefnRules { failInternal("no table"); });
}

inline TheoryCheck checkText(const std::string& text, const TypeEnv& env = {}) {
    return checkTheory(readTheo(text), envOf(env), noTable());
}

// The definitions of a program text, in order, as one list (transformation blocks dropped).
inline std::vector<DefItem> programDefs(const std::string& text) {
    std::vector<DefItem> items;
    const SourceFile file = readProgram(text).value.get();
    for (const ElemItem& e : file.elems)
        if (e.elem.kind() == ElemKind::DefElem) items.push_back(DefItem{e.elem.decl(), e.line});
    return items;
}

inline DList listOf(const std::vector<DefItem>& items) { return mkDList(Defs::fromVector(items)); }

inline DListCheck checkDefs(const std::string& text, std::int32_t line = 0, CheckEnv env = CheckEnv()) {
    return checkDList(listOf(programDefs(text)), DListContext{line, CheckState::fresh(), std::move(env)});
}

inline std::string bindingsText(const TypeEnv& bindings) {
    std::string out;
    for (const auto& [name, t] : bindings) out += name + " :: " + typeText(t) + "\n";
    return out;
}

}  // namespace plim::test
