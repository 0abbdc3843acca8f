#include "html/model.h"

#include <algorithm>
#include <sstream>

#include "support/errors.h"
#include "scanning/string_literal.h"

namespace plim {

struct HtmlElement::Data {
    Kind kind = Kind::String;
    std::string text;  // the text of a string, the name of a tag
    std::vector<HtmlAttr> attrs;
    std::optional<Lazy<Html>> content;  // present exactly for a tag
};

HtmlElement::Kind HtmlElement::kind() const { return data_->kind; }

const std::string& HtmlElement::text() const {
    if (data_->kind != Kind::String) failInternal("internal error: text of an HTML tag");
    return data_->text;
}

bool HtmlElement::operator==(const HtmlElement& other) const {
    if (data_ == other.data_) return true;
    if (data_->kind != other.data_->kind || data_->text != other.data_->text) return false;
    if (data_->kind == Kind::String) return true;
    return data_->attrs == other.data_->attrs && data_->content->get() == other.data_->content->get();
}

HtmlElement HtmlString(std::string text) {
    auto d = std::make_shared<HtmlElement::Data>();
    d->kind = HtmlElement::Kind::String;
    d->text = std::move(text);
    return HtmlElement(std::move(d));
}

HtmlElement lazyHtmlTag(std::string_view name, std::vector<HtmlAttr> attrs, Lazy<Html> content) {
    auto d = std::make_shared<HtmlElement::Data>();
    d->kind = HtmlElement::Kind::Tag;
    d->text = std::string(name);
    d->attrs = std::move(attrs);
    d->content.emplace(std::move(content));
    return HtmlElement(std::move(d));
}

HtmlElement HtmlTag(std::string_view name, std::vector<HtmlAttr> attrs, Html content) {
    return lazyHtmlTag(name, std::move(attrs), Lazy<Html>(std::move(content)));
}

const std::string& markupTag(const HtmlElement& e) {
    if (e.isString()) failInternal(std::string(kTextHasNoMarkupTag));
    return e.data_->text;
}

const std::vector<HtmlAttr>& markupAttrs(const HtmlElement& e) {
    if (e.isString()) failInternal(std::string(kTextHasNoMarkupAttrs));
    return e.data_->attrs;
}

const Lazy<Html>& markupContentLazy(const HtmlElement& e) {
    if (e.isString()) failInternal(std::string(kTextHasNoMarkupContent));
    return *e.data_->content;
}

const Html& markupContent(const HtmlElement& e) { return markupContentLazy(e).get(); }

// --- building ------------------------------------------------------------------------------

HtmlAttr strAttr(std::string_view name, std::string_view value) { return HtmlAttr(name, value); }

HtmlAttr intAttr(std::string_view name, std::int32_t value) { return HtmlAttr(name, std::to_string(value)); }

HtmlAttr emptyAttr(std::string_view name) { return HtmlAttr(name, ""); }

Html emptyElement(std::string_view name) { return {HtmlTag(name, {}, {})}; }

Html element(std::string_view name, Html content) { return {HtmlTag(name, {}, std::move(content))}; }

Html rawHtml(std::string text) { return {HtmlString(std::move(text))}; }

Html withAttributes(const Html& html, const std::vector<HtmlAttr>& attrs) {
    Html out;
    out.reserve(html.size());
    for (const HtmlElement& e : html) {
        if (e.isString()) {
            out.push_back(e);
            continue;
        }
        std::vector<HtmlAttr> all = markupAttrs(e);
        all.insert(all.end(), attrs.begin(), attrs.end());
        out.push_back(lazyHtmlTag(markupTag(e), std::move(all), markupContentLazy(e)));
    }
    return out;
}

HtmlElement mapContent(const std::function<Html(const Html&)>& f, const HtmlElement& e) {
    if (e.isString()) return e;
    return lazyHtmlTag(markupTag(e), markupAttrs(e), markupContentLazy(e).map(f));
}

bool isEmptyHtml(const Html& html) { return html.empty(); }

Html appendHtml(const Html& first, const Html& second) {
    Html out = first;
    out.insert(out.end(), second.begin(), second.end());
    return out;
}

Html concatHtml(const std::vector<Html>& htmls) {
    Html out;
    for (const Html& h : htmls) out.insert(out.end(), h.begin(), h.end());
    return out;
}

Html concatHtmlLists(const std::vector<std::vector<Html>>& htmlLists) {
    Html out;
    for (const auto& hs : htmlLists)
        for (const Html& h : hs) out.insert(out.end(), h.begin(), h.end());
    return out;
}

Html concatHtmlLists3(const std::vector<std::vector<std::vector<Html>>>& htmlLists) {
    Html out;
    for (const auto& hss : htmlLists) {
        Html part = concatHtmlLists(hss);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

HotLink hotlink(std::string url, std::vector<Html> contents) {
    return HotLink{std::move(url), std::move(contents), {}};
}

HtmlTree HtmlLeaf(Html label) {
    HtmlTree t;
    t.kind = HtmlTree::Kind::Leaf;
    t.label = std::move(label);
    return t;
}

HtmlTree HtmlNode(Html openLabel, std::vector<HtmlTree> children, Html closeLabel) {
    HtmlTree t;
    t.kind = HtmlTree::Kind::Node;
    t.label = std::move(openLabel);
    t.children = std::move(children);
    t.closeLabel = std::move(closeLabel);
    return t;
}

const std::vector<std::string>& noEndTagNames() {
    static const std::vector<std::string> names{"AREA", "BASEFONT", "BR",   "HR",    "IMG",
                                                "INPUT", "LINK",    "META", "PARAM", "BASE"};
    return names;
}

bool isNoEndTagName(std::string_view name) {
    const auto& names = noEndTagNames();
    return std::find(names.begin(), names.end(), name) != names.end();
}

// --- walking -------------------------------------------------------------------------------

namespace {

// Visits an element and its descendants in document order without recursion, so deeply
// nested or very long documents cost no stack.  The visitor sees:
//   text(string element, depth)
//   lone(tag element, depth)          a tag written without end tag
//   open(tag element, depth) ... close(tag element, depth)
template <class Visitor>
void walkElement(const HtmlElement& root, Visitor& visit) {
    struct Frame {
        HtmlElement tag;
        const Html* children;
        std::size_t next;
    };
    std::vector<Frame> stack;
    auto enter = [&](const HtmlElement& e) {
        const auto depth = stack.size();
        if (e.isString()) {
            visit.text(e, depth);
            return;
        }
        const Html& content = markupContent(e);
        if (content.empty() && isNoEndTagName(markupTag(e))) {
            visit.lone(e, depth);
            return;
        }
        visit.open(e, depth);
        stack.push_back({e, &content, 0});
    };
    enter(root);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.children->size()) {
            enter((*top.children)[top.next++]);
            continue;
        }
        HtmlElement tag = top.tag;
        stack.pop_back();
        visit.close(tag, stack.size());
    }
}

// The level of an element `depth` tags below one at `level`; levels wrap like machine words.
int levelAt(int level, std::size_t depth) {
    return static_cast<int>(static_cast<std::uint32_t>(level) + 2u * static_cast<std::uint32_t>(depth));
}

void writeIndent(std::ostream& out, int level) {
    const int tabs = level >= 0 ? level / 8 : 0;  // floored division: no TAB for a negative level
    const int blanks = ((level % 8) + 8) % 8;
    static const std::string tabRun(64, '\t');
    for (int left = tabs; left > 0; left -= 64) out.write(tabRun.data(), std::min(left, 64));
    out.write("        ", blanks);
}

void writeAttr(std::ostream& out, const HtmlAttr& attr) { out << attr.name << "=\"" << attr.value << '"'; }

void writeTag(std::ostream& out, bool open, std::string_view name, const std::vector<HtmlAttr>& attrs, int level) {
    out << (open ? "<" : "</") << name;
    for (const HtmlAttr& a : attrs) {  // one blank before each attribute
        out << ' ';
        writeAttr(out, a);
    }
    out << ">\n";
    writeIndent(out, level);
}

struct TextRenderer {
    std::ostream& out;
    int level;
    void text(const HtmlElement& e, std::size_t) { out << e.text(); }
    void lone(const HtmlElement& e, std::size_t d) { writeTag(out, true, markupTag(e), markupAttrs(e), levelAt(level, d)); }
    void open(const HtmlElement& e, std::size_t d) { lone(e, d); }
    void close(const HtmlElement& e, std::size_t d) { writeTag(out, false, markupTag(e), {}, levelAt(level, d)); }
};

struct LineRenderer {
    std::vector<std::string>& lines;
    std::string indent(std::size_t depth) const {
        std::string s;
        s.reserve(3 * depth);
        for (std::size_t i = 0; i < depth; ++i) s += "   ";
        return s;
    }
    void text(const HtmlElement& e, std::size_t d) { lines.push_back(indent(d) + e.text()); }
    void lone(const HtmlElement& e, std::size_t d) {
        lines.push_back(indent(d) + stripNewlines(renderTag(true, markupTag(e), markupAttrs(e), 0)));
    }
    void open(const HtmlElement& e, std::size_t d) { lone(e, d); }
    void close(const HtmlElement& e, std::size_t d) {
        lines.push_back(indent(d) + stripNewlines(renderTag(false, markupTag(e), {}, 0)));
    }
};

}  // namespace

// --- rendering -----------------------------------------------------------------------------

void renderElementTo(std::ostream& out, int level, const HtmlElement& e) {
    TextRenderer r{out, level};
    walkElement(e, r);
}

std::string renderElement(int level, const HtmlElement& e, std::string_view rest) {
    std::ostringstream out;
    renderElementTo(out, level, e);
    out << rest;
    return std::move(out).str();
}

std::string renderTag(bool open, std::string_view name, const std::vector<HtmlAttr>& attrs, int level,
                      std::string_view rest) {
    std::ostringstream out;
    writeTag(out, open, name, attrs, level);
    out << rest;
    return std::move(out).str();
}

std::string renderAttr(const HtmlAttr& attr) { return attr.name + "=\"" + attr.value + "\""; }

// --- line-per-tag display ------------------------------------------------------------------

bool notNewline(char c) { return c != '\n'; }

std::string stripNewlines(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (notNewline(c)) out += c;
    return out;
}

std::vector<std::string> prettyElement(const HtmlElement& e) {
    std::vector<std::string> lines;
    LineRenderer r{lines};
    walkElement(e, r);
    return lines;
}

std::vector<std::string> prettyLines(const Html& html) {
    std::vector<std::string> lines;
    LineRenderer r{lines};
    for (const HtmlElement& e : html) walkElement(e, r);
    return lines;
}

std::string prettyHtml(const Html& html) {
    std::string out;
    for (const std::string& line : prettyLines(html)) {
        out += line;
        out += '\n';
    }
    return out;
}

// --- display forms -------------------------------------------------------------------------

std::string showAttrPair(std::string_view name, std::string_view value) {
    return std::string(name) + "=" + showStringLiteral(value);
}

std::string showHtmlAttr(const HtmlAttr& attr) { return showAttrPair(attr.name, attr.value); }

namespace {
template <class T, class Show>
std::string showList(const std::vector<T>& items, Show show) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ",";
        out += show(items[i]);
    }
    return out + "]";
}
}  // namespace

std::string showHtmlAttrs(const std::vector<HtmlAttr>& attrs) { return showList(attrs, showHtmlAttr); }

std::string showHtmlList(const std::vector<Html>& htmls) { return showList(htmls, prettyHtml); }

std::string showHotLink(const HotLink& link, int precedence) {
    std::string body = "HotLink {hotLinkURL = " + showStringLiteral(link.hotLinkURL) +
                       ", hotLinkContents = " + showHtmlList(link.hotLinkContents) +
                       ", hotLinkAttributes = " + showHtmlAttrs(link.hotLinkAttributes) + "}";
    return precedence > 10 ? "(" + body + ")" : body;
}

std::string showHotLinks(const std::vector<HotLink>& links) {
    return showList(links, [](const HotLink& l) { return showHotLink(l); });
}

}  // namespace plim
