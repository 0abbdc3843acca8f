// The matchers' random differential (tests/engine/matching/differential_pairs.h) for long runs
// by hand:
//   build/tests/plim_matcher_differential [--pairs N] [--seed S] [--from K] [--seconds T] [--cap R]
//                                         [--isolate P] [--trace] [--quiet]
// runs pairs K .. K+N-1 of the seed's sequence (so that a long run can be split in chunks),
// writes the counts, then every finding as the match command that shows it (not with
// --quiet); the status is 1 when there is a finding.  --trace writes each pair's number and
// match command to the error stream before it runs, to name a pair that does not end;
// --seconds T gives each matcher T seconds for the results of one match (looked at between
// results): a match that takes longer is counted "out of time" and not compared; --cap R reads
// at most R results of each match (5,000 unless given): matches that reach it are compared in
// order as far as they were read, and counted "capped".  --isolate P runs each pair in a process of
// its own and ends it after P seconds: a search can go on for hours without a result, which no
// budget looked at between results ends; such pairs are counted and listed apart ("did not
// end"), as are pairs whose process ended otherwise than by returning.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine/matching/differential_pairs.h"
#include "support/big_stack.h"

namespace {

using namespace plim::difftest;

// --- one pair's run as text, from the child process to the parent -------------------------

std::string escaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

std::string unescaped(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

std::vector<std::size_t*> numbersOf(Counts& c) {
    return {&c.illTyped, &c.matches, &c.fastResults, &c.refResults, &c.outOfTime, &c.capped, &c.cappedPairs};
}

std::string textOf(RunResult r) {
    std::ostringstream out;
    for (std::size_t* n : numbersOf(r.counts)) out << *n << ' ';
    out << '\n';
    for (const Finding& f : r.found) out << escaped(f.kind) << '\t' << escaped(f.command) << '\t' << escaped(f.detail) << '\n';
    return out.str();
}

// The run read back from its text, added to `total`.
void addText(const std::string& text, RunResult& total) {
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    std::istringstream numbers(line);
    for (std::size_t* n : numbersOf(total.counts)) {
        std::size_t v = 0;
        numbers >> v;
        *n += v;
    }
    while (std::getline(in, line)) {
        const std::size_t a = line.find('\t');
        const std::size_t b = line.find('\t', a + 1);
        report(total.counts, total.found, unescaped(line.substr(0, a)), unescaped(line.substr(a + 1, b - a - 1)),
               unescaped(line.substr(b + 1)));
    }
}

// --- isolated pairs ----------------------------------------------------------------------

enum class End { Returned, TooLong, Died };

// Runs one pair in a child process, adding its counts and findings to `total`; the child is
// ended after `seconds`.
End runIsolated(const Pair& pr, const RunOptions& options, int seconds, RunResult& total, std::string& why) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::cout.flush();
    std::cerr.flush();
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(fds[0]);
        RunResult one;
        runPair(pr, options, one);
        const std::string text = textOf(one);
        for (std::size_t at = 0; at < text.size();) {
            const ssize_t n = write(fds[1], text.data() + at, text.size() - at);
            if (n <= 0) _exit(3);
            at += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool tooLong = false;
    for (char buffer[65536];;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) == 0) {
            tooLong = true;
            kill(pid, SIGKILL);
            break;
        }
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (tooLong) return End::TooLong;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        why = WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status))
                                  : "exit status " + std::to_string(WEXITSTATUS(status));
        return End::Died;
    }
    addText(text, total);
    return End::Returned;
}

struct Unended {
    std::size_t pair;
    std::string command;
    std::string how;
};

RunResult runAllIsolated(std::uint64_t seed, std::size_t pairs, const RunOptions& options, int seconds,
                         std::vector<Unended>& unended) {
    return runEachPair(seed, pairs, options, std::cerr, [&](std::size_t i, const Pair& pr, RunResult& run) {
        std::string why;
        switch (runIsolated(pr, options, seconds, run, why)) {
        case End::Returned: break;
        case End::TooLong:
            unended.push_back({i, command(Kind::OneStep, pr), "did not end in " + std::to_string(seconds) + " s"});
            break;
        case End::Died: unended.push_back({i, command(Kind::OneStep, pr), "process " + why}); break;
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t pairs = 20000;
    std::uint64_t seed = 20261208;
    RunOptions options;
    int isolate = 0;
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
            options.perMatch = Budget{std::strtoull(argv[++i], nullptr, 10) * 1000};
        } else if (arg == "--cap" && i + 1 < argc) {
            options.resultCap = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--isolate" && i + 1 < argc) {
            isolate = std::atoi(argv[++i]);
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--quiet") {
            quiet = true;
        } else {
            std::cerr << "usage: " << argv[0]
                      << " [--pairs N] [--seed S] [--from K] [--seconds T] [--cap R] [--isolate P] [--trace] [--quiet]\n";
            return 2;
        }
    }
    RunResult run;
    std::vector<Unended> unended;
    plim::runOnLargeStack([&] {
        run = isolate > 0 ? runAllIsolated(seed, pairs, options, isolate, unended)
                          : runPairs(seed, pairs, std::cerr, options);
    });
    writeSummary(run, std::cout);
    if (isolate > 0) std::cout << "pairs that did not end: " << unended.size() << "\n";
    for (const Unended& u : unended) std::cout << "  pair " << u.pair << " " << u.how << ": " << u.command << "\n";
    if (!quiet) writeFindings(run, std::cout);
    return run.found.empty() ? 0 : 1;
}
