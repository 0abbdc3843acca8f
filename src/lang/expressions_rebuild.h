// The bottom-up rebuilding walk shared by the expression operations (internal).
#pragma once

#include <iterator>
#include <optional>
#include <span>
#include <vector>

#include "lang/syntax.h"
#include "support/tree_walk.h"

namespace plim::expr_detail {

// Rebuilds an expression bottom-up on the iterative visitor (support/tree_walk.h), so long
// spines cost no call depth.  An item is what the walk visits (an expression, possibly with a
// note on how to treat it).  children(i) gives the items to rebuild first, in order, and is
// called in pre-order; combine(i, rebuilt) makes the new node from i and their results.
template <class Item, class Children, class Combine>
Expr rebuildItems(const Item& root, const Children& children, const Combine& combine) {
    struct Visitor {
        const Children& children;
        const Combine& combine;
        std::vector<Expr> rebuilt;
        std::optional<Expr> enter(const Item& item, std::vector<Item>& out) {
            std::vector<Item> mine = children(item);
            out.insert(out.end(), std::make_move_iterator(mine.begin()), std::make_move_iterator(mine.end()));
            return std::nullopt;
        }
        Expr leave(const Item& item, std::span<Expr> done) {
            rebuilt.assign(std::make_move_iterator(done.begin()), std::make_move_iterator(done.end()));
            return combine(item, rebuilt);
        }
    } visitor{children, combine, {}};
    return rebuildTree<Item, Expr>(root, visitor);
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
