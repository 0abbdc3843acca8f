// The printer's layouts under the layout library against its lazy rules and against the
// exhaustive library it replaced: random expressions laid out at widths 1 to 200 must give the
// same text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/printer/expressions.h"
#include "lang/constants.h"
#include "lang/syntax.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"
#include "layout/differential.h"

namespace plim {
namespace {

using namespace difftest;

// --- expressions --------------------------------------------------------------------------

Expr var(const std::string& n) { return mkVar(n, placeholderType()); }
Expr con(Constant c) { return mkCon(std::move(c), placeholderType()); }
Expr ap(Expr f, Expr x) { return mkAp(std::move(f), std::move(x), placeholderType()); }

const Op kOps[] = {Op::Plus, Op::Tim, Op::Cons, Op::Cat, Op::Eq, Op::And};

// Variables, applications of variables, operators, conditionals, pairs and lambdas.
Expr randomExpr(Random& r, int budget) {
    const unsigned kind = budget <= 1 ? 0 : r.below(6);
    const std::string name(1 + r.below(3), static_cast<char>('a' + r.below(26)));
    const int half = (budget - 1) / 2, third = (budget - 1) / 3;
    switch (kind) {
    case 0: return var(name);
    case 1: {
        Expr e = var(name);
        for (unsigned i = 1 + r.below(3); i > 0; --i) e = ap(e, randomExpr(r, half));
        return e;
    }
    case 2: return ap(ap(con(mkBinop(kOps[r.below(6)])), randomExpr(r, half)), randomExpr(r, half));
    case 3: return ap(ap(ap(con(mkIf()), randomExpr(r, third)), randomExpr(r, third)), randomExpr(r, third));
    case 4: return ap(ap(con(mkTuple(2)), randomExpr(r, half)), randomExpr(r, half));
    default: return mkLam(var(name), randomExpr(r, budget - 1), placeholderType());
    }
}

// The printer's layout of those expressions, over either library.
template <class L>
typename L::D printed(Precedence p, const Expr& e) {
    if (e.isVar()) return L::text(e.name());
    if (e.isLam()) {
        auto head = L::besideSpace(L::text("\\"), L::text(e.pattern().name()));
        Expr body = e.body();
        for (; body.isLam(); body = body.body()) head = L::besideSpace(head, L::text(body.pattern().name()));
        head = L::beside(head, L::text(" ->"));
        return L::hv({L::beside(L::text("("), head), L::beside(L::text(" "), printed<L>(0, body)), L::text(")")});
    }
    std::vector<Expr> args;
    Expr head = e;
    for (; head.isAp(); head = head.fun()) args.insert(args.begin(), head.arg());
    auto application = [&](typename L::D h) {
        std::vector<typename L::D> ds;
        for (const Expr& a : args) ds.push_back(printed<L>(100, a));
        auto d = L::besideSpace(h, L::hvSp(ds));
        return p >= 100 ? L::parens(d) : d;
    };
    if (head.isVar()) return application(L::text(head.name()));
    const Constant& c = head.constant();
    if (c.kind() == ConstantKind::If) {
        auto d = L::cond(printed<L>(0, args[0]), printed<L>(0, args[1]), printed<L>(0, args[2]));
        return p >= 1 ? L::parens(d) : d;
    }
    if (c.kind() == ConstantKind::Tuple) return tightBlock<L>({printed<L>(0, args[0]), printed<L>(0, args[1])});
    const Precedence q = opPrecedenceInteger(c.op());
    const std::string symbol = printedOpSymbol(c.op());
    typename L::D d = args[0].isVar() && args[1].isVar()
                          ? L::besideSpace(L::besideSpace(L::text(args[0].name()), L::text(symbol)), L::text(args[1].name()))
                          : L::hvSp({printed<L>(q, args[0]), L::text(symbol), printed<L>(q, args[1])});
    return q <= p ? L::parens(d) : d;
}

// On a large stack: the exhaustive evaluation recurses deeply on some layouts.
TEST(PrettyDifferential, RandomExpressions) {
    runOnLargeStack([] {
        Random r{987654321};
        for (int round = 0; round < test::rounds(10000) && !::testing::Test::HasFatalFailure(); ++round) {
            const Expr e = randomExpr(r, 3 + static_cast<int>(r.below(24)));
            const std::string what = "expression " + std::to_string(round);
            const LayoutInt w = 1 + r.below(200);
            // The mirror above is the printer's own layout ...
            const std::string printedText = renderDoc(ppExpr(0, e), w);
            EXPECT_EQ(printedText, Pruned::render(printed<Pruned>(0, e), w)) << what;
            // ... and gives the same text as it runs and by the lazy rules.
            expectSameTexts(printed<Pruned>(0, e), printed<Exhaustive>(0, e), r, what);
        }
        return 0;
    });
}

}  // namespace
}  // namespace plim
