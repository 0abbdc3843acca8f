// The text of one expression of a calculation (display form, then layout at width 80) on deeply
// nested inputs, where each step's text must stay linear in the expression:
//
//   nested lambdas   \ x -> \ x -> ... x
//   nested redexes   (\ x -> (\ x -> ... x) 1) 1, the form a chain of lets takes
//   shared bottom    \ q -> ... \ q -> (q + 1) * (q + 1): something to share in the innermost
//                    body only
//   reverse step     an expression halfway through a naive reverse of n numbers:
//                    (((rev [1..n/2] ++ [n/2+1]) ++ ...) ++ [n]), nothing shared
//   Peano step       add (S^(n*n/2) Z) (mul (S^n Z) (S^(n/2) Z)): numerals share their tails
//
// The two step shapes are also timed for the display form alone, and for the display forms of
// two steps in turn that differ in a path to the bottom only, as steps of a calculation do.  Each case runs at 1×, 2×
// and 4× its size; the complexity fit reports the growth.  All iterations run on one large
// stack; times are that thread's CPU time.
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/engine/rewriting/driver_test_util.h"
#include "bench_timing.h"
#include "engine/calculations/calculation.h"
#include "frontend/printer/expressions.h"
#include "layout/combinators.h"

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

Type intList() { return mkListType(intType()); }
Expr listOp(Op op, const Type& left) { return mkCon(mkBinop(op), fn(left, fn(intList(), intList()))); }

Expr reverseStep(int n) {
    const Expr nil = mkCon(mkNul(), intList());
    auto singleton = [&](int i) { return ap(listOp(Op::Cons, intType()), num(i), nil); };
    Expr firstHalf = nil;
    for (int i = n / 2; i > 0; --i) firstHalf = ap(listOp(Op::Cons, intType()), num(i), firstHalf);
    Expr e = ap(con("rev", fn(intList(), intList())), firstHalf);
    for (int i = n / 2 + 1; i <= n; ++i) e = ap(listOp(Op::Cat, intList()), e, singleton(i));
    return e;
}

Expr peanoStep(int n) { return add(peano(n * n / 2), mul(peano(n), peano(n / 2))); }

void measure(benchmark::State& state, Expr (*build)(int)) {
    const int n = static_cast<int>(state.range(0));
    const Expr e = build(n);
    std::size_t bytes = 0;
    iterateOnLargeStack(state, [&] { bytes = layoutExpr(80, 0, e).size(); });
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetComplexityN(n);
}

// The display form alone (no layout).
void measureDisplayForm(benchmark::State& state, Expr (*build)(int)) {
    const int n = static_cast<int>(state.range(0));
    const Expr e = build(n);
    iterateOnLargeStack(state, [&] { benchmark::DoNotOptimize(displayForm(e)); });
    state.SetComplexityN(n);
}

// e with the path to a deepest application rebuilt (new nodes, the same tree).
Expr rebuiltPath(const Expr& e) {
    std::vector<Expr> path;  // applications, each above the next
    for (Expr at = e; at.isAp(); at = at.fun().isAp() ? at.fun() : at.arg()) path.push_back(at);
    if (path.empty()) return e;
    Expr below = path.back().arg();
    for (std::size_t k = path.size(); k-- > 0;) {
        const Expr& node = path[k];
        const bool intoFun = k + 1 < path.size() && node.fun().isAp();
        below = intoFun ? mkAp(below, node.arg(), node.lazyType()) : mkAp(node.fun(), below, node.lazyType());
    }
    return below;
}

// The display forms of two steps in turn.
void measureDisplayFormSteps(benchmark::State& state, Expr (*build)(int)) {
    const int n = static_cast<int>(state.range(0));
    const Expr first = build(n);
    const Expr second = rebuiltPath(first);
    iterateOnLargeStack(state, [&] {
        benchmark::DoNotOptimize(displayForm(first));
        benchmark::DoNotOptimize(displayForm(second));
    });
    state.SetComplexityN(n);
}

void BM_NestedLambdas(benchmark::State& state) { measure(state, nestedLambdas); }
BENCHMARK(BM_NestedLambdas)->Arg(1000)->Arg(2000)->Arg(4000)->UseManualTime()->Unit(benchmark::kMillisecond)->Complexity();

void BM_NestedRedexes(benchmark::State& state) { measure(state, nestedRedexes); }
BENCHMARK(BM_NestedRedexes)->Arg(1000)->Arg(2000)->Arg(4000)->UseManualTime()->Unit(benchmark::kMillisecond)->Complexity();

void BM_SharedBottom(benchmark::State& state) { measure(state, sharedBottom); }
BENCHMARK(BM_SharedBottom)->Arg(1000)->Arg(2000)->Arg(4000)->UseManualTime()->Unit(benchmark::kMillisecond)->Complexity();

void BM_ReverseStep(benchmark::State& state) { measure(state, reverseStep); }
BENCHMARK(BM_ReverseStep)->Arg(100)->Arg(200)->Arg(400)->UseManualTime()->Unit(benchmark::kMicrosecond)->Complexity();

void BM_PeanoStep(benchmark::State& state) { measure(state, peanoStep); }
BENCHMARK(BM_PeanoStep)->Arg(10)->Arg(20)->Arg(40)->UseManualTime()->Unit(benchmark::kMicrosecond)->Complexity();

void BM_ReverseStepDisplayForm(benchmark::State& state) { measureDisplayForm(state, reverseStep); }
BENCHMARK(BM_ReverseStepDisplayForm)->Arg(100)->Arg(200)->Arg(400)->UseManualTime()->Unit(benchmark::kMicrosecond)->Complexity();

void BM_PeanoStepDisplayForm(benchmark::State& state) { measureDisplayForm(state, peanoStep); }
BENCHMARK(BM_PeanoStepDisplayForm)->Arg(10)->Arg(20)->Arg(40)->UseManualTime()->Unit(benchmark::kMicrosecond)->Complexity();

void BM_ReverseStepsDisplayForm(benchmark::State& state) { measureDisplayFormSteps(state, reverseStep); }
BENCHMARK(BM_ReverseStepsDisplayForm)->Arg(100)->Arg(200)->Arg(400)->UseManualTime()->Unit(benchmark::kMicrosecond)->Complexity();

void BM_PeanoStepsDisplayForm(benchmark::State& state) { measureDisplayFormSteps(state, peanoStep); }
BENCHMARK(BM_PeanoStepsDisplayForm)->Arg(10)->Arg(20)->Arg(40)->UseManualTime()->Unit(benchmark::kMicrosecond)->Complexity();

// The two halves of printing a step, on the display form made once: building the document
// (and dropping it), and laying the built document out at width 80.
void measureBuild(benchmark::State& state, Expr (*build)(int)) {
    const Expr e = displayForm(build(static_cast<int>(state.range(0))));
    iterateOnLargeStack(state, [&] { benchmark::DoNotOptimize(indentDoc(3, ppExpr(0, e))); });
    state.SetComplexityN(state.range(0));
}
void measureRender(benchmark::State& state, Expr (*build)(int)) {
    const Doc d = indentDoc(3, ppExpr(0, displayForm(build(static_cast<int>(state.range(0))))));
    iterateOnLargeStack(state, [&] {
        std::string out;
        renderDocTo(out, d, 80);
        benchmark::DoNotOptimize(out);
    });
    state.SetComplexityN(state.range(0));
}

void BM_ReverseStepBuild(benchmark::State& state) { measureBuild(state, reverseStep); }
BENCHMARK(BM_ReverseStepBuild)->Arg(100)->Arg(200)->Arg(400)->UseManualTime()->Unit(benchmark::kMicrosecond)->Complexity();
void BM_ReverseStepRender(benchmark::State& state) { measureRender(state, reverseStep); }
BENCHMARK(BM_ReverseStepRender)->Arg(100)->Arg(200)->Arg(400)->UseManualTime()->Unit(benchmark::kMicrosecond)->Complexity();
void BM_PeanoStepBuild(benchmark::State& state) { measureBuild(state, peanoStep); }
BENCHMARK(BM_PeanoStepBuild)->Arg(10)->Arg(20)->Arg(40)->UseManualTime()->Unit(benchmark::kMicrosecond)->Complexity();
void BM_PeanoStepRender(benchmark::State& state) { measureRender(state, peanoStep); }
BENCHMARK(BM_PeanoStepRender)->Arg(10)->Arg(20)->Arg(40)->UseManualTime()->Unit(benchmark::kMicrosecond)->Complexity();

}  // namespace
}  // namespace plim
