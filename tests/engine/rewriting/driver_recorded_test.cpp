// Recorded derivations: a corpus of rewrites (first-order rules, higher-order rules,
// conditional rules, endless rewrites cut after a number of steps) whose calculation text, and
// the labels of the failed attempts at the final expression, must stay byte for byte what
// corpus/expected/<case>.txt holds.  The driver's speed work must not change a single byte.
//
// To record the texts again (after a deliberate change of results), run the test with
// PLIM_RECORD_DERIVATIONS=1 in the environment and review the difference.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/calculations/calculation.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/combinators/combinators.h"
#include "engine/matching/reference/record.h"
#include "engine/rewriting/driver.h"
#include "frontend/assembly/assembly.h"
#include "frontend/reader/reader.h"
#include "frontend/typecheck/checker.h"
#include "lang/constants.h"
#include "support/errors.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

const std::string kCorpus = PLIM_SOURCE_DIR "/tests/engine/rewriting/corpus/";

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The corpus program, assembled once.
const ProgramInfo& corpusProgram() {
    static const ProgramInfo info = [] {
        Reading<SourceFile> r = readProgram(readText(kCorpus + "corpus.p"));
        return assembleProgram(r.value.get()).info;
    }();
    return info;
}

Lazy<CheckEnv> corpusEnv() {
    return delay([] { return corpusProgram().programCheckEnv(); });
}

Lazy<DefnRules> noTable() {
    return Lazy<DefnRules>::defer([]() -> DefnRules { failInternal("no definition rules in the corpus"); });
}

std::vector<Rule> corpusTheory(const std::string& name) {
    std::ostringstream log;
    const Theory t = parseTheory(readText(kCorpus + name + ".eq"), log);
    return checkTheory(t.elems, corpusEnv(), noTable()).rules.get();
}

// The expression checked as the shell checks a command's argument: as the left side of a
// one-equation theory whose right side has any type.
Expr corpusExpression(const std::string& text) {
    std::ostringstream log;
    const Expr parsed = parseExpression(text, log);
    const Expr any = mkCon(mkError(), mkTAbs({"a"}, mkTid("a")));
    const Theo theo = mkCeqTheo(mkCeq("", mkNoEq(), mkEqn(parsed, any), 0), mkNoTheo());
    return unlet(checkTheory(theo, corpusEnv(), noTable()).rules.get().front().equation.first);
}

struct Case {
    std::string name;
    std::string theory;
    std::string expression;
    std::size_t limit;  // steps shown at most; the failures are shown when the rewrite ends sooner
    bool reference = false;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string peano(int n) {
    std::string s = "Z";
    for (int i = 0; i < n; ++i) s = "S (" + s + ")";
    return s;
}

std::string numbers(int n) {
    std::string s = "[";
    for (int i = 1; i <= n; ++i) s += (i > 1 ? ", " : "") + std::to_string(i);
    return s + "]";
}

std::vector<Case> corpusCases() {
    std::vector<Case> cases = {
        {"peano_add", "firstorder", "add (" + peano(3) + ") (" + peano(2) + ")", 100},
        {"peano_mul_3x3", "firstorder", "mul (" + peano(3) + ") (" + peano(3) + ")", 100},
        {"peano_mul_4x5", "firstorder", "mul (" + peano(4) + ") (" + peano(5) + ")", 200},
        {"reverse_0", "firstorder", "rev []", 10},
        {"reverse_5", "firstorder", "rev " + numbers(5), 100},
        {"reverse_12", "firstorder", "rev " + numbers(12), 200},
        {"reverse_lambda", "firstorder", "\\ y -> rev [y, 1, y]", 100},
        {"mixed_first_order", "firstorder", "rev [add Z (S Z), mul (S Z) (S Z)]", 100},
        {"map_fusion", "higherorder", "\\ xs -> map square (map inc xs)", 100},
        {"map_list", "higherorder", "map square (map inc [1, 2])", 100},
        {"map_twice", "higherorder", "twice (map inc) [1]", 100},
        {"map_identity", "higherorder", "map (\\ y -> y) (map inc [3])", 100},
        {"fold_map", "higherorder", "foldr (\\ x y -> x + y) 0 (map double [1, 2])", 100},
        {"fold_sum", "higherorder", "\\ zs -> foldr (+) 0 (map square zs)", 100},
        {"cond_half_double", "conditional", "add (half (" + peano(4) + ")) (half (" + peano(4) + "))", 100},
        {"cond_half_odd", "conditional", "add (half (S Z)) (half (S Z))", 100},
        {"cond_half_add", "conditional", "half (add (S (S Z)) (S (S Z)))", 100},
        {"cond_half_add_unequal", "conditional", "half (add (S (S Z)) Z)", 100},
        {"cond_fold_fusion", "conditional", "\\ xs -> double (foldr (+) 0 xs)", 100},
        {"cond_distrib", "conditional", "double (1 + 2)", 100},
        {"endless_comm", "endless", "1 + 2", 9},
        {"endless_comm_nested", "endless", "\\ x -> (x + 1) + (2 + x)", 12},
        {"endless_swap", "endless", "(1, (2, 3))", 7},
        {"endless_loop", "endless", "inc 1", 6},
        {"ref_map_fusion", "higherorder", "\\ xs -> map square (map inc xs)", 100, true},
        {"ref_cond_half_double", "conditional", "add (half (" + peano(2) + ")) (half (" + peano(2) + "))", 100, true},
        {"ref_reverse_4", "firstorder", "rev " + numbers(4), 100, true},
        {"ref_cond_fold_fusion", "conditional", "\\ xs -> double (foldr (+) 0 xs)", 100, true},
    };
    return cases;
}

// The calculation text at width 80 of the first `limit` steps, then the failures when the
// rewrite ended within them; an error ends the text with its message.
std::string derivationText(const Case& c) {
    const MatcherRef matcher = c.reference ? refMatcher() : fastMatcher();
    const Derivation d = rewriteDefinition(matcher, corpusTheory(c.theory), corpusExpression(c.expression));
    const std::vector<CalcStep> steps = toVector(d.steps, c.limit + 1);
    const bool ended = steps.size() <= c.limit;
    std::vector<CalcStep> shown(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(std::min(steps.size(), c.limit)));
    std::string text = showCalculation(80, 0, d.start, fromVector(shown)) + "\n";
    if (!ended) return text + "-- cut after " + std::to_string(c.limit) + " steps\n";
    text += "-- failures:";
    for (const Calculation& f : toVector(d.failures)) text += " " + f.label();
    return text + "\n";
}

std::string recordedText(const Case& c) {
    try {
        return derivationText(c);
    } catch (const PlimError& e) {
        return std::string("-- error: ") + e.what() + "\n";
    }
}

class RecordedDerivation : public ::testing::TestWithParam<Case> {};

TEST_P(RecordedDerivation, TextIsByteForByteAsRecorded) {
    const Case& c = GetParam();
    const std::string path = kCorpus + "expected/" + c.name + ".txt";
    const std::string text = recordedText(c);
    if (std::getenv("PLIM_RECORD_DERIVATIONS")) {
        std::ofstream(path, std::ios::binary) << text;
        GTEST_SKIP() << "recorded " << path;
    }
    EXPECT_EQ(text, readText(path)) << c.theory << ": " << c.expression;
}

INSTANTIATE_TEST_SUITE_P(Corpus, RecordedDerivation, ::testing::ValuesIn(corpusCases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// Resident memory of this process, in kilobytes.
long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * 4;
}

// An endless rewrite hands out its steps one by one, and once they are written nothing holds
// them: the memory stays flat however long it runs.
TEST(EndlessRewrite, CommutativityStreamsItsStepsInFlatMemory) {
    if (test::kSanitizerBuild) GTEST_SKIP() << "the sanitizers hold freed memory back";
    auto [start, steps] = [] {
        Derivation d = rewriteDefinition(fastMatcher(), corpusTheory("endless"), corpusExpression("1 + 2"));
        return std::make_pair(d.start, std::move(d.steps));
    }();
    ASSERT_EQ(layoutExpr(80, 0, start), "   1 + 2");
    long after1000 = 0;
    for (std::size_t k = 1; k <= 20000; ++k) {
        ASSERT_FALSE(steps.empty());
        ASSERT_EQ(steps.head().first.label(), "comm");
        ASSERT_EQ(layoutExpr(80, 0, steps.head().second), k % 2 ? "   2 + 1" : "   1 + 2");
        steps = steps.tail();
        if (k == 1000) after1000 = residentKb();
    }
    EXPECT_LT(residentKb() - after1000, 4096) << "kilobytes gained between step 1,000 and step 20,000";
}

}  // namespace
}  // namespace plim
