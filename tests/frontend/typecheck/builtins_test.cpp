#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/typecheck/builtins.h"
#include "frontend/reader/reader.h"
#include "frontend/reader/reader_test_util.h"
#include "support/errors.h"

namespace plim {
namespace {

Decl firstDefinitionOf(const std::string& programText) {
    const SourceFile file = readProgram(programText).value.get();
    return file.elems.item().elem.decl();
}

TEST(ParseEquation, AgreesWithADefinitionReadFromAProgramFile) {
    for (const char* text : {"[] ++ ys = ys", "(x:xs) ++ ys = x:(xs++ys)", "(f.g) x = f (g x)", "f :: Int -> Int"})
        EXPECT_EQ(test::showDecl(parseEquation(text)), test::showDecl(firstDefinitionOf(std::string(text) + ";"))) << text;
}

TEST(ParseEquation, RepairsSilently) {
    const Decl d = parseEquation("f x = ");
    EXPECT_TRUE(d.isFun());
}

TEST(BuiltinDefinitions, TheThreeEquationsInOrder) {
    const std::vector<BuiltinDefinition>& b = builtinDefinitions();
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].names, std::vector<std::string>{"(++)"});
    EXPECT_EQ(b[1].names, std::vector<std::string>{"(++)"});
    EXPECT_EQ(b[2].names, std::vector<std::string>{"(.)"});
    EXPECT_EQ(test::showDecl(b[0].decl), test::showDecl(parseEquation("[] ++ ys = ys")));
    EXPECT_EQ(test::showDecl(b[1].decl), test::showDecl(parseEquation("(x:xs) ++ ys = x:(xs++ys)")));
    EXPECT_EQ(test::showDecl(b[2].decl), test::showDecl(parseEquation("(f.g) x = f (g x)")));
    EXPECT_EQ(&b, &builtinDefinitions());  // read once
}

Elem def(const std::string& text) { return mkDefElem(parseEquation(text)); }
Elem trafo(const std::string& name) {
    return mkTrafoElem(mkRewrite(name, {}, mkDList(mkNoDef()), mkDList(mkNoDef()), mkTheory(mkNoTheo())));
}

TEST(GroupsToBlock, GroupsBecomeBlocksInOrder) {
    EXPECT_TRUE(groupsToBlock({}).isEnd());
    const Block b = groupsToBlock({{{def("f x = g x"), 3}, {def("g x = f x"), 0}}, {}, {{trafo("t"), 7}}});
    const std::vector<BlockItem> items = b.toVector();
    ASSERT_EQ(items.size(), 3u);
    ASSERT_EQ(items[0].kind(), BlockKind::DefsBlock);
    EXPECT_EQ(test::showDefs(items[0].defs().defs), "(f x) = (g x) @3; (g x) = (f x) @0");
    ASSERT_EQ(items[1].kind(), BlockKind::DefsBlock);
    EXPECT_TRUE(items[1].defs().defs.isEnd());
    ASSERT_EQ(items[2].kind(), BlockKind::TrafoBlock);
    EXPECT_EQ(items[2].rewrite().name, "t");
}

TEST(GroupsToBlock, ATransformationBlockInsideAGroupIsAnError) {
    for (const ElemGroup& g : {ElemGroup{{def("f = t"), 1}, {trafo("t"), 2}}, ElemGroup{{trafo("t"), 2}, {def("f = t"), 1}}}) {
        try {
            groupsToBlock({g});
            FAIL() << "no error";
        } catch (const UserError& e) {
            EXPECT_EQ(e.message(), "Can't have mutually recursive elements involving a transformation block");
        }
    }
}

}  // namespace
}  // namespace plim
