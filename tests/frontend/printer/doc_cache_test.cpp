// The printer's cache of documents by node: printing through it gives the text printing afresh
// gives, for expressions that share subtrees at the same or at other precedences, and it keeps
// only what the last printing reached.
#include "frontend/printer/doc_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/printer/printer.h"
#include "frontend/printer/printer_test_util.h"
#include "support/big_stack.h"

namespace plim {
namespace {

using namespace pptest;

std::string cached(ExprDocCache& cache, const Expr& e) {
    std::string text = renderDoc(ppExpr(0, e, cache), 40);
    cache.endRound();
    return text;
}

std::string fresh(const Expr& e) { return renderDoc(ppExpr(0, e), 40); }

// A list of the numbers from..to.
Expr numbers(int from, int to) {
    Expr list = nil();
    for (int i = to; i >= from; --i) list = cons(num(i), list);
    return list;
}

TEST(DocCache, SharedSubtreesPrintAsAfresh) {
    const Expr xs = numbers(1, 12);
    const Expr sum = binop(Op::Plus, var("a"), var("b"));
    const Expr f = lam(var("x"), ap(ap(var("g"), sum), var("x")));
    // The same nodes at the top, as an argument, as an operand of several operators, inside a
    // lambda and a local definition, and in tuples and conditionals.
    const std::vector<Expr> steps = {
        ap(var("rev"), xs),
        binop(Op::Cat, ap(var("rev"), xs), xs),
        xs,
        binop(Op::Tim, sum, sum),
        ap(f, sum),
        binop(Op::Plus, sum, ap(f, sum)),
        let({fun(var("y"), sum), fun(ap(var("h"), var("z")), f)}, binop(Op::Cons, sum, xs)),
        tuple({sum, f, xs}),
        call(con(mkIf()), {binop(Op::Eq, sum, num(0)), f, ap(f, xs)}),
        sum,
    };
    ExprDocCache cache;
    for (const Expr& e : steps) EXPECT_EQ(cached(cache, e), fresh(e));
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) EXPECT_EQ(cached(cache, *it), fresh(*it));
}

TEST(DocCache, KeepsOnlyWhatTheLastPrintingReached) {
    const Expr list = numbers(1, 50);
    const Expr big = binop(Op::Cat, ap(var("rev"), list), numbers(51, 60));
    const Expr small = binop(Op::Plus, var("a"), ap(var("f"), var("b")));
    ExprDocCache cache;
    cached(cache, big);
    EXPECT_TRUE(cache.holds(list, 100));
    cached(cache, small);
    EXPECT_FALSE(cache.holds(list, 100));
    ExprDocCache alone;
    cached(alone, small);
    EXPECT_LE(cache.size(), alone.size());
    EXPECT_GT(cache.size(), 0U);
}

// After the first printing, a node whose parts were made with it (one on the path a step
// rebuilds) is kept only once it lasts to the next printing; the lowest new nodes are kept
// at once.
TEST(DocCache, KeepsTheNewNodesThatLast) {
    ExprDocCache cache;
    cached(cache, ap(var("f"), ap(var("g"), ap(var("h"), num(1)))));
    const Expr item = ap(var("h"), num(2));
    const Expr middle = ap(var("g"), item);
    cached(cache, ap(var("f"), middle));
    EXPECT_TRUE(cache.holds(item, 100));
    EXPECT_FALSE(cache.holds(middle, 100));
    const Expr again = ap(var("k"), middle);
    EXPECT_EQ(cached(cache, again), fresh(again));
    EXPECT_TRUE(cache.holds(middle, 100));
}

// A subtree whose document was found whole keeps the documents of the nodes below it, which
// the next printing may reach on their own.
TEST(DocCache, KeepsTheNodesBelowOneFoundWhole) {
    const Expr inner = numbers(1, 5);
    const Expr outer = ap(var("rev"), inner);
    ExprDocCache cache;
    cached(cache, ap(var("f"), outer));
    cached(cache, ap(var("g"), outer));  // outer found whole
    EXPECT_TRUE(cache.holds(inner, 100));
    EXPECT_FALSE(cache.holds(inner, 0));  // another precedence is another document
}

// A round that makes many documents pauses the cache for the next only when what it found
// is small beside them: one part found whole counts the documents kept below it.
TEST(DocCache, PausesWhereWhatItFindsIsSmallBesideWhatItMakes) {
    auto chain = [](Expr e, int n, const char* f) {
        for (int i = 0; i < n; ++i) e = ap(var(f), e);
        return e;
    };
    const Expr big = numbers(1, 400);
    ExprDocCache cache;
    cached(cache, chain(big, 1, "f"));
    cached(cache, chain(big, 100, "g"));  // 100 made above 400 found
    EXPECT_FALSE(cache.paused());
    cached(cache, chain(num(1), 100, "h"));  // 100 made, nothing found
    EXPECT_TRUE(cache.paused());
}

// Entries leave and come in every round, few at a time (one item replaced near the front) or
// most at once (a window sliding over the items); each item printed is found however the
// removals moved the others.
TEST(DocCache, FindsEveryNodeAsEntriesComeAndGo) {
    std::vector<Expr> items;
    for (int i = 0; i < 400; ++i) items.push_back(ap(var("f"), num(i)));
    const Precedence operand = opPrecedenceInteger(Op::Cons);
    auto listOf = [](const std::vector<Expr>& xs) {
        Expr list = nil();
        for (auto it = xs.rbegin(); it != xs.rend(); ++it) list = cons(*it, list);
        return list;
    };
    ExprDocCache cache;
    std::vector<Expr> shown(items.begin(), items.begin() + 60);
    for (std::size_t round = 0; round < 200; ++round) {
        if (round < 100) {
            shown[round % 5] = items[60 + round];
        } else {
            const std::size_t from = (round - 100) * 3;
            shown.assign(items.begin() + static_cast<std::ptrdiff_t>(from), items.begin() + static_cast<std::ptrdiff_t>(from + 60));
        }
        const Expr list = listOf(shown);
        ASSERT_EQ(cached(cache, list), fresh(list));
        for (const Expr& item : shown) ASSERT_TRUE(cache.holds(item, operand)) << round;
    }
}

// An expression built anew (other nodes) that reads as one printed in recent rounds gets their
// documents, found by what they are made of, once the rounds have kept them (from the bottom, a
// level a round); one that reads differently anywhere does not; the text is always the one
// printing afresh gives.
TEST(DocCache, SameTextGetsTheSameDocumentsAcrossRounds) {
    const auto build = [](const char* name, Expr pattern) {
        const Expr body = binop(Op::Plus, ap(var(name), numbers(1, 6)), var("y"));
        return binop(Op::Cat, ap(lam(var("x"), lam(pattern, body)), num(2000)), numbers(1, 3));
    };
    const auto docOf = [](ExprDocCache& cache, const Expr& e) {
        const Doc d = ppExpr(0, e, cache);
        EXPECT_EQ(renderDoc(d, 30), renderDoc(ppExpr(0, e), 30));
        cache.endRound();
        return d.node().get();
    };
    ExprDocCache cache;
    for (int i = 0; i < 12; ++i) docOf(cache, build("f", var("y")));
    const auto* kept = docOf(cache, build("f", var("y")));
    EXPECT_EQ(docOf(cache, build("f", var("y"))), kept);
    EXPECT_NE(docOf(cache, build("g", var("y"))), kept);
    EXPECT_NE(docOf(cache, build("f", nil())), kept);
    EXPECT_EQ(docOf(cache, build("f", var("y"))), kept);
}

TEST(DocCache, DeepExpressionsOnAnOrdinaryStack) {
    runOnLargeStack(
        [] {
            constexpr int kDepth = 10000;
            Expr list = var("x");
            for (int i = 0; i < kDepth; ++i) list = cons(num(i % 10), list);
            ExprDocCache cache;
            const std::string first = renderDoc(ppExpr(0, list, cache), kUnboundedWidth);
            cache.endRound();
            const Expr longer = cons(num(7), list);  // finds the whole list, keeps all below
            EXPECT_EQ(renderDoc(ppExpr(0, longer, cache), kUnboundedWidth), "7 : (" + first + ")");
            cache.endRound();
            EXPECT_TRUE(cache.holds(list, opPrecedenceInteger(Op::Cons)));
        },
        std::size_t{8} << 20);
}

}  // namespace
}  // namespace plim
