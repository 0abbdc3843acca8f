#include "lang/bound_vars.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plim {
namespace {

const Type intT = mkTCon("Int");

TEST(NameSet, EqualSetsCompareEqualWhateverTheirOrder) {
    const NameSet xy = NameSet().with("x").with("y");
    const NameSet yx = NameSet({"y", "x", "y"});
    EXPECT_EQ(xy, yx);
    EXPECT_EQ(xy.hash(), yx.hash());
    EXPECT_EQ(yx.size(), 2u);
    EXPECT_EQ(yx.sorted(), (std::vector<std::string>{"x", "y"}));
    EXPECT_FALSE(xy == NameSet({"x", "z"}));
    EXPECT_FALSE(xy == NameSet({"x"}));
    EXPECT_EQ(NameSet(), NameSet(std::vector<std::string>{}));
    EXPECT_TRUE(xy.contains("y"));
    EXPECT_FALSE(xy.contains("z"));
    EXPECT_FALSE(NameSet().contains("x"));
}

TEST(NameSet, ANameHeldAlreadyLeavesTheSetAsItIs) {
    const NameSet x = NameSet({"x"});
    const NameSet again = x.with("x");
    EXPECT_EQ(again.size(), 1u);
    EXPECT_EQ(again, x);
    // Many names: the sketch of each node is full, and lookups still find exactly the names held.
    NameSet many;
    for (int i = 0; i < 500; ++i) many = many.with("v" + std::to_string(i));
    EXPECT_EQ(many.size(), 500u);
    EXPECT_TRUE(many.contains("v0"));
    EXPECT_TRUE(many.contains("v499"));
    EXPECT_FALSE(many.contains("v500"));
    // Large sets compare by their names too.
    NameSet reversed;
    for (int i = 499; i >= 0; --i) reversed = reversed.with("v" + std::to_string(i));
    EXPECT_EQ(reversed, many);
    NameSet other;
    for (int i = 1; i <= 500; ++i) other = other.with("v" + std::to_string(i));
    EXPECT_FALSE(other == many);
}

TEST(BoundVars, BindersInsideComeFirstAndShareTheOnesAround) {
    const BoundVars outer({{"z", intT}});
    const BoundVars inner = outer.inside({{"x", intT}, {"y", intT}});
    EXPECT_EQ(inner.size(), 3u);
    EXPECT_EQ(inner.nameList(), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(inner.vars().back().first, "z");
    EXPECT_EQ(inner.names(), NameSet({"z", "y", "x"}));
    // A name bound twice is listed twice and counted once among the different names.
    const BoundVars shadowing = inner.inside({{"z", intT}});
    EXPECT_EQ(shadowing.nameList(), (std::vector<std::string>{"z", "x", "y", "z"}));
    EXPECT_EQ(shadowing.names().size(), 3u);
    EXPECT_EQ(outer.size(), 1u);  // unchanged
    EXPECT_TRUE(BoundVars().empty());
    EXPECT_EQ(inner.inside({}).nameList(), inner.nameList());
}

TEST(BoundVars, ADeepChainOfBindersIsReleasedWithoutDeepRecursion) {
    BoundVars chain;
    for (int i = 0; i < 200000; ++i) chain = chain.inside({{"x", intT}});
    EXPECT_EQ(chain.size(), 200000u);
    EXPECT_EQ(chain.names().size(), 1u);
    chain = BoundVars();
    EXPECT_TRUE(chain.empty());
}

}  // namespace
}  // namespace plim
