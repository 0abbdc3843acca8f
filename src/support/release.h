// Releasing trees of shared nodes without nested destructor calls, and without failing.
//
// A node type whose trees can be deep (long spines, deeply nested types) calls
// releaseSoleChildren from its destructor: every child that only this node holds is taken over
// and released one at a time from a work list, so destroying a spine of any length costs no
// stack.  Children that others still hold are left alone; their owners release them later.
//
// A destructor may not fail, and running out of memory in one would end the program, so no
// release asks the allocator for anything it cannot do without.  The work list (ReleaseList)
// has room of its own for a few items and grows without throwing: when the allocator has
// nothing, the memory reserve (support/memory_reserve.h) is given back and asked for once more.
// An item that still finds no room is released at once by a nested call (releaseUnlisted), at
// most kNestedReleases deep, which starts a list of its own; past that depth it is left
// allocated: a leak is the one way left that cannot fail.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "support/memory_reserve.h"

namespace plim {

// Memory for a work list, or null; never throws.  Given back with freeWorkRoom.
void* allocateWorkRoom(std::size_t bytes) noexcept;
void freeWorkRoom(void* room) noexcept;

// Runs `add` (which may throw std::bad_alloc); when it finds no memory, gives back the memory
// reserve and runs it once more.  False when it found none either time; `add` must then have
// changed nothing, as push_back leaves a vector.
template <class Add>
bool addWithoutFailing(Add add) noexcept;

// How deep releases that found no room in their list may nest.
inline constexpr int kNestedReleases = 64;

// Releases the item (a shared pointer, or any handle whose destruction releases) at once when
// releases nest less than kNestedReleases deep; otherwise leaves what it holds allocated.
template <class Handle>
void releaseUnlisted(Handle& item) noexcept;

// A last-in first-out list that never throws: room for `Room` items in itself, more from
// allocateWorkRoom.  push moves the item in, or answers false (the item untouched) when there
// is no memory for it.
template <class T, std::size_t Room = 16>
class ReleaseList {
public:
    ReleaseList() noexcept = default;
    ReleaseList(const ReleaseList&) = delete;
    ReleaseList& operator=(const ReleaseList&) = delete;
    ~ReleaseList() {
        while (size_ > 0) (void)pop();
        if (data_ != inRoom()) freeWorkRoom(data_);
    }

    bool empty() const noexcept { return size_ == 0; }
    bool push(T& item) noexcept {
        if (size_ == capacity_ && !grow()) return false;
        new (data_ + size_) T(std::move(item));
        ++size_;
        return true;
    }
    T pop() noexcept {
        T* last = data_ + --size_;
        T out(std::move(*last));
        last->~T();
        return out;
    }

private:
    T* inRoom() noexcept { return reinterpret_cast<T*>(room_); }
    bool grow() noexcept {
        const std::size_t capacity = capacity_ * 2;
        T* more = static_cast<T*>(allocateWorkRoom(capacity * sizeof(T)));
        if (more == nullptr) return false;
        for (std::size_t i = 0; i < size_; ++i) {
            new (more + i) T(std::move(data_[i]));
            data_[i].~T();
        }
        if (data_ != inRoom()) freeWorkRoom(data_);
        data_ = more;
        capacity_ = capacity;
        return true;
    }

    static_assert(Room > 0);
    alignas(T) unsigned char room_[Room * sizeof(T)];
    T* data_ = inRoom();
    std::size_t size_ = 0;
    std::size_t capacity_ = Room;
};

// `eachChild(node, take)` calls `take(ptr)` for each shared-pointer field of `node` that holds
// a child (a std::shared_ptr to Node or to const Node).
template <class Node, class EachChild>
void releaseSoleChildren(Node& root, EachChild eachChild) noexcept {
    ReleaseList<std::shared_ptr<const Node>> pending;
    auto take = [&pending](auto& child) {
        if (!child || child.use_count() != 1) return;
        std::shared_ptr<const Node> sole = std::move(child);
        if (!pending.push(sole)) releaseUnlisted(sole);
    };
    eachChild(root, take);
    while (!pending.empty()) {
        std::shared_ptr<const Node> next = pending.pop();
        // The work list held the last reference, so nobody can observe this node any more.
        eachChild(const_cast<Node&>(*next), take);
    }
}

// --- details ---------------------------------------------------------------------------------

namespace release_detail {
int& nestedReleases() noexcept;
}  // namespace release_detail

template <class Add>
bool addWithoutFailing(Add add) noexcept {
    try {
        add();
        return true;
    } catch (const std::bad_alloc&) {
    }
    giveBackMemoryReserve();
    try {
        add();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

template <class Handle>
void releaseUnlisted(Handle& item) noexcept {
    int& nested = release_detail::nestedReleases();
    if (nested < kNestedReleases) {
        ++nested;
        {
            Handle released = std::move(item);
        }
        --nested;
        return;
    }
    // Moved into storage that is never destroyed: the reference it holds is never given back.
    alignas(Handle) unsigned char kept[sizeof(Handle)];
    new (kept) Handle(std::move(item));
}

}  // namespace plim
