#include "scanning/scanner.h"

#include <array>
#include <unordered_set>

namespace plim {

// --- tokens -----------------------------------------------------------------------------

bool tokenNotEquals(const Token& a, const Token& b) { return !tokenEquals(a, b); }

namespace {

const char* kindPrefix(TokenKind kind) {
    switch (kind) {
    case TokenKind::TkSymbol: return "Symbol   ";
    case TokenKind::TkOperator: return "Operator ";
    case TokenKind::TkOp: return "Op      ";
    case TokenKind::TkKeyword: return "Keyword ";
    case TokenKind::TkString: return "String \"";
    case TokenKind::TkInteger: return "Integer ";
    case TokenKind::TkLowerId: return "Lower case identifier ";
    case TokenKind::TkUpperId: return "Upper case identifier ";
    case TokenKind::TkError: return "error in scanner: ";
    }
    return "";
}

}  // namespace

std::string showsToken(const Token& t, const std::string& rest) {
    std::string out = kindPrefix(t.kind);
    out += t.text;
    if (t.kind == TokenKind::TkString) {
        out += '"';
    } else if (t.line != 0) {
        out += " at line ";
        out += std::to_string(t.line);
    }
    out += rest;
    return out;
}

std::string showToken(const Token& t) { return showsToken(t, ""); }

std::string showTokenList(const TokenList& ts) {
    std::string out = "[";
    for (std::size_t i = 0; i < ts.size(); ++i) {
        if (i > 0) out += ',';
        out += showToken(ts[i]);
    }
    return out + "]";
}

// --- scanner ----------------------------------------------------------------------------

namespace {

enum CharClass : uint8_t {
    kLayout = 1,
    kLower = 2,
    kUpper = 4,
    kDigit = 8,
    kIdentTail = 16,  // letters, digits, apostrophe, underscore
};

constexpr std::array<uint8_t, 256> makeFixedClasses() {
    std::array<uint8_t, 256> cls{};
    for (int c : {9, 11, 12, 13, 32}) cls[c] = kLayout;
    for (int c = 'a'; c <= 'z'; ++c) cls[c] = kLower | kIdentTail;
    for (int c = 223; c <= 255; ++c) cls[c] = kLower | kIdentTail;
    cls[247] = 0;  // the division sign is no letter
    for (int c = 'A'; c <= 'Z'; ++c) cls[c] = kUpper | kIdentTail;
    for (int c = 192; c <= 222; ++c) cls[c] = kUpper | kIdentTail;
    cls[215] = 0;  // the multiplication sign is no letter
    for (int c = '0'; c <= '9'; ++c) cls[c] = kDigit | kIdentTail;
    cls[static_cast<unsigned char>('\'')] = kIdentTail;
    cls[static_cast<unsigned char>('_')] = kIdentTail;
    return cls;
}

constexpr std::array<uint8_t, 256> kFixedClasses = makeFixedClasses();

bool hasClass(unsigned char c, uint8_t cls) { return (kFixedClasses[c] & cls) != 0; }

class Scanner {
public:
    Scanner(const ScanSettings& settings, std::string_view input)
        : in_(input), line_(static_cast<uint32_t>(settings.startLine)) {
        for (const auto& k : settings.keywords) keywords_.insert(k);
        for (const auto& k : settings.keywordOperators) keywordOps_.insert(k);
        for (unsigned char c : settings.symbolChars) isSymbol_[c] = true;
        for (unsigned char c : settings.operatorChars) isOperator_[c] = true;
    }

    TokenList run() {
        out_.reserve(in_.size() / 4 + 16);  // about one token per four bytes of program text
        while (pos_ < in_.size() && step()) {
        }
        return std::move(out_);
    }

private:
    unsigned char at(std::size_t i) const { return static_cast<unsigned char>(in_[i]); }
    bool nextIs(char c) const { return pos_ + 1 < in_.size() && in_[pos_ + 1] == c; }
    int32_t line() const { return static_cast<int32_t>(line_); }
    void emit(TokenKind kind, std::string_view text) { out_.push_back(Token{kind, std::string(text), line()}); }

    template <class Pred>
    std::size_t runEnd(std::size_t from, Pred inRun) const {
        while (from < in_.size() && inRun(at(from))) ++from;
        return from;
    }

    // One step of the loop; false when the token list has ended.
    bool step() {
        const unsigned char ch = at(pos_);
        if (hasClass(ch, kLayout)) {
            pos_ = runEnd(pos_, [](unsigned char c) { return hasClass(c, kLayout); });
        } else if (ch == '\n') {
            ++pos_;
            ++line_;
        } else if (ch == '-' && nextIs('-')) {
            lineComment();
        } else if (ch == '{' && nextIs('-')) {
            return nestedComment();
        } else if (ch == '"') {
            return stringLiteral();
        } else if (isSymbol_[ch]) {
            emit(TokenKind::TkSymbol, in_.substr(pos_, 1));
            ++pos_;
        } else if (hasClass(ch, kLower | kUpper)) {
            identifier(ch);
        } else if (isOperator_[ch]) {
            operatorRun();
        } else if (hasClass(ch, kDigit)) {
            const std::size_t end = runEnd(pos_, [](unsigned char c) { return hasClass(c, kDigit); });
            emit(TokenKind::TkInteger, in_.substr(pos_, end - pos_));
            pos_ = end;
        } else {
            emit(TokenKind::TkError, std::string("Unexpected character '") + static_cast<char>(ch) + "'");
            ++pos_;
        }
        return true;
    }

    std::size_t lineEnd(std::size_t from) const {
        const std::size_t nl = in_.find('\n', from);
        return nl == std::string_view::npos ? in_.size() : nl;
    }

    // "--" up to the line break; "-->" makes the rest of the line one string token.
    void lineComment() {
        const std::size_t end = lineEnd(pos_ + 2);
        if (pos_ + 2 < in_.size() && in_[pos_ + 2] == '>') emit(TokenKind::TkString, in_.substr(pos_ + 3, end - pos_ - 3));
        pos_ = end;
    }

    // "{-" ... "-}", nested to any depth; false when left open (the token list ends).
    bool nestedComment() {
        std::size_t depth = 1;
        std::size_t i = pos_ + 2;
        while (i + 1 < in_.size()) {
            const char c = in_[i];
            if (c == '\n') {
                ++line_;
                ++i;
            } else if (c == '-' && in_[i + 1] == '}') {
                i += 2;
                if (--depth == 0) {
                    pos_ = i;
                    return true;
                }
            } else if (c == '{' && in_[i + 1] == '-') {
                ++depth;
                i += 2;
            } else {
                ++i;
            }
        }
        if (i < in_.size() && in_[i] == '\n') ++line_;  // the last character
        emit(TokenKind::TkError, kUnterminatedNestedComment);
        return false;
    }

    // A string literal without escapes, ended by a double quote; false at the end of input.
    bool stringLiteral() {
        std::size_t end = pos_ + 1;
        while (end < in_.size() && in_[end] != '"' && in_[end] != '\n') ++end;
        if (end < in_.size() && in_[end] == '"') {
            emit(TokenKind::TkString, in_.substr(pos_ + 1, end - pos_ - 1));
            pos_ = end + 1;
            return true;
        }
        emit(TokenKind::TkError, kUnterminatedString);
        pos_ = end;
        return end < in_.size();
    }

    void identifier(unsigned char first) {
        const std::size_t end = runEnd(pos_, [](unsigned char c) { return hasClass(c, kIdentTail); });
        const std::string_view word = in_.substr(pos_, end - pos_);
        const TokenKind kind = keywords_.count(word) != 0 ? TokenKind::TkKeyword
                               : hasClass(first, kLower)  ? TokenKind::TkLowerId
                                                          : TokenKind::TkUpperId;
        emit(kind, word);
        pos_ = end;
    }

    void operatorRun() {
        const std::size_t end = runEnd(pos_, [this](unsigned char c) { return isOperator_[c]; });
        const std::string_view run = in_.substr(pos_, end - pos_);
        emit(keywordOps_.count(run) != 0 ? TokenKind::TkKeyword : TokenKind::TkOperator, run);
        pos_ = end;
    }

    std::string_view in_;
    std::size_t pos_ = 0;
    uint32_t line_;  // wraps like the machine word it is
    std::unordered_set<std::string_view> keywords_;
    std::unordered_set<std::string_view> keywordOps_;
    std::array<bool, 256> isSymbol_{};
    std::array<bool, 256> isOperator_{};
    TokenList out_;
};

}  // namespace

TokenList scanTokens(const ScanSettings& settings, std::string_view input) {
    return Scanner(settings, input).run();
}

}  // namespace plim
