#include "shell/state.h"

#include <gtest/gtest.h>

#include "engine/matching/fast/record.h"
#include "shell/startup.h"

namespace plim {
namespace {

TEST(State, InitialStateHoldsTheDefaults) {
    const CmdState s = initialState();
    EXPECT_EQ(s.path, "");
    EXPECT_EQ(s.program, nullptr);
    EXPECT_EQ(s.theory, nullptr);
    EXPECT_FALSE(s.inScript);
    EXPECT_EQ(s.debugFile, "");
    EXPECT_EQ(s.matcher, fastMatcher());
    EXPECT_EQ(s.width, 80);
}

TEST(State, PathsGainOneFinalSlashOnly) {
    EXPECT_EQ(normalisePath(""), "");
    EXPECT_EQ(normalisePath("lib"), "lib/");
    EXPECT_EQ(normalisePath("lib/"), "lib/");
    EXPECT_EQ(normalisePath("lib//"), "lib//");
    EXPECT_EQ(normalisePath("/"), "/");
}

TEST(State, UnsetFieldsRaiseUserReadableErrors) {
    const CmdState s = initialState();
    try {
        currentTheory(s);
        FAIL();
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), "no theory loaded");
    }
    try {
        loadedProgram(s);
        FAIL();
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), "no program loaded");
    }
}

TEST(State, UnfreezeTurnsConstructorConstantsIntoVariables) {
    const Type a = mkTid("a"), fa = mkArrow(a, a);
    const Expr f = mkCon(mkConstr("f"), fa), x = mkVar("x", a);
    const Expr e = unfreeze(mkAp(f, x, a));
    ASSERT_TRUE(e.isAp());
    ASSERT_TRUE(e.fun().isVar());
    EXPECT_EQ(e.fun().name(), "f");
    EXPECT_TRUE(eqType(e.fun().type(), fa));
    EXPECT_TRUE(e.arg().sameNode(x));
    const Expr n = mkCon(mkNumber(3), mkTCon("Int"));
    EXPECT_TRUE(unfreeze(n).sameNode(n));
    // abstraction patterns stay, bodies and let definitions are unfrozen
    const Expr lam = unfreeze(mkLam(mkCon(mkConstr("p"), a), mkCon(mkConstr("q"), a), fa));
    EXPECT_TRUE(lam.pattern().isCon());
    EXPECT_TRUE(lam.body().isVar());
    const Expr let = unfreeze(mkLet(mkDList(mkOneDef(mkFun(mkVar("y", a), mkCon(mkConstr("r"), a)), mkNoDef(), 1)),
                                    mkCon(mkConstr("s"), a), a));
    EXPECT_TRUE(let.body().isVar());
    EXPECT_TRUE(let.defs().defs.item().decl.fun().rhs.isVar());
}

TEST(State, UnfreezeWalksALongSpine) {
    const Type a = mkTid("a");
    Expr e = mkCon(mkConstr("z"), a);
    for (int i = 0; i < 100000; ++i) e = mkAp(mkCon(mkConstr("f"), mkArrow(a, a)), e, a);
    Expr u = unfreeze(e);
    int depth = 0;
    while (u.isAp()) {
        ASSERT_TRUE(u.fun().isVar());
        u = u.arg();
        ++depth;
    }
    EXPECT_EQ(depth, 100000);
    EXPECT_TRUE(u.isVar());
}

// Lets nested 100,000 deep in their definitions' right sides, unfrozen on the ordinary stack.
TEST(State, UnfreezeWalksDeeplyNestedLets) {
    const Type a = mkTid("a");
    Expr e = mkCon(mkConstr("z"), a);
    for (int i = 0; i < 100000; ++i)
        e = mkLet(mkDList(mkOneDef(mkDec(mkVar("y", a), a), mkOneDef(mkFun(mkVar("y", a), e), mkNoDef(), i), i)),
                  mkCon(mkConstr("s"), a), a);
    Expr u = unfreeze(e);
    int depth = 0;
    while (u.isLet()) {
        ASSERT_TRUE(u.body().isVar());
        const Defs defs = u.defs().defs;
        ASSERT_FALSE(defs.item().decl.isFun());
        u = defs.rest().item().decl.fun().rhs;
        ++depth;
    }
    EXPECT_EQ(depth, 100000);
    EXPECT_TRUE(u.isVar());
}

TEST(State, SignedDecimalWidths) {
    EXPECT_EQ(parseSignedDecimal("100"), 100);
    EXPECT_EQ(parseSignedDecimal("-5"), -5);
    EXPECT_EQ(parseSignedDecimal("+7"), 7);
    EXPECT_EQ(parseSignedDecimal("0"), 0);
    EXPECT_EQ(parseSignedDecimal("4294967296"), 0);  // wraps like every Int
    EXPECT_FALSE(parseSignedDecimal(""));
    EXPECT_FALSE(parseSignedDecimal("-"));
    EXPECT_FALSE(parseSignedDecimal("12a"));
    EXPECT_FALSE(parseSignedDecimal(" 1"));
}

}  // namespace
}  // namespace plim
