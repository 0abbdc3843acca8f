#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/printer/printer_test_util.h"
#include "frontend/printer/theories.h"
#include "layout/combinators.h"

namespace plim {
namespace {

using namespace pptest;

const Expr f = var("f"), g = var("g"), h = var("h"), x = var("x"), xs = var("xs");

// map f [] = []
RuleTriple mapNil() { return {"mapnil", {}, {call(var("map"), {f, nil()}), nil()}}; }
// h (f x) = g x, if { h x = g x; x = x }
RuleTriple fusion() {
    return {"fus", {{ap(h, x), ap(g, x)}, {x, x}}, {ap(h, ap(f, x)), ap(g, x)}};
}

// A rule without conditions is one line when it fits; a condition block follows the
// equation on its line, its lines starting in the column of "{".
TEST(PrintTheory, RulesAndConditionBlocks) {
    EXPECT_EQ(showEquation("mapnil", {}, mapNil().equation), "mapnil: map f [] = []");
    EXPECT_EQ(showEquation("", {}, {x, x}), ": x = x");
    EXPECT_EQ(showEquation("abc", {{x, x}}, {ap(f, x), ap(g, x)}), "abc: f x = g x, if {\n                   x = x\n                   }");
    EXPECT_EQ(showEquation(fusion().label, fusion().conditions, fusion().equation),
              "fus: h (f x) = g x, if {\n"
              "                       h x = g x;\n"
              "                       x = x\n"
              "                       }");
}

// A label of three characters and an equation of seven: the block's lines start in column 17.
TEST(PrintTheory, ConditionBlockInColumnSeventeen) {
    const std::string block(17, ' ');
    EXPECT_EQ(showEquation("abc", {{ap(f, x), ap(g, x)}, {x, x}}, {ap(f, x), x}),
              "abc: f x = x, if {\n" + block + "f x = g x;\n" + block + "x = x\n" + block + "}");
}

// Too narrow for the equation after the label: the equation starts below the label, in its
// column, and the block still follows it.
TEST(PrintTheory, NarrowRulesBreakPerPart) {
    EXPECT_EQ(renderDoc(ppCondEquation(mapNil()), 15), "mapnil: \nmap f [] = []");
    EXPECT_EQ(renderDoc(ppCondEquation(RuleTriple{"abc", {{x, x}}, {ap(f, x), ap(g, x)}}), 12),
              "abc: \nf x = g x\n, if {\n     x = x\n     }");
}

TEST(PrintTheory, ShowTheorySeparatesRulesByAnEmptyLine) {
    EXPECT_EQ(showTheory({}), "");
    EXPECT_EQ(showTheory({mapNil()}), "mapnil: map f [] = []");
    EXPECT_EQ(showTheory({mapNil(), fusion()}),
              "mapnil: map f [] = [];\n\n"
              "fus: h (f x) = g x, if {\n"
              "                       h x = g x;\n"
              "                       x = x\n"
              "                       }");
}

TEST(PrintTheory, TheoryBodyWithDefinitionHeaders) {
    const Ceq ceq = mkCeq("lab", mkOneEq(mkEqn(x, x), mkNoEq()), mkEqn(ap(f, x), g), 7);
    const Theo theo = mkCeqTheo(ceq, mkDefnTheo("map", mkDefnTheo("(++)", mkNoTheo())));
    EXPECT_EQ(renderDoc(ppTheo(theo), 80),
              "lab: f x = g, if {\n                 x = x\n                 };\n\nDEFINITION map;\n\nDEFINITION (++)");
    EXPECT_EQ(renderDoc(ppTheo(mkNoTheo()), 80), "");
    EXPECT_EQ(renderDoc(ppTheo(mkDefnTheo("map", mkNoTheo())), 80), "DEFINITION map");
}

TEST(PrintTheory, TheoryItemsFollowTheChain) {
    const Ceq ceq = mkCeq("r", mkOneEq(mkEqn(x, g), mkOneEq(mkEqn(g, x), mkNoEq())), mkEqn(f, g), 2);
    const std::vector<TheoryItem> items = theoItems(mkDefnTheo("d", mkCeqTheo(ceq, mkNoTheo())));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(std::get<TheoryDefinitionItem>(items[0]).name, "d");
    const RuleTriple& rule = std::get<RuleTriple>(items[1]);
    EXPECT_EQ(rule.label, "r");
    ASSERT_EQ(rule.conditions.size(), 2u);
    EXPECT_TRUE(rule.conditions[0].first.sameNode(x));
    EXPECT_TRUE(rule.conditions[1].first.sameNode(g));
    EXPECT_TRUE(rule.equation.first.sameNode(f));
    EXPECT_EQ(renderDoc(ppCondEquation(ceq), 160), renderDoc(ppCondEquation(rule), 160));
}

// The theory text does not follow the interpreter's width: it is always laid out at 160.
TEST(PrintTheory, FixedWidth) {
    std::vector<Expr> args;
    for (int i = 0; i < 12; ++i) args.push_back(var("argument" + std::to_string(i)));
    const RuleTriple wide{"w", {}, {call(f, args), x}};
    const std::string equation = "f argument0 argument1 argument2 argument3 argument4 argument5 argument6 "
                                 "argument7 argument8 argument9 argument10 argument11 = x";
    EXPECT_EQ(showTheory({wide}), "w: " + equation);
    EXPECT_EQ(showEquation(wide.label, wide.conditions, wide.equation), "w: " + equation);
    EXPECT_NE(renderDoc(ppTheoryItem(wide), 80), "w: " + equation);
}

// At a width too narrow for every arrangement of a conditional rule, the rule is the too-wide
// marker of its width, never nothing: here the first condition's right side, indented below its
// left side, has no candidate narrow enough, and no part of the rule is flagged too wide.  The
// lazy rules give the same text.
TEST(PrintTheory, NothingFitsGivesTheMarker) {
    const Expr tru = con(mkBoolean(true));
    const RuleTriple rule{"lab",
                          {{lam(x, lam(var("y"), var("longername"))), call(con(mkIf()), {nil(), tru, tru})},
                           {nil(), lam(x, xs)}},
                          {nil(), nil()}};
    const std::string printed = renderDoc(ppCondEquation(rule), 20);
    EXPECT_EQ(printed, "<****************>");
}

// Random conditional rules at narrow widths: the fast engine prints what the lazy rules print,
// and a rule never prints as nothing.
Expr randomSide(unsigned& seed, int budget) {
    seed = seed * 1103515245u + 12345u;
    const unsigned pick = (seed >> 16) % (budget <= 1 ? 3u : 7u);
    const Expr tru = con(mkBoolean(true));
    const std::string names[] = {"x", "xs", "longername", "f"};
    switch (pick) {
    case 0: return nil();
    case 1: return tru;
    case 2: return var(names[(seed >> 8) % 4]);
    case 3: return lam(var(names[(seed >> 8) % 2]), randomSide(seed, budget - 1));
    case 4: return call(con(mkIf()), {randomSide(seed, budget / 3), randomSide(seed, budget / 3), randomSide(seed, budget / 3)});
    case 5: return ap(randomSide(seed, budget / 2), randomSide(seed, budget / 2));
    default: return cons(randomSide(seed, budget / 2), randomSide(seed, budget / 2));
    }
}

TEST(PrintTheory, NarrowRulesFollowTheLazyRules) {
    unsigned seed = 2024;
    for (int round = 0; round < 150; ++round) {
        std::vector<std::pair<Expr, Expr>> conditions;
        for (unsigned k = round % 3; k > 0; --k) conditions.emplace_back(randomSide(seed, 6), randomSide(seed, 6));
        const RuleTriple rule{"lab", conditions, {randomSide(seed, 5), randomSide(seed, 5)}};
        for (LayoutInt width = 16; width <= 32; width += 4) {
            const std::string printed = renderDoc(ppCondEquation(rule), width);
            EXPECT_FALSE(printed.empty()) << "rule " << round << " at width " << width;
        }
    }
}

}  // namespace
}  // namespace plim
