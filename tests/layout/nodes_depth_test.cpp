// Layouts of deep and wide documents on an ordinary 8 MiB stack: no walk of the layout
// recurses on the depth of a document or on the length of a list.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "layout/lazy_rules.h"
#include "layout/layout_test_util.h"
#include "layout/combinators.h"
#include "support/big_stack.h"

namespace plim {
namespace {

using namespace pretty_test;

constexpr int kCount = 10000;
constexpr LayoutInt kWide = kUnboundedWidth;

std::vector<Doc> items(int n) {
    std::vector<Doc> out;
    for (int i = 0; i < n; ++i) out.push_back(txt("a" + std::to_string(i)));
    return out;
}

std::string joined(int n, const std::string& before, const std::string& between, const std::string& after) {
    std::string out = before;
    for (int i = 0; i < n; ++i) out += (i == 0 ? "" : between) + "a" + std::to_string(i);
    return out + after;
}

TEST(PrettyDepth, FlatListsOfTenThousandItems) {
    onOrdinaryStack([] {
        const std::vector<Doc> xs = items(kCount);
        EXPECT_SAME_TEXT(renderDoc(hvList(xs), 80), joined(kCount, "", "\n", ""));
        EXPECT_SAME_TEXT(renderDoc(hvList(xs), kWide), joined(kCount, "", "", ""));
        EXPECT_SAME_TEXT(renderDoc(blockDoc("(", ")", ", ", xs), 80), joined(kCount, "( ", "\n, ", "\n)"));
        EXPECT_SAME_TEXT(renderDoc(blockDoc("(", ")", ", ", xs), kWide), joined(kCount, "( ", ", ", " )"));
        EXPECT_SAME_TEXT(renderDoc(hvSpList(xs), 80), joined(kCount, "", "\n", ""));
        EXPECT_SAME_TEXT(renderDoc(hvSpList(xs), kWide), joined(kCount, "", " ", ""));
        EXPECT_SAME_TEXT(renderDoc(aboveList(xs), 80), joined(kCount, "", "\n", ""));
        EXPECT_SAME_TEXT(renderDoc(besideSpaceList(xs), kWide), joined(kCount, "", " ", " "));
        EXPECT_SAME_TEXT(renderDoc(besideList(xs), kWide), joined(kCount, "", "", ""));
    });
}

TEST(PrettyDepth, TenThousandNestedDocuments) {
    onOrdinaryStack([] {
        std::string open(kCount, '('), close(kCount, ')');
        Doc parens = txt("x");
        for (int i = 0; i < kCount; ++i) parens = parensDoc(parens);
        EXPECT_SAME_TEXT(renderDoc(parens, kWide), open + "x" + close);
        EXPECT_EQ(renderDoc(parens, 80).find('\n'), std::string::npos);  // one line, too wide

        Doc brackets = txt("x");
        for (int i = 0; i < kCount; ++i) brackets = hvList({txt("["), brackets, txt("]")});
        // Stacked but for the innermost 39 levels, which fit on one line of 79 characters.
        const int fit = 39, stackedLevels = kCount - fit;
        std::string stacked;
        for (int i = 0; i < stackedLevels; ++i) stacked += "[\n";
        stacked += std::string(fit, '[') + "x" + std::string(fit, ']');
        for (int i = 0; i < stackedLevels; ++i) stacked += "\n]";
        EXPECT_SAME_TEXT(renderDoc(brackets, 80), stacked);

        Doc block = txt("x");
        for (int i = 0; i < kCount; ++i) block = blockDoc("(", ")", ", ", {block, txt("y")});
        // The one-line candidate of every level is kept, with the stacked ones: past the work
        // budget, the block is the too-wide marker of its width.
        EXPECT_EQ(renderDoc(block, kWide).find('\n'), std::string::npos);
        EXPECT_FALSE(renderDoc(block, 80).empty());

        Doc cond = txt("e");
        for (int i = 0; i < kCount; ++i) cond = ifThenElseDoc("if ", " then ", " else ", "", txt("c"), txt("t"), cond);
        std::string conds;
        for (int i = 0; i < kCount; ++i) conds += "if c then t else ";
        EXPECT_SAME_TEXT(renderDoc(cond, kWide), conds + "e");
        EXPECT_FALSE(renderDoc(cond, 80).empty());

        Doc indented = txt("x");
        for (int i = 0; i < kCount; ++i) indented = joinDoc(dupDoc(txt("y"), indentDoc(1, filterDoc(indented))));
        EXPECT_FALSE(renderDoc(indented, 80).empty());
    });
}

// Templates nested ten thousand deep, in each way a part may hold another, and documents lifted
// into templates that hold documents lifted into templates.
TEST(PrettyDepth, TenThousandNestedTemplates) {
    onOrdinaryStack([] {
        const std::vector<Doc> xs = items(kCount);
        const std::vector<Doc> one{txt("a")};
        ParDoc stacked = parDoc();  // nested to the left
        for (int i = 1; i < kCount; ++i) stacked = aboveParDoc(stacked, parDoc());
        EXPECT_SAME_TEXT(renderDoc(applyParDoc(stacked, xs), 80), joined(kCount, "", "\n", ""));

        ParDoc indented = parDoc();
        for (int i = 0; i < kCount; ++i) indented = indentParDoc(1, indented);
        EXPECT_SAME_TEXT(renderDoc(applyParDoc(indented, one), kWide), std::string(kCount, ' ') + "a");

        ParDoc filtered = parDoc();
        for (int i = 0; i < kCount; ++i) filtered = filterParDoc(filtered);
        EXPECT_SAME_TEXT(renderDoc(applyParDoc(filtered, one), 80), "a");

        for (const bool left : {true, false}) {
            ParDoc chosen = parDoc();
            for (int i = 0; i < kCount; ++i)
                chosen = joinParDoc(left ? choiceParDoc(chosen, parDoc()) : choiceParDoc(parDoc(), chosen));
            EXPECT_SAME_TEXT(renderDoc(applyParDoc(chosen, one), 80), "a");
        }

        Doc lifted = txt("x");
        for (int i = 0; i < kCount; ++i)
            lifted = applyParDoc(besideParDoc(liftParDoc(lifted), parDoc()), std::vector<Doc>{txt("y")});
        EXPECT_SAME_TEXT(renderDoc(lifted, kWide), "x" + std::string(kCount, 'y'));
        EXPECT_EQ(renderDoc(lifted, 80).size(), kCount + 1);  // past the bound, markers of the parts
    });
}

// Templates filled with templates whose parameter they use in both arrangements of a choice,
// nested past the places a template keeps: laid out as by the lazy rules, and in time.
TEST(PrettyDepth, NestedFillingsUsingAParameterTwice) {
    const ParDoc step =
        joinParDoc(choiceParDoc(besideParDoc(parDoc(), parDoc()), aboveParDoc(parDoc(), indentParDoc(2, parDoc()))));
    auto nested = [&](int depth) {
        ParDoc t = parDoc();
        for (int i = 0; i < depth; ++i) t = substParDoc(step, std::vector<ParDoc>{liftParDoc(txt("ab")), t});
        return applyParDoc(t, std::vector<Doc>{txt("x")});
    };
    namespace lr = lazy_rules;
    const lr::ParDoc ruleStep = lr::joinParDoc(lr::choiceParDoc(lr::besideParDoc(lr::parDoc(), lr::parDoc()),
                                                                lr::aboveParDoc(lr::parDoc(), lr::indentParDoc(2, lr::parDoc()))));
    lr::ParDoc byRules = lr::parDoc();
    for (int i = 0; i < 40; ++i)
        byRules = lr::substParDoc(ruleStep, std::vector<lr::ParDoc>{lr::liftParDoc(lr::ppString("ab")), byRules});
    for (const LayoutInt width : {LayoutInt{4}, LayoutInt{30}, LayoutInt{80}})
        EXPECT_EQ(renderDoc(nested(40), width), lr::renderDoc(lr::applyParDoc(byRules, {lr::ppString("x")}), width)) << width;
    std::string oneLine;
    for (int i = 0; i < 200; ++i) oneLine += "ab";
    EXPECT_EQ(renderDoc(nested(200), kWide), oneLine + "x");
}

// Templates filled with the template of the level below and a parameter of their own, whose
// argument follows those of the level below, nested past the places a template keeps: each
// argument, a list that is one line where it fits, is laid out after the last line of those
// before it, as by the lazy rules.
TEST(PrettyDepth, NestedFillingsWithParametersOfTheirOwn) {
    namespace lr = lazy_rules;
    constexpr int kDepth = 16;
    const auto word = [](int i, int k) { return std::string(static_cast<std::size_t>(1 + (i + k) % 4), static_cast<char>('a' + i)); };
    ParDoc t = parDoc();
    lr::ParDoc byRules = lr::parDoc();
    std::vector<Doc> args{txt("x")};
    std::vector<lr::Doc> ruleArgs{lr::ppString("x")};
    for (int i = 0; i < kDepth; ++i) {
        t = substParDoc(besideParDoc(parDoc(), parDoc()), std::vector<ParDoc>{t, parDoc()});
        byRules = lr::substParDoc(lr::besideParDoc(lr::parDoc(), lr::parDoc()), std::vector<lr::ParDoc>{byRules, lr::parDoc()});
        args.push_back(hvSpList(std::vector<Doc>{txt(word(i, 0)), txt(word(i, 1))}));
        ruleArgs.push_back(lr::hvSpList(std::vector<lr::Doc>{lr::ppString(word(i, 0)), lr::ppString(word(i, 1))}));
    }
    for (const LayoutInt width : {LayoutInt{6}, LayoutInt{20}, LayoutInt{45}})
        EXPECT_EQ(renderDoc(applyParDoc(t, args), width), lr::renderDoc(lr::applyParDoc(byRules, ruleArgs), width)) << width;
}

// A right-nested chain of applications (S (add x (S (add y ...)))) as the printer builds it, each
// application breakable, above a last part that is one line where it fits (a list), a stack or a
// text: a render, which reads the first layout alone, lays each level out once, however deep.
Doc application(const std::string& head, std::vector<Doc> args, bool parens) {
    Doc h = txt(head);
    return spacedListDoc(&h, std::span<Doc>(args), parens);
}
Doc chain(int depth, Doc last) {
    for (int i = 0; i < depth; ++i)
        last = application("S", {application("add", {txt(i % 2 == 0 ? "x" : "y"), last}, true)}, true);
    return last;
}
lazy_rules::Doc ruleApplication(const std::string& head, std::vector<lazy_rules::Doc> args, bool parens) {
    namespace lr = lazy_rules;
    lr::Doc d = lr::besideDoc(lr::ppString(head), lr::besideDoc(lr::ppString(" "), lr::hvSpList(std::move(args))));
    return parens ? lr::besideDoc(lr::ppString("("), lr::besideDoc(d, lr::ppString(")"))) : d;
}
lazy_rules::Doc ruleChain(int depth, lazy_rules::Doc last) {
    for (int i = 0; i < depth; ++i)
        last = ruleApplication("S", {ruleApplication("add", {lazy_rules::ppString(i % 2 == 0 ? "x" : "y"), last}, true)}, true);
    return last;
}

TEST(PrettyDepth, ChainsOfApplicationsAsByTheLazyRules) {
    namespace lr = lazy_rules;
    const std::vector<std::pair<Doc, lr::Doc>> lasts{
        {hvList({txt("f"), txt("a"), txt("b")}), lr::hvList({lr::ppString("f"), lr::ppString("a"), lr::ppString("b")})},
        {aboveDoc(txt("let a"), txt("in a")), lr::aboveDoc(lr::ppString("let a"), lr::ppString("in a"))},
        {txt("Z"), lr::ppString("Z")},
        // Two layouts of two lines each, as wide, the second's last line the shorter: the products with the brackets
        // after them put the second first.
        {joinDoc(dupDoc(aboveDoc(txt("abcd"), txt("efg")), aboveDoc(txt("abcd"), txt("e")))),
         lr::joinDoc(lr::dupDoc(lr::aboveDoc(lr::ppString("abcd"), lr::ppString("efg")),
                                lr::aboveDoc(lr::ppString("abcd"), lr::ppString("e"))))},
        {joinDoc(dupDoc(aboveDoc(txt("abcd"), txt("e")), aboveDoc(txt("abcd"), txt("efg")))),
         lr::joinDoc(lr::dupDoc(lr::aboveDoc(lr::ppString("abcd"), lr::ppString("e")),
                                lr::aboveDoc(lr::ppString("abcd"), lr::ppString("efg"))))}};
    for (const auto& [last, ruleLast] : lasts)
        for (const LayoutInt width : {LayoutInt{12}, LayoutInt{40}, LayoutInt{80}, LayoutInt{300}, kWide})
            EXPECT_EQ(renderDoc(chain(20, last), width), lr::renderDoc(ruleChain(20, ruleLast), width)) << width;
}

// The same chain with an argument before the nested one that may break as well (map (\c -> S c) (...)): the last
// argument's first layout still decides each list's first, whatever the earlier ones' layouts.
Doc mapChain(int depth, Doc last) {
    for (int i = 0; i < depth; ++i)
        last = application("map", {hvList({txt("(\\c ->"), txt(" S c)")}), last}, true);
    return last;
}
lazy_rules::Doc ruleMapChain(int depth, lazy_rules::Doc last) {
    namespace lr = lazy_rules;
    for (int i = 0; i < depth; ++i)
        last = ruleApplication("map", {lr::hvList({lr::ppString("(\\c ->"), lr::ppString(" S c)")}), last}, true);
    return last;
}

TEST(PrettyDepth, ChainsWithBreakableArgumentsAsByTheLazyRules) {
    namespace lr = lazy_rules;
    const std::vector<std::pair<Doc, lr::Doc>> lasts{
        {hvList({txt("f"), txt("a"), txt("b")}), lr::hvList({lr::ppString("f"), lr::ppString("a"), lr::ppString("b")})},
        {aboveDoc(txt("let a"), txt("in a")), lr::aboveDoc(lr::ppString("let a"), lr::ppString("in a"))},
        {txt("Z"), lr::ppString("Z")}};
    for (const auto& [last, ruleLast] : lasts)
        for (const LayoutInt width : {LayoutInt{12}, LayoutInt{30}, LayoutInt{80}, LayoutInt{300}, kWide})
            EXPECT_EQ(renderDoc(mapChain(12, last), width), lr::renderDoc(ruleMapChain(12, ruleLast), width)) << width;
}

TEST(PrettyDepth, AHundredThousandNestedApplications) {
    onOrdinaryStack([] {
        constexpr int kLevels = 100000;
        std::string line;
        for (int i = kLevels; i-- > 0;) line += i % 2 == 0 ? "(S (add x " : "(S (add y ";
        line += "fab" + std::string(2 * kLevels, ')');
        const Doc d = chain(kLevels, hvList({txt("f"), txt("a"), txt("b")}));
        EXPECT_SAME_TEXT(renderDoc(d, kWide), line);
        EXPECT_FALSE(renderDoc(d, 80).empty());
    });
}

TEST(PrettyDepth, TwentyThousandNestedApplicationsAboveAStack) {
    onOrdinaryStack([] {
        constexpr int kLevels = 20000;
        std::string first;
        for (int i = kLevels; i-- > 0;) first += i % 2 == 0 ? "(S (add x " : "(S (add y ";
        const std::string lines = first + "let a\n" + std::string(first.size(), ' ') + "in a" + std::string(2 * kLevels, ')');
        const Doc d = chain(kLevels, aboveDoc(txt("let a"), txt("in a")));
        EXPECT_SAME_TEXT(renderDoc(d, kWide), lines);
        EXPECT_FALSE(renderDoc(d, 80).empty());
    });
}

TEST(PrettyDepth, FiftyThousandNestedApplicationsWithBreakableArguments) {
    onOrdinaryStack([] {
        constexpr int kLevels = 50000;
        std::string line;
        for (int i = 0; i < kLevels; ++i) line += "(map (\\c -> S c) ";
        line += "Z" + std::string(kLevels, ')');
        const Doc d = mapChain(kLevels, txt("Z"));
        EXPECT_SAME_TEXT(renderDoc(d, kWide), line);
        EXPECT_FALSE(renderDoc(d, 80).empty());
    });
}

}  // namespace
}  // namespace plim
