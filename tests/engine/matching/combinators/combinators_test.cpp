// The comparing, tracing, one-step-only and checking matchers around scripted matchers: the
// exact dumps on standard error, their order, and that nothing is written before results are
// examined.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/matching/combinators/combinators.h"
#include "engine/matching/matcher.h"
#include "lang/constants.h"

namespace plim {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const Type intT = intType();
Expr var(const std::string& n, const Type& t = intType()) { return mkVar(n, t); }
Expr num(std::int32_t n) { return mkCon(mkNumber(n), intType()); }

MatchResult bind(const std::string& n, const Expr& e) { return MatchResult{{{n, e}}, identitySubst()}; }

// A matcher whose match operations answer every call with the given results, noting in `log`
// which operation ran (when its results are examined).  Operations 3 to 6 leave the supply
// without its first variable name.
struct Script {
    std::vector<std::string> log;
};

MatcherRef scripted(const std::string& tag, std::vector<MatchResult> answer, std::shared_ptr<Script> script,
                    bool applicable = true) {
    auto results = [tag, answer, script](const std::string& op) {
        return MatchResults::defer([tag, answer, script, op] {
            script->log.push_back(tag + op);
            return fromVector(answer);
        });
    };
    auto run = [results](const std::string& op, const NameSupply& s) {
        return MatchRun{results(op), Lazy<NameSupply>::defer([s] { return NameSupply{s.vars.tail(), s.tyvars}; })};
    };
    Matcher m;
    m.matchSimple = [results](const Expr&, const Expr&) { return results("1"); };
    m.matchSimpleWith = [results](const MatchResult&, const TermCtx&, const TermCtx&) { return results("2"); };
    m.matchOneStep = [run](const Expr&, const TermCtx&, const NameSupply& s) { return run("3", s); };
    m.matchOneStepWith = [run](const MatchResult&, const TermCtx&, const TermCtx&, const NameSupply& s) {
        return run("4", s);
    };
    m.matchTwoStep = [run](const Expr&, const TermCtx&, const NameSupply& s) { return run("5", s); };
    m.matchTwoStepWith = [run](const MatchResult&, const TermCtx&, const TermCtx&, const NameSupply& s) {
        return run("6", s);
    };
    m.applicable = [applicable](const Expr&, const TermCtx&) { return applicable; };
    return std::make_shared<const Matcher>(std::move(m));
}

const Expr pat = mkAp(var("f", mkArrow(intType(), intType())), var("x"), intType());
const Expr term = mkAp(var("g", mkArrow(intType(), intType())), num(1), intType());
const std::string traceLine = "matching f x against g 1\n";

std::string firstName(const NameSupply& s) { return s.vars.head(); }

// --- tracing ----------------------------------------------------------------------------------

TEST(TraceMatcher, WritesOneLineWhenResultsAreFirstExamined) {
    auto script = std::make_shared<Script>();
    MatcherRef m = traceMatcher(scripted("a", {bind("x", num(1))}, script));
    CaptureStderr();
    MatchResults rs = m->matchSimple(pat, term);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_TRUE(script->log.empty());
    CaptureStderr();
    EXPECT_EQ(length(rs), 1u);
    EXPECT_EQ(length(rs), 1u);
    EXPECT_EQ(GetCapturedStderr(), traceLine);
    EXPECT_EQ(script->log, std::vector<std::string>{"a1"});
}

TEST(TraceMatcher, ShowsTheExpressionsOfBothPairsAndNeverTheBoundLists) {
    auto script = std::make_shared<Script>();
    MatcherRef m = traceMatcher(scripted("a", {}, script));
    TermCtx p{pat, {{"y", intT}}};
    TermCtx t{term, {{"z", intT}}};
    CaptureStderr();
    m->matchSimpleWith(emptyMatch(), p, t).empty();
    m->matchOneStepWith(emptyMatch(), p, t, initialNameSupply()).results.empty();
    m->matchTwoStep(pat, t, initialNameSupply()).results.empty();
    EXPECT_EQ(GetCapturedStderr(), traceLine + traceLine + traceLine);
    EXPECT_EQ(script->log, (std::vector<std::string>{"a2", "a4", "a5"}));
}

TEST(TraceMatcher, ReadingOnlyTheSupplyWritesNothing) {
    auto script = std::make_shared<Script>();
    MatcherRef m = traceMatcher(scripted("a", {bind("x", num(1))}, script));
    CaptureStderr();
    MatchRun run = m->matchOneStep(pat, atTop(term), initialNameSupply());
    EXPECT_EQ(firstName(*run.rest), "b");
    EXPECT_EQ(GetCapturedStderr(), "");
    CaptureStderr();
    EXPECT_FALSE(run.results.empty());
    EXPECT_EQ(GetCapturedStderr(), traceLine);
}

TEST(TraceMatcher, TraceOfTraceWritesTwoLinesAndApplicabilityIsSilent) {
    auto script = std::make_shared<Script>();
    MatcherRef m = traceMatcher(traceMatcher(scripted("a", {}, script, false)));
    CaptureStderr();
    EXPECT_FALSE(m->applicable(pat, atTop(term)));
    EXPECT_TRUE(m->matchTwoStepWith(emptyMatch(), atTop(pat), atTop(term), initialNameSupply()).results.empty());
    EXPECT_EQ(GetCapturedStderr(), traceLine + traceLine);
}

// --- comparing --------------------------------------------------------------------------------

TEST(CompareMatchers, EqualCountsPassSilentlyWithTheSecondsResults) {
    auto script = std::make_shared<Script>();
    MatcherRef m = compareMatchers(scripted("a", {bind("x", num(1))}, script), scripted("b", {bind("x", num(2))}, script));
    CaptureStderr();
    MatchResults rs = m->matchSimple(pat, term);
    EXPECT_TRUE(script->log.empty());
    std::vector<MatchResult> got = toVector(rs);
    EXPECT_EQ(GetCapturedStderr(), "");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].subst[0].second.constant(), mkNumber(2));
    // Operations 1 and 2 run the second matcher first.
    EXPECT_EQ(script->log, (std::vector<std::string>{"b1", "a1"}));

    auto none = std::make_shared<Script>();
    MatcherRef empty = compareMatchers(scripted("a", {}, none), scripted("b", {}, none));
    CaptureStderr();
    EXPECT_TRUE(empty->matchSimpleWith(emptyMatch(), atTop(pat), atTop(term)).empty());
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(CompareMatchers, DifferentCountsWriteTheDumpAndGoOnWithTheSecond) {
    auto script = std::make_shared<Script>();
    MatcherRef m = compareMatchers(scripted("a", {bind("x", num(1)), bind("x", num(2))}, script),
                                   scripted("b", {bind("y", num(3))}, script));
    CaptureStderr();
    std::vector<MatchResult> got = toVector(m->matchSimple(pat, term));
    EXPECT_EQ(GetCapturedStderr(),
              "\n\nMismatch!\nWhile matching f x against g 1\nFirst gives results:\n"
              "x := 1\n\n---\nx := 2\n\n---\n"
              "\nSecond gives results:\n"
              "y := 3\n\n---\n"
              "\n(End of error dump)\n\n");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].subst[0].first, "y");
}

TEST(CompareMatchers, RunOperationsThreadTheSupplyFromFirstToSecond) {
    auto script = std::make_shared<Script>();
    MatcherRef first = scripted("a", {}, script);
    // The second matcher notes the supply it is given.
    Matcher second = *scripted("b", {bind("x", num(1))}, script);
    auto inner = second.matchTwoStep;
    auto seenPtr = std::make_shared<NameSupply>(emptySupply());
    second.matchTwoStep = [inner, seenPtr](const Expr& p, const TermCtx& t, const NameSupply& s) {
        *seenPtr = s;
        return inner(p, t, s);
    };
    MatcherRef m = compareMatchers(first, std::make_shared<const Matcher>(second));
    CaptureStderr();
    MatchRun run = m->matchTwoStep(pat, atTop(term), initialNameSupply());
    EXPECT_EQ(firstName(*run.rest), "c");  // a and b dropped one name each
    EXPECT_EQ(firstName(*seenPtr), "b");
    // Reading the supply alone compares nothing.
    EXPECT_EQ(GetCapturedStderr(), "");
    CaptureStderr();
    EXPECT_EQ(length(run.results), 1u);
    EXPECT_NE(GetCapturedStderr().find("First gives results:\n\nSecond gives results:\nx := 1\n"), std::string::npos);
}

TEST(CompareMatchers, OrderOfTracedInnerMatchers) {
    auto script = std::make_shared<Script>();
    MatcherRef m = compareMatchers(traceMatcher(scripted("a", {}, script)), traceMatcher(scripted("b", {}, script)));
    CaptureStderr();
    m->matchSimple(pat, term).empty();
    m->matchOneStep(pat, atTop(term), initialNameSupply()).results.empty();
    EXPECT_EQ(GetCapturedStderr(), traceLine + traceLine + traceLine + traceLine);
    EXPECT_EQ(script->log, (std::vector<std::string>{"b1", "a1", "a3", "b3"}));
}

TEST(CompareMatchers, ApplicabilityIsTheSeconds) {
    auto script = std::make_shared<Script>();
    EXPECT_FALSE(compareMatchers(scripted("a", {}, script, true), scripted("b", {}, script, false))
                     ->applicable(pat, atTop(term)));
    EXPECT_TRUE(compareMatchers(scripted("a", {}, script, false), scripted("b", {}, script, true))
                    ->applicable(pat, atTop(term)));
}

// --- one step only ----------------------------------------------------------------------------

TEST(OneStepOnly, TwoStepRequestsUseOneStepMatching) {
    auto script = std::make_shared<Script>();
    MatcherRef m = oneStepOnly(scripted("a", {}, script));
    m->matchSimple(pat, term).empty();
    m->matchSimpleWith(emptyMatch(), atTop(pat), atTop(term)).empty();
    m->matchOneStep(pat, atTop(term), initialNameSupply()).results.empty();
    m->matchOneStepWith(emptyMatch(), atTop(pat), atTop(term), initialNameSupply()).results.empty();
    m->matchTwoStep(pat, atTop(term), initialNameSupply()).results.empty();
    m->matchTwoStepWith(emptyMatch(), atTop(pat), atTop(term), initialNameSupply()).results.empty();
    EXPECT_EQ(script->log, (std::vector<std::string>{"a1", "a2", "a3", "a4", "a3", "a4"}));
}

// --- checking ---------------------------------------------------------------------------------

const Expr x = var("x");

std::string badDump(const std::string& value) {
    const std::string raw = "Con (Number " + value + ") (TCon \"Int\" [])";
    return "\n\nMismatch!\nWhile matching x against 1\nBad match:\nx := " + value +
           "\n\nsubstituted pattern: " + value + "\nbetareduced: " + value +
           "\n[Raw terms: pattern = Var \"x\" (TCon \"Int\" [])\n\n term = Con (Number 1) (TCon \"Int\" [])\n" +
           "\n subst = [(\"x\"," + raw + ")]\n\n substpat = " + raw + "\n\n betasubstpat = " + raw +
           "\n\n(End of error dump)\n\n";
}

TEST(CheckMatcher, GoodResultsPassSilentlyAndBadOnesAreDumpedInPlace) {
    auto script = std::make_shared<Script>();
    MatcherRef m = checkMatcher(scripted("a", {bind("x", num(2)), bind("x", num(1)), bind("x", num(3))}, script));
    CaptureStderr();
    MatchResults rs = m->matchSimple(x, num(1));
    EXPECT_EQ(GetCapturedStderr(), "");
    CaptureStderr();
    std::vector<MatchResult> got = toVector(rs);
    toVector(rs);
    EXPECT_EQ(GetCapturedStderr(), badDump("2") + badDump("3"));
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].subst[0].second.constant(), mkNumber(2));
    EXPECT_EQ(got[1].subst[0].second.constant(), mkNumber(1));
}

TEST(CheckMatcher, EmptySubstitutionAndUnexaminedResults) {
    auto script = std::make_shared<Script>();
    MatcherRef m = checkMatcher(scripted("a", {MatchResult{{}, identitySubst()}}, script));
    CaptureStderr();
    MatchRun run = m->matchOneStep(x, atTop(num(1)), initialNameSupply());
    EXPECT_EQ(firstName(*run.rest), "b");
    EXPECT_EQ(GetCapturedStderr(), "");
    CaptureStderr();
    EXPECT_FALSE(run.results.empty());
    std::string dump = GetCapturedStderr();
    EXPECT_NE(dump.find("\nBad match:\n\nsubstituted pattern: x\n"), std::string::npos);
    EXPECT_NE(dump.find("\n subst = []\n"), std::string::npos);
}

TEST(CheckMatcher, CheckOfCheckDumpsTwiceAndPassesApplicabilityThrough) {
    auto script = std::make_shared<Script>();
    MatcherRef m = checkMatcher(checkMatcher(scripted("a", {bind("x", num(2))}, script, false)));
    CaptureStderr();
    EXPECT_FALSE(m->applicable(x, atTop(num(1))));
    EXPECT_EQ(length(m->matchTwoStepWith(emptyMatch(), atTop(x), atTop(num(1)), initialNameSupply()).results), 1u);
    EXPECT_EQ(GetCapturedStderr(), badDump("2") + badDump("2"));
    auto none = std::make_shared<Script>();
    MatcherRef good = checkMatcher(checkMatcher(scripted("a", {bind("x", num(1))}, none)));
    CaptureStderr();
    EXPECT_EQ(length(good->matchSimple(x, num(1))), 1u);
    EXPECT_EQ(GetCapturedStderr(), "");
}

}  // namespace
}  // namespace plim
