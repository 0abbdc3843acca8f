// The work a filled template's layout counts against the budget: a filling of the wrong count
// lays out its inner templates but nothing of its outer one, however deep in it, so that it
// counts as one whose outer template is plain holes (the texts are the same: its error text).
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "layout/combinators.h"
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

// A list of hvSpList whose items before the last are one line each builds its line and its stack
// at once: it counts the work of the products and stacks it stands for, and the blanks' texts
// (as laid out before it was built at once).
TEST(TemplateWork, AListOfHvSpListCountsItsArrangementsAsTheirParts) {
    const Doc inner = hvSpList(std::vector<Doc>{textDoc("g"), textDoc("yy"), textDoc("z")});
    const Doc last = hvSpList(std::vector<Doc>{textDoc("aaa"), inner, inner});
    const Doc list = hvSpList(std::vector<Doc>{textDoc("f"), inner, textDoc("++"), last});
    // (candidates, allowance) at widths 0, 4, ..., 40, as the products and blanks laid out one
    // by one count them.
    const std::vector<std::pair<LayoutInt, LayoutInt>> expected{
        {11, 1000768}, {11, 1000768}, {31, 1001472}, {35, 1001472}, {49, 1001472}, {61, 1001472},
        {64, 1001472}, {64, 1001472}, {67, 1001472}, {67, 1001472}, {67, 1001472}};
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const auto width = static_cast<LayoutInt>(4 * k);
        EXPECT_EQ(countedWork(list, width), expected[k]) << width;
    }
    // A last item whose second layout, beside a two-line text, is no narrower than the first
    // and is longer on its last line: the stacks over it drop it.
    const Doc choice = joinDoc(dupDoc(aboveDoc(textDoc("cccccccc"), textDoc("cc")),
                                      aboveDoc(textDoc("ccccc"), aboveDoc(textDoc("c"), textDoc("ccc")))));
    const Doc stacked = besideDoc(textDoc("q"), hvSpList(std::vector<Doc>{textDoc("s"), textDoc("t"),
                                                                          besideDoc(aboveDoc(textDoc("aaaaaaaaaa"), textDoc("bb")), choice)}));
    const std::vector<std::pair<LayoutInt, LayoutInt>> expectedStacked{
        {6, 1000640}, {6, 1000640}, {6, 1000768}, {6, 1000768}, {15, 1000768}, {15, 1000768}, {15, 1000768}};
    for (std::size_t k = 0; k < expectedStacked.size(); ++k) {
        const auto width = static_cast<LayoutInt>(8 + 2 * k);
        EXPECT_EQ(countedWork(stacked, width), expectedStacked[k]) << width;
    }
}

// Where a stack's upper item is as wide as a layout below it, that stack is the last one over the
// item; where an item before the last has two one-line layouts, the line holds the products of
// both: the list counts these as its arrangements built part by part do.
TEST(TemplateWork, AListOfHvSpListCountsTiedStacksAndItemsOfTwoLines) {
    const Doc tie = joinDoc(dupDoc(textDoc("cccc"), aboveDoc(textDoc("cc"), textDoc("c"))));
    const Doc tied = hvSpList(std::vector<Doc>{textDoc("dddd"), textDoc("e"), tie});
    const Doc twoLines = hvSpList(std::vector<Doc>{textDoc("dddd"), joinDoc(dupDoc(textDoc("aa"), textDoc("aaa"))), tie});
    // (candidates, allowance) at widths 0, 2, ..., 16.
    const std::vector<std::pair<LayoutInt, LayoutInt>> expectedTied{
        {3, 1000320}, {2, 1000320}, {3, 1000320}, {3, 1000320}, {3, 1000448}, {7, 1000448}, {11, 1000448}, {11, 1000448}, {11, 1000448}};
    const std::vector<std::pair<LayoutInt, LayoutInt>> expectedTwoLines{
        {3, 1000384}, {2, 1000384}, {4, 1000384}, {4, 1000384}, {4, 1000512}, {8, 1000512}, {15, 1000512}, {18, 1000512}, {18, 1000512}};
    for (std::size_t k = 0; k < expectedTied.size(); ++k) {
        const auto width = static_cast<LayoutInt>(2 * k);
        EXPECT_EQ(countedWork(tied, width), expectedTied[k]) << width;
        EXPECT_EQ(countedWork(twoLines, width), expectedTwoLines[k]) << width;
    }
}

}  // namespace
}  // namespace plim
