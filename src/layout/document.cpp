// Documents, candidate layouts, rendering and the plain combinators of the layout library.
#include "layout/document.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <map>
#include <set>

#include "layout/rules_internal.h"
#include "layout/engines.h"
#include "layout/nodes.h"

namespace plim {

using namespace pretty_detail;

// --- page bounds -------------------------------------------------------------------------

PageBounds unboundedBounds() {
    return PageBounds(kUnboundedWidth, kUnboundedWidth);
}

namespace {

// The bound reduced by n: at once when it is known.
Lazy<LayoutInt> shrinkBound(LayoutInt n, const Lazy<LayoutInt>& bound) {
    if (n == 0) return bound;
    if (bound.isEvaluated()) return *bound - n;
    return delay([bound, n] { return *bound - n; });
}

}  // namespace

PageBounds shrinkBounds(LayoutInt n, const PageBounds& b) {
    return PageBounds(shrinkBound(n, b.lineBound), shrinkBound(n, b.lastLineBound));
}

PageBounds maxBounds(const PageBounds& a, const PageBounds& b) {
    if (a.lineBound.isEvaluated() && b.lineBound.isEvaluated()) return *a.lineBound > *b.lineBound ? a : b;
    // Each field compares the lineBounds itself: both are computed at most once anyway.
    return PageBounds(delay([x = a.lineBound, y = b.lineBound] { return *x > *y ? *x : *y; }),
                      delay([xl = a.lineBound, yl = b.lineBound, x = a.lastLineBound, y = b.lastLineBound] {
                          return *xl > *yl ? *x : *y;
                      }));
}

bool operator==(const PageBounds& a, const PageBounds& b) {
    return *a.lineBound == *b.lineBound && *a.lastLineBound == *b.lastLineBound;
}

// --- candidate layouts ---------------------------------------------------------------------

namespace pretty_detail {

void dropCell(const SharedCell* cell) noexcept {
    static thread_local bool dropping = false;
    static thread_local const SharedCell* waiting = nullptr;
    if (dropping) {
        cell->nextDropped = waiting;
        waiting = cell;
        return;
    }
    dropping = true;
    delete cell;
    while (waiting != nullptr) {
        const SharedCell* next = waiting;
        waiting = next->nextDropped;
        delete next;
    }
    dropping = false;
}

}  // namespace pretty_detail

namespace pretty_detail {

// A text: a writer, or two texts one after the other (beside, above) or one indented.
struct TextPart final : SharedCell {
    enum class Kind : std::uint8_t { Writer, Beside, Above, Indent };
    Kind kind = Kind::Writer;
    LayoutInt shift = 0;  // the second text's offset (Beside), the blanks (Indent)
    FormatText first{static_cast<const TextPart*>(nullptr)};
    FormatText second{static_cast<const TextPart*>(nullptr)};
    SharedFn<void(LayoutInt, std::string&)> writer;
};

}  // namespace pretty_detail

FormatText::FormatText() {
    static const FormatText nothing(SharedFn<void(LayoutInt, std::string&)>([](LayoutInt, std::string&) {}));
    *this = nothing;
}

FormatText::FormatText(SharedFn<void(LayoutInt, std::string&)> writer) {
    auto* p = new TextPart;
    p->writer = std::move(writer);
    part_ = p;
}

FormatText::FormatText(const FormatText& other) : part_(other.part_) {
    if (part_ != nullptr) ++part_->refs;
}

FormatText::~FormatText() {
    if (part_ != nullptr && --part_->refs == 0) dropCell(part_);
}

FormatText FormatText::beside(FormatText first, FormatText second, LayoutInt shift) {
    auto* p = new TextPart;
    p->kind = TextPart::Kind::Beside;
    p->shift = shift;
    p->first = std::move(first);
    p->second = std::move(second);
    return FormatText(static_cast<const TextPart*>(p));
}

FormatText FormatText::above(FormatText upper, FormatText lower) {
    auto* p = new TextPart;
    p->kind = TextPart::Kind::Above;
    p->first = std::move(upper);
    p->second = std::move(lower);
    return FormatText(static_cast<const TextPart*>(p));
}

FormatText FormatText::indented(LayoutInt n, FormatText inner) {
    auto* p = new TextPart;
    p->kind = TextPart::Kind::Indent;
    p->shift = n;
    p->first = std::move(inner);
    return FormatText(static_cast<const TextPart*>(p));
}

// The parts still to be written on a stack of their own: the first part of a composition is
// written before the second, which waits with its column (and, below an upper part, the line
// break before it).
void FormatText::write(LayoutInt column, std::string& out) const {
    struct Pending {
        const TextPart* part;
        LayoutInt column;
        bool newLine;
    };
    std::vector<Pending> todo{{part_, column, false}};
    while (!todo.empty()) {
        const Pending at = todo.back();
        todo.pop_back();
        if (at.newLine) {
            out += '\n';
            if (at.column > 0) out.append(static_cast<std::size_t>(at.column), ' ');
        }
        const TextPart& p = *at.part;
        switch (p.kind) {
        case TextPart::Kind::Writer: p.writer(at.column, out); break;
        case TextPart::Kind::Beside:
            todo.push_back({p.second.part_, at.column + p.shift, false});
            todo.push_back({p.first.part_, at.column, false});
            break;
        case TextPart::Kind::Above:
            todo.push_back({p.second.part_, at.column, true});
            todo.push_back({p.first.part_, at.column, false});
            break;
        case TextPart::Kind::Indent:
            if (p.shift > 0) out.append(static_cast<std::size_t>(p.shift), ' ');
            todo.push_back({p.first.part_, at.column + p.shift, false});
            break;
        }
    }
}

bool operator==(const Format& a, const Format& b) {
    return a.height == b.height && a.width == b.width && a.lastWidth == b.lastWidth;
}

namespace {

// The single one-line candidate of a text; its writer holds the text.
List<Format> ownTextFormats(std::string text) {
    const auto n = static_cast<LayoutInt>(text.size());
    FormatText write([text = std::move(text)](LayoutInt, std::string& out) { out += text; });
    return List<Format>::cons(Format{1, n, n, std::move(write)}, List<Format>());
}

}  // namespace

List<Format> textFormats(const std::string& text) {
    return ownTextFormats(text);
}

std::string markerText(LayoutInt n) {
    if (n == 0) return "";
    if (n == 1) return "*";
    std::string out = "<";
    if (n > 2) out.append(static_cast<std::size_t>(n - 2), '*');
    return out + ">";
}

Format besideFormat(const Format& first, const Format& second) {
    countCandidate();
    Format f;
    f.height = first.height + second.height - 1;
    f.lastWidth = first.lastWidth + second.lastWidth;
    f.width = std::max(first.width, first.lastWidth + second.width);
    f.text = FormatText::beside(first.text, second.text, first.lastWidth);
    return f;
}

std::string blanks(LayoutInt n) {
    return n > 0 ? std::string(static_cast<std::size_t>(n), ' ') : std::string();
}

// --- error documents ---------------------------------------------------------------------

namespace pretty_detail {

Lazy<bool> knownFlag(bool value) {
    static const Lazy<bool> yes(true);
    static const Lazy<bool> no(false);
    return value ? yes : no;
}

std::string choiceCountError(LayoutInt left, LayoutInt right) {
    return "<Error: incorrect choice expression. #pars left " + std::to_string(left) + " /= #pars right " +
           std::to_string(right) + ">";
}

std::string applyCountError(LayoutInt params, LayoutInt args) {
    return "<Error: incorrect apply expression. #pars " + std::to_string(params) + " /= #args " +
           std::to_string(args) + ">";
}

// Per thread: documents and their lazy lists are used by one thread at a time (see
// support/lazy.h), so a table of them is never shared between threads.
const List<Format>& errorFormats(const char* text) {
    static thread_local std::map<std::string, List<Format>> built;
    auto it = built.find(text);
    if (it == built.end()) it = built.emplace(text, textFormats(text)).first;
    return it->second;
}

DocReply errorReply(const char* text) {
    return SingleReply{errorFormats(text)};
}

DocAttrs errorAttrs(const std::string& text) {
    const auto n = static_cast<LayoutInt>(text.size());
    return DocAttrs{Lazy<DocReply>(SingleReply{textFormats(text)}), Lazy<bool>(true), Lazy<Sizes>(Sizes{1, n, n})};
}

DocAttrs missingArgumentAttrs() {
    return DocAttrs{Lazy<DocReply>(SingleReply{}), Lazy<bool>(true), Lazy<Sizes>(Sizes{})};
}

bool isPair(const DocReply& r) {
    return std::holds_alternative<PairReply>(r);
}

List<Format> alternativeFormats(const DocReply& r) {
    if (const auto* s = std::get_if<SingleReply>(&r)) return s->formats;
    return errorFormats(kDupDupError);
}

}  // namespace pretty_detail

// --- primitive documents -------------------------------------------------------------------

Doc textDoc(std::string text) {
    return Doc(textNode(std::move(text)));
}

DocAttrs Doc::operator()(const PageBounds& b) const {
    if (node_) return nodeAttrs(node_, b);
    return fn_(b);
}

Doc ppString(std::string text) {
    return textDoc(std::move(text));
}

Doc ppChar(char c) {
    // The one-character texts are made once and shared: parentheses and blanks are everywhere.
    return Doc(charNode(c));
}

Doc emptyDoc() {
    static const Doc doc(emptyNode());
    return doc;
}

namespace pretty_detail {

namespace {

const char* const kControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "a",   "b",  "t",  "n",
                                       "v",   "f",   "r",   "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
                                       "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

}  // namespace

void appendEscaped(std::string& out, const std::string& text, char quote) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool more = i + 1 < text.size();
        const char next = more ? text[i + 1] : '\0';
        if (c == static_cast<unsigned char>(quote) || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else if (c < 32) {
            out += '\\';
            out += kControlNames[c];
            if (c == 14 && next == 'H') out += "\\&";  // keeps SO apart from a following H
        } else {
            out += '\\';
            out += c == 127 ? std::string("DEL") : std::to_string(c);
            if (c != 127 && next >= '0' && next <= '9') out += "\\&";  // ends the number
        }
    }
}

}  // namespace pretty_detail

std::string showChar(char c) {
    std::string out = "'";
    appendEscaped(out, std::string(1, c), '\'');
    return out + "'";
}

std::string showCharList(const std::string& s) {
    std::string out = "\"";
    appendEscaped(out, s, '"');
    return out + "\"";
}

// --- work budget -----------------------------------------------------------------------------

namespace pretty_detail {

namespace {

// Thrown when a render has built more candidates than the budget allows.
struct BudgetExhausted {};

}  // namespace

void budgetExhausted() {
    throw BudgetExhausted{};
}

}  // namespace pretty_detail

// --- rendering -------------------------------------------------------------------------------

void negativeWidthText(std::string& out) {
    out += kNegativeWidthError;
}

void renderPairText(std::string& out) {
    out += kRenderPairError;
}

namespace {

// Room for a document's text reserved before its layouts are computed: a large block asked
// for once the heap holds a big document's many small blocks is slow to find.  The room is a
// hint from the document's sizes (capped), never a limit; the text grows as usual beyond it.
void reserveFor(std::string& out, const Sizes& s) {
    const LayoutInt lines = std::max<LayoutInt>(s.height, 1);
    const LayoutInt perLine = std::max<LayoutInt>(s.width, 0) + 1;
    const LayoutInt hint = lines > kMaxReserveHint / perLine ? kMaxReserveHint : lines * perLine;
    const std::size_t needed = out.size() + static_cast<std::size_t>(hint);
    if (needed > out.capacity()) out.reserve(std::max(needed, 2 * out.capacity()));
}

}  // namespace

namespace {

void writeFirstCandidate(std::string& out, const DocAttrs& attrs) {
    const DocReply& reply = *attrs.reply;
    if (const auto* single = std::get_if<SingleReply>(&reply)) {
        if (!single->formats.empty()) single->formats.head().text.write(0, out);
        else if (attrs.height() != 0) out += markerText(attrs.width());  // nothing fits: see renderNode
    } else {
        renderPairText(out);
    }
}

// Counts the renders in progress; the outermost one starts the budget afresh.
class RenderScope {
public:
    RenderScope() {
        if (budget.renders++ == 0) {
            budget.used = 0;
            budget.allowed = kCandidateBudget;
        }
    }
    ~RenderScope() { --budget.renders; }
    RenderScope(const RenderScope&) = delete;
    RenderScope& operator=(const RenderScope&) = delete;
    bool outermost() const { return budget.renders == 1; }
};

}  // namespace

void renderDocAtBoundsTo(std::string& out, const Doc& d, const PageBounds& b) {
    RenderScope scope;
    if (d.node()) {
        reserveFor(out, d.node()->sizes);
        const std::size_t start = out.size();
        try {
            renderNode(out, d.node(), *b.lineBound);
        } catch (const BudgetExhausted&) {
            if (!scope.outermost()) throw;
            out.resize(start);
            out += markerText(d.node()->sizes.width);
        }
        return;
    }
    const DocAttrs attrs = d(b);
    reserveFor(out, *attrs.sizes);
    const std::size_t start = out.size();
    try {
        writeFirstCandidate(out, attrs);
    } catch (const BudgetExhausted&) {
        if (!scope.outermost()) throw;
        out.resize(start);
        out += markerText(attrs.width());
    }
}

std::string renderDocAtBounds(const Doc& d, const PageBounds& b) {
    std::string out;
    renderDocAtBoundsTo(out, d, b);
    return out;
}

void renderDocTo(std::string& out, const Doc& d, LayoutInt width) {
    if (width < 0) {
        negativeWidthText(out);
        return;
    }
    renderDocAtBoundsTo(out, d, PageBounds(width, width));
}

void renderStackTo(std::string& out, std::size_t count, const std::function<Doc(std::size_t)>& partAt,
                   LayoutInt width) {
    if (width < 0) {
        negativeWidthText(out);
        return;
    }
    // Laid out part by part where the stack's layout is its parts' one below the other;
    // otherwise, or past the budget (the marker needs the whole stack's width), as a whole.
    bool done = false;
    {
        RenderScope scope;
        const std::size_t start = out.size();
        try {
            done = renderMadeStack(out, count, [&partAt](std::size_t i) { return partAt(i).node(); }, width);
        } catch (const BudgetExhausted&) {
            if (!scope.outermost()) throw;
            out.resize(start);
        }
    }
    if (done) return;
    Doc stack = emptyDoc();
    for (std::size_t i = count; i-- > 0;) stack = aboveDoc(partAt(i), std::move(stack));
    renderDocTo(out, stack, width);
}

std::string renderDoc(const Doc& d, LayoutInt width) {
    std::string out;
    renderDocTo(out, d, width);
    return out;
}

namespace {

void writeStdout(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

void renderStdout(const Doc& d, LayoutInt width) {
    writeStdout(renderDoc(d, width));
}

void renderAllStdout(const Doc& d, LayoutInt width) {
    List<Format> candidates;
    if (width < 0) {
        candidates = errorFormats(kNegativeWidthError);
    } else {
        const DocAttrs attrs = d(PageBounds(width, width));
        const DocReply& reply = *attrs.reply;
        const auto* single = std::get_if<SingleReply>(&reply);
        candidates = single ? single->formats : errorFormats(kRenderPairError);
    }
    std::string out;
    for (const Format& f : candidates) {
        f.text.write(0, out);
        out += "\n\n";
    }
    writeStdout(out);
}

// --- candidate lists -----------------------------------------------------------------------

namespace {

// The candidates kept so far by a pruning: those of earlier heights as a staircase (for each
// width, the smallest last width among the kept candidates no wider), those of the current
// height as their sizes.  Valid while the candidates come in non-decreasing height, which
// every list of the library does; the pruning stops at the first one out of order.
struct Kept {
    std::map<LayoutInt, LayoutInt> shorter;             // width -> last width, last widths decreasing
    std::set<std::pair<LayoutInt, LayoutInt>> level;     // (width, last width) at `height`
    LayoutInt height = std::numeric_limits<LayoutInt>::min();
    bool ordered = true;
};

void addShorter(std::map<LayoutInt, LayoutInt>& steps, LayoutInt width, LayoutInt lastWidth) {
    auto at = steps.upper_bound(width);
    if (at != steps.begin() && std::prev(at)->second <= lastWidth) return;
    while (at != steps.end() && at->second >= lastWidth) at = steps.erase(at);
    steps[width] = lastWidth;
}

// Whether f can be dropped: a kept candidate has the same sizes, or is shorter and neither
// wider nor wider on its last line.  If not, f is kept.
bool dominated(Kept& k, const Format& f) {
    if (!k.ordered) return false;
    if (f.height < k.height) {
        k.ordered = false;
        return false;
    }
    if (f.height > k.height) {
        for (const auto& [w, l] : k.level) addShorter(k.shorter, w, l);
        k.level.clear();
        k.height = f.height;
    }
    auto at = k.shorter.upper_bound(f.width);
    if (at != k.shorter.begin() && std::prev(at)->second <= f.lastWidth) return true;
    return !k.level.emplace(f.width, f.lastWidth).second;
}

List<Format> prunedFrom(const std::shared_ptr<Kept>& kept, List<Format> xs) {
    return List<Format>::defer([kept, xs]() -> List<Format> {
        List<Format> at = xs;
        while (!at.empty() && dominated(*kept, at.head())) at = at.tail();
        if (at.empty()) return at;
        return List<Format>::cons(at.head(), prunedFrom(kept, at.tail()));
    });
}

}  // namespace

List<Format> pruneDominated(List<Format> xs) {
    if (knownShort(xs)) return xs;
    return prunedFrom(std::make_shared<Kept>(), std::move(xs));
}

namespace {

// Whether the merge takes x before y (fewer lines, then smaller width, then the first list's
// candidate when the last widths agree too).
bool mergeTakesFirst(const Format& x, const Format& y) {
    if (x.height != y.height) return x.height < y.height;
    if (x.width != y.width) return x.width < y.width;
    return x.lastWidth == y.lastWidth;
}

bool sameSizes(const Format& x, const Format& y) {
    return x.height == y.height && x.width == y.width && x.lastWidth == y.lastWidth;
}

// Whether the list is empty, known without computing anything.
bool knownEmpty(const List<Format>& xs) {
    return xs.isEvaluated() && xs.empty();
}

// f applied to every candidate; an empty list known as such stays as it is.
template <class F>
List<Format> mapFormats(F f, const List<Format>& xs) {
    return knownEmpty(xs) ? xs : map(std::move(f), xs);
}

// mergeFormats(xs, later), where every candidate of `later` is known to have at least
// `laterAtLeast` lines: a candidate of xs with fewer lines comes first without `later` being
// examined.
List<Format> mergeWithLater(List<Format> xs, List<Format> later, LayoutInt laterAtLeast);

// The same with its first cell computed now (for use inside a deferred cell, whose first cell
// is read as soon as the cell is).
List<Format> mergeNow(const List<Format>& xs, const List<Format>& later, LayoutInt laterAtLeast) {
    if (xs.empty()) return later;
    const Format& x = xs.head();
    if (x.height < laterAtLeast) return List<Format>::cons(x, mergeWithLater(xs.tail(), later, laterAtLeast));
    if (later.empty()) return xs;
    const Format& y = later.head();
    if (!mergeTakesFirst(x, y)) return List<Format>::cons(y, mergeWithLater(xs, later.tail(), laterAtLeast));
    return List<Format>::cons(x, mergeWithLater(xs.tail(), sameSizes(x, y) ? later.tail() : later, laterAtLeast));
}

List<Format> mergeWithLater(List<Format> xs, List<Format> later, LayoutInt laterAtLeast) {
    if (knownEmpty(xs)) return later;  // a side known to be empty leaves the other unchanged
    if (knownEmpty(later)) return xs;
    return List<Format>::defer([xs, later, laterAtLeast] { return mergeNow(xs, later, laterAtLeast); });
}

}  // namespace

List<Format> mergeFormats(List<Format> xs, List<Format> ys) {
    if (knownEmpty(xs)) return ys;
    if (knownEmpty(ys)) return xs;
    return mergeWithLater(std::move(xs), std::move(ys), std::numeric_limits<LayoutInt>::min());
}

namespace {

LayoutInt productWidth(const Format& x, const Format& y) {
    return std::max(x.width, x.lastWidth + y.width);
}

// x beside every right candidate, after the leading ones whose product is wider than bound;
// the first cell computed now.
List<Format> besideRowNow(const Lazy<LayoutInt>& bound, const Format& x, const List<Format>& ys) {
    if (x.width > *bound) return List<Format>();  // no product can fit
    List<Format> at = ys;
    while (!at.empty() && productWidth(x, at.head()) > *bound) at = at.tail();
    if (at.empty()) return at;
    return List<Format>::cons(besideFormat(x, at.head()),
                              mapFormats([x](const Format& y) { return besideFormat(x, y); }, at.tail()));
}

// The rows of the left candidates merged, folded from the right.  Candidate lists keep the
// library's order (non-decreasing height) and every candidate has a line at least, so the
// rows after a left candidate x hold no candidate with fewer lines than the next left
// candidate: those rows are examined only when a candidate of x's row has as many lines.
List<Format> besideRows(Lazy<LayoutInt> bound, List<Format> xs, List<Format> ys) {
    return List<Format>::defer([bound, xs, ys]() -> List<Format> {
        if (xs.empty()) return List<Format>();
        List<Format> rest = xs.tail();
        if (rest.empty()) return besideRowNow(bound, xs.head(), ys);  // nothing to merge with
        const LayoutInt laterAtLeast = rest.head().height;
        return mergeNow(besideRowNow(bound, xs.head(), ys), besideRows(bound, rest, ys), laterAtLeast);
    });
}

}  // namespace

List<Format> besideFormats(const PageBounds& b, List<Format> xs, List<Format> ys) {
    return besideRows(b.lineBound, std::move(xs), std::move(ys));
}

List<Format> besideFormatsUnbounded(List<Format> xs, List<Format> ys) {
    return besideRows(Lazy<LayoutInt>(std::numeric_limits<LayoutInt>::max()), std::move(xs), std::move(ys));
}

namespace {

List<Format> stackedFormats(List<Format> xs, List<Format> ys) {
    return List<Format>::defer([xs, ys]() -> List<Format> {
        if (xs.empty() || ys.empty()) return List<Format>();
        const Format& x = xs.head();
        const Format& y = ys.head();
        countCandidate();
        Format f;
        f.height = x.height + y.height;
        f.lastWidth = y.lastWidth;
        f.width = std::max(x.width, y.width);
        f.text = FormatText::above(x.text, y.text);
        List<Format> rest = x.width >= y.width ? stackedFormats(xs.tail(), ys) : stackedFormats(xs, ys.tail());
        return List<Format>::cons(std::move(f), std::move(rest));
    });
}

}  // namespace

List<Format> aboveFormats(List<Format> xs, List<Format> ys) {
    return stackedFormats(std::move(xs), std::move(ys));
}

// --- attribute rules -----------------------------------------------------------------------

namespace pretty_detail {

PageBounds besideLeftBounds(const PageBounds& b, const Later<Lazy<Sizes>>& rightSizes) {
    return PageBounds(b.lineBound,
                      delay([last = b.lastLineBound, rightSizes] { return *last - rightSizes.get()->width; }));
}

PageBounds besideRightBounds(const PageBounds& b, const Lazy<Sizes>& leftSizes) {
    if (leftSizes.isEvaluated()) return shrinkBounds(leftSizes->lastWidth, b);
    return PageBounds(delay([line = b.lineBound, leftSizes] { return *line - leftSizes->lastWidth; }),
                      delay([last = b.lastLineBound, leftSizes] { return *last - leftSizes->lastWidth; }));
}

namespace {

// Whether every attribute of the part is already computed.
bool allKnown(const DocAttrs& a) {
    return a.reply.isEvaluated() && a.tooWide.isEvaluated() && a.sizes.isEvaluated();
}

DocReply besideReply(const DocAttrs& l, const DocAttrs& r, const Lazy<LayoutInt>& bound) {
    auto product = [&](const List<Format>& x, const List<Format>& y) {
        if (l.height() == 0) return y;
        if (r.height() == 0) return x;
        if (knownShort(x)) return !*l.tooWide && !*r.tooWide ? besideRows(bound, x, y) : besideFormatsUnbounded(x, y);
        if (!*l.tooWide && !*r.tooWide) return pruneDominated(besideRows(bound, x, y));
        return pruneDominated(besideFormatsUnbounded(x, y));
    };
    const DocReply& lr = *l.reply;
    const DocReply& rr = *r.reply;
    const auto* ls = std::get_if<SingleReply>(&lr);
    const auto* rs = std::get_if<SingleReply>(&rr);
    if (ls && rs) return SingleReply{product(ls->formats, rs->formats)};
    if (ls) {
        const auto& p = std::get<PairReply>(rr);
        return PairReply{product(ls->formats, p.first), product(ls->formats, p.second), p.firstTooWide,
                         p.secondTooWide};
    }
    if (rs) {
        const auto& p = std::get<PairReply>(lr);
        return PairReply{product(p.first, rs->formats), product(p.second, rs->formats), p.firstTooWide,
                         p.secondTooWide};
    }
    return errorReply(kBesidePairsError);
}

// Two pairs side by side fail: the flag reads the replies only when both parts fit.
bool besideTooWide(const DocAttrs& l, const DocAttrs& r) {
    return *l.tooWide || *r.tooWide || (isPair(*l.reply) && isPair(*r.reply));
}

}  // namespace

DocAttrs besideAttrs(const DocAttrs& l, const DocAttrs& r, const PageBounds& b) {
    Lazy<Sizes> sizes = combineSizes(l.sizes, r.sizes, [](const Sizes& a, const Sizes& c) {
        Sizes s;
        s.height = a.height == 0 ? c.height : c.height == 0 ? a.height : a.height + c.height - 1;
        s.lastWidth = a.lastWidth + c.lastWidth;
        s.width = std::max(a.width, a.lastWidth + c.width);
        return s;
    });
    // Parts whose attributes are all known give the composition's at once (the reply's
    // candidate lists stay lazy).
    if (allKnown(l) && allKnown(r))
        return DocAttrs{besideReply(l, r, b.lineBound), knownFlag(besideTooWide(l, r)), sizes};
    Lazy<bool> tooWide = delay([lt = l.tooWide, rt = r.tooWide, lr = l.reply, rr = r.reply] {
        return *lt || *rt || (isPair(*lr) && isPair(*rr));
    });
    Lazy<DocReply> reply = delay([l, r, bound = b.lineBound] { return besideReply(l, r, bound); });
    return DocAttrs{reply, tooWide, sizes};
}

}  // namespace pretty_detail

std::pair<DocReply, bool> aboveReplies(const DocReply& upper, const DocReply& lower, LayoutInt upperHeight,
                                       LayoutInt lowerHeight) {
    auto stack = [&](const List<Format>& x, const List<Format>& y) {
        if (upperHeight == 0) return y;
        if (lowerHeight == 0) return x;
        return pruneDominated(aboveFormats(x, y));
    };
    const auto* us = std::get_if<SingleReply>(&upper);
    const auto* ds = std::get_if<SingleReply>(&lower);
    if (us && ds) return {SingleReply{stack(us->formats, ds->formats)}, false};
    if (us) {
        const auto& p = std::get<PairReply>(lower);
        return {PairReply{stack(us->formats, p.first), stack(us->formats, p.second), p.firstTooWide, p.secondTooWide},
                false};
    }
    if (ds) {
        const auto& p = std::get<PairReply>(upper);
        return {PairReply{stack(p.first, ds->formats), stack(p.second, ds->formats), p.firstTooWide, p.secondTooWide},
                false};
    }
    return {errorReply(kAbovePairsError), true};
}

namespace pretty_detail {

DocAttrs aboveAttrs(const DocAttrs& u, const DocAttrs& d) {
    Lazy<Sizes> sizes = combineSizes(u.sizes, d.sizes, [](const Sizes& us, const Sizes& ds) {
        return Sizes{us.height + ds.height, ds.lastWidth, std::max(us.width, ds.width)};
    });
    if (allKnown(u) && allKnown(d)) {  // all at once; the candidate lists stay lazy
        auto [reply, failed] = aboveReplies(*u.reply, *d.reply, u.height(), d.height());
        return DocAttrs{std::move(reply), knownFlag(*d.tooWide || *u.tooWide || failed), sizes};
    }
    Lazy<DocReply> reply = delay([u, d] { return aboveReplies(*u.reply, *d.reply, u.height(), d.height()).first; });
    // Stacking fails exactly when both parts answer with a pair.
    Lazy<bool> tooWide = delay([ut = u.tooWide, dt = d.tooWide, ur = u.reply, dr = d.reply] {
        return *dt || *ut || (isPair(*ur) && isPair(*dr));
    });
    return DocAttrs{reply, tooWide, sizes};
}

namespace {

// The first list, or the second when the first is empty.
List<Format> unlessEmpty(List<Format> xs, List<Format> ys) {
    return List<Format>::defer([xs, ys] { return xs.empty() ? ys : xs; });
}

}  // namespace

DocAttrs joinAttrs(const DocAttrs& e) {
    Lazy<DocReply> reply = delay([er = e.reply, et = e.tooWide]() -> DocReply {
        const DocReply& r = *er;
        if (const auto* p = std::get_if<PairReply>(&r)) {
            if (p->secondTooWide) return SingleReply{unlessEmpty(p->first, p->second)};
            if (!p->firstTooWide) return SingleReply{pruneDominated(mergeFormats(p->first, p->second))};
            return SingleReply{unlessEmpty(p->second, p->first)};
        }
        if (*et) return r;
        return errorReply(kJoinSingleError);
    });
    Lazy<bool> tooWide = delay([er = e.reply, et = e.tooWide] { return isPair(*er) ? *et : true; });
    return DocAttrs{reply, tooWide, e.sizes};
}

namespace {

List<Format> oneLineFormats(List<Format> xs) {
    if (knownEmpty(xs)) return xs;
    return List<Format>::defer([xs]() -> List<Format> {
        if (xs.empty() || xs.head().height > 1) return List<Format>();
        return List<Format>::cons(xs.head(), oneLineFormats(xs.tail()));
    });
}

// What filtering leaves of a reply: 0, some one-line candidates; 1, none; 2, a pair.
int filterOutcome(const DocReply& r) {
    const auto* s = std::get_if<SingleReply>(&r);
    if (!s) return 2;
    return !s->formats.empty() && s->formats.head().height <= 1 ? 0 : 1;
}

}  // namespace

DocAttrs filterAttrs(const DocAttrs& e) {
    Lazy<DocReply> reply = delay([er = e.reply, es = e.sizes]() -> DocReply {
        switch (filterOutcome(*er)) {
        case 0: {
            const List<Format>& xs = std::get<SingleReply>(*er).formats;  // its head has one line
            return SingleReply{List<Format>::cons(xs.head(), oneLineFormats(xs.tail()))};
        }
        case 1: return SingleReply{textFormats(markerText(es->width))};
        default: return errorReply(kFilterPairError);
        }
    });
    Lazy<bool> tooWide = delay([er = e.reply, et = e.tooWide] { return filterOutcome(*er) == 0 ? *et : true; });
    return DocAttrs{reply, tooWide, e.sizes};
}

namespace {

Format indentFormat(LayoutInt n, const Format& f) {
    countCandidate();
    Format g;
    g.height = f.height;
    g.lastWidth = f.lastWidth + n;
    g.width = f.width + n;
    g.text = FormatText::indented(n, f.text);
    return g;
}

List<Format> indentFormats(LayoutInt n, LayoutInt lineBound, bool keepAll, List<Format> xs) {
    return List<Format>::defer([n, lineBound, keepAll, xs] {
        List<Format> at = xs;
        if (!keepAll) {
            while (!at.empty() && at.head().width > lineBound - n) at = at.tail();
        }
        if (at.empty()) return at;
        return List<Format>::cons(indentFormat(n, at.head()),
                                  mapFormats([n](const Format& f) { return indentFormat(n, f); }, at.tail()));
    });
}

// Every candidate list of the reply indented by n (0 <= n <= lineBound).
DocReply indentReply(LayoutInt n, const DocReply& r, LayoutInt lineBound, bool innerTooWide) {
    if (const auto* s = std::get_if<SingleReply>(&r)) return SingleReply{indentFormats(n, lineBound, innerTooWide, s->formats)};
    const auto& p = std::get<PairReply>(r);
    return PairReply{indentFormats(n, lineBound, innerTooWide, p.first),
                     indentFormats(n, lineBound, innerTooWide, p.second), p.firstTooWide, p.secondTooWide};
}

}  // namespace

DocAttrs indentAttrs(Lazy<LayoutInt> n, const DocAttrs& inner, const PageBounds& b) {
    auto shifted = [](const Sizes& s, LayoutInt by) { return Sizes{s.height, s.lastWidth + by, s.width + by}; };
    Lazy<Sizes> sizes = n.isEvaluated() && inner.sizes.isEvaluated()
                            ? Lazy<Sizes>(shifted(*inner.sizes, *n))
                            : delay([n, is = inner.sizes, shifted] { return shifted(*is, *n); });
    Lazy<bool> tooWide = delay([n, line = b.lineBound, it = inner.tooWide] { return *n < 0 || *n > *line || *it; });
    Lazy<DocReply> reply = delay([n, line = b.lineBound, inner]() -> DocReply {
        if (*n < 0) return errorReply(kNegativeIndentError);
        if (*n > *line) return SingleReply{textFormats(markerText(*n + inner.width()))};
        return indentReply(*n, *inner.reply, *line, *inner.tooWide);
    });
    return DocAttrs{reply, tooWide, sizes};
}

}  // namespace pretty_detail

// --- plain combinators ---------------------------------------------------------------------

Doc besideDoc(Doc left, Doc right) {
    return composeDoc(
        {&left, &right}, [&] { return besideNode(std::move(left).node(), std::move(right).node()); },
        [&] {
            return Doc([left, right](const PageBounds& b) {
                Later<Lazy<Sizes>> rightSizes;
                DocAttrs l = left(besideLeftBounds(b, rightSizes));
                DocAttrs r = right(besideRightBounds(b, l.sizes));
                rightSizes.define(r.sizes);
                return besideAttrs(l, r, b);
            });
        });
}

Doc aboveDoc(Doc upper, Doc lower) {
    return composeDoc(
        {&upper, &lower}, [&] { return aboveNode(std::move(upper).node(), std::move(lower).node()); },
        [&] { return Doc([upper, lower](const PageBounds& b) { return aboveAttrs(upper(b), lower(b)); }); });
}

Doc joinDoc(Doc d) {
    return composeDoc(
        {&d}, [&] { return joinNode(std::move(d).node()); },
        [&] { return Doc([d](const PageBounds& b) { return joinAttrs(d(b)); }); });
}

Doc indentDoc(LayoutInt n, Doc d) {
    return composeDoc(
        {&d}, [&] { return indentNode(n, std::move(d).node()); },
        [&] {
            return Doc([n, by = Lazy<LayoutInt>(n), d](const PageBounds& b) {
                return indentAttrs(by, d(shrinkBounds(n, b)), b);
            });
        });
}

Doc filterDoc(Doc d) {
    return composeDoc(
        {&d}, [&] { return filterNode(std::move(d).node()); },
        [&] { return Doc([d](const PageBounds& b) { return filterAttrs(d(b)); }); });
}

namespace {

// The two documents' attributes as a pair of alternatives.
DocAttrs dupAttrs(const DocAttrs& dx, const DocAttrs& dy) {
    Lazy<Sizes> sizes = combineSizes(dx.sizes, dy.sizes, [](const Sizes& xs, const Sizes& ys) {
        return Sizes{std::max(xs.height, ys.height), std::min(xs.lastWidth, ys.lastWidth),
                     std::min(xs.width, ys.width)};
    });
    Lazy<DocReply> reply = delay([dx, dy, sizes]() -> DocReply {
        if (!*dx.tooWide || !*dy.tooWide)
            return PairReply{alternativeFormats(*dx.reply), alternativeFormats(*dy.reply), *dx.tooWide,
                             *dy.tooWide};
        return SingleReply{textFormats(markerText(sizes->width))};
    });
    Lazy<bool> tooWide = delay([xt = dx.tooWide, yt = dy.tooWide] { return *xt && *yt; });
    return DocAttrs{reply, tooWide, sizes};
}

}  // namespace

Doc dupDoc(Doc x, Doc y) {
    return composeDoc(
        {&x, &y}, [&] { return dupNode(std::move(x).node(), std::move(y).node()); },
        [&] { return Doc([x, y](const PageBounds& b) { return dupAttrs(x(b), y(b)); }); });
}

namespace {

// The first candidate alone, reported as one line of width 0; one empty line when there is none.
List<Format> firstAsZeroSize(List<Format> xs) {
    return List<Format>::defer([xs] {
        FormatText text = xs.empty() ? FormatText() : xs.head().text;
        return List<Format>::cons(Format{1, 0, 0, std::move(text)}, List<Format>());
    });
}

}  // namespace

Doc zeroSizeDoc(Doc d) {
    return Doc([d](const PageBounds&) {
        DocAttrs inner = d(unboundedBounds());
        Lazy<DocReply> reply = delay([ir = inner.reply]() -> DocReply {
            const DocReply& r = *ir;
            if (const auto* s = std::get_if<SingleReply>(&r)) return SingleReply{firstAsZeroSize(s->formats)};
            const auto& p = std::get<PairReply>(r);
            return PairReply{firstAsZeroSize(p.first), firstAsZeroSize(p.second), p.firstTooWide, p.secondTooWide};
        });
        return DocAttrs{reply, Lazy<bool>(false), Lazy<Sizes>(Sizes{1, 0, 0})};
    });
}

}  // namespace plim
