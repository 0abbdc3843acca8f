#include "shell/plim_process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace plim::test {

std::string plimBinary() { return std::string(PLIM_BINARY_DIR) + "/plim"; }

std::string examplesDir() { return std::string(PLIM_SOURCE_DIR) + "/examples"; }

std::string scratchDir(const std::string& name) {
    const std::filesystem::path dir = std::filesystem::path(PLIM_BINARY_DIR) / "shell_scratch" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

namespace {

std::string normaliseBanner(std::string out) {
    static const std::regex banner(
        R"(PLIM version 2\.11 \(built on (Mon|Tue|Wed|Thu|Fri|Sat|Sun) [A-Z][a-z]{2} [ 123][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [A-Z]+ [0-9]{4}\))");
    return std::regex_replace(out, banner, "PLIM version 2.11 (built on DATE)",
                              std::regex_constants::format_first_only);
}

// In the child: the standard output as the options ask.
bool redirectOutput(OutputTo output, const std::string& file) {
    switch (output) {
    case OutputTo::File: {
        const int fo = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        return fo >= 0 && dup2(fo, 1) == 1;
    }
    case OutputTo::Full: {
        const int fo = open("/dev/full", O_WRONLY);
        return fo >= 0 && dup2(fo, 1) == 1;
    }
    case OutputTo::Closed: return close(1) == 0;
    case OutputTo::ClosedPipe: {
        int fds[2];
        if (pipe(fds) != 0 || dup2(fds[1], 1) != 1) return false;
        close(fds[0]);
        close(fds[1]);
        signal(SIGPIPE, SIG_DFL);  // as a shell leaves it for the programs of a pipeline
        return true;
    }
    }
    return false;
}

// In the child: becomes plim with the arguments; ends the child when that fails.
[[noreturn]] void execPlim(const std::string& binary, const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(binary.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
}

bool capAddressSpace(std::size_t kib) {
    if (kib == 0) return true;
    const rlimit limit{static_cast<rlim_t>(kib) * 1024, static_cast<rlim_t>(kib) * 1024};
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

// In the child: becomes the user, with the group of the same number and no other groups.
bool becomeUser(std::optional<uid_t> user) {
    if (!user) return true;
    return setgroups(0, nullptr) == 0 && setgid(static_cast<gid_t>(*user)) == 0 && setuid(*user) == 0;
}

bool capFileSize(std::size_t bytes) {
    if (bytes == 0) return true;
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

}  // namespace

StartedPlim startPlim(const std::vector<std::string>& args, const std::string& input, const RunOptions& options) {
    const std::string dir = scratchDir("run_io_" + std::to_string(getpid()));
    StartedPlim started;
    started.output = options.output;
    const std::string in = dir + "/stdin";
    started.outFile = dir + "/stdout";
    started.errFile = dir + "/stderr";
    writeFile(in, input);
    const std::string binary = plimBinary();
    const std::string workDir = options.cwd.empty() ? examplesDir() : options.cwd;
    started.pid = fork();
    if (started.pid < 0) throw std::runtime_error("fork failed");
    if (started.pid == 0) {
        if (chdir(workDir.c_str()) != 0) _exit(127);
        const int fi = open(in.c_str(), O_RDONLY);
        const int fe = open(started.errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fi < 0 || fe < 0) _exit(127);
        dup2(fi, 0);
        dup2(fe, 2);
        // As a shell leaves them for a program in the foreground, also when the tests run where
        // interrupts are ignored.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        if (!redirectOutput(options.output, started.outFile) || !capAddressSpace(options.addressSpaceKiB) ||
            !capFileSize(options.fileSizeBytes) || !becomeUser(options.user))
            _exit(127);
        const rlimit noCore{0, 0};  // a signal that dumps core leaves no file in the folder
        setrlimit(RLIMIT_CORE, &noCore);
        execPlim(binary, args);
    }
    return started;
}

Transcript finishPlim(const StartedPlim& started) {
    int status = 0;
    waitpid(started.pid, &status, 0);
    Transcript t;
    t.out = started.output == OutputTo::File ? normaliseBanner(readFile(started.outFile)) : std::string();
    t.err = readFile(started.errFile);
    t.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return t;
}

Transcript runPlimWith(const std::vector<std::string>& args, const std::string& input, const RunOptions& options) {
    return finishPlim(startPlim(args, input, options));
}

Transcript runPlim(const std::vector<std::string>& args, const std::string& input, const std::string& cwd) {
    RunOptions options;
    options.cwd = cwd;
    return runPlimWith(args, input, options);
}

std::string runPlimUntil(const std::vector<std::string>& args, const std::string& input, const std::string& cwd,
                         const std::string& marker, int count) {
    const std::string dir = scratchDir("run_until_" + std::to_string(getpid()));
    const std::string in = dir + "/stdin";
    writeFile(in, input);
    const std::string binary = plimBinary();
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(127);
        const int fi = open(in.c_str(), O_RDONLY);
        if (fi < 0) _exit(127);
        dup2(fi, 0);
        dup2(fds[1], 1);
        close(fds[0]);
        execPlim(binary, args);
    }
    close(fds[1]);
    std::string out;
    auto seen = [&] {
        int n = 0;
        for (std::size_t at = out.find(marker); at != std::string::npos; at = out.find(marker, at + 1)) ++n;
        return n;
    };
    for (int waited = 0; seen() < count && waited < 200; ++waited) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    close(fds[0]);
    return out;
}

}  // namespace plim::test
