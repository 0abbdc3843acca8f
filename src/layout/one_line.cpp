// The one-line shortcut of a node's layout (see flatLayout in layout/nodes.h): a node sure of
// its line at the bound (see DocNode::sure), as it was made, is laid out as that line.
#include "layout/rules_internal.h"
#include "layout/nodes.h"

namespace plim::pretty_detail {

bool flatLayout(const DocNode& d, LayoutInt lineBound, NodeResult& out) {
    if (d.sure != DocNode::Sure::Line || d.lineLow > lineBound) return false;
    countText(d.lineTexts);
    countCandidate();
    out.sizes = d.sizes;
    out.tooWide = false;
    out.reply = NodeReply{};
    const TextTree* t = newText(TextTree::Kind::Line, 0, nullptr, nullptr, nullptr, &d);
    out.reply.first = CandidateList::one(Candidate{1, d.lineLow, d.lineLow, t});
    return true;
}

}  // namespace plim::pretty_detail
