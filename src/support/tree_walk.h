// The iterative visitor behind every walk of a tree that the input's depth must not cost native
// stack for (see the README's Depth section).  A walk enters each item in pre-order, children in
// the order given, and leaves it once its children are done; the work stacks live on the heap.
//
//   struct Visitor {
//       // Either the item's result, at hand (its children are not walked), or nothing, with
//       // the items of its children appended to `children`.
//       std::optional<Result> enter(const Item& item, std::vector<Item>& children);
//       // The item's result from its children's, in order.
//       Result leave(const Item& item, std::span<Result> childResults);
//   };
//   Result r = rebuildTree<Item, Result>(root, visitor);
//
// An item is whatever the walk needs to know of a place: a node, or a node with its scope.
// walkTree is the same walk for a visitor that computes nothing bottom-up:
//   bool enter(const Item& item, std::vector<Item>& children);   // false: skip the children
//   void leave(const Item& item);       // after the children (not where they were skipped)
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace plim {

template <class Item, class Result, class Visitor>
Result rebuildTree(const Item& root, Visitor& visitor) {
    std::vector<Item> items;  // the children of every open item, in order
    if (std::optional<Result> out = visitor.enter(root, items)) return std::move(*out);
    // An entered item: the run of its children in `items`, the next one to enter, and where its
    // children's results start in `results`.
    struct Open {
        Item item;
        std::size_t first, end, next, results;
    };
    std::vector<Open> open;
    std::vector<Result> results;
    open.push_back(Open{root, 0, items.size(), 0, 0});
    for (;;) {
        const std::size_t top = open.size() - 1;
        if (open[top].next < open[top].end) {
            const std::size_t mark = items.size();
            Item child = items[open[top].next++];
            if (std::optional<Result> out = visitor.enter(child, items)) {
                items.erase(items.begin() + static_cast<std::ptrdiff_t>(mark), items.end());
                results.push_back(std::move(*out));
            } else {
                const std::size_t base = results.size();
                open.push_back(Open{std::move(child), mark, items.size(), mark, base});
            }
            continue;
        }
        Open done = std::move(open.back());
        open.pop_back();
        Result built = visitor.leave(done.item, std::span<Result>(results.data() + done.results,
                                                                  results.size() - done.results));
        results.erase(results.begin() + static_cast<std::ptrdiff_t>(done.results), results.end());
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(done.first), items.end());
        if (open.empty()) return built;
        results.push_back(std::move(built));
    }
}

namespace tree_walk_detail {

struct Nothing {};

template <class Item, class Visitor>
struct Unit {
    Visitor& visitor;
    std::optional<Nothing> enter(const Item& item, std::vector<Item>& children) {
        if (visitor.enter(item, children)) return std::nullopt;
        return Nothing{};
    }
    Nothing leave(const Item& item, std::span<Nothing>) {
        visitor.leave(item);
        return {};
    }
};

}  // namespace tree_walk_detail

template <class Item, class Visitor>
void walkTree(const Item& root, Visitor& visitor) {
    tree_walk_detail::Unit<Item, Visitor> unit{visitor};
    rebuildTree<Item, tree_walk_detail::Nothing>(root, unit);
}

}  // namespace plim
