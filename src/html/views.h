// HTML tables built from block tables, whole pages, and the views that show the structure of
// an Html value as HTML itself (the coloured tree view and the debugging view).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "html/model.h"
#include "html/tags.h"
#include "html/text.h"
#include "support/lazy.h"
#include "html/block_tables.h"

namespace plim {

// --- tables --------------------------------------------------------------------------------

// A cell of an HTML table: told its column and row span, it gives its Html.
using HtmlCell = std::function<Html(int colSpan, int rowSpan)>;
using HtmlTable = BlockTable<HtmlCell>;

// The one-cell table whose cell is h with COLSPAN (if not 1) then ROWSPAN (if not 1) added.
HtmlTable cellFromHtml(const Html& h);

inline HtmlTable toHtmlTable(const Html& h) { return cellFromHtml(h); }
inline const HtmlTable& toHtmlTable(const HtmlTable& t) { return t; }

// Two tables (or Html values, each made a one-cell table) side by side / above each other.
template <class A, class B>
HtmlTable beside(const A& left, const B& right) {
    return layoutBeside(toHtmlTable(left), toHtmlTable(right));
}
template <class A, class B>
HtmlTable above(const A& upper, const B& lower) {
    return layoutAbove(toHtmlTable(upper), toHtmlTable(lower));
}

// t1 beside (t2 beside (... tn)); an empty list stops with "besides []".
HtmlTable besides(const std::vector<HtmlTable>& tables);
HtmlTable besides(const std::vector<Html>& cells);
// t1 above (t2 above (... tn)); an empty list stops with "aboves []".
HtmlTable aboves(const std::vector<HtmlTable>& tables);
HtmlTable aboves(const std::vector<Html>& cells);

// Each value converted to a table first, then folded as besides / aboves.
template <class T, class F>
HtmlTable besidesBy(F toTable, const std::vector<T>& values) {
    std::vector<HtmlTable> tables;
    for (const T& v : values) tables.push_back(toHtmlTable(toTable(v)));
    return besides(tables);
}
template <class T, class F>
HtmlTable abovesBy(F toTable, const std::vector<T>& values) {
    std::vector<HtmlTable> tables;
    for (const T& v : values) tables.push_back(toHtmlTable(toTable(v)));
    return aboves(tables);
}

// One TR per row, holding the row's cells given their spans (no TABLE around them).
Html renderTableRows(const HtmlTable& table);

// A TABLE with the table attributes; each cell x is a TD holding x with the cell attributes.
Html tableOfRows(const std::vector<HtmlAttr>& tableAttrs, const std::vector<HtmlAttr>& cellAttrs,
                 const std::vector<std::vector<Html>>& rows);

// The line-per-tag text of the rows; showsTable puts it in front of rest.
std::string showTable(const HtmlTable& table);
std::string showsTable(const HtmlTable& table, std::string_view rest);

template <>
struct HtmlSource<HtmlTable> {
    static Html asHtml(const HtmlTable& t) { return renderTableRows(t); }
    static Html listAsHtml(const std::vector<HtmlTable>& ts) { return concatHtmlSources(ts); }
};

// --- tree and debugging views --------------------------------------------------------------

// Text becomes a leaf showing the text escaped line by line; a tag becomes a node whose labels
// show the opening and closing tags as small text.
HtmlTree toHtmlTree(const HtmlElement& e);

// The tree as a table of coloured cells: each node takes the first colour of its list, its
// children successive suffixes of the rest that do not start with the node's colour.  A list
// that runs out, or in which no suitable colour follows, stops with "The imposible happens".
HtmlTable treeLayout(const List<std::string>& colours, const HtmlTree& tree);
// TABLE BORDER="0" CELLPADDING="0" CELLSPACING="2" holding the tree's rows.
Html treeTable(const List<std::string>& colours, const HtmlTree& tree);

template <>
struct HtmlSource<HtmlTree> {
    static Html asHtml(const HtmlTree& t) { return treeTable(treeColours(), t); }
    static Html listAsHtml(const std::vector<HtmlTree>& ts) { return concatHtmlSources(ts); }
};

// The header cell of the debugging view: TH BGCOLOR="#008888" holding U "Debugging Output".
const Html& debugHeaderCell();

// The tree tables of the elements of an Html value under the header cell.
Html debugViewOfHtml(const Html& html);

template <class T>
Html debugView(const T& value) {
    return debugViewOfHtml(asHtml(value));
}

// A whole page: the banner, then the HTML element holding the value, then a line feed.
std::string renderPageOfHtml(const Html& html);

template <class T>
std::string renderPage(const T& value) {
    return renderPageOfHtml(asHtml(value));
}

}  // namespace plim
