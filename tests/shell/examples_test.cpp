// Every example script runs, as the README runs it, and its transcript is the one recorded
// under expected/.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "shell/plim_process.h"
#include "support/sanitizer_build.h"

namespace plim::test {
namespace {

std::string expectedFile(const std::string& name) {
    return std::string(PLIM_SOURCE_DIR) + "/tests/shell/expected/" + name;
}

TEST(Examples, EveryScriptGivesItsRecordedTranscript) {
    int scripts = 0;
    for (const auto& entry : std::filesystem::directory_iterator(examplesDir())) {
        if (entry.path().extension() != ".script") continue;
        ++scripts;
        const std::string name = entry.path().filename().string();
        const std::string dir = scratchDir("Examples_" + name);
        // The one-shot form runs the script and ends: no banner, no prompt after it.
        const Transcript t = runPlim({"--path", examplesDir(), "runscript", name}, "", dir);
        // PLIM_UPDATE_EXPECTED=1 records the transcripts anew (review the difference before
        // committing it).
        if (std::getenv("PLIM_UPDATE_EXPECTED") != nullptr) writeFile(expectedFile(name + ".out"), t.out);
        ASSERT_TRUE(std::filesystem::exists(expectedFile(name + ".out"))) << name;
        EXPECT_EQ(t.out, readFile(expectedFile(name + ".out"))) << name;
        EXPECT_EQ(t.err, "") << name;
        EXPECT_EQ(t.status, 0) << name;
    }
    EXPECT_GT(scripts, 0);
}

TEST(Examples, TheMapFusionScriptLeavesThePageOfItsRewrite) {
    const std::string dir = scratchDir("ExamplesPage");
    runPlim({"--path", examplesDir(), "--run", "mapfusion.script"}, "", dir);
    const std::string page = readFile(dir + "/mapfusion.html");
    EXPECT_EQ(page.rfind("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\"", 0), 0u);
    EXPECT_NE(page.find("PLIM Debugging Output"), std::string::npos);
    EXPECT_NE(page.find("fusion"), std::string::npos);
    EXPECT_EQ(page.substr(page.size() - 9), "</HTML>\n\n");
}

// The fold fusion example loads without reports, fuses double (sum xs) into one fold at the
// prompt and in its transformation, and gives the same calculations with either matcher.
TEST(Examples, TheFoldFusionScriptFusesTheDoublingIntoTheSum) {
    const std::string dir = scratchDir("ExamplesFoldFusion");
    const Transcript fast = runPlim({"--path", examplesDir(), "runscript", "foldfusion.script"}, "", dir);
    EXPECT_EQ(fast.out, readFile(expectedFile("foldfusion.script.out")));
    EXPECT_EQ(fast.err, "");
    EXPECT_NE(fast.out.find("Plim> loadprogram \"foldfusion\"\nPlim> loadtheory \"foldfusion\"\nPlim> --"),
              std::string::npos);
    const std::string fused = "\n= { zero }\n   foldr (\\ b -> (+) (2 * b)) 0\n\nPlim> ";
    const std::size_t first = fast.out.find(fused);
    EXPECT_NE(first, std::string::npos) << fast.out;
    EXPECT_NE(fast.out.find(fused, first + 1), std::string::npos) << fast.out;
    EXPECT_NE(fast.out.find("\nsumdouble = foldr (\\ b -> (+) (2 * b)) 0;\n"), std::string::npos) << fast.out;
    EXPECT_EQ(fast.out.find("user error"), std::string::npos) << fast.out;
    const Transcript ref = runPlim({"--path", examplesDir()}, "setmatcher ref\nrunscript \"foldfusion.script\"\n", dir);
    EXPECT_NE(ref.out.find(fast.out), std::string::npos) << ref.out;
}

// The page that the tour writes beside the examples finds its stylesheet and its two expander
// images there: 9 by 9 pixel GIFs.
TEST(Examples, TheTourPageFindsItsStylesheetAndImagesBesideIt) {
    const std::string dir = scratchDir("ExamplesPageFiles");
    runPlim({"--path", examplesDir(), "runscript", "mapfusion.script"}, "", dir);
    const std::string page = readFile(dir + "/mapfusion.html");
    for (const std::string file : {"plim.css", "plus.gif", "minus.gif"}) {
        EXPECT_NE(page.find("\"" + file + "\""), std::string::npos) << file;
        ASSERT_TRUE(std::filesystem::exists(examplesDir() + "/" + file)) << file;
    }
    for (const std::string image : {"plus.gif", "minus.gif"}) {
        const std::string gif = readFile(examplesDir() + "/" + image);
        ASSERT_GT(gif.size(), 10u) << image;
        EXPECT_EQ(gif.substr(0, 6), "GIF89a") << image;
        EXPECT_EQ(gif.substr(6, 4), std::string("\x09\x00\x09\x00", 4)) << image;
        EXPECT_EQ(gif.back(), ';') << image;
    }
    EXPECT_NE(readFile(examplesDir() + "/plim.css").find("span.expander"), std::string::npos);
}

TEST(Examples, TheQuickStartCommandRewritesOnTheCommandLine) {
    const Transcript t = runPlim({"--program", "examples/mapfusion", "--theory", "examples/mapfusion", "rewrite",
                                  "\\ xs -> map square (map inc xs)"},
                                 "", PLIM_SOURCE_DIR);
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.out.rfind("   (\\ a -> map square (map inc a))\n= { fusion }\n", 0), 0u) << t.out;
}

// Shared servers and containers often cap the address space: the quick start runs the same
// under a cap of 1, 2 or 4 GiB (ulimit -v) as without one.
TEST(Examples, TheQuickStartRunsUnderAnAddressSpaceCap) {
    if (test::kSanitizerBuild) GTEST_SKIP() << "the sanitizers reserve more address space than the cap";
    const std::vector<std::string> args{"--program", "examples/mapfusion", "--theory", "examples/mapfusion", "rewrite",
                                        "\\ xs -> map square (map inc xs)"};
    const Transcript free = runPlim(args, "", PLIM_SOURCE_DIR);
    for (std::size_t gib : {1, 2, 4}) {
        RunOptions options;
        options.cwd = PLIM_SOURCE_DIR;
        options.addressSpaceKiB = gib << 20;
        const Transcript t = runPlimWith(args, "", options);
        EXPECT_EQ(t.err, "") << gib;
        EXPECT_EQ(t.status, 0) << gib;
        EXPECT_EQ(t.out, free.out) << gib;
    }
}

// The rewriting walk over 6,000 nested binders keeps space linear in the depth: under a
// 1 GiB cap the command answers, with the same text as without the cap.
TEST(Examples, DeepBindersRewriteUnderAnAddressSpaceCap) {
    if (test::kSanitizerBuild) GTEST_SKIP() << "the sanitizers reserve more address space than the cap";
    const std::vector<std::string> args{"--program", "examples/mapfusion", "--theory", "examples/mapfusion"};
    std::string lambdas = "rewrite \"", lets = "rewrite \"";
    for (int i = 0; i < 6000; ++i) {
        lambdas += "\\ x -> ";
        lets += "let x = 1 in ";
    }
    for (const std::string& command : {lambdas + "x\"\n", lets + "x\"\n"}) {
        const Transcript free = runPlim(args, command, PLIM_SOURCE_DIR);
        RunOptions options;
        options.cwd = PLIM_SOURCE_DIR;
        options.addressSpaceKiB = std::size_t{1} << 20;
        const Transcript t = runPlimWith(args, command, options);
        EXPECT_EQ(t.err, "");
        EXPECT_EQ(t.status, 0);
        EXPECT_EQ(t.out, free.out);
        EXPECT_EQ(t.out.find("exhausted"), std::string::npos);
    }
}

}  // namespace
}  // namespace plim::test
