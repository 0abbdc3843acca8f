// Long inputs: repetitions, lists, blocks and chains read their items in a loop, so they
// run even on a small stack.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/big_stack.h"
#include "parsing/combinators.h"

namespace plim {
namespace {

constexpr std::size_t kItems = 100000;
constexpr std::size_t kSmallStack = 256 * 1024;

ScanSettings settings() { return ScanSettings{{}, {}, "{};,()", "-", 1}; }

std::string repeated(const std::string& item, const std::string& sep, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += (i == 0 ? "" : sep) + item;
    return out;
}

TEST(ParsingStress, RepetitionOverManyTokensOnTheOrdinaryStack) {
    ParseResult<std::vector<std::string>> r = parse(pZeroOrMore(pLowerId()), scanTokens(settings(), repeated("x", " ", kItems)));
    EXPECT_EQ(r.value.size(), kItems);
    EXPECT_EQ(r.log, "");
}

TEST(ParsingStress, RepetitionsListsAndBlocksOnASmallStack) {
    runOnLargeStack(
        [] {
            const TokenList words = scanTokens(settings(), repeated("x", "\n", kItems));
            EXPECT_EQ(parse(pOneOrMore(pLowerId()), words).value.size(), kItems);
            EXPECT_EQ(parse(pCommaList(pLowerId()), scanTokens(settings(), repeated("x", ",", kItems))).value.size(), kItems);
            ParseResult<std::vector<BraceBlockItem<std::string>>> block =
                parse(pBraceBlock(pLowerId()), scanTokens(settings(), "{" + repeated("x", "\n;", kItems) + "}"));
            ASSERT_EQ(block.value.size(), kItems);
            EXPECT_EQ(block.value.back().second, static_cast<int32_t>(kItems));
            EXPECT_EQ(block.log, "");
        },
        kSmallStack);
}

TEST(ParsingStress, ChainsOnASmallStack) {
    runOnLargeStack(
        [] {
            using IntOp = std::function<int(int, int)>;
            auto one = pReplace(1, pIntegerLit());
            auto minus = pReplace(IntOp([](int a, int b) { return a - b; }), pOperator("-"));
            const TokenList chain = scanTokens(settings(), repeated("1", "-", kItems));
            EXPECT_EQ(parse(pChainLeft(minus, one), chain).value, 1 - static_cast<int>(kItems - 1));
            EXPECT_EQ(parse(pChainRight(minus, one), chain).value, 0);  // an even number of items
        },
        kSmallStack);
}

TEST(ParsingStress, ManyDeletionsOnASmallStack) {
    runOnLargeStack(
        [] {
            ParseResult<std::string> r = parse(pInParens(pLowerId()), scanTokens(settings(), repeated(";", " ", kItems) + "(x)"));
            EXPECT_EQ(r.value, "x");
            EXPECT_EQ(r.log.size(), kItems * std::string("Symbol   ; at line 1 deleted\n").size());
            ParseResult<std::vector<std::string>> inside =
                parse(pZeroOrMore(pLowerId()), scanTokens(settings(), repeated("x ;", " ", kItems)));
            EXPECT_EQ(inside.value.size(), kItems);
        },
        kSmallStack);
}

TEST(ParsingStress, InsideTheLargeStackRunner) {
    std::size_t n = runOnLargeStack([] { return parse(pZeroOrMore(pLowerId()), scanTokens(settings(), repeated("x", " ", kItems))).value.size(); });
    EXPECT_EQ(n, kItems);
}

}  // namespace
}  // namespace plim
