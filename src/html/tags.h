// The HTML vocabulary: for every element the library knows a combinator (content tags) or a
// constant (elements without content), for every attribute a combinator or a constant, every
// name as a string constant, and the lists of content-tag and attribute names.
//
// All names are upper case and used exactly as listed.  Nothing here checks a name, changes
// its case or escapes a value (see the escaping contract in "html/model.h").
//
//   tags        addressTag(Html content) ... varTag(content), paragraphTag = pTag
//   elements    areaElement ... baseElement: one tag, no attributes, empty content
//   attributes  classAttr(String), heightAttr(Int), checkedAttr (constant, empty value), ...
//   names       divTagName = "DIV", classAttrName = "CLASS", ...; a name that is both a tag
//               and an attribute name (BASE, CODE, LINK, STYLE, TITLE) has only the AttrName
//               constant.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "html/model.h"

namespace plim {

// The vocabulary in the order of the name lists.  TAG entries own a TagName constant;
// SHARED entries use the AttrName constant of the attribute of the same name.
#define PLIM_HTML_CONTENT_TAGS(TAG, SHARED) \
    TAG(address, "ADDRESS") \
    TAG(a, "A") \
    TAG(applet, "APPLET") \
    TAG(big, "BIG") \
    TAG(blockquote, "BLOCKQUOTE") \
    TAG(body, "BODY") \
    TAG(b, "B") \
    TAG(caption, "CAPTION") \
    TAG(center, "CENTER") \
    TAG(cite, "CITE") \
    TAG(dd, "DD") \
    TAG(dfn, "DFN") \
    TAG(dl, "DL") \
    TAG(dt, "DT") \
    TAG(em, "EM") \
    TAG(fieldset, "FIELDSET") \
    TAG(font, "FONT") \
    TAG(form, "FORM") \
    TAG(frame, "FRAME") \
    TAG(frameset, "FRAMESET") \
    TAG(h1, "H1") \
    TAG(h2, "H2") \
    TAG(h3, "H3") \
    TAG(h4, "H4") \
    TAG(h5, "H5") \
    TAG(h6, "H6") \
    TAG(head, "HEAD") \
    TAG(i, "I") \
    TAG(kbd, "KBD") \
    TAG(legend, "LEGEND") \
    TAG(li, "LI") \
    TAG(noframes, "NOFRAMES") \
    TAG(ol, "OL") \
    TAG(option, "OPTION") \
    TAG(p, "P") \
    TAG(pre, "PRE") \
    TAG(samp, "SAMP") \
    TAG(select, "SELECT") \
    TAG(small, "SMALL") \
    TAG(strong, "STRONG") \
    SHARED(style, "STYLE") \
    TAG(sub, "SUB") \
    TAG(sup, "SUP") \
    TAG(table, "TABLE") \
    TAG(td, "TD") \
    TAG(textarea, "TEXTAREA") \
    TAG(th, "TH") \
    SHARED(code, "CODE") \
    TAG(div, "DIV") \
    TAG(html, "HTML") \
    SHARED(link, "LINK") \
    TAG(map, "MAP") \
    SHARED(title, "TITLE") \
    TAG(tr, "TR") \
    TAG(tt, "TT") \
    TAG(ul, "UL") \
    TAG(u, "U") \
    TAG(var, "VAR")

#define PLIM_HTML_EMPTY_ELEMENTS(TAG, SHARED) \
    TAG(area, "AREA") \
    TAG(basefont, "BASEFONT") \
    TAG(br, "BR") \
    TAG(hr, "HR") \
    TAG(img, "IMG") \
    TAG(input, "INPUT") \
    TAG(meta, "META") \
    TAG(param, "PARAM") \
    SHARED(base, "BASE")

#define PLIM_HTML_ATTRIBUTES(STR, INT, BOOL) \
    STR(action, "ACTION") \
    STR(align, "ALIGN") \
    STR(alink, "ALINK") \
    STR(alt, "ALT") \
    STR(altcode, "ALTCODE") \
    STR(archive, "ARCHIVE") \
    STR(background, "BACKGROUND") \
    STR(base, "BASE") \
    STR(bgcolor, "BGCOLOR") \
    INT(border, "BORDER") \
    STR(bordercolor, "BORDERCOLOR") \
    INT(cellpadding, "CELLPADDING") \
    INT(cellspacing, "CELLSPACING") \
    BOOL(checked, "CHECKED") \
    STR(clear, "CLEAR") \
    STR(code, "CODE") \
    STR(codebase, "CODEBASE") \
    STR(color, "COLOR") \
    STR(cols, "COLS") \
    INT(colspan, "COLSPAN") \
    BOOL(compact, "COMPACT") \
    STR(content, "CONTENT") \
    STR(coords, "COORDS") \
    STR(enctype, "ENCTYPE") \
    STR(face, "FACE") \
    INT(frameborder, "FRAMEBORDER") \
    INT(height, "HEIGHT") \
    STR(href, "HREF") \
    INT(hspace, "HSPACE") \
    STR(httpequiv, "HTTPEQUIV") \
    STR(id, "ID") \
    BOOL(ismap, "ISMAP") \
    STR(lang, "LANG") \
    STR(link, "LINK") \
    INT(marginheight, "MARGINHEIGHT") \
    INT(marginwidth, "MARGINWIDTH") \
    INT(maxlength, "MAXLENGTH") \
    STR(method, "METHOD") \
    BOOL(multiple, "MULTIPLE") \
    STR(name, "NAME") \
    BOOL(nohref, "NOHREF") \
    BOOL(noresize, "NORESIZE") \
    BOOL(noshade, "NOSHADE") \
    BOOL(nowrap, "NOWRAP") \
    STR(rel, "REL") \
    STR(rev, "REV") \
    STR(rows, "ROWS") \
    INT(rowspan, "ROWSPAN") \
    STR(rules, "RULES") \
    STR(scrolling, "SCROLLING") \
    BOOL(selected, "SELECTED") \
    STR(shape, "SHAPE") \
    STR(size, "SIZE") \
    STR(src, "SRC") \
    INT(start, "START") \
    STR(target, "TARGET") \
    STR(text, "TEXT") \
    STR(class, "CLASS") \
    STR(style, "STYLE") \
    STR(type, "TYPE") \
    STR(title, "TITLE") \
    STR(usemap, "USEMAP") \
    STR(valign, "VALIGN") \
    STR(value, "VALUE") \
    STR(version, "VERSION") \
    STR(vlink, "VLINK") \
    INT(vspace, "VSPACE") \
    STR(width, "WIDTH")

// --- name constants ------------------------------------------------------------------------

#define PLIM_HTML_TAG_NAME(id, text) inline constexpr std::string_view id##TagName = text;
#define PLIM_HTML_NO_NAME(id, text)
#define PLIM_HTML_ATTR_NAME(id, text) inline constexpr std::string_view id##AttrName = text;
PLIM_HTML_CONTENT_TAGS(PLIM_HTML_TAG_NAME, PLIM_HTML_NO_NAME)
PLIM_HTML_EMPTY_ELEMENTS(PLIM_HTML_TAG_NAME, PLIM_HTML_NO_NAME)
PLIM_HTML_ATTRIBUTES(PLIM_HTML_ATTR_NAME, PLIM_HTML_ATTR_NAME, PLIM_HTML_ATTR_NAME)
#undef PLIM_HTML_TAG_NAME
#undef PLIM_HTML_NO_NAME
#undef PLIM_HTML_ATTR_NAME

// --- tag combinators and element constants -------------------------------------------------

// Each content tag: one element with that name, no attributes, the content unchanged.
#define PLIM_HTML_TAG(id, text) \
    inline Html id##Tag(Html content) { return element(text, std::move(content)); }
PLIM_HTML_CONTENT_TAGS(PLIM_HTML_TAG, PLIM_HTML_TAG)
#undef PLIM_HTML_TAG

inline Html paragraphTag(Html content) { return pTag(std::move(content)); }

// Each element without content: one shared element, no attributes, empty content.
#define PLIM_HTML_ELEMENT(id, text) inline const Html id##Element = emptyElement(text);
PLIM_HTML_EMPTY_ELEMENTS(PLIM_HTML_ELEMENT, PLIM_HTML_ELEMENT)
#undef PLIM_HTML_ELEMENT

// --- attribute combinators and constants ---------------------------------------------------

#define PLIM_HTML_STR_ATTR(id, text) \
    inline HtmlAttr id##Attr(std::string_view value) { return strAttr(text, value); }
#define PLIM_HTML_INT_ATTR(id, text) \
    inline HtmlAttr id##Attr(std::int32_t value) { return intAttr(text, value); }
#define PLIM_HTML_BOOL_ATTR(id, text) inline const HtmlAttr id##Attr = emptyAttr(text);
PLIM_HTML_ATTRIBUTES(PLIM_HTML_STR_ATTR, PLIM_HTML_INT_ATTR, PLIM_HTML_BOOL_ATTR)
#undef PLIM_HTML_STR_ATTR
#undef PLIM_HTML_INT_ATTR
#undef PLIM_HTML_BOOL_ATTR

// --- name lists ----------------------------------------------------------------------------

// The 58 content-tag names, in the order above.
const std::vector<std::string>& contentTagNames();
// The 68 attribute names, in the order above.
const std::vector<std::string>& attributeNames();

}  // namespace plim
