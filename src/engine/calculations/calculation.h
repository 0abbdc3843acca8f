// Calculations: the two renderings of a rewrite's record (engine/rewriting/derivation.h).
//
// A `Derivation` is the start expression, the steps (each the `Calculation` that justifies it
// and the expression it leads to) and the failed attempts at the final expression.  The steps
// are a lazy list produced one step at a time while it is read, so the text of an endless
// derivation can be written step by step (`writeCalculation`); the failures are computed only
// when read (only the HTML page reads them).
//
// Memory: a held list keeps every step read from it.  To stream a long derivation in flat
// memory, move the steps out of the derivation and drop the derivation (its failures hold the
// steps too); to write the page afterwards, keep the derivation.
//
//   Derivation d = rewriteDefinition(matcher, rules, e);
//   writeCalculation(width, 0, d.start, d.steps, [](std::string_view piece) {
//       std::fwrite(piece.data(), 1, piece.size(), stdout);
//       std::fflush(stdout);
//   });
//   Html page = debugPage(d);   // HEAD and BODY; the caller wraps it in an HTML element
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/rewriting/derivation.h"
#include "lang/syntax.h"
#include "html/html.h"
#include "layout/document.h"
#include "support/lazy.h"

namespace plim {

// --- text -----------------------------------------------------------------------------------

// The form in which a calculation shows an expression: common subexpressions shared as local
// definitions (also inside lambdas), remaining beta-redexes shown as lets.
Expr displayForm(const Expr& e);
// The expression laid out at page width `width`, every line indented by n + 3 columns, no
// final newline; "<Error: negative page width >" for a negative width.
std::string layoutExpr(LayoutInt width, LayoutInt n, const Expr& e);

// The text of a derivation: the start, a newline, and the steps separated by newlines, each
// "= { hint }" on n spaces and the result expression; nested derivations of a conditional
// step at n + 3, its closing brace on a line of its own.  Reads every step.
std::string showCalculation(LayoutInt width, LayoutInt n, const Expr& start, const CalcSteps& steps);

// Receives the text in pieces.
using TextSink = std::function<void(std::string_view)>;
// The text of showCalculation handed to `sink` in pieces as the steps are computed: first
// the start and its newline, then each step (preceded by the newline that separates it from
// the previous one).  The list is walked from a copy of its own, so the steps behind it can be
// released when the caller holds no other reference.
void writeCalculation(LayoutInt width, LayoutInt n, const Expr& start, CalcSteps steps, const TextSink& sink);

// --- the HTML debugging page -------------------------------------------------------------------

// The page content, a HEAD and a BODY element, with every step, substitution and failure list
// as a collapsible section.  Reads the whole derivation, failures included.
Html debugPage(const Derivation& d);

// The ids of the page's sections: "a", ..., "z", "aa", "ab", ... without end.
using IdSupply = NameList;
IdSupply idSupply();
// An Html value built with ids drawn from a supply, and the rest of the supply.
using HtmlRun = std::pair<Html, IdSupply>;

// The page's building blocks (named for testing; debugPage is built from them).
HtmlRun calcToHtml(const Expr& start, const CalcSteps& steps, const Failures& failures, const IdSupply& ids);
HtmlRun expanderSection(bool open, const std::string& cls, const Html& details, const Html& label,
                        const IdSupply& ids);
Html expressionBlock(const Expr& e);
HtmlRun calculationHtml(const Calculation& c, const IdSupply& ids);
// The script text that opens and closes sections.
const std::string& dobranchScript();

}  // namespace plim
