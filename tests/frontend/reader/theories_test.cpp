// The theory grammar and parseTheory: items, lines, DEFINITION headers and repairs.
#include <gtest/gtest.h>

#include "frontend/reader/reader.h"
#include "frontend/reader/theories.h"
#include "frontend/reader/reader_test_util.h"
#include "lang/expressions.h"

namespace plim {
namespace {

using test::readTheory;
using test::showTheo;

TEST(ReadTheories, EquationsWithLabelsLinesAndConditions) {
    auto r = readTheory("catnil: xs ++ [] = xs;\nhd\n:\nhead (x : xs) = x, if { ok x = True; ok xs = True }");
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(showTheo(r.value.elems),
              "catnil @1: (xs ++ []) = xs | "
              "hd @3: (head (x : xs)) = x if {(ok x) = True; (ok xs) = True}");
}

TEST(ReadTheories, DefinitionHeadersKeepSourceOrder) {
    auto r = readTheory("DEFINITION f, (++), .;\na: x = y;\nDEFINITION g");
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(showTheo(r.value.elems), "DEFINITION f | DEFINITION (++) | DEFINITION (.) | a @2: x = y | DEFINITION g");
}

TEST(ReadTheories, EquationSidesBecomeLetFree) {
    auto r = readTheory("w: f = y where y = 1");
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(showTheo(r.value.elems), "w @1: f = ((\\y -> y) 1)");
    // The grammar itself keeps the local definition.
    auto raw = test::runGrammar(pTheory(), "w: f = y where y = 1");
    EXPECT_EQ(showTheo(raw.value.elems), "w @1: f = (let {y = 1 @0} in y)");
}

TEST(ReadTheories, RepairLogs) {
    auto empty = readTheory("");
    EXPECT_EQ(empty.log, "\"theory\" inserted before endoffile\n");
    EXPECT_TRUE(empty.value.elems.isEnd());
    EXPECT_EQ(readTheory("{- nothing -}\n").log, "\"theory\" inserted before endoffile\n");

    auto trailing = readTheory("a: x = y;");
    EXPECT_EQ(trailing.log,
              "Keyword DEFINITION insertedSymbol   ( insertedOperator ++ insertedSymbol   ) inserted before endoffile\n");
    EXPECT_EQ(showTheo(trailing.value.elems), "a @1: x = y | DEFINITION (++)");

    auto number = readTheory("5 a: x = y");
    EXPECT_EQ(number.log, "Integer 5 at line 1 deleted\n");
    EXPECT_EQ(showTheo(number.value.elems), "a @1: x = y");

    auto noName = readTheory("DEFINITION f,");
    EXPECT_EQ(noName.log, "Symbol   ( insertedOperator ++ insertedSymbol   ) inserted before endoffile\n");
    EXPECT_EQ(showTheo(noName.value.elems), "DEFINITION f | DEFINITION (++)");
}

TEST(ReadTheories, KeywordsAndUpperCaseCannotBeLabels) {
    auto keyword = readTheory("where: x = y");
    EXPECT_EQ(keyword.log,
              "Keyword where at line 1 deleted\n"
              "Operator : at line 1 deleted\n"
              "Operator = at line 1 deleted\n"
              "Operator : inserted before Lower case identifier y at line 1\n"
              "Operator = inserted before endoffile\n"
              "\"expression\" inserted before endoffile\n");
    EXPECT_EQ(showTheo(keyword.value.elems), "x @0: y = Error");

    auto upper = readTheory("Law: x = y");
    EXPECT_EQ(upper.log, "Upper case identifier Law at line 1 deleted\nOperator : at line 1 deleted\n"
                         "Operator = at line 1 deleted\n"
                         "Operator : inserted before Lower case identifier y at line 1\n"
                         "Operator = inserted before endoffile\n"
                         "\"expression\" inserted before endoffile\n");
}

TEST(ReadTheories, ConditionsNeedCommaAndIf) {
    auto r = test::runGrammar(pCondEquation(), "c: x = y { p = q }");
    EXPECT_EQ(r.log, "Symbol   { at line 1 deleted\nOperator = at line 1 deleted\nSymbol   } at line 1 deleted\n");
    EXPECT_EQ(showTheo(mkCeqTheo(r.value, mkNoTheo())), "c @1: x = ((y p) q)");
    auto inserted = test::runGrammar(pCondEquation(), "");
    EXPECT_EQ(inserted.log, "\"conditional equation\" inserted before endoffile\n");
    EXPECT_EQ(showTheo(mkCeqTheo(inserted.value, mkNoTheo())), "error @0: Error = Error");
}

TEST(ReadTheories, ExampleTheoryReadsWithoutRepair) {
    auto r = readTheory(test::readFile("examples/grammar_lists.eq"));
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(showTheo(r.value.elems),
              "catnil @2: (xs ++ ys) = xs if {ys = []} | "
              "nilcat @3: ([] ++ ys) = ys | "
              "conscat @4: ((x : xs) ++ ys) = (x : (xs ++ ys)) | "
              "catassoc @5: ((xs ++ ys) ++ zs) = (xs ++ (ys ++ zs)) | "
              "mapcomp @6: ((map f) . (map g)) = (map (f . g)) | "
              "compose @7: ((f . g) x) = (f (g x)) | "
              "headcons @8: (hd (x : xs)) = x");
}

}  // namespace
}  // namespace plim

namespace plim {
namespace {

TEST(ReadTheories, ASideThatCannotBeMadeLetFreeLoadsUntilUsed) {
    std::ostringstream out;
    Theory theory = parseTheory("a: x = f where f :: Int; b: y = z where z = 1", out);
    EXPECT_EQ(out.str(), "");
    auto it = theory.elems.begin();
    const Eqn& kept = it->ceq().eqn;
    EXPECT_EQ(kept.lhs.kind(), ExprKind::Var);
    EXPECT_EQ(kept.rhs.kind(), ExprKind::Let);
    EXPECT_FALSE(unletApplies(kept.rhs));
    EXPECT_THROW(unlet(kept.rhs), UserError);
    ++it;
    EXPECT_EQ(it->ceq().eqn.rhs.kind(), ExprKind::Ap);  // made let-free
}

}  // namespace
}  // namespace plim
