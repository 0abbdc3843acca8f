// Blocks of one size for the many small nodes of a tree built and dropped in bulk (the nodes
// of layout documents): taking and giving back a block is a push or pop on a list of this
// thread's, instead of a trip through the general allocator.
//
//   auto node = std::allocate_shared<Node>(PoolAllocator<Node>());
//
// Blocks come from chunks that are kept until releaseFreeChunks finds all their blocks free; a
// block given back on any thread can be taken again on that thread, and the blocks a thread
// holds when it ends go to a shared list that other threads draw on.
#pragma once

#include <cstddef>
#include <memory>

namespace plim {

namespace pool_detail {

struct FreeBlock {
    FreeBlock* next;
};

// The blocks a thread holds go back to the shared list of their size when it ends.
void spill(std::size_t size, FreeBlock* head) noexcept;
// This thread's list of blocks of `size`, known to releaseFreeChunks while the thread runs.
void registerList(std::size_t size, FreeBlock** head);
// Blocks of `size` bytes for this thread: from the shared list of the size, or a new chunk.
FreeBlock* fresh(std::size_t size);

// The blocks of `Size` bytes (a multiple of the block alignment) held by this thread.  The
// list itself needs no destruction, so that blocks given back while the thread ends, after its
// guard has handed the list on, are still taken in (and then kept by nobody).
template <std::size_t Size>
struct BlockList {
    static inline thread_local FreeBlock* head = nullptr;

    struct Guard {
        Guard() { registerList(Size, &head); }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;
        ~Guard() {
            spill(Size, head);
            head = nullptr;
        }
    };

    static void* take() {
        if (head == nullptr) refill();
        FreeBlock* b = head;
        head = b->next;
        return b;
    }
    static void give(void* p) {
        auto* b = static_cast<FreeBlock*>(p);
        b->next = head;
        head = b;
    }
    [[gnu::noinline]] static void refill() {
        static thread_local Guard guard;
        head = fresh(Size);
    }
};

inline constexpr std::size_t kBlockAlign = alignof(std::max_align_t);

constexpr std::size_t blockSize(std::size_t bytes) {
    const std::size_t at_least = bytes < sizeof(FreeBlock) ? sizeof(FreeBlock) : bytes;
    return (at_least + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
}

}  // namespace pool_detail

// Gives the chunks whose blocks are all in this thread's lists back to the general allocator,
// which can then serve blocks of other sizes (or anything else) from them: after a large
// tree is dropped, its room goes to what is built next rather than staying with its size.
// Costs a walk over this thread's free blocks.
void releaseFreeChunks();
// The bytes the pool holds in chunks, free or in use (for tests and measurements).
std::size_t pooledBytes();

// Under AddressSanitizer every block comes from the general allocator, so that a use after
// release is still caught.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kPoolBlocks = false;
#else
inline constexpr bool kPoolBlocks = true;
#endif

// An allocator of single objects from the block lists; arrays go to the general allocator.
template <class T>
struct PoolAllocator {
    using value_type = T;

    PoolAllocator() = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) {}  // NOLINT: rebinding

    T* allocate(std::size_t n) {
        static_assert(alignof(T) <= pool_detail::kBlockAlign);
        if (n != 1 || !kPoolBlocks) return std::allocator<T>().allocate(n);
        return static_cast<T*>(pool_detail::BlockList<pool_detail::blockSize(sizeof(T))>::take());
    }
    void deallocate(T* p, std::size_t n) {
        if (n != 1 || !kPoolBlocks) {
            std::allocator<T>().deallocate(p, n);
            return;
        }
        pool_detail::BlockList<pool_detail::blockSize(sizeof(T))>::give(p);
    }

    template <class U>
    bool operator==(const PoolAllocator<U>&) const {
        return true;
    }
};

}  // namespace plim
