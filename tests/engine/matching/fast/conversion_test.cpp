// The fast matcher's conversion of expressions to terms and of terms built by the search back.
#include <gtest/gtest.h>

#include <optional>
#include <thread>

#include "engine/matching/fast/matcher.h"
#include "engine/matching/match_corpus.h"
#include "engine/rewriting/positions.h"
#include "frontend/printer/expressions.h"

namespace plim::fast {
namespace {

using namespace corpus::detail;

// Every subexpression converts, in its context, to a term that converts back to it (typed
// anew where its tuples are not typed as built).
void expectEachConvertsBack(const TermCtx& at) {
    const std::vector<std::string> names = contextNames(at.bound);
    for (List<SubPath> s = subpaths(at); !s.empty(); s = s.tail()) {
        const Expr& sub = s.head().first.expr;
        EXPECT_EQ(showExpr(convert(convertPrime(names, sub))), showExpr(sub));
    }
}

// The thread remembers its recent conversions by expression: one expression converted under
// two contexts in a row is converted under each as a fresh thread converts it.
TEST(FastConvertRecent, OneExpressionUnderTwoContextsInARow) {
    const Expr e = plus(var("x", I()), num(1));
    const Term bound = convertPrime({"x"}, e);
    const Term free = convertPrime({}, e);
    std::optional<Term> freshBound, freshFree;
    std::thread([&] {
        freshFree = convertPrime({}, e);
        freshBound = convertPrime({"x"}, e);
    }).join();
    EXPECT_TRUE(termEq(free, *freshFree));
    EXPECT_TRUE(termEq(bound, *freshBound));
    EXPECT_FALSE(termEq(bound, free));
}

TEST(FastConvert, TuplesWholePartialOverAppliedAndInContext) {
    const Type single = mkTupleType({I()}), tripleT = mkTupleType({I(), I(), I()});
    const Expr one = ap(mkCon(mkTuple(1), fn(I(), single)), num(7));
    const Expr partial = ap(mkCon(mkTuple(3), fn(I(), I(), fn(I(), tripleT))), num(3), num(4));
    const Expr full = ap(partial, num(5));
    const Expr over = ap(ap(mkCon(mkTuple(2), fn(I(), I(), fn(I(), I()))), num(1), var("u", I())), num(2));
    const Expr k = constr("K", fn(single, fn(fn(I(), tripleT), fn(tripleT, fn(I(), I())))));
    const Expr e = G(FST(pair(F(var("u", I())), num(2))), ap(ap(ap(ap(k, one), partial), full), over));
    expectEachConvertsBack(TermCtx{e, {{"u", I()}}});
    expectEachConvertsBack(TermCtx{e, {}});
    expectEachConvertsBack(TermCtx{pair(pair(num(1), num(2)), num(3)), {}});
}

// A 100,000-element list on the ordinary stack; every node keeps its expression.
TEST(FastConvert, LongListOnTheOrdinaryStack) {
    Expr list = nul();
    for (int i = 0; i < 100000; ++i) list = cons(num(i % 7), list);
    const Term all = convertPrime({}, list);
    EXPECT_EQ(all.size(), 400001u);
    EXPECT_TRUE(all.origin()->sameNode(list));
    EXPECT_TRUE(all.arg().origin()->sameNode(list.arg()));
    EXPECT_EQ(all.arg().size(), 399997u);
}

// \x0 -> ... -> \x(n-1) -> (x(n-1), 3), built as the search builds terms: no node has a
// conversion of its own yet.
Term nestedLambdas(std::size_t n) {
    const Type pairType = mkTupleType({I(), I()});
    const std::string last = "x" + std::to_string(n - 1);
    Term body = Tupl({LVar(last, I()), Con(mkNumber(3), I())}, pairType);
    Type type = pairType;
    for (std::size_t i = n; i-- > 0;) {
        type = fn(I(), type);
        body = Lam(LamVar("x" + std::to_string(i)), std::move(body), type);
    }
    return body;
}

// Converted back, a built term reads as built whether it is shallow or deeper than the nodes
// converted without the walk.  The top node keeps its conversion for the next time, and so does
// a node that another term holds too; a node that only its parent holds is met again only
// through its parent, and keeps none.
TEST(FastConvertBack, BuiltTermsShallowAndDeep) {
    const Term shallow = nestedLambdas(2);
    const Term heldBody = shallow.body();
    const Expr shallowBack = convert(shallow);
    EXPECT_EQ(showExpr(shallowBack), "(\\ x0 x1 -> (x1, 3))");
    ASSERT_TRUE(shallow.origin());
    EXPECT_TRUE(shallow.origin()->sameNode(shallowBack));
    ASSERT_TRUE(heldBody.origin());
    EXPECT_TRUE(heldBody.origin()->sameNode(shallowBack.body()));
    EXPECT_FALSE(heldBody.body().origin());
    // A later term over the held node takes its conversion as it is.
    const Term again = Lam(LamVar("y"), heldBody, fn(I(), heldBody.type()));
    EXPECT_TRUE(convert(again).body().sameNode(shallowBack.body()));

    const Term deep = nestedLambdas(40);
    const Term* inner = &deep;
    for (int i = 0; i < 39; ++i) inner = &inner->body();
    const Term heldInner = *inner;
    const Expr deepBack = convert(deep);
    const std::string text = showExpr(deepBack);
    EXPECT_EQ(text.substr(0, 16), "(\\ x0 x1 x2 x3 x");
    EXPECT_EQ(text.substr(text.size() - 16), "9 ->\n (x39, 3)\n)");
    EXPECT_TRUE(exprEq({}, {}, deepBack, convert(nestedLambdas(40))));
    ASSERT_TRUE(deep.origin());
    EXPECT_TRUE(deep.origin()->sameNode(deepBack));
    EXPECT_FALSE(deep.body().origin());
    const Expr* innerBack = &deepBack;
    for (int i = 0; i < 39; ++i) innerBack = &innerBack->body();
    ASSERT_TRUE(heldInner.origin());
    EXPECT_TRUE(heldInner.origin()->sameNode(*innerBack));
    EXPECT_FALSE(heldInner.body().origin());
}

// Built nodes under every kind of parent: an application whose function and argument are both
// built, a tuple whose built elements stand around one converted from an expression, a lambda
// over them.  Converted back, the term reads as built, and takes the converted part as it is.
TEST(FastConvertBack, BuiltChildrenOfApplicationsTuplesAndLambdas) {
    const Expr onePlusTwo = plus(num(1), num(2));
    const Term known = convertPrime({}, onePlusTwo);
    auto op = [](Op o) { return Con(mkBinop(o), fn(I(), I(), I())); };
    const Term xPlus3 = Ap(Ap(op(Op::Plus), LVar("x", I()), fn(I(), I())), Con(mkNumber(3), I()), I());
    const Term yTimesKnown = Ap(Ap(op(Op::Tim), PVar("y", I()), fn(I(), I())), known, I());
    const Term applied = Ap(Lam(LamVar("x"), xPlus3, fn(I(), I())), yTimesKnown, I());
    const Type triple = mkTupleType({I(), I(), I()});
    const Term whole = Lam(LamVar("z"), Tupl({applied, known, xPlus3}, triple), fn(I(), triple));

    const Expr back = convert(whole);
    EXPECT_EQ(showExpr(back), "(\\ z -> ((\\ x -> x + 3) (y * (1 + 2)), 1 + 2, x + 3))");
    const Expr x = var("x", I());
    const Expr expected = lam("z", I(), mkTupleExpr({ap(lam("x", I(), plus(x, num(3))), times(var("y", I()), onePlusTwo)),
                                                      onePlusTwo, plus(x, num(3))}));
    EXPECT_TRUE(exprEq({}, {}, back, expected));
    EXPECT_TRUE(back.body().fun().arg().sameNode(onePlusTwo));
}

}  // namespace
}  // namespace plim::fast
