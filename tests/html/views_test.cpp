// Whole pages, the coloured tree view and the debugging view.
#include <gtest/gtest.h>

#include <functional>

#include "support/errors.h"
#include "html/html.h"
#include "support/failure_text.h"

namespace plim {
namespace {

std::vector<std::string> bgcolours(const Html& html) {
    const std::string text = prettyHtml(html);
    const std::string key = "BGCOLOR=\"";
    std::vector<std::string> out;
    for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        const auto start = at + key.size();
        out.push_back(text.substr(start, text.find('"', start) - start));
    }
    return out;
}

List<std::string> colours(std::vector<std::string> cs) { return fromVector(std::move(cs)); }

Html smallText(const std::string& escaped) { return withAttributes(fontTag({HtmlString(escaped)}), {sizeAttr("1")}); }

TEST(HtmlPage, RenderPageWritesBannerRootAndTwoLineFeeds) {
    EXPECT_EQ(renderPage(Html{}), std::string(doctypeBanner) + "<HTML>\n</HTML>\n\n");
    EXPECT_EQ(renderPage(std::string("a<b")), std::string(doctypeBanner) + "<HTML>\na&lt;b</HTML>\n\n");
}

TEST(HtmlTreeView, TextBecomesALeafShowingEscapedLines) {
    const HtmlTree leaf = toHtmlTree(HtmlString("a b\nc"));
    EXPECT_EQ(leaf.kind, HtmlTree::Kind::Leaf);
    EXPECT_EQ(leaf.label, (Html{HtmlString("&nbsp;"), HtmlString("a&nbsp;b"), brElement[0], HtmlString("c")}));
    EXPECT_EQ(toHtmlTree(HtmlString("")).label, nbspHtml);
    EXPECT_EQ(toHtmlTree(HtmlString("<x>\n")).label, (Html{HtmlString("&nbsp;"), HtmlString("&lt;x&gt;")}));
}

TEST(HtmlTreeView, TagsBecomeNodesWithSmallEscapedLabels) {
    const HtmlTree img = toHtmlTree(HtmlTag("IMG", {srcAttr("a"), altAttr("b")}, {}));
    EXPECT_EQ(img.kind, HtmlTree::Kind::Node);
    EXPECT_EQ(img.label, smallText("&lt;IMG  SRC=&quot;a&quot; ALT=&quot;b&quot;&gt;"));
    EXPECT_TRUE(img.children.empty());
    EXPECT_TRUE(img.closeLabel.empty());
    const HtmlTree div = toHtmlTree(HtmlTag("DIV", {}, {HtmlString("x"), HtmlTag("P", {}, {})}));
    EXPECT_EQ(div.label, smallText("&lt;DIV&gt;"));
    EXPECT_EQ(div.closeLabel, smallText("&lt;/DIV&gt;"));
    ASSERT_EQ(div.children.size(), 2u);
    EXPECT_EQ(div.children[0].kind, HtmlTree::Kind::Leaf);
    EXPECT_EQ(div.children[1].kind, HtmlTree::Kind::Node);
}

TEST(HtmlTreeView, ChildlessElementIsOneCell) {
    EXPECT_EQ(prettyHtml(treeTable(treeColours(), toHtmlTree(HtmlTag("DIV", {}, {})))),
              "<TABLE BORDER=\"0\" CELLPADDING=\"0\" CELLSPACING=\"2\">\n"
              "   <TR>\n      <TD BGCOLOR=\"#88ccff\">\n         <FONT SIZE=\"1\">\n            &lt;DIV&gt;\n"
              "         </FONT>\n      </TD>\n   </TR>\n"
              "</TABLE>\n");
}

TEST(HtmlTreeView, NodeIsFramedByLabelsAndBar) {
    EXPECT_EQ(prettyHtml(asHtml(toHtmlTree(HtmlTag("B", {}, {HtmlString("x")})))),
              "<TABLE BORDER=\"0\" CELLPADDING=\"0\" CELLSPACING=\"2\">\n"
              "   <TR>\n      <TD BGCOLOR=\"#88ccff\" COLSPAN=\"2\">\n         <FONT SIZE=\"1\">\n"
              "            &lt;B&gt;\n         </FONT>\n      </TD>\n   </TR>\n"
              "   <TR>\n      <TD BGCOLOR=\"#88ccff\" WIDTH=\"10\">\n         &nbsp;\n      </TD>\n"
              "      <TD WIDTH=\"100%\">\n         <B>\n            &nbsp;\n            x\n         </B>\n      </TD>\n"
              "   </TR>\n"
              "   <TR>\n      <TD BGCOLOR=\"#88ccff\" COLSPAN=\"2\">\n         <FONT SIZE=\"1\">\n"
              "            &lt;/B&gt;\n         </FONT>\n      </TD>\n   </TR>\n"
              "</TABLE>\n");
}

TEST(HtmlTreeView, ChildrenCycleThroughTheOtherColours) {
    const Html ps{pTag({}).front(), pTag({}).front(), pTag({}).front(), pTag({}).front()};
    const HtmlTree root = toHtmlTree(HtmlTag("DIV", {}, ps));
    EXPECT_EQ(bgcolours(treeTable(treeColours(), root)),
              (std::vector<std::string>{"#88ccff", "#88ccff", "#ffffaa", "#ffaaff", "#ccffff", "#ffffaa", "#88ccff"}));
    // A grandchild continues from its parent's place in the cycle.
    const HtmlTree nested = toHtmlTree(HtmlTag("DIV", {}, pTag(pTag({}))));
    EXPECT_EQ(bgcolours(treeTable(treeColours(), nested)),
              (std::vector<std::string>{"#88ccff", "#88ccff", "#ffffaa", "#ffffaa", "#ffaaff", "#ffffaa", "#88ccff"}));
    EXPECT_EQ(asHtml(std::vector<HtmlTree>{root, nested}),
              appendHtml(treeTable(treeColours(), root), treeTable(treeColours(), nested)));
}

TEST(HtmlTreeView, ChildlessNodeWithCloseLabelGetsTheNextColourAsFiller) {
    const HtmlTree node = HtmlNode({HtmlString("o")}, {}, {HtmlString("z")});
    EXPECT_EQ(bgcolours(treeTable(treeColours(), node)),
              (std::vector<std::string>{"#88ccff", "#88ccff", "#ffffaa", "#88ccff"}));
}

TEST(HtmlTreeView, ColourListsOutsideTheContractStopWithTheImpossibleError) {
    const HtmlTree leaf = HtmlLeaf({HtmlString("l")});
    const HtmlTree node = HtmlNode({HtmlString("o")}, {leaf, leaf}, {});
    const std::string impossible = "The imposible happens";
    EXPECT_EQ(failureText([&] { treeLayout(colours({}), leaf); }), impossible);
    EXPECT_EQ(failureText([&] { treeLayout(colours({"a"}), node); }), impossible);
    EXPECT_EQ(failureText([&] { treeLayout(colours({"a", "b"}), node); }), impossible);
    EXPECT_EQ(failureText([&] { treeLayout(colours({"a", "b", "a", "a"}), node); }), impossible);
    // An endless list whose colours after the first child's all equal the parent's.
    const auto stuck = generate([](std::size_t i) { return std::string(i == 1 ? "b" : "a"); });
    EXPECT_EQ(failureText([&] { treeLayout(stuck, node); }), impossible);
    // A long run of the parent's colour is passed over when another colour follows it.
    const auto patient = generate([](std::size_t i) { return std::string(i == 1 ? "b" : i < 2000 ? "a" : "c"); });
    EXPECT_EQ(layoutRows(treeLayout(patient, node)).size(), 4u);
    EXPECT_EQ(layoutRows(treeLayout(colours({"a"}), leaf)).size(), 1u);
    EXPECT_EQ(failureText([&] { treeLayout(colours({"a", "b", "c"}), node); }), "no failure");
}

TEST(HtmlDebugView, HeaderAboveOneCellOfTreeTables) {
    EXPECT_EQ(prettyHtml(debugView(Html{})),
              "<TABLE BORDER=\"0\">\n"
              "   <TR>\n      <TH BGCOLOR=\"#008888\">\n         <U>\n            Debugging Output\n"
              "         </U>\n      </TH>\n   </TR>\n"
              "   <TR>\n      <TD>\n      </TD>\n   </TR>\n"
              "</TABLE>\n");
    const Html view = debugView(std::string("x"));
    const Html& secondRow = markupContent(markupContent(view[0])[1]);
    EXPECT_EQ(markupContent(secondRow[0]), treeTable(treeColours(), HtmlLeaf(appendHtml(nbspHtml, {HtmlString("x")}))));
    const Html two = debugView(appendHtml(brElement, hrElement));
    EXPECT_EQ(markupContent(markupContent(markupContent(two[0])[1])[0]).size(), 2u);
}

}  // namespace
}  // namespace plim
