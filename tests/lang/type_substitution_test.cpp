// Composition of substitutions kept as persistent maps: bindings that a new binding changes,
// and substitutions that share what composition left alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lang/types.h"

namespace plim {
namespace {

Type v(const std::string& n) { return mkTid(n); }

TEST(TypeSubstitutionComposition, ANewBindingReachesEveryEarlierTypeThatHoldsItsVariable) {
    // One binding at a time, as a matcher extends its substitution.
    TypeSubst s;
    s = substTypeOf(bindVar("p", mkListType(v("x"))), s);
    s = substTypeOf(bindVar("q", mkArrow(v("x"), v("y"))), s);
    s = substTypeOf(bindVar("r", intType()), s);
    const TypeSubst before = s;
    s = substTypeOf(bindVar("x", boolType()), s);
    EXPECT_TRUE(eqType(s("p"), mkListType(boolType())));
    EXPECT_TRUE(eqType(s("q"), mkArrow(boolType(), v("y"))));
    EXPECT_TRUE(eqType(s("r"), intType()));
    EXPECT_TRUE(eqType(s("x"), boolType()));
    s = substTypeOf(bindVar("y", v("x")), s);
    // y's new type mentions x, which is already bound: the composition does not resolve it.
    EXPECT_TRUE(eqType(s("q"), mkArrow(boolType(), v("x"))));
    s = substTypeOf(bindVar("x", intType()), s);
    EXPECT_TRUE(eqType(s("q"), mkArrow(boolType(), intType())));
    EXPECT_TRUE(eqType(s("y"), intType()));
    EXPECT_TRUE(eqType(s("x"), boolType()));  // g's binding of x wins over f's
    // The earlier substitution is unchanged.
    EXPECT_TRUE(eqType(before("p"), mkListType(v("x"))));
    EXPECT_TRUE(eqType(before("x"), v("x")));
    EXPECT_EQ(before.size(), 3u);
    EXPECT_EQ(s.size(), 5u);
}

TEST(TypeSubstitutionComposition, ALargerSecondSubstitutionIsTheStartingPoint) {
    // f binds more names than g: the result starts from f and g's bindings are applied over it.
    const TypeSubst f = TypeSubst::fromMap({{"a", intType()}, {"b", boolType()}, {"c", v("a")}});
    const TypeSubst g = TypeSubst::fromMap({{"c", mkListType(v("a"))}});
    const TypeSubst fg = substTypeOf(f, g);
    EXPECT_TRUE(eqType(fg("c"), mkListType(intType())));
    EXPECT_TRUE(eqType(fg("a"), intType()));
    EXPECT_TRUE(eqType(fg("b"), boolType()));
    // Composing again onto the result still finds the names whose types hold a bound variable.
    const TypeSubst h = substTypeOf(TypeSubst::fromMap({{"d", v("e")}, {"e", intType()}}), substTypeOf(bindVar("z", v("d")), fg));
    EXPECT_TRUE(eqType(h("z"), v("e")));
    const std::vector<std::pair<std::string, Type>> names = h.bindings();
    ASSERT_EQ(names.size(), 6u);
    EXPECT_EQ(names.front().first, "a");
    EXPECT_EQ(names.back().first, "z");
}

// Matched, substituted and unified on the ordinary stack.
TEST(TypeSubstitutionComposition, DeepTypesAreMatchedAndUnifiedWithoutDeepRecursion) {
    const auto deep = [](const Type& first, const Type& leaf) {
        Type t = leaf;
        for (int i = 0; i < 200000; ++i) t = mkArrow(i == 199999 ? first : intType(), std::move(t));
        return t;
    };
    const Type pattern = deep(v("a"), v("b"));
    const Type instance = deep(boolType(), mkListType(v("c")));
    const std::optional<TypeSubst> m = matchTypeFresh(pattern, instance);
    ASSERT_TRUE(m.has_value());
    EXPECT_TRUE(eqType((*m)("a"), boolType()));
    EXPECT_TRUE(eqType(substType(*m, pattern), instance));
    const UnifyResult u = unifyPair(pattern, instance);
    ASSERT_TRUE(u.isOk());
    EXPECT_TRUE(eqType(substType(u.unifier(), pattern), instance));
    EXPECT_FALSE(matchTypeFresh(instance, pattern).has_value());
}

}  // namespace
}  // namespace plim
