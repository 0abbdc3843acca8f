// Assembling and checking a generated program: definitions in groups of one to five mutually
// recursive definitions (each group also calls into the group before it), with a signature
// for the first definition of every group and a transformation block every 2,000 definitions.
// The program is read once; each iteration assembles it, prints nothing, but reads every
// message, the environment, the checked program and each transformation's theory and entry.
// The rate is reported as definitions per second; doubling the program about doubles the time.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "frontend/assembly/assembly.h"
#include "frontend/typecheck/recursion_groups.h"
#include "frontend/reader/reader.h"
#include "support/big_stack.h"

namespace {

std::string name(int i) { return "d" + std::to_string(i); }

std::string generatedProgram(int definitions) {
    std::string text;
    int group = 0;
    int trafos = 0;
    for (int first = 0; first < definitions; ++group) {
        const int size = std::min(1 + group % 5, definitions - first);
        const int previous = first - 1;
        text += name(first) + " :: Int -> Int;\n";
        for (int k = 0; k < size; ++k) {
            const int i = first + k;
            const int next = first + (k + 1) % size;
            const std::string before = previous >= 0 ? name(previous) + " (x - 1)" : "x";
            text += name(i) + " x = if x == 0 then " + before + " else " + name(next) + " (x - 1) + " +
                    std::to_string(i) + ";\n";
        }
        first += size;
        if (first / 2000 > trafos) {
            ++trafos;
            const std::string t = "t" + std::to_string(trafos);
            const std::string d = name(first - 1);
            text += "TRANSFORM " + t + " REDEFINE " + d + " x = s" + t + " x SPECIFYING s" + t + " x = " + d +
                    " x USING DEFINITION " + d + "; r" + t + " : " + d + " (" + d + " x) = " + d + " x END;\n";
        }
    }
    return text;
}

void BM_AssembleProgram(benchmark::State& state) {
    const int definitions = static_cast<int>(state.range(0));
    const std::string text = generatedProgram(definitions);
    const plim::SourceFile file = plim::runOnLargeStack([&] { return plim::readProgram(text).value.get(); });
    std::size_t messages = 0;
    plim::runOnLargeStack([&] {
        for (auto _ : state) {
            const plim::Assembly a = plim::assembleProgram(file);
            messages = plim::concatProgramErrors(a.messages).size();
            benchmark::DoNotOptimize(a.info.programEnv().size());
            benchmark::DoNotOptimize(a.info.program().blocks.length());
            for (const std::string& t : a.info.elementList()) {
                benchmark::DoNotOptimize(a.info.theoryOfTransform(t));
                benchmark::DoNotOptimize(a.info.transformOfName(t));
            }
        }
    });
    if (messages != 0) state.SkipWithError("the generated program has type reports");
    state.counters["defs_per_second"] =
        benchmark::Counter(static_cast<double>(definitions), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AssembleProgram)->Arg(5000)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

namespace {
// The element view alone: the definition rules, the program items and the grouping input.
void BM_ElementView(benchmark::State& state) {
    const int definitions = static_cast<int>(state.range(0));
    const std::string text = generatedProgram(definitions);
    const plim::SourceFile file = plim::runOnLargeStack([&] { return plim::readProgram(text).value.get(); });
    plim::runOnLargeStack([&] {
        for (auto _ : state) {
            const plim::Assembly a = plim::assembleProgram(file);
            benchmark::DoNotOptimize(a.info.elementList().size());

        }
    });
    state.counters["defs_per_second"] =
        benchmark::Counter(static_cast<double>(definitions), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ElementView)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace

namespace {
// Grouping alone: a chain in which each definition uses the next, closed into one cycle every
// five definitions, so both depth-first passes walk long paths.
void BM_DependencyGroups(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<plim::GroupItem<int>> items;
    items.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        std::vector<std::string> uses{name(i + 1 < n ? i + 1 : 0)};
        if (i % 5 == 4) uses.push_back(name(i - 4));
        items.push_back({{name(i)}, std::move(uses), i});
    }
    for (auto _ : state) benchmark::DoNotOptimize(plim::dependencyGroups(items).size());
    state.counters["items_per_second"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DependencyGroups)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
