// The type grammar, constructor declarations and definitions.
#include <gtest/gtest.h>

#include "frontend/reader/reader.h"
#include "frontend/reader/declarations.h"
#include "frontend/reader/types.h"
#include "frontend/reader/reader_test_util.h"

namespace plim {
namespace {

using test::runGrammar;
using test::showDecl;

std::string type(const std::string& text) {
    auto r = runGrammar(pType(), text);
    EXPECT_EQ(r.log, "") << text;
    return typeText(r.value);
}

TEST(ReadTypes, GeneralisedTypeTexts) {
    EXPECT_EQ(type("Int -> [a] -> (a, Bool)"),
              "TAbs [\"a\"] (TCon \"Arrow\" [TCon \"Int\" [],TCon \"Arrow\" [TCon \"List\" [Tid \"a\"],"
              "TCon \"Tuple2\" [Tid \"a\",TCon \"Bool\" []]]])");
    EXPECT_EQ(type("b -> a"), "TAbs [\"a\",\"b\"] (TCon \"Arrow\" [Tid \"a\",Tid \"b\"])");
    EXPECT_EQ(type("Int"), "TCon \"Int\" []");
    EXPECT_EQ(type("(a -> b) -> [a] -> [b]"),
              "TAbs [\"a\",\"b\"] (TCon \"Arrow\" [TCon \"Arrow\" [Tid \"a\",Tid \"b\"],"
              "TCon \"Arrow\" [TCon \"List\" [Tid \"a\"],TCon \"List\" [Tid \"b\"]]])");
    EXPECT_EQ(type("(Int)"), "TCon \"Int\" []");
    EXPECT_EQ(type("(Int, Bool, a)"), "TAbs [\"a\"] (TCon \"Tuple3\" [TCon \"Int\" [],TCon \"Bool\" [],Tid \"a\"])");
}

TEST(ReadTypes, TypeApplicationsTakeApplicationsAsArguments) {
    EXPECT_EQ(type("Pair Int Bool"), "TCon \"Pair\" [TCon \"Int\" [TCon \"Bool\" []]]");
    EXPECT_EQ(type("Pair a Bool"), "TAbs [\"a\"] (TCon \"Pair\" [Tid \"a\",TCon \"Bool\" []])");
    EXPECT_EQ(type("Pair (Int) Bool"), "TCon \"Pair\" [TCon \"Int\" [],TCon \"Bool\" []]");
}

TEST(ReadTypes, MissingTypesAreRepaired) {
    auto none = runGrammar(pType(), "");
    EXPECT_EQ(none.log, "\"type expresssion\" inserted before endoffile\n");
    EXPECT_TRUE(eqType(none.value, placeholderType()));

    auto atom = runGrammar(pType(), "Int ->");
    EXPECT_EQ(atom.log, "Upper case identifier ?UC? inserted before endoffile\n");
    EXPECT_EQ(typeText(atom.value), "TCon \"Arrow\" [TCon \"Int\" [],TCon \"?UC?\" []]");
}

TEST(ReadTypes, ConstructorDeclarationsTakeAtoms) {
    auto r = runGrammar(pConstructorDecl(), "Cons a (List a) Int");
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(r.value.name, "Cons");
    EXPECT_EQ(typeText(mkTupleType(r.value.args)),
              "TCon \"Tuple3\" [Tid \"a\",TCon \"List\" [Tid \"a\"],TCon \"Int\" []]");
}

std::string definition(const std::string& text) {
    auto r = runGrammar(pDefinition(), text);
    EXPECT_EQ(r.log, "") << text;
    return showDecl(r.value);
}

TEST(ReadDeclarations, DefinitionForms) {
    EXPECT_EQ(definition("f x = x + 1"), "(f x) = (x + 1)");
    EXPECT_EQ(definition("f :: Int -> Int"), "f :: TCon \"Arrow\" [TCon \"Int\" [],TCon \"Int\" []]");
    EXPECT_EQ(definition("data Seq a = Nil | Cons a (Seq a)"),
              "data TCon \"Seq\" [Tid \"a\"] = Nil | Cons (Tid \"a\") (TCon \"Seq\" [Tid \"a\"])");
    EXPECT_EQ(definition("f = g where { g = 1; h = 2 }"), "f = (let {g = 1 @2; h = 2 @2} in g)");
}

TEST(ReadDeclarations, RepairedDefinitions) {
    auto signature = runGrammar(pDefinition(), "f x");
    EXPECT_EQ(signature.log, "Operator :: inserted\"type expresssion\" inserted before endoffile\n");
    EXPECT_EQ(showDecl(signature.value), "(f x) :: TAbs [\"a\"] (Tid \"a\")");

    auto none = runGrammar(pDefinition(), "");
    EXPECT_EQ(none.log, "\"definition\" inserted before endoffile\n");
    EXPECT_EQ(showDecl(none.value), "Error = Error");

    auto noConstructors = runGrammar(pDefinition(), "data T =");
    EXPECT_EQ(noConstructors.log, "\"constructor declaration(s)\" inserted before endoffile\n");
    EXPECT_EQ(showDecl(noConstructors.value), "data TCon \"T\" [] =");
}

TEST(ReadDeclarations, DefinitionLists) {
    auto block = runGrammar(pLocalDefinitions(), "\n\n\n{ f = 1\n; g = 2 }");
    EXPECT_EQ(block.log, "");
    EXPECT_EQ(test::showDefs(block.value.defs), "f = 1 @5; g = 2 @6");
    EXPECT_EQ(test::showDefs(runGrammar(pLocalDefinitions(), "f = 1").value.defs), "f = 1 @0");

    auto clause = runGrammar(pDefinitionList(), "f = 1;\ng = 2");
    EXPECT_EQ(clause.log, "");
    EXPECT_EQ(test::showDefs(clause.value.defs), "f = 1 @0; g = 2 @0");

    auto missing = runGrammar(pDefinitionList(), "");
    EXPECT_EQ(missing.log, "\"list of definitions\" inserted before endoffile\n");
    EXPECT_TRUE(missing.value.defs.isEnd());
}

TEST(ReadDeclarations, DefinitionItemsBecomeDefs) {
    Decl d1 = mkFun(mkVar("a", placeholderType()), mkVar("b", placeholderType()));
    Decl d2 = mkFun(mkVar("c", placeholderType()), mkVar("d", placeholderType()));
    EXPECT_EQ(test::showDefs(toDefs({{d1, -1}, {d2, 4}})), "a = b @0; c = d @5");
    EXPECT_EQ(test::showDefs(toDefs(definitionItem(d1))), "a = b @0");
    EXPECT_TRUE(toDefs({}).isEnd());
}

}  // namespace
}  // namespace plim
