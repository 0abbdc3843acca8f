// The type checker: definition lists, data declarations, rules and the example programs.
#include <gtest/gtest.h>

#include <cctype>

#include "frontend/typecheck/expressions.h"
#include "frontend/reader/reader_test_util.h"
#include "frontend/typecheck/checker_test_util.h"
#include "frontend/reader/builders.h"
#include "lang/constants.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using test::bindingsText;
using test::checkDefs;

TEST(TypecheckDefinitions, SchemesSignaturesAndSupply) {
    auto st = CheckState::fresh();
    DListCheck one = checkDList(test::listOf(test::programDefs("f x = x")), DListContext{0, st, CheckEnv()});
    EXPECT_EQ(bindingsText(one.bindings), "f :: TAbs [\"a\"] (TCon \"Arrow\" [Tid \"a\",Tid \"a\"])\n");
    // f's list variable, x's argument variable, the application's result.
    EXPECT_EQ(st->used(), 3u);
    DListCheck sig = checkDefs("f :: Int -> Int; f x = x");
    EXPECT_EQ(sig.defines, std::vector<std::string>{"f"});
    EXPECT_EQ(bindingsText(sig.bindings), "f :: TCon \"Arrow\" [TCon \"Int\" [],TCon \"Int\" []]\n");
    DListCheck tuple = checkDefs("(a, b) = (1, True)");
    EXPECT_EQ(tuple.defines, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(bindingsText(tuple.bindings), "a :: TCon \"Int\" []\nb :: TCon \"Bool\" []\n");
    EXPECT_TRUE(checkDefs("").bindings.empty());
}

// Variables free in the environment stay free; the generalised ones take the first names not
// free there.
TEST(TypecheckDefinitions, GeneralisationLeavesTheEnvironmentsVariablesFree) {
    const CheckEnv env = CheckEnv().with("x", mkListType(mkTid("a"))).with("y", mkListType(mkTid("c")));
    DListCheck d = checkDList(test::listOf(test::programDefs("f u = (u, x); h u v = (v, u, y)")),
                              DListContext{0, CheckState::startingAfter(5), env});
    ASSERT_EQ(d.bindings.size(), 2u);
    EXPECT_EQ(showType(d.bindings[0].second), "b -> (b,[a])");
    EXPECT_EQ(d.bindings[0].second.boundVars(), std::vector<std::string>{"b"});
    EXPECT_EQ(showType(d.bindings[1].second), "b -> d -> (d,b,[c])");
    EXPECT_EQ(d.bindings[1].second.boundVars(), (std::vector<std::string>{"b", "d"}));
}

TEST(TypecheckDefinitions, ASignatureThatContradictsAnEarlierEquationAddsNoReport) {
    EXPECT_EQ(concatTheoryErrors(checkDefs("f = 1; f :: Bool").messages), "");
    // A signature first makes the equation's own unification fail.
    EXPECT_EQ(concatTheoryErrors(checkDefs("f :: Bool; f = 1").messages),
              ">TYPE ERROR near line 1\nf = 1\n>mismatch of type constructors\n>between type: Bool\n>and type: Int\n");
}

TEST(TypecheckDefinitions, RulesStandLastDefinitionFirst) {
    DList d = test::listOf(test::programDefs("f 0 = 1; f 1 = 2; f n = n; g = f"));
    DefnRules rules = dlistRules(d, "T specification of ");
    std::vector<std::string> eqs;
    for (const Ceq& c : lookupFM(NameOrd{}, rules, std::string("f"))->get()) {
        EXPECT_EQ(c.label, "T specification of f");
        eqs.push_back(showFunDef(c.eqn.lhs, c.eqn.rhs));
    }
    EXPECT_EQ(eqs, (std::vector<std::string>{"f n = n", "f 1 = 2", "f 0 = 1"}));
    EXPECT_EQ(dlistSyntax(d).freeVars, std::vector<std::string>{"f"});
}

TEST(TypecheckDefinitions, LineZeroTakesTheEnclosingLine) {
    std::ostringstream log;
    Defs defs = mkOneDef(mkFun(parseExpression("f x", log), parseExpression("x + True", log)), mkNoDef(), 0);
    DListCheck d = checkDList(mkDList(defs), DListContext{12, CheckState::fresh(), CheckEnv()});
    EXPECT_EQ(concatTheoryErrors(d.messages),
              ">TYPE ERROR near line 12\n"
              "x + True\n"
              ">mismatch of type constructors\n"
              ">between type: Bool\n"
              ">and type: Int\n");
    // A definition's own report comes with its printed form.
    DListCheck own = checkDList(mkDList(mkOneDef(mkFun(parseExpression("g 1", log), parseExpression("True", log)),
                                                 mkOneDef(mkFun(parseExpression("g x", log), parseExpression("x", log)),
                                                          mkNoDef(), 0),
                                                 5)),
                                DListContext{0, CheckState::fresh(), CheckEnv()});
    EXPECT_EQ(concatTheoryErrors(own.messages),
              ">TYPE ERROR near line 5\ng x = x\n>mismatch of type constructors\n>between type: Bool\n>and type: Int\n");
}

TEST(TypecheckDefinitions, LetShadowsOuterNames) {
    DListCheck d = checkDefs("x = 1; g = let x = True in x");
    EXPECT_EQ(concatTheoryErrors(d.messages), "");
    EXPECT_EQ(showType(d.bindings[1].second), "Bool");
    DListCheck poly = checkDefs("h = let i y = y in (i 1, i True)");
    EXPECT_EQ(concatTheoryErrors(poly.messages), "");
    EXPECT_EQ(showType(poly.bindings[0].second), "(Int,Bool)");
}

TEST(TypecheckDefinitions, TypedAndPlainTrees) {
    DListCheck d = checkDefs("f x = x + 1");
    const Decl typed = d.typed.get().defs.item().decl;
    EXPECT_EQ(showType(typed.fun().lhs.type()), "Int");
    EXPECT_EQ(showType(typed.fun().lhs.fun().type()), "Int -> Int");
    const Decl plain = d.plain.defs.item().decl;
    EXPECT_THROW(plain.fun().lhs.type(), InternalError);
    EXPECT_EQ(showDecl(plain), "f x = x + 1");
    EXPECT_THROW(checkDefs("(\\x -> x) = 1"), UserError);
}

TEST(TypecheckDataDeclarations, ConstructorsAndTheirSchemes) {
    DListCheck color = checkDefs("data Color = Red | Green | Red");
    EXPECT_EQ(concatTheoryErrors(color.messages), "");
    EXPECT_EQ(color.defines, (std::vector<std::string>{"Red", "Green"}));
    EXPECT_EQ(bindingsText(color.bindings), "Red :: TCon \"Color\" []\nGreen :: TCon \"Color\" []\n");
    DListCheck list = checkDefs("data Seq b = Nil | Cons b (Seq b)");
    EXPECT_EQ(bindingsText(list.bindings),
              "Nil :: TAbs [\"a\"] (TCon \"Seq\" [Tid \"a\"])\n"
              "Cons :: TAbs [\"a\"] (TCon \"Arrow\" [Tid \"a\",TCon \"Arrow\" [TCon \"Seq\" [Tid \"a\"],"
              "TCon \"Seq\" [Tid \"a\"]]])\n");
    DListCheck use = checkDefs("data T = A Int | B; f (A n) = n; f B = 0");
    EXPECT_EQ(concatTheoryErrors(use.messages), "");
    EXPECT_EQ(showType(use.bindings[2].second), "T -> Int");
    const DeclSyntax syn = declSyntax(test::programDefs("g = A 1")[0].decl);
    EXPECT_EQ(syn.constrsUsed, std::vector<std::string>{"A"});
}

// A data declaration of a built-in type defines nothing, at the top of a list or in a let:
// its constructors are undefined where they are used.
TEST(TypecheckDataDeclarations, ABuiltInTypeCannotBeDeclared) {
    for (const char* head : {"Int", "Float", "Bool", "List a", "Arrow a b", "Tuple", "Tuple2 a b", "Tuple12 a", "Tuples"}) {
        DListCheck d = checkDefs(std::string("data ") + head + " = K; k = K");
        EXPECT_EQ(d.defines, std::vector<std::string>{"k"}) << head;
        const std::string reports = concatTheoryErrors(d.messages);
        EXPECT_EQ(reports.rfind(">TYPE ERROR near line ", 0), 0u) << reports;
        EXPECT_NE(reports.find("\n>declaration of built-in type: " + std::string(head).substr(0, std::string(head).find(' ')) +
                               "\n>UNDEFINED near line "),
                  std::string::npos)
            << reports;
    }
    EXPECT_EQ(concatTheoryErrors(checkDefs("f = let { data Bool = Yes } in Yes").messages),
              ">TYPE ERROR near line 2\ndata Bool = Yes\n>declaration of built-in type: Bool\n"
              ">UNDEFINED near line 1 : Yes\n");
    for (const char* head : {"Integer", "Lists a", "Boolean", "Arrows", "Floats", "Tupl", "Nat"}) {
        DListCheck d = checkDefs(std::string("data ") + head + " = K; k = K");
        EXPECT_EQ(concatTheoryErrors(d.messages), "") << head;
        EXPECT_EQ(d.defines, (std::vector<std::string>{"K", "k"})) << head;
    }
}

// The definitions of a program checked group by group in file order (consecutive elements
// defining the same names form one group), then its transformation blocks and theory.
std::string checkExample(const std::string& name) {
    std::string reports;
    const std::vector<DefItem> items = test::programDefs(test::readFile("examples/" + name + ".p"));
    auto st = CheckState::fresh();
    CheckEnv env;
    for (std::size_t i = 0; i < items.size();) {
        std::size_t j = i + 1;
        const auto defines = declSyntax(items[i].decl).defines;
        while (j < items.size() && declSyntax(items[j].decl).defines == defines) ++j;
        DListCheck c = checkDList(test::listOf({items.begin() + i, items.begin() + j}), DListContext{0, st, env});
        reports += concatTheoryErrors(c.messages);
        env = env.with(c.bindings);
        i = j;
    }
    DefnRules table = dlistRules(test::listOf(items), "definition of ");
    const SourceFile file = readProgram(test::readFile("examples/" + name + ".p")).value.get();
    for (const ElemItem& e : file.elems) {
        if (e.elem.kind() != ElemKind::TrafoElem) continue;
        const Rewrite& rw = e.elem.rewrite();
        DListCheck s = checkDList(rw.specs, DListContext{0, st, env});
        CheckEnv withSpecs = env.with(s.bindings);
        DListCheck r = checkDList(rw.redefs, DListContext{0, st, withSpecs});
        TheoryCheck th = checkTheory(rw.theory.elems, Lazy<CheckEnv>(withSpecs), Lazy<DefnRules>(table));
        TheoryCheck expanded = checkTheory(th.expanded.get().elems, Lazy<CheckEnv>(withSpecs), Lazy<DefnRules>(table));
        reports += concatTheoryErrors(s.messages) + concatTheoryErrors(r.messages) + concatTheoryErrors(expanded.messages);
    }
    // The theory file without its DEFINITION headers (which only a USING clause may hold).
    std::string theory = test::readFile("examples/" + name + ".eq");
    theory = theory.substr(0, theory.find("DEFINITION"));
    while (!theory.empty() && (theory.back() == ';' || std::isspace(static_cast<unsigned char>(theory.back()))))
        theory.pop_back();
    TheoryCheck th = checkTheory(test::readTheo(theory), Lazy<CheckEnv>(env), test::noTable());
    reports += concatTheoryErrors(th.messages);
    th.rules.get();
    return reports;
}

TEST(TypecheckExamples, WellTypedExamplesCheckWithoutReports) {
    for (const char* name : {"accumulation", "foldfusion", "grammar_lists", "mapfusion"})
        EXPECT_EQ(checkExample(name), "") << name;
}

TEST(TypecheckLongInputs, LongListsAndDefinitionLists) {
    runOnLargeStack([] {
        std::string list = "xs = [";
        for (int i = 0; i < test::inputSize(100000); ++i) list += (i ? ", " : "") + std::to_string(i);
        DListCheck d = checkDefs(list + "]");
        EXPECT_EQ(concatTheoryErrors(d.messages), "");
        EXPECT_EQ(showType(d.bindings[0].second), "[Int]");
        EXPECT_EQ(showType(d.typed.get().defs.item().decl.fun().rhs.type()), "[Int]");

        const int n = test::inputSize(20000);
        std::string defs;
        for (int i = 0; i < n; ++i) defs += "f" + std::to_string(i) + " x = x + 1;\n";
        DListCheck many = checkDefs(defs);
        EXPECT_EQ(many.bindings.size(), std::size_t(n));
        EXPECT_EQ(showType(many.bindings.back().second), "Int -> Int");
    });
}

TEST(TypecheckLongInputs, LongSpinesNeedNoDeepRecursion) {
    // Built directly (no reader), checked on the ordinary stack: a list of 100,000 elements
    // and 100,000 nested lambdas.
    const int n = test::inputSize(100000);
    Expr list = mkConExpr(mkNul());
    for (int i = 0; i < n; ++i) list = foldApplication(mkConExpr(mkBinop(Op::Cons)), {mkConExpr(mkNumber(i)), list});
    TheoryCheck tc = checkTheory(mkCeqTheo(mkCeq("e", mkNoEq(), mkEqn(list, list), 3), mkNoTheo()), test::envOf({}),
                                 test::noTable());
    EXPECT_EQ(concatTheoryErrors(tc.messages), "");
    EXPECT_EQ(showType(tc.rules.get().at(0).equation.first.type()), "[Int]");
    EXPECT_EQ(tc.names.size(), 0u);

    Expr lams = mkVarExpr("x0");
    for (int i = 0; i < n; ++i) lams = mkLam(mkVarExpr("y" + std::to_string(i)), lams, placeholderType());
    std::vector<std::string> free = infer::exprFreeVars(lams);
    EXPECT_EQ(free, std::vector<std::string>{"x0"});
}

TEST(TypecheckLongInputs, DeeplyNestedTypesOnTheLargeStack) {
    // 100,000 nested lambdas: the type is nested as deep, and reading the typed tree resolves
    // each node's type once.
    runOnLargeStack([] {
        const int n = test::inputSize(100000);
        Expr lams = mkVarExpr("y0");
        for (int i = 0; i < n; ++i) lams = mkLam(mkVarExpr("y" + std::to_string(i)), lams, placeholderType());
        DListCheck d = checkDList(mkDList(mkOneDef(mkFun(mkVarExpr("f"), lams), mkNoDef(), 1)),
                                  DListContext{0, CheckState::fresh(), CheckEnv()});
        EXPECT_EQ(concatTheoryErrors(d.messages), "");
        EXPECT_EQ(numBoundVars(d.bindings.at(0).second), std::size_t(n));
        const Expr& rhs = d.typed.get().defs.item().decl.fun().rhs;
        EXPECT_EQ(typeVarsOf(rhs.type()).size(), std::size_t(n));
    });
}

}  // namespace
}  // namespace plim
