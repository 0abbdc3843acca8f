// Inputs of a few kilobytes whose shape once made a command's time grow faster than the input,
// each at n, 2n and 4n, through the interpreter's commands whole (output sent to /dev/null):
//
//   unclosed brackets   rewrite "inc [[[..." and "inc (((...", repaired by the parser and
//                       reported as a type error
//   nested binders      rewrite of n nested lets, of n nested lambdas \ x -> ... x, and of
//                       \ x -> ... \ x -> inc 1 with the fast and the reference matcher
//   long tuple          rewrite of a tuple of n numbers
//   map over a list     rewrite "map square [1, ..., n]": 2n + 1 steps, each printing the
//                       whole list (after eta expansion it holds a lambda per element), so
//                       its output (and time) grows with n * n
//   theories            loadtheory of n equations, each with its own variable names or all
//                       with the same ones
//   programs            loadprogram of one definition: with n arguments summed, with a tuple
//                       pattern of n names, a list of n constructors, n nested lambdas, and a
//                       list of one variable n times
//   two-step match      twostepmatch "f a ... a" "[]" with n arguments: n + 1 answers each
//                       binding an n-fold lambda, so its output (and time) grows with n * n
//
//   composed functions  rewrite "(inc . inc . ... . inc) 1": n compose steps and n incdef
//                       steps, each printing an expression of about n nodes, so its output
//                       (and time) grows with n * n
//   nested where        loadprogram of f = x0 where x0 = x1 where ... where xn = 1, and the
//                       same ending in xn = \ y -> y, where every level is generalised
//   hidden outer name   loadprogram of f x = \ a0 -> ... \ an -> [(\ x -> let g = x in g), ...]
//                       with n elements, each hiding the outermost x and generalising g
//   let with many names onestepmatch "x" "let { v0 = 0; ...; vn = n } in v0"
//   deep parentheses    rewrite "((...(inc 1)...))" nested n deep
//   nested tuples       rewrite "(1, (1, ... (1, 1)...))" nested n deep: no step, printed once
//
// "time_per_unit" is the time divided by n (by n * n for the map, the composed functions and the
// two-step match):
// about constant when the growth is linear.  Times are the work thread's CPU time.
//
// Peak memory: the command runs once in a child process of its own, so that each size starts
// from a fresh heap; "peak_mb" is the child's peak resident memory less that of a child that
// only loads the files, "bytes_per_unit" that divided by n (about constant when linear):
//
//   list literal        rewrite "[1, ..., n]": nothing applies; the list is read, checked, given
//                       its tables and printed
//   swapped tree        rewrite "swap (swap (swap t))", t a complete binary tree of n nodes
//                       with its leaves numbered: three steps at the top of a large term
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "bench_files.h"
#include "bench_timing.h"
#include "engine/matching/combinators/combinators.h"
#include "engine/matching/fast/record.h"
#include "shell/commands.h"
#include "shell/loading.h"
#include "shell/state.h"

namespace plim {
namespace {

const char* const kMapProgram =
    "map :: (a -> b) -> [a] -> [b];\nmap f [] = [];\nmap f (x : xs) = f x : map f xs;\n"
    "square :: Int -> Int;\nsquare x = x * x;\ninc :: Int -> Int;\ninc x = x + 1;\n";
const char* const kMapTheory =
    "mapnil : map f [] = [];\nmapcons : map f (x : xs) = f x : map f xs;\n"
    "fusion : map f (map g xs) = map (f . g) xs;\ncompose : (f . g) x = f (g x);\n"
    "squaredef : square x = x * x;\nincdef : inc x = x + 1\n";

std::string repeated(const std::string& piece, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += piece;
    return out;
}

// n texts made by `item` from 0 to n - 1, separated by `separator`.
std::string joined(int n, const std::string& separator, const std::function<std::string(int)>& item) {
    std::string out;
    for (int i = 0; i < n; ++i) out += (i ? separator : "") + item(i);
    return out;
}

void perUnitCounter(benchmark::State& state, double units) {
    state.counters["time_per_unit"] =
        benchmark::Counter(units, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Runs `work` on the state `setUp` made, once per iteration, with the output sent to /dev/null.
void runRepeatedly(benchmark::State& state, const std::function<CmdState()>& setUp,
                   const std::function<CmdState(const CmdState&)>& work, double units) {
    const QuietOutput quiet;
    runOnLargeStack([&] {
        const CmdState start = setUp();
        for (auto _ : state) {
            const double begin = threadSeconds();
            benchmark::DoNotOptimize(work(start));
            flushOut();
            state.SetIterationTime(threadSeconds() - begin);
        }
    });
    perUnitCounter(state, units);
}

// A command run with the map program and its theory loaded.
void runWithMapTheory(benchmark::State& state, const Command& command, double units) {
    const InputFile program("bench_growth_map", ".p", kMapProgram);
    const InputFile theory("bench_growth_map", ".eq", kMapTheory);
    runRepeatedly(
        state, [&] { return loadTheory(theory.name(), loadProgram(program.name(), initialState())); },
        [&](const CmdState& s) { return runCommand(command, s); }, units);
}

void rewriteWithMapTheory(benchmark::State& state, const std::string& expression) {
    runWithMapTheory(state, cmd::RewriteExpr{expression}, static_cast<double>(state.range(0)));
}

void BM_RewriteUnclosedBrackets(benchmark::State& state) {
    rewriteWithMapTheory(state, "inc " + repeated("[", static_cast<int>(state.range(0))));
}
BENCHMARK(BM_RewriteUnclosedBrackets)->Arg(4000)->Arg(8000)->Arg(16000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RewriteUnclosedParentheses(benchmark::State& state) {
    rewriteWithMapTheory(state, "inc " + repeated("(", static_cast<int>(state.range(0))));
}
BENCHMARK(BM_RewriteUnclosedParentheses)->Arg(4000)->Arg(8000)->Arg(16000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RewriteNestedLets(benchmark::State& state) {
    rewriteWithMapTheory(state, repeated("let x = 1 in ", static_cast<int>(state.range(0))) + "x");
}
BENCHMARK(BM_RewriteNestedLets)->Arg(1000)->Arg(2000)->Arg(4000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RewriteNestedLambdas(benchmark::State& state) {
    rewriteWithMapTheory(state, repeated("\\ x -> ", static_cast<int>(state.range(0))) + "x");
}
BENCHMARK(BM_RewriteNestedLambdas)->Arg(1000)->Arg(2000)->Arg(4000)->UseManualTime()->Unit(benchmark::kMillisecond);

// n nested lambdas of one name around inc 1, with each matcher: one step, found inside all the
// binders after the rules are tried at every position (the reference matcher at all of them).
void rewriteInsideNestedLambdas(benchmark::State& state, const MatcherRef& matcher) {
    const InputFile program("bench_growth_map", ".p", kMapProgram);
    const InputFile theory("bench_growth_map", ".eq", kMapTheory);
    const Command command = cmd::RewriteExpr{repeated("\\ x -> ", static_cast<int>(state.range(0))) + "inc 1"};
    runRepeatedly(
        state,
        [&] {
            return runCommand(cmd::SetMatcher{matcher},
                              loadTheory(theory.name(), loadProgram(program.name(), initialState())));
        },
        [&](const CmdState& s) { return runCommand(command, s); }, static_cast<double>(state.range(0)));
}
void BM_RewriteInsideNestedLambdasFast(benchmark::State& state) { rewriteInsideNestedLambdas(state, fastMatcher()); }
void BM_RewriteInsideNestedLambdasRef(benchmark::State& state) { rewriteInsideNestedLambdas(state, refMatcher()); }
BENCHMARK(BM_RewriteInsideNestedLambdasFast)->Arg(2000)->Arg(4000)->Arg(8000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RewriteInsideNestedLambdasRef)->Arg(2000)->Arg(4000)->Arg(8000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RewriteLongTuple(benchmark::State& state) {
    rewriteWithMapTheory(state, "(" + joined(static_cast<int>(state.range(0)), ", ", [](int) { return "1"; }) + ")");
}
BENCHMARK(BM_RewriteLongTuple)->Arg(10000)->Arg(20000)->Arg(40000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RewriteMapOverList(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string list = joined(n, ", ", [](int i) { return std::to_string(i + 1); });
    runWithMapTheory(state, cmd::RewriteExpr{"map square [" + list + "]"}, static_cast<double>(n) * n);
}
BENCHMARK(BM_RewriteMapOverList)->Arg(100)->Arg(200)->Arg(400)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RewriteComposedFunctions(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string chain = joined(n, " . ", [](int) { return "inc"; });
    runWithMapTheory(state, cmd::RewriteExpr{"(" + chain + ") 1"}, static_cast<double>(n) * n);
}
BENCHMARK(BM_RewriteComposedFunctions)->Arg(100)->Arg(200)->Arg(400)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RewriteDeepParentheses(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    rewriteWithMapTheory(state, repeated("(", n) + "inc 1" + repeated(")", n));
}
BENCHMARK(BM_RewriteDeepParentheses)->Arg(25000)->Arg(50000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RewriteNestedTuples(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    rewriteWithMapTheory(state, repeated("(1, ", n) + "1" + repeated(")", n));
}
BENCHMARK(BM_RewriteNestedTuples)->Arg(25000)->Arg(50000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_OneStepMatchLetOfManyNames(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string defs = joined(n, "; ", [](int i) { return "v" + std::to_string(i) + " = " + std::to_string(i); });
    runWithMapTheory(state, cmd::OneStepMatch{"x", "let { " + defs + " } in v0"}, static_cast<double>(n));
}
BENCHMARK(BM_OneStepMatchLetOfManyNames)->Arg(10000)->Arg(20000)->Arg(40000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_TwoStepMatchManyArguments(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    runWithMapTheory(state, cmd::TwoStepMatch{"f" + repeated(" a", n), "[]"}, static_cast<double>(n) * n);
}
BENCHMARK(BM_TwoStepMatchManyArguments)->Arg(100)->Arg(200)->Arg(400)->UseManualTime()->Unit(benchmark::kMillisecond);

// loadtheory of the text, with the map program loaded.
void loadTheoryText(benchmark::State& state, const std::string& text) {
    const InputFile program("bench_growth_map", ".p", kMapProgram);
    const InputFile theory("bench_growth_theory", ".eq", text);
    runRepeatedly(
        state, [&] { return loadProgram(program.name(), initialState()); },
        [&](const CmdState& s) { return loadTheory(theory.name(), s); }, static_cast<double>(state.range(0)));
}

void BM_LoadTheoryOwnNames(benchmark::State& state) {
    loadTheoryText(state, joined(static_cast<int>(state.range(0)), ";\n", [](int i) {
                       const std::string n = std::to_string(i);
                       return "law" + n + " : map f" + n + " (map g" + n + " xs" + n + ") = map (f" + n + " . g" + n +
                              ") xs" + n;
                   }));
}
BENCHMARK(BM_LoadTheoryOwnNames)->Arg(5000)->Arg(10000)->Arg(20000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LoadTheorySharedNames(benchmark::State& state) {
    loadTheoryText(state, joined(static_cast<int>(state.range(0)), ";\n", [](int i) {
                       return "law" + std::to_string(i) + " : map f (map g xs) = map (f . g) xs";
                   }));
}
BENCHMARK(BM_LoadTheorySharedNames)->Arg(5000)->Arg(10000)->Arg(20000)->UseManualTime()->Unit(benchmark::kMillisecond);

// loadprogram of the text.
void loadProgramText(benchmark::State& state, const std::string& text) {
    const InputFile program("bench_growth_program", ".p", text);
    runRepeatedly(
        state, [] { return initialState(); },
        [&](const CmdState& s) {
            CmdState loaded = loadProgram(program.name(), s);
            benchmark::DoNotOptimize(loadedProgram(loaded));
            return loaded;
        },
        static_cast<double>(state.range(0)));
}

std::string variables(int n, const std::string& separator) {
    return joined(n, separator, [](int i) { return "x" + std::to_string(i); });
}

void BM_LoadSumOfManyArguments(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    loadProgramText(state, "f " + variables(n, " ") + " = " + variables(n, " + ") + ";\n");
}
BENCHMARK(BM_LoadSumOfManyArguments)->Arg(4000)->Arg(8000)->Arg(16000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LoadLongTuplePattern(benchmark::State& state) {
    loadProgramText(state, "f (" + variables(static_cast<int>(state.range(0)), ", ") + ") = x0;\n");
}
BENCHMARK(BM_LoadLongTuplePattern)->Arg(4000)->Arg(8000)->Arg(16000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LoadListOfConstructors(benchmark::State& state) {
    loadProgramText(state,
                    "data T = A | B;\nf = [" + joined(static_cast<int>(state.range(0)), ", ", [](int) { return "A"; }) + "];\n");
}
BENCHMARK(BM_LoadListOfConstructors)->Arg(8000)->Arg(16000)->Arg(32000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LoadNestedLambdas(benchmark::State& state) {
    loadProgramText(state, "f = " + repeated("\\ x -> ", static_cast<int>(state.range(0))) + "x;\n");
}
BENCHMARK(BM_LoadNestedLambdas)->Arg(25000)->Arg(50000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

// f = x0 where x0 = x1 where ... where xn = last
std::string nestedWhereBlocks(int n, const std::string& last) {
    std::string text = "f = x0";
    for (int i = 0; i < n; ++i) text += " where x" + std::to_string(i) + " = x" + std::to_string(i + 1);
    return text + " where x" + std::to_string(n) + " = " + last + ";\n";
}

void BM_LoadNestedWhereBlocks(benchmark::State& state) {
    loadProgramText(state, nestedWhereBlocks(static_cast<int>(state.range(0)), "1"));
}
BENCHMARK(BM_LoadNestedWhereBlocks)->Arg(10000)->Arg(20000)->Arg(40000)->UseManualTime()->Unit(benchmark::kMillisecond);

// Every level's type has a variable, so every level is generalised with the levels around it
// in the environment.
void BM_LoadNestedPolymorphicWhereBlocks(benchmark::State& state) {
    loadProgramText(state, nestedWhereBlocks(static_cast<int>(state.range(0)), "\\ y -> y"));
}
BENCHMARK(BM_LoadNestedPolymorphicWhereBlocks)->Arg(10000)->Arg(20000)->Arg(40000)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LoadLetsHidingAnOuterName(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string binders = joined(n, "", [](int i) { return "\\ a" + std::to_string(i) + " -> "; });
    const std::string hiding = joined(n, ", ", [](int) { return "(\\ x -> let g = x in g)"; });
    loadProgramText(state, "f x = " + binders + "[" + hiding + "];\n");
}
BENCHMARK(BM_LoadLetsHidingAnOuterName)->Arg(2000)->Arg(4000)->Arg(8000)->UseManualTime()->Unit(benchmark::kMillisecond);

// Every element's type is unified with the variable's, one after another.
void BM_LoadListOfOneVariable(benchmark::State& state) {
    loadProgramText(state, "f y = [" + joined(static_cast<int>(state.range(0)), ", ", [](int) { return "y"; }) + "];\n");
}
BENCHMARK(BM_LoadListOfOneVariable)->Arg(2000)->Arg(4000)->Arg(8000)->UseManualTime()->Unit(benchmark::kMillisecond);

// --- peak memory ----------------------------------------------------------------------------

// The peak resident memory (bytes) and the processor time (seconds) of a child process that
// runs `work` on a large stack, with the output sent to /dev/null.
std::pair<double, double> childPeak(const std::function<void()>& work) {
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        {
            const QuietOutput quiet;
            runOnLargeStack(work);
            flushOut();
        }
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6; };
    return {static_cast<double>(usage.ru_maxrss) * 1024.0, seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

// The peak memory of the command after `setUp`, less that of `setUp` alone, per unit.
void peakMemory(benchmark::State& state, const std::function<CmdState()>& setUp, const Command& command, double units) {
    double peak = 0;
    for (auto _ : state) {
        const double base = childPeak([&] { benchmark::DoNotOptimize(setUp()); }).first;
        const auto [whole, seconds] = childPeak([&] { benchmark::DoNotOptimize(runCommand(command, setUp())); });
        peak = whole - base;
        state.SetIterationTime(seconds);
    }
    state.counters["peak_mb"] = peak / (1024.0 * 1024.0);
    state.counters["bytes_per_unit"] = peak / units;
}

void BM_PeakMemoryListLiteral(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const InputFile program("bench_growth_map", ".p", kMapProgram);
    const InputFile theory("bench_growth_map", ".eq", kMapTheory);
    const std::string list = "[" + joined(n, ", ", [](int i) { return std::to_string(i + 1); }) + "]";
    peakMemory(
        state, [&] { return loadTheory(theory.name(), loadProgram(program.name(), initialState())); },
        cmd::RewriteExpr{list}, static_cast<double>(n));
}
BENCHMARK(BM_PeakMemoryListLiteral)->Arg(25000)->Arg(50000)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A complete binary tree of the given depth, its leaves numbered from `next` on.
std::string treeText(int depth, int& next) {
    if (depth == 0) return "(Lf " + std::to_string(next++) + ")";
    std::string left = treeText(depth - 1, next);
    return "(Node " + left + " " + treeText(depth - 1, next) + ")";
}

void BM_PeakMemorySwappedTree(benchmark::State& state) {
    const int depth = static_cast<int>(state.range(0));
    const InputFile program("bench_growth_tree", ".p", "data Tree = Lf Int | Node Tree Tree;\nswap (Node l r) = Node r l;\n");
    const InputFile theory("bench_growth_tree", ".eq", "swapN: swap (Node l r) = Node r l\n");
    int next = 0;
    const std::string tree = treeText(depth, next);
    peakMemory(
        state, [&] { return loadTheory(theory.name(), loadProgram(program.name(), initialState())); },
        cmd::RewriteExpr{"swap (swap (swap " + tree + "))"}, static_cast<double>(2 * next - 1));
}
BENCHMARK(BM_PeakMemorySwappedTree)->Arg(11)->Arg(13)->Arg(15)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
