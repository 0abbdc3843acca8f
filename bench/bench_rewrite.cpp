// Rewriting speed: derivations written as text at width 80 to a sink that only counts bytes.
//
//   Peano multiplication  n × n with add and mul over Z and S
//   naive reverse         rev of a list of n numbers with the theory of ++ and rev
//   commutativity         an endless rewrite with x + y = y + x, read for n steps, with the
//                         growth of the resident memory over the run
//
// Each derivation is timed twice over its first `limit` steps (all of them when it is shorter):
// reading the steps only, and reading and writing them; the difference is the time spent
// printing (the "print_share" counter).  The matcher is the
// system's fast matcher when it is available, else the first-order matcher of the tests
// (named in the label).  The time spent inside the matcher's operations (its results read at
// once) is reported as "matcher_share" of the time of reading the steps; the timing wrapper is
// not the plain fast matcher, so that run takes the driver's general path (every question put
// to the matcher), not the shortcuts it has for the plain fast matcher.  The work runs on a
// large stack; times are that thread's CPU time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../tests/engine/rewriting/driver_test_util.h"
#include "bench_timing.h"
#include "engine/calculations/calculation.h"
#include "engine/matching/fast/record.h"
#include "engine/rewriting/driver.h"

namespace plim {
namespace {

using namespace rewrite_test;

// The fast matcher when its engine is built in, else the tests' first-order matcher.
std::pair<MatcherRef, std::string> benchMatcher() {
    try {
        MatcherRef fast = fastMatcher();
        fast->applicable(zero(), atTop(zero()));
        return {fast, "fast"};
    } catch (const PlimError&) {
        return {firstOrderMatcher(), "first-order"};
    }
}

// The matcher with the time of its operations added up; match results are read at once.
MatcherRef timedMatcher(MatcherRef m, double& seconds) {
    Matcher t = *m;
    t.ruleTable = nullptr;  // every question goes to the timed operations
    double* total = &seconds;
    t.applicable = [m, total](const Expr& p, const TermCtx& c) {
        const double start = threadSeconds();
        const bool r = m->applicable(p, c);
        *total += threadSeconds() - start;
        return r;
    };
    t.matchOneStep = [m, total](const Expr& p, const TermCtx& c, const NameSupply& s) {
        const double start = threadSeconds();
        MatchRun r = m->matchOneStep(p, c, s);
        toVector(r.results);
        *total += threadSeconds() - start;
        return r;
    };
    t.matchTwoStepWith = [m, total](const MatchResult& b, const TermCtx& p, const TermCtx& c, const NameSupply& s) {
        const double start = threadSeconds();
        MatchRun r = m->matchTwoStepWith(b, p, c, s);
        toVector(r.results);
        *total += threadSeconds() - start;
        return r;
    };
    return std::make_shared<const Matcher>(std::move(t));
}

Type intList() { return mkListType(intType()); }
Expr nil() { return mkCon(mkNul(), intList()); }
Expr consOp() { return mkCon(mkBinop(Op::Cons), fn(intType(), fn(intList(), intList()))); }
Expr catOp() { return mkCon(mkBinop(Op::Cat), fn(intList(), fn(intList(), intList()))); }
Expr cons(const Expr& x, const Expr& xs) { return ap(consOp(), x, xs); }
Expr cat(const Expr& xs, const Expr& ys) { return ap(catOp(), xs, ys); }
Expr rev(const Expr& xs) { return ap(con("rev", fn(intList(), intList())), xs); }

std::vector<Rule> reverseTheory() {
    const Expr x = mkVar("x", intType()), xs = mkVar("xs", intList()), ys = mkVar("ys", intList());
    return {rule("revNil", rev(nil()), nil()), rule("revCons", rev(cons(x, xs)), cat(rev(xs), cons(x, nil()))),
            rule("catNil", cat(nil(), ys), ys), rule("catCons", cat(cons(x, xs), ys), cons(x, cat(xs, ys)))};
}

Expr numbers(int n) {
    Expr e = nil();
    for (int i = n; i > 0; --i) e = cons(num(i), e);
    return e;
}

struct Run {
    std::size_t steps = 0;
    std::size_t bytes = 0;
};

Run readSteps(const Derivation& d, std::size_t limit) {
    Run r;
    for (CalcSteps at = take(limit, d.steps); !at.empty(); at = at.tail()) ++r.steps;
    return r;
}

Run writeSteps(Derivation d, std::size_t limit) {
    Run r;
    const Expr start = d.start;
    CalcSteps steps = take(limit, std::move(d.steps));
    d = Derivation{start, {}, {}};
    writeCalculation(80, 0, start, std::move(steps), [&r](std::string_view piece) {
        r.bytes += piece.size();
        ++r.steps;
    });
    --r.steps;  // the first piece is the start
    return r;
}

void measure(benchmark::State& state, const std::vector<Rule>& theory, const Expr& e, std::size_t limit) {
    const auto [matcher, name] = benchMatcher();
    Run derived, printed;
    double deriveSeconds = 0, totalSeconds = 0, matcherSeconds = 0, timedSeconds = 0;
    for (auto _ : state) {
        const MatcherRef timed = timedMatcher(matcher, matcherSeconds);
        timedSeconds += cpuSecondsOnLargeStack([&] { readSteps(rewriteDefinition(timed, theory, e), limit); });
        deriveSeconds += cpuSecondsOnLargeStack([&] { derived = readSteps(rewriteDefinition(matcher, theory, e), limit); });
        const double t = cpuSecondsOnLargeStack([&] { printed = writeSteps(rewriteDefinition(matcher, theory, e), limit); });
        totalSeconds += t;
        state.SetIterationTime(t);
    }
    const double n = static_cast<double>(state.iterations());
    state.SetLabel(name);
    state.counters["steps"] = static_cast<double>(printed.steps);
    state.counters["bytes"] = static_cast<double>(printed.bytes);
    state.counters["steps_per_s"] = static_cast<double>(printed.steps) * n / totalSeconds;
    state.counters["derive_us_per_step"] = deriveSeconds / n / static_cast<double>(derived.steps) * 1e6;
    state.counters["print_share"] = 1.0 - deriveSeconds / totalSeconds;
    state.counters["matcher_share"] = matcherSeconds / timedSeconds;
}

void BM_PeanoMultiplication(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    measure(state, peanoTheory(), mul(peano(n), peano(n)), 100000);
}
BENCHMARK(BM_PeanoMultiplication)->Arg(10)->Arg(20)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_NaiveReverse(benchmark::State& state) {
    measure(state, reverseTheory(), rev(numbers(static_cast<int>(state.range(0)))), 100);
}
BENCHMARK(BM_NaiveReverse)->Arg(50)->Arg(100)->Arg(200)->UseManualTime()->Unit(benchmark::kMillisecond);

long residentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

void BM_EndlessCommutativity(benchmark::State& state) {
    const auto [matcher, name] = benchMatcher();
    const Expr x = mkVar("x", intType()), y = mkVar("y", intType());
    const std::vector<Rule> theory{rule("comm", plus(x, y), plus(y, x))};
    const std::size_t limit = static_cast<std::size_t>(state.range(0));
    long growthAfterTenth = 0, growthTotal = 0;
    for (auto _ : state) {
        const double t = cpuSecondsOnLargeStack([&] {
            Derivation d = rewriteDefinition(matcher, theory, plus(num(1), num(2)));
            const Expr start = d.start;
            CalcSteps steps = std::move(d.steps);
            d = Derivation{start, {}, {}};
            std::string text;
            const long before = residentKiB();
            for (std::size_t i = 0; i < limit; ++i) {
                text.clear();
                writeCalculation(80, 0, start, take(1, steps), [&text](std::string_view p) { text += p; });
                steps = steps.tail();
                if (i == limit / 10) growthAfterTenth = residentKiB() - before;
            }
            growthTotal = residentKiB() - before;
        });
        state.SetIterationTime(t);
    }
    state.SetLabel(name);
    state.counters["steps"] = static_cast<double>(limit);
    state.counters["rss_growth_kib_at_10pct"] = static_cast<double>(growthAfterTenth);
    state.counters["rss_growth_kib_at_end"] = static_cast<double>(growthTotal);
}
BENCHMARK(BM_EndlessCommutativity)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
