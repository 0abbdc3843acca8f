#include "frontend/typecheck/recursion_groups.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "support/graph_search.h"

namespace plim {

namespace {

// Items merged into one entry per run of equal defined-names lists after a stable sort.
struct GroupEntry {
    const std::vector<std::string>* defines;
    std::vector<const std::vector<std::string>*> uses;  // the run's lists, in run order
    std::vector<std::size_t> members;                   // the run's item indices, in run order
};

std::vector<GroupEntry> mergedEntries(const std::vector<DependencyKey>& keys) {
    std::vector<std::size_t> order(keys.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    // Names compare by character codes (std::string compares as unsigned char), a proper
    // prefix first; the lists compare lexicographically.
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return *keys[a].defines < *keys[b].defines; });
    std::vector<GroupEntry> entries;
    for (std::size_t i : order) {
        if (entries.empty() || *entries.back().defines != *keys[i].defines)
            entries.push_back(GroupEntry{keys[i].defines, {}, {}});
        entries.back().uses.push_back(keys[i].uses);
        entries.back().members.push_back(i);
    }
    return entries;
}

// Each name to the vertex of the last entry that defines it.
std::unordered_map<std::string, Vertex> nameMap(const std::vector<GroupEntry>& entries) {
    std::unordered_map<std::string, Vertex> names;
    for (Vertex v = 0; v < entries.size(); ++v)
        for (const std::string& name : *entries[v].defines) names.insert_or_assign(name, v);
    return names;
}

// The edge i -> j for each name that entry i uses and entry j defines, in use order.
Graph usesGraph(const std::vector<GroupEntry>& entries) {
    const std::unordered_map<std::string, Vertex> names = nameMap(entries);
    Graph g(entries.size());
    for (Vertex v = 0; v < entries.size(); ++v)
        for (const std::vector<std::string>* uses : entries[v].uses)
            for (const std::string& name : *uses)
                if (auto found = names.find(name); found != names.end()) g[v].push_back(found->second);
    return g;
}

}  // namespace

std::vector<std::vector<std::size_t>> dependencyGroupIndices(const std::vector<DependencyKey>& keys) {
    const std::vector<GroupEntry> entries = mergedEntries(keys);
    const std::size_t n = entries.size();
    const Graph g = usesGraph(entries);

    // First pass over the reversed graph, trees started at the lowest unvisited vertex.
    const Graph gT = transposeGraph(g);
    std::vector<Vertex> finished;
    finished.reserve(n);
    VisitedSet firstVisited(n);
    for (Vertex v = 0; v < n; ++v) searchPostorder(gT, v, firstVisited, finished);

    // Second pass over the graph in reverse finishing order: one tree per component.
    std::vector<std::vector<std::size_t>> components;
    VisitedSet secondVisited(n);
    std::vector<Vertex> tree;
    for (auto it = finished.rbegin(); it != finished.rend(); ++it) {
        if (secondVisited.contains(*it)) continue;
        tree.clear();
        searchPostorder(g, *it, secondVisited, tree);
        std::vector<std::size_t> component;
        for (Vertex v : tree)
            component.insert(component.end(), entries[v].members.begin(), entries[v].members.end());
        components.push_back(std::move(component));
    }
    return components;
}

}  // namespace plim
