// The language's scanner settings and the DEFINITION operator names.
#include <gtest/gtest.h>

#include "frontend/reader/reader.h"
#include "frontend/reader/reader_test_util.h"

namespace plim {
namespace {

std::string tokens(const std::string& text) { return showTokenList(scanText(text)); }

TEST(ReaderScanning, KeywordsOperatorsAndSymbols) {
    EXPECT_EQ(hparseKeywords().size(), 16u);
    EXPECT_EQ(tokens("a->b"),
              "[Lower case identifier a at line 1,Keyword -> at line 1,Lower case identifier b at line 1]");
    EXPECT_EQ(tokens("(x,y)"),
              "[Symbol   ( at line 1,Lower case identifier x at line 1,Symbol   , at line 1,"
              "Lower case identifier y at line 1,Symbol   ) at line 1]");
    EXPECT_EQ(tokens("mod True False Mod true"),
              "[Keyword mod at line 1,Keyword True at line 1,Keyword False at line 1,"
              "Upper case identifier Mod at line 1,Lower case identifier true at line 1]");
    EXPECT_EQ(tokens("\\x"), "[Symbol   \\ at line 1,Lower case identifier x at line 1]");
    EXPECT_EQ(tokens("\n\nDEFINITION ++ :: |"),
              "[Keyword DEFINITION at line 3,Operator ++ at line 3,Operator :: at line 3,Operator | at line 3]");
    EXPECT_TRUE(scanText("").empty());
}

TEST(ReaderScanning, DefinitionOperatorNames) {
    EXPECT_EQ(test::runGrammar(pDefinitionOperatorName(), ".").value, "(.)");
    EXPECT_EQ(test::runGrammar(pDefinitionOperatorName(), "++").value, "(++)");
    auto missing = test::runGrammar(pDefinitionOperatorName(), "");
    EXPECT_EQ(missing.value, "(++)");
    EXPECT_EQ(missing.log, "Operator ++ inserted before endoffile\n");
}

}  // namespace
}  // namespace plim
