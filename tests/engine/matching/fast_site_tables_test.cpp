// The fast matcher's site tables: the derivations the driver makes with them are those it makes
// by asking the matcher at every site, and a rule's walk goes down only where it is tried.
#include <gtest/gtest.h>

#include "engine/calculations/calculation.h"
#include "engine/matching/matcher_internal.h"
#include "engine/rewriting/driver.h"
#include "engine/rewriting/driver_test_util.h"

namespace plim {
namespace {

using namespace rewrite_test;

Type list() { return mkTCon("L"); }
Expr nil() { return con("Nil", list()); }
Expr cons(const Expr& x, const Expr& xs) { return ap(con("Cons", fn(nat(), fn(list(), list()))), x, xs); }
Expr app(const Expr& xs, const Expr& ys) { return ap(con("app", fn(list(), fn(list(), list()))), xs, ys); }
Expr rev(const Expr& xs) { return ap(con("rev", fn(list(), list())), xs); }

Expr numbers(int n, const Expr& tail = nil()) {
    Expr e = tail;
    for (int k = 0; k < n; ++k) e = cons(peano(k), e);
    return e;
}

// Naive reverse, with a conditional rule first that holds only for a head Z: tried at every
// append, it leaves failures in the order of the sites.
std::vector<Rule> reverseTheory() {
    const Expr x = var("x"), xs = var("xs", list()), ys = var("ys", list());
    return {rule("headZ", app(cons(x, xs), ys), cons(x, ys), {{x, zero()}}),
            rule("revN", rev(nil()), nil()),
            rule("revC", rev(cons(x, xs)), app(rev(xs), cons(x, nil()))),
            rule("appN", app(nil(), ys), ys),
            rule("appC", app(cons(x, xs), ys), cons(x, app(xs, ys)))};
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
    const Expr ys = var("ys", list());
    for (const Expr& e : {rev(numbers(5)), app(app(numbers(2), numbers(3)), app(nil(), numbers(1))),
                          lam(ys, rev(numbers(3, ys)))})
        EXPECT_EQ(derivationText(fastMatcher(), reverseTheory(), e), derivationText(withoutTables(), reverseTheory(), e));
    // A variable bound around the expression.
    const std::vector<TypedVar> ctx{{"zs", list()}};
    const Expr e = app(rev(numbers(2)), var("zs", list()));
    EXPECT_EQ(derivationText(fastMatcher(), reverseTheory(), e, ctx),
              derivationText(withoutTables(), reverseTheory(), e, ctx));
}

// Past the 64th rule the tables answer rule by rule as the matcher does.
TEST(FastSiteTables, RulesPastTheSixtyFourthAnswerAsTheMatcher) {
    std::vector<Rule> theory;
    for (int k = 0; k < 64; ++k) theory.push_back(rule("never" + std::to_string(k), rev(cons(peano(9), nil())), nil()));
    for (const Rule& r : reverseTheory()) theory.push_back(r);
    const Expr e = app(rev(numbers(3)), numbers(1));
    EXPECT_EQ(derivationText(fastMatcher(), theory, e), derivationText(withoutTables(), theory, e));
}

TEST(FastSiteTables, AWalkGoesDownOnlyWhereItsRuleIsTried) {
    std::vector<Expr> leftSides;
    for (const Rule& r : reverseTheory()) leftSides.push_back(r.equation.first);
    const std::size_t appN = 3;
    // app (app (app Nil [0]) [0]) [0]: appN fits only at the innermost append.
    const Expr inner = app(nil(), numbers(1));
    const Expr middle = app(inner, numbers(1));
    const Expr e = app(middle, numbers(1));
    const auto table = fastRuleTable(leftSides)->sites(e, {}, nullptr);
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
