#include "support/lazy.h"

#include <cstddef>
#include <new>
#include <utility>

#include "support/release.h"

namespace plim::lazy_detail {

void raiseSelfDependency() {
    failInternal("internal error: a lazy value was needed while it was being computed");
}

namespace {

// The cells waiting to be freed, in chunks linked below the newest.  Only plain pointers and
// raw room are kept per thread, so that cells freed while the thread's own objects are being
// destroyed (at its exit) still find the list.  The first chunk is the thread's own, so that
// freeing a chain of cells (one waiting at a time) asks nothing of the allocator; a cell that
// finds no room even in a new chunk is released at once (support/release.h).
struct Waiting {
    static constexpr std::size_t kCells = 64;
    std::shared_ptr<const void> cells[kCells];
    std::size_t size = 0;
    Waiting* below = nullptr;
};
thread_local Waiting* waiting = nullptr;
thread_local bool releasing = false;
alignas(Waiting) thread_local unsigned char firstRoom[sizeof(Waiting)];
thread_local Waiting* first = nullptr;

// A chunk to put on top of the list: the thread's own when the list is empty, else a new one
// (null when there is no memory for it).
Waiting* chunkOnTop() noexcept {
    if (waiting == nullptr) {
        if (first == nullptr) first = new (firstRoom) Waiting;  // never destroyed: empty when idle
        return first;
    }
    void* room = allocateWorkRoom(sizeof(Waiting));
    return room == nullptr ? nullptr : new (room) Waiting;
}

void dropChunk(Waiting* chunk) noexcept {
    if (chunk == first) return;
    chunk->~Waiting();
    freeWorkRoom(chunk);
}

void wait(std::shared_ptr<const void>& cell) noexcept {
    if (waiting == nullptr || waiting->size == Waiting::kCells) {
        Waiting* fresh = chunkOnTop();
        if (fresh == nullptr) return releaseUnlisted(cell);
        fresh->below = waiting;
        waiting = fresh;
    }
    waiting->cells[waiting->size++] = std::move(cell);
}

}  // namespace

void releaseLast(std::shared_ptr<const void> cell) noexcept {
    if (releasing) {
        wait(cell);
        return;
    }
    releasing = true;
    cell.reset();
    while (waiting != nullptr) {
        if (waiting->size == 0) {
            dropChunk(std::exchange(waiting, waiting->below));
            continue;
        }
        std::shared_ptr<const void> next = std::move(waiting->cells[--waiting->size]);
        next.reset();  // may add cells above
    }
    releasing = false;
}

}  // namespace plim::lazy_detail
