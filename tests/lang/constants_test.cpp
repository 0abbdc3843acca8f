#include "lang/constants.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "support/big_stack.h"
#include "support/errors.h"
#include "support/failure_text.h"

namespace plim {
namespace {

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
    EXPECT_THROW(mkNumber(1).arity(), InternalError);
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

namespace plim {
namespace {

// --- operator chains ---

Op opOfSymbol(const std::string& s) {
    for (Op op : allOps())
        if (opSymbol(op) == s && op != Op::App) return op;
    throw std::runtime_error("no operator " + s);
}

std::string treeText(const OpTree<std::string>& t) {
    if (t.isLeaf()) return t.operand();
    const std::string sym = t.op() == Op::App ? " " : " " + std::string(opSymbol(t.op())) + " ";
    return "(" + treeText(t.left()) + sym + treeText(t.right()) + ")";
}

// Words separated by blanks; two adjacent operands are juxtaposed (App).
std::string group(const std::string& text) {
    std::vector<std::string> operands;
    std::vector<Op> ops;
    bool lastWasOperand = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        const bool isOperand = std::isalpha(static_cast<unsigned char>(word[0])) && word != "mod";
        if (isOperand) {
            if (lastWasOperand) ops.push_back(Op::App);
            operands.push_back(word);
        } else {
            ops.push_back(opOfSymbol(word));
        }
        lastWasOperand = isOperand;
    }
    const OpChain chain = opChainResolve(foldOpChain(chainEnd(), orderByPrecedence(ops)));
    auto [tree, rest] = fillOperands(chain, operands);
    EXPECT_TRUE(rest.empty());
    return treeText(tree);
}

TEST(OperatorChains, NoOperatorAndOneOperator) {
    EXPECT_TRUE(orderByPrecedence({}).empty());
    EXPECT_TRUE(foldOpChain(chainEnd(), {}).isEnd());
    EXPECT_EQ(group("x"), "x");
    const PendingList one = orderByPrecedence({Op::Plus});
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].first, Op::Plus);
    EXPECT_TRUE(one[0].second.isEnd());
    EXPECT_TRUE(eqOpChain(foldOpChain(chainEnd(), one), chainCell(chainEnd(), Op::Plus, chainEnd())));
}

TEST(OperatorChains, HigherPrecedenceIsAbsorbed) {
    const PendingList l = orderByPrecedence({Op::Plus, Op::Tim});
    ASSERT_EQ(l.size(), 1u);
    EXPECT_TRUE(eqOpChain(l[0].second, chainCell(chainEnd(), Op::Tim, chainEnd())));
    // Equal precedence never absorbs.
    const PendingList eq = insertByPrecedence(Op::Plus, chainEnd(), {{Op::Min, chainEnd()}});
    ASSERT_EQ(eq.size(), 2u);
    EXPECT_EQ(eq[0].first, Op::Plus);
    EXPECT_EQ(eq[1].first, Op::Min);
}

TEST(OperatorChains, LeftGrouping) {
    EXPECT_EQ(group("x - y - z"), "((x - y) - z)");
    EXPECT_EQ(group("x ^ y ^ z"), "((x ^ y) ^ z)");
    EXPECT_EQ(group("x ^. y ^. z"), "((x ^. y) ^. z)");
    EXPECT_EQ(group("x / y / z"), "((x / y) / z)");
    EXPECT_EQ(group("x mod y mod z"), "((x mod y) mod z)");
    EXPECT_EQ(group("x * y * z"), "((x * y) * z)");
    EXPECT_EQ(group("x *. y *. z"), "((x *. y) *. z)");
    EXPECT_EQ(group("x == y == z"), "((x == y) == z)");
    EXPECT_EQ(group("f x y"), "((f x) y)");
}

TEST(OperatorChains, RightGrouping) {
    EXPECT_EQ(group("x /. y /. z"), "(x /. (y /. z))");
    EXPECT_EQ(group("w ++ x ++ y ++ z"), "(w ++ (x ++ (y ++ z)))");
    EXPECT_EQ(group("x : y : zs"), "(x : (y : zs))");
    EXPECT_EQ(group("f . g . h"), "(f . (g . h))");
    EXPECT_EQ(group("p && q && r"), "(p && (q && r))");
    EXPECT_EQ(group("p || q || r"), "(p || (q || r))");
}

TEST(OperatorChains, PrecedenceAndMixedOperators) {
    EXPECT_EQ(group("x + y * z"), "(x + (y * z))");
    EXPECT_EQ(group("w * x + y * z"), "((w * x) + (y * z))");
    EXPECT_EQ(group("w + x * y + z"), "((w + (x * y)) + z)");
    EXPECT_EQ(group("f x + g y"), "((f x) + (g y))");
    EXPECT_EQ(group("p && q || r"), "((p && q) || r)");
    EXPECT_EQ(group("p || q && r"), "(p || (q && r))");
    EXPECT_EQ(group("x ++ y : z"), "((x ++ y) : z)");
    EXPECT_EQ(group("w : x ++ y ++ z"), "((w : x) ++ (y ++ z))");
    EXPECT_EQ(group("x + y - z"), "((x + y) - z)");
    EXPECT_EQ(group("x - y + z"), "((x - y) + z)");
    EXPECT_EQ(group("f . g ! i"), "((f . g) ! i)");
    EXPECT_EQ(group("x : y ++ z"), "((x : y) ++ z)");
    EXPECT_EQ(group("x *. y /. z /. w"), "((x *. y) /. (z /. w))");
    EXPECT_EQ(group("f x : g y ++ h z"), "(((f x) : (g y)) ++ (h z))");
}

TEST(OperatorChains, GroupingStepsOnEmptyChainsFail) {
    EXPECT_EQ(failureText([] { assl(chainEnd()); }), "Constants:136|function assl");
    EXPECT_EQ(failureText([] { assr(chainEnd()); }), "Constants:140|function assr");
    // The rotation of assl, met only on chains not built by ordering.
    const OpChain right = chainCell(chainEnd(), Op::Plus, chainCell(chainEnd(), Op::Plus, chainEnd()));
    EXPECT_TRUE(eqOpChain(assl(right), chainCell(chainCell(chainEnd(), Op::Plus, chainEnd()), Op::Plus, chainEnd())));
}

TEST(OperatorChains, FillOperandsLeftToRight) {
    const OpChain chain = chainCell(chainCell(chainEnd(), Op::Tim, chainEnd()), Op::Plus, chainEnd());
    auto [tree, rest] = fillOperands<std::string>(chain, {"p", "q", "r", "s"});
    EXPECT_EQ(treeText(tree), "((p * q) + r)");
    EXPECT_EQ(rest, (std::vector<std::string>{"s"}));
    EXPECT_THROW(fillOperands<std::string>(chain, {"p"}), InternalError);
}

TEST(OperatorChains, LongRunsOfOneOperatorOnTheOrdinaryStack) {
    const std::size_t n = 100000;
    for (Op op : {Op::Cons, Op::Eq}) {
        std::vector<Op> ops(n, op);
        std::vector<int> operands(n + 1);
        for (std::size_t i = 0; i <= n; ++i) operands[i] = static_cast<int>(i);
        const OpChain chain = opChainResolve(foldOpChain(chainEnd(), orderByPrecedence(ops)));
        EXPECT_TRUE(eqOpChain(chain, chain));
        auto [tree, rest] = fillOperands(chain, operands);
        EXPECT_TRUE(rest.empty());
        // Walk the spine: Cons nests to the right, Eq to the left.
        const bool right = op == Op::Cons;
        std::size_t depth = 0;
        for (OpTree<int> at = tree; !at.isLeaf(); ++depth) at = right ? at.right() : at.left();
        EXPECT_EQ(depth, n);
        EXPECT_EQ(right ? tree.left().operand() : tree.right().operand(), right ? 0 : static_cast<int>(n));
    }
}

TEST(OperatorChains, LongMixedChain) {
    // x0 + x1 * x2 + x3 * x4 ...: products nested under the sums.
    const std::size_t n = 100000;
    std::vector<Op> ops;
    for (std::size_t i = 0; i < n; ++i) ops.push_back(i % 2 == 0 ? Op::Plus : Op::Tim);
    const PendingList pending = orderByPrecedence(ops);
    EXPECT_EQ(pending.size(), n / 2);
    const OpChain chain = opChainResolve(foldOpChain(chainEnd(), pending));
    EXPECT_EQ(chain.op(), Op::Plus);
    EXPECT_EQ(chain.right().op(), Op::Tim);
}

}  // namespace
}  // namespace plim

namespace plim {
namespace {

std::uint32_t bits(float x) {
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

float floatOf(const Constant& c) { return c.fnumber(); }

TEST(NumberLiterals, Integers) {
    EXPECT_TRUE(eqConstant(numberConstant("7", std::nullopt), mkNumber(7)));
    EXPECT_TRUE(eqConstant(numberConstant("007", std::nullopt), mkNumber(7)));
    EXPECT_TRUE(eqConstant(numberConstant("4294967296", std::nullopt), mkNumber(0)));
    EXPECT_TRUE(eqConstant(numberConstant("2147483648", std::nullopt), mkNumber(-2147483647 - 1)));
}

TEST(NumberLiterals, FloatsAreConvertedStepByStepInSinglePrecision) {
    const Constant three = numberConstant("3", std::string("0"));
    EXPECT_EQ(three.kind(), ConstantKind::FNumber);
    EXPECT_EQ(floatOf(three), 3.0f);
    EXPECT_EQ(bits(floatOf(numberConstant("1", std::string("050")))), bits(floatOf(numberConstant("1", std::string("05")))));
    const float tenth = 1.0f / 10.0f;
    EXPECT_EQ(bits(floatOf(numberConstant("0", std::string("1")))), bits(tenth));
    EXPECT_EQ(bits(floatOf(numberConstant("0", std::string("1")))), 0x3DCCCCCDu);
    EXPECT_EQ(floatOf(numberConstant("3", std::string("25"))), 3.25f);
    EXPECT_EQ(fractionDigitsToFloat(""), 0.0f);
    EXPECT_EQ(fractionDigitsToFloat("25"), 0.25f);
    EXPECT_EQ(integerDigitsToFloat(0.0f, "123"), 123.0f);
    EXPECT_EQ(integerDigitsToFloat(4.0f, "2"), 42.0f);
    // Digits beyond single precision are rounded away step by step.
    EXPECT_EQ(integerDigitsToFloat(0.0f, "16777217"), 16777216.0f);
    // A value beyond the single-precision range becomes positive infinity.
    const float huge = floatOf(numberConstant("1" + std::string(50, '0'), std::string("0")));
    EXPECT_TRUE(std::isinf(huge));
    EXPECT_GT(huge, 0.0f);
}

TEST(NumberLiterals, StepwiseConversionDiffersFromCorrectRounding) {
    // The step-by-step fraction is not always the nearest float of the decimal text.
    int differences = 0;
    for (int n = 1; n < 1000; ++n) {
        std::string frac = std::to_string(n);
        frac = std::string(3 - frac.size(), '0') + frac;
        const float stepwise = fractionDigitsToFloat(frac);
        const float nearest = std::strtof(("0." + frac).c_str(), nullptr);
        differences += bits(stepwise) != bits(nearest);
    }
    EXPECT_GT(differences, 0);
}

}  // namespace
}  // namespace plim
