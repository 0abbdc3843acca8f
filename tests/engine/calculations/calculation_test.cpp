#include "engine/calculations/calculation.h"

#include <gtest/gtest.h>

#include "engine/rewriting/driver_test_util.h"
#include "frontend/printer/expressions.h"
#include "layout/document.h"

namespace plim {
namespace {

using namespace rewrite_test;

Derivation derivation(const Expr& start, std::vector<CalcStep> steps) {
    return Derivation{start, fromVector(std::move(steps)), {}};
}

MatchResult noMatch() { return MatchResult{{}, identitySubst()}; }

std::string text(LayoutInt width, const Derivation& d) { return showCalculation(width, 0, d.start, d.steps); }

TEST(CalculationText, WithoutStepsEndsWithANewline) {
    EXPECT_EQ(text(80, derivation(add(zero(), zero()), {})), "   add Z Z\n");
}

TEST(CalculationText, PlainSteps) {
    const Derivation d = derivation(add(zero(), peano(1)), {{plainStep("addZ", noMatch()), peano(1)},
                                                            {plainStep("", noMatch()), zero()}});
    EXPECT_EQ(text(80, d), "   add Z (S Z)\n= { addZ }\n   S Z\n= {  }\n   Z");
}

TEST(CalculationText, ConditionalStepWithoutNestedDerivations) {
    const Derivation plain = derivation(peano(1), {{plainStep("r", noMatch()), zero()}});
    const Derivation cond = derivation(peano(1), {{conditionalStep("r", noMatch(), {}), zero()}});
    EXPECT_EQ(text(80, plain), "   S Z\n= { r }\n   Z");
    EXPECT_EQ(text(80, cond), "   S Z\n= { r\n  }\n   Z");
}

TEST(CalculationText, NestedDerivationsAreIndentedThreeColumnsDeeper) {
    const Derivation first = derivation(add(zero(), zero()), {{plainStep("addZ", noMatch()), zero()}});
    const Derivation second = derivation(zero(), {});
    const Derivation inner = derivation(peano(1), {{conditionalStep("c", noMatch(), {first, second}), zero()}});
    EXPECT_EQ(text(80, inner),
              "   S Z\n"
              "= { c\n"
              "\n"
              "      add Z Z\n"
              "   = { addZ }\n"
              "      Z\n"
              "\n"
              "      Z\n"
              "\n"
              "  }\n"
              "   Z");
    // One level further: nested inside a nested derivation.
    const Derivation outer = derivation(peano(2), {{conditionalStep("o", noMatch(), {inner}), zero()}});
    EXPECT_EQ(text(80, outer),
              "   S (S Z)\n"
              "= { o\n"
              "\n"
              "      S Z\n"
              "   = { c\n"
              "\n"
              "         add Z Z\n"
              "      = { addZ }\n"
              "         Z\n"
              "\n"
              "         Z\n"
              "\n"
              "     }\n"
              "      Z\n"
              "  }\n"
              "   Z");
}

TEST(CalculationText, NegativeWidthReplacesEveryExpression) {
    const Derivation nested = derivation(zero(), {{plainStep("n", noMatch()), zero()}});
    const Derivation d = derivation(peano(1), {{conditionalStep("c", noMatch(), {nested}), zero()}});
    const std::string err = "<Error: negative page width >";
    EXPECT_EQ(text(-1, d), err + "\n= { c\n\n" + err + "\n   = { n }\n" + err + "\n  }\n" + err);
}

TEST(CalculationText, NarrowWidthBreaksTheExpressionAtItsIndentation) {
    Expr e = zero();
    for (int i = 0; i < 12; ++i) e = add(peano(i % 3), e);
    const std::string t = text(30, derivation(e, {}));
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = t.find('\n', at)) != std::string::npos; ++at) {
        ++lines;
        if (at + 1 < t.size()) {
            EXPECT_EQ(t.substr(at + 1, 3), "   ");
        }
    }
    EXPECT_GT(lines, 1u);
    EXPECT_EQ(t.substr(0, 3), "   ");
}

TEST(CalculationText, StreamsPiecesThatMakeUpTheText) {
    const Derivation d = derivation(add(zero(), peano(1)), {{plainStep("a", noMatch()), peano(1)},
                                                            {plainStep("b", noMatch()), zero()}});
    std::vector<std::string> pieces;
    writeCalculation(80, 0, d.start, d.steps, [&](std::string_view p) { pieces.emplace_back(p); });
    EXPECT_EQ(pieces, (std::vector<std::string>{"   add Z (S Z)\n", "= { a }\n   S Z", "\n= { b }\n   Z"}));
}

// The text of an expression as the document of its display form indented, built and rendered
// here in one piece.
std::string indentedDocText(LayoutInt width, LayoutInt n, const Expr& e) {
    return renderDoc(indentDoc(n + 3, ppExpr(0, displayForm(e))), width);
}

// Expressions that fit, that fit only broken over lines, that do not fit (markers, alone or
// beside text) and that show a where block, at widths around and below the indentation.
std::vector<Expr> expressionsOfEveryFit() {
    Expr chain = zero();
    for (int i = 0; i < 14; ++i) chain = add(peano(i % 4), chain);
    return {zero(), peano(30), chain, add(peano(3), peano(3)), add(peano(25), chain), ap(lam(var("x"), succ(var("x"))), chain)};
}

TEST(CalculationText, EachExpressionIsItsDocumentIndentedAtEveryWidth) {
    for (const Expr& e : expressionsOfEveryFit())
        for (LayoutInt n : {0, 3})
            for (LayoutInt width : {0, 1, 2, 3, 4, 5, 6, 8, 12, 20, 30, 50, 80, 200, 100000})
                EXPECT_EQ(layoutExpr(width, n, e), indentedDocText(width, n, e)) << "width " << width << ", n " << n;
}

TEST(CalculationText, ADerivationThatStopsAndStartsFittingKeepsEachExpressionsText) {
    // Long runs of expressions that do not fit, then fit, then do not again.
    const std::vector<Expr> kinds = expressionsOfEveryFit();
    std::vector<CalcStep> steps;
    std::string expected = indentedDocText(12, 0, kinds[0]);
    for (int i = 0; i < 200; ++i) {
        const Expr& e = kinds[(i / 40) % 2 == 0 ? 4 : 1 + i % 2];
        steps.push_back({plainStep("r", noMatch()), e});
        expected += "\n= { r }\n" + indentedDocText(12, 0, e);
    }
    EXPECT_EQ(text(12, derivation(kinds[0], std::move(steps))), expected);
}

TEST(DisplayForm, SharesRepeatsAndShowsRedexesAsLets) {
    EXPECT_EQ(layoutExpr(80, 0, add(peano(1), peano(1))), "   add a a\n   where a = S Z");
    const Expr x = var("x");
    EXPECT_EQ(layoutExpr(80, 0, ap(lam(x, succ(x)), zero())), "   S x\n   where x = Z");
}

}  // namespace
}  // namespace plim
