// Parsers of the object language's infix operators, literal constants and bracketed lists.
// Each parser without arguments is built once, on first use, and shared by every grammar.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "lang/constants.h"
#include "parsing/parser.h"
#include "parsing/combinators.h"

namespace plim {

// Any of the 23 operator symbols ("mod" as a keyword token, the others as operator tokens),
// yielding its Op.  Completed by repair with "||", yielding Or.
const Parser<Op>& operatorParser();

// The keywords "True" and "False"; completed by repair with "False".
const Parser<bool>& pBoolean();
// "." and an integer token, giving its digits; nothing (and no repair) when "." is absent.
const Parser<MaybeFraction>& pFraction();
// An integer token and an optional fraction: Number or FNumber; completed by repair with
// "1", giving Number 1.
const Parser<Constant>& pNumber();
// A number, a truth value (Boolean) or an upper-case identifier (Constr); completed by repair
// with the identifier "?UC?".
const Parser<Constant>& pConstant();

// "[" then zero or more items separated by "," then "]", yielding the items' values in order.
template <class A>
Parser<std::vector<A>> pBracketList(Parser<A> item) {
    Parser<std::vector<A>> some = pSeparated1(pSymbol(','), std::move(item));
    Parser<std::vector<A>> any = parseAlt(succeedParser(std::vector<A>()), std::move(some));
    return pInBrackets(std::move(any));
}

}  // namespace plim
