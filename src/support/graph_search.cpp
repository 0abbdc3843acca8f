#include "support/graph_search.h"

#include <algorithm>
#include <utility>

namespace plim {

void searchPostorder(const Graph& g, Vertex root, VisitedSet& visited, std::vector<Vertex>& postorder) {
    if (visited.contains(root)) return;
    // Each frame is a vertex and the position of its next successor to try.
    std::vector<std::pair<Vertex, std::size_t>> stack;
    visited.add(root);
    stack.emplace_back(root, 0);
    while (!stack.empty()) {
        auto& [v, next] = stack.back();
        const std::vector<Vertex>& successors = g[v];
        if (next < successors.size()) {
            const Vertex w = successors[next++];
            if (!visited.contains(w)) {
                visited.add(w);
                stack.emplace_back(w, 0);
            }
            continue;
        }
        postorder.push_back(v);
        stack.pop_back();
    }
}

Graph transposeGraph(const Graph& g) {
    Graph t(g.size());
    for (Vertex v = 0; v < g.size(); ++v)
        for (Vertex w : g[v]) t[w].push_back(v);
    // Built by appending; putting each user in front gives the reverse.
    for (auto& users : t) std::reverse(users.begin(), users.end());
    return t;
}

}  // namespace plim
