// The applicability test of the fast matcher in its three forms: on converted terms, read
// from the expressions, and answered from the rewriting driver's symbol tables; and the
// driver's results with the tables equal to those it gets by asking the matcher.
#include <gtest/gtest.h>

#include <limits>
#include <map>

#include "engine/calculations/calculation.h"
#include "engine/matching/fast/applicability_tables.h"
#include "engine/matching/fast/matcher.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/match_corpus.h"
#include "engine/rewriting/driver.h"
#include "engine/rewriting/driver_test_util.h"
#include "engine/rewriting/positions.h"
#include "frontend/printer/expressions.h"

namespace plim {
namespace {

enum class Outcome { No, Yes, Fails };

template <class F>
Outcome outcomeOf(F test) {
    try {
        return test() ? Outcome::Yes : Outcome::No;
    } catch (const PlimError&) {
        return Outcome::Fails;
    }
}

std::vector<Expr> leftSides(const std::vector<Rule>& rules) {
    std::vector<Expr> out;
    for (const Rule& r : rules) out.push_back(r.equation.first);
    return out;
}

// The corpus's distinct patterns and distinct terms (with their contexts), in order.
struct Parts {
    std::vector<Expr> patterns;
    std::vector<TermCtx> terms;
};

Parts corpusParts() {
    Parts out;
    std::map<std::string, bool> seenP, seenT;
    for (const corpus::MatchCase& c : corpus::matchCorpus()) {
        const std::string p = c.label.substr(0, c.label.find(" ~ "));
        const std::string t = c.label.substr(c.label.find(" ~ ") + 3) + (c.termContext.empty() ? "" : " in ctx");
        if (!seenP[p]) out.patterns.push_back(c.pattern);
        if (!seenT[t]) out.terms.push_back(TermCtx{c.term, c.termContext});
        seenP[p] = seenT[t] = true;
    }
    return out;
}

TEST(RuleSymbols, AgreeWithTheFastTestAtEveryPositionOfTheCorpus) {
    const Parts parts = corpusParts();
    int answered = 0;
    for (std::size_t from = 0; from < parts.patterns.size(); from += 6) {
        std::vector<Rule> rules;
        for (std::size_t k = from; k < std::min(from + 6, parts.patterns.size()); ++k)
            rules.push_back(rewrite_test::rule("r", parts.patterns[k], parts.patterns[k]));
        const std::optional<RuleSymbols> table = ruleSymbols(leftSides(rules));
        ASSERT_TRUE(table);
        for (const TermCtx& term : parts.terms) {
            const std::optional<std::vector<SymbolSet>> held = siteSymbols(term.expr, *table);
            if (!held) continue;
            std::size_t site = 0;
            for (List<SubPath> at = subpaths(term); !at.empty(); at = at.tail(), ++site) {
                ASSERT_LT(site, held->size());
                for (std::size_t r = 0; r < rules.size(); ++r) {
                    if (!table->required[r]) continue;
                    const Outcome expected = outcomeOf([&] { return fastApplicableExpr(rules[r].equation.first, at.head().first); });
                    EXPECT_EQ(holdsAll((*held)[site], *table->required[r]) ? Outcome::Yes : Outcome::No, expected)
                        << showExpr(rules[r].equation.first) << " against " << showExpr(at.head().first.expr);
                    ++answered;
                }
            }
            EXPECT_EQ(site, held->size());
        }
    }
    EXPECT_GT(answered, 1000);
}

// Facts known from an expression before are taken for the subtrees it shares, and every
// site ends with the facts a fresh pass gives it.
TEST(RuleSymbols, KnownFactsGiveTheFreshFacts) {
    using namespace rewrite_test;
    const Type pairT = mkTupleType({nat(), nat()});
    const Expr tuple = mkCon(mkTuple(2), fn(nat(), fn(nat(), pairT)));
    const Expr g = con("g", fn(pairT, nat()));
    const std::vector<Expr> lhss{add(peano(1), var("x")), ap(g, ap(tuple, var("x"), zero())), ap(tuple, zero())};
    const RuleSymbols table = *ruleSymbols(lhss);
    const Expr shared = add(peano(2), ap(g, ap(tuple, var("y"), peano(1))));
    const SiteSymbolFacts before = *siteSymbolFacts(shared, table);
    int reused = 0;
    const KnownSymbols known = [&](const Expr& x)
        -> std::optional<std::tuple<const SiteSymbolFacts*, std::size_t, std::size_t>> {
        if (!x.sameNode(shared)) return std::nullopt;
        ++reused;
        return std::tuple{&before, std::size_t{0}, before.held.size()};
    };
    for (const Expr& after : {mul(ap(g, ap(tuple, shared, zero())), shared), ap(ap(tuple, shared), shared),
                              shared}) {
        const SiteSymbolFacts viaKnown = *siteSymbolFacts(after, table, known);
        const SiteSymbolFacts fresh = *siteSymbolFacts(after, table);
        EXPECT_EQ(viaKnown.held, fresh.held) << showExpr(after);
        EXPECT_EQ(viaKnown.spine, fresh.spine) << showExpr(after);
    }
    EXPECT_EQ(reused, 5);
}

TEST(RuleSymbols, EdgeCases) {
    using namespace rewrite_test;
    const Expr x = var("x"), y = var("y");
    const Type pairT = mkTupleType({nat(), nat()});
    const Expr tuple = mkCon(mkTuple(2), fn(nat(), fn(nat(), pairT)));
    const Expr nan = mkCon(mkFNumber(std::numeric_limits<float>::quiet_NaN()), mkTCon("Float"));
    const Expr g = con("g", fn(pairT, nat()));
    const Expr h = con("h", fn(fn(nat(), pairT), nat()));
    const std::vector<Rule> rules{rule("nan", ap(con("k", fn(mkTCon("Float"), nat())), nan), zero()),
                                  rule("pair", ap(g, ap(tuple, x, y)), x), rule("partial", ap(h, ap(tuple, x)), x)};
    const std::optional<RuleSymbols> table = ruleSymbols(leftSides(rules));
    ASSERT_TRUE(table);
    const auto answers = [&](const Expr& e) {
        std::vector<bool> out;
        const std::vector<SymbolSet> held = *siteSymbols(e, *table);
        for (std::size_t r = 0; r < rules.size(); ++r) {
            out.push_back(holdsAll(held[0], *table->required[r]));
            EXPECT_EQ(out.back(), fastApplicableExpr(rules[r].equation.first, atTop(e))) << rules[r].label;
        }
        return out;
    };
    // A NaN is equal to nothing: the rule applies nowhere, even to its own left side.
    EXPECT_EQ(answers(rules[0].equation.first), (std::vector<bool>{false, false, false}));
    // A saturated tuple is no symbol, a partial one is.
    EXPECT_EQ(answers(ap(g, ap(tuple, zero(), zero()))), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(answers(ap(h, ap(tuple, zero()))), (std::vector<bool>{false, false, true}));
    // A lambda binder the fast matcher rejects: no table, the matcher is asked.
    EXPECT_FALSE(siteSymbols(lam(zero(), zero()), *table));
    EXPECT_TRUE(siteSymbols(lam(ap(tuple, x, y), zero()), *table));
    // A pattern holding no symbol applies anywhere.
    EXPECT_EQ(ruleSymbols({x})->required[0], SymbolSet{0});
}

TEST(SiteTerms, AreTheConversionsOfEverySubexpression) {
    using namespace rewrite_test;
    const Type pairT = mkTupleType({nat(), nat()});
    const Expr tuple = mkCon(mkTuple(2), fn(nat(), fn(nat(), pairT)));
    const Expr g = con("g", fn(pairT, nat()));
    std::vector<TermCtx> terms = corpusParts().terms;
    terms.push_back(atTop(ap(g, ap(tuple, ap(tuple, zero()).arg(), var("y")))));
    terms.push_back(TermCtx{ap(con("h", fn(fn(nat(), pairT), nat())), ap(tuple, var("y"))), {{"y", nat()}}});
    int compared = 0;
    for (const TermCtx& term : terms) {
        const auto names = fast::contextNames(term.bound);
        const std::optional<std::vector<fast::Term>> built = fast::convertSubexpressions(names, term.expr);
        EXPECT_EQ(built.has_value(), length(filter([](const SubPath& s) { return s.first.expr.isLam(); }, subpaths(term))) == 0);
        if (!built) continue;
        std::size_t site = 0;
        for (List<SubPath> at = subpaths(term); !at.empty(); at = at.tail(), ++site) {
            ASSERT_LT(site, built->size());
            EXPECT_TRUE(fast::termEq((*built)[site], fast::convertPrime(names, at.head().first.expr)))
                << showExpr(at.head().first.expr);
            ++compared;
        }
        EXPECT_EQ(site, built->size());
    }
    EXPECT_GT(compared, 100);
}

// Terms known from an expression before are taken as they are: the same nodes, at the same
// sites as converting afresh gives them.
TEST(SiteTerms, KnownSubtermsAreReused) {
    using namespace rewrite_test;
    const Type pairT = mkTupleType({nat(), nat()});
    const Expr tuple = mkCon(mkTuple(2), fn(nat(), fn(nat(), pairT)));
    const Expr g = con("g", fn(pairT, nat()));
    const Expr shared = add(peano(2), ap(g, ap(tuple, var("y"), peano(1))));
    const std::vector<fast::Term> before = *fast::convertSubexpressions({"y"}, shared);
    const Expr after = mul(ap(g, ap(tuple, shared, zero())), shared);
    int asked = 0;
    const fast::KnownSubterms known = [&](const Expr& x) -> std::span<const fast::Term> {
        ++asked;
        if (!x.sameNode(shared)) return {};
        return before;
    };
    const std::vector<fast::Term> reused = *fast::convertSubexpressions({"y"}, after, known);
    const std::vector<fast::Term> fresh = *fast::convertSubexpressions({"y"}, after);
    ASSERT_EQ(reused.size(), fresh.size());
    std::size_t same = 0;
    for (std::size_t k = 0; k < fresh.size(); ++k) {
        EXPECT_TRUE(fast::termEq(reused[k], fresh[k])) << k;
        for (const fast::Term& b : before) same += reused[k].sameNode(b) ? 1 : 0;
    }
    EXPECT_EQ(same, 2 * before.size());  // both occurrences
    EXPECT_GT(asked, 0);
}

// The fast matcher under another handle is asked every question the tables answer for it.
TEST(RewriteApplicable, TablesGiveTheDerivationsTheMatcherGives) {
    using namespace rewrite_test;
    const Expr x = var("x");
    const auto f = [](const Expr& a) { return ap(con("f", fn(nat(), nat())), a); };
    std::vector<Rule> theory = peanoTheory();
    theory.push_back(rule("cond", f(x), zero(), {{add(x, zero()), x}, {add(zero(), add(zero(), x)), x}}));
    auto asked = std::make_shared<int>(0);
    Matcher copy = *fastMatcher();
    copy.ruleTable = nullptr;  // a record that changes the test gives up the tables
    copy.applicable = [asked](const Expr& p, const TermCtx& t) {
        ++*asked;
        return fastMatcher()->applicable(p, t);
    };
    const MatcherRef counting = std::make_shared<const Matcher>(copy);
    const Expr y = var("y");
    // Plain, conditional, and with a redex and a lambda in the start expression.
    for (const Expr& e : {mul(peano(3), peano(2)), f(zero()), add(f(peano(1)), f(zero())),
                          ap(lam(y, add(y, peano(1))), peano(2)), ap(lam(y, mul(y, y)), peano(1))}) {
        const Derivation viaTables = rewriteDefinition(fastMatcher(), theory, e);
        const Derivation viaMatcher = rewriteDefinition(counting, theory, e);
        EXPECT_EQ(showCalculation(80, 0, viaTables.start, viaTables.steps),
                  showCalculation(80, 0, viaMatcher.start, viaMatcher.steps));
        EXPECT_EQ(length(viaTables.failures), length(viaMatcher.failures));
    }
    EXPECT_GT(*asked, 0);
}

}  // namespace
}  // namespace plim
