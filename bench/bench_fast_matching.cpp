// The fast matcher on the shared pattern/term corpus, beside the reference matcher: simple,
// one-step and two-step matching from expressions to match results (conversions included),
// every result of every case read; and the latency of the first results of a search with
// about 2^21 abstraction candidates; nested tuple arguments of growing depth and width.
#include <benchmark/benchmark.h>

#include "../tests/engine/matching/match_corpus.h"
#include "engine/matching/fast/matcher.h"
#include "engine/matching/reference/matcher.h"
#include "lang/expressions.h"

namespace plim {
namespace {

const std::vector<corpus::MatchCase>& cases() {
    static const std::vector<corpus::MatchCase> all = corpus::matchCorpus();
    return all;
}

NameSupply supplyFor(const corpus::MatchCase& c) {
    return freshFor(c.term, c.termContext)(freshFor(c.pattern, {})(initialNameSupply()));
}

enum class Mode { Simple, OneStep, TwoStep };

MatchResults fastRun(Mode m, const corpus::MatchCase& c, const NameSupply& s) {
    if (m == Mode::Simple) return fastSimpleMatchExpr(c.pattern, c.term);
    const fast::Term p = fast::convertPrime({}, c.pattern);
    const fast::Term t = fast::convertPrime(fast::contextNames(c.termContext), c.term);
    switch (m) {
    case Mode::Simple: break;
    case Mode::OneStep:
        return fastEngineConverted(fastOneStepStep, fast::identitySubst(), p, {}, t, c.termContext, s).results;
    case Mode::TwoStep: return fastTwoStepConverted(fast::identitySubst(), p, {}, t, c.termContext, s).results;
    }
    return {};
}

MatchResults refRun(Mode m, const corpus::MatchCase& c, const NameSupply& s) {
    const TermCtx tc{c.term, c.termContext};
    switch (m) {
    case Mode::Simple: return ref::simpleMatch(c.pattern, c.term);
    case Mode::OneStep: return ref::oneStepMatch(c.pattern, tc, s).results;
    case Mode::TwoStep: return ref::twoStepMatch(c.pattern, tc, s).results;
    }
    return {};
}

template <class Run>
void corpusBench(benchmark::State& state, Mode m, Run run) {
    std::vector<NameSupply> supplies;
    for (const auto& c : cases()) supplies.push_back(supplyFor(c));
    std::size_t results = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i < cases().size(); ++i) {
            const auto& c = cases()[i];
            if (m == Mode::Simple && !c.termContext.empty()) continue;
            for (List<MatchResult> at = run(m, c, supplies[i]); !at.empty(); at = at.tail()) {
                benchmark::DoNotOptimize(at.head().subst.size());
                ++results;
            }
        }
    }
    state.counters["results/s"] = benchmark::Counter(static_cast<double>(results), benchmark::Counter::kIsRate);
    state.counters["cases/s"] = benchmark::Counter(static_cast<double>(cases().size() * state.iterations()),
                                                   benchmark::Counter::kIsRate);
}

void BM_FastSimpleCorpus(benchmark::State& s) { corpusBench(s, Mode::Simple, fastRun); }
void BM_RefSimpleCorpus(benchmark::State& s) { corpusBench(s, Mode::Simple, refRun); }
void BM_FastOneStepCorpus(benchmark::State& s) { corpusBench(s, Mode::OneStep, fastRun); }
void BM_RefOneStepCorpus(benchmark::State& s) { corpusBench(s, Mode::OneStep, refRun); }
void BM_FastTwoStepCorpus(benchmark::State& s) { corpusBench(s, Mode::TwoStep, fastRun); }
void BM_RefTwoStepCorpus(benchmark::State& s) { corpusBench(s, Mode::TwoStep, refRun); }
BENCHMARK(BM_FastSimpleCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefSimpleCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FastOneStepCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefOneStepCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FastTwoStepCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefTwoStepCorpus)->Unit(benchmark::kMillisecond);

// f 1 against 1 + 1 + ... + 1 + 2 with 21 ones: the first results come after the failing
// decomposition and the groups before the 21 occurrences of 1.
corpus::MatchCase hugeSearch() {
    using namespace corpus::detail;
    Expr t = num(1);
    for (int i = 0; i < 20; ++i) t = plus(t, num(1));
    t = plus(t, num(2));
    return {"huge", ap(var("f", fn(I(), I())), num(1)), t, {}};
}

template <class Run>
void firstResults(benchmark::State& state, Mode m, Run run) {
    const corpus::MatchCase c = hugeSearch();
    const NameSupply s = supplyFor(c);
    for (auto _ : state) benchmark::DoNotOptimize(toVector(run(m, c, s), 3).size());
}

void BM_FastOneStepFirstResultsHuge(benchmark::State& s) { firstResults(s, Mode::OneStep, fastRun); }
void BM_FastTwoStepFirstResultsHuge(benchmark::State& s) { firstResults(s, Mode::TwoStep, fastRun); }
void BM_RefTwoStepFirstResultsHuge(benchmark::State& s) { firstResults(s, Mode::TwoStep, refRun); }
BENCHMARK(BM_FastOneStepFirstResultsHuge)->Unit(benchmark::kMicrosecond);
// The reference matcher's one-step search takes about 300 s to its first three results here,
// so it is left out of the routine run.
BENCHMARK(BM_FastTwoStepFirstResultsHuge)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefTwoStepFirstResultsHuge)->Unit(benchmark::kMicrosecond);

// g X against ((5, (3, 3)), (3, 0)), one-step, for tuple arguments X that nest deeper and
// deeper: ((h, (3, h)), (3, 0)) (5 elements), ((h, X1), (3, 0)) (8) and ((h, X1), X1) (11),
// with X1 the first.  Every element is abstracted out of what the elements before it left of
// the term, so the results (456, 1,920 and 5,780) grow exponentially with the elements,
// inherently; the time per result must not.  (A pattern variable standing for a part that
// holds the variable of an element's binder, which no binding can hold, was once searched,
// with every element after it.)
corpus::MatchCase nestedTupleArgument(std::int64_t size) {
    using namespace corpus::detail;
    const Expr h = var("h", mkTid("a"));
    const Expr x1 = pair(pair(h, pair(num(3), h)), pair(num(3), num(0)));
    const Expr x = size == 1 ? x1 : pair(pair(h, x1), size == 2 ? pair(num(3), num(0)) : x1);
    const Expr t = pair(pair(num(5), pair(num(3), num(3))), pair(num(3), num(0)));
    return {"nested tuple", ap(var("g", fn(x.type(), t.type())), x), t, {}};
}

// Every one-step result of the case made for the benchmark's argument, read.
template <class Run>
void allResults(benchmark::State& state, corpus::MatchCase (*make)(std::int64_t), Run run) {
    const corpus::MatchCase c = make(state.range(0));
    const NameSupply s = supplyFor(c);
    std::size_t results = 0;
    for (auto _ : state) {
        results = length(run(Mode::OneStep, c, s));
        benchmark::DoNotOptimize(results);
    }
    state.counters["results"] = static_cast<double>(results);
    state.counters["us_per_result"] = benchmark::Counter(static_cast<double>(results) * 1e-6,
                                                         benchmark::Counter::kIsIterationInvariantRate |
                                                             benchmark::Counter::kInvert);
}

void BM_FastOneStepNestedTuples(benchmark::State& s) { allResults(s, nestedTupleArgument, fastRun); }
void BM_RefOneStepNestedTuples(benchmark::State& s) { allResults(s, nestedTupleArgument, refRun); }
BENCHMARK(BM_FastOneStepNestedTuples)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefOneStepNestedTuples)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

// g (h, (h, ... (h, h))) (n elements) against ((1, 2), ((3, 1), 2)), one-step, every result
// read (46, 96 and 162 results for 3, 5 and 7 elements).  Each combination of the elements'
// candidates whose h's stand for parts of different shapes fails; those are not searched on,
// so the time grows with the results, not with the n-th power of the term.
corpus::MatchCase repeatedElement(std::int64_t n) {
    using namespace corpus::detail;
    const Expr h = var("h", mkTid("a"));
    Expr x = h;
    for (std::int64_t i = 1; i < n; ++i) x = pair(h, x);
    const Expr t = pair(pair(num(1), num(2)), pair(pair(num(3), num(1)), num(2)));
    return {"repeated element", ap(var("g", fn(x.type(), t.type())), x), t, {}};
}

void BM_FastOneStepRepeatedElement(benchmark::State& s) { allResults(s, repeatedElement, fastRun); }
void BM_RefOneStepRepeatedElement(benchmark::State& s) { allResults(s, repeatedElement, refRun); }
BENCHMARK(BM_FastOneStepRepeatedElement)->Arg(3)->Arg(5)->Arg(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefOneStepRepeatedElement)->Arg(3)->Arg(5)->Arg(7)->Unit(benchmark::kMillisecond);

// f 1 against F (F (... (F 1))), n levels deep, one-step: linear in n (one abstraction of
// the 1 at the bottom, one constant abstraction).
void BM_FastOneStepDeepChain(benchmark::State& state) {
    using namespace corpus::detail;
    Expr t = num(1);
    for (std::int64_t i = 0; i < state.range(0); ++i) t = F(t);
    const corpus::MatchCase c{"chain", ap(var("f", fn(I(), I())), num(1)), t, {}};
    const NameSupply s = supplyFor(c);
    for (auto _ : state) benchmark::DoNotOptimize(toVector(fastRun(Mode::OneStep, c, s)).size());
}
BENCHMARK(BM_FastOneStepDeepChain)->Arg(2500)->Arg(5000)->Arg(10000)->Unit(benchmark::kMillisecond);

// f a a ... a (n arguments) against [], two-step (one-step, since the arguments are pattern
// variables): n + 1 results, each binding f to n lambdas, so the results alone are quadratic
// in n; so is the search (about 1.5 n^2 alternatives tried).  Time should grow about fourfold
// per doubling.
void BM_FastTwoStepWideApplication(benchmark::State& state) {
    using namespace corpus::detail;
    const Type elem = mkTid("t");
    Type ft = listT();
    for (std::int64_t i = 0; i < state.range(0); ++i) ft = fn(elem, ft);
    Expr p = var("f", ft);
    for (std::int64_t i = 0; i < state.range(0); ++i) p = ap(p, var("a", elem));
    const corpus::MatchCase c{"wide", p, nul(), {}};
    const NameSupply s = supplyFor(c);
    for (auto _ : state) benchmark::DoNotOptimize(toVector(fastRun(Mode::TwoStep, c, s)).size());
}
BENCHMARK(BM_FastTwoStepWideApplication)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMillisecond);

// f (g, x, f) against 1 + 2 + ... + n, one-step.  The pattern is ill-typed (f : l inside its own
// argument, as the checker leaves it after the failed occurs check), so no image fits f; the
// element candidates alone, about 2n for each of the three elements, would give some 8 n^3
// combinations, every one failing only at its last problem.  Time should grow about twofold
// per doubling (the term is read once).
corpus::MatchCase ownTupleHead(std::int64_t n) {
    using namespace corpus::detail;
    Expr t = num(1);
    for (std::int64_t k = 2; k <= n; ++k) t = plus(t, num(static_cast<std::int32_t>(k)));
    const Type g = mkTid("h");
    const Type x = mkTid("i");
    const Type f = mkTid("l");
    const Type triple = mkTupleType({g, x, f});
    const Expr tuple = ap(ap(mkCon(mkTuple(3), fn(g, fn(x, f, triple))), var("g", g), var("x", x)), var("f", f));
    return {"own tuple head", mkAp(var("f", f), tuple, mkTid("d")), t, {}};
}

template <class Run>
void ownTupleHeadBench(benchmark::State& state, Run run) {
    const corpus::MatchCase c = ownTupleHead(state.range(0));
    const NameSupply s = supplyFor(c);
    for (auto _ : state) benchmark::DoNotOptimize(toVector(run(Mode::OneStep, c, s)).size());
}
void BM_FastOneStepOwnTupleHead(benchmark::State& s) { ownTupleHeadBench(s, fastRun); }
void BM_RefOneStepOwnTupleHead(benchmark::State& s) { ownTupleHeadBench(s, refRun); }
BENCHMARK(BM_FastOneStepOwnTupleHead)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefOneStepOwnTupleHead)->Arg(100)->Arg(200)->Arg(400)->Unit(benchmark::kMicrosecond);

// The applicability test over the corpus.
void BM_FastApplicableExpr(benchmark::State& state) {
    std::size_t yes = 0;
    for (auto _ : state)
        for (const auto& c : cases()) yes += fastApplicableExpr(c.pattern, TermCtx{c.term, c.termContext});
    benchmark::DoNotOptimize(yes);
    state.counters["tests/s"] = benchmark::Counter(static_cast<double>(cases().size() * state.iterations()),
                                                   benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FastApplicableExpr)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace plim
