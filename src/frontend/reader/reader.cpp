#include "frontend/reader/reader.h"

// Before any header that brings in the derived combinators.
#include "parsing/parser.h"
#include "parsing/combinators.h"

#include "frontend/reader/expressions.h"
#include "frontend/reader/programs.h"
#include "frontend/reader/theories.h"
#include "support/big_stack.h"

namespace plim {

const std::vector<std::string>& hparseKeywords() {
    static const std::vector<std::string> keywords{
        "if",    "then", "else",      "let",      "in",         "mod",   "True", "False",
        "where", "data", "TRANSFORM", "REDEFINE", "SPECIFYING", "USING", "END",  "DEFINITION"};
    return keywords;
}

const ScanSettings& hparseScanSettings() {
    static const ScanSettings settings{hparseKeywords(), {"->"}, ",;[](){}\\", ".:!#$%&*+/<=>?@^|-\\", 1};
    return settings;
}

TokenList scanText(std::string_view text) { return scanTokens(hparseScanSettings(), text); }

Defs toDefs(const std::vector<DefinitionItem>& items) {
    Defs out = mkNoDef();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const auto line = static_cast<std::int32_t>(static_cast<std::uint32_t>(it->second) + 1u);
        out = mkOneDef(it->first, std::move(out), line);
    }
    return out;
}

const Parser<std::string>& pDefinitionOperatorName() {
    static const Parser<std::string> p = alternatives(pReplace(std::string("(.)"), pOperator(".")),
                                                      pReplace(std::string("(++)"), pOperator("++")));
    return p;
}

Expr parseExpression(std::string_view text, std::ostream& out) {
    return onLargeStack([&] {
        ParseResult<Expr> r = parseTokens(pExpr(), scanText(text));
        out << r.log;
        return r.value;
    });
}

Theory parseTheory(std::string_view text, std::ostream& out) {
    return onLargeStack([&] {
        ParseResult<Theory> r = parseTokens(pTheory(), scanText(text));
        out << r.log;
        return unletTheory(r.value);
    });
}

Reading<SourceFile> readProgram(std::string_view text) {
    return onLargeStack([&] {
        ParseResult<SourceFile> r = parseTokens(pProgram(), scanText(text));
        SourceFile file = std::move(r.value);
        return Reading<SourceFile>{delay([file] { return onLargeStack([&] { return unletSourceFile(file); }); }),
                                   std::move(r.rest), std::move(r.log)};
    });
}

}  // namespace plim
