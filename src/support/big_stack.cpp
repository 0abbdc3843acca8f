#include "support/big_stack.h"

#include <pthread.h>

#include <cstring>

#include "support/errors.h"

namespace plim {

namespace {

struct Job {
    const std::function<void()>* body;
    std::exception_ptr error;
};

thread_local bool largeStack = false;

void* runJob(void* arg) {
    largeStack = true;
    auto* job = static_cast<Job*>(arg);
    try {
        (*job->body)();
    } catch (...) {
        job->error = std::current_exception();
    }
    return nullptr;
}

}  // namespace

bool onLargeStackNow() { return largeStack; }

void runOnLargeStackVoid(const std::function<void()>& body, std::size_t stackBytes) {
    Job job{&body, nullptr};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, stackBytes);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attr, runJob, &job);
    pthread_attr_destroy(&attr);
    if (rc != 0) failWith(std::string("internal error: cannot start a worker thread: ") + std::strerror(rc));
    pthread_join(thread, nullptr);
    if (job.error) std::rethrow_exception(job.error);
}

}  // namespace plim
