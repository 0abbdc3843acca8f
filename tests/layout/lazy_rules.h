// The layout library's attribute rules, followed to the letter: the oracle of the layout tests.
//
// A document is a function from the page bounds it may use to its attributes (`DocAttrs`): the
// candidate layouts, best first (`reply`), a too-wide flag and its sizes.  Every attribute is
// computed on demand, at most once; the bounds handed to a part may depend on the sizes of its
// siblings, so bounds are lazy too.  A `ParDoc` is a document with holes (`parDoc`) that
// `applyParDoc` fills with argument documents; `choiceParDoc` offers two arrangements of the same
// arguments, which a join (`joinDoc`, `joinParDoc`) later resolves for the page width.
//
// Unlike the node engine of src/layout, which these rules define, every candidate layout is built:
// no candidate is pruned as dominated, no shortcut is taken and there is no work budget.  So a
// differential test against the engine checks its pruning and its shortcuts as well as its rules
// (layout/differential.h).  Only small documents are laid out with it: the exhaustive lists
// multiply with every choice.
//
// Misuse never throws: it yields an error document, a one-line text that begins "<Error: ".
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "support/lazy.h"

namespace plim::lazy_rules {

// Sizes and bounds are computed in 64 bits; kUnboundedWidth is the bound of no limit.
using LayoutInt = std::int64_t;
inline constexpr LayoutInt kUnboundedWidth = 2147483647;

// --- page bounds -------------------------------------------------------------------------

// The room a document may use: every line within lineBound (counted from the document's
// start column), the last line within lastLineBound.  The fields are lazy because a part's
// bounds may depend on the sizes of its siblings.
struct PageBounds {
    Lazy<LayoutInt> lineBound;
    Lazy<LayoutInt> lastLineBound;

    PageBounds(LayoutInt line, LayoutInt last) : lineBound(line), lastLineBound(last) {}
    PageBounds(Lazy<LayoutInt> line, Lazy<LayoutInt> last)
        : lineBound(std::move(line)), lastLineBound(std::move(last)) {}
};

// (2147483647, 2147483647): no width limit.
PageBounds unboundedBounds();
// Both fields reduced by n.
PageBounds shrinkBounds(LayoutInt n, const PageBounds& b);
// The bounds with the larger lineBound; the second on equal lineBounds.
PageBounds maxBounds(const PageBounds& a, const PageBounds& b);
bool operator==(const PageBounds& a, const PageBounds& b);

// --- candidate layouts ---------------------------------------------------------------------

// A callable held by a counted handle: one allocation holds the count and the callable.  The
// count is a plain integer: documents are used by one thread at a time.
template <class Sig>
class SharedFn;
template <class R, class... Args>
class SharedFn<R(Args...)> {
public:
    SharedFn() = default;
    template <class F>
        requires(!std::is_same_v<std::decay_t<F>, SharedFn>)
    explicit SharedFn(F f) : impl_(new Impl<F>(std::move(f))) {}
    SharedFn(const SharedFn& other) : impl_(other.impl_) { retain(); }
    SharedFn(SharedFn&& other) noexcept : impl_(std::exchange(other.impl_, nullptr)) {}
    SharedFn& operator=(SharedFn other) noexcept {
        std::swap(impl_, other.impl_);
        return *this;
    }
    ~SharedFn() { release(); }

    R operator()(Args... args) const { return impl_->call(std::forward<Args>(args)...); }

private:
    struct Base {
        mutable std::size_t refs = 1;
        virtual ~Base() = default;
        virtual R call(Args... args) const = 0;
    };
    template <class F>
    struct Impl final : Base {
        F f;
        explicit Impl(F g) : f(std::move(g)) {}
        R call(Args... args) const override { return f(std::forward<Args>(args)...); }
    };
    void retain() const {
        if (impl_) ++impl_->refs;
    }
    void release() const {
        if (impl_ && --impl_->refs == 0) delete impl_;
    }

    const Base* impl_ = nullptr;
};

// The characters of a layout: written into `out`, its first character standing at `column`.
// Later lines are indented to `column`.
class FormatText {
public:
    using Writer = std::function<void(LayoutInt column, std::string& out)>;
    FormatText();  // no characters
    template <class F>
        requires(!std::is_same_v<std::decay_t<F>, FormatText> && std::is_invocable_v<const F&, LayoutInt, std::string&>)
    explicit FormatText(F writer) : writer_(std::move(writer)) {}
    void write(LayoutInt column, std::string& out) const { writer_(column, out); }

private:
    SharedFn<void(LayoutInt, std::string&)> writer_;
};

// One candidate layout.
struct Format {
    LayoutInt height = 0;     // number of lines
    LayoutInt lastWidth = 0;  // length of the last line
    LayoutInt width = 0;      // length of the longest line
    FormatText text;
};
// Equal sizes (the texts are not compared).
bool operator==(const Format& a, const Format& b);

// What a document answers: its candidates, or two alternatives of the same place kept apart
// until a join decides between them.  A candidate list is in non-decreasing height and every
// candidate has one line at least; all documents of the library keep this order (the
// side-by-side products rely on it to examine only the candidates they need).
struct SingleReply {
    List<Format> formats;
};
struct PairReply {
    List<Format> first;
    List<Format> second;
    bool firstTooWide = false;
    bool secondTooWide = false;
};
using DocReply = std::variant<SingleReply, PairReply>;

struct Sizes {
    LayoutInt height = 0;
    LayoutInt lastWidth = 0;
    LayoutInt width = 0;
};

// The attributes of a document laid out at some bounds.  The sizes never depend on the
// replies; asking for them evaluates only the parts' sizes.
struct DocAttrs {
    Lazy<DocReply> reply;
    Lazy<bool> tooWide;
    Lazy<Sizes> sizes;

    LayoutInt height() const { return sizes->height; }
    LayoutInt lastWidth() const { return sizes->lastWidth; }
    LayoutInt width() const { return sizes->width; }
};

// --- documents ---------------------------------------------------------------------------

// A document.  Its function builds the attributes for the given bounds without computing any
// of them: it may read the bounds and its parts' attributes only inside the lazy computations
// of its own attributes (the bounds of a part may not be known yet while it is being built).
class Doc {
public:
    using Fn = std::function<DocAttrs(const PageBounds&)>;

    template <class F>
        requires(!std::is_same_v<std::decay_t<F>, Doc> && std::is_invocable_r_v<DocAttrs, F&, const PageBounds&>)
    Doc(F f) : fn_(std::move(f)) {}  // NOLINT: implicit by design

    // The attributes at the given bounds.  Builds them without computing any of them.
    DocAttrs operator()(const PageBounds& b) const { return fn_(b); }

private:
    SharedFn<DocAttrs(const PageBounds&)> fn_;
};

// The arguments of a parameterised document: a slice of the argument documents' attributes
// (flags, replies and sizes), one per parameter in parameter order.
class ParArgs {
public:
    ParArgs() = default;
    explicit ParArgs(std::vector<DocAttrs> items);
    std::size_t size() const { return count_; }
    const DocAttrs& operator[](std::size_t i) const { return (*items_)[offset_ + i]; }
    // The first n entries (all when fewer), and the entries after them.
    ParArgs take(std::size_t n) const;
    ParArgs drop(std::size_t n) const;

private:
    std::shared_ptr<const std::vector<DocAttrs>> items_;
    std::size_t offset_ = 0;
    std::size_t count_ = 0;
};

// The attributes of a parameterised document: those of a document, and the bounds at which
// each parameter's argument is to be laid out (one per parameter, in order).
struct ParAttrs {
    Lazy<DocReply> reply;
    Lazy<bool> tooWide;
    Lazy<Sizes> sizes;
    List<PageBounds> paramBounds;
};

// A document with holes.  Its parameter count is fixed when it is built.
class ParDoc {
public:
    using Fn = std::function<ParAttrs(const ParArgs& args, const PageBounds& b)>;
    template <class F>
        requires std::is_invocable_r_v<ParAttrs, const F&, const ParArgs&, const PageBounds&>
    ParDoc(LayoutInt paramCount, F fn) : paramCount_(paramCount), fn_(std::move(fn)) {}

    LayoutInt paramCount() const { return paramCount_; }
    ParAttrs operator()(const ParArgs& args, const PageBounds& b) const { return fn_(args, b); }

private:
    LayoutInt paramCount_;
    SharedFn<ParAttrs(const ParArgs&, const PageBounds&)> fn_;
};

// --- the Printable class -----------------------------------------------------------------
//
// Every type that can be laid out has its own Printable<T>, with
//   static Doc toDoc(const T&);                      one value
//   static Doc listToDoc(const std::vector<T>&);     a list of values
//   static std::string show(const T&);               its text form (where it has one)
// Instances here: Doc, char and std::vector<T>; std::string, int32_t and float in
// layout/combinators.h.
template <class T>
struct Printable;

template <class T>
Doc toDoc(const T& x) {
    return Printable<T>::toDoc(x);
}
template <class T>
Doc listToDoc(const std::vector<T>& xs) {
    return Printable<T>::listToDoc(xs);
}

// --- primitive documents -------------------------------------------------------------------

// One line of text; at a lineBound shorter than the text it shows the marker of its length
// and is flagged too wide.
Doc textDoc(std::string text);
Doc ppString(std::string text);
Doc ppChar(char c);
// No lines at all.
Doc emptyDoc();

template <class T>
Doc showDoc(const T& x) {
    return textDoc(Printable<T>::show(x));
}

// The single one-line candidate of a text.
List<Format> textFormats(const std::string& text);
// "" for 0, "*" for 1, otherwise '<', n - 2 asterisks and '>' (the two signs alone below 2).
std::string markerText(LayoutInt n);
// The first layout followed, on its last line, by the second.
Format besideFormat(const Format& first, const Format& second);
// n blanks; none for n <= 0.
std::string blanks(LayoutInt n);

// --- rendering -----------------------------------------------------------------------------

// The text of the document's first candidate at page width w (bounds (w, w)), from column 0,
// appended to `out`; no newline is added.
void renderDocTo(std::string& out, const Doc& d, LayoutInt width);
std::string renderDoc(const Doc& d, LayoutInt width);
// The same at bounds of one's own.
void renderDocAtBoundsTo(std::string& out, const Doc& d, const PageBounds& b);
std::string renderDocAtBounds(const Doc& d, const PageBounds& b);
// Writes the rendered text to the standard output (no newline, no flush).
void renderStdout(const Doc& d, LayoutInt width);
// Writes every candidate, each followed by "\n\n", to the standard output.
void renderAllStdout(const Doc& d, LayoutInt width);
// The texts shown for a negative page width and for a document that answers with a pair.
void negativeWidthText(std::string& out);
void renderPairText(std::string& out);

// --- candidate lists -----------------------------------------------------------------------

// The candidates of both lists, by fewer lines, then smaller width; same sizes kept once.
List<Format> mergeFormats(List<Format> xs, List<Format> ys);
// Side-by-side products, each left candidate's row skipping the leading right candidates
// whose product is wider than the lineBound; the rows merged.
List<Format> besideFormats(const PageBounds& b, List<Format> xs, List<Format> ys);
List<Format> besideFormatsUnbounded(List<Format> xs, List<Format> ys);
// Each upper candidate above a lower one, advancing the wider side.
List<Format> aboveFormats(List<Format> xs, List<Format> ys);
// The stacked reply of an upper and a lower reply, and whether stacking failed (two pairs).
std::pair<DocReply, bool> aboveReplies(const DocReply& upper, const DocReply& lower, LayoutInt upperHeight,
                                       LayoutInt lowerHeight);

// --- composition -----------------------------------------------------------------------------

// The right document after the end of the left one, on its last line.
Doc besideDoc(Doc left, Doc right);
// The upper document above the lower one, both starting at the same column.
Doc aboveDoc(Doc upper, Doc lower);
// A pair of alternatives turned into one candidate list.
Doc joinDoc(Doc d);
// Every line shifted right by n columns.
Doc indentDoc(LayoutInt n, Doc d);
// Only the one-line candidates (a marker of the width when there are none).
Doc filterDoc(Doc d);
// The two documents as a pair of alternatives of the same place.
Doc dupDoc(Doc x, Doc y);
// The document laid out without width limit, reported as one line of width 0.
Doc zeroSizeDoc(Doc d);

template <class A, class B>
Doc ppBeside(const A& x, const B& y) {
    return besideDoc(toDoc(x), toDoc(y));
}
template <class A, class B>
Doc ppAbove(const A& x, const B& y) {
    return aboveDoc(toDoc(x), toDoc(y));
}
template <class A>
Doc ppIndent(LayoutInt n, const A& x) {
    return indentDoc(n, toDoc(x));
}
template <class A, class B>
    requires(!std::is_same_v<A, Doc> || !std::is_same_v<B, Doc>)
Doc dupDoc(const A& x, const B& y) {
    return dupDoc(toDoc(x), toDoc(y));
}

// The list layout that instances use by default: the documents side by side, the last one
// beside emptyDoc; the empty list gives emptyDoc.
template <class T>
Doc ppListDefault(const std::vector<T>& xs);

// --- parameterised documents ----------------------------------------------------------------

// A hole: the next argument, laid out at the hole's own bounds.
ParDoc parDoc();
// Holes that take the first or second alternative of an argument answering with a pair.
ParDoc firstParDoc();
ParDoc secondParDoc();
// A finished document among the parts of a parameterised one (no parameter).
ParDoc liftParDoc(Doc d);
template <class T>
ParDoc liftParDoc(const T& x) {
    return liftParDoc(toDoc(x));
}
ParDoc filterParDoc(ParDoc p);
ParDoc besideParDoc(ParDoc left, ParDoc right);
ParDoc aboveParDoc(ParDoc upper, ParDoc lower);
ParDoc joinParDoc(ParDoc p);
ParDoc indentParDoc(LayoutInt n, ParDoc p);
// Two arrangements of the same parameters, kept as a pair for a later join.
ParDoc choiceParDoc(ParDoc left, ParDoc right);
// The parameters filled with the documents, in order.
Doc applyParDoc(ParDoc p, std::vector<Doc> args);
template <class T>
    requires(!std::is_same_v<T, Doc>)
Doc applyParDoc(ParDoc p, const std::vector<T>& args) {
    std::vector<Doc> docs;
    docs.reserve(args.size());
    for (const T& a : args) docs.push_back(toDoc(a));
    return applyParDoc(std::move(p), std::move(docs));
}
// The outer document's parameters filled with the inner parameterised documents.
ParDoc substParDoc(ParDoc outer, std::vector<ParDoc> inners);

// The inner list of substParDoc evaluated on its own: each element takes its own arguments
// from `args` in order and is laid out at its entry of `bounds`.
struct ParDocListAttrs {
    std::vector<DocAttrs> elements;
    List<PageBounds> paramBounds;
    LayoutInt paramTotal = 0;
    LayoutInt count = 0;
};
ParDocListAttrs parDocList(const std::vector<ParDoc>& docs, const ParArgs& args, List<PageBounds> bounds);

// --- fill layouts and centred column ----------------------------------------------------

// The documents side by side while they fit in the lineBound, continuing on new lines.
Doc fillDoc(std::vector<Doc> items);
// The same within a block width of its own (a marker when wider than the lineBound).
Doc fillBlockDoc(LayoutInt blockWidth, std::vector<Doc> items);
// The documents stacked, each centred under the widest.
Doc centredAboveList(std::vector<Doc> items);

template <class T>
std::vector<Doc> toDocs(const std::vector<T>& items) {
    std::vector<Doc> docs;
    docs.reserve(items.size());
    for (const T& x : items) docs.push_back(toDoc(x));
    return docs;
}
template <class T>
    requires(!std::is_same_v<T, Doc>)
Doc fillDoc(const std::vector<T>& items) {
    return fillDoc(toDocs(items));
}
template <class T>
    requires(!std::is_same_v<T, Doc>)
Doc fillBlockDoc(LayoutInt blockWidth, const std::vector<T>& items) {
    return fillBlockDoc(blockWidth, toDocs(items));
}
template <class T>
    requires(!std::is_same_v<T, Doc>)
Doc centredAboveList(const std::vector<T>& items) {
    return centredAboveList(toDocs(items));
}

// --- instances -------------------------------------------------------------------------------

template <class T>
Doc ppListDefault(const std::vector<T>& xs) {
    Doc acc = emptyDoc();
    for (auto it = xs.rbegin(); it != xs.rend(); ++it) acc = besideDoc(toDoc(*it), acc);
    return acc;
}

// Documents are their own documents; a list of them stands side by side.
template <>
struct Printable<Doc> {
    static Doc toDoc(const Doc& d) { return d; }
    static Doc listToDoc(const std::vector<Doc>& ds) { return ppListDefault(ds); }
};

// Text forms: a character in apostrophes, a list of characters in double quotes.
std::string showChar(char c);
std::string showCharList(const std::string& s);

// A character is a one-character text; a list of characters one text.
template <>
struct Printable<char> {
    static Doc toDoc(char c) { return ppChar(c); }
    static Doc listToDoc(const std::vector<char>& cs) { return ppString(std::string(cs.begin(), cs.end())); }
    static std::string show(char c) { return showChar(c); }
};

// A list prints the way its element type prints its lists; lists of lists stand side by side.
template <class T>
struct Printable<std::vector<T>> {
    static Doc toDoc(const std::vector<T>& xs) { return Printable<T>::listToDoc(xs); }
    static Doc listToDoc(const std::vector<std::vector<T>>& xss) { return ppListDefault(xss); }
    static std::string show(const std::vector<T>& xs) {
        if constexpr (std::is_same_v<T, char>) return showCharList(std::string(xs.begin(), xs.end()));
        std::string out = "[";
        for (std::size_t i = 0; i < xs.size(); ++i) {
            if (i > 0) out += ',';
            out += Printable<T>::show(xs[i]);
        }
        return out + "]";
    }
};

}  // namespace plim::lazy_rules
// Shared workings of the layout combinators: the attribute rules that the plain and the
// parameterised forms of a combinator have in common, and the error documents.
// Only the layout library's own sources include this header.

#include <optional>
#include <string>


namespace plim::lazy_rules::pretty_detail {

// A value that is defined only after the attributes that refer to it have been built: the
// knot that lets two siblings' bounds depend on each other's sizes.
template <class T>
class Later {
public:
    void define(T value) { *cell_ = std::move(value); }
    const T& get() const {
        if (!cell_->has_value()) failInternal("internal error: a layout attribute was read before it was defined");
        return **cell_;
    }

private:
    std::shared_ptr<std::optional<T>> cell_ = std::make_shared<std::optional<T>>();
};

// The text with the escapes of a quoted literal: the quote character and the backslash
// escaped, control characters by name, others outside the printable range in decimal.
void appendEscaped(std::string& out, const std::string& text, char quote);

// The sizes computed from two parts' sizes: at once when both are known, otherwise when first
// read.
template <class F>
Lazy<Sizes> combineSizes(const Lazy<Sizes>& a, const Lazy<Sizes>& b, F combine) {
    if (a.isEvaluated() && b.isEvaluated()) return Lazy<Sizes>(combine(*a, *b));
    return delay([a, b, combine] { return combine(*a, *b); });
}

// A flag already known, shared by all documents.
Lazy<bool> knownFlag(bool value);

// The error texts of the library.
inline constexpr const char* kNegativeWidthError = "<Error: negative page width >";
inline constexpr const char* kRenderPairError = "<Error: can't render a pair>";
inline constexpr const char* kFilterPairError = "<Error: can not filter a pair>";
inline constexpr const char* kDupDupError = "<Error: can't dup a dup>";
inline constexpr const char* kBesidePairsError = "<Error: can't beside two pairs>";
inline constexpr const char* kAbovePairsError = "<Error: can't above two pairs>";
inline constexpr const char* kJoinSingleError = "<Error: can't join a single result>";
inline constexpr const char* kFillPairError = "<Error: element in fill list is a pair>";
inline constexpr const char* kFillHigherError = "<Error: element in fill higher than 1>";
inline constexpr const char* kFillBlockWidthError = "<Error: negative page width in fillblock>";
inline constexpr const char* kNegativeIndentError = "<Error: negative indentation>";
std::string choiceCountError(LayoutInt left, LayoutInt right);
std::string applyCountError(LayoutInt params, LayoutInt args);

// The candidates of a fixed error text, built once per text and shared.
const List<Format>& errorFormats(const char* text);
DocReply errorReply(const char* text);
// The whole attributes of an error document of a text: flagged, one line of its length.
DocAttrs errorAttrs(const std::string& text);
// The attributes of the empty document, flagged too wide: a hole without an argument.
DocAttrs missingArgumentAttrs();

// The candidates of one alternative: a pair in its place shows the "dup a dup" error.
List<Format> alternativeFormats(const DocReply& r);
bool isPair(const DocReply& r);

// The bounds of the two sides of a side-by-side composition at b.
PageBounds besideLeftBounds(const PageBounds& b, const Later<Lazy<Sizes>>& rightSizes);
PageBounds besideRightBounds(const PageBounds& b, const Lazy<Sizes>& leftSizes);

// The attribute rules of the combinators, given their parts' attributes.
DocAttrs besideAttrs(const DocAttrs& l, const DocAttrs& r, const PageBounds& b);
DocAttrs aboveAttrs(const DocAttrs& u, const DocAttrs& d);
DocAttrs joinAttrs(const DocAttrs& e);
DocAttrs filterAttrs(const DocAttrs& e);
DocAttrs indentAttrs(Lazy<LayoutInt> n, const DocAttrs& inner, const PageBounds& b);

}  // namespace plim::lazy_rules::pretty_detail
// Higher-level layouts built from the layout documents of layout/document.h: brackets around a
// document, lists of documents side by side or stacked, lists laid out on one line when they
// fit and one item per line otherwise, and the conditional and block shapes of program text.
//
//   Doc call = hvSpList(std::vector<Doc>{ppString("f"), ppString("x"), ppString("y")});
//   renderDoc(call, 80);   // "f x y";  at width 4: "f\nx\ny"
//   Doc tuple = blockDoc("(", ")", ", ", {ppString("a"), ppString("b")});   // "( a, b )"
//   Doc cond = ifThenElseDoc("if ", " then ", " else ", "", c, t, e);
//
// Also the Printable instances for strings, 32-bit integers and floats.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>


namespace plim::lazy_rules {

// --- Printable instances -------------------------------------------------------------------

std::string showString(const std::string& s);
std::string showInt(std::int32_t n);
std::string showFloat(float x);

// A string is one text; a list of strings stands side by side.
template <>
struct Printable<std::string> {
    static Doc toDoc(const std::string& s) { return ppString(s); }
    static Doc listToDoc(const std::vector<std::string>& ss) { return ppListDefault(ss); }
    static std::string show(const std::string& s) { return showString(s); }
};
// String literals print as strings.
template <std::size_t N>
struct Printable<char[N]> {
    static Doc toDoc(const char* s) { return ppString(s); }
    static std::string show(const char* s) { return showString(s); }
};
template <>
struct Printable<const char*> {
    static Doc toDoc(const char* s) { return ppString(s); }
    static std::string show(const char* s) { return showString(s); }
};
template <>
struct Printable<std::int32_t> {
    static Doc toDoc(std::int32_t n) { return textDoc(showInt(n)); }
    static Doc listToDoc(const std::vector<std::int32_t>& ns) { return ppListDefault(ns); }
    static std::string show(std::int32_t n) { return showInt(n); }
};
template <>
struct Printable<float> {
    static Doc toDoc(float x) { return textDoc(showFloat(x)); }
    static Doc listToDoc(const std::vector<float>& xs) { return ppListDefault(xs); }
    static std::string show(float x) { return showFloat(x); }
};

// --- enclosing -----------------------------------------------------------------------------

// open beside (d beside close).
Doc encloseDoc(char open, char close, Doc d);
template <class T>
Doc encloseValuesDoc(const T& open, const T& close, Doc d) {
    return besideDoc(toDoc(open), besideDoc(std::move(d), toDoc(close)));
}
Doc parensDoc(Doc d);        // ( )
Doc bracketsDoc(Doc d);      // [ ]
Doc bracesDoc(Doc d);        // { }
Doc doubleQuotesDoc(Doc d);  // " "
Doc backQuotesDoc(Doc d);    // ` '

// --- lists of documents --------------------------------------------------------------------

// x1 above (x2 above (... above (xn above emptyDoc))).
Doc aboveList(std::vector<Doc> items);
// x1 beside (x2 beside (... beside (xn beside emptyDoc))).
Doc besideList(std::vector<Doc> items);
// x1, " ", x2, " ", ..., xn, " " side by side (a blank after every item).
Doc besideSpaceList(std::vector<Doc> items);
// The items restricted to their one-line layouts, side by side; emptyDoc for no items.
Doc filteredBesideList(std::vector<Doc> items);
// The items on one line when that fits, otherwise one above another.
Doc hvList(std::vector<Doc> items);
// As hvList, with one blank between neighbours on the one line.
Doc hvSpList(std::vector<Doc> items);
// The one-line and the stacked arrangement of hvSpList for `length` (> 0) parameters.
std::pair<ParDoc, ParDoc> hvSpArrangements(std::size_t length);

template <class T>
    requires(!std::is_same_v<T, Doc>)
Doc aboveList(const std::vector<T>& items) {
    return aboveList(toDocs(items));
}
template <class T>
    requires(!std::is_same_v<T, Doc>)
Doc besideList(const std::vector<T>& items) {
    return besideList(toDocs(items));
}
template <class T>
    requires(!std::is_same_v<T, Doc>)
Doc besideSpaceList(const std::vector<T>& items) {
    return besideSpaceList(toDocs(items));
}
template <class T>
Doc hvValueList(const std::vector<T>& items) {
    return hvList(toDocs(items));
}
template <class T>
    requires(!std::is_same_v<T, Doc>)
Doc hvSpList(const std::vector<T>& items) {
    return hvSpList(toDocs(items));
}

// a beside (" " beside b).
template <class A, class B>
Doc besideSpace(const A& a, const B& b) {
    return besideDoc(toDoc(a), besideDoc(ppString(" "), toDoc(b)));
}
// emptyDoc for an empty list value, otherwise its document.
template <class L>
Doc nonEmptyDoc(const L& xs) {
    return xs.empty() ? emptyDoc() : toDoc(xs);
}
// s padded with blanks to n characters; s itself when longer.
Doc paddedTextDoc(LayoutInt n, const std::string& s);
// Each document rendered at the width, followed by "\n".
void renderLinesTo(std::string& out, LayoutInt width, const std::vector<Doc>& docs);
std::string renderLines(LayoutInt width, const std::vector<Doc>& docs);
// The better of the two layouts, decided by the join.
template <class A, class B>
Doc bestOfDoc(const A& a, const B& b) {
    return joinDoc(dupDoc(toDoc(a), toDoc(b)));
}

// --- building blocks on parameterised documents ------------------------------------------

ParDoc bestOfParDoc(ParDoc l, ParDoc r);
ParDoc stringBesideParDoc(const std::string& s, ParDoc p);
ParDoc besideSpaceParDoc(ParDoc l, ParDoc r);
template <class T>
ParDoc valueBesideParDoc(const T& v, ParDoc p) {
    return besideParDoc(liftParDoc(v), std::move(p));
}
template <class T>
ParDoc valueAboveParDoc(const T& v, ParDoc p) {
    return aboveParDoc(liftParDoc(v), std::move(p));
}
template <class T>
ParDoc parDocBesideValue(ParDoc p, const T& v) {
    return besideParDoc(std::move(p), liftParDoc(v));
}
template <class T>
ParDoc parDocAboveValue(ParDoc p, const T& v) {
    return aboveParDoc(std::move(p), liftParDoc(v));
}

// --- conditional and block layouts -----------------------------------------------------------

// The conditional of the four parts (opening keyword beside condition, then-keyword beside
// then-part, else-keyword beside else-part, closing keyword): all on one line; or the
// else-line aligned under the then-keyword; or every part on its own line; the closing
// keyword below the stacked forms.
Doc ifThenElseParts(Doc ifPart, Doc thenPart, Doc elsePart, Doc closing);
template <class O, class TK, class EK, class K, class C, class T, class E>
Doc ifThenElseDoc(const O& opening, const TK& thenKeyword, const EK& elseKeyword, const K& closing, const C& cond,
                  const T& thenPart, const E& elsePart) {
    return ifThenElseParts(ppBeside(opening, cond), ppBeside(thenKeyword, thenPart), ppBeside(elseKeyword, elsePart),
                           toDoc(closing));
}

// The items between the opening and closing strings, separated by the separator: all on one
// line, or one item per line with the separator in front and the closing string below.
Doc blockDoc(const std::string& open, const std::string& close, const std::string& separator,
             std::vector<Doc> items);
// The items filled into a block of the given width like words in a paragraph.
Doc blockFillDoc(LayoutInt blockWidth, const std::string& open, const std::string& close,
                 const std::string& separator, std::vector<Doc> items);
template <class T>
    requires(!std::is_same_v<T, Doc>)
Doc blockFillDoc(LayoutInt blockWidth, const std::string& open, const std::string& close,
                 const std::string& separator, const std::vector<T>& items) {
    return blockFillDoc(blockWidth, open, close, separator, toDocs(items));
}

}  // namespace plim::lazy_rules
