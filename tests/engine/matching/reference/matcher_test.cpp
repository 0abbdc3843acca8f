#include "engine/matching/reference/matcher.h"

#include <gtest/gtest.h>

#include "engine/matching/match_corpus.h"
#include "engine/matching/reference/matcher_test_util.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using namespace reftest;
using namespace ref;

const Type fII = fn(I(), I());
const Type fIII = fn(I(), fII);

// "candidate ; problems ; first free name" for each candidate.
std::string candidateTexts(const AppCandidates& cs) {
    std::string out;
    for (const AppCandidate& c : toVector(cs, 50)) {
        out += showExpr(unconvert(c.candidate)) + " ;";
        for (const Problem& p : c.problems)
            out += " " + showExpr(unconvert(p.pattern)) + "~" + showExpr(unconvert(p.term));
        out += " ; " + c.supply.vars.head() + "\n";
    }
    return out;
}

TEST(RefOneStep, CandidateOrderForAnApplicationAgainstAnApplication) {
    // F x against g y: decomposition, identity, abstraction of g, (that of y alone is an eta
    // redex), then the constant abstraction.
    const Term x = PVar("x", I());
    const Term t = convertClosed(ap(k("g", fII), k("y")));
    EXPECT_EQ(candidateTexts(appRuleCandidates(AppRule::OneStep, true, x, t, initialNameSupply())),
              "g ; x~y ; a\n"
              "(\\ a -> a) ; x~g y ; b\n"
              "(\\ a -> a y) ; x~g ; b\n"
              "(\\ a -> g y) ; ; b\n");
    EXPECT_EQ(texts(oneStepMatch(ap(v("F", fII), v("x")), atTop(ap(k("g", fII), k("y"))), initialNameSupply()).results),
              "F=g, x=y|F=(\\ a -> a), x=g y|F=(\\ a -> g y)");
}

TEST(RefOneStep, RepeatedSubtermsInPowersetOrder) {
    // h y y: the occurrences of y abstracted second alone (an eta redex, dropped), first
    // alone, both.
    const Term x = PVar("x", I());
    const Term t = convertClosed(ap(k("h", fIII), k("y"), k("y")));
    EXPECT_EQ(candidateTexts(appRuleCandidates(AppRule::OneStep, true, x, t, initialNameSupply())),
              "h y ; x~y ; a\n"
              "(\\ a -> a) ; x~h y y ; b\n"
              "(\\ a -> a y) ; x~h y ; b\n"
              "(\\ a -> a y y) ; x~h ; b\n"
              "(\\ a -> h a y) ; x~y ; b\n"
              "(\\ a -> h a a) ; x~y ; b\n"
              "(\\ a -> h y y) ; ; b\n");
}

TEST(RefOneStep, SubtermsMentioningInnerBinderAreNotAbstracted) {
    // \z -> g z: g z and z mention z and are never abstracted.  The whole term equals g up
    // to eta, so both form one group: abstracting g alone leaves an eta redex, and abstracting
    // both at once would replace inside a replaced subterm; neither is offered.
    const Term x = PVar("x", fII);
    const Term t = convertClosed(lam("z", I(), ap(k("g", fII), v("z"))));
    EXPECT_EQ(candidateTexts(appRuleCandidates(AppRule::OneStep, true, x, t, initialNameSupply())),
              "(\\ a -> a) ; x~(\\ z -> g z) ; b\n"
              "(\\ a z -> g z) ; ; b\n");
    // A subterm that mentions only variables bound outside the term is abstracted.
    const TermCtx inCtx{ap(k("g", fII), v("u")), {{"u", I()}}};
    EXPECT_EQ(texts(oneStepMatch(ap(v("F", fII), v("x")), inCtx, initialNameSupply()).results),
              "F=g, x=u|F=(\\ a -> a), x=g u|F=(\\ a -> g u)");
}

TEST(RefOneStep, SupplyComesBackWhenNothingMatches) {
    NameSupply supply{varNames().drop(5), varNames().drop(7)};
    const MatchRun run = oneStepMatch(v("x", boolType()), atTop(num(1)), supply);
    EXPECT_TRUE(run.results.empty());
    EXPECT_EQ(run.rest->vars.head(), "f");
    EXPECT_EQ(run.rest->tyvars.head(), "h");
    // A simple match never draws names: it runs from empty lists.
    EXPECT_EQ(texts(simpleMatch(v("x"), num(1))), "x=1");
}

TEST(RefOneStep, AbstractionsDrawTheFirstName) {
    const MatchRun run = oneStepMatch(ap(v("F", fII), v("x")), atTop(num(1)), initialNameSupply());
    EXPECT_EQ(texts(run.results), "F=(\\ a -> a), x=1|F=(\\ a -> 1)");
    EXPECT_EQ(run.rest->vars.head(), "b");
}

TEST(RefOneStep, InitialBindingsAndContexts) {
    const MatchResult b{{{"x", num(1)}}, identitySubst()};
    const Expr p = ap(v("F", fII), v("x"));
    const MatchRun run = oneStepMatchWith(b, atTop(p), atTop(ap(k("g", fII), num(1))), initialNameSupply());
    EXPECT_EQ(texts(run.results), "F=g, x=1|F=(\\ a -> g 1), x=1");
    // A context variable of the term is fixed: it is matched as itself and comes back as a variable.
    const TermCtx inCtx{ap(k("g", fII), v("y")), {{"y", I()}}};
    const MatchRun withCtx = oneStepMatch(p, inCtx, initialNameSupply());
    EXPECT_EQ(texts(withCtx.results, 1), "F=g, x=y");
    EXPECT_TRUE(withCtx.results.head().subst[1].second.isVar());
    // A pattern bound list fixes the pattern's variable of that name.
    EXPECT_EQ(texts(simpleMatchWith(emptyMatch(), TermCtx{v("y"), {{"y", I()}}}, inCtx)), "");
    EXPECT_EQ(texts(simpleMatchWith(emptyMatch(), TermCtx{v("y"), {{"y", I()}}}, TermCtx{v("y"), {{"y", I()}}})), "");
}

TEST(RefTwoStep, PatternOutsideTheClassMatchesOneStep) {
    const Expr p = ap(v("F", fII), v("x"));
    const Expr t = plus(ap(k("g", fII), num(1)), ap(k("g", fII), num(2)));
    EXPECT_EQ(texts(twoStepMatch(p, atTop(t), initialNameSupply()).results),
              texts(oneStepMatch(p, atTop(t), initialNameSupply()).results));
}

TEST(RefTwoStep, FlexibleHeadOffersConstantAbstractionFirst) {
    const Expr p = ap(v("F", fII), num(1));
    const Expr t = plus(ap(k("g", fII), num(1)), ap(k("g", fII), num(2)));
    const MatchRun run = twoStepMatch(p, atTop(t), initialNameSupply());
    EXPECT_EQ(texts(run.results), "F=(\\ a -> g 1 + g 2)|F=(\\ a -> g a + g 2)");
    EXPECT_EQ(run.rest->vars.head(), "b");
    // No instance of the argument in the term: the constant abstraction alone.
    EXPECT_EQ(texts(twoStepMatch(p, atTop(ap(k("g", fII), num(2))), initialNameSupply()).results), "F=(\\ a -> g 2)");
}

TEST(RefTwoStep, RigidHeadOnlyDecomposes) {
    const Term x = PVar("x", I());
    const Term t = convertClosed(ap(k("g", fII), k("y")));
    EXPECT_EQ(candidateTexts(appRuleCandidates(AppRule::TwoStep, false, x, t, initialNameSupply())), "g ; x~y ; a\n");
    EXPECT_EQ(candidateTexts(appRuleCandidates(AppRule::TwoStep, false, x, convertClosed(k("y")), initialNameSupply())),
              "");
    // Also when the argument is a tuple: its pattern variables are bound by decomposition.
    const Type pairT = mkTupleType({I(), I()});
    const Expr fst = k("FST", fn(pairT, I()));
    EXPECT_EQ(texts(twoStepMatch(ap(fst, pair(v("a"), v("b"))), atTop(ap(fst, pair(num(1), num(2)))), initialNameSupply())
                        .results),
              "a=1, b=2");
}

TEST(RefTwoStep, PairArgumentGivesTupleBinders) {
    // F (y1, y2) against c 1 2: the components are abstracted one after the other.
    const Type pairT = mkTupleType({I(), I()});
    const Term x = convertClosed(pair(num(1), num(2)));
    const Term t = convertClosed(ap(k("c", fIII), num(1), num(2)));
    const auto cs = toVector(appRuleCandidates(AppRule::TwoStep, true, x, t, initialNameSupply()));
    ASSERT_FALSE(cs.empty());
    const Term& first = cs.front().candidate;
    ASSERT_TRUE(first.is(TermKind::Lam));
    EXPECT_FALSE(first.binder().isVar());
    EXPECT_EQ(first.type(), fn(pairT, I()));
    // The second component is abstracted out of the body the first left; an eta-contracted
    // candidate of the second is opened again with a fresh name (here "c").
    std::string shown;
    for (const AppCandidate& c : cs) shown += showExpr(unconvert(c.candidate)) + "\n";
    EXPECT_EQ(shown, "(\\ (a, b) -> c 1 2)\n(\\ (a, c) -> c 1 c)\n(\\ (a, b) -> c a 2)\n(\\ (a, c) -> c a c)\n");
    const MatchResults rs = twoStepMatch(ap(v("F", fn(pairT, I())), pair(num(1), num(2))),
                                         atTop(ap(k("c", fIII), num(1), num(2))), initialNameSupply())
                                .results;
    for (const MatchResult& r : toVector(rs))
        EXPECT_TRUE(resultHolds(ap(v("F", fn(pairT, I())), pair(num(1), num(2))), ap(k("c", fIII), num(1), num(2)), r));
}

TEST(RefSearch, FirstResultOfAHugeSearchComesAtOnce) {
    // 24 occurrences of y: 2^24 subsets for one group alone.
    Expr t = k("h", I());
    Type ty = I();
    for (int i = 0; i < 24; ++i) ty = fn(I(), ty);
    t = k("h", ty);
    for (int i = 0; i < 24; ++i) t = ap(t, k("y"));
    const MatchRun run = oneStepMatch(ap(v("F", fII), v("x")), atTop(t), initialNameSupply());
    EXPECT_EQ(toVector(run.results, 3).size(), 3u);
    const MatchRun two = twoStepMatch(ap(v("F", fII), k("y")), atTop(t), initialNameSupply());
    EXPECT_EQ(toVector(two.results, 2).size(), 2u);
}

TEST(RefSearch, LongSpinesMatchOnTheLargeStack) {
    runOnLargeStack([] {
        const int n = test::inputSize(100000);
        Expr list = mkCon(mkNul(), mkListType(I()));
        const Expr consOp = mkCon(mkBinop(Op::Cons), fn(I(), fn(mkListType(I()), mkListType(I()))));
        for (int i = 0; i < n; ++i) list = ap(consOp, num(i % 3), list);
        const Expr p = ap(consOp, v("h"), v("rest", mkListType(I())));
        const MatchResults rs = simpleMatch(p, list);
        ASSERT_FALSE(rs.empty());
        EXPECT_EQ(rs.head().subst.size(), 2u);
        EXPECT_TRUE(simpleMatch(list, list).head().subst.empty());
        // A left-deep operator chain: the worklist grows with every step of the spine.
        Expr chainP = v("x"), chainT = num(7);
        for (int i = 0; i < n; ++i) {
            chainP = plus(chainP, num(i % 5));
            chainT = plus(chainT, num(i % 5));
        }
        EXPECT_EQ(texts(simpleMatch(chainP, chainT)), "x=7");
        const MatchResults first = oneStepMatch(p, atTop(list), initialNameSupply()).results;
        ASSERT_FALSE(first.empty());
        EXPECT_TRUE(first.head().subst[1].second.sameNode(list.arg()) || exprEq({}, {}, first.head().subst[1].second, list.arg()));
    });
}

TEST(RefCheck, EveryCorpusResultHolds) {
    std::size_t checked = 0;
    for (const corpus::MatchCase& c : test::sampled(corpus::matchCorpus())) {
        const TermCtx t{c.term, c.termContext};
        std::vector<MatchResults> lists;
        lists.push_back(oneStepMatch(c.pattern, t, initialNameSupply()).results);
        lists.push_back(twoStepMatch(c.pattern, t, initialNameSupply()).results);
        lists.push_back(simpleMatchWith(emptyMatch(), atTop(c.pattern), t));
        for (const MatchResults& rs : lists)
            for (const MatchResult& r : toVector(rs, 200)) {
                EXPECT_TRUE(resultHolds(c.pattern, c.term, r)) << c.label << "\n" << showSubst(r.subst);
                ++checked;
            }
    }
    EXPECT_GT(checked, std::size_t(test::rounds(200)));
}

TEST(RefCheck, ShadowedBindersAreNamedApart) {
    // \x -> \x -> x (the second argument) does not match \a -> \b -> a (the first): pairing
    // the binders renames without capture.
    const Expr p = lam("x", I(), lam("x", I(), v("x")));
    const Expr t = lam("a", I(), lam("b", I(), v("a")));
    EXPECT_EQ(length(simpleMatch(p, t)), 0u);
    // The other way round as well.
    EXPECT_EQ(length(simpleMatch(lam("x", I(), lam("y", I(), v("x"))), lam("a", I(), lam("a", I(), v("a"))))), 0u);
    // And the matching pairs still match, with nothing bound.
    const MatchResults same = simpleMatch(p, lam("a", I(), lam("b", I(), v("b"))));
    ASSERT_EQ(length(same), 1u);
    EXPECT_TRUE(same.head().subst.empty());
    EXPECT_TRUE(resultHolds(p, lam("a", I(), lam("b", I(), v("b"))), same.head()));
}

}  // namespace
}  // namespace plim
