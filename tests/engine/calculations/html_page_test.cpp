#include "engine/calculations/calculation.h"

#include <gtest/gtest.h>

#include "engine/rewriting/driver_test_util.h"

namespace plim {
namespace {

using namespace rewrite_test;

std::string render(const Html& html) {
    std::string out;
    for (const HtmlElement& e : html) out += renderElement(0, e);
    return out;
}

std::string page(const Derivation& d) { return render({HtmlTag("HTML", {}, debugPage(d))}); }

MatchResult bindQ() { return MatchResult{{{"q", zero()}}, identitySubst()}; }

// The ids of the expander sections in the order they appear, with their initial state.
std::vector<std::string> sections(const std::string& html) {
    std::vector<std::string> out;
    const std::string key = "ID=\"divon";
    for (std::size_t at = html.find(key); at != std::string::npos; at = html.find(key, at + 1)) {
        const std::size_t idEnd = html.find('"', at + key.size());
        const std::string id = html.substr(at + key.size(), idEnd - at - key.size());
        const bool open = html.compare(idEnd, 25, "\" STYLE=\"display:\">") == 0 ||
                          html.substr(idEnd, 19) == "\" STYLE=\"display:\">";
        out.push_back(id + (open ? "+" : "-"));
    }
    return out;
}

TEST(DebugPage, WithoutStepsByteForByte) {
    const std::string expected =
        "\n<HTML>\n"
        "<HEAD>\n"
        "  <TITLE>\n"
        "    PLIM Debugging Output</TITLE>\n"
        "    <LINK REL=\"STYLESHEET\" TYPE=\"text/css\" HREF=\"plim.css\">\n"
        "    </HEAD>\n"
        "  <BODY>\n"
        "  <SCRIPT TYPE=\"text/javascript\">\n"
        "    <!--\n"
        "function dobranch(branchon, branchoff, imageID) {\n"
        "         if (branchon.style.display == \"none\") {\n"
        "                branchon.style.display = \"\";\n"
        "                branchoff.style.display = \"none\";\n"
        "                imageID.src = \"minus.gif\";\n"
        "       } else {\n"
        "                branchon.style.display = \"none\";\n"
        "                branchoff.style.display = \"\";\n"
        "                imageID.src = \"plus.gif\";\n"
        "       }\n"
        "}\n"
        "// -->\n"
        "</SCRIPT>\n"
        "    <SPAN CLASS=\"expander\" ONCLICK=\"dobranch(divonb,divoffb,imgb)\">\n"
        "    <IMG SRC=\"minus.gif\" ID=\"imgb\" ALT=\"button\">\n"
        "      </SPAN>\n"
        "    <SPAN CLASS=\"calc\" ID=\"divonb\" STYLE=\"display:\">\n"
        "    <DIV CLASS=\"expression\">\n"
        "      <P>\n"
        "\tZ</P>\n"
        "\t</DIV>\n"
        "      <BR>\n"
        "      </SPAN>\n"
        "    <SPAN CLASS=\"calc\" ID=\"divoffb\" STYLE=\"display: none\">\n"
        "    <BR>\n"
        "      </SPAN>\n"
        "    </BODY>\n"
        "  </HTML>\n";
    EXPECT_EQ("\n" + page(Derivation{zero(), {}, {}}), expected);
}

TEST(DebugPage, IdsAreDrawnInnerSectionsFirst) {
    const Derivation one{peano(1), fromVector(std::vector<CalcStep>{{plainStep("r", bindQ()), zero()}}), {}};
    EXPECT_EQ(sections(page(one)), (std::vector<std::string>{"c+", "b-"}));

    const Derivation two{peano(2),
                         fromVector(std::vector<CalcStep>{{plainStep("r", bindQ()), peano(1)},
                                                          {plainStep("s", bindQ()), zero()}}),
                         fromVector(std::vector<Calculation>{plainStep("t", bindQ())})};
    const std::string html = page(two);
    // Sections appear in document order: the whole derivation's span comes after its content
    // in id order but encloses it on the page.
    EXPECT_EQ(sections(html), (std::vector<std::string>{"f+", "b-", "c-", "e-", "d-"}));
    EXPECT_NE(html.find("dobranch(divone,divoffe,imge)"), std::string::npos);
    EXPECT_NE(html.find("<I>\n"), std::string::npos);
    EXPECT_NE(html.find("failures</I>"), std::string::npos);
}

TEST(DebugPage, ConditionalStepsOpenTheirDetails) {
    const Derivation nested{add(zero(), zero()), {}, fromVector(std::vector<Calculation>{plainStep("n", bindQ())})};
    const Derivation d{peano(1),
                       fromVector(std::vector<CalcStep>{{conditionalStep("c", bindQ(), {nested}), zero()}}), {}};
    const std::string html = page(d);
    // a dropped; b the step's substitution; c dropped by the nested derivation, d its failure's
    // substitution, e its failures, f the nested derivation; g the details; h the whole.
    EXPECT_EQ(sections(html), (std::vector<std::string>{"h+", "b-", "g+", "f+", "e-", "d-"}));
    EXPECT_NE(html.find("details</I>"), std::string::npos);
    EXPECT_NE(html.find("<DIV CLASS=\"subcalc\">"), std::string::npos);
}

// A browser ends a paragraph at the first block inside it, so no hint holds its sections in
// one: a folded substitution would be taken out of its section and always show.
TEST(DebugPage, HintsHoldTheirSectionsOutsideAnyParagraph) {
    const std::string plain = render(calculationHtml(plainStep("r", bindQ()), idSupply()).first);
    EXPECT_EQ(plain.rfind("<DIV CLASS=\"hint\">\n= { r }<SPAN CLASS=\"expander\"", 0), 0u) << plain;
    EXPECT_EQ(plain.find("<P>"), plain.find("<P>\n\tq := Z</P>")) << plain;  // the binding's own block only
    const Derivation nested{zero(), {}, {}};
    const std::string conditional =
        render(calculationHtml(conditionalStep("c", bindQ(), {nested}), idSupply()).first);
    EXPECT_EQ(conditional.rfind("<DIV CLASS=\"hint\">\n= { c }<SPAN CLASS=\"expander\"", 0), 0u) << conditional;
}

TEST(DebugPage, TextsAreEscaped) {
    const Derivation d{add(var("x"), zero()),
                       fromVector(std::vector<CalcStep>{{plainStep("<&\">", bindQ()), zero()},
                                                        {plainStep("", bindQ()), zero()}}),
                       {}};
    const std::string html = page(d);
    EXPECT_NE(html.find("&lt;&amp;&quot;&gt;"), std::string::npos);
    EXPECT_EQ(html.find("<&\">"), std::string::npos);
    EXPECT_NE(html.find("add&nbsp;x&nbsp;Z"), std::string::npos);
    EXPECT_NE(html.find("= {  }<SPAN"), std::string::npos);
}

TEST(DebugPage, SeveralLinesOfAnExpressionAreSeparatedByBreaks) {
    Expr e = zero();
    for (int i = 0; i < 60; ++i) e = add(peano(i % 2), e);
    const Html block = expressionBlock(e);
    const std::string html = render(block);
    EXPECT_NE(html.find("<BR>"), std::string::npos);
}

TEST(DebugPage, IdSupplyRunsThroughAllLetterStrings) {
    const std::vector<std::string> ids = idSupply().take(28);
    EXPECT_EQ(ids[0], "a");
    EXPECT_EQ(ids[25], "z");
    EXPECT_EQ(ids[26], "aa");
    EXPECT_EQ(ids[27], "ab");
}

}  // namespace
}  // namespace plim
