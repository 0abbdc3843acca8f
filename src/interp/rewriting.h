// The commands that put the engine to work on expressions typed at the prompt: `rewrite` and
// the three match commands.
#pragma once

#include <string>

#include "interp/state.h"

namespace plim {

enum class MatchKind { Simple, OneStep, TwoStep };

// rewrite "e": the calculation of e with the current theory and matcher, then "\n\n"; the
// debugging page when a debugging file is set.  The state comes back unchanged.
CmdState rewriteCommand(const std::string& text, const CmdState& s);
// simplematch / onestepmatch / twostepmatch "pattern" "term": the substitutions found.
CmdState matchCommand(MatchKind kind, const std::string& pattern, const std::string& term, const CmdState& s);

}  // namespace plim
