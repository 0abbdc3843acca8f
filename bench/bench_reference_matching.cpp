// Reference matcher speed on the matchers' shared pattern/term corpus: simple, one-step and
// two-step matching with every result read (results per second), and the latency of the
// first result of a search with 2^20 candidates for one group of occurrences alone.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "../tests/engine/matching/match_corpus.h"
#include "engine/matching/reference/matcher.h"
#include "lang/expressions.h"

namespace plim {
namespace {

enum class Kind { Simple, OneStep, TwoStep };

MatchResults resultsOf(Kind kind, const corpus::MatchCase& c) {
    const TermCtx t{c.term, c.termContext};
    switch (kind) {
    case Kind::Simple: return ref::simpleMatchWith(emptyMatch(), atTop(c.pattern), t);
    case Kind::OneStep: return ref::oneStepMatch(c.pattern, t, initialNameSupply()).results;
    case Kind::TwoStep: return ref::twoStepMatch(c.pattern, t, initialNameSupply()).results;
    }
    return MatchResults();
}

void corpusRun(benchmark::State& state, Kind kind) {
    const std::vector<corpus::MatchCase> cases = corpus::matchCorpus();
    std::size_t results = 0;
    for (auto _ : state) {
        for (const corpus::MatchCase& c : cases) {
            const std::size_t n = length(resultsOf(kind, c));
            results += n;
            benchmark::DoNotOptimize(n);
        }
    }
    state.counters["cases"] = static_cast<double>(cases.size());
    state.counters["results/s"] = benchmark::Counter(static_cast<double>(results), benchmark::Counter::kIsRate);
}

void BM_RefSimpleCorpus(benchmark::State& state) { corpusRun(state, Kind::Simple); }
void BM_RefOneStepCorpus(benchmark::State& state) { corpusRun(state, Kind::OneStep); }
void BM_RefTwoStepCorpus(benchmark::State& state) { corpusRun(state, Kind::TwoStep); }
BENCHMARK(BM_RefSimpleCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefOneStepCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefTwoStepCorpus)->Unit(benchmark::kMillisecond);

// H y y ... y (20 occurrences of y) against F x: the occurrences of y alone give 2^20
// abstraction candidates.  Reading the first results must not enumerate them.
void BM_RefFirstResultOfHugeSearch(benchmark::State& state) {
    const auto n = static_cast<int>(state.range(0));
    const Type i = intType();
    Type headType = i;
    for (int k = 0; k < n; ++k) headType = mkArrow(i, headType);
    Expr t = mkCon(mkConstr("H"), headType);
    for (int k = 0; k < n; ++k) t = typedAp(t, mkCon(mkConstr("y"), i));
    const Expr p = typedAp(mkVar("F", mkArrow(i, i)), mkVar("x", i));
    for (auto _ : state) {
        const MatchRun run = ref::oneStepMatch(p, atTop(t), initialNameSupply());
        benchmark::DoNotOptimize(toVector(run.results, 3).size());
    }
}
BENCHMARK(BM_RefFirstResultOfHugeSearch)->Arg(20)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace plim
