// What the tests do differently in the sanitizer build, whose run is many times slower and
// takes memory of its own: the long randomised tests run an eighth of their rounds (the full
// count runs in the optimised build), and the tests of memory use and of address-space caps
// are skipped, as the sanitizers reserve and hold back memory that these tests would count.
#pragma once

namespace plim::test {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitizerBuild = true;
#else
inline constexpr bool kSanitizerBuild = false;
#endif

constexpr int rounds(int full) { return kSanitizerBuild && full >= 8 ? full / 8 : full; }

}  // namespace plim::test
