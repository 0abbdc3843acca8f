// The interpreter's own work per command: reading a command line, and turning an expression
// argument into a checked expression against a loaded program.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_timing.h"
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

// Standard output sent to /dev/null while the object lives.
class QuietOutput {
public:
    QuietOutput() : saved_(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietOutput() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

// The state after loading a one-definition program and a theory without equations.
CmdState withEmptyTheory() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    std::ofstream(dir / "bench_interp_tiny.p") << "ident :: a -> a;\nident x = x;\n";
    std::ofstream(dir / "bench_interp_empty.eq") << "-- no equations\n";
    CmdState s = loadTheory((dir / "bench_interp_empty.eq").string(), loadProgram((dir / "bench_interp_tiny.p").string(), initialState()));
    std::filesystem::remove(dir / "bench_interp_tiny.p");
    std::filesystem::remove(dir / "bench_interp_empty.eq");
    return s;
}

// rewrite of (1, (1, (1, ...))), n pairs deep, with a theory without equations: the command
// checks the argument, finds no rule and writes the calculation of no step.
void BM_RewriteNestedTupleEmptyTheory(benchmark::State& state) {
    QuietOutput quiet;
    const CmdState s = withEmptyTheory();
    const int n = static_cast<int>(state.range(0));
    std::string text;
    for (int i = 0; i < n; ++i) text += "(1, ";
    text += "1" + std::string(static_cast<std::size_t>(n), ')');
    iterateOnLargeStack(state, [&] { benchmark::DoNotOptimize(rewriteCommand(text, s)); });
}
BENCHMARK(BM_RewriteNestedTupleEmptyTheory)->Arg(1000)->Arg(2000)->Arg(3000)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
