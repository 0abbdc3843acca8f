// The HTML library: documents as values, their rendering as text, the tag and attribute
// vocabulary, escaping of text, block tables, whole pages and debugging views.
//
//   html/model.h   the model (Html, HtmlElement, HtmlAttr, HotLink, HtmlTree), the
//                       renderers (renderElement, renderTag, doctypeBanner) and display forms
//   html/tags.h    the tag and attribute vocabulary (divTag, classAttr, brElement, ...)
//   html/text.h    escaping and text helpers (escapeHtmlText, linesHtml, ...), links,
//                       forms, lists, constants, and the conversion into HTML (asHtml)
//   html/views.h   HTML tables, renderPage, the tree view and the debugging view
//
// The renderers and builders escape nothing; only the text helpers of html/text.h escape.
#pragma once

#include "html/model.h"
#include "html/tags.h"
#include "html/text.h"
#include "html/views.h"
