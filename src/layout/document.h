// Layout documents: text laid out to a page width.
//
//   #include "layout/combinators.h"   // hvList, hvSpList, aboveList, blockDoc, the Printable instances
//   Doc d = besideDoc(ppString("let "), aboveDoc(ppString("x = 1"), ppString("y = 2")));
//   renderDoc(d, 80);                           // "let x = 1\n    y = 2" (no final newline)
//   renderDocAtBounds(d, PageBounds(160, 160));  // at bounds of one's own
//
// Documents are values, built once and shared freely.  A `Doc` is a tree of nodes (layout/nodes.h) whose sizes are
// known as it is built; it is laid out when rendered, at the page's line bound, into its candidate layouts, best
// first, and a too-wide flag.  A `ParDoc` is a document with holes (`parDoc`) that `applyParDoc` fills with argument
// documents; `choiceParDoc` offers two arrangements of the same arguments, which a join (`joinDoc`, `joinParDoc`)
// later resolves for the page width.
//
// The algorithm, once.  One walk lays a node out (layout/node_walk.cpp): it asks for its parts' layouts, each at the
// line bound the rules below give it, on a work stack of its own (no walk recurses on the depth of a document), and
// combines them by the rule of the node's kind (layout/node_candidates.cpp; a template's parts are laid out by the
// same walk over its arguments' layouts).  A composition's sizes come from its parts' sizes alone; its candidates and
// too-wide flag from its parts' candidates and flags at the bounds it hands them.
//
//   beside   L then R on L's last line: L at the line bound, R at it less L's last width; too wide where a part is.
//            Height hL + hR - 1 (a part without lines adds none), last width lwL + lwR, width max(wL, lwL + wR).
//            Candidate products, each row skipping leading ones wider than the bound (not where a part is too wide).
//   above    U over D, both at the bound.  Height hU + hD, last width lwD, width max.  Heads paired, the wider one
//            advancing; too wide where a part is.
//   choice   two arrangements of the same arguments as a pair (as a dup of two documents): height the larger,
//            widths the smaller; too wide where both are (then the marker).
//   join     a pair to one list: the first where the second is too wide (the second where the first is empty), the
//            second where the first is, else both merged and pruned.
//   filter   the leading one-line candidates; none (or a pair): the marker, too wide.
//   indent   n blanks before every line; the part at the bound less n; candidates wider than the room dropped unless
//            the part is too wide; n above the bound: the marker.
//   apply    each argument laid out once, at the largest bound any of its places asks for.
//   fill     the items, each at the fill width, side by side while they fit, else below.
//   render   the first candidate; none, of a document with lines: its marker (nothing fits).
//
// The lazy attribute rules that the tests keep as their oracle (tests/layout/lazy_rules.h) define the rules; the
// differential tests hold the engine to them.  Misuse never throws: it yields an error document, a one-line text
// that begins "<Error: ".
//
// Cost.  A candidate list drops every candidate that an earlier one makes useless (one of the same sizes, or one with
// fewer lines that is neither wider nor wider on its last line): whatever is built from it is matched by what is built
// from the earlier one, which comes first and fits wherever it fits, so first candidates stay the same while nested
// choices do not multiply.  Shortcuts that give the same layouts: where only the first layout is read (a render, each
// part of a stack, whose text is written as soon as it is laid out), a node sure as it was made that its first layout
// is its one line and fits is laid out as that line, counting its texts and that one candidate (fewer than laying out
// its parts would count); stacks and texts before a part ask it for no more candidates than they are asked for (for all
// only where the first ones are too wide for the room), and so do plain texts around one other part and the items
// (none a pair) before the last of a list of hvSpList, which make their first layout from that part's first alone, so
// that a chain of breakable applications costs each level once at any width (where that first is dropped as too wide,
// or is taller than a line with a text after it and not known to have fewer lines than all the part's others, see
// NodeResult::firstShortest, from all of the part's layouts, asked again for all where it made only the first); a
// node made of texts, side-by-side compositions and lists of hvSpList, as nested terms are, is laid out below zero
// (past the end of its line, where no text fits), and such a list with an item too wide below BelowZero::upTo, from
// what it knows of that case (layout/nodes.h); and a node laid out in
// full keeps its layout, with its counts, for the next layout at that bound or at one that turns none of its
// comparisons of a width with a bound the other way, which only layouts that may be remembered keep track of
// (layout/node_memo.cpp, BoundRoom in layout/nodes.h; naive Fibonacci of 14 on a page 80 wide renders its steps with
// 15% fewer instructions than at that bound alone, where the expression around a part grows by a few columns), so the
// unchanged parts of a calculation's next step cost little; and so does writing them: the one line of a node at least
// kKeptLineWidth wide, written in two renders, is kept as its characters while renders go on writing it, then copied
// rather than walked node by node (LineTexts, layout/node_texts.cpp; naive Fibonacci of 14 on a page 10^6 wide
// writes its lines at half the cost, and that of 19 runs 30% faster).
//
// A work budget bounds the rest: one render builds at most 10^6 candidates and 64 more for each text it lays out
// (layout/nodes.h), then answers, like a document of which nothing fits, with the too-wide marker of its width
// ("<***...>").  Only side-by-side products of many surviving candidates reach it: k choices in a row that does not
// fit on one line, each one line or two whose first line is longer and last line shorter (about k^3/3 candidates,
// past the budget from k = 146), or n texts before a part with m surviving layouts (n*m).  Printed programs stay
// below 5% of it at widths 80 and 160; on pages thousands of columns wide, nestings a few hundred deep fit.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace plim {

// Sizes and bounds are computed in 64 bits; kUnboundedWidth is the bound of no limit.
using LayoutInt = std::int64_t;
inline constexpr LayoutInt kUnboundedWidth = 2147483647;

// --- page bounds -------------------------------------------------------------------------

// The room of a document: every line within lineBound (from its start column), the last within lastLineBound.

struct PageBounds {
    LayoutInt lineBound;
    LayoutInt lastLineBound;

    PageBounds(LayoutInt line, LayoutInt last) : lineBound(line), lastLineBound(last) {}
    bool operator==(const PageBounds&) const = default;
};

// (2147483647, 2147483647): no width limit.
inline PageBounds unboundedBounds() { return PageBounds(kUnboundedWidth, kUnboundedWidth); }
// Both fields reduced by n.
inline PageBounds shrinkBounds(LayoutInt n, const PageBounds& b) {
    return PageBounds(b.lineBound - n, b.lastLineBound - n);
}
// The bounds with the larger lineBound; the second on equal lineBounds.
inline PageBounds maxBounds(const PageBounds& a, const PageBounds& b) { return a.lineBound > b.lineBound ? a : b; }

// The sizes of a document or of one candidate layout.
struct Sizes {
    LayoutInt height = 0;     // number of lines
    LayoutInt lastWidth = 0;  // length of the last line
    LayoutInt width = 0;      // length of the longest line

    bool operator==(const Sizes&) const = default;
};

// --- documents ---------------------------------------------------------------------------

namespace pretty_detail {
struct DocNode;
struct ParNode;

// The count of handles on a document node, the first member of every node; kLasting or more for
// a node kept to the end of the run, whose handles are copied and dropped without an atomic update.
struct NodeCount {
    static constexpr std::uint32_t kLasting = std::uint32_t{1} << 31;
    mutable std::atomic<std::uint32_t> handles{1};
};

// Destroys a node that no handle holds any longer.
void dropNode(const DocNode* d) noexcept;

// A shared handle on a document node, whose (atomic) count the node keeps itself: a node is one block of memory.
class DocNodeRef {
public:
    DocNodeRef() = default;
    DocNodeRef(std::nullptr_t) {}  // NOLINT: a null handle, as for any pointer
    DocNodeRef(const DocNodeRef& other) : p_(other.p_) {
        if (p_ != nullptr && count().load(std::memory_order_relaxed) < NodeCount::kLasting)
            count().fetch_add(1, std::memory_order_relaxed);
    }
    DocNodeRef(DocNodeRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    DocNodeRef& operator=(DocNodeRef other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~DocNodeRef() { reset(); }

    // The handle of a node just made (its count of one is this handle's), or of one that release() gave up.
    static DocNodeRef adopt(const DocNode* fresh) {
        DocNodeRef r;
        r.p_ = fresh;
        return r;
    }
    // The node, its count keeping this handle's share for the caller; the handle is left null.
    const DocNode* release() noexcept { return std::exchange(p_, nullptr); }

    // A null handle, the most common at a drop (one moved from), is seen without a call.
    void reset() noexcept {
        if (p_ != nullptr) resetHeld();
    }
    // Gives up the handle, leaving it null: the node where this was its last one (the caller drops it), else null.
    const DocNode* releaseLast() noexcept {
        const DocNode* d = std::exchange(p_, nullptr);
        if (d == nullptr) return nullptr;
        std::atomic<std::uint32_t>& n = countOf(d);
        const std::uint32_t held = n.load(std::memory_order_acquire);
        if (held >= NodeCount::kLasting) return nullptr;
        // The only handle needs no atomic update: no other can appear while it is alone.
        return held == 1 || n.fetch_sub(1, std::memory_order_acq_rel) == 1 ? d : nullptr;
    }
    // Keeps the node to the end of the run: its handles no longer count.  Only for a node held by
    // a handle never dropped (in a table made once and never freed), so that it stays reachable.
    void keepForever() const {
        if (p_ != nullptr) count().store(NodeCount::kLasting, std::memory_order_relaxed);
    }
    const DocNode* get() const { return p_; }
    const DocNode& operator*() const { return *p_; }
    const DocNode* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    std::uint32_t use_count() const { return p_ == nullptr ? 0 : count().load(std::memory_order_relaxed); }

private:
    [[gnu::noinline]] void resetHeld() noexcept {
        if (const DocNode* d = releaseLast()) dropNode(d);
    }
    // The node's count is its first member, at the node's own address.
    static std::atomic<std::uint32_t>& countOf(const DocNode* d) {
        return reinterpret_cast<const NodeCount*>(d)->handles;
    }
    std::atomic<std::uint32_t>& count() const { return countOf(p_); }

    const DocNode* p_ = nullptr;
};

}  // namespace pretty_detail

// A document: a tree of nodes.
class Doc {
public:
    explicit Doc(pretty_detail::DocNodeRef node) : node_(std::move(node)) {}

    const pretty_detail::DocNodeRef& node() const& { return node_; }
    pretty_detail::DocNodeRef node() && { return std::move(node_); }

private:
    pretty_detail::DocNodeRef node_;
};

// Keeps the document's tree to the end of the run (see DocNodeRef::keepForever).
inline void keepForever(const Doc& d) {
    d.node().keepForever();
}

// A document with holes: a template of nodes, with its parameter count.
class ParDoc {
public:
    explicit ParDoc(std::shared_ptr<const pretty_detail::ParNode> node);

    LayoutInt paramCount() const { return paramCount_; }
    const std::shared_ptr<const pretty_detail::ParNode>& node() const { return node_; }

private:
    LayoutInt paramCount_;
    std::shared_ptr<const pretty_detail::ParNode> node_;
};

// --- the Printable class -----------------------------------------------------------------
//
// Every type that can be laid out has its own Printable<T>, with
//   static Doc toDoc(const T&);                      one value
//   static Doc listToDoc(const std::vector<T>&);     a list of values
//   static std::string show(const T&);               its text form (where it has one)
// Instances here: Doc, char and std::vector<T>; std::string, int32_t and float in layout/combinators.h.
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

// A list of documents as the library's functions take one: documents as they are, other values through Printable.
struct Docs : std::vector<Doc> {
    Docs(std::vector<Doc> docs) : std::vector<Doc>(std::move(docs)) {}  // NOLINT: implicit by design
    Docs(std::initializer_list<Doc> docs) : std::vector<Doc>(docs) {}
    template <class T>
        requires(!std::is_same_v<T, Doc>)
    Docs(const std::vector<T>& items) {  // NOLINT: implicit by design
        reserve(items.size());
        for (const T& x : items) push_back(toDoc(x));
    }
};

// --- primitive documents -------------------------------------------------------------------

// One line of text; at a lineBound shorter than the text, the marker of its length, flagged too wide.
Doc textDoc(std::string text);
inline Doc ppString(std::string text) { return textDoc(std::move(text)); }
Doc ppChar(char c);
// No lines at all.
Doc emptyDoc();

// The text form of a value as one text.
template <class T>
Doc showDoc(const T& x) {
    return textDoc(Printable<T>::show(x));
}

// "" for 0, "*" for 1, otherwise '<', n - 2 asterisks and '>' (the two signs alone below 2).
std::string markerText(LayoutInt n);
// n blanks; none for n <= 0.
std::string blanks(LayoutInt n);

// --- rendering -----------------------------------------------------------------------------

// The text of the document's first candidate at page width w (bounds (w, w)) from column 0, appended (no newline).
void renderDocTo(std::string& out, const Doc& d, LayoutInt width);
std::string renderDoc(const Doc& d, LayoutInt width);
// renderDocTo of the stack of `count` documents (the last above emptyDoc), each made by `partAt(i)` (0 on top) only
// when it is needed and released once its text is written: the same text, one part's document in memory at a time.
void renderStackTo(std::string& out, std::size_t count, const std::function<Doc(std::size_t)>& partAt,
                   LayoutInt width);
// The same at bounds of one's own.
std::string renderDocAtBounds(const Doc& d, const PageBounds& b);
// Writes the rendered text to the standard output (no newline, no flush).
void renderStdout(const Doc& d, LayoutInt width);
// Writes every candidate, each followed by "\n\n", to the standard output.
void renderAllStdout(const Doc& d, LayoutInt width);
// The texts shown for a negative page width and for a document that answers with a pair.
void negativeWidthText(std::string& out);
void renderPairText(std::string& out);

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

// The compositions of any printable values, through their Printable instances.
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
// The compositions of documents, on templates.
ParDoc filterParDoc(ParDoc p);
ParDoc besideParDoc(ParDoc left, ParDoc right);
ParDoc aboveParDoc(ParDoc upper, ParDoc lower);
ParDoc joinParDoc(ParDoc p);
ParDoc indentParDoc(LayoutInt n, ParDoc p);
// Two arrangements of the same parameters, kept as a pair for a later join.
ParDoc choiceParDoc(ParDoc left, ParDoc right);
// The parameters filled with the documents, in order.
Doc applyParDoc(ParDoc p, Docs args);
// The outer document's parameters filled with the inner parameterised documents.
ParDoc substParDoc(ParDoc outer, std::vector<ParDoc> inners);

// --- fill layouts and centred column ----------------------------------------------------

// The documents side by side while they fit in the lineBound, continuing on new lines.
Doc fillDoc(Docs items);
// The same within a block width of its own (a marker when wider than the lineBound).
Doc fillBlockDoc(LayoutInt blockWidth, Docs items);
// The documents stacked, each centred under the widest.
Doc centredAboveList(Docs items);

// --- instances -------------------------------------------------------------------------------

// The list layout instances use by default: the documents side by side, the last beside emptyDoc (none: emptyDoc).
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

}  // namespace plim
