// Beta reduction speed: a chain of let-style redexes (each contraction a match by the fast
// matcher), and an expression without redexes of many nodes (what every rewriting step pays
// for reducing the whole expression).  Each shape at two sizes, so the growth can be read off.
//
// The work runs on a large stack; the time reported is that thread's CPU time.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_timing.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/matcher.h"
#include "lang/constants.h"
#include "lang/expressions.h"

namespace plim {
namespace {

Expr var(const std::string& n, const Type& t = intType()) { return mkVar(n, t); }
Expr num(std::int32_t n) { return mkCon(mkNumber(n), intType()); }
const Type intToInt = mkArrow(intType(), intType());

// let x1 = 0; x2 = x1; ... in xn without the let: (\x1 -> (\x2 -> ... (\xn -> xn) x(n-1) ...) x1) 0,
// n redexes.
Expr letChain(int n) {
    Expr body = var("x" + std::to_string(n));
    for (int i = n; i >= 1; --i) {
        Expr rhs = i == 1 ? num(0) : var("x" + std::to_string(i - 1));
        body = mkAp(typedLam("x" + std::to_string(i), intType(), body), rhs, intType());
    }
    return body;
}

// \y -> g (h y 0) (g (h y 1) ( ... )): about `nodes` nodes, no redex.
Expr redexFree(int nodes) {
    const Expr g = var("g", mkArrow(intType(), intToInt));
    const Expr h = var("h", mkArrow(intType(), intToInt));
    const Expr y = var("y");
    Expr e = num(0);
    for (int i = 0; i < nodes / 8; ++i) {
        Expr left = mkAp(mkAp(h, y, intToInt), num(i % 10), intType());
        e = mkAp(mkAp(g, left, intToInt), e, intType());
    }
    return typedLam("y", intType(), e);
}

template <Expr (*Shape)(int)>
void BM_Betareduce(benchmark::State& state) {
    const Expr e = Shape(static_cast<int>(state.range(0)));
    fastMatcher();
    for (auto _ : state) {
        timeOnLargeStack(state, [&] { benchmark::DoNotOptimize(betareduce(e)); });
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK_TEMPLATE(BM_Betareduce, letChain)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Betareduce, redexFree)->Arg(100000)->Arg(400000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
