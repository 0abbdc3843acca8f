// Tokens and the configurable scanner.
//
//   ScanSettings settings{{"if", "then", "else"}, {"->"}, "()[]{},;", "+-*/<>=!:.", 1};
//   TokenList tokens = scanTokens(settings, "if x -> (y) then 1 else \"s\"");
//   // tokens[0] is {TkKeyword, "if", 1}; showToken(tokens[0]) == "Keyword if at line 1"
//
// The scanner never fails: a string cut off by a line break or the end of the input, a
// nested comment left open, and a character that fits no class become TkError tokens.
// Input bytes are Latin-1 code points 0-255.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plim {

// The nine kinds of token, in this order.
enum class TokenKind {
    TkSymbol,    // one symbol character
    TkOperator,  // a run of operator characters that is not a keyword operator
    TkOp,        // never scanned; as an expected token it stands for any operator
    TkKeyword,   // a listed identifier or a listed operator run
    TkString,    // a string literal, or the rest of a "-->" comment line
    TkInteger,   // a run of decimal digits
    TkLowerId,   // an identifier that begins with a lower-case letter
    TkUpperId,   // an identifier that begins with an upper-case letter
    TkError,     // a scanner error; the text is the message
};

// A token: kind, text and the line on which it begins.  Line 0 marks a token that did not
// come from the input (an expected token of a parser, inserted when the parser repairs).
struct Token {
    TokenKind kind = TokenKind::TkError;
    std::string text;
    int32_t line = 0;
};

using TokenList = std::vector<Token>;

// Token equality, never looking at the lines.  Not symmetric: the input token goes on the
// left, the expected token on the right; an input TkOperator of any text equals an
// expected TkOp, but not the other way round.  Symbols, keywords and operators compare
// kind and text; every other kind compares the kind only.
inline bool tokenEquals(const Token& a, const Token& b) {
    switch (a.kind) {
    case TokenKind::TkSymbol:
    case TokenKind::TkKeyword: return b.kind == a.kind && b.text == a.text;
    case TokenKind::TkOperator: return b.kind == TokenKind::TkOp || (b.kind == TokenKind::TkOperator && b.text == a.text);
    default: return b.kind == a.kind;
    }
}
bool tokenNotEquals(const Token& a, const Token& b);

// The text form: the kind's prefix, the text, and " at line " with the line unless the line
// is 0.  A string token shows its text between double quotes and never a line.
std::string showToken(const Token& t);
// The text form followed by `rest`.
std::string showsToken(const Token& t, const std::string& rest);
// "[" + the text forms separated by "," + "]".
std::string showTokenList(const TokenList& ts);

// What the scanner is told by its caller.
struct ScanSettings {
    std::vector<std::string> keywords;          // identifiers scanned as TkKeyword
    std::vector<std::string> keywordOperators;  // operator runs scanned as TkKeyword
    std::string symbolChars;                    // each becomes a one-character TkSymbol
    std::string operatorChars;                  // runs of these become TkOperator
    int32_t startLine = 1;                      // the line number of the first line
};

// The tokens of `input`, in order, each with the line on which it begins.
TokenList scanTokens(const ScanSettings& settings, std::string_view input);

// The scanner's error texts.
inline constexpr const char* kUnterminatedString = "Unterminated string";
inline constexpr const char* kUnterminatedNestedComment = "Unterminated nested comment";

}  // namespace plim
