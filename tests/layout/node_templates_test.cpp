// The work a filled template's layout counts against the budget: a filling of the wrong count
// lays out its inner templates but nothing of its outer one, however deep in it, so that it
// counts as one whose outer template is plain holes (the texts are the same: its error text).
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "layout/nodes_internal.h"

namespace plim {
namespace {

using namespace pretty_detail;

// The candidates and the allowance of the budget counted by the document's layout at the width.
std::pair<LayoutInt, LayoutInt> countedWork(const Doc& d, LayoutInt width) {
    TextArena arena;
    ArenaScope scope(arena);
    budget = Budget{};
    layOut(*d.node(), width);
    const std::pair<LayoutInt, LayoutInt> counted{budget.used, budget.allowed};
    budget = Budget{};
    return counted;
}

// A filling of three inner templates into an outer template of two parameters.
Doc wrongCount(const ParDoc& outer) {
    const std::vector<ParDoc> inners{parDoc(), besideParDoc(parDoc(), liftParDoc(textDoc("x"))), parDoc()};
    return applyParDoc(substParDoc(outer, inners), std::vector<Doc>{textDoc("a"), textDoc("b"), textDoc("c")});
}

TEST(TemplateWork, AFillingOfTheWrongCountLaysOutNoneOfItsOuterTemplate) {
    // The outer template holds a filling of the right count, lifted documents and a choice.
    const ParDoc nested = substParDoc(besideParDoc(parDoc(), liftParDoc(textDoc("yy"))), std::vector<ParDoc>{parDoc()});
    const ParDoc deep = besideParDoc(joinParDoc(choiceParDoc(nested, aboveParDoc(liftParDoc(textDoc("z")), parDoc()))),
                                     besideParDoc(liftParDoc(textDoc("zz")), parDoc()));
    const ParDoc plain = besideParDoc(parDoc(), parDoc());
    for (const LayoutInt width : {LayoutInt{2}, LayoutInt{80}}) {
        const Doc a = wrongCount(deep);
        const Doc b = wrongCount(plain);
        EXPECT_EQ(renderDoc(a, width), renderDoc(b, width));
        EXPECT_EQ(countedWork(a, width), countedWork(b, width)) << width;
    }
}

}  // namespace
}  // namespace plim
