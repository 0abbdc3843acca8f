// Scanning throughput on a generated program-like text of about 10 MB, and parsing a
// repetition of 1,000,000 tokens.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "parsing/combinators.h"

namespace plim {
namespace {

ScanSettings languageSettings() {
    return ScanSettings{{"if", "then", "else", "let", "in", "where", "data", "mod", "True", "False"},
                        {"->"},
                        "()[]{},;`\\",
                        "!^.*/+-:=<>&|\\",
                        1};
}

// Definitions with keywords, identifiers, operators, numbers, strings and comments.
std::string programText(std::size_t bytes) {
    std::string out;
    out.reserve(bytes + 256);
    for (std::size_t i = 0; out.size() < bytes; ++i) {
        const std::string n = std::to_string(i);
        out += "-- definition number " + n + "\n";
        out += "fun" + n + " :: [Int] -> Int\n";
        out += "fun" + n + " (x:xs) = if x <= " + n + " then x * 2 + fun" + n + " xs\n";
        out += "    else let y = x mod 7 in y ++ [1, 2, 3] where { z = \"text " + n + "\" ; w' = z }\n";
        out += "{- a nested {- comment -} -}\n";
    }
    return out;
}

void BM_ScanProgram(benchmark::State& state) {
    const std::string text = programText(10 * 1000 * 1000);
    const ScanSettings settings = languageSettings();
    std::size_t tokens = 0;
    for (auto _ : state) {
        TokenList ts = scanTokens(settings, text);
        tokens = ts.size();
        benchmark::DoNotOptimize(ts.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.counters["tokens"] = static_cast<double>(tokens);
}
BENCHMARK(BM_ScanProgram)->Unit(benchmark::kMillisecond);

void BM_ParseRepetition(benchmark::State& state) {
    const std::size_t n = 1000 * 1000;
    TokenList ts;
    ts.reserve(n);
    for (std::size_t i = 0; i < n; ++i) ts.push_back(Token{TokenKind::TkLowerId, "x" + std::to_string(i % 100), 1});
    const TokenStream input(std::move(ts));
    const Parser<std::vector<std::string>> many = pZeroOrMore(pLowerId());
    for (auto _ : state) {
        Parsed<std::vector<std::string>> r = runParser(many, input);
        benchmark::DoNotOptimize(r.value.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}
BENCHMARK(BM_ParseRepetition)->Unit(benchmark::kMillisecond);

// The same tokens through a comma-separated list, with a separator between the items.
void BM_ParseCommaList(benchmark::State& state) {
    const std::size_t n = 500 * 1000;
    TokenList ts;
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) ts.push_back(Token{TokenKind::TkSymbol, ",", 1});
        ts.push_back(Token{TokenKind::TkLowerId, "x", 1});
    }
    const std::size_t count = ts.size();
    const TokenStream input(std::move(ts));
    const Parser<std::vector<std::string>> list = pCommaList(pLowerId());
    for (auto _ : state) {
        Parsed<std::vector<std::string>> r = runParser(list, input);
        benchmark::DoNotOptimize(r.value.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}
BENCHMARK(BM_ParseCommaList)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
