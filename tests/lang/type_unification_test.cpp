// Unification over many bindings: the bindings stay triangular while solving, and the unifier
// maps every variable straight to its solved type.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lang/types.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

Type w(int i) { return mkTid("w" + std::to_string(i)); }

TEST(TypesUnifyScaling, ChainedEquationsSolveToNestedTypes) {
    const int n = 2000;
    std::vector<TypeEquation> eqs;
    for (int i = 0; i < n; ++i) eqs.emplace_back(w(i), mkListType(w(i + 1)));
    const UnifyResult u = unify(eqs, identitySubst());
    ASSERT_TRUE(u.isOk());
    EXPECT_EQ(u.unifier().bindings().size(), static_cast<std::size_t>(n));
    Type expected = w(n);
    for (int i = 0; i < 3; ++i) expected = mkListType(expected);
    EXPECT_TRUE(eqType(u.unifier()("w" + std::to_string(n - 3)), expected));
    // Every binding is applied to the later ones: w0 is n lists deep.
    Type at = u.unifier()("w0");
    int depth = 0;
    while (at.isTCon()) {
        at = at.args().front();
        ++depth;
    }
    EXPECT_EQ(depth, n);
}

TEST(TypesUnifyScaling, StartingSubstitutionIsExtendedAndFailuresSeeBindings) {
    // s maps c to [a]; solving a = Int extends it, and c's type gets the binding too.
    const UnifyResult r = unify({{mkTid("a"), intType()}}, TypeSubst::fromMap({{"c", mkListType(mkTid("a"))}}));
    ASSERT_TRUE(r.isOk());
    EXPECT_TRUE(eqType(r.unifier()("c"), mkListType(intType())));
    EXPECT_TRUE(eqType(r.unifier()("a"), intType()));
    // The failing pair is shown with the bindings found before it.
    const UnifyResult f = unify({{mkTid("a"), intType()}, {mkArrow(mkTid("a"), mkTid("b")), mkArrow(boolType(), mkTid("b"))}},
                                identitySubst());
    ASSERT_EQ(f.kind(), UnifyKind::ConstructorMismatch);
    EXPECT_TRUE(eqType(f.left(), intType()));
    EXPECT_TRUE(eqType(f.right(), boolType()));
    // An occurs failure names the variable and the type with the bindings applied.
    const UnifyResult o = unify({{mkTid("b"), mkListType(mkTid("a"))}, {mkTid("a"), mkArrow(mkTid("b"), intType())}},
                                identitySubst());
    ASSERT_EQ(o.kind(), UnifyKind::OccursFailure);
    EXPECT_EQ(o.var(), "a");
    EXPECT_TRUE(eqType(o.occursIn(), mkArrow(mkListType(mkTid("a")), intType())));
}

Type a() { return mkTid("a"); }
Type b() { return mkTid("b"); }
Type list(Type t) { return mkListType(std::move(t)); }

// The matchers' one-way matching: the term side read through the substitution, no binding of
// a variable to a type it occurs in, no scheme on either side of a binding.
TEST(TypesMatchInto, TermSideReadThroughTheSubstitution) {
    TypeSubst s = TypeSubst::fromMap({{"b", list(intType())}});
    ASSERT_TRUE(matchTypeInto(s, list(a()), b()));
    EXPECT_TRUE(eqType(s("a"), intType()));
    ASSERT_TRUE(matchTypeInto(s, mkArrow(a(), a()), mkArrow(intType(), intType())));
    EXPECT_FALSE(matchTypeInto(s, a(), boolType()));
    TypeSubst fresh;
    EXPECT_FALSE(matchTypeInto(fresh, a(), list(a())));
    EXPECT_TRUE(matchTypeInto(fresh, a(), a()));
    EXPECT_FALSE(matchTypeInto(fresh, a(), list(placeholderType())));
    EXPECT_FALSE(matchTypeInto(fresh, placeholderType(), placeholderType()));
    EXPECT_FALSE(matchTypeInto(fresh, mkTCon("P", {a()}), mkTCon("P", {intType(), intType()})));
    EXPECT_TRUE(fresh.isIdentity());
}

// Arrow chains a million deep (an eighth of that under the sanitizers, still a few bytes of
// stack a level), matched and checked for occurrence on the ordinary stack.
TEST(TypesMatchInto, DeepTypesCostNoStack) {
    Type pattern = a(), closed = intType(), open = a();
    for (int i = 0; i < test::inputSize(1000000); ++i) {
        pattern = mkArrow(b(), std::move(pattern));
        closed = mkArrow(boolType(), std::move(closed));
        open = mkArrow(boolType(), std::move(open));
    }
    TypeSubst s;
    ASSERT_TRUE(matchTypeInto(s, pattern, closed));
    EXPECT_TRUE(eqType(s("a"), intType()));
    EXPECT_TRUE(eqType(s("b"), boolType()));
    TypeSubst fresh;
    EXPECT_FALSE(matchTypeInto(fresh, a(), open));
    EXPECT_TRUE(matchTypeInto(fresh, a(), closed));
}

}  // namespace
}  // namespace plim
