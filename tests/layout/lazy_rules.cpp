// The attribute rules of the layout library, every candidate built (see layout/lazy_rules.h).
#include "layout/lazy_rules.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

// Documents, candidate layouts, rendering and the plain combinators of the layout library.



namespace plim::lazy_rules {

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

FormatText::FormatText() {
    static const SharedFn<void(LayoutInt, std::string&)> nothing([](LayoutInt, std::string&) {});
    writer_ = nothing;
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
    Format f;
    f.height = first.height + second.height - 1;
    f.lastWidth = first.lastWidth + second.lastWidth;
    f.width = std::max(first.width, first.lastWidth + second.width);
    f.text = FormatText([t1 = first.text, t2 = second.text, l1 = first.lastWidth](LayoutInt c, std::string& out) {
        t1.write(c, out);
        t2.write(c + l1, out);
    });
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

const List<Format>& errorFormats(const char* text) {
    static std::map<std::string, List<Format>> built;
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
    const auto n = static_cast<LayoutInt>(text.size());
    Lazy<Sizes> sizes(Sizes{1, n, n});
    Lazy<DocReply> fits(SingleReply{ownTextFormats(std::move(text))});
    return Doc([n, sizes, fits](const PageBounds& b) {
        auto reply = [n, fits](bool tooWide) -> Lazy<DocReply> {
            if (!tooWide) return fits;
            return delay([n]() -> DocReply { return SingleReply{textFormats(markerText(n))}; });
        };
        if (b.lineBound.isEvaluated()) {  // the usual case: decide at once
            const bool tooWide = n > *b.lineBound;
            return DocAttrs{reply(tooWide), knownFlag(tooWide), sizes};
        }
        Lazy<bool> tooWide = delay([line = b.lineBound, n] { return n > *line; });
        return DocAttrs{delay([tooWide, reply] { return reply(*tooWide).get(); }), tooWide, sizes};
    });
}

Doc ppString(std::string text) {
    return textDoc(std::move(text));
}

Doc ppChar(char c) {
    return textDoc(std::string(1, c));
}

Doc emptyDoc() {
    static const DocAttrs empty{Lazy<DocReply>(SingleReply{}), Lazy<bool>(false), Lazy<Sizes>(Sizes{})};
    static const Doc doc([](const PageBounds&) { return empty; });
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

// --- rendering -------------------------------------------------------------------------------

void negativeWidthText(std::string& out) {
    out += kNegativeWidthError;
}

void renderPairText(std::string& out) {
    out += kRenderPairError;
}

void renderDocAtBoundsTo(std::string& out, const Doc& d, const PageBounds& b) {
    const DocAttrs attrs = d(b);
    const DocReply& reply = *attrs.reply;
    if (const auto* single = std::get_if<SingleReply>(&reply)) {
        if (!single->formats.empty()) single->formats.head().text.write(0, out);
        else if (attrs.height() != 0) out += markerText(attrs.width());  // nothing fits: the library's render
    } else {
        renderPairText(out);
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

List<Format> aboveFormats(List<Format> xs, List<Format> ys) {
    return List<Format>::defer([xs, ys]() -> List<Format> {
        if (xs.empty() || ys.empty()) return List<Format>();
        const Format& x = xs.head();
        const Format& y = ys.head();
        Format f;
        f.height = x.height + y.height;
        f.lastWidth = y.lastWidth;
        f.width = std::max(x.width, y.width);
        f.text = FormatText([upper = x.text, lower = y.text](LayoutInt c, std::string& out) {
            upper.write(c, out);
            out += '\n';
            if (c > 0) out.append(static_cast<std::size_t>(c), ' ');
            lower.write(c, out);
        });
        List<Format> rest = x.width >= y.width ? aboveFormats(xs.tail(), ys) : aboveFormats(xs, ys.tail());
        return List<Format>::cons(std::move(f), std::move(rest));
    });
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
        if (!*l.tooWide && !*r.tooWide) return besideRows(bound, x, y);
        return besideFormatsUnbounded(x, y);
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
        return aboveFormats(x, y);
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
            if (!p->firstTooWide) return SingleReply{mergeFormats(p->first, p->second)};
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
    Format g;
    g.height = f.height;
    g.lastWidth = f.lastWidth + n;
    g.width = f.width + n;
    g.text = FormatText([n, t = f.text](LayoutInt c, std::string& out) {
        if (n > 0) out.append(static_cast<std::size_t>(n), ' ');
        t.write(c + n, out);
    });
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
    return Doc([left, right](const PageBounds& b) {
        Later<Lazy<Sizes>> rightSizes;
        DocAttrs l = left(besideLeftBounds(b, rightSizes));
        DocAttrs r = right(besideRightBounds(b, l.sizes));
        rightSizes.define(r.sizes);
        return besideAttrs(l, r, b);
    });
}

Doc aboveDoc(Doc upper, Doc lower) {
    return Doc([upper, lower](const PageBounds& b) { return aboveAttrs(upper(b), lower(b)); });
}

Doc joinDoc(Doc d) {
    return Doc([d](const PageBounds& b) { return joinAttrs(d(b)); });
}

Doc indentDoc(LayoutInt n, Doc d) {
    return Doc([n, by = Lazy<LayoutInt>(n), d](const PageBounds& b) { return indentAttrs(by, d(shrinkBounds(n, b)), b); });
}

Doc filterDoc(Doc d) {
    return Doc([d](const PageBounds& b) { return filterAttrs(d(b)); });
}

Doc dupDoc(Doc x, Doc y) {
    return Doc([x, y](const PageBounds& b) {
        DocAttrs dx = x(b);
        DocAttrs dy = y(b);
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
    });
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

}  // namespace plim::lazy_rules

// Parameterised documents: holes, their compositions, choice, application and substitution.


namespace plim::lazy_rules {

using namespace pretty_detail;

ParArgs::ParArgs(std::vector<DocAttrs> items)
    : items_(std::make_shared<const std::vector<DocAttrs>>(std::move(items))), count_(items_->size()) {}

ParArgs ParArgs::take(std::size_t n) const {
    ParArgs out = *this;
    out.count_ = std::min(n, count_);
    return out;
}

ParArgs ParArgs::drop(std::size_t n) const {
    ParArgs out = *this;
    const std::size_t k = std::min(n, count_);
    out.offset_ += k;
    out.count_ -= k;
    return out;
}

namespace {

DocAttrs docAttrsOf(const ParAttrs& p) {
    return DocAttrs{p.reply, p.tooWide, p.sizes};
}

ParAttrs withParams(DocAttrs d, List<PageBounds> paramBounds) {
    return ParAttrs{std::move(d.reply), std::move(d.tooWide), std::move(d.sizes), std::move(paramBounds)};
}

List<PageBounds> single(const PageBounds& b) {
    return List<PageBounds>::cons(b, List<PageBounds>());
}

// The bounds of the i-th entry of a list that becomes known later; `fallback` when the
// list is too short.
PageBounds boundsAt(const Lazy<std::vector<PageBounds>>& all, std::size_t i, const PageBounds& fallback) {
    auto pick = [all, i, fallback]() -> const PageBounds& { return i < all->size() ? (*all)[i] : fallback; };
    return PageBounds(delay([pick] { return *pick().lineBound; }), delay([pick] { return *pick().lastLineBound; }));
}

Lazy<std::vector<PageBounds>> vectorOf(const Later<List<PageBounds>>& list) {
    return delay([list] { return toVector(list.get()); });
}

// The parameter bounds of two parts, one after the other.  The lists of parameter bounds are
// built at once: their length follows from the documents' structure alone, while each entry
// keeps its lazy fields.
List<PageBounds> appendBounds(const List<PageBounds>& xs, List<PageBounds> ys) {
    if (xs.empty()) return ys;
    if (xs.tail().empty()) return List<PageBounds>::cons(xs.head(), std::move(ys));  // the usual case
    const std::vector<PageBounds> front = toVector(xs);
    for (auto it = front.rbegin(); it != front.rend(); ++it) ys = List<PageBounds>::cons(*it, std::move(ys));
    return ys;
}

// The larger bounds of each pair of entries, as long as both lists last.  Built when read, so
// that bounds known by then are compared at once.
List<PageBounds> zipMaxBounds(List<PageBounds> xs, List<PageBounds> ys) {
    return List<PageBounds>::defer([xs, ys]() -> List<PageBounds> {
        if (xs.empty() || ys.empty()) return List<PageBounds>();
        return List<PageBounds>::cons(maxBounds(xs.head(), ys.head()), zipMaxBounds(xs.tail(), ys.tail()));
    });
}

// One alternative of a pair-valued argument taken out: `second` picks the second.
ParDoc alternativeHole(bool second) {
    return ParDoc(1, [second](const ParArgs& args, const PageBounds& b) {
        ParAttrs p = parDoc()(args, b);
        Lazy<DocReply> reply = delay([pr = p.reply, second]() -> DocReply {
            const auto* pair = std::get_if<PairReply>(&*pr);
            if (!pair) return *pr;
            return SingleReply{second ? pair->second : pair->first};
        });
        Lazy<bool> tooWide = delay([pt = p.tooWide, pr = p.reply, second] {
            if (*pt) return true;
            const auto* pair = std::get_if<PairReply>(&*pr);
            return pair != nullptr && (second ? pair->secondTooWide : pair->firstTooWide);
        });
        return ParAttrs{reply, tooWide, p.sizes, p.paramBounds};
    });
}

}  // namespace

ParDoc parDoc() {
    static const ParDoc hole(1, [](const ParArgs& args, const PageBounds& b) {
        if (args.size() == 0) return withParams(missingArgumentAttrs(), single(b));
        return withParams(args[0], single(b));
    });
    return hole;
}

ParDoc firstParDoc() {
    static const ParDoc hole = alternativeHole(false);
    return hole;
}

ParDoc secondParDoc() {
    static const ParDoc hole = alternativeHole(true);
    return hole;
}

ParDoc liftParDoc(Doc d) {
    return ParDoc(0, [d](const ParArgs&, const PageBounds& b) { return withParams(d(b), List<PageBounds>()); });
}

ParDoc filterParDoc(ParDoc p) {
    return ParDoc(p.paramCount(), [p](const ParArgs& args, const PageBounds& b) {
        ParAttrs t = p(args, b);
        return withParams(filterAttrs(docAttrsOf(t)), t.paramBounds);
    });
}

ParDoc besideParDoc(ParDoc left, ParDoc right) {
    return ParDoc(left.paramCount() + right.paramCount(), [left, right](const ParArgs& args, const PageBounds& b) {
        const auto n = static_cast<std::size_t>(left.paramCount());
        Later<Lazy<Sizes>> rightSizes;
        ParAttrs l = left(args.take(n), besideLeftBounds(b, rightSizes));
        ParAttrs r = right(args.drop(n), besideRightBounds(b, l.sizes));
        rightSizes.define(r.sizes);
        return withParams(besideAttrs(docAttrsOf(l), docAttrsOf(r), b), appendBounds(l.paramBounds, r.paramBounds));
    });
}

ParDoc aboveParDoc(ParDoc upper, ParDoc lower) {
    return ParDoc(upper.paramCount() + lower.paramCount(), [upper, lower](const ParArgs& args, const PageBounds& b) {
        const auto n = static_cast<std::size_t>(upper.paramCount());
        ParAttrs u = upper(args.take(n), b);
        ParAttrs d = lower(args.drop(n), b);
        return withParams(aboveAttrs(docAttrsOf(u), docAttrsOf(d)), appendBounds(u.paramBounds, d.paramBounds));
    });
}

ParDoc joinParDoc(ParDoc p) {
    return ParDoc(p.paramCount(), [p](const ParArgs& args, const PageBounds& b) {
        ParAttrs t = p(args, b);
        return withParams(joinAttrs(docAttrsOf(t)), t.paramBounds);
    });
}

ParDoc indentParDoc(LayoutInt n, ParDoc p) {
    return ParDoc(p.paramCount(), [n, by = Lazy<LayoutInt>(n), p](const ParArgs& args, const PageBounds& b) {
        ParAttrs t = p(args, shrinkBounds(n, b));
        return withParams(indentAttrs(by, docAttrsOf(t), b), t.paramBounds);
    });
}

ParDoc choiceParDoc(ParDoc left, ParDoc right) {
    return ParDoc(left.paramCount(), [left, right](const ParArgs& args, const PageBounds& b) {
        const LayoutInt n = left.paramCount();
        const LayoutInt m = right.paramCount();
        ParAttrs l = left(args, b);
        ParAttrs r = right(args, b);
        Lazy<Sizes> sizes = combineSizes(l.sizes, r.sizes, [](const Sizes& ls, const Sizes& rs) {
            return Sizes{std::max(ls.height, rs.height), std::min(ls.lastWidth, rs.lastWidth),
                         std::min(ls.width, rs.width)};
        });
        Lazy<bool> tooWide = delay([n, m, lt = l.tooWide, rt = r.tooWide] { return n != m || (*lt && *rt); });
        Lazy<DocReply> reply = delay([n, m, l, r, sizes]() -> DocReply {
            if (n != m) return SingleReply{textFormats(choiceCountError(n, m))};
            if (!*l.tooWide) return PairReply{alternativeFormats(*l.reply), alternativeFormats(*r.reply), false, *r.tooWide};
            if (!*r.tooWide) return PairReply{alternativeFormats(*l.reply), alternativeFormats(*r.reply), true, false};
            return SingleReply{textFormats(markerText(sizes->width))};
        });
        return ParAttrs{reply, tooWide, sizes, zipMaxBounds(l.paramBounds, r.paramBounds)};
    });
}

Doc applyParDoc(ParDoc p, std::vector<Doc> args) {
    return Doc([p, args = std::move(args)](const PageBounds& b) {
        const LayoutInt n = p.paramCount();
        const auto m = static_cast<LayoutInt>(args.size());
        if (n != m) return errorAttrs(applyCountError(n, m));
        // Each argument is laid out once, at the bounds its parameter asks for; every use of
        // the parameter (in either alternative of a choice) reads these same attributes.
        Later<List<PageBounds>> paramBounds;
        Lazy<std::vector<PageBounds>> all = vectorOf(paramBounds);
        std::vector<DocAttrs> laidOut;
        laidOut.reserve(args.size());
        for (std::size_t i = 0; i < args.size(); ++i) laidOut.push_back(args[i](boundsAt(all, i, b)));
        ParAttrs attrs = p(ParArgs(std::move(laidOut)), b);
        paramBounds.define(attrs.paramBounds);
        return docAttrsOf(attrs);
    });
}

namespace {

ParDocListAttrs evalParDocList(const std::vector<ParDoc>& docs, const ParArgs& args,
                               const Lazy<std::vector<PageBounds>>& bounds, const PageBounds& fallback) {
    ParDocListAttrs out;
    std::vector<List<PageBounds>> nested;
    ParArgs rest = args;
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const auto c = static_cast<std::size_t>(docs[i].paramCount());
        ParAttrs e = docs[i](rest.take(c), boundsAt(bounds, i, fallback));
        rest = rest.drop(c);
        out.elements.push_back(docAttrsOf(e));
        nested.push_back(e.paramBounds);
        out.paramTotal += docs[i].paramCount();
    }
    out.count = static_cast<LayoutInt>(docs.size());
    for (auto it = nested.rbegin(); it != nested.rend(); ++it) out.paramBounds = appendBounds(*it, out.paramBounds);
    return out;
}

}  // namespace

ParDocListAttrs parDocList(const std::vector<ParDoc>& docs, const ParArgs& args, List<PageBounds> bounds) {
    Lazy<std::vector<PageBounds>> all = delay([bounds] { return toVector(bounds); });
    return evalParDocList(docs, args, all, unboundedBounds());
}

ParDoc substParDoc(ParDoc outer, std::vector<ParDoc> inners) {
    LayoutInt total = 0;
    for (const ParDoc& d : inners) total += d.paramCount();
    return ParDoc(total, [outer, inners = std::move(inners)](const ParArgs& args, const PageBounds& b) {
        Later<List<PageBounds>> outerBounds;
        ParDocListAttrs inner = evalParDocList(inners, args, vectorOf(outerBounds), b);
        ParAttrs o = outer(ParArgs(inner.elements), b);
        outerBounds.define(o.paramBounds);
        const LayoutInt n = outer.paramCount();
        if (n != inner.count) return withParams(errorAttrs(applyCountError(n, inner.count)), inner.paramBounds);
        return ParAttrs{o.reply, o.tooWide, o.sizes, inner.paramBounds};
    });
}

}  // namespace plim::lazy_rules

// Fill layouts (documents set like words in a paragraph) and the centred column.


namespace plim::lazy_rules {

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
        if (single && h == 1) return *fits ? besideFormats(eb, a, single->formats) : aboveFormats(a, single->formats);
        if (!single && h == 0) return errorFormats(kFillPairError);
        const List<Format>& shown = errorFormats(single ? kFillHigherError : kFillPairError);
        return *fits ? besideFormatsUnbounded(a, shown) : aboveFormats(a, shown);
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

}  // namespace plim::lazy_rules

// Higher-level layouts: enclosing, lists, horizontal-or-vertical lists and the Printable
// instances for strings and numbers.



namespace plim::lazy_rules {

using namespace pretty_detail;

// --- Printable instances -------------------------------------------------------------------

std::string showString(const std::string& s) {
    return showCharList(s);
}

std::string showInt(std::int32_t n) {
    return std::to_string(n);
}

std::string showFloat(float x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "Infinity" : "-Infinity";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, x);
    std::string s(buf, res.ptr);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

// --- enclosing -----------------------------------------------------------------------------

Doc encloseDoc(char open, char close, Doc d) {
    return besideDoc(ppChar(open), besideDoc(std::move(d), ppChar(close)));
}

Doc parensDoc(Doc d) {
    return encloseDoc('(', ')', std::move(d));
}

Doc bracketsDoc(Doc d) {
    return encloseDoc('[', ']', std::move(d));
}

Doc bracesDoc(Doc d) {
    return encloseDoc('{', '}', std::move(d));
}

Doc doubleQuotesDoc(Doc d) {
    return encloseDoc('"', '"', std::move(d));
}

Doc backQuotesDoc(Doc d) {
    return encloseDoc('`', '\'', std::move(d));
}

// --- stacking a long list --------------------------------------------------------------------
//
// aboveList stacks its items as the right-nested aboveDoc of them would, but walks the list in
// loops: a stack of n candidate lists yields the candidates that n - 1 nested aboveFormats would,
// each step advancing the first of the lists whose head is the widest.

namespace {

List<Format> stackFormats(std::shared_ptr<const std::vector<List<Format>>> lists);

// The lists with the one at `advanced` moved on by one candidate.
List<Format> stackFormatsAfter(std::shared_ptr<const std::vector<List<Format>>> lists, std::size_t advanced) {
    return List<Format>::defer([lists, advanced] {
        auto next = std::make_shared<std::vector<List<Format>>>(*lists);
        (*next)[advanced] = (*next)[advanced].tail();
        return stackFormats(std::move(next));
    });
}

List<Format> stackFormats(std::shared_ptr<const std::vector<List<Format>>> lists) {
    if (lists->size() == 1) return lists->front();
    return List<Format>::defer([lists]() -> List<Format> {
        std::vector<FormatText> texts;
        texts.reserve(lists->size());
        Format f;
        std::size_t widest = 0;
        for (std::size_t i = 0; i < lists->size(); ++i) {
            const List<Format>& l = (*lists)[i];
            if (l.empty()) return List<Format>();
            const Format& h = l.head();
            f.height += h.height;
            f.lastWidth = h.lastWidth;
            if (i == 0 || h.width > f.width) {
                f.width = h.width;
                widest = i;
            }
            texts.push_back(h.text);
        }
        f.text = FormatText([texts = std::move(texts)](LayoutInt c, std::string& out) {
            for (std::size_t i = 0; i < texts.size(); ++i) {
                if (i > 0) {
                    out += '\n';
                    if (c > 0) out.append(static_cast<std::size_t>(c), ' ');
                }
                texts[i].write(c, out);
            }
        });
        return List<Format>::cons(std::move(f), stackFormatsAfter(lists, widest));
    });
}

// The candidate lists still to be stacked, top first; a list of one entry stands for itself.
using Stack = List<List<Format>>;

List<Format> formatsOfStack(const Stack& s) {
    return stackFormats(std::make_shared<const std::vector<List<Format>>>(toVector(s)));
}

struct StackedReply {
    bool pair = false;
    Stack first;   // the single stack, or the first alternative's
    Stack second;  // the second alternative's
    bool firstTooWide = false;
    bool secondTooWide = false;
    bool failed = false;  // two pairs met somewhere
};

StackedReply stackItems(const std::vector<DocAttrs>& items) {
    StackedReply acc;
    acc.first = Stack::cons(List<Format>(), Stack());
    LayoutInt below = 0;  // the height of the items stacked so far
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const LayoutInt h = it->height();
        const DocReply& r = *it->reply;
        auto stack = [&](const List<Format>& x, const Stack& y) {
            if (h == 0) return y;
            if (below == 0) return Stack::cons(x, Stack());
            return Stack::cons(x, y);
        };
        const auto* single = std::get_if<SingleReply>(&r);
        if (single && !acc.pair) {
            acc.first = stack(single->formats, acc.first);
        } else if (single) {
            acc.first = stack(single->formats, acc.first);
            acc.second = stack(single->formats, acc.second);
        } else if (!acc.pair) {
            const auto& p = std::get<PairReply>(r);
            Stack y = acc.first;
            acc.pair = true;
            acc.first = stack(p.first, y);
            acc.second = stack(p.second, y);
            acc.firstTooWide = p.firstTooWide;
            acc.secondTooWide = p.secondTooWide;
        } else {
            acc.pair = false;
            acc.failed = true;
            acc.first = Stack::cons(errorFormats(kAbovePairsError), Stack());
            acc.second = Stack();
        }
        below += h;
    }
    return acc;
}

}  // namespace

Doc aboveList(std::vector<Doc> items) {
    if (items.empty()) return emptyDoc();
    return Doc([items = std::move(items)](const PageBounds& b) {
        std::vector<DocAttrs> laidOut;
        laidOut.reserve(items.size());
        for (const Doc& item : items) laidOut.push_back(item(b));
        auto shared = std::make_shared<const std::vector<DocAttrs>>(std::move(laidOut));
        Lazy<Sizes> sizes = delay([shared] {
            Sizes s;  // the last item stands above emptyDoc: the last-line width is 0
            for (const DocAttrs& a : *shared) {
                s.height += a.height();
                s.width = std::max(s.width, a.width());
            }
            return s;
        });
        Lazy<StackedReply> stacked = delay([shared] { return stackItems(*shared); });
        Lazy<DocReply> reply = delay([stacked]() -> DocReply {
            const StackedReply& s = *stacked;
            if (!s.pair) return SingleReply{formatsOfStack(s.first)};
            return PairReply{formatsOfStack(s.first), formatsOfStack(s.second), s.firstTooWide, s.secondTooWide};
        });
        Lazy<bool> tooWide = delay([shared, stacked] {
            for (auto it = shared->rbegin(); it != shared->rend(); ++it)
                if (*it->tooWide) return true;
            return stacked->failed;
        });
        return DocAttrs{reply, tooWide, sizes};
    });
}

// --- lists of documents --------------------------------------------------------------------

Doc besideList(std::vector<Doc> items) {
    return ppListDefault(items);
}

Doc besideSpaceList(std::vector<Doc> items) {
    Doc acc = emptyDoc();
    for (auto it = items.rbegin(); it != items.rend(); ++it) acc = besideSpace(*it, acc);
    return acc;
}

Doc filteredBesideList(std::vector<Doc> items) {
    if (items.empty()) return emptyDoc();
    Doc acc = filterDoc(items.back());
    for (auto it = items.rbegin() + 1; it != items.rend(); ++it) acc = besideDoc(filterDoc(*it), acc);
    return acc;
}

Doc paddedTextDoc(LayoutInt n, const std::string& s) {
    const auto len = static_cast<LayoutInt>(s.size());
    if (len > n) return ppString(s);
    std::string padded = s;
    padded.append(static_cast<std::size_t>(n - len), ' ');
    return textDoc(std::move(padded));
}

void renderLinesTo(std::string& out, LayoutInt width, const std::vector<Doc>& docs) {
    for (const Doc& d : docs) {
        renderDocTo(out, d, width);
        out += '\n';
    }
}

std::string renderLines(LayoutInt width, const std::vector<Doc>& docs) {
    std::string out;
    renderLinesTo(out, width, docs);
    return out;
}

// --- building blocks on parameterised documents ------------------------------------------

ParDoc bestOfParDoc(ParDoc l, ParDoc r) {
    return joinParDoc(choiceParDoc(std::move(l), std::move(r)));
}

ParDoc stringBesideParDoc(const std::string& s, ParDoc p) {
    return besideParDoc(liftParDoc(ppString(s)), std::move(p));
}

ParDoc besideSpaceParDoc(ParDoc l, ParDoc r) {
    return besideParDoc(std::move(l), stringBesideParDoc(" ", std::move(r)));
}

// --- horizontal or vertical ----------------------------------------------------------------

namespace {

// The one-line arrangement of an item and the rest's first alternative, or the item above the
// rest's second alternative.
ParDoc hvStep() {
    static const ParDoc step = choiceParDoc(besideParDoc(filterParDoc(parDoc()), firstParDoc()),
                                            aboveParDoc(parDoc(), secondParDoc()));
    return step;
}

Doc emptyPairDoc() {
    static const Doc pair = dupDoc(emptyDoc(), emptyDoc());
    return pair;
}

}  // namespace

Doc hvList(std::vector<Doc> items) {
    Doc alternatives = emptyPairDoc();
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        alternatives = applyParDoc(hvStep(), std::vector<Doc>{*it, alternatives});
    return joinDoc(alternatives);
}

std::pair<ParDoc, ParDoc> hvSpArrangements(std::size_t length) {
    ParDoc h = parDoc();
    ParDoc v = parDoc();
    for (std::size_t i = 1; i < length; ++i) {
        h = besideSpaceParDoc(filterParDoc(parDoc()), h);
        v = aboveParDoc(parDoc(), v);
    }
    return {h, v};
}

Doc hvSpList(std::vector<Doc> items) {
    if (items.empty()) return emptyDoc();
    auto [h, v] = hvSpArrangements(items.size());
    return applyParDoc(joinParDoc(choiceParDoc(h, v)), std::move(items));
}

// --- conditional and block layouts -----------------------------------------------------------

namespace {

ParDoc p() {
    return parDoc();
}

// p1 beside (p2 above p3), or p1 above (p2 above p3).
ParDoc branchesLayout() {
    static const ParDoc layout =
        substParDoc(joinParDoc(choiceParDoc(besideParDoc(p(), p()), aboveParDoc(p(), p()))),
                    std::vector<ParDoc>{p(), aboveParDoc(p(), p())});
    return layout;
}

ParDoc ifThenElseLayout() {
    static const ParDoc layout = joinParDoc(
        choiceParDoc(filterParDoc(besideParDoc(p(), besideParDoc(p(), besideParDoc(p(), p())))),
                     aboveParDoc(branchesLayout(), p())));
    return layout;
}

ParDoc blockFirstStep() {
    static const ParDoc step =
        choiceParDoc(besideParDoc(filterParDoc(p()), firstParDoc()), aboveParDoc(p(), secondParDoc()));
    return step;
}

ParDoc blockItemStep(LayoutInt itemIndent) {
    return choiceParDoc(besideParDoc(p(), besideParDoc(filterParDoc(p()), firstParDoc())),
                        aboveParDoc(besideParDoc(p(), indentParDoc(itemIndent, p())), secondParDoc()));
}

Doc emptyBlock(const std::string& open, const std::string& close) {
    return hvList(std::vector<Doc>{nonEmptyDoc(open), nonEmptyDoc(close)});
}

}  // namespace

Doc ifThenElseParts(Doc ifPart, Doc thenPart, Doc elsePart, Doc closing) {
    return applyParDoc(ifThenElseLayout(), std::vector<Doc>{std::move(ifPart), std::move(thenPart),
                                                            std::move(elsePart), std::move(closing)});
}

Doc blockDoc(const std::string& open, const std::string& close, const std::string& separator,
             std::vector<Doc> items) {
    if (items.empty()) return emptyBlock(open, close);
    const auto lo = static_cast<LayoutInt>(open.size());
    const auto ls = static_cast<LayoutInt>(separator.size());
    const LayoutInt m = std::max(ls, lo);
    Doc first = besideDoc(nonEmptyDoc(open), indentDoc(m - lo, items.front()));
    Doc rest = applyParDoc(choiceParDoc(indentParDoc(m - lo, p()), p()), std::vector<Doc>{nonEmptyDoc(close)});
    const ParDoc step = blockItemStep(m - ls);
    const Doc sep = nonEmptyDoc(separator);
    for (std::size_t i = items.size(); i-- > 1;) rest = applyParDoc(step, std::vector<Doc>{sep, items[i], rest});
    return joinDoc(applyParDoc(blockFirstStep(), std::vector<Doc>{first, rest}));
}

Doc blockFillDoc(LayoutInt blockWidth, const std::string& open, const std::string& close,
                 const std::string& separator, std::vector<Doc> items) {
    if (items.empty()) return emptyBlock(open, close);
    const auto lead = std::max<LayoutInt>(0, static_cast<LayoutInt>(separator.size()) - 1);
    std::vector<Doc> parts{nonEmptyDoc(open), besideDoc(textDoc(blanks(lead)), items.front())};
    for (std::size_t i = 1; i < items.size(); ++i) parts.push_back(besideDoc(nonEmptyDoc(separator), items[i]));
    Doc body = fillBlockDoc(blockWidth, std::move(parts));
    static const ParDoc closeAfterBody =
        joinParDoc(choiceParDoc(filterParDoc(besideParDoc(p(), p())), aboveParDoc(p(), p())));
    return applyParDoc(closeAfterBody, std::vector<Doc>{body, nonEmptyDoc(close)});
}

}  // namespace plim::lazy_rules
