#include "support/release.h"

namespace plim {

void* allocateWorkRoom(std::size_t bytes) noexcept {
    if (void* room = ::operator new(bytes, std::nothrow)) return room;
    giveBackMemoryReserve();
    return ::operator new(bytes, std::nothrow);
}

void freeWorkRoom(void* room) noexcept { ::operator delete(room); }

namespace release_detail {

int& nestedReleases() noexcept {
    static thread_local int depth = 0;
    return depth;
}

}  // namespace release_detail

}  // namespace plim
