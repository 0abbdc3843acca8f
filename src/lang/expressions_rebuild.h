// The bottom-up rebuilding walk shared by the expression operations (internal).
#pragma once

#include <vector>

#include "lang/syntax.h"

namespace plim::expr_detail {

// Rebuilds an expression bottom-up with an explicit stack, so long spines cost no call depth.
// An item is what the walk visits (an expression, possibly with a note on how to treat it).
// children(i) gives the items to rebuild first, in order, and is called in pre-order;
// combine(i, rebuilt) makes the new node from i and their results.
template <class Item, class Children, class Combine>
Expr rebuildItems(const Item& root, const Children& children, const Combine& combine) {
    struct Frame {
        Item node;
        std::vector<Item> pending;
        std::vector<Expr> done;
    };
    std::vector<Frame> stack;
    stack.push_back(Frame{root, children(root), {}});
    for (;;) {
        Frame& top = stack.back();
        if (top.done.size() < top.pending.size()) {
            Item next = top.pending[top.done.size()];
            std::vector<Item> grandChildren = children(next);
            stack.push_back(Frame{std::move(next), std::move(grandChildren), {}});
            continue;
        }
        Expr built = combine(top.node, top.done);
        stack.pop_back();
        if (stack.empty()) return built;
        stack.back().done.push_back(std::move(built));
    }
}

template <class Children, class Combine>
Expr rebuild(const Expr& root, const Children& children, const Combine& combine) {
    return rebuildItems<Expr>(root, children, combine);
}

// True when every rebuilt child is the child it came from.
inline bool unchanged(const std::vector<Expr>& before, const std::vector<Expr>& after) {
    for (std::size_t i = 0; i < before.size(); ++i)
        if (!before[i].sameNode(after[i])) return false;
    return true;
}

// The subexpressions that a structural rebuild visits: body of a lambda (the pattern stays),
// function and argument of an application.
inline std::vector<Expr> lamApChildren(const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Lam: return {e.body()};
    case ExprKind::Ap: return {e.fun(), e.arg()};
    default: return {};
    }
}

}  // namespace plim::expr_detail
