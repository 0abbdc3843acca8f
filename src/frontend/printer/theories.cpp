#include "frontend/printer/theories.h"

#include "frontend/printer/expressions.h"
#include "frontend/printer/layouts.h"
#include "layout/combinators.h"

namespace plim {

namespace {

// A condition or an equation is printed exactly like a program definition.
Doc ppEquationSides(const std::pair<Expr, Expr>& sides) { return ppDecl(mkFun(sides.first, sides.second)); }

Doc conditionBlock(const std::vector<std::pair<Expr, Expr>>& conditions) {
    if (conditions.empty()) return emptyDoc();
    std::vector<Doc> docs;
    for (const auto& c : conditions) docs.push_back(ppEquationSides(c));
    std::vector<Doc> lines{fixedText<"{">()};
    for (Doc& d : punctuateInit(withSemicolon, std::move(docs))) lines.push_back(std::move(d));
    lines.push_back(fixedText<"}">());
    return besideDoc(fixedText<", if ">(), aboveList(std::move(lines)));
}

std::vector<std::pair<Expr, Expr>> conditionPairs(const Eqs& conds) {
    std::vector<std::pair<Expr, Expr>> out;
    for (const Eqn& e : conds) out.emplace_back(e.lhs, e.rhs);
    return out;
}

Doc stackEntries(std::vector<Doc> docs) { return aboveList(punctuateInit(withSemicolonNewline, std::move(docs))); }

}  // namespace

std::vector<TheoryItem> theoItems(const Theo& theo) {
    std::vector<TheoryItem> items;
    for (const TheoItem& item : theo) {
        if (item.kind() == TheoKind::DefnTheo) {
            items.emplace_back(TheoryDefinitionItem{item.defnName()});
            continue;
        }
        const Ceq& ceq = item.ceq();
        items.emplace_back(RuleTriple{ceq.label, conditionPairs(ceq.conds), {ceq.eqn.lhs, ceq.eqn.rhs}});
    }
    return items;
}

Doc ppEquation(const std::string& label, const std::vector<std::pair<Expr, Expr>>& conditions,
               const std::pair<Expr, Expr>& equation) {
    Doc labelPart = besideDoc(ppString(label), fixedText<": ">());
    return hvEachList(std::vector<Doc>{labelPart, ppEquationSides(equation), conditionBlock(conditions)});
}

Doc ppCondEquation(const RuleTriple& rule) { return ppEquation(rule.label, rule.conditions, rule.equation); }

Doc ppCondEquation(const Ceq& ceq) {
    return ppEquation(ceq.label, conditionPairs(ceq.conds), {ceq.eqn.lhs, ceq.eqn.rhs});
}

Doc ppTheoryItem(const TheoryItem& item) {
    if (const RuleTriple* rule = std::get_if<RuleTriple>(&item)) return ppCondEquation(*rule);
    const std::string& name = std::get<TheoryDefinitionItem>(item).name;
    return hvList(std::vector<Doc>{besideDoc(fixedText<"DEFINITION ">(), ppString(name))});
}

Doc ppTheo(const Theo& theo) {
    std::vector<Doc> docs;
    for (const TheoryItem& item : theoItems(theo)) docs.push_back(ppTheoryItem(item));
    return stackEntries(std::move(docs));
}

std::string showTheory(const std::vector<RuleTriple>& rules) {
    std::vector<Doc> docs;
    for (const RuleTriple& rule : rules) docs.push_back(ppCondEquation(rule));
    return renderAtPrinterBounds(stackEntries(std::move(docs)));
}

std::string showEquation(const std::string& label, const std::vector<std::pair<Expr, Expr>>& conditions,
                         const std::pair<Expr, Expr>& equation) {
    return renderAtPrinterBounds(ppEquation(label, conditions, equation));
}

}  // namespace plim
