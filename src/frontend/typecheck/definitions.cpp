// Checking definitions: the syntactic attributes and rules of declarations and definition
// lists, the type pass over a definition list, and the definition-rule tables.
#include "frontend/typecheck/expressions.h"
#include "support/errors.h"

namespace plim {

using namespace infer;

// --- definition-rule tables ------------------------------------------------------------------------

DefnRules makedefnrewrite(const std::string& prefix, const std::vector<std::string>& names, const Decl& decl) {
    CeqList rule = [&]() -> CeqList {
        if (!decl.isFun()) return delay([]() -> std::vector<Ceq> { patternFail(CodedFailure::DefinitionRewriteNonFunction); });
        std::string label = prefix;
        for (std::size_t i = 0; i < names.size(); ++i) label += (i ? "," : "") + names[i];
        return CeqList(std::vector<Ceq>{mkCeq(label, mkNoEq(), mkEqn(decl.fun().lhs, decl.fun().rhs), 0)});
    }();
    std::vector<std::pair<std::string, CeqList>> pairs;
    pairs.reserve(names.size());
    for (const auto& n : names) pairs.emplace_back(n, rule);
    return listToCombFM(NameOrd{}, [](const CeqList& later, const CeqList&) { return later; }, pairs);
}

DefnRules unionRulesRestFirst(const DefnRules& first, const DefnRules& second) {
    auto restFirst = [](const CeqList& a, const CeqList& b) -> CeqList {
        return delay([a, b] {
            std::vector<Ceq> out = b.get();
            out.insert(out.end(), a.get().begin(), a.get().end());
            return out;
        });
    };
    return plusCombFM(NameOrd{}, restFirst, first, second);
}

DefnRules rulesOfDefinitions(const std::vector<std::pair<std::vector<std::string>, Decl>>& pairs) {
    DefnRules out;
    for (auto it = pairs.rbegin(); it != pairs.rend(); ++it)
        out = unionRulesRestFirst(makedefnrewrite("definition of ", it->first, it->second), out);
    return out;
}

Theory addDefinitionRules(const DefnRules& table, const Theo& theo) {
    std::vector<Ceq> all;
    for (const auto& [name, rules] : fmToList(NameOrd{}, table))
        all.insert(all.end(), rules.get().begin(), rules.get().end());
    Theo out = theo;
    for (auto it = all.rbegin(); it != all.rend(); ++it) out = mkCeqTheo(*it, out);
    return mkTheory(out);
}

// --- syntactic attributes ------------------------------------------------------------------------------

DeclSyntax declSyntax(const Decl& d) {
    return DeclSyntax{declDefines(d), declFreeVars(d), declConstrsUsed(d), plainDecl(d)};
}

DefnRules declRules(const Decl& d, const std::string& ruleLabel) {
    if (!d.isFun()) return DefnRules();
    return makedefnrewrite(ruleLabel, declDefines(d), plainDecl(d));
}

DListSyntax dlistSyntax(const DList& d) {
    DListSyntax out;
    NameUnion defines;
    NameUnion freeVars;
    std::vector<DefItem> plain;
    for (const DefItem& item : d.defs) {
        defines.add(declDefines(item.decl));
        freeVars.add(declFreeVars(item.decl));
        std::vector<std::string> used = declConstrsUsed(item.decl);
        out.constrsUsed.insert(out.constrsUsed.end(), used.begin(), used.end());
        plain.push_back(DefItem{plainDecl(item.decl), item.line});
    }
    out.defines = defines.take();
    out.freeVars = freeVars.take();
    out.plain = mkDList(Defs::fromVector(std::move(plain)));
    return out;
}

DefnRules dlistRules(const DList& d, const std::string& ruleLabel) {
    const std::vector<DefItem> items = d.defs.toVector();
    DefnRules out;
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        out = unionRulesRestFirst(declRules(it->decl, ruleLabel), out);
    return out;
}

// --- the type pass over a definition list ------------------------------------------------------------------

DListCheck checkDList(const DList& d, const DListContext& ctx) {
    Pass p(ctx.state, ctx.constructors);
    p.line = ctx.line;
    DListOut out = checkDListIn(p, d, ctx.env);
    p.rec->raw.shrink_to_fit();  // kept until the typed tree is read
    DListSyntax syn = dlistSyntax(d);
    DListCheck result;
    result.messages = p.messages();
    result.bindings = std::move(out.bindings);
    result.defines = std::move(out.defines);
    result.freeVars = std::move(syn.freeVars);
    result.constrsUsed = std::move(syn.constrsUsed);
    result.plain = std::move(syn.plain);
    result.typed = delay([rec = p.rec, d] {
        std::size_t slot = 0;
        return typedDList(d, slot, *rec);
    });
    return result;
}

}  // namespace plim
