// Reading speed of the program grammar: a generated program file of 20,000 definitions
// (about 2 MB) is scanned and parsed; the byte rate is reported as bytes_per_second.  Each
// benchmark runs its whole loop on one large stack, as the program does.  The expression
// grammar reads a list enumeration and a bracketed cons chain of n numbers (a command's
// argument); items_per_second counts the numbers.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "frontend/reader/reader.h"
#include "frontend/reader/programs.h"
#include "support/big_stack.h"

namespace {

std::string generatedProgram(int definitions) {
    std::string text;
    text.reserve(static_cast<std::size_t>(definitions) * 100);
    for (int i = 0; i < definitions; ++i) {
        const std::string n = std::to_string(i);
        if (i % 5 == 0) {
            text += "f" + n + " :: Int -> [a] -> (a, Bool) -> Maybe (List a);\n";
        } else {
            text += "f" + n + " x y = if x < y && y >= 0 then g (x + " + n + ") [x, y, " + n +
                    "] else h (y * 2) (\\v -> v) where { z = x ++ y };\n";
        }
    }
    return text;
}

const std::string& programText() {
    static const std::string text = generatedProgram(20000);
    return text;
}

void BM_ScanAndParseProgram(benchmark::State& state) {
    const std::string& text = programText();
    const std::string log = plim::runOnLargeStack([&] { return plim::readProgram(text).messages; });
    if (!log.empty()) state.SkipWithError("the generated program needs repairs");
    plim::runOnLargeStack([&] {
        for (auto _ : state) {
            plim::Reading<plim::SourceFile> result = plim::readProgram(text);
            benchmark::DoNotOptimize(result.messages);
            benchmark::DoNotOptimize(result.value.get());
        }
    });
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ScanAndParseProgram)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ParseScannedProgram(benchmark::State& state) {
    const std::string& text = programText();
    const plim::TokenStream tokens(plim::scanText(text));
    plim::runOnLargeStack([&] {
        for (auto _ : state) {
            auto result = plim::parse(plim::pProgram(), tokens);
            benchmark::DoNotOptimize(result.log);
            benchmark::DoNotOptimize(result.value);
        }
    });
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseScannedProgram)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanProgram(benchmark::State& state) {
    const std::string& text = programText();
    for (auto _ : state) benchmark::DoNotOptimize(plim::scanText(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ScanProgram)->Unit(benchmark::kMillisecond);

std::string listEnumeration(int n) {
    std::string text = "[";
    for (int i = 1; i <= n; ++i) text += (i > 1 ? ", " : "") + std::to_string(i);
    return text + "]";
}

std::string nestedConsChain(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "(" + std::to_string(i) + " : ";
    return text + "([])" + std::string(static_cast<std::size_t>(n), ')');
}

void parseExpressionLoop(benchmark::State& state, const std::string& text) {
    plim::runOnLargeStack([&] {
        for (auto _ : state) {
            std::ostringstream log;
            benchmark::DoNotOptimize(plim::parseExpression(text, log));
        }
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_ParseListEnumeration(benchmark::State& state) {
    parseExpressionLoop(state, listEnumeration(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ParseListEnumeration)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ParseNestedConsChain(benchmark::State& state) {
    parseExpressionLoop(state, nestedConsChain(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ParseNestedConsChain)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
