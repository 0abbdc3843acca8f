// Rendering costs of the layout library: deeply nested choices, long stacked lists, fills and
// centred columns.
#include <benchmark/benchmark.h>

#include <span>
#include <string>
#include <vector>

#include "support/big_stack.h"
#include "layout/combinators.h"

namespace plim {
namespace {

// A conditional whose branches are applications and tuples, nested to the given depth.
Doc nested(int depth) {
    if (depth == 0) return ppString("x");
    Doc inner = nested(depth - 1);
    Doc call = hvSpList(std::vector<Doc>{ppString("f"), inner, ppString("y")});
    Doc tuple = blockDoc("(", ")", ", ", {ppString("a"), call});
    return ifThenElseDoc("if ", " then ", " else ", "", ppString("c"), tuple, ppString("e"));
}

void BM_NestedDepth30Width80(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::size_t size = runOnLargeStack([&] { return renderDoc(nested(depth), 80).size(); });
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_NestedDepth30Width80)->Arg(10)->Arg(20)->Arg(30)->Unit(benchmark::kMillisecond);

// A right-nested chain of breakable applications (S (add x (S (add y ... (f a b))))), as the printer
// builds it, above a list that is one line where it fits: laid out at a page as wide as it is, once
// built.  Each doubling of the depth should double the time.
Doc application(const char* head, std::vector<Doc> args) {
    Doc h = ppString(head);
    return spacedListDoc(&h, std::span<Doc>(args), true);
}

void BM_ChainOfApplicationsFullWidth(benchmark::State& state) {
    Doc d = hvList({ppString("f"), ppString(" a"), ppString(" b")});
    for (int i = 0; i < state.range(0); ++i) d = application("S", {application("add", {ppString(i % 2 ? "x" : "y"), d})});
    for (auto _ : state) {
        std::size_t size = runOnLargeStack([&] { return renderDoc(d, 1000000).size(); });
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_ChainOfApplicationsFullWidth)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);

// The same chain above a stack of two lines, built afresh for each render (a document met again recalls its
// layouts): every level's first layout is taller than a line.  At full width and at 80, where the deeper levels
// are past the end of the line.  Each doubling of the depth should double the time.
Doc chainAboveAStack(int depth) {
    Doc d = aboveDoc(ppString("let a"), ppString("in a"));
    for (int i = 0; i < depth; ++i) d = application("S", {application("add", {ppString(i % 2 ? "x" : "y"), d})});
    return d;
}

void BM_ChainAboveAStack(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    const LayoutInt width = state.range(1);
    for (auto _ : state) {
        std::size_t size = runOnLargeStack([&] { return renderDoc(chainAboveAStack(depth), width).size(); });
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_ChainAboveAStack)->ArgsProduct({{256, 512, 1024, 2048, 4096}, {80, 1000000}})->Unit(benchmark::kMillisecond);

// A conditional nested in the then-branch of the next, laid out at the printer's width 160.
Doc nestedThen(int depth) {
    Doc d = ppString("x");
    for (int i = 0; i < depth; ++i) d = ifThenElseDoc("if ", " then ", " else ", "", ppString("c"), d, ppString("e"));
    return d;
}

void BM_NestedThenWidth160(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::size_t size = runOnLargeStack([&] { return renderDoc(nestedThen(depth), 160).size(); });
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_NestedThenWidth160)->Arg(12)->Arg(15)->Arg(18)->Unit(benchmark::kMillisecond);

// "(k : rest)", as the printer lays out a list cell.
Doc cell(int k, Doc rest) {
    return parensDoc(hvSpList(std::vector<Doc>{ppString(std::to_string(k)), ppString(":"), std::move(rest)}));
}

// The steps of a calculation over a list of n cells, too long for the width: each step replaces
// one cell, rebuilds the path to it and shares the rest with the step before, as the printer
// reuses the documents of unchanged subexpressions; each is rendered at width 80.  Measured per
// step: the parts met again at the bounds they had are laid out once.
void BM_RenderChangedSteps(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<Doc> tails(static_cast<std::size_t>(n) + 1, ppString("[]"));
    for (int i = n; i-- > 0;) tails[static_cast<std::size_t>(i)] = cell(i, tails[static_cast<std::size_t>(i) + 1]);
    for (auto _ : state) {
        for (int step = 0; step < n; ++step) {
            Doc d = cell(n + step, tails[static_cast<std::size_t>(step) + 1]);
            for (int i = step; i-- > 0;) d = cell(i, std::move(d));
            benchmark::DoNotOptimize(renderDoc(indentDoc(3, d), 80).size());
        }
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_RenderChangedSteps)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_AboveList(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<Doc> items;
    items.reserve(n);
    for (std::size_t i = 0; i < n; ++i) items.push_back(ppString("item number " + std::to_string(i)));
    for (auto _ : state) {
        std::size_t size = renderDoc(aboveList(items), 80).size();
        benchmark::DoNotOptimize(size);
    }
    state.counters["ns_per_item"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(BM_AboveList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The same list built by nesting aboveDoc by hand (deep recursion: run on a large stack).
void BM_NestedAboveDocs(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        std::size_t size = runOnLargeStack([&] {
            Doc d = emptyDoc();
            for (std::size_t i = n; i-- > 0;) d = aboveDoc(ppString("item number " + std::to_string(i)), d);
            return renderDoc(d, 80).size();
        });
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_NestedAboveDocs)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// A fill and a centred column of n texts, and fills nested n deep.  Each grows linearly (time per item flat from 1x to 4x).
std::vector<Doc> numbered(std::size_t n) {
    std::vector<Doc> items;
    items.reserve(n);
    for (std::size_t i = 0; i < n; ++i) items.push_back(ppString("w" + std::to_string(i)));
    return items;
}

void BM_Fill(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<Doc> items = numbered(n);
    for (auto _ : state) {
        std::size_t size = runOnLargeStack([&] { return renderDoc(fillDoc(items), 80).size(); });
        benchmark::DoNotOptimize(size);
    }
    state.counters["ns_per_item"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(BM_Fill)->Arg(25000)->Arg(50000)->Arg(100000)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_CentredColumn(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::vector<Doc> items = numbered(n);
    for (auto _ : state) {
        std::size_t size = runOnLargeStack([&] { return renderDoc(centredAboveList(items), 80).size(); });
        benchmark::DoNotOptimize(size);
    }
    state.counters["ns_per_item"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(BM_CentredColumn)->Arg(25000)->Arg(50000)->Arg(100000)->UseRealTime()->Unit(benchmark::kMillisecond);

// A fill holding a text and the fill of the level below, and the same as blocks.
void BM_NestedFills(benchmark::State& state) {
    const auto depth = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::size_t size = runOnLargeStack([&] {
            Doc d = ppString("x");
            for (int i = 0; i < depth; ++i) d = fillDoc(std::vector<Doc>{ppString("a"), d});
            Doc b = ppString("x");
            for (int i = 0; i < depth; ++i) b = blockFillDoc(60, "(", ")", ",", std::vector<Doc>{ppString("a"), b});
            return renderDoc(d, 80).size() + renderDoc(b, 80).size();
        });
        benchmark::DoNotOptimize(size);
    }
    state.counters["ns_per_level"] =
        benchmark::Counter(static_cast<double>(depth), benchmark::Counter::kIsIterationInvariantRate |
                                                           benchmark::Counter::kInvert);
}
BENCHMARK(BM_NestedFills)->Arg(2500)->Arg(5000)->Arg(10000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim

namespace plim {
namespace {

// A template filled with a text and the template of the level below, whose parameter it uses in
// both arrangements of a choice: each level's places hold the one below once (as a filling's
// inner template, which the outer one's holes take), not twice (2^n times in all), and a walk
// measures and lays out each place once.
void BM_NestedTemplateFillings(benchmark::State& state) {
    const auto depth = static_cast<int>(state.range(0));
    const ParDoc step = joinParDoc(choiceParDoc(besideParDoc(parDoc(), parDoc()), aboveParDoc(parDoc(), indentParDoc(2, parDoc()))));
    for (auto _ : state) {
        std::size_t size = runOnLargeStack([&] {
            ParDoc t = parDoc();
            for (int i = 0; i < depth; ++i) t = substParDoc(step, std::vector<ParDoc>{liftParDoc(ppString("a")), t});
            return renderDoc(applyParDoc(t, std::vector<Doc>{ppString("x")}), 80).size();
        });
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(BM_NestedTemplateFillings)->Arg(500)->Arg(1000)->Arg(2000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
