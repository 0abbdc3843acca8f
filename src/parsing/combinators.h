// Derived parser combinators and the token parsers that form the leaves of every grammar.
//
//   // a block of definitions "{ x = e ; ... }", each with the line of its "{" or ";"
//   Parser<Def> def = pSeq([](std::string x, std::string, Expr e) { return Def{x, e}; },
//                          pLowerId(), pOperator("="), pExpr());
//   Parser<std::vector<std::pair<Def, int32_t>>> block = pBraceBlock(def);
//   // a nonterminal with two alternatives and its own repair default
//   Parser<Expr> atom = withInsertion(parseAlt(pMap(mkVar, pLowerId()), pInParens(pExpr())),
//                                     errorExpr, "expression");
//   // running: value, unread tokens, repair log
//   ParseResult<std::vector<std::pair<Def, int32_t>>> r = parse(block, scanTokens(settings, text));
//   // r.value, r.rest, r.log ("Symbol   } inserted before endoffile\n", ...)
//
// The token parsers without arguments are shared constants (functions returning the one
// instance): pAnyOperator(), pStringLit(), pIntegerLit(), pLowerId(), pUpperId(),
// pCommaSymbol(), pSemicolonSymbol().  Each repairs by inserting its expected token (line 0)
// with a fixed default text: "?OPER?", "?STR?", "1", "?LC?", "?UC?".
//
// Repetitions, folds, separated lists, chains and blocks read their items in a loop, so a
// list of any length costs no C++ stack per item.  Their item parser must need input (an
// item that can succeed without input raises an internal error naming the combinator).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "parsing/parser.h"

namespace plim {

// --- mapping and keeping ----------------------------------------------------------------

// f applied to p's value.
template <class F, class A>
auto pMap(F f, Parser<A> p) {
    return parseSeq(succeedParser(std::move(f)), std::move(p));
}

// k instead of p's value.
template <class K, class A>
Parser<K> pReplace(K k, Parser<A> p) {
    return pMap([k](const A&) { return k; }, std::move(p));
}

// p then q, keeping q's value.
template <class A, class B>
Parser<B> pKeepRight(Parser<A> p, Parser<B> q) {
    return parseSeqRight(std::move(p), std::move(q));
}

// p then q, keeping p's value.
template <class A, class B>
Parser<A> pKeepLeft(Parser<A> p, Parser<B> q) {
    return parseSeqLeft(std::move(p), std::move(q));
}

// p then q; q's value (a function) applied to p's value.
template <class A, class G>
auto pThenApply(Parser<A> p, Parser<G> q) {
    return parseSeqWith([](A&& a, const G& g) { return g(std::move(a)); }, std::move(p), std::move(q));
}

// open, p, close; p's value.
template <class O, class A, class C>
Parser<A> pBetween(Parser<O> open, Parser<A> p, Parser<C> close) {
    return pKeepLeft(pKeepRight(std::move(open), std::move(p)), std::move(close));
}

// p, or nothing giving v.  Never inserts.
template <class A>
Parser<A> pOptional(Parser<A> p, A v) {
    return parseAlt(std::move(p), succeedParser(std::move(v)));
}

// p, then optionally q; q's value (a function on p's values) applied to p's value.
template <class A, class G>
Parser<A> pOptionalApply(Parser<A> p, Parser<G> q) {
    using Fn = std::function<A(A)>;
    Parser<Fn> tail = parseAlt(pMap([](const G& g) { return Fn(g); }, std::move(q)), succeedParser(Fn([](A a) { return a; })));
    return parseSeqWith([](A&& a, const Fn& f) { return f(std::move(a)); }, std::move(p), std::move(tail));
}

// --- repetitions ------------------------------------------------------------------------------

namespace parsing_detail {

// Zero or more items read in a loop: the behaviour of R = (p then R) or nothing, whose head
// succeeds with finish([]), whose first symbols and entries are p's, and whose driver
// takes a further item exactly when the next token matches an entry of p.
template <class R, class A, class Finish>
Parser<R> repetition(const char* name, Parser<A> p, Finish finish) {
    auto head = [name, p, finish] {
        if (p.head().succeeds()) raiseUndefinedHead(name);
        return HeadSucceed(delay([finish] { return finish(std::vector<A>()); }));
    };
    auto firsts = [p] { return unionFirsts(p.firsts(), {}); };
    auto table = [p, finish] {
        return mapTable<R>(p.table(), [p, finish](const Continuation<A>& first) -> Continuation<R> {
            return [first, p, finish](ParseState& s, const FollowStack& y) {
                const FollowStack inner(p.firsts(), y);
                const Table<A>& items = p.table();
                std::vector<A> values;
                values.push_back(first(s, inner));
                while (!s.input.empty()) {
                    const Token& t = s.input.front();
                    if (const Continuation<A>* c = tableLookup(t, items)) {
                        values.push_back((*c)(s, inner));
                    } else if (y.contains(t)) {
                        break;
                    } else {
                        deleteFront(s);
                    }
                }
                return finish(std::move(values));
            };
        });
    };
    return Parser<R>::fromParts(name, head, firsts, table);
}

template <class A>
std::vector<A> consFront(A&& x, std::vector<A>&& xs) {
    xs.insert(xs.begin(), std::move(x));
    return std::move(xs);
}

}  // namespace parsing_detail

// Zero or more p; their values in input order.
template <class A>
Parser<std::vector<A>> pZeroOrMore(Parser<A> p) {
    return parsing_detail::repetition<std::vector<A>>("pZeroOrMore", std::move(p), [](std::vector<A> xs) { return xs; });
}

// One or more p; when inserted, the one-element list of p's inserted value.
template <class A>
Parser<std::vector<A>> pOneOrMore(Parser<A> p) {
    return parseSeqWith(parsing_detail::consFront<A>, p, pZeroOrMore(p));
}

// op(x1, op(x2, ... op(xn, e))) over zero or more items; e when there are none.
template <class Op, class E, class A>
Parser<E> pFoldZeroOrMore(Op op, E e, Parser<A> p) {
    return parsing_detail::repetition<E>("pFoldZeroOrMore", std::move(p), [op, e](std::vector<A> xs) {
        E acc = e;
        for (std::size_t i = xs.size(); i-- > 0;) acc = op(std::move(xs[i]), std::move(acc));
        return acc;
    });
}

// As pFoldZeroOrMore, each item preceded by sep.
template <class Op, class E, class S, class A>
Parser<E> pFoldPrefixed(Op op, E e, Parser<S> sep, Parser<A> p) {
    return pFoldZeroOrMore(std::move(op), std::move(e), pKeepRight(std::move(sep), std::move(p)));
}

// Zero or more p, each preceded by sep.
template <class S, class A>
Parser<std::vector<A>> pPrefixedList(Parser<S> sep, Parser<A> p) {
    return pZeroOrMore(pKeepRight(std::move(sep), std::move(p)));
}

// p, then zero or more (sep p); op(x1, op(x2, ... op(xn, e))).
template <class Op, class E, class S, class A>
Parser<E> pFoldSeparated1(Op op, E e, Parser<S> sep, Parser<A> p) {
    return parseSeqWith(op, p, pFoldZeroOrMore(op, std::move(e), pKeepRight(std::move(sep), p)));
}

// p, then zero or more (sep p); the items in input order.
template <class S, class A>
Parser<std::vector<A>> pSeparated1(Parser<S> sep, Parser<A> p) {
    return parseSeqWith(parsing_detail::consFront<A>, p, pZeroOrMore(pKeepRight(std::move(sep), p)));
}

// --- chains ------------------------------------------------------------------------------

// x1 o1 x2 o2 x3 gives o2(o1(x1, x2), x3); op's value is a two-argument function.
template <class F, class A>
Parser<A> pChainLeft(Parser<F> op, Parser<A> p) {
    auto pairs = pZeroOrMore(parseSeqWith([](F&& f, A&& a) { return std::make_pair(std::move(f), std::move(a)); }, std::move(op), p));
    return parseSeqWith(
        [](A x, std::vector<std::pair<F, A>> rest) {
            for (auto& [f, y] : rest) x = f(std::move(x), std::move(y));
            return x;
        },
        std::move(p), std::move(pairs));
}

// The items and the operators of a chain x1 o1 x2 ... xn, in source order: operator i stands
// between item i and item i + 1.
template <class F, class A>
struct ChainItems {
    std::vector<A> items;
    std::vector<F> ops;
};

// x1 o1 x2 ... xn, read like R = p (op R)? but in a loop, so a chain of any length costs no
// C++ stack per item.  When op can succeed without input, two items may stand side by side
// (the operator is then op's empty value).  When inserted: the one item p inserts.
template <class F, class A>
Parser<ChainItems<F, A>> pChainItems(Parser<F> op, Parser<A> p);

// x1 o1 x2 o2 x3 gives o1(x1, o2(x2, x3)); op's value is a two-argument function.
template <class F, class A>
Parser<A> pChainRight(Parser<F> op, Parser<A> p) {
    return pMap(
        [](ChainItems<F, A> chain) {
            A acc = std::move(chain.items.back());
            for (std::size_t i = chain.ops.size(); i-- > 0;) acc = chain.ops[i](std::move(chain.items[i]), std::move(acc));
            return acc;
        },
        pChainItems(std::move(op), std::move(p)));
}

// --- token parsers ---------------------------------------------------------------------------

const Parser<std::string>& pAnyOperator();  // any TkOperator; inserts "?OPER?"
const Parser<std::string>& pStringLit();    // a TkString; its text; inserts "?STR?"
const Parser<std::string>& pIntegerLit();   // a TkInteger; its digits; inserts "1"
const Parser<std::string>& pLowerId();      // a TkLowerId; inserts "?LC?"
const Parser<std::string>& pUpperId();      // a TkUpperId; inserts "?UC?"
const Parser<std::string>& pCommaSymbol();
const Parser<std::string>& pSemicolonSymbol();

Parser<std::string> pKeyword(const std::string& keyword);
Parser<std::string> pOperator(const std::string& op);
Parser<int32_t> pOperatorLine(const std::string& op);  // yields the token's line (0 when inserted)
Parser<std::string> pSymbol(char ch);
Parser<int32_t> pSymbolLine(char ch);  // yields the token's line (0 when inserted)

namespace parsing_detail {
// The shared bracket symbol parsers: "(", ")", "[", "]", "{", "}".
const Parser<std::string>& sharedSymbol(char ch);
const Parser<int32_t>& sharedSymbolLine(char ch);
}  // namespace parsing_detail

// p, then any number of ("," p): one or more items.
template <class A>
Parser<std::vector<A>> pCommaList(Parser<A> p) {
    return pSeparated1(pCommaSymbol(), std::move(p));
}

// p, then any number of (";" p): one or more items.
template <class A>
Parser<std::vector<A>> pSemicolonList(Parser<A> p) {
    return pSeparated1(pSemicolonSymbol(), std::move(p));
}

template <class A>
Parser<A> pInParens(Parser<A> p) {
    return pBetween(parsing_detail::sharedSymbol('('), std::move(p), parsing_detail::sharedSymbol(')'));
}

template <class A>
Parser<A> pInBrackets(Parser<A> p) {
    return pBetween(parsing_detail::sharedSymbol('['), std::move(p), parsing_detail::sharedSymbol(']'));
}

template <class A>
Parser<A> pInBraces(Parser<A> p) {
    return pBetween(parsing_detail::sharedSymbol('{'), std::move(p), parsing_detail::sharedSymbol('}'));
}

template <class A>
Parser<std::vector<A>> pParenCommaList(Parser<A> p) {
    return pInParens(pCommaList(std::move(p)));
}

template <class A>
Parser<std::vector<A>> pBracketCommaList(Parser<A> p) {
    return pInBrackets(pCommaList(std::move(p)));
}

template <class A>
Parser<std::vector<A>> pBraceSemicolonList(Parser<A> p) {
    return pInBraces(pSemicolonList(std::move(p)));
}

// A block item: the item's value and the line of the "{" or ";" in front of it.
template <class A>
using BraceBlockItem = std::pair<A, int32_t>;

// "{" p, then any number of (";" p), then "}".  A missing "}" is inserted after the items
// read so far; a missing item is inserted by p's own head.
template <class A>
Parser<std::vector<BraceBlockItem<A>>> pBraceBlock(Parser<A> p) {
    using Items = std::vector<BraceBlockItem<A>>;
    auto later = parseSeqWith([](int32_t line, A&& v) { return BraceBlockItem<A>(std::move(v), line); },
                              parsing_detail::sharedSymbolLine(';'), p);
    auto tail = pKeepLeft(pZeroOrMore(std::move(later)), parsing_detail::sharedSymbol('}'));
    return pSeq(
        [](int32_t line, A v, Items rest) {
            rest.insert(rest.begin(), BraceBlockItem<A>(std::move(v), line));
            return rest;
        },
        parsing_detail::sharedSymbolLine('{'), std::move(p), std::move(tail));
}

// --- pChainItems ---------------------------------------------------------------------------

template <class F, class A>
Parser<ChainItems<F, A>> pChainItems(Parser<F> op, Parser<A> p) {
    using R = ChainItems<F, A>;
    // Firsts of the optional tail (op R): op's, and p's too when op can succeed empty.
    auto tailFirsts = std::make_shared<Lazy<Firsts>>(
        delay([op, p] { return op.head().succeeds() ? unionFirsts(op.firsts(), p.firsts()) : op.firsts(); }));
    auto head = [p] {
        const ParserHead<A>& hp = p.head();
        if (hp.succeeds()) parsing_detail::raiseUndefinedHead("pChainItems");
        Lazy<A> item = hp.value;
        return HeadInsert(delay([item] { return R{{item.get()}, {}}; }), hp.message);
    };
    auto firsts = [p] { return unionFirsts(p.firsts(), {}); };
    auto table = [op, p, tailFirsts] {
        return mapTable<R>(p.table(), [op, p, tailFirsts](const Continuation<A>& first) -> Continuation<R> {
            return [first, op, p, tailFirsts](ParseState& s, const FollowStack& y) {
                const FollowStack afterItem(tailFirsts->get(), y);
                const FollowStack afterOp(p.firsts(), y);
                R chain;
                chain.items.push_back(first(s, afterItem));
                bool wantItem = false;  // after an operator the chain needs one more item
                for (;;) {
                    if (s.input.empty()) {
                        if (wantItem) chain.items.push_back(repairWithHead(p.head(), s, endOfFileText));
                        break;
                    }
                    const Token& t = s.input.front();
                    if (!wantItem) {
                        if (const Continuation<F>* c = tableLookup(t, op.table())) {
                            chain.ops.push_back((*c)(s, afterOp));
                            wantItem = true;
                            continue;
                        }
                        if (op.head().succeeds()) {
                            if (const Continuation<A>* c = tableLookup(t, p.table())) {
                                chain.ops.push_back(op.head().value.get());
                                chain.items.push_back((*c)(s, afterItem));
                                continue;
                            }
                        }
                        if (y.contains(t)) break;
                    } else {
                        if (const Continuation<A>* c = tableLookup(t, p.table())) {
                            chain.items.push_back((*c)(s, afterItem));
                            wantItem = false;
                            continue;
                        }
                        if (y.contains(t)) {
                            chain.items.push_back(repairBeforeFront(p.head(), s));
                            break;
                        }
                    }
                    deleteFront(s);
                }
                return chain;
            };
        });
    };
    return Parser<R>::fromParts("pChainItems", head, firsts, table);
}

}  // namespace plim
