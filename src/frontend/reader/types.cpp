#include "frontend/reader/types.h"

// Before any header that brings in the derived combinators.
#include "parsing/parser.h"
#include "parsing/combinators.h"

#include "frontend/reader/builders.h"

namespace plim {

// --- token parsers -----------------------------------------------------------------------------

const Parser<std::string>& pTypeArrowKeyword() {
    static const Parser<std::string> p = pKeyword("->");
    return p;
}

const Parser<std::string>& pSignatureOperator() {
    static const Parser<std::string> p = pOperator("::");
    return p;
}

const Parser<std::string>& pEqualsOperator() {
    static const Parser<std::string> p = pOperator("=");
    return p;
}

const Parser<std::string>& pBarOperator() {
    static const Parser<std::string> p = pOperator("|");
    return p;
}

const Parser<std::string>& pDataKeyword() {
    static const Parser<std::string> p = pKeyword("data");
    return p;
}

// --- types ----------------------------------------------------------------------------------------

const Parser<Type>& pTypeAtom() {
    static const Parser<Type> p = Parser<Type>::lazy("pTypeAtom", [] {
        return alternatives(pMap([](std::string n) { return mkTid(std::move(n)); }, pLowerId()),
                            pMap(tupleTypeAction, pInParens(pSeparated1(pCommaSymbol(), pTypeArrows()))),
                            pMap(listType, pInBrackets(pTypeArrows())),
                            pMap(typeNameAction, pUpperId()));
    });
    return p;
}

const Parser<Type>& pTypeApplication() {
    static const Parser<Type> p = Parser<Type>::lazy("pTypeApplication", [] {
        auto named = parseSeqWith([](std::string n, std::vector<Type> args) { return mkTCon(std::move(n), std::move(args)); },
                          pUpperId(), pZeroOrMore(pTypeApplication()));
        return alternatives(pNested(std::move(named)), pTypeAtom());
    });
    return p;
}

const Parser<Type>& pTypeArrows() {
    static const Parser<Type> p = Parser<Type>::lazy("pTypeArrows", [] {
        return pNested(pMap([](std::vector<Type> ts) { return arrowTypes(ts); },
                            pSeparated1(pTypeArrowKeyword(), pTypeApplication())));
    });
    return p;
}

const Parser<Type>& pType() {
    static const Parser<Type> p = Parser<Type>::lazy("pType", [] {
        return nonterminal(typeDescription, placeholderType(),
                           pMap([](Type t) { return generalise(t); }, pTypeArrows()));
    });
    return p;
}

// --- constructor declarations ------------------------------------------------------------------

const Parser<Alt>& pConstructorDecl() {
    static const Parser<Alt> p = Parser<Alt>::lazy("pConstructorDecl", [] {
        return parseSeqWith([](std::string n, std::vector<Type> args) { return mkAlt(std::move(n), std::move(args)); },
                    pUpperId(), pZeroOrMore(pTypeAtom()));
    });
    return p;
}

const Parser<std::vector<Alt>>& pConstructorList() {
    static const Parser<std::vector<Alt>> p = Parser<std::vector<Alt>>::lazy(
        "pConstructorList", [] { return pSeparated1(pBarOperator(), pConstructorDecl()); });
    return p;
}

// --- builders --------------------------------------------------------------------------------------

Type listType(Type t) { return mkListType(std::move(t)); }

DefinitionRhs rhsExpression(Expr e) { return DefinitionRhs{std::move(e)}; }

DefinitionRhs rhsType(Type t) { return DefinitionRhs{std::move(t)}; }

Decl mkDefinition(Expr lhs, DefinitionRhs rhs) {
    if (const Expr* e = std::get_if<Expr>(&rhs.part)) return mkFun(std::move(lhs), *e);
    return mkDec(std::move(lhs), std::get<Type>(rhs.part));
}

Decl mkDataDefinition(Type head, Alts alts) { return mkData(std::move(head), std::move(alts)); }

std::vector<DefinitionItem> definitionItem(Decl d) { return {pairWithNoLine(std::move(d))}; }

Alts toAlts(const std::vector<Alt>& alts) {
    Alts out = mkNoAlt();
    for (auto it = alts.rbegin(); it != alts.rend(); ++it) out = mkOneAlt(*it, std::move(out));
    return out;
}

}  // namespace plim
