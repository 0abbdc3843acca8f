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
