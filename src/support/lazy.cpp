#include "support/lazy.h"

#include <cstddef>
#include <utility>

namespace plim::lazy_detail {

void raiseSelfDependency() {
    failInternal("internal error: a lazy value was needed while it was being computed");
}

namespace {

// The cells waiting to be freed, in chunks linked below the newest.  Only plain pointers are
// kept per thread, so that cells freed while the thread's own objects are being destroyed (at
// its exit) still find the list.
struct Waiting {
    static constexpr std::size_t kCells = 64;
    std::shared_ptr<const void> cells[kCells];
    std::size_t size = 0;
    Waiting* below = nullptr;
};
thread_local Waiting* waiting = nullptr;
thread_local bool releasing = false;

void wait(std::shared_ptr<const void> cell) {
    if (waiting == nullptr || waiting->size == Waiting::kCells) {
        auto* fresh = new Waiting;
        fresh->below = waiting;
        waiting = fresh;
    }
    waiting->cells[waiting->size++] = std::move(cell);
}

}  // namespace

void releaseLast(std::shared_ptr<const void> cell) noexcept {
    if (releasing) {
        wait(std::move(cell));
        return;
    }
    releasing = true;
    cell.reset();
    while (waiting != nullptr) {
        if (waiting->size == 0) {
            delete std::exchange(waiting, waiting->below);
            continue;
        }
        std::shared_ptr<const void> next = std::move(waiting->cells[--waiting->size]);
        next.reset();  // may add cells above
    }
    releasing = false;
}

}  // namespace plim::lazy_detail
