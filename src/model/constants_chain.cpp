// Operator-chain resolution: ordering operators by precedence, folding them into a chain and
// regrouping runs of right-grouping operators.
#include "model/constants.h"

namespace plim {

OpChain OpChain::cell(OpChain left, Op op, OpChain right) {
    OpChain c;
    c.cell_ = std::make_shared<const Cell>(Cell{std::move(left), op, std::move(right)});
    return c;
}

const OpChain& OpChain::left() const {
    if (!cell_) failWith("internal error: left side of an operand position");
    return cell_->left;
}

Op OpChain::op() const {
    if (!cell_) failWith("internal error: operator of an operand position");
    return cell_->op;
}

const OpChain& OpChain::right() const {
    if (!cell_) failWith("internal error: right side of an operand position");
    return cell_->right;
}

bool eqOpChain(const OpChain& a, const OpChain& b) {
    if (a.isEnd() || b.isEnd()) return a.isEnd() && b.isEnd();
    return a.op() == b.op() && eqOpChain(a.left(), b.left()) && eqOpChain(a.right(), b.right());
}

namespace {

// A pending list kept in reverse, so that its front is the back of the vector.
using ReversedPending = std::vector<std::pair<Op, OpChain>>;

void insertReversed(Op x, OpChain t, ReversedPending& stack) {
    const int level = opPrecedenceInteger(x);
    while (!stack.empty() && opPrecedenceInteger(stack.back().first) > level) {
        auto [o, u] = std::move(stack.back());
        stack.pop_back();
        t = chainCell(std::move(t), o, std::move(u));
    }
    stack.emplace_back(x, std::move(t));
}

PendingList frontFirst(ReversedPending stack) { return PendingList(stack.rbegin(), stack.rend()); }

bool groupsLeft(Op op) {
    switch (op) {
    case Op::Idx:
    case Op::Exp:
    case Op::Tim:
    case Op::Plus:
    case Op::Min:
    case Op::FExp:
    case Op::FTim:
    case Op::FPlus:
    case Op::FMin: return true;
    default: return false;
    }
}

bool groupsRight(Op op) {
    switch (op) {
    case Op::Comp:
    case Op::FDiv:
    case Op::Cat:
    case Op::Cons:
    case Op::And:
    case Op::Or: return true;
    default: return false;
    }
}

OpChain resolveSides(const OpChain& c) {
    return chainCell(opChainResolve(c.left()), c.op(), opChainResolve(c.right()));
}

}  // namespace

PendingList orderByPrecedence(const std::vector<Op>& ops) {
    ReversedPending stack;
    for (auto it = ops.rbegin(); it != ops.rend(); ++it) insertReversed(*it, chainEnd(), stack);
    return frontFirst(std::move(stack));
}

PendingList insertByPrecedence(Op x, OpChain t, const PendingList& list) {
    ReversedPending stack(list.rbegin(), list.rend());
    insertReversed(x, std::move(t), stack);
    return frontFirst(std::move(stack));
}

OpChain foldOpChain(OpChain start, const PendingList& list) {
    for (const auto& [o, t] : list) start = chainCell(std::move(start), o, t);
    return start;
}

OpChain opChainResolve(const OpChain& chain) {
    if (chain.isEnd()) return chain;
    if (groupsLeft(chain.op())) return assl(chain);
    if (groupsRight(chain.op())) return assr(chain);
    return resolveSides(chain);
}

OpChain assr(const OpChain& chain) {
    if (chain.isEnd()) patternFail("Constants:140|function assr");
    OpChain c = chain;
    // ((ll o lr) o r) becomes (ll o (lr o r)) while the left side holds the same operator.
    while (!c.left().isEnd() && c.left().op() == c.op()) {
        const OpChain& l = c.left();
        c = chainCell(l.left(), c.op(), chainCell(l.right(), c.op(), c.right()));
    }
    return resolveSides(c);
}

OpChain assl(const OpChain& chain) {
    if (chain.isEnd()) patternFail("Constants:136|function assl");
    OpChain c = chain;
    // (l o (rl o rr)) becomes ((l o rl) o rr) while the right side holds the same operator.
    while (!c.right().isEnd() && c.right().op() == c.op()) {
        const OpChain& r = c.right();
        c = chainCell(chainCell(c.left(), c.op(), r.left()), c.op(), r.right());
    }
    return resolveSides(c);
}

}  // namespace plim
