// The plim program: runs the start-up sequence on a thread with a large stack, under the
// fatal-error report.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "shell/version.h"
#include "shell/startup.h"
#include "support/big_stack.h"
#include "support/errors.h"

#ifndef PLIM_BUILD_DATE
#define PLIM_BUILD_DATE "unknown date"
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        const int status =
            plim::runOnLargeStack([&] { return plim::startUp(args, plim::bannerText(PLIM_BUILD_DATE)); });
        std::fflush(stdout);
        return status;
    } catch (const plim::PlimError& e) {
        return plim::fatalErrorReport(e.message());
    } catch (const std::bad_alloc&) {
        return plim::fatalErrorReport("heap exhausted");
    } catch (const std::exception& e) {
        return plim::fatalErrorReport(e.what());
    }
}
