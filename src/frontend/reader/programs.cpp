#include "frontend/reader/programs.h"

// Before any header that brings in the derived combinators.
#include "parsing/parser.h"
#include "parsing/combinators.h"

#include <string>

#include "frontend/reader/declarations.h"
#include "frontend/reader/theories.h"

namespace plim {

namespace {

std::int32_t nextLine(std::int32_t line) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(line) + 1u);
}

// ":" and the names after it, or nothing.
const Parser<std::vector<std::string>>& pPrerequisites() {
    static const Parser<std::vector<std::string>> p = Parser<std::vector<std::string>>::lazy("pPrerequisites", [] {
        return alternatives(pKeepRight(pOperator(":"), pSeparated1(pCommaSymbol(), pLowerId())),
                            succeedParser(std::vector<std::string>{}));
    });
    return p;
}

Rewrite unletRewrite(const Rewrite& r) {
    return mkRewrite(r.name, r.names, r.redefs, r.specs, unletTheory(r.theory));
}

}  // namespace

Elems elemsFromPairs(const std::vector<ElemPair>& pairs) {
    Elems out = mkNoElem();
    for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) out = mkOneElem(it->first, std::move(out), nextLine(it->second));
    return out;
}

const Parser<Rewrite>& pTransformBlock() {
    static const Parser<Rewrite> p = Parser<Rewrite>::lazy("pTransformBlock", [] {
        return pSeq([](std::string, std::string name, std::vector<std::string> names, std::string, DList redefs,
                       std::string, DList specifying, std::string, Theory theory, std::string) {
            return mkRewrite(std::move(name), std::move(names), std::move(redefs), std::move(specifying), std::move(theory));
        }, pKeyword("TRANSFORM"), pLowerId(), pPrerequisites(), pKeyword("REDEFINE"), pDefinitionList(),
                    pKeyword("SPECIFYING"), pDefinitionList(), pKeyword("USING"), pTheory(), pKeyword("END"));
    });
    return p;
}

const Parser<Elem>& pSourceElement() {
    static const Parser<Elem> p = Parser<Elem>::lazy("pSourceElement", [] {
        return alternatives(pMap(mkDefElem, pDefinition()), pMap(mkTrafoElem, pTransformBlock()));
    });
    return p;
}

const Parser<Elems>& pSourceElements() {
    static const Parser<Elems> p = Parser<Elems>::lazy("pSourceElements", [] {
        auto terminated = parseSeqWith([](Elem e, std::int32_t line) { return ElemPair(std::move(e), line); }, pSourceElement(),
                               pSymbolLine(';'));
        auto single = pMap([](Elem e) { return std::vector<ElemPair>{pairWithNoLine(std::move(e))}; }, pSourceElement());
        return nonterminal("list of source elements", mkNoElem(),
                           pMap([](std::vector<ElemPair> pairs) { return elemsFromPairs(pairs); },
                                alternatives(pZeroOrMore(std::move(terminated)), std::move(single))));
    });
    return p;
}

const Parser<SourceFile>& pProgram() {
    static const Parser<SourceFile> p =
        Parser<SourceFile>::lazy("pProgram", [] { return pMap(mkSourceFile, pSourceElements()); });
    return p;
}

SourceFile unletSourceFile(const SourceFile& file) {
    bool anyTransformation = false;
    for (const ElemItem& item : file.elems) anyTransformation = anyTransformation || item.elem.kind() == ElemKind::TrafoElem;
    if (!anyTransformation) return file;
    std::vector<ElemItem> items;
    for (const ElemItem& item : file.elems) {
        if (item.elem.kind() == ElemKind::TrafoElem)
            items.push_back(ElemItem{mkTrafoElem(unletRewrite(item.elem.rewrite())), item.line});
        else
            items.push_back(item);
    }
    return mkSourceFile(Elems::fromVector(std::move(items)));
}

}  // namespace plim
