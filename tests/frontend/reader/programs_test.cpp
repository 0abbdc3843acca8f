// The program-file grammar and readProgram: elements, lines, transformation blocks, repairs.
#include <gtest/gtest.h>

#include "frontend/reader/reader.h"
#include "frontend/reader/programs.h"
#include "frontend/reader/reader_test_util.h"
#include "lang/expressions.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using test::showDecl;
using test::showDefs;
using test::showTheo;

std::string showElems(const Elems& elems) {
    std::string out;
    for (const ElemItem& item : elems) {
        if (!out.empty()) out += " | ";
        if (item.elem.kind() == ElemKind::DefElem) {
            out += showDecl(item.elem.decl());
        } else {
            const Rewrite& r = item.elem.rewrite();
            out += "TRANSFORM " + r.name + " :";
            for (const auto& n : r.names) out += " " + n;
            out += " REDEFINE " + showDefs(r.redefs.defs) + " SPECIFYING " + showDefs(r.specs.defs) + " USING " +
                   showTheo(r.theory.elems) + " END";
        }
        out += " @" + std::to_string(item.line);
    }
    return out;
}

test::Run<Elems> program(const std::string& text) {
    Reading<SourceFile> r = readProgram(text);
    return {r.value.get().elems, r.messages};
}

TEST(ReadPrograms, ElementsAndTheirLines) {
    auto r = program("f x = x;\n\ng :: Int\n;\ndata B = T | F;");
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(showElems(r.value),
              "(f x) = x @2 | g :: TCon \"Int\" [] @5 | data TCon \"B\" [] = T | F @6");
}

TEST(ReadPrograms, TransformationBlocks) {
    auto r = program(
        "TRANSFORM fuse : a, b\n"
        "REDEFINE f x = g x;\n  h = 1\n"
        "SPECIFYING g = \\y -> y\n"
        "USING law: g x = x where y = 1; DEFINITION h\n"
        "END;\n"
        "TRANSFORM bare REDEFINE f = 1 SPECIFYING g = 2 USING c: x = y END;");
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(showElems(r.value),
              "TRANSFORM fuse : a b REDEFINE (f x) = (g x) @0; h = 1 @0 SPECIFYING g = (\\y -> y) @0 "
              "USING law @5: (g x) = ((\\y -> x) 1) | DEFINITION h END @7 | "
              "TRANSFORM bare : REDEFINE f = 1 @0 SPECIFYING g = 2 @0 USING c @7: x = y END @8");
}

TEST(ReadPrograms, RepairLogs) {
    auto empty = program("");
    EXPECT_EQ(empty.log, "");
    EXPECT_TRUE(empty.value.isEnd());
    EXPECT_EQ(program("-- nothing but a comment\n").log, "");

    auto last = program("f = 1;\ng = 2");
    EXPECT_EQ(last.log, "Symbol   ; inserted before endoffile\n");
    EXPECT_EQ(showElems(last.value), "f = 1 @2 | g = 2 @1");

    auto stray = program("; f = 1;");
    EXPECT_EQ(stray.log, "Symbol   ; at line 1 deleted\n");
    EXPECT_EQ(showElems(stray.value), "f = 1 @2");
}

TEST(ReadPrograms, ASideThatCannotBeMadeLetFreeFailsWhereItIsUsed) {
    // A local type signature cannot be made let-free: the program still reads, the side keeps
    // its local definitions, and unlet fails only when the side is prepared as a rule.
    Reading<SourceFile> r = readProgram("TRANSFORM t REDEFINE f = 1 SPECIFYING g = 1 USING a: x = f where f :: Int END");
    EXPECT_EQ(r.messages, "Symbol   ; inserted before endoffile\n");
    const SourceFile& file = r.value.get();
    const Rewrite& block = file.elems.begin()->elem.rewrite();
    const Expr& rhs = block.theory.elems.begin()->ceq().eqn.rhs;
    EXPECT_EQ(rhs.kind(), ExprKind::Let);
    EXPECT_THROW(unlet(rhs), UserError);
}

TEST(ReadPrograms, ExampleProgramReadsWithoutRepair) {
    auto r = program(test::readFile("examples/grammar_lists.p"));
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(r.value.length(), 15u);
}

TEST(ReadPrograms, TwentyThousandDefinitions) {
    const int n = test::inputSize(20000);
    std::string text;
    for (int i = 0; i < n; ++i)
        text += "f" + std::to_string(i) + " x = if x < 1 then [x, " + std::to_string(i) + "] else g (x - 1) where { y = x };\n";
    runOnLargeStack([&] {
        auto r = program(text);
        EXPECT_EQ(r.log, "");
        EXPECT_EQ(r.value.length(), std::size_t(n));
        EXPECT_EQ(r.value.toVector().back().line, n + 1);
    });
}

}  // namespace
}  // namespace plim
