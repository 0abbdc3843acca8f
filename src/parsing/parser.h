// The error-correcting parser core.
//
// A Parser<T> reads Tokens and yields a T.  It has three components, each computed when first
// needed and kept: its head (what it yields when it must stop before reading anything:
// HeadSucceed v, or HeadInsert (v, message) when it needs input), its first symbols, and
// its table of (symbol, continuation) entries.  The one driver, runParser, never fails: a
// token that no table entry accepts ends the current parser by its head's insertion when a
// waiting parser can take it, and is deleted otherwise; each repair adds one log line.
//
// Writing a grammar (see parsing/combinators.h for pKeyword, pLowerId, pInParens, pZeroOrMore):
//
//   // expr ::= "(" expr ")" | lowerId ; a recursive rule refers to itself through `self`.
//   // When no alternative can succeed without input, the last one supplies the repair
//   // default, so it must not be the recursive one (or give the rule one with withInsertion).
//   Parser<std::string> expr = Parser<std::string>::recursive("expr", [](Parser<std::string> self) {
//       return parseAlt(pInParens(self), pLowerId());
//   });
//   // a sequence with a semantic action: the action receives the parts' values in order
//   auto let = pSeq([](std::string, std::string x, std::string, std::string e) { return x + "=" + e; },
//                   pKeyword("let"), pLowerId(), pOperator("="), expr);
//   Parsed<std::string> r = runParser(let.head(), let.table(), scanTokens(settings, text), "", FollowStack());
//   // r.value is the result, r.state.input.remaining() the unread tokens, r.state.log the
//   // repair log, e.g. "Operator = inserted before Lower case identifier y at line 1\n".
//
// Rules that refer to each other across functions are built with Parser<T>::lazy, e.g.
//   const Parser<Expr>& pExpr() { static const Parser<Expr> p = Parser<Expr>::lazy("pExpr", [] { return ...; }); return p; }
// A named rule whose head is needed while it is itself being computed (a cycle of parsers
// that can all succeed without input) raises an internal error naming the rule.
//
// A parser made by `recursive` lives for the rest of the run (grammars are built once).
#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/big_stack.h"
#include "support/errors.h"
#include "scanning/scanner.h"
#include "support/lazy.h"
#include "scanning/string_literal.h"

namespace plim {

// --- fixed texts of the repair log --------------------------------------------------------

inline const std::string insertedText = " inserted";
inline const std::string deletedText = " deleted\n";
inline const std::string beforeText = " before ";
inline const std::string endOfFileText = "endoffile";

// --- input, state and follow stack -------------------------------------------------------

// The remaining input: a shared token list and a position in it.  Cheap to copy.
class TokenStream {
public:
    TokenStream() : tokens_(std::make_shared<const TokenList>()) {}
    TokenStream(TokenList tokens)  // NOLINT: a token list is a stream from its start
        : tokens_(std::make_shared<const TokenList>(std::move(tokens))) {}

    bool empty() const { return pos_ >= tokens_->size(); }
    const Token& front() const { return (*tokens_)[pos_]; }
    void advance() { ++pos_; }
    void skipToEnd() { pos_ = tokens_->size(); }
    std::size_t position() const { return pos_; }
    std::size_t size() const { return tokens_->size() - pos_; }
    TokenList remaining() const;

private:
    std::shared_ptr<const TokenList> tokens_;
    std::size_t pos_ = 0;
};

// The remaining input and the repair log (complete lines, each ending with a newline).
struct ParseState {
    TokenStream input;
    std::string log;
};

// A value together with the state after it was read.
template <class T>
struct Parsed {
    T value;
    ParseState state;
};

// The flat result of `parse`: value, unread tokens, repair log.
template <class T>
struct ParseResult {
    T value;
    TokenList rest;
    std::string log;
};

using Firsts = std::vector<Token>;

// The first-symbol lists of the parsers waiting to run after the current one, innermost
// first.  Its nodes live on the C++ stack of the continuations that push them.  Only the
// union of the lists matters, so a pushed list that is already on the stack (the same list
// object) adds a node that refers past itself: a membership test walks each list once, however
// deep the nesting that pushed it again and again.
class FollowStack {
public:
    FollowStack() = default;
    // `top` pushed on `below`; both must outlive the new stack (so no temporaries).
    FollowStack(const Firsts& top, const FollowStack& below) : below_(below.holder()) {
        if (!holds(&top, below_)) top_ = &top;
    }
    explicit FollowStack(const Firsts& top) : top_(&top) {}
    FollowStack(const Firsts&, FollowStack&&) = delete;
    FollowStack(Firsts&&, const FollowStack&) = delete;
    explicit FollowStack(Firsts&&) = delete;
    bool empty() const { return top_ == nullptr && below_ == nullptr; }
    // True when `t` (on the left of tokenEquals) equals a member of some list.
    bool contains(const Token& t) const;

private:
    // The nearest node, this one or below, that holds a list of its own.
    const FollowStack* holder() const { return top_ != nullptr ? this : below_; }
    static bool holds(const Firsts* list, const FollowStack* at);

    const Firsts* top_ = nullptr;       // null when the list pushed here is already below
    const FollowStack* below_ = nullptr;  // the nearest node below that holds a list
};

// --- heads and tables ----------------------------------------------------------------------

enum class HeadKind { Succeed, Insert };

// What a parser yields when it must stop before reading input.  The value and message are
// computed only when a repair uses them.
template <class T>
struct ParserHead {
    HeadKind kind = HeadKind::Succeed;
    Lazy<T> value;
    Lazy<std::string> message;  // empty for a HeadSucceed

    bool succeeds() const { return kind == HeadKind::Succeed; }
};

template <class T>
ParserHead<T> HeadSucceed(Lazy<T> value) {
    return ParserHead<T>{HeadKind::Succeed, std::move(value), Lazy<std::string>(std::string())};
}
template <class T>
ParserHead<T> HeadSucceed(T value) {
    return HeadSucceed(Lazy<T>(std::move(value)));
}
template <class T>
ParserHead<T> HeadInsert(Lazy<T> value, Lazy<std::string> message) {
    return ParserHead<T>{HeadKind::Insert, std::move(value), std::move(message)};
}
template <class T>
ParserHead<T> HeadInsert(T value, std::string message) {
    return HeadInsert(Lazy<T>(std::move(value)), Lazy<std::string>(std::move(message)));
}

// Runs on the whole remaining input (the selecting symbol still at its front), which it
// advances in place, and yields the value read.  The state is threaded by reference, so that
// a level of nesting costs the C++ stack only the values its parsers are building.
template <class T>
using Continuation = std::function<T(ParseState&, const FollowStack&)>;

template <class T>
struct TableEntry {
    Token symbol;
    Continuation<T> continuation;
};

template <class T>
using Table = std::vector<TableEntry<T>>;

// Consumes the first input token and yields it.  Raises an internal error on empty input.
Token symbolContinuation(ParseState& state, const FollowStack& follow);

// The first list, then the members of the second that equal no member of the result.
Firsts unionFirsts(const Firsts& a, const Firsts& b);

namespace parsing_detail {
[[noreturn]] void raiseUndefinedHead(const std::string& parserName);
// Keeps a node alive for the rest of the run.
void keepForever(std::shared_ptr<const void> node);
}  // namespace parsing_detail

// --- the parser value ----------------------------------------------------------------------

template <class T>
class Parser {
public:
    using Value = T;

    // A parser from its three components.
    Parser(ParserHead<T> head, Firsts firsts, Table<T> table) : node_(std::make_shared<Node>("")) {
        node_->head.set(std::move(head));
        node_->firsts.set(std::move(firsts));
        node_->table.set(std::move(table));
    }

    // A parser whose components are computed when first needed, each at most once.
    static Parser fromParts(std::string name, std::function<ParserHead<T>()> head, std::function<Firsts()> firsts,
                            std::function<Table<T>()> table) {
        Parser p(std::make_shared<Node>(std::move(name)));
        p.node_->head.compute = std::move(head);
        p.node_->firsts.compute = std::move(firsts);
        p.node_->table.compute = std::move(table);
        return p;
    }

    // The parser that `define` returns, built when first needed.  For rules that refer
    // to each other through functions returning shared parsers.
    template <class F>
    static Parser lazy(std::string name, F define) {
        auto target = std::make_shared<Lazy<Parser>>(Lazy<Parser>::defer(std::move(define)));
        return forwarding(std::move(name), [target] { return target->get(); });
    }

    // A parser that refers to itself: `define` receives the parser being defined.  Such a
    // parser is a grammar rule: it lives for the rest of the run, so no composition can
    // release it while a table that refers to it is still in use.
    template <class F>
    static Parser recursive(std::string name, F define) {
        Parser p(std::make_shared<Node>(std::move(name)));
        parsing_detail::keepForever(p.node_);
        auto target = std::make_shared<Lazy<Parser>>(Lazy<Parser>::defer([define, self = p] { return define(self); }));
        p.forwardTo([target] { return target->get(); });
        return p;
    }

    const ParserHead<T>& head() const { return node().head.force(node().name); }
    const Firsts& firsts() const { return node().firsts.force(node().name); }
    const Table<T>& table() const { return node().table.force(node().name); }
    const std::string& name() const { return node().name; }

private:
    template <class X>
    struct Cell {
        enum class Phase { Pending, Running, Done, Failed };
        Phase phase = Phase::Pending;
        std::function<X()> compute;
        std::optional<X> value;
        std::exception_ptr error;

        void set(X x) {
            value.emplace(std::move(x));
            phase = Phase::Done;
        }
        const X& force(const std::string& name) {
            switch (phase) {
            case Phase::Done: return *value;
            case Phase::Failed: std::rethrow_exception(error);
            case Phase::Running: parsing_detail::raiseUndefinedHead(name);
            case Phase::Pending: break;
            }
            phase = Phase::Running;
            try {
                value.emplace(compute());
                phase = Phase::Done;
                compute = nullptr;
            } catch (...) {
                error = std::current_exception();
                phase = Phase::Failed;
                throw;
            }
            return *value;
        }
    };

    struct Node {
        explicit Node(std::string n) : name(std::move(n)) {}
        std::string name;
        Cell<ParserHead<T>> head;
        Cell<Firsts> firsts;
        Cell<Table<T>> table;
    };

    explicit Parser(std::shared_ptr<Node> node) : node_(std::move(node)) {}

    template <class Target>
    static Parser forwarding(std::string name, Target target) {
        Parser p(std::make_shared<Node>(std::move(name)));
        p.forwardTo(std::move(target));
        return p;
    }
    template <class Target>
    void forwardTo(Target target) {
        node_->head.compute = [target] { return target().head(); };
        node_->firsts.compute = [target] { return target().firsts(); };
        node_->table.compute = [target] { return target().table(); };
    }

    Node& node() const { return *node_; }

    std::shared_ptr<Node> node_;
};

// --- the driver ------------------------------------------------------------------------------

// The continuation of the first entry whose symbol the input token equals; null when none.
template <class T>
const Continuation<T>* tableLookup(const Token& t, const Table<T>& table) {
    for (const auto& e : table)
        if (tokenEquals(t, e.symbol)) return &e.continuation;
    return nullptr;
}

// Adds the repair line of a HeadInsert: message + " before " + next.
void logInsertion(ParseState& state, const std::string& message, const std::string& next);
// Adds the repair line of the front token's deletion and drops it.
void deleteFront(ParseState& state);
// The shown form of the front token, the `next` of a repair before it.
std::string shownFront(const ParseState& state);

// Completes a parser by its head: a HeadInsert adds the line message + " before " + next.
template <class T>
T repairWithHead(const ParserHead<T>& head, ParseState& state, const std::string& next) {
    if (!head.succeeds()) logInsertion(state, head.message.get(), next);
    return head.value.get();
}

// The same before the front token (or before the end of the input when there is none).  Out
// of line, so that the driver holds no text of its own and can end in a tail call.
template <class T>
[[gnu::noinline]] T repairBeforeFront(const ParserHead<T>& head, ParseState& state) {
    if (head.succeeds()) return head.value.get();  // no repair line, so no shown token
    if (state.input.empty()) return repairWithHead(head, state, endOfFileText);
    return repairWithHead(head, state, shownFront(state));
}

// The driver, advancing `state` in place.
template <class T>
T runParser(const ParserHead<T>& head, const Table<T>& table, ParseState& state, const FollowStack& follow) {
    for (;;) {
        if (state.input.empty()) return repairWithHead(head, state, endOfFileText);
        const Token& t = state.input.front();
        if (const Continuation<T>* c = tableLookup(t, table)) return (*c)(state, follow);
        if (follow.contains(t)) return repairBeforeFront(head, state);
        deleteFront(state);
    }
}

// The driver on an input and a log (normally empty) with a follow stack (normally empty).
template <class T>
Parsed<T> runParser(const ParserHead<T>& head, const Table<T>& table, TokenStream input, std::string log,
                    const FollowStack& follow) {
    ParseState state{std::move(input), std::move(log)};
    T value = runParser(head, table, state, follow);
    return Parsed<T>{std::move(value), std::move(state)};
}

template <class T>
Parsed<T> runParser(const Parser<T>& p, TokenStream input, std::string log = "", const FollowStack& follow = {}) {
    return runParser(p.head(), p.table(), std::move(input), std::move(log), follow);
}

// The driver from an empty log, with a flat result.
template <class T>
ParseResult<T> parse(const Parser<T>& p, TokenStream input, const FollowStack& follow = {}) {
    Parsed<T> r = runParser(p, std::move(input), "", follow);
    return ParseResult<T>{std::move(r.value), r.state.input.remaining(), std::move(r.state.log)};
}

// --- the primitive combinators ------------------------------------------------------------

template <class T>
Parser<T> succeedParser(T value) {
    return Parser<T>(HeadSucceed(std::move(value)), {}, {});
}

ParserHead<Token> insertionHead(const Token& s);

template <class T>
ParserHead<T> insertionHeadFor(T value, const Token& shown) {
    return HeadInsert(std::move(value), showToken(shown) + insertedText);
}

// Accepts exactly `s` (by tokenEquals, input on the left) and yields the token read; when
// inserted it yields `s` itself.
Parser<Token> symbolParser(const Token& s);

// The table with every continuation replaced by f applied to it; symbols and order kept.
template <class T, class F>
Table<T> mapContinuations(const Table<T>& table, F f) {
    Table<T> out;
    out.reserve(table.size());
    for (const auto& e : table) out.push_back(TableEntry<T>{e.symbol, f(e.continuation)});
    return out;
}

// The same with continuations of another value type.
template <class U, class T, class F>
Table<U> mapTable(const Table<T>& table, F f) {
    Table<U> out;
    out.reserve(table.size());
    for (const auto& e : table) out.push_back(TableEntry<U>{e.symbol, f(e.continuation)});
    return out;
}

namespace parsing_detail {
// combine applied to a kept value (a head's) and a fresh one: the kept value passed as it is
// unless combine takes that argument as an rvalue, which then gets a copy.
template <class F, class A, class B>
auto joinKept(const F& combine, const A& kept, B&& fresh) {
    if constexpr (std::is_invocable_v<const F&, const A&, B&&>) {
        return combine(kept, std::forward<B>(fresh));
    } else {
        return combine(A(kept), std::forward<B>(fresh));
    }
}
}  // namespace parsing_detail

// The sequence head: p's variant decides unless p succeeds; q's head is consulted for the
// value and message only when they are used.
template <class C, class A, class B, class F>
ParserHead<C> seqHead(const ParserHead<A>& hp, const Parser<B>& q, F combine) {
    if (hp.succeeds()) {
        const ParserHead<B>& hq = q.head();
        Lazy<A> g = hp.value;
        Lazy<B> x = hq.value;
        return ParserHead<C>{hq.kind, delay([combine, g, x] { return parsing_detail::joinKept(combine, g.get(), B(x.get())); }), hq.message};
    }
    Lazy<A> g = hp.value;
    Lazy<std::string> m1 = hp.message;
    return HeadInsert(delay([combine, g, q] { return parsing_detail::joinKept(combine, g.get(), B(q.head().value.get())); }),
                      delay([m1, q] {
                          const ParserHead<B>& hq = q.head();
                          return hq.succeeds() ? m1.get() : m1.get() + hq.message.get();
                      }));
}

// The first symbols of p followed by q: q's are looked at only when p can succeed without input.
template <class A, class B>
Firsts seqFirsts(const Parser<A>& p, const Parser<B>& q) {
    return p.head().succeeds() ? unionFirsts(p.firsts(), q.firsts()) : p.firsts();
}

// p followed by q, the values joined by combine(p's value, q's value).  parseSeq and the
// sequence helpers are this with particular joins.
template <class A, class B, class F>
auto parseSeqWith(F combine, Parser<A> p, Parser<B> q) -> Parser<std::invoke_result_t<F, A, B>> {
    using C = std::invoke_result_t<F, A, B>;
    auto head = [p, q, combine] { return seqHead<C>(p.head(), q, combine); };
    auto firsts = [p, q] { return seqFirsts(p, q); };
    auto table = [p, q, combine] {
        Table<C> t = mapTable<C>(p.table(), [q, combine](const Continuation<A>& c) -> Continuation<C> {
            return [c, q, combine](ParseState& s, const FollowStack& y) {
                A a = c(s, FollowStack(q.firsts(), y));
                return combine(std::move(a), runParser(q.head(), q.table(), s, y));
            };
        });
        const ParserHead<A>& hp = p.head();
        if (hp.succeeds()) {
            Lazy<A> g = hp.value;
            Table<C> tq = mapTable<C>(q.table(), [g, combine](const Continuation<B>& c) -> Continuation<C> {
                return [c, g, combine](ParseState& s, const FollowStack& y) {
                    B b = c(s, y);
                    return parsing_detail::joinKept(combine, g.get(), std::move(b));
                };
            });
            for (auto& e : tq) t.push_back(std::move(e));
        }
        return t;
    };
    return Parser<C>::fromParts("parseSeq", head, firsts, table);
}

namespace parsing_detail {
// Runs c with `next` pushed on the follow stack and drops its value, in a frame of its own: the
// caller keeps nothing on its stack, so its next call can be its last (a tail call).
template <class A>
[[gnu::noinline]] void runAndDrop(const Continuation<A>& c, ParseState& s, const Firsts& next, const FollowStack& y) {
    c(s, FollowStack(next, y));
}
}  // namespace parsing_detail

// p followed by q, keeping q's value.  q runs as the last step of each of p's continuations,
// so reading q adds no frame of its own to the C++ stack.
template <class A, class B>
Parser<B> parseSeqRight(Parser<A> p, Parser<B> q) {
    auto keepRight = [](A, B b) { return b; };
    auto head = [p, q, keepRight] { return seqHead<B>(p.head(), q, keepRight); };
    auto firsts = [p, q] { return seqFirsts(p, q); };
    auto table = [p, q] {
        Table<B> t = mapTable<B>(p.table(), [q](const Continuation<A>& c) -> Continuation<B> {
            return [c, q](ParseState& s, const FollowStack& y) {
                parsing_detail::runAndDrop(c, s, q.firsts(), y);
                return runParser(q.head(), q.table(), s, y);
            };
        });
        if (p.head().succeeds()) t.insert(t.end(), q.table().begin(), q.table().end());
        return t;
    };
    return Parser<B>::fromParts("parseSeq", head, firsts, table);
}

// p followed by q, keeping p's value.
template <class A, class B>
Parser<A> parseSeqLeft(Parser<A> p, Parser<B> q) {
    auto keepLeft = [](A a, B) { return a; };
    auto head = [p, q, keepLeft] { return seqHead<A>(p.head(), q, keepLeft); };
    auto firsts = [p, q] { return seqFirsts(p, q); };
    auto table = [p, q] {
        Table<A> t = mapTable<A>(p.table(), [q](const Continuation<A>& c) -> Continuation<A> {
            return [c, q](ParseState& s, const FollowStack& y) {
                A a = c(s, FollowStack(q.firsts(), y));
                runParser(q.head(), q.table(), s, y);
                return a;
            };
        });
        const ParserHead<A>& hp = p.head();
        if (hp.succeeds()) {
            Lazy<A> g = hp.value;
            Table<A> tq = mapTable<A>(q.table(), [g](const Continuation<B>& c) -> Continuation<A> {
                return [c, g](ParseState& s, const FollowStack& y) {
                    c(s, y);
                    return g.get();
                };
            });
            for (auto& e : tq) t.push_back(std::move(e));
        }
        return t;
    };
    return Parser<A>::fromParts("parseSeq", head, firsts, table);
}

// p followed by q; p's value is a function applied to q's value.
template <class Fn, class A>
auto parseSeq(Parser<Fn> p, Parser<A> q) {
    return parseSeqWith([](const Fn& f, A&& a) { return f(std::move(a)); }, std::move(p), std::move(q));
}

// p or q: p's head when it succeeds without input, else q's; p's entries before q's.
template <class T>
Parser<T> parseAlt(Parser<T> p, Parser<T> q) {
    return Parser<T>::fromParts(
        "parseAlt", [p, q] { return p.head().succeeds() ? p.head() : q.head(); },
        [p, q] { return unionFirsts(p.firsts(), q.firsts()); },
        [p, q] {
            Table<T> t = p.table();
            t.insert(t.end(), q.table().begin(), q.table().end());
            return t;
        });
}

// p, completed by `value` with the message: quoted name + " inserted", when it needs input.
template <class T>
Parser<T> withInsertion(Parser<T> p, T value, std::string name) {
    auto message = std::make_shared<std::string>(showStringLiteral(name) + insertedText);
    return Parser<T>::fromParts(
        "withInsertion",
        [p, value, message] { return p.head().succeeds() ? p.head() : HeadInsert(value, *message); },
        [p] { return unionFirsts(p.firsts(), {}); }, [p] { return p.table(); });
}

// --- nesting limit ----------------------------------------------------------------------------

// The nesting state of the parse running on this thread: how many guarded levels it is inside,
// the stack it runs on, and where it first went past its limit.
struct NestingState {
    std::size_t depth = 0;
    std::size_t stackBytes = kLargeStackBytes;
    std::size_t limit = 0;
    std::optional<std::int32_t> passedAt;  // the line of the token where the limit was passed
};
NestingState& nestingState();

// The stack one guarded level may take: four times what the deepest level of the grammars
// takes in the optimised build (measured: under 1.3 KB within brackets, about 2 KB within
// local definitions), so that 100000 levels read on a 1 GiB stack (a 4 GiB address-space cap).
// The sanitizer build's frames are many times larger; its budget still lets the full large
// stack hold the readers' whole limit.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kNestingStackBytesPerLevel = std::size_t{40} << 10;
#else
inline constexpr std::size_t kNestingStackBytesPerLevel = std::size_t{8} << 10;
#endif

// A nesting limit meant for the full large stack, cut to the levels that a smaller stack holds
// at kNestingStackBytesPerLevel each.
inline std::size_t scaledNestingLimit(std::size_t limit, std::size_t stackBytes) {
    if (stackBytes >= kLargeStackBytes) return limit;
    return std::min(limit, stackBytes / kNestingStackBytesPerLevel);
}

// One parse's watch over its nesting: the state starts afresh for the stack of this thread,
// and check() raises the user error "input nested too deeply (more than <limit> levels) at
// line <line>" when the parse went past a limit; where the stack is smaller than the full
// large stack, the limit is cut to it and the text says so: "(more than <limit> levels on a
// <n> MiB stack)".  The state from before is restored afterwards.
class NestingWatch {
public:
    NestingWatch() : saved_(nestingState()) {
        nestingState() = NestingState();
        nestingState().stackBytes = stackBytesNow();
    }
    ~NestingWatch() { nestingState() = saved_; }
    NestingWatch(const NestingWatch&) = delete;
    NestingWatch& operator=(const NestingWatch&) = delete;
    void check() const;

private:
    NestingState saved_;
};

// p, whose continuations count one level of nesting each while they run.  A token that would
// start a run inside more than `limit` guarded levels (on the full large stack; fewer on a
// smaller one, see scaledNestingLimit) ends the parse: the rest of the input is
// dropped, every waiting parser completes by its head, and NestingWatch::check reports it.
// Guarding the parsers through which every nesting cycle of a grammar passes bounds the C++
// stack a parse can use, and nothing is thrown from deep inside it.
template <class T>
Parser<T> pNestingGuard(Parser<T> p, std::size_t limit) {
    auto table = [p, limit] {
        return mapContinuations(p.table(), [p, limit](const Continuation<T>& c) -> Continuation<T> {
            return [c, p, limit](ParseState& s, const FollowStack& y) {
                NestingState& st = nestingState();
                if (st.depth > scaledNestingLimit(limit, st.stackBytes)) {
                    if (!st.passedAt) {
                        st.passedAt = s.input.front().line;
                        st.limit = scaledNestingLimit(limit, st.stackBytes);
                    }
                    s.input.skipToEnd();
                    return repairWithHead(p.head(), s, endOfFileText);
                }
                ++st.depth;
                struct Leave {
                    std::size_t& d;
                    ~Leave() { --d; }
                } leave{st.depth};
                return c(s, y);
            };
        });
    };
    return Parser<T>::fromParts("pNestingGuard", [p] { return p.head(); }, [p] { return p.firsts(); }, table);
}

// --- sequences with an action ----------------------------------------------------------------

namespace parsing_detail {

template <class Tuple, class P, class... Ps>
auto seqTuple(Parser<Tuple> acc, P p, Ps... ps) {
    // The parts taken as rvalues: a level of nesting inside the last part holds no copies.
    auto next = parseSeqWith([](Tuple&& t, typename P::Value&& v) { return std::tuple_cat(std::move(t), std::make_tuple(std::move(v))); },
                             std::move(acc), std::move(p));
    if constexpr (sizeof...(Ps) == 0) {
        return next;
    } else {
        return seqTuple(std::move(next), std::move(ps)...);
    }
}

}  // namespace parsing_detail

// The action applied to the values of p1 ... pn read in sequence: pSeq(f, p1, ..., pn)
// behaves as succeedParser(f) followed by p1, then p2, ..., then pn, f taking n arguments.
template <class F, class... Ps>
auto pSeq(F action, Ps... ps) {
    static_assert(sizeof...(Ps) > 0, "pSeq needs at least one parser");
    auto tuples = parsing_detail::seqTuple(Parser<std::tuple<>>(HeadSucceed(std::tuple<>()), {}, {}), std::move(ps)...);
    using Tuple = typename decltype(tuples)::Value;
    return parseSeqWith([action](std::tuple<>&&, Tuple&& t) { return std::apply(action, std::move(t)); },
                        Parser<std::tuple<>>(HeadSucceed(std::tuple<>()), {}, {}), std::move(tuples));
}

}  // namespace plim
