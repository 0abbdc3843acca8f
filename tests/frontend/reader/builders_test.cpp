// The parse-side builders: applications, operator trees and type actions.
#include <gtest/gtest.h>

#include "frontend/reader/builders.h"
#include "frontend/reader/reader_test_util.h"

namespace plim {
namespace {

using test::showExpr;

TEST(Trees, FoldApplicationNestsToTheLeft) {
    Expr f = mkVarExpr("f");
    EXPECT_TRUE(foldApplication(f, {}).sameNode(f));
    EXPECT_EQ(showExpr(foldApplication(f, {mkVarExpr("x"), mkVarExpr("y")})), "((f x) y)");
    EXPECT_TRUE(eqType(mkAp(f, f).type(), placeholderType()));
}

TEST(Trees, OperatorTreesBecomeApplications) {
    using Tree = OpTree<Expr>;
    Tree sum = Tree::node(Tree::leaf(mkVarExpr("a")), Op::Plus,
                          Tree::node(Tree::leaf(mkVarExpr("b")), Op::Tim, Tree::leaf(mkVarExpr("c"))));
    Expr e = opTreeToExpr(sum);
    EXPECT_EQ(showExpr(e), "(a + (b * c))");
    EXPECT_EQ(e.fun().fun().constant().op(), Op::Plus);
    EXPECT_EQ(showExpr(opTreeToExpr(Tree::node(Tree::leaf(mkVarExpr("f")), Op::App, Tree::leaf(mkVarExpr("x"))))),
              "(f x)");
    EXPECT_EQ(showExpr(opTreeToExpr(Tree::leaf(mkVarExpr("x")))), "x");
}

TEST(Trees, TypeActions) {
    EXPECT_EQ(typeText(tupleTypeAction({typeNameAction("Int")})), "TCon \"Int\" []");
    EXPECT_EQ(typeText(tupleTypeAction({typeNameAction("Int"), typeNameAction("Bool")})),
              "TCon \"Tuple2\" [TCon \"Int\" [],TCon \"Bool\" []]");
}

}  // namespace
}  // namespace plim
