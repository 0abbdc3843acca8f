#include "shell/page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
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
    // The file was not created (its name was taken).
    void notCreated() { partialExists = 0; }

    // Removes the partial file (after a failure).
    void remove() {
        partialExists = 0;
        ::unlink(partialName);
    }

private:
    struct sigaction previous_[kSignalCount];
    struct sigaction previousSizeLimit_;
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

// The file a name stands for: a symbolic link followed to the file it names.
std::string fileBehind(const std::string& fileName) {
    struct stat st {};
    if (::lstat(fileName.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return fileName;
    char* real = ::realpath(fileName.c_str(), nullptr);
    if (real == nullptr) return fileName;  // a dangling link: replaced itself
    std::string out(real);
    std::free(real);
    return out;
}

// A new file beside `target`, created with the mode of the file it replaces (when that
// exists); its name is given back and told to the guard before it is created.  Nothing when it
// cannot be made (errno tells why).
std::optional<int> createBeside(const std::string& target, std::optional<mode_t> mode, std::string& name,
                                PartialFileGuard& guard) {
    const std::string stem = target + ".partial-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem + std::to_string(attempt);
        if (name.size() >= PATH_MAX) {
            errno = ENAMETOOLONG;
            return std::nullopt;
        }
        guard.willCreate(name);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (mode) ::fchmod(fd, *mode);
            return fd;
        }
        guard.notCreated();
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

// The old way, for files that cannot be replaced: created or truncated, then written.
void writeInPlace(const std::string& fileName, std::string_view contents) {
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) systemIoError(errno, "openFile", fileName);
    const bool written = writeAll(fd, contents);
    const int e = errno;
    ::close(fd);
    if (!written) systemIoError(e, "hPutStr", fileName);
}

}  // namespace

void replaceFileWith(const std::string& fileName, std::string_view contents) {
    const std::string target = fileBehind(fileName);
    struct stat st {};
    std::optional<mode_t> mode;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return writeInPlace(fileName, contents);
        mode = st.st_mode & 07777;
    }
    std::string partial;
    PartialFileGuard guard;
    const std::optional<int> fd = createBeside(target, mode, partial, guard);
    if (!fd) systemIoError(errno, "openFile", fileName);
    const bool written = writeAll(*fd, contents);
    int e = errno;
    const bool closed = ::close(*fd) == 0;
    if (written && !closed) e = errno;
    if (!written || !closed) {
        guard.remove();
        systemIoError(e, "hPutStr", fileName);
    }
    if (::rename(partial.c_str(), target.c_str()) != 0) {
        e = errno;
        guard.remove();
        systemIoError(e, "renameFile", fileName);
    }
}

}  // namespace plim
