#include "lang/operator_parsers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace plim {
namespace {

ScanSettings settings(bool truthKeywords = true) {
    ScanSettings s;
    s.keywords = {"mod"};
    if (truthKeywords) {
        s.keywords.push_back("True");
        s.keywords.push_back("False");
    }
    s.symbolChars = "[](),";
    s.operatorChars = "!^.*/+-:=<>&|";
    return s;
}

template <class T>
ParseResult<T> run(const Parser<T>& p, const std::string& text, bool truthKeywords = true) {
    return parse(p, scanTokens(settings(truthKeywords), text));
}

std::uint32_t bits(float x) {
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

TEST(OperatorParser, EverySymbolGivesItsOperator) {
    for (Op op : allOps()) {
        if (op == Op::App) continue;
        const auto r = run(operatorParser(), std::string(opSymbol(op)));
        EXPECT_EQ(r.value, op) << opSymbol(op);
        EXPECT_EQ(r.log, "") << opSymbol(op);
        EXPECT_TRUE(r.rest.empty());
    }
    EXPECT_EQ(operatorParser().firsts().size(), 23u);
    EXPECT_EQ(operatorParser().table().front().symbol.text, "!");
    EXPECT_EQ(operatorParser().table().back().symbol.text, "||");
}

TEST(OperatorParser, SimilarSymbolsAreDifferentTokens) {
    EXPECT_EQ(run(operatorParser(), "+.").value, Op::FPlus);
    EXPECT_EQ(run(operatorParser(), "+").value, Op::Plus);
    EXPECT_EQ(run(operatorParser(), "++").value, Op::Cat);
    EXPECT_EQ(run(operatorParser(), "^").value, Op::Exp);
    EXPECT_EQ(run(operatorParser(), "^.").value, Op::FExp);
}

TEST(OperatorParser, MissingOperatorIsRepairedWithOr) {
    const auto r = run(operatorParser(), "");
    EXPECT_EQ(r.value, Op::Or);
    EXPECT_EQ(r.log, "Operator || inserted before endoffile\n");
    // An unknown operator and an identifier spelled mod are deleted.
    const auto eq = run(operatorParser(), "= x");
    EXPECT_EQ(eq.value, Op::Or);
    EXPECT_EQ(eq.log,
              "Operator = at line 1 deleted\n"
              "Lower case identifier x at line 1 deleted\n"
              "Operator || inserted before endoffile\n");
    ScanSettings noMod = settings();
    noMod.keywords = {};
    const auto m = parse(operatorParser(), scanTokens(noMod, "mod"));
    EXPECT_EQ(m.value, Op::Or);
    EXPECT_EQ(m.log, "Lower case identifier mod at line 1 deleted\nOperator || inserted before endoffile\n");
}

TEST(ConstantParser, Integers) {
    for (const char* text : {"7", "007"}) {
        const auto r = run(pConstant(), text);
        EXPECT_TRUE(eqConstant(r.value, mkNumber(7))) << text;
        EXPECT_EQ(r.log, "");
    }
    EXPECT_TRUE(eqConstant(run(pConstant(), "4294967296").value, mkNumber(0)));
    EXPECT_TRUE(eqConstant(run(pConstant(), "2147483648").value, mkNumber(-2147483647 - 1)));
}

TEST(ConstantParser, Floats) {
    const Constant three = run(pConstant(), "3.0").value;
    ASSERT_EQ(three.kind(), ConstantKind::FNumber);
    EXPECT_EQ(three.fnumber(), 3.0f);
    EXPECT_EQ(bits(run(pConstant(), "1.050").value.fnumber()), bits(run(pConstant(), "1.05").value.fnumber()));
    const float tenth = 1.0f / 10.0f;
    EXPECT_EQ(bits(run(pConstant(), "0.1").value.fnumber()), bits(tenth));
    const float huge = run(pConstant(), "1" + std::string(50, '0') + ".0").value.fnumber();
    EXPECT_TRUE(std::isinf(huge) && huge > 0);
}

TEST(ConstantParser, PointAfterAnIntegerIsAlwaysTheDecimalPoint) {
    const auto r = run(pConstant(), "3 . f");
    ASSERT_EQ(r.value.kind(), ConstantKind::FNumber);
    EXPECT_EQ(r.value.fnumber(), 3.1f);
    EXPECT_EQ(r.log, "Lower case identifier f at line 1 deleted\nInteger 1 inserted before endoffile\n");
    // A minus sign is a separate operator token.
    const auto minus = run(operatorParser(), "-3");
    EXPECT_EQ(minus.value, Op::Min);
    ASSERT_EQ(minus.rest.size(), 1u);
}

TEST(ConstantParser, TruthValuesAndConstructors) {
    EXPECT_TRUE(eqConstant(run(pConstant(), "True").value, mkBoolean(true)));
    EXPECT_TRUE(eqConstant(run(pConstant(), "False").value, mkBoolean(false)));
    EXPECT_TRUE(eqConstant(run(pConstant(), "Cons").value, mkConstr("Cons")));
    EXPECT_TRUE(eqConstant(run(pConstant(), "True", false).value, mkConstr("True")));
}

TEST(ConstantParser, RepairDefaults) {
    const auto c = run(pConstant(), "");
    EXPECT_TRUE(eqConstant(c.value, mkConstr("?UC?")));
    EXPECT_EQ(c.log, "Upper case identifier ?UC? inserted before endoffile\n");
    const auto n = run(pNumber(), "");
    EXPECT_TRUE(eqConstant(n.value, mkNumber(1)));
    EXPECT_EQ(n.log, "Integer 1 inserted before endoffile\n");
    const auto b = run(pBoolean(), "");
    EXPECT_FALSE(b.value);
    EXPECT_EQ(b.log, "Keyword False inserted before endoffile\n");
    const auto f = run(pFraction(), "");
    EXPECT_FALSE(f.value.has_value());
    EXPECT_EQ(f.log, "");
    EXPECT_EQ(pNumber().firsts().size(), 1u);
    const auto& firsts = pConstant().firsts();
    ASSERT_EQ(firsts.size(), 4u);
    EXPECT_EQ(firsts[0].kind, TokenKind::TkInteger);
    EXPECT_EQ(firsts[1].text, "True");
    EXPECT_EQ(firsts[2].text, "False");
    EXPECT_EQ(firsts[3].kind, TokenKind::TkUpperId);
}

TEST(BracketList, EmptyOneAndMany) {
    const Parser<std::vector<std::string>> list = pBracketList(pLowerId());
    const auto none = run(list, "[]");
    EXPECT_TRUE(none.value.empty());
    EXPECT_EQ(none.log, "");
    EXPECT_EQ(run(list, "[x]").value, (std::vector<std::string>{"x"}));
    const auto three = run(list, "[x, y, z]");
    EXPECT_EQ(three.value, (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(three.log, "");
}

TEST(BracketList, RepairsThroughTheItemParser) {
    const Parser<std::vector<std::string>> list = pBracketList(pLowerId());
    const auto trailing = run(list, "[x,]");
    EXPECT_EQ(trailing.value, (std::vector<std::string>{"x", "?LC?"}));
    EXPECT_EQ(trailing.log, "Lower case identifier ?LC? inserted before Symbol   ] at line 1\n");
    const auto open = run(list, "[x");
    EXPECT_EQ(open.value, (std::vector<std::string>{"x"}));
    EXPECT_EQ(open.log, "Symbol   ] inserted before endoffile\n");
}

}  // namespace
}  // namespace plim
