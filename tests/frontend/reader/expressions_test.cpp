// The expression grammar: the forms it builds, operator grouping, and its repairs.
#include <gtest/gtest.h>

#include "frontend/reader/reader.h"
#include "frontend/reader/expressions.h"
#include "frontend/reader/reader_test_util.h"
#include "support/big_stack.h"

namespace plim {
namespace {

using test::readExpr;
using test::showExpr;

std::string expr(const std::string& text) {
    auto r = readExpr(text);
    EXPECT_EQ(r.log, "") << text;
    return showExpr(r.value);
}

TEST(ReadExpressions, AtomsAndConstants) {
    EXPECT_EQ(expr("x"), "x");
    EXPECT_EQ(expr("42"), "42");
    EXPECT_EQ(expr("True"), "True");
    EXPECT_EQ(expr("Cons"), "Cons");
    EXPECT_EQ(expr("1.5"), "FNumber 1.5");
    EXPECT_EQ(expr("(+)"), "(+)");
    EXPECT_EQ(expr("(mod)"), "(mod)");
    EXPECT_EQ(expr("(x)"), "x");
}

TEST(ReadExpressions, TuplesAndLists) {
    EXPECT_EQ(expr("(x, y)"), "((Tuple2 x) y)");
    EXPECT_EQ(expr("(x, y, 3)"), "(((Tuple3 x) y) 3)");
    EXPECT_EQ(expr("[]"), "[]");
    EXPECT_EQ(expr("[1, 2]"), "(1 : (2 : []))");
    EXPECT_EQ(expr("[x]"), "(x : [])");
}

TEST(ReadExpressions, EmptyParenthesesInsertTheLastOperator) {
    auto r = readExpr("()");
    EXPECT_EQ(r.log, "Operator || inserted before Symbol   ) at line 1\n");
    EXPECT_EQ(showExpr(r.value), "(||)");
}

TEST(ReadExpressions, ApplicationsAndOperatorGrouping) {
    EXPECT_EQ(expr("f x"), "(f x)");
    EXPECT_EQ(expr("f x y"), "((f x) y)");
    EXPECT_EQ(expr("f x + g y"), "((f x) + (g y))");
    EXPECT_EQ(expr("a + b * c"), "(a + (b * c))");
    EXPECT_EQ(expr("a - b - c"), "((a - b) - c)");
    EXPECT_EQ(expr("x ++ y ++ z"), "(x ++ (y ++ z))");
    EXPECT_EQ(expr("x ++ y : z"), "((x ++ y) : z)");
    EXPECT_EQ(expr("f . g . h"), "(f . (g . h))");
    EXPECT_EQ(expr("x / y / z"), "((x / y) / z)");
    EXPECT_EQ(expr("x /. y /. z"), "(x /. (y /. z))");
    EXPECT_EQ(expr("p && q || r"), "((p && q) || r)");
    EXPECT_EQ(expr("x mod y == 0"), "((x mod y) == 0)");
    EXPECT_EQ(expr("f . g ! i"), "((f . g) ! i)");
}

TEST(ReadExpressions, LambdasConditionalsAndLocalDefinitions) {
    EXPECT_EQ(expr("\\x y -> x"), "(\\x -> (\\y -> x))");
    EXPECT_EQ(expr("\\(a, b) -> \\c -> a"), "(\\((Tuple2 a) b) -> (\\c -> a))");
    EXPECT_EQ(expr("map (\\x -> x + 1) xs"), "((map (\\x -> (x + 1))) xs)");
    EXPECT_EQ(expr("if p then 1 else 2"), "(((If p) 1) 2)");
    EXPECT_EQ(expr("let y = 2 in y"), "(let {y = 2 @0} in y)");
    EXPECT_EQ(expr("x + y where y = 2"), "(let {y = 2 @0} in (x + y))");
    EXPECT_EQ(expr("f x where { g = 1\n ; h = 2;\n k = 3 }"), "(let {g = 1 @2; h = 2 @3; k = 3 @3} in (f x))");
    EXPECT_EQ(expr("\\x -> y where y = x"), "(\\x -> (let {y = x @0} in y))");
    EXPECT_EQ(expr("f \\x -> x + 1"), "(f (\\x -> (x + 1)))");
    EXPECT_EQ(expr("f (if p then x else y) (let z = 1 in z)"), "((f (((If p) x) y)) (let {z = 1 @0} in z))");
}

TEST(ReadExpressions, EveryNodeCarriesThePlaceholderType) {
    auto r = readExpr("\\x -> if x then [1, 2] else (f, (+)) where { f = let g = 1 in g }");
    EXPECT_EQ(r.log, "");
    EXPECT_TRUE(test::allPlaceholder(r.value));
    EXPECT_TRUE(test::allPlaceholder(readExpr("").value));
}

TEST(ReadExpressions, RepairLogs) {
    auto empty = readExpr("");
    EXPECT_EQ(empty.log, "\"expression\" inserted before endoffile\n");
    EXPECT_EQ(showExpr(empty.value), "Error");
    EXPECT_EQ(readExpr("  -- only a comment\n").log, "\"expression\" inserted before endoffile\n");

    auto paren = readExpr(")");
    EXPECT_EQ(paren.log, "Symbol   ) at line 1 deleted\n\"expression\" inserted before endoffile\n");
    EXPECT_EQ(showExpr(paren.value), "Error");

    auto extra = readExpr("(f x))\n)");
    EXPECT_EQ(extra.log, "Symbol   ) at line 1 deleted\nSymbol   ) at line 2 deleted\n");
    EXPECT_EQ(showExpr(extra.value), "(f x)");

    auto missingOperand = readExpr("x +");
    EXPECT_EQ(missingOperand.log, "\"(atomic) expression\" inserted before endoffile\n");
    EXPECT_EQ(showExpr(missingOperand.value), "(x + Error)");
}

TEST(ReadExpressions, KeywordsAreNotNames) {
    auto r = readExpr("in + data");
    EXPECT_EQ(r.log,
              "Keyword in at line 1 deleted\n"
              "Operator + at line 1 deleted\n"
              "Keyword data at line 1 deleted\n"
              "\"expression\" inserted before endoffile\n");
    EXPECT_EQ(expr("Mod true"), "(Mod true)");
    auto leadingOperator = readExpr("+ x");
    EXPECT_EQ(leadingOperator.log, "Operator + at line 1 deleted\n");
    EXPECT_EQ(showExpr(leadingOperator.value), "x");
}

TEST(ReadExpressions, AMissingThenIsInserted) {
    auto r = readExpr("if p 1 else 2");
    EXPECT_EQ(r.log,
              "Keyword then inserted before Keyword else at line 1\n"
              "\"expression\" inserted before Keyword else at line 1\n");
    EXPECT_EQ(showExpr(r.value), "(((If (p 1)) Error) 2)");
}

TEST(ReadExpressions, HundredThousandElementList) {
    std::string text = "[";
    for (int i = 0; i < 100000; ++i) text += (i ? ", " : "") + std::to_string(i);
    text += "]";
    runOnLargeStack([&] {
        auto r = readExpr(text);
        EXPECT_EQ(r.log, "");
        std::size_t n = 0;
        Expr e = r.value;
        while (e.isAp()) {
            EXPECT_EQ(e.fun().arg().constant().number(), static_cast<std::int32_t>(n));
            e = e.arg();
            ++n;
        }
        EXPECT_EQ(n, 100000u);
        EXPECT_EQ(e.constant().kind(), ConstantKind::Nul);
    });
}

}  // namespace
}  // namespace plim
