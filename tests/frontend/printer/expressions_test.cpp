#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "frontend/printer/expressions.h"
#include "frontend/printer/layouts.h"
#include "frontend/printer/printer_test_util.h"
#include "support/big_stack.h"
#include "layout/combinators.h"

namespace plim {
namespace {

using namespace pptest;

struct ExprCase {
    const char* what;
    Precedence prec;
    Expr expr;
    std::string text;
};

std::string at(Precedence p, const Expr& e) { return renderAtPrinterBounds(ppExpr(p, e)); }

void checkAll(const std::vector<ExprCase>& cases) {
    for (const ExprCase& c : cases) EXPECT_EQ(at(c.prec, c.expr), c.text) << c.what;
}

const Expr a = var("a"), b = var("b"), c = var("c"), f = var("f"), x = var("x"), y = var("y");

TEST(PrintExpr, ApplicationsAndArguments) {
    checkAll({
        {"variable", 0, x, "x"},
        {"f x y at top", 0, call(f, {x, y}), "f x y"},
        {"f x y as argument", 100, call(f, {x, y}), "(f x y)"},
        {"nested argument", 0, ap(f, ap(f, x)), "f (f x)"},
        {"complete tuple argument", 0, ap(f, tuple({a, b})), "f (a, b)"},
        {"constructor applied", 0, call(con(mkConstr("Node")), {a, num(1)}), "Node a 1"},
        {"lambda applied", 0, ap(lam(x, x), y), "(\\ x -> x) y"},
        {"local definition applied", 0, ap(let({fun(y, x)}, f), a), "(f\n where y = x) a"},
    });
}

TEST(PrintExpr, OperatorsKeepTheParenthesesTheirPrecedenceAsksFor) {
    checkAll({
        {"product inside sum", 0, binop(Op::Plus, a, binop(Op::Tim, b, c)), "a + b * c"},
        {"product on the left", 0, binop(Op::Plus, binop(Op::Tim, b, c), a), "b * c + a"},
        {"sum inside product", 0, binop(Op::Tim, binop(Op::Plus, a, b), c), "(a + b) * c"},
        {"left-nested minus", 0, binop(Op::Min, binop(Op::Min, a, b), c), "(a - b) - c"},
        {"right-nested minus", 0, binop(Op::Min, a, binop(Op::Min, b, c)), "a - (b - c)"},
        {"right-nested append", 0, binop(Op::Cat, a, binop(Op::Cat, b, c)), "a ++ (b ++ c)"},
        {"cons chain", 0, cons(a, cons(b, nil())), "a : (b : [])"},
        {"two variables", 0, binop(Op::Eq, a, b), "a == b"},
        {"operand at its own precedence", 6, binop(Op::Plus, a, num(1)), "(a + 1)"},
        {"operator as argument", 0, ap(f, binop(Op::And, a, b)), "f (a && b)"},
        {"mod", 0, binop(Op::Mod, a, num(2)), "a mod 2"},
        {"application operator", 0, binop(Op::App, f, x), "f   x"},
        {"application operator, not variables", 0, binop(Op::App, f, num(1)), "f   1"},
    });
}

TEST(PrintExpr, Sections) {
    checkAll({
        {"bare operator", 0, con(mkBinop(Op::Plus)), "(+)"},
        {"bare float operator", 0, con(mkBinop(Op::FDiv)), "(/.)"},
        {"one argument", 0, ap(con(mkBinop(Op::Plus)), x), "(+) x"},
        {"one argument as argument", 100, ap(con(mkBinop(Op::Plus)), x), "((+) x)"},
        {"three arguments", 0, call(con(mkBinop(Op::Plus)), {a, b, c}), "(a + b) c"},
        {"three arguments as argument", 100, call(con(mkBinop(Op::Plus)), {a, b, c}), "((a + b) c)"},
    });
}

TEST(PrintExpr, Conditionals) {
    const Expr cond = call(con(mkIf()), {c, a, b});
    checkAll({
        {"top level", 0, cond, "if c then a else b"},
        {"as operand", 4, cond, "(if c then a else b)"},
        {"as argument", 0, ap(f, cond), "f (if c then a else b)"},
        {"body of a local definition", 1, cond, "(if c then a else b)"},
        {"bare", 0, con(mkIf()), "If"},
        {"two arguments", 0, call(con(mkIf()), {c, a}), "If c a"},
        {"two arguments as argument", 100, call(con(mkIf()), {c, a}), "(If c a)"},
        {"over-applied", 0, call(con(mkIf()), {c, f, f, x}), "(if c then f else f) x"},
    });
}

TEST(PrintExpr, Tuples) {
    const Expr t2 = con(mkTuple(2));
    checkAll({
        {"pair", 0, tuple({a, b}), "(a, b)"},
        {"triple", 0, tuple({a, b, c}), "(a, b, c)"},
        {"pair as argument", 100, tuple({a, b}), "(a, b)"},
        {"components at top precedence", 0, tuple({binop(Op::Plus, a, b), ap(f, x)}), "(a + b, f x)"},
        {"partly applied", 0, ap(t2, a), "Tuple 2 a"},
        {"partly applied as argument", 100, ap(t2, a), "Tuple 2 a"},
        {"bare", 0, t2, "Tuple 2"},
        {"over-applied", 0, call(t2, {a, b, c}), "(a, b) c"},
        {"over-applied twice", 0, call(t2, {a, b, c, x}), "(a, b) c x"},
        {"empty tuple", 0, con(mkTuple(0)), "()"},
    });
}

TEST(PrintExpr, Lambdas) {
    checkAll({
        {"one variable", 0, lam(x, ap(f, x)), "(\\ x -> f x)"},
        {"merged", 0, lam(x, lam(y, x)), "(\\ x y -> x)"},
        {"merged at top is still parenthesised", 100, lam(x, lam(y, x)), "(\\ x y -> x)"},
        {"tuple pattern", 0, lam(tuple({a, b}), a), "(\\ (a, b) -> a)"},
        // The head has two lines, so the lambda has no one-line layout and is stacked.
        {"tuple pattern after a variable", 0, lam(x, lam(tuple({a, b}), a)), "(\\ x\n (a, b) ->\n a\n)"},
        {"constant pattern", 0, lam(num(0), x), "(\\ 0 -> x)"},
    });
}

TEST(PrintExpr, LocalDefinitions) {
    checkAll({
        {"one definition", 0, let({fun(y, num(1))}, ap(f, y)), "f y\nwhere y = 1"},
        {"two definitions", 0, let({fun(f, num(1)), fun(var("g"), num(2))}, ap(f, var("g"))),
         "f g\nwhere {\n      f = 1;\n      g = 2\n      }"},
        {"no definitions", 0, let({}, x), "x\nwhere "},
        {"inside an operand", 6, let({fun(y, num(1))}, y), "(y\n where y = 1)"},
        {"body is parenthesised at precedence 1", 0, let({fun(y, num(1))}, call(con(mkIf()), {c, y, y})),
         "(if c then y else y)\nwhere y = 1"},
    });
}

TEST(PrintExpr, Literals) {
    const float inf = std::numeric_limits<float>::infinity();
    checkAll({
        {"negative integer", 0, num(-5), "-5"},
        {"smallest integer", 0, num(std::numeric_limits<std::int32_t>::min()), "-2147483648"},
        {"negative integer argument", 0, ap(f, num(-5)), "f -5"},
        {"half", 0, fnum(0.5f), "0.5"},
        {"hundredth", 0, fnum(0.01f), "1.0e-2"},
        {"zero", 0, fnum(0.0f), "0.0"},
        {"negative zero", 0, fnum(-0.0f), "-0.0"},
        {"negative", 0, fnum(-2.5f), "-2.5"},
        {"whole number", 0, fnum(3.0f), "3.0"},
        {"tenth", 0, fnum(0.1f), "0.1"},
        {"just below the fixed range", 0, fnum(0.09f), "9.0e-2"},
        {"largest fixed", 0, fnum(1234567.0f), "1234567.0"},
        {"huge", 0, fnum(1.5e7f), "1.5e7"},
        {"largest float", 0, fnum(std::numeric_limits<float>::max()), "3.4028235e38"},
        {"tiny", 0, fnum(std::numeric_limits<float>::denorm_min()), "1.0e-45"},
        {"negative tiny", 0, fnum(-1.0e-10f), "-1.0e-10"},
        {"infinity", 0, fnum(inf), "Infinity"},
        {"float applied", 100, ap(fnum(0.5f), x), "(0.5 x)"},
        {"booleans", 0, call(f, {con(mkBoolean(true)), con(mkBoolean(false))}), "f True False"},
        {"empty list", 0, nil(), "[]"},
        {"error", 0, con(mkError()), "Error"},
        {"error applied", 0, ap(con(mkError()), x), "Error x"},
        {"constructor", 0, con(mkConstr("Leaf")), "Leaf"},
    });
}

TEST(PrintExpr, ConstantWithArguments) {
    EXPECT_EQ(renderAtPrinterBounds(ppConstant(0, mkBinop(Op::Plus), {a, b})), "a + b");
    EXPECT_EQ(renderAtPrinterBounds(ppConstant(100, mkNumber(3), {x})), "(3 x)");
    EXPECT_EQ(renderAtPrinterBounds(ppConstant(0, mkNul(), {})), "[]");
}

// A constant given its arguments prints as its application does, also where the width forces
// a choice; between two variables an operator stays on one line.
TEST(PrintExpr, ConstantWithArgumentsAsItsApplication) {
    const std::vector<std::pair<Constant, std::vector<Expr>>> cases = {
        {mkBinop(Op::Plus), {a, b}},         {mkBinop(Op::Plus), {ap(f, a), b, c}}, {mkBinop(Op::Cons), {a}},
        {mkIf(), {a, b, call(f, {x, y})}},   {mkTuple(2), {a, ap(f, b)}},            {mkTuple(3), {a}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i)
        for (const Precedence p : {0, 100})
            for (LayoutInt w = 1; w <= 24; ++w) {
                const auto& [k, args] = cases[i];
                EXPECT_EQ(renderDoc(ppConstant(p, k, args), w), renderDoc(ppExpr(p, call(con(k), args)), w))
                    << "case " << i << ", precedence " << p << ", width " << w;
            }
    EXPECT_EQ(renderDoc(ppConstant(0, mkBinop(Op::Plus), {a, b}), 3).find('\n'), std::string::npos);
}

TEST(PrintExpr, OperatorSymbols) {
    const std::vector<std::string> symbols = {" ",  "!",  ".",  "^",  "*",  "/",  "mod", "+",
                                              "-",  "^.", "*.", "/.", "+.", "-.", "++",  ":",
                                              "==", "/=", "<",  "<=", ">",  ">=", "&&",  "||"};
    for (std::size_t i = 0; i < symbols.size(); ++i) EXPECT_EQ(printedOpSymbol(allOps()[i]), symbols[i]);
}

TEST(PrintDecl, DefinitionsSignaturesAndData) {
    const Type intT = tcon("Int");
    EXPECT_EQ(showDecl(fun(ap(f, x), binop(Op::Plus, x, num(1)))), "f x = x + 1");
    EXPECT_EQ(showFunDef(ap(f, x), x), "f x = x");
    EXPECT_EQ(showDecl(mkDec(f, arrow(intT, intT))), "f :: Int -> Int");
    EXPECT_EQ(showDecl(mkDec(f, mkTAbs({"a"}, arrow(tid("a"), listOf(tid("a")))))), "f :: a -> [a]");
    const Alts ab = mkOneAlt(mkAlt("A", {}), mkOneAlt(mkAlt("B", {intT}), mkNoAlt()));
    EXPECT_EQ(showDecl(mkData(tcon("T"), ab)), "data T = A | B Int");
    const Alts tree = mkOneAlt(mkAlt("Leaf", {}), mkOneAlt(mkAlt("Node", {tcon("Tree", {tid("a")}), tid("a"),
                                                                         tcon("Tree", {tid("a")})}),
                                                           mkNoAlt()));
    EXPECT_EQ(showDecl(mkData(tcon("Tree", {tid("a")}), tree)), "data Tree a = Leaf | Node (Tree a) a (Tree a)");
    EXPECT_EQ(showDecl(mkData(tcon("T"), mkOneAlt(mkAlt("A", {listOf(intT)}), mkNoAlt()))), "data T = A [Int]");
    EXPECT_EQ(showDecl(mkData(tcon("Void"), mkNoAlt())), "data Void");
}

TEST(PrintDecl, WideDataDeclarationStacksItsAlternatives) {
    Alts alts = mkNoAlt();
    for (int i = 9; i >= 0; --i)
        alts = mkOneAlt(mkAlt("Constructor" + std::to_string(i), {tcon("Int"), tcon("Float")}), alts);
    const std::string text = showDecl(mkData(tcon("Wide"), alts));
    EXPECT_EQ(text.substr(0, text.find('\n')), "data Wide = Constructor0 Int Float");
    EXPECT_NE(text.find("\n          | Constructor1 Int Float\n"), std::string::npos) << text;
}

TEST(PrintDecl, WideDefinitionBreaksOntoAnIndentedLine) {
    std::vector<Expr> params, args;
    for (int i = 0; i < 10; ++i) params.push_back(var("parameter" + std::to_string(i)));
    for (int i = 0; i < 10; ++i) args.push_back(var("argument" + std::to_string(i)));
    const Expr lhs = call(f, params);
    const Expr rhs = call(var("g"), args);
    ASSERT_GT(showExpr(lhs).size() + 3 + showExpr(rhs).size(), 160u);
    EXPECT_EQ(showFunDef(lhs, rhs), showExpr(lhs) + "\n    = " + showExpr(rhs));
    // A right side that must break anyway stays beside the left side.
    std::vector<Expr> many;
    for (int i = 0; i < 20; ++i) many.push_back(var("argument" + std::to_string(i)));
    const std::string text = showFunDef(ap(f, x), call(var("combine"), many));
    EXPECT_EQ(text.substr(0, text.find('\n')), "f x = combine argument0");
    EXPECT_EQ(text.substr(text.find('\n'), 25), "\n              argument1\n");
}

TEST(PrintDecl, FunctionDefinitionTemplate) {
    const Doc d = applyParDoc(funDefTemplate(), std::vector<Doc>{ppString("f xy"), ppString(" = y")});
    EXPECT_EQ(renderDoc(d, 80), "f xy = y");
    EXPECT_EQ(renderDoc(d, 8), "f xy = y");
    EXPECT_EQ(renderDoc(d, 7), "f xy\n    = y");
    EXPECT_EQ(renderDoc(d, 6), "<*****>");
}

TEST(PrintDecl, DefinitionLists) {
    EXPECT_EQ(showDefs(dlist({fun(f, num(1)), fun(var("g"), num(2))})), "f = 1;\ng = 2");
    EXPECT_EQ(showDefs(dlist({fun(f, num(1))})), "f = 1");
    EXPECT_EQ(showDefs(dlist({})), "");
    const std::vector<Decl> decls = defsToList(dlist({fun(f, num(1)), fun(var("g"), num(2))}).defs);
    ASSERT_EQ(decls.size(), 2u);
    EXPECT_EQ(showDecl(decls[1]), "g = 2");
}

TEST(PrintLayout, PunctuateInitMarksAllButTheLast) {
    const std::vector<Doc> docs =
        punctuateInit(withSemicolon, {ppString("a"), ppString("b"), ppString("c")});
    EXPECT_EQ(renderDoc(aboveList(docs), 80), "a;\nb;\nc");
    EXPECT_EQ(punctuateInit(withSemicolon, {}).size(), 0u);
    EXPECT_EQ(renderDoc(aboveList(punctuateInit(withSemicolon, {ppString("a")})), 80), "a");
    EXPECT_EQ(renderDoc(aboveDoc(withSemicolonNewline(ppString("a")), ppString("b")), 80), "a;\n\nb");
}

TEST(PrintExpr, RenderersIgnoreNarrowInterpreterWidths) {
    std::vector<Expr> args;
    for (int i = 0; i < 10; ++i) args.push_back(var("x" + std::to_string(i)));
    const Expr e = call(f, args);
    EXPECT_EQ(showExpr(e), "f x0 x1 x2 x3 x4 x5 x6 x7 x8 x9");
    EXPECT_EQ(renderDoc(ppExpr(0, e), 10).find("f x0 x1 x2"), std::string::npos);
}

// Deep and long trees are printed without recursing on their depth.  A tree too deep for
// the page has no layout within it: the layout library then shows the too-wide marker.
TEST(PrintExpr, LongSpines) {
    runOnLargeStack([] {
        Expr list = nil();
        for (int i = 0; i < 10000; ++i) list = cons(num(i % 10), list);
        const std::string listText = showExpr(list);
        EXPECT_EQ(listText.substr(0, 3), "<**");
        EXPECT_EQ(listText.find('\n'), std::string::npos);
        Expr spine = f;
        for (int i = 0; i < 10000; ++i) spine = ap(spine, x);
        const std::string spineText = showExpr(spine);
        EXPECT_EQ(spineText.substr(0, 11), "f x\n  x\n  x");
        EXPECT_EQ(spineText.size(), 3 + 9999 * 4u);
        Expr lambda = x;
        for (int i = 0; i < 10000; ++i) lambda = lam(x, lambda);
        EXPECT_EQ(showExpr(lambda).substr(0, 3), "<**");
    });
}

TEST(PrintExpr, ShortListFitsAsNestedConses) {
    Expr list = nil();
    for (int i = 0; i < 3; ++i) list = cons(var("x"), list);
    EXPECT_EQ(showExpr(list), "x : (x : (x : []))");
}

}  // namespace
}  // namespace plim
