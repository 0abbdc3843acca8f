// A debugging page in a real browser: headless Chromium opens the page with a test script
// appended that clicks every expander twice.  Before an expander is clicked, the closed
// sections around it are opened, so that what it folds can be seen at all; after each click the
// script records whether its two sections are visible (as laid out, not as styled) and which
// image it shows, and it records the text the browser holds in each section.  The text is
// compared with the text the page's markup puts in the section: a browser that moves content out
// of a section (as it does with a block inside a paragraph) leaves it always visible.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace plim::browser_test {

inline const char* const kRecorder = R"(<script type="text/javascript">
var out = [];
var idOf = function (span) { return /dobranch\(divon(\w+),/.exec(span.getAttribute('onclick'))[1]; };
var expanderOf = function (id) {
  return document.querySelector('span.expander[onclick^="dobranch(divon' + id + ',"]');
};
var seen = function (el) { return el.checkVisibility() ? 'shown' : 'hidden'; };
var state = function (id) {
  return seen(document.getElementById('divon' + id)) + '/' + seen(document.getElementById('divoff' + id)) + '/' +
         document.getElementById('img' + id).getAttribute('src');
};
var text = function (id) {
  var t = document.getElementById(id).textContent.replace(/\u00a0/g, ' ').replace(/\s+/g, ' ').trim();
  return 't' + encodeURIComponent(t);
};
var spans = document.querySelectorAll('span.expander');
for (var i = 0; i < spans.length; i++) {
  var id = idOf(spans[i]);
  for (var a = spans[i].parentElement; a; a = a.parentElement)
    if (/^divon/.test(a.id) && a.style.display == 'none') expanderOf(a.id.slice(5)).click();
  var before = state(id);
  spans[i].click();
  var after = state(id);
  spans[i].click();
  out.push([id, before, after, state(id), text('divon' + id), text('divoff' + id)].join(' '));
}
var pre = document.createElement('pre');
pre.id = 'recorded';
pre.textContent = '[' + out.join(';') + ']';
document.body.appendChild(pre);
</script>
)";

// One expander as the browser saw it: its visibility and image before the first click, after
// it and after the second, and the texts of its two sections.
struct ExpanderRecord {
    std::string id, before, after, back, detailsText, labelText;
};

inline std::string findChromium() {
    for (const char* p : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (std::filesystem::exists(p)) return p;
    return "";
}

inline std::string commandOutput(const std::string& cmd) {
    std::string out;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> buf{};
    std::size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
    pclose(pipe);
    return out;
}

inline std::string percentDecoded(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Whitespace runs made one space, none at the ends.
inline std::string collapsed(const std::string& s) {
    std::string out;
    for (const char c : s) {
        const bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
        if (!space) out += c;
        else if (!out.empty() && out.back() != ' ') out += ' ';
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// The text the markup of `page` puts inside the SPAN with the id: tags dropped, entities
// decoded, a non-breaking space read as a space.
inline std::string markupText(const std::string& page, const std::string& spanId) {
    const std::size_t idAt = page.find("ID=\"" + spanId + "\"");
    if (idAt == std::string::npos) return "<no such section>";
    std::size_t at = page.find('>', page.rfind("<SPAN", idAt)) + 1;
    std::string inner;
    for (int depth = 1; at < page.size(); ++at) {
        if (page.compare(at, 5, "<SPAN") == 0) ++depth;
        if (page.compare(at, 7, "</SPAN>") == 0 && --depth == 0) break;
        inner += page[at];
    }
    std::string text;
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '<') {
            i = inner.find('>', i);
            continue;
        }
        bool entity = false;
        for (const auto& [name, c] : {std::pair{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'},
                                      {"&nbsp;", ' '}})
            if (inner.compare(i, std::string(name).size(), name) == 0) {
                text += c;
                i += std::string(name).size() - 1;
                entity = true;
                break;
            }
        if (!entity) text += inner[i];
    }
    return collapsed(text);
}

// The expanders of the page as Chromium sees them; nothing when Chromium is not installed.
inline std::optional<std::vector<ExpanderRecord>> clickEveryExpander(const std::string& page) {
    const std::string chromium = findChromium();
    if (chromium.empty()) return std::nullopt;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("plim-browser-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "profile");
    const std::filesystem::path file = dir / "page.html";
    std::ofstream(file) << page << kRecorder;
    const std::string cmd = "timeout 120 " + chromium +
                            " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                            " --disable-background-networking --disable-component-update --disable-sync"
                            " --user-data-dir=" + (dir / "profile").string() + " --dump-dom file://" +
                            file.string() + " 2>/dev/null";
    const std::string dom = commandOutput(cmd);
    std::filesystem::remove_all(dir);
    std::vector<ExpanderRecord> records;
    const std::string open = "<pre id=\"recorded\">[";
    const std::size_t from = dom.find(open);
    EXPECT_NE(from, std::string::npos) << dom.substr(0, 400);
    if (from == std::string::npos) return records;
    const std::size_t start = from + open.size();
    std::stringstream entries(dom.substr(start, dom.find("]</pre>", start) - start));
    std::string entry;
    while (std::getline(entries, entry, ';')) {
        ExpanderRecord r;
        std::istringstream fields(entry);
        fields >> r.id >> r.before >> r.after >> r.back >> r.detailsText >> r.labelText;
        r.detailsText = percentDecoded(r.detailsText.substr(1));
        r.labelText = percentDecoded(r.labelText.substr(1));
        records.push_back(r);
    }
    return records;
}

// Every expander of the page folds what it names: its sections hold in the browser what the
// markup puts in them, the click shows the hidden one and hides the shown one with the image
// to match, and the second click puts them back.  Gives the number of sections and of those
// closed when the page is loaded; (0, 0) when Chromium is not installed.
inline std::pair<std::size_t, std::size_t> expectEveryExpanderFolds(const std::string& page) {
    const std::optional<std::vector<ExpanderRecord>> records = clickEveryExpander(page);
    if (!records) return {0, 0};
    std::size_t closed = 0;
    const std::string shown = "shown/hidden/minus.gif", hidden = "hidden/shown/plus.gif";
    for (const ExpanderRecord& r : *records) {
        if (r.before == hidden) ++closed;
        EXPECT_TRUE(r.before == shown || r.before == hidden) << r.id << " " << r.before;
        EXPECT_EQ(r.after, r.before == shown ? hidden : shown) << r.id;
        EXPECT_EQ(r.back, r.before) << r.id;
        EXPECT_EQ(r.detailsText, markupText(page, "divon" + r.id)) << r.id;
        EXPECT_EQ(r.labelText, markupText(page, "divoff" + r.id)) << r.id;
    }
    return {records->size(), closed};
}

}  // namespace plim::browser_test
