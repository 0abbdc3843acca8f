// Higher-level layouts: brackets, lists, horizontal-or-vertical lists, conditionals, blocks.
#include <gtest/gtest.h>

#include "layout/layout_test_util.h"
#include "support/big_stack.h"
#include "layout/combinators.h"

namespace plim {
namespace {

using namespace pretty_test;

std::vector<Doc> texts(std::vector<std::string> ss) {
    std::vector<Doc> out;
    for (auto& s : ss) out.push_back(txt(s));
    return out;
}

TEST(PrettyLayouts, Enclosing) {
    EXPECT_EQ(renderDoc(parensDoc(txt("x")), 80), "(x)");
    EXPECT_EQ(renderDoc(bracketsDoc(emptyDoc()), 80), "[]");
    EXPECT_EQ(renderDoc(bracesDoc(txt("x")), 80), "{x}");
    EXPECT_EQ(renderDoc(doubleQuotesDoc(txt("x")), 80), "\"x\"");
    EXPECT_EQ(renderDoc(backQuotesDoc(txt("f")), 80), "`f'");
    EXPECT_EQ(renderDoc(parensDoc(aboveDoc(txt("ab"), txt("c"))), 80), "(ab\n c)");
    EXPECT_EQ(renderDoc(encloseValuesDoc(std::string("<<"), std::string(">>"), txt("x")), 80), "<<x>>");
}

TEST(PrettyLayouts, EmptyListsRenderNothing) {
    EXPECT_EQ(renderDoc(aboveList(std::vector<Doc>{}), 80), "");
    EXPECT_EQ(renderDoc(besideSpaceList(std::vector<Doc>{}), 80), "");
    EXPECT_EQ(renderDoc(hvList({}), 80), "");
    EXPECT_EQ(renderDoc(hvSpList(std::vector<Doc>{}), 80), "");
    EXPECT_EQ(renderDoc(filteredBesideList({}), 80), "");
}

TEST(PrettyLayouts, SideBySideLists) {
    EXPECT_EQ(renderDoc(besideSpaceList(texts({"a", "b"})), 80), "a b ");
    EXPECT_EQ(renderDoc(besideList(texts({"a", "b", "c"})), 80), "abc");
    EXPECT_EQ(renderDoc(besideSpace(std::string("x"), txt("y")), 80), "x y");
    auto filtered = laidOut(filteredBesideList({txt("a"), aboveDoc(txt("b"), txt("c"))}), 80);
    EXPECT_EQ(filtered.first, std::vector<std::string>{"a*"});
    EXPECT_TRUE(filtered.tooWide);
}

TEST(PrettyLayouts, HvList) {
    auto items = texts({"a", "bb", "c"});
    EXPECT_EQ(renderDoc(hvList(items), 4), "abbc");
    EXPECT_EQ(renderDoc(hvList(items), 80), "abbc");
    EXPECT_EQ(renderDoc(hvList(items), 3), "a\nbb\nc");
    EXPECT_EQ(renderDoc(hvValueList(std::vector<std::string>{"a", "bb"}), 80), "abb");
}

TEST(PrettyLayouts, HvSpList) {
    auto items = texts({"f", "x", "y"});
    EXPECT_EQ(renderDoc(hvSpList(items), 5), "f x y");
    EXPECT_EQ(renderDoc(hvSpList(items), 4), "f\nx\ny");
    EXPECT_EQ(renderDoc(hvSpList(std::vector<std::string>{"f", "x"}), 80), "f x");
    // A single item keeps its own first candidate, several lines included.
    EXPECT_EQ(renderDoc(hvSpList({aboveDoc(txt("ab"), txt("c"))}), 80), "ab\nc");
    // The last item is not restricted to one line.
    EXPECT_EQ(renderDoc(hvSpList({txt("f"), aboveDoc(txt("ab"), txt("c"))}), 80), "f ab\n  c");
}

TEST(PrettyLayouts, AboveListStacksLikeNestedAboveDocs) {
    EXPECT_EQ(renderDoc(aboveList(texts({"a", "bb", "c"})), 80), "a\nbb\nc");
    auto a = laidOut(aboveList(texts({"a", "bbb", "cc"})), 80);
    EXPECT_EQ(a.sizes, (Sizes3{3, 0, 3}));

    // Items with several candidates, an empty item and a pair, against the nested form.
    Doc multi = joinDoc(dupDoc(txt("wide"), aboveDoc(txt("na"), txt("rr"))));
    Doc multi2 = joinDoc(dupDoc(txt("four"), aboveDoc(txt("tw"), txt("o"))));
    Doc pair = dupDoc(txt("p1"), txt("p22"));
    std::vector<std::vector<Doc>> cases = {
        {multi, multi2, txt("x")},
        {multi, emptyDoc(), multi2},
        {emptyDoc(), multi},
        {multi, pair, multi2},
        {pair, multi},
        {pair, emptyDoc()},
        {pair, multi, pair, txt("z")},
        {emptyDoc()},
    };
    for (const auto& items : cases) {
        Doc nested = emptyDoc();
        for (auto it = items.rbegin(); it != items.rend(); ++it) nested = aboveDoc(*it, nested);
        for (const LayoutInt w : {3, 4, 80}) {
            const Laid x = laidOut(aboveList(items), w, 2);
            const Laid y = laidOut(nested, w, 2);
            EXPECT_EQ(x.sizes, y.sizes);
            EXPECT_EQ(x.tooWide, y.tooWide);
            ASSERT_EQ(x.pair, y.pair);
            EXPECT_EQ(x.first, y.first);
            EXPECT_EQ(x.second, y.second);
        }
    }
}

TEST(PrettyLayouts, AboveListOfManyItemsOnTheMainStack) {
    std::vector<Doc> items;
    for (int i = 0; i < 100000; ++i) items.push_back(txt("line" + std::to_string(i)));
    const std::string out = renderDoc(aboveList(items), 80);
    EXPECT_EQ(out.substr(0, 12), "line0\nline1\n");
    EXPECT_EQ(out.substr(out.size() - 10), "\nline99999");
}

TEST(PrettyLayouts, LongListsOnALargeStack) {
    runOnLargeStack([] {
        std::vector<Doc> items;
        for (int i = 0; i < 3000; ++i) items.push_back(txt("w"));
        std::string spaced;
        for (int i = 0; i < 3000; ++i) spaced += i == 0 ? "w" : " w";
        EXPECT_EQ(renderDoc(hvSpList(items), 10000), spaced);
        EXPECT_EQ(renderDoc(hvList(items), 10), renderDoc(aboveList(items), 10));
        EXPECT_EQ(renderDoc(besideSpaceList(items), 10000), spaced + " ");
        EXPECT_EQ(renderDoc(blockDoc("(", ")", ", ", items), 80).size(), 3000u * 4 + 1);
    });
}

TEST(PrettyLayouts, IfThenElseShapes) {
    auto cond = [] { return ifThenElseDoc("if ", " then ", " else ", "", txt("c"), txt("t"), txt("e")); };
    EXPECT_EQ(renderDoc(cond(), 18), "if c then t else e");
    EXPECT_EQ(renderDoc(cond(), 80), "if c then t else e");
    EXPECT_EQ(renderDoc(cond(), 17), "if c then t\n     else e\n");
    EXPECT_EQ(renderDoc(cond(), 11), "if c then t\n     else e\n");
    EXPECT_EQ(renderDoc(cond(), 10), "if c\n then t\n else e\n");
    // A closing keyword of its own stands below the stacked forms.
    EXPECT_EQ(renderDoc(ifThenElseDoc("if ", " then ", " else ", "fi", txt("c"), txt("t"), txt("e")), 12),
              "if c then t\n     else e\nfi");
}

TEST(PrettyLayouts, BlockDoc) {
    auto abc = texts({"a", "b", "c"});
    EXPECT_EQ(renderDoc(blockDoc("(", ")", ", ", abc), 80), "( a, b, c )");
    EXPECT_EQ(renderDoc(blockDoc("(", ")", ", ", abc), 10), "( a\n, b\n, c\n)");
    EXPECT_EQ(renderDoc(blockDoc("(", ")", ", ", texts({"a", "b"})), 8), "( a, b )");
    EXPECT_EQ(renderDoc(blockDoc("(", ")", ", ", texts({"a", "b"})), 7), "( a\n, b\n)");
    EXPECT_EQ(renderDoc(blockDoc("(", ")", ", ", texts({"a"})), 80), "( a )");
    EXPECT_EQ(renderDoc(blockDoc("(", ")", ", ", texts({"a"})), 4), "( a\n)");
    EXPECT_EQ(renderDoc(blockDoc("(", ")", ", ", {}), 80), "()");
    EXPECT_EQ(renderDoc(blockDoc("(", ")", ", ", {}), 1), "(\n)");
    // No opening string: the first item is indented by the separator's length.
    EXPECT_EQ(renderDoc(blockDoc("", ")", "; ", texts({"a", "b"})), 80), "  a; b  )");
    EXPECT_EQ(renderDoc(blockDoc("", ")", "; ", texts({"a", "b"})), 5), "  a\n; b\n)");
    // No closing string: no closing line.
    EXPECT_EQ(renderDoc(blockDoc("(", "", ", ", texts({"a", "b"})), 80), "( a, b");
    EXPECT_EQ(renderDoc(blockDoc("(", "", ", ", texts({"a", "b"})), 4), "( a\n, b");
    // Stacked items keep all their layouts.
    EXPECT_EQ(renderDoc(blockDoc("[", "]", ", ", {txt("a"), aboveDoc(txt("b1"), txt("b2"))}), 80),
              "[ a\n, b1\n  b2\n]");
}

TEST(PrettyLayouts, BlockFillDoc) {
    auto items = texts({"aa", "bb", "cc"});
    EXPECT_EQ(renderDoc(blockFillDoc(20, "(", ")", ", ", items), 80), "( aa, bb, cc)");
    EXPECT_EQ(renderDoc(blockFillDoc(8, "(", ")", ", ", items), 80), "( aa, bb\n, cc\n)");
    EXPECT_EQ(renderDoc(blockFillDoc(8, "(", ")", ", ", std::vector<std::string>{}), 80), "()");
}

TEST(PrettyLayouts, SmallHelpers) {
    EXPECT_EQ(renderDoc(paddedTextDoc(4, "ab"), 80), "ab  ");
    EXPECT_EQ(renderDoc(paddedTextDoc(4, "abcde"), 80), "abcde");
    EXPECT_EQ(renderDoc(paddedTextDoc(-1, "ab"), 80), "ab");
    EXPECT_EQ(renderDoc(paddedTextDoc(3, ""), 80), "   ");
    EXPECT_EQ(renderLines(80, texts({"a", "b"})), "a\nb\n");
    EXPECT_EQ(renderDoc(spaceDoc(), 80), " ");
    EXPECT_EQ(laidOut(spaceDoc(), 80).sizes, (Sizes3{1, 1, 1}));
    auto blanks5 = toVector(endlessBlanks(), 5);
    EXPECT_EQ(std::string(blanks5.begin(), blanks5.end()), "     ");
    EXPECT_EQ(toVector(drop(100000, endlessBlanks()), 1), std::vector<char>{' '});
    EXPECT_EQ(layoutTextAt(3, txt("abcd")), "<**>");
    EXPECT_EQ(layoutTextAt160(txt("abcd")), "abcd");
    std::string out = "x";
    layoutAt160(out, txt("y"));
    EXPECT_EQ(out, "xy");
    EXPECT_EQ(renderDoc(bestOfDoc(txt("abc"), aboveDoc(txt("a"), txt("b"))), 80), "abc");
    EXPECT_EQ(renderDoc(bestOfDoc(txt("abc"), aboveDoc(txt("a"), txt("b"))), 2), "a\nb");
    EXPECT_EQ(renderDoc(nonEmptyDoc(std::string()), 80), "");
    EXPECT_EQ(laidOut(nonEmptyDoc(std::string()), 80).height(), 0);
}

// A fixed text is one document, built once, that lays out as the text built anew does, also
// when it is shared by several places of one document; the empty one is a line, not emptyDoc.
TEST(PrettyLayouts, FixedTexts) {
    EXPECT_EQ(&fixedText<"if ">(), &fixedText<"if ">());
    for (LayoutInt w : {0, 1, 2, 3, 80}) {
        EXPECT_EQ(renderDoc(fixedText<"if ">(), w), renderDoc(txt("if "), w)) << w;
        const Doc twice = besideDoc(fixedText<"ab">(), aboveDoc(fixedText<"ab">(), txt("c")));
        EXPECT_EQ(renderDoc(twice, w), renderDoc(besideDoc(txt("ab"), aboveDoc(txt("ab"), txt("c"))), w)) << w;
    }
    EXPECT_EQ(laidOut(fixedText<"if ">(), 80).sizes, (Sizes3{1, 3, 3}));
    EXPECT_EQ(laidOut(fixedText<"">(), 80).height(), 1);
}

TEST(PrettyLayouts, PrintableInstances) {
    EXPECT_EQ(renderDoc(toDoc(std::int32_t{-42}), 80), "-42");
    EXPECT_EQ(renderDoc(showDoc(std::string("a\"b")), 80), "\"a\\\"b\"");
    EXPECT_EQ(showString(std::string("a\\b\n\x01") + "2\x0eH\x7f\xe9" + "1"), "\"a\\\\b\\n\\SOH2\\SO\\&H\\DEL\\233\\&1\"");
    EXPECT_EQ(showChar('\''), "'\\''");
    EXPECT_EQ(showChar('"'), "'\"'");
    EXPECT_EQ(Printable<std::vector<char>>::show({'o', 'k'}), "\"ok\"");
    EXPECT_EQ(Printable<std::vector<std::int32_t>>::show({1, -2}), "[1,-2]");
    EXPECT_EQ(showFloat(3.0f), "3.0");
    EXPECT_EQ(showFloat(0.25f), "0.25");
    EXPECT_EQ(renderDoc(listToDoc(std::vector<std::string>{"ab", "cd"}), 80), "abcd");
    EXPECT_EQ(renderDoc(listToDoc(std::vector<char>{'a', 'b'}), 80), "ab");
    EXPECT_EQ(laidOut(listToDoc(std::vector<char>{'a', 'b'}), 80).width(), 2);
    // Lists print the way their elements print lists.
    EXPECT_EQ(renderDoc(toDoc(std::vector<char>{'x', 'y'}), 80), "xy");
    EXPECT_EQ(renderDoc(toDoc(std::vector<std::vector<char>>{{'a'}, {'b', 'c'}}), 80), "abc");
    EXPECT_EQ(laidOut(toDoc(std::vector<std::vector<char>>{}), 80).height(), 0);
    EXPECT_EQ(renderDoc(listToDoc(std::vector<Doc>{txt("a"), txt("b")}), 80), "ab");
    EXPECT_EQ(laidOut(listToDoc(std::vector<Doc>{}), 80).height(), 0);
    EXPECT_EQ(renderDoc(ppBeside(std::int32_t{7}, std::string("x")), 80), "7x");
    EXPECT_EQ(renderDoc(ppAbove('a', "bc"), 80), "a\nbc");
    EXPECT_EQ(renderDoc(ppIndent(2, "x"), 80), "  x");
}

}  // namespace
}  // namespace plim
