#include "model/constants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "text/big_stack.h"
#include "text/errors.h"

namespace plim {
namespace {

std::string failureText(const std::function<void()>& f) {
    try {
        f();
    } catch (const PatternMatchFailure& e) {
        return e.coded();
    } catch (const PlimError& e) {
        return e.message();
    }
    return "no failure";
}

std::string floatText(float x, int prec = 11) {
    std::string out;
    appendFloatText(out, prec, x);
    return out;
}

Type a() { return mkTid("a"); }
Type b() { return mkTid("b"); }
Type c() { return mkTid("c"); }
Type Fn(Type x, Type y) { return mkArrow(std::move(x), std::move(y)); }
Type List(Type t) { return mkListType(std::move(t)); }

// --- operator table ---

TEST(OperatorTable, NamesSymbolsAndLevels) {
    const std::vector<std::string> names{"App", "Idx", "Comp", "Exp", "Tim", "Div", "Mod", "Plus",
                                         "Min", "FExp", "FTim", "FDiv", "FPlus", "FMin", "Cat", "Cons",
                                         "Eq", "Neq", "Le", "Leq", "Ge", "Geq", "And", "Or"};
    const std::vector<int> levels{100, 9, 9, 10, 7, 7, 7, 6, 6, 10, 7, 7, 6, 6, 5, 5, 4, 4, 4, 4, 4, 4, 3, 2};
    ASSERT_EQ(allOps().size(), 24u);
    for (std::size_t i = 0; i < allOps().size(); ++i) {
        const Op op = allOps()[i];
        EXPECT_EQ(opName(op), names[i]);
        EXPECT_EQ(opPrecedenceInteger(op), levels[i]);
        EXPECT_EQ(opPrecedence<double>(op), static_cast<double>(levels[i]));
        EXPECT_EQ(opPrecedence<long>(op), levels[i]);
    }
    EXPECT_EQ(showsOp(Op::Geq), "Geq");
    EXPECT_EQ(showsOp(Op::Cons, " x"), "Cons x");
    EXPECT_EQ(opSymbol(Op::Mod), "mod");
    EXPECT_EQ(opSymbol(Op::FExp), "^.");
    EXPECT_EQ(opSymbol(Op::App), "");
    EXPECT_EQ(opGrouping(Op::FDiv), OpGrouping::Right);
    EXPECT_EQ(opGrouping(Op::Div), OpGrouping::Left);
}

TEST(OperatorTable, TypesAreSharedSchemes) {
    EXPECT_TRUE(eqType(optype(Op::Plus), arrowTypes({intType(), intType(), intType()})));
    EXPECT_FALSE(optype(Op::Plus).isTAbs());
    EXPECT_TRUE(eqType(optype(Op::FDiv), arrowTypes({floatType(), floatType(), floatType()})));
    EXPECT_TRUE(eqType(optype(Op::Or), arrowTypes({boolType(), boolType(), boolType()})));
    EXPECT_TRUE(eqType(optype(Op::Comp),
                       mkTAbs({"a", "b", "c"}, arrowTypes({Fn(a(), b()), Fn(c(), a()), c(), b()}))));
    EXPECT_TRUE(eqType(optype(Op::Idx), mkTAbs({"a"}, arrowTypes({List(a()), intType(), a()}))));
    EXPECT_TRUE(eqType(optype(Op::Cat), mkTAbs({"a"}, arrowTypes({List(a()), List(a()), List(a())}))));
    EXPECT_TRUE(eqType(optype(Op::Cons), mkTAbs({"a"}, arrowTypes({a(), List(a()), List(a())}))));
    EXPECT_TRUE(eqType(optype(Op::Geq), mkTAbs({"a"}, arrowTypes({a(), a(), boolType()}))));
    EXPECT_TRUE(optype(Op::Eq).sameNode(optype(Op::Eq)));
    EXPECT_EQ(failureText([] { optype(Op::App); }), "Constants:184|function optype");
}

// --- constants ---

TEST(Constants, TextForm) {
    EXPECT_EQ(showsPrecConstant(0, mkNumber(5)), "Number 5");
    EXPECT_EQ(showsPrecConstant(11, mkNumber(5)), "(Number 5)");
    EXPECT_EQ(showsPrecConstant(0, mkNumber(-3)), "Number (-3)");
    EXPECT_EQ(showsPrecConstant(11, mkNumber(-3)), "(Number (-3))");
    EXPECT_EQ(constantText(mkNumber(std::numeric_limits<std::int32_t>::min())), "Number (-2147483648)");
    for (int prec : {0, 11}) {
        EXPECT_EQ(showsPrecConstant(prec, mkIf()), "If");
        EXPECT_EQ(showsPrecConstant(prec, mkNul()), "Nul");
        EXPECT_EQ(showsPrecConstant(prec, mkError()), "Error");
    }
    EXPECT_EQ(constantText(mkBinop(Op::Plus)), "Binop Plus");
    EXPECT_EQ(showsPrecConstant(11, mkBinop(Op::Plus)), "(Binop Plus)");
    EXPECT_EQ(constantText(mkBoolean(false)), "Boolean False");
    EXPECT_EQ(constantText(mkBoolean(true)), "Boolean True");
    EXPECT_EQ(constantText(mkTuple(2)), "Tuple 2");
    EXPECT_EQ(constantText(mkConstr("Cons")), "Constr \"Cons\"");
    EXPECT_EQ(showsPrecConstant(11, mkConstr("Cons"), "!"), "(Constr \"Cons\")!");
    EXPECT_EQ(constantText(mkFNumber(1.5f)), "FNumber 1.5");
    EXPECT_EQ(constantText(mkFNumber(0.01f)), "FNumber 1.0e-2");
    EXPECT_EQ(constantText(mkFNumber(-0.5f)), "FNumber (-0.5)");
}

TEST(Constants, FloatLayout) {
    EXPECT_EQ(floatText(0.1f), "0.1");
    EXPECT_EQ(floatText(2.5f), "2.5");
    EXPECT_EQ(floatText(3.0f), "3.0");
    EXPECT_EQ(floatText(1234567.0f), "1234567.0");
    EXPECT_EQ(floatText(1.0e7f), "1.0e7");
    EXPECT_EQ(floatText(1.25e8f), "1.25e8");
    EXPECT_EQ(floatText(0.09f), "9.0e-2");
    EXPECT_EQ(floatText(1.0f / 3.0f), "0.33333334");
    EXPECT_EQ(floatText(100.0f), "100.0");
    EXPECT_EQ(floatText(0.0f), "0.0");
    EXPECT_EQ(floatText(-0.0f), "(-0.0)");
    EXPECT_EQ(floatText(std::numeric_limits<float>::infinity()), "Infinity");
    EXPECT_EQ(floatText(-std::numeric_limits<float>::infinity()), "(-Infinity)");
    EXPECT_EQ(floatText(std::nanf("")), "NaN");
    EXPECT_EQ(floatText(-2.5f, 0), "-2.5");
    EXPECT_EQ(floatText(std::numeric_limits<float>::max()), "3.4028235e38");
    EXPECT_EQ(floatText(std::numeric_limits<float>::denorm_min()), "1.0e-45");
}

TEST(Constants, Equality) {
    EXPECT_FALSE(eqConstant(mkNumber(2), mkTuple(2)));
    EXPECT_FALSE(eqConstant(mkBinop(Op::Div), mkBinop(Op::FDiv)));
    EXPECT_TRUE(eqConstant(mkBinop(Op::Div), mkBinop(Op::Div)));
    EXPECT_TRUE(eqConstant(mkIf(), mkIf()));
    EXPECT_TRUE(eqConstant(mkNul(), mkNul()));
    EXPECT_FALSE(eqConstant(mkNul(), mkError()));
    EXPECT_TRUE(eqConstant(mkNumber(7), mkNumber(7)));
    EXPECT_FALSE(eqConstant(mkNumber(7), mkNumber(8)));
    EXPECT_FALSE(eqConstant(mkBoolean(true), mkBoolean(false)));
    const Constant nan = mkFNumber(std::nanf(""));
    EXPECT_FALSE(eqConstant(nan, nan));
    EXPECT_TRUE(eqConstant(mkFNumber(0.0f), mkFNumber(-0.0f)));
    EXPECT_TRUE(eqConstant(mkConstr("A"), mkConstr("A")));
    EXPECT_FALSE(eqConstant(mkConstr("A"), mkConstr("AB")));
}

TEST(Constants, FieldsOfAnotherKindAreAnInternalError) {
    EXPECT_THROW(mkNumber(1).arity(), MessageError);
    EXPECT_EQ(mkTuple(3).arity(), 3);
    EXPECT_EQ(mkConstr("K").constrName(), "K");
}

TEST(ConstantTypes, FixedSchemes) {
    const TypeEnv env;
    EXPECT_TRUE(constantType(env, mkNumber(5)).type().sameNode(intType()));
    EXPECT_TRUE(eqType(constantType(env, mkFNumber(1.0f)).type(), floatType()));
    EXPECT_TRUE(eqType(constantType(env, mkBoolean(true)).type(), boolType()));
    EXPECT_TRUE(eqType(constantType(env, mkNul()).type(), mkTAbs({"a"}, List(a()))));
    EXPECT_TRUE(eqType(constantType(env, mkError()).type(), mkTAbs({"a"}, a())));
    EXPECT_TRUE(eqType(constantType(env, mkIf()).type(), mkTAbs({"a"}, arrowTypes({boolType(), a(), a(), a()}))));
    EXPECT_TRUE(eqType(constantType(env, mkBinop(Op::Cons)).type(), optype(Op::Cons)));
}

TEST(ConstantTypes, Tuples) {
    const TypeEnv env;
    EXPECT_TRUE(eqType(constantType(env, mkTuple(3)).type(),
                       mkTAbs({"a", "b", "c"}, arrowTypes({a(), b(), c(), mkTCon("Tuple3", {a(), b(), c()})}))));
    EXPECT_TRUE(eqType(constantType(env, mkTuple(0)).type(), mkTAbs({}, mkTCon("Tuple0"))));
    EXPECT_TRUE(eqType(constantType(env, mkTuple(-1)).type(), mkTAbs({}, mkTCon("Tuple-1"))));
    const Type t27 = constantType(env, mkTuple(27)).type();
    EXPECT_EQ(t27.boundVars().back(), "aa");
}

TEST(ConstantTypes, ConstructorsComeFromTheEnvironment) {
    const TypeEnv env{{"K", intType()}, {"K", boolType()}};
    EXPECT_TRUE(eqType(constantType(env, mkConstr("K")).type(), intType()));
    const TypeLookup missing = constantType(env, mkConstr("M"));
    EXPECT_FALSE(missing.found());
    EXPECT_EQ(missing.name(), "M");
}

TEST(ConstantTypes, ApplicationOperatorFailsOnlyWhenExamined) {
    const TypeLookup app = constantType({}, mkBinop(Op::App));
    ASSERT_TRUE(app.found());
    EXPECT_EQ(failureText([&] { app.type(); }), "Constants:184|function optype");
}

}  // namespace
}  // namespace plim
