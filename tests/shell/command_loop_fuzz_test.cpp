// A seeded random fuzzer of the command loop: sessions of commands, with the bundled examples
// loaded, run through the real plim program.  Commands and their expressions are built from the
// example programs' names, the language's keywords and operators, brackets, where and let
// blocks, type signatures and data declarations, and then mutated.  Whatever a session's
// input, it must end as a session ends (no fatal "Fail:" report, no signal, no sanitizer
// report).  A session that outlives its time or its output limit (an endless rewrite) is
// counted, not failed.
//
//   PLIM_FUZZ_SESSIONS   sessions to run (default 250, about 10 to 20 seconds; an eighth of
//                        that under the sanitizers)
//   PLIM_FUZZ_SEED       the first seed (default 1); session i uses seed + i
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "shell/plim_process.h"
#include "support/sanitizer_build.h"

namespace plim::test {
namespace {

constexpr int kSessionSeconds = 8;  // generous: sanitizer builds are slow

long envNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 10) : fallback;
}

const std::vector<std::string>& exampleNames() {
    static const std::vector<std::string> names{"mapfusion", "accumulation", "foldfusion", "grammar_lists"};
    return names;
}

// The identifiers of the example programs and theories.
const std::vector<std::string>& exampleWords() {
    static const std::vector<std::string> words = [] {
        std::set<std::string> seen;
        static const std::regex word("[A-Za-z][A-Za-z0-9_']*");
        for (const std::string& n : exampleNames())
            for (const char* ext : {".p", ".eq"}) {
                const std::string text = readFile(examplesDir() + "/" + n + ext);
                for (std::sregex_iterator it(text.begin(), text.end(), word), end; it != end; ++it) seen.insert(it->str());
            }
        return std::vector<std::string>(seen.begin(), seen.end());
    }();
    return words;
}

class Generator {
public:
    explicit Generator(unsigned seed) : rng_(seed) {}

    std::string session() {
        std::string out;
        const std::string& program = pick(exampleNames());
        out += "loadprogram \"" + program + "\"\n";
        out += "loadtheory \"" + (chance(8) ? pick(exampleNames()) : program) + "\"\n";
        for (int i = 2 + below(12); i > 0; --i) out += command() + "\n";
        return out;
    }

private:
    std::mt19937 rng_;

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int oneIn) { return below(oneIn) == 0; }
    template <class T>
    const T& pick(const std::vector<T>& v) {
        return v[static_cast<std::size_t>(below(static_cast<int>(v.size())))];
    }

    std::string name() { return pick(exampleWords()); }
    std::string var() { return chance(2) ? std::string(1, static_cast<char>('a' + below(26))) : name(); }

    std::string type(int depth) {
        static const std::vector<std::string> atoms{"Int", "Float", "Bool", "a", "b"};
        if (depth <= 0 || chance(2)) return pick(atoms);
        switch (below(3)) {
        case 0: return "[" + type(depth - 1) + "]";
        case 1: return "(" + type(depth - 1) + ", " + type(depth - 1) + ")";
        default: return type(depth - 1) + " -> " + type(depth - 1);
        }
    }

    std::string declaration(int depth) {
        switch (below(6)) {
        case 0: return var() + " :: " + type(2);
        case 1: return "data T = A | B Int";
        default: return var() + (chance(2) ? " " + var() : "") + " = " + expr(depth - 1);
        }
    }

    std::string block(int depth) {
        std::string out = "{ ";
        for (int i = 1 + below(2); i > 0; --i) out += declaration(depth) + (i > 1 ? "; " : " ");
        return out + "}";
    }

    std::string atom() {
        static const std::vector<std::string> atoms{"1", "0", "2.5", "True", "False", "[]", "[1, 2]", "(1, 2)", "'c'",
                                                    "\"ab\""};
        return chance(3) ? pick(atoms) : var();
    }

    std::string expr(int depth) {
        if (depth <= 0) return atom();
        static const std::vector<std::string> ops{"+", "*", "-", ".", ":", "++", "==", "&&", "+.", "<=", "!!"};
        const int d = depth - 1;
        switch (below(12)) {
        case 0: return expr(d) + " " + expr(d);
        case 1: return "(" + expr(d) + " " + pick(ops) + " " + expr(d) + ")";
        case 2: return "\\ " + var() + " -> " + expr(d);
        case 3: return "\\ (" + var() + ", " + var() + ") -> " + expr(d);
        case 4: return "\\ [" + var() + "] -> " + expr(d);
        case 5: return "if " + expr(d) + " then " + expr(d) + " else " + expr(d);
        case 6: return "let " + block(d) + " in " + expr(d);
        case 7: return "(" + expr(d) + " where " + block(d) + ")";
        case 8: return "[" + expr(d) + ", " + expr(d) + "]";
        case 9: return "(" + expr(d) + ", " + expr(d) + ")";
        case 10: return name() + " " + expr(d);
        default: return atom();
        }
    }

    // The expression, sometimes with a few tokens dropped, doubled or added.
    std::string mutated(std::string e) {
        static const std::vector<std::string> bits{"(", ")", "[", "]", "{", "}", ",", ";", "\\", "->", "=", "::",
                                                   "where", "let", "in", "if", "then", "else", "data", "|"};
        for (int i = chance(3) ? 1 + below(3) : 0; i > 0; --i) {
            const auto at = static_cast<std::size_t>(below(static_cast<int>(e.size()) + 1));
            if (chance(2) && !e.empty()) e.erase(at < e.size() ? at : e.size() - 1, 1 + below(3));
            else e.insert(at, " " + pick(bits) + " ");
        }
        return e;
    }

    std::string quoted() { return "\"" + mutated(expr(1 + below(4))) + "\""; }

    std::string matcher(int depth) {
        static const std::vector<std::string> plain{"fast", "ref"};
        if (depth <= 0 || chance(2)) return pick(plain);
        switch (below(4)) {
        case 0: return "compare " + matcher(depth - 1) + " " + matcher(depth - 1);
        case 1: return "check (" + matcher(depth - 1) + ")";
        case 2: return "onesteponly " + matcher(depth - 1);
        default: return "(" + matcher(depth - 1) + ")";
        }
    }

    std::string command() {
        switch (below(20)) {
        case 0:
        case 1:
        case 2:
        case 3: return "rewrite " + quoted();
        case 4:
        case 5: return "simplematch " + quoted() + " " + quoted();
        case 6: return "onestepmatch " + quoted() + " " + quoted();
        case 7: return "twostepmatch " + quoted() + " " + quoted();
        case 8: return "applytransform \"" + (chance(2) ? std::string("fusemap") : name()) + "\"";
        case 9: return "choosetheory \"" + name() + "\"";
        case 10: return "setmatcher " + matcher(3);
        case 11: return "setwidth " + std::to_string(below(100) - 5);
        case 12: return chance(2) ? "showtheory" : "showprogram";
        case 13: return "loadtheory \"" + pick(exampleNames()) + "\"";
        case 14: return "loadprogram \"" + pick(exampleNames()) + "\"";
        case 15: return "debugfile \"" + std::string(chance(2) ? "page.html" : "") + "\"";
        case 16: return "runscript \"mapfusion.script\"";
        case 17: return chance(4) ? "quit" : "skip";
        default: return mutated(name() + " " + quoted());
        }
    }
};

struct Outcome {
    enum Kind { Ended, OutOfTime, OutOfOutput, Fault } kind = Ended;
    std::string detail;
};

// Runs one session in `dir` with the examples folder as path, the time and output bounded.
Outcome runSession(const std::string& input, const std::string& dir) {
    const std::string in = dir + "/stdin", out = dir + "/stdout", err = dir + "/stderr";
    writeFile(in, input);
    const std::string binary = plimBinary();
    const std::string path = examplesDir() + "/";
    const pid_t pid = fork();
    if (pid < 0) return {Outcome::Fault, "fork failed"};
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        const rlimit fileSize{rlim_t{16} << 20, rlim_t{16} << 20};
        setrlimit(RLIMIT_FSIZE, &fileSize);
        const int fi = open(in.c_str(), O_RDONLY);
        const int fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fi < 0 || fo < 0 || fe < 0) _exit(127);
        dup2(fi, 0);
        dup2(fo, 1);
        dup2(fe, 2);
        execl(binary.c_str(), binary.c_str(), "--path", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kSessionSeconds);
    bool killed = false;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            killed = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (killed) return {Outcome::OutOfTime, ""};
    const std::string errText = readFile(err);
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) return {Outcome::OutOfOutput, ""};
    if (WIFSIGNALED(status)) return {Outcome::Fault, "ended by signal " + std::to_string(WTERMSIG(status))};
    if (errText.find("Fail: ") != std::string::npos || errText.find("Sanitizer") != std::string::npos ||
        WEXITSTATUS(status) != 0)
        return {Outcome::Fault, "status " + std::to_string(WEXITSTATUS(status)) + ", standard error:\n" + errText};
    return {};
}

TEST(CommandLoopFuzz, NoSessionEndsInAFatalErrorOrACrash) {
    const long sessions = envNumber("PLIM_FUZZ_SESSIONS", rounds(250));
    const long seed = envNumber("PLIM_FUZZ_SEED", 1);
    const std::string dir = scratchDir("CommandLoopFuzz_" + std::to_string(getpid()));
    int counts[4] = {0, 0, 0, 0};
    int faults = 0;
    for (long i = 0; i < sessions && faults < 5; ++i) {
        const std::string input = Generator(static_cast<unsigned>(seed + i)).session();
        const Outcome o = runSession(input, dir);
        ++counts[o.kind];
        if (o.kind == Outcome::Fault) {
            ++faults;
            ADD_FAILURE() << "session with seed " << seed + i << " " << o.detail << "\ninput:\n" << input;
        }
    }
    std::printf("%ld sessions: %d ended, %d out of time, %d out of output, %d faults\n", sessions, counts[0], counts[1],
                counts[2], counts[3]);
}

}  // namespace
}  // namespace plim::test
