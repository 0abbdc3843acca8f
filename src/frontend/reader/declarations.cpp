#include "frontend/reader/declarations.h"

// Before any header that brings in the derived combinators.
#include "parsing/parser.h"
#include "parsing/combinators.h"

#include <string>
#include <utility>

#include "frontend/reader/expressions.h"
#include "frontend/reader/builders.h"

namespace plim {

const Parser<DefinitionRhs>& pDefinitionRhs() {
    static const Parser<DefinitionRhs> p = Parser<DefinitionRhs>::lazy("pDefinitionRhs", [] {
        return alternatives(pKeepRight(pEqualsOperator(), pMap(rhsExpression, pExpr())),
                            pKeepRight(pSignatureOperator(), pMap(rhsType, pType())));
    });
    return p;
}

const Parser<std::function<Decl(Alts)>>& pDataDecl() {
    using Complete = std::function<Decl(Alts)>;
    static const Parser<Complete> p = Parser<Complete>::lazy("pDataDecl", [] {
        return pKeepRight(pDataKeyword(), pMap(
                                              [](Type head) -> Complete {
                                                  return [head](Alts alts) { return mkDataDefinition(head, std::move(alts)); };
                                              },
                                              pTypeApplication()));
    });
    return p;
}

const Parser<Alts>& pConstructors() {
    static const Parser<Alts> p = Parser<Alts>::lazy("pConstructors", [] {
        return nonterminal(constructorsDescription, mkNoAlt(),
                           pMap([](std::vector<Alt> alts) { return toAlts(alts); }, pConstructorList()));
    });
    return p;
}

const Parser<Decl>& pDefinition() {
    static const Parser<Decl> p = Parser<Decl>::lazy("pDefinition", [] {
        auto function = parseSeqWith(mkDefinition, pExpr(), pDefinitionRhs());
        auto data = pSeq([](const std::function<Decl(Alts)>& complete, std::string, Alts alts) { return complete(std::move(alts)); },
                         pDataDecl(), pEqualsOperator(), pConstructors());
        return nonterminal("definition", mkFun(errorExpr(), errorExpr()), alternatives(std::move(function), std::move(data)));
    });
    return p;
}

Parser<Defs> pDefinitionList(const DefinitionBlock& block) {
    auto items = alternatives(block(pDefinition()), pMap(definitionItem, pDefinition()));
    return nonterminal(definitionListDescription, mkNoDef(),
                       pMap([](std::vector<DefinitionItem> ds) { return toDefs(ds); }, std::move(items)));
}

const Parser<DList>& pLocalDefinitions() {
    static const Parser<DList> p = Parser<DList>::lazy("pLocalDefinitions", [] {
        return pMap(mkDList, pDefinitionList([](Parser<Decl> item) { return pBraceBlock(std::move(item)); }));
    });
    return p;
}

const Parser<DList>& pDefinitionList() {
    static const Parser<DList> p = Parser<DList>::lazy("pDefinitionList", [] {
        auto separated = [](Parser<Decl> item) {
            return pSeparated1(pSemicolonSymbol(), pMap(pairWithNoLine<Decl>, std::move(item)));
        };
        return pMap(mkDList, pDefinitionList(separated));
    });
    return p;
}

}  // namespace plim
