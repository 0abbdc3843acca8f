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

// A substitution threaded through many unify calls stays triangular: each call adds its
// bindings, and a binding is resolved when it is read.
TEST(TypeSubstitutionComposition, ThreadedUnifiersReadResolvedAndComposeLikeResolvedOnes) {
    const int n = 600;
    TypeSubst s;
    for (int i = 0; i < n; ++i) {
        const UnifyResult r = unify({{v("x" + std::to_string(i)), mkListType(v("x" + std::to_string(i + 1)))}}, s);
        ASSERT_TRUE(r.isOk());
        s = r.unifier();
    }
    const TypeSubst chain = s;
    EXPECT_EQ(s.size(), static_cast<std::size_t>(n));
    Type at = s("x0");
    int depth = 0;
    for (; at.isTCon(); at = at.args().front()) ++depth;
    EXPECT_EQ(depth, n);
    EXPECT_TRUE(eqType(at, v("x" + std::to_string(n))));
    EXPECT_TRUE(eqType(s("x" + std::to_string(n - 2)), mkListType(mkListType(v("x" + std::to_string(n))))));
    // A later call binds the end of the chain: every earlier binding reads it.
    s = unify({{v("x" + std::to_string(n)), intType()}}, s).unifier();
    EXPECT_TRUE(eqType(s("x" + std::to_string(n - 1)), mkListType(intType())));
    EXPECT_TRUE(eqType(chain("x" + std::to_string(n - 1)), mkListType(v("x" + std::to_string(n)))));
    // Bindings that hold a variable the substitution binds, a binding of a name it binds
    // already, and one that holds its own name: composed as by substType, read as given.
    const TypeSubst f = TypeSubst::fromMap({{"y", mkArrow(v("x1"), v("y"))}, {"x2", boolType()}});
    const TypeSubst fs = substTypeOf(f, chain);
    EXPECT_TRUE(eqType(fs("y"), mkArrow(v("x1"), v("y"))));
    EXPECT_TRUE(eqType(fs("x1"), chain("x1")));
    EXPECT_TRUE(eqType(fs("x2"), chain("x2")));
    EXPECT_TRUE(eqType(fs("x2"), mkListType(chain("x3"))));
    EXPECT_EQ(fs.size(), static_cast<std::size_t>(n + 1));
    const TypeSubst self = substTypeOf(bindVar("q", mkListType(v("q"))), chain);
    EXPECT_TRUE(eqType(self("q"), mkListType(v("q"))));
    const std::vector<std::pair<std::string, Type>> listed = self.bindings();
    ASSERT_EQ(listed.size(), static_cast<std::size_t>(n + 1));
    EXPECT_EQ(listed.front().first, "q");
    EXPECT_EQ(listed.back().first, "x99");
    EXPECT_TRUE(eqType(listed.back().second, chain("x99")));
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
