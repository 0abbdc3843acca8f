// The plim program: runs the start-up sequence on a thread with a large stack, under the
// fatal-error report.  A failed write to the standard output ends the run the same way.
#include <fcntl.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "shell/commands.h"
#include "shell/version.h"
#include "shell/startup.h"
#include "support/big_stack.h"
#include "support/errors.h"

#ifndef PLIM_BUILD_DATE
#define PLIM_BUILD_DATE "unknown date"
#endif

namespace {

// A standard stream that is closed at start takes /dev/null, opened the wrong way round so that
// every use of it still fails: a file opened later must not take its place.
void holdClosedStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    holdClosedStandardStreams();
    // A closed pipe on the standard output is a failed write (EPIPE), reported as any other.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        const int status =
            plim::runOnLargeStack([&] { return plim::startUp(args, plim::bannerText(PLIM_BUILD_DATE)); });
        plim::flushOut();
        return status;
    } catch (const plim::PlimError& e) {
        return plim::fatalErrorReport(e.message());
    } catch (const plim::OutputError& e) {  // the standard output failed: reported on the standard error
        return plim::fatalErrorReport(e.message());
    } catch (const std::bad_alloc&) {
        return plim::fatalErrorReport("heap exhausted");
    } catch (const std::exception& e) {
        return plim::fatalErrorReport(e.what());
    }
}
