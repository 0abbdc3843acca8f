// The blocks of the fast matcher's bindings: slots held in the block itself up to a few,
// beyond that in an array of their own.
#include "engine/matching/fast/term_bindings.h"

#include <memory>

namespace plim::fast {

TermBindings::Block* TermBindings::newBlock(std::size_t capacity) {
    Block* b = new (PoolAllocator<Block>().allocate(1)) Block();
    b->items = reinterpret_cast<Slot*>(b->local);
    if (capacity > kLocal) {
        b->items = std::allocator<Slot>().allocate(capacity);
        b->capacity = static_cast<std::uint32_t>(capacity);
    }
    return b;
}

TermBindings::Block* TermBindings::copyOf(const Block& from, std::size_t more) {
    // The spare room is taken in the block's own slots while they suffice.
    const std::size_t needed = from.count + more;
    Block* b = newBlock(more == 0 || needed > kLocal ? needed + (more > 0 ? kSpare : 0) : kLocal);
    for (std::uint32_t i = 0; i < from.count; ++i) new (b->items + i) Slot(from.items[i]);
    b->count = from.count;
    b->mayHoldPVar = from.mayHoldPVar;
    return b;
}

void TermBindings::drop(Block* b) noexcept {
    std::destroy_n(b->items, b->count);
    if (b->items != reinterpret_cast<Slot*>(b->local)) std::allocator<Slot>().deallocate(b->items, b->capacity);
    b->~Block();
    PoolAllocator<Block>().deallocate(b, 1);
}

}  // namespace plim::fast
