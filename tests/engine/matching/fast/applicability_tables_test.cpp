// The applicability test of the fast matcher in its three forms: on converted terms, read
// from the expressions, and answered from the rewriting driver's site tables; and the
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
    std::vector<std::vector<TypedVar>> contexts;  // of each term
};

Parts corpusParts() {
    Parts out;
    std::map<std::string, bool> seenP, seenT;
    for (const corpus::MatchCase& c : corpus::matchCorpus()) {
        const std::string p = c.label.substr(0, c.label.find(" ~ "));
        const std::string t = c.label.substr(c.label.find(" ~ ") + 3) + (c.termContext.empty() ? "" : " in ctx");
        if (!seenP[p]) out.patterns.push_back(c.pattern);
        if (!seenT[t]) {
            out.terms.push_back(TermCtx{c.term, c.termContext});
            out.contexts.push_back(c.termContext);
        }
        seenP[p] = seenT[t] = true;
    }
    return out;
}

// The site table's answer at every subexpression of the term, beside the matcher's.
void expectTableAnswers(const SiteTable& sites, const std::vector<Rule>& rules, const TermCtx& term, int& answered) {
    for (List<SubPath> at = subpaths(term); !at.empty(); at = at.tail()) {
        const TermCtx& sub = at.head().first;
        for (std::size_t r = 0; r < rules.size(); ++r) {
            const Outcome expected = outcomeOf([&] { return fastApplicableExpr(rules[r].equation.first, sub); });
            EXPECT_EQ(outcomeOf([&] { return sites.applicable(r, sub.expr, sub.bound); }), expected)
                << showExpr(rules[r].equation.first) << " against " << showExpr(sub.expr);
            ++answered;
        }
    }
}

TEST(RuleSymbols, AgreeWithTheFastTestAtEveryPositionOfTheCorpus) {
    const Parts parts = corpusParts();
    int answered = 0;
    for (std::size_t from = 0; from < parts.patterns.size(); from += 6) {
        std::vector<Rule> rules;
        for (std::size_t k = from; k < std::min(from + 6, parts.patterns.size()); ++k)
            rules.push_back(rewrite_test::rule("r", parts.patterns[k], parts.patterns[k]));
        ASSERT_TRUE(ruleSymbols(leftSides(rules)));
        const std::shared_ptr<const RuleTable> table = fastRuleTable(leftSides(rules));
        for (std::size_t k = 0; k < parts.terms.size(); ++k)
            expectTableAnswers(*table->sites(parts.terms[k].expr, parts.contexts[k]), rules, parts.terms[k], answered);
    }
    EXPECT_GT(answered, 1000);
}

// The table of an expression built from the parts of one before it answers at every site as
// a fresh table does.
TEST(RuleSymbols, NextTablesGiveTheFreshAnswers) {
    using namespace rewrite_test;
    const Type pairT = mkTupleType({nat(), nat()});
    const Expr tuple = mkCon(mkTuple(2), fn(nat(), fn(nat(), pairT)));
    const Expr g = con("g", fn(pairT, nat()));
    const std::vector<Rule> rules{rule("add", add(peano(1), var("x")), zero()),
                                  rule("pair", ap(g, ap(tuple, var("x"), zero())), zero()),
                                  rule("partial", ap(tuple, zero()), zero())};
    const std::shared_ptr<const RuleTable> table = fastRuleTable(leftSides(rules));
    const Expr shared = add(peano(2), ap(g, ap(tuple, zero(), peano(1))));
    const std::shared_ptr<const SiteTable> before = table->sites(shared, {});
    int answered = 0;
    for (const Expr& after : {mul(ap(g, ap(tuple, shared, zero())), shared), ap(ap(tuple, shared), shared),
                              shared}) {
        expectTableAnswers(*before->next(after, {}), rules, atTop(after), answered);
        expectTableAnswers(*table->sites(after, {}), rules, atTop(after), answered);
    }
    EXPECT_GT(answered, 50);
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
    const std::optional<RuleSymbols> symbols = ruleSymbols(leftSides(rules));
    ASSERT_TRUE(symbols);
    for (const auto& required : symbols->required) EXPECT_TRUE(required);
    const std::shared_ptr<const RuleTable> table = fastRuleTable(leftSides(rules));
    const auto answers = [&](const Expr& e) {
        std::vector<bool> out;
        const std::shared_ptr<const SiteTable> sites = table->sites(e, {});
        for (std::size_t r = 0; r < rules.size(); ++r) {
            out.push_back(sites->applicable(r, e, {}));
            EXPECT_EQ(out.back(), fastApplicableExpr(rules[r].equation.first, atTop(e))) << rules[r].label;
        }
        return out;
    };
    // A NaN is equal to nothing: the rule applies nowhere, even to its own left side.
    EXPECT_EQ(answers(rules[0].equation.first), (std::vector<bool>{false, false, false}));
    // A saturated tuple is no symbol, a partial one is.
    EXPECT_EQ(answers(ap(g, ap(tuple, zero(), zero()))), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(answers(ap(h, ap(tuple, zero()))), (std::vector<bool>{false, false, true}));
    // The fast matcher takes a lambda binder that is a variable or a tuple of variables only.
    EXPECT_FALSE(binderFits(zero()));
    EXPECT_TRUE(binderFits(ap(tuple, x, y)));
    EXPECT_FALSE(binderFits(ap(tuple, x)));
    // A pattern holding no symbol applies anywhere.
    EXPECT_EQ(ruleSymbols({x})->required[0], SymbolSet{0});
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
