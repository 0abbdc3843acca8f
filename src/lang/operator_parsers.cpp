#include "lang/operator_parsers.h"

namespace plim {

namespace {

// The alternatives of operatorParser, in order: each operator with the token it reads.
Parser<Op> oneOperator(Op op) {
    const std::string symbol(opSymbol(op));
    return pReplace(op, op == Op::Mod ? pKeyword(symbol) : pOperator(symbol));
}

const std::vector<Op>& operatorOrder() {
    static const std::vector<Op> order{Op::Idx, Op::Exp, Op::FExp, Op::Comp, Op::Tim, Op::FTim,
                                       Op::Div, Op::FDiv, Op::Mod, Op::Plus, Op::FPlus, Op::Min,
                                       Op::FMin, Op::Cat, Op::Cons, Op::Eq, Op::Neq, Op::Le,
                                       Op::Leq, Op::Ge, Op::Geq, Op::And, Op::Or};
    return order;
}

}  // namespace

const Parser<Op>& operatorParser() {
    static const Parser<Op> p = [] {
        const auto& order = operatorOrder();
        Parser<Op> choice = oneOperator(order.front());
        for (std::size_t i = 1; i < order.size(); ++i) choice = parseAlt(choice, oneOperator(order[i]));
        return choice;
    }();
    return p;
}

const Parser<bool>& pBoolean() {
    static const Parser<bool> p = parseAlt(pReplace(true, pKeyword("True")), pReplace(false, pKeyword("False")));
    return p;
}

const Parser<MaybeFraction>& pFraction() {
    static const Parser<MaybeFraction> p =
        parseAlt(pMap([](std::string digits) { return MaybeFraction(std::move(digits)); },
                      pKeepRight(pOperator("."), pIntegerLit())),
                 succeedParser(MaybeFraction()));
    return p;
}

const Parser<Constant>& pNumber() {
    static const Parser<Constant> p =
        pSeq([](std::string digits, MaybeFraction fraction) { return numberConstant(digits, fraction); },
             pIntegerLit(), pFraction());
    return p;
}

const Parser<Constant>& pConstant() {
    static const Parser<Constant> p =
        parseAlt(parseAlt(pNumber(), pMap([](bool b) { return mkBoolean(b); }, pBoolean())),
                 pMap([](std::string name) { return mkConstr(std::move(name)); }, pUpperId()));
    return p;
}

}  // namespace plim
