// A vector with room for its first few elements in itself (SmallVec).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

namespace plim {

// A vector whose first N elements need no heap block, for lists that are mostly that short.
template <class T, std::size_t N>
class SmallVec {
    static_assert(N > 0, "growth doubles the room: some room in itself to begin with");

public:
    SmallVec() = default;
    SmallVec(const SmallVec& other) { append(other); }
    SmallVec(SmallVec&& other) noexcept { take(other); }
    SmallVec& operator=(const SmallVec& other) {
        if (this != &other) {
            clear();
            append(other);
        }
        return *this;
    }
    SmallVec& operator=(SmallVec&& other) noexcept {
        if (this != &other) {
            clear();
            take(other);
        }
        return *this;
    }
    ~SmallVec() { clear(); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* begin() { return data(); }
    T* end() { return data() + size_; }
    const T* begin() const { return data(); }
    const T* end() const { return data() + size_; }
    T* data() { return heap_ != nullptr ? heap_ : local(); }
    const T* data() const { return heap_ != nullptr ? heap_ : local(); }
    T& operator[](std::size_t i) { return data()[i]; }
    const T& operator[](std::size_t i) const { return data()[i]; }
    T& back() { return end()[-1]; }

    void reserve(std::size_t n) {
        if (n > capacity()) moveTo(n);
    }
    void push_back(T x) {
        if (size_ == capacity()) moveTo(2 * capacity());
        new (data() + size_) T(std::move(x));
        ++size_;
    }
    void pop_back() { data()[--size_].~T(); }
    // Appends the range, of other elements than its own (their room may move).
    template <class It>
    void append(It first, It last) {
        for (; first != last; ++first) push_back(*first);
    }
    // Keeps the first n (n <= size()).
    void resize(std::size_t n) {
        T* d = data();
        while (size_ > n) d[--size_].~T();
    }
    void clear() {
        resize(0);
        if (heap_ != nullptr) {
            std::allocator<T>().deallocate(heap_, heapCapacity_);
            heap_ = nullptr;
        }
    }

private:
    T* local() { return std::launder(reinterpret_cast<T*>(raw_)); }
    const T* local() const { return std::launder(reinterpret_cast<const T*>(raw_)); }
    std::size_t capacity() const { return heap_ != nullptr ? heapCapacity_ : N; }
    void append(const SmallVec& other) {
        reserve(other.size());
        append(other.begin(), other.end());
    }
    // Takes other's elements; other is left empty.
    void take(SmallVec& other) {
        if (other.heap_ != nullptr) {
            heap_ = std::exchange(other.heap_, nullptr);
            heapCapacity_ = other.heapCapacity_;
            size_ = std::exchange(other.size_, 0u);
            return;
        }
        for (std::size_t i = 0; i < other.size_; ++i) new (local() + i) T(std::move(other.local()[i]));
        size_ = other.size_;
        other.resize(0);
    }
    // Moves the elements to a heap block of room for `capacity`.
    void moveTo(std::size_t capacity) {
        T* fresh = std::allocator<T>().allocate(capacity);
        T* from = data();
        for (std::size_t i = 0; i < size_; ++i) {
            new (fresh + i) T(std::move(from[i]));
            from[i].~T();
        }
        if (heap_ != nullptr) std::allocator<T>().deallocate(heap_, heapCapacity_);
        heap_ = fresh;
        heapCapacity_ = static_cast<std::uint32_t>(capacity);
    }

    alignas(T) unsigned char raw_[N * sizeof(T)];
    T* heap_ = nullptr;  // the elements, when there are more than N
    std::uint32_t heapCapacity_ = 0;
    std::uint32_t size_ = 0;
};

}  // namespace plim
