// Match commands on the probe signature (probes/sig.p): every result is well typed and
// carries the term's types, so the checking matcher is silent on it; a pair that is not well
// typed fails as a user error and the session answers the next command; a two-step match
// lists all its results, and ends when a tuple argument holds \ k -> k; a pattern variable
// applied to itself is bound by no result, and a match that leaves it unused gives its
// results.  Each matcher gives the transcript recorded under expected/.
#include <gtest/gtest.h>

#include <cstdlib>

#include "shell/plim_process.h"

namespace plim::test {
namespace {

std::string probesDir() { return std::string(PLIM_SOURCE_DIR) + "/tests/shell/probes/"; }

std::string expectedFile() { return std::string(PLIM_SOURCE_DIR) + "/tests/shell/expected/typing_probes.out"; }

Transcript runProbes(const std::string& matcher) {
    const std::string input = "setmatcher " + matcher + "\n" + readFile(probesDir() + "typing.input");
    // A folder of the test's own: the tests of this file may run at the same time.
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    return runPlim({"--path", probesDir(), "--program", "sig"}, input, scratchDir("TypingProbes" + test));
}

TEST(TypingProbes, EveryMatcherGivesTheRecordedResultsAndTheCheckIsSilent) {
    // PLIM_UPDATE_EXPECTED=1 records the transcript anew (review the difference first).
    if (std::getenv("PLIM_UPDATE_EXPECTED") != nullptr) writeFile(expectedFile(), runProbes("fast").out);
    const std::string expected = readFile(expectedFile());
    for (const char* matcher : {"fast", "ref", "check fast", "check ref"}) {
        const Transcript t = runProbes(matcher);
        EXPECT_EQ(t.out, expected) << matcher;
        EXPECT_EQ(t.err, "") << matcher;
        EXPECT_EQ(t.status, 0) << matcher;
    }
}

TEST(TypingProbes, TheMatchersFindAsManyResultsForEveryProbe) {
    const Transcript t = runProbes("compare fast ref");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

}  // namespace
}  // namespace plim::test
