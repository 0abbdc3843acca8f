#include "shell/page_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "support/errors.h"

namespace plim {

namespace {

// The signals whose arrival during a write removes the partial file.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr std::size_t kSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

// The partial file of the write under way, for the signal handler.
char partialName[PATH_MAX + 64];
volatile std::sig_atomic_t partialExists = 0;

extern "C" void removePartialAndEnd(int sig) {
    if (partialExists) ::unlink(partialName);
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // delivered when the handler returns, with the signal's own ending
}

// The handlers in force while a partial file may exist; the previous ones come back after.
// Signals that were ignored stay ignored.  A file-size limit met meanwhile is a failed write
// (EFBIG), not the end of the process.
class PartialFileGuard {
public:
    PartialFileGuard() {
        struct sigaction act {};
        act.sa_handler = removePartialAndEnd;
        sigemptyset(&act.sa_mask);
        for (std::size_t i = 0; i < kSignalCount; ++i) {
            sigaction(kEndingSignals[i], nullptr, &previous_[i]);
            if (previous_[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &act, nullptr);
        }
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGXFSZ, &ignore, &previousSizeLimit_);
    }
    ~PartialFileGuard() {
        sigaction(SIGXFSZ, &previousSizeLimit_, nullptr);
        for (std::size_t i = 0; i < kSignalCount; ++i) sigaction(kEndingSignals[i], &previous_[i], nullptr);
        partialExists = 0;
    }
    PartialFileGuard(const PartialFileGuard&) = delete;
    PartialFileGuard& operator=(const PartialFileGuard&) = delete;

    // The name of the file about to be created: from here on a signal removes it.
    void willCreate(const std::string& name) {
        partialExists = 0;
        std::memcpy(partialName, name.c_str(), name.size() + 1);
        partialExists = 1;
    }
    // The file was not created (its name was taken), or it has been renamed.
    void forget() { partialExists = 0; }

    // Removes the partial file (after a failure).
    void remove() {
        partialExists = 0;
        ::unlink(partialName);
    }

private:
    struct sigaction previous_[kSignalCount];
    struct sigaction previousSizeLimit_;
};

// A file descriptor, closed when it goes out of scope unless closed before.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes it; false (errno telling why) when the close reports a failed write.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t n = ::write(fd, contents.data(), contents.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        contents.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes the contents to the open file and closes it: 0, or the number of the failure.
int writeAndClose(Descriptor& fd, std::string_view contents) {
    const bool written = writeAll(fd.get(), contents);
    const int e = errno;
    const bool closed = fd.close();
    if (!written) return e;
    return closed ? 0 : errno;
}

// A path cut into its folder ("" or ending in '/') and the name in it.
struct FolderEntry {
    std::string folder;
    std::string name;
};

FolderEntry splitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// The partial file of a name N is "N.partial-PID-K" (PID the writer's process id, K a counter
// below 100): at most 22 bytes more than N.  Of a longer name only its first bytes are kept, so
// that the partial file's name fits in the 255 bytes of a folder entry.
constexpr std::size_t kPartialSuffixBytes = 22;
constexpr std::size_t kKeptNameBytes = 255 - kPartialSuffixBytes;

std::string partialPrefix(const std::string& name) {
    return name.substr(0, std::min(name.size(), kKeptNameBytes)) + ".partial-";
}

// The process id of the "PID-K" that ends a partial file's name, when it has that form.
std::optional<pid_t> partialWriter(std::string_view rest) {
    const std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 9 || dash + 1 == rest.size() || dash + 3 < rest.size())
        return std::nullopt;
    pid_t pid = 0;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (i == dash) continue;
        if (rest[i] < '0' || rest[i] > '9') return std::nullopt;
        if (i < dash) pid = pid * 10 + (rest[i] - '0');
    }
    if (pid <= 0) return std::nullopt;
    return pid;
}

// Removes the partial files of the name that writers no longer running left behind (a signal
// that no process can catch ended them): regular files of this user only.
void removeStalePartials(const FolderEntry& entry) {
    DIR* dir = ::opendir(entry.folder.empty() ? "." : entry.folder.c_str());
    if (dir == nullptr) return;
    const std::string prefix = partialPrefix(entry.name);
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        if (!name.starts_with(prefix)) continue;
        const std::optional<pid_t> writer = partialWriter(name.substr(prefix.size()));
        if (!writer || ::kill(*writer, 0) == 0 || errno != ESRCH) continue;
        const std::string path = entry.folder + std::string(name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) ::unlink(path.c_str());
    }
    ::closedir(dir);
}

// A new file beside `target`, its name given back and told to the guard before it is created.
// Invalid when it cannot be made.
Descriptor createBeside(const std::string& target, std::string& name, PartialFileGuard& guard) {
    const FolderEntry entry = splitPath(target);
    removeStalePartials(entry);
    const std::string stem = entry.folder + partialPrefix(entry.name) + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem + std::to_string(attempt);
        if (name.size() >= PATH_MAX) break;
        guard.willCreate(name);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return Descriptor(fd);
        guard.forget();
        if (errno != EEXIST) break;
    }
    return Descriptor(-1);
}

// Gives the new file the group and the mode of the file it replaces.
bool takeOwnershipOf(int fd, const struct stat& old) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (st.st_gid != old.st_gid && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) return false;
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// Writes the contents to a new file beside `target` and renames it over `target`.  False, with
// nothing left behind, when the new file cannot be made as the old one is (the folder is not the
// user's to write in, the group cannot be given); a failed write or rename is reported.
bool replaceWhole(const std::string& target, const struct stat* old, std::string_view contents,
                  const std::string& fileName, PartialFileGuard& guard) {
    std::string partial;
    Descriptor fd = createBeside(target, partial, guard);
    if (!fd.valid()) return false;
    if (old != nullptr && !takeOwnershipOf(fd.get(), *old)) {
        guard.remove();
        return false;
    }
    if (const int e = writeAndClose(fd, contents)) {
        guard.remove();
        systemIoError(e, "hPutStr", fileName);
    }
    if (::rename(partial.c_str(), target.c_str()) != 0) {
        const int e = errno;
        guard.remove();
        systemIoError(e, "renameFile", fileName);
    }
    guard.forget();
    return true;
}

// The path by which the file opened as `fileName` can be replaced so that it ends as writing
// it would leave it: a regular file of this user with no other name, named by `fileName` or
// by the link that the open followed (as far as the system lets a write follow it).
std::optional<std::string> replaceablePath(const std::string& fileName, const struct stat& opened) {
    if (!S_ISREG(opened.st_mode) || opened.st_nlink != 1 || opened.st_uid != ::geteuid()) return std::nullopt;
    std::string path = fileName;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    if (S_ISLNK(st.st_mode)) {
        char* real = ::realpath(fileName.c_str(), nullptr);
        if (real == nullptr) return std::nullopt;
        path = real;
        std::free(real);
        if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    }
    if (st.st_dev != opened.st_dev || st.st_ino != opened.st_ino) return std::nullopt;
    return path;
}

// Writes over the open file, as any program writing it would.
void writeThrough(Descriptor& fd, const struct stat& st, std::string_view contents, const std::string& fileName) {
    if (S_ISREG(st.st_mode) && ::ftruncate(fd.get(), 0) != 0) systemIoError(errno, "openFile", fileName);
    if (const int e = writeAndClose(fd, contents)) systemIoError(e, "hPutStr", fileName);
}

// A name that names no file: a new file renamed to it when complete.  A dangling link, and a
// name whose new file cannot be made beside it, are created as any program creates them.
void createAnew(const std::string& fileName, std::string_view contents, PartialFileGuard& guard) {
    struct stat st {};
    const bool danglingLink = ::lstat(fileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    if (!danglingLink && replaceWhole(fileName, nullptr, contents, fileName, guard)) return;
    Descriptor fd(::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666));
    if (!fd.valid()) systemIoError(errno, "openFile", fileName);
    if (const int e = writeAndClose(fd, contents)) systemIoError(e, "hPutStr", fileName);
}

}  // namespace

void replaceFileWith(const std::string& fileName, std::string_view contents) {
    PartialFileGuard guard;
    Descriptor fd(::open(fileName.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno != ENOENT) systemIoError(errno, "openFile", fileName);
        return createAnew(fileName, contents, guard);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) systemIoError(errno, "openFile", fileName);
    const std::optional<std::string> target = replaceablePath(fileName, st);
    if (target && replaceWhole(*target, &st, contents, fileName, guard)) return;
    writeThrough(fd, st, contents, fileName);
}

}  // namespace plim
