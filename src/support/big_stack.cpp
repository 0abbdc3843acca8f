#include "support/big_stack.h"

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "support/errors.h"

namespace plim {

namespace {

struct Job {
    const std::function<void()>* body;
    std::size_t stackBytes;
    std::exception_ptr error;
};

// The stack obtained by a thread started here; 0 on every other thread.
thread_local std::size_t largeStack = 0;

void* runJob(void* arg) {
    auto* job = static_cast<Job*>(arg);
    largeStack = job->stackBytes;
    try {
        (*job->body)();
    } catch (...) {
        job->error = std::current_exception();
    }
    return nullptr;
}

// The smallest stack the fallback goes down to before it gives up.
constexpr std::size_t kSmallestStackBytes = std::size_t{1} << 20;
constexpr std::size_t kDefaultStackBytes = std::size_t{8} << 20;

std::optional<std::size_t> addressSpaceCap() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    return static_cast<std::size_t>(limit.rlim_cur);
}

int startThread(pthread_t& thread, Job& job) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    int rc = pthread_attr_setstacksize(&attr, job.stackBytes);
    if (rc == 0) rc = pthread_create(&thread, &attr, runJob, &job);
    pthread_attr_destroy(&attr);
    return rc;
}

}  // namespace

bool onLargeStackNow() { return largeStack != 0; }

std::size_t stackBytesNow() {
    if (largeStack != 0) return largeStack;
    rlimit limit{};
    if (getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kDefaultStackBytes;
    return static_cast<std::size_t>(limit.rlim_cur);
}

std::size_t firstStackTry(std::size_t requested, std::optional<std::size_t> addressSpaceCap) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    return addressSpaceCap ? std::min(requested, *addressSpaceCap / 4 / kMiB * kMiB) : requested;
}

void runOnLargeStackVoid(const std::function<void()>& body, std::size_t stackBytes) {
    Job job{&body, firstStackTry(stackBytes, addressSpaceCap()), nullptr};
    pthread_t thread;
    int rc = startThread(thread, job);
    while ((rc == EAGAIN || rc == ENOMEM) && job.stackBytes / 2 >= kSmallestStackBytes) {
        job.stackBytes /= 2;  // the address space is short: try half as much
        rc = startThread(thread, job);
    }
    if (rc != 0) failInternal(std::string("internal error: cannot start a worker thread: ") + std::strerror(rc));
    // While this thread waits, the signals that end a session reach the worker: a handler
    // that cleans up after the work (shell/page_file.cpp) then runs on the thread it cleans up
    // after, with that thread stopped meanwhile.
    sigset_t ending, before;
    sigemptyset(&ending);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&ending, sig);
    pthread_sigmask(SIG_BLOCK, &ending, &before);
    pthread_join(thread, nullptr);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (job.error) std::rethrow_exception(job.error);
}

}  // namespace plim
