// The command loop at the terminal and in scripts, as transcripts.
#include "shell/command_loop.h"

#include <gtest/gtest.h>

#include "shell/plim_process.h"
#include "support/sanitizer_build.h"

namespace plim::test {
namespace {

const std::string kNegative = "<Error: negative page width >\n";

// The width starts negative, so that showprogram tells whether a setwidth ran: the negative
// width text, or (with no program loaded) the user error.
const std::vector<std::string> kNegativeWidth = {"--width=-1"};
const std::string kNoProgram = "user error\nReason: no program loaded\n";

TEST(CommandLoop, EveryLineIsFollowedByANewlineAndTheEndOfInputByAnother) {
    Transcript t = runPlim({}, "skip\n\n   \nsetwidth 4\n");
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> \nPlim> \nPlim> \nPlim> \n");
    EXPECT_EQ(t.status, 0);
    // a last line without a newline is read; quit ends the run
    t = runPlim(kNegativeWidth, "showprogram");
    EXPECT_EQ(t.out, kBanner + "Plim> \n" + kNegative + "Plim> \n");
    t = runPlim({}, "quit\nshowtheory\n");
    EXPECT_EQ(t.out, kBanner + "Plim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

TEST(CommandLoop, BackslashesJoinLines) {
    Transcript t = runPlim({}, "skip\\\n\nshowtheory\n");
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> \nuser error\nReason: no theory loaded\nPlim> \n");
    t = runPlim({}, "\\\nquit\nshowtheory\n");
    EXPECT_EQ(t.out, kBanner + "Plim> \n");
    t = runPlim(kNegativeWidth, "setwid\\\nth 1\\\n2\nshowprogram\n");
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> \n" + kNoProgram + "Plim> \n");
    // the input ends inside a continued line: the partial line is dropped
    t = runPlim({}, "showtheory\\\n");
    EXPECT_EQ(t.out, kBanner + "Plim> \n");
}

TEST(CommandLoop, RepairsAreReportedBeforeTheCommandRuns) {
    const Transcript t = runPlim(kNegativeWidth, "setwidth x 3\nshowprogram\n");
    EXPECT_EQ(t.out, kBanner + "Plim> \nLower case identifier x at line 1 deleted\nPlim> \n" + kNoProgram + "Plim> \n");
}

TEST(CommandLoop, ScriptsEchoTheirLinesAndKeepWhatTheySet) {
    const std::string dir = scratchDir("LoopScripts");
    writeFile(dir + "/s", "#!/usr/bin/env plim\nshowprogram\nsetwidth 3\nskip\\\n\nshowprogram\n");
    const Transcript t = runPlim(kNegativeWidth, "runscript \"s\"\nshowprogram\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> showprogram\n" + kNegative +
                         "Plim> setwidth 3\nPlim> skip\nPlim> showprogram\n" + kNoProgram + "Plim> \nPlim> \n" +
                         kNoProgram + "Plim> \n");
    EXPECT_EQ(t.status, 0);
}

TEST(CommandLoop, OnlyHashBangIsSkipped) {
    const std::string kHash = "error in scanner: Unexpected character '#' at line 1 deleted\n";
    const std::string dir = scratchDir("LoopHash");
    writeFile(dir + "/s", "#skip\nskip\n");
    writeFile(dir + "/t", "#\n");
    writeFile(dir + "/u", "");
    writeFile(dir + "/v", "#!");
    const Transcript t = runPlim({}, "runscript \"s\"\nrunscript \"t\"\nrunscript \"u\"\nrunscript \"v\"\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> #skip\n" + kHash + "Plim> skip\nPlim> \n" + "Plim> \nPlim> #\n" + kHash +
                         "Plim> \n" + "Plim> \n\n" + "Plim> \nPlim> \n" + "Plim> \n");
}

TEST(CommandLoop, QuitInAScriptEndsOnlyTheScript) {
    const std::string dir = scratchDir("LoopQuit");
    writeFile(dir + "/s", "quit\nsetwidth 5\n");
    writeFile(dir + "/outer", "runscript \"s\"\nshowprogram\n");
    const Transcript t = runPlim(kNegativeWidth, "runscript \"outer\"\nshowprogram\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> runscript \"s\"\nPlim> quit\nPlim> showprogram\n" + kNegative +
                         "Plim> \nPlim> \n" + kNegative + "Plim> \n");
}

TEST(CommandLoop, AMissingScriptIsReportedAndTheStateKept) {
    const std::string dir = scratchDir("LoopMissing");
    const Transcript t = runPlim(kNegativeWidth, "runscript \"nope\"\nshowprogram\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n" +
                         "does not exist\nAction: openFile\nReason: No such file or directory\nFile: nope\n" +
                         "Plim> \n" + kNegative + "Plim> \n");
    EXPECT_EQ(t.status, 0);
}

// A script that runs itself stops at the nesting limit with a user error in the innermost
// loop; every script then ends, and the session goes on.
TEST(CommandLoop, ScriptsNestOnlyUpToALimit) {
    const std::string dir = scratchDir("LoopSelf");
    writeFile(dir + "/self.script", "runscript \"self.script\"\n");
    const Transcript t = runPlim(kNegativeWidth, "runscript \"self.script\"\nshowprogram\n", dir);
    std::string expected = kBanner + "Plim> \n";
    for (int i = 0; i < 100; ++i) expected += "Plim> runscript \"self.script\"\n";
    expected += "user error\nReason: scripts nested too deeply (more than 100 levels)\nFile: self.script\n";
    for (int i = 0; i < 100; ++i) expected += "Plim> \n";
    EXPECT_EQ(t.out, expected + "Plim> \n" + kNegative + "Plim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

TEST(CommandLoop, ScriptNamesTakeThePath) {
    const std::string dir = scratchDir("LoopPath");
    writeFile(dir + "/s", "setwidth 1\n");
    const Transcript t = runPlim(kNegativeWidth, "setpath \"" + dir + "\"\nrunscript \"s\"\nshowprogram\n", "/");
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> \nPlim> setwidth 1\nPlim> \n" + "Plim> \n" + kNoProgram + "Plim> \n");
}

TEST(CommandLoop, UserErrorsInAScriptAreReportedByItsOwnLoop) {
    const std::string dir = scratchDir("LoopUserError");
    writeFile(dir + "/s", "showtheory\nsetwidth 1\n");
    const Transcript t = runPlim(kNegativeWidth, "runscript \"s\"\nshowprogram\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> showtheory\nuser error\nReason: no theory loaded\nPlim> setwidth 1\n" +
                         "Plim> \nPlim> \n" + kNoProgram + "Plim> \n");
}

}  // namespace
}  // namespace plim::test

namespace plim::test {
namespace {

// A command line nested past the readers' limit is a user error; the session goes on.
TEST(CommandLoop, ACommandNestedTooDeeplyIsReportedAndTheLoopGoesOn) {
    const std::string deep = "setmatcher " + std::string(200000, '(') + "fast" + std::string(200000, ')');
    Transcript t = runPlim({}, deep + "\nsetwidth 4\n");
    EXPECT_EQ(t.out, kBanner + "Plim> \nuser error\nReason: input nested too deeply (more than 100000 levels) at line 1\n" +
                         "Plim> \nPlim> \n");
    EXPECT_EQ(t.status, 0);
}

// Under a 1 GiB address-space cap the stack is a quarter of the cap, and the limit what that
// stack holds at 8 KiB a level; the message says why.
TEST(CommandLoop, UnderAnAddressSpaceCapTheNestingLimitShrinksWithTheStack) {
    if (test::kSanitizerBuild) GTEST_SKIP() << "the sanitizers reserve more address space than the cap";
    RunOptions options;
    options.addressSpaceKiB = 1 << 20;
    const std::string deep = "setmatcher " + std::string(33000, '(') + "fast" + std::string(33000, ')');
    const std::string fits = "setmatcher " + std::string(32000, '(') + "fast" + std::string(32000, ')');
    Transcript t = runPlimWith({}, deep + "\n" + fits + "\n", options);
    EXPECT_EQ(t.out, kBanner +
                         "Plim> \nuser error\nReason: input nested too deeply (more than 32768 levels on a 256 MiB "
                         "stack) at line 1\nPlim> \nPlim> \n");
    EXPECT_EQ(t.status, 0);
}

// Under a 4 GiB cap (a 1 GiB stack) an expression nested the readers' full 100000 levels deep
// is read and rewritten, and the session goes on.
TEST(CommandLoop, UnderAFourGibCapTheFullNestingIsRead) {
    if (test::kSanitizerBuild) GTEST_SKIP() << "the sanitizers reserve more address space than the cap";
    RunOptions options;
    options.cwd = PLIM_SOURCE_DIR;
    options.addressSpaceKiB = std::size_t{4} << 20;
    const std::size_t n = 100000;
    const std::string deep = "rewrite \"" + std::string(n, '(') + "inc 1" + std::string(n, ')') + "\"";
    Transcript t = runPlimWith({"--program", "examples/mapfusion", "--theory", "examples/mapfusion"},
                               deep + "\nsetwidth 4\n", options);
    EXPECT_EQ(t.out, kBanner + "Plim> \n   inc 1\n= { incdef }\n   1 + 1\n\nPlim> \nPlim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

}  // namespace
}  // namespace plim::test

namespace plim::test {
namespace {

const std::vector<std::string> kMapFusion = {
    "--path", PLIM_SOURCE_DIR "/examples", "--program", "mapfusion", "--theory", "mapfusion"};

// An endless file is read only up to the stated size, in bounded memory; the session goes on
// with its state.
TEST(CommandLoop, AScriptPastTheSizeLimitIsAUserError) {
    RunOptions options;
    if (!test::kSanitizerBuild) options.addressSpaceKiB = 512 << 10;
    const Transcript t = runPlimWith(kNegativeWidth, "runscript \"/dev/zero\"\nshowprogram\n", options);
    EXPECT_EQ(t.out, kBanner + "Plim> \nuser error\nReason: file longer than 64 MiB\nFile: /dev/zero\nPlim> \n" +
                         kNegative + "Plim> \n");
    EXPECT_EQ(t.status, 0);
}

// A line at the prompt past the stated size is read to its end without being kept and is a user
// error; the next line is answered.  Under a cap too small for the line's first 64 MiB, the
// reading runs out of memory first: that too is reported, and the session goes on.
TEST(CommandLoop, APromptLinePastTheSizeLimitIsAUserError) {
    if (test::kSanitizerBuild) GTEST_SKIP() << "the sanitizers reserve more address space than the cap";
    const std::string input = std::string(kMaxInputBytes + (1 << 20), 'x') + "\nsetwidth 4\nshowprogram\n";
    RunOptions options;
    options.addressSpaceKiB = 512 << 10;
    Transcript t = runPlimWith(kNegativeWidth, input, options);
    EXPECT_EQ(t.out, kBanner + "Plim> \nuser error\nReason: line longer than 64 MiB\nPlim> \nPlim> \n" + kNoProgram +
                         "Plim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
    options.addressSpaceKiB = 200 << 10;
    t = runPlimWith(kNegativeWidth, input, options);
    EXPECT_EQ(t.out, kBanner + "Plim> \nuser error\nReason: " + std::string(outOfMemoryText) + "\nPlim> \nPlim> \n" +
                         kNoProgram + "Plim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

// A command that cannot get the memory it needs is abandoned: the loaded program and theory
// stay, and the next commands are answered.  A long list under rewrite, a chain of a million
// appends, and a let of a million names under simplematch, each under a 200 MiB cap.
TEST(CommandLoop, ACommandThatRunsOutOfMemoryIsAUserErrorAndTheStateIsKept) {
    if (test::kSanitizerBuild) GTEST_SKIP() << "the sanitizers reserve more address space than the cap";
    std::string list = "0";  // about 400 MB uncapped
    for (int i = 1; i < 150000; ++i) list += "," + std::to_string(i);
    std::string appends = "[0]";
    for (int i = 1; i < 1000000; ++i) appends += " ++ [" + std::to_string(i % 10) + "]";
    std::string names = "v0 = 0";
    for (int i = 1; i < 1000000; ++i) names += "; v" + std::to_string(i) + " = " + std::to_string(i % 10);
    RunOptions options;
    options.addressSpaceKiB = 200 << 10;
    for (const std::string& command : {"rewrite \"[" + list + "]\"", "rewrite \"" + appends + "\"",
                                       "simplematch \"x\" \"let { " + names + " } in v0\""}) {
        const Transcript t = runPlimWith(kMapFusion, command + "\nrewrite \"inc 1\"\n", options);
        const std::string end = "\nuser error\nReason: " + std::string(outOfMemoryText) + "\nPlim> \n" +
                                "   inc 1\n= { incdef }\n   1 + 1\n\nPlim> \n";
        ASSERT_GT(t.out.size(), end.size()) << command.substr(0, 40);
        EXPECT_EQ(t.out.substr(t.out.size() - end.size()), end) << command.substr(0, 40);
        EXPECT_EQ(t.err, "") << command.substr(0, 40);
        EXPECT_EQ(t.status, 0) << command.substr(0, 40);
    }
}

}  // namespace
}  // namespace plim::test
