#include "lang/names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/big_stack.h"
#include "support/pair_utils.h"
#include "support/errors.h"
#include "support/failure_text.h"

namespace plim {
namespace {

std::string nth(NameList l, std::size_t n) { return l.drop(n - 1).head(); }

TEST(NameSequence, PositionsAcrossLengths) {
    EXPECT_EQ(nthName(0), "a");
    EXPECT_EQ(nthName(25), "z");
    EXPECT_EQ(nthName(26), "aa");
    EXPECT_EQ(nthName(27), "ab");
    EXPECT_EQ(nthName(51), "az");
    EXPECT_EQ(nthName(52), "ba");
    EXPECT_EQ(nthName(701), "zz");
    EXPECT_EQ(nthName(702), "aaa");
    EXPECT_EQ(nthName(702 + 17575), "zzz");
    EXPECT_EQ(nthName(702 + 17576), "aaaa");
}

TEST(NameSequence, VarNamesCountsFromOne) {
    EXPECT_EQ(nth(varNames(), 1), "a");
    EXPECT_EQ(nth(varNames(), 26), "z");
    EXPECT_EQ(nth(varNames(), 27), "aa");
    EXPECT_EQ(nth(varNames(), 28), "ab");
    EXPECT_EQ(nth(varNames(), 52), "az");
    EXPECT_EQ(nth(varNames(), 53), "ba");
    EXPECT_EQ(nth(varNames(), 702), "zz");
    EXPECT_EQ(nth(varNames(), 703), "aaa");
}

TEST(NameSequence, PositionIsTheInverseOfNthName) {
    for (std::uint64_t n : {0ull, 25ull, 26ull, 701ull, 702ull, 123456ull, 987654321ull})
        EXPECT_EQ(namePosition(nthName(n)), n);
    EXPECT_EQ(namePosition(""), std::nullopt);
    EXPECT_EQ(namePosition("a1"), std::nullopt);
    EXPECT_EQ(namePosition("A"), std::nullopt);
}

// Names of 14 letters outnumber the positions of 64 bits: the sequence ends among them, and
// no name list wraps round to its start or turns empty on the way.
TEST(NameSequence, PositionsAtTheEndOf64Bits) {
    constexpr std::uint64_t kLast = ~std::uint64_t{0};
    EXPECT_EQ(namePosition("zzzzzzzzzzzzz"), 2580398988131886037ull);
    EXPECT_EQ(nthName(2580398988131886037ull), "zzzzzzzzzzzzz");
    EXPECT_EQ(nthName(2580398988131886038ull), "aaaaaaaaaaaaaa");
    EXPECT_EQ(nthName(kLast), "gkgwbylwrxtlpp");

    // The last position (kLast itself marks the empty list) is the last name of a list.
    const NameList far = varNames().drop(kLast - 2);
    EXPECT_EQ(far.head(), "gkgwbylwrxtlpn");
    EXPECT_EQ(far.tail().head(), "gkgwbylwrxtlpo");
    EXPECT_EQ(far.drop(1).head(), "gkgwbylwrxtlpo");
    EXPECT_THROW(far.tail().tail(), InternalError);
    EXPECT_THROW(far.drop(2), InternalError);
    EXPECT_THROW(varNames().drop(3).drop(kLast), InternalError);
    const NameList skipping = varNames().without({"b"});
    EXPECT_EQ(skipping.drop(kLast - 2).head(), "gkgwbylwrxtlpo");
    EXPECT_THROW(skipping.drop(kLast - 1), InternalError);
    // A finite list drawn past its end is empty, however far.
    EXPECT_TRUE(NameList::fromVector({"x", "y", "z"}).tail().drop(kLast).empty());
}

TEST(NameSequence, OrderIsShorterFirstThenAlphabetical) {
    EXPECT_TRUE(nameBefore("z", "aa"));
    EXPECT_FALSE(nameBefore("aa", "z"));
    EXPECT_TRUE(nameBefore("a", "b"));
    EXPECT_FALSE(nameBefore("c", "c"));
}

TEST(NameList, WithoutSkipsExactlyTheGivenNames) {
    NameList l = varNames().without({"b", "aa", "Foo", "x1", "c"});
    EXPECT_EQ(l.take(4), (std::vector<std::string>{"a", "d", "e", "f"}));
    EXPECT_EQ(l.drop(24).take(3), (std::vector<std::string>{"ab", "ac", "ad"}));
    // The head itself can be removed; later removals keep earlier ones.
    NameList m = l.without({"a"}).without({"e"});
    EXPECT_EQ(m.take(3), (std::vector<std::string>{"d", "f", "g"}));
    // The original is unchanged.
    EXPECT_EQ(varNames().take(2), (std::vector<std::string>{"a", "b"}));
}

TEST(NameList, SkippedNamesAcrossDropsAndLaterRemovals) {
    const NameList l = varNames().without({"c", "d", "f"});
    EXPECT_EQ(l.drop(2).take(3), (std::vector<std::string>{"e", "g", "h"}));
    // Past the last skipped name the list goes on as the plain sequence.
    EXPECT_EQ(l.drop(5).take(2), (std::vector<std::string>{"i", "j"}));
    EXPECT_EQ(l.drop(23).take(2), (std::vector<std::string>{"aa", "ab"}));
    // A removal on a list drawn past some skipped names keeps the ones still ahead.
    const NameList m = varNames().without({"b", "z"}).drop(3).without({"a", "f"});
    EXPECT_EQ(m.take(2), (std::vector<std::string>{"e", "g"}));
    EXPECT_EQ(m.drop(20).head(), "aa");
    EXPECT_EQ(NameList::deferred([] { return varNames().without({"a"}); }).drop(2).head(), "d");
}

TEST(NameList, FiniteListsEndAndFilter) {
    NameList l = NameList::fromVector({"x", "y", "z"});
    EXPECT_EQ(l.take(5), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_TRUE(l.drop(3).empty());
    EXPECT_EQ(l.without({"y"}).take(5), (std::vector<std::string>{"x", "z"}));
    EXPECT_THROW(NameList().head(), InternalError);
    EXPECT_THROW(l.drop(3).tail(), InternalError);
    const NameList none = NameList::fromVector({});
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(none.without({"x"}).drop(2).empty());
}

// A deferred list is computed once, when first examined, through any number of deferred
// lists whose values are deferred lists in turn.
TEST(NameList, DeferredListsAreComputedOnceWhenExamined) {
    int runs = 0;
    const NameList l = NameList::deferred([&runs] {
        ++runs;
        return NameList::deferred([] { return varNames().drop(4); });
    });
    const NameList copy = l;
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(l.take(0), std::vector<std::string>{});
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(copy.head(), "e");
    EXPECT_EQ(l.tail().head(), "f");
    EXPECT_EQ(l.without({"f"}).take(2), (std::vector<std::string>{"e", "g"}));
    EXPECT_EQ(runs, 1);
    // An error raised by the computation is raised by every examination, not before.
    const NameList bad = NameList::deferred([]() -> NameList { failInternal("internal error: no names"); });
    EXPECT_THROW(bad.empty(), InternalError);
    EXPECT_THROW(bad.drop(1), InternalError);
}

// Long chains of deferred lists are forced and freed in loops: they fit a small stack.
TEST(NameList, LongChainsOfDeferredListsNeitherForceNorFreeRecursively) {
    constexpr int kLength = 50000;
    constexpr std::size_t kSmallStack = 256 * 1024;
    const auto chain = [] {
        NameList l = NameList::fromVector({"p", "q"});
        for (int i = 0; i < kLength; ++i) l = NameList::deferred([l] { return l; });
        return l;
    };
    runOnLargeStack(
        [&] {
            { const NameList unread = chain(); }
            const NameList read = chain();
            EXPECT_EQ(read.tail().take(2), std::vector<std::string>{"q"});
        },
        kSmallStack);
}

// Operations on lists against a model: a list is the vector of its first names, drawn from the
// start of the sequence and filtered by hand.
TEST(NameList, RandomOperationsAgreeWithAModel) {
    constexpr std::size_t kModelLength = 400;  // far more than the operations below draw
    std::vector<std::string> sequenceStart;
    for (std::uint64_t i = 0; i < kModelLength; ++i) sequenceStart.push_back(nthName(i));
    std::mt19937 random(7);
    const auto below = [&random](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    for (int trial = 0; trial < 200; ++trial) {
        const bool finite = below(4) == 0;
        std::vector<std::string> model(sequenceStart.begin(), sequenceStart.begin() + (finite ? 30 : kModelLength));
        NameList list = finite ? NameList::fromVector(model) : varNames();
        std::string ops;
        for (int step = 0; step < 12 && !model.empty(); ++step) {
            switch (below(4)) {
            case 0:
                ops += " tail";
                list = list.tail();
                model.erase(model.begin());
                break;
            case 1: {
                const std::size_t n = below(8);
                ops += " drop " + std::to_string(n);
                list = list.drop(n);
                model.erase(model.begin(), model.begin() + std::min(n, model.size()));
                break;
            }
            case 2: {
                std::vector<std::string> names;
                for (std::size_t k = below(5); k-- > 0;) names.push_back(k == 3 ? "A" : nthName(below(40)));
                for (const auto& n : names) ops += " -" + n;
                list = list.without(names);
                std::erase_if(model, [&](const std::string& m) { return std::ranges::count(names, m) > 0; });
                break;
            }
            default:
                ops += " defer";
                list = NameList::deferred([list] { return list; });
            }
            const std::vector<std::string> front(model.begin(), model.begin() + std::min<std::size_t>(6, model.size()));
            ASSERT_EQ(list.take(6), front) << (finite ? "finite" : "sequence") << ops;
            ASSERT_EQ(list.empty(), model.empty()) << ops;
        }
    }
}

TEST(NameSupply, NextNameTakesFromTheFirstList) {
    NameSupply s{varNames(), NameList::fromVector({"t"})};
    auto [n, rest] = nextName(s);
    EXPECT_EQ(n, "a");
    EXPECT_EQ(rest.vars.take(2), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(rest.tyvars.take(2), (std::vector<std::string>{"t"}));
    // Two holders of one supply get the same names.
    EXPECT_EQ(nextName(s).first, "a");
}

TEST(Comb, PicksTheListFurtherAlong) {
    const NameList b = varNames().drop(1), c = varNames().drop(2);
    EXPECT_EQ(comb(b, c).head(), "c");
    EXPECT_EQ(comb(c, b).head(), "c");
    const NameList c2 = NameList::fromVector({"c", "x"});
    EXPECT_EQ(comb(c2, c).take(2), (std::vector<std::string>{"c", "x"}));  // a tie keeps the first
    // By position in the sequence, not as plain strings: "aa" is further along than "z".
    const NameList z = varNames().drop(25), aa = varNames().drop(26);
    EXPECT_EQ(comb(z, aa).head(), "aa");
    EXPECT_EQ(comb(aa, z).head(), "aa");
}

// Heads compared by position in the sequence, across plain, skipping, finite and deferred lists.
TEST(NameList, HeadBeforeOrdersHeadsAsTheSequence) {
    const NameList z = varNames().drop(25), aa = varNames().drop(26);
    EXPECT_TRUE(z.headBefore(aa));
    EXPECT_FALSE(aa.headBefore(z));
    EXPECT_FALSE(z.headBefore(z));
    const NameList skipping = varNames().without({"a", "b", "z"});  // from "c", skipping "z"
    EXPECT_TRUE(varNames().drop(1).headBefore(skipping));
    EXPECT_FALSE(varNames().drop(2).headBefore(skipping));
    EXPECT_TRUE(skipping.headBefore(varNames().drop(3)));
    const NameList finite = NameList::fromVector({"ab", "a"});
    EXPECT_TRUE(z.headBefore(finite));
    EXPECT_TRUE(aa.headBefore(finite));
    EXPECT_FALSE(finite.headBefore(aa));
    const NameList deferred = NameList::deferred([] { return varNames().drop(27); });
    EXPECT_TRUE(aa.headBefore(deferred));
    EXPECT_FALSE(deferred.headBefore(finite));
    EXPECT_THROW(NameList().headBefore(z), InternalError);
    EXPECT_THROW(z.headBefore(NameList::fromVector({})), InternalError);
}

TEST(Comb, EmptyListFailsOnlyWhenExamined) {
    const NameList one = NameList::fromVector({"a"});
    NameList bad1 = comb(NameList(), one);
    NameList bad2 = comb(one, NameList());
    EXPECT_EQ(failureText([&] { bad1.empty(); }), "Names:92|function comb");
    EXPECT_EQ(failureText([&] { bad2.head(); }), "Names:92|function comb");
    // One failing component leaves the other alone.
    NameSupply s = combPair({NameList(), varNames()}, {one, varNames().drop(3)});
    EXPECT_EQ(s.tyvars.head(), "d");
    EXPECT_EQ(failureText([&] { s.vars.head(); }), "Names:92|function comb");
}

TEST(Comb, DeferredListsAreReadWhenTheResultIs) {
    int runs = 0;
    const NameList later = NameList::deferred([&runs] {
        ++runs;
        return varNames().drop(3);
    });
    const NameList first = comb(later, varNames().drop(1));
    const NameList second = comb(varNames(), later);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(first.head(), "d");
    EXPECT_EQ(second.head(), "d");
    EXPECT_EQ(runs, 1);
    const NameList bad = NameList::deferred([]() -> NameList { failInternal("internal error: no names"); });
    const NameList failing = comb(varNames(), bad);
    EXPECT_THROW(failing.head(), InternalError);
}

TEST(Renaming, RenameAndLookUp) {
    const NameList t = NameList::fromVector({"q"});
    RenameState st{{NameList::fromVector({"a", "b"}), t}, {}, {}};
    auto [n1, st1] = renameFirst("x", st);
    EXPECT_EQ(n1, "a");
    EXPECT_EQ(st1.supply.vars.take(5), (std::vector<std::string>{"b"}));
    auto [n2, st2] = renameFirst("x", st1);
    EXPECT_EQ(n2, "b");
    EXPECT_TRUE(st2.supply.vars.empty());
    EXPECT_EQ(toVector(st2.firstRenaming),
              (std::vector<std::pair<std::string, std::string>>{{"x", "b"}, {"x", "a"}}));
    EXPECT_TRUE(st2.secondRenaming.empty());
    EXPECT_EQ(renamedFirst("x", st2).first, "b");
    EXPECT_EQ(renamedFirst("y", st2).first, "y");
    EXPECT_EQ(renamedSecond("x", st2).first, "x");
    EXPECT_EQ(failureText([&] { renameFirst("z", st2); }), "Names:65|lambda");

    auto [m, st3] = renameSecond("u", st2);
    EXPECT_EQ(m, "q");
    EXPECT_EQ(renamedSecond("u", st3).first, "q");
    EXPECT_EQ(failureText([&] { renameSecond("v", st3); }), "Names:71|lambda");
}

TEST(Renaming, RunRenamingDropsTheRenamings) {
    auto twice = [](const RenameState& st) {
        auto [a, st1] = renameFirst("x", st);
        auto [b, st2] = renameFirst("y", st1);
        return mkPair(a + b, st2);
    };
    auto [r, rest] = runRenaming(twice, initialNameSupply());
    EXPECT_EQ(r, "ab");
    EXPECT_EQ(rest.vars.take(2), (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(rest.tyvars.head(), "a");
}

}  // namespace
}  // namespace plim
