// The fast matcher's site tables: the derivations the driver makes with them are those it makes
// by asking the matcher at every site, and a rule's walk goes down only where it is tried.
#include <gtest/gtest.h>

#include "engine/calculations/calculation.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/matcher_internal.h"
#include "engine/rewriting/driver.h"
#include "engine/rewriting/driver_test_util.h"

namespace plim {
namespace {

using namespace rewrite_test;

Expr numbers(int n, const Expr& tail = lnil()) {
    Expr e = tail;
    for (int k = 0; k < n; ++k) e = lcons(peano(k), e);
    return e;
}

// Naive reverse, with a conditional rule first that holds only for a head Z: tried at every
// append, it leaves failures in the order of the sites.
std::vector<Rule> reverseTheory() {
    const Expr x = var("x"), xs = var("xs", natList()), ys = var("ys", natList());
    std::vector<Rule> theory{rule("headZ", lapp(lcons(x, xs), ys), lcons(x, ys), {{x, zero()}})};
    for (const Rule& r : reverseRules()) theory.push_back(r);
    return theory;
}

// The calculation and the failures, as text.
std::string derivationText(const MatcherRef& matcher, const std::vector<Rule>& theory, const Expr& e,
                           const std::vector<TypedVar>& ctx = {}) {
    const Derivation d = rewriteDefinition(matcher, theory, e, ctx);
    std::string text = showCalculation(80, 0, d.start, d.steps);
    for (const Calculation& f : toVector(d.failures)) text += "\n-- " + f.label();
    return text;
}

MatcherRef withoutTables() {
    Matcher copy = *fastMatcher();
    copy.ruleTable = nullptr;
    return std::make_shared<const Matcher>(copy);
}

TEST(FastSiteTables, DerivationsAreThoseOfTheMatcherAskedAtEverySite) {
    const Expr ys = var("ys", natList());
    for (const Expr& e : {lrev(numbers(5)), lapp(lapp(numbers(2), numbers(3)), lapp(lnil(), numbers(1))),
                          lam(ys, lrev(numbers(3, ys)))})
        EXPECT_EQ(derivationText(fastMatcher(), reverseTheory(), e), derivationText(withoutTables(), reverseTheory(), e));
    // A variable bound around the expression.
    const std::vector<TypedVar> ctx{{"zs", natList()}};
    const Expr e = lapp(lrev(numbers(2)), var("zs", natList()));
    EXPECT_EQ(derivationText(fastMatcher(), reverseTheory(), e, ctx),
              derivationText(withoutTables(), reverseTheory(), e, ctx));
}

// Past the 64th rule the tables answer rule by rule as the matcher does.
TEST(FastSiteTables, RulesPastTheSixtyFourthAnswerAsTheMatcher) {
    std::vector<Rule> theory;
    for (int k = 0; k < 64; ++k) theory.push_back(rule("never" + std::to_string(k), lrev(lcons(peano(9), lnil())), lnil()));
    for (const Rule& r : reverseTheory()) theory.push_back(r);
    const Expr e = lapp(lrev(numbers(3)), numbers(1));
    EXPECT_EQ(derivationText(fastMatcher(), theory, e), derivationText(withoutTables(), theory, e));
}

// Trees of numerals and a rule that swaps the subtrees at the top.
Type tree() { return mkTCon("T"); }
Expr node(const Expr& l, const Expr& r) { return ap(con("Node", fn(tree(), fn(tree(), tree()))), l, r); }
Expr leaf(int n) { return ap(con("Lf", fn(nat(), tree())), peano(n)); }
Expr swapped(const Expr& t) { return ap(con("swap", fn(tree(), tree())), t); }
Expr fullTree(int depth, int& next) {
    if (depth == 0) return leaf(next++ % 3);
    Expr l = fullTree(depth - 1, next);
    return node(l, fullTree(depth - 1, next));
}

// The facts of nodes under which nothing is tried are left out: a step that takes its parts
// from there (swap's subtrees, mulS's numerals) and a step that puts one part in two places
// (mulS's y) find them again.
TEST(FastSiteTables, PartsFromWhereNothingIsTriedAndSharedParts) {
    const Expr l = var("l", tree()), r = var("r", tree());
    const std::vector<Rule> swap{rule("swapN", swapped(node(l, r)), node(r, l))};
    int next = 0;
    const Expr t = fullTree(4, next);
    for (const Expr& e : {swapped(swapped(swapped(t))), node(swapped(t), swapped(t.fun().arg()))})
        EXPECT_EQ(derivationText(fastMatcher(), swap, e), derivationText(withoutTables(), swap, e));
    for (const Expr& e : {mul(peano(3), peano(2)), add(mul(peano(2), peano(2)), mul(peano(1), peano(3)))})
        EXPECT_EQ(derivationText(fastMatcher(), peanoTheory(), e), derivationText(withoutTables(), peanoTheory(), e));
}

TEST(FastSiteTables, AWalkGoesDownOnlyWhereItsRuleIsTried) {
    std::vector<Expr> leftSides;
    for (const Rule& r : reverseTheory()) leftSides.push_back(r.equation.first);
    const std::size_t appN = 3;
    // app (app (app Nil [0]) [0]) [0]: appN fits only at the innermost append.
    const Expr inner = lapp(lnil(), numbers(1));
    const Expr middle = lapp(inner, numbers(1));
    const Expr e = lapp(middle, numbers(1));
    const auto table = fastRuleTable(leftSides)->sites(e, {});
    const auto visit = [&](const Expr& sub) { return table->visit(appN, sub, false, {}); };
    EXPECT_TRUE(visit(middle).below);
    EXPECT_FALSE(visit(middle).attempt);
    EXPECT_TRUE(visit(inner).attempt);
    EXPECT_FALSE(visit(e.arg()).below);       // the list [0]
    EXPECT_FALSE(visit(inner.arg()).below);   // the list [0] inside
    EXPECT_FALSE(visit(middle.fun().fun()).below);  // the constant app
}

}  // namespace
}  // namespace plim
