// The matchers' random differential (tests/engine/matching/differential_pairs.h) for long runs
// by hand:
//   build/tests/plim_matcher_differential [--pairs N] [--seed S] [--from K] [--seconds T] [--cap R] [--trace] [--quiet]
// runs pairs K .. K+N-1 of the seed's sequence (so that a long run can be split in chunks),
// writes the counts, then every finding as the match command that shows it (not with
// --quiet); the status is 1 when there is a finding.  --trace writes each pair's number and
// match command to the error stream before it runs, to name a pair that does not end;
// --seconds T gives each matcher T seconds for the results of one match (looked at between
// results): a match that takes longer is counted "out of time" and not compared; --cap R reads
// at most R results of each match (5,000 unless given): matches past it are compared in order
// as far as they were read, and counted "capped".
#include <cstdlib>
#include <iostream>
#include <string>

#include "engine/matching/differential_pairs.h"
#include "support/big_stack.h"

int main(int argc, char** argv) {
    std::size_t pairs = 20000;
    std::uint64_t seed = 20261208;
    plim::difftest::RunOptions options;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--pairs" && i + 1 < argc) {
            pairs = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--from" && i + 1 < argc) {
            options.first = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--seconds" && i + 1 < argc) {
            options.perMatch = plim::difftest::Budget{std::strtoull(argv[++i], nullptr, 10) * 1000};
        } else if (arg == "--cap" && i + 1 < argc) {
            options.resultCap = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else {
            std::cerr << "usage: " << argv[0] << " [--pairs N] [--seed S] [--from K] [--seconds T] [--cap R] [--trace] [--quiet]\n";
            return 2;
        }
    }
    plim::difftest::RunResult run;
    plim::runOnLargeStack([&] { run = plim::difftest::runPairs(seed, pairs, std::cerr, options); });
    plim::difftest::writeSummary(run, std::cout);
    if (!quiet) plim::difftest::writeFindings(run, std::cout);
    return run.found.empty() ? 0 : 1;
}
