#include "support/sets.h"

#include <gtest/gtest.h>

#include <string>

namespace plim {
namespace {

const NaturalOrd ord;
std::string showInt(int x) { return std::to_string(x); }

TEST(Sets, BuildingAndCounting) {
    EXPECT_EQ(cardinality(ord, emptySet<int>(ord)), 0);
    Set<int> s = mkSet(ord, std::vector<int>{3, 1, 3});
    EXPECT_EQ(cardinality(ord, s), 2);
    EXPECT_EQ(setToList(ord, s), (std::vector<int>{1, 3}));
    EXPECT_TRUE(elementOf(ord, 3, s));
    EXPECT_FALSE(elementOf(ord, 2, s));
    EXPECT_FALSE(elementOf(ord, 1, emptySet<int>(ord)));
    EXPECT_EQ(setToList(ord, addToSet(ord, 2, s)), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(setToList(ord, delFromSet(ord, 1, s)), (std::vector<int>{3}));
}

TEST(Sets, Algebra) {
    Set<int> a = mkSet(ord, std::vector<int>{1, 2, 3});
    Set<int> b = mkSet(ord, std::vector<int>{2, 4});
    EXPECT_EQ(setToList(ord, unionSets(ord, a, b)), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(setToList(ord, minusSet(ord, a, b)), (std::vector<int>{1, 3}));
    EXPECT_EQ(setToList(ord, intersectSets(ord, a, b)), (std::vector<int>{2}));
    EXPECT_EQ(setToList(ord, filterSet(ord, [](int x) { return x > 1; }, a)), (std::vector<int>{2, 3}));
    EXPECT_EQ(foldSet(ord, [](int x, std::string acc) { return std::to_string(x) + acc; }, std::string("."), a),
              "123.");
    EXPECT_EQ(setToList(ord, mapSet(ord, [](int x) { return x / 2; }, a)), (std::vector<int>{0, 1}));
    EXPECT_TRUE(isSubsetOf(ord, emptySet<int>(ord), a));
    EXPECT_FALSE(isSubsetOf(ord, unitSet(ord, 1), emptySet<int>(ord)));
    EXPECT_TRUE(isSubsetOf(ord, unitSet(ord, 2), b));
}

// Integers ordered from the greatest down.
struct Descending {
    bool eq(int a, int b) const { return a == b; }
    bool lt(int a, int b) const { return a > b; }
    bool gt(int a, int b) const { return a < b; }
};

// An ordering of strings that must not be asked anything.
struct NeverAsked {
    bool eq(const std::string&, const std::string&) const { return asked(); }
    bool lt(const std::string&, const std::string&) const { return asked(); }
    bool gt(const std::string&, const std::string&) const { return asked(); }
    static bool asked() {
        ADD_FAILURE() << "the source ordering was asked";
        return false;
    }
};

TEST(Sets, MapSetOrdBuildsUnderTheResultOrdering) {
    const Set<std::string> words = mkSet(ord, std::vector<std::string>{"a", "bb", "cc", "dddd"});
    const Set<int> lengths = mapSetOrd(NeverAsked{}, Descending{}, [](const std::string& w) { return static_cast<int>(w.size()); }, words);
    EXPECT_EQ(setToList(Descending{}, lengths), (std::vector<int>{4, 2, 1}));  // "bb" and "cc" merge
    EXPECT_EQ(cardinality(Descending{}, lengths), 3);
    EXPECT_TRUE(elementOf(Descending{}, 2, lengths));
    EXPECT_EQ(cardinality(Descending{}, mapSetOrd(NeverAsked{}, Descending{}, [](const std::string&) { return 0; }, Set<std::string>())), 0);
}

TEST(Sets, PowerSetOrderAndText) {
    Set<Set<int>> p = powerSet(ord, mkSet(ord, std::vector<int>{1, 2}));
    std::vector<std::string> shown;
    for (const Set<int>& s : setToList(setOrd(ord), p)) shown.push_back(showSet(showInt, s));
    EXPECT_EQ(shown, (std::vector<std::string>{"{}", "{1}", "{1, 2}", "{2}"}));
    EXPECT_EQ(cardinality(ord, powerSet(ord, mkSet(ord, std::vector<int>{1, 2, 3, 4}))), 16);
    EXPECT_EQ(showSet(showInt, mkSet(ord, std::vector<int>{3, 2, 1})), "{1, 2, 3}");
    EXPECT_EQ(showSet(showInt, emptySet<int>(ord)), "{}");
    EXPECT_EQ(showSet([](const Set<int>& s) { return showSet(showInt, s); }, p), "{{}, {1}, {1, 2}, {2}}");
}

TEST(Sets, EqualityAndOrderingOfSets) {
    Set<int> a = mkSet(ord, std::vector<int>{2, 1});
    EXPECT_EQ(a, mkSet(ord, std::vector<int>{1, 2}));
    EXPECT_TRUE(setOrd(ord).lt(emptySet<int>(ord), a));
    EXPECT_TRUE(setOrd(ord).lt(a, unitSet(ord, 2)));
    EXPECT_TRUE(setOrd(ord).gt(unitSet(ord, 2), a));
    EXPECT_TRUE(setOrd(ord).eq(a, mkSet(ord, std::vector<int>{1, 2})));
}

}  // namespace
}  // namespace plim
