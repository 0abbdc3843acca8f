// The commands that put the engine to work on expressions typed at the prompt, `rewrite` and
// the three match commands, and the rewriting of one expression with its report, which
// `applytransform` uses for each definition it redefines.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "shell/state.h"
#include "lang/syntax.h"

namespace plim {

enum class MatchKind { Simple, OneStep, TwoStep };

// The expression of a command argument: parsed (repairs written), checked against the loaded
// program as a one-equation theory (reports written), local definitions removed.  An argument
// that does not check raises the user error "Pattern match failure in do expression at
// Main:521".
Expr parseArgumentExpression(const std::string& text, const CmdState& s);
// Pattern and term, each checked alone and then together as one equation, so that both get
// one type; "... at Main:409" when the equation does not check.
std::pair<Expr, Expr> parseMatchArguments(const std::string& pattern, const std::string& term, const CmdState& s);

// Rewrites e with the theory and the state's matcher, writes the calculation at the state's
// width step by step and then "\n\n", writes the debugging page when a debugging file is set,
// and returns the final expression.
Expr rewriteAndReport(const std::vector<Rule>& theory, const Expr& e, const CmdState& s);

// rewrite "e": the calculation of e with the current theory.  The state comes back unchanged.
CmdState rewriteCommand(const std::string& text, const CmdState& s);
// simplematch / onestepmatch / twostepmatch "pattern" "term": the substitutions found, each
// closed by "\n---\n".  The state comes back unchanged.
CmdState matchCommand(MatchKind kind, const std::string& pattern, const std::string& term, const CmdState& s);

}  // namespace plim
