#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/printer/programs.h"
#include "frontend/printer/printer_test_util.h"
#include "support/big_stack.h"
#include "layout/combinators.h"

namespace plim {
namespace {

using namespace pptest;

const Expr f = var("f"), g = var("g"), x = var("x");

Elems elems(const std::vector<Elem>& es) {
    Elems out = mkNoElem();
    for (auto it = es.rbegin(); it != es.rend(); ++it) out = mkOneElem(*it, out, 0);
    return out;
}

Theory definitions(const std::vector<std::string>& names) {
    Theo theo = mkNoTheo();
    for (auto it = names.rbegin(); it != names.rend(); ++it) theo = mkDefnTheo(*it, theo);
    return mkTheory(theo);
}

// The listing, which the interpreter writes part by part, checked against the whole document.
std::string listing(const Elems& es, LayoutInt width = 80) {
    const std::string whole = renderDoc(showProgram(es), width);
    std::string parts;
    renderProgramTo(parts, es, width);
    EXPECT_EQ(parts, whole) << "at width " << width;
    return whole;
}

TEST(PrintProgram, DefinitionsEndInSemicolons) {
    EXPECT_EQ(listing(mkNoElem()), "");
    const Elem one = mkDefElem(fun(ap(f, x), x));
    const Elem two = mkDefElem(fun(g, num(2)));
    EXPECT_EQ(listing(elems({one, two})), "f x = x;\ng = 2;");
    const Elem sig = mkDefElem(mkDec(f, arrow(tcon("Int"), tcon("Int"))));
    const Elem data = mkDefElem(mkData(tcon("T"), mkOneAlt(mkAlt("A", {}), mkOneAlt(mkAlt("B", {}), mkNoAlt()))));
    EXPECT_EQ(listing(elems({data, sig})), "data T = A | B;\nf :: Int -> Int;");
}

TEST(PrintProgram, TransformBlockOfFiveLines) {
    const Rewrite rw = mkRewrite("fuse", {}, dlist({fun(ap(f, x), ap(g, x))}), dlist({fun(ap(g, x), x)}),
                                 definitions({"map"}));
    const Elems es = elems({mkDefElem(fun(ap(f, x), x)), mkTrafoElem(rw), mkDefElem(fun(g, num(2)))});
    EXPECT_EQ(listing(es),
              "f x = x;\n"
              "TRANSFORM fuse\n"
              "REDEFINE f x = g x\n"
              "SPECIFYING g x = x\n"
              "USING DEFINITION map\n"
              "END;\n"
              "g = 2;");
}

TEST(PrintProgram, EmptyRedefineListedNamesAndTwoEntryTheory) {
    const Ceq rule = mkCeq("assoc", mkNoEq(), mkEqn(binop(Op::Cat, binop(Op::Cat, x, g), f),
                                                  binop(Op::Cat, x, binop(Op::Cat, g, f))), 1);
    const Rewrite rw = mkRewrite("acc", {"a", "b", "c"}, dlist({}), dlist({fun(ap(g, x), x), fun(f, num(1))}),
                                 mkTheory(mkDefnTheo("rev", mkCeqTheo(rule, mkNoTheo()))));
    EXPECT_EQ(renderDoc(ppRewrite(rw), 80),
              "TRANSFORM acc:a,b,c\n"
              "REDEFINE \n"
              "SPECIFYING g x = x;f = 1\n"
              "USING DEFINITION rev;\n"
              "\n"
              "      assoc: (x ++ g) ++ f = x ++ (g ++ f)\n"
              "END;");
}

TEST(PrintProgram, NameLists) {
    EXPECT_EQ(renderDoc(ppNameList("a", {}), 80), "a");
    EXPECT_EQ(renderDoc(ppNameList("a", {"bb", "c"}), 80), "a,bb,c");
    EXPECT_EQ(renderDoc(ppSourceElement("t", {"p"}, dlist({}), dlist({}), definitions({"f"})), 80),
              "TRANSFORM t:p\nREDEFINE \nSPECIFYING \nUSING DEFINITION f\nEND;");
}

TEST(PrintProgram, DefinitionListPunctuation) {
    const std::vector<Doc> docs = ppDefinitionList(dlist({fun(f, num(1)), fun(g, num(2)), fun(x, num(3))}));
    ASSERT_EQ(docs.size(), 3u);
    EXPECT_EQ(renderDoc(docs[0], 80), "f = 1;");
    EXPECT_EQ(renderDoc(docs[2], 80), "x = 3");
    EXPECT_TRUE(ppDefinitionList(dlist({})).empty());
}

// The listing follows the width it is rendered at: a definition that does not fit breaks.
TEST(PrintProgram, ListingFollowsTheGivenWidth) {
    std::vector<Expr> args;
    for (int i = 0; i < 6; ++i) args.push_back(var("argument" + std::to_string(i)));
    const Elems es = elems({mkDefElem(fun(call(f, args), call(g, args)))});
    const std::string wide = listing(es, 200);
    EXPECT_EQ(wide.find('\n'), std::string::npos);
    const std::string narrow = listing(es, 80);
    EXPECT_EQ(narrow.substr(0, narrow.find('\n')), "f argument0 argument1 argument2 argument3 argument4 argument5");
    EXPECT_EQ(narrow.substr(narrow.find('\n')), "\n    = g argument0 argument1 argument2 argument3 argument4 argument5;");
}

TEST(PrintProgram, LongProgramsDoNotRecurse) {
    runOnLargeStack([] {
        std::vector<Elem> es;
        for (int i = 0; i < 20000; ++i) es.push_back(mkDefElem(fun(var("f" + std::to_string(i)), num(i))));
        const std::string text = listing(elems(es));
        EXPECT_EQ(text.substr(0, 15), "f0 = 0;\nf1 = 1;");
        EXPECT_EQ(text.substr(text.size() - 15), "f19999 = 19999;");
    });
}

}  // namespace
}  // namespace plim
