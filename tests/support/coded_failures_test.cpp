#include "support/coded_failures.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/errors.h"

namespace plim {
namespace {

// Every coded text has the form "Place:line|what", with a line number, and names one place.
TEST(CodedFailures, EveryTextIsCodedAndDistinct) {
    std::set<std::string_view> seen;
    for (std::size_t i = 0; i < static_cast<std::size_t>(CodedFailure::Count); ++i) {
        const std::string_view text = codedText(static_cast<CodedFailure>(i));
        const auto colon = text.find(':');
        const auto bar = text.find('|');
        ASSERT_NE(colon, std::string_view::npos) << text;
        ASSERT_NE(bar, std::string_view::npos) << text;
        ASSERT_LT(colon + 1, bar) << text;
        for (char c : text.substr(colon + 1, bar - colon - 1)) EXPECT_TRUE(c >= '0' && c <= '9') << text;
        EXPECT_LT(bar + 1, text.size()) << text;
        EXPECT_TRUE(seen.insert(text).second) << text;
    }
}

TEST(CodedFailures, RaisedWithTheTextOfTheirEntry) {
    try {
        patternFail(CodedFailure::RedefineMissingTheory);
        ADD_FAILURE();
    } catch (const PatternMatchFailure& e) {
        EXPECT_EQ(e.coded(), "HParse:145|Data.Maybe.Just th");
        EXPECT_EQ(e.message(), "HParse:145: Non-exhaustive patterns in Data.Maybe.Just th\n");
    }
}

}  // namespace
}  // namespace plim
