// The text of one expression of a calculation (display form, then layout at width 80) on deeply
// nested inputs, where each step's text must stay linear in the expression:
//
//   nested lambdas   \ x -> \ x -> ... x
//   nested redexes   (\ x -> (\ x -> ... x) 1) 1, the form a chain of lets takes
//   shared bottom    \ q -> ... \ q -> (q + 1) * (q + 1): something to share in the innermost
//                    body only
//
// Each case runs at 1×, 2× and 4× its size; the complexity fit reports the growth.  The work
// runs on a large stack; times are that thread's CPU time.
#include <benchmark/benchmark.h>

#include "../tests/engine/rewriting/driver_test_util.h"
#include "bench_timing.h"
#include "engine/calculations/calculation.h"

namespace plim {
namespace {

using namespace rewrite_test;

Expr nestedLambdas(int n) {
    const Expr x = mkVar("x", intType());
    Expr e = x;
    for (int i = 0; i < n; ++i) e = lam(x, e);
    return e;
}

Expr nestedRedexes(int n) {
    const Expr x = mkVar("x", intType());
    Expr e = x;
    for (int i = 0; i < n; ++i) e = ap(lam(x, e), num(1));
    return e;
}

Expr sharedBottom(int n) {
    const Expr q = mkVar("q", intType());
    const Expr plusOne = plus(q, num(1));
    const Expr times = mkCon(mkBinop(Op::Tim), fn(intType(), fn(intType(), intType())));
    Expr e = ap(times, plusOne, plusOne);
    for (int i = 0; i < n; ++i) e = lam(q, e);
    return e;
}

void measure(benchmark::State& state, Expr (*build)(int)) {
    const int n = static_cast<int>(state.range(0));
    const Expr e = build(n);
    std::size_t bytes = 0;
    for (auto _ : state) {
        state.SetIterationTime(cpuSecondsOnLargeStack([&] { bytes = layoutExpr(80, 0, e).size(); }));
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetComplexityN(n);
}

void BM_NestedLambdas(benchmark::State& state) { measure(state, nestedLambdas); }
BENCHMARK(BM_NestedLambdas)->Arg(1000)->Arg(2000)->Arg(4000)->UseManualTime()->Unit(benchmark::kMillisecond)->Complexity();

void BM_NestedRedexes(benchmark::State& state) { measure(state, nestedRedexes); }
BENCHMARK(BM_NestedRedexes)->Arg(1000)->Arg(2000)->Arg(4000)->UseManualTime()->Unit(benchmark::kMillisecond)->Complexity();

void BM_SharedBottom(benchmark::State& state) { measure(state, sharedBottom); }
BENCHMARK(BM_SharedBottom)->Arg(1000)->Arg(2000)->Arg(4000)->UseManualTime()->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace
}  // namespace plim
