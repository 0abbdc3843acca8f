// Speed of the type model: unification of deep types and the composition of substitutions.
// Each case runs at n, 2n and 4n to show how the time grows.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_timing.h"
#include "lang/types.h"

namespace {

using namespace plim;

// Int -> Int -> ... -> end, n arrows deep; `front` in place of the first Int when given.
Type deepArrow(int n, const Type& end, const Type* front = nullptr) {
    Type t = end;
    for (int i = 0; i < n; ++i) t = mkArrow(i == n - 1 && front ? *front : intType(), t);
    return t;
}

// A deep arrow type whose one variable stands first, against its instance: the binding is
// found first and every later equation is solved with it in place.
void BM_UnifyDeepArrowVariableFirst(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Type a = mkTid("a");
    const Type pattern = deepArrow(n, intType(), &a);
    const Type instance = deepArrow(n, intType());
    iterateOnLargeStack(state, [&] { benchmark::DoNotOptimize(unifyPair(pattern, instance)); });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_UnifyDeepArrowVariableFirst)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseManualTime();

// The same with the variable last.
void BM_UnifyDeepArrowVariableLast(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Type pattern = deepArrow(n, mkTid("a"));
    const Type instance = deepArrow(n, intType());
    iterateOnLargeStack(state, [&] { benchmark::DoNotOptimize(unifyPair(pattern, instance)); });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_UnifyDeepArrowVariableLast)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseManualTime();

std::vector<std::string> names(int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back("v" + std::to_string(i));
    return out;
}

// One binding at a time composed onto a growing substitution, as a matcher extends its
// type substitution.
void BM_ComposeOneBindingAtATime(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<std::string> vs = names(n);
    iterateOnLargeStack(state, [&] {
        TypeSubst s;
        for (int i = 0; i < n; ++i) s = substTypeOf(bindVar(vs[i], mkListType(intType())), s);
        benchmark::DoNotOptimize(s);
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_ComposeOneBindingAtATime)->Arg(4000)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond)->UseManualTime();

// Bindings whose types share a few variables, then those variables bound: each later binding
// changes an eighth of the earlier ones.
void BM_ComposeSharedVariables(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<std::string> vs = names(n);
    iterateOnLargeStack(state, [&] {
        TypeSubst s;
        for (int i = 0; i < n; ++i) s = substTypeOf(bindVar(vs[i], mkListType(mkTid("x" + std::to_string(i % 8)))), s);
        for (int k = 0; k < 8; ++k) s = substTypeOf(bindVar("x" + std::to_string(k), intType()), s);
        benchmark::DoNotOptimize(s);
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_ComposeSharedVariables)->Arg(4000)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond)->UseManualTime();

// matchType of a deep arrow type whose first argument is a variable against its instance.
void BM_MatchTypeDeepArrow(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const Type a = mkTid("a");
    const Type pattern = deepArrow(n, mkTid("b"), &a);
    const Type instance = deepArrow(n, intType());
    iterateOnLargeStack(state, [&] { benchmark::DoNotOptimize(matchTypeFresh(pattern, instance)); });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_MatchTypeDeepArrow)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseManualTime();

// matchType of a tuple of n distinct variables against a tuple of n types.
void BM_MatchTypeManyVariables(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<Type> ps;
    std::vector<Type> ts;
    for (const auto& v : names(n)) {
        ps.push_back(mkTid(v));
        ts.push_back(mkListType(intType()));
    }
    const Type p = mkTupleType(ps);
    const Type t = mkTupleType(ts);
    iterateOnLargeStack(state, [&] { benchmark::DoNotOptimize(matchTypeFresh(p, t)); });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_MatchTypeManyVariables)->Arg(4000)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond)->UseManualTime();

// One substitution threaded through n calls of unify, as a checker threads its substitution
// through the equations of one construct after another: call i solves v_i = [w_i] and settles
// w_(i-1), which the binding of v_(i-1) holds.  Each call binds two variables and changes one
// earlier binding.
void BM_UnifyThreadedSubstitution(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::vector<std::string> vs = names(n);
    std::vector<Type> v, w;
    for (int i = 0; i < n; ++i) {
        v.push_back(mkTid(vs[i]));
        w.push_back(mkTid("w" + std::to_string(i)));
    }
    iterateOnLargeStack(state, [&] {
        TypeSubst s;
        for (int i = 0; i < n; ++i) {
            std::vector<TypeEquation> eqs{{v[i], mkListType(w[i])}};
            if (i > 0) eqs.emplace_back(w[i - 1], intType());
            s = unify(eqs, s).unifier();
        }
        benchmark::DoNotOptimize(s);
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_UnifyThreadedSubstitution)->Arg(2000)->Arg(4000)->Arg(8000)->Unit(benchmark::kMillisecond)->UseManualTime();

// The same where call i solves x_i = [x_(i+1)]: every earlier binding holds x_i.
void BM_UnifyThreadedChain(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<Type> x;
    for (int i = 0; i <= n; ++i) x.push_back(mkTid("x" + std::to_string(i)));
    iterateOnLargeStack(state, [&] {
        TypeSubst s;
        for (int i = 0; i < n; ++i) s = unify({{x[i], mkListType(x[i + 1])}}, s).unifier();
        benchmark::DoNotOptimize(s);
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_UnifyThreadedChain)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond)->UseManualTime();

// eqType of each level of a deep nested tuple type against the next level, the types built
// afresh (no node shared between the two sides but the innermost): as the display of a
// rewrite compares the types of the tuple constructors of (1, (1, (1, ...))).
void BM_EqTypeDeepFreshLevels(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<Type> levels{intType()};
    std::vector<Type> fresh{intType()};
    for (int i = 0; i < n; ++i) {
        levels.push_back(mkTupleType({intType(), levels.back()}));
        fresh.push_back(mkTupleType({intType(), fresh.back()}));
    }
    iterateOnLargeStack(state, [&] {
        int equal = 0;
        for (int i = 0; i < n; ++i) equal += eqType(levels[i + 1], fresh[i]) ? 1 : 0;
        benchmark::DoNotOptimize(equal);
    });
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_EqTypeDeepFreshLevels)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
