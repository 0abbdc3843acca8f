#include "lang/types.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/errors.h"
#include "support/failing_allocations.h"
#include "support/failure_text.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

const Type& Int() { return intType(); }
const Type& Bool() { return boolType(); }
Type a() { return mkTid("a"); }
Type b() { return mkTid("b"); }
Type List(Type t) { return mkListType(std::move(t)); }
Type Fn(Type x, Type y) { return mkArrow(std::move(x), std::move(y)); }

using Names = std::vector<std::string>;

TEST(TypeTerms, BuildersAndReservedNames) {
    EXPECT_EQ(typeText(Fn(Int(), List(a()))), "TCon \"Arrow\" [TCon \"Int\" [],TCon \"List\" [Tid \"a\"]]");
    EXPECT_EQ(mkTupleType({Int(), Bool()}).name(), "Tuple2");
    EXPECT_EQ(tupleTypeName(-3), "Tuple-3");
    EXPECT_TRUE(eqType(arrowTypes({Int()}), Int()));
    EXPECT_TRUE(eqType(arrowTypes({Int(), Bool(), floatType()}), Fn(Int(), Fn(Bool(), floatType()))));
}

TEST(TypeTerms, DeepNestingIsDestroyedWithoutDeepRecursion) {
    // Built and destroyed on the ordinary stack.
    Type t = Int();
    for (int i = 0; i < 200000; ++i) t = i % 2 == 0 ? Fn(a(), std::move(t)) : mkTAbs({"a"}, List(std::move(t)));
    EXPECT_TRUE(t.isTAbs());
    t = Int();
    EXPECT_TRUE(t.isTCon());
}

// Releasing a type asks nothing of the allocator, so that it cannot fail in a destructor.
TEST(TypeTerms, ReleasingAsksNothingOfTheAllocator) {
    Type t = Int();
    for (int i = 0; i < test::inputSize(200000); ++i)
        t = i % 2 == 0 ? Fn(a(), std::move(t)) : mkTAbs({"a"}, List(std::move(t)));
    std::size_t refused = 0;
    {
        const test::RefusedAllocations none;
        { const Type released = std::move(t); }
        refused = none.refused();
    }
    EXPECT_EQ(refused, 0u);
}

// Compared, shown and searched on the ordinary stack: an arrow chain 200,000 deep, with a
// scheme every thousand levels.
TEST(TypeTerms, DeepTypesAreWalkedWithoutDeepRecursion) {
    const auto deep = [](const Type& leaf) {
        Type t = leaf;
        for (int i = 0; i < 200000; ++i) t = i % 1000 != 999 ? Fn(a(), std::move(t)) : mkTAbs({"b"}, List(std::move(t)));
        return t;
    };
    const Type x = deep(Int());
    EXPECT_TRUE(eqType(x, deep(Int())));
    EXPECT_FALSE(eqType(x, deep(mkTCon("Float"))));
    const std::string text = typeText(x);
    EXPECT_TRUE(text.starts_with("TAbs [\"b\"] (TCon \"List\" [TCon \"Arrow\" [Tid \"a\",TCon \"Arrow\" [Tid"));
    EXPECT_NE(text.find("[Tid \"a\",TCon \"Int\" []]]"), std::string::npos);
    EXPECT_TRUE(text.ends_with("]]]])")) << text.substr(text.size() - 40);
    EXPECT_EQ(typeVarsOf(x), (Names{"a"}));
    EXPECT_EQ(typeConNames({x}).size(), 200001u);
}

// Whether a type variable occurs anywhere, bound or free, is known at each node: a chain of a
// million arrows answers at once.
TEST(TypeTerms, TypeVariablesAreKnownWithoutAWalk) {
    EXPECT_FALSE(Int().hasTypeVars());
    EXPECT_TRUE(a().hasTypeVars());
    EXPECT_TRUE(mkTid("not a supply name").hasTypeVars());
    EXPECT_TRUE(List(Fn(Int(), b())).hasTypeVars());
    EXPECT_TRUE(placeholderType().hasTypeVars());
    EXPECT_FALSE(mkTAbs({"a"}, Int()).hasTypeVars());
    EXPECT_FALSE(List(mkTAbs({"a"}, Int())).hasTypeVars());
    Type closed = Int(), open = a();
    for (int i = 0; i < 1000000; ++i) {
        closed = Fn(Bool(), std::move(closed));
        open = Fn(Bool(), std::move(open));
    }
    EXPECT_FALSE(closed.hasTypeVars());
    EXPECT_TRUE(open.hasTypeVars());
}

TEST(TypeTerms, TextForm) {
    EXPECT_EQ(typeText(a()), "Tid \"a\"");
    EXPECT_EQ(showsPrecType(11, placeholderType()), "(TAbs [\"a\"] (Tid \"a\"))");
    EXPECT_EQ(showsPrecType(0, mkTAbs({}, Int()), "!"), "TAbs [] (TCon \"Int\" [])!");
    EXPECT_EQ(showsPrecType(10, a()), "Tid \"a\"");
    EXPECT_EQ(showsPrecType(11, mkTCon("Int")), "(TCon \"Int\" [])");
    EXPECT_EQ(showsTypeList({}, "x"), "[]x");
    EXPECT_EQ(showsTypeList({a(), Int()}), "[Tid \"a\",TCon \"Int\" []]");
    EXPECT_EQ(typeText(mkTid("q\"\\")), "Tid \"q\\\"\\\\\"");
}

TEST(TypeTerms, StringLiteralEscapes) {
    EXPECT_EQ(showStringLiteral(""), "\"\"");
    EXPECT_EQ(showStringLiteral("a\nb\tc"), "\"a\\nb\\tc\"");
    EXPECT_EQ(showStringLiteral(std::string("\x0e" "H")), "\"\\SO\\&H\"");
    EXPECT_EQ(showStringLiteral(std::string("\x0e" "I")), "\"\\SOI\"");
    EXPECT_EQ(showStringLiteral(std::string("\xe9" "1")), "\"\\233\\&1\"");
    EXPECT_EQ(showStringLiteral(std::string("\xe9" "x")), "\"\\233x\"");
    EXPECT_EQ(showStringLiteral(std::string("\x7f\x01\x1f", 3)), "\"\\DEL\\SOH\\US\"");
    EXPECT_EQ(showStringLiteral(std::string("\0", 1)), "\"\\NUL\"");
}

TEST(TypeTerms, Equality) {
    EXPECT_FALSE(eqType(mkTAbs({"a"}, a()), mkTAbs({"b"}, b())));
    EXPECT_FALSE(eqType(mkTCon("List"), List(a())));
    EXPECT_TRUE(eqType(Fn(a(), Int()), Fn(mkTid("a"), mkTCon("Int"))));
    EXPECT_FALSE(eqType(a(), mkTCon("a")));
    EXPECT_TRUE(eqType(mkTAbs({"a", "b"}, Fn(a(), b())), mkTAbs({"a", "b"}, Fn(a(), b()))));
    EXPECT_FALSE(eqType(mkTAbs({"a", "b"}, a()), mkTAbs({"a"}, a())));
}

TEST(TypeTerms, EqualTypesBuiltApartHashAlike) {
    // Variables inside and outside the fresh-name sequence, schemes, and a deep term.
    auto build = [](const std::string& var) {
        Type t = mkTAbs({"x", var}, Fn(mkTid(var), mkTid("w7")));
        for (int i = 0; i < 3000; ++i) t = mkTupleType({i % 2 ? Int() : mkTid("zq"), t});
        return t;
    };
    const Type one = build("b");
    const Type two = build("b");
    EXPECT_FALSE(one.sameNode(two));
    EXPECT_EQ(one.hashCode(), two.hashCode());
    EXPECT_TRUE(eqType(one, two));
    // A difference at the bottom is seen from the top.
    EXPECT_FALSE(eqType(one, build("c")));
    EXPECT_FALSE(eqType(build("x"), build("y")));
    EXPECT_EQ(a().hashCode(), mkTid("a").hashCode());
    EXPECT_EQ(mkTid("w7").hashCode(), mkTid("w7").hashCode());
    EXPECT_NE(Fn(Int(), Bool()).hashCode(), Fn(Bool(), Int()).hashCode());
}

TEST(TypeTerms, FunctionAccessors) {
    EXPECT_TRUE(eqType(argType(Fn(Int(), Bool())), Int()));
    EXPECT_TRUE(eqType(resType(Fn(Int(), Bool())), Bool()));
    const std::string argMsg = "cannot take argument type of non-function";
    const std::string resMsg = "cannot take result type of non-function";
    EXPECT_EQ(failureText([] { argType(mkTCon("Arrow", {Int(), Int(), Int()})); }), argMsg);
    EXPECT_EQ(failureText([] { resType(mkTCon("Arrow", {Int()})); }), resMsg);
    EXPECT_EQ(failureText([] { argType(mkTCon("arrow", {Int(), Int()})); }), argMsg);
    EXPECT_EQ(failureText([] { resType(a()); }), resMsg);
    EXPECT_EQ(failureText([] { argType(mkTAbs({}, Fn(Int(), Int()))); }), argMsg);
}

TEST(TypeEnvironments, LookupAndNames) {
    const TypeEnv env{{"x", Int()}, {"x", Bool()}, {"g", a()}};
    const TypeLookup x = lookupVarType(env, "x");
    ASSERT_TRUE(x.found());
    EXPECT_TRUE(eqType(x.type(), Int()));
    const TypeLookup y = lookupVarType(env, "y");
    EXPECT_FALSE(y.found());
    EXPECT_EQ(y.name(), "y");
    EXPECT_EQ(boundNames(TypeEnv{{"f", Int()}, {"g", Int()}, {"f", Bool()}}), (Names{"f", "g"}));
    EXPECT_EQ(envBoundTypes(env).size(), 2u);
    EXPECT_TRUE(eqType(envBoundTypes(env)[0], Int()));
}

TEST(TypeVariables, FreeVariablesInOrder) {
    EXPECT_EQ(freeTypeVars({}, Fn(b(), List(a())), {"c"}), (Names{"b", "a", "c"}));
    EXPECT_EQ(freeTypeVars({}, mkTAbs({"a"}, Fn(a(), b()))), (Names{"b"}));
    EXPECT_EQ(freeTypeVars({}, Fn(a(), a())), (Names{"a", "a"}));
    EXPECT_EQ(freeTypeVars({"a"}, Fn(a(), b())), (Names{"b"}));
    EXPECT_EQ(freeTypeVars({}, Fn(mkTAbs({"a"}, a()), Fn(a(), mkTAbs({"b"}, b())))), (Names{"a"}));
    EXPECT_EQ(typeVarsOf(Fn(a(), Fn(b(), a()))), (Names{"a", "b"}));
    EXPECT_EQ(numBoundVars(mkTAbs({}, Int())), 0u);
    EXPECT_EQ(numBoundVars(Int()), 0u);
    EXPECT_EQ(numBoundVars(mkTAbs({"a", "b"}, a())), 2u);
    EXPECT_EQ(typeConNames({Fn(Int(), List(a())), mkTAbs({"a"}, List(a()))}),
              (Names{"Arrow", "Int", "List", "List"}));
    EXPECT_EQ(typeListVars({Fn(a(), a()), Fn(b(), a())}), (Names{"a", "b", "a"}));
    const TypeEnv env{{"f", Fn(a(), b())}, {"f", mkTid("z")}, {"g", Fn(mkTid("c"), a())}};
    EXPECT_EQ(envTypeVars(env), (Names{"a", "b", "c"}));
}

TEST(TypeSubstitution, ListShapeAndScopes) {
    EXPECT_TRUE(eqType(substVar({{"a", Int()}, {"a", Bool()}}, "a"), Int()));
    EXPECT_TRUE(eqType(substVar({}, "a"), a()));
    const TypeSubst aToInt = bindVar("a", Int());
    const Type closed = mkTAbs({"a"}, List(a()));
    EXPECT_TRUE(substType(aToInt, closed).sameNode(closed));
    EXPECT_TRUE(eqType(substType(aToInt, mkTAbs({"b"}, Fn(a(), b()))), mkTAbs({"b"}, Fn(Int(), b()))));
    EXPECT_TRUE(eqType(substType(aToInt, Fn(a(), b())), Fn(Int(), b())));
    // No capture avoidance: a substituted type may bring in a bound name.
    EXPECT_TRUE(eqType(substType(bindVar("a", b()), mkTAbs({"b"}, Fn(a(), b()))), mkTAbs({"b"}, Fn(b(), b()))));
    EXPECT_EQ(addBinding("x", Int(), {{"y", Bool()}}).front().first, "x");
    EXPECT_TRUE(eqType(substTypeWith([](const std::string& v) { return mkTid(v + "1"); }, Fn(a(), b())),
                       Fn(mkTid("a1"), mkTid("b1"))));
}

TEST(TypeSubstitution, CompositionAppliesTheSecondAfterTheFirst) {
    const TypeSubst g = TypeSubst::fromMap({{"a", List(b())}, {"c", Int()}});
    const TypeSubst f = TypeSubst::fromMap({{"b", Bool()}, {"c", a()}});
    const TypeSubst fg = substTypeOf(f, g);
    EXPECT_TRUE(eqType(fg("a"), List(Bool())));
    EXPECT_TRUE(eqType(fg("b"), Bool()));
    EXPECT_TRUE(eqType(fg("c"), Int()));
    EXPECT_TRUE(eqType(fg("d"), mkTid("d")));
    const TypeEnv env = substEnv(f, {{"x", Fn(b(), b())}, {"y", a()}});
    EXPECT_EQ(env[0].first, "x");
    EXPECT_TRUE(eqType(env[0].second, Fn(Bool(), Bool())));
    EXPECT_TRUE(eqType(env[1].second, a()));
}

TEST(TypeSubstitution, FreshBindingsStopAtTheShorterList) {
    EXPECT_TRUE(freshBindings(typeVarNames(), {}).empty());
    EXPECT_TRUE(freshBindings(NameList(), {"x"}).empty());
    const TypeEnv two = freshBindings(NameList::fromVector({"p"}), {"x", "y"});
    ASSERT_EQ(two.size(), 1u);
    EXPECT_EQ(two[0].first, "x");
    EXPECT_TRUE(eqType(two[0].second, mkTid("p")));
}

TEST(TypeSchemes, TypeVarNames) {
    EXPECT_EQ(typeVarNames().drop(25).head(), "z");
    EXPECT_EQ(typeVarNames().drop(26).head(), "aa");
    EXPECT_EQ(typeVarNames().drop(52).head(), "ba");
    EXPECT_EQ(typeVarNames().drop(701).head(), "zz");
    EXPECT_EQ(typeVarNames().drop(702).head(), "aaa");
}

TEST(TypeSchemes, Instantiation) {
    const Type scheme = mkTAbs({"x", "y"}, Fn(mkTid("x"), mkTid("y")));
    EXPECT_TRUE(eqType(inst(typeVarNames(), scheme), Fn(a(), b())));
    EXPECT_TRUE(eqType(inst(typeVarNames().drop(2), scheme), Fn(mkTid("c"), mkTid("d"))));
    EXPECT_TRUE(eqType(inst(NameList(), mkTid("q")), mkTid("q")));
    EXPECT_TRUE(eqType(inst(NameList(), scheme), scheme));
    EXPECT_TRUE(eqType(inst(typeVarNames(), mkTAbs({}, Int())), Int()));
    EXPECT_EQ(failureText([] { inst(NameList::fromVector({"a"}), mkTid("q")); }), "Types:175|function inst");
    EXPECT_EQ(failureText([] { inst(typeVarNames(), Int()); }), "Types:175|function inst");
}

TEST(TypeSchemes, GeneraliseNamesInOrderOfFirstOccurrence) {
    EXPECT_TRUE(eqType(generalise(Fn(Int(), Bool())), Fn(Int(), Bool())));
    EXPECT_FALSE(generalise(Int()).isTAbs());
    EXPECT_TRUE(eqType(generalise(mkTid("q")), mkTAbs({"a"}, a())));
    const Type built = Fn(mkTid("b0"), Fn(mkTid("a0"), mkTid("b0")));
    EXPECT_TRUE(eqType(generalise(built), mkTAbs({"a", "b"}, Fn(a(), Fn(b(), a())))));
    // A scheme without free variables comes back unchanged.
    const Type closed = mkTAbs({"x"}, mkTid("x"));
    EXPECT_TRUE(eqType(generalise(closed), closed));
    // The 27th variable is named "aa".
    std::vector<Type> many;
    for (int i = 0; i < 27; ++i) many.push_back(mkTid("v" + std::to_string(i)));
    const Type g = generalise(mkTupleType(many));
    EXPECT_EQ(g.boundVars()[26], "aa");
    EXPECT_EQ(g.body().args()[26].name(), "aa");
}

TEST(TypeSchemes, RenameSchemeKeepsNamesInUse) {
    const TypeEnv out = renameScheme({"a"}, {{"f", Fn(a(), mkTid("c"))}, {"g", Int()}, {"h", a()}});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].first, "f");
    EXPECT_TRUE(eqType(out[0].second, mkTAbs({"b"}, Fn(a(), b()))));
    EXPECT_TRUE(eqType(out[1].second, Int()));
    EXPECT_TRUE(eqType(out[2].second, a()));
    const TypeEnv two = renameScheme({"a", "c"}, {{"k", Fn(mkTid("x"), mkTid("y"))}});
    EXPECT_TRUE(eqType(two[0].second, mkTAbs({"b", "d"}, Fn(b(), mkTid("d")))));
}

// --- unification ---

TEST(Unification, SucceedsWithComposedBindings) {
    const TypeSubst s = TypeSubst::fromMap({{"z", Int()}});
    const UnifyResult none = unify({}, s);
    ASSERT_TRUE(none.isOk());
    EXPECT_TRUE(eqType(none.unifier()("z"), Int()));

    const UnifyResult same = unifyPair(a(), a());
    ASSERT_TRUE(same.isOk());
    EXPECT_TRUE(same.unifier().isIdentity());

    const UnifyResult r = unifyFresh({{a(), Int()}, {b(), List(a())}});
    ASSERT_TRUE(r.isOk());
    EXPECT_TRUE(eqType(r.unifier()("a"), Int()));
    EXPECT_TRUE(eqType(r.unifier()("b"), List(Int())));
    EXPECT_TRUE(eqType(r.unifier()("c"), mkTid("c")));

    const UnifyResult cycle = unifyFresh({{a(), b()}, {b(), a()}});
    ASSERT_TRUE(cycle.isOk());
    EXPECT_TRUE(eqType(cycle.unifier()("a"), b()));

    // Bindings found later are applied to what the substitution already yields.
    const UnifyResult chain = unifyFresh({{a(), List(b())}, {b(), Int()}});
    ASSERT_TRUE(chain.isOk());
    EXPECT_TRUE(eqType(chain.unifier()("a"), List(Int())));
    // A variable on the right is bound to the left type.
    const UnifyResult right = unifyPair(Fn(Int(), Bool()), a());
    ASSERT_TRUE(right.isOk());
    EXPECT_TRUE(eqType(right.unifier()("a"), Fn(Int(), Bool())));
}

TEST(Unification, StartingSubstitutionIsOnlyExtended) {
    const UnifyResult r = unify({{a(), Int()}}, TypeSubst::fromMap({{"c", List(a())}}));
    ASSERT_TRUE(r.isOk());
    EXPECT_TRUE(eqType(r.unifier()("c"), List(Int())));
    EXPECT_TRUE(eqType(r.unifier()("a"), Int()));
}

TEST(Unification, StartingBindingsKeptWhereTheEquationsBindTheSameName) {
    // s's own binding for a stays (with the new bindings applied); b, new, is added.
    const TypeSubst s = TypeSubst::fromMap({{"a", List(b())}, {"c", Fn(a(), b())}});
    const UnifyResult r = unify({{a(), Int()}, {b(), Bool()}}, s);
    ASSERT_TRUE(r.isOk());
    EXPECT_TRUE(eqType(r.unifier()("a"), List(Bool())));
    EXPECT_TRUE(eqType(r.unifier()("b"), Bool()));
    EXPECT_TRUE(eqType(r.unifier()("c"), Fn(Int(), Bool())));
    EXPECT_EQ(r.unifier().size(), 3u);
    // s itself is left as it was.
    EXPECT_TRUE(eqType(s("c"), Fn(a(), b())));
}

TEST(Unification, OccursCheck) {
    for (const auto& eq : {TypeEquation{a(), List(a())}, TypeEquation{List(a()), a()}}) {
        const UnifyResult r = unifyFresh({eq});
        ASSERT_EQ(r.kind(), UnifyKind::OccursFailure);
        EXPECT_EQ(r.var(), "a");
        EXPECT_TRUE(eqType(r.occursIn(), List(a())));
    }
    // The type carries the bindings found so far.
    const UnifyResult r = unifyFresh({{b(), Int()}, {a(), Fn(b(), a())}});
    ASSERT_EQ(r.kind(), UnifyKind::OccursFailure);
    EXPECT_TRUE(eqType(r.occursIn(), Fn(Int(), a())));
    // A variable bound by a scheme inside the type does not count.
    EXPECT_TRUE(unifyPair(a(), List(mkTAbs({"a"}, a()))).isOk());
}

TEST(Unification, MismatchNamesTheInnermostPair) {
    const UnifyResult r = unifyPair(Fn(Int(), a()), Fn(Bool(), a()));
    ASSERT_EQ(r.kind(), UnifyKind::ConstructorMismatch);
    EXPECT_TRUE(eqType(r.left(), Int()));
    EXPECT_TRUE(eqType(r.right(), Bool()));

    const UnifyResult lengths = unifyPair(List(a()), mkTCon("List", {Int(), Int()}));
    ASSERT_EQ(lengths.kind(), UnifyKind::ConstructorMismatch);
    EXPECT_TRUE(eqType(lengths.left(), List(a())));

    // Bindings found so far are applied to the reported pair.
    const UnifyResult later = unifyFresh({{a(), Int()}, {List(a()), List(Bool())}});
    ASSERT_EQ(later.kind(), UnifyKind::ConstructorMismatch);
    EXPECT_TRUE(eqType(later.left(), Int()));
    EXPECT_TRUE(eqType(later.right(), Bool()));
}

TEST(Unification, SchemesMismatchInsteadOfEndingTheProgram) {
    const Type scheme = mkTAbs({}, Int());
    const UnifyResult r = unifyPair(Int(), scheme);
    ASSERT_EQ(r.kind(), UnifyKind::ConstructorMismatch);
    EXPECT_TRUE(eqType(r.left(), Int()));
    EXPECT_TRUE(eqType(r.right(), scheme));
    EXPECT_EQ(unifyPair(placeholderType(), mkTAbs({"b"}, b())).kind(), UnifyKind::ConstructorMismatch);
    EXPECT_TRUE(unifyPair(placeholderType(), mkTAbs({"a"}, a())).isOk());
    // A variable against a scheme is an ordinary binding.
    const UnifyResult v = unifyPair(b(), placeholderType());
    ASSERT_TRUE(v.isOk());
    EXPECT_TRUE(eqType(v.unifier()("b"), placeholderType()));
}

TEST(Unification, SchemesComparedEarlyStillSeeLaterBindings) {
    // e is bound to [d] and compared inside the schemes while d is unbound; d = Int comes later
    // and must reach e all the same, as it does without the schemes.
    const Type d = mkTid("d");
    const Type e = mkTid("e");
    const Type left = Fn(List(d), mkTAbs({"b"}, List(d)));
    const Type right = Fn(e, mkTAbs({"b"}, e));
    for (const auto& eqs : {std::vector<TypeEquation>{{left, right}, {d, Int()}},
                            std::vector<TypeEquation>{{d, Int()}, {left, right}},
                            std::vector<TypeEquation>{{Fn(List(d), List(d)), Fn(e, e)}, {d, Int()}}}) {
        const UnifyResult r = unifyFresh(eqs);
        ASSERT_TRUE(r.isOk());
        EXPECT_TRUE(eqType(r.unifier()("e"), List(Int()))) << typeText(r.unifier()("e"));
        EXPECT_TRUE(eqType(r.unifier()("d"), Int()));
        // A unifier: both sides of every equation come out equal.
        for (const auto& [x, y] : eqs) EXPECT_TRUE(eqType(substType(r.unifier(), x), substType(r.unifier(), y)));
    }
}

// --- matching ---

TEST(TypeMatching, BindsOnlyPatternVariables) {
    auto m = matchTypeFresh(a(), List(Int()));
    ASSERT_TRUE(m);
    EXPECT_TRUE(eqType((*m)("a"), List(Int())));
    EXPECT_FALSE(matchTypeFresh(Fn(a(), a()), Fn(Int(), Bool())));
    auto same = matchTypeFresh(Fn(a(), a()), Fn(Int(), Int()));
    ASSERT_TRUE(same);
    EXPECT_TRUE(eqType((*same)("a"), Int()));
    auto self = matchTypeFresh(a(), a());
    ASSERT_TRUE(self);
    EXPECT_TRUE(self->isIdentity());
    EXPECT_FALSE(matchTypeFresh(Int(), a()));
    EXPECT_FALSE(matchTypeFresh(placeholderType(), placeholderType()));
    EXPECT_FALSE(matchTypeFresh(List(a()), mkTCon("Lust", {Int()})));
}

TEST(TypeMatching, NoLengthCheckOnArguments) {
    auto m = matchTypeFresh(List(a()), mkTCon("List", {Int(), Bool()}));
    ASSERT_TRUE(m);
    EXPECT_TRUE(eqType((*m)("a"), Int()));
    EXPECT_TRUE(matchTypeFresh(mkTCon("T", {a(), b()}), mkTCon("T")));
}

TEST(TypeMatching, ThreadsTheSubstitution) {
    auto m = matchAll(identitySubst(), {{a(), Int()}, {b(), List(a())}, {a(), Int()}});
    ASSERT_TRUE(m);
    EXPECT_TRUE(eqType((*m)("b"), List(a())));
    EXPECT_FALSE(matchAll(identitySubst(), {{a(), Int()}, {a(), Bool()}}));
    auto start = matchAll(TypeSubst::fromMap({{"a", Bool()}}), {});
    ASSERT_TRUE(start);
    EXPECT_TRUE(eqType((*start)("a"), Bool()));
}

}  // namespace
}  // namespace plim
