#include "scanning/scanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace plim {
namespace {

using K = TokenKind;

Token tok(K kind, std::string text, int32_t line = 0) { return Token{kind, std::move(text), line}; }

// The language-like settings: a few keywords, "->" as keyword operator.
ScanSettings languageSettings() {
    return ScanSettings{{"if", "then", "else", "let", "in", "mod", "True"}, {"->"}, "()[]{},;`\\", "!^.*/+-:=<>&|\\", 1};
}

// Each token as kind number, text and line, for compact comparisons.
std::string describe(const TokenList& ts) {
    std::string out;
    for (const Token& t : ts) out += std::to_string(static_cast<int>(t.kind)) + ":" + t.text + "@" + std::to_string(t.line) + " ";
    return out;
}

std::string scan(const std::string& text, const ScanSettings& settings = languageSettings()) {
    return describe(scanTokens(settings, text));
}

// --- tokens ----------------------------------------------------------------------------------

TEST(TokenEquals, OperatorMatchesAnyOperatorOnlyFromTheLeft) {
    EXPECT_TRUE(tokenEquals(tok(K::TkOperator, "+", 3), tok(K::TkOp, "?OPER?")));
    EXPECT_FALSE(tokenEquals(tok(K::TkOp, "?OPER?"), tok(K::TkOperator, "+", 3)));
    EXPECT_TRUE(tokenEquals(tok(K::TkOp, "x"), tok(K::TkOp, "y")));
    EXPECT_TRUE(tokenNotEquals(tok(K::TkOp, "?OPER?"), tok(K::TkOperator, "+", 3)));
}

TEST(TokenEquals, TextMattersForSymbolsKeywordsAndOperators) {
    EXPECT_FALSE(tokenEquals(tok(K::TkOperator, "+", 3), tok(K::TkOperator, "++")));
    EXPECT_FALSE(tokenEquals(tok(K::TkOperator, "+", 3), tok(K::TkKeyword, "+")));
    EXPECT_FALSE(tokenEquals(tok(K::TkSymbol, "(", 1), tok(K::TkSymbol, ")", 1)));
    EXPECT_TRUE(tokenEquals(tok(K::TkKeyword, "if", 5), tok(K::TkKeyword, "if")));
    EXPECT_FALSE(tokenEquals(tok(K::TkKeyword, "then", 5), tok(K::TkLowerId, "then")));
    EXPECT_FALSE(tokenEquals(tok(K::TkLowerId, "then", 5), tok(K::TkKeyword, "then")));
}

TEST(TokenEquals, OtherKindsCompareTheKindOnly) {
    EXPECT_TRUE(tokenEquals(tok(K::TkLowerId, "anything", 9), tok(K::TkLowerId, "?LC?")));
    EXPECT_TRUE(tokenEquals(tok(K::TkString, "a", 1), tok(K::TkString, "?STR?")));
    EXPECT_TRUE(tokenEquals(tok(K::TkInteger, "42", 1), tok(K::TkInteger, "1")));
    EXPECT_TRUE(tokenEquals(tok(K::TkError, "x", 1), tok(K::TkError, "y")));
    EXPECT_FALSE(tokenEquals(tok(K::TkUpperId, "A", 1), tok(K::TkLowerId, "?LC?")));
    EXPECT_FALSE(tokenEquals(tok(K::TkError, "x", 1), tok(K::TkLowerId, "?LC?")));
}

TEST(ShowToken, PrefixesAndLineSuffix) {
    EXPECT_EQ(showToken(tok(K::TkKeyword, "then", 12)), "Keyword then at line 12");
    EXPECT_EQ(showToken(tok(K::TkKeyword, "then", 0)), "Keyword then");
    EXPECT_EQ(showToken(tok(K::TkSymbol, "(", 3)), "Symbol   ( at line 3");
    EXPECT_EQ(showToken(tok(K::TkOperator, "++", 1)), "Operator ++ at line 1");
    EXPECT_EQ(showToken(tok(K::TkOp, "?OPER?")), "Op      ?OPER?");
    EXPECT_EQ(showToken(tok(K::TkInteger, "1")), "Integer 1");
    EXPECT_EQ(showToken(tok(K::TkLowerId, "x", 2)), "Lower case identifier x at line 2");
    EXPECT_EQ(showToken(tok(K::TkUpperId, "X", 2)), "Upper case identifier X at line 2");
    EXPECT_EQ(showToken(tok(K::TkError, "Unterminated string", 7)), "error in scanner: Unterminated string at line 7");
    EXPECT_EQ(showToken(tok(K::TkKeyword, "if", -3)), "Keyword if at line -3");
}

TEST(ShowToken, StringsNeverShowALine) {
    EXPECT_EQ(showToken(tok(K::TkString, "abc", 4)), "String \"abc\"");
    EXPECT_EQ(showToken(tok(K::TkString, "?STR?")), "String \"?STR?\"");
    EXPECT_EQ(showsToken(tok(K::TkString, "", 4), " deleted"), "String \"\" deleted");
}

TEST(ShowToken, Lists) {
    EXPECT_EQ(showTokenList({}), "[]");
    EXPECT_EQ(showTokenList({tok(K::TkSymbol, "("), tok(K::TkLowerId, "x", 1)}), "[Symbol   (,Lower case identifier x at line 1]");
}

// --- scanner -----------------------------------------------------------------------------------

TEST(Scanner, EmptyAndLayoutOnlyInputs) {
    EXPECT_EQ(scan(""), "");
    EXPECT_EQ(scan(" \t\r\n\v\f -- comment\n{- nested {- inner -} -}\n"), "");
}

TEST(Scanner, KindsTextsAndLines) {
    EXPECT_EQ(scan("if x1 then\n  Foo 42 else \"s\" (y'_z) ++ mod"),
              "3:if@1 6:x1@1 3:then@1 7:Foo@2 5:42@2 3:else@2 4:s@2 0:(@2 6:y'_z@2 0:)@2 1:++@2 3:mod@2 ");
}

TEST(Scanner, StartLineIsTheCallersAndCarriageReturnsAreLayout) {
    ScanSettings s = languageSettings();
    s.startLine = 10;
    EXPECT_EQ(scan("a\r\nb\r\n\r\nc", s), "6:a@10 6:b@11 6:c@13 ");
    s.startLine = 0;
    EXPECT_EQ(scan("a", s), "6:a@0 ");
}

TEST(Scanner, IdentifiersCannotBeginWithUnderscoreOrApostrophe) {
    ScanSettings s{{}, {}, "_", "'", 1};
    EXPECT_EQ(scan("_a 'b", s), "0:_@1 6:a@1 1:'@1 6:b@1 ");
    EXPECT_EQ(scan("_", ScanSettings{}), "8:Unexpected character '_'@1 ");
}

TEST(Scanner, DigitsThenLettersAreTwoTokens) { EXPECT_EQ(scan("12abc 3X"), "5:12@1 6:abc@1 5:3@1 7:X@1 "); }

TEST(Scanner, KeywordsAreWholeAndCaseSensitive) { EXPECT_EQ(scan("iff if If True true"), "6:iff@1 3:if@1 7:If@1 3:True@1 6:true@1 "); }

TEST(Scanner, KeywordOperatorsAndCommentMarkers) {
    EXPECT_EQ(scan("a->b"), "6:a@1 3:->@1 6:b@1 ");
    EXPECT_EQ(scan("->> x"), "1:->>@1 6:x@1 ");
    EXPECT_EQ(scan("x +-- y"), "6:x@1 1:+--@1 6:y@1 ");
    EXPECT_EQ(scan("x --+ y\nz"), "6:x@1 6:z@2 ");
    EXPECT_EQ(scan("x -- y"), "6:x@1 ");
}

TEST(Scanner, ArrowCommentIsOneStringToken) {
    EXPECT_EQ(scan("a -->  rest of line \nb"), "6:a@1 4:  rest of line @1 6:b@2 ");
    EXPECT_EQ(scan("-->\nb"), "4:@1 6:b@2 ");
    EXPECT_EQ(scan("-->x"), "4:x@1 ");
}

TEST(Scanner, StringLiterals) {
    EXPECT_EQ(scan("\"a \t\\b\" \"\""), "4:a \t\\b@1 4:@1 ");
    EXPECT_EQ(scan("\"abc\nx"), "8:Unterminated string@1 6:x@2 ");
    EXPECT_EQ(scan("x \"abc"), "6:x@1 8:Unterminated string@1 ");
    EXPECT_EQ(scan("\"{- -- \" y"), "4:{- -- @1 6:y@1 ");
}

TEST(Scanner, NestedComments) {
    EXPECT_EQ(scan("a {- {- -} still -} b"), "6:a@1 6:b@1 ");
    EXPECT_EQ(scan("a {-} b -} c"), "6:a@1 6:c@1 ");
    EXPECT_EQ(scan("{- \" -- -} d"), "6:d@1 ");
    EXPECT_EQ(scan("{- --} e"), "6:e@1 ");
    EXPECT_EQ(scan("{-\n\n-}\nf"), "6:f@4 ");
    EXPECT_EQ(scan("{- x - y { z -} g"), "6:g@1 ");
}

TEST(Scanner, OpenNestedCommentEndsTheList) {
    EXPECT_EQ(scan("a {- b\n c"), "6:a@1 8:Unterminated nested comment@2 ");
    EXPECT_EQ(scan("{- {- -} x"), "8:Unterminated nested comment@1 ");
    EXPECT_EQ(scan("{- -"), "8:Unterminated nested comment@1 ");
    EXPECT_EQ(scan("{- {"), "8:Unterminated nested comment@1 ");
    EXPECT_EQ(scan("{-\n"), "8:Unterminated nested comment@2 ");
}

TEST(Scanner, UnexpectedCharactersResume) {
    EXPECT_EQ(scan("a \x01 b"), "6:a@1 8:Unexpected character '\x01'@1 6:b@1 ");
    EXPECT_EQ(scan("#"), "8:Unexpected character '#'@1 ");
}

TEST(Scanner, CommandLineSettingsHaveNoOperators) {
    ScanSettings s{{"rewrite"}, {}, "()", "", 1};
    EXPECT_EQ(scan("rewrite + \"e\" -- c", s), "3:rewrite@1 8:Unexpected character '+'@1 4:e@1 ");
    EXPECT_EQ(scan("{- c -} (x)", s), "0:(@1 6:x@1 0:)@1 ");
}

TEST(Scanner, SymbolCharactersComeAfterCommentsAndStrings) {
    ScanSettings s{{}, {}, "{-\"", "", 1};
    EXPECT_EQ(scan("{ - {- c -} \"s\"", s), "0:{@1 0:-@1 4:s@1 ");
}

TEST(Scanner, BackslashAsSymbolAndOperatorIsASymbol) { EXPECT_EQ(scan("\\x -> x"), "0:\\@1 6:x@1 3:->@1 6:x@1 "); }

TEST(Scanner, Latin1LetterRanges) {
    std::string lower, upper;
    for (int c = 223; c <= 255; ++c)
        if (c != 247) lower += static_cast<char>(c);
    for (int c = 192; c <= 222; ++c)
        if (c != 215) upper += static_cast<char>(c);
    TokenList ts = scanTokens(languageSettings(), lower + " " + upper + " a" + upper);
    ASSERT_EQ(ts.size(), 3u);
    EXPECT_EQ(ts[0].kind, K::TkLowerId);
    EXPECT_EQ(ts[0].text, lower);
    EXPECT_EQ(ts[1].kind, K::TkUpperId);
    EXPECT_EQ(ts[1].text, upper);
    EXPECT_EQ(ts[2].kind, K::TkLowerId);
}

TEST(Scanner, Latin1NonLettersAreUnexpected) {
    for (int c : {215, 247, 191, 160, 128, 255 + 0}) {
        TokenList ts = scanTokens(languageSettings(), std::string(1, static_cast<char>(c)));
        ASSERT_EQ(ts.size(), 1u) << c;
        if (c == 255) {
            EXPECT_EQ(ts[0].kind, K::TkLowerId);
        } else {
            EXPECT_EQ(ts[0].kind, K::TkError) << c;
            EXPECT_EQ(ts[0].text, std::string("Unexpected character '") + static_cast<char>(c) + "'");
        }
    }
    // The division and multiplication signs end an identifier.
    EXPECT_EQ(scanTokens(languageSettings(), "a\xf7" "b").size(), 3u);
}

TEST(Scanner, NeverProducesAnyOperatorKind) {
    for (const Token& t : scanTokens(languageSettings(), "a + b ++ c -> d ! e"))
        EXPECT_NE(t.kind, K::TkOp);
}

}  // namespace
}  // namespace plim
