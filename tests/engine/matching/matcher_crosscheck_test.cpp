// The fast and the reference matcher cross-checked on the shared pattern/term corpus: the
// comparing matcher finds no difference in the number of results, and the checking matcher
// finds no result that does not turn the pattern into the term.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/matching/combinators/combinators.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/match_corpus.h"
#include "engine/matching/matcher.h"
#include "engine/matching/reference/record.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

NameSupply supplyFor(const corpus::MatchCase& c) {
    return freshFor(c.term, c.termContext)(freshFor(c.pattern, {})(initialNameSupply()));
}

// Runs every match operation of m on the case and reads all results.
void runAll(const MatcherRef& m, const corpus::MatchCase& c) {
    const TermCtx term{c.term, c.termContext};
    if (c.termContext.empty()) length(m->matchSimple(c.pattern, c.term));
    length(m->matchSimpleWith(emptyMatch(), atTop(c.pattern), term));
    length(m->matchOneStep(c.pattern, term, supplyFor(c)).results);
    length(m->matchOneStepWith(emptyMatch(), atTop(c.pattern), term, supplyFor(c)).results);
    length(m->matchTwoStep(c.pattern, term, supplyFor(c)).results);
    length(m->matchTwoStepWith(emptyMatch(), atTop(c.pattern), term, supplyFor(c)).results);
}

// The labels of the cases on which m writes anything.
std::vector<std::string> noisyCases(const MatcherRef& m) {
    std::vector<std::string> noisy;
    for (const corpus::MatchCase& c : test::sampled(corpus::matchCorpus())) {
        CaptureStderr();
        runAll(m, c);
        const std::string out = GetCapturedStderr();
        if (!out.empty()) noisy.push_back(c.label);
    }
    return noisy;
}

void expectSilent(const MatcherRef& m, const char* what) {
    std::string noisy;
    for (const std::string& label : noisyCases(m)) noisy += "\n  " + label;
    EXPECT_EQ(noisy, "") << what << " reports cases:" << noisy;
}

TEST(MatcherCrossCheck, FastAndReferenceFindEquallyManyResults) {
    expectSilent(compareMatchers(fastMatcher(), refMatcher()), "compare fast ref");
}

TEST(MatcherCrossCheck, EveryFastResultIsCorrect) { expectSilent(checkMatcher(fastMatcher()), "check fast"); }

TEST(MatcherCrossCheck, EveryReferenceResultIsCorrect) { expectSilent(checkMatcher(refMatcher()), "check ref"); }

}  // namespace
}  // namespace plim
