#include "frontend/reader/expressions.h"

// Before any header that brings in the derived combinators.
#include "parsing/parser.h"
#include "parsing/combinators.h"

#include <utility>
#include <vector>

#include "frontend/reader/declarations.h"
#include "frontend/reader/types.h"
#include "frontend/reader/builders.h"
#include "lang/operator_parsers.h"

namespace plim {

// --- builders of the expression forms ------------------------------------------------------------

Expr bracketedExpr(const std::vector<Expr>& elements) {
    if (elements.size() == 1) return elements.front();
    return foldApplication(mkConExpr(mkTuple(static_cast<std::int32_t>(elements.size()))), elements);
}

Expr listEnumExpr(const std::vector<Expr>& elements) {
    Expr out = mkConExpr(mkNul());
    for (auto it = elements.rbegin(); it != elements.rend(); ++it)
        out = foldApplication(mkConExpr(mkBinop(Op::Cons)), {*it, std::move(out)});
    return out;
}

Expr abstractionExpr(const std::vector<Expr>& patterns, Expr body) {
    for (auto it = patterns.rbegin(); it != patterns.rend(); ++it) body = mkLam(*it, std::move(body), placeholderType());
    return body;
}

Expr conditionalExpr(Expr condition, Expr thenBranch, Expr elseBranch) {
    return foldApplication(mkConExpr(mkIf()), {std::move(condition), std::move(thenBranch), std::move(elseBranch)});
}

Expr whereExpr(Expr e, DList defs) {
    if (defs.defs.isEnd()) return e;
    return mkLet(std::move(defs), std::move(e), placeholderType());
}

// --- operator expressions ----------------------------------------------------------------------

Expr buildOperatorExpr(const OperandSeq& seq) {
    const std::vector<Op> ops = seq.operators.toVector();
    OpChain chain = opChainResolve(foldOpChain(chainEnd(), orderByPrecedence(ops)));
    return opTreeToExpr(fillOperands(chain, seq.operands.toVector()).first);
}

namespace {

OperandSeq operandSeqOf(ChainItems<Op, Expr> chain) {
    OperandSeq seq;
    for (auto it = chain.items.rbegin(); it != chain.items.rend(); ++it) seq.operands = Chain<Expr>::cons(std::move(*it), std::move(seq.operands));
    for (auto it = chain.ops.rbegin(); it != chain.ops.rend(); ++it) seq.operators = Chain<Op>::cons(*it, std::move(seq.operators));
    return seq;
}

// The operator expression of a chain, built in one step (one frame fewer per nesting level).
// A lone operand is its own expression, and one operator between two operands needs no
// regrouping.
Expr operatorExprOf(ChainItems<Op, Expr> chain) {
    if (chain.ops.empty() && chain.items.size() == 1) return std::move(chain.items.front());
    if (chain.ops.size() == 1 && chain.items.size() == 2)
        return operatorApplication(chain.ops.front(), std::move(chain.items[0]), std::move(chain.items[1]));
    return buildOperatorExpr(operandSeqOf(std::move(chain)));
}

// operand (operator? operand)*: an operator between two operands, or none (application).
// Read in a loop, so runs of any length cost no stack per operand.
const Parser<ChainItems<Op, Expr>>& pOperandChain() {
    static const Parser<ChainItems<Op, Expr>> p = Parser<ChainItems<Op, Expr>>::lazy("pOperandChain", [] {
        return pChainItems(alternatives(operatorParser(), succeedParser(Op::App)), pAtomic());
    });
    return p;
}

}  // namespace

const Parser<OperandSeq>& pOperandSeq() {
    static const Parser<OperandSeq> p = Parser<OperandSeq>::lazy("pOperandSeq", [] { return pMap(operandSeqOf, pOperandChain()); });
    return p;
}

// --- nonterminals --------------------------------------------------------------------------------

const Parser<Expr>& pBracketed() {
    static const Parser<Expr> p = Parser<Expr>::lazy("pBracketed", [] {
        auto operatorConstant = pMap([](Op op) { return std::vector<Expr>{mkConExpr(mkBinop(op))}; }, operatorParser());
        auto contents = alternatives(pSeparated1(pCommaSymbol(), pExpr()), std::move(operatorConstant));
        return nonterminal("bracketed expression or tuple", errorExpr(),
                           pMap([](std::vector<Expr> es) { return bracketedExpr(es); }, pInParens(std::move(contents))));
    });
    return p;
}

const Parser<Expr>& pListEnum() {
    static const Parser<Expr> p = Parser<Expr>::lazy("pListEnum", [] {
        return nonterminal("list enumeration", mkConExpr(mkNul()),
                           pMap([](std::vector<Expr> es) { return listEnumExpr(es); }, pBracketList(pExpr())));
    });
    return p;
}

const Parser<Expr>& pAtom() {
    static const Parser<Expr> p = Parser<Expr>::lazy("pAtom", [] {
        return nonterminal("variable, constant, tuple or list enumeration", errorExpr(),
                           alternatives(pMap(mkVarExpr, pLowerId()), pMap(mkConExpr, pConstant()), pBracketed(),
                                        pListEnum()));
    });
    return p;
}

const Parser<Expr>& pAbstraction() {
    static const Parser<Expr> p = Parser<Expr>::lazy("pAbstraction", [] {
        auto lambda = pSeq([](std::string, std::vector<Expr> patterns, std::string, Expr body) {
            return abstractionExpr(patterns, std::move(body));
        }, pSymbol('\\'), pOneOrMore(pAtom()), pTypeArrowKeyword(), pExpr());
        return nonterminal("abstraction", mkLam(errorExpr(), errorExpr(), placeholderType()), std::move(lambda));
    });
    return p;
}

const Parser<Expr>& pAtomic() {
    static const Parser<Expr> p = Parser<Expr>::lazy("pAtomic", [] {
        return nonterminal("(atomic) expression", errorExpr(), alternatives(pAtom(), pAbstraction()));
    });
    return p;
}

const Parser<Expr>& pIfThenElse() {
    static const Parser<Expr> p = Parser<Expr>::lazy("pIfThenElse", [] {
        auto conditional = pSeq([](std::string, Expr c, std::string, Expr t, std::string, Expr e) {
            return conditionalExpr(std::move(c), std::move(t), std::move(e));
        }, pKeyword("if"), pExpr(), pKeyword("then"), pExpr(), pKeyword("else"), pExpr());
        return nonterminal("if-then-else", conditionalExpr(errorExpr(), errorExpr(), errorExpr()), std::move(conditional));
    });
    return p;
}

const Parser<Expr>& pLocalDef() {
    static const Parser<Expr> p = Parser<Expr>::lazy("pLocalDef", [] {
        auto let = pSeq([](std::string, DList defs, std::string, Expr body) {
            return mkLet(std::move(defs), std::move(body), placeholderType());
        }, pKeyword("let"), pLocalDefinitions(), pKeyword("in"), pExpr());
        return nonterminal("local definition", mkLet(mkDList(mkNoDef()), errorExpr(), placeholderType()), std::move(let));
    });
    return p;
}

const Parser<Expr>& pApplication() {
    static const Parser<Expr> p = Parser<Expr>::lazy("pApplication", [] {
        return nonterminal("application, conditional or local definition", errorExpr(),
                           alternatives(pMap(operatorExprOf, pOperandChain()), pIfThenElse(), pLocalDef()));
    });
    return p;
}

const Parser<Expr>& pExpr() {
    static const Parser<Expr> p = Parser<Expr>::lazy("pExpr", [] {
        auto whereClause = alternatives(pKeepRight(pKeyword("where"), pLocalDefinitions()),
                                        succeedParser(mkDList(mkNoDef())));
        return pNested(
            nonterminal(expressionDescription, errorExpr(), parseSeqWith(whereExpr, pApplication(), std::move(whereClause))));
    });
    return p;
}

}  // namespace plim
