// A table keyed by the addresses of live nodes, with entries added, replaced and taken out:
// open addressing in one array filled to at most four fifths, no allocation per entry.  The values are expected to keep their
// key's node alive (so that its address stays unique while the entry stands).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace plim {

template <class Value>
class AddressTable {
public:
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    // The value for the address, or null.
    Value* find(const void* key) {
        if (slots_.empty()) return nullptr;
        for (std::size_t at = slotOf(key); slots_[at].key != nullptr; at = next(at))
            if (slots_[at].key == key) return &slots_[at].value;
        return nullptr;
    }
    const Value* find(const void* key) const { return const_cast<AddressTable*>(this)->find(key); }

    // Adds the entry, or replaces the value when the address has one.  True when added.
    bool set(const void* key, Value value) {
        if (Value* v = find(key)) {
            *v = std::move(value);
            return false;
        }
        if (5 * (used_ + 1) > 4 * slots_.size()) grow();
        std::size_t at = slotOf(key);
        while (slots_[at].key != nullptr && slots_[at].key != tombstone()) at = next(at);
        if (slots_[at].key == nullptr) ++used_;
        slots_[at] = Slot{key, std::move(value)};
        ++size_;
        return true;
    }

    // Takes the entry of the address out, when there is one.
    void erase(const void* key) {
        if (slots_.empty()) return;
        for (std::size_t at = slotOf(key); slots_[at].key != nullptr; at = next(at))
            if (slots_[at].key == key) {
                slots_[at] = Slot{tombstone(), Value()};
                --size_;
                return;
            }
    }

    void clear() {
        slots_.clear();
        size_ = used_ = 0;
    }

private:
    struct Slot {
        const void* key = nullptr;
        Value value{};
    };
    std::vector<Slot> slots_;
    std::size_t size_ = 0;  // entries
    std::size_t used_ = 0;  // entries and tombstones

    static const void* tombstone() { return reinterpret_cast<const void*>(std::uintptr_t{1}); }
    std::size_t next(std::size_t at) const { return (at + 1) & (slots_.size() - 1); }
    std::size_t slotOf(const void* key) const {
        const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key));
        return static_cast<std::size_t>(((bits >> 4) * 0x9E3779B97F4A7C15ull) >> 20) & (slots_.size() - 1);
    }
    // Room for twice the entries, without the tombstones.
    void grow() {
        std::size_t capacity = 16;
        while (capacity < 2 * (size_ + 1)) capacity *= 2;
        std::vector<Slot> old(capacity);
        old.swap(slots_);
        used_ = size_;
        for (Slot& s : old) {
            if (s.key == nullptr || s.key == tombstone()) continue;
            std::size_t at = slotOf(s.key);
            while (slots_[at].key != nullptr) at = next(at);
            slots_[at] = std::move(s);
        }
    }
};

// The same for a set of addresses.
class AddressSet {
public:
    std::size_t size() const { return size_; }
    bool contains(const void* key) const { return find(key) != kNone; }
    // Adds the address; true when it was not in the set.
    bool insert(const void* key) {
        if (find(key) != kNone) return false;
        if (5 * (used_ + 1) > 4 * slots_.size()) grow();
        std::size_t at = slotOf(key);
        while (slots_[at] != nullptr && slots_[at] != tombstone()) at = next(at);
        if (slots_[at] == nullptr) ++used_;
        slots_[at] = key;
        ++size_;
        return true;
    }
    void erase(const void* key) {
        const std::size_t at = find(key);
        if (at == kNone) return;
        slots_[at] = tombstone();
        --size_;
    }

private:
    static constexpr std::size_t kNone = ~std::size_t{0};
    std::vector<const void*> slots_;
    std::size_t size_ = 0;
    std::size_t used_ = 0;

    static const void* tombstone() { return reinterpret_cast<const void*>(std::uintptr_t{1}); }
    std::size_t next(std::size_t at) const { return (at + 1) & (slots_.size() - 1); }
    std::size_t slotOf(const void* key) const {
        const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(key));
        return static_cast<std::size_t>(((bits >> 4) * 0x9E3779B97F4A7C15ull) >> 20) & (slots_.size() - 1);
    }
    std::size_t find(const void* key) const {
        if (slots_.empty()) return kNone;
        for (std::size_t at = slotOf(key); slots_[at] != nullptr; at = next(at))
            if (slots_[at] == key) return at;
        return kNone;
    }
    // Room for twice the entries, without the tombstones.
    void grow() {
        std::size_t capacity = 16;
        while (capacity < 2 * (size_ + 1)) capacity *= 2;
        std::vector<const void*> old(capacity, nullptr);
        old.swap(slots_);
        used_ = size_;
        for (const void* k : old) {
            if (k == nullptr || k == tombstone()) continue;
            std::size_t at = slotOf(k);
            while (slots_[at] != nullptr) at = next(at);
            slots_[at] = k;
        }
    }
};

}  // namespace plim
