// Fill layouts (documents set like words in a paragraph) and the centred column.
//
// A fill is a left fold over its elements: each step's attributes read those of the step
// before.  Reading a late step's value would so compute the earlier ones in nested calls, one
// per element; instead each value first computes, in a loop from the earliest, the values of
// the earlier steps that it would read through that chain and that are not known yet.  Each
// loop computes exactly what the nested calls would, only in another order.
#include <algorithm>

#include "layout/document.h"
#include "layout/rules_internal.h"

namespace plim {

using namespace pretty_detail;

namespace {

// One element placed after the steps before it, and, in the last step, the result.
struct FillStep {
    std::shared_ptr<const FillStep> prev;  // null in the start, which holds no element
    DocAttrs e;                            // the element (unused in the start)
    Lazy<bool> fits;
    Lazy<bool> err;
    Lazy<bool> errorSeen;
    Lazy<LayoutInt> lines;
    Lazy<LayoutInt> filledWidth;
    Lazy<LayoutInt> lineWidth;
    List<Format> candidates;

    ~FillStep() { lazy_detail::dropHandle(prev); }  // a long fill is freed in a loop
};
using StepPtr = std::shared_ptr<const FillStep>;

// Computes, first to last, the steps before `s` (s itself included) that `follows(step)` says
// step's value reads from the one before, as far back as `known` finds a value computed.
template <class Step, class Known, class Follows, class Compute>
void computeChain(const std::shared_ptr<const Step>& s, Known known, Follows follows, Compute compute) {
    std::vector<const Step*> todo;
    for (const Step* at = s.get(); at != nullptr && !known(*at); at = at->prev.get()) {
        todo.push_back(at);
        if (!follows(*at)) break;
    }
    for (auto it = todo.rbegin(); it != todo.rend(); ++it) compute(**it);
}

// The values of a step, each read after the chain of earlier ones it reads.
LayoutInt linesOf(const StepPtr& s) {
    computeChain(
        s, [](const FillStep& f) { return f.lines.isEvaluated(); }, [](const FillStep&) { return true; },
        [](const FillStep& f) { f.lines.get(); });
    return *s->lines;
}

bool errorSeenOf(const StepPtr& s) {
    computeChain(
        s, [](const FillStep& f) { return f.errorSeen.isEvaluated(); }, [](const FillStep&) { return true; },
        [](const FillStep& f) { f.errorSeen.get(); });
    return *s->errorSeen;
}

// A step's line width reads the one before unless the element is in error (see fillStep).
LayoutInt lineWidthOf(const StepPtr& s) {
    computeChain(
        s, [](const FillStep& f) { return f.lineWidth.isEvaluated(); },
        [](const FillStep& f) { return f.prev != nullptr && !*f.err; }, [](const FillStep& f) { f.lineWidth.get(); });
    return *s->lineWidth;
}

// A step's filled width reads the one before where the element fits on the line.
LayoutInt filledWidthOf(const StepPtr& s) {
    computeChain(
        s, [](const FillStep& f) { return f.filledWidth.isEvaluated(); },
        [](const FillStep& f) { return f.prev != nullptr && *f.fits; }, [](const FillStep& f) { f.filledWidth.get(); });
    return *s->filledWidth;
}

// Whether a step's first candidate reads the first candidate of the step before (see
// fillCandidates).
bool readsEarlierCandidates(const FillStep& f) {
    if (f.prev == nullptr) return false;
    const bool pair = isPair(*f.e.reply);
    if (linesOf(f.prev) == 0) return pair;
    return !pair || f.e.height() != 0;
}

// The candidates of a step, with those of the steps before that they read computed first.
// Where the steps before have one candidate each and the element is known to have at most
// one, the step has at most one too, and its list is computed whole: its later cells cost
// nothing and are read by the next step.
const List<Format>& candidatesOf(const StepPtr& s) {
    computeChain(
        s, [](const FillStep& f) { return f.candidates.isEvaluated(); }, readsEarlierCandidates,
        [](const FillStep& f) {
            if (f.candidates.empty()) return;
            const auto* single = std::get_if<SingleReply>(&*f.e.reply);
            const bool shortBefore = f.prev == nullptr || knownShort(f.prev->candidates);
            if (shortBefore && (!single || knownShort(single->formats))) f.candidates.tail().empty();
        });
    return s->candidates;
}

// The element's candidates combined with those placed so far.
List<Format> fillCandidates(const StepPtr& prev, const DocAttrs& e, Lazy<bool> fits, const PageBounds& eb) {
    return List<Format>::defer([prev, e, fits, eb]() -> List<Format> {
        const DocReply& r = *e.reply;
        const auto* single = std::get_if<SingleReply>(&r);
        if (linesOf(prev) == 0) return single ? single->formats : candidatesOf(prev);
        const LayoutInt h = e.height();
        if (!single && h == 0) return errorFormats(kFillPairError);
        const List<Format>& a = candidatesOf(prev);
        if (single && h == 0) return a;
        if (single && h == 1) return *fits ? besideFormats(eb, a, single->formats) : aboveFormats(a, single->formats);
        const List<Format>& shown = errorFormats(single ? kFillHigherError : kFillPairError);
        return *fits ? besideFormatsUnbounded(a, shown) : aboveFormats(a, shown);
    });
}

// One element placed after the step `prev`.
StepPtr fillStep(const StepPtr& prev, const DocAttrs& e, const Lazy<LayoutInt>& w, const PageBounds& eb) {
    Lazy<LayoutInt> z = delay([prev, es = e.sizes] { return lineWidthOf(prev) + es->width; });
    Lazy<bool> fits = delay([z, w] { return *z <= *w; });
    Lazy<bool> err = delay([prev, er = e.reply, es = e.sizes] {
        return isPair(*er) || (linesOf(prev) != 0 && es->height > 1);
    });
    Lazy<bool> errorSeen = delay([prev, err] { return errorSeenOf(prev) || *err; });
    Lazy<LayoutInt> lines = delay([prev, es = e.sizes, fits] {
        const LayoutInt before = linesOf(prev);
        if (before == 0) return es->height > 0 ? LayoutInt{1} : LayoutInt{0};
        return *fits ? before : before + 1;
    });
    Lazy<LayoutInt> filledWidth = delay([prev, fits, z, w] {
        return *fits ? (filledWidthOf(prev) == *w ? *w : *z) : *w;
    });
    Lazy<LayoutInt> lineWidth = delay([err, fits, z, w, es = e.sizes] { return *err ? *w + 1 : *fits ? *z : es->width; });
    List<Format> candidates = fillCandidates(prev, e, fits, eb);
    return std::make_shared<const FillStep>(prev, e, fits, err, errorSeen, lines, filledWidth, lineWidth, candidates);
}

// The fill of the items into width w, every element laid out at (w, w), and whether an element
// is too wide.
struct Filled {
    StepPtr last;
    Lazy<bool> tooWide;
};

Filled runFill(const std::vector<Doc>& items, const Lazy<LayoutInt>& w) {
    const PageBounds eb(w, w);
    const Lazy<bool> no(false);
    const Lazy<LayoutInt> zero(0);
    StepPtr s = std::make_shared<const FillStep>(nullptr, missingArgumentAttrs(), no, no, no, zero, zero, zero,
                                                 List<Format>());
    std::vector<Lazy<bool>> flags;
    for (const Doc& item : items) {
        DocAttrs e = item(eb);
        flags.push_back(e.tooWide);
        s = fillStep(s, e, w, eb);
    }
    // Any error, then the elements' own flags, the last one first.
    Lazy<bool> tooWide = delay([s, flags = std::move(flags)] {
        if (errorSeenOf(s)) return true;
        for (auto it = flags.rbegin(); it != flags.rend(); ++it)
            if (**it) return true;
        return false;
    });
    return Filled{s, tooWide};
}

Lazy<Sizes> fillSizes(const StepPtr& s) {
    return delay([s] {
        const LayoutInt lines = linesOf(s);
        const LayoutInt last = lineWidthOf(s);
        return Sizes{lines, last, filledWidthOf(s)};
    });
}

// The last step's candidates, read after those of the steps before.
List<Format> fillFormats(const StepPtr& s) {
    return List<Format>::defer([s] { return candidatesOf(s); });
}

}  // namespace

Doc fillDoc(std::vector<Doc> items) {
    return Doc([items = std::move(items)](const PageBounds& b) {
        Filled f = runFill(items, b.lineBound);
        return DocAttrs{Lazy<DocReply>(SingleReply{fillFormats(f.last)}), f.tooWide, fillSizes(f.last)};
    });
}

Doc fillBlockDoc(LayoutInt blockWidth, std::vector<Doc> items) {
    return Doc([blockWidth, items = std::move(items)](const PageBounds& b) {
        Filled f = runFill(items, Lazy<LayoutInt>(blockWidth));
        Lazy<DocReply> reply = delay([blockWidth, line = b.lineBound, last = f.last]() -> DocReply {
            if (blockWidth < 0) return errorReply(kFillBlockWidthError);
            if (blockWidth > *line) return SingleReply{textFormats(markerText(blockWidth))};
            return SingleReply{fillFormats(last)};
        });
        Lazy<bool> tooWide = delay([blockWidth, line = b.lineBound, fillTooWide = f.tooWide] {
            return blockWidth < 0 || blockWidth > *line || *fillTooWide;
        });
        return DocAttrs{reply, tooWide, fillSizes(f.last)};
    });
}

namespace {

// One item of a centred column stacked below the column of the items before it.
struct ColumnStep {
    std::shared_ptr<const ColumnStep> prev;  // null in the start, the column of no item
    DocAttrs column;
    DocAttrs item;  // the item, indented (unused in the start)

    ~ColumnStep() { lazy_detail::dropHandle(prev); }  // a long column is freed in a loop
};
using ColumnPtr = std::shared_ptr<const ColumnStep>;

// Each attribute of a column reads that of the column above it (the flag only where the item
// fits); they are computed from the top down.
const Sizes& columnSizes(const ColumnPtr& s) {
    computeChain(
        s, [](const ColumnStep& c) { return c.column.sizes.isEvaluated(); }, [](const ColumnStep&) { return true; },
        [](const ColumnStep& c) { c.column.sizes.get(); });
    return *s->column.sizes;
}

bool columnTooWide(const ColumnPtr& s) {
    computeChain(
        s, [](const ColumnStep& c) { return c.column.tooWide.isEvaluated(); },
        [](const ColumnStep& c) { return c.prev != nullptr && !*c.item.tooWide; },
        [](const ColumnStep& c) { c.column.tooWide.get(); });
    return *s->column.tooWide;
}

const List<Format>* singleList(const DocReply& r) {
    const auto* single = std::get_if<SingleReply>(&r);
    return single ? &single->formats : nullptr;
}

// Whether a column's first candidate reads the first candidate of the column above it: where
// both answer with one list and the column above has lines.
bool readsUpperCandidates(const ColumnStep& c) {
    return c.prev != nullptr && singleList(*c.column.reply) != nullptr && singleList(*c.prev->column.reply) != nullptr &&
           c.prev->column.height() != 0;
}

// The candidates of a column answering with one list, those of the columns above first.  As in
// a fill, a column of items with one candidate each has one too, computed whole.  The item's
// list is known once the column's first candidate is.
void columnCandidates(const ColumnPtr& s) {
    computeChain(
        s,
        [](const ColumnStep& c) {
            const List<Format>* xs = singleList(*c.column.reply);
            return xs == nullptr || xs->isEvaluated();
        },
        readsUpperCandidates,
        [](const ColumnStep& c) {
            const List<Format>& xs = *singleList(*c.column.reply);
            if (xs.empty() || c.prev == nullptr) return;
            const List<Format>* upper = singleList(*c.prev->column.reply);
            const List<Format>* item = singleList(*c.item.reply);
            if (upper != nullptr && knownShort(*upper) && item != nullptr && knownShort(*item)) xs.tail().empty();
        });
}

const DocReply& columnReply(const ColumnPtr& s) {
    columnSizes(s);  // every reply reads the sizes of its parts
    computeChain(
        s, [](const ColumnStep& c) { return c.column.reply.isEvaluated(); }, [](const ColumnStep&) { return true; },
        [](const ColumnStep& c) { c.column.reply.get(); });
    return *s->column.reply;
}

DocAttrs columnAttrs(const ColumnPtr& s) {
    Lazy<DocReply> reply = delay([s]() -> DocReply {
        const DocReply& r = columnReply(s);
        if (singleList(r) == nullptr) return r;
        return SingleReply{List<Format>::defer([s] {
            columnCandidates(s);
            return *singleList(*s->column.reply);
        })};
    });
    return DocAttrs{reply, delay([s] { return columnTooWide(s); }), delay([s] { return columnSizes(s); })};
}

}  // namespace

Doc centredAboveList(std::vector<Doc> items) {
    return Doc([items = std::move(items)](const PageBounds& b) {
        std::vector<Lazy<Sizes>> measured;
        for (const Doc& item : items) measured.push_back(item(b).sizes);
        Lazy<LayoutInt> widest = delay([measured] {
            LayoutInt m = 0;
            for (const auto& s : measured) m = std::max(m, s->width);
            return m;
        });
        ColumnPtr column = std::make_shared<const ColumnStep>(nullptr, emptyDoc()(b), missingArgumentAttrs());
        for (std::size_t i = 0; i < items.size(); ++i) {
            Lazy<LayoutInt> k = delay([widest, s = measured[i]] {
                const LayoutInt d = *widest - s->width;
                return d >= 0 ? d / 2 : -((1 - d) / 2);  // rounded down
            });
            PageBounds inner(delay([k, line = b.lineBound] { return *line - *k; }),
                             delay([k, last = b.lastLineBound] { return *last - *k; }));
            DocAttrs item = indentAttrs(k, items[i](inner), b);
            column = std::make_shared<const ColumnStep>(column, aboveAttrs(column->column, item), item);
        }
        return columnAttrs(column);
    });
}

}  // namespace plim
