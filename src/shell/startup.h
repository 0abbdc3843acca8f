// Program entry: the command-line options, the start-up sequence and the one-shot command.
//
//   plim --program=examples/mapfusion --theory examples/mapfusion    banner, then the prompt
//   plim --path examples rewrite "map f []"                          one command, no banner
//
// Long options are taken from the front of the argument list until the first word that is
// not an option (or "--"); unique abbreviations work.  Each becomes a command run at
// start-up, where nothing is caught: a failure ends the run through the fatal-error report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "shell/commands.h"

namespace plim {

// One option: short letters, long names, the argument's name (none for an option without
// argument), the command it produces and its description.
struct OptionDescr {
    std::vector<char> shortNames;
    std::vector<std::string> longNames;
    std::optional<std::string> argName;
    // The command for the argument ("" for an option without one); nothing when the argument
    // does not fit the option.
    std::optional<Command> (*command)(const std::string& argument);
    std::string description;
};

// The ignored launcher arguments, then program, theory, path, run, debug, width, transform.
const std::vector<OptionDescr>& optionTable();

struct ParsedOptions {
    std::vector<Command> commands;    // of the recognised options, in command-line order
    std::vector<std::string> rest;    // the words after the options
    std::vector<std::string> errors;  // each ends in a newline
};

// Require-order option parsing; it goes on after an error, so one run reports them all.
ParsedOptions parseOptions(const std::vector<std::string>& args);

// "-5" is -5; nothing for a text that is not an optionally signed run of decimal digits.
// The value wraps around in 32 bits.
std::optional<std::int32_t> parseSignedDecimal(const std::string& text);

// Runs the commands in order from the state, each on the state the previous one returned.
CmdState runOptionCommands(const std::vector<Command>& commands, CmdState state);

// The first word, then every further word between double quotes, joined by single blanks.
std::string oneShotLine(const std::vector<std::string>& words);

// The start-up sequence; returns the exit status (0, or 2 after option errors).  Errors other
// than option errors propagate to the caller's fatal-error report.
int startUp(const std::vector<std::string>& args, const std::string& banner);

// The fatal-error report: flushes the standard output, writes "\nFail: " + message + "\n" to
// the standard error, and returns the status 1.
int fatalErrorReport(const std::string& message);

}  // namespace plim
