#include "html/views.h"

namespace plim {

// --- tables --------------------------------------------------------------------------------

HtmlTable cellFromHtml(const Html& h) {
    return single<HtmlCell>([h](int colSpan, int rowSpan) {
        std::vector<HtmlAttr> spans;
        if (colSpan != 1) spans.push_back(colspanAttr(colSpan));
        if (rowSpan != 1) spans.push_back(rowspanAttr(rowSpan));
        return spans.empty() ? h : withAttributes(h, spans);
    });
}

namespace {

// The right fold of a combination over a non-empty list, without recursion.
HtmlTable foldRight(const std::vector<HtmlTable>& tables, HtmlTable (*combine)(const HtmlTable&, const HtmlTable&)) {
    HtmlTable acc = tables.back();
    for (std::size_t i = tables.size() - 1; i-- > 0;) acc = combine(tables[i], acc);
    return acc;
}

std::vector<HtmlTable> cellsOf(const std::vector<Html>& cells) {
    std::vector<HtmlTable> tables;
    tables.reserve(cells.size());
    for (const Html& h : cells) tables.push_back(cellFromHtml(h));
    return tables;
}

}  // namespace

HtmlTable besides(const std::vector<HtmlTable>& tables) {
    if (tables.empty()) besidesEmptyError();
    return foldRight(tables, &layoutBeside<HtmlCell>);
}

HtmlTable besides(const std::vector<Html>& cells) { return besides(cellsOf(cells)); }

HtmlTable aboves(const std::vector<HtmlTable>& tables) {
    if (tables.empty()) abovesEmptyError();
    return foldRight(tables, &layoutAbove<HtmlCell>);
}

HtmlTable aboves(const std::vector<Html>& cells) { return aboves(cellsOf(cells)); }

Html renderTableRows(const HtmlTable& table) {
    Html rows;
    for (const CellRow<HtmlCell>& row : layoutRows(table)) {
        Html cells;
        for (const PlacedCell<HtmlCell>& cell : row) {
            Html h = cell.value(cell.colSpan, cell.rowSpan);
            cells.insert(cells.end(), h.begin(), h.end());
        }
        rows.push_back(HtmlTag(trTagName, {}, std::move(cells)));
    }
    return rows;
}

Html tableOfRows(const std::vector<HtmlAttr>& tableAttrs, const std::vector<HtmlAttr>& cellAttrs,
                 const std::vector<std::vector<Html>>& rows) {
    std::vector<HtmlTable> rowTables;
    rowTables.reserve(rows.size());
    for (const std::vector<Html>& row : rows) {
        std::vector<Html> cells;
        cells.reserve(row.size());
        for (const Html& x : row) cells.push_back(withAttributes(tdTag(x), cellAttrs));
        rowTables.push_back(besides(cells));
    }
    return withAttributes(tableTag(renderTableRows(aboves(rowTables))), tableAttrs);
}

std::string showTable(const HtmlTable& table) { return prettyHtml(renderTableRows(table)); }

std::string showsTable(const HtmlTable& table, std::string_view rest) { return showTable(table) + std::string(rest); }

// --- tree view -----------------------------------------------------------------------------

namespace {

// The text cut at each line feed; a final line feed ends the last line without starting another.
std::vector<std::string> splitLines(const std::string& s) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < s.size()) {
        const std::size_t end = s.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(s.substr(start));
            break;
        }
        lines.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

Html smallLabel(const std::string& text) { return withAttributes(fontTag(stringAsHtml(text)), {sizeAttr("1")}); }

std::string openLabelText(const HtmlElement& e) {
    std::string label = "<" + markupTag(e);
    const auto& attrs = markupAttrs(e);
    for (std::size_t i = 0; i < attrs.size(); ++i) label += (i == 0 ? "  " : " ") + showHtmlAttr(attrs[i]);
    return label + ">";
}

// Consecutive colours equal to the parent's that the search for a child's colours passes
// over before it gives up: a list outside the contract would otherwise be searched for ever.
constexpr std::size_t kColourSearchLimit = 10000;

// The first suffix of `at` that does not start with `parent`.
List<std::string> nextSuitable(List<std::string> at, const std::string& parent) {
    for (std::size_t skipped = 0; !at.empty() && at.head() == parent; ++skipped) {
        if (skipped == kColourSearchLimit) impossibleError();
        at = at.tail();
    }
    if (at.empty()) impossibleError();
    return at;
}

HtmlTable colourCell(const Html& content, const std::vector<HtmlAttr>& attrs) {
    return cellFromHtml(withAttributes(tdTag(content), attrs));
}

}  // namespace

HtmlTree toHtmlTree(const HtmlElement& e) {
    if (e.isString()) return HtmlLeaf(appendHtml(nbspHtml, linesHtml(splitLines(e.text()))));
    const Html& content = markupContent(e);
    const Html open = smallLabel(openLabelText(e));
    if (content.empty()) return HtmlNode(open, {}, {});
    std::vector<HtmlTree> children;
    children.reserve(content.size());
    for (const HtmlElement& child : content) children.push_back(toHtmlTree(child));
    return HtmlNode(open, std::move(children), smallLabel("</" + markupTag(e) + ">"));
}

HtmlTable treeLayout(const List<std::string>& colours, const HtmlTree& tree) {
    if (colours.empty()) impossibleError();
    if (tree.kind == HtmlTree::Kind::Leaf)
        return colourCell(bTag(tree.label), {widthAttr(fullWidthText)});
    const std::string& k = colours.head();
    const List<std::string> rest = colours.tail();
    if (rest.empty()) impossibleError();
    const HtmlTable openCell = colourCell(tree.label, {bgcolorAttr(k)});
    if (tree.children.empty() && tree.closeLabel.empty()) return openCell;
    const HtmlTable closeCell = colourCell(tree.closeLabel, {bgcolorAttr(k)});
    const HtmlTable bar = colourCell(nbspHtml, {bgcolorAttr(k), widthAttr(tenText)});
    HtmlTable inner = colourCell(nbspHtml, {bgcolorAttr(rest.head())});
    if (!tree.children.empty()) {
        std::vector<HtmlTable> children;
        children.reserve(tree.children.size());
        List<std::string> at = rest;
        for (const HtmlTree& child : tree.children) {
            at = nextSuitable(at, k);
            children.push_back(treeLayout(at, child));
            at = at.tail();
        }
        inner = aboves(children);
    }
    return layoutAbove(openCell, layoutAbove(layoutBeside(bar, inner), closeCell));
}

Html treeTable(const List<std::string>& colours, const HtmlTree& tree) {
    return withAttributes(tableTag(renderTableRows(treeLayout(colours, tree))),
                          {borderAttr(0), cellpaddingAttr(0), cellspacingAttr(2)});
}

const Html& debugHeaderCell() {
    static const Html cell =
        withAttributes(thTag(uTag(stringAsHtml("Debugging Output"))), {bgcolorAttr("#008888")});
    return cell;
}

Html debugViewOfHtml(const Html& html) {
    Html trees;
    for (const HtmlElement& e : html) {
        Html t = treeTable(treeColours(), toHtmlTree(e));
        trees.insert(trees.end(), t.begin(), t.end());
    }
    const Html rows = renderTableRows(above(debugHeaderCell(), tdTag(std::move(trees))));
    return withAttributes(tableTag(rows), {borderAttr(0)});
}

std::string renderPageOfHtml(const Html& html) {
    return std::string(doctypeBanner) + renderElement(0, HtmlTag(htmlTagName, {}, html), "\n");
}

}  // namespace plim
