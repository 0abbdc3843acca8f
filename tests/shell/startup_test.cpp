// Start-up as a user sees it: options, their errors, the banner and the one-shot command.
#include "shell/startup.h"

#include <gtest/gtest.h>

#include "shell/plim_process.h"

namespace plim::test {
namespace {

const std::string kNegative = "<Error: negative page width >\n";

TEST(StartUp, NoArgumentsGiveTheBannerAndThePrompt) {
    const Transcript t = runPlim({}, "");
    EXPECT_EQ(t.out, kBanner + "Plim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

TEST(StartUp, WidthTakesAnAttachedOrAFollowingSignedArgumentAndAbbreviates) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--width=-5"}, {"--width", "-5"}, {"--wid", "-5"}, {"--w=-5"}}) {
        const Transcript t = runPlim(args, "showprogram\n");
        EXPECT_EQ(t.out, kBanner + "Plim> \n" + kNegative + "Plim> \n") << args[0];
        EXPECT_EQ(t.status, 0);
    }
}

TEST(StartUp, OptionErrorsAreListedAndEndWithStatusTwo) {
    Transcript t = runPlim({"--t", "x"}, "");
    EXPECT_EQ(t.out,
              "option `--t' is ambiguous; could be one of:\n"
              "    --theory=filename           theory file to load\n"
              "    --transform=transformation  transformation to apply\n");
    EXPECT_EQ(t.status, 2);
    t = runPlim({"--p=x"}, "");
    EXPECT_EQ(t.out,
              "option `--p' is ambiguous; could be one of:\n"
              "    --program=filename  program file to load\n"
              "    --path=path         path to use\n");
    t = runPlim({"--width"}, "");
    EXPECT_EQ(t.out, "option `--width' requires an argument width\n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 2);
    t = runPlim({"--foo", "--bar=1"}, "");
    EXPECT_EQ(t.out, "unrecognized option `--foo'\n\nunrecognized option `--bar'\n");
    t = runPlim({"-x", "--console=1", "--width", "wide"}, "");
    EXPECT_EQ(t.out,
              "unrecognized option `-x'\n\noption `--console' doesn't allow an argument\n\n"
              "option `--width' requires a signed decimal number, not `wide'\n");
    EXPECT_EQ(t.status, 2);
}

TEST(StartUp, AnErrorStopsEveryOptionCommand) {
    const std::string dir = scratchDir("StartUpErrorStops");
    writeFile(dir + "/s", "setwidth 3\n");
    const Transcript t = runPlim({"--run", "s", "--nope"}, "", dir);
    EXPECT_EQ(t.out, "unrecognized option `--nope'\n");
    EXPECT_EQ(t.status, 2);
}

TEST(StartUp, LauncherArgumentsAreIgnored) {
    const Transcript t = runPlim({"-a", "-bcs", "--console", "--nocon"}, "");
    EXPECT_EQ(t.out, kBanner + "Plim> \n");
    EXPECT_EQ(t.status, 0);
}

TEST(StartUp, RunScriptOptionRunsBeforeTheBannerAndTheLoop) {
    const std::string dir = scratchDir("StartUpRun");
    writeFile(dir + "/s", "showprogram\n");
    const Transcript t = runPlim({"--width=-3", "--run=s"}, "showprogram\n", dir);
    EXPECT_EQ(t.out, "Plim> showprogram\n" + kNegative + "Plim> \n" + kBanner + "Plim> \n" + kNegative + "Plim> \n");
    EXPECT_EQ(t.status, 0);
}

TEST(StartUp, WordsAfterTheOptionsFormOneQuotedCommand) {
    const std::string dir = scratchDir("StartUpOneShot");
    writeFile(dir + "/my script", "showprogram\n");
    Transcript t = runPlim({"--width=-2", "runscript", "my script"}, "", dir);
    EXPECT_EQ(t.out, "Plim> showprogram\n" + kNegative + "Plim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
    // a later word that looks like an option is quoted like any other
    t = runPlim({"runscript", "--width=3"}, "", dir);
    EXPECT_EQ(t.out, "");
    EXPECT_EQ(t.err, "\nFail: does not exist\nAction: openFile\nReason: No such file or directory\nFile: --width=3\n");
    EXPECT_EQ(t.status, 1);
    // after "--" nothing is an option
    t = runPlim({"--", "--width=3"}, "", dir);
    EXPECT_EQ(t.out, "");
    EXPECT_EQ(t.status, 0);
    t = runPlim({"quit"}, "", dir);
    EXPECT_EQ(t.out, "");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
    // the one-shot command's repairs are written, its failures end the run
    t = runPlim({"setwidth"}, "", dir);
    EXPECT_EQ(t.out, "Integer 1 inserted before endoffile\n");
    EXPECT_EQ(t.status, 0);
    t = runPlim({"showtheory"}, "", dir);
    EXPECT_EQ(t.err, "\nFail: no theory loaded\n");
    EXPECT_EQ(t.status, 1);
}

TEST(StartUp, AFailingOptionCommandEndsTheRunBeforeTheBanner) {
    const std::string dir = scratchDir("StartUpFailing");
    const Transcript t = runPlim({"--run", "missing"}, "", dir);
    EXPECT_EQ(t.out, "");
    EXPECT_EQ(t.err, "\nFail: does not exist\nAction: openFile\nReason: No such file or directory\nFile: missing\n");
    EXPECT_EQ(t.status, 1);
}

// A failed write to the standard output ends the run at once, with the failure on the standard
// error and status 1: at the first prompt of a session, and at the first piece of a one-shot
// rewrite.  A closed pipe is such a failure too, not a signal.
TEST(StartUp, AFailedWriteToTheStandardOutputEndsTheRun) {
    const std::vector<std::pair<OutputTo, std::string>> cases{
        {OutputTo::Full, "resource exhausted\nAction: hFlush\nHandle: <stdout>\nReason: No space left on device"},
        {OutputTo::Closed, "illegal operation\nAction: hFlush\nHandle: <stdout>\nReason: Bad file descriptor"},
        {OutputTo::ClosedPipe, "failed\nAction: hFlush\nHandle: <stdout>\nReason: Broken pipe"},
    };
    const std::vector<std::string> quickStart{"--program", "examples/mapfusion", "--theory", "examples/mapfusion",
                                              "rewrite", "\\ xs -> map square (map inc xs)"};
    const std::string dir = scratchDir("StartUpFailedOutput");
    for (const auto& [output, printed] : cases) {
        RunOptions options;
        options.output = output;
        options.cwd = dir;
        const Transcript session = runPlimWith({}, "debugfile \"page.html\"\nsetwidth 3\n", options);
        EXPECT_EQ(session.err, "\nFail: " + printed + "\n");
        EXPECT_EQ(session.status, 1);
        options.cwd = PLIM_SOURCE_DIR;
        const Transcript oneShot = runPlimWith(quickStart, "", options);
        EXPECT_EQ(oneShot.err, "\nFail: " + printed + "\n");
        EXPECT_EQ(oneShot.status, 1);
    }
}

}  // namespace
}  // namespace plim::test
