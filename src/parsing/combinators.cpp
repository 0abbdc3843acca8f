#include "parsing/combinators.h"

namespace plim {

namespace {

std::string textOf(const Token& t) { return t.text; }
int32_t lineOf(const Token& t) { return t.line; }

// One token of `kind` (and of `text` for symbols, keywords and operators), yielding the text.
Parser<std::string> textParser(TokenKind kind, std::string text) {
    return pMap(textOf, symbolParser(Token{kind, std::move(text), 0}));
}

Parser<int32_t> lineParser(TokenKind kind, std::string text) {
    return pMap(lineOf, symbolParser(Token{kind, std::move(text), 0}));
}

}  // namespace

const Parser<std::string>& pAnyOperator() {
    static const Parser<std::string> p = textParser(TokenKind::TkOp, "?OPER?");
    return p;
}

const Parser<std::string>& pStringLit() {
    static const Parser<std::string> p = textParser(TokenKind::TkString, "?STR?");
    return p;
}

const Parser<std::string>& pIntegerLit() {
    static const Parser<std::string> p = textParser(TokenKind::TkInteger, "1");
    return p;
}

const Parser<std::string>& pLowerId() {
    static const Parser<std::string> p = textParser(TokenKind::TkLowerId, "?LC?");
    return p;
}

const Parser<std::string>& pUpperId() {
    static const Parser<std::string> p = textParser(TokenKind::TkUpperId, "?UC?");
    return p;
}

const Parser<std::string>& pCommaSymbol() {
    static const Parser<std::string> p = pSymbol(',');
    return p;
}

const Parser<std::string>& pSemicolonSymbol() {
    static const Parser<std::string> p = pSymbol(';');
    return p;
}

Parser<std::string> pKeyword(const std::string& keyword) { return textParser(TokenKind::TkKeyword, keyword); }

Parser<std::string> pOperator(const std::string& op) { return textParser(TokenKind::TkOperator, op); }

Parser<int32_t> pOperatorLine(const std::string& op) { return lineParser(TokenKind::TkOperator, op); }

Parser<std::string> pSymbol(char ch) { return textParser(TokenKind::TkSymbol, std::string(1, ch)); }

Parser<int32_t> pSymbolLine(char ch) { return lineParser(TokenKind::TkSymbol, std::string(1, ch)); }

namespace parsing_detail {

const Parser<std::string>& sharedSymbol(char ch) {
    static const Parser<std::string> open = pSymbol('('), close = pSymbol(')');
    static const Parser<std::string> openB = pSymbol('['), closeB = pSymbol(']');
    static const Parser<std::string> openC = pSymbol('{'), closeC = pSymbol('}');
    switch (ch) {
    case '(': return open;
    case ')': return close;
    case '[': return openB;
    case ']': return closeB;
    case '{': return openC;
    case '}': return closeC;
    default: failInternal(std::string(kParserCombinatorFault) + "no shared symbol parser for " + ch);
    }
}

const Parser<int32_t>& sharedSymbolLine(char ch) {
    static const Parser<int32_t> open = pSymbolLine('{'), semicolon = pSymbolLine(';');
    switch (ch) {
    case '{': return open;
    case ';': return semicolon;
    default: failInternal(std::string(kParserCombinatorFault) + "no shared line parser for " + ch);
    }
}

}  // namespace parsing_detail

}  // namespace plim
