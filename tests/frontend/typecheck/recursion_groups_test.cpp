#include "frontend/typecheck/recursion_groups.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>


namespace plim {
namespace {

using Names = std::vector<std::string>;
using Groups = std::vector<std::vector<std::string>>;

// An item whose payload is its label.
GroupItem<std::string> item(Names defines, Names uses, std::string label) {
    return GroupItem<std::string>{std::move(defines), std::move(uses), std::move(label)};
}
// An item that defines one name, labelled with it.
GroupItem<std::string> def(const std::string& name, Names uses = {}) { return item({name}, std::move(uses), name); }

TEST(RecursionGroups, NoItemsGiveNoGroups) {
    EXPECT_EQ(dependencyGroups(std::vector<GroupItem<std::string>>{}), Groups{});
}

TEST(RecursionGroups, IndependentItemsComeOutInDescendingNameOrder) {
    EXPECT_EQ(dependencyGroups<std::string>({def("a"), def("b"), def("c")}), (Groups{{"c"}, {"b"}, {"a"}}));
    EXPECT_EQ(dependencyGroups<std::string>({def("c"), def("a"), def("b")}), (Groups{{"c"}, {"b"}, {"a"}}));
}

TEST(RecursionGroups, UsedItemsComeFirst) {
    EXPECT_EQ(dependencyGroups<std::string>({def("a", {"b"}), def("b")}), (Groups{{"b"}, {"a"}}));
    EXPECT_EQ(dependencyGroups<std::string>({def("a", {"b"}), def("b", {"c"}), def("c")}),
              (Groups{{"c"}, {"b"}, {"a"}}));
    EXPECT_EQ(dependencyGroups<std::string>({def("c", {"a"}), def("a"), def("b")}), (Groups{{"b"}, {"a"}, {"c"}}));
}

TEST(RecursionGroups, ACycleIsOneComponentListedChildrenFirst) {
    EXPECT_EQ(dependencyGroups<std::string>({def("a", {"b"}), def("b", {"a"})}), (Groups{{"b", "a"}}));
    EXPECT_EQ(dependencyGroups<std::string>({def("b", {"a"}), def("a", {"b"})}), (Groups{{"b", "a"}}));
}

TEST(RecursionGroups, SelfUseAndUndefinedNamesAddNothing) {
    EXPECT_EQ(dependencyGroups<std::string>({def("a", {"a", "zz"}), def("b", {"map"})}), (Groups{{"b"}, {"a"}}));
}

TEST(RecursionGroups, EqualDefinedNamesShareOneVertexInInputOrder) {
    const Groups g = dependencyGroups<std::string>(
        {item({"f"}, {}, "f sig"), def("g", {"f"}), item({"f"}, {"g"}, "f eq1"), item({"f"}, {}, "f eq2")});
    EXPECT_EQ(g, (Groups{{"g", "f sig", "f eq1", "f eq2"}}));
}

TEST(RecursionGroups, SameNamesInAnotherOrderStaySeparate) {
    const Groups g = dependencyGroups<std::string>({item({"g", "f"}, {}, "gf"), item({"f", "g"}, {}, "fg")});
    EXPECT_EQ(g, (Groups{{"gf"}, {"fg"}}));
}

TEST(RecursionGroups, ANameDefinedTwiceMapsToTheLaterVertex) {
    // [f, g] sorts before [g]; every use of g goes to the vertex of [g].
    const Groups g = dependencyGroups<std::string>({item({"f", "g"}, {}, "fg"), def("g"), def("h", {"g"})});
    EXPECT_EQ(g, (Groups{{"g"}, {"h"}, {"fg"}}));
    const Groups g2 = dependencyGroups<std::string>({item({"f", "g"}, {"g"}, "fg"), def("g")});
    EXPECT_EQ(g2, (Groups{{"g"}, {"fg"}}));
}

TEST(RecursionGroups, EmptyDefinedNamesSortFirst) {
    const Groups g = dependencyGroups<std::string>({def("a"), item({}, {"a"}, "none")});
    EXPECT_EQ(g, (Groups{{"a"}, {"none"}}));
}

TEST(RecursionGroups, ThreeCycleWithATail) {
    // a -> b -> c -> a, d -> a.
    const Groups g = dependencyGroups<std::string>({def("a", {"b"}), def("b", {"c"}), def("c", {"a"}), def("d", {"a"})});
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0], (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(g[1], (std::vector<std::string>{"d"}));
}

TEST(RecursionGroups, LongChainGroupsWithoutDeepRecursion) {
    // d00000 uses d00001 uses ... : 20,000 singleton components, the last name first.
    const int n = 20000;
    std::vector<GroupItem<int>> items;
    auto name = [](int i) {
        std::string s = std::to_string(i);
        return "d" + std::string(6 - s.size(), '0') + s;
    };
    for (int i = 0; i < n; ++i) items.push_back({{name(i)}, i + 1 < n ? Names{name(i + 1)} : Names{}, i});
    const std::vector<std::vector<int>> g = dependencyGroups(items);
    ASSERT_EQ(g.size(), static_cast<std::size_t>(n));
    EXPECT_EQ(g.front(), std::vector<int>{n - 1});
    EXPECT_EQ(g.back(), std::vector<int>{0});
    // The same chain closed into one cycle is a single component.
    items.back().uses = {name(0)};
    EXPECT_EQ(dependencyGroups(items).size(), 1u);
}

}  // namespace
}  // namespace plim
