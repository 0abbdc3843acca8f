#include "engine/rewriting/rule_preparation.h"

#include <gtest/gtest.h>

#include <set>

#include "frontend/printer/expressions.h"
#include "engine/rewriting/driver_test_util.h"

namespace plim {
namespace {

using namespace rewrite_test;

std::set<std::string> namesOf(const std::vector<Rule>& rules) {
    std::set<std::string> out;
    for (const Rule& r : rules) {
        for (const auto& n : allNames(r.equation.first)) out.insert(n);
        for (const auto& n : allNames(r.equation.second)) out.insert(n);
        for (const auto& [l, rr] : r.conditions) {
            for (const auto& n : allNames(l)) out.insert(n);
            for (const auto& n : allNames(rr)) out.insert(n);
        }
    }
    return out;
}

TEST(RulePreparation, EmptyTheoryKeepsTheSupply) {
    auto [rules, s] = renameRules({}, initialNameSupply());
    EXPECT_TRUE(rules.empty());
    EXPECT_EQ(s.vars.head(), "a");
    EXPECT_EQ(s.tyvars.head(), "a");
}

TEST(RulePreparation, FreeNamesInOrderOfFirstOccurrence) {
    const Expr x = var("x"), y = var("y"), z = var("z");
    auto [r, s] = renameRule(rule("lbl", add(x, y), add(y, z)), initialNameSupply());
    EXPECT_EQ(r.label, "lbl");
    EXPECT_EQ(showExpr(r.equation.first), "add a b");
    EXPECT_EQ(showExpr(r.equation.second), "add b c");
    EXPECT_EQ(s.vars.head(), "d");
}

TEST(RulePreparation, ConditionNamesComeAfterTheEquationsAndLambdasLast) {
    const Expr x = var("x"), y = var("y"), w = var("w"), q = var("q");
    // f x = y, if { g (\q -> q) = w; x = y }
    const Expr fx = ap(con("f", fn(nat(), nat())), x);
    const Expr g = ap(con("g", fn(fn(nat(), nat()), nat())), lam(q, q));
    auto [r, s] = renameRule(rule("c", fx, y, {{g, w}, {x, y}}), initialNameSupply());
    EXPECT_EQ(showExpr(r.equation.first), "f a");
    EXPECT_EQ(showExpr(r.equation.second), "b");
    EXPECT_EQ(showExpr(r.conditions[0].first), "g (\\ d -> d)");
    EXPECT_EQ(showExpr(r.conditions[0].second), "c");
    EXPECT_EQ(showExpr(r.conditions[1].first), "a");
    EXPECT_EQ(showExpr(r.conditions[1].second), "b");
    EXPECT_EQ(s.vars.head(), "e");
}

TEST(RulePreparation, TypeVariablesFromTheirOwnSupply) {
    const Type t = mkTid("t");
    const Expr v = mkVar("v", t);
    auto [r, s] = renameRule(rule("id", ap(mkCon(mkConstr("I"), fn(t, t)), v), v), initialNameSupply());
    EXPECT_EQ(r.equation.second.name(), "a");
    EXPECT_EQ(r.equation.second.type(), mkTid("a"));
    EXPECT_EQ(s.tyvars.head(), "b");
}

TEST(RulePreparation, CopiesShareNoNames) {
    const std::vector<Rule> theory = peanoTheory();
    auto [c1, s1] = renameRules(theory, initialNameSupply());
    auto [c2, s2] = renameRules(theory, s1);
    auto [c3, s3] = renameRules(theory, s2);
    const auto n1 = namesOf(c1), n2 = namesOf(c2), n3 = namesOf(c3);
    for (const auto& n : n1) {
        EXPECT_FALSE(n2.count(n)) << n;
        EXPECT_FALSE(n3.count(n)) << n;
    }
    for (const auto& n : n2) EXPECT_FALSE(n3.count(n)) << n;
    // Same shape and labels; rule two continues where rule one stopped.
    ASSERT_EQ(c1.size(), c2.size());
    for (std::size_t i = 0; i < c1.size(); ++i) EXPECT_EQ(c1[i].label, c2[i].label);
    EXPECT_EQ(showExpr(c1[0].equation.first), "add Z a");
    EXPECT_EQ(showExpr(c1[1].equation.first), "add (S b) c");
}

TEST(RulePreparation, UnletRemovesLocalDefinitions) {
    const Expr x = var("x"), y = var("y");
    const Expr let = mkLet(mkDList(mkOneDef(mkFun(y, zero()), mkNoDef(), 1)), add(x, y), nat());
    const Rule r = unletRule(rule("l", let, x, {{let, x}}));
    EXPECT_EQ(showExpr(r.equation.first), "(\\ y -> add x y) Z");
    EXPECT_TRUE(r.equation.first.isAp());
    EXPECT_TRUE(r.conditions[0].first.isAp());
    EXPECT_EQ(prepareTheory({r}).size(), 1u);
}

}  // namespace
}  // namespace plim
