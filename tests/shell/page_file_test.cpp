// The debugging page is replaced whole: a failed or interrupted write leaves the previous page
// and no partial file behind.
#include "shell/page_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
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

// A page with another name is written in place, so both names keep naming it; a link to no
// file creates the file it names, as opening it for writing does.
TEST(PageFile, APageWithOtherNamesOrADanglingLinkIsWrittenAsOpeningItWould) {
    const std::string dir = scratchDir("PageInPlace");
    writeFile(dir + "/page.html", kOldPage);
    std::filesystem::create_hard_link(dir + "/page.html", dir + "/other.html");
    std::filesystem::create_symlink("new.html", dir + "/dangling.html");
    const Transcript t = runPlim(kMapFusion, rewriteOfList(1) + "debugfile \"dangling.html\"\n" + rewriteOfList(1), dir);
    EXPECT_EQ(t.status, 0);
    EXPECT_TRUE(wholePage(readFile(dir + "/other.html")));
    EXPECT_EQ(std::filesystem::hard_link_count(dir + "/page.html"), 2u);
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/dangling.html"));
    EXPECT_TRUE(wholePage(readFile(dir + "/new.html")));
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"dangling.html", "new.html", "other.html", "page.html"}));
}

// An interrupt, quit or termination signal while the page is written: whenever it arrives, the
// folder holds the old page or the whole new one, and nothing else.  The signal is sent as soon
// as the new page's file appears, so that it arrives during the write.
TEST(PageFile, ASignalDuringTheWriteLeavesTheOldPageOrTheWholeNewOne) {
    // One signal under the sanitizers, where a run takes seconds.
    const std::vector<int> signals = kSanitizerBuild ? std::vector<int>{SIGQUIT} : std::vector<int>{SIGINT, SIGTERM, SIGQUIT};
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

std::string pageError(const std::string& kind, const std::string& reason, const std::string& file) {
    return "\n\n" + kind + "\nAction: openFile\nReason: " + reason + "\nFile: " + file + "\nPlim> \n";
}

uid_t ownerOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_uid : static_cast<uid_t>(-1);
}

// The tests of what a user may write run as a user without privileges: as the user "nobody"
// when the tests run as the superuser (who may open any file), otherwise as themselves.
struct Unprivileged {
    bool asRoot = ::geteuid() == 0;
    uid_t uid = asRoot ? 65534 : ::geteuid();

    // A folder of that user's own.
    std::string folder(const std::string& name) const {
        const std::string dir = scratchDir(name);
        if (asRoot && ::chown(dir.c_str(), uid, static_cast<gid_t>(uid)) != 0) ADD_FAILURE() << "chown " << dir;
        return dir;
    }
    // A file of that user's own.
    void ownFile(const std::string& path, const std::string& text, std::filesystem::perms mode) const {
        writeFile(path, text);
        std::filesystem::permissions(path, mode);
        if (asRoot && ::chown(path.c_str(), uid, static_cast<gid_t>(uid)) != 0) ADD_FAILURE() << "chown " << path;
    }
    Transcript run(const std::string& dir, const std::string& input) const {
        RunOptions options;
        options.cwd = dir;
        if (asRoot) options.user = uid;
        return runPlimWith(kMapFusion, input, options);
    }
};

// A page that cannot be opened for writing is not replaced: a read-only page of one's own, a
// file of another user in one's folder and a link to it give the open's report, and nothing
// changes.  A directory gives its own.  A file of another user that the user may write is
// written in place, through a link too, and stays the other user's.
TEST(PageFile, APageThatCannotBeOpenedForWritingIsLeftAlone) {
    const Unprivileged user;
    const std::string dir = user.folder("PageNotWritable");
    user.ownFile(dir + "/own.html", kOldPage, std::filesystem::perms(0444));
    std::filesystem::create_directory(dir + "/adir");
    const Transcript t =
        user.run(dir, "debugfile \"own.html\"\n" + rewriteOfList(1) + "debugfile \"adir\"\n" + rewriteOfList(1));
    EXPECT_NE(t.out.find(pageError("permission denied", "Permission denied", "own.html")), std::string::npos) << t.out;
    EXPECT_NE(t.out.find(pageError("illegal operation", "Is a directory", "adir")), std::string::npos) << t.out;
    EXPECT_EQ(readFile(dir + "/own.html"), kOldPage);
    EXPECT_EQ(std::filesystem::status(dir + "/own.html").permissions(), std::filesystem::perms(0444));
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"adir", "own.html"}));
    if (!user.asRoot) GTEST_SKIP() << "files of another user need the superuser";

    writeFile(dir + "/root.html", kOldPage);  // the superuser's, 0644
    std::filesystem::create_symlink("root.html", dir + "/toroot.html");
    const std::string theirs = scratchDir("PageNotWritableTheirs");  // the superuser's folder
    writeFile(theirs + "/shared.html", kOldPage);
    std::filesystem::permissions(theirs + "/shared.html", std::filesystem::perms(0666));
    std::filesystem::create_symlink(theirs + "/shared.html", dir + "/toshared.html");
    const Transcript u = user.run(dir, "debugfile \"root.html\"\n" + rewriteOfList(1) +
                                           "debugfile \"toroot.html\"\n" + rewriteOfList(1) +
                                           "debugfile \"toshared.html\"\n" + rewriteOfList(1));
    EXPECT_NE(u.out.find(pageError("permission denied", "Permission denied", "root.html")), std::string::npos) << u.out;
    EXPECT_NE(u.out.find(pageError("permission denied", "Permission denied", "toroot.html")), std::string::npos);
    EXPECT_EQ(u.out.find("toshared.html"), std::string::npos) << u.out;
    EXPECT_EQ(readFile(dir + "/root.html"), kOldPage);
    EXPECT_EQ(ownerOf(dir + "/root.html"), 0u);
    EXPECT_TRUE(wholePage(readFile(theirs + "/shared.html")));
    EXPECT_EQ(ownerOf(theirs + "/shared.html"), 0u);
    EXPECT_EQ(filesIn(theirs), std::vector<std::string>{"shared.html"});
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"adir", "own.html", "root.html", "toroot.html", "toshared.html"}));
}

// In a folder that every user may write in and only owners may delete from, the system lets
// no one follow another user's link when writing: neither does the page.
TEST(PageFile, AProtectedLinkInASharedFolderIsNotFollowed) {
    const Unprivileged user;
    if (!user.asRoot) GTEST_SKIP() << "a link of another user needs the superuser";
    if (readFile("/proc/sys/fs/protected_symlinks") != "1\n") GTEST_SKIP() << "links are not protected here";
    const std::string dir = scratchDir("PageSharedFolder");
    std::filesystem::permissions(dir, std::filesystem::perms(01777));
    user.ownFile(dir + "/mine.html", kOldPage, std::filesystem::perms(0644));
    std::filesystem::create_symlink("mine.html", dir + "/link.html");
    ASSERT_EQ(::lchown((dir + "/link.html").c_str(), 4242, 4242), 0);
    const Transcript t = user.run(dir, "debugfile \"link.html\"\n" + rewriteOfList(1));
    EXPECT_NE(t.out.find(pageError("permission denied", "Permission denied", "link.html")), std::string::npos) << t.out;
    EXPECT_EQ(readFile(dir + "/mine.html"), kOldPage);
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link.html"));
}

// The partial file of a writer that was ended by a signal no process can catch is removed by
// the next write of the page; those of writers still running, and other files, stay.
TEST(PageFile, PartialFilesOfWritersNoLongerRunningAreRemoved) {
    const std::string dir = scratchDir("PageStalePartials");
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    const std::string stale = "page.html.partial-" + std::to_string(ended) + "-0";
    const std::string running = "page.html.partial-" + std::to_string(::getpid()) + "-0";
    for (const std::string& name : {stale, running, std::string("page.html.partial-notes")})
        writeFile(dir + "/" + name, kOldPage);
    const Transcript t = runPlim(kMapFusion, rewriteOfList(1), dir);
    EXPECT_EQ(t.status, 0);
    EXPECT_TRUE(wholePage(readFile(dir + "/page.html")));
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"page.html", running, "page.html.partial-notes"}));
}

// A name as long as a folder entry may be is written (the partial file's name keeps only its
// first bytes), anew and over an old page; one byte more is the system's refusal.
TEST(PageFile, NamesAsLongAsAFolderEntryMayBeAreWritten) {
    const std::string dir = scratchDir("PageLongNames");
    const std::string longest(255 - 5, 'p'), shorter(241 - 5, 'q');
    writeFile(dir + "/" + shorter + ".html", kOldPage);
    const Transcript t = runPlim(kMapFusion,
                                 "debugfile \"" + longest + ".html\"\n" + rewriteOfList(1) + "debugfile \"" + shorter +
                                     ".html\"\n" + rewriteOfList(1) + "debugfile \"" + longest + "x.html\"\n" +
                                     rewriteOfList(1),
                                 dir);
    EXPECT_TRUE(wholePage(readFile(dir + "/" + longest + ".html")));
    EXPECT_TRUE(wholePage(readFile(dir + "/" + shorter + ".html")));
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{longest + ".html", shorter + ".html"}));
    EXPECT_NE(t.out.find("\nAction: openFile\nReason: File name too long\nFile: " + longest + "x.html\n"),
              std::string::npos)
        << t.out;
    EXPECT_EQ(t.out.find("File: " + longest + ".html"), std::string::npos);
}

}  // namespace
}  // namespace plim::test
