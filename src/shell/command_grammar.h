// The command language: its vocabulary, the grammar of the seventeen commands and of the
// matcher expressions of `setmatcher`, and the reader of one command line.
//
//   Command c = commandParser("setmatcher trace (compare ref fast)");
//   // SetMatcher holding traceMatcher(compareMatchers(refMatcher(), fastMatcher()))
//
// Reading never fails: missing input is inserted ("?STR?" for a string, "1" for an integer,
// the keyword itself for a keyword, "fast" for a missing matcher expression), unexpected
// tokens are deleted, and each repair is one line written to the standard output.
#pragma once

#include <string>
#include <vector>

#include "shell/commands.h"
#include "parsing/parser.h"
#include "scanning/scanner.h"

namespace plim {

// The 23 words of the command language, in their fixed order.
const std::vector<std::string>& commandWords();
// The command words as keywords, "(" and ")" as symbols, no operators, from line 1.
const ScanSettings& commandScanSettings();

// The grammar of one command line (built once, on first use).
const Parser<Command>& commandGrammar();
// The grammar of a matcher expression.
const Parser<MatcherRef>& matcherExpression();

// Scans and parses one line, writes the repair log to the standard output and returns the
// command.  An empty line is `Skip` without any message.
Command commandParser(const std::string& line);

// The word between double quotes; nothing inside is escaped.
std::string quoteArgument(const std::string& word);

}  // namespace plim
