// The boundary between the layout library's two engines.  Every combinator hands its parts to
// composeDoc (or, for a template, to templateNode) with the node it would make of its parts'
// nodes and the lazy document it would make of the parts themselves; the choice is made here,
// once for the library: the node, laid out eagerly (layout/nodes.h), where every part is a tree
// of nodes; the lazy document, laid out by the attribute rules (layout/rules_internal.h),
// where a part is a document given as a function or anything composed with one, or where a
// LazyRulesOnly is alive on the thread.
// Only the layout library's own sources include this header.
#pragma once

#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

#include "layout/document.h"
#include "layout/nodes.h"

namespace plim::pretty_detail {

template <class Part>
bool isTree(const Part& p) {
    return p.node() != nullptr;
}

// Whether the parts are laid out as trees of nodes.
template <class Part>
bool allTrees(std::initializer_list<const Part*> parts) {
    if (LazyRulesOnly::active()) return false;
    for (const Part* p : parts)
        if (!isTree(*p)) return false;
    return true;
}
template <class Part>
bool allTrees(std::span<const Part> parts) {
    if (LazyRulesOnly::active()) return false;
    for (const Part& p : parts)
        if (!isTree(p)) return false;
    return true;
}
template <class Part>
bool allTrees(const std::vector<Part>& parts) {
    if (LazyRulesOnly::active()) return false;
    for (const Part& p : parts)
        if (!isTree(p)) return false;
    return true;
}

// A combinator's document: the node that `node()` makes where the parts are trees of nodes,
// otherwise the lazy document that `lazy()` makes.
template <class Parts, class MakeNode, class MakeLazy>
Doc composeDoc(const Parts& parts, MakeNode node, MakeLazy lazy) {
    if (allTrees(parts)) return Doc(node());
    return lazy();
}
template <class MakeNode, class MakeLazy>
Doc composeDoc(std::initializer_list<const Doc*> parts, MakeNode node, MakeLazy lazy) {
    if (allTrees(parts)) return Doc(node());
    return lazy();
}

// A combinator's template carries its lazy form, which applications to lazy arguments use, and
// the tree of nodes that `node()` makes where the parts are trees (null otherwise).
template <class MakeNode>
ParNodeRef templateNode(std::initializer_list<const ParDoc*> parts, MakeNode node) {
    return allTrees(parts) ? node() : nullptr;
}
template <class MakeNode>
ParNodeRef templateNode(const std::vector<ParDoc>& parts, MakeNode node) {
    return allTrees(parts) ? node() : nullptr;
}

// The nodes of documents that are trees, taken out of them.
inline NodeParts takeNodes(std::span<Doc> docs) {
    NodeParts parts;
    parts.reserve(docs.size());
    for (Doc& d : docs) parts.push_back(std::move(d).node());
    return parts;
}

}  // namespace plim::pretty_detail
