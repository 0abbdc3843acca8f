#include "frontend/printer/types.h"

#include "frontend/printer/layouts.h"
#include "layout/combinators.h"

namespace plim {

namespace {

bool isArrow(const Type& t) { return t.isTCon() && t.name() == arrowName && t.args().size() == 2; }

// A tuple type is any constructor whose name begins with "Tuple", whatever its arity.
bool isTupleName(const std::string& name) { return name.compare(0, tupleName.size(), tupleName) == 0; }

// A chain of arrows a -> b -> ... -> r, printed from the right without recursing down it.
Doc ppArrows(const Type& t) {
    std::vector<Type> arguments;
    Type result = t;
    while (isArrow(result)) {
        arguments.push_back(result.args()[0]);
        result = result.args()[1];
    }
    Doc doc = ppType(result);
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it)
        doc = hvSpList(std::vector<Doc>{ppTypeArg(*it), fixedText<"->">(), doc});
    return doc;
}

Doc ppConstructorType(const Type& t) {
    const std::string& name = t.name();
    const TypeArgs args = t.args();
    if (name == listName && args.size() == 1) return bracketsDoc(ppType(args[0]));
    if (isTupleName(name)) {
        std::vector<Doc> components;
        for (const Type& a : args) components.push_back(ppType(a));
        return parensDoc(ppSeparated(',', components));
    }
    std::vector<Doc> parts{textDoc(name)};
    for (const Type& a : args) parts.push_back(ppTypeArg(a));
    return ppSeparated(' ', parts);
}

}  // namespace

Doc ppSeparated(char separator, const std::vector<Doc>& docs) {
    if (docs.empty()) return emptyDoc();
    Doc acc = docs.back();
    for (std::size_t i = docs.size() - 1; i-- > 0;) acc = besideDoc(docs[i], besideDoc(ppChar(separator), acc));
    return acc;
}

Doc ppType(const Type& t) {
    const Type* body = &t;
    while (body->isTAbs()) body = &body->body();
    switch (body->kind()) {
    case TypeKind::Tid: return textDoc(body->name());
    case TypeKind::TCon: return isArrow(*body) ? ppArrows(*body) : ppConstructorType(*body);
    case TypeKind::TAbs: break;
    }
    return emptyDoc();
}

Doc ppTypeArg(const Type& t) {
    switch (t.kind()) {
    case TypeKind::Tid: return textDoc(t.name());
    case TypeKind::TAbs: return parensDoc(ppType(t));
    case TypeKind::TCon: break;
    }
    if (t.name() == arrowName) return parensDoc(ppType(t));
    if (t.name() == listName || t.args().empty()) return ppType(t);
    return parensDoc(ppType(t));
}

std::string showType(const Type& t) { return renderAtPrinterBounds(ppType(t)); }

}  // namespace plim
