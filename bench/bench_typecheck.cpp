// Checking speed of the type checker: the definitions of a generated program (each definition
// its own group, as grouping hands them over, the environment threaded from group to group),
// a generated theory, and one long list expression checked as a one-equation theory.  Each
// size is run at n and 2n to show that the time grows linearly; items_per_second counts
// definitions, rules or list elements.  The loops run on one large stack, as the program does.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>
#include <vector>

#include "frontend/reader/reader.h"
#include "frontend/reader/types.h"
#include "frontend/typecheck/checker.h"
#include "support/big_stack.h"

namespace {

using namespace plim;

std::vector<DefItem> generatedDefinitions(int n) {
    std::string text = "f0 x y = [x, y];\n";
    for (int i = 1; i < n; ++i) {
        const std::string k = std::to_string(i);
        text += "f" + k + " x y = if x < y then f" + std::to_string(i - 1) + " (x + " + k +
                ") y else [y, z] ++ f0 x z where { z = x * 2 };\n";
    }
    const SourceFile file = readProgram(text).value.get();
    std::vector<DefItem> items;
    for (const ElemItem& e : file.elems) items.push_back(DefItem{e.elem.decl(), e.line});
    return items;
}

void BM_CheckProgramDefinitions(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    runOnLargeStack([&] {
        const std::vector<DefItem> items = generatedDefinitions(n);
        for (auto _ : state) {
            CheckStatePtr st = CheckState::fresh();
            CheckEnv env;
            std::size_t reports = 0;
            for (const DefItem& item : items) {
                DListCheck c = checkDList(mkDList(Defs::fromVector({item})), DListContext{0, st, env});
                env = env.with(c.bindings);
                reports += concatTheoryErrors(c.messages).size();
                benchmark::DoNotOptimize(c.typed.get());
            }
            if (reports != 0) state.SkipWithError("the generated program has type errors");
        }
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_CheckProgramDefinitions)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond)->UseRealTime();

Theo generatedTheory(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        const std::string k = std::to_string(i);
        text += "r" + k + ": map f (map g (xs ++ [" + k + "])) = map (f . g) xs ++ [f (g " + k +
                ")], if { ok xs = True };\n";
    }
    text += "last: x = x";
    std::ostringstream log;
    return parseTheory(text, log).elems;
}

TypeEnv theoryEnv() {
    auto type = [](const std::string& t) { return parseTokens(pType(), scanText(t)).value; };
    return {{"map", type("(a -> b) -> [a] -> [b]")}, {"ok", type("[Int] -> Bool")}};
}

void BM_CheckTheory(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    runOnLargeStack([&] {
        const Theo theo = generatedTheory(n);
        const Lazy<CheckEnv> env(CheckEnv::fromTypeEnv(theoryEnv()));
        const Lazy<DefnRules> table{DefnRules()};
        for (auto _ : state) {
            TheoryCheck tc = checkTheory(theo, env, table);
            if (!concatTheoryErrors(tc.messages).empty()) state.SkipWithError("the generated theory has type errors");
            benchmark::DoNotOptimize(tc.rules.get());
        }
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_CheckTheory)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every equation with variable names of its own: the theory's names grow with the theory.
void BM_CheckTheoryOwnNames(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    runOnLargeStack([&] {
        std::string text;
        for (int i = 0; i < n; ++i) {
            const std::string k = std::to_string(i);
            text += (i ? ";\n" : "") + ("e" + k) + " : map f" + k + " (map g" + k + " xs" + k + ") = map (f" + k +
                    " . g" + k + ") xs" + k;
        }
        std::ostringstream log;
        const Theo theo = parseTheory(text, log).elems;
        const Lazy<CheckEnv> env(CheckEnv::fromTypeEnv(theoryEnv()));
        const Lazy<DefnRules> table{DefnRules()};
        for (auto _ : state) {
            TheoryCheck tc = checkTheory(theo, env, table);
            if (!concatTheoryErrors(tc.messages).empty()) state.SkipWithError("the generated theory has type errors");
            benchmark::DoNotOptimize(tc.names);
        }
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_CheckTheoryOwnNames)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CheckListExpression(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    runOnLargeStack([&] {
        std::string text = "[";
        for (int i = 0; i < n; ++i) text += (i ? ", " : "") + std::to_string(i);
        std::ostringstream log;
        const Expr e = parseExpression(text + "]", log);
        const Theo theo = mkCeqTheo(mkCeq("e", mkNoEq(), mkEqn(e, e), 0), mkNoTheo());
        const Lazy<CheckEnv> env{CheckEnv()};
        const Lazy<DefnRules> table{DefnRules()};
        for (auto _ : state) {
            TheoryCheck tc = checkTheory(theo, env, table);
            benchmark::DoNotOptimize(tc.rules.get());
        }
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_CheckListExpression)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();

// "zz zz ... zz": a left-nested chain of applications of one rule variable to itself.  Every
// application after the first two extends one function type, so the result types of the
// prefixes are one chain of shared types; each is resolved once.
void checkExpressionBench(benchmark::State& state, const std::string& text, int n);

void BM_CheckApplicationChain(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::string text = "zz";
    for (int i = 1; i < n; ++i) text += " zz";
    checkExpressionBench(state, text, n);
}
BENCHMARK(BM_CheckApplicationChain)->Arg(4000)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One expression checked as a one-equation theory whose environment gives inc : Int -> Int.
void checkExpressionBench(benchmark::State& state, const std::string& text, int n) {
    runOnLargeStack([&] {
        std::ostringstream log;
        const Expr e = parseExpression(text, log);
        const Theo theo = mkCeqTheo(mkCeq("e", mkNoEq(), mkEqn(e, e), 0), mkNoTheo());
        const Lazy<CheckEnv> env(CheckEnv::fromTypeEnv({{"inc", mkArrow(intType(), intType())}}));
        const Lazy<DefnRules> table{DefnRules()};
        for (auto _ : state) {
            TheoryCheck tc = checkTheory(theo, env, table);
            benchmark::DoNotOptimize(tc.typed.get());
            benchmark::DoNotOptimize(concatTheoryErrors(tc.messages));
        }
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}

// "inc [[[ ... [" with the brackets closed by the parser's repair: lists nested n deep, each
// level's element type one list deeper (the application reports a type error).
void BM_CheckUnclosedBrackets(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    checkExpressionBench(state, "inc " + std::string(static_cast<std::size_t>(n), '['), n);
}
BENCHMARK(BM_CheckUnclosedBrackets)->Arg(4000)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A tuple of n numbers: the tuple constructor's type is an arrow chain n long, taken apart one
// application at a time.
void BM_CheckTuple(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::string text = "(";
    for (int i = 0; i < n; ++i) text += (i ? ", " : "") + std::to_string(i);
    checkExpressionBench(state, text + ")", n);
}
BENCHMARK(BM_CheckTuple)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A program definition of n nested lambdas: its type is generalised over n variables.
void BM_CheckNestedLambdaDefinition(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    runOnLargeStack([&] {
        std::string text = "f = ";
        for (int i = 0; i < n; ++i) text += "\\ x -> ";
        const SourceFile file = readProgram(text + "x;\n").value.get();
        std::vector<DefItem> items;
        for (const ElemItem& e : file.elems) items.push_back(DefItem{e.elem.decl(), e.line});
        const DList d = mkDList(Defs::fromVector(std::move(items)));
        for (auto _ : state) {
            DListCheck c = checkDList(d, DListContext{0, CheckState::fresh(), CheckEnv()});
            benchmark::DoNotOptimize(c.typed.get());
            benchmark::DoNotOptimize(concatTheoryErrors(c.messages));
        }
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_CheckNestedLambdaDefinition)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
