// Large inputs through the interpreter's commands, whole:
//
//   program check   loadprogram of a generated program of n definitions (the program of the
//                   side-by-side comparison with a compiler's type checker: arithmetic,
//                   conditionals, list functions, lambdas, local definitions, signatures)
//   list literal    loadprogram of a program whose one definition is a list literal of n numbers
//   simplematch     simplematch "map f xs" against map inc applied to a list literal of n numbers,
//                   its answer written to /dev/null
//
// The first two report the heap held by the loaded state per definition or element
// ("heap_bytes_per_def", "heap_bytes_per_element"); all report the time per definition or
// element.  Doubling n about doubles the time.  Times are the work thread's CPU time.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <string>

#include "bench_files.h"
#include "bench_timing.h"
#include "shell/commands.h"
#include "shell/loading.h"
#include "shell/state.h"

namespace plim {
namespace {

std::string numbered(const char* name, int i) { return name + std::to_string(i); }

// The definition of name i that calls the one four before it (or the first of its kind).
std::string previous(const char* name, int i) { return numbered(name, i - 4 >= 1 ? i - 4 : 0); }

std::string generatedDefinition(int i) {
    const std::string n = std::to_string(i);
    switch (i % 4) {
    case 0: {
        const std::string f = previous("f", i);
        return "f" + n + " x y = if x < y && y >= 0 then " + f + " (x + " + n + ") y else " + f + " (y * 2) x";
    }
    case 1:
        return "g" + n + " xs = " + previous("g", i) + " (map (\\v -> v + " + n + ") xs ++ [" + n + ", " +
               std::to_string(i + 1) + "])";
    case 2: return "h" + n + " p = " + previous("h", i) + " (z + p) where { z = " + n + " }";
    default: {
        const std::string f = i - 3 >= 4 ? numbered("f", i - 3) : "f0";
        return "k" + n + " :: Int -> [Int] -> Int;\nk" + n + " a bs = foldr (\\b acc -> acc + b * a) (" + f + " a " +
               n + ") (g" + std::to_string(i - 2) + " bs)";
    }
    }
}

std::string generatedProgram(int definitions) {
    std::string text =
        "map f [] = [];\nmap f (x : xs) = f x : map f xs;\nfoldr f z [] = z;\n"
        "foldr f z (x : xs) = f x (foldr f z xs);\nf0 x y = x + y;\ng0 xs = xs;\nh0 p = p";
    for (int i = 1; i < definitions; ++i) text += ";\n" + generatedDefinition(i);
    return text + ";\n";
}

std::string listLiteral(int elements) {
    std::string text = "[";
    for (int i = 0; i < elements; ++i) text += (i ? ", " : "") + std::to_string(i);
    return text + "]";
}

std::size_t heapInUse() { return mallinfo2().uordblks; }

void perUnitCounter(benchmark::State& state, const char* name) {
    state.counters[name] = benchmark::Counter(static_cast<double>(state.range(0)),
                                              benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Loads the program once per iteration, its reports written to /dev/null; the time is that of
// loading, without releasing the state afterwards.  The heap the loaded state holds is reported
// per unit.
void loadRepeatedly(benchmark::State& state, const InputFile& file, const char* heapPerUnit) {
    std::size_t held = 0;
    const QuietOutput quiet;
    runOnLargeStack([&] {
        for (auto _ : state) {
            const std::size_t before = heapInUse();
            const double start = threadSeconds();
            CmdState s = loadProgram(file.name(), initialState());
            benchmark::DoNotOptimize(loadedProgram(s));
            flushOut();
            state.SetIterationTime(threadSeconds() - start);
            held = heapInUse() - before;
        }
    });
    state.counters[heapPerUnit] = static_cast<double>(held) / static_cast<double>(state.range(0));
    perUnitCounter(state, "time_per_unit");
}

void BM_CheckGeneratedProgram(benchmark::State& state) {
    const InputFile file("bench_loading_generated", ".p", generatedProgram(static_cast<int>(state.range(0))));
    loadRepeatedly(state, file, "heap_bytes_per_def");
}
BENCHMARK(BM_CheckGeneratedProgram)->Arg(5000)->Arg(10000)->Arg(20000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LoadListLiteral(benchmark::State& state) {
    const InputFile file("bench_loading_list", ".p", "xs = " + listLiteral(static_cast<int>(state.range(0))) + ";\n");
    loadRepeatedly(state, file, "heap_bytes_per_element");
}
BENCHMARK(BM_LoadListLiteral)->Arg(50000)->Arg(100000)->Arg(200000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_SimpleMatchLargeList(benchmark::State& state) {
    const InputFile file("bench_loading_map", ".p",
                         "map f [] = [];\nmap f (x : xs) = f x : map f xs;\ninc :: Int -> Int;\ninc x = x + 1;\n");
    const QuietOutput quiet;
    const Command command = cmd::SimpleMatch{"map f xs", "map inc " + listLiteral(static_cast<int>(state.range(0)))};
    runOnLargeStack([&] {
        const CmdState loaded = loadProgram(file.name(), initialState());
        for (auto _ : state) {
            const double start = threadSeconds();
            benchmark::DoNotOptimize(runCommand(command, loaded));
            flushOut();
            state.SetIterationTime(threadSeconds() - start);
        }
    });
    perUnitCounter(state, "time_per_element");
}
BENCHMARK(BM_SimpleMatchLargeList)->Arg(25000)->Arg(50000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
