// Every result of the fast matcher on the shared corpus passes the check: the pattern with
// the result applied, beta-reduced and eta-contracted, equals the eta-contracted term.
#include <gtest/gtest.h>

#include <thread>

#include "engine/matching/fast/matcher.h"
#include "engine/matching/fast/matcher_test_util.h"
#include "engine/matching/match_corpus.h"
#include "engine/matching/reference/matcher.h"
#include "frontend/printer/expressions.h"
#include "lang/syntax_dump.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using corpus::MatchCase;

constexpr std::size_t kMaxResults = 300;

struct Tally {
    std::size_t cases = 0, results = 0, failures = 0;
};

void checkAll(const MatchCase& c, const MatchResults& rs, const char* mode, Tally& tally) {
    SCOPED_TRACE(mode);
    for (const MatchResult& r : toVector(rs, kMaxResults)) {
        ++tally.results;
        if (!fasttest::passesCheck(r, c.pattern, c.term)) {
            ++tally.failures;
            ADD_FAILURE() << mode << " " << c.label << ": bad result\n" << showSubst(r.subst);
        }
    }
    ++tally.cases;
}

NameSupply supplyFor(const MatchCase& c) { return freshFor(c.term, c.termContext)(freshFor(c.pattern, {})(initialNameSupply())); }

TEST(FastMatchingCorpus, SimpleOneStepAndTwoStepResultsPassTheCheck) {
    Tally simple, one, two;
    std::size_t matched = 0;
    for (const MatchCase& c : corpus::matchCorpus()) {
        SCOPED_TRACE(c.label);
        const auto tnames = fast::contextNames(c.termContext);
        const fast::Term p = fast::convertPrime({}, c.pattern);
        const fast::Term t = fast::convertPrime(tnames, c.term);
        if (c.termContext.empty()) checkAll(c, fastConvertSolutions(fastSimpleMatch(p, t)), "simple", simple);
        const MatchRun r1 = fastConvertRun(fastEngine(fastOneStepStep, fast::identitySubst(), p, {}, t, c.termContext, supplyFor(c)));
        checkAll(c, r1.results, "one-step", one);
        const MatchRun r2 = fastConvertRun(fastTwoStep(p, t, c.termContext, supplyFor(c)));
        checkAll(c, r2.results, "two-step", two);
        if (!r1.results.empty()) ++matched;
    }
    EXPECT_GE(one.cases, 200u);
    EXPECT_GT(matched, 100u);
    EXPECT_GT(simple.results, 100u);
    EXPECT_GT(two.results, 1000u);
    RecordProperty("results", std::to_string(simple.results + one.results + two.results));
}

bool sameResult(const MatchResult& a, const MatchResult& b) {
    if (a.subst.size() != b.subst.size()) return false;
    for (std::size_t i = 0; i < a.subst.size(); ++i)
        if (a.subst[i].first != b.subst[i].first ||
            !exprEq({}, {}, etared(a.subst[i].second), etared(b.subst[i].second)))
            return false;
    return true;
}

// The same results in the same order as the reference matcher, up to the names of bound
// variables.
TEST(FastMatchingCorpus, SameResultsInTheSameOrderAsTheReferenceMatcher) {
    std::size_t compared = 0;
    for (const MatchCase& c : test::sampled(corpus::matchCorpus())) {
        SCOPED_TRACE(c.label);
        const fast::Term p = fast::convertPrime({}, c.pattern);
        const fast::Term t = fast::convertPrime(fast::contextNames(c.termContext), c.term);
        const TermCtx tc{c.term, c.termContext};
        std::vector<std::pair<std::vector<MatchResult>, std::vector<MatchResult>>> runs;
        if (c.termContext.empty())
            runs.emplace_back(toVector(fastConvertSolutions(fastSimpleMatch(p, t))), toVector(ref::simpleMatch(c.pattern, c.term)));
        const auto refOne = toVector(ref::oneStepMatch(c.pattern, tc, supplyFor(c)).results);
        const auto refTwo = toVector(ref::twoStepMatch(c.pattern, tc, supplyFor(c)).results);
        // The runs converted at the end and those converted as the search finds them.
        runs.emplace_back(
            toVector(fastConvertRun(fastEngine(fastOneStepStep, fast::identitySubst(), p, {}, t, c.termContext, supplyFor(c))).results),
            refOne);
        runs.emplace_back(
            toVector(fastEngineConverted(fastOneStepStep, fast::identitySubst(), p, {}, t, c.termContext, supplyFor(c)).results),
            refOne);
        runs.emplace_back(toVector(fastConvertRun(fastTwoStep(p, t, c.termContext, supplyFor(c))).results), refTwo);
        runs.emplace_back(
            toVector(fastTwoStepConverted(fast::identitySubst(), p, {}, t, c.termContext, supplyFor(c)).results), refTwo);
        for (const auto& [fast, ref] : runs) {
            ++compared;
            bool same = fast.size() == ref.size();
            for (std::size_t i = 0; same && i < fast.size(); ++i) same = sameResult(fast[i], ref[i]);
            EXPECT_TRUE(same) << "fast and reference results differ";
        }
    }
    EXPECT_GT(compared, std::size_t(test::rounds(1300)));
}

bool sameSupply(const NameSupply& a, const NameSupply& b) {
    return a.vars.head() == b.vars.head() && a.tyvars.head() == b.tyvars.head();
}

// A run converted as the search finds them leaves the supply the run converted at the end
// leaves, whether it is read before the results, between them or after them.
TEST(FastMatchingCorpus, ConvertedRunsLeaveTheSupplyOfTheRawRuns) {
    std::size_t compared = 0;
    for (const MatchCase& c : test::sampled(corpus::matchCorpus())) {
        SCOPED_TRACE(c.label);
        const fast::Term p = fast::convertPrime({}, c.pattern);
        const fast::Term t = fast::convertPrime(fast::contextNames(c.termContext), c.term);
        const NameSupply raw =
            fastConvertRun(fastEngine(fastOneStepStep, fast::identitySubst(), p, {}, t, c.termContext, supplyFor(c))).rest.get();
        auto converted = [&] {
            return fastEngineConverted(fastOneStepStep, fast::identitySubst(), p, {}, t, c.termContext, supplyFor(c));
        };
        const MatchRun before = converted();
        EXPECT_TRUE(sameSupply(before.rest.get(), raw));
        const std::size_t n = toVector(before.results).size();
        const MatchRun between = converted();
        toVector(between.results, 1);
        EXPECT_TRUE(sameSupply(between.rest.get(), raw));
        EXPECT_EQ(toVector(between.results).size(), n);
        const MatchRun after = converted();
        EXPECT_EQ(toVector(after.results).size(), n);
        EXPECT_TRUE(sameSupply(after.rest.get(), raw));
        const NameSupply rawTwo = fastConvertRun(fastTwoStep(p, t, c.termContext, supplyFor(c))).rest.get();
        EXPECT_TRUE(sameSupply(
            fastTwoStepConverted(fast::identitySubst(), p, {}, t, c.termContext, supplyFor(c)).rest.get(), rawTwo));
        ++compared;
    }
    EXPECT_GT(compared, std::size_t(test::rounds(300)));
}

// The texts of a case's one-step and two-step results, converted as the search finds them.
std::vector<std::string> resultTexts(const MatchCase& c) {
    const fast::Term p = fast::convertPrime({}, c.pattern);
    const fast::Term t = fast::convertPrime(fast::contextNames(c.termContext), c.term);
    std::vector<std::string> out;
    auto add = [&out](const MatchRun& r) {
        for (const MatchResult& m : toVector(r.results, kMaxResults)) {
            std::string text;
            for (const auto& [n, e] : m.subst) text += n + ":=" + showExprSyntax(e) + ";";  // with every type
            out.push_back(std::move(text));
        }
        out.push_back("|" + r.rest.get().vars.head());
    };
    add(fastEngineConverted(fastOneStepStep, fast::identitySubst(), p, {}, t, c.termContext, supplyFor(c)));
    add(fastTwoStepConverted(fast::identitySubst(), p, {}, t, c.termContext, supplyFor(c)));
    return out;
}

// What the thread keeps from one match to the next (conversions, binder patterns, symbols,
// generator workspaces) changes no result: the cases matched in order on this thread give
// the very results (names too) that they give in the reverse order on a fresh thread.
TEST(FastMatchingCorpus, ResultsDoNotDependOnTheMatchesBeforeThemOnTheThread) {
    const std::vector<MatchCase> cases = test::sampled(corpus::matchCorpus());
    std::vector<std::vector<std::string>> inOrder, reversed(cases.size());
    for (const MatchCase& c : cases) inOrder.push_back(resultTexts(c));
    std::thread fresh([&] {
        for (std::size_t i = cases.size(); i-- > 0;) reversed[i] = resultTexts(cases[i]);
    });
    fresh.join();
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(inOrder[i], reversed[i]) << cases[i].label;
    EXPECT_GT(cases.size(), std::size_t(test::rounds(400)));
}

}  // namespace
}  // namespace plim
