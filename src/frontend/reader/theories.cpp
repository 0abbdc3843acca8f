#include "frontend/reader/theories.h"

// Before any header that brings in the derived combinators.
#include "parsing/parser.h"
#include "parsing/combinators.h"

#include <utility>

#include "frontend/reader/expressions.h"
#include "frontend/reader/types.h"
#include "frontend/reader/builders.h"
#include "lang/expressions.h"

namespace plim {

namespace {

Eqn defaultEquation() { return mkEqn(errorExpr(), errorExpr()); }

Eqs eqsFromVector(const std::vector<Eqn>& eqns) {
    Eqs out = mkNoEq();
    for (auto it = eqns.rbegin(); it != eqns.rend(); ++it) out = mkOneEq(*it, std::move(out));
    return out;
}

// The names of a DEFINITION header: a lower-case identifier, an operator name, or an operator
// name in parentheses.
const Parser<std::string>& pDefinitionName() {
    static const Parser<std::string> p = Parser<std::string>::lazy("pDefinitionName", [] {
        return alternatives(pLowerId(), pDefinitionOperatorName(), pInParens(pDefinitionOperatorName()));
    });
    return p;
}

const Parser<std::vector<std::string>>& pDefinitionHeader() {
    static const Parser<std::vector<std::string>> p = Parser<std::vector<std::string>>::lazy(
        "pDefinitionHeader",
        [] { return pKeepRight(pKeyword("DEFINITION"), pSeparated1(pCommaSymbol(), pDefinitionName())); });
    return p;
}

const Parser<Eqs>& pConditions() {
    static const Parser<Eqs> p = Parser<Eqs>::lazy("pConditions", [] {
        auto conditions = pSeq([](std::string, std::string, Eqs eqs) { return eqs; }, pCommaSymbol(), pKeyword("if"),
                               pEquationList());
        return alternatives(std::move(conditions), succeedParser(mkNoEq()));
    });
    return p;
}

// A side whose local definitions unlet cannot turn into abstractions is kept as read: unlet
// raises its failure again where the side is first used as a rule (rule preparation applies
// unlet to every side), and a theory that never uses it loads and works.
Expr unletSide(const Expr& e) { return unletApplies(e) ? unlet(e) : e; }

Eqn unletEqn(const Eqn& e) { return mkEqn(unletSide(e.lhs), unletSide(e.rhs)); }

}  // namespace

const Parser<Eqn>& pEquation() {
    static const Parser<Eqn> p = Parser<Eqn>::lazy("pEquation", [] {
        auto equation = pSeq([](Expr l, std::string, Expr r) { return mkEqn(std::move(l), std::move(r)); }, pExpr(),
                             pOperator("="), pExpr());
        return nonterminal("equation", defaultEquation(), std::move(equation));
    });
    return p;
}

const Parser<Eqs>& pEquationList() {
    static const Parser<Eqs> p = Parser<Eqs>::lazy("pEquationList", [] {
        return nonterminal("equation list", mkNoEq(),
                           pMap([](std::vector<Eqn> es) { return eqsFromVector(es); },
                                pInBraces(pSeparated1(pSemicolonSymbol(), pEquation()))));
    });
    return p;
}

const Parser<Ceq>& pCondEquation() {
    static const Parser<Ceq> p = Parser<Ceq>::lazy("pCondEquation", [] {
        auto ceq = pSeq([](std::string label, std::int32_t line, Eqn eqn, Eqs conds) {
            return mkCeq(std::move(label), std::move(conds), std::move(eqn), line);
        }, pLowerId(), pOperatorLine(":"), pEquation(), pConditions());
        return nonterminal("conditional equation", mkCeq("error", mkNoEq(), defaultEquation(), 0), std::move(ceq));
    });
    return p;
}

Theory theoryFromItems(const std::vector<TheoryItem>& items) {
    Theo out = mkNoTheo();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (const Ceq* ceq = std::get_if<Ceq>(&*it)) {
            out = mkCeqTheo(*ceq, std::move(out));
        } else {
            const auto& names = std::get<std::vector<std::string>>(*it);
            for (auto n = names.rbegin(); n != names.rend(); ++n) out = mkDefnTheo(*n, std::move(out));
        }
    }
    return mkTheory(std::move(out));
}

const Parser<Theory>& pTheory() {
    static const Parser<Theory> p = Parser<Theory>::lazy("pTheory", [] {
        auto item = alternatives(pMap([](Ceq c) { return TheoryItem(std::move(c)); }, pCondEquation()),
                                 pMap([](std::vector<std::string> ns) { return TheoryItem(std::move(ns)); },
                                      pDefinitionHeader()));
        return nonterminal("theory", mkTheory(mkNoTheo()),
                           pMap([](std::vector<TheoryItem> items) { return theoryFromItems(items); },
                                pSeparated1(pSemicolonSymbol(), std::move(item))));
    });
    return p;
}

Theory unletTheory(const Theory& theory) {
    std::vector<TheoItem> items;
    for (const TheoItem& item : theory.elems) {
        if (item.kind() == TheoKind::DefnTheo) {
            items.push_back(item);
            continue;
        }
        const Ceq& c = item.ceq();
        std::vector<Eqn> conds;
        for (const Eqn& e : c.conds) conds.push_back(unletEqn(e));
        items.emplace_back(mkCeq(c.label, eqsFromVector(conds), unletEqn(c.eqn), c.line));
    }
    return mkTheory(Theo::fromVector(std::move(items)));
}

}  // namespace plim
