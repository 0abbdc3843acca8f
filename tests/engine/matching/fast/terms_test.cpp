// Fast matcher terms: printed forms, term operations, conversion both ways, positions,
// replacement and equality.
#include <gtest/gtest.h>

#include "engine/matching/fast/matcher.h"
#include "engine/matching/match_corpus.h"
#include "support/big_stack.h"
#include "support/errors.h"
#include "support/failure_text.h"
#include "support/sanitizer_build.h"

namespace plim::fast {
namespace {

const Type Int = intType();
const Type IntToInt = mkArrow(intType(), intType());

TEST(FastTermsPrinting, ConstructorsStepsAndBindersPrintInDerivedForm) {
    EXPECT_EQ(showList(Path{First, TupElem(2)}), "[First,TupElem 2]");
    EXPECT_EQ(show(LamTup({LamVar("x"), LamVar("y")})), "LamTup [LamVar \"x\",LamVar \"y\"]");
    EXPECT_EQ(show(TupElem(-1)), "TupElem (-1)");
    std::string at11;
    appendStep(at11, 11, TupElem(-1));
    EXPECT_EQ(at11, "(TupElem (-1))");
    EXPECT_EQ(show(First), "First");
    EXPECT_EQ(show(PVar("a\"b\\", Int)), "PVar \"a\\\"b\\\\\" (TCon \"Int\" [])");
    EXPECT_EQ(show(Tupl({}, mkTupleType({}))), "Tupl [] (TCon \"Tuple0\" [])");
    EXPECT_EQ(show(LamTup({})), "LamTup []");
    const Term ap = Ap(LVar("f", IntToInt), Con(mkNumber(1), Int), Int);
    std::string apText;
    appendTerm(apText, 11, ap);
    EXPECT_EQ(apText,
              "(Ap (LVar \"f\" (TCon \"Arrow\" [TCon \"Int\" [],TCon \"Int\" []])) (Con (Number 1) (TCon \"Int\" [])) "
              "(TCon \"Int\" []))");
    EXPECT_EQ(show(Lam(LamVar("x"), LVar("x", Int), IntToInt)),
              "Lam (LamVar \"x\") (LVar \"x\" (TCon \"Int\" [])) (TCon \"Arrow\" [TCon \"Int\" [],TCon \"Int\" []])");
}

TEST(FastTermsOperations, LeadingLambdasOpenAndOccurrences) {
    const Term t = Lam(LamVar("x"), Ap(LVar("x", IntToInt), LVar("y", Int), Int), mkArrow(IntToInt, Int));
    const Term opened = openLeadingLams(t);
    EXPECT_TRUE(opened.is(TermKind::Ap));
    EXPECT_TRUE(opened.fun().is(TermKind::PVar));
    EXPECT_TRUE(opened.arg().is(TermKind::LVar));
    const auto vars = leadingLamVars(t);
    ASSERT_EQ(vars.size(), 1u);
    EXPECT_EQ(show(vars[0]), show(PVar("x", IntToInt)));
    EXPECT_FALSE(occursLVar("x", PVar("x", Int)));
    EXPECT_TRUE(occursLVar("y", t));
    EXPECT_TRUE(First == First);
    EXPECT_TRUE(TupElem(1) == TupElem(1));
    EXPECT_FALSE(TupElem(1) == TupElem(2));
    EXPECT_FALSE(Body == First);
    // An inner lambda that binds x again keeps its x bound.
    const Term inner = Lam(LamVar("x"), LVar("x", Int), IntToInt);
    EXPECT_TRUE(freeLVar("x", Ap(inner, LVar("x", Int), Int)).fun().body().is(TermKind::LVar));
    EXPECT_TRUE(freeLVar("x", Ap(inner, LVar("x", Int), Int)).arg().is(TermKind::PVar));
}

TEST(FastTermsConversion, VariablesLambdasAndTuples) {
    using namespace corpus::detail;
    EXPECT_TRUE(convertPrime({}, var("x", I())).is(TermKind::PVar));
    EXPECT_TRUE(convertPrime({"x"}, var("x", I())).is(TermKind::LVar));
    const Term same = convertPrime({}, lam("x", I(), var("x", I())));
    EXPECT_TRUE(same.body().is(TermKind::LVar));
    EXPECT_TRUE(convertPrime({}, lam("x", I(), var("y", I()))).body().is(TermKind::PVar));

    // \(x, (y, z)) -> x + y + z binds x, y and z in that order.
    const Expr inner = pair(var("y", I()), var("z", I()));
    const Expr pat = pair(var("x", I()), inner);
    const Expr body = plus(plus(var("x", I()), var("y", I())), var("z", I()));
    const Term l = convertPrime({}, mkLam(pat, body, mkArrow(pat.type(), I())));
    EXPECT_EQ(show(l.binder()), "LamTup [LamVar \"x\",LamTup [LamVar \"y\",LamVar \"z\"]]");
    EXPECT_TRUE(freeLocalsOf(l).empty());
    EXPECT_EQ(binders(convertPrime({}, pat)).second, (std::vector<std::string>{"x", "y", "z"}));

    // A constant as lambda pattern is refused when the binder is examined; with a variable
    // in the body, at once.
    const Term refused = convertPrime({}, mkLam(num(3), num(4), IntToInt));
    EXPECT_EQ(failureMessage([&] { (void)refused.binder().kind(); }), "can't handle non-variable/tuple lambda bindings");
    EXPECT_EQ(failureMessage([&] { convertPrime({}, mkLam(num(3), var("y", I()), IntToInt)); }),
              "can't handle non-variable/tuple lambda bindings");

    // A saturated pair is one node; back again it is the pair constant applied twice.
    const Expr p2 = pair(num(1), var("b", mkTid("t")));
    const Term tp = convertPrime({}, p2);
    ASSERT_TRUE(tp.is(TermKind::Tupl));
    EXPECT_EQ(tp.elems().size(), 2u);
    const Expr back = convert(tp);
    EXPECT_TRUE(exprEq({}, {}, back, p2));
    EXPECT_EQ(typeText(back.fun().fun().type()),
              typeText(mkArrow(I(), mkArrow(mkTid("t"), mkTupleType({I(), mkTid("t")})))));

    // Partial and over-applied tuples.
    const Expr triple = mkCon(mkTuple(3), mkArrow(I(), mkArrow(I(), mkArrow(I(), mkTupleType({I(), I(), I()})))));
    const Term partial = convertPrime({}, ap(triple, num(1), num(2)));
    EXPECT_TRUE(partial.is(TermKind::Ap) && partial.fun().fun().is(TermKind::Con));
    const Type pairToInt = mkTupleType({I(), I()});
    const Expr over = mkAp(mkAp(mkAp(mkCon(mkTuple(2), mkArrow(I(), mkArrow(I(), mkArrow(pairToInt, I())))), num(1),
                                     mkArrow(I(), mkArrow(pairToInt, I()))),
                                num(2), mkArrow(pairToInt, I())),
                           pair(num(3), num(4)), I());
    const Term overT = convertPrime({}, over);
    ASSERT_TRUE(overT.is(TermKind::Ap));
    EXPECT_TRUE(overT.fun().is(TermKind::Tupl));
    EXPECT_TRUE(overT.arg().is(TermKind::Tupl));
    EXPECT_TRUE(convertPrime({}, triple).is(TermKind::Con));

    const Expr let = mkLet(mkDList(mkNoDef()), num(1), I());
    EXPECT_EQ(failureMessage([&] { convertPrime({}, let); }), "FastMatching:167: Non-exhaustive patterns in function convert'\n");
}

TEST(FastTermsConversion, RoundTripOverTheCorpusAndBindingsInNameOrder) {
    for (const auto& c : corpus::matchCorpus()) {
        EXPECT_TRUE(exprEq({}, {}, convert(convertPrime({}, c.pattern)), c.pattern)) << c.label;
        EXPECT_TRUE(exprEq({}, {}, convert(convertPrime(contextNames(c.termContext), c.term)), c.term)) << c.label;
    }
    TermSubst s;
    for (const char* n : {"m", "b", "z", "a"})
        s.bindings.bind(n, Con(mkNumber(1), Int));
    const MatchResult r = convertBindings(s);
    ASSERT_EQ(r.subst.size(), 4u);
    EXPECT_EQ(r.subst[0].first, "a");
    EXPECT_EQ(r.subst[3].first, "z");
    EXPECT_TRUE(convertBindings(TermSubst{}).subst.empty());
}

TEST(FastTermsConversion, TupleBinderTypesFollowTheShorterList) {
    const LamBinding three = LamTup({LamVar("x"), LamVar("y"), LamVar("z")});
    const Expr pat = binderPattern(mkTupleType({Int, Int}), three);
    EXPECT_EQ(fast::saturatedTupleArgs(pat)->size(), 2u);
    // The empty tuple is Tuple 0 applied to all of its no arguments; converted, it stays a Con.
    const Expr unit = mkCon(mkTuple(0), mkTupleType({}));
    ASSERT_TRUE(fast::saturatedTupleArgs(unit).has_value());
    EXPECT_TRUE(fast::saturatedTupleArgs(unit)->empty());
    EXPECT_TRUE(convertPrime({}, unit).is(TermKind::Con));
    EXPECT_FALSE(fast::saturatedTupleArgs(mkCon(mkTuple(2), Int)).has_value());
    EXPECT_EQ(failureMessage([&] { binderPattern(Int, three); }),
              "FastMatching:239: Non-exhaustive patterns in function gettupletypes\n");
}

TEST(FastTermsPositions, PreOrderPathsAndReplacement) {
    const Term k = Con(mkNumber(7), Int);
    const Term a = Ap(LVar("f", IntToInt), k, Int);
    const PositionTable ps(a);
    ASSERT_EQ(ps.size(), 3u);
    EXPECT_TRUE(ps.path(0).empty());
    EXPECT_EQ(showList(ps.path(1)), "[First]");
    EXPECT_EQ(showList(ps.path(2)), "[Second]");
    const Term tup = Tupl({k, k}, mkTupleType({Int, Int}));
    const PositionTable tps(tup);
    EXPECT_EQ(showList(tps.path(1)), "[TupElem 0]");
    EXPECT_EQ(showList(tps.path(2)), "[TupElem 1]");

    EXPECT_EQ(failureMessage([&] { replaceAt({Body}, a, k); }),
              "invalid replace:\ne=" + show(a) + "\nl=[Body]\nr=" + show(k) + "\n");
    // An index outside the tuple gives the same dump instead of reading past the elements.
    EXPECT_EQ(failureMessage([&] { replaceAt({TupElem(2)}, tup, k); }),
              "invalid replace:\ne=" + show(tup) + "\nl=[TupElem 2]\nr=" + show(k) + "\n");
    EXPECT_EQ(show(replaceAt({Second}, a, LVar("y", Int))), show(Ap(LVar("f", IntToInt), LVar("y", Int), Int)));
    EXPECT_EQ(show(replaceAt({}, a, k)), show(k));

    const Term lam = Lam(LamVar("x"), Ap(LVar("x", IntToInt), LVar("y", Int), Int), mkArrow(IntToInt, Int));
    EXPECT_EQ(freeLocalsOf(lam), std::vector<std::string>{"y"});
}

// Replacing at several paths at once gives what replacing at each in turn gives, whatever
// the order and when one path lies inside another, and a deep spine shared by many paths
// keeps its other branches.
TEST(FastTermsPositions, ReplacingAtManyPathsIsReplacingAtEachInTurn) {
    const Term k = Con(mkNumber(7), Int);
    const Term r = LVar("r", Int);
    const Type triple = mkTupleType({Int, Int, Int});
    const Term g = Ap(LVar("g", IntToInt), k, Int);
    const Term tup = Tupl({k, g, k}, triple);
    const Term t = Lam(LamVar("x"), Ap(LVar("f", mkArrow(triple, Int)), tup, Int), mkArrow(Int, Int));
    const Path first{Body, Second, TupElem(0)};
    const Path inner{Body, Second, TupElem(1), Second};
    const Path last{Body, Second, TupElem(2)};
    const Path middle{Body, Second, TupElem(1)};
    auto inTurn = [&](const std::vector<Path>& ps) {
        Term out = t;
        for (const Path& p : ps) out = replaceAt(p, out, r);
        return show(out);
    };
    for (const std::vector<Path>& ps : std::vector<std::vector<Path>>{
             {}, {first}, {first, inner, last}, {last, first}, {inner, middle}, {inner, middle, first}, {first, {}}})
        EXPECT_EQ(show(replaceAll(ps, r, t)), inTurn(ps)) << showList(ps.empty() ? Path() : ps.front());
    EXPECT_EQ(failureMessage([&] { replaceAll({first, {Body, First, Body}}, r, t); }),
              failureMessage([&] { replaceAt({Body, First, Body}, replaceAt(first, t, r), r); }));

    // A spine of lambdas a thousand deep with an occurrence hanging off every level.
    const std::size_t depth = 1000;
    Term deep = k;
    std::vector<Path> ps;
    Path spine;
    for (std::size_t i = 0; i < depth; ++i) {
        deep = Lam(LamVar("x"), Tupl({k, deep}, mkTupleType({Int, deep.type()})),
                   mkArrow(Int, mkTupleType({Int, deep.type()})));
    }
    for (std::size_t i = 0; i < depth; ++i) {
        spine.push_back(Body);
        Path p = spine;
        p.push_back(TupElem(0));
        ps.push_back(p);
        spine.push_back(TupElem(1));
    }
    Term byOne = deep;
    for (const Path& p : ps) byOne = replaceAt(p, byOne, r);
    EXPECT_TRUE(termEq(replaceAll(ps, r, deep), byOne));
}

// A small application or lambda rebuilt around the very same child comes back as the very
// same node (the candidates of a search rebuild the same spines again and again); another
// child, or another parent, gives another node with the right parts.
TEST(FastTermsPositions, RebuildingAroundTheSameChildGivesTheSameNode) {
    const Term k = Con(mkNumber(7), Int);
    const Term r = LVar("r", Int);
    const Term s = LVar("s", Int);
    const Term t = Lam(LamVar("x"), Ap(LVar("f", IntToInt), k, Int), IntToInt);
    const Path at{Body, Second};
    const Term once = replaceAt(at, t, r);
    const Term again = replaceAt(at, t, r);
    EXPECT_TRUE(once.sameNode(again));
    EXPECT_TRUE(once.body().sameNode(again.body()));
    EXPECT_TRUE(replaceAll(std::vector<Path>{at}, r, t).sameNode(once));
    const Term other = replaceAt(at, t, s);
    EXPECT_FALSE(other.sameNode(once));
    EXPECT_EQ(show(other), show(Lam(LamVar("x"), Ap(LVar("f", IntToInt), s, Int), IntToInt)));
    const Term u = Lam(LamVar("y"), Ap(LVar("f", IntToInt), k, Int), IntToInt);
    const Term fromOther = replaceAt(at, u, r);
    EXPECT_FALSE(fromOther.sameNode(once));
    EXPECT_EQ(show(fromOther), show(Lam(LamVar("y"), Ap(LVar("f", IntToInt), r, Int), IntToInt)));
    EXPECT_EQ(show(once), show(Lam(LamVar("x"), Ap(LVar("f", IntToInt), r, Int), IntToInt)));
}

// A small tuple rebuilt with the very same element at the same position again is the node
// built the first time; another position, another tuple or another element gives its own
// tuple; and many more rebuilt tuples than the thread keeps still come out right.
TEST(FastTermsPositions, RebuiltTuplesAreSharedByTupleElementAndPosition) {
    const Term one = Con(mkNumber(1), Int);
    const Term two = Con(mkNumber(2), Int);
    const Type triple = mkTupleType({Int, Int, Int});
    const Term t = Tupl({one, two, one}, triple);
    const Term x = LVar("x", Int);
    const Term atFirst = replaceAt({TupElem(0)}, t, x);
    EXPECT_TRUE(replaceAt({TupElem(0)}, t, x).sameNode(atFirst));
    EXPECT_EQ(show(atFirst), show(Tupl({x, two, one}, triple)));
    EXPECT_EQ(show(replaceAt({TupElem(2)}, t, x)), show(Tupl({one, two, x}, triple)));
    EXPECT_EQ(show(replaceAt({TupElem(0)}, Tupl({one, two, two}, triple), x)), show(Tupl({x, two, two}, triple)));
    EXPECT_EQ(show(replaceAt({TupElem(0)}, t, LVar("y", Int))), show(Tupl({LVar("y", Int), two, one}, triple)));
    // The element put in may be the very node that another position holds: (two, two, one) is
    // kept, and putting `two` at its own place gives the tuple as it was.
    const Term twoAtFirst = replaceAt({TupElem(0)}, t, two);
    EXPECT_EQ(show(twoAtFirst), show(Tupl({two, two, one}, triple)));
    EXPECT_EQ(show(replaceAt({TupElem(1)}, t, two)), show(t));
    for (std::int32_t i = 0; i < 5000; ++i) {
        const Term n = Con(mkNumber(i), Int);
        const Term u = replaceAt({TupElem(1)}, Tupl({one, n, n}, triple), x);
        ASSERT_EQ(show(u), show(Tupl({one, x, n}, triple))) << i;
    }
    EXPECT_EQ(show(replaceAt({TupElem(0)}, t, x)), show(atFirst));
}

TEST(FastTermsEquality, UpToRenamingAndEta) {
    const Term idx = Lam(LamVar("x"), LVar("x", Int), IntToInt);
    const Term idy = Lam(LamVar("y"), LVar("y", Int), IntToInt);
    EXPECT_TRUE(termEq(idx, idy));
    EXPECT_FALSE(termEq(idx, Lam(LamVar("y"), LVar("x", Int), IntToInt)));
    // \x -> g x equals g.
    const Term g = LVar("g", IntToInt);
    EXPECT_TRUE(termEq(Lam(LamVar("x"), Ap(g, LVar("x", Int), Int), IntToInt), g));
    // \x -> x x is no eta redex.
    const Term xx = Lam(LamVar("x"), Ap(LVar("x", IntToInt), LVar("x", Int), Int), IntToInt);
    EXPECT_TRUE(etaReduce(xx).sameNode(xx));
    // Types are compared.
    EXPECT_FALSE(termEq(Con(mkNumber(1), Int), Con(mkNumber(1), boolType())));
    EXPECT_TRUE(termEq(PVar("a", Int), PVar("a", Int)));
}

TEST(FastTermsRenaming, FreezingAndRenamingLeaveBoundOccurrencesAndCaptureNothing) {
    // (\ y -> y) applied to y: only the free y is frozen, and thawed back.
    const Term inner = Lam(LamVar("y"), LVar("y", Int), IntToInt);
    const Term t = Ap(inner, LVar("y", Int), Int);
    const Term frozen = freezeLocals({"y"}, t);
    EXPECT_EQ(show(frozen), show(Ap(inner, Con(mkConstr("y"), Int), Int)));
    EXPECT_EQ(show(thawLocals({"y"}, frozen)), show(t));
    const Term aside = freezeLocalsAs({{"y", " y"}}, t);
    EXPECT_EQ(show(aside), show(Ap(inner, Con(mkConstr(" y"), Int), Int)));
    EXPECT_EQ(show(thawLocalsAs({{"y", " y"}}, aside)), show(t));
    // y renamed to z under \ z -> y + z: the inner binder becomes z1 first.
    const Term plus = Con(mkBinop(Op::Plus), mkArrow(Int, IntToInt));
    auto sum = [&](const Term& a, const Term& b) { return Ap(Ap(plus, a, IntToInt), b, Int); };
    const Term body = Lam(LamVar("z"), sum(LVar("y", Int), LVar("z", Int)), IntToInt);
    NamesInUse used({&body});
    EXPECT_EQ(show(renameFreeLocals({{"y", "z"}}, body, used)),
              show(Lam(LamVar("z1"), sum(LVar("z", Int), LVar("z1", Int)), IntToInt)));
    // A binder that shadows the renamed name keeps its occurrences.
    NamesInUse none({&inner});
    EXPECT_EQ(show(renameFreeLocals({{"y", "w"}}, inner, none)), show(inner));
    // The plain renamings take (old, new), as the reference matcher's: a pair of them swaps.
    const Term ab = Ap(Ap(plus, LVar("a", Int), IntToInt), LVar("b", Int), Int);
    EXPECT_EQ(show(renameLocals({{"a", "b"}, {"b", "a"}}, ab)), show(sum(LVar("b", Int), LVar("a", Int))));
    EXPECT_EQ(show(renameLocal("y", "w", t)), show(Ap(inner, LVar("w", Int), Int)));
    EXPECT_EQ(bindersOnPath(Ap(body, Con(mkNumber(1), Int), Int), Path{First, Body, Second}),
              std::vector<std::string>{"z"});
}

TEST(FastTermsSelfTyped, AProblemThatMustMeetAVariableAppliedToItselfMatchesNothing) {
    // g g as the checker leaves it: both g typed a, the application some other type.
    const Type a = mkTid("a");
    const Term g = PVar("g", a);
    const Term gg = Ap(g, g, Int);
    const Term one = Con(mkNumber(1), Int);
    EXPECT_TRUE(problemMatchesNothing(gg, one));
    // Met whatever is bound: the function part of any application, both parts under a rigid
    // head, a lambda's body, every element of a tuple.
    const Term q = PVar("q", mkArrow(Int, Int));
    const Term k = Con(mkConstr("k"), mkArrow(Int, Int));
    EXPECT_TRUE(problemMatchesNothing(Ap(Ap(gg, one, Int), one, Int), one));
    EXPECT_TRUE(problemMatchesNothing(Ap(k, gg, Int), one));
    EXPECT_TRUE(problemMatchesNothing(Lam(LamVar("x"), gg, IntToInt), one));
    EXPECT_TRUE(problemMatchesNothing(Tupl({one, gg}, mkTupleType({Int, Int})), one));
    // Not met when a flexible head may drop its argument, nor when the variable's type does
    // not hold itself.
    EXPECT_FALSE(problemMatchesNothing(Ap(q, gg, Int), one));
    EXPECT_FALSE(problemMatchesNothing(Ap(PVar("g", mkArrow(a, Int)), g, Int), one));
    EXPECT_FALSE(problemMatchesNothing(Ap(g, one, Int), one));
    // A term typed as loosely might match it; a term holding a pattern variable is left to the
    // search, which reports it.
    const Term kk = Ap(Con(mkConstr("k"), a), Con(mkConstr("k"), a), Int);
    EXPECT_FALSE(problemMatchesNothing(gg, Ap(k, kk, Int)));
    EXPECT_FALSE(problemMatchesNothing(gg, PVar("h", Int)));
    // A variable bound by a scheme inside the argument's type is another variable.
    const Term scheme = PVar("s", mkTAbs({"a"}, mkArrow(a, a)));
    EXPECT_FALSE(problemMatchesNothing(Ap(g, scheme, Int), one));
    EXPECT_TRUE(problemMatchesNothing(Ap(g, PVar("l", mkListType(a)), Int), one));
}

TEST(FastTermsDeep, LongListsAndDeepLambdasConvertMatchAndFree) {
    runOnLargeStack([] {
        using namespace corpus::detail;
        const int length = test::inputSize(100000), depth = test::inputSize(10000);
        Expr list = nul();
        for (int i = 0; i < length; ++i) list = cons(num(i % 7), list);
        Expr lams = num(1);
        Type ty = I();
        for (int i = 0; i < depth; ++i) {
            ty = mkArrow(I(), ty);
            lams = mkLam(var("v" + std::to_string(i % 50), I()), lams, ty);
        }
        const Term lt = convertPrime({}, list);
        EXPECT_EQ(lt.size(), 4u * length + 1);
        const Term dt = convertPrime({}, lams);
        const auto r = toVector(fastSimpleMatch(PVar("xs", listT()), lt));
        ASSERT_EQ(r.size(), 1u);
        EXPECT_TRUE(exprEq({}, {}, convert(lt), list));
        EXPECT_EQ(toVector(fastSimpleMatch(PVar("f", ty), dt)).size(), 1u);
        EXPECT_TRUE(termEq(dt, dt));
        // A deep pattern against itself (each level is one problem after the other).
        Term inner = dt;
        for (int i = 0; i < depth * 4 / 5; ++i) inner = inner.body();
        EXPECT_EQ(toVector(fastSimpleMatch(inner, inner)).size(), 1u);
    });
}

// Conversion both ways, binding a pattern variable, the applicability tests and freeing walk
// a long list with explicit stacks, on the ordinary stack.
TEST(FastTermsDeep, LongListOnTheOrdinaryStack) {
    runOnLargeStack(
        [] {
            using namespace corpus::detail;
            Expr list = nul();
            for (int i = 0; i < test::inputSize(100000); ++i) list = cons(num(i % 7), list);
            const Term lt = convertPrime({"u"}, list);
            EXPECT_EQ(toVector(fastSimpleMatch(PVar("xs", listT()), lt)).size(), 1u);
            EXPECT_FALSE(fastApplicableExpr(F(var("x", I())), atTop(list)));
            EXPECT_FALSE(fastApplicable(convertPrime({}, F(var("x", I()))), lt));
            EXPECT_TRUE(fastApplicable(convertPrime({}, cons(num(6), var("xs", listT()))), lt));
            EXPECT_TRUE(freeLocalsOf(lt).empty());
            EXPECT_TRUE(convert(lt).isAp());
        },
        test::kOrdinaryStack);
}

// F (F (... (F leaf))), n applications.
Term chainOver(const Term& leaf, int n) {
    const Term f = Con(mkConstr("F"), IntToInt);
    Term t = leaf;
    for (int i = 0; i < n; ++i) t = Ap(f, std::move(t), Int);
    return t;
}

// Equality, eta normalisation and the two-step test on chains n applications deep.
void walkDeepChains(const int n) {
    const Term one = Con(mkNumber(1), Int);
    const Term ones = chainOver(one, n);
    EXPECT_TRUE(termEq(ones, chainOver(one, n)));
    EXPECT_FALSE(termEq(ones, chainOver(Con(mkNumber(2), Int), n)));
    // \ x -> \ y -> G (F (... (F x))) y contracts to \ x -> G (F (... (F x))).
    const Term g = Con(mkConstr("G"), mkArrow(Int, IntToInt));
    const Term body = Ap(g, chainOver(LVar("x", Int), n), IntToInt);
    const Term redex = Lam(LamVar("x"), Lam(LamVar("y"), Ap(body, LVar("y", Int), Int), IntToInt),
                           mkArrow(Int, IntToInt));
    const Term normal = etaNormalise(redex);
    ASSERT_TRUE(normal.is(TermKind::Lam));
    EXPECT_TRUE(normal.body().sameNode(body));
    EXPECT_TRUE(termEq(redex, Lam(LamVar("z"), Ap(g, chainOver(LVar("z", Int), n), IntToInt), mkArrow(Int, IntToInt))));
    // f (z 1 1 ... 1): the argument's constants lie off its long left spine.
    Term spine = LVar("z", Int);
    for (int i = 0; i < n; ++i) spine = Ap(std::move(spine), one, Int);
    EXPECT_TRUE(twoStepApplicable(Ap(PVar("f", IntToInt), spine, Int)));
    EXPECT_TRUE(twoStepApplicable(Ap(PVar("f", IntToInt), ones, Int)));
}

// These walk terms 300,000 applications deep with explicit stacks, on the ordinary stack.
TEST(FastTermsDeep, DeepChainsOnTheOrdinaryStack) {
    runOnLargeStack([] { walkDeepChains(test::inputSize(300000)); }, test::kOrdinaryStack);
}

// Replacing under tuple elements and a lambda's body contracts that lambda; tuples nested
// 100,000 deep are gone down and rebuilt on the ordinary stack.
TEST(FastTermsDeep, ReplacingUnderNestedTuplesAndEtaContracting) {
    const Term one = Con(mkNumber(1), Int);
    const Term g = Con(mkConstr("G"), IntToInt), h = Con(mkConstr("H"), IntToInt);
    const Term lam = Lam(LamVar("x"), Ap(g, LVar("x", Int), Int), IntToInt);
    const Term pair = Tupl({lam, one}, mkTupleType({IntToInt, Int}));
    const Term replaced = replaceAtEta({TupElem(0), Body, First}, pair, h);
    EXPECT_TRUE(termEq(replaced, Tupl({h, one}, mkTupleType({IntToInt, Int}))));
    EXPECT_TRUE(replaced.elems()[0].sameNode(h));
    Term nested = lam;
    const int n = 100000;
    for (int i = 0; i < n; ++i) nested = Tupl({nested, one}, mkTupleType({nested.type(), Int}));
    Path path(n, TupElem(0));
    path.push_back(Body);
    path.push_back(First);
    Term at = replaceAtEta(path, nested, h);
    for (int i = 0; i < n; ++i) at = at.elems()[0];
    EXPECT_TRUE(at.sameNode(h));
}

// A binder nesting tuples 100,000 deep, (x0, (x1, (... (xn-1, y)))), with its type, the
// argument it binds and its pattern.
struct DeepBinder {
    LamBinding binder = LamVar("y");
    Type type = Int;
    Term arg = LVar("y", Int);
    Expr pattern = mkVar("y", Int);
    int depth = test::inputSize(100000);

    DeepBinder() {
        for (int i = depth; i-- > 0;) {
            const std::string x = "x" + std::to_string(i);
            binder = LamTup({LamVar(x), binder});
            type = mkTupleType({Int, type});
            arg = Tupl({LVar(x, Int), arg}, type);
            pattern = mkTupleExpr({mkVar(x, Int), pattern});
        }
    }
};

// Its names, text, renaming, pairing with itself and with its argument, its rebuilding against
// its type and its release, on the ordinary stack.
TEST(FastTermsDeep, BindersNestedTuplesDeep) {
    DeepBinder d;
    LamBinding& b = d.binder;
    const std::size_t n = static_cast<std::size_t>(d.depth);
    const std::vector<std::string> names = binderNames(b);
    ASSERT_EQ(names.size(), n + 1);
    EXPECT_EQ(names.front(), "x0");
    EXPECT_EQ(names[1], "x1");
    EXPECT_EQ(names.back(), "y");
    const std::string text = show(b);
    EXPECT_TRUE(text.starts_with("LamTup [LamVar \"x0\",LamTup [LamVar \"x1\",LamTup ["));
    EXPECT_TRUE(text.ends_with("\",LamVar \"y\"" + std::string(n, ']')));
    std::string inParens;
    appendBinding(inParens, 11, LamTup({LamVar("a"), LamTup({})}));
    EXPECT_EQ(inParens, "(LamTup [LamVar \"a\",LamTup []])");
    EXPECT_EQ(binderNames(renameBinder(b, {{"y", "z"}, {"x1", "w"}}))[1], "w");
    EXPECT_EQ(binderNames(renameBinder(b, {{"y", "z"}})).back(), "z");
    const auto pairs = matchBinders(b, b);
    ASSERT_TRUE(pairs);
    EXPECT_EQ(pairs->size(), n + 1);
    EXPECT_EQ(pairs->back(), std::make_pair(std::string("y"), std::string("y")));
    EXPECT_FALSE(matchBinders(b, b.components()[1]));
    EXPECT_TRUE(binderIsArgument(b, d.arg));
    EXPECT_FALSE(binderIsArgument(b, d.arg.elems()[1]));
    EXPECT_TRUE(termEq(binderTerm(d.type, b), d.arg));
    Expr rebuilt = binderPattern(d.type, b);  // its types are built anew: compared level by level
    for (std::size_t i = 0; i < n; ++i) {
        const auto parts = saturatedTupleArgs(rebuilt);
        ASSERT_TRUE(parts && parts->size() == 2);
        rebuilt = (*parts)[1];
    }
    EXPECT_TRUE(exprEq({}, {}, rebuilt, mkVar("y", Int)));
    const Term f = Con(mkConstr("F"), mkArrow(d.type, Int));
    EXPECT_TRUE(etaReduce(Lam(b, Ap(f, d.arg, Int), mkArrow(d.type, Int))).sameNode(f));
    LamBinding copy = b;
    b = LamVar("q");  // the copy still holds the tuples
    EXPECT_EQ(binderNames(copy).size(), n + 1);
    copy = b;  // now released
    EXPECT_EQ(show(copy), "LamVar \"q\"");
}

// A lambda with that binder converted both ways and matched against itself.
TEST(FastTermsDeep, LambdaWithNestedTuplesDeepConvertsAndMatches) {
    const DeepBinder d;
    const Expr lam = mkLam(d.pattern, mkVar("y", Int), mkArrow(d.type, Int));
    const Term converted = convertPrime({}, lam);
    EXPECT_EQ(binderNames(converted.binder()).size(), std::size_t(d.depth) + 1);
    EXPECT_EQ(binderNames(convertPrime({}, convert(converted)).binder()).back(), "y");
    EXPECT_EQ(toVector(fastSimpleMatchExpr(lam, lam)).size(), 1u);
}

}  // namespace
}  // namespace plim::fast
