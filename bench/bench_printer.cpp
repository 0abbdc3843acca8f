// Printing speed: a generated program of many definitions laid out at width 80, and single
// expressions of many nodes of several shapes laid out at the printer's fixed width.  Each
// shape is measured at two sizes so that the growth of the cost can be read off.
//
// The iterations run on one large stack, on a thread of its own, as plim runs a session; the
// time reported is that thread's CPU time, so that a busy machine does not inflate it.  The
// targets are also measured with a thread per iteration, which adds what a fresh thread costs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/printer/printer.h"
#include "lang/syntax.h"
#include "bench_timing.h"

namespace plim {
namespace {

Expr var(const std::string& n) { return mkVar(n, placeholderType()); }
Expr con(Constant c) { return mkCon(std::move(c), placeholderType()); }
Expr ap(Expr f, Expr x) { return mkAp(std::move(f), std::move(x), placeholderType()); }
Expr binop(Op op, Expr a, Expr b) { return ap(ap(con(mkBinop(op)), std::move(a)), std::move(b)); }
Expr num(std::int32_t n) { return con(mkNumber(n)); }

// f<i> x (y : ys) = if x > <i> then g<i> (x + y) ys else (x, h y) : f<i> x ys
Decl definition(int i) {
    const std::string n = std::to_string(i);
    const Expr f = var("f" + n), x = var("x"), y = var("y"), ys = var("ys");
    const Expr lhs = ap(ap(f, x), binop(Op::Cons, y, ys));
    const Expr cond = binop(Op::Ge, x, num(i));
    const Expr thenPart = ap(ap(var("g" + n), binop(Op::Plus, x, y)), ys);
    const Expr pair = ap(ap(con(mkTuple(2)), x), ap(var("h"), y));
    const Expr elsePart = binop(Op::Cons, pair, ap(ap(f, x), ys));
    return mkFun(lhs, ap(ap(ap(con(mkIf()), cond), thenPart), elsePart));
}

Elems program(int definitions) {
    Elems elems = mkNoElem();
    for (int i = definitions - 1; i >= 0; --i) elems = mkOneElem(mkDefElem(definition(i)), elems, 0);
    return elems;
}

void BM_PrintProgram(benchmark::State& state) {
    const Elems elems = program(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    iterateOnLargeStack(state, [&] { bytes = renderDoc(showProgram(elems), 80).size(); });
    state.counters["definitions"] = static_cast<double>(state.range(0));
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PrintProgram)->Arg(5000)->Arg(20000)->Arg(40000)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same listing as the interpreter writes it: element by element.
void BM_ListProgram(benchmark::State& state) {
    const Elems elems = program(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    iterateOnLargeStack(state, [&] {
        std::string text;
        renderProgramTo(text, elems, 80);
        bytes = text.size();
    });
    state.counters["definitions"] = static_cast<double>(state.range(0));
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListProgram)->Arg(5000)->Arg(20000)->Arg(40000)->UseManualTime()->Unit(benchmark::kMillisecond);

// The shapes, each of about `nodes` nodes.
Expr balancedSum(int nodes) {
    std::vector<Expr> level;
    for (int i = 0; i < (nodes + 3) / 4; ++i) level.push_back(var("x"));
    while (level.size() > 1) {
        std::vector<Expr> next;
        for (std::size_t i = 0; i + 1 < level.size(); i += 2) next.push_back(binop(Op::Plus, level[i], level[i + 1]));
        if (level.size() % 2 == 1) next.push_back(level.back());
        level = std::move(next);
    }
    return level.front();
}
Expr consList(int nodes) {
    Expr list = con(mkNul());
    for (int i = 0; i < nodes / 4; ++i) list = binop(Op::Cons, num(i % 10), list);
    return list;
}
Expr applicationSpine(int nodes) {
    Expr e = var("f");
    for (int i = 0; i < nodes / 2; ++i) e = ap(e, var("x"));
    return e;
}

template <Expr (*Shape)(int)>
void BM_PrintExpr(benchmark::State& state) {
    const Expr e = Shape(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    iterateOnLargeStack(state, [&] { bytes = showExpr(e).size(); });
    state.counters["nodes"] = static_cast<double>(state.range(0));
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK_TEMPLATE(BM_PrintExpr, balancedSum)->Arg(25000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_PrintExpr, consList)->Arg(25000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_PrintExpr, applicationSpine)->Arg(25000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

// The sizes of the printing-speed targets, and twice them: a balanced sum of 50,000 leaves and
// an application to 100,000 arguments, printed by showExpr.
Expr sumOfLeaves(int leaves) { return balancedSum(4 * leaves); }
Expr applicationTo(int arguments) { return applicationSpine(2 * arguments); }

template <Expr (*Shape)(int)>
void BM_PrintTarget(benchmark::State& state) {
    const Expr e = Shape(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    iterateOnLargeStack(state, [&] { bytes = showExpr(e).size(); });
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["ns_per_item"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                       benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}
BENCHMARK_TEMPLATE(BM_PrintTarget, sumOfLeaves)->Arg(50000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_PrintTarget, applicationTo)->Arg(100000)->Arg(200000)->UseManualTime()->Unit(benchmark::kMillisecond);

// The targets with a thread per iteration.
template <Expr (*Shape)(int)>
void BM_PrintTargetFreshThread(benchmark::State& state) {
    const Expr e = Shape(static_cast<int>(state.range(0)));
    for (auto _ : state) timeOnLargeStack(state, [&] { benchmark::DoNotOptimize(showExpr(e).size()); });
}
BENCHMARK_TEMPLATE(BM_PrintTargetFreshThread, sumOfLeaves)->Arg(50000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_PrintTargetFreshThread, applicationTo)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_PrintProgramFreshThread(benchmark::State& state) {
    const Elems elems = program(static_cast<int>(state.range(0)));
    for (auto _ : state) timeOnLargeStack(state, [&] { benchmark::DoNotOptimize(renderDoc(showProgram(elems), 80).size()); });
}
BENCHMARK(BM_PrintProgramFreshThread)->Arg(20000)->UseManualTime()->Unit(benchmark::kMillisecond);

// The shapes whose layout once took exponential time: conditionals nested in the then- or
// the else-branch (condition x<i> == <i>, other branch g y), and a lambda in the last argument
// of an application at every level.
Expr nestedIf(int depth, bool inThen) {
    Expr e = var("x");
    for (int i = depth; i >= 1; --i) {
        const Expr cond = binop(Op::Eq, var("x" + std::to_string(i)), num(i));
        const Expr other = ap(var("g"), var("y"));
        e = ap(ap(ap(con(mkIf()), cond), inThen ? e : other), inThen ? other : e);
    }
    return e;
}
Expr nestedIfThen(int depth) { return nestedIf(depth, true); }
Expr nestedIfElse(int depth) { return nestedIf(depth, false); }
Expr lambdaInArgument(int depth) {
    Expr e = var("x");
    for (int i = depth; i >= 1; --i) {
        const Expr v = var("v" + std::to_string(i));
        e = mkLam(v, ap(ap(var("g"), v), e), placeholderType());
    }
    return e;
}

// Arguments: depth, page width.
template <Expr (*Shape)(int)>
void BM_PrintNested(benchmark::State& state) {
    const Expr e = Shape(static_cast<int>(state.range(0)));
    const LayoutInt width = state.range(1);
    std::size_t bytes = 0;
    iterateOnLargeStack(state, [&] { bytes = renderDoc(ppExpr(0, e), width).size(); });
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK_TEMPLATE(BM_PrintNested, nestedIfThen)
    ->Args({12, 160})->Args({25, 80})->Args({25, 160})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_PrintNested, nestedIfElse)
    ->Args({12, 160})->Args({25, 80})->Args({25, 160})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_PrintNested, lambdaInArgument)
    ->Args({24, 160})->Args({25, 80})->Args({25, 160})->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
