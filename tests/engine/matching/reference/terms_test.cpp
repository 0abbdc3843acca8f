#include <gtest/gtest.h>

#include "engine/matching/reference/matcher_test_util.h"
#include "engine/rewriting/positions.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using namespace reftest;
using namespace ref;

const Type fII = fn(I(), I());

TEST(RefConvert, BoundNamesDecideLocalOrPattern) {
    EXPECT_TRUE(convert({"x"}, v("x", boolType())).is(TermKind::LVar));
    EXPECT_TRUE(convertClosed(v("x")).is(TermKind::PVar));
    // \(x, y) -> f x y: the body sees x and y as local, f as a pattern variable.
    const Expr body = ap(v("f", fn(I(), fII)), v("x"), v("y"));
    const Expr e = mkLam(pair(v("x"), v("y")), body, fn(mkTupleType({I(), I()}), I()));
    const Term t = convertClosed(e);
    ASSERT_TRUE(t.is(TermKind::Lam));
    std::string binder;
    appendBinding(binder, 0, t.binder());
    EXPECT_EQ(binder, "LamTup [LamVar \"x\",LamVar \"y\"]");
    EXPECT_EQ(freeLocalsOf(t.body()), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(patternVars(t), (std::vector<std::string>{"f"}));
    EXPECT_EQ(showExpr(unconvert(t)), showExpr(e));
}

TEST(RefConvert, SaturatedTuplesCollapsePartialOnesStay) {
    const Expr pairCon = mkCon(mkTuple(2), fn(I(), fn(boolType(), mkTupleType({I(), boolType()}))));
    const Term full = convertClosed(ap(pairCon, num(1), mkCon(mkBoolean(true), boolType())));
    ASSERT_TRUE(full.is(TermKind::Tupl));
    EXPECT_EQ(full.elems().size(), 2u);
    EXPECT_EQ(saturatedTupleArgs(ap(pairCon, num(1), num(2)))->size(), 2u);
    EXPECT_FALSE(saturatedTupleArgs(ap(pairCon, num(1))).has_value());
    // The empty tuple is Tuple 0 applied to all of its no arguments; converted, it stays a Con.
    const Expr unit = mkCon(mkTuple(0), mkTupleType({}));
    ASSERT_TRUE(saturatedTupleArgs(unit).has_value());
    EXPECT_TRUE(saturatedTupleArgs(unit)->empty());
    EXPECT_TRUE(convertClosed(unit).is(TermKind::Con));
    const Term partial = convertClosed(ap(pairCon, num(1)));
    ASSERT_TRUE(partial.is(TermKind::Ap));
    EXPECT_TRUE(partial.fun().is(TermKind::Con));
    // Back again the tuple's type comes from its elements, whatever the Tupl carried.
    const Term odd = Tupl({Con(mkNumber(1), I()), Con(mkBoolean(true), boolType())}, I());
    const Expr back = unconvert(odd);
    Expr head = back;
    while (head.isAp()) head = head.fun();
    EXPECT_EQ(head.type(), fn(I(), fn(boolType(), mkTupleType({I(), boolType()}))));
    EXPECT_EQ(back.type(), mkTupleType({I(), boolType()}));
    EXPECT_EQ(showExpr(back), "(1, True)");
}

// The term side of a match at every subexpression, as the rewriting driver asks for it (in
// two contexts, so that one node is met in each): the memo gives what converting and freezing
// afresh gives, also for the prefixes of a spine, a partial tuple, and a variable shadowed by
// a lambda inside the term.
TEST(RefConvert, FrozenTermsAtEverySubexpression) {
    const Type pairII = mkTupleType({I(), I()});
    const Expr g = v("g", fn(I(), fn(I(), I())));
    const Expr tupleCon = mkCon(mkTuple(2), fn(I(), fn(I(), pairII)));
    const Expr inner = pair(ap(g, num(1), v("y")), pair(ap(tupleCon, v("x")), lam("y", I(), v("y"))));
    const Expr e = pair(v("y"), lam("x", I(), inner));
    for (const std::vector<TypedVar>& outer : {std::vector<TypedVar>{}, std::vector<TypedVar>{{"y", I()}}}) {
        for (List<SubPath> at = subpaths(TermCtx{e, outer}); !at.empty(); at = at.tail()) {
            const TermCtx& sub = at.head().first;
            std::vector<std::string> names;
            for (const auto& [n, t] : sub.bound.vars()) names.push_back(n);
            SCOPED_TRACE(showExpr(sub.expr));
            EXPECT_EQ(show(convertFrozen(names, sub.expr)), show(freezeLocals(names, convert(names, sub.expr))));
        }
    }
    // Converted once: a subexpression outside the lambdas is the very subterm of the whole.
    const Term whole = convertFrozen({"y"}, e);
    EXPECT_TRUE(convertFrozen({"y"}, select(e, {Step::First, Step::Second})).sameNode(whole.elems()[0]));
}

TEST(RefConvert, Failures) {
    const Expr constantPattern = mkLam(num(1), num(2), fII);
    EXPECT_EQ(failureText([&] { convertClosed(constantPattern); }), "can't handle non-variable/tuple lambda bindings");
    const Expr let = mkLet(mkDList(mkNoDef()), num(1), I());
    EXPECT_EQ(failureText([&] { convertClosed(ap(v("f", fII), let)); }), "ReferenceMatching:138|function convert'");
    EXPECT_EQ(failureText([&] { gettupletypes(I()); }), "ReferenceMatching:210|function gettupletypes");
    const Term badLam = Lam(LamVar("x"), LVar("x", I()), I());
    EXPECT_EQ(failureText([&] { unconvert(badLam); }), "cannot take argument type of non-function");
}

TEST(RefConvert, BindingsInAscendingNameOrder) {
    EXPECT_TRUE(unconvertBindings(identityBindings()).subst.empty());
    const MatchResult r{{{"z", num(1)}, {"a", num(2)}, {"z", num(3)}}, identitySubst()};
    const MatchResult back = unconvertBindings(convertBindings(r));
    EXPECT_EQ(showSubst(back.subst), "a := 2\nz := 3\n");
}

TEST(RefConvert, DerivedTextForms) {
    const Term t = Ap(LVar("x", I()), Con(mkNumber(1), I()), I());
    EXPECT_EQ(show(t), "Ap (LVar \"x\" (TCon \"Int\" [])) (Con (Number 1) (TCon \"Int\" [])) (TCon \"Int\" [])");
    EXPECT_EQ(showList(ref::Path{First, TupElem(2), Body, Second}), "[First,TupElem 2,Body,Second]");
}

// The text of a term a hundred thousand applications deep, written on the ordinary stack:
// each level adds the same text.
TEST(RefConvert, TextOfADeepTermCostsNoStack) {
    const Term f = Con(mkConstr("F"), fII);
    const auto chain = [&f](int n) {
        Term t = Tupl({LVar("x", I()), Lam(LamVar("y"), LVar("y", I()), fII)}, mkTupleType({I(), fII}));
        for (int i = 0; i < n; ++i) t = Ap(f, t, I());
        return show(t);
    };
    const std::string one = chain(1), two = chain(2), deep = chain(100000);
    EXPECT_TRUE(one.starts_with("Ap (Con (Constr \"F\") (TCon \"Arrow\" [TCon \"Int\" [],TCon"));
    EXPECT_NE(one.find("(Tupl [LVar \"x\" (TCon \"Int\" []),Lam (LamVar \"y\") (LVar \"y\""), std::string::npos);
    EXPECT_EQ(deep.size(), one.size() + 99999 * (two.size() - one.size()));
    EXPECT_TRUE(deep.ends_with(" (TCon \"Int\" [])) (TCon \"Int\" [])"));
}

TEST(RefConvert, DeepTermsCostNoStack) {
    const int n = test::inputSize(100000);
    Expr spine = v("x");
    for (int i = 0; i < n; ++i) spine = ap(k("c", fII), spine);
    Expr leftSpine = v("x");
    for (int i = 0; i < n; ++i) leftSpine = plus(leftSpine, num(i % 3));
    {
        // The arguments of a left spine wait in the walk; leaving it early releases them.
        const Term t = convertClosed(leftSpine);
        const std::size_t some = std::size_t(n) * 3 / 2;  // of the 2n + 1 positions
        EXPECT_EQ(toVector(positions(t), some).size(), some);
        EXPECT_EQ(patternVars(t), (std::vector<std::string>{"x"}));
    }
    Expr nested = num(1);
    for (int i = 0; i < 10000; ++i) nested = lam("y" + std::to_string(i % 7), I(), nested);
    for (const Expr& e : {spine, nested}) {
        const Term t = convert({"x"}, e);
        EXPECT_TRUE(exprEq({}, {}, unconvert(t), e));
        EXPECT_EQ(freeLocalsOf(t).size(), e.isAp() ? 1u : 0u);
        EXPECT_TRUE(termEq(t, t));
        EXPECT_TRUE(isEtaNormal(t));
        EXPECT_TRUE(isTwoStepPattern(t));
        EXPECT_EQ(length(positions(t)), e.isAp() ? 2 * std::size_t(n) + 1 : 10001u);
        EXPECT_EQ(toVector(positions(t), 3).size(), 3u);  // abandoned early
    }
}

TEST(RefPositions, PreOrderWithPaths) {
    const Term f = PVar("f", fn(I(), fII));
    const Term a = Con(mkNumber(1), I());
    const Term b = Con(mkNumber(2), I());
    const Term fa = Ap(f, a, fII);
    const Term t = Ap(fa, b, I());
    std::vector<std::string> got;
    for (const Position& p : toVector(positions(t))) got.push_back(showList(p.path.toPath()));
    EXPECT_EQ(got, (std::vector<std::string>{"[]", "[First]", "[First,First]", "[First,Second]", "[Second]"}));
    EXPECT_TRUE(toVector(positions(t))[2].sub.sameNode(f));
    const Term tup = Tupl({a, b, a}, mkTupleType({I(), I(), I()}));
    got.clear();
    for (const Position& p : toVector(positions(tup))) got.push_back(showList(p.path.toPath()));
    EXPECT_EQ(got, (std::vector<std::string>{"[]", "[TupElem 0]", "[TupElem 1]", "[TupElem 2]"}));
}

TEST(RefReplace, AtPathsAndInvalidPaths) {
    const Term a = Con(mkNumber(1), I());
    const Term r = PVar("r", I());
    EXPECT_TRUE(replaceAt({}, a, r).sameNode(r));
    const Term t = Ap(PVar("f", fII), a, I());
    const Term replaced = replaceAt({Second}, t, r);
    EXPECT_TRUE(replaced.fun().sameNode(t.fun()));
    EXPECT_TRUE(replaced.arg().sameNode(r));
    EXPECT_EQ(failureText([&] { replaceAt({Second, First}, t, r); }),
              "invalid replace:\ne=Con (Number 1) (TCon \"Int\" [])\nl=[First]\nr=PVar \"r\" (TCon \"Int\" [])\n");
    // A tuple position out of range is the same dump, not undefined behaviour.
    const Term tup = Tupl({a, a}, mkTupleType({I(), I()}));
    EXPECT_EQ(failureText([&] { replaceAt({TupElem(2)}, tup, r); }).substr(0, 22), "invalid replace:\ne=Tup");
    EXPECT_EQ(show(replaceAll({{TupElem(0)}, {TupElem(1)}}, r, tup)),
              show(Tupl({r, r}, mkTupleType({I(), I()}))));
    // Replacing the argument of \x -> g x by x leaves an eta redex, contracted to g.
    const Term g = PVar("g", fII);
    const Term lamT = Lam(LamVar("x"), Ap(g, a, I()), fII);
    EXPECT_TRUE(replaceAtEta({Body, Second}, lamT, LVar("x", I())).sameNode(g));
    EXPECT_TRUE(replaceAt({Body, Second}, lamT, LVar("x", I())).is(TermKind::Lam));
}

TEST(RefUtils, VariablesAndLocals) {
    const Term body = Ap(LVar("x", fII), LVar("y", I()), I());
    const Term t = Lam(LamVar("x"), body, fn(fII, I()));
    EXPECT_EQ(freeLocalsOf(t), (std::vector<std::string>{"y"}));
    EXPECT_TRUE(patternVars(t).empty());
    EXPECT_TRUE(occursLVar("x", t));
    const Term frozen = freezeLocals({"y"}, t);
    EXPECT_EQ(showExpr(unconvert(frozen)), "(\\ x -> x y)");
    EXPECT_TRUE(frozen.body().arg().is(TermKind::Con));
    EXPECT_EQ(show(thawLocals({"y"}, frozen)), show(t));
    EXPECT_EQ(show(openLeadingLams(t)), show(Ap(PVar("x", fII), LVar("y", I()), I())));
    EXPECT_EQ(show(leadingLamVars(t)[0]), show(PVar("x", fII)));
    // Renaming is simultaneous: swapping two names swaps them.
    const Term both = Ap(LVar("a", fII), LVar("b", I()), I());
    EXPECT_EQ(show(renameLocals({{"a", "b"}, {"b", "a"}}, both)),
              show(Ap(LVar("b", fII), LVar("a", I()), I())));
    auto [inner, names] = stripLams(Lam(LamVar("p"), t, fn(I(), fn(fII, I()))));
    EXPECT_EQ(names, (std::vector<std::string>{"x", "p"}));
    EXPECT_TRUE(inner.sameNode(body));
}

TEST(RefUtils, OpeningAndRenamingLeaveAShadowedVariableAlone) {
    // \ x -> (x, \ x -> x): only the first x is the leading lambda's.
    const Term idX = Lam(LamVar("x"), LVar("x", I()), fII);
    const Type pairType = mkTupleType({I(), fII});
    const Term t = Lam(LamVar("x"), Tupl({LVar("x", I()), idX}, pairType), fn(I(), pairType));
    EXPECT_EQ(show(openLeadingLams(t)), show(Tupl({PVar("x", I()), idX}, pairType)));
    EXPECT_EQ(show(renameLocal("x", "y", t.body())), show(Tupl({LVar("y", I()), idX}, pairType)));
}

TEST(RefUtils, EqualityUpToRenamingAndEta) {
    const Term idX = Lam(LamVar("x"), LVar("x", I()), fII);
    const Term idY = Lam(LamVar("y"), LVar("y", I()), fII);
    EXPECT_TRUE(termEq(idX, idY));
    const Term g = PVar("g", fII);
    const Term etaG = Lam(LamVar("x"), Ap(g, LVar("x", I()), I()), fII);
    EXPECT_TRUE(isEtaRedex(etaG));
    EXPECT_FALSE(isEtaNormal(etaG));
    EXPECT_TRUE(termEq(etaG, g));
    EXPECT_TRUE(etaNormalise(etaG).sameNode(g));
    // A free local variable is equal only to itself.
    EXPECT_FALSE(termEq(LVar("a", I()), LVar("b", I())));
    EXPECT_FALSE(termEq(PVar("a", I()), PVar("a", boolType())));
    const Term k2 = Lam(LamVar("x"), Lam(LamVar("y"), LVar("x", I()), fII), fn(I(), fII));
    const Term k2swapped = Lam(LamVar("x"), Lam(LamVar("y"), LVar("y", I()), fII), fn(I(), fII));
    EXPECT_FALSE(termEq(k2, k2swapped));
    // Inside a tuple the bound names still pair up: \y -> (y, 2) equals \w -> (w, 2).
    const Type pairT = mkTupleType({I(), I()});
    const Term two = Con(mkNumber(2), I());
    const Term pairY = Lam(LamVar("y"), Tupl({LVar("y", I()), two}, pairT), fn(I(), pairT));
    const Term pairW = Lam(LamVar("w"), Tupl({LVar("w", I()), two}, pairT), fn(I(), pairT));
    EXPECT_TRUE(termEq(pairY, pairW));
    EXPECT_FALSE(termEq(pairY, Lam(LamVar("w"), Tupl({LVar("y", I()), two}, pairT), fn(I(), pairT))));
    // Equal terms share their hash (that of the eta-contracted term, as termEq compares).
    const auto hashOf = [](const Term& t) { return termHash(etaNormalise(t)); };
    EXPECT_EQ(hashOf(idX), hashOf(idY));
    EXPECT_EQ(hashOf(etaG), hashOf(g));
    EXPECT_EQ(hashOf(pairY), hashOf(pairW));
    EXPECT_NE(hashOf(PVar("a", I())), hashOf(PVar("a", boolType())));
    EXPECT_NE(hashOf(two), hashOf(Con(mkNumber(1), I())));
}

TEST(RefUtils, TermsClashOnlyWhereNoClosedTermMatchesBoth) {
    const Type fIII = fn(I(), fII);
    const Term c = Con(mkConstr("c"), fII);
    const Term d = Con(mkConstr("d"), fII);
    const Term one = Con(mkNumber(1), I());
    // \x y -> x against \u v -> v: the bound variables pair by place, not by name.
    const Term first = Lam(LamVar("x"), Lam(LamVar("y"), LVar("x", I()), fII), fIII);
    const Term second = Lam(LamVar("u"), Lam(LamVar("v"), LVar("v", I()), fII), fIII);
    const Term firstAgain = Lam(LamVar("u"), Lam(LamVar("v"), LVar("u", I()), fII), fIII);
    EXPECT_TRUE(termsClash(first, second));
    EXPECT_FALSE(termsClash(first, firstAgain));
    EXPECT_TRUE(termsClash(Ap(c, one, I()), Ap(d, one, I())));
    EXPECT_TRUE(termsClash(one, Ap(c, one, I())));
    EXPECT_TRUE(termsClash(LVar("a", I()), LVar("b", I())));
    // \x -> c x is c after an eta step; \x -> d x is not.
    const Term etaC = Lam(LamVar("x"), Ap(c, LVar("x", I()), I()), fII);
    EXPECT_FALSE(termsClash(etaC, c));
    EXPECT_FALSE(termsClash(c, etaC));
    EXPECT_TRUE(termsClash(etaC, d));
    // \x -> \y -> x against \x -> c: the second's body taken as \y -> c y.
    const Term constC = Lam(LamVar("u"), c, fIII);
    EXPECT_TRUE(termsClash(first, constC));
    // A binder of another shape, or a pattern variable, is passed over.
    const Type pairT = mkTupleType({I(), I()});
    const Term fst = Lam(LamTup({LamVar("a"), LamVar("b")}), LVar("a", I()), fn(pairT, I()));
    EXPECT_FALSE(termsClash(fst, Lam(LamVar("p"), Con(mkNumber(2), I()), fn(pairT, I()))));
    EXPECT_FALSE(termsClash(PVar("X", I()), one));
    // A redex: (\x -> 1) c and (\x -> 1) d are both 1.
    const Term k1 = Lam(LamVar("x"), one, fn(fII, I()));
    EXPECT_TRUE(holdsBetaRedex(Tupl({Ap(k1, c, I()), one}, pairT)));
    EXPECT_FALSE(holdsBetaRedex(Ap(c, one, I())));
    EXPECT_FALSE(holdsBetaRedex(first));
}

TEST(RefUtils, BindersFitAndBinderMatching) {
    const Term tup = Tupl({Con(mkNumber(1), I()), Con(mkNumber(2), I())}, mkTupleType({I(), I()}));
    const LamBinding pairBinder = LamTup({LamVar("a"), LamVar("b")});
    EXPECT_TRUE(bindBinder(pairBinder, tup).has_value());
    EXPECT_FALSE(bindBinder(pairBinder, Con(mkNumber(1), I())).has_value());
    EXPECT_FALSE(matchBinders(pairBinder, LamVar("c")).has_value());
    EXPECT_EQ(matchBinders(pairBinder, LamTup({LamVar("c"), LamVar("d")}))->size(), 2u);
    const Type pairT = mkTupleType({I(), I()});
    const Term redex = Ap(Lam(pairBinder, LVar("a", I()), fn(pairT, I())), PVar("z", pairT), I());
    EXPECT_FALSE(bindersFit(redex));
    EXPECT_TRUE(bindersFit(Ap(Lam(pairBinder, LVar("a", I()), fn(pairT, I())), tup, I())));
}

// A binder nesting tuples 100,000 deep, (x0, (x1, (... (xn-1, y)))): converted from its pattern
// and back, its names, text, renaming, pairing and eta test, and its release, on the ordinary
// stack.
TEST(RefUtils, BindersNestedTuplesDeep) {
    const int n = test::inputSize(100000);
    Type ty = I();
    Term arg = LVar("y", I());
    Term patternTerm = PVar("y", I());
    for (int i = n; i-- > 0;) {
        const std::string x = "x" + std::to_string(i);
        ty = mkTupleType({I(), ty});
        arg = Tupl({LVar(x, I()), arg}, ty);
        patternTerm = Tupl({PVar(x, I()), patternTerm}, ty);
    }
    auto [b, names] = convertBinding(patternTerm);
    ASSERT_EQ(names.size(), std::size_t(n) + 1);
    EXPECT_EQ(names[1], "x1");
    EXPECT_EQ(binderNames(b), names);
    std::string text;
    appendBinding(text, 11, b);
    EXPECT_TRUE(text.starts_with("(LamTup [LamVar \"x0\",LamTup [LamVar \"x1\",LamTup ["));
    EXPECT_TRUE(text.ends_with("\",LamVar \"y\"" + std::string(std::size_t(n), ']') + ")"));
    EXPECT_EQ(binderNames(renameBinder(b, {{"y", "z"}})).back(), "z");
    EXPECT_EQ(matchBinders(b, b)->size(), std::size_t(n) + 1);
    EXPECT_FALSE(matchBinders(b, b.components()[1]));
    EXPECT_EQ(bindBinder(b, arg)->size(), std::size_t(n) + 1);
    EXPECT_TRUE(termEq(bindingToTerm(ty, b), arg));
    const Expr pattern = bindingToExpr(ty, b);
    EXPECT_EQ(convertBinding(convertClosed(pattern)).second, names);
    const Term f = Con(mkConstr("F"), fn(ty, I()));
    EXPECT_TRUE(isEtaRedex(Lam(b, Ap(f, arg, I()), fn(ty, I()))));
    LamBinding copy = b;
    b = LamVar("q");  // the copy still holds the tuples
    EXPECT_EQ(binderNames(copy).size(), std::size_t(n) + 1);
}

TEST(RefUtils, ProblemsThatMustMeetAVariableAppliedToItself) {
    const Type a = mkTid("a");
    const Term g = PVar("g", a);
    const Term gg = Ap(g, g, I());
    const Term one = Con(mkNumber(1), I());
    EXPECT_TRUE(problemMatchesNothing(gg, one));
    EXPECT_TRUE(problemMatchesNothing(Ap(gg, one, I()), one));
    EXPECT_TRUE(problemMatchesNothing(Ap(Con(mkConstr("k"), fII), gg, I()), one));
    EXPECT_FALSE(problemMatchesNothing(Ap(PVar("q", fII), gg, I()), one));
    EXPECT_FALSE(problemMatchesNothing(gg, Ap(Con(mkConstr("k"), a), Con(mkConstr("k"), a), I())));
}

TEST(RefUtils, TwoStepPatterns) {
    const Type fIIs = fn(fII, I());
    const Term F = PVar("F", fIIs);
    auto applyF = [&](const Term& x) { return Ap(F, x, I()); };
    // The argument mentions only its own bound variable.
    EXPECT_FALSE(isTwoStepPattern(applyF(Lam(LamVar("y"), LVar("y", I()), fII))));
    // The argument holds a pattern variable.
    EXPECT_FALSE(isTwoStepPattern(applyF(Lam(LamVar("y"), Ap(PVar("G", fII), LVar("y", I()), I()), fII))));
    // A bound variable the body does not use.
    EXPECT_FALSE(isTwoStepPattern(applyF(Lam(LamVar("y"), Con(mkNumber(1), I()), fII))));
    // A constant applied to the bound variable.
    EXPECT_TRUE(isTwoStepPattern(applyF(Lam(LamVar("y"), Ap(Con(mkConstr("k"), fII), LVar("y", I()), I()), fII))));
    // A tuple argument holding \ y -> y (also in an inner tuple), whatever its other components
    // hold: the tuple fold would give that component the two-step candidates.
    const Term idY = Lam(LamVar("y"), LVar("y", I()), fII);
    const Term one = Con(mkNumber(1), I());
    auto pairOf = [](const Term& a, const Term& b) { return Tupl({a, b}, mkTupleType({a.type(), b.type()})); };
    EXPECT_FALSE(isTwoStepPattern(Ap(PVar("F", fn(pairOf(idY, one).type(), I())), pairOf(idY, one), I())));
    const Term nested = pairOf(pairOf(one, idY), one);
    EXPECT_FALSE(isTwoStepPattern(Ap(PVar("F", fn(nested.type(), I())), nested, I())));
    const Term usesY = Lam(LamVar("y"), Ap(Con(mkConstr("k"), fII), LVar("y", I()), I()), fII);
    EXPECT_TRUE(isTwoStepPattern(Ap(PVar("F", fn(pairOf(usesY, one).type(), I())), pairOf(usesY, one), I())));
    // Rigid heads: both parts are examined.
    const Term rigid = Ap(Con(mkConstr("c"), fII), Ap(PVar("H", fII), PVar("x", I()), I()), I());
    EXPECT_FALSE(isTwoStepPattern(rigid));
    EXPECT_TRUE(isTwoStepPattern(Ap(Con(mkConstr("c"), fII), PVar("x", I()), I())));
    EXPECT_TRUE(flexibleHead(Ap(Lam(LamVar("y"), LVar("y", I()), fII), PVar("x", I()), I())));
    EXPECT_FALSE(flexibleHead(Tupl({}, mkTupleType({}))));
}

}  // namespace
}  // namespace plim
