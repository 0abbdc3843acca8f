// The work budget of a render: documents whose candidate layouts multiply past it render as the
// too-wide marker of their width, in bounded time; the same shapes a little smaller render their
// layout.  Two shapes reach it:
//  - k two-way choices side by side, each "xx" on one line or, on two lines, a line longer than
//    the whole one-line row above "z", where the row does not fit on one line: a layout with
//    fewer lines always has a longer last line, so pruning drops only layouts of equal sizes,
//    and the side-by-side products build about k^3/3 candidates, past the budget from about
//    k = 146 on (where the row fits, it is found without them);
//  - a line of n one-character texts before 45 such choices (about 1,000 surviving layouts):
//    every text of the line is combined with every one of them, past the budget from about
//    n = 1,010 on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout/differential.h"

namespace plim {
namespace {

using namespace difftest;

// k choices side by side: "xx", or a line of 2k + 10 'y' above "z".
template <class L>
typename L::D splitChoices(int k) {
    const std::string longLine(static_cast<std::size_t>(2 * k + 10), 'y');
    typename L::D acc = L::empty();
    for (int i = 0; i < k; ++i) acc = L::beside(L::join(L::text("xx"), L::above(L::text(longLine), L::text("z"))), acc);
    return acc;
}

// The width of the leading choice of rowChoices: its one-line alternative fits beside no layout
// of the rest, its two-line one ("b"s above an empty line) beside all.
int leadWidth(int n, int k, int width) {
    return width - n - 2 * k + 1;
}

// A choice between a line of 'a's and a line of 'b's above an empty one, then n texts "c", then
// splitChoices(k).
template <class L>
typename L::D rowChoices(int n, int k, int width) {
    const auto m = static_cast<std::size_t>(leadWidth(n, k, width));
    typename L::D acc = splitChoices<L>(k);
    for (int i = 0; i < n; ++i) acc = L::beside(L::text("c"), acc);
    const typename L::D lead = L::join(L::text(std::string(m, 'a')), L::above(L::text(std::string(m, 'b')), L::text("")));
    return L::beside(lead, acc);
}

// "<", n - 2 asterisks, ">".
std::string marker(std::size_t n) {
    return "<" + std::string(n - 2, '*') + ">";
}

// The first layout of rowChoices when it fits: the two-line lead, the rest on one line below.
std::string rowLayout(int n, int k, int width) {
    return std::string(static_cast<std::size_t>(leadWidth(n, k, width)), 'b') + "\n" +
           std::string(static_cast<std::size_t>(n), 'c') + std::string(static_cast<std::size_t>(2 * k), 'x');
}

constexpr int kWidth = 3000;

// splitChoices(k) followed by a text that leaves the row of "xx" one column too long for the
// width: every layout must be looked at.
template <class L>
typename L::D splitChoicesOffTheLine(int k, int width) {
    return L::beside(splitChoices<L>(k), L::text(std::string(static_cast<std::size_t>(width - 2 * k + 1), 'w')));
}

// A numeral of `depth` successors as the printer lays it out: "S (S (... Z))", each level a list
// of one item in parentheses.
template <class L>
typename L::D numeral(int depth) {
    typename L::D d = L::text("Z");
    for (int i = 0; i < depth; ++i) d = L::besideSpace(L::text("S"), L::hvSp({L::parens(d)}));
    return d;
}

TEST(PrettyBudget, SplitChoicesPastTheBudgetRenderAsTheMarkerOfTheirWidth) {
    // A choice's width is that of its narrower alternative, its last width the smaller one:
    // 200 choices are 201 columns wide, with a last width of 200, and the text after them 601.
    EXPECT_EQ(renderDoc(splitChoicesOffTheLine<Pruned>(200, 1000), 1000), marker(801));
    const Pruned::D small = splitChoicesOffTheLine<Pruned>(12, 100);
    const Exhaustive::D reference = splitChoicesOffTheLine<Exhaustive>(12, 100);
    EXPECT_EQ(renderDoc(small, 100), Exhaustive::render(reference, 100));
}

TEST(PrettyBudget, AOneLineLayoutThatFitsIsFoundWithoutTheOthers) {
    // The row of "xx" fits: no other layout is built, however many there are.
    EXPECT_EQ(renderDoc(splitChoices<Pruned>(200), 1000), std::string(400, 'x'));
    EXPECT_EQ(renderDoc(splitChoices<Pruned>(100), 1000), std::string(200, 'x'));
}

// A stack made part by part gives the text of the whole stack: past the budget (the marker of
// the whole stack's width), with a fill among its parts, with a pair among its parts.
TEST(PrettyBudget, StacksMadePartByPartAsTheWholeStack) {
    const std::vector<std::vector<Doc>> stacks = {
        {textDoc("top"), splitChoicesOffTheLine<Pruned>(200, 1000), textDoc("bottom")},
        {textDoc("top"), splitChoicesOffTheLine<Pruned>(12, 100), fillDoc({textDoc("a"), textDoc("fill")})},
        {textDoc("top"), dupDoc(textDoc("a"), textDoc("b"))},
        {filterDoc(emptyDoc()), emptyDoc()},
        {},
    };
    for (std::size_t k = 0; k < stacks.size(); ++k) {
        const std::vector<Doc>& parts = stacks[k];
        Doc whole = emptyDoc();
        for (auto it = parts.rbegin(); it != parts.rend(); ++it) whole = aboveDoc(*it, whole);
        for (LayoutInt width : {-1, 0, 5, 100, 1000}) {
            std::string byParts = "before ";
            renderStackTo(byParts, parts.size(), [&parts](std::size_t i) { return parts[i]; }, width);
            std::string expected = "before ";
            renderDocTo(expected, whole, width);
            EXPECT_EQ(byParts, expected) << "stack " << k << " at width " << width;
        }
    }
    EXPECT_EQ(renderDoc(aboveDoc(textDoc("top"), splitChoicesOffTheLine<Pruned>(200, 1000)), 1000), marker(801));
}

// Past the end of the line no text fits, and a numeral there is laid out from what its nodes
// know (see DocNode::below): its texts raise the budget as its layout's would, laid out before
// the choices to its left: 400 levels of it (1,201 texts) let 149 choices through, where 145
// pass alone.
TEST(PrettyBudget, APartPastTheEndOfTheLineCountsAsItsLayoutWould) {
    const auto render = [](int k) {
        return renderDoc(besideDoc(splitChoicesOffTheLine<Pruned>(k, kWidth), numeral<Pruned>(400)), kWidth);
    };
    EXPECT_NE(render(149).front(), '<');
    EXPECT_EQ(render(150).front(), '<');
}

TEST(PrettyBudget, ALongLineBeforeManyLayoutsReachesTheBudget) {
    // The line of 2000 texts and the choices after it are 2046 columns wide.
    EXPECT_EQ(renderDoc(rowChoices<Pruned>(2000, 45, kWidth), kWidth), marker(2046));
    EXPECT_EQ(renderDoc(rowChoices<Pruned>(500, 45, kWidth), kWidth), rowLayout(500, 45, kWidth));
}

TEST(PrettyBudget, EachRenderStartsWithTheWholeBudget) {
    // The marker replaces only the exhausted render's own text; the next render is not affected.
    const Pruned::D over = rowChoices<Pruned>(2000, 45, kWidth);
    std::string out = "before ";
    renderDocTo(out, over, kWidth);
    out += " ";
    renderDocTo(out, rowChoices<Pruned>(500, 45, kWidth), kWidth);
    EXPECT_EQ(out, "before " + marker(2046) + " " + rowLayout(500, 45, kWidth));
    out.clear();
    renderDocTo(out, over, kWidth);
    EXPECT_EQ(out, marker(2046));
}

TEST(PrettyBudget, SmallInstancesLayOutAsTheExhaustiveLibraryDoes) {
    for (int k = 1; k <= 8; ++k) {
        for (LayoutInt w = 1; w <= 4 * k + 12; ++w) {
            const std::string expected = Exhaustive::render(splitChoices<Exhaustive>(k), w);
            ASSERT_EQ(renderDoc(splitChoices<Pruned>(k), w), expected) << k << " choices at width " << w;
        }
    }
    for (const int n : {0, 3, 20}) {
        const int width = n + 4 * 6 + 10;
        const std::string expected = Exhaustive::render(rowChoices<Exhaustive>(n, 6, width), width);
        EXPECT_EQ(expected, rowLayout(n, 6, width));
        EXPECT_EQ(renderDoc(rowChoices<Pruned>(n, 6, width), width), expected) << n << " texts";
    }
}

}  // namespace
}  // namespace plim
