#include "support/block_pool.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
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

// This thread's lists, by size.
std::vector<std::pair<std::size_t, FreeBlock**>>& threadLists() {
    static thread_local std::vector<std::pair<std::size_t, FreeBlock**>> lists;
    return lists;
}

// The chunks by address, to find the chunk of a block.
class ChunkIndex {
public:
    explicit ChunkIndex(const std::vector<std::unique_ptr<char[]>>& chunks) {
        for (std::size_t k = 0; k < chunks.size(); ++k) starts_.emplace_back(chunks[k].get(), k);
        std::sort(starts_.begin(), starts_.end());
    }
    // The place in `chunks` of the chunk that holds the block.
    std::size_t of(const FreeBlock* b) const {
        const auto* at = reinterpret_cast<const char*>(b);
        auto it = std::upper_bound(starts_.begin(), starts_.end(), at,
                                   [](const char* a, const std::pair<char*, std::size_t>& c) { return a < c.first; });
        return std::prev(it)->second;
    }

private:
    std::vector<std::pair<char*, std::size_t>> starts_;
};

// Takes the blocks of the chunks that hold none but free ones out of the list; marks those
// chunks in `whole`.
void takeWholeChunks(std::size_t size, FreeBlock** head, const ChunkIndex& index, std::vector<std::uint32_t>& count,
                     std::vector<bool>& whole) {
    std::fill(count.begin(), count.end(), 0);
    for (FreeBlock* b = *head; b != nullptr; b = b->next) ++count[index.of(b)];
    const std::size_t perChunk = kChunkBytes / size;
    bool any = false;
    for (std::size_t k = 0; k < count.size(); ++k)
        if (count[k] == perChunk) whole[k] = any = true;
    if (!any) return;
    FreeBlock** link = head;
    for (FreeBlock* b = *head; b != nullptr; b = b->next)
        if (!whole[index.of(b)]) {
            *link = b;
            link = &b->next;
        }
    *link = nullptr;
}

}  // namespace

void registerList(std::size_t size, FreeBlock** head) { threadLists().emplace_back(size, head); }

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

namespace plim {

void releaseFreeChunks() {
    using namespace pool_detail;
    Shared& s = shared();
    const std::lock_guard<std::mutex> hold(s.lock);
    if (s.chunks.empty()) return;
    const ChunkIndex index(s.chunks);
    std::vector<std::uint32_t> count(s.chunks.size());
    std::vector<bool> whole(s.chunks.size());
    for (const auto& [size, head] : threadLists()) takeWholeChunks(size, head, index, count, whole);
    std::size_t kept = 0;
    for (std::size_t k = 0; k < s.chunks.size(); ++k)
        if (!whole[k]) s.chunks[kept++] = std::move(s.chunks[k]);
    s.chunks.resize(kept);
}

std::size_t pooledBytes() {
    pool_detail::Shared& s = pool_detail::shared();
    const std::lock_guard<std::mutex> hold(s.lock);
    return s.chunks.size() * pool_detail::kChunkBytes;
}

}  // namespace plim
