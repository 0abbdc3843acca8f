#include "parsing/combinators.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace plim {
namespace {

using K = TokenKind;
using Strings = std::vector<std::string>;
using IntOp = std::function<int(int, int)>;

ScanSettings settings() { return ScanSettings{{"then", "if"}, {"->"}, "(){}[],;", "+-=.<>", 1}; }
TokenList scan(const std::string& text) { return scanTokens(settings(), text); }

Parser<int> number() {
    return pMap([](const std::string& s) { return std::stoi(s); }, pIntegerLit());
}
Parser<IntOp> minus() {
    return pReplace(IntOp([](int a, int b) { return a - b; }), pOperator("-"));
}

TEST(Combinators, ZeroOrMoreOnEmptyInputIsSilent) {
    ParseResult<Strings> r = parse(pZeroOrMore(pLowerId()), TokenList{});
    EXPECT_TRUE(r.value.empty());
    EXPECT_EQ(r.log, "");
}

TEST(Combinators, OneOrMoreOnEmptyInputInsertsOneItem) {
    ParseResult<Strings> r = parse(pOneOrMore(pLowerId()), TokenList{});
    EXPECT_EQ(r.value, Strings{"?LC?"});
    EXPECT_EQ(r.log, "Lower case identifier ?LC? inserted before endoffile\n");
}

TEST(Combinators, ZeroOrMoreKeepsOrderAndDeletesStrangersAtTopLevel) {
    ParseResult<Strings> r = parse(pZeroOrMore(pLowerId()), scan("a b ) c"));
    EXPECT_EQ(r.value, (Strings{"a", "b", "c"}));
    EXPECT_EQ(r.log, "Symbol   ) at line 1 deleted\n");
}

TEST(Combinators, ZeroOrMoreStopsSilentlyBeforeAWaitingParser) {
    auto g = pSeq([](Strings xs, const std::string&) { return xs; }, pZeroOrMore(pLowerId()), pSymbol(')'));
    ParseResult<Strings> r = parse(g, scan("a b ) c"));
    EXPECT_EQ(r.value, (Strings{"a", "b"}));
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(showTokenList(r.rest), "[Lower case identifier c at line 1]");
}

TEST(Combinators, RepetitionOfAnItemThatNeedsNoInputIsAnInternalError) {
    try {
        pZeroOrMore(succeedParser(1)).head();
        FAIL() << "expected an internal error";
    } catch (const InternalError& e) {
        EXPECT_NE(e.message().find("pZeroOrMore"), std::string::npos);
    }
    EXPECT_THROW(pChainRight(minus(), succeedParser(1)).head(), InternalError);
}

TEST(Combinators, SeparatedListOnCommas) {
    EXPECT_EQ(parse(pSeparated1(pCommaSymbol(), pLowerId()), scan("a, b, c")).value, (Strings{"a", "b", "c"}));
}

TEST(Combinators, SeparatedListLeavesAWaitingParsersSymbol) {
    auto list = pSeparated1(pCommaSymbol(), pLowerId());
    const Firsts waiting{Token{K::TkLowerId, "?LC?", 0}};
    ParseResult<Strings> r = parse(list, scan("a b"), FollowStack(waiting));
    EXPECT_EQ(r.value, Strings{"a"});
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(r.rest.size(), 1u);

    ParseResult<Strings> top = parse(list, scan("a b"));
    EXPECT_EQ(top.value, Strings{"a"});
    EXPECT_EQ(top.log, "Lower case identifier b at line 1 deleted\n");
}

TEST(Combinators, SeparatorWithoutItemIsRepairedThroughTheItem) {
    ParseResult<Strings> r = parse(pSeparated1(pCommaSymbol(), pLowerId()), scan("a, ; b"));
    EXPECT_EQ(r.value, (Strings{"a", "b"}));
    EXPECT_EQ(r.log, "Symbol   ; at line 1 deleted\n");
    ParseResult<Strings> end = parse(pSeparated1(pCommaSymbol(), pLowerId()), scan("a,"));
    EXPECT_EQ(end.value, (Strings{"a", "?LC?"}));
    EXPECT_EQ(end.log, "Lower case identifier ?LC? inserted before endoffile\n");
}

TEST(Combinators, FoldsGroupToTheRight) {
    auto op = [](std::string x, std::string acc) { return "(" + x + " " + acc + ")"; };
    EXPECT_EQ(parse(pFoldSeparated1(op, std::string("e"), pCommaSymbol(), pLowerId()), scan("x")).value, "(x e)");
    EXPECT_EQ(parse(pFoldSeparated1(op, std::string("e"), pCommaSymbol(), pLowerId()), scan("x,y")).value, "(x (y e))");
    EXPECT_EQ(parse(pFoldZeroOrMore(op, std::string("e"), pLowerId()), scan("a b c")).value, "(a (b (c e)))");
    EXPECT_EQ(parse(pFoldZeroOrMore(op, std::string("e"), pLowerId()), TokenList{}).value, "e");
    EXPECT_EQ(parse(pFoldPrefixed(op, std::string("e"), pSymbol(';'), pLowerId()), scan(";a;b")).value, "(a (b e))");
    EXPECT_EQ(parse(pPrefixedList(pSymbol(';'), pLowerId()), scan(";a;b c")).value, (Strings{"a", "b"}));
}

TEST(Combinators, ChainsGroupLeftAndRight) {
    EXPECT_EQ(parse(pChainLeft(minus(), number()), scan("10 - 4 - 3")).value, 3);
    EXPECT_EQ(parse(pChainRight(minus(), number()), scan("10 - 4 - 3")).value, 9);
    EXPECT_EQ(parse(pChainLeft(minus(), number()), scan("7")).value, 7);
    EXPECT_EQ(parse(pChainRight(minus(), number()), scan("7")).value, 7);
}

TEST(Combinators, ChainsRepairAMissingLastItem) {
    ParseResult<int> left = parse(pChainLeft(minus(), number()), scan("10 - 4 -"));
    EXPECT_EQ(left.value, 5);
    EXPECT_EQ(left.log, "Integer 1 inserted before endoffile\n");
    ParseResult<int> right = parse(pChainRight(minus(), number()), scan("10 - 4 -"));
    EXPECT_EQ(right.value, 7);
    EXPECT_EQ(right.log, "Integer 1 inserted before endoffile\n");
}

TEST(Combinators, ChainRightInsideASequence) {
    auto g = pInParens(pChainRight(minus(), number()));
    ParseResult<int> r = parse(g, scan("(10 - ) ;"));
    EXPECT_EQ(r.value, 9);
    EXPECT_EQ(r.log, "Integer 1 inserted before Symbol   ) at line 1\n");
    ParseResult<int> d = parse(g, scan("(10 ; - 2 ; )"));
    EXPECT_EQ(d.value, 8);
    EXPECT_EQ(d.log, "Symbol   ; at line 1 deleted\nSymbol   ; at line 1 deleted\n");
}

TEST(Combinators, ChainRightWithAnOperatorThatNeedsNoInput) {
    // Juxtaposition adds; "-" subtracts: 1 2 - 3 is 1 + (2 - 3).
    Parser<IntOp> op = parseAlt(minus(), succeedParser(IntOp([](int a, int b) { return a + b; })));
    EXPECT_EQ(parse(pChainRight(op, number()), scan("1 2 - 3")).value, 0);
    EXPECT_EQ(parse(pChainLeft(op, number()), scan("1 2 - 3")).value, 0);
}

TEST(Combinators, OptionalInsideASequenceLeavesTheNextSymbol) {
    auto g = pSeq([](const std::string& a, const std::string& b) { return a + "|" + b; },
                  pOptional(pLowerId(), std::string("none")), pSymbol(';'));
    ParseResult<std::string> r = parse(g, scan(";"));
    EXPECT_EQ(r.value, "none|;");
    EXPECT_EQ(r.log, "");
}

TEST(Combinators, OptionalAsTheWholeGrammarDeletes) {
    ParseResult<std::string> r = parse(pOptional(pLowerId(), std::string("none")), scan("; ;"));
    EXPECT_EQ(r.value, "none");
    EXPECT_EQ(r.log, "Symbol   ; at line 1 deleted\nSymbol   ; at line 1 deleted\n");
}

TEST(Combinators, BetweenInsertsAMissingClose) {
    ParseResult<std::string> r = parse(pBetween(pSymbol('('), pLowerId(), pSymbol(')')), scan("(x"));
    EXPECT_EQ(r.value, "x");
    EXPECT_EQ(r.log, "Symbol   ) inserted before endoffile\n");
    ParseResult<std::string> e = parse(pBetween(pSymbol('('), pLowerId(), pSymbol(')')), TokenList{});
    EXPECT_EQ(e.log, "Symbol   ( insertedLower case identifier ?LC? insertedSymbol   ) inserted before endoffile\n");
}

TEST(Combinators, KeepingAndApplying) {
    EXPECT_EQ(parse(pKeepLeft(pLowerId(), pSymbol(';')), scan("a;")).value, "a");
    EXPECT_EQ(parse(pKeepRight(pLowerId(), pSymbol(';')), scan("a;")).value, ";");
    EXPECT_EQ(parse(pReplace(5, pLowerId()), scan("a")).value, 5);
    auto twice = pReplace(std::function<std::string(std::string)>([](std::string s) { return s + s; }), pSymbol(';'));
    EXPECT_EQ(parse(pThenApply(pLowerId(), twice), scan("ab;")).value, "abab");
    EXPECT_EQ(parse(pOptionalApply(pLowerId(), twice), scan("ab;")).value, "abab");
    EXPECT_EQ(parse(pOptionalApply(pLowerId(), twice), scan("ab")).value, "ab");
}

// --- token parsers ------------------------------------------------------------------------------

TEST(TokenParsers, IdentifiersAndLiterals) {
    EXPECT_EQ(parse(pLowerId(), TokenList{Token{K::TkLowerId, "x", 7}}).value, "x");
    EXPECT_EQ(parse(pUpperId(), scan("Foo")).value, "Foo");
    EXPECT_EQ(parse(pIntegerLit(), scan("0042")).value, "0042");
    EXPECT_EQ(parse(pStringLit(), scan("\"a b\"")).value, "a b");
}

TEST(TokenParsers, InsertedDefaultsAndMessages) {
    struct Case {
        Parser<std::string> p;
        std::string value, log;
    };
    std::vector<Case> cases{
        {pAnyOperator(), "?OPER?", "Op      ?OPER? inserted before endoffile\n"},
        {pStringLit(), "?STR?", "String \"?STR?\" inserted before endoffile\n"},
        {pIntegerLit(), "1", "Integer 1 inserted before endoffile\n"},
        {pLowerId(), "?LC?", "Lower case identifier ?LC? inserted before endoffile\n"},
        {pUpperId(), "?UC?", "Upper case identifier ?UC? inserted before endoffile\n"},
        {pKeyword("then"), "then", "Keyword then inserted before endoffile\n"},
        {pOperator("=="), "==", "Operator == inserted before endoffile\n"},
        {pSymbol(';'), ";", "Symbol   ; inserted before endoffile\n"},
    };
    for (const Case& c : cases) {
        ParseResult<std::string> r = parse(c.p, TokenList{});
        EXPECT_EQ(r.value, c.value);
        EXPECT_EQ(r.log, c.log);
    }
    EXPECT_EQ(parse(pOperatorLine("+"), TokenList{}).log, "Operator + inserted before endoffile\n");
}

TEST(TokenParsers, AnyOperatorTakesOperatorsOnly) {
    EXPECT_EQ(parse(pAnyOperator(), scan("==")).value, "==");
    EXPECT_EQ(parse(pAnyOperator(), TokenList{Token{K::TkOperator, "+.", 1}}).value, "+.");
    EXPECT_EQ(parse(pAnyOperator(), scan("->")).log, "Keyword -> at line 1 deleted\nOp      ?OPER? inserted before endoffile\n");
    EXPECT_EQ(parse(pAnyOperator(), scan("(")).log, "Symbol   ( at line 1 deleted\nOp      ?OPER? inserted before endoffile\n");
}

TEST(TokenParsers, TextAndKindMustBothAgree) {
    EXPECT_EQ(parse(pOperator("-"), scan("->")).value, "-");
    EXPECT_EQ(parse(pOperator("-"), scan("-=")).log, "Operator -= at line 1 deleted\nOperator - inserted before endoffile\n");
    EXPECT_EQ(parse(pKeyword("then"), TokenList{Token{K::TkLowerId, "then", 2}}).log,
              "Lower case identifier then at line 2 deleted\nKeyword then inserted before endoffile\n");
    EXPECT_EQ(parse(pKeyword("->"), scan("->")).value, "->");
}

TEST(TokenParsers, LineParsers) {
    EXPECT_EQ(parse(pSymbolLine(';'), scan("\n\n;")).value, 3);
    EXPECT_EQ(parse(pSymbolLine(';'), TokenList{}).value, 0);
    EXPECT_EQ(parse(pOperatorLine(":"), TokenList{Token{K::TkOperator, ":", 9}}).value, 9);
}

TEST(TokenParsers, ErrorTokensAreNeverConsumed) {
    for (const Parser<std::string>& p : {pLowerId(), pStringLit(), pAnyOperator(), pIntegerLit()}) {
        ParseResult<std::string> r = parse(p, scan("\"open"));
        EXPECT_EQ(r.log, "error in scanner: Unterminated string at line 1 deleted\n" + showToken(p.firsts().front()) +
                             " inserted before endoffile\n");
    }
}

TEST(TokenParsers, SharedConstantsAreBuiltOnce) {
    EXPECT_EQ(&pLowerId(), &pLowerId());
    EXPECT_EQ(&pCommaSymbol(), &pCommaSymbol());
    EXPECT_EQ(&pLowerId().table(), &pLowerId().table());
}

TEST(TokenParsers, Brackets) {
    EXPECT_EQ(parse(pInParens(pLowerId()), scan("(x)")).value, "x");
    EXPECT_EQ(parse(pInBrackets(pLowerId()), scan("[x]")).value, "x");
    EXPECT_EQ(parse(pInBraces(pLowerId()), scan("{x}")).value, "x");
    ParseResult<std::string> r = parse(pInParens(pLowerId()), scan("x)"));
    EXPECT_EQ(r.log, "Lower case identifier x at line 1 deleted\nSymbol   ) at line 1 deleted\n"
                     "Symbol   ( insertedLower case identifier ?LC? insertedSymbol   ) inserted before endoffile\n");
    EXPECT_EQ(pInParens(pLowerId()).head().message.get(),
              "Symbol   ( insertedLower case identifier ?LC? insertedSymbol   ) inserted");
}

TEST(TokenParsers, Lists) {
    EXPECT_EQ(parse(pCommaList(pLowerId()), scan("a,b")).value, (Strings{"a", "b"}));
    EXPECT_EQ(parse(pSemicolonList(pLowerId()), scan("a;b")).value, (Strings{"a", "b"}));
    EXPECT_EQ(parse(pParenCommaList(pLowerId()), scan("(a,b)")).value, (Strings{"a", "b"}));
    EXPECT_EQ(parse(pBracketCommaList(pLowerId()), scan("[a]")).value, Strings{"a"});
    EXPECT_EQ(parse(pBraceSemicolonList(pLowerId()), scan("{a;b;c}")).value, (Strings{"a", "b", "c"}));
    ParseResult<Strings> r = parse(pParenCommaList(pLowerId()), scan("(a,)"));
    EXPECT_EQ(r.value, (Strings{"a", "?LC?"}));
    EXPECT_EQ(r.log, "Lower case identifier ?LC? inserted before Symbol   ) at line 1\n");
}

using Block = std::vector<BraceBlockItem<std::string>>;

TEST(TokenParsers, BraceBlockItemsCarryTheLinesOfTheirOpeners) {
    ParseResult<Block> r = parse(pBraceBlock(pLowerId()), scan("\n\n{ x ; y\n; z }"));
    EXPECT_EQ(r.value, (Block{{"x", 3}, {"y", 3}, {"z", 4}}));
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(parse(pBraceBlock(pLowerId()), scan("\n{x}")).value, (Block{{"x", 2}}));
}

TEST(TokenParsers, BraceBlockInsertsTheMissingClose) {
    ParseResult<Block> r = parse(pBraceBlock(pLowerId()), scan("{x;\ny"));
    EXPECT_EQ(r.value, (Block{{"x", 1}, {"y", 1}}));
    EXPECT_EQ(r.log, "Symbol   } inserted before endoffile\n");
}

TEST(TokenParsers, BraceBlockCompletesAMissingItemBeforeTheClose) {
    ParseResult<Block> r = parse(pBraceBlock(pLowerId()), scan("{x;\n}"));
    EXPECT_EQ(r.value, (Block{{"x", 1}, {"?LC?", 1}}));
    EXPECT_EQ(r.log, "Lower case identifier ?LC? inserted before Symbol   } at line 2\n");
    ParseResult<Block> empty = parse(pBraceBlock(pLowerId()), scan("{}"));
    EXPECT_EQ(empty.value, (Block{{"?LC?", 1}}));
    EXPECT_EQ(empty.log, "Lower case identifier ?LC? inserted before Symbol   } at line 1\n");
}

TEST(TokenParsers, BraceBlockInsertsTheCloseBeforeAWaitingSymbol) {
    auto g = pSeq([](Block b, const std::string&) { return b; }, pBraceBlock(pLowerId()), pKeyword("then"));
    ParseResult<Block> r = parse(g, scan("{x ( ; y then"));
    EXPECT_EQ(r.value, (Block{{"x", 1}, {"y", 1}}));
    EXPECT_EQ(r.log, "Symbol   ( at line 1 deleted\nSymbol   } inserted before Keyword then at line 1\n");
    EXPECT_EQ(pBraceBlock(pLowerId()).head().message.get(),
              "Symbol   { insertedLower case identifier ?LC? insertedSymbol   } inserted");
}

}  // namespace
}  // namespace plim
