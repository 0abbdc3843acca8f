#include "text/ko_parsing.h"

#include <cstdio>

namespace plim {

TokenList TokenStream::remaining() const {
    return TokenList(tokens_->begin() + static_cast<std::ptrdiff_t>(pos_), tokens_->end());
}

bool FollowStack::contains(const Token& t) const {
    for (const FollowStack* at = this; at != nullptr && at->top_ != nullptr; at = at->below_)
        for (const Token& s : *at->top_)
            if (tokenEquals(t, s)) return true;
    return false;
}

Parsed<Token> symbolContinuation(ParseState state, const FollowStack&) {
    if (state.input.empty()) failWith("internal error in Ko_Parsing: symbolContinuation on empty input");
    Token t = state.input.front();
    state.input.advance();
    return Parsed<Token>{std::move(t), std::move(state)};
}

Firsts unionFirsts(const Firsts& a, const Firsts& b) {
    Firsts out = a;
    for (const Token& t : b) {
        bool present = false;
        for (const Token& s : out) present = present || tokenEquals(t, s);
        if (!present) out.push_back(t);
    }
    return out;
}

std::string quoteName(const std::string& name) {
    std::string out = "\"";
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        switch (c) {
        case '"': out += "\\\""; continue;
        case '\\': out += "\\\\"; continue;
        case '\a': out += "\\a"; continue;
        case '\b': out += "\\b"; continue;
        case '\f': out += "\\f"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        case '\v': out += "\\v"; continue;
        default: break;
        }
        if (c < 32 || (c >= 127 && c < 160)) {
            out += "\\" + std::to_string(c);
            // A digit after a numeric escape is kept apart by an empty escape.
            if (i + 1 < name.size() && name[i + 1] >= '0' && name[i + 1] <= '9') out += "\\&";
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

ParserHead<Token> insertionHead(const Token& s) { return HeadInsert(s, showToken(s) + insertedText); }

Parser<Token> symbolParser(const Token& s) {
    return Parser<Token>(insertionHead(s), Firsts{s}, Table<Token>{TableEntry<Token>{s, symbolContinuation}});
}

namespace parsing_detail {

void raiseUndefinedHead(const std::string& parserName) {
    failWith("internal error in Ko_Parsing: the parser " + (parserName.empty() ? std::string("(unnamed)") : parserName) +
             " has no defined head: it lies on a cycle of parsers that can all succeed without input");
}

void raiseReleasedParser() {
    failWith("internal error in Ko_Parsing: a recursive parser was used after its grammar was released");
}

}  // namespace parsing_detail

}  // namespace plim
