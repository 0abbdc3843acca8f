// Releasing trees of shared nodes without nested destructor calls.
//
// A node type whose trees can be deep (long spines, deeply nested types) calls
// releaseSoleChildren from its destructor: every child that only this node holds is taken over
// and released one at a time from a work list, so destroying a spine of any length costs no
// stack.  Children that others still hold are left alone; their owners release them later.
#pragma once

#include <memory>
#include <vector>

namespace plim {

// `eachChild(node, take)` calls `take(ptr)` for each shared-pointer field of `node` that holds
// a child (a std::shared_ptr to Node or to const Node).
template <class Node, class EachChild>
void releaseSoleChildren(Node& root, EachChild eachChild) {
    std::vector<std::shared_ptr<const Node>> pending;
    auto take = [&pending](auto& child) {
        if (child && child.use_count() == 1) pending.push_back(std::move(child));
    };
    eachChild(root, take);
    while (!pending.empty()) {
        std::shared_ptr<const Node> next = std::move(pending.back());
        pending.pop_back();
        // The work list holds the last reference, so nobody can observe this node any more.
        eachChild(const_cast<Node&>(*next), take);
    }
}

}  // namespace plim
