// The HTML vocabulary, the escaping text helpers, links, forms, lists and conversions.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "support/errors.h"
#include "html/html.h"

namespace plim {
namespace {

std::string render(const Html& html) {
    std::string out;
    for (const HtmlElement& e : html) out += renderElement(0, e);
    return out;
}

TEST(HtmlVocabulary, NameListsHaveTheirCountsAndOrder) {
    const auto& tags = contentTagNames();
    const auto& attrs = attributeNames();
    ASSERT_EQ(tags.size(), 58u);
    ASSERT_EQ(attrs.size(), 68u);
    EXPECT_EQ(tags.front(), "ADDRESS");
    EXPECT_EQ(tags[1], "A");
    EXPECT_EQ(tags.back(), "VAR");
    EXPECT_EQ(std::vector<std::string>(tags.begin() + 47, tags.begin() + 54),
              (std::vector<std::string>{"CODE", "DIV", "HTML", "LINK", "MAP", "TITLE", "TR"}));
    EXPECT_EQ(std::vector<std::string>(attrs.begin() + 55, attrs.begin() + 62),
              (std::vector<std::string>{"TARGET", "TEXT", "CLASS", "STYLE", "TYPE", "TITLE", "USEMAP"}));
    EXPECT_EQ(attrs.back(), "WIDTH");
    std::vector<std::string> common;
    for (const auto& t : tags)
        if (isNoEndTagName(t)) common.push_back(t);
    EXPECT_EQ(common, std::vector<std::string>{"LINK"});
}

TEST(HtmlVocabulary, NameConstantsAndShared) {
    EXPECT_EQ(divTagName, "DIV");
    EXPECT_EQ(htmlTagName, "HTML");
    EXPECT_EQ(bodyTagName, "BODY");
    EXPECT_EQ(classAttrName, "CLASS");
    EXPECT_EQ(httpequivAttrName, "HTTPEQUIV");
    EXPECT_EQ(titleAttrName, "TITLE");  // also the name of the TITLE tag
    EXPECT_EQ(markupTag(titleTag({}).front()), titleAttrName);
    EXPECT_EQ(markupTag(baseElement.front()), "BASE");
}

TEST(HtmlVocabulary, TagCombinatorsWrapContentUnchanged) {
    const Html content{HtmlString("<x>")};
    const Html h = h1Tag(content);
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(markupTag(h[0]), "H1");
    EXPECT_TRUE(markupAttrs(h[0]).empty());
    EXPECT_EQ(markupContent(h[0]), content);
    EXPECT_EQ(paragraphTag(content), pTag(content));
    EXPECT_EQ(varTag({}), element("VAR", {}));
    EXPECT_EQ(render(divTag({})), "<DIV>\n</DIV>\n");
}

TEST(HtmlVocabulary, AttributesOfThreeKinds) {
    EXPECT_EQ(heightAttr(0), HtmlAttr("HEIGHT", "0"));
    EXPECT_EQ(heightAttr(-42), HtmlAttr("HEIGHT", "-42"));
    EXPECT_EQ(colspanAttr(INT_MIN), HtmlAttr("COLSPAN", "-2147483648"));
    EXPECT_EQ(widthAttr("100%"), HtmlAttr("WIDTH", "100%"));
    EXPECT_EQ(colsAttr("3"), HtmlAttr("COLS", "3"));
    EXPECT_EQ(checkedAttr, HtmlAttr("CHECKED", ""));
    EXPECT_EQ(nowrapAttr, HtmlAttr("NOWRAP", ""));
    EXPECT_EQ(valueAttr("a\"<&"), HtmlAttr("VALUE", "a\"<&"));
    EXPECT_EQ(render(withAttributes(pTag({}), {valueAttr("a\"<&")})), "<P VALUE=\"a\"<&\">\n</P>\n");
}

TEST(HtmlVocabulary, ElementConstantsAreSharedAndRawTextIsKept) {
    ASSERT_EQ(brElement.size(), 1u);
    EXPECT_EQ(markupTag(brElement[0]), "BR");
    const Html twice = appendHtml(brElement, brElement);
    EXPECT_EQ(twice[0], twice[1]);
    const Html marked = withAttributes(brElement, {classAttr("k")});
    EXPECT_EQ(markupAttrs(marked[0]).size(), 1u);
    EXPECT_TRUE(markupAttrs(brElement[0]).empty());
    EXPECT_EQ(rawHtml(""), Html{HtmlString("")});
    EXPECT_EQ(render(rawHtml("<b>&amp;")), "<b>&amp;");
}

TEST(HtmlEscaping, TextEscapesOnlyFourCharacters) {
    EXPECT_EQ(escapeHtmlText("a<b & c>d"), "a&lt;b &amp; c&gt;d");
    EXPECT_EQ(escapeHtmlText("say \"hi\" 'x'"), "say &quot;hi&quot; 'x'");
    EXPECT_EQ(escapeHtmlText("\xe9\t\x01"), "\xe9\t\x01");
    EXPECT_EQ(escapeHtmlText("&amp;"), "&amp;amp;");
    EXPECT_EQ(escapeHtmlText(""), "");
}

TEST(HtmlEscaping, LineEscapesBeforeMakingBlanksNonBreaking) {
    EXPECT_EQ(escapeHtmlLine("a  b"), "a&nbsp;&nbsp;b");
    EXPECT_EQ(escapeHtmlLine("&nbsp;"), "&amp;nbsp;");
    EXPECT_EQ(escapeHtmlLine("x\ty <"), "x\ty&nbsp;&lt;");
    EXPECT_EQ(nonBreakingSpaces("a b\n"), "a&nbsp;b\n");
    EXPECT_EQ(lineHtml("a b"), Html{HtmlString("a&nbsp;b")});
}

TEST(HtmlEscaping, LinesAreSeparatedByTheSharedLineBreak) {
    EXPECT_TRUE(linesHtml({}).empty());
    EXPECT_EQ(linesHtml({"x"}), Html{HtmlString("x")});
    const Html three = linesHtml({"a <", "", "b c"});
    EXPECT_EQ(three, (Html{HtmlString("a&nbsp;&lt;"), brElement[0], HtmlString(""), brElement[0], HtmlString("b&nbsp;c")}));
    EXPECT_EQ(linesHtml({"a\nb"}), Html{HtmlString("a\nb")});
    EXPECT_EQ(linesHtmlFrom("a", {"b"}), linesHtml({"a", "b"}));
    EXPECT_EQ(render(linesHtml({"x", "y"})), "x<BR>\ny");
}

TEST(HtmlEscaping, StringConversionsDifferOnEmptyText) {
    EXPECT_EQ(stringToHtml(""), Html{HtmlString("")});
    EXPECT_TRUE(stringAsHtml("").empty());
    EXPECT_EQ(stringAsHtml("a&b"), Html{HtmlString("a&amp;b")});
    EXPECT_EQ(stringListToHtml({"", "<", ""}), Html{HtmlString("&lt;")});
    EXPECT_EQ(charAsHtml('"'), Html{HtmlString("&quot;")});
}

TEST(HtmlAttributes, WithAttributesAppendsToTopLevelTagsOnly) {
    const Html inner = bTag({});
    const Html mixed{HtmlString("x"), HtmlTag("B", {}, inner)};
    const Html out = withAttributes(mixed, {classAttr("k")});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], HtmlString("x"));
    EXPECT_EQ(markupAttrs(out[1]), std::vector<HtmlAttr>{classAttr("k")});
    EXPECT_TRUE(markupAttrs(markupContent(out[1])[0]).empty());
    const Html twice = withAttributes(withAttributes(pTag({}), {classAttr("a"), idAttr("i")}), {classAttr("b")});
    EXPECT_EQ(markupAttrs(twice[0]), (std::vector<HtmlAttr>{classAttr("a"), idAttr("i"), classAttr("b")}));
    EXPECT_EQ(tagWithAttributes(divTag, {idAttr("d")}, {}), withAttributes(divTag({}), {idAttr("d")}));
}

TEST(HtmlAttributes, WithAttributesAndMapContentLeaveLazyContentUnread) {
    bool read = false;
    const HtmlElement lazy = lazyHtmlTag("DIV", {}, Lazy<Html>::defer([&read] {
                                             read = true;
                                             return Html{HtmlString("x")};
                                         }));
    const Html marked = withAttributes({lazy}, {idAttr("i")});
    const HtmlElement mapped = mapContent([](const Html& h) { return pTag(h); }, marked[0]);
    EXPECT_FALSE(read);
    EXPECT_EQ(render({mapped}), "<DIV ID=\"i\">\n<P>\n  x</P>\n  </DIV>\n");
    EXPECT_TRUE(read);
    EXPECT_EQ(mapContent([](const Html&) { return Html{}; }, HtmlString("s")), HtmlString("s"));
}

TEST(HtmlLinks, AnchorPutsHrefFirstAndJoinsContents) {
    HotLink link = hotlink("u", {{HtmlString("a")}, {HtmlString("b")}});
    link.hotLinkAttributes = {targetAttr("t")};
    EXPECT_EQ(render(anchor(link)), "<A HREF=\"u\" TARGET=\"t\">\nab</A>\n");
    EXPECT_EQ(render(asHtml(link)), render(anchor(link)));
    EXPECT_EQ(anchors({link, hotlink("v", {})}).size(), 2u);
    EXPECT_EQ(render(asHtml(std::vector<HotLink>{hotlink("v", {})})), "<A HREF=\"v\">\n</A>\n");
}

TEST(HtmlForms, FieldsFormsAndMenus) {
    EXPECT_EQ(render(form("go", {HtmlString("c")})), "<FORM ACTION=\"go\" METHOD=\"POST\">\nc</FORM>\n");
    EXPECT_EQ(render(submitInput("n", "v")), "<INPUT TYPE=\"SUBMIT\" NAME=\"n\" VALUE=\"v\">\n");
    EXPECT_EQ(render(checkboxInput("n", "v")), "<INPUT TYPE=\"CHECKBOX\" NAME=\"n\" VALUE=\"v\">\n");
    EXPECT_EQ(render(hiddenInput("n", "v")), "<INPUT TYPE=\"HIDDEN\" NAME=\"n\" VALUE=\"v\">\n");
    EXPECT_EQ(render(radioInput("n", "v")), "<INPUT TYPE=\"RADIO\" NAME=\"n\" VALUE=\"v\">\n");
    EXPECT_EQ(render(resetInput("n", "v")), "<INPUT TYPE=\"RESET\" NAME=\"n\" VALUE=\"v\">\n");
    EXPECT_EQ(render(textInput("n")), "<INPUT TYPE=\"TEXT\" NAME=\"n\">\n");
    EXPECT_EQ(render(passwordInput("n")), "<INPUT TYPE=\"PASSWORD\" NAME=\"n\">\n");
    EXPECT_EQ(render(fileInput("n")), "<INPUT TYPE=\"FILE\" NAME=\"n\">\n");
    EXPECT_EQ(render(imageInput("n")), "<INPUT TYPE=\"IMAGE\" NAME=\"n\">\n");
    EXPECT_TRUE(markupAttrs(inputElement[0]).empty());
    EXPECT_EQ(prettyHtml(menu("m", {{HtmlString("x")}, {HtmlString("y")}})),
              "<SELECT NAME=\"m\">\n   <OPTION>\n      <P>\n         x\n      </P>\n   </OPTION>\n"
              "   <OPTION>\n      <P>\n         y\n      </P>\n   </OPTION>\n</SELECT>\n");
    EXPECT_EQ(menuOptions({{HtmlString("x")}}), std::vector<Html>{optionTag(pTag({HtmlString("x")}))});
}

TEST(HtmlLists, ListsEntitiesAndColours) {
    EXPECT_EQ(render(bulletList(std::vector<std::string>{})), "<UL>\n</UL>\n");
    EXPECT_EQ(prettyHtml(numberedList(std::vector<std::string>{"a<"})), "<OL>\n   <LI>\n      a&lt;\n   </LI>\n</OL>\n");
    EXPECT_EQ(prettyHtml(definitionList(std::vector<std::pair<std::string, Html>>{{"t", {HtmlString("d")}}})),
              "<DL>\n   <DT>\n      <B>\n         t\n      </B>\n   </DT>\n   <DD>\n      d\n   </DD>\n</DL>\n");
    EXPECT_EQ(entityHtml("amp"), Html{HtmlString("&amp;")});
    EXPECT_EQ(nbspHtml, Html{HtmlString("&nbsp;")});
    EXPECT_EQ(bulletHtml, Html{HtmlString("&#149;")});
    EXPECT_EQ(copySignHtml, Html{HtmlString("&copy;")});
    EXPECT_EQ(toVector(treeColours(), 6),
              (std::vector<std::string>{"#88ccff", "#ffffaa", "#ffaaff", "#ccffff", "#88ccff", "#ffffaa"}));
    EXPECT_EQ(whiteColour, "white");
    EXPECT_EQ(aquaColour, "aqua");
}

TEST(HtmlSources, ConversionsOfEveryInstance) {
    const Html a{HtmlString("a")}, b{HtmlString("b")};
    EXPECT_EQ(asHtml(a), a);
    EXPECT_EQ(asHtml(std::vector<Html>{a, b}), appendHtml(a, b));
    EXPECT_EQ(asHtml(std::vector<std::vector<Html>>{{a}, {b, a}}), concatHtml({a, b, a}));
    EXPECT_EQ(asHtml(std::vector<std::vector<std::vector<Html>>>{{{a}}, {{b}}}), appendHtml(a, b));
    EXPECT_EQ(asHtml(std::string("x>")), Html{HtmlString("x&gt;")});
    EXPECT_EQ(asHtml('&'), Html{HtmlString("&amp;")});
    EXPECT_EQ(asHtml(std::vector<std::string>{"a", "", "b"}), appendHtml(a, b));
    EXPECT_EQ(asHtml(std::vector<std::vector<std::string>>{{"a"}, {"b"}}), appendHtml(a, b));
    EXPECT_EQ(htmlAppend(std::string("a"), b), appendHtml(a, b));
    EXPECT_EQ(concatHtmlSources(std::vector<std::string>{"a", "b"}), appendHtml(a, b));
    EXPECT_EQ(applyToHtml(pTag, std::string("<")), pTag({HtmlString("&lt;")}));
    EXPECT_EQ(applyToString(pTag, ""), pTag({}));
    EXPECT_EQ(prettyHtmlOf(std::string("q")), "q\n");
}

TEST(HtmlErrors, FatalMessagesHaveTheirExactTexts) {
    auto message = [](void (*raise)()) {
        try {
            raise();
        } catch (const InternalError& e) {
            return e.message();
        }
        return std::string("none");
    };
    EXPECT_EQ(message(besidesEmptyError), "besides []");
    EXPECT_EQ(message(abovesEmptyError), "aboves []");
    EXPECT_EQ(message(impossibleError), "The imposible happens");
}

}  // namespace
}  // namespace plim
