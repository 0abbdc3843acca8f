#include "frontend/printer/programs.h"

#include <utility>

#include "frontend/printer/expressions.h"
#include "frontend/printer/layouts.h"
#include "frontend/printer/theories.h"
#include "layout/combinators.h"

namespace plim {

namespace {

// A keyword followed by the clause's definitions side by side.
Doc clauseLine(const Doc& keyword, const DList& defs) {
    return besideDoc(keyword, listToDoc(ppDefinitionList(defs)));
}

Doc elementDoc(const Elem& elem) {
    if (elem.kind() == ElemKind::TrafoElem) return ppRewrite(elem.rewrite());
    return withSemicolon(ppDecl(elem.decl()));
}

}  // namespace

Doc showProgram(const Elems& elems) {
    std::vector<Doc> docs;
    for (const ElemItem& item : elems) docs.push_back(elementDoc(item.elem));
    return aboveList(std::move(docs));
}

void renderProgramTo(std::string& out, const Elems& elems, LayoutInt width) {
    std::vector<const Elem*> items;
    for (const ElemItem& item : elems) items.push_back(&item.elem);
    renderStackTo(out, items.size(), [&items](std::size_t i) { return elementDoc(*items[i]); }, width);
}

Doc ppSourceElement(const std::string& name, const std::vector<std::string>& names, const DList& redefine,
                    const DList& specifying, const Theory& use) {
    Doc listed = emptyDoc();
    if (!names.empty())
        listed = besideDoc(fixedText<":">(),
                           ppNameList(names.front(), std::vector<std::string>(names.begin() + 1, names.end())));
    Doc line1 = besideDoc(fixedText<"TRANSFORM ">(), besideDoc(ppString(name), listed));
    Doc line2 = clauseLine(fixedText<"REDEFINE ">(), redefine);
    Doc line3 = clauseLine(fixedText<"SPECIFYING ">(), specifying);
    Doc line4 = besideDoc(fixedText<"USING ">(), ppTheo(use.elems));
    return aboveDoc(line1, aboveDoc(line2, aboveDoc(line3, aboveDoc(line4, fixedText<"END;">()))));
}

Doc ppRewrite(const Rewrite& r) { return ppSourceElement(r.name, r.names, r.redefs, r.specs, r.theory); }

Doc ppNameList(const std::string& first, const std::vector<std::string>& rest) {
    if (rest.empty()) return ppString(first);
    Doc acc = ppString(rest.back());
    for (std::size_t i = rest.size() - 1; i-- > 0;)
        acc = besideDoc(ppString(rest[i]), besideDoc(fixedText<",">(), acc));
    return besideDoc(ppString(first), besideDoc(fixedText<",">(), acc));
}

std::vector<Doc> ppDefinitionList(const DList& dlist) {
    std::vector<Doc> docs;
    for (const Decl& d : defsToList(dlist.defs)) docs.push_back(ppDecl(d));
    return punctuateInit(withSemicolon, std::move(docs));
}

}  // namespace plim
