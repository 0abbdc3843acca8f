// Layouts remembered from one render to the next (see DocNode::memo): a document rendered again,
// whole or as a part of another at the bound it had, renders as the same document built afresh
// does, also where the work budget runs out on the way.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "layout/differential.h"

namespace plim {
namespace {

using namespace difftest;

// A numeral of `depth` successors as the printer lays it out: "S (S (... Z))".
Doc numeral(int depth) {
    Doc d = textDoc("Z");
    for (int i = 0; i < depth; ++i) d = besideSpace(textDoc("S"), hvSpList(std::vector<Doc>{parensDoc(d)}));
    return d;
}

// A list of `length` items "k : (...)" in parentheses, the operator between its operands.
Doc consList(int length) {
    Doc d = textDoc("[]");
    for (int i = length; i > 0; --i) d = parensDoc(hvSpList(std::vector<Doc>{textDoc(std::to_string(i)), textDoc(":"), d}));
    return d;
}

// Two texts side by side, a piece of each on the line where only part of them fits.
Doc twoTexts() {
    return besideDoc(textDoc("abcdef"), hvSpList(std::vector<Doc>{textDoc("ghijkl"), textDoc("mnopqrstuvwxyz")}));
}

// The contexts a part is met in again: alone, after a text, indented, in a list, stacked, and
// stacked over itself before a text (where a later candidate of it may be written, at the column
// and bound of its first).
const std::vector<std::function<Doc(const Doc&)>>& contexts() {
    static const std::vector<std::function<Doc(const Doc&)>> all = {
        [](const Doc& d) { return d; },
        [](const Doc& d) { return besideDoc(textDoc("rev "), d); },
        [](const Doc& d) { return indentDoc(2, d); },
        [](const Doc& d) { return hvSpList(std::vector<Doc>{d, textDoc("++"), textDoc("[]")}); },
        [](const Doc& d) { return indentDoc(0, aboveDoc(d, besideDoc(textDoc("x"), d))); },
        [](const Doc& d) { return aboveDoc(d, besideDoc(d, textDoc(" ++ xs"))); },
    };
    return all;
}

TEST(RememberedLayouts, APartMetAgainRendersAsOneBuiltAfresh) {
    const std::vector<std::function<Doc()>> shapes = {[] { return numeral(40); }, [] { return consList(30); }, twoTexts};
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        const Doc part = shapes[s]();
        for (const LayoutInt w : {0, 3, 9, 17, 40, 80}) {
            const std::string alone = renderDoc(part, w);
            for (std::size_t c = 0; c < contexts().size(); ++c) {
                const auto& in = contexts()[c];
                // Rendered at two widths, so that the part is met at the bounds it had before.
                for (const LayoutInt width : {w, w + 2, w + 4}) {
                    // Again and again: the part's candidates are recalled, then written as before.
                    const std::string fresh = renderDoc(in(shapes[s]()), width);
                    for (int again = 0; again < 3; ++again)
                        ASSERT_EQ(renderDoc(in(part), width), fresh) << "shape " << s << " in context " << c << " at " << width;
                }
            }
            ASSERT_EQ(renderDoc(part, w), alone) << "shape " << s << " at " << w;
        }
    }
}

// Items of several lengths, each side by side with the rest where it fits on one line, else above it, and such lists
// as the definitions of a program lay them out.
Doc choiceList() {
    std::vector<Doc> items;
    for (int i = 0; i < 12; ++i) {
        const auto length = static_cast<std::size_t>(1 + (i * 7) % 11);
        items.push_back(textDoc(std::string(length, static_cast<char>('a' + i))));
    }
    const Doc list = hvEach<Pruned>(items);
    const Doc rhs = hvSpList(std::vector<Doc>{textDoc("g"), parensDoc(list), consList(8)});
    return funDef<Pruned>(besideDoc(textDoc("f "), numeral(6)), rhs);
}

// Met at every bound of a wide range, narrowing and then widening one column at a time (as where the expression around
// it grows and shrinks), a part renders as the same document built afresh does, whatever layouts it remembers.
TEST(RememberedLayouts, APartMetAtBoundsAroundItsOwnRendersAsOneBuiltAfresh) {
    const std::vector<std::function<Doc()>> shapes = {[] { return numeral(30); }, [] { return consList(20); }, twoTexts,
                                                      choiceList};
    std::vector<LayoutInt> widths;
    for (LayoutInt w = 70; w >= 0; --w) widths.push_back(w);
    for (LayoutInt w = 1; w <= 90; w += (w < 30 ? 1 : 3)) widths.push_back(w);
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        const Doc part = shapes[s]();
        for (std::size_t c = 0; c < contexts().size(); ++c) {
            const auto& in = contexts()[c];
            for (const LayoutInt width : widths) {
                const std::string fresh = renderDoc(in(shapes[s]()), width);
                ASSERT_EQ(renderDoc(in(part), width), fresh) << "shape " << s << " in context " << c << " at " << width;
                ASSERT_EQ(renderDoc(in(part), width), fresh) << "shape " << s << " in context " << c << " at " << width;
            }
        }
    }
}

// k choices side by side, each "xx" or a long line above "z", then a text that leaves the row of
// "xx" a column too long for the width: about k^3/3 layouts, past the budget from about k = 146.
Doc choicesOffTheLine(int k, LayoutInt width) {
    const std::string longLine(static_cast<std::size_t>(2 * k + 10), 'y');
    Doc acc = emptyDoc();
    for (int i = 0; i < k; ++i) acc = besideDoc(joinDoc(dupDoc(textDoc("xx"), aboveDoc(textDoc(longLine), textDoc("z")))), acc);
    return besideDoc(acc, textDoc(std::string(static_cast<std::size_t>(width - 2 * k + 1), 'w')));
}

// n texts stacked.
Doc texts(int n) {
    Doc d = textDoc("t");
    for (int i = 1; i < n; ++i) d = aboveDoc(textDoc("t"), d);
    return d;
}

// A part whose layout builds many candidates before the texts that raise the budget for them:
// 100 choices, filtered to their marker, then 3,000 texts above them.  Below it, 130 choices
// leave the budget room for the part's candidates less its texts' raise, but not for the
// candidates alone: laid out, the part passes the budget before its texts come, and so does it
// where it is remembered from renders of its own.
TEST(RememberedLayouts, ARememberedPartRunsOutOfTheBudgetWhereItsLayoutWould) {
    constexpr LayoutInt kWidth = 3000;
    const auto make = [] { return aboveDoc(texts(3000), filterDoc(choicesOffTheLine(100, kWidth))); };
    const Doc part = make();
    // Remembered at the whole width from its second layout there.
    const std::string alone = renderDoc(indentDoc(0, part), kWidth);
    EXPECT_EQ(renderDoc(indentDoc(0, part), kWidth), alone);
    const auto stacked = [](const Doc& top) {
        return renderDoc(indentDoc(0, aboveDoc(top, choicesOffTheLine(130, kWidth))), kWidth);
    };
    const std::string fresh = stacked(make());
    EXPECT_EQ(fresh.front(), '<');
    EXPECT_EQ(stacked(part), fresh);
    EXPECT_EQ(renderDoc(indentDoc(0, part), kWidth), alone);
}

}  // namespace
}  // namespace plim
