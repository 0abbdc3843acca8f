#include "shell/command_grammar.h"

#include "engine/matching/combinators/combinators.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/reference/record.h"
#include "frontend/reader/reader.h"
#include "parsing/combinators.h"
#include "support/list_utils.h"

namespace plim {

const std::vector<std::string>& commandWords() {
    static const std::vector<std::string> words = {
        "loadprogram",  "loadtheory", "rewrite",    "applytransform", "simplematch", "onestepmatch",
        "twostepmatch", "quit",       "setpath",    "runscript",      "skip",        "debugfile",
        "setmatcher",   "setwidth",   "ref",        "fast",           "compare",     "onesteponly",
        "check",        "trace",      "showtheory", "showprogram",    "choosetheory"};
    return words;
}

const ScanSettings& commandScanSettings() {
    static const ScanSettings settings{commandWords(), {}, "()", "", 1};
    return settings;
}

namespace {

// --- matcher expressions ---------------------------------------------------------------------

Parser<MatcherRef> matcherWord(const std::string& word, MatcherRef (*make)()) {
    return pMap([make](const std::string&) { return make(); }, pKeyword(word));
}

Parser<MatcherRef> wrapping(const std::string& word, MatcherRef (*wrap)(const MatcherRef&), Parser<MatcherRef> m) {
    return parseSeqWith([wrap](const std::string&, const MatcherRef& inner) { return wrap(inner); }, pKeyword(word),
                        std::move(m));
}

MatcherRef makeFast() { return fastMatcher(); }
MatcherRef makeRef() { return refMatcher(); }
MatcherRef makeOneStepOnly(const MatcherRef& m) { return oneStepOnly(m); }
MatcherRef makeCheck(const MatcherRef& m) { return checkMatcher(m); }
MatcherRef makeTrace(const MatcherRef& m) { return traceMatcher(m); }

// The seven forms in order.  None can succeed without input, so a missing matcher expression
// would be repaired by the last form, "(" M ")", which needs a matcher expression again and
// never ends; instead the repair inserts the keyword "fast".
Parser<MatcherRef> buildMatcherExpression() {
    return Parser<MatcherRef>::recursive("matcher expression", [](Parser<MatcherRef> self) {
        Parser<MatcherRef> forms = pNested(alternatives(
            matcherWord("ref", makeRef), matcherWord("fast", makeFast), wrapping("onesteponly", makeOneStepOnly, self),
            pSeq([](const std::string&, const MatcherRef& a, const MatcherRef& b) { return compareMatchers(a, b); },
                 pKeyword("compare"), self, self),
            wrapping("check", makeCheck, self), wrapping("trace", makeTrace, self), pInParens(self)));
        Parser<MatcherRef> fast = matcherWord("fast", makeFast);
        return Parser<MatcherRef>::fromParts(
            "matcher expression", [fast] { return fast.head(); }, [forms] { return forms.firsts(); },
            [forms] { return forms.table(); });
    });
}

// --- commands --------------------------------------------------------------------------------

template <class C>
Parser<Command> bare(const std::string& word) {
    return pMap([](const std::string&) { return Command(C{}); }, pKeyword(word));
}

template <class C>
Parser<Command> oneString(const std::string& word) {
    return parseSeqWith([](const std::string&, std::string a) { return Command(C{std::move(a)}); }, pKeyword(word),
                        pStringLit());
}

template <class C>
Parser<Command> twoStrings(const std::string& word) {
    return pSeq(
        [](const std::string&, std::string a, std::string b) {
            return Command(C{std::move(a), std::move(b)});
        },
        pKeyword(word), pStringLit(), pStringLit());
}

Parser<Command> buildCommandGrammar() {
    return alternatives(
        oneString<cmd::LoadProgram>("loadprogram"), oneString<cmd::LoadTheory>("loadtheory"),
        oneString<cmd::ChooseTheory>("choosetheory"), oneString<cmd::RewriteExpr>("rewrite"),
        oneString<cmd::ApplyTransform>("applytransform"), twoStrings<cmd::SimpleMatch>("simplematch"),
        twoStrings<cmd::OneStepMatch>("onestepmatch"), twoStrings<cmd::TwoStepMatch>("twostepmatch"),
        bare<cmd::Quit>("quit"), oneString<cmd::SetPath>("setpath"), oneString<cmd::RunScript>("runscript"),
        oneString<cmd::DebugFile>("debugfile"),
        parseSeqWith([](const std::string&, MatcherRef m) { return Command(cmd::SetMatcher{std::move(m)}); },
                     pKeyword("setmatcher"), matcherExpression()),
        bare<cmd::ShowTheory>("showtheory"), bare<cmd::ShowProgram>("showprogram"),
        parseSeqWith([](const std::string&, const std::string& w) { return Command(cmd::SetWidth{strToInt(w)}); },
                     pKeyword("setwidth"), pIntegerLit()),
        bare<cmd::Skip>("skip"), succeedParser(Command(cmd::Skip{})));
}

}  // namespace

const Parser<MatcherRef>& matcherExpression() {
    static const Parser<MatcherRef> p = buildMatcherExpression();
    return p;
}

const Parser<Command>& commandGrammar() {
    static const Parser<Command> p = buildCommandGrammar();
    return p;
}

Command commandParser(const std::string& line) {
    ParseResult<Command> r = parseTokens(commandGrammar(), scanTokens(commandScanSettings(), line));
    writeOut(r.log);
    return std::move(r.value);
}

std::string quoteArgument(const std::string& word) { return "\"" + word + "\""; }

}  // namespace plim
