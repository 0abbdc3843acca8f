#include "engine/matching/substitutions.h"

#include <gtest/gtest.h>

#include <string>

#include "frontend/printer/expressions.h"
#include "lang/constants.h"
#include "support/errors.h"
#include "support/failure_text.h"

namespace plim {
namespace {

const Type a = mkTid("a");
const Type b = mkTid("b");
Type fn(Type x, Type y) { return mkArrow(std::move(x), std::move(y)); }
Expr var(const std::string& n, const Type& t = a) { return mkVar(n, t); }
Expr num(std::int32_t n) { return mkCon(mkNumber(n), intType()); }
Expr lam(const Expr& p, const Expr& body) { return mkLam(p, body, fn(p.type(), body.type())); }

std::string renderAll(const Html& html) {
    std::string out;
    for (const HtmlElement& e : html) out += renderElement(0, e);
    return out;
}

TEST(AppSubst, ReplacesPatternAndBodyOfALambda) {
    const Expr x = var("x");
    const Expr r = appSubst({{"x", num(7)}}, identitySubst(), lam(x, x));
    ASSERT_TRUE(r.isLam());
    EXPECT_EQ(showExpr(r.pattern()), "7");
    EXPECT_EQ(showExpr(r.body()), "7");
}

TEST(AppSubstAvoidingCapture, ShadowedVariablesStayAndCapturingBindersAreRenamed) {
    const Expr x = var("x");
    const Expr y = var("y");
    // \ x -> x: the lambda's own x is not the substituted one.
    const Expr shadowed = appSubstAvoidingCapture({{"x", num(7)}}, identitySubst(), lam(x, x));
    EXPECT_EQ(showExpr(shadowed), "(\\ x -> x)");
    // \ y -> x with x := y: the binder takes a new name rather than capture y.
    const Expr renamed = appSubstAvoidingCapture({{"x", y}}, identitySubst(), lam(y, x));
    EXPECT_EQ(showExpr(renamed), "(\\ y1 -> y)");
    // The new name is one the body does not use yet.
    const Expr y1 = var("y1");
    const Expr body = mkAp(mkAp(var("g", fn(a, fn(a, a))), x, fn(a, a)), y1, a);
    EXPECT_EQ(showExpr(appSubstAvoidingCapture({{"x", y}}, identitySubst(), lam(y, body))), "(\\ y2 -> g y y1)");
    // A binder that captures nothing keeps its name, and free variables are replaced.
    EXPECT_EQ(showExpr(appSubstAvoidingCapture({{"x", num(1)}}, identitySubst(), lam(y, x))), "(\\ y -> 1)");
    // The general substitution does rename nothing.
    EXPECT_EQ(showExpr(appSubst({{"x", y}}, identitySubst(), lam(y, x))), "(\\ y -> y)");
}

TEST(AppSubst, FirstBindingOfANameWins) {
    const Expr r = appSubst({{"x", num(1)}, {"x", num(2)}}, identitySubst(), var("x"));
    EXPECT_EQ(showExpr(r), "1");
}

TEST(AppSubst, TypeSubstitutionSparesBoundExpressions) {
    const TypeSubst ts = bindVar("a", intType());
    const Expr boundToA = var("z", a);
    const Expr e = typedAp(var("f", fn(a, a)), var("x"));
    const Expr r = appSubst({{"x", boundToA}}, ts, e);
    ASSERT_TRUE(r.isAp());
    EXPECT_EQ(r.fun().type(), fn(intType(), intType()));
    EXPECT_EQ(r.type(), intType());
    EXPECT_TRUE(r.arg().sameNode(boundToA));
    EXPECT_EQ(r.arg().type(), a);
    const Expr c = appSubst({}, ts, mkCon(mkNul(), mkListType(a)));
    EXPECT_EQ(c.type(), mkListType(intType()));
}

TEST(AppSubst, TypesFollowTheContentOfEachTypeSubstitution) {
    // The same expression again and again under substitutions that differ, come back, and
    // outnumber the ones remembered.
    const Expr e = typedAp(var("f", fn(a, fn(b, a))), var("x"));
    std::vector<std::pair<Type, Type>> rounds;
    for (int i = 0; i < 12; ++i) rounds.emplace_back(mkTid("t" + std::to_string(i)), intType());
    rounds.emplace_back(intType(), boolType());
    rounds.emplace_back(intType(), intType());
    rounds.emplace_back(mkListType(intType()), boolType());
    for (int again = 0; again < 2; ++again)
        for (const auto& [ta, tb] : rounds) {
            const TypeSubst ts = substTypeOf(bindVar("a", ta), bindVar("b", tb));
            const Expr r = appSubst({}, ts, e);
            EXPECT_EQ(r.fun().type(), fn(ta, fn(tb, ta)));
            EXPECT_EQ(r.type(), fn(tb, ta));
            EXPECT_EQ(r.arg().type(), ta);
        }
}

TEST(AppSubst, LocalDefinitionIsAnInternalError) {
    const Expr let = mkLet(mkDList(mkNoDef()), var("x"), a);
    EXPECT_EQ(failureText([&] { appSubst({}, identitySubst(), lam(var("y"), let)); }),
              "Substitutions:19|function appSubst");
}

TEST(AppSubst, LongSpineCostsNoStack) {
    Expr e = var("x");
    for (int i = 0; i < 100000; ++i) e = typedAp(var("f", fn(a, a)), e);
    const Expr r = appSubst({{"x", num(1)}}, bindVar("a", intType()), e);
    Expr at = r;
    while (at.isAp()) at = at.arg();
    EXPECT_EQ(showExpr(at), "1");
    EXPECT_EQ(r.type(), intType());
}

TEST(ComposeMatch, InnerBindingsFirstWithOuterApplied) {
    const MatchResult outer{{{"x", num(1)}, {"y", num(2)}}, bindVar("a", intType())};
    const MatchResult inner{{{"x", var("y")}, {"z", var("y", a)}}, bindVar("b", a)};
    const MatchResult r = composeMatch(outer, inner);
    ASSERT_EQ(r.subst.size(), 3u);
    EXPECT_EQ(showSubst(r.subst), "x := 2\nz := 2\ny := 2\n");
    EXPECT_EQ(r.types("b"), intType());
    EXPECT_EQ(r.types("a"), intType());
    EXPECT_EQ(matchDomain(r), (std::vector<std::string>{"x", "z", "y"}));
}

TEST(ShowSubsts, ExactTexts) {
    const MatchResult one{{{"x", num(1)}, {"y", num(2)}}, identitySubst()};
    EXPECT_EQ(showSubsts(fromVector<MatchResult>({one})), "x := 1\ny := 2\n\n---\n");
    EXPECT_EQ(showSubsts(fromVector<MatchResult>({emptyMatch()})), "\n---\n");
    EXPECT_EQ(showSubsts(MatchResults()), "");
    EXPECT_EQ(showMatchResult(one), "x := 1\ny := 2\n");
    EXPECT_EQ(showSubstBlock({}), "\n---\n");
}

TEST(SubstHtml, OneDivisionPerBinding) {
    EXPECT_TRUE(substHtml({}).empty());
    const Html h = substHtml({{"x<", typedAp(var("f", fn(a, a)), var("y"))}});
    EXPECT_EQ(renderAll(h),
              "<DIV CLASS=\"expression\">\n<P>\n  x&lt; := f&nbsp;y</P>\n  </DIV>\n");
}

TEST(SubstHtml, TwoLineExpressionGetsOneBreak) {
    const Expr let = mkLet(mkDList(mkOneDef(mkFun(var("y"), num(1)), mkNoDef(), 1)),
                           typedAp(var("f", fn(a, a)), var("y")), a);
    const Html h = substHtml({{"x", let}});
    ASSERT_EQ(h.size(), 1u);
    EXPECT_EQ(markupTag(h[0]), "DIV");
    EXPECT_EQ(markupAttrs(h[0]), (std::vector<HtmlAttr>{{"CLASS", "expression"}}));
    const Html& div = markupContent(h[0]);
    ASSERT_EQ(div.size(), 1u);
    EXPECT_EQ(markupTag(div[0]), "P");
    EXPECT_TRUE(markupAttrs(div[0]).empty());
    const Html& p = markupContent(div[0]);
    ASSERT_EQ(p.size(), 5u);
    EXPECT_EQ(p[0].text(), "x");
    EXPECT_EQ(p[1].text(), " := ");
    EXPECT_EQ(p[2].text(), "(f&nbsp;y");
    EXPECT_EQ(markupTag(p[3]), "BR");
    EXPECT_EQ(p[4].text(), "&nbsp;where&nbsp;y&nbsp;=&nbsp;1)");
}

TEST(TypeMatches, LiftedWithoutBindings) {
    const auto rs = matchTypes(fn(a, b), fn(intType(), boolType()));
    ASSERT_EQ(rs.size(), 1u);
    EXPECT_TRUE(rs[0].subst.empty());
    EXPECT_EQ(rs[0].types("b"), boolType());
    EXPECT_TRUE(matchTypes(intType(), boolType()).empty());
    const auto bound = bindVar("v", a, num(3));
    ASSERT_EQ(bound.size(), 1u);
    EXPECT_EQ(bound[0].subst.front().first, "v");
    EXPECT_EQ(bound[0].types("a"), intType());
}

}  // namespace
}  // namespace plim
