// Small layouts shared by the printers of types, expressions, declarations, equations,
// theories and programs, and the one procedure by which the printer turns a document into a
// string.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "layout/document.h"

namespace plim {

// The page width of every string renderer of the printer.  Only the program listing is laid
// out at the interpreter's own width.
inline constexpr LayoutInt kPrinterPageWidth = 160;

// The text of the document's first layout at the bounds (160, 160), from column 0: the
// empty string when it has no layout, "<Error: can't render a pair>" for a pair of
// alternatives.
std::string renderAtPrinterBounds(const Doc& d);

// The definition template of two parameters, the left side and the " = " right side:
// either the left side (one-line layouts only) directly followed by the right side, or the
// right side on the lines below the left side, indented by 3 columns.
const ParDoc& funDefTemplate();

// The document followed directly by ";" on its last line.
Doc withSemicolon(Doc d);
// The document followed by ";" and a line feed, counted as one line of width 2, so that a
// document stacked below it leaves an empty line in between.
Doc withSemicolonNewline(Doc d);
// The documents with f applied to every one but the last.
std::vector<Doc> punctuateInit(const std::function<Doc(Doc)>& f, std::vector<Doc> ds);

// A horizontal-or-vertical list that chooses for each item on its own: the item on one line
// followed directly by the rest, or the item above the rest.  (The library's hvList chooses
// once for the whole list.)  The last item is the rest of the item before it; no items give
// emptyDoc.
Doc hvEachList(std::vector<Doc> items);

// Words on one line separated by single blanks, with no blank after the last.
Doc wordsDoc(std::vector<Doc> words);

// A bracketed list: on one line the opening text, the items separated by the separator and
// the closing text ("(a, b)"), otherwise the opening text, a blank and the first item, each
// further item on a line of its own after the separator, and the closing text on a last line.
// The choice is made once for the whole list.
Doc tightBlockDoc(const std::string& open, const std::string& close, const std::string& separator,
                  std::vector<Doc> items);

}  // namespace plim
