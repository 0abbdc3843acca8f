#include "support/memory_reserve.h"

#include <atomic>
#include <cstdlib>
#include <exception>
#include <new>

namespace plim {

namespace {

std::atomic<void*> reserve{nullptr};

// The allocator's handler when an allocation fails: give back the reserve, then raise the
// failure (or, while unwinding, let the allocation try again); without a reserve, raise it.
void onAllocationFailure() {
    if (void* held = reserve.exchange(nullptr)) {
        std::free(held);
        if (std::uncaught_exceptions() > 0) return;
    }
    throw std::bad_alloc();
}

}  // namespace

bool holdMemoryReserve() {
    std::set_new_handler(onAllocationFailure);
    if (reserve.load() != nullptr) return true;
    void* block = std::malloc(kMemoryReserveBytes);
    if (block == nullptr) return false;
    void* none = nullptr;
    if (!reserve.compare_exchange_strong(none, block)) std::free(block);
    return true;
}

bool memoryReserveHeld() { return reserve.load() != nullptr; }

void giveBackMemoryReserve() noexcept {
    if (void* held = reserve.exchange(nullptr)) std::free(held);
}

}  // namespace plim
