#include "parsing/parser.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace plim {

TokenList TokenStream::remaining() const {
    return TokenList(tokens_->begin() + static_cast<std::ptrdiff_t>(pos_), tokens_->end());
}

bool FollowStack::holds(const Firsts* list, const FollowStack* at) {
    for (; at != nullptr; at = at->below_)
        if (at->top_ == list) return true;
    return false;
}

bool FollowStack::contains(const Token& t) const {
    for (const FollowStack* at = holder(); at != nullptr; at = at->below_)
        for (const Token& s : *at->top_)
            if (tokenEquals(t, s)) return true;
    return false;
}

Token symbolContinuation(ParseState& state, const FollowStack&) {
    if (state.input.empty()) failInternal(std::string(kParserCoreFault) + "symbolContinuation on empty input");
    Token t = state.input.front();
    state.input.advance();
    return t;
}

void logInsertion(ParseState& state, const std::string& message, const std::string& next) {
    state.log += message;
    state.log += beforeText;
    state.log += next;
    state.log += '\n';
}

void deleteFront(ParseState& state) {
    state.log += showsToken(state.input.front(), deletedText);
    state.input.advance();
}

std::string shownFront(const ParseState& state) { return showToken(state.input.front()); }

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
    failInternal(std::string(kParserCoreFault) + "the parser " + (parserName.empty() ? std::string("(unnamed)") : parserName) +
             " has no defined head: it lies on a cycle of parsers that can all succeed without input");
}

void keepForever(std::shared_ptr<const void> node) {
    // Never destroyed: the nodes stay reachable until the process ends.
    static std::mutex lock;
    static auto* kept = new std::vector<std::shared_ptr<const void>>();
    const std::lock_guard<std::mutex> guard(lock);
    kept->push_back(std::move(node));
}

}  // namespace parsing_detail

NestingState& nestingState() {
    thread_local NestingState state;
    return state;
}

void NestingWatch::check() const {
    const NestingState& st = nestingState();
    if (!st.passedAt) return;
    std::string levels = "more than " + std::to_string(st.limit) + " levels";
    if (st.stackBytes < kLargeStackBytes) levels += " on a " + std::to_string(st.stackBytes >> 20) + " MiB stack";
    userError("input nested too deeply (" + levels + ") at line " + std::to_string(*st.passedAt));
}

}  // namespace plim
