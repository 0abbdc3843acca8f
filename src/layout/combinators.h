// Higher-level layouts on the documents of layout/document.h: brackets around a document, lists side by side or
// stacked, lists on one line when they fit and one item per line otherwise, the conditional and block shapes of code.
//
//   Doc call = hvSpList(std::vector<Doc>{ppString("f"), ppString("x"), ppString("y")});
//   renderDoc(call, 80);   // "f x y";  at width 4: "f\nx\ny"
//   Doc tuple = blockDoc("(", ")", ", ", {ppString("a"), ppString("b")});   // "( a, b )"
//   Doc cond = ifThenElseDoc("if ", " then ", " else ", "", c, t, e);
//
// Also the Printable instances for strings, 32-bit integers and floats, and a few small helpers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "layout/document.h"

namespace plim {

template <class T>
class List;

// --- Printable instances -------------------------------------------------------------------

inline std::string showString(const std::string& s) { return showCharList(s); }
inline std::string showInt(std::int32_t n) { return std::to_string(n); }
std::string showFloat(float x);

// A string is one text; a list of strings stands side by side.
template <>
struct Printable<std::string> {
    static Doc toDoc(const std::string& s) { return ppString(s); }
    static Doc listToDoc(const std::vector<std::string>& ss) { return ppListDefault(ss); }
    static std::string show(const std::string& s) { return showString(s); }
};
// String literals print as strings.
template <>
struct Printable<const char*> {
    static Doc toDoc(const char* s) { return ppString(s); }
    static std::string show(const char* s) { return showString(s); }
};
template <std::size_t N>
struct Printable<char[N]> : Printable<const char*> {};
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

// --- fixed texts ---------------------------------------------------------------------------

// A string literal as a template argument.
template <std::size_t N>
struct TextLiteral {
    char chars[N];
    constexpr TextLiteral(const char (&s)[N]) { std::copy_n(s, N, chars); }  // NOLINT: implicit by design
};

// The text of a literal, built once and shared (documents are values): fixedText<"if ">() is textDoc("if ").
template <TextLiteral S>
const Doc& fixedText() {
    static const Doc doc = textDoc(std::string(S.chars, sizeof S.chars - 1));
    return doc;
}

// The documents as a list, each moved in: a braced list would copy every one.
template <class... Ds>
std::vector<Doc> docList(Ds&&... docs) {
    std::vector<Doc> out;
    out.reserve(sizeof...(docs));
    (out.push_back(std::forward<Ds>(docs)), ...);
    return out;
}

// --- enclosing -----------------------------------------------------------------------------

// open beside (d beside close).
Doc encloseDoc(char open, char close, Doc d);
template <class T>
Doc encloseValuesDoc(const T& open, const T& close, Doc d) {
    return besideDoc(toDoc(open), besideDoc(std::move(d), toDoc(close)));
}
inline Doc parensDoc(Doc d) { return encloseDoc('(', ')', std::move(d)); }
inline Doc bracketsDoc(Doc d) { return encloseDoc('[', ']', std::move(d)); }
inline Doc bracesDoc(Doc d) { return encloseDoc('{', '}', std::move(d)); }
inline Doc doubleQuotesDoc(Doc d) { return encloseDoc('"', '"', std::move(d)); }
inline Doc backQuotesDoc(Doc d) { return encloseDoc('`', '\'', std::move(d)); }

// --- lists of documents --------------------------------------------------------------------

// x1 above (x2 above (... above (xn above emptyDoc))).
Doc aboveList(Docs items);
// x1 beside (x2 beside (... beside (xn beside emptyDoc))).
inline Doc besideList(Docs items) { return ppListDefault(items); }
// x1, " ", x2, " ", ..., xn, " " side by side (a blank after every item).
Doc besideSpaceList(Docs items);
// The items restricted to their one-line layouts, side by side; emptyDoc for no items.
Doc filteredBesideList(Docs items);
// The items on one line when that fits, otherwise one above another.
Doc hvList(Docs items);
// As hvList, with one blank between neighbours on the one line.
Doc hvSpList(Docs items);
// hvSpList(items) after the head and a blank (where there is a head), in parentheses where `parens`:
// parensDoc(besideSpace(*head, hvSpList(items))), built at once; the documents are moved out of their places.
Doc spacedListDoc(Doc* head, std::span<Doc> items, bool parens);
template <class T>
Doc hvValueList(const std::vector<T>& items) {
    return hvList(items);
}

// a beside (" " beside b).
template <class A, class B>
Doc besideSpace(const A& a, const B& b) {
    return besideDoc(toDoc(a), besideDoc(ppChar(' '), toDoc(b)));
}
Doc besideSpace(Doc a, Doc b);
// emptyDoc for an empty list value, otherwise its document.
template <class L>
Doc nonEmptyDoc(const L& xs) {
    return xs.empty() ? emptyDoc() : toDoc(xs);
}
// s padded with blanks to n characters; s itself when longer.
Doc paddedTextDoc(LayoutInt n, const std::string& s);
// Each document rendered at the width, followed by "\n".
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

// The conditional of the four parts (opening keyword beside condition, then-keyword beside then-part, else-keyword
// beside else-part, closing keyword): all on one line; or the else-line aligned under the then-keyword; or every part
// on its own line; the closing keyword below the stacked forms.
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
             Docs items);
// The items filled into a block of the given width like words in a paragraph.
Doc blockFillDoc(LayoutInt blockWidth, const std::string& open, const std::string& close,
                 const std::string& separator, Docs items);

// --- small helpers -----------------------------------------------------------------------------

// One blank.
Doc spaceDoc();
// The endless list of blanks (support/lazy.h); take a prefix of it.
const List<char>& endlessBlanks();
// The document rendered at page width 160, appended to `out`.
inline void layoutAt160(std::string& out, const Doc& d) { renderDocTo(out, d, 160); }
// The document rendered at the width (or 160) as a string.
inline std::string layoutTextAt(LayoutInt width, const Doc& d) { return renderDoc(d, width); }
inline std::string layoutTextAt160(const Doc& d) { return renderDoc(d, 160); }

}  // namespace plim
