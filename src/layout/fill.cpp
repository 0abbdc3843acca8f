// The fill layouts and the centred column, on the nodes of the layout engine.
#include <algorithm>
#include <utility>

#include "layout/document.h"
#include "layout/nodes.h"

namespace plim {

using namespace pretty_detail;

Doc fillDoc(std::vector<Doc> items) {
    return Doc(fillNode(true, 0, nodesOf(items)));
}

Doc fillBlockDoc(LayoutInt blockWidth, std::vector<Doc> items) {
    return Doc(fillNode(false, blockWidth, nodesOf(items)));
}

// Each item indented by half of what it lacks of the widest, below the items before it; where an
// item's width depends on the bound, the widths are those of the items laid out there.
Doc centredAboveList(std::vector<Doc> items) {
    if (std::any_of(items.begin(), items.end(), [](const Doc& d) { return d.node()->boundSizes; }))
        return Doc(centredNode(nodesOf(items)));
    LayoutInt widest = 0;
    for (const Doc& d : items) widest = std::max<LayoutInt>(widest, d.node()->sizes.width);
    Doc column = emptyDoc();
    for (Doc& d : items) {
        const LayoutInt lack = widest - d.node()->sizes.width;
        column = aboveDoc(std::move(column), indentDoc(lack / 2, std::move(d)));
    }
    return column;
}

}  // namespace plim
