// Reference matcher speed on the matchers' shared pattern/term corpus: simple, one-step and
// two-step matching with every result read (results per second), the latency of the first
// result of a search with 2^20 candidates for one group of occurrences alone, the growth of
// matching at every position of a deep term, and the cost of the results of an endless
// two-step search.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "../tests/engine/matching/match_corpus.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/reference/matcher.h"
#include "engine/rewriting/positions.h"
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

// One-step matches of p at every subexpression of the n-level term t, every result read.
void oneStepAtEveryPosition(benchmark::State& state, const Expr& p, const Expr& t, int n) {
    for (auto _ : state) {
        std::size_t results = 0;
        for (List<SubPath> at = subpaths(atTop(t)); !at.empty(); at = at.tail())
            results += length(ref::oneStepMatch(p, at.head().first, initialNameSupply()).results);
        benchmark::DoNotOptimize(results);
    }
    state.counters["levels"] = static_cast<double>(n);
}

// A one-step match at every subexpression of (1, (1, ... (1, 1))) with n levels, as the
// rewriting driver asks for them, every result read: the pattern H x (H a constructor) fails
// at once nearly everywhere, so the time is that of preparing the term for each match, and
// must grow linearly with n (each node converted once, not once per enclosing position).
void BM_RefOneStepAtEveryPositionOfNestedTuples(benchmark::State& state) {
    const auto n = static_cast<int>(state.range(0));
    const Type i = intType();
    Expr t = mkCon(mkNumber(1), i);
    for (int k = 0; k < n; ++k) {
        const Type pairType = mkTupleType({i, t.type()});
        const Expr pairCon = mkCon(mkTuple(2), mkArrow(i, mkArrow(t.type(), pairType)));
        t = typedAp(typedAp(pairCon, mkCon(mkNumber(1), i)), t);
    }
    const Expr p = typedAp(mkCon(mkConstr("H"), mkArrow(i, i)), mkVar("x", i));
    oneStepAtEveryPosition(state, p, t, n);
}
BENCHMARK(BM_RefOneStepAtEveryPositionOfNestedTuples)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

// The same walk over (\x -> x, (\x -> x, ... (\x -> x, \x -> x))) with n levels, each lambda of
// a type variable of its own (as the type checker leaves them), against H x y typed by a type
// variable, which binds to the term's type at every position: the check that no type match
// binds a variable of the term's types must not read the whole term, or its types, once for
// every variable of them.
void BM_RefOneStepAtEveryPositionOfNestedLambdas(benchmark::State& state) {
    const auto n = static_cast<int>(state.range(0));
    auto identity = [](int k) {
        const Type a = mkTid("t" + std::to_string(k));
        return mkLam(mkVar("x", a), mkVar("x", a), mkArrow(a, a));
    };
    Expr t = identity(0);
    for (int k = 1; k <= n; ++k) {
        const Expr e = identity(k);
        const Type pairType = mkTupleType({e.type(), t.type()});
        const Expr pairCon = mkCon(mkTuple(2), mkArrow(e.type(), mkArrow(t.type(), pairType)));
        t = typedAp(typedAp(pairCon, e), t);
    }
    const Type a = mkTid("a");
    const Type b = mkTid("b");
    const Type c = mkTid("c");
    const Expr h = mkCon(mkConstr("H"), mkArrow(a, mkArrow(b, c)));
    const Expr p = typedAp(typedAp(h, mkVar("x", a)), mkVar("y", b));
    oneStepAtEveryPosition(state, p, t, n);
}
BENCHMARK(BM_RefOneStepAtEveryPositionOfNestedLambdas)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

// The first n results of a two-step search that never ends: F (\y -> y, True) against
// H (H ... (H 1)) (eight H).  The identity's body fits every subterm, so each level of
// abstracted bodies puts the abstraction variable around one more subterm of a body of the
// level before.  The fast matcher on the same search, for comparison.
std::pair<Expr, Expr> endlessTwoStepPair() {
    const Type i = intType();
    const Type b = boolType();
    const Type fii = mkArrow(i, i);
    const Type argType = mkTupleType({fii, b});
    const Expr pairCon = mkCon(mkTuple(2), mkArrow(fii, mkArrow(b, argType)));
    const Expr identity = mkLam(mkVar("y", i), mkVar("y", i), fii);
    const Expr arg = typedAp(typedAp(pairCon, identity), mkCon(mkBoolean(true), b));
    Expr t = mkCon(mkNumber(1), i);
    for (int k = 0; k < 8; ++k) t = typedAp(mkCon(mkConstr("H"), fii), t);
    return {typedAp(mkVar("F", mkArrow(argType, i)), arg), t};
}

template <class Match>
void endlessFirstResults(benchmark::State& state, Match match) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const auto [p, t] = endlessTwoStepPair();
    for (auto _ : state) benchmark::DoNotOptimize(toVector(match(p, atTop(t), initialNameSupply()).results, n).size());
    state.counters["results"] = static_cast<double>(n);
}

void BM_RefTwoStepEndlessFirstResults(benchmark::State& state) { endlessFirstResults(state, ref::twoStepMatch); }
void BM_FastTwoStepEndlessFirstResults(benchmark::State& state) {
    endlessFirstResults(state, fastRecord()->matchTwoStep);
}
BENCHMARK(BM_RefTwoStepEndlessFirstResults)->Arg(500)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FastTwoStepEndlessFirstResults)->Arg(500)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
