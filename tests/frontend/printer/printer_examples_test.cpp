// The printed forms the printer promises, byte for byte: equations and theories, programs,
// the shared layout pieces, types, expressions and declarations, and the string renderers.
// The rewriting engine's expected texts are built from these forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/printer/printer.h"
#include "frontend/printer/printer_test_util.h"
#include "layout/combinators.h"

namespace plim {
namespace {

using namespace pptest;

const Expr a = var("a"), b = var("b"), c = var("c"), e = var("e"), f = var("f"), g = var("g"), x = var("x"),
           y = var("y");

std::string shown(const Expr& ex, Precedence p = 0) { return renderAtPrinterBounds(ppExpr(p, ex)); }

Elems elems(const std::vector<Elem>& es) {
    Elems out = mkNoElem();
    for (auto it = es.rbegin(); it != es.rend(); ++it) out = mkOneElem(*it, out, 0);
    return out;
}

Theory theory(Theo t) { return mkTheory(std::move(t)); }

RuleTriple rule(const std::string& label, std::vector<std::pair<Expr, Expr>> conds, Expr lhs, Expr rhs) {
    return RuleTriple{label, std::move(conds), {std::move(lhs), std::move(rhs)}};
}

TEST(PrintedForms, EquationsAndTheories) {
    EXPECT_EQ(showTheory({}), "");
    EXPECT_EQ(showTheory({rule("id", {}, ap(f, x), x)}), "id: f x = x");
    EXPECT_EQ(showTheory({rule("r1", {}, ap(f, x), x), rule("r2", {}, ap(g, x), y)}), "r1: f x = x;\n\nr2: g x = y");
    EXPECT_EQ(showEquation("r", {{x, y}}, {ap(f, x), y}), "r: f x = y, if {\n               x = y\n               }");
    EXPECT_EQ(showEquation("", {}, {x, y}), ": x = y");
    // Column 17: a label of three characters and an equation of seven.
    const std::string col17(17, ' ');
    EXPECT_EQ(showEquation("abc", {{x, y}, {y, x}}, {ap(f, x), y}),
              "abc: f x = y, if {\n" + col17 + "x = y;\n" + col17 + "y = x\n" + col17 + "}");
    EXPECT_EQ(renderDoc(ppTheo(mkDefnTheo("map", mkDefnTheo("rev", mkNoTheo()))), 20),
              "DEFINITION map;\n\nDEFINITION rev");
}

TEST(PrintedForms, TheoryWidthIsAlways160) {
    std::vector<Expr> args(30, x);
    const RuleTriple wide = rule("w", {}, call(f, args), x);
    const std::string text = showTheory({wide});
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.size(), 3u + 2 * 30 + 1 + 4);
}

TEST(PrintedForms, Programs) {
    const Rewrite fuse = mkRewrite("fuse", {}, dlist({fun(ap(f, x), ap(g, x))}), dlist({fun(ap(g, x), x)}),
                                   theory(mkCeqTheo(mkCeq("r", mkNoEq(), mkEqn(ap(g, x), x), 1), mkNoTheo())));
    EXPECT_EQ(renderDoc(showProgram(mkNoElem()), 80), "");
    EXPECT_EQ(renderDoc(showProgram(elems({mkDefElem(fun(ap(f, x), x)), mkTrafoElem(fuse), mkDefElem(fun(g, num(2)))})),
                        80),
              "f x = x;\nTRANSFORM fuse\nREDEFINE f x = g x\nSPECIFYING g x = x\nUSING r: g x = x\nEND;\ng = 2;");
    const Rewrite listed = mkRewrite("acc", {"a", "b", "c"}, dlist({}),
                                     dlist({fun(ap(f, x), x), fun(g, num(1))}),
                                     theory(mkCeqTheo(mkCeq("r", mkNoEq(), mkEqn(ap(g, x), x), 1),
                                                      mkDefnTheo("map", mkNoTheo()))));
    EXPECT_EQ(renderDoc(ppRewrite(listed), 80),
              "TRANSFORM acc:a,b,c\nREDEFINE \nSPECIFYING f x = x;g = 1\nUSING r: g x = x;\n\n      DEFINITION map\nEND;");
}

TEST(PrintedForms, SharedLayoutPieces) {
    EXPECT_EQ(renderDoc(aboveList(punctuateInit(withSemicolon, {textDoc("a"), textDoc("b"), textDoc("c")})), 80),
              "a;\nb;\nc");
    const Doc def = applyParDoc(funDefTemplate(), std::vector<Doc>{textDoc("f x"), textDoc(" = y")});
    EXPECT_EQ(renderDoc(def, 80), "f x = y");
    const Doc longer = applyParDoc(funDefTemplate(), std::vector<Doc>{textDoc("f xxxxxx"), textDoc(" = y")});
    EXPECT_EQ(renderDoc(longer, 10), "f xxxxxx\n    = y");
}

TEST(PrintedForms, Types) {
    const Type ta = tid("a"), tb = tid("b"), tc = tid("c");
    const std::vector<std::pair<Type, std::string>> cases = {
        {arrow(ta, tid("r")), "a -> r"},
        {arrow(ta, arrow(tb, tc)), "a -> b -> c"},
        {arrow(arrow(ta, tb), tc), "(a -> b) -> c"},
        {listOf(ta), "[a]"},
        {tcon("Tuple2", {ta, tb}), "(a,b)"},
        {tcon("Int"), "Int"},
        {tcon("Maybe", {ta}), "Maybe a"},
        {tcon("Either", {ta, listOf(tb)}), "Either a [b]"},
        {tcon("Maybe", {tcon("Tuple2", {ta, tb})}), "Maybe ((a,b))"},
        {listOf(arrow(ta, tb)), "[a -> b]"},
        {tcon("Maybe", {listOf(ta)}), "Maybe [a]"},
        {tcon("Tuple2", {ta, listOf(tb)}), "(a,[b])"},
        {arrow(tcon("Tuple2", {ta, listOf(tb)}), tc), "((a,[b])) -> c"},
        {tcon("Arrow", {ta, tb, tc}), "Arrow a b c"},
        {tcon("Maybe", {tcon("Arrow", {ta, tb, tc})}), "Maybe (Arrow a b c)"},
        {mkTAbs({"a"}, arrow(ta, ta)), "a -> a"},
        {tcon("Tuple0"), "()"},
    };
    for (const auto& [type, text] : cases) EXPECT_EQ(showType(type), text) << text;
    EXPECT_EQ(renderAtPrinterBounds(ppTypeArg(tcon("Tuple2", {ta, tb}))), "((a,b))");
    EXPECT_EQ(renderAtPrinterBounds(ppTypeArg(tcon("Int"))), "Int");
    EXPECT_EQ(renderAtPrinterBounds(ppTypeArg(tcon("Arrow", {ta, tb, tc}))), "(Arrow a b c)");
}

TEST(PrintedForms, Expressions) {
    const Expr plus = con(mkBinop(Op::Plus));
    const Expr t2 = con(mkTuple(2));
    const Expr ifc = call(con(mkIf()), {c, a, b});
    const std::vector<std::pair<Expr, std::string>> cases = {
        {lam(x, lam(y, b)), "(\\ x y -> b)"},
        {ifc, "if c then a else b"},
        {fnum(1.0f), "1.0"},
        {fnum(0.01f), "1.0e-2"},
        {fnum(1.5e7f), "1.5e7"},
        {call(con(mkTuple(3)), {a, b}), "Tuple 3 a b"},
        {call(con(mkTuple(3)), {a, b, c}), "(a, b, c)"},
        {call(t2, {a, b, x, y}), "(a, b) x y"},
        {plus, "(+)"},
        {ap(plus, a), "(+) a"},
        {call(plus, {a, b, c}), "(a + b) c"},
        {binop(Op::Plus, binop(Op::Plus, a, b), c), "(a + b) + c"},
        {binop(Op::Cat, a, binop(Op::Cat, b, c)), "a ++ (b ++ c)"},
        {binop(Op::Plus, binop(Op::Tim, a, b), c), "a * b + c"},
        {binop(Op::Tim, a, binop(Op::Plus, b, c)), "a * (b + c)"},
        {call(f, {x, y}), "f x y"},
        {binop(Op::Plus, a, binop(Op::Tim, b, c)), "a + b * c"},
        {binop(Op::Plus, binop(Op::Tim, b, c), a), "b * c + a"},
        {binop(Op::Tim, binop(Op::Plus, a, b), c), "(a + b) * c"},
        {binop(Op::Min, binop(Op::Min, a, b), c), "(a - b) - c"},
        {cons(a, cons(b, nil())), "a : (b : [])"},
        {ap(plus, x), "(+) x"},
        {call(con(mkIf()), {c, a}), "If c a"},
        {call(t2, {a, b}), "(a, b)"},
        {ap(t2, a), "Tuple 2 a"},
        {call(t2, {a, b, c}), "(a, b) c"},
        {lam(x, lam(y, x)), "(\\ x y -> x)"},
        {lam(call(t2, {a, b}), a), "(\\ (a, b) -> a)"},
        {let({fun(y, num(1))}, ap(f, y)), "f y\nwhere y = 1"},
        {let({fun(f, num(1)), fun(g, num(2))}, ap(f, g)), "f g\nwhere {\n      f = 1;\n      g = 2\n      }"},
        {num(-5), "-5"},
        {fnum(0.5f), "0.5"},
        {x, "x"},
        {lam(x, e), "(\\ x -> e)"},
        {binop(Op::App, f, x), "f   x"},
        {binop(Op::Tim, x, x), "x * x"},
    };
    for (const auto& [ex, text] : cases) EXPECT_EQ(shown(ex), text) << text;
    EXPECT_EQ(shown(call(f, {x, y}), 100), "(f x y)");
    EXPECT_EQ(shown(ifc, 4), "(if c then a else b)");
    EXPECT_EQ(shown(ap(f, ifc)), "f (if c then a else b)");
}

TEST(PrintedForms, Declarations) {
    EXPECT_EQ(showDecl(mkDec(f, arrow(tcon("Int"), tcon("Int")))), "f :: Int -> Int");
    const Alts abc = mkOneAlt(mkAlt("A", {}), mkOneAlt(mkAlt("B", {}), mkOneAlt(mkAlt("C", {}), mkNoAlt())));
    EXPECT_EQ(showDecl(mkData(tcon("T"), abc)), "data T = A | B | C");
    EXPECT_EQ(renderDoc(ppDecl(mkData(tcon("T"), abc)), 10), "data T = A\n       | B\n       | C");
    const Alts ab = mkOneAlt(mkAlt("A", {}), mkOneAlt(mkAlt("B", {tcon("Int")}), mkNoAlt()));
    EXPECT_EQ(showDecl(mkData(tcon("T"), ab)), "data T = A | B Int");
    EXPECT_EQ(showDecl(fun(ap(f, x), binop(Op::Tim, x, x))), "f x = x * x");
    EXPECT_EQ(showFunDef(var("lhs"), var("rhs")), "lhs = rhs");
    EXPECT_EQ(showDefs(dlist({fun(f, num(1)), fun(g, num(2))})), "f = 1;\ng = 2");
    EXPECT_EQ(showDefs(dlist({})), "");
    // Wider than 160 on one line: the right side goes below, indented by 3.
    std::vector<Expr> args(30, var("xy"));
    std::string words;
    for (int i = 0; i < 30; ++i) words += " xy";
    EXPECT_EQ(showFunDef(call(f, args), call(g, args)), "f" + words + "\n    = g" + words);
}

}  // namespace
}  // namespace plim
