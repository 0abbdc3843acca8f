// The HTML model: rendering as text, the banner, the line-per-tag display and display forms.
#include <gtest/gtest.h>

#include <sstream>

#include "support/big_stack.h"
#include "support/errors.h"
#include "html/html.h"
#include "support/failure_text.h"

namespace plim {
namespace {

std::string render(const Html& html, int level = 0) {
    std::string out;
    for (const HtmlElement& e : html) out += renderElement(level, e);
    return out;
}

TEST(HtmlRender, PageExampleByteForByte) {
    const HtmlElement page = HtmlTag("HTML", {}, {HtmlTag("BODY", {}, {HtmlString("x")})});
    EXPECT_EQ(renderElement(0, page, "\n"), "<HTML>\n<BODY>\n  x</BODY>\n  </HTML>\n\n");
    EXPECT_EQ(renderPage(Html{HtmlTag("BODY", {}, {HtmlString("x")})}),
              std::string(doctypeBanner) + "<HTML>\n<BODY>\n  x</BODY>\n  </HTML>\n\n");
}

TEST(HtmlRender, BannerIsThreeExactLines) {
    EXPECT_EQ(doctypeBanner,
              "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\"\n"
              "          \"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
              "<!--Rendered using the Quelt Html Library v0.2-->\n");
    EXPECT_EQ(renderPage(Html{}), std::string(doctypeBanner) + "<HTML>\n</HTML>\n\n");
}

TEST(HtmlRender, IndentationUsesTabsAndBlanksWithFlooredDivision) {
    EXPECT_EQ(renderTag(true, "P", {}, 10, "r"), "<P>\n\t  r");
    EXPECT_EQ(renderTag(true, "P", {}, 16, "r"), "<P>\n\t\tr");
    EXPECT_EQ(renderTag(true, "P", {}, 7, ""), "<P>\n       ");
    EXPECT_EQ(renderTag(false, "P", {}, -1, ""), "</P>\n       ");
    EXPECT_EQ(renderTag(false, "P", {}, -8, ""), "</P>\n");
    EXPECT_EQ(renderTag(false, "P", {}, -9, ""), "</P>\n       ");
    EXPECT_EQ(renderTag(false, "P", {}, -3, ""), "</P>\n     ");
    // Children sit two levels deeper.
    EXPECT_EQ(renderElement(6, HtmlTag("P", {}, {HtmlTag("I", {}, {})})), "<P>\n      <I>\n\t</I>\n\t</P>\n      ");
}

TEST(HtmlRender, NoEndTagOnlyForListedNamesWithEmptyContent) {
    EXPECT_EQ(render(brElement), "<BR>\n");
    EXPECT_EQ(render(brElement, 3), "<BR>\n   ");
    EXPECT_EQ(render({HtmlTag("BR", {}, {HtmlString("x")})}), "<BR>\nx</BR>\n");
    EXPECT_EQ(render({HtmlTag("br", {}, {})}), "<br>\n</br>\n");
    EXPECT_EQ(render(divTag({})), "<DIV>\n</DIV>\n");
    EXPECT_EQ(render(divTag({}), 2), "<DIV>\n  </DIV>\n  ");
    EXPECT_EQ(render(linkTag({})), "<LINK>\n");
    EXPECT_EQ(render(linkTag({HtmlString("t")})), "<LINK>\nt</LINK>\n");
    EXPECT_EQ(noEndTagNames(), (std::vector<std::string>{"AREA", "BASEFONT", "BR", "HR", "IMG", "INPUT", "LINK",
                                                          "META", "PARAM", "BASE"}));
}

TEST(HtmlRender, AttributesInOrderSeparatedByOneBlankAndNeverOnClosingTags) {
    EXPECT_EQ(render(withAttributes(imgElement, {srcAttr("a.gif")})), "<IMG SRC=\"a.gif\">\n");
    EXPECT_EQ(render(withAttributes(imgElement, {srcAttr("a.gif"), altAttr("b")})),
              "<IMG SRC=\"a.gif\" ALT=\"b\">\n");
    EXPECT_EQ(render(withAttributes(inputElement, {checkedAttr})), "<INPUT CHECKED=\"\">\n");
    EXPECT_EQ(render({HtmlTag("P", {classAttr("k"), classAttr("k")}, {HtmlString("t")})}),
              "<P CLASS=\"k\" CLASS=\"k\">\nt</P>\n");
    EXPECT_EQ(renderAttr(HtmlAttr("TITLE", "a\"<&")), "TITLE=\"a\"<&\"");
}

TEST(HtmlRender, CopiesTextAndNamesUnescaped) {
    EXPECT_EQ(render({HtmlString("a<b&c>\"")}), "a<b&c>\"");
    EXPECT_EQ(render({HtmlTag("", {}, {})}), "<>\n</>\n");
    EXPECT_EQ(renderElement(0, HtmlString("t"), "rest"), "trest");
}

TEST(HtmlRender, TextChildContinuesItsLineAndLaterChildrenIndent) {
    const Html body = bodyTag({HtmlString("a"), HtmlTag("P", {}, {HtmlString("b")}), HtmlString("c")});
    EXPECT_EQ(render(body), "<BODY>\na<P>\n  b</P>\n  c</BODY>\n");
}

TEST(HtmlRender, StreamsLazyContentAndStopsWhereItFails) {
    const HtmlElement page = HtmlTag(
        "HTML", {},
        {HtmlTag("HEAD", {}, {}), lazyHtmlTag("BODY", {}, Lazy<Html>::defer([]() -> Html { failInternal("boom"); }))});
    std::ostringstream out;
    EXPECT_THROW(renderElementTo(out, 0, page), InternalError);
    EXPECT_EQ(out.str(), "<HTML>\n<HEAD>\n  </HEAD>\n  ");
}

TEST(HtmlRender, LongAndDeepDocumentsRenderWithoutRecursion) {
    Html many(100000, HtmlString("x"));
    EXPECT_EQ(renderElement(0, HtmlTag("P", {}, many)).size(), 4 + 100000 + 5);
    EXPECT_EQ(prettyLines(pTag(many)).size(), 100002u);
    runOnLargeStack([] {  // only the release of the nested handles recurses
        Html deep{HtmlString("x")};
        for (int i = 0; i < 5000; ++i) deep = divTag(std::move(deep));
        const std::string text = render(deep);
        EXPECT_EQ(text.substr(0, 12), "<DIV>\n<DIV>\n");
        EXPECT_EQ(text.substr(text.size() - 16), "</DIV>\n  </DIV>\n");
        EXPECT_EQ(prettyLines(deep).size(), 10001u);
    });
}

TEST(HtmlRender, FieldSelectorsOfTextStopWithTheirMessages) {
    const HtmlElement s = HtmlString("x");
    EXPECT_EQ(failureText([&] { markupTag(s); }), "No match in record selector Html.markupTag");
    EXPECT_EQ(failureText([&] { markupAttrs(s); }), "No match in record selector Html.markupAttrs");
    EXPECT_EQ(failureText([&] { markupContent(s); }), "No match in record selector Html.markupContent");
    const HtmlElement t = HtmlTag("B", {idAttr("i")}, {s});
    EXPECT_EQ(markupTag(t), "B");
    EXPECT_EQ(markupAttrs(t), std::vector<HtmlAttr>{HtmlAttr("ID", "i")});
    EXPECT_EQ(markupContent(t), Html{s});
}

TEST(HtmlPretty, OneLinePerTagIndentedByThreeBlanks) {
    EXPECT_EQ(prettyHtml(pTag({HtmlString("hi")})), "<P>\n   hi\n</P>\n");
    EXPECT_EQ(prettyHtml({}), "");
    EXPECT_TRUE(prettyLines({}).empty());
    EXPECT_EQ(prettyHtml(brElement), "<BR>\n");
    EXPECT_EQ(prettyHtml({HtmlTag("BR", {}, {HtmlString("x")})}), "<BR>\n   x\n</BR>\n");
    EXPECT_EQ(prettyHtml(divTag(pTag({HtmlString("a")}))), "<DIV>\n   <P>\n      a\n   </P>\n</DIV>\n");
    EXPECT_EQ(prettyHtml(appendHtml(brElement, hrElement)), "<BR>\n<HR>\n");
    EXPECT_EQ(prettyHtml(divTag({})), "<DIV>\n</DIV>\n");
}

TEST(HtmlPretty, LineFeedsLeaveTagLinesButStayInText) {
    EXPECT_EQ(prettyElement(HtmlTag("P", {titleAttr("a\nb")}, {})), (std::vector<std::string>{"<P TITLE=\"ab\">", "</P>"}));
    EXPECT_EQ(prettyHtml(divTag({HtmlString("a\nb")})), "<DIV>\n   a\nb\n</DIV>\n");
    EXPECT_EQ(stripNewlines("\na\nb\n"), "ab");
    EXPECT_FALSE(notNewline('\n'));
    EXPECT_TRUE(notNewline('\r'));
}

TEST(HtmlShow, AttributesAndLinksShowAsStringLiteralsAndRecords) {
    EXPECT_EQ(showAttrPair("ALT", "a\"b\\c"), "ALT=\"a\\\"b\\\\c\"");
    EXPECT_EQ(showAttrPair("ALT", "x\ny\t\x01" "2"), "ALT=\"x\\ny\\t\\SOH2\"");
    EXPECT_EQ(showHtmlAttrs({classAttr("k"), checkedAttr}), "[CLASS=\"k\",CHECKED=\"\"]");
    EXPECT_EQ(showHtmlAttrs({}), "[]");
    HotLink link = hotlink("u", {{HtmlString("a")}});
    link.hotLinkAttributes.push_back(targetAttr("t"));
    const std::string record =
        "HotLink {hotLinkURL = \"u\", hotLinkContents = [a\n], hotLinkAttributes = [TARGET=\"t\"]}";
    EXPECT_EQ(showHotLink(link), record);
    EXPECT_EQ(showHotLink(link, 11), "(" + record + ")");
    EXPECT_EQ(showHotLinks({}), "[]");
    EXPECT_EQ(showHotLinks({link, link}), "[" + record + "," + record + "]");
}

TEST(HtmlModel, ConcatenationAtEveryListLevel) {
    const Html a{HtmlString("a")}, b{HtmlString("b")};
    EXPECT_EQ(concatHtml({a, {}, b}), (Html{a[0], b[0]}));
    EXPECT_EQ(concatHtmlLists({{a}, {b, a}}), (Html{a[0], b[0], a[0]}));
    EXPECT_EQ(concatHtmlLists3({{{a}}, {{b}, {a}}}), (Html{a[0], b[0], a[0]}));
    EXPECT_TRUE(isEmptyHtml({}));
    EXPECT_FALSE(isEmptyHtml(rawHtml("")));
}

}  // namespace
}  // namespace plim
