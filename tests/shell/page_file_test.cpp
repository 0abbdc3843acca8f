// The debugging page is replaced whole: a failed or interrupted write leaves the previous page
// and no partial file behind.
#include "shell/page_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "shell/plim_process.h"
#include "support/sanitizer_build.h"

namespace plim::test {
namespace {

const std::vector<std::string> kMapFusion = {
    "--path", PLIM_SOURCE_DIR "/examples", "--program", "mapfusion", "--theory", "mapfusion", "--debug", "page.html"};
const std::string kOldPage = "the page of an earlier rewrite\n";
const std::string kPageEnd = "</HTML>\n\n";

bool wholePage(const std::string& page) {
    return page.rfind("<!DOCTYPE HTML", 0) == 0 && page.size() > kPageEnd.size() &&
           page.compare(page.size() - kPageEnd.size(), kPageEnd.size(), kPageEnd) == 0;
}

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string rewriteOfList(int n) {
    std::string list;
    for (int i = 0; i < n; ++i) list += (i ? "," : "") + std::to_string(i);
    return "rewrite \"map square (map inc [" + list + "])\"\n";
}

TEST(PageFile, APageThatCannotBeWrittenWholeLeavesThePreviousOne) {
    const std::string dir = scratchDir("PageTooLarge");
    writeFile(dir + "/page.html", kOldPage);
    RunOptions options;
    options.cwd = dir;
    options.fileSizeBytes = 8 << 10;  // room for the transcript, not for the page
    const Transcript t = runPlimWith(kMapFusion, rewriteOfList(3) + "setwidth 5\nsetwidth 6\n", options);
    EXPECT_NE(t.out.find("   map square (map inc (0 : (1 : (2 : []))))\n"), std::string::npos) << t.out;
    EXPECT_NE(t.out.find("\n\nfailed\nAction: hPutStr\nReason: File too large\nFile: page.html\nPlim> \nPlim> \nPlim> \n"),
              std::string::npos)
        << t.out;
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(readFile(dir + "/page.html"), kOldPage);
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"page.html"});
}

TEST(PageFile, APageIsReplacedWholeAndKeepsTheModeOfTheOldOne) {
    const std::string dir = scratchDir("PageReplaced");
    writeFile(dir + "/page.html", kOldPage);
    std::filesystem::permissions(dir + "/page.html", std::filesystem::perms(0640));
    std::filesystem::create_symlink("page.html", dir + "/link.html");
    const Transcript t = runPlim(kMapFusion, "debugfile \"link.html\"\n" + rewriteOfList(1), dir);
    EXPECT_EQ(t.status, 0);
    EXPECT_TRUE(wholePage(readFile(dir + "/page.html")));
    EXPECT_EQ(std::filesystem::status(dir + "/page.html").permissions(), std::filesystem::perms(0640));
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link.html"));  // the link still names the page
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"link.html", "page.html"}));
}

// An interrupt or a termination signal while the page is written: whenever it arrives, the
// folder holds the old page or the whole new one, and nothing else.  The signal is sent as soon
// as the new page's file appears, so that it arrives during the write.
TEST(PageFile, ASignalDuringTheWriteLeavesTheOldPageOrTheWholeNewOne) {
    // One signal under the sanitizers, where a run takes seconds.
    const std::vector<int> signals = kSanitizerBuild ? std::vector<int>{SIGTERM} : std::vector<int>{SIGINT, SIGTERM};
    for (const int ending : signals) {
        const std::string dir = scratchDir("PageSignal");
        writeFile(dir + "/page.html", kOldPage);
        RunOptions options;
        options.cwd = dir;
        const StartedPlim run = startPlim(kMapFusion, rewriteOfList(30), options);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        auto stillOld = [&] { return std::filesystem::file_size(dir + "/page.html") == kOldPage.size(); };
        while (filesIn(dir).size() < 2 && stillOld() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        kill(run.pid, ending);
        const Transcript t = finishPlim(run);
        EXPECT_EQ(filesIn(dir), std::vector<std::string>{"page.html"}) << ending;
        const std::string page = readFile(dir + "/page.html");
        EXPECT_TRUE(page == kOldPage || wholePage(page)) << page.size() << " " << ending;
        EXPECT_TRUE(t.status == 128 + ending || t.status == 0) << t.status;  // 0: the run was over
    }
}

}  // namespace
}  // namespace plim::test
