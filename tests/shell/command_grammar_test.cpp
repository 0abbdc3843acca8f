#include "shell/command_grammar.h"

#include <gtest/gtest.h>

#include "engine/matching/fast/record.h"
#include "engine/matching/combinators/combinators.h"
#include "engine/matching/reference/record.h"

namespace plim {
namespace {

struct Parsed {
    Command command;
    std::string log;
};

Parsed parseLine(const std::string& line) {
    testing::internal::CaptureStdout();
    Command c = commandParser(line);
    std::fflush(stdout);
    return Parsed{std::move(c), testing::internal::GetCapturedStdout()};
}

TEST(CommandGrammar, EmptyLinesAndSkipAreSkipWithoutMessages) {
    for (const std::string line : {"", "   ", "\t", "skip"}) {
        Parsed p = parseLine(line);
        EXPECT_TRUE(std::holds_alternative<cmd::Skip>(p.command)) << line;
        EXPECT_EQ(p.log, "") << line;
    }
}

TEST(CommandGrammar, EveryKeywordGivesItsCommand) {
    EXPECT_EQ(std::get<cmd::LoadProgram>(parseLine("loadprogram \"p\"").command).name, "p");
    EXPECT_EQ(std::get<cmd::LoadTheory>(parseLine("loadtheory \"t\"").command).name, "t");
    EXPECT_EQ(std::get<cmd::ChooseTheory>(parseLine("choosetheory \"c\"").command).name, "c");
    EXPECT_EQ(std::get<cmd::RewriteExpr>(parseLine("rewrite \"map f []\"").command).expr, "map f []");
    EXPECT_EQ(std::get<cmd::ApplyTransform>(parseLine("applytransform \"a\"").command).name, "a");
    EXPECT_TRUE(std::holds_alternative<cmd::Quit>(parseLine("quit").command));
    EXPECT_EQ(std::get<cmd::SetPath>(parseLine("setpath \"lib\"").command).path, "lib");
    EXPECT_EQ(std::get<cmd::RunScript>(parseLine("runscript \"s\"").command).file, "s");
    EXPECT_EQ(std::get<cmd::DebugFile>(parseLine("debugfile \"d.html\"").command).file, "d.html");
    EXPECT_TRUE(std::holds_alternative<cmd::ShowTheory>(parseLine("showtheory").command));
    EXPECT_TRUE(std::holds_alternative<cmd::ShowProgram>(parseLine("showprogram").command));
    EXPECT_EQ(std::get<cmd::SetWidth>(parseLine("setwidth 120").command).width, 120);
    const auto m = std::get<cmd::SimpleMatch>(parseLine("simplematch \"f x\" \"g y\"").command);
    EXPECT_EQ(m.pattern, "f x");
    EXPECT_EQ(m.term, "g y");
    EXPECT_EQ(std::get<cmd::OneStepMatch>(parseLine("onestepmatch \"a\" \"b\"").command).term, "b");
    EXPECT_EQ(std::get<cmd::TwoStepMatch>(parseLine("twostepmatch \"a\" \"b\"").command).pattern, "a");
}

TEST(CommandGrammar, MissingArgumentsAreInsertedWithTheirDefaults) {
    Parsed p = parseLine("loadprogram");
    EXPECT_EQ(std::get<cmd::LoadProgram>(p.command).name, "?STR?");
    EXPECT_EQ(p.log, "String \"?STR?\" inserted before endoffile\n");
    p = parseLine("setwidth");
    EXPECT_EQ(std::get<cmd::SetWidth>(p.command).width, 1);
    EXPECT_EQ(p.log, "Integer 1 inserted before endoffile\n");
    p = parseLine("simplematch \"x\"");
    EXPECT_EQ(std::get<cmd::SimpleMatch>(p.command).term, "?STR?");
}

TEST(CommandGrammar, UnexpectedTokensAreDeletedAndTheRestIgnored) {
    Parsed p = parseLine("frobnicate skip");
    EXPECT_TRUE(std::holds_alternative<cmd::Skip>(p.command));
    EXPECT_EQ(p.log, "Lower case identifier frobnicate at line 1 deleted\n");
    // a keyword only as a whole word
    p = parseLine("quitnow");
    EXPECT_TRUE(std::holds_alternative<cmd::Skip>(p.command));
    EXPECT_EQ(p.log, "Lower case identifier quitnow at line 1 deleted\n");
    // tokens after a complete command are not read
    p = parseLine("setwidth 5 6");
    EXPECT_EQ(std::get<cmd::SetWidth>(p.command).width, 5);
    EXPECT_EQ(p.log, "");
}

TEST(CommandGrammar, StringsKeepEveryCharacterAndEndAtTheNextQuote) {
    EXPECT_EQ(std::get<cmd::RewriteExpr>(parseLine("rewrite \"\\x -> x\"").command).expr, "\\x -> x");
    EXPECT_EQ(quoteArgument("map f"), "\"map f\"");
    EXPECT_EQ(quoteArgument("a\"b"), "\"a\"b\"");
}

TEST(CommandGrammar, MatcherExpressionsNestAndAMissingOneBecomesFast) {
    EXPECT_EQ(std::get<cmd::SetMatcher>(parseLine("setmatcher fast").command).matcher, fastMatcher());
    EXPECT_EQ(std::get<cmd::SetMatcher>(parseLine("setmatcher ref").command).matcher, refMatcher());
    EXPECT_EQ(std::get<cmd::SetMatcher>(parseLine("setmatcher ((ref))").command).matcher, refMatcher());
    Parsed p = parseLine("setmatcher trace (compare ref fast)");
    EXPECT_TRUE(std::holds_alternative<cmd::SetMatcher>(p.command));
    EXPECT_EQ(p.log, "");
    p = parseLine("setmatcher onesteponly check (trace fast)");
    EXPECT_EQ(p.log, "");
    p = parseLine("setmatcher");
    EXPECT_EQ(std::get<cmd::SetMatcher>(p.command).matcher, fastMatcher());
    EXPECT_EQ(p.log, "Keyword fast inserted before endoffile\n");
    p = parseLine("setmatcher compare ref");
    EXPECT_EQ(p.log, "Keyword fast inserted before endoffile\n");
}

}  // namespace
}  // namespace plim
