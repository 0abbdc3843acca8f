// The type test that rules out the one-step images of a flexible head applied to a tuple.
#include "engine/matching/tuple_typing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/matching/fast/terms.h"

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
    // a type-variable head: looked for through the element types, but not into a scheme
    EXPECT_FALSE(imageTypeMayFit(var("f"), {intType(), mkListType(mkArrow(var("f"), intType()))}));
    EXPECT_TRUE(imageTypeMayFit(var("f"), {intType(), mkTAbs({"c"}, var("f"))}));
    EXPECT_TRUE(imageTypeMayFit(mkTAbs({"c"}, var("c")), {var("a"), intType()}));
}

TEST(TupleTyping, BindersOfATupleSearchMeetTheHeadsArgumentTypeTogether) {
    // ((h, h), h): every binder of one image must have one type.
    const Type nested = mkTupleType({mkTupleType({var("h"), var("h")}), var("h")});
    EXPECT_TRUE(tupleTypeConstrains(nested));
    EXPECT_TRUE(tupleTypeConstrains(mkTupleType({var("a"), intType()})));
    EXPECT_FALSE(tupleTypeConstrains(mkTupleType({mkTupleType({var("a"), var("b")}), var("c")})));
    EXPECT_EQ(tupleTypeComponent(nested, 0, 2), mkTupleType({var("h"), var("h")}));
    EXPECT_FALSE(tupleTypeComponent(nested, 0, 3));
    EXPECT_FALSE(tupleTypeComponent(var("h"), 0, 2));
    const Type h = var("h");
    EXPECT_TRUE(typePairsMayUnify({{h, intType()}, {h, intType()}}));
    EXPECT_FALSE(typePairsMayUnify({{h, intType()}, {h, mkArrow(intType(), intType())}}));
    EXPECT_TRUE(typePairsMayUnify({{h, var("b")}, {h, intType()}}));
    EXPECT_FALSE(typePairsMayUnify({{h, mkListType(var("b"))}, {var("b"), h}}));
}

// f (x1, ..., xn, f), f typed by a variable, with x1 once more at another type before the last
// element when asked.
fast::Term ownTupleHead(std::size_t n, bool x1Again) {
    std::vector<fast::Term> elements;
    for (std::size_t i = 1; i <= n; ++i)
        elements.push_back(fast::PVar("x" + std::to_string(i), var("t" + std::to_string(i))));
    if (x1Again) elements.push_back(fast::PVar("x1", intType()));
    const fast::Term f = fast::PVar("f", var("l"));
    elements.push_back(f);
    std::vector<Type> types;
    for (const fast::Term& e : elements) types.push_back(e.type());
    return fast::Ap(f, fast::Tupl(elements, mkTupleType(types)), var("d"));
}

TEST(TupleTyping, ImagesAreRuledOutOnlyWhileEveryVariableKeepsItsFirstType) {
    const fast::Term t = fast::Con(mkNumber(0), intType());
    auto noEarlier = [](auto) {};
    for (std::size_t n : {2, 12}) {  // a few elements, and more than are searched in order
        EXPECT_TRUE(tupleImagesRuledOut(ownTupleHead(n, false), t, noEarlier)) << n;
        EXPECT_FALSE(tupleImagesRuledOut(ownTupleHead(n, true), t, noEarlier)) << n;
    }
}

}  // namespace
}  // namespace plim
