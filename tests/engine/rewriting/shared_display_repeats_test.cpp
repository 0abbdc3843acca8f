#include "engine/rewriting/shared_display_repeats.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/rewriting/driver_test_util.h"
#include "frontend/printer/expressions.h"

namespace plim::shared_display_detail {
namespace {

using namespace rewrite_test;

// The tree of names and constants, as text: equal for equal trees.
std::string treeText(const Expr& e) {
    if (!e.isAp()) return showExpr(e);
    return "(" + treeText(e.fun()) + " " + treeText(e.arg()) + ")";
}

// Does some application occur twice, by brute force?
bool repeatsApplication(const Expr& e) {
    std::multiset<std::string> seen;
    std::vector<Expr> todo{e};
    while (!todo.empty()) {
        const Expr x = todo.back();
        todo.pop_back();
        if (!x.isAp()) continue;
        seen.insert(treeText(x));
        todo.push_back(x.fun());
        todo.push_back(x.arg());
    }
    for (const std::string& t : seen)
        if (seen.count(t) > 1) return true;
    return false;
}

TEST(RepeatWatch, ARepeatIsFoundWhereverItStands) {
    RepeatWatch watch;
    EXPECT_FALSE(watch.repeats(add(succ(zero()), zero())));
    EXPECT_TRUE(watch.repeats(add(peano(2), peano(2))));
    // S Z stands alone on one side and inside S (S Z) on the other.
    EXPECT_TRUE(watch.repeats(add(peano(1), peano(2))));
    EXPECT_FALSE(watch.repeats(add(peano(1), zero())));
    // Variables count by name, constants by value.
    EXPECT_TRUE(watch.repeats(add(succ(var("q")), succ(var("q")))));
    EXPECT_FALSE(watch.repeats(add(succ(var("q")), succ(var("r")))));
    EXPECT_TRUE(watch.repeats(add(plus(num(1), num(2)), plus(num(1), num(2)))));
    EXPECT_FALSE(watch.repeats(add(plus(num(2), num(1)), plus(num(3), num(1)))));
}

TEST(RepeatWatch, TypesAreNotCompared) {
    RepeatWatch watch;
    auto lenNil = [](const Type& t) { return ap(con("len", fn(t, nat())), con("nil", t)); };
    EXPECT_TRUE(watch.repeats(add(lenNil(mkTCon("A")), lenNil(mkTCon("B")))));
}

// A step's expression: e with the subtree at a random place replaced by a small new tree or
// by another subtree of e (moved or copied, as rules do).
class Steps {
public:
    explicit Steps(unsigned seed) : random_(seed) {}

    Expr fresh(int size) {
        if (size <= 1) return leaf();
        const int left = pick(size - 1);
        return mkAp(fresh(std::max(left, 1)), fresh(std::max(size - 1 - left, 1)), nat());
    }
    Expr next(const Expr& e) {
        const Expr part = randomPart(e);
        return replaceAt(e, pick(3) == 0 ? fresh(1 + pick(5)) : part);
    }

private:
    int pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
    Expr leaf() {
        static const std::vector<Expr> leaves{zero(), con("S", fn(nat(), nat())), num(1), num(2), var("q"), var("r")};
        return leaves[static_cast<std::size_t>(pick(static_cast<int>(leaves.size())))];
    }
    Expr randomPart(Expr e) {
        while (e.isAp() && pick(3) != 0) e = pick(2) == 0 ? e.fun() : e.arg();
        return e;
    }
    Expr replaceAt(const Expr& e, const Expr& by) {
        if (!e.isAp() || pick(4) == 0) return by;
        if (pick(2) == 0) return mkAp(replaceAt(e.fun(), by), e.arg(), nat());
        return mkAp(e.fun(), replaceAt(e.arg(), by), nat());
    }

    std::mt19937 random_;
};

TEST(RepeatWatch, StepByStepAgreesWithCountingEveryApplication) {
    Steps steps(7);
    RepeatWatch watch;
    for (int run = 0; run < 20; ++run) {
        Expr e = steps.fresh(30);  // unrelated to the expression before
        for (int step = 0; step < 30; ++step, e = steps.next(e))
            ASSERT_EQ(watch.repeats(e), repeatsApplication(e)) << treeText(e);
    }
}

}  // namespace
}  // namespace plim::shared_display_detail
