// Small helpers around the layout library: the one-blank document, an endless supply of
// blanks, and rendering to text at a width.  Including this header also brings in the whole
// layout library (layout/document.h and the higher-level layouts of layout/combinators.h).
#pragma once

#include <string>

#include "layout/document.h"
#include "layout/combinators.h"
#include "support/lazy.h"

namespace plim {

// One blank.
Doc spaceDoc();
// The endless list of blanks; take a prefix of it.
const List<char>& endlessBlanks();
// The document rendered at page width 160, appended to `out`.
void layoutAt160(std::string& out, const Doc& d);
// The document rendered at the width (or 160) as a string.
std::string layoutTextAt(LayoutInt width, const Doc& d);
std::string layoutTextAt160(const Doc& d);

}  // namespace plim
