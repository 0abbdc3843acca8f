// The debugging page in a real browser (tests/engine/calculations/page_in_browser.h): every
// expander of the page of a conditional rewrite folds what it names.  Skipped when no Chromium
// is installed.
#include <gtest/gtest.h>

#include <string>

#include "engine/calculations/calculation.h"
#include "engine/calculations/page_in_browser.h"
#include "engine/rewriting/driver.h"
#include "engine/rewriting/driver_test_util.h"

namespace plim {
namespace {

using namespace rewrite_test;

// The page of add (f (S Z)) (f (S (S Z))) under f x = Z, if { add x Z = S Z } and
// f x = x, if { x = S (S (S Z)) } with the Peano rules: a conditional step with its nested
// derivation, plain steps, substitutions, and failures at the final expression.
std::string conditionalPage() {
    const Expr x = var("x");
    const Expr f = con("f", fn(nat(), nat()));
    std::vector<Rule> theory = peanoTheory();
    theory.push_back(rule("cond", ap(f, x), zero(), {{add(x, zero()), peano(1)}}));
    theory.push_back(rule("never", ap(f, x), x, {{x, peano(3)}}));
    const Derivation d = rewriteDefinition(firstOrderMatcher(), theory, add(ap(f, peano(1)), ap(f, peano(2))));
    return std::string(doctypeBanner) + renderElement(0, HtmlTag("HTML", {}, debugPage(d))) + "\n";
}

TEST(DebugPageInBrowser, EveryExpanderFoldsWhatItNames) {
    if (browser_test::findChromium().empty()) GTEST_SKIP() << "chromium is not installed";
    const std::string html = conditionalPage();
    ASSERT_NE(html.find("details"), std::string::npos);
    ASSERT_NE(html.find("failures"), std::string::npos);
    const auto [sections, closed] = browser_test::expectEveryExpanderFolds(html);
    // Whole derivations and details open; substitutions and failures closed.
    EXPECT_GE(sections, 6u);
    EXPECT_GE(closed, 3u);
    EXPECT_LT(closed, sections);
}

}  // namespace
}  // namespace plim
