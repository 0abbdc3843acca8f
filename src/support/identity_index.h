// An index from node identities (addresses of live shared nodes) to small numbers, built once
// and read many times: open addressing in one array, no allocation per entry.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace plim {

class IdentityIndex {
public:
    IdentityIndex() = default;
    // Room for `count` entries.
    explicit IdentityIndex(std::size_t count) {
        std::size_t capacity = 16;
        while (capacity < 2 * count) capacity *= 2;
        slots_.assign(capacity, Slot{nullptr, 0});
    }
    // The first value added for an identity stays.
    void add(const void* id, std::uint32_t value) {
        std::size_t at = slotOf(id);
        for (; slots_[at].id; at = next(at))
            if (slots_[at].id == id) return;
        slots_[at] = Slot{id, value};
    }
    std::optional<std::uint32_t> find(const void* id) const {
        if (slots_.empty()) return std::nullopt;
        for (std::size_t at = slotOf(id); slots_[at].id; at = next(at))
            if (slots_[at].id == id) return slots_[at].value;
        return std::nullopt;
    }

private:
    struct Slot {
        const void* id;
        std::uint32_t value;
    };
    std::vector<Slot> slots_;

    std::size_t next(std::size_t at) const { return (at + 1) & (slots_.size() - 1); }
    std::size_t slotOf(const void* id) const {
        const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(id));
        return static_cast<std::size_t>((bits >> 4) * 0x9E3779B97F4A7C15ull) & (slots_.size() - 1);
    }
};

}  // namespace plim
