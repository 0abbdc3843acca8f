// Depth-first search of a graph given as successor lists, with a visited set.
//
// A search from a root marks each vertex when it first reaches it, before looking at its
// successors, and follows the successor lists in list order; a vertex that is already marked
// is skipped.  This is the depth-first spanning forest of the graph cut down to the vertices
// not yet visited, walked without recursion, so graphs of any depth are safe.
#pragma once

#include <cstddef>
#include <vector>

namespace plim {

using Vertex = std::size_t;
// Successor lists indexed by vertex, 0 to n-1; repeats and self-edges allowed.
using Graph = std::vector<std::vector<Vertex>>;

// The vertices marked by one search.
class VisitedSet {
public:
    explicit VisitedSet(std::size_t vertices) : marks_(vertices, false) {}
    bool contains(Vertex v) const { return marks_[v]; }
    void add(Vertex v) { marks_[v] = true; }

private:
    std::vector<bool> marks_;
};

// Searches g from root unless root is visited already, and appends the vertices of the tree
// it spans in postorder (children before their parent, children left to right).  Every vertex
// of that tree is added to `visited`.
void searchPostorder(const Graph& g, Vertex root, VisitedSet& visited, std::vector<Vertex>& postorder);

// The transposed graph: for each vertex v in ascending order and each successor w of v in list
// order, v is put at the front of w's list (so a list holds its users highest first).
Graph transposeGraph(const Graph& g);

}  // namespace plim
