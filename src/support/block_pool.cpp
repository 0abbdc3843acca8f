#include "support/block_pool.h"

#include <map>
#include <mutex>
#include <vector>

#include "support/release.h"

namespace plim::pool_detail {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

// The shared lists and every chunk, held for the life of the process (never destroyed, so
// that blocks given back during exit still have their chunks).
struct Shared {
    std::mutex lock;
    std::map<std::size_t, std::vector<FreeBlock*>> lists;  // whole lists handed on, by size
    std::vector<std::unique_ptr<char[]>> chunks;
};

Shared& shared() {
    static auto* s = new Shared();
    return *s;
}

// The blocks of a new chunk, linked.
FreeBlock* carve(char* chunk, std::size_t size) {
    const std::size_t count = kChunkBytes / size;
    FreeBlock* head = nullptr;
    for (std::size_t i = count; i-- > 0;) {
        auto* b = reinterpret_cast<FreeBlock*>(chunk + i * size);
        b->next = head;
        head = b;
    }
    return head;
}

}  // namespace

void spill(std::size_t size, FreeBlock* head) noexcept {
    if (head == nullptr) return;
    Shared& s = shared();
    const std::lock_guard<std::mutex> hold(s.lock);
    // Without memory to list them the blocks stay in their chunks, unused: no failure at exit.
    (void)addWithoutFailing([&] { s.lists[size].push_back(head); });
}

FreeBlock* fresh(std::size_t size) {
    Shared& s = shared();
    const std::lock_guard<std::mutex> hold(s.lock);
    std::vector<FreeBlock*>& lists = s.lists[size];
    if (!lists.empty()) {
        FreeBlock* head = lists.back();
        lists.pop_back();
        return head;
    }
    s.chunks.push_back(std::make_unique_for_overwrite<char[]>(kChunkBytes));
    return carve(s.chunks.back().get(), size);
}

}  // namespace plim::pool_detail
