#include "engine/rewriting/attempts.h"

#include <gtest/gtest.h>

#include <string>

namespace plim {
namespace {

using FL = FailList<std::string, int>;

FL fl(std::vector<std::string> fs, std::vector<int> rs) { return FL{fromVector(std::move(fs)), fromVector(std::move(rs))}; }

void expectEq(const FL& x, const std::vector<std::string>& fs, const std::vector<int>& rs) {
    EXPECT_EQ(toVector(x.failures), fs);
    EXPECT_EQ(toVector(x.results), rs);
}

TEST(FailList, MplusKeepsOrderAndMzeroIsNeutral) {
    const FL a = fl({"a1", "a2"}, {1}), b = fl({"b"}, {2, 3});
    expectEq(mplus(a, b), {"a1", "a2", "b"}, {1, 2, 3});
    expectEq(mplus(mzero<std::string, int>(), a), {"a1", "a2"}, {1});
    expectEq(mplus(a, mzero<std::string, int>()), {"a1", "a2"}, {1});
}

TEST(FailList, ListsAreReadOnlyOnDemand) {
    int reads = 0;
    FL lazy{List<std::string>::defer([&reads] {
                ++reads;
                return List<std::string>::cons("late", {});
            }),
            fromVector(std::vector<int>{1})};
    const FL sum = mplus(fl({}, {0}), lazy);
    EXPECT_EQ(sum.results.head(), 0);
    EXPECT_EQ(reads, 0);
    EXPECT_EQ(toVector(sum.failures), std::vector<std::string>{"late"});
    EXPECT_EQ(reads, 1);
}

TEST(FailList, JoinResultsFlattensOneLevel) {
    using Outer = FailList<std::string, FL>;
    const Outer v{fromVector(std::vector<std::string>{"e"}), fromVector(std::vector<FL>{fl({"a"}, {1}), fl({"b"}, {2})})};
    expectEq(joinResults(v), {"e", "a", "b"}, {1, 2});
    const Outer none{fromVector(std::vector<std::string>{"e"}), {}};
    expectEq(joinResults(none), {"e"}, {});
}

}  // namespace
}  // namespace plim
