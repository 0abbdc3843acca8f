#include "frontend/assembly/assembly.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "frontend/assembly/redefine.h"
#include "frontend/typecheck/programs.h"
#include "frontend/reader/reader.h"
#include "frontend/printer/types.h"
#include "frontend/reader/builders.h"
#include "frontend/reader/reader_test_util.h"
#include "support/big_stack.h"
#include "support/errors.h"
#include "support/failure_text.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

Assembly assemble(const std::string& text) { return assembleProgram(readProgram(text).value.get()); }

std::vector<std::string> messagesOf(const Assembly& a) {
    std::vector<std::string> out;
    for (const std::string& m : a.messages) out.push_back(m);
    return out;
}

// The type bound to a name, first pair.
std::optional<Type> typeOf(const TypeEnv& env, const std::string& name) {
    for (const auto& [n, t] : env)
        if (n == name) return t;
    return std::nullopt;
}

std::vector<std::string> namesOf(const TypeEnv& env) {
    std::vector<std::string> out;
    for (const auto& [n, t] : env) out.push_back(n);
    return out;
}

// The blocks of the checked program: "defs n" for a group of n definitions, "trafo T".
std::vector<std::string> blockShapes(const Prog& p) {
    std::vector<std::string> out;
    for (const BlockItem& b : p.blocks)
        out.push_back(b.kind() == BlockKind::DefsBlock ? "defs " + std::to_string(b.defs().defs.length())
                                                       : "trafo " + b.rewrite().name);
    return out;
}

std::vector<std::string> labelsOf(const RuleList& rules) {
    std::vector<std::string> out;
    for (const Rule& r : rules) out.push_back(r.label);
    return out;
}

TEST(AssembleProgram, EmptyProgram) {
    const Assembly a = assemble("");
    EXPECT_TRUE(messagesOf(a).empty());
    EXPECT_TRUE(a.info.programEnv().empty());
    EXPECT_TRUE(a.info.program().blocks.isEnd());
    EXPECT_TRUE(a.info.elementList().empty());
    EXPECT_FALSE(a.info.theoryOfTransform("t"));
    EXPECT_FALSE(a.info.transformOfName("t"));
    EXPECT_EQ(concatProgramErrors(a.messages), "");
    EXPECT_EQ(failureMessage([&] { a.info.sourceText(); }), "sourcefile text not inserted");
}

TEST(AssembleProgram, NothingIsComputedBeforeItIsRead) {
    // A lambda on a left side fails only when the program is checked.
    const Assembly a = assemble("(\\x -> x) = 1;");
    EXPECT_EQ(a.info.sourceFile().elems.length(), 1u);
    EXPECT_EQ(failureMessage([&] { messagesOf(a); }), "cannot define an abstraction");
}

TEST(AssembleProgram, PolymorphismFromGroupToGroup) {
    const Assembly a = assemble("f = (ident 1, ident True);\nident x = x;\n");
    EXPECT_TRUE(messagesOf(a).empty());
    const TypeEnv& env = a.info.programEnv();
    EXPECT_EQ(namesOf(env), (std::vector<std::string>{"ident", "f"}));
    EXPECT_EQ(showType(*typeOf(env, "f")), "(Int,Bool)");
    EXPECT_EQ(typeOf(env, "ident")->kind(), TypeKind::TAbs);
    EXPECT_TRUE(a.info.programCheckEnv().binds("ident"));
}

TEST(AssembleProgram, MutualDefinitionsFormOneBlockWithTheirLines) {
    const Assembly a = assemble("ev n = if n == 0 then True else od (n - 1);\n"
                                "od n = if n == 0 then False else ev (n - 1);\n"
                                "main = ev 4;\n");
    EXPECT_TRUE(messagesOf(a).empty());
    const std::vector<BlockItem> blocks = a.info.program().blocks.toVector();
    EXPECT_EQ(blockShapes(a.info.program()), (std::vector<std::string>{"defs 2", "defs 1"}));
    std::vector<std::int32_t> lines;
    for (const DefItem& d : blocks[0].defs().defs) lines.push_back(d.line);
    EXPECT_EQ(lines, (std::vector<std::int32_t>{3, 2}));  // the cycle lists od before ev
}

TEST(AssembleProgram, TypeErrorsAreMessagesInProgramOrder) {
    const Assembly a = assemble("g = 1 + True;\nh = g;\nf = True + 2;\n");
    const std::vector<std::string> m = messagesOf(a);
    ASSERT_EQ(m.size(), 2u);
    // Groups come in dependency order: g's group, h's, then f's.
    EXPECT_EQ(m[0], ">TYPE ERROR near line 2\n1 + True\n>mismatch of type constructors\n>between type: Bool\n"
                    ">and type: Int\n");
    EXPECT_NE(m[1].find("near line 4"), std::string::npos) << m[1];
    EXPECT_EQ(concatProgramErrors(a.messages), m[0] + m[1]);
    EXPECT_TRUE(typeOf(a.info.programEnv(), "h"));  // checking went on
}

TEST(AssembleProgram, AnElementWithoutALineTakesTheLineBefore) {
    const Elems elems = mkOneElem(mkDefElem(parseEquation("f = 1")), mkOneElem(mkDefElem(parseEquation("g = True + 1")),
                                                                               mkNoElem(), 0), 5);
    const Assembly a = assembleProgram(mkSourceFile(elems));
    const std::vector<std::string> m = messagesOf(a);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].rfind(">TYPE ERROR near line 5\n", 0), 0u) << m[0];
}

const char* const specProgram =
    "ident x = x;\n"
    "f xs = ident xs;\n"
    "TRANSFORM t\n"
    "REDEFINE f xs = g xs; h = 3\n"
    "SPECIFYING g ys = ident ys\n"
    "USING DEFINITION f; r : g (g x) = g x\n"
    "END;\n"
    "k = g True;\n";

TEST(AssembleProgram, SpecifiedNamesAreVisibleRedefinedNamesAreNot) {
    const Assembly a = assemble(specProgram);
    EXPECT_TRUE(messagesOf(a).empty());
    const TypeEnv& env = a.info.programEnv();
    ASSERT_TRUE(typeOf(env, "g"));
    EXPECT_EQ(typeOf(env, "g")->kind(), TypeKind::TAbs);
    EXPECT_EQ(showType(*typeOf(env, "k")), "Bool");
    EXPECT_FALSE(typeOf(env, "h"));
    EXPECT_EQ(a.info.elementList(), std::vector<std::string>{"t"});
    EXPECT_EQ(blockShapes(a.info.program()), (std::vector<std::string>{"defs 1", "defs 1", "trafo t", "defs 1"}));
}

// A block that uses a constructor in any one of its parts is checked after the declaration
// of the constructor's type.
TEST(AssembleProgram, ATransformationThatUsesOnlyConstructorsComesAfterTheirDeclaration) {
    const Assembly a = assemble("data Nat = Z | S Nat;\n"
                                "TRANSFORM r REDEFINE one = S Z SPECIFYING ur = 1 USING idr : x = x END;\n"
                                "TRANSFORM s REDEFINE one = 1 SPECIFYING us = S Z USING ids : x = x END;\n"
                                "TRANSFORM t REDEFINE one = 1 SPECIFYING ut = 1 USING idt : y = y, if { Z = Z } END;\n");
    EXPECT_EQ(concatProgramErrors(a.messages), "");
    EXPECT_EQ(blockShapes(a.info.program()), (std::vector<std::string>{"defs 1", "trafo r", "trafo s", "trafo t"}));
    EXPECT_EQ(showType(*typeOf(a.info.programEnv(), "us")), "Nat");
}

TEST(AssembleProgram, RuleLabelsOfATransformation) {
    const Assembly a = assemble("(p, q) = (1, 2);\nTRANSFORM t REDEFINE p = 1 SPECIFYING s = p USING DEFINITION q; "
                                "r : s = 1 END;\n");
    EXPECT_TRUE(messagesOf(a).empty());
    const std::optional<RuleList> rules = a.info.theoryOfTransform("t");
    ASSERT_TRUE(rules);
    EXPECT_EQ(labelsOf(*rules), (std::vector<std::string>{"t specification of s", "definition of p,q", "r"}));
}

TEST(AssembleProgram, TransformationEntry) {
    const Assembly a = assemble(specProgram);
    const std::optional<TrafoEntry> e = a.info.transformOfName("t");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, "t");
    EXPECT_EQ(e->redefinedNames, (std::vector<std::string>{"f", "h"}));
    EXPECT_EQ(e->redefinitions.defs.length(), 2u);
    EXPECT_EQ(e->specifiedNames, std::vector<std::string>{"g"});
    ASSERT_EQ(e->items->size(), 4u);
    EXPECT_EQ(std::get<DefinitionProgramItem>((*e->items)[1]).names, std::vector<std::string>{"f"});
    EXPECT_EQ(std::get<TransformProgramItem>((*e->items)[2]).name, "t");
    EXPECT_TRUE(typeOf(e->env, "g"));
    ASSERT_TRUE(e->theoryOf("t"));
    EXPECT_EQ(labelsOf(*e->theoryOf("t")), (std::vector<std::string>{"t specification of g", "definition of f", "r"}));
    EXPECT_FALSE(e->theoryOf("nope"));
    // The specified g is a name of the program in the USING theory: a constant of its rule.
    const std::optional<RuleList> theory = e->theoryOf("t");
    const Rule& r = theory->back();
    ASSERT_TRUE(r.equation.first.isAp());
    ASSERT_TRUE(r.equation.first.fun().isCon());
    EXPECT_EQ(r.equation.first.fun().constant().kind(), ConstantKind::Constr);
    EXPECT_TRUE(r.equation.first.arg().arg().isVar());  // x is the rule's own variable
}

TEST(AssembleProgram, BlocksWithPrerequisitesEnterNoTable) {
    const Assembly a = assemble("f = 1;\nTRANSFORM u : t REDEFINE f = 2 SPECIFYING v = f USING END;\n");
    EXPECT_TRUE(messagesOf(a).empty());
    EXPECT_FALSE(a.info.transformOfName("u"));
    EXPECT_FALSE(a.info.theoryOfTransform("u"));
    EXPECT_TRUE(a.info.elementList().empty());
    EXPECT_FALSE(typeOf(a.info.programEnv(), "v"));  // not grouped, so not checked
}

TEST(AssembleProgram, DuplicateTransformationNamesFailOnlyWhenRead) {
    const Assembly a = assemble("f = 1;\n"
                                "TRANSFORM t REDEFINE f = 2 SPECIFYING g = f USING END;\n"
                                "TRANSFORM t REDEFINE f = 3 SPECIFYING h = f USING END;\n"
                                "TRANSFORM u REDEFINE f = 4 SPECIFYING k = f USING END;\n");
    EXPECT_TRUE(messagesOf(a).empty());
    EXPECT_EQ(failureMessage([&] { a.info.transformOfName("t"); }), "Two transformations with the same name");
    EXPECT_EQ(failureMessage([&] { a.info.theoryOfTransform("t"); }), "two TRANSFORM clauses with the same name");
    EXPECT_TRUE(a.info.transformOfName("u"));
    EXPECT_TRUE(a.info.theoryOfTransform("u"));
}

TEST(AssembleProgram, MutualRecursionWithATransformationFailsWhenItsGroupIsRead) {
    const Assembly a = assemble("a = True + 1;\nf = (g, a);\nTRANSFORM t REDEFINE f = 1 SPECIFYING g = f USING END;\n");
    EXPECT_EQ(a.info.elementList(), std::vector<std::string>{"t"});
    // The reports of the groups before come first, then the error.
    std::vector<std::string> before;
    const std::string error = failureMessage([&] {
        for (const std::string& m : a.messages) before.push_back(m);
    });
    EXPECT_EQ(error, "Can't have mutually recursive elements involving a transformation block");
    ASSERT_EQ(before.size(), 1u);
    EXPECT_NE(before[0].find(">TYPE ERROR near line 2"), std::string::npos);
    EXPECT_EQ(failureMessage([&] { a.info.programEnv(); }),
              "Can't have mutually recursive elements involving a transformation block");
    EXPECT_EQ(failureMessage([&] { a.info.theoryOfTransform("t"); }),
              "Can't have mutually recursive elements involving a transformation block");
    EXPECT_EQ(failureMessage([&] { a.info.program(); }),
              "Can't have mutually recursive elements involving a transformation block");
}

TEST(AssembleProgram, UndefinedDefinitionHeaderIsReported) {
    const Assembly a = assemble("f = 1;\nTRANSFORM t REDEFINE f = 2 SPECIFYING g = f USING DEFINITION nope END;\n");
    EXPECT_EQ(messagesOf(a), std::vector<std::string>{">UNDEFINED near line 3 : nope\n"});
}

TEST(AssembleProgram, BuiltinRulesClashOnlyWhenRead) {
    const DefnRules program = makedefnrewrite("definition of ", {"(++)", "z"}, parseEquation("(a, z) = (1, 2)"));
    const DefnRules merged = withBuiltinRules(program);
    const std::optional<CeqList> clash = lookupFM(NameOrd{}, merged, "(++)");
    ASSERT_TRUE(clash);
    EXPECT_EQ(failureMessage([&] { clash->get(); }),
              "INTERNAL ERROR: attempt to redefine internal operator succeeded (it shouldn't!)");
    EXPECT_EQ(lookupFM(NameOrd{}, merged, "(.)")->get().size(), 1u);
    EXPECT_EQ(lookupFM(NameOrd{}, merged, "z")->get().size(), 1u);
    EXPECT_EQ(lookupFM(NameOrd{}, withBuiltinRules({}), "(++)")->get().size(), 2u);
}

TEST(AssembleProgram, DefinitionRulesOfANameKeepTheLaterFirst) {
    const DefnRules rules = programDefinitionRules(*definitionSyntax(readProgram("f 0 = 1;\ng = 2;\nf n = n;\n").value.get().elems));
    const std::vector<Ceq> f = lookupFM(NameOrd{}, rules, "f")->get();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(test::showExpr(f[0].eqn.rhs), "n");
    EXPECT_EQ(f[0].label, "definition of f");
}

TEST(AssembleProgram, ApplyingATransformationGivesAProgramThatAssembles) {
    const Assembly a = assemble(specProgram);
    const std::optional<TrafoEntry> e = a.info.transformOfName("t");
    ASSERT_TRUE(e);
    std::vector<std::string> rewritten;
    const SourceFile merged = applyRedefine(*e, [&](const RuleList&, const std::string& name, const Type& type) {
        rewritten.push_back(name);
        return std::vector<Decl>{mkFun(mkVar(name, type), mkVar("ident", type))};
    });
    EXPECT_EQ(rewritten, std::vector<std::string>{"g"});
    const Assembly b = assembleProgram(merged);
    EXPECT_TRUE(messagesOf(b).empty());
    EXPECT_FALSE(b.info.transformOfName("t"));
    EXPECT_TRUE(typeOf(b.info.programEnv(), "h"));
}

TEST(AssembleProgram, ApplyingABlockReleasesTheBlocksThatWaitForIt) {
    const Assembly a = assembleProgram(readProgram(test::readFile("examples/accumulation.p")).value.get());
    EXPECT_EQ(a.info.elementList(), std::vector<std::string>{"accumulate"});
    const SourceFile merged = applyRedefine(*a.info.transformOfName("accumulate"),
                                            [](const RuleList& rules, const std::string& name, const Type& type) {
                                                EXPECT_EQ(labelsOf(rules).front(), "accumulate specification of revcat");
                                                return std::vector<Decl>{mkFun(mkVar(name, type), errorExpr())};
                                            });
    const Assembly b = assembleProgram(merged);
    EXPECT_EQ(concatProgramErrors(b.messages), "");
    EXPECT_EQ(b.info.elementList(), std::vector<std::string>{"tuple"});
    ASSERT_TRUE(b.info.transformOfName("tuple"));
    EXPECT_EQ(b.info.transformOfName("tuple")->redefinedNames, (std::vector<std::string>{"average", "divide"}));
}

TEST(AssembleProgram, LongChainOfDefinitions) {
    // d0 calls d1 calls ... d19999: one group each, the last name's group first.
    const int n = test::inputSize(20000);
    std::string text;
    for (int i = 0; i < n; ++i)
        text += "d" + std::to_string(i) + " x = " + (i + 1 < n ? "d" + std::to_string(i + 1) + " x" : "x") + ";\n";
    runOnLargeStack([&] {
        const Assembly a = assemble(text);
        EXPECT_EQ(concatProgramErrors(a.messages), "");
        const TypeEnv& env = a.info.programEnv();
        ASSERT_EQ(env.size(), static_cast<std::size_t>(n));
        EXPECT_EQ(env.front().first, "d" + std::to_string(n - 1));
        EXPECT_EQ(env.back().first, "d0");
        EXPECT_EQ(a.info.program().blocks.length(), static_cast<std::size_t>(n));
    });
}

TEST(AssembleProgram, EveryExampleLoadsWithoutTypeErrors) {
    const std::filesystem::path dir = std::filesystem::path(PLIM_SOURCE_DIR) / "examples";
    int programs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".p") continue;
        ++programs;
        const std::string file = entry.path().filename().string();
        const Reading<SourceFile> r = readProgram(test::readFile("examples/" + file));
        EXPECT_EQ(r.messages, "") << file;
        const Assembly a = assembleProgram(r.value.get());
        for (const std::string& m : messagesOf(a)) ADD_FAILURE() << file << ": " << m;
        for (const std::string& t : a.info.elementList()) {
            EXPECT_TRUE(a.info.theoryOfTransform(t)) << t;
            EXPECT_TRUE(a.info.transformOfName(t)) << t;
        }
    }
    EXPECT_GT(programs, 0);
}

}  // namespace
}  // namespace plim
