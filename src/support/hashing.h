#pragma once

#include <cstdint>

namespace plim {

// Mixes one more value into a running 64-bit hash.
inline std::uint64_t mixHash(std::uint64_t h, std::uint64_t v) {
    return (h ^ (v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2))) * 0xFF51AFD7ED558CCDull;
}

}  // namespace plim
