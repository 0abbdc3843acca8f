// The time a render takes to use up its work budget, and a printed
// expression that reaches the budget at a wide page: each render below ends with the too-wide
// marker of its document's width.
#include <benchmark/benchmark.h>

#include <string>

#include "frontend/printer/printer.h"
#include "lang/syntax.h"
#include "support/big_stack.h"
#include "layout/combinators.h"
#include "bench_timing.h"

namespace plim {
namespace {

Doc nodeText(const std::string& s) {
    return textDoc(s);
}

// k choices side by side, each "xx" or a line of 2k + 10 'y' above "z".
template <Doc (*Text)(const std::string&)>
Doc splitChoices(int k) {
    const std::string longLine(static_cast<std::size_t>(2 * k + 10), 'y');
    Doc acc = emptyDoc();
    for (int i = 0; i < k; ++i) acc = besideDoc(joinDoc(dupDoc(Text("xx"), aboveDoc(Text(longLine), Text("z")))), acc);
    return acc;
}

// A choice whose one-line alternative fits beside no layout of the rest, then n texts "c", then
// 45 split choices, for a page of width w.
template <Doc (*Text)(const std::string&)>
Doc rowChoices(int n, int w) {
    const auto m = static_cast<std::size_t>(w - n - 2 * 45 + 1);
    Doc acc = splitChoices<Text>(45);
    for (int i = 0; i < n; ++i) acc = besideDoc(Text("c"), acc);
    return besideDoc(joinDoc(dupDoc(Text(std::string(m, 'a')), aboveDoc(Text(std::string(m, 'b')), Text("")))), acc);
}

// Renders on a large stack; the time reported is that thread's CPU time.
void renderEach(benchmark::State& state, const Doc& d, LayoutInt width) {
    std::size_t size = 0;
    for (auto _ : state) timeOnLargeStack(state, [&] { size = renderDoc(d, width).size(); });
    state.counters["bytes"] = static_cast<double>(size);
}

void BM_BudgetSplitChoicesNodes(benchmark::State& state) {
    renderEach(state, splitChoices<nodeText>(200), 1000);
}
BENCHMARK(BM_BudgetSplitChoicesNodes)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BudgetRowChoices(benchmark::State& state) {
    renderEach(state, rowChoices<nodeText>(2000, 3000), 3000);
}
BENCHMARK(BM_BudgetRowChoices)->UseManualTime()->Unit(benchmark::kMillisecond);

// \v1 -> g v1 (\v2 -> g v2 (... x)), 140 deep: at width 1000 it is laid out with three quarters
// of the budget; at a page wide enough for all of it on one line (about 2000 columns) every
// level keeps more layouts and the budget runs out.
void BM_BudgetPrintedLambdas(benchmark::State& state) {
    Expr e = mkVar("x", placeholderType());
    for (int i = 140; i >= 1; --i) {
        const Expr v = mkVar("v" + std::to_string(i), placeholderType());
        const Expr g = mkVar("g", placeholderType());
        e = mkLam(v, mkAp(mkAp(g, v, placeholderType()), e, placeholderType()), placeholderType());
    }
    renderEach(state, runOnLargeStack([&] { return ppExpr(0, e); }), state.range(0));
}
BENCHMARK(BM_BudgetPrintedLambdas)->ArgName("width")->Arg(1000)->Arg(2000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
