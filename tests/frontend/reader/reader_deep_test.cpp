// Deep and long input: operator runs and applications of any length are read in a loop;
// nesting has one fixed limit, past which the readers stop with a clear user error.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// Before any header that brings in the derived combinators.
#include "parsing/parser.h"
#include "parsing/combinators.h"

#include "frontend/reader/reader.h"
#include "frontend/reader/expressions.h"
#include "frontend/reader/builders.h"
#include "frontend/reader/reader_test_util.h"
#include "lang/operator_parsers.h"
#include "lang/syntax_dump.h"
#include "support/big_stack.h"
#include "support/errors.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

constexpr std::size_t kOrdinaryStack = 8u << 20;

std::string repeated(const std::string& s, std::size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

// The message of the user error a reader raises, or "" when it raises none.
template <class F>
std::string userErrorOf(F read) {
    try {
        read();
    } catch (const IoError& e) {
        return e.message();
    }
    return "";
}

// How many abstractions, applications of If or brackets are nested on the leftmost spine.
std::size_t lambdaDepth(Expr e) {
    std::size_t n = 0;
    while (e.kind() == ExprKind::Lam) {
        ++n;
        e = e.body();
    }
    return n;
}

// --- the operand run read recursively: the reference the loop must agree with ---------------

const Parser<OperandSeq>& referenceTail();

const Parser<OperandSeq>& referenceSeq() {
    static const Parser<OperandSeq> p = Parser<OperandSeq>::lazy("referenceSeq", [] {
        return parseSeqWith([](Expr a, OperandSeq rest) {
            return OperandSeq{Chain<Expr>::cons(std::move(a), std::move(rest.operands)), std::move(rest.operators)};
        }, pAtomic(), referenceTail());
    });
    return p;
}

const Parser<OperandSeq>& referenceTail() {
    static const Parser<OperandSeq> p = Parser<OperandSeq>::lazy("referenceTail", [] {
        auto withOperator = parseSeqWith([](Op op, OperandSeq rest) {
            return OperandSeq{std::move(rest.operands), Chain<Op>::cons(op, std::move(rest.operators))};
        }, operatorParser(), referenceSeq());
        auto juxtaposed = pMap([](OperandSeq rest) {
            return OperandSeq{std::move(rest.operands), Chain<Op>::cons(Op::App, std::move(rest.operators))};
        }, referenceSeq());
        return alternatives(std::move(withOperator), std::move(juxtaposed), succeedParser(OperandSeq{}));
    });
    return p;
}

std::string shown(const ParseResult<OperandSeq>& r) {
    return test::showExpr(buildOperatorExpr(r.value)) + " | " + r.log + " | " + std::to_string(r.rest.size());
}

// Random token soups over operands, operators, brackets and a few keywords.
std::string randomRun(std::mt19937& rng) {
    static const std::vector<std::string> words{"x", "f", "1", "+", "*", "-", "==", ":", "++", ".", "(", ")",
                                                "[", "]", ",", "\\", "->", "if", "then", "else", "=", ";"};
    std::uniform_int_distribution<std::size_t> pick(0, words.size() - 1);
    std::uniform_int_distribution<int> length(0, 14);
    std::string out;
    for (int i = length(rng); i > 0; --i) out += words[pick(rng)] + " ";
    return out;
}

TEST(ReadDeepInput, OperandRunsReadInALoopAgreeWithTheRecursiveReading) {
    std::mt19937 rng(20261207);
    for (int i = 0; i < test::rounds(20000); ++i) {
        const std::string text = randomRun(rng);
        const TokenList tokens = scanText(text);
        EXPECT_EQ(shown(parseTokens(pOperandSeq(), tokens)), shown(parseTokens(referenceSeq(), tokens))) << text;
    }
}

TEST(ReadDeepInput, FlatRunsNeedNoStack) {
    runOnLargeStack(
        [] {
            const std::size_t n = test::inputSize(1000000);
            ParseResult<OperandSeq> sum = parseTokens(pOperandSeq(), scanText("x" + repeated(" + x", n - 1)));
            EXPECT_EQ(sum.value.operands.length(), n);
            EXPECT_EQ(sum.log, "");
            ParseResult<OperandSeq> app = parseTokens(pOperandSeq(), scanText("f" + repeated(" x", n)));
            EXPECT_EQ(app.value.operators.length(), n);
            EXPECT_EQ(app.log, "");
        },
        kOrdinaryStack);
}

TEST(ReadDeepInput, LongChainsAndApplicationsRead) {
    const std::size_t n = test::inputSize(1000000);
    test::Run<Expr> sum = test::readExpr("x" + repeated(" + x", n - 1));
    EXPECT_EQ(sum.log, "");
    EXPECT_EQ(sum.value.kind(), ExprKind::Ap);
    test::Run<Expr> app = test::readExpr("f" + repeated(" x", n));
    EXPECT_EQ(app.log, "");
    Expr spine = app.value;
    std::size_t args = 0;
    for (; spine.kind() == ExprKind::Ap; spine = spine.fun()) ++args;
    EXPECT_EQ(args, n);
    EXPECT_EQ(spine.name(), "f");
}

TEST(ReadDeepInput, HundredThousandLevelsRead) {
    const std::size_t n = test::inputSize(100000);
    test::Run<Expr> parens = test::readExpr(repeated("(", n) + "x" + repeated(")", n));
    EXPECT_EQ(parens.log, "");
    EXPECT_EQ(parens.value.name(), "x");
    test::Run<Expr> lambdas = test::readExpr(repeated("\\x -> ", n) + "x");
    EXPECT_EQ(lambdas.log, "");
    EXPECT_EQ(lambdaDepth(lambdas.value), n);
    test::Run<Expr> ifs = test::readExpr(repeated("if b then ", n) + "x" + repeated(" else y", n));
    EXPECT_EQ(ifs.log, "");
}

TEST(ReadDeepInput, DeeperInputStopsWithAClearError) {
    const std::size_t n = test::inputSize(1000000);  // beyond the limit under the sanitizers too
    const std::string tooDeep = "user error\nReason: input nested too deeply (more than 100000 levels) at line ";
    std::ostringstream out;
    EXPECT_EQ(userErrorOf([&] { parseExpression(repeated("(", n) + "x" + repeated(")", n), out); }), tooDeep + "1");
    EXPECT_EQ(userErrorOf([&] { parseExpression(repeated("\\x ->\n", n) + "x", out); }), tooDeep + "100002");
    EXPECT_EQ(userErrorOf([&] { parseExpression(repeated("if b then ", n) + "x" + repeated(" else y", n), out); }),
              tooDeep + "1");
    const std::size_t m = 150000;
    EXPECT_EQ(userErrorOf([&] { parseTheory("a: " + repeated("[", m) + "x" + repeated("]", m) + " = x", out); }),
              tooDeep + "1");
    EXPECT_EQ(userErrorOf([&] { readProgram("f :: " + repeated("(", m) + "Int" + repeated(")", m)); }), tooDeep + "1");
    EXPECT_EQ(out.str(), "");
    // The limit is per read: the next one starts from the top again.
    EXPECT_EQ(test::readExpr("((x))").value.name(), "x");
}

// On a stack smaller than the full large stack the limit shrinks with it, and the message
// names the stack: 256 MiB holds 32768 levels of 8 KiB (fewer in the sanitizer build).
TEST(ReadDeepInput, OnASmallerStackTheLimitShrinksAndTheMessageSaysSo) {
    constexpr std::size_t kSmaller = std::size_t{256} << 20;
    constexpr std::size_t kLimit = kSmaller / kNestingStackBytesPerLevel;
    static_assert(test::kSanitizerBuild || kLimit == 32768);
    const std::string tooDeep = "user error\nReason: input nested too deeply (more than " + std::to_string(kLimit) +
                                " levels on a 256 MiB stack) at line 1";
    runOnLargeStack(
        [&] {
            std::ostringstream out;
            EXPECT_EQ(userErrorOf([&] { parseExpression(repeated("(", kLimit + 1) + "x" + repeated(")", kLimit + 1), out); }),
                      tooDeep);
            EXPECT_EQ(userErrorOf([&] { readProgram("f :: " + repeated("[", kLimit + 600) + "Int" + repeated("]", kLimit + 600)); }),
                      tooDeep);
            EXPECT_EQ(userErrorOf([&] { parseExpression(repeated("(", kLimit) + "x" + repeated(")", kLimit), out); }), "");
            EXPECT_EQ(out.str(), "");
        },
        kSmaller);
}

// A rule made with `lazy` around a self-referring rule keeps working after its parts were
// computed and the defining function's own parser value is gone.
TEST(ReadDeepInput, LazyAroundRecursiveParsesTwice) {
    const Parser<int> nested = Parser<int>::lazy("nested", [] {
        return Parser<int>::recursive("inner", [](Parser<int> self) {
            return parseAlt(pMap([](int n) { return n + 1; }, pInParens(self)), pReplace(0, pLowerId()));
        });
    });
    const auto both = pSeq([](int a, std::string, int b) { return a * 10 + b; }, nested, pCommaSymbol(), nested);
    for (int round = 0; round < 2; ++round) {
        ParseResult<int> r = parseTokens(both, scanText("((x)), (((y)))"));
        EXPECT_EQ(r.value, 23);
        EXPECT_EQ(r.log, "");
    }
}

}  // namespace
}  // namespace plim
