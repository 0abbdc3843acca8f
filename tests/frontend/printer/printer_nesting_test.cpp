// Deeply nested choices are laid out in reasonable time and without deep recursion: these
// run on the test's ordinary stack, and the deepest expressions on a thread with the usual 8 MiB.
#include <gtest/gtest.h>

#include <string>

#include "frontend/printer/printer.h"
#include "frontend/printer/printer_test_util.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using namespace pptest;

// Conditionals "if x<i> == <i> then ... else g y" nested in the then- or the else-branch.
Expr nestedIf(int depth, bool inThen) {
    Expr e = var("x");
    for (int i = depth; i >= 1; --i) {
        const Expr cond = binop(Op::Eq, var("x" + std::to_string(i)), num(i));
        const Expr other = ap(var("g"), var("y"));
        e = call(con(mkIf()), {cond, inThen ? e : other, inThen ? other : e});
    }
    return e;
}

// \v1 -> g v1 (\v2 -> g v2 (...)).
Expr lambdaInArgument(int depth) {
    Expr e = var("x");
    for (int i = depth; i >= 1; --i) e = lam(var("v" + std::to_string(i)), call(var("g"), {var("v" + std::to_string(i)), e}));
    return e;
}

std::size_t widestLine(const std::string& text) {
    std::size_t widest = 0;
    for (std::size_t at = 0, next = 0; at <= text.size(); at = next + 1) {
        next = std::min(text.find('\n', at), text.size());
        widest = std::max(widest, next - at);
    }
    return widest;
}

// Laid out within the width, or, where nothing fits, the too-wide marker.
void expectLaidOut(const std::string& text, const std::string& start, LayoutInt width) {
    if (text.substr(0, 2) == "<*") {
        EXPECT_EQ(text.find('\n'), std::string::npos) << width;
        return;
    }
    EXPECT_EQ(text.substr(0, start.size()), start) << width;
    EXPECT_LE(widestLine(text), static_cast<std::size_t>(width)) << width;
}

TEST(PrintNesting, ConditionalsOnceFatalAtDepthFifteen) {
    expectLaidOut(showExpr(nestedIf(15, true)), "if x1 == 1\n then if x2 == 2\n       then if x3 == 3", 160);
    expectLaidOut(showExpr(nestedIf(15, false)), "if x1 == 1\n then g y\n else if x2 == 2", 160);
}

TEST(PrintNesting, DepthTwentyFiveAtWidths80And160) {
    for (const LayoutInt width : {80, 160}) {
        expectLaidOut(renderDoc(ppExpr(0, nestedIf(25, true)), width), "if x1 == 1\n then if x2 == 2", width);
        expectLaidOut(renderDoc(ppExpr(0, nestedIf(25, false)), width), "if x1 == 1\n then g y\n else", width);
        expectLaidOut(renderDoc(ppExpr(0, lambdaInArgument(25)), width), "(\\ v1 ->\n g v1 (\\ v2 ->", width);
    }
    // At 160 all three fit.
    EXPECT_NE(showExpr(nestedIf(25, true)).find("x25 == 25"), std::string::npos);
    EXPECT_NE(showExpr(nestedIf(25, false)).find("x25 == 25"), std::string::npos);
    EXPECT_NE(showExpr(lambdaInArgument(25)).find("g v25 x"), std::string::npos);
}

// The usual stack of a thread: printing must not need more, however deep the expression.
TEST(PrintNesting, DeepExpressionsOnAnOrdinaryStack) {
    runOnLargeStack(
        [] {
            constexpr int kLists = test::inputSize(10000), kLambdas = test::inputSize(30000);
            // [[[...[x]...]]], printed as nested conses: "((x : []) : []) : []" for three.
            Expr lists = var("x");
            for (int i = 0; i < kLists; ++i) lists = cons(lists, nil());
            std::string expected = std::string(kLists - 1, '(') + "x : []";
            for (int i = 1; i < kLists; ++i) expected += ") : []";
            EXPECT_TRUE(renderDoc(ppExpr(0, lists), kUnboundedWidth) == expected);
            EXPECT_EQ(showExpr(lists).substr(0, 2), "<*");  // too wide at 160: the marker

            // \ x -> \ x -> ... -> x, printed as one lambda of all the patterns.
            Expr lambdas = var("x");
            for (int i = 0; i < kLambdas; ++i) lambdas = lam(var("x"), lambdas);
            std::string patterns;
            for (int i = 0; i < kLambdas; ++i) patterns += " x";
            EXPECT_TRUE(renderDoc(ppExpr(0, lambdas), kUnboundedWidth) == "(\\" + patterns + " -> x)");
            EXPECT_FALSE(showExpr(lambdas).empty());

            // \ x -> f (\ x -> f (... x)): a lambda in the argument of each.
            Expr inArgument = var("x");
            for (int i = 0; i < kLambdas; ++i) inArgument = lam(var("x"), ap(var("f"), inArgument));
            EXPECT_FALSE(showExpr(inArgument).empty());
            EXPECT_FALSE(renderDoc(ppExpr(0, inArgument), kUnboundedWidth).empty());
        },
        test::kOrdinaryStack);
}

}  // namespace
}  // namespace plim
