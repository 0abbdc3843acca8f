// The bottom-up rebuilding walk shared by the expression operations (internal).
#pragma once

#include <vector>

#include "model/syntax.h"

namespace plim::expr_detail {

// Rebuilds an expression bottom-up with an explicit stack, so long spines cost no call depth.
// children(e) gives the subexpressions to rebuild first, in order; combine(e, rebuilt) makes
// the new node from e and their results.
template <class Children, class Combine>
Expr rebuild(const Expr& root, const Children& children, const Combine& combine) {
    struct Frame {
        Expr node;
        std::vector<Expr> pending;
        std::vector<Expr> done;
    };
    std::vector<Frame> stack;
    stack.push_back(Frame{root, children(root), {}});
    for (;;) {
        Frame& top = stack.back();
        if (top.done.size() < top.pending.size()) {
            Expr next = top.pending[top.done.size()];
            std::vector<Expr> grandChildren = children(next);
            stack.push_back(Frame{std::move(next), std::move(grandChildren), {}});
            continue;
        }
        Expr built = combine(top.node, top.done);
        stack.pop_back();
        if (stack.empty()) return built;
        stack.back().done.push_back(std::move(built));
    }
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
