// The variables bound around a subexpression, as the matchers and the rewriting driver share
// them: an immutable list of binders, each linked to the binders around it and shared by
// handles, so that every position of an expression holds its context in constant space however
// deeply it is nested; and the different names bound, a set that grows one name at a time
// along the same links.  Both are built once per binder and read on demand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lang/types.h"

namespace plim {

// A typed variable: (name, type).
using TypedVar = std::pair<std::string, Type>;

// A set of names, immutable and shared by handles: each set is a smaller set with one name
// more, so sets that grow along nested binders share their nodes, and a set that gains no name
// is the same node.  Equal sets compare equal whatever their nodes; the size, an
// order-independent hash and the node identity answer most comparisons at once.
class NameSet {
public:
    NameSet() = default;
    // The set of a list's names.  Implicit: a list of names stands for its set.
    NameSet(const std::vector<std::string>& names);  // NOLINT(google-explicit-constructor)
    NameSet(std::initializer_list<std::string> names);

    // This set with `name` added: this very set when it holds the name already.
    NameSet with(const std::string& name) const;
    bool contains(const std::string& name) const;
    std::size_t size() const { return top_ ? top_->size : 0; }
    bool empty() const { return !top_; }
    // The same for equal sets, whatever the order the names came in.
    std::uint64_t hash() const { return top_ ? top_->hash : 0; }
    // The names, in ascending order.
    std::vector<std::string> sorted() const;

    friend bool operator==(const NameSet& a, const NameSet& b);

private:
    struct Node {
        std::shared_ptr<const Node> rest;
        std::string name;
        std::size_t size;
        std::uint64_t hash;
        std::uint64_t sketch;  // a bit per name, by its hash: a name whose bit is clear is not held
        ~Node();
    };
    std::shared_ptr<const Node> top_;
};

// The typed variables bound around a subexpression, newest binder's variables first (a name
// bound twice is listed twice, the inner binding first).  Built from a list at once, or one
// binder inside another: the positions of an expression share the binders around them.
class BoundVars {
public:
    BoundVars() = default;
    // The list as it is, newest first.  Implicit: a list stands for its context.  An empty list
    // is read and allocates nothing (the matchers' entries take most terms outside any binder).
    BoundVars(const std::vector<TypedVar>& vars)  // NOLINT(google-explicit-constructor)
        : top_(vars.empty() ? nullptr : listed(std::vector<TypedVar>(vars))) {}
    BoundVars(std::vector<TypedVar>&& vars)  // NOLINT(google-explicit-constructor)
        : top_(vars.empty() ? nullptr : listed(std::move(vars))) {}
    BoundVars(std::initializer_list<TypedVar> vars) : BoundVars(std::vector<TypedVar>(vars)) {}

    // The context inside a binder of `vars` (newest first) that stands in this one.
    BoundVars inside(std::vector<TypedVar> vars) const;

    bool empty() const { return !top_; }
    // How many variables are listed.
    std::size_t size() const { return top_ ? top_->size : 0; }
    // The different names bound, at once.
    const NameSet& names() const;
    // The whole list, newest first (as long as the list).
    std::vector<TypedVar> vars() const;
    // The variables' names in list order (as long as the list).
    std::vector<std::string> nameList() const;

private:
    struct Node {
        std::shared_ptr<const Node> outer;
        std::vector<TypedVar> own;
        std::size_t size;
        NameSet names;
        ~Node();
    };
    // The node of a non-empty list with no binder around it.
    static std::shared_ptr<const Node> listed(std::vector<TypedVar> vars);

    std::shared_ptr<const Node> top_;
};

}  // namespace plim
