// The type test that rules out the one-step images of a flexible head applied to a tuple.
#include "engine/matching/tuple_typing.h"

#include <gtest/gtest.h>

namespace plim {
namespace {

Type var(const std::string& n) { return mkTid(n); }

TEST(TupleTyping, TypesMeetUnlessTheyClashOrAVariableWouldHoldItself) {
    EXPECT_TRUE(typesMayUnify(mkArrow(var("a"), intType()), mkArrow(boolType(), var("b"))));
    EXPECT_FALSE(typesMayUnify(mkListType(intType()), mkListType(boolType())));
    EXPECT_FALSE(typesMayUnify(var("a"), mkListType(var("a"))));
    // a is bound to b first; then b against [a] is b against [b]
    EXPECT_FALSE(typesMayUnify(mkTupleType({var("a"), var("b")}), mkTupleType({var("b"), mkListType(var("a"))})));
    EXPECT_TRUE(typesMayUnify(mkTupleType({var("a"), var("a")}), mkTupleType({var("b"), intType()})));
    // a scheme is not looked into
    EXPECT_TRUE(typesMayUnify(mkTAbs({"c"}, var("c")), intType()));
}

TEST(TupleTyping, TheHeadMustTakeTheTupleOfTheElementTypes) {
    EXPECT_TRUE(imageTypeMayFit(var("f"), {var("a"), intType()}));
    EXPECT_TRUE(imageTypeMayFit(mkArrow(mkTupleType({var("a"), intType()}), boolType()), {boolType(), var("b")}));
    EXPECT_FALSE(imageTypeMayFit(mkArrow(mkTupleType({var("a"), intType()}), boolType()), {var("b"), boolType()}));
    // f (g, f): the head's own type among the elements'
    EXPECT_FALSE(imageTypeMayFit(var("f"), {var("g"), var("f")}));
    EXPECT_FALSE(imageTypeMayFit(intType(), {var("a"), var("b")}));
}

}  // namespace
}  // namespace plim
