#include "lang/syntax.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lang/syntax_dump.h"
#include "support/big_stack.h"
#include "support/failing_allocations.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

const Type a = mkTid("a");
Expr var(const std::string& name) { return mkVar(name, a); }

TEST(SyntaxText, TheFiveExamples) {
    EXPECT_EQ(showExprSyntax(var("x")), "Var \"x\" (Tid \"a\")");
    EXPECT_EQ(showsPrecExpr(11, var("x")), "(Var \"x\" (Tid \"a\"))");
    Defs defs = mkOneDef(mkFun(mkVar("f", a), mkCon(mkNul(), a)), mkNoDef(), 3);
    EXPECT_EQ(showSyntax(defs), "OneDef (Fun (Var \"f\" (Tid \"a\")) (Con Nul (Tid \"a\"))) NoDef 3");
    EXPECT_EQ(showSyntax(mkAlt("Cons", {a, mkListType(a)})), "Alt \"Cons\" [Tid \"a\",TCon \"List\" [Tid \"a\"]]");
    Rewrite r = mkRewrite("t", {"f", "g"}, mkDList(mkNoDef()), mkDList(mkNoDef()), mkTheory(mkNoTheo()));
    EXPECT_EQ(showSyntax(r), "Rewrite \"t\" [\"f\",\"g\"] (DList NoDef) (DList NoDef) (Theory NoTheo)");
}

TEST(SyntaxText, StringEscapes) {
    EXPECT_EQ(showExprSyntax(mkVar(std::string("\x0EH"), a)), "Var \"\\SO\\&H\" (Tid \"a\")");
    EXPECT_EQ(showExprSyntax(mkVar(std::string("\x0E" "A"), a)), "Var \"\\SOA\" (Tid \"a\")");
    EXPECT_EQ(showExprSyntax(mkVar(std::string("\xC8" "1\xC8x"), a)), "Var \"\\200\\&1\\200x\" (Tid \"a\")");
    EXPECT_EQ(showExprSyntax(mkVar(std::string("\x7F\x01\n\"\\"), a)), "Var \"\\DEL\\SOH\\n\\\"\\\\\" (Tid \"a\")");
    EXPECT_EQ(showExprSyntax(mkVar("", a)), "Var \"\" (Tid \"a\")");
}

TEST(SyntaxText, LinesAndBareConstructors) {
    Eqn e = mkEqn(var("x"), var("y"));
    EXPECT_EQ(showSyntax(mkCeq("l", mkOneEq(e, mkNoEq()), e, -1)),
              "Ceq \"l\" (OneEq (Eqn (Var \"x\" (Tid \"a\")) (Var \"y\" (Tid \"a\"))) NoEq) "
              "(Eqn (Var \"x\" (Tid \"a\")) (Var \"y\" (Tid \"a\"))) (-1)");
    EXPECT_EQ(showSyntax(mkCeq("", mkNoEq(), e, 0)).substr(0, 13), "Ceq \"\" NoEq (");
    EXPECT_EQ(showSyntax(mkCeq("", mkNoEq(), e, 0)).back(), '0');
    EXPECT_EQ(showSyntax(mkAlt("Nil", {})), "Alt \"Nil\" []");
    EXPECT_EQ(showsPrecSyntax(11, mkNoDef()), "NoDef");
    EXPECT_EQ(showsPrecSyntax(11, mkNoAlt(), "!"), "NoAlt!");
    EXPECT_EQ(showListSyntax(std::vector<Expr>{var("x"), var("y")}, "."),
              "[Var \"x\" (Tid \"a\"),Var \"y\" (Tid \"a\")]."); 
    EXPECT_EQ(showListSyntax(std::vector<Alt>{}), "[]");
}

TEST(SyntaxText, EveryConstructor) {
    const Type intT = intType();
    Expr lam = mkLam(mkVar("x", intT), mkVar("x", intT), mkArrow(intT, intT));
    EXPECT_EQ(showExprSyntax(lam), "Lam (Var \"x\" (TCon \"Int\" [])) (Var \"x\" (TCon \"Int\" [])) "
                             "(TCon \"Arrow\" [TCon \"Int\" [],TCon \"Int\" []])");
    Expr ap = mkAp(lam, mkCon(mkNumber(-2), intT), intT);
    EXPECT_EQ(showsPrecExpr(11, ap, "|"), "(Ap (" + showExprSyntax(lam) + ") (Con (Number (-2)) (TCon \"Int\" [])) (TCon \"Int\" []))|");
    Expr let = mkLet(mkDList(mkNoDef()), var("b"), a);
    EXPECT_EQ(showExprSyntax(let), "Let (DList NoDef) (Var \"b\" (Tid \"a\")) (Tid \"a\")");

    Decl dec = mkDec(var("f"), a);
    EXPECT_EQ(showSyntax(dec), "Dec (Var \"f\" (Tid \"a\")) (Tid \"a\")");
    Decl data = mkData(mkTCon("T", {}), mkOneAlt(mkAlt("C", {}), mkNoAlt()));
    EXPECT_EQ(showSyntax(data), "Data (TCon \"T\" []) (OneAlt (Alt \"C\" []) NoAlt)");

    Theo theo = mkDefnTheo("f", mkCeqTheo(mkCeq("r", mkNoEq(), mkEqn(var("x"), var("x")), 2), mkNoTheo()));
    EXPECT_EQ(showSyntax(mkTheory(theo)),
              "Theory (DefnTheo \"f\" (CeqTheo (Ceq \"r\" NoEq (Eqn (Var \"x\" (Tid \"a\")) (Var \"x\" (Tid \"a\"))) 2) "
              "NoTheo))");

    Rewrite r = mkRewrite("t", {}, mkDList(mkNoDef()), mkDList(mkNoDef()), mkTheory(mkNoTheo()));
    Elems elems = mkOneElem(mkDefElem(dec), mkOneElem(mkTrafoElem(r), mkNoElem(), 7), 5);
    EXPECT_EQ(showSyntax(mkSourceFile(elems)),
              "SourceFile (OneElem (DefElem (Dec (Var \"f\" (Tid \"a\")) (Tid \"a\"))) "
              "(OneElem (TrafoElem (Rewrite \"t\" [] (DList NoDef) (DList NoDef) (Theory NoTheo))) NoElem 7) 5)");
    Block blocks = mkDefsBlock(mkDList(mkNoDef()), mkTrafoBlock(r, mkEmptyBlock()));
    EXPECT_EQ(showSyntax(mkProg(blocks)),
              "Prog (DefsBlock (DList NoDef) (TrafoBlock (Rewrite \"t\" [] (DList NoDef) (DList NoDef) "
              "(Theory NoTheo)) Empty))");
}

TEST(Syntax, ApplicationTypeReadOnDemand) {
    int reads = 0;
    Expr lazyAp = mkApLazy(var("f"), var("x"), Lazy<Type>::defer([&reads]() -> Type {
                               ++reads;
                               failInternal("cannot take result type of non-function");
                           }));
    EXPECT_EQ(reads, 0);
    EXPECT_FALSE(lazyAp.typeIsEvaluated());
    EXPECT_TRUE(lazyAp.fun().sameNode(lazyAp.fun()));
    EXPECT_EQ(lazyAp.arg().name(), "x");
    try {
        lazyAp.type();
        FAIL() << "expected the type to fail";
    } catch (const InternalError& e) {
        EXPECT_EQ(e.message(), "cannot take result type of non-function");
    }
    EXPECT_EQ(reads, 1);
}

TEST(Syntax, EqualExpressionsHashAlikeWhateverTheirNodesAndTypes) {
    const Type b = mkTCon("B");
    auto tree = [&](const Type& t) {
        const Expr f = mkCon(mkConstr("F"), arrowType(t, arrowType(t, t)));
        return mkAp(mkAp(f, mkCon(mkNumber(3), t), t), mkLam(mkVar("x", t), mkVar("x", t), t), t);
    };
    // Built twice, at two types, and with a type computed on first read: one hash.
    EXPECT_EQ(tree(a).hashCode(), tree(a).hashCode());
    EXPECT_EQ(tree(a).hashCode(), tree(b).hashCode());
    const Expr x = tree(a);
    EXPECT_EQ(mkApLazy(x.fun(), x.arg(), Lazy<Type>::defer([] { return a; })).hashCode(), x.hashCode());
    EXPECT_EQ(mkPairAs(x, Expr(x.fun()), Expr(x.arg())).hashCode(), x.hashCode());
    EXPECT_EQ(mkCon(mkFNumber(0.0f), a).hashCode(), mkCon(mkFNumber(-0.0f), a).hashCode());
    EXPECT_EQ(mkLet(mkDList(mkNoDef()), x, a).hashCode(), mkLet(mkDList(mkOneDef(mkDec(var("y"), a), mkNoDef(), 1)), x, a).hashCode());
    // Other forms, names, constants or places hash apart.
    const Expr p = var("p"), q = var("q");
    EXPECT_NE(mkAp(p, q, a).hashCode(), mkAp(q, p, a).hashCode());
    EXPECT_NE(mkAp(p, q, a).hashCode(), mkLam(p, q, a).hashCode());
    EXPECT_NE(mkAp(p, p, a).hashCode(), mkAp(p, q, a).hashCode());
    EXPECT_NE(var("p").hashCode(), mkCon(mkConstr("p"), a).hashCode());
    EXPECT_NE(mkCon(mkNumber(1), a).hashCode(), mkCon(mkNumber(2), a).hashCode());
    EXPECT_NE(mkCon(mkNumber(1), a).hashCode(), mkCon(mkTuple(1), a).hashCode());
    EXPECT_NE(mkLet(mkDList(mkNoDef()), x, a).hashCode(), x.hashCode());
    // Successors of zero: no two counts of them alike.
    const Expr s = mkCon(mkConstr("S"), arrowType(a, a));
    Expr n = mkCon(mkConstr("Z"), a);
    std::vector<std::uint64_t> seen;
    for (int k = 0; k < 1000; ++k, n = mkAp(s, n, a)) seen.push_back(n.hashCode());
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
}

TEST(Syntax, FieldsAndChains) {
    Expr let = mkLet(mkDList(mkOneDef(mkFun(var("x"), var("y")), mkNoDef(), 4)), var("x"), a);
    EXPECT_TRUE(let.isLet());
    EXPECT_EQ(let.body().name(), "x");
    const DefItem& item = let.defs().defs.item();
    EXPECT_EQ(item.line, 4);
    EXPECT_EQ(item.decl.kind(), DeclKind::Fun);
    EXPECT_EQ(item.decl.fun().rhs.name(), "y");
    EXPECT_TRUE(let.defs().defs.rest().isEnd());

    Eqs eqs = Eqs::fromVector({mkEqn(var("a"), var("b")), mkEqn(var("c"), var("d"))});
    EXPECT_EQ(eqs.length(), 2u);
    EXPECT_EQ(eqs.toVector()[1].lhs.name(), "c");
    EXPECT_TRUE(mkOneEq(mkEqn(var("e"), var("e")), eqs).rest().sameCell(eqs));
}

// A cons chain x : x : ... : [] of n elements, as nested applications.
Expr consChain(int n) {
    const Type list = mkListType(a);
    const Type consT = mkArrow(a, mkArrow(list, list));
    Expr chain = mkCon(mkNul(), list);
    for (int i = 0; i < n; ++i) {
        Expr head = mkAp(mkCon(mkBinop(Op::Cons), consT), var("x"), mkArrow(list, list));
        chain = mkAp(head, chain, list);
    }
    return chain;
}

// Spines 100,000 long, on the ordinary stack.
// Shows a long list, a long list of definitions and a long left spine, and releases them.
void showAndDestroyLongSpines(const int n) {
    {
        Expr chain = consChain(n);
        std::string text = showExprSyntax(chain);
        EXPECT_EQ(text.rfind("Ap (Ap (Con (Binop Cons) ", 0), 0u);
        EXPECT_TRUE(text.ends_with(" (TCon \"List\" [Tid \"a\"])"));
    }
    {
        Defs defs;
        for (int i = 0; i < n; ++i) defs = mkOneDef(mkFun(var("f"), var("g")), defs, i);
        EXPECT_EQ(defs.length(), std::size_t(n));
        std::string text = showSyntax(mkDList(defs));
        EXPECT_NE(text.find("(Var \"g\" (Tid \"a\"))) NoDef 0) 1) 2)"), std::string::npos);
        EXPECT_TRUE(text.ends_with(" " + std::to_string(n - 2) + ") " + std::to_string(n - 1) + ")"));
    }
    // A left spine: f x x x ... x.
    Expr spine = var("f");
    for (int i = 0; i < n; ++i) spine = mkAp(spine, var("x"), a);
    std::string prefix = "Ap ";
    for (int i = 1; i < n; ++i) prefix += "(Ap ";
    EXPECT_TRUE(showExprSyntax(spine).starts_with(prefix + "(Var \"f\""));
}

TEST(Syntax, LongSpinesAreShownAndDestroyedWithoutDeepRecursion) {
    runOnLargeStack([] { showAndDestroyLongSpines(test::inputSize(100000)); }, test::kOrdinaryStack);
}

// Local definitions nested in the right sides of local definitions (let f = (let f = ... in
// g) in g), and in their left sides and signatures, are released without deep recursion on
// the test's ordinary stack (a million levels, an eighth of that under the sanitizers: still a
// few bytes of that stack a level); a part still held elsewhere stays intact.
TEST(Syntax, NestedLocalDefinitionsAreDestroyedWithoutDeepRecursion) {
    const int n = test::inputSize(1000000);
    Expr kept = var("k");
    {
        Expr e = var("x");
        for (int i = 0; i < n; ++i) {
            const Decl d = i % 3 == 0 ? mkFun(var("f"), e) : i % 3 == 1 ? mkFun(e, var("g")) : mkDec(e, a);
            e = mkLet(mkDList(mkOneDef(d, mkNoDef(), i)), var("g"), a);
            if (i == n / 2) kept = e;
        }
    }
    EXPECT_TRUE(kept.isLet());
    EXPECT_EQ(kept.defs().defs.item().line, n / 2);
}

// Releasing an expression asks nothing of the allocator, so that it cannot fail in a
// destructor: a long spine and nested local definitions are released with every request
// refused.
TEST(Syntax, ReleasingAsksNothingOfTheAllocator) {
    const int n = test::inputSize(100000);
    Expr chain = consChain(n);
    Expr lets = var("x");
    for (int i = 0; i < n; ++i) lets = mkLet(mkDList(mkOneDef(mkFun(var("f"), lets), mkNoDef(), i)), var("g"), a);
    std::size_t refused = 0;
    {
        const test::RefusedAllocations none;
        { const Expr released = std::move(chain); }
        { const Expr released = std::move(lets); }
        refused = none.refused();
    }
    EXPECT_EQ(refused, 0u);
}

}  // namespace
}  // namespace plim
