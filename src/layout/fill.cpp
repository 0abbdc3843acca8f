// Fill layouts (documents set like words in a paragraph) and the centred column.
#include <algorithm>

#include "layout/document.h"
#include "layout/rules_internal.h"

namespace plim {

using namespace pretty_detail;

namespace {

// The state handed from one element of a fill to the next, and in the end its result.
struct FillState {
    List<Format> candidates;
    Lazy<bool> errorSeen;
    Lazy<LayoutInt> lines;
    Lazy<LayoutInt> filledWidth;
    Lazy<LayoutInt> lineWidth;
};

// The element's candidates combined with those placed so far.
List<Format> fillCandidates(const FillState& s, const DocAttrs& e, Lazy<bool> fits, const PageBounds& eb) {
    return List<Format>::defer([a = s.candidates, lines = s.lines, e, fits, eb]() -> List<Format> {
        const DocReply& r = *e.reply;
        const auto* single = std::get_if<SingleReply>(&r);
        if (*lines == 0) return single ? single->formats : a;
        const LayoutInt h = e.height();
        if (single && h == 0) return a;
        if (single && h == 1) return *fits ? besideFormats(eb, a, single->formats) : above_fmts(a, single->formats);
        if (!single && h == 0) return errorFormats(kFillPairError);
        const List<Format>& shown = errorFormats(single ? kFillHigherError : kFillPairError);
        return *fits ? besideFormatsUnbounded(a, shown) : above_fmts(a, shown);
    });
}

// One element placed after the state s; `tooWide` collects the elements' own flags.
FillState fillStep(const FillState& s, const DocAttrs& e, const Lazy<LayoutInt>& w, const PageBounds& eb) {
    Lazy<LayoutInt> z = delay([q = s.lineWidth, es = e.sizes] { return *q + es->width; });
    Lazy<bool> fits = delay([z, w] { return *z <= *w; });
    Lazy<bool> err = delay([lines = s.lines, er = e.reply, es = e.sizes] {
        return isPair(*er) || (*lines != 0 && es->height > 1);
    });
    Lazy<bool> errorSeen = delay([e0 = s.errorSeen, err] { return *e0 || *err; });
    Lazy<LayoutInt> lines = delay([lines = s.lines, es = e.sizes, fits] {
        if (*lines == 0) return es->height > 0 ? LayoutInt{1} : LayoutInt{0};
        return *fits ? *lines : *lines + 1;
    });
    Lazy<LayoutInt> filledWidth = delay([p = s.filledWidth, fits, z, w] { return *fits ? (*p == *w ? *w : *z) : *w; });
    Lazy<LayoutInt> lineWidth = delay([err, fits, z, w, es = e.sizes] { return *err ? *w + 1 : *fits ? *z : es->width; });
    FillState next{fillCandidates(s, e, fits, eb), errorSeen, lines, filledWidth, lineWidth};
    return next;
}

// The fill of the items into width w, every element laid out at (w, w).
FillState runFill(const std::vector<Doc>& items, const Lazy<LayoutInt>& w, Lazy<bool>& elementsTooWide) {
    const PageBounds eb(w, w);
    FillState s{List<Format>(), Lazy<bool>(false), Lazy<LayoutInt>(0), Lazy<LayoutInt>(0), Lazy<LayoutInt>(0)};
    std::vector<Lazy<bool>> flags;
    for (const Doc& item : items) {
        DocAttrs e = item(eb);
        flags.push_back(e.tooWide);
        s = fillStep(s, e, w, eb);
    }
    // Each element ORs its own flag into the result on the way back, the last one first.
    Lazy<bool> acc = s.errorSeen;
    for (auto it = flags.rbegin(); it != flags.rend(); ++it) acc = delay([acc, f = *it] { return *acc || *f; });
    elementsTooWide = acc;
    return s;
}

Lazy<Sizes> fillSizes(const FillState& s) {
    return delay([lines = s.lines, last = s.lineWidth, filled = s.filledWidth] {
        return Sizes{*lines, *last, *filled};
    });
}

}  // namespace

Doc fillDoc(std::vector<Doc> items) {
    return Doc([items = std::move(items)](const PageBounds& b) {
        Lazy<bool> tooWide(false);
        FillState s = runFill(items, b.lineBound, tooWide);
        return DocAttrs{Lazy<DocReply>(SingleReply{s.candidates}), tooWide, fillSizes(s)};
    });
}

Doc fillBlockDoc(LayoutInt blockWidth, std::vector<Doc> items) {
    return Doc([blockWidth, items = std::move(items)](const PageBounds& b) {
        Lazy<bool> fillTooWide(false);
        FillState s = runFill(items, Lazy<LayoutInt>(blockWidth), fillTooWide);
        Lazy<DocReply> reply = delay([blockWidth, line = b.lineBound, a = s.candidates]() -> DocReply {
            if (blockWidth < 0) return errorReply(kFillBlockWidthError);
            if (blockWidth > *line) return SingleReply{textFormats(markerText(blockWidth))};
            return SingleReply{a};
        });
        Lazy<bool> tooWide = delay([blockWidth, line = b.lineBound, fillTooWide] {
            return blockWidth < 0 || blockWidth > *line || *fillTooWide;
        });
        return DocAttrs{reply, tooWide, fillSizes(s)};
    });
}

Doc centredAboveList(std::vector<Doc> items) {
    return Doc([items = std::move(items)](const PageBounds& b) {
        std::vector<Lazy<Sizes>> measured;
        for (const Doc& item : items) measured.push_back(item(b).sizes);
        Lazy<LayoutInt> widest = delay([measured] {
            LayoutInt m = 0;
            for (const auto& s : measured) m = std::max(m, s->width);
            return m;
        });
        DocAttrs column = emptyDoc()(b);
        for (std::size_t i = 0; i < items.size(); ++i) {
            Lazy<LayoutInt> k = delay([widest, s = measured[i]] {
                const LayoutInt d = *widest - s->width;
                return d >= 0 ? d / 2 : -((1 - d) / 2);  // rounded down
            });
            PageBounds inner(delay([k, line = b.lineBound] { return *line - *k; }),
                             delay([k, last = b.lastLineBound] { return *last - *k; }));
            column = aboveAttrs(column, indentAttrs(k, items[i](inner), b));
        }
        return column;
    });
}

}  // namespace plim
