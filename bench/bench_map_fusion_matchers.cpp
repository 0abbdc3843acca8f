// Rewriting `map inc [1, ..., n]` with the bundled map-fusion example, under the reference and
// under the fast matcher: every step of the derivation read.  The theory's rules with a rigid
// head (`compose : (f . g) x = f (g x)`, `fusion`, `mapcons`) are tried at every subexpression
// and mostly fail; the time per element must stay about the same as n grows, and the fast
// matcher well ahead of the reference one.  Times are the work thread's CPU time.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_files.h"
#include "bench_timing.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/combinators/combinators.h"
#include "engine/matching/reference/record.h"
#include "engine/rewriting/driver.h"
#include "shell/loading.h"
#include "shell/rewriting_commands.h"
#include "shell/state.h"

namespace plim {
namespace {

// The examples folder of the source tree: next to the build folder that holds build/bench/.
std::string exampleFile(const char* name) {
    const std::filesystem::path build = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path();
    return (build.parent_path() / "examples" / name).string();
}

// The interpreter state with the example program and theory loaded, and the matcher chosen.
CmdState mapFusion(const MatcherRef& matcher) {
    const QuietOutput quiet;
    CmdState s = loadProgram(exampleFile("mapfusion.p"), initialState());
    s = loadTheory(exampleFile("mapfusion.eq"), s);
    s.matcher = matcher;
    return s;
}

std::string mapInc(std::int64_t n) {
    std::string text = "map inc [";
    for (std::int64_t i = 1; i <= n; ++i) text += (i > 1 ? ", " : "") + std::to_string(i);
    return text + "]";
}

void rewriteMapInc(benchmark::State& state, const MatcherRef& matcher) {
    const CmdState s = mapFusion(matcher);
    const Expr e = parseArgumentExpression(mapInc(state.range(0)), s);
    std::size_t steps = 0;
    for (auto _ : state)
        timeOnLargeStack(state, [&] { steps = length(rewriteDefinition(s.matcher, currentTheory(s), e).steps); });
    state.counters["steps"] = static_cast<double>(steps);
    state.counters["ms_per_element"] = benchmark::Counter(static_cast<double>(state.range(0)) * 1e-3,
                                                          benchmark::Counter::kIsIterationInvariantRate |
                                                              benchmark::Counter::kInvert);
}

void BM_MapIncReference(benchmark::State& state) { rewriteMapInc(state, refMatcher()); }
void BM_MapIncFast(benchmark::State& state) { rewriteMapInc(state, fastMatcher()); }
BENCHMARK(BM_MapIncReference)->Arg(4)->Arg(8)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapIncFast)->Arg(4)->Arg(8)->Arg(16)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
