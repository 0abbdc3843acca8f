// Timing shared by the benchmarks: the work runs on a large stack, on a thread of its own, and
// the time taken is that thread's CPU time, so that a busy machine does not inflate it.
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include "support/big_stack.h"

namespace plim {

// The CPU time of the calling thread, in seconds.
inline double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The CPU time of the work, run on a large stack.
template <class F>
double cpuSecondsOnLargeStack(F work) {
    double seconds = 0;
    runOnLargeStack([&] {
        const double start = threadSeconds();
        work();
        seconds = threadSeconds() - start;
    });
    return seconds;
}

// Runs the work on a large stack and reports its CPU time as the iteration's time.
template <class F>
void timeOnLargeStack(benchmark::State& state, F work) {
    state.SetIterationTime(cpuSecondsOnLargeStack(work));
}

// Runs the benchmark's iterations on one large stack, on a thread of its own, as plim runs a
// whole session; each iteration's time is that thread's CPU time for the work.  (A thread per
// iteration also measures what a fresh thread costs: empty caches and pools, fresh pages.)
template <class F>
void iterateOnLargeStack(benchmark::State& state, F work) {
    runOnLargeStack([&] {
        for (auto _ : state) {
            const double start = threadSeconds();
            work();
            state.SetIterationTime(threadSeconds() - start);
        }
    });
}

}  // namespace plim
