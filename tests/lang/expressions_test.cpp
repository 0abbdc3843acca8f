#include "lang/expressions.h"

#include <gtest/gtest.h>

#include <string>

#include "lang/syntax_dump.h"
#include "support/big_stack.h"
#include "support/failure_text.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

const Type a = mkTid("a");
const Type b = mkTid("b");
const Type d = mkTid("d");
Type fn(Type x, Type y) { return mkArrow(std::move(x), std::move(y)); }
Expr v(const std::string& n, const Type& t = a) { return mkVar(n, t); }
Expr lam(const Expr& p, const Expr& body) { return mkLam(p, body, fn(p.type(), body.type())); }
Expr app(const Expr& f, const Expr& x) { return typedAp(f, x); }
bool same(const Expr& x, const Expr& y) { return showExprSyntax(x) == showExprSyntax(y); }

Expr letOf(std::vector<std::pair<Expr, Expr>> defs, const Expr& body) {
    Defs chain;
    for (auto it = defs.rbegin(); it != defs.rend(); ++it) chain = mkOneDef(mkFun(it->first, it->second), chain, 9);
    return mkLet(mkDList(chain), body, body.type());
}

// x : x : ... : [] with n elements.
Expr consChain(int n) {
    const Type list = mkListType(a);
    Expr consOp = mkCon(mkBinop(Op::Cons), fn(a, fn(list, list)));
    Expr chain = mkCon(mkNul(), list);
    for (int i = 0; i < n; ++i) chain = typedAp(typedAp(consOp, v(std::string("x").append(std::to_string(i % 3)))), chain);
    return chain;
}

TEST(ExpressionBasics, TypedBuilders) {
    Expr f = v("f", fn(a, b));
    Expr fx = typedAp(f, v("x"));
    EXPECT_TRUE(eqType(exprType(fx), b));
    EXPECT_TRUE(fx.typeIsEvaluated());
    Expr bad = typedAp(v("n", intType()), v("x"));  // built without complaint
    EXPECT_EQ(failureText([&] { bad.type(); }), "cannot take result type of non-function");
    EXPECT_EQ(failureText([&] { typedAp(bad, v("y")).type(); }), "cannot take result type of non-function");
    EXPECT_EQ(failureText([&] { typedAp(v("g", mkTCon("Arrow", {a})), v("x")).type(); }),
              "cannot take result type of non-function");
    EXPECT_EQ(failureText([&] { exprEq({}, {}, bad, bad); }), "cannot take result type of non-function");
    // A part both sides share is read all the same.
    EXPECT_EQ(failureText([&] { exprEq({}, {}, typedAp(f, bad), typedAp(f, bad)); }),
              "cannot take result type of non-function");

    Expr l = typedLam("x", a, bad);  // the body's type is read only when the lambda's is
    EXPECT_EQ(failureText([&] { l.type(); }), "cannot take result type of non-function");
    Expr id = typedLam("x", a, v("x"));
    EXPECT_EQ(showExprSyntax(id), "Lam (Var \"x\" (Tid \"a\")) (Var \"x\" (Tid \"a\")) (TCon \"Arrow\" [Tid \"a\",Tid \"a\"])");
    EXPECT_TRUE(same(typedVar({"y", b}), v("y", b)));
    EXPECT_TRUE(atTop(id).bound.empty());
}

TEST(ExpressionBasics, NamesAndConstants) {
    const Type intT = intType();
    EXPECT_EQ(freevars(lam(v("x", intT), v("x", boolType()))), (std::vector<TypedVar>{{"x", boolType()}}));
    EXPECT_TRUE(freeNames(lam(v("x", intT), v("x", boolType()))).empty());
    EXPECT_EQ(allNames(lam(v("x"), v("x"))), (std::vector<std::string>{"x"}));

    // (\x -> y x) (z x) y: first occurrences from the left; the bound x does not count.
    Expr e = app(app(lam(v("x"), app(v("y", fn(a, a)), v("x"))), app(v("z", fn(a, a)), v("x"))), v("y", fn(a, a)));
    EXPECT_EQ(freeNames(e), (std::vector<std::string>{"y", "z", "x"}));
    EXPECT_EQ(allNames(e), (std::vector<std::string>{"x", "y", "z"}));
    std::vector<TypedVar> fv = freevars(e);
    ASSERT_EQ(fv.size(), 3u);
    EXPECT_EQ(fv[2].first, "x");

    Expr plus = mkCon(mkBinop(Op::Plus), fn(intT, fn(intT, intT)));
    Expr sum = app(app(plus, mkCon(mkNumber(1), intT)), mkCon(mkNumber(2), intT));
    std::vector<Constant> cs = cons(sum, {mkNul()});
    ASSERT_EQ(cs.size(), 4u);
    EXPECT_EQ(constantText(cs[0]), "Binop Plus");
    EXPECT_EQ(constantText(cs[1]), "Number 1");
    EXPECT_EQ(constantText(cs[3]), "Nul");
    EXPECT_EQ(failureText([&] { cons(letOf({}, v("x")), {}); }), "Expressions:98|function cons");

    // Children before a node's own type, one entry per occurrence, then the accumulator.
    Expr g = app(v("f", fn(b, a)), v("y", b));
    EXPECT_EQ(addTyvars(g, {"z"}), (std::vector<std::string>{"b", "a", "b", "a", "z"}));
    EXPECT_EQ(tyvars(g), (std::vector<std::string>{"b", "a"}));
    // Lets are seen through unlet.
    EXPECT_EQ(freeNames(letOf({{v("x"), v("y")}}, v("x"))), (std::vector<std::string>{"y"}));
}

TEST(ExpressionBasics, FreshFor) {
    NameSupply start = initialNameSupply();
    NameSupply same = freshFor(mkCon(mkNumber(1), intType()), {})(start);
    EXPECT_EQ(same.vars.take(3), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(same.tyvars.take(3), (std::vector<std::string>{"a", "b", "c"}));

    Expr e = lam(v("b", mkTid("c")), v("aa", mkTid("b")));
    NameSupply fresh = freshFor(e, {{"a", mkTid("e")}})(start);
    EXPECT_EQ(fresh.vars.take(3), (std::vector<std::string>{"c", "d", "e"}));
    EXPECT_EQ(fresh.vars.drop(23).take(3), (std::vector<std::string>{"z", "ab", "ac"}));
    EXPECT_EQ(fresh.tyvars.take(3), (std::vector<std::string>{"a", "d", "f"}));

    NameSupply finite{NameList::fromVector({"p", "a", "q"}), NameList::fromVector({"b", "x"})};
    NameSupply cut = freshFor(v("a", b), {})(finite);
    EXPECT_EQ(cut.vars.take(5), (std::vector<std::string>{"p", "q"}));
    EXPECT_EQ(cut.tyvars.take(5), (std::vector<std::string>{"x"}));
}

TEST(ExpressionBasics, UnletOfTwoDefinitions) {
    const Type t = mkTid("t");
    Expr e1 = v("e1");
    Expr e2 = v("e2", b);
    Expr body = v("body", t);
    Expr let = mkLet(mkDList(mkOneDef(mkFun(v("x"), e1), mkOneDef(mkFun(v("y", b), e2), mkNoDef(), 2), 1)), body, t);
    Expr inner = mkAp(mkLam(v("y", b), body, fn(b, t)), e2, t);
    Expr expected = mkAp(mkLam(v("x"), inner, fn(a, t)), e1, t);
    EXPECT_EQ(showExprSyntax(unlet(let)), showExprSyntax(expected));

    // An empty definition list gives the body alone, with the body's own type.
    EXPECT_EQ(showExprSyntax(unlet(mkLet(mkDList(mkNoDef()), body, a))), showExprSyntax(body));
    // Lets inside are removed; let-free parts are shared.
    Expr free = app(v("f", fn(t, a)), body);
    EXPECT_TRUE(unlet(free).sameNode(free));
    EXPECT_EQ(failureText([&] { unlet(mkLet(mkDList(mkOneDef(mkDec(v("x"), a), mkNoDef(), 1)), body, t)); }),
              "a let or where block with a type signature or data declaration cannot be rewritten");
}

TEST(ExpressionBasics, EqualityUpToRenaming) {
    const Type t = fn(a, a);
    EXPECT_TRUE(exprEq({}, {}, mkLam(v("x"), v("x"), t), mkLam(v("y"), v("y"), t)));
    EXPECT_TRUE(exprEq({}, {}, mkLam(v("x"), v("z"), t), mkLam(v("y"), v("z"), t)));
    EXPECT_FALSE(exprEq({}, {}, mkLam(v("x"), v("x"), t), mkLam(v("y"), v("x"), t)));
    // The inner binder wins.
    Expr shadow = lam(v("x"), lam(v("x"), v("x")));
    EXPECT_TRUE(exprEq({}, {}, shadow, lam(v("y"), lam(v("z"), v("z")))));
    EXPECT_FALSE(exprEq({}, {}, shadow, lam(v("y"), lam(v("z"), v("y")))));
    // The same name at different types: never equal, free or bound.
    EXPECT_FALSE(exprEq({}, {}, v("x", a), v("x", b)));
    EXPECT_FALSE(exprEq({}, {}, lam(v("x", a), v("x", a)), lam(v("x", b), v("x", a))));
    EXPECT_TRUE(exprEq({"x"}, {"y"}, v("x"), v("y")));
    EXPECT_FALSE(exprEq({"x"}, {}, v("x"), v("x")));
    // One node on both sides is equal only under the same binders.
    const Expr x = v("x");
    EXPECT_FALSE(exprEq({"x"}, {}, x, x));
    EXPECT_FALSE(exprEq({}, {}, mkLam(v("x"), x, t), mkLam(v("y"), x, t)));
    EXPECT_TRUE(exprEq({}, {}, mkLam(v("y"), x, t), mkLam(v("y"), x, t)));
    EXPECT_TRUE(exprEq({}, {}, mkLam(v("x"), x, t), mkLam(v("y"), v("y"), t)));
    Expr let = letOf({}, v("x"));
    EXPECT_FALSE(exprEq({}, {}, let, let));
    EXPECT_FALSE(exprEq({}, {}, mkCon(mkNumber(1), intType()), mkCon(mkNumber(2), intType())));
    EXPECT_TRUE(exprEq({}, {}, consChain(5), consChain(5)));
}

TEST(ExpressionNormalisation, EtaContraction) {
    Expr g = v("g", fn(a, b));
    EXPECT_TRUE(same(etared(lam(v("x"), app(g, v("x")))), g));
    Expr selfApp = lam(v("x", fn(a, a)), app(v("x", fn(a, a)), v("x", fn(a, a))));
    EXPECT_TRUE(etared(selfApp).sameNode(selfApp));
    Expr other = lam(v("x"), app(g, v("y")));
    EXPECT_TRUE(same(etared(other), other));
    // The argument is the pattern variable under another type: no contraction.
    Expr otherType = lam(v("x", b), app(v("h", fn(a, b)), v("x", a)));
    EXPECT_TRUE(same(etared(otherType), otherType));

    // Nested: \x -> \y -> g2 x y contracts to g2.
    Expr g2 = v("g", fn(a, fn(b, d)));
    Expr nested = lam(v("x"), lam(v("y", b), app(app(g2, v("x")), v("y", b))));
    EXPECT_TRUE(same(etared(nested), g2));
    // A tuple pattern: \(p, q) -> h (p, q) contracts to h.
    const Type pair = mkTupleType({a, b});
    Expr tuple = app(app(mkCon(mkTuple(2), fn(a, fn(b, pair))), v("p")), v("q", b));
    Expr h = v("h", fn(pair, d));
    EXPECT_TRUE(same(etared(lam(tuple, app(h, tuple))), h));
    // Not at the head of a redex that never contracts (its argument is no pair): that would
    // make it reduce.  Applied to a pair it does contract.
    Expr stuck = app(lam(tuple, app(h, tuple)), v("z", pair));
    EXPECT_TRUE(same(etared(stuck), stuck));
    // Nor as the body of a lambda, whether the lambda stays or contracts around it.
    Expr underLambda = lam(v("w", d), stuck);
    EXPECT_TRUE(same(etared(underLambda), underLambda));
    Expr stuckHead = app(lam(tuple, app(h, tuple)), v("z", pair));
    EXPECT_TRUE(same(etared(lam(v("y", b), app(app(v("k", fn(d, fn(b, d))), stuckHead), v("y", b)))),
                     app(v("k", fn(d, fn(b, d))), stuckHead)));
    Expr pairArg = app(app(mkCon(mkTuple(2), fn(a, fn(b, pair))), v("m")), v("n", b));
    EXPECT_TRUE(same(etared(app(lam(tuple, app(h, tuple)), pairArg)), app(h, pairArg)));
    // Not when the pattern's name is free in the function.
    Expr capture = lam(v("x"), app(app(v("k", fn(a, fn(a, b))), v("x")), v("x")));
    EXPECT_TRUE(same(etared(capture), capture));

    EXPECT_FALSE(etaDiffers(g, g));
    EXPECT_FALSE(etaDiffers(lam(v("x"), app(g, v("x"))), g));
    EXPECT_TRUE(etaDiffers(v("p"), v("q")));
}

// Constants and lets are found in lambda patterns too, never inside a let; a spine of a
// million applications is searched on the ordinary stack.
TEST(ExpressionBasics, HoldsConstantAndHoldsLet) {
    const Expr one = mkCon(mkNumber(1), a);
    EXPECT_TRUE(holdsConstant(lam(app(v("f", fn(a, a)), one), v("x"))));
    EXPECT_FALSE(holdsConstant(lam(v("y"), v("x"))));
    EXPECT_FALSE(holdsConstant(letOf({{v("y"), one}}, v("y"))));
    EXPECT_TRUE(holdsLet(lam(letOf({}, v("y")), v("x"))));
    Expr spine = v("f", a);
    for (int i = 0; i < 1000000; ++i) spine = mkAp(spine, v("x"), a);
    EXPECT_FALSE(holdsConstant(spine));
    EXPECT_FALSE(holdsLet(spine));
    EXPECT_TRUE(holdsConstant(mkAp(spine, one, a)));
}

TEST(ExpressionNormalisation, Scrub) {
    const Type t = fn(a, a);
    RenameState st{NameSupply{NameList::fromVector({"p", "q", "r"}), NameList::fromVector({})}, Renaming(), Renaming()};
    auto [e, after] = scrub(mkLam(v("x"), v("x"), t), st);
    EXPECT_TRUE(same(e, mkLam(v("p"), v("p"), t)));
    EXPECT_EQ(after.supply.vars.take(5), (std::vector<std::string>{"q", "r"}));
    EXPECT_TRUE(after.firstRenaming.empty());

    // Only the bound x is renamed.
    Expr redex = mkAp(mkLam(v("x"), v("x"), t), v("x"), a);
    auto [e2, after2] = scrub(redex, st);
    EXPECT_TRUE(same(e2, mkAp(mkLam(v("p"), v("p"), t), v("x"), a)));

    // Inner lambdas shadow outer ones; the renamings come back after each lambda; type
    // variables go through the second renaming.
    RenameState typed = st;
    typed.secondRenaming = Renaming::cons({"a", "c"}, Renaming());
    Expr twice = lam(v("x"), app(lam(v("x"), v("x")), v("x")));
    auto [e3, after3] = scrub(twice, typed);
    const Type c = mkTid("c");
    Expr expected = lam(v("p", c), app(lam(v("q", c), v("q", c)), v("p", c)));
    EXPECT_EQ(showExprSyntax(e3), showExprSyntax(expected));
    EXPECT_EQ(after3.supply.vars.take(5), (std::vector<std::string>{"r"}));
    EXPECT_EQ(toVector(after3.secondRenaming).size(), 1u);

    EXPECT_EQ(failureText([&] { scrub(letOf({}, v("x")), st); }), "Expressions:202|function scrub");
    RenameState empty{NameSupply{NameList::fromVector({}), NameList::fromVector({})}, Renaming(), Renaming()};
    EXPECT_EQ(failureText([&] { scrub(lam(v("x"), v("x")), empty); }), "Names:65|lambda");
}

TEST(ExpressionNormalisation, Recexpand) {
    NameSupply supply{NameList::fromVector({"u", "v", "w"}), NameList::fromVector({})};
    Expr f = v("f", fn(a, fn(b, d)));
    auto [e, rest] = recexpand(f, supply);
    Expr expected = mkLam(v("u"), mkLam(v("v", b), mkAp(mkAp(f, v("u"), fn(b, d)), v("v", b), d), fn(b, d)),
                          fn(a, fn(b, d)));
    EXPECT_EQ(showExprSyntax(e), showExprSyntax(expected));
    EXPECT_EQ(rest.vars.take(5), (std::vector<std::string>{"w"}));

    // An argument of function type is expanded; the head is not.
    Expr k = v("k", fn(a, a));
    Expr h = v("h", fn(fn(a, a), d));
    auto [e2, rest2] = recexpand(typedAp(h, k), supply);
    EXPECT_EQ(showExprSyntax(e2), showExprSyntax(mkAp(h, mkLam(v("u"), mkAp(k, v("u"), a), fn(a, a)), d)));
    EXPECT_EQ(failureText([&] { recexpand(letOf({}, v("x")), supply); }), "Expressions:142|function recexpand");

    // Parts named as expanded are taken as they are, in the mode they are named for: k stays
    // unexpanded where it is named as expanded in full, and is expanded where it is named
    // only as expanded inside.
    auto askedFor = [&](bool full) {
        return [k, full](const Expr& x, bool inFull) { return x.sameNode(k) && (full || !inFull); };
    };
    auto [kept, restKept] = recexpand(typedAp(h, k), supply, askedFor(true));
    EXPECT_TRUE(kept.arg().sameNode(k));
    EXPECT_EQ(restKept.vars.take(5), (std::vector<std::string>{"u", "v", "w"}));
    auto [walked, restWalked] = recexpand(typedAp(h, k), supply, askedFor(false));
    EXPECT_EQ(showExprSyntax(walked), showExprSyntax(e2));
    EXPECT_EQ(restWalked.vars.take(5), rest2.vars.take(5));

    // An expression standing as an application's function is expanded only inside: the same
    // as its place in the whole expression gives it.
    auto [inside, restInside] = recexpand(typedAp(h, k), supply, {}, false);
    EXPECT_EQ(showExprSyntax(inside), showExprSyntax(e2));
    auto [head, restHead] = recexpand(f, supply, {}, false);
    EXPECT_TRUE(head.sameNode(f));
    EXPECT_EQ(restHead.vars.take(5), (std::vector<std::string>{"u", "v", "w"}));
}

TEST(ExpressionNormalisation, NearbetasMerging) {
    const Type t = mkTid("t");
    Expr e1 = v("e1");
    Expr e2 = v("e2", b);
    Expr body = v("body", t);
    // (\x -> (\y -> body) e2) e1 gives one let: x = e1, y = e2.
    Expr redex = mkAp(mkLam(v("x"), mkAp(mkLam(v("y", b), body, fn(b, t)), e2, t), fn(a, t)), e1, t);
    Expr expected = mkLet(mkDList(mkOneDef(mkFun(v("x"), e1), mkOneDef(mkFun(v("y", b), e2), mkNoDef(), 0), 0)), body, t);
    EXPECT_EQ(showExprSyntax(nearbetas(redex)), showExprSyntax(expected));

    // A let whose body is a redex: the outer definitions, then the redex's.
    Expr outer = mkLet(mkDList(mkOneDef(mkFun(v("z"), v("w")), mkNoDef(), 4)),
                       mkAp(mkLam(v("y", b), body, fn(b, t)), e2, t), t);
    Expr merged = mkLet(mkDList(mkOneDef(mkFun(v("z"), v("w")), mkOneDef(mkFun(v("y", b), e2), mkNoDef(), 0), 4)),
                        body, t);
    EXPECT_EQ(showExprSyntax(nearbetas(outer)), showExprSyntax(merged));

    Expr plain = app(v("f", fn(a, a)), v("x"));
    EXPECT_TRUE(nearbetas(plain).sameNode(plain));
    EXPECT_EQ(failureText([&] { nearbetas(mkLet(mkDList(mkOneDef(mkDec(v("x"), a), mkNoDef(), 1)), body, t)); }),
              "Expressions:189|function nearbetas");
}

// Spines 100,000 long, on the ordinary stack.
TEST(ExpressionLongSpines, IterativeWalks) {
    runOnLargeStack(
        [] {
            const int n = test::inputSize(100000);
            Expr chain = consChain(n);
            EXPECT_EQ(freeNames(chain).size(), 3u);
            EXPECT_EQ(freevars(chain).size(), 3u);
            EXPECT_EQ(allNames(chain).size(), 3u);
            EXPECT_EQ(cons(chain).size(), n + 1u);
            EXPECT_TRUE(exprEq({}, {}, chain, consChain(n)));
            EXPECT_TRUE(unlet(chain).sameNode(chain));
            EXPECT_TRUE(etared(chain).sameNode(chain));
            EXPECT_TRUE(nearbetas(chain).sameNode(chain));
            EXPECT_EQ(tyvars(chain), (std::vector<std::string>{"a"}));
            // A let of many definitions.
            std::vector<std::pair<Expr, Expr>> defs;
            for (int i = 0; i < n; ++i) defs.emplace_back(v("x"), v("x"));
            Expr let = letOf(defs, v("x"));
            EXPECT_EQ(freeNames(let), (std::vector<std::string>{"x"}));
            EXPECT_EQ(nearbetas(unlet(let)).defs().defs.length(), std::size_t(n));
        },
        test::kOrdinaryStack);
}

TEST(ExpressionLongSpines, StatePassingWalks) {
    runOnLargeStack(
        [] {
            const int n = test::inputSize(100000);
            Expr chain = consChain(n);
            RenameState st{initialNameSupply(), Renaming(), Renaming()};
            auto [scrubbed, after] = scrub(chain, st);
            EXPECT_TRUE(exprEq({}, {}, scrubbed, chain));
            auto [expanded, rest] = recexpand(chain, initialNameSupply());
            EXPECT_TRUE(expanded.sameNode(chain));
            // Deeply nested lambdas: every binder renamed, in order.
            Expr nested = v("x0");
            // (Each lambda keeps a short type, so that only the expression is deep.)
            for (int i = 0; i < n; ++i) nested = mkLam(v(std::string("x").append(std::to_string(i % 7))), nested, fn(a, a));
            auto [renamed, left] = scrub(nested, st);
            EXPECT_EQ(renamed.pattern().name(), "a");
            EXPECT_EQ(freeNames(renamed).size(), 0u);
            EXPECT_EQ(left.supply.vars.take(1), (std::vector<std::string>{nthName(n)}));
        },
        test::kOrdinaryStack);
}

// A type a million arrows deep (an eighth of that under the sanitizers, still a few bytes of
// stack a level), with a scheme every thousand levels, renamed on the ordinary stack: every
// variable goes through the second renaming, those the schemes bind included.
TEST(ExpressionLongSpines, DeepTypesAreScrubbed) {
    Type deep = a;
    for (int i = 1; i <= test::inputSize(1000000); ++i) deep = i % 1000 == 0 ? mkTAbs({"a"}, fn(b, deep)) : fn(a, deep);
    RenameState st{initialNameSupply(), Renaming(), Renaming::cons({"a", "c"}, Renaming())};
    const Type scrubbed = exprType(scrub(v("x", deep), st).first);
    ASSERT_TRUE(scrubbed.isTAbs());
    EXPECT_EQ(scrubbed.boundVars(), (std::vector<std::string>{"c"}));
    EXPECT_TRUE(eqType(scrubbed.body().args()[0], b));
    EXPECT_TRUE(eqType(scrubbed.body().args()[1].args()[0], mkTid("c")));
    EXPECT_EQ(typeVarsOf(scrubbed), (std::vector<std::string>{"b"}));
}

}  // namespace
}  // namespace plim
