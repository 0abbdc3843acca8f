// Helpers shared by the layout library's tests: for the engine (plim::pretty_test), texts and an
// ordinary stack; for its oracle, the lazy rules (plim::lazy_rules::pretty_test), documents with
// fixed candidates, probes that record the bounds they are laid out at, and readable views of
// candidate lists.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "layout/document.h"
#include "layout/lazy_rules.h"
#include "layout/nodes_internal.h"
#include "support/big_stack.h"

namespace plim::pretty_test {

using Sizes3 = std::tuple<LayoutInt, LayoutInt, LayoutInt>;  // height, lastWidth, width

inline Doc txt(const std::string& s) {
    return ppString(s);
}

// Runs `body` on a thread of its own with an 8 MiB stack (the usual default) and waits for it.
inline void onOrdinaryStack(const std::function<void()>& body) { runOnLargeStack(body, std::size_t{8} << 20); }

// The engine's layout of a document at the line bound: its sizes and flag there, and the texts of
// its candidates (of both lists of a pair), each written from `column`.
struct Laid {
    Sizes3 sizes;
    bool tooWide = false;
    bool pair = false;
    std::vector<std::string> first;
    std::vector<std::string> second;
    LayoutInt height() const { return std::get<0>(sizes); }
    LayoutInt width() const { return std::get<2>(sizes); }
};
inline Laid laidOut(const Doc& d, LayoutInt line, LayoutInt column = 0) {
    using namespace pretty_detail;
    TextArena arena;
    ArenaScope scope(arena);
    const NodeResult r = layOut(*d.node(), line);
    Laid out{{r.sizes.height, r.sizes.lastWidth, r.sizes.width}, r.tooWide, r.reply.pair, {}, {}};
    const auto texts = [column](const CandidateList& cs, std::vector<std::string>& to) {
        for (const Candidate& c : cs) {
            std::string s;
            writeText(*c.text, column, s);
            to.push_back(std::move(s));
        }
    };
    texts(r.reply.first, out.first);
    texts(r.reply.second, out.second);
    return out;
}

}  // namespace plim::pretty_test

namespace plim::lazy_rules::pretty_test {

using ::plim::pretty_test::onOrdinaryStack;
using ::plim::pretty_test::Sizes3;

inline Format fmt(LayoutInt h, LayoutInt l, LayoutInt w, std::string text = "") {
    return Format{h, l, w, FormatText([text](LayoutInt, std::string& out) { out += text; })};
}

inline std::vector<Sizes3> sizesOf(const List<Format>& fs, std::size_t limit = 100) {
    std::vector<Sizes3> out;
    for (const Format& f : toVector(fs, limit)) out.emplace_back(f.height, f.lastWidth, f.width);
    return out;
}

inline std::vector<std::string> textsOf(const List<Format>& fs, LayoutInt column = 0, std::size_t limit = 100) {
    std::vector<std::string> out;
    for (const Format& f : toVector(fs, limit)) {
        std::string s;
        f.text.write(column, s);
        out.push_back(s);
    }
    return out;
}

inline const List<Format>& singleFormats(const DocAttrs& a) {
    return std::get<SingleReply>(*a.reply).formats;
}

inline Sizes3 docSizes(const DocAttrs& a) {
    return {a.height(), a.lastWidth(), a.width()};
}

inline DocAttrs at(const Doc& d, LayoutInt line, LayoutInt last) {
    return d(PageBounds(line, last));
}
inline DocAttrs at(const Doc& d, LayoutInt w) {
    return d(PageBounds(w, w));
}

// A document with fixed attributes, whatever its bounds.
inline Doc fixedDoc(DocReply reply, bool tooWide, LayoutInt h, LayoutInt l, LayoutInt w) {
    DocAttrs a{Lazy<DocReply>(std::move(reply)), Lazy<bool>(tooWide), Lazy<Sizes>(Sizes{h, l, w})};
    return Doc([a](const PageBounds&) { return a; });
}
inline Doc candidatesDoc(std::vector<Format> fs, bool tooWide, LayoutInt h, LayoutInt l, LayoutInt w) {
    return fixedDoc(SingleReply{fromVector(std::move(fs))}, tooWide, h, l, w);
}

// The bounds a document was laid out at, recorded when it is laid out.
struct BoundsLog {
    std::vector<std::pair<LayoutInt, LayoutInt>> seen;
    int layouts = 0;
};
inline Doc probe(Doc inner, std::shared_ptr<BoundsLog> log) {
    return Doc([inner, log](const PageBounds& b) {
        ++log->layouts;
        DocAttrs a = inner(b);
        Lazy<DocReply> reply = delay([a, b, log] {
            log->seen.emplace_back(*b.lineBound, *b.lastLineBound);
            return *a.reply;
        });
        return DocAttrs{reply, a.tooWide, a.sizes};
    });
}

inline Doc txt(const std::string& s) {
    return ppString(s);
}

}  // namespace plim::lazy_rules::pretty_test

// Long texts compared without printing them whole.
#define EXPECT_SAME_TEXT(actual, expected)                                                        \
    do {                                                                                          \
        const std::string a_ = (actual), e_ = (expected);                                         \
        EXPECT_TRUE(a_ == e_) << #actual << ": " << a_.size() << " characters beginning "         \
                              << a_.substr(0, 60) << ", not " << e_.size() << " beginning " << e_.substr(0, 60); \
    } while (false)
