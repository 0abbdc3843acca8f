// Filters, alternatives, holes, choice and application, fill layouts and the centred column, by
// the rules (the oracle, layout/lazy_rules.h).
#include <gtest/gtest.h>

#include "layout/layout_test_util.h"
#include "support/big_stack.h"
#include "layout/combinators.h"

namespace plim::lazy_rules {
namespace {

using namespace pretty_test;
using BoundsSeen = std::vector<std::pair<LayoutInt, LayoutInt>>;

std::string firstText(const DocAttrs& a) {
    return textsOf(singleFormats(a), 0, 1).at(0);
}

TEST(PrettyErrors, EveryErrorText) {
    Doc pair = dupDoc(txt("ab"), txt("abc"));
    ParDoc two = besideParDoc(parDoc(), parDoc());
    ParDoc three = besideParDoc(parDoc(), two);
    Doc tall = aboveDoc(txt("a"), txt("b"));

    EXPECT_EQ(renderDoc(txt("x"), -1), "<Error: negative page width >");
    EXPECT_EQ(renderDoc(pair, 80), "<Error: can't render a pair>");
    EXPECT_EQ(firstText(at(filterDoc(pair), 80)), "<Error: can not filter a pair>");
    auto dupOfPair = at(dupDoc(pair, txt("c")), 80);
    const auto& dd = std::get<PairReply>(*dupOfPair.reply);
    EXPECT_EQ(textsOf(dd.first), std::vector<std::string>{"<Error: can't dup a dup>"});
    EXPECT_EQ(renderDoc(applyParDoc(choiceParDoc(two, three), std::vector<Doc>{txt("a"), txt("b")}), 200),
              "<Error: incorrect choice expression. #pars left 2 /= #pars right 3>");
    EXPECT_EQ(renderDoc(applyParDoc(two, std::vector<Doc>{txt("a"), txt("b"), txt("c")}), 80),
              "<Error: incorrect apply expression. #pars 2 /= #args 3>");
    EXPECT_EQ(renderDoc(besideDoc(pair, pair), 80), "<Error: can't beside two pairs>");
    EXPECT_EQ(renderDoc(aboveDoc(pair, pair), 80), "<Error: can't above two pairs>");
    EXPECT_EQ(renderDoc(joinDoc(txt("a")), 80), "<Error: can't join a single result>");
    EXPECT_EQ(renderDoc(fillDoc(std::vector<Doc>{txt("a"), pair}), 80), "a<Error: element in fill list is a pair>");
    EXPECT_EQ(renderDoc(fillDoc(std::vector<Doc>{txt("a"), tall}), 80), "a<Error: element in fill higher than 1>");
    EXPECT_EQ(renderDoc(fillBlockDoc(-1, std::vector<Doc>{txt("a")}), 80), "<Error: negative page width in fillblock>");
    EXPECT_EQ(renderDoc(indentDoc(-1, txt("a")), 80), "<Error: negative indentation>");
}

TEST(PrettyFilter, KeepsTheLeadingOneLineCandidates) {
    EXPECT_EQ(textsOf(singleFormats(at(filterDoc(txt("abc")), 80))), std::vector<std::string>{"abc"});
    auto over = at(filterDoc(txt("abcdef")), 3);
    EXPECT_EQ(firstText(over), "<****>");
    EXPECT_TRUE(*over.tooWide);

    auto tallOnly = [](LayoutInt w) { return candidatesDoc({fmt(2, 1, w, "t")}, false, 2, 1, w); };
    auto five = at(filterDoc(tallOnly(5)), 80);
    EXPECT_EQ(firstText(five), "<***>");
    EXPECT_TRUE(*five.tooWide);
    EXPECT_EQ(docSizes(five), (Sizes3{2, 1, 5}));
    EXPECT_EQ(firstText(at(filterDoc(tallOnly(1)), 80)), "*");
    EXPECT_EQ(firstText(at(filterDoc(tallOnly(0)), 80)), "");

    auto none = at(filterDoc(emptyDoc()), 80);
    EXPECT_EQ(sizesOf(singleFormats(none)), (std::vector<Sizes3>{{1, 0, 0}}));
    EXPECT_TRUE(*none.tooWide);

    auto mixed = candidatesDoc({fmt(1, 1, 1, "a"), fmt(2, 1, 1, "b"), fmt(1, 2, 2, "c")}, false, 1, 1, 1);
    EXPECT_EQ(textsOf(singleFormats(at(filterDoc(mixed), 80))), std::vector<std::string>{"a"});
    auto tallFirst = candidatesDoc({fmt(2, 1, 1, "b"), fmt(1, 2, 2, "c")}, false, 2, 1, 1);
    EXPECT_EQ(firstText(at(filterDoc(tallFirst), 80)), "*");
}

TEST(PrettyDup, PairsOfAlternatives) {
    auto a = at(dupDoc(txt("ab"), txt("abc")), 80);
    const auto& p = std::get<PairReply>(*a.reply);
    EXPECT_EQ(textsOf(p.first), std::vector<std::string>{"ab"});
    EXPECT_EQ(textsOf(p.second), std::vector<std::string>{"abc"});
    EXPECT_FALSE(p.firstTooWide);
    EXPECT_FALSE(p.secondTooWide);
    EXPECT_FALSE(*a.tooWide);
    EXPECT_EQ(docSizes(a), (Sizes3{1, 2, 2}));

    auto b = at(dupDoc(txt("ab"), txt("abcdef")), 4);
    const auto& q = std::get<PairReply>(*b.reply);
    EXPECT_FALSE(q.firstTooWide);
    EXPECT_TRUE(q.secondTooWide);

    auto c = at(dupDoc(txt("abcde"), txt("abcdef")), 4);
    EXPECT_EQ(firstText(c), "<***>");
    EXPECT_TRUE(*c.tooWide);
}

TEST(PrettyHoles, ParDocTakesItsArgument) {
    Doc arg = candidatesDoc({fmt(2, 3, 7, "arg")}, true, 2, 3, 7);
    ParAttrs h = parDoc()(ParArgs({arg(PageBounds(1, 1))}), PageBounds(40, 30));
    EXPECT_EQ(textsOf(std::get<SingleReply>(*h.reply).formats), std::vector<std::string>{"arg"});
    EXPECT_TRUE(*h.tooWide);
    EXPECT_EQ((Sizes3{h.sizes->height, h.sizes->lastWidth, h.sizes->width}), (Sizes3{2, 3, 7}));
    auto bounds = toVector(h.paramBounds);
    ASSERT_EQ(bounds.size(), 1u);
    EXPECT_EQ(bounds[0], PageBounds(40, 30));
    EXPECT_EQ(parDoc().paramCount(), 1);
}

TEST(PrettyHoles, AHoleWithoutArgumentIsEmptyAndTooWide) {
    ParAttrs h = parDoc()(ParArgs(), PageBounds(40, 30));
    EXPECT_TRUE(std::get<SingleReply>(*h.reply).formats.empty());
    EXPECT_TRUE(*h.tooWide);
    EXPECT_EQ(h.sizes->height, 0);
    EXPECT_EQ(h.sizes->width, 0);
}

TEST(PrettyHoles, FirstAndSecondAlternatives) {
    auto pairArg = [](bool ownFlag) {
        return fixedDoc(PairReply{textFormats("one"), textFormats("two"), false, true}, ownFlag, 1, 3, 3);
    };
    auto take = [&](const ParDoc& hole, bool ownFlag) { return hole(ParArgs({pairArg(ownFlag)(PageBounds(9, 9))}), PageBounds(9, 9)); };
    ParAttrs f = take(firstParDoc(), false);
    EXPECT_EQ(textsOf(std::get<SingleReply>(*f.reply).formats), std::vector<std::string>{"one"});
    EXPECT_FALSE(*f.tooWide);
    ParAttrs s = take(secondParDoc(), false);
    EXPECT_EQ(textsOf(std::get<SingleReply>(*s.reply).formats), std::vector<std::string>{"two"});
    EXPECT_TRUE(*s.tooWide);
    EXPECT_TRUE(*take(firstParDoc(), true).tooWide);
    EXPECT_TRUE(*take(secondParDoc(), true).tooWide);
    ParAttrs plain = firstParDoc()(ParArgs({txt("x")(PageBounds(9, 9))}), PageBounds(9, 9));
    EXPECT_EQ(textsOf(std::get<SingleReply>(*plain.reply).formats), std::vector<std::string>{"x"});
}

TEST(PrettyHoles, ZeroSizeDoc) {
    const std::string long200(200, 'z');
    auto a = at(zeroSizeDoc(txt(long200)), 10);
    EXPECT_EQ(docSizes(a), (Sizes3{1, 0, 0}));
    EXPECT_FALSE(*a.tooWide);
    EXPECT_EQ(renderDoc(zeroSizeDoc(txt(long200)), 10), long200);
    EXPECT_EQ(renderDoc(besideDoc(zeroSizeDoc(txt("abc")), txt("de")), 2), "abcde");
    // Without candidates it shows one empty line.
    auto none = at(zeroSizeDoc(emptyDoc()), 10);
    EXPECT_EQ(sizesOf(singleFormats(none)), (std::vector<Sizes3>{{1, 0, 0}}));
    EXPECT_EQ(renderDoc(zeroSizeDoc(emptyDoc()), 10), "");
}

TEST(PrettyHoles, LiftedDocumentsTakeNoParameter) {
    ParDoc lifted = liftParDoc(txt("ab"));
    EXPECT_EQ(lifted.paramCount(), 0);
    EXPECT_EQ(renderDoc(applyParDoc(lifted, std::vector<Doc>{}), 80), "ab");
    EXPECT_EQ(renderDoc(applyParDoc(valueBesideParDoc(std::string("x:"), parDoc()), std::vector<Doc>{txt("y")}), 80),
              "x:y");
    EXPECT_EQ(renderDoc(applyParDoc(parDocAboveValue(parDoc(), std::string("z")), std::vector<Doc>{txt("y")}), 80),
              "y\nz");
    EXPECT_EQ(renderDoc(applyParDoc(besideSpaceParDoc(parDoc(), parDoc()), std::vector<std::string>{"a", "b"}), 80),
              "a b");
}

TEST(PrettyChoice, ParameterBoundsTakeTheMoreGenerous) {
    auto log = std::make_shared<BoundsLog>();
    ParDoc narrower = indentParDoc(20, parDoc());
    renderDoc(applyParDoc(joinParDoc(choiceParDoc(narrower, parDoc())), std::vector<Doc>{probe(txt("a"), log)}), 100);
    EXPECT_EQ(log->seen, (BoundsSeen{{100, 100}}));

    auto log2 = std::make_shared<BoundsLog>();
    ParDoc askLast10 = besideParDoc(parDoc(), liftParDoc(txt(std::string(70, 'w'))));
    ParDoc askLast60 = besideParDoc(parDoc(), liftParDoc(txt(std::string(20, 'w'))));
    Doc chosen = applyParDoc(joinParDoc(choiceParDoc(askLast10, askLast60)), std::vector<Doc>{probe(txt("a"), log2)});
    renderDoc(chosen, 80);
    EXPECT_EQ(log2->seen, (BoundsSeen{{80, 60}}));
}

TEST(PrettyChoice, PairsFlagsAndMarkers) {
    ParDoc oneLine = filterParDoc(besideParDoc(parDoc(), parDoc()));
    ParDoc stacked = aboveParDoc(parDoc(), parDoc());
    auto a = at(applyParDoc(choiceParDoc(oneLine, stacked), std::vector<Doc>{txt("ab"), txt("cd")}), 80);
    const auto& p = std::get<PairReply>(*a.reply);
    EXPECT_FALSE(p.firstTooWide);
    EXPECT_EQ(textsOf(p.first), std::vector<std::string>{"abcd"});
    EXPECT_EQ(textsOf(p.second), std::vector<std::string>{"ab\ncd"});
    EXPECT_EQ(docSizes(a), (Sizes3{2, 2, 2}));

    auto both = at(applyParDoc(choiceParDoc(parDoc(), parDoc()), std::vector<Doc>{txt("abcdef")}), 3);
    EXPECT_EQ(firstText(both), "<****>");
    EXPECT_TRUE(*both.tooWide);

    ParDoc two = besideParDoc(parDoc(), parDoc());
    ParDoc three = besideParDoc(parDoc(), two);
    ParAttrs mismatch = choiceParDoc(two, three)(ParArgs(), PageBounds(1000, 1000));
    EXPECT_TRUE(*mismatch.tooWide);
    EXPECT_EQ(choiceParDoc(two, three).paramCount(), 2);
}

TEST(PrettyApply, CountsAndEmptyArguments) {
    ParDoc two = besideParDoc(parDoc(), parDoc());
    auto log = std::make_shared<BoundsLog>();
    auto wrong = at(applyParDoc(two, std::vector<Doc>{probe(txt("a"), log), txt("b"), txt("c")}), 80);
    EXPECT_EQ(docSizes(wrong), (Sizes3{1, 55, 55}));
    EXPECT_TRUE(*wrong.tooWide);
    EXPECT_EQ(log->layouts, 0);
    EXPECT_EQ(renderDoc(applyParDoc(liftParDoc(txt("lone")), std::vector<Doc>{}), 80), "lone");
}

TEST(PrettyApply, BesideParDocHandsEachPlaceholderItsBounds) {
    ParDoc two = besideParDoc(parDoc(), parDoc());
    EXPECT_EQ(two.paramCount(), 2);
    ParAttrs a = two(ParArgs({txt("abc")(PageBounds(0, 0)), txt("wxyz")(PageBounds(0, 0))}), PageBounds(50, 40));
    auto bounds = toVector(a.paramBounds);
    ASSERT_EQ(bounds.size(), 2u);
    EXPECT_EQ(bounds[0], PageBounds(50, 36));
    EXPECT_EQ(bounds[1], PageBounds(47, 37));
}

TEST(PrettyApply, ParDocListAndSubstitution) {
    ParDocListAttrs none = parDocList({}, ParArgs(), List<PageBounds>());
    EXPECT_TRUE(none.elements.empty());
    EXPECT_EQ(none.paramTotal, 0);
    EXPECT_EQ(none.count, 0);

    ParArgs args({txt("first")(PageBounds(9, 9)), txt("second")(PageBounds(9, 9))});
    ParDocListAttrs two = parDocList({parDoc(), parDoc()}, args, fromVector(std::vector<PageBounds>{
                                                                      PageBounds(5, 5), PageBounds(6, 6)}));
    EXPECT_EQ(two.paramTotal, 2);
    EXPECT_EQ(two.count, 2);
    EXPECT_EQ(textsOf(std::get<SingleReply>(*two.elements[0].reply).formats), std::vector<std::string>{"first"});
    auto bounds = toVector(two.paramBounds);
    ASSERT_EQ(bounds.size(), 2u);
    EXPECT_EQ(bounds[1], PageBounds(6, 6));

    ParDoc outer = aboveParDoc(parDoc(), parDoc());
    ParDoc substituted = substParDoc(outer, {besideParDoc(parDoc(), parDoc()), parDoc()});
    EXPECT_EQ(substituted.paramCount(), 3);
    EXPECT_EQ(renderDoc(applyParDoc(substituted, std::vector<std::string>{"a", "b", "c"}), 80), "ab\nc");
    ParDoc wrong = substParDoc(outer, {parDoc()});
    EXPECT_EQ(renderDoc(applyParDoc(wrong, std::vector<std::string>{"a"}), 80),
              "<Error: incorrect apply expression. #pars 2 /= #args 1>");
}

// Every argument document is laid out exactly once per application, however the
// alternatives of the choices around it use it.
TEST(PrettyApply, EachArgumentIsLaidOutOncePerApplication) {
    std::vector<std::shared_ptr<BoundsLog>> logs;
    auto leaf = [&](const std::string& s) {
        logs.push_back(std::make_shared<BoundsLog>());
        return probe(txt(s), logs.back());
    };
    std::function<Doc(int)> nest = [&](int depth) -> Doc {
        if (depth == 0) return leaf("x");
        Doc inner = nest(depth - 1);
        Doc call = probe(hvSpList({leaf("f"), inner, leaf("y")}), (logs.push_back(std::make_shared<BoundsLog>()), logs.back()));
        Doc tuple = blockDoc("(", ")", ", ", {leaf("a"), call});
        return ifThenElseDoc("if ", " then ", " else ", "", leaf("c"), tuple, hvList({leaf("e"), leaf("e")}));
    };
    Doc doc = nest(8);
    const std::string wide = renderDoc(doc, 1000);
    const std::string narrow = renderDoc(doc, 100);
    EXPECT_EQ(wide.find('\n'), std::string::npos);
    EXPECT_NE(narrow.find('\n'), std::string::npos);
    for (const auto& log : logs) EXPECT_EQ(log->layouts, 2);  // once per rendering
}

TEST(PrettyFill, Paragraphs) {
    std::vector<std::string> three = {"ab", "cd", "ef"};
    auto a = at(fillDoc(three), 4);
    EXPECT_EQ(docSizes(a), (Sizes3{2, 2, 4}));
    EXPECT_EQ(firstText(a), "abcd\nef");
    auto b = at(fillDoc(three), 6);
    EXPECT_EQ(docSizes(b), (Sizes3{1, 6, 6}));
    EXPECT_EQ(firstText(b), "abcdef");
    EXPECT_EQ(docSizes(at(fillDoc(std::vector<std::string>{"abc"}), 10)), (Sizes3{1, 3, 3}));
    // An element exactly as wide as the room left fits; one more column does not.
    EXPECT_EQ(renderDoc(fillDoc(std::vector<std::string>{"ab", "cde"}), 5), "abcde");
    EXPECT_EQ(renderDoc(fillDoc(std::vector<std::string>{"ab", "cde"}), 4), "ab\ncde");

    auto empty = at(fillDoc(std::vector<Doc>{}), 10);
    EXPECT_TRUE(singleFormats(empty).empty());
    EXPECT_FALSE(*empty.tooWide);
    EXPECT_EQ(docSizes(empty), (Sizes3{0, 0, 0}));
}

TEST(PrettyFill, OverLongTallAndEmptyElements) {
    auto over = at(fillDoc(std::vector<std::string>{"a", "bcdefg", "h"}), 4);
    EXPECT_EQ(firstText(over), "a\n<****>\nh");
    EXPECT_TRUE(*over.tooWide);

    Doc tall = aboveDoc(txt("ab"), txt("c"));
    auto first = at(fillDoc(std::vector<Doc>{tall, txt("d")}), 10);
    EXPECT_EQ(first.height(), 1);  // a first element of two lines counts as one line
    EXPECT_FALSE(*first.tooWide);
    auto later = at(fillDoc(std::vector<Doc>{txt("a"), tall, txt("d")}), 80);
    EXPECT_EQ(firstText(later), "a<Error: element in fill higher than 1>\nd");
    EXPECT_TRUE(*later.tooWide);

    EXPECT_EQ(renderDoc(fillDoc(std::vector<Doc>{txt("ab"), emptyDoc(), txt("c")}), 80), "abc");
    auto afterOver = at(fillDoc(std::vector<Doc>{txt("a"), txt("bcdefg"), emptyDoc()}), 4);
    EXPECT_EQ(docSizes(afterOver), (Sizes3{3, 0, 4}));
}

TEST(PrettyFill, BlockWidth) {
    EXPECT_EQ(renderDoc(fillBlockDoc(6, std::vector<std::string>{"ab", "cd", "ef", "gh"}), 80), "abcdef\ngh");
    auto neg = at(fillBlockDoc(-1, std::vector<std::string>{"ab"}), 80);
    EXPECT_EQ(firstText(neg), "<Error: negative page width in fillblock>");
    EXPECT_TRUE(*neg.tooWide);
    auto wide = at(fillBlockDoc(30, std::vector<std::string>{"ab"}), 20);
    EXPECT_EQ(firstText(wide), "<" + std::string(28, '*') + ">");
    EXPECT_TRUE(*wide.tooWide);
    auto none = at(fillBlockDoc(10, std::vector<Doc>{}), 20);
    EXPECT_TRUE(singleFormats(none).empty());
    EXPECT_FALSE(*none.tooWide);
    auto noneWide = at(fillBlockDoc(30, std::vector<Doc>{}), 20);
    EXPECT_EQ(firstText(noneWide), "<" + std::string(28, '*') + ">");
    EXPECT_EQ(docSizes(noneWide), (Sizes3{0, 0, 0}));
}

TEST(PrettyCentred, ItemsCentredUnderTheWidest) {
    auto a = at(centredAboveList(std::vector<std::string>{"abcde", "abc", "ab"}), 80);
    EXPECT_EQ(firstText(a), "abcde\n abc\n ab");
    EXPECT_EQ(docSizes(a), (Sizes3{3, 3, 5}));
    EXPECT_EQ(renderDoc(centredAboveList(std::vector<std::string>{"abc"}), 80), "abc");
    EXPECT_EQ(at(centredAboveList(std::vector<Doc>{}), 80).height(), 0);
}

}  // namespace
}  // namespace plim::lazy_rules
