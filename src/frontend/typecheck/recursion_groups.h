// Grouping of definitions by mutual recursion.
//
// Each item says which names it defines and which it uses.  The result lists the strongly
// connected components of the relation "item i uses a name that item j defines", each
// component after every component it depends on:
//
//   dependencyGroups({{{"a"}, {"b"}, pa}, {{"b"}, {"a"}, pb}})  ==  {{pb, pa}}
//   dependencyGroups({{{"a"}, {}, pa}, {{"b"}, {}, pb}})        ==  {{pb}, {pa}}
//
// Items with equal defined-names lists (say a signature and the equations of f) share one
// vertex.  The order of components and of items inside one is fixed exactly: items sorted
// stably by their defined-names lists, a depth-first pass of the reversed graph from vertex
// 0 up giving a finishing order, a second pass of the graph in reverse finishing order giving
// one tree per component, whose vertices are listed in postorder.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace plim {

// The names an item defines and uses, seen through pointers into the caller's items.
struct DependencyKey {
    const std::vector<std::string>* defines;
    const std::vector<std::string>* uses;
};

// The components as lists of indices into `keys`.
std::vector<std::vector<std::size_t>> dependencyGroupIndices(const std::vector<DependencyKey>& keys);

template <class P>
struct GroupItem {
    std::vector<std::string> defines;
    std::vector<std::string> uses;
    P payload;
};

// The components as lists of payloads.
template <class P>
std::vector<std::vector<P>> dependencyGroups(const std::vector<GroupItem<P>>& items) {
    std::vector<DependencyKey> keys;
    keys.reserve(items.size());
    for (const GroupItem<P>& item : items) keys.push_back({&item.defines, &item.uses});
    std::vector<std::vector<P>> groups;
    for (const std::vector<std::size_t>& component : dependencyGroupIndices(keys)) {
        std::vector<P> group;
        group.reserve(component.size());
        for (std::size_t i : component) group.push_back(items[i].payload);
        groups.push_back(std::move(group));
    }
    return groups;
}

}  // namespace plim
