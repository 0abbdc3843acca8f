// Documents, rendering, candidate lists and the plain combinators: their rules on the oracle (the
// lazy rules), and what only the node engine has (shared nodes, stacks made part by part, the
// pruning of candidates) on the engine.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/block_pool.h"
#include "layout/document.h"
#include "layout/combinators.h"
#include "layout/layout_test_util.h"

namespace plim::lazy_rules {
namespace {

using namespace pretty_test;

TEST(PrettyText, FitsOrShowsItsMarker) {
    auto empty = at(txt(""), 0);
    EXPECT_EQ(sizesOf(singleFormats(empty)), (std::vector<Sizes3>{{1, 0, 0}}));
    EXPECT_FALSE(*empty.tooWide);

    auto fits = at(txt("abcdefghij"), 10, 0);  // the last-line bound plays no part
    EXPECT_EQ(textsOf(singleFormats(fits)), std::vector<std::string>{"abcdefghij"});
    EXPECT_FALSE(*fits.tooWide);

    auto over = at(txt("abcdefghij"), 9);
    EXPECT_EQ(textsOf(singleFormats(over)), std::vector<std::string>{"<********>"});
    EXPECT_TRUE(*over.tooWide);
    EXPECT_EQ(docSizes(over), (Sizes3{1, 10, 10}));

    EXPECT_EQ(renderDoc(txt("a"), 0), "*");
    EXPECT_EQ(renderDoc(txt("ab"), 1), "<>");
    EXPECT_EQ(renderDoc(txt(""), 0), "");
    EXPECT_EQ(renderDoc(ppChar('x'), 5), "x");
}

TEST(PrettyText, Markers) {
    EXPECT_EQ(markerText(0), "");
    EXPECT_EQ(markerText(1), "*");
    EXPECT_EQ(markerText(2), "<>");
    EXPECT_EQ(markerText(5), "<***>");
    EXPECT_EQ(markerText(-1), "<>");
    EXPECT_EQ(markerText(-7), "<>");
}

TEST(PrettyText, BlanksAndBesideFormat) {
    EXPECT_EQ(blanks(0), "");
    EXPECT_EQ(blanks(-3), "");
    EXPECT_EQ(blanks(4), "    ");

    Format f = besideFormat(fmt(2, 3, 7), fmt(1, 5, 5));
    EXPECT_EQ((Sizes3{f.height, f.lastWidth, f.width}), (Sizes3{2, 8, 8}));
    Format g = besideFormat(fmt(2, 3, 7), fmt(1, 4, 4));
    EXPECT_EQ(g.width, 7);

    // The second text starts at the first's start column plus its last width.
    auto colText = [](std::string tag) {
        return FormatText([tag](LayoutInt c, std::string& out) { out += tag + std::to_string(c) + ";"; });
    };
    Format h = besideFormat(Format{2, 3, 6, colText("L")}, Format{3, 2, 5, colText("R")});
    EXPECT_EQ((Sizes3{h.height, h.lastWidth, h.width}), (Sizes3{4, 5, 8}));
    std::string out;
    h.text.write(4, out);
    EXPECT_EQ(out, "L4;R7;");
}

TEST(PrettyRender, WidthsPairsAndEmpty) {
    EXPECT_EQ(renderDoc(txt("abc"), -1), "<Error: negative page width >");
    EXPECT_EQ(renderDoc(emptyDoc(), 7), "");
    EXPECT_EQ(at(emptyDoc(), 3).height(), 0);
    std::string out = "rest:";
    renderDocTo(out, txt("abc"), 10);
    EXPECT_EQ(out, "rest:abc");
    Doc pair = dupDoc(txt("ab"), txt("abc"));
    EXPECT_EQ(renderDoc(pair, 80), "<Error: can't render a pair>");
    EXPECT_EQ(renderDocAtBounds(txt("abc"), PageBounds(160, 160)), "abc");
    std::string neg, pr;
    negativeWidthText(neg);
    renderPairText(pr);
    EXPECT_EQ(neg, "<Error: negative page width >");
    EXPECT_EQ(pr, "<Error: can't render a pair>");
}

// A long line is kept once written twice and copied when written again, also as a part of other documents and of
// stacks; each write reads as the first.
TEST(PrettyRender, LinesWrittenAgainReadTheSame) {
    using ::plim::Doc;
    using ::plim::renderDoc;
    using ::plim::textDoc;
    const Doc inner =
        ::plim::hvSpList(std::vector<Doc>{textDoc("alpha"), textDoc("beta"), textDoc("gamma"), textDoc("delta")});
    const Doc outer = ::plim::parensDoc(inner);
    const std::string line = "alpha beta gamma delta";
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(renderDoc(inner, 1000000), line);
        EXPECT_EQ(renderDoc(::plim::besideDoc(textDoc("f "), outer), 1000000), "f (" + line + ")");
        EXPECT_EQ(renderDoc(::plim::aboveDoc(outer, ::plim::besideDoc(textDoc("g "), inner)), 1000000),
                  "(" + line + ")\ng " + line);
        const Doc twice = ::plim::besideDoc(outer, ::plim::besideDoc(textDoc(" "), outer));
        EXPECT_EQ(renderDoc(::plim::indentDoc(2, twice), 1000000), "  (" + line + ") (" + line + ")");
    }
    EXPECT_EQ(renderDoc(outer, 12), "(alpha\n beta\n gamma\n delta)");
}

TEST(PrettyRender, StdoutWritesOnlyTheText) {
    testing::internal::CaptureStdout();
    renderStdout(txt("abc"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "<Error: negative page width >");
    testing::internal::CaptureStdout();
    renderStdout(aboveDoc(txt("ab"), txt("c")), 10);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ab\nc");
    testing::internal::CaptureStdout();
    renderAllStdout(candidatesDoc({fmt(1, 2, 2, "ab"), fmt(2, 1, 1, "a\nb")}, false, 1, 2, 2), 10);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ab\n\na\nb\n\n");
}

TEST(PrettyFormats, MergeTieRules) {
    auto one = fromVector(std::vector<Format>{fmt(1, 5, 5, "first")});
    auto other = fromVector(std::vector<Format>{fmt(1, 5, 5, "second")});
    EXPECT_EQ(textsOf(mergeFormats(one, List<Format>())), std::vector<std::string>{"first"});
    EXPECT_EQ(textsOf(mergeFormats(List<Format>(), one)), std::vector<std::string>{"first"});
    EXPECT_EQ(textsOf(mergeFormats(one, other)), std::vector<std::string>{"first"});

    auto a = fromVector(std::vector<Format>{fmt(2, 4, 9, "a")});
    auto b = fromVector(std::vector<Format>{fmt(2, 6, 9, "b")});
    EXPECT_EQ(textsOf(mergeFormats(a, b)), (std::vector<std::string>{"b", "a"}));

    auto tall = fromVector(std::vector<Format>{fmt(2, 3, 3)});
    auto flat = fromVector(std::vector<Format>{fmt(1, 9, 9)});
    EXPECT_EQ(sizesOf(mergeFormats(tall, flat)), (std::vector<Sizes3>{{1, 9, 9}, {2, 3, 3}}));

    auto narrow = fromVector(std::vector<Format>{fmt(1, 3, 3), fmt(2, 2, 2)});
    auto wide = fromVector(std::vector<Format>{fmt(1, 4, 4), fmt(2, 9, 9)});
    EXPECT_EQ(sizesOf(mergeFormats(wide, narrow)), (std::vector<Sizes3>{{1, 3, 3}, {1, 4, 4}, {2, 2, 2}, {2, 9, 9}}));
}

TEST(PrettyFormats, BesideFormatsSkipsOnlyTheLeadingTooWide) {
    PageBounds b(10, 10);
    auto left = fromVector(std::vector<Format>{fmt(1, 6, 6)});
    auto right = fromVector(std::vector<Format>{fmt(1, 5, 5), fmt(2, 2, 4)});
    EXPECT_EQ(sizesOf(besideFormats(b, left, right)), (std::vector<Sizes3>{{2, 8, 10}}));

    auto right2 = fromVector(std::vector<Format>{fmt(1, 3, 3), fmt(1, 5, 5)});
    EXPECT_EQ(sizesOf(besideFormats(b, left, right2)), (std::vector<Sizes3>{{1, 9, 9}, {1, 11, 11}}));

    auto left4 = fromVector(std::vector<Format>{fmt(1, 4, 4)});
    auto widths = fromVector(std::vector<Format>{fmt(1, 9, 9), fmt(1, 7, 7), fmt(1, 5, 5), fmt(1, 8, 8)});
    EXPECT_EQ(sizesOf(besideFormats(b, left4, widths)), (std::vector<Sizes3>{{1, 9, 9}, {1, 12, 12}}));
    EXPECT_EQ(sizesOf(besideFormatsUnbounded(left4, widths)).size(), 4u);

    // Rows of the left candidates are merged.
    auto lefts = fromVector(std::vector<Format>{fmt(1, 2, 2), fmt(2, 1, 1)});
    EXPECT_EQ(sizesOf(besideFormatsUnbounded(lefts, fromVector(std::vector<Format>{fmt(1, 1, 1)}))),
              (std::vector<Sizes3>{{1, 3, 3}, {2, 2, 2}}));
    EXPECT_TRUE(besideFormats(b, List<Format>(), widths).empty());
}

// The plain definitions, over vectors: the merge and the fold of the rows.
std::vector<Format> plainMerge(std::vector<Format> xs, std::vector<Format> ys) {
    std::vector<Format> out;
    std::size_t i = 0, j = 0;
    while (i < xs.size() && j < ys.size()) {
        const Format& x = xs[i];
        const Format& y = ys[j];
        const bool takeX = x.height != y.height ? x.height < y.height
                           : x.width != y.width ? x.width < y.width
                                                : x.lastWidth == y.lastWidth;
        if (!takeX) {
            out.push_back(y);
            ++j;
            continue;
        }
        out.push_back(x);
        ++i;
        if (x.height == y.height && x.width == y.width && x.lastWidth == y.lastWidth) ++j;
    }
    out.insert(out.end(), xs.begin() + static_cast<long>(i), xs.end());
    out.insert(out.end(), ys.begin() + static_cast<long>(j), ys.end());
    return out;
}

std::vector<Format> plainBesideFormats(LayoutInt w, const std::vector<Format>& xs, const std::vector<Format>& ys) {
    std::vector<Format> acc;
    for (auto x = xs.rbegin(); x != xs.rend(); ++x) {
        std::vector<Format> row;
        std::size_t k = 0;
        while (k < ys.size() && std::max(x->width, x->lastWidth + ys[k].width) > w) ++k;
        for (; k < ys.size(); ++k) row.push_back(besideFormat(*x, ys[k]));
        acc = plainMerge(row, acc);
    }
    return acc;
}

TEST(PrettyFormats, ProductsAgreeWithThePlainDefinitions) {
    std::uint32_t seed = 12345;
    auto next = [&](int n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<LayoutInt>((seed >> 16) % static_cast<std::uint32_t>(n));
    };
    auto randomList = [&] {
        std::vector<Format> out;
        LayoutInt h = 1;
        for (LayoutInt k = next(6); k > 0; --k) {
            h += next(3) == 0 ? 1 : 0;  // in the library's order: non-decreasing height
            const LayoutInt w = 1 + next(12);
            out.push_back(fmt(h, h == 1 ? w : 1 + next(w), w));
        }
        return out;
    };
    auto view = [](const std::vector<Format>& fs) {
        std::vector<Sizes3> out;
        for (const Format& f : fs) out.emplace_back(f.height, f.lastWidth, f.width);
        return out;
    };
    for (int round = 0; round < 400; ++round) {
        auto xs = randomList();
        auto ys = randomList();
        const LayoutInt w = 4 + next(16);
        EXPECT_EQ(sizesOf(besideFormats(PageBounds(w, w), fromVector(xs), fromVector(ys))),
                  view(plainBesideFormats(w, xs, ys)));
        EXPECT_EQ(sizesOf(besideFormatsUnbounded(fromVector(xs), fromVector(ys))),
                  view(plainBesideFormats(std::numeric_limits<LayoutInt>::max(), xs, ys)));
        EXPECT_EQ(sizesOf(mergeFormats(fromVector(xs), fromVector(ys))), view(plainMerge(xs, ys)));
    }
}

TEST(PrettyFormats, AboveFmtsAdvancesTheWiderSide) {
    auto upper = fromVector(std::vector<Format>{fmt(1, 10, 10), fmt(1, 6, 6)});
    auto lower = fromVector(std::vector<Format>{fmt(1, 8, 8), fmt(1, 4, 4)});
    EXPECT_EQ(sizesOf(aboveFormats(upper, lower)), (std::vector<Sizes3>{{2, 8, 10}, {2, 8, 8}, {2, 4, 6}}));

    auto u = fromVector(std::vector<Format>{fmt(1, 5, 5, "u1"), fmt(1, 3, 3, "u2")});
    auto d = fromVector(std::vector<Format>{fmt(1, 5, 5, "d1"), fmt(1, 2, 2, "d2")});
    EXPECT_EQ(textsOf(aboveFormats(u, d)), (std::vector<std::string>{"u1\nd1", "u2\nd1", "u2\nd2"}));
    EXPECT_TRUE(aboveFormats(List<Format>(), d).empty());
    EXPECT_TRUE(aboveFormats(u, List<Format>()).empty());
    // Later lines start at the start column.
    EXPECT_EQ(textsOf(aboveFormats(u, d), 3, 1), std::vector<std::string>{"u1\n   d1"});
}

TEST(PrettyBounds, MaxAndEquality) {
    EXPECT_EQ(maxBounds(PageBounds(80, 20), PageBounds(80, 40)), PageBounds(80, 40));
    EXPECT_EQ(maxBounds(PageBounds(90, 20), PageBounds(80, 40)), PageBounds(90, 20));
    EXPECT_EQ(shrinkBounds(3, PageBounds(20, 10)), PageBounds(17, 7));
    EXPECT_EQ(unboundedBounds(), PageBounds(2147483647, 2147483647));
}

TEST(PrettyBeside, SizesAndBoundsOfTheParts) {
    auto leftLog = std::make_shared<BoundsLog>();
    auto rightLog = std::make_shared<BoundsLog>();
    auto a = at(besideDoc(probe(txt("ab"), leftLog), probe(txt("abc"), rightLog)), 20, 15);
    EXPECT_EQ(docSizes(a), (Sizes3{1, 5, 5}));
    EXPECT_EQ(textsOf(singleFormats(a)), std::vector<std::string>{"ababc"});
    EXPECT_EQ(leftLog->seen, (std::vector<std::pair<LayoutInt, LayoutInt>>{{20, 12}}));
    EXPECT_EQ(rightLog->seen, (std::vector<std::pair<LayoutInt, LayoutInt>>{{18, 13}}));

    auto tall = candidatesDoc({fmt(2, 3, 10)}, false, 2, 3, 10);
    EXPECT_EQ(docSizes(at(besideDoc(tall, txt("abcd")), 80)), (Sizes3{2, 7, 10}));
    auto tall2 = candidatesDoc({fmt(2, 8, 9)}, false, 2, 8, 9);
    EXPECT_EQ(docSizes(at(besideDoc(tall2, txt("abcd")), 80)), (Sizes3{2, 12, 12}));
}

TEST(PrettyBeside, EmptySidesPassTheOtherThrough) {
    auto log = std::make_shared<BoundsLog>();
    auto d = candidatesDoc({fmt(2, 3, 10, "x"), fmt(3, 1, 4, "y")}, false, 2, 3, 10);
    auto a = at(besideDoc(emptyDoc(), probe(d, log)), 30, 20);
    EXPECT_EQ(textsOf(singleFormats(a)), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(docSizes(a), (Sizes3{2, 3, 10}));
    EXPECT_EQ(log->seen, (std::vector<std::pair<LayoutInt, LayoutInt>>{{30, 20}}));
    auto b = at(besideDoc(d, emptyDoc()), 30);
    EXPECT_EQ(textsOf(singleFormats(b)), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(docSizes(b), (Sizes3{2, 3, 10}));
}

TEST(PrettyBeside, TooWidePartsAndPairs) {
    auto a = at(besideDoc(txt("abcdef"), txt("xyz")), 4);
    EXPECT_TRUE(*a.tooWide);
    EXPECT_EQ(textsOf(singleFormats(a)), std::vector<std::string>{"<****><*>"});  // "xyz" laid out at -2
    // Texts side by side keep their own markers however they are nested; an empty one leaves none.
    Doc texts = besideDoc(besideDoc(txt("ab"), txt("cd")), besideDoc(txt("efg"), besideDoc(txt(""), txt("h"))));
    EXPECT_EQ(textsOf(singleFormats(at(texts, 5))), std::vector<std::string>{"abcd<*>*"});
    EXPECT_EQ(textsOf(singleFormats(at(texts, 8))), std::vector<std::string>{"abcdefgh"});
    EXPECT_EQ(textsOf(singleFormats(at(besideDoc(txt(""), txt("")), -1))), std::vector<std::string>{""});

    Doc pair = dupDoc(txt("ab"), txt("abc"));
    auto mixed = at(besideDoc(pair, txt("x")), 80);
    const auto& p = std::get<PairReply>(*mixed.reply);
    EXPECT_EQ(textsOf(p.first), std::vector<std::string>{"abx"});
    EXPECT_EQ(textsOf(p.second), std::vector<std::string>{"abcx"});
    EXPECT_FALSE(p.firstTooWide);
    EXPECT_FALSE(*mixed.tooWide);

    auto both = at(besideDoc(pair, pair), 80);
    EXPECT_EQ(textsOf(singleFormats(both)), std::vector<std::string>{"<Error: can't beside two pairs>"});
    EXPECT_TRUE(*both.tooWide);
    EXPECT_EQ(docSizes(both), (Sizes3{1, 4, 4}));
}

TEST(PrettyAbove, StacksAtTheStartColumn) {
    Doc stack = aboveDoc(txt("ab"), txt("abc"));
    auto a = at(stack, 80);
    EXPECT_EQ(docSizes(a), (Sizes3{2, 3, 3}));
    EXPECT_EQ(renderDoc(stack, 80), "ab\nabc");
    EXPECT_EQ(renderDoc(besideDoc(txt("xy"), stack), 80), "xyab\n  abc");

    auto d = candidatesDoc({fmt(1, 4, 4, "d")}, false, 1, 4, 4);
    EXPECT_EQ(docSizes(at(aboveDoc(emptyDoc(), d), 80)), (Sizes3{1, 4, 4}));
    EXPECT_EQ(docSizes(at(aboveDoc(d, emptyDoc()), 80)), (Sizes3{1, 0, 4}));
    EXPECT_EQ(renderDoc(aboveDoc(d, emptyDoc()), 80), "d");

    Doc pair = dupDoc(txt("ab"), txt("abc"));
    auto both = at(aboveDoc(pair, pair), 80);
    EXPECT_EQ(textsOf(singleFormats(both)), std::vector<std::string>{"<Error: can't above two pairs>"});
    EXPECT_TRUE(*both.tooWide);
}

TEST(PrettyJoin, PairsBecomeOneList) {
    auto pairDoc = [](std::vector<Format> a, std::vector<Format> b, bool f3, bool f4) {
        return fixedDoc(PairReply{fromVector(std::move(a)), fromVector(std::move(b)), f3, f4}, false, 1, 1, 1);
    };
    auto first = [](const Doc& d) { return textsOf(singleFormats(at(joinDoc(d), 80))); };
    EXPECT_EQ(first(pairDoc({}, {fmt(1, 1, 1, "b")}, false, true)), std::vector<std::string>{"b"});
    EXPECT_EQ(first(pairDoc({fmt(1, 1, 1, "a")}, {fmt(1, 1, 1, "b")}, false, true)), std::vector<std::string>{"a"});
    EXPECT_EQ(first(pairDoc({fmt(1, 2, 2, "a")}, {fmt(1, 1, 1, "b")}, false, false)),
              (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(first(pairDoc({fmt(2, 2, 2, "a")}, {fmt(1, 1, 1, "b")}, false, false)), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(first(pairDoc({fmt(2, 1, 1, "a")}, {fmt(1, 2, 2, "b")}, false, false)),
              (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(first(pairDoc({fmt(1, 1, 1, "a")}, {fmt(1, 1, 1, "b")}, true, false)), std::vector<std::string>{"b"});
    EXPECT_EQ(first(pairDoc({fmt(1, 1, 1, "a")}, {}, true, false)), std::vector<std::string>{"a"});
    EXPECT_EQ(docSizes(at(joinDoc(pairDoc({}, {}, false, false)), 80)), (Sizes3{1, 1, 1}));

    auto plain = at(joinDoc(txt("abc")), 80);
    EXPECT_EQ(textsOf(singleFormats(plain)), std::vector<std::string>{"<Error: can't join a single result>"});
    EXPECT_TRUE(*plain.tooWide);
    auto over = at(joinDoc(txt("abcdef")), 3);
    EXPECT_EQ(textsOf(singleFormats(over)), std::vector<std::string>{"<****>"});
    EXPECT_TRUE(*over.tooWide);
}

TEST(PrettyIndent, ShiftsEveryLine) {
    auto log = std::make_shared<BoundsLog>();
    auto a = at(indentDoc(3, probe(txt("abcde"), log)), 20);
    EXPECT_EQ(docSizes(a), (Sizes3{1, 8, 8}));
    EXPECT_EQ(textsOf(singleFormats(a)), std::vector<std::string>{"   abcde"});
    EXPECT_EQ(log->seen, (std::vector<std::pair<LayoutInt, LayoutInt>>{{17, 17}}));

    Doc twoLines = indentDoc(2, aboveDoc(txt("ab"), txt("cd")));
    EXPECT_EQ(renderDoc(besideDoc(txt("1234"), twoLines), 80), "1234  ab\n      cd");

    auto big = at(indentDoc(21, txt("abc")), 20);
    EXPECT_EQ(textsOf(singleFormats(big)), std::vector<std::string>{"<" + std::string(22, '*') + ">"});
    EXPECT_TRUE(*big.tooWide);

    auto neg = at(indentDoc(-1, txt("abc")), 20);
    EXPECT_EQ(textsOf(singleFormats(neg)), std::vector<std::string>{"<Error: negative indentation>"});
    EXPECT_TRUE(*neg.tooWide);
    EXPECT_EQ(docSizes(neg), (Sizes3{1, 2, 2}));
}

TEST(PrettyIndent, DropsLeadingTooWideCandidatesUnlessFlagged) {
    auto d = [](bool tooWide) {
        return candidatesDoc({fmt(1, 12, 12, "wide"), fmt(2, 5, 5, "narrow"), fmt(3, 15, 15, "later")}, tooWide, 1,
                             12, 12);
    };
    EXPECT_EQ(textsOf(singleFormats(at(indentDoc(0, d(false)), 10))), (std::vector<std::string>{"narrow", "later"}));
    EXPECT_EQ(textsOf(singleFormats(at(indentDoc(2, d(true)), 10))),
              (std::vector<std::string>{"  wide", "  narrow", "  later"}));
}

}  // namespace
}  // namespace plim::lazy_rules

namespace plim {
namespace {

using namespace pretty_test;

// The texts of single characters are kept for the whole run: their handles, copied and dropped
// on two threads at once, leave the count as it is and the text whole.
TEST(PrettyShared, KeptTextsOfCharactersLeaveTheirCountAsItIs) {
    const std::uint32_t before = ppChar('(').node().use_count();
    EXPECT_GE(before, ::plim::pretty_detail::NodeCount::kLasting);
    const auto work = [] {
        for (int i = 0; i < 20000; ++i) {
            Doc enclosed = parensDoc(txt("x"));
            EXPECT_EQ(enclosed.node().use_count(), 1u);
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(ppChar('(').node().use_count(), before);
    EXPECT_EQ(renderDoc(besideDoc(ppChar('('), emptyDoc()), 80), "(");
}

// Documents are values shared freely, also between threads: handles on one document copied and
// dropped on two threads at once leave it whole and its count exact.
TEST(PrettyShared, HandlesCopiedAndDroppedOnTwoThreads) {
    const Doc shared = besideDoc(txt("shared "), aboveDoc(txt("by"), txt("threads")));
    const auto work = [&shared] {
        for (int i = 0; i < 20000; ++i) {
            Doc copy = shared;
            Doc bigger = besideDoc(std::move(copy), txt("!"));
            EXPECT_EQ(bigger.node().use_count(), 1u);
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(shared.node().use_count(), 1u);
    EXPECT_EQ(renderDoc(shared, 80), "shared by\n       threads");
}

// A document given back and made again takes the same blocks in the same order: each node is
// given back before the nodes it holds, the last of them first, the reverse of the order they
// were made in.
TEST(PrettyShared, DocumentMadeAgainTakesTheSameBlocks) {
    if (!kPoolBlocks) GTEST_SKIP() << "here every block comes from the general allocator";
    const auto make = [](std::vector<const void*>& tops) {
        std::vector<Doc> items;
        for (int i = 0; i < 200; ++i) {
            items.push_back(besideDoc(txt("item " + std::to_string(i)), hvSpList({txt("is"), indentDoc(2, txt("here"))})));
            tops.push_back(items.back().node().get());
        }
        return aboveList(std::move(items));
    };
    std::vector<const void*> warm, first, again;
    make(warm);  // the blocks that the library keeps for good are taken here
    { const Doc d = make(first); }
    const Doc d = make(again);
    EXPECT_EQ(again, first);
}

// The engine drops from a joined pair's candidates one that a shorter one makes useless, neither
// wider nor wider at its end (one of the rules lays out every candidate).
TEST(PrettyJoin, ACandidateThatAShorterOneMakesUselessIsDropped) {
    testing::internal::CaptureStdout();
    renderAllStdout(joinDoc(dupDoc(aboveDoc(txt("aa"), txt("aa")), txt("b"))), 80);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "b\n\n");
    testing::internal::CaptureStdout();
    renderAllStdout(joinDoc(dupDoc(aboveDoc(txt("a"), txt("a")), txt("bb"))), 80);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "bb\n\na\na\n\n");
}

// Each part is made when it is laid out, from the bottom as the whole stack's layout goes, and
// released before the next is made; 100,000 parts take no deep recursion.
TEST(PrettyRender, AStackMadePartByPartHoldsOnePartAtATime) {
    const std::size_t count = 100000;
    std::vector<std::size_t> made;
    ::plim::pretty_detail::DocNodeRef previous;  // the one handle left on the part made before, once it is released
    bool previousReleased = true;
    std::string out;
    renderStackTo(out, count, [&](std::size_t i) {
        previousReleased = previousReleased && (!previous || previous.use_count() == 1);
        made.push_back(i);
        const Doc part = besideDoc(textDoc("line "), textDoc(std::to_string(i)));
        previous = part.node();
        return part;
    }, 80);
    EXPECT_TRUE(previousReleased);
    ASSERT_EQ(made.size(), count);
    EXPECT_EQ(made.front(), count - 1);
    EXPECT_EQ(made.back(), 0u);
    EXPECT_EQ(out.substr(0, 14), "line 0\nline 1\n");
    EXPECT_EQ(out.substr(out.size() - 10), "line 99999");
}

}  // namespace
}  // namespace plim
