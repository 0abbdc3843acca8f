// Fills and centred columns of long lists on an ordinary 8 MiB stack: no item is laid out, and no
// text written or freed, in calls nested once per item.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "layout/combinators.h"
#include "layout/layout_test_util.h"
#include "support/big_stack.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using namespace pretty_test;

const int kCount = test::inputSize(200000);

std::vector<std::string> words(int n, const std::string& stem) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(stem + std::to_string(i));
    return out;
}

std::vector<Doc> docs(const std::vector<std::string>& ws) {
    std::vector<Doc> out;
    for (const std::string& w : ws) out.push_back(txt(w));
    return out;
}

// The words set as a paragraph of the given width, without blanks between them.
std::string paragraph(const std::vector<std::string>& ws, std::size_t width) {
    std::string out;
    std::size_t line = 0;
    for (const std::string& w : ws) {
        if (!out.empty() && line + w.size() > width) {
            out += '\n';
            line = 0;
        }
        out += w;
        line += w.size();
    }
    return out;
}

// The words stacked, each centred under the widest (the odd blank on the right).
std::string centred(const std::vector<std::string>& ws) {
    std::size_t widest = 0;
    for (const std::string& w : ws) widest = std::max(widest, w.size());
    std::string out;
    for (const std::string& w : ws) {
        if (!out.empty()) out += '\n';
        out += std::string((widest - w.size()) / 2, ' ') + w;
    }
    return out;
}

TEST(PrettyLazyRulesDepth, FillsOfManyItems) {
    onOrdinaryStack([] {
        const std::vector<std::string> shortWords = words(kCount, "a");
        EXPECT_SAME_TEXT(renderDoc(fillDoc(docs(shortWords)), 80), paragraph(shortWords, 80));
        EXPECT_SAME_TEXT(renderDoc(fillBlockDoc(40, docs(shortWords)), 80), paragraph(shortWords, 40));
        // Every item on a line of its own.
        const std::vector<std::string> longWords = words(kCount, std::string(50, 'w'));
        EXPECT_SAME_TEXT(renderDoc(fillDoc(docs(longWords)), 80), paragraph(longWords, 80));
        // The sizes of its layout.
        const std::string set = paragraph(shortWords, 80);
        EXPECT_EQ(laidOut(fillDoc(docs(shortWords)), 80).height(), static_cast<LayoutInt>(std::count(set.begin(), set.end(), '\n') + 1));
    });
}

TEST(PrettyLazyRulesDepth, CentredColumnOfManyItems) {
    onOrdinaryStack([] {
        const std::vector<std::string> ws = words(kCount, "c");
        EXPECT_SAME_TEXT(renderDoc(centredAboveList(docs(ws)), 80), centred(ws));
        EXPECT_FALSE(laidOut(centredAboveList(docs(ws)), 80).tooWide);
    });
}

}  // namespace
}  // namespace plim
