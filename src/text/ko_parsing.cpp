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
