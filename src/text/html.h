// The HTML library: documents as values, their rendering as text, the tag and attribute
// vocabulary, escaping of text, block tables, whole pages and debugging views.
//
//   text/html_model.h   the model (Html, HtmlElement, HtmlAttr, HotLink, HtmlTree), the
//                       renderers (renderElement, renderTag, doctypeBanner) and display forms
//   text/html_tags.h    the tag and attribute vocabulary (divTag, classAttr, brElement, ...)
//   text/html_text.h    escaping and text helpers (escapeHtmlText, linesHtml, ...), links,
//                       forms, lists, constants, and the conversion into HTML (asHtml)
//   text/html_views.h   HTML tables, renderPage, the tree view and the debugging view
//
// The renderers and builders escape nothing; only the text helpers of html_text.h escape.
#pragma once

#include "text/html_model.h"
#include "text/html_tags.h"
#include "text/html_text.h"
#include "text/html_views.h"
