// The fast and the reference matcher cross-checked on the shared pattern/term corpus: the
// comparing matcher finds no difference in the number of results, and the checking matcher
// finds no result that does not turn the pattern into the term.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/match_corpus.h"
#include "engine/matching.h"

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
    for (const corpus::MatchCase& c : corpus::matchCorpus()) {
        CaptureStderr();
        runAll(m, c);
        const std::string out = GetCapturedStderr();
        if (!out.empty()) noisy.push_back(c.label);
    }
    return noisy;
}

// Cases where the reference matcher's two-step match of a pattern with a tuple argument
// (FST (a, b)) gives two results with empty substitutions instead of one binding a and b: the
// comparing and the reference checking matcher report them.  Reported to the reference
// matcher's owner; nothing else may be reported.
const std::vector<std::string> knownReferenceFaults = {
    "FST (a,b) ~ FST (1,2)",
    "FST (a,b) ~ random 6",
    "FST (a,b) ~ random 8",
};

void expectSilent(const MatcherRef& m, const char* what, const std::vector<std::string>& known = {}) {
    std::string unexpected;
    for (const std::string& label : noisyCases(m))
        if (std::find(known.begin(), known.end(), label) == known.end()) unexpected += "\n  " + label;
    EXPECT_EQ(unexpected, "") << what << " reports cases:" << unexpected;
}

TEST(MatcherCrossCheck, FastAndReferenceFindEquallyManyResults) {
    expectSilent(compareMatchers(fastMatcher(), refMatcher()), "compare fast ref", knownReferenceFaults);
}

TEST(MatcherCrossCheck, EveryFastResultIsCorrect) { expectSilent(checkMatcher(fastMatcher()), "check fast"); }

TEST(MatcherCrossCheck, EveryReferenceResultIsCorrect) {
    expectSilent(checkMatcher(refMatcher()), "check ref", knownReferenceFaults);
}

}  // namespace
}  // namespace plim
