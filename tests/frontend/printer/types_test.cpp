#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/printer/printer_test_util.h"
#include "frontend/printer/types.h"
#include "layout/combinators.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using namespace pptest;

struct TypeCase {
    Type type;
    std::string text;
};

TEST(PrintTypes, PrintedForms) {
    const Type a = tid("a"), b = tid("b"), c = tid("c");
    const std::vector<TypeCase> cases = {
        {arrow(arrow(a, b), c), "(a -> b) -> c"},
        {arrow(a, arrow(b, c)), "a -> b -> c"},
        {listOf(arrow(a, b)), "[a -> b]"},
        {tcon("Maybe", {listOf(a)}), "Maybe [a]"},
        {tcon("Tuple2", {a, listOf(b)}), "(a,[b])"},
        {arrow(tcon("Tuple2", {a, listOf(b)}), c), "((a,[b])) -> c"},
        {tcon("Maybe", {tcon("Tuple2", {a, b})}), "Maybe ((a,b))"},
        {tcon("Arrow", {a, b, c}), "Arrow a b c"},
        {tcon("Maybe", {tcon("Arrow", {a, b, c})}), "Maybe (Arrow a b c)"},
        {tcon("List", {a, b}), "List a b"},
        {tcon("Maybe", {tcon("List", {a, b})}), "Maybe List a b"},
        {mkTAbs({"a"}, arrow(a, a)), "a -> a"},
        {tcon("Maybe", {tcon("Int")}), "Maybe Int"},
        {tcon("Either", {a, listOf(b)}), "Either a [b]"},
        {tcon("Int"), "Int"},
        {tcon("Tuple3", {a, b, c}), "(a,b,c)"},
        {tcon("Tuple"), "()"},
        {tcon("Tuple2"), "()"},
        {tcon("Maybe", {tcon("Tuple")}), "Maybe ()"},
        {tcon("Maybe", {mkTAbs({"a"}, a)}), "Maybe (a)"},
        {arrow(listOf(tcon("Tuple2", {a, b})), tcon("Int")), "[(a,b)] -> Int"},
    };
    for (const TypeCase& tc : cases) EXPECT_EQ(showType(tc.type), tc.text);
}

TEST(PrintTypes, LongArrowChainBreaksAtTheFixedWidth) {
    Type t = tcon("Int");
    for (int i = 0; i < 40; ++i) t = arrow(tcon("Float"), t);
    const std::string text = showType(t);
    EXPECT_NE(text.find('\n'), std::string::npos);
    EXPECT_EQ(text.substr(0, 18), "Float -> Float -> ");
}

// Types nested on the left, in lists and in constructor arguments: their forms, and the same
// nested a hundred thousand deep printed on the ordinary stack.
TEST(PrintTypes, DeepTypesCostNoStack) {
    const auto nested = [](int n) {
        std::vector<Type> out{tid("a"), tcon("Int"), tcon("Int")};
        for (int i = 0; i < n; ++i) {
            out[0] = arrow(out[0], tid("b"));
            out[1] = listOf(out[1]);
            out[2] = tcon("Maybe", {out[2], tid("a")});
        }
        return out;
    };
    const std::vector<Type> shallow = nested(3);
    EXPECT_EQ(showType(shallow[0]), "((a -> b) -> b) -> b");
    EXPECT_EQ(showType(shallow[1]), "[[[Int]]]");
    EXPECT_EQ(renderDoc(ppTypeArg(shallow[2]), 80), "(Maybe (Maybe (Maybe Int a) a) a)");
    runOnLargeStack(
        [&] {
            const std::vector<Type> deep = nested(test::inputSize(100000));
            EXPECT_FALSE(showType(deep[0]).empty());
            EXPECT_EQ(showType(deep[1]).substr(0, 3), "[[[");
            EXPECT_FALSE(renderDoc(ppTypeArg(deep[2]), 80).empty());
        },
        test::kOrdinaryStack);
}

TEST(PrintTypes, SeparatedGroupsFromTheRight) {
    EXPECT_EQ(renderDoc(ppSeparated(',', {ppString("a"), ppString("b"), ppString("c")}), 80), "a,b,c");
    EXPECT_EQ(renderDoc(ppSeparated(' ', {ppString("x")}), 80), "x");
    EXPECT_EQ(renderDoc(ppSeparated(',', {}), 80), "");
}

}  // namespace
}  // namespace plim
