// The interpreter's own work per command: reading a command line, and turning an expression
// argument into a checked expression against a loaded program.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "shell/command_grammar.h"
#include "shell/loading.h"
#include "shell/rewriting_commands.h"
#include "shell/state.h"

namespace {

using namespace plim;

void BM_CommandParser(benchmark::State& state) {
    const std::string line = "setmatcher trace (compare (onesteponly ref) (check fast))";
    for (auto _ : state) benchmark::DoNotOptimize(commandParser(line));
}
BENCHMARK(BM_CommandParser);

void BM_MatchCommandLine(benchmark::State& state) {
    const std::string line = "twostepmatch \"map (f . g) xs\" \"map (square . inc) [3]\"";
    for (auto _ : state) benchmark::DoNotOptimize(commandParser(line));
}
BENCHMARK(BM_MatchCommandLine);

// The state after loading a small program (written to a temporary file).
CmdState withProgram() {
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "bench_interp_program.p";
    std::ofstream(file) << "square :: Int -> Int;\nsquare x = x * x;\n"
                           "map :: (a -> b) -> [a] -> [b];\nmap f [] = [];\nmap f (x : xs) = f x : map f xs;\n";
    CmdState s = loadProgram(file.string(), initialState());
    std::filesystem::remove(file);
    return s;
}

// A list argument of n elements, parsed and checked against the program.
void BM_ArgumentExpression(benchmark::State& state) {
    const CmdState s = withProgram();
    std::string text = "map square [1";
    for (int i = 1; i < state.range(0); ++i) text += ", 1";
    text += "]";
    for (auto _ : state) benchmark::DoNotOptimize(parseArgumentExpression(text, s));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ArgumentExpression)->RangeMultiplier(10)->Range(10, 10000)->Complexity();

}  // namespace
