#include "support/list_utils.h"

namespace plim {

std::int32_t strToInt(std::string_view s) {
    std::uint32_t value = 0;
    for (char c : s) value = value * 10u + (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) - '0');
    return static_cast<std::int32_t>(value);
}

}  // namespace plim
