// The debugging page in a real browser: headless Chromium opens the page of a conditional
// rewrite with a test script appended that clicks every expander twice and records the
// display of its two sections and its image after each click.  Skipped when no Chromium is
// installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/calculations/calculation.h"
#include "engine/rewriting/driver.h"
#include "engine/rewriting/driver_test_util.h"

namespace plim {
namespace {

using namespace rewrite_test;

const char* const kRecorder = R"(<script type="text/javascript">
var out = [];
var state = function (id) {
  return document.getElementById('divon' + id).style.display + '/' +
         document.getElementById('divoff' + id).style.display + '/' +
         document.getElementById('img' + id).getAttribute('src');
};
var spans = document.querySelectorAll('span.expander');
for (var i = 0; i < spans.length; i++) {
  var id = /dobranch\(divon(\w+),/.exec(spans[i].getAttribute('onclick'))[1];
  var before = state(id);
  spans[i].click();
  var after = state(id);
  spans[i].click();
  out.push(id + ' ' + before + ' ' + after + ' ' + state(id));
}
var pre = document.createElement('pre');
pre.id = 'recorded';
pre.textContent = '[' + out.join(';') + ']';
document.body.appendChild(pre);
</script>
)";

std::string findChromium() {
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (std::filesystem::exists(p)) return p;
    return "";
}

std::string runCommand(const std::string& cmd) {
    std::string out;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> buf{};
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
    pclose(pipe);
    return out;
}

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

TEST(DebugPageInBrowser, EveryExpanderTogglesItsSections) {
    const std::string chromium = findChromium();
    if (chromium.empty()) GTEST_SKIP() << "chromium is not installed";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("plim-browser-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "profile");
    const std::filesystem::path file = dir / "page.html";
    const std::string html = conditionalPage();
    ASSERT_NE(html.find("details"), std::string::npos);
    ASSERT_NE(html.find("failures"), std::string::npos);
    std::ofstream(file) << html << kRecorder;
    const std::string cmd = "timeout 120 " + chromium +
                            " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                            " --disable-background-networking --disable-component-update --disable-sync"
                            " --user-data-dir=" + (dir / "profile").string() + " --dump-dom file://" +
                            file.string() + " 2>/dev/null";
    const std::string dom = runCommand(cmd);
    std::filesystem::remove_all(dir);
    const std::size_t open = dom.find("<pre id=\"recorded\">[");
    ASSERT_NE(open, std::string::npos) << dom.substr(0, 400);
    const std::size_t from = open + std::string("<pre id=\"recorded\">[").size();
    std::stringstream entries(dom.substr(from, dom.find("]</pre>", from) - from));

    std::size_t sections = 0, closed = 0;
    std::string entry;
    const std::string shown = "/none/minus.gif", hidden = "none//plus.gif";
    while (std::getline(entries, entry, ';')) {
        std::istringstream fields(entry);
        std::string id, before, after, back;
        fields >> id >> before >> after >> back;
        ++sections;
        if (before == hidden) ++closed;
        EXPECT_TRUE(before == shown || before == hidden) << entry;
        EXPECT_EQ(after, before == shown ? hidden : shown) << entry;
        EXPECT_EQ(back, before) << entry;
    }
    // Whole derivations and details open; substitutions and failures closed.
    EXPECT_GE(sections, 6u);
    EXPECT_GE(closed, 3u);
    EXPECT_LT(closed, sections);
}

}  // namespace
}  // namespace plim
