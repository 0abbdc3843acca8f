// The command set and the dispatcher.  A command line becomes one `Command` (command_grammar.h);
// `runCommand` runs it against the current state and returns the next one, writing what the
// command prints to the standard output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "engine/matching/matcher.h"
#include "shell/state.h"

namespace plim {

namespace cmd {
struct SetPath { std::string path; };
struct SetWidth { std::int32_t width; };
struct DebugFile { std::string file; };
struct RunScript { std::string file; };
struct SetMatcher { MatcherRef matcher; };
struct ShowTheory {};
struct ShowProgram {};
struct LoadProgram { std::string name; };
struct LoadTheory { std::string name; };
struct ChooseTheory { std::string name; };
struct RewriteExpr { std::string expr; };
struct ApplyTransform { std::string name; };
struct SimpleMatch { std::string pattern, term; };
struct OneStepMatch { std::string pattern, term; };
struct TwoStepMatch { std::string pattern, term; };
struct Quit {};
struct Skip {};
}  // namespace cmd

// The 17 commands, in tag order.
using Command = std::variant<cmd::SetPath, cmd::SetWidth, cmd::DebugFile, cmd::RunScript, cmd::SetMatcher,
                             cmd::ShowTheory, cmd::ShowProgram, cmd::LoadProgram, cmd::LoadTheory, cmd::ChooseTheory,
                             cmd::RewriteExpr, cmd::ApplyTransform, cmd::SimpleMatch, cmd::OneStepMatch,
                             cmd::TwoStepMatch, cmd::Quit, cmd::Skip>;

// Runs one command and returns the next state.  `Quit` does nothing here: the command loop ends
// on it before it gets this far, and as a one-shot command it simply ends the run.
CmdState runCommand(const Command& command, const CmdState& state);

// The standard output, written as produced.  A write or flush that fails raises the
// OutputError of the standard output, which ends the run.
void writeOut(std::string_view text);
void flushOut();

}  // namespace plim
