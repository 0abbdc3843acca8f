// A bounded random fuzzer of the three readers and the command line: it mutates the bundled
// programs, theories and scripts (byte flips, inserted words of the languages, deleted,
// repeated and spliced ranges) and feeds each result to parseExpression, parseTheory and
// readProgram, reading the program's value too, and each of its first lines to the command
// grammar.  A reader may raise one of the system's own errors (a user error for
// too deep input, a failure of a value when it is read); anything else, and every crash that
// the sanitizers see, is a fault.
//
//   plim_fuzz [--seconds N] [--seed S]      (defaults: 20 seconds, seed 1)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "frontend/reader/reader.h"
#include "shell/command_grammar.h"
#include "support/big_stack.h"
#include "support/errors.h"

namespace {

using plim::PlimError;

std::vector<std::string> seeds() {
    std::vector<std::string> out{"f x = x + 1", "a: f (g x) = h x, if { p x = True }", "\\x -> (x, [1, 2])",
                                 "TRANSFORM t : f REDEFINE f = 1 SPECIFYING g = 2 USING a: x = y END",
                                 "setmatcher trace (compare ref (check fast))\nrewrite \"f x\"\nsetwidth 40"};
    const std::filesystem::path dir = std::filesystem::path(PLIM_SOURCE_DIR) / "examples";
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".p" && ext != ".eq" && ext != ".script") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        out.push_back(text.str());
    }
    return out;
}

const std::vector<std::string>& words() {
    static const std::vector<std::string> w{
        "(", ")", "[", "]", "{", "}", ",", ";", "\\", "->", "=", "::", ":", "+", "*", "++", ".", "==", "&&",
        "if", "then", "else", "let", "in", "where", "data", "TRANSFORM", "REDEFINE", "SPECIFYING", "USING",
        "END", "DEFINITION", "mod", "True", "False", "x", "f", "Cons", "Int", "1", "2.5e3", "\"s\\n\"",
        "'c'", "{- ", " -}", "--", "\n", " ", "setmatcher", "compare", "trace", "check", "onesteponly",
        "fast", "ref", "rewrite", "loadprogram", "setwidth", "simplematch", "\"a b\""};
    return w;
}

std::string mutate(std::string s, std::mt19937& rng, const std::vector<std::string>& pool) {
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n == 0 ? 0 : n - 1)(rng); };
    const int steps = 1 + static_cast<int>(pick(6));
    for (int i = 0; i < steps; ++i) {
        const std::size_t at = pick(s.size() + 1);
        switch (pick(6)) {
        case 0:
            if (!s.empty()) s[pick(s.size())] = static_cast<char>(pick(256));
            break;
        case 1: s.insert(at, " " + words()[pick(words().size())] + " "); break;
        case 2: s.erase(at, pick(64)); break;
        case 3: {  // repeat a short range, which can nest brackets deeply
            const std::string range = s.substr(at, 1 + pick(8));
            std::string rep;
            for (std::size_t k = 1 + pick(2000); k > 0; --k) rep += range;
            s.insert(at, rep);
            break;
        }
        case 4: {
            const std::string& other = pool[pick(pool.size())];
            const std::size_t from = pick(other.size() + 1);
            s.insert(at, other.substr(from, pick(200)));
            break;
        }
        default: s = s.substr(0, at); break;
        }
    }
    if (s.size() > (1u << 16)) s.resize(1u << 16);
    return s;
}

template <class F>
void guarded(F read) {
    try {
        read();
    } catch (const PlimError&) {
        // the system's own errors are answers, not faults
    }
}

// The first lines of the text, each read as a command line (the repair log is dropped).
void feedCommands(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    for (int n = 0; n < 20 && std::getline(lines, line); ++n)
        guarded([&] { plim::parse(plim::commandGrammar(), plim::scanTokens(plim::commandScanSettings(), line)); });
}

void feed(const std::string& text) {
    feedCommands(text);
    std::ostringstream out;
    guarded([&] { plim::parseExpression(text, out); });
    guarded([&] { plim::parseTheory(text, out); });
    guarded([&] {
        plim::Reading<plim::SourceFile> r = plim::readProgram(text);
        r.value.get();
    });
}

}  // namespace

int main(int argc, char** argv) {
    long seconds = 20;
    unsigned seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--seconds") seconds = std::strtol(argv[i + 1], nullptr, 10);
        else if (flag == "--seed") seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    }
    const std::vector<std::string> pool = seeds();
    std::mt19937 rng(seed);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    std::size_t runs = 0;
    try {
        // As in plim itself, the work runs on the large stack.
        plim::runOnLargeStack([&] {
            for (const std::string& s : pool) feed(s);
            while (std::chrono::steady_clock::now() < end) {
                std::string text = pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
                text = mutate(std::move(text), rng, pool);
                feed(text);
                ++runs;
            }
        });
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fuzz: fault after %zu inputs (seed %u): %s\n", runs, seed, e.what());
        return 1;
    }
    std::printf("fuzz: %zu inputs, no fault (seed %u)\n", runs, seed);
    return 0;
}
