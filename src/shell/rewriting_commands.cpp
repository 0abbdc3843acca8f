#include "shell/rewriting_commands.h"

#include <algorithm>
#include <iterator>
#include <iostream>
#include <new>

#include "engine/calculations/calculation.h"
#include "engine/rewriting/driver.h"
#include "engine/matching/substitutions.h"
#include "frontend/reader/reader.h"
#include "shell/commands.h"
#include "shell/loading.h"
#include "shell/page_file.h"
#include "lang/expressions.h"
#include "support/block_pool.h"

namespace plim {

namespace {

// The right side that a lone expression is checked with: an error constant of any type.
const Expr& anyTypePlaceholder() {
    static const Expr e = mkCon(mkError(), mkTAbs({"a"}, mkTid("a")));
    return e;
}

// The checked equation of a one-equation theory (reports written), when it checks as one
// equation without conditions.
std::optional<std::pair<Expr, Expr>> checkEquation(const Expr& lhs, const Expr& rhs, const CmdState& s) {
    const Theo theo = mkCeqTheo(mkCeq("", mkNoEq(), mkEqn(lhs, rhs), 0), mkNoTheo());
    TheoryCheck check = checkTheory(theo, checkEnvOf(s), noDefinitionRules());
    writeMessages(check.messages);
    const std::vector<Rule>& rules = check.rules.get();
    if (rules.size() != 1 || !rules.front().conditions.empty()) return std::nullopt;
    return rules.front().equation;
}

void writePiece(std::string_view piece) {
    writeOut(piece);
    flushOut();
}

// The calculation written to the standard output while its steps are computed.  A step that
// fails leaves the line of the expression before it open: it is ended before the failure is
// reported.
void writeCalculationOut(LayoutInt width, const Expr& start, CalcSteps steps) {
    bool lineOpen = false;
    auto endLine = [&lineOpen] {
        if (lineOpen) writeOut("\n");
    };
    try {
        writeCalculation(width, 0, start, std::move(steps), [&lineOpen](std::string_view piece) {
            writePiece(piece);
            if (!piece.empty()) lineOpen = piece.back() != '\n';
        });
    } catch (const UserError&) {
        endLine();
        throw;
    } catch (const std::bad_alloc&) {
        endLine();
        throw;
    }
}

// The debugging file replaced whole by the page of the derivation: the previous page stays
// until the new one is complete.
void writePage(const Derivation& d, const std::string& fileName) {
    std::string page(doctypeBanner);
    page += renderElement(0, HtmlTag("HTML", {}, debugPage(d)), "\n");
    replaceFileWith(fileName, page);
}

// The supply of fresh names of a one-step or two-step match: names that neither side uses.
NameSupply supplyFor(const Expr& pattern, const Expr& term) {
    // `without` keeps the names in a set, so a name both sides use may be given twice.
    std::vector<std::string> used = allNames(pattern);
    std::vector<std::string> termNames = allNames(term);
    used.insert(used.end(), std::make_move_iterator(termNames.begin()), std::make_move_iterator(termNames.end()));
    return NameSupply{varNames().without(used), varNames()};
}

}  // namespace

Expr parseArgumentExpression(const std::string& text, const CmdState& s) {
    std::optional<std::pair<Expr, Expr>> eq = [&] {
        const Expr parsed = parseExpression(text, std::cout);
        flushOut();
        return checkEquation(parsed, anyTypePlaceholder(), s);
    }();
    if (!eq) userError("Pattern match failure in do expression at Main:521");
    Expr e = unlet(eq->first);
    eq.reset();
    // The expression as read and the check's work are gone: their room serves what comes next.
    releaseFreeChunks();
    return e;
}

std::pair<Expr, Expr> parseMatchArguments(const std::string& pattern, const std::string& term, const CmdState& s) {
    const Expr p = parseArgumentExpression(pattern, s);
    const Expr t = parseArgumentExpression(term, s);
    std::optional<std::pair<Expr, Expr>> eq = checkEquation(p, t, s);
    if (!eq) userError("Pattern match failure in do expression at Main:409");
    return *eq;
}

Expr rewriteAndReport(const std::vector<Rule>& theory, const Expr& e, const CmdState& s) {
    const Derivation d = rewriteDefinition(s.matcher, theory, e);
    writeCalculationOut(s.width, d.start, d.steps);
    writePiece("\n\n");
    if (!s.debugFile.empty()) writePage(d, s.debugFile);
    return finalExpression(d);
}

CmdState rewriteCommand(const std::string& text, const CmdState& s) {
    const Expr e = parseArgumentExpression(text, s);
    const std::vector<Rule>& theory = currentTheory(s);
    if (!s.debugFile.empty()) {
        rewriteAndReport(theory, e, s);
        return s;
    }
    // Without a page to write nothing needs the steps once they are written, so the
    // derivation is dropped and the steps are released as they are written: an endless
    // rewrite runs in flat memory.
    auto [start, steps] = [&] {
        Derivation d = rewriteDefinition(s.matcher, theory, e);
        return std::make_pair(d.start, std::move(d.steps));
    }();
    writeCalculationOut(s.width, start, std::move(steps));
    writePiece("\n\n");
    return s;
}

CmdState matchCommand(MatchKind kind, const std::string& pattern, const std::string& term, const CmdState& s) {
    const auto [p, t] = parseMatchArguments(pattern, term, s);
    const Matcher& m = *s.matcher;
    MatchResults results = kind == MatchKind::Simple    ? m.matchSimple(p, t)
                           : kind == MatchKind::OneStep ? m.matchOneStep(p, atTop(t), supplyFor(p, t)).results
                                                        : m.matchTwoStep(p, atTop(t), supplyFor(p, t)).results;
    for (List<MatchResult> at = std::move(results); !at.empty(); at = at.tail())
        writePiece(showSubstBlock(at.head().subst));
    return s;
}

}  // namespace plim
