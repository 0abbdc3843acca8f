// Block tables: placement with stretching, and their HTML rendering with COLSPAN and ROWSPAN.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <utility>

#include "support/errors.h"
#include "html/html.h"
#include "html/block_tables.h"
#include "support/failure_text.h"

namespace plim {
namespace {

using IntTable = BlockTable<int>;

std::string show(const IntTable& t) {
    return showBlockTable(t, [](int v) { return std::to_string(v); });
}

std::string render(const Html& html) {
    std::string out;
    for (const HtmlElement& e : html) out += renderElement(0, e);
    return out;
}

// True when the rows, read by the HTML rules for spanning cells, cover the width x height
// grid exactly once.
bool tilesGrid(const IntTable& t) {
    std::set<std::pair<int, int>> taken;
    int row = 0;
    for (const auto& cells : layoutRows(t)) {
        int col = 0;
        for (const auto& cell : cells) {
            while (taken.count({row, col})) ++col;
            for (int r = row; r < row + cell.rowSpan; ++r)
                for (int c = col; c < col + cell.colSpan; ++c)
                    if (!taken.insert({r, c}).second) return false;
            col += cell.colSpan;
        }
        ++row;
    }
    if (static_cast<int>(taken.size()) != t.width() * t.height()) return false;
    for (const auto& [r, c] : taken)
        if (r >= t.height() || c >= t.width()) return false;
    return true;
}

TEST(BlockTable, SingleAndPairs) {
    const IntTable one = single(1), two = single(2);
    EXPECT_EQ(one.width(), 1);
    EXPECT_EQ(one.height(), 1);
    EXPECT_EQ(show(one), "[[(1,(1,1))]]");
    const IntTable row = layoutBeside(one, two);
    EXPECT_EQ(show(row), "[[(1,(1,1)),(2,(1,1))]]");
    EXPECT_EQ(std::make_pair(row.width(), row.height()), std::make_pair(2, 1));
    const IntTable column = layoutAbove(one, two);
    EXPECT_EQ(show(column), "[[(1,(1,1))],[(2,(1,1))]]");
    EXPECT_EQ(std::make_pair(column.width(), column.height()), std::make_pair(1, 2));
}

TEST(BlockTable, SmallerSideIsStretchedAtItsLastCells) {
    const IntTable t1 = single(1), t2 = single(2), t3 = single(3);
    // The worked example: t1 beside (t2 above t3).
    const IntTable worked = layoutBeside(t1, layoutAbove(t2, t3));
    EXPECT_EQ(show(worked), "[[(1,(1,2)),(2,(1,1))],[(3,(1,1))]]");
    EXPECT_EQ(std::make_pair(worked.width(), worked.height()), std::make_pair(2, 2));
    EXPECT_EQ(show(layoutBeside(layoutAbove(t1, t2), t3)), "[[(1,(1,1)),(3,(1,2))],[(2,(1,1))]]");
    EXPECT_EQ(show(layoutAbove(layoutBeside(t1, t2), t3)), "[[(1,(1,1)),(2,(1,1))],[(3,(2,1))]]");
    EXPECT_EQ(show(layoutAbove(t1, layoutBeside(t2, t3))), "[[(1,(2,1))],[(2,(1,1)),(3,(1,1))]]");
    // Extra room goes to the right-most and bottom-most cells.
    EXPECT_EQ(show(layoutAbove(layoutAbove(t1, t2), layoutBeside(layoutBeside(t1, t2), t3))),
              "[[(1,(3,1))],[(2,(3,1))],[(1,(1,1)),(2,(1,1)),(3,(1,1))]]");
    const auto placed = layoutBeside(t1, t2).place(1, 2, CellRows<int>{CellRow<int>{PlacedCell<int>{9, 1, 1}}});
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_EQ(placed[0][0].rowSpan, 3);
    EXPECT_EQ(placed[0][1].colSpan, 2);
    EXPECT_EQ(placed[0][1].rowSpan, 3);
    EXPECT_EQ(placed[1][0].value, 9);
}

TEST(BlockTable, CombinationsTileTheirGrid) {
    const IntTable a = single(1);
    const IntTable l = layoutBeside(a, layoutAbove(a, layoutAbove(a, a)));
    const IntTable r = layoutAbove(layoutBeside(a, a), layoutBeside(layoutAbove(a, a), a));
    const IntTable mixed = layoutBeside(layoutAbove(l, a), layoutAbove(r, layoutBeside(l, r)));
    for (const IntTable& t : {l, r, mixed, layoutAbove(mixed, l), layoutBeside(r, mixed)}) EXPECT_TRUE(tilesGrid(t));
}

TEST(BlockTable, RawPlacementIsUsedAsGiven) {
    const IntTable raw(
        [](int x, int y, CellRows<int> rest) {
            rest.insert(rest.begin(), CellRow<int>{PlacedCell<int>{7, x + 2, y + 1}});
            return rest;
        },
        2, 1);
    EXPECT_EQ(show(raw), "[[(7,(2,1))]]");
    EXPECT_EQ(show(layoutAbove(raw, layoutAbove(single(1), single(2)))), "[[(7,(2,1))],[(1,(2,1))],[(2,(2,1))]]");
}

TEST(BlockTable, LongChainsNeedNoDeepRecursion) {
    IntTable row = single(0), column = single(0);
    for (int i = 1; i < 100000; ++i) {
        row = layoutBeside(single(i), row);
        column = layoutAbove(single(i), column);
    }
    const auto rows = layoutRows(row);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].size(), 100000u);
    EXPECT_EQ(rows[0].front().value, 99999);
    EXPECT_EQ(layoutRows(column).size(), 100000u);
    EXPECT_EQ(column.height(), 100000);
}

TEST(HtmlTable, CellsGetColspanThenRowspanAfterTheirOwnAttributes) {
    const Html td = withAttributes(tdTag({HtmlString("v")}), {classAttr("k")});
    const HtmlCell cell = layoutRows(cellFromHtml(td))[0][0].value;
    EXPECT_EQ(cell(1, 1), td);
    EXPECT_EQ(render(cell(3, 2)), "<TD CLASS=\"k\" COLSPAN=\"3\" ROWSPAN=\"2\">\nv</TD>\n");
    EXPECT_EQ(render(cell(1, 4)), "<TD CLASS=\"k\" ROWSPAN=\"4\">\nv</TD>\n");
}

TEST(HtmlTable, WorkedExampleRendersRowspan) {
    const HtmlTable t = beside(tdTag({HtmlString("1")}), above(tdTag({HtmlString("2")}), tdTag({HtmlString("3")})));
    EXPECT_EQ(prettyHtml(renderTableRows(t)),
              "<TR>\n   <TD ROWSPAN=\"2\">\n      1\n   </TD>\n   <TD>\n      2\n   </TD>\n</TR>\n"
              "<TR>\n   <TD>\n      3\n   </TD>\n</TR>\n");
    EXPECT_EQ(showTable(t), prettyHtml(renderTableRows(t)));
    EXPECT_EQ(showsTable(t, "!"), showTable(t) + "!");
    EXPECT_EQ(asHtml(t), renderTableRows(t));
    EXPECT_EQ(asHtml(std::vector<HtmlTable>{t, t}), appendHtml(renderTableRows(t), renderTableRows(t)));
}

TEST(HtmlTable, ColspanWhenTheWiderTableIsAbove) {
    const HtmlTable t = above(besides(std::vector<Html>{tdTag({}), tdTag({})}), tdTag({HtmlString("w")}));
    EXPECT_EQ(render(renderTableRows(t)), "<TR>\n<TD>\n  </TD>\n  <TD>\n  </TD>\n  </TR>\n<TR>\n<TD COLSPAN=\"2\">\n  w</TD>\n  </TR>\n");
}

TEST(HtmlTable, FoldsAndTheirEmptyFailures) {
    const HtmlTable one = cellFromHtml(tdTag({}));
    EXPECT_EQ(renderTableRows(besides(std::vector<HtmlTable>{one})), renderTableRows(one));
    EXPECT_EQ(showTable(aboves(std::vector<Html>{tdTag({}), thTag({})})),
              showTable(above(tdTag({}), thTag({}))));
    EXPECT_EQ(showTable(besidesBy([](int i) { return tdTag({HtmlString(std::to_string(i))}); }, std::vector<int>{1, 2})),
              showTable(beside(tdTag({HtmlString("1")}), tdTag({HtmlString("2")}))));
    EXPECT_EQ(showTable(abovesBy([](const HtmlTable& t) { return t; }, std::vector<HtmlTable>{one, one})),
              showTable(above(one, one)));
    EXPECT_EQ(failureText([] { besides(std::vector<HtmlTable>{}); }), "besides []");
    EXPECT_EQ(failureText([] { aboves(std::vector<Html>{}); }), "aboves []");
    EXPECT_EQ(failureText([] { tableOfRows({}, {}, {}); }), "aboves []");
    EXPECT_EQ(failureText([] { tableOfRows({}, {}, {{tdTag({})}, {}}); }), "besides []");
}

TEST(HtmlTable, TableOfRowsWrapsCellsAndRows) {
    const Html t = tableOfRows({borderAttr(1)}, {alignAttr("LEFT")},
                               {{{HtmlString("a")}, {HtmlString("b")}}, {{HtmlString("c")}}});
    EXPECT_EQ(prettyHtml(t),
              "<TABLE BORDER=\"1\">\n"
              "   <TR>\n      <TD ALIGN=\"LEFT\">\n         a\n      </TD>\n      <TD ALIGN=\"LEFT\">\n         b\n      </TD>\n   </TR>\n"
              "   <TR>\n      <TD ALIGN=\"LEFT\" COLSPAN=\"2\">\n         c\n      </TD>\n   </TR>\n"
              "</TABLE>\n");
}

}  // namespace
}  // namespace plim
