// HTML text and small composite elements: the escaping of text (the ONLY place where the
// library escapes anything), lines joined by line breaks, links, forms, menus, lists,
// entities, colours, the library's constants and fatal errors, and the conversion of values
// into HTML (`HtmlSource`, `asHtml`).
//
// Every user text that goes into a page must pass through `escapeHtmlText`, `escapeHtmlLine`,
// `stringToHtml`, `lineHtml`, `linesHtml`, `linesHtmlFrom` or the String conversion of
// `asHtml`; the builders and renderers copy text unchanged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "html/model.h"
#include "html/tags.h"
#include "support/lazy.h"

namespace plim {

// --- escaping and text ---------------------------------------------------------------------

// '<' '>' '&' and '"' become "&lt;" "&gt;" "&amp;" "&quot;"; every other byte is kept.
std::string escapeHtmlText(std::string_view s);
// Every blank (code 32) becomes "&nbsp;"; tabs and line feeds are kept.
std::string nonBreakingSpaces(std::string_view s);
// nonBreakingSpaces of escapeHtmlText: an '&' of the input is escaped, that of "&nbsp;" is not.
std::string escapeHtmlLine(std::string_view s);

// One HtmlString holding the escaped text (also for the empty text).
Html stringToHtml(std::string_view s);
// One HtmlString holding the escaped line (blanks made non-breaking).
Html lineHtml(std::string_view s);
// Each line escaped as by lineHtml, with brElement between two lines; no lines, no elements.
// A line feed inside a line is kept inside its HtmlString.
Html linesHtml(const std::vector<std::string>& lines);
// linesHtml of the first line followed by the others.
Html linesHtmlFrom(const std::string& first, const std::vector<std::string>& others);

// The empty text gives no element; any other text one HtmlString holding it escaped.
Html stringAsHtml(std::string_view s);
Html charAsHtml(char c);
Html stringListToHtml(const std::vector<std::string>& strings);

// --- links and forms -----------------------------------------------------------------------

// One A element: HREF first, then the link's own attributes; the contents concatenated.
Html anchor(const HotLink& link);
Html anchors(const std::vector<HotLink>& links);

// One INPUT element with TYPE, NAME, then the extra attributes.
Html inputField(std::string_view type, std::string_view name, const std::vector<HtmlAttr>& extra = {});
Html checkboxInput(std::string_view name, std::string_view value);
Html hiddenInput(std::string_view name, std::string_view value);
Html radioInput(std::string_view name, std::string_view value);
Html resetInput(std::string_view name, std::string_view value);
Html submitInput(std::string_view name, std::string_view value);
Html passwordInput(std::string_view name);
Html textInput(std::string_view name);
Html fileInput(std::string_view name);
Html imageInput(std::string_view name);

// One FORM element with ACTION, then METHOD="POST".
Html form(std::string_view action, Html content);
// One SELECT element with NAME, holding one OPTION (holding a P with the choice) per choice.
Html menu(std::string_view name, const std::vector<Html>& choices);
std::vector<Html> menuOptions(const std::vector<Html>& choices);

// --- entities, colours and constants -------------------------------------------------------

// One HtmlString "&" name ";", unescaped.
Html entityHtml(std::string_view name);
inline const Html bulletHtml = entityHtml("#149");
inline const Html nbspHtml = entityHtml("nbsp");
inline const Html copySignHtml = entityHtml("copy");

// The endless colour cycle "#88ccff", "#ffffaa", "#ffaaff", "#ccffff", "#88ccff", ...
List<std::string> treeColours();

inline constexpr std::string_view whiteColour = "white";
inline constexpr std::string_view yellowColour = "yellow";
inline constexpr std::string_view tealColour = "teal";
inline constexpr std::string_view silverColour = "silver";
inline constexpr std::string_view redColour = "red";
inline constexpr std::string_view purpleColour = "purple";
inline constexpr std::string_view oliveColour = "olive";
inline constexpr std::string_view navyColour = "navy";
inline constexpr std::string_view maroonColour = "maroon";
inline constexpr std::string_view limeColour = "lime";
inline constexpr std::string_view greenColour = "green";
inline constexpr std::string_view grayColour = "gray";
inline constexpr std::string_view fuchsiaColour = "fuchsia";
inline constexpr std::string_view blueColour = "blue";
inline constexpr std::string_view blackColour = "black";
inline constexpr std::string_view aquaColour = "aqua";

inline constexpr std::string_view postMethodText = "POST";
inline constexpr std::string_view fullWidthText = "100%";
inline constexpr std::string_view tenText = "10";
inline constexpr std::string_view zeroText = "0";
inline constexpr std::string_view twoText = "2";

// The library's fatal errors: "besides []", "aboves []" and "The imposible happens".
[[noreturn]] void besidesEmptyError();
[[noreturn]] void abovesEmptyError();
[[noreturn]] void impossibleError();

// --- conversion into HTML ------------------------------------------------------------------

// The class of values that can be turned into Html: asHtml of one value, listAsHtml of a
// list of them.  Instances: Html, String, Char, HotLink (here), HtmlTable and HtmlTree
// ("html/views.h"), and for lists of any of these.
template <class T>
struct HtmlSource;

template <class T>
Html asHtml(const T& value) {
    return HtmlSource<T>::asHtml(value);
}

// asHtml of each value, concatenated in order.
template <class T>
Html concatHtmlSources(const std::vector<T>& values) {
    Html out;
    for (const T& v : values) {
        Html part = asHtml(v);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

template <>
struct HtmlSource<Html> {
    static Html asHtml(const Html& h) { return h; }
    static Html listAsHtml(const std::vector<Html>& hs) { return concatHtml(hs); }
};

template <>
struct HtmlSource<std::string> {
    static Html asHtml(const std::string& s) { return stringAsHtml(s); }
    static Html listAsHtml(const std::vector<std::string>& ss) { return stringListToHtml(ss); }
};

template <>
struct HtmlSource<char> {
    static Html asHtml(char c) { return charAsHtml(c); }
    static Html listAsHtml(const std::string& s) { return stringAsHtml(s); }
};

template <>
struct HtmlSource<HotLink> {
    static Html asHtml(const HotLink& l) { return anchor(l); }
    static Html listAsHtml(const std::vector<HotLink>& ls) { return anchors(ls); }
};

// A list converts as its element type's list; a list of lists converts each inner list.
template <class T>
struct HtmlSource<std::vector<T>> {
    static Html asHtml(const std::vector<T>& xs) { return HtmlSource<T>::listAsHtml(xs); }
    static Html listAsHtml(const std::vector<std::vector<T>>& xss) { return concatHtmlSources(xss); }
};

// asHtml of the first followed by asHtml of the second.
template <class A, class B>
Html htmlAppend(const A& first, const B& second) {
    return appendHtml(asHtml(first), asHtml(second));
}

// A tag combinator applied to the conversion of a value.
template <class F, class T>
Html applyToHtml(F combinator, const T& value) {
    return combinator(asHtml(value));
}

template <class F>
Html applyToString(F combinator, std::string_view s) {
    return combinator(stringAsHtml(s));
}

// The combinator applied to the content, then the attributes added.
template <class F>
Html tagWithAttributes(F combinator, const std::vector<HtmlAttr>& attrs, Html content) {
    return withAttributes(combinator(std::move(content)), attrs);
}

// The line-per-tag text of the conversion of a value.
template <class T>
std::string prettyHtmlOf(const T& value) {
    return prettyHtml(asHtml(value));
}

// --- lists ---------------------------------------------------------------------------------

// UL holding one LI per item.
template <class T>
Html bulletList(const std::vector<T>& items) {
    Html lis;
    for (const T& item : items) lis.push_back(HtmlTag(liTagName, {}, asHtml(item)));
    return element(ulTagName, std::move(lis));
}

// OL holding one LI per item.
template <class T>
Html numberedList(const std::vector<T>& items) {
    Html lis;
    for (const T& item : items) lis.push_back(HtmlTag(liTagName, {}, asHtml(item)));
    return element(olTagName, std::move(lis));
}

// DL holding, per pair, DT (holding B holding the term) and DD (holding the definition).
template <class Term, class Definition>
Html definitionList(const std::vector<std::pair<Term, Definition>>& items) {
    Html content;
    for (const auto& [term, definition] : items) {
        content.push_back(HtmlTag(dtTagName, {}, bTag(asHtml(term))));
        content.push_back(HtmlTag(ddTagName, {}, asHtml(definition)));
    }
    return element(dlTagName, std::move(content));
}

}  // namespace plim
