// The HTML document model and its rendering as text.
//
// A document (`Html`) is a plain list of elements; an element is either text (`HtmlString`)
// or a tag with attributes and content (`HtmlTag`).  Nothing is written until a value is
// rendered.
//
// ESCAPING CONTRACT: the renderers (`renderElement`, `renderTag`, `renderAttr`,
// `prettyHtml`) and the builders (`HtmlString`, `HtmlTag`, the tag combinators, `HtmlAttr`)
// copy every text exactly as given and escape NOTHING.  Any text that comes from a user
// (rule labels, expressions, names, file names) must be turned into HTML through the text
// helpers of "html/text.h" (`escapeHtmlText`, `escapeHtmlLine`, `stringToHtml`,
// `lineHtml`, `linesHtml`, the String conversion of `asHtml`), which are the only escaping
// operations of the library.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "support/lazy.h"

namespace plim {

// An attribute: name (upper case by convention) and value, both stored unchanged.  An empty
// value is how a boolean attribute such as CHECKED is written.
struct HtmlAttr {
    std::string name;
    std::string value;

    HtmlAttr(std::string_view attrName, std::string_view attrValue) : name(attrName), value(attrValue) {}
    bool operator==(const HtmlAttr&) const = default;
};

class HtmlElement;
// A document: the elements in order.  The empty list is the empty document.
using Html = std::vector<HtmlElement>;

// One element: an immutable, freely shared handle.
class HtmlElement {
public:
    enum class Kind { String, Tag };  // in this order

    Kind kind() const;
    bool isString() const { return kind() == Kind::String; }
    // The text of an HtmlString (a tag has none: asking for it is an internal error).
    const std::string& text() const;

    // Structural equality (reads lazily built content).
    bool operator==(const HtmlElement& other) const;

private:
    struct Data;
    explicit HtmlElement(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
    std::shared_ptr<const Data> data_;

    friend HtmlElement HtmlString(std::string text);
    friend HtmlElement lazyHtmlTag(std::string_view name, std::vector<HtmlAttr> attrs, Lazy<Html> content);
    friend const std::string& markupTag(const HtmlElement& e);
    friend const std::vector<HtmlAttr>& markupAttrs(const HtmlElement& e);
    friend const Html& markupContent(const HtmlElement& e);
    friend const Lazy<Html>& markupContentLazy(const HtmlElement& e);
};

// Text, inserted into the output exactly as stored.
HtmlElement HtmlString(std::string text);
// A tag: name, attributes (rendered in list order, duplicates allowed) and content.
HtmlElement HtmlTag(std::string_view name, std::vector<HtmlAttr> attrs, Html content);
// A tag whose content is built when it is first read (for pages written as they are built).
HtmlElement lazyHtmlTag(std::string_view name, std::vector<HtmlAttr> attrs, Lazy<Html> content);

// The fields of an HtmlTag.  Applied to an HtmlString each stops the program with
// "No match in record selector Html.markupTag" (resp. markupAttrs, markupContent).
const std::string& markupTag(const HtmlElement& e);
const std::vector<HtmlAttr>& markupAttrs(const HtmlElement& e);
const Html& markupContent(const HtmlElement& e);
// The content of an HtmlTag without reading it (same failure as markupContent).
const Lazy<Html>& markupContentLazy(const HtmlElement& e);

// --- building ------------------------------------------------------------------------------

HtmlAttr strAttr(std::string_view name, std::string_view value);
// The value is the decimal text of the Int.
HtmlAttr intAttr(std::string_view name, std::int32_t value);
HtmlAttr emptyAttr(std::string_view name);
// One tag without attributes and content.
Html emptyElement(std::string_view name);
// One tag without attributes, holding the given content.
Html element(std::string_view name, Html content);
// Text already written as markup: one HtmlString holding the text unchanged.
Html rawHtml(std::string text);

// Every HtmlTag at the top level of the list gets the attributes appended after its own;
// HtmlStrings are left alone; content is not entered.
Html withAttributes(const Html& html, const std::vector<HtmlAttr>& attrs);
// For an HtmlTag the same tag with f applied to its content; an HtmlString unchanged.
HtmlElement mapContent(const std::function<Html(const Html&)>& f, const HtmlElement& e);

bool isEmptyHtml(const Html& html);
Html appendHtml(const Html& first, const Html& second);
Html concatHtml(const std::vector<Html>& htmls);
Html concatHtmlLists(const std::vector<std::vector<Html>>& htmlLists);
Html concatHtmlLists3(const std::vector<std::vector<std::vector<Html>>>& htmlLists);

// A link: its URL, its contents (concatenated when shown) and its own attributes.
struct HotLink {
    std::string hotLinkURL;
    std::vector<Html> hotLinkContents;
    std::vector<HtmlAttr> hotLinkAttributes;
};
HotLink hotlink(std::string url, std::vector<Html> contents);

// A tree drawn by the tree view as nested coloured tables.
struct HtmlTree {
    enum class Kind { Leaf, Node };  // in this order
    Kind kind = Kind::Leaf;
    Html label;  // a leaf's label, or a node's opening label
    std::vector<HtmlTree> children;
    Html closeLabel;
};
HtmlTree HtmlLeaf(Html label);
HtmlTree HtmlNode(Html openLabel, std::vector<HtmlTree> children, Html closeLabel);

// The names whose elements are written without an end tag when their content is empty:
// "AREA", "BASEFONT", "BR", "HR", "IMG", "INPUT", "LINK", "META", "PARAM", "BASE"
// (compared exactly, case-sensitively).
const std::vector<std::string>& noEndTagNames();
bool isNoEndTagName(std::string_view name);

// --- rendering -----------------------------------------------------------------------------

// The three lines written before every rendered page.
inline constexpr std::string_view doctypeBanner =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\"\n"
    "          \"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
    "<!--Rendered using the Quelt Html Library v0.2-->\n";

// The element's text followed by `rest`.  Every tag is followed by a line feed and the
// indentation of its own level ((level div 8) TABs and (level mod 8) blanks, floored);
// children are rendered at level + 2.
std::string renderElement(int level, const HtmlElement& e, std::string_view rest = {});
// The same text written to a stream as it is produced (lazily built content is read on the way).
void renderElementTo(std::ostream& out, int level, const HtmlElement& e);
// One opening (open) or closing tag, a line feed, the indentation for level, then rest.
std::string renderTag(bool open, std::string_view name, const std::vector<HtmlAttr>& attrs, int level,
                      std::string_view rest = {});
// NAME="value", nothing escaped.
std::string renderAttr(const HtmlAttr& attr);

// --- line-per-tag display ------------------------------------------------------------------

bool notNewline(char c);
std::string stripNewlines(std::string_view s);
// Every tag on a line of its own; children indented by three blanks per level.
std::vector<std::string> prettyElement(const HtmlElement& e);
std::vector<std::string> prettyLines(const Html& html);
// The lines of prettyLines, each followed by a line feed.
std::string prettyHtml(const Html& html);

// --- display forms -------------------------------------------------------------------------

// name=\"value\" with the value as a quoted string literal.
std::string showAttrPair(std::string_view name, std::string_view value);
std::string showHtmlAttr(const HtmlAttr& attr);
// [a,b,...] of the attributes' display forms.
std::string showHtmlAttrs(const std::vector<HtmlAttr>& attrs);
// [h1,h2,...] of the documents' line-per-tag texts.
std::string showHtmlList(const std::vector<Html>& htmls);
// Record notation; in parentheses when the precedence is above 10.
std::string showHotLink(const HotLink& link, int precedence = 0);
std::string showHotLinks(const std::vector<HotLink>& links);

}  // namespace plim
