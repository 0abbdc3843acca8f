// Deep and wide terms through simple, one-step and two-step matching, on the ordinary
// stack of the test thread: a chain of 10,000 applications and a list of 10,000 elements.
#include <gtest/gtest.h>

#include "engine/matching/fast/matcher.h"
#include "engine/matching/match_corpus.h"
#include "support/sanitizer_build.h"

namespace plim::fast {
namespace {

using namespace corpus::detail;

constexpr int kDepth = test::inputSize(10000);

Term conv(const Expr& e) { return convertPrime({}, e); }

// F (F (... (F 1))), n applications.
Expr chain(int n) {
    Expr e = num(1);
    for (int i = 0; i < n; ++i) e = F(e);
    return e;
}

// [0, 1, ..., n - 1].
Expr list(int n) {
    Expr e = nul();
    for (int i = n; i-- > 0;) e = cons(num(i), e);
    return e;
}

// The number of applications of F down from the top of the expression, and what is below.
std::pair<int, Expr> peel(Expr e) {
    int n = 0;
    while (e.isAp() && e.fun().isCon() && e.fun().constant().kind() == ConstantKind::Constr) {
        e = e.arg();
        ++n;
    }
    return {n, e};
}

std::vector<MatchResult> run(ApStep step, const Expr& p, const Expr& t) {
    const NameSupply s = initialNameSupply();
    const FastRun r = step == ApStep::TwoStep ? fastTwoStep(conv(p), conv(t), {}, s)
                                              : fastEngine(step, identitySubst(), conv(p), {}, conv(t), {}, s);
    return toVector(fastConvertRun(r).results);
}

// f bound to \ a -> F^levels (body): the level count and the body.
std::pair<int, Expr> image(const MatchResult& r) {
    EXPECT_EQ(r.subst.front().first, "f");
    const Expr& f = r.subst.front().second;
    EXPECT_TRUE(f.isLam());
    return peel(f.body());
}

TEST(FastMatchingDeep, AChainOfTenThousandApplications) {
    const Expr t = chain(kDepth);
    const Expr f = var("f", fn(I(), I()));
    // Simple: F (F x) takes off two levels.
    const MatchResults simple = fastSimpleMatchExpr(F(F(var("x", I()))), t);
    ASSERT_EQ(toVector(simple).size(), 1u);
    EXPECT_EQ(peel(simple.head().subst.front().second).first, kDepth - 2);
    // One-step f 1: the 1 at the bottom abstracted, then the constant abstraction.
    const auto one = run(ApStep::OneStep, ap(f, num(1)), t);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_EQ(image(one[0]).first, kDepth);
    EXPECT_TRUE(image(one[0]).second.isVar());
    EXPECT_EQ(image(one[1]).first, kDepth);
    EXPECT_TRUE(image(one[1]).second.isCon());
    // Two-step: the same two, the constant abstraction first.
    const auto two = run(ApStep::TwoStep, ap(f, num(1)), t);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_TRUE(image(two[0]).second.isCon());
    EXPECT_TRUE(image(two[1]).second.isVar());
    // f x on 200 levels: the decomposition, an abstraction of each of the 201 subterms but
    // the argument alone, the constant abstraction.
    EXPECT_EQ(run(ApStep::OneStep, ap(f, var("x", I())), chain(200)).size(), 202u);
}

TEST(FastMatchingDeep, AListOfTenThousandElements) {
    const Expr t = list(kDepth);
    // Simple: x : xs.
    const MatchResults simple = fastSimpleMatchExpr(cons(var("x", I()), var("xs", listT())), t);
    ASSERT_EQ(toVector(simple).size(), 1u);
    EXPECT_EQ(simple.head().subst.front().first, "x");
    const Expr f = var("f", fn(I(), listT()));
    const Expr middle = num(kDepth / 2);
    // One-step f 5000: the one occurrence abstracted, then the constant abstraction.
    const auto one = run(ApStep::OneStep, ap(f, middle), t);
    ASSERT_EQ(one.size(), 2u);
    EXPECT_TRUE(one[0].subst.front().second.isLam());
    // Two-step: the constant abstraction, then the occurrence.
    const auto two = run(ApStep::TwoStep, ap(f, middle), t);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_TRUE(exprEq({}, {}, one[0].subst.front().second, two[1].subst.front().second));
    EXPECT_TRUE(exprEq({}, {}, one[1].subst.front().second, two[0].subst.front().second));
}

}  // namespace
}  // namespace plim::fast
