// Site finding: the fast matcher's site tables built along the expressions of a derivation, each
// from the one before, and every rule's sites walked in each, as the rewriting driver walks them
// (the walk going down only where the table says the rule may be tried).
//
//   naive reverse         rev of a list of n numbers (Cons and Nil, rev and app)
//   Peano multiplication  n × n with add and mul over Z and S
//
// The expressions are those of the derivation, found before the timing; the counters give the
// time per expression (seconds) and the nodes visited per expression.
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/engine/rewriting/driver_test_util.h"
#include "bench_timing.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/matcher_internal.h"
#include "engine/rewriting/driver.h"

namespace plim {
namespace {

using namespace rewrite_test;

Expr numbers(int n) {
    Expr e = lnil();
    for (int k = 0; k < n; ++k) e = lcons(peano(k % 3), e);
    return e;
}

// The start and every step's expression.
std::vector<Expr> chain(const std::vector<Rule>& theory, const Expr& e) {
    std::vector<Expr> out;
    runOnLargeStack([&] {
        const Derivation d = rewriteDefinition(fastMatcher(), theory, e);
        out.push_back(d.start);
        for (const CalcStep& s : toVector(d.steps)) out.push_back(s.second);
    });
    return out;
}

// The nodes visited by every rule's walk over the table's expression.
std::size_t walkAll(const SiteTable& table, const Expr& e, std::size_t rules) {
    static const std::vector<TypedVar> none;
    std::size_t visited = 0;
    std::vector<std::pair<const Expr*, bool>> stack;  // (node, at the top)
    for (std::size_t r = 0; r < rules; ++r) {
        if (!table.applicable(r, e, none)) continue;
        stack.assign(1, {&e, true});
        while (!stack.empty()) {
            const auto [x, top] = stack.back();
            stack.pop_back();
            ++visited;
            const SiteTable::Visit v = table.visit(r, *x, top, none);
            benchmark::DoNotOptimize(v.attempt);
            if (!v.below) continue;
            if (x->isLam()) stack.emplace_back(&x->body(), false);
            if (x->isAp()) {
                stack.emplace_back(&x->fun(), false);
                stack.emplace_back(&x->arg(), false);
            }
        }
    }
    return visited;
}

void measure(benchmark::State& state, const std::vector<Rule>& theory, const Expr& start) {
    const std::vector<Expr> exprs = chain(theory, start);
    std::vector<Expr> leftSides;
    for (const Rule& r : theory) leftSides.push_back(r.equation.first);
    std::size_t visited = 0;
    iterateOnLargeStack(state, [&] {
        const auto rules = fastRuleTable(leftSides);
        std::shared_ptr<const SiteTable> before;
        visited = 0;
        for (const Expr& e : exprs) {
            auto table = before ? before->next(e, {}) : rules->sites(e, {});
            visited += walkAll(*table, e, leftSides.size());
            before = std::move(table);
        }
    });
    const auto n = static_cast<double>(exprs.size());
    state.counters["exprs"] = n;
    state.counters["visited_per_expr"] = static_cast<double>(visited) / n;
    state.counters["time_per_expr"] =
        benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_SitesNaiveReverse(benchmark::State& state) {
    measure(state, reverseRules(), lrev(numbers(static_cast<int>(state.range(0)))));
}
BENCHMARK(BM_SitesNaiveReverse)->Arg(50)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_SitesPeanoMultiplication(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    measure(state, peanoTheory(), mul(peano(n), peano(n)));
}
BENCHMARK(BM_SitesPeanoMultiplication)->Arg(10)->Arg(20)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plim
