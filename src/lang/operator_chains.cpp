// Operator-chain resolution: ordering operators by precedence, folding them into a chain and
// regrouping runs of right-grouping operators.
#include "lang/constants.h"
#include "support/release.h"

namespace plim {

OpChain OpChain::cell(OpChain left, Op op, OpChain right) {
    OpChain c;
    c.cell_ = std::make_shared<Cell>(std::move(left), op, std::move(right));  // mutable for ~Cell
    return c;
}

OpChain::Cell::~Cell() {
    releaseSoleChildren(*this, [](Cell& c, auto take) {
        take(c.left.cell_);
        take(c.right.cell_);
    });
}

const OpChain& OpChain::left() const {
    if (!cell_) failInternal("internal error: left side of an operand position");
    return cell_->left;
}

Op OpChain::op() const {
    if (!cell_) failInternal("internal error: operator of an operand position");
    return cell_->op;
}

const OpChain& OpChain::right() const {
    if (!cell_) failInternal("internal error: right side of an operand position");
    return cell_->right;
}

bool eqOpChain(const OpChain& a, const OpChain& b) {
    std::vector<std::pair<const OpChain*, const OpChain*>> todo{{&a, &b}};
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        if (x->isEnd() || y->isEnd()) {
            if (x->isEnd() != y->isEnd()) return false;
            continue;
        }
        if (x->op() != y->op()) return false;
        todo.emplace_back(&x->right(), &y->right());
        todo.emplace_back(&x->left(), &y->left());
    }
    return true;
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

// The operators that the resolution regroups to the left.  Not every left-grouping operator of
// the operator table: App, Div, Mod and the comparisons keep the chain's nesting as built,
// which is to the left already.
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

// The right-grouping operators of the operator table.
bool groupsRight(Op op) { return opGrouping(op) == OpGrouping::Right; }

// ((ll o lr) o r) becomes (ll o (lr o r)) while the left side holds the same operator.
OpChain rotateRight(OpChain c) {
    while (!c.left().isEnd() && c.left().op() == c.op()) {
        const OpChain& l = c.left();
        c = chainCell(l.left(), c.op(), chainCell(l.right(), c.op(), c.right()));
    }
    return c;
}

// (l o (rl o rr)) becomes ((l o rl) o rr) while the right side holds the same operator.
OpChain rotateLeft(OpChain c) {
    while (!c.right().isEnd() && c.right().op() == c.op()) {
        const OpChain& r = c.right();
        c = chainCell(chainCell(c.left(), c.op(), r.left()), c.op(), r.right());
    }
    return c;
}

// A cell regrouped at its top by its operator's grouping step.
OpChain regroupTop(const OpChain& c) {
    if (groupsLeft(c.op())) return rotateLeft(c);
    if (groupsRight(c.op())) return rotateRight(c);
    return c;
}

// The cell with both sides resolved; `top` is applied to every cell on the way down.
// Walks the chain with an explicit stack, so long chains need no deep recursion.
template <class Top>
OpChain resolveBelow(const OpChain& cell, Top top) {
    struct Frame {
        OpChain cell;
        int stage;
        OpChain left;
    };
    std::vector<Frame> stack{{cell, 0, {}}};
    OpChain done;
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.stage == 0) {
            f.stage = 1;
            if (!f.cell.left().isEnd()) {
                OpChain l = top(f.cell.left());
                stack.push_back({std::move(l), 0, {}});
                continue;
            }
            done = chainEnd();
        }
        if (f.stage == 1) {
            f.left = std::move(done);
            f.stage = 2;
            if (!f.cell.right().isEnd()) {
                OpChain r = top(f.cell.right());
                stack.push_back({std::move(r), 0, {}});
                continue;
            }
            done = chainEnd();
        }
        done = chainCell(std::move(f.left), f.cell.op(), std::move(done));
        stack.pop_back();
    }
    return done;
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
    return resolveBelow(regroupTop(chain), regroupTop);
}

OpChain assr(const OpChain& chain) {
    if (chain.isEnd()) patternFail(CodedFailure::AssociateRightEnd);
    return resolveBelow(rotateRight(chain), regroupTop);
}

OpChain assl(const OpChain& chain) {
    if (chain.isEnd()) patternFail(CodedFailure::AssociateLeftEnd);
    return resolveBelow(rotateLeft(chain), regroupTop);
}

}  // namespace plim
