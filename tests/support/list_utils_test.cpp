#include "support/list_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plim {
namespace {

using Strings = std::vector<std::string>;

TEST(ListUtils, JoinWith) {
    EXPECT_EQ(joinWith<std::string>(" ", "a", {"b", "c"}), "a b c");
    EXPECT_EQ(joinWith<std::string>(",", "x", {}), "x");
    EXPECT_EQ(joinWith<std::string>("", "a", {"b"}), "ab");
    EXPECT_EQ(joinWith<std::vector<int>>({0}, {1}, {{2, 3}, {}}), (std::vector<int>{1, 0, 2, 3, 0}));
}

TEST(ListUtils, PowersetOrder) {
    EXPECT_EQ(powerset(Strings{}), (std::vector<Strings>{{}}));
    EXPECT_EQ(powerset(Strings{"a"}), (std::vector<Strings>{{}, {"a"}}));
    EXPECT_EQ(powerset(Strings{"a", "b", "c"}),
              (std::vector<Strings>{{}, {"c"}, {"b"}, {"b", "c"}, {"a"}, {"a", "c"}, {"a", "b"}, {"a", "b", "c"}}));
    EXPECT_EQ(powerset(Strings{"x", "x"}), (std::vector<Strings>{{}, {"x"}, {"x"}, {"x", "x"}}));
    EXPECT_EQ(powerset(std::vector<int>(10, 1)).size(), 1024u);
}

TEST(ListUtils, StrToIntWrapsAndTakesAnyCharacter) {
    EXPECT_EQ(strToInt("0042"), 42);
    EXPECT_EQ(strToInt(""), 0);
    EXPECT_EQ(strToInt("12a"), 169);
    EXPECT_EQ(strToInt("4294967296"), 0);
    EXPECT_EQ(strToInt("2147483647"), 2147483647);
    EXPECT_EQ(strToInt("2147483648"), -2147483647 - 1);
    EXPECT_EQ(strToInt("4294967295"), -1);
    EXPECT_EQ(strToInt("-"), -3);
    EXPECT_EQ(strToInt("99999999999999999999"), static_cast<std::int32_t>(1661992959u));
}

TEST(ListUtils, MapThreadGroupsByFirstOccurrence) {
    auto eq = [](int x, int y) { return x == y; };
    using Groups = std::vector<std::pair<int, Strings>>;
    EXPECT_TRUE((mapThread(eq, std::vector<std::pair<int, std::string>>{})).empty());
    EXPECT_EQ((mapThread(eq, std::vector<std::pair<int, std::string>>{{1, "v"}})), (Groups{{1, {"v"}}}));
    EXPECT_EQ((mapThread(eq, std::vector<std::pair<int, std::string>>{{1, "a"}, {2, "b"}, {1, "c"}, {3, "d"}, {2, "e"}})),
              (Groups{{1, {"a", "c"}}, {2, {"b", "e"}}, {3, {"d"}}}));
}

TEST(ListUtils, MapThreadPassesTheElementKeyFirst) {
    // An equality that is not symmetric: an element joins a group when its key is one more.
    auto nextOf = [](int element, int key) { return element == key + 1; };
    using Groups = std::vector<std::pair<int, Strings>>;
    EXPECT_EQ((mapThread(nextOf, std::vector<std::pair<int, std::string>>{{1, "a"}, {2, "b"}, {0, "c"}})),
              (Groups{{1, {"a", "b"}}, {0, {"c"}}}));
}

TEST(ListUtils, ZipSelect) {
    auto eq = [](const std::string& x, const std::string& y) { return x == y; };
    EXPECT_EQ(zipSelect(eq, Strings{}, std::string("p")), std::nullopt);
    EXPECT_EQ(zipSelect(eq, Strings{"p", "q", "p"}, std::string("p")), 0u);
    EXPECT_EQ(zipSelect(eq, Strings{"p", "q", "p"}, std::string("q")), 1u);
    EXPECT_EQ(zipSelect(eq, Strings{"p", "q"}, std::string("r")), std::nullopt);
}

}  // namespace
}  // namespace plim
