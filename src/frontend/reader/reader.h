// The language's reader: scanner settings, the parse entry, the conventions every
// nonterminal of the grammar follows, and the three readers of the front end:
//
//   Expr e = parseExpression(text, std::cout);        // the argument of rewrite and the matches
//   Theory th = parseTheory(text, std::cout);         // a theory file
//   Reading<SourceFile> r = readProgram(text);        // a program file
//   std::cout << r.messages;  r.value.get() ...       // print the log first, then use the file
//
// Every reader scans with scanText, runs one shared grammar (built once, on first use) over the
// tokens, and never fails on bad input: the grammar repairs it, and every repair is one line of
// the log.  The grammars build plain trees whose expression nodes carry placeholderType; type
// checking runs afterwards over the finished trees.
//
// The grammars themselves: frontend/reader/types.h (types, constructor declarations, definition
// builders), frontend/reader/expressions.h (expressions, operator expressions), frontend/reader/declarations.h (definitions,
// definition lists), frontend/reader/theories.h (equations, theories), frontend/reader/programs.h (program files).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lang/syntax.h"
#include "parsing/parser.h"
#include "scanning/scanner.h"
#include "support/lazy.h"

namespace plim {

// --- scanner settings ------------------------------------------------------------------------

// The 16 keywords, in order: "if", "then", "else", "let", "in", "mod", "True", "False",
// "where", "data", "TRANSFORM", "REDEFINE", "SPECIFYING", "USING", "END", "DEFINITION".
const std::vector<std::string>& hparseKeywords();
// The keywords, the keyword operator "->", the symbols ",;[](){}\" and the operator
// characters ".:!#$%&*+/<=>?@^|-\", from line 1.  The backslash, listed in both, comes out as
// the symbol token "\".
const ScanSettings& hparseScanSettings();

// The tokens of a program file, a theory file or an expression argument.
TokenList scanText(std::string_view text);

// --- the parse entry -----------------------------------------------------------------------------

// Runs a grammar over tokens with an empty log and no waiting parsers: (value, unread tokens,
// repair log).  Never fails; tokens the grammar cannot take where they stand are deleted.
// Input nested deeper than kMaxInputNesting (scaled to the stack) raises a user error instead.
template <class T>
ParseResult<T> parseTokens(const Parser<T>& grammar, TokenList tokens) {
    NestingWatch watch;
    ParseResult<T> r = parse(grammar, TokenStream(std::move(tokens)));
    watch.check();
    return r;
}

// What a file reader hands back: the repair log, and the value, which is finished only when
// first read (so that the caller prints the log before anything the value may raise).
template <class T>
struct Reading {
    Lazy<T> value;
    TokenList rest;
    std::string messages;
};

// --- readers ----------------------------------------------------------------------------------

// One expression: writes the repair log to `out` and returns the expression exactly as the
// grammar built it (local definitions stay Let nodes).
Expr parseExpression(std::string_view text, std::ostream& out);
// A theory file: writes the repair log to `out` and returns the theory, the sides of its
// equations let-free (their local definitions turned into applied abstractions).
Theory parseTheory(std::string_view text, std::ostream& out);
// A program file: the repair log and the source file; reading the value makes the equations of
// the USING theories let-free, as parseTheory does.
Reading<SourceFile> readProgram(std::string_view text);

// --- nesting limit ------------------------------------------------------------------------------

// The deepest nesting of expressions (and of types) that the readers accept: brackets,
// abstractions, conditionals and local definitions inside one another.  Deeper input stops the
// reader with the user error "input nested too deeply (more than 100000 levels) at line L".
// Each reader runs on the large stack, where this depth is safe for every later walk; where
// only a smaller stack could be had, the limit shrinks to the levels that stack holds and the
// message names the stack (parsing/parser.h, scaledNestingLimit and NestingWatch).
inline constexpr std::size_t kMaxInputNesting = 100000;

template <class T>
Parser<T> pNested(Parser<T> p) {
    return pNestingGuard(std::move(p), kMaxInputNesting);
}

// --- nonterminal conventions -------------------------------------------------------------------

// The alternatives fused in order: tables appended, first symbols united, the head of the
// first alternative that succeeds without input, else the last one's.
template <class T>
Parser<T> alternatives(Parser<T> first) {
    return first;
}
template <class T, class... More>
Parser<T> alternatives(Parser<T> first, Parser<T> second, More... more) {
    return alternatives(parseAlt(std::move(first), std::move(second)), std::move(more)...);
}

// A described nonterminal: p, whose head (when p cannot succeed without input) inserts the
// default node and logs the description between double quotes followed by " inserted".
template <class T>
Parser<T> nonterminal(const std::string& description, T defaultNode, Parser<T> p) {
    return withInsertion(std::move(p), std::move(defaultNode), description);
}

// --- definition items and DEFINITION names -----------------------------------------------------

// A parsed definition and a line number.
using DefinitionItem = std::pair<Decl, std::int32_t>;

// The items as a Defs chain: (d, n) becomes OneDef d rest (n + 1), the end NoDef.
Defs toDefs(const std::vector<DefinitionItem>& items);

// x paired with the line -1.
template <class T>
std::pair<T, std::int32_t> pairWithNoLine(T x) {
    return {std::move(x), -1};
}

// The operator names of a DEFINITION header: the operator "." giving "(.)", then "++" giving
// "(++)"; a missing one is repaired as "(++)".
const Parser<std::string>& pDefinitionOperatorName();

// --- texts kept for program assembly ---------------------------------------------------------------

// The program's source text before it is filled in; using it ends the program.
inline constexpr std::string_view sourcefileNotInsertedText = "sourcefile text not inserted";
inline constexpr std::string_view mutualTrafoRecursionText =
    "Can't have mutually recursive elements involving a transformation block";

}  // namespace plim
