// Parameterised documents: holes, their compositions, choice, application and substitution, as
// templates of nodes.
#include <utility>

#include "layout/document.h"
#include "layout/nodes.h"

namespace plim {

using namespace pretty_detail;

ParDoc::ParDoc(std::shared_ptr<const ParNode> node) : paramCount_(node->params), node_(std::move(node)) {}

ParDoc parDoc() {
    static const ParDoc hole(holeNode(ParNode::Kind::Hole));
    return hole;
}

ParDoc firstParDoc() {
    static const ParDoc hole(holeNode(ParNode::Kind::First));
    return hole;
}

ParDoc secondParDoc() {
    static const ParDoc hole(holeNode(ParNode::Kind::Second));
    return hole;
}

ParDoc liftParDoc(Doc d) {
    return ParDoc(liftNode(std::move(d).node()));
}

ParDoc filterParDoc(ParDoc p) {
    return ParDoc(parUnaryNode(ParNode::Kind::Filter, p.node()));
}

ParDoc besideParDoc(ParDoc left, ParDoc right) {
    return ParDoc(parBinaryNode(ParNode::Kind::Beside, left.node(), right.node()));
}

ParDoc aboveParDoc(ParDoc upper, ParDoc lower) {
    return ParDoc(parBinaryNode(ParNode::Kind::Above, upper.node(), lower.node()));
}

ParDoc joinParDoc(ParDoc p) {
    return ParDoc(parUnaryNode(ParNode::Kind::Join, p.node()));
}

ParDoc indentParDoc(LayoutInt n, ParDoc p) {
    return ParDoc(parUnaryNode(ParNode::Kind::Indent, p.node(), n));
}

ParDoc choiceParDoc(ParDoc left, ParDoc right) {
    return ParDoc(parBinaryNode(ParNode::Kind::Choice, left.node(), right.node()));
}

Doc applyParDoc(ParDoc p, std::vector<Doc> args) {
    return Doc(applyNode(p.node(), nodesOf(args)));
}

ParDoc substParDoc(ParDoc outer, std::vector<ParDoc> inners) {
    std::vector<ParNodeRef> innerNodes;
    innerNodes.reserve(inners.size());
    for (const ParDoc& d : inners) innerNodes.push_back(d.node());
    return ParDoc(substNode(outer.node(), std::move(innerNodes)));
}

}  // namespace plim
