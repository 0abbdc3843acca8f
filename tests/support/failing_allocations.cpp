#include "support/failing_allocations.h"

#include <cstdlib>
#include <new>

#include "support/memory_reserve.h"

namespace plim::test {

namespace {

thread_local const RefusedAllocations* scope = nullptr;
thread_local RefusedAllocations::Until until = RefusedAllocations::Until::ScopeEnds;
thread_local std::size_t refusedCount = 0;

bool refusing() {
    if (scope == nullptr) return false;
    return until == RefusedAllocations::Until::ScopeEnds || memoryReserveHeld();
}

}  // namespace

RefusedAllocations::RefusedAllocations(Until u) {
    scope = this;
    until = u;
    refusedCount = 0;
}

RefusedAllocations::~RefusedAllocations() { scope = nullptr; }

std::size_t RefusedAllocations::refused() const { return refusedCount; }

}  // namespace plim::test

// The replaced allocation functions: the standard ones' behaviour over malloc, with refusals.
void* operator new(std::size_t bytes) {
    for (;;) {
        if (!plim::test::refusing()) {
            if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
        } else {
            ++plim::test::refusedCount;
        }
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
}

void* operator new[](std::size_t bytes) { return ::operator new(bytes); }

void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(bytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept { return ::operator new(bytes, std::nothrow); }

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
