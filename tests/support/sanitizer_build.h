// What the tests do differently in the sanitizer build, whose run is many times slower and
// takes memory of its own.  The full counts and sizes run in the optimised build; under the
// sanitizers
//   - the long randomised tests run an eighth of their rounds (rounds),
//   - the tests of long and deep inputs build inputs an eighth as long (inputSize): the
//     sanitizers look for faults of memory, which show on shorter inputs as well, while the
//     optimised build keeps checking that no walk recurses on the depth of its input,
//   - the tests that show this on the stack of an ordinary thread run on an eighth of it
//     (kOrdinaryStack) with inputs an eighth as deep: the sanitizers' frames are larger than
//     the optimised build's, so a walk that recursed on the depth would overflow it all the same,
//   - the tests over a whole corpus of cases take every eighth case (sampled),
//   - the tests of memory use and of address-space caps are skipped, as the sanitizers reserve
//     and hold back memory that these tests would count.
// The tests that do any of this carry the ctest label `long` (tests/CMakeLists.txt).
#pragma once

#include <cstddef>
#include <vector>

namespace plim::test {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitizerBuild = true;
#else
inline constexpr bool kSanitizerBuild = false;
#endif

inline constexpr int kSanitizerShare = 8;

constexpr int rounds(int full) { return kSanitizerBuild && full >= kSanitizerShare ? full / kSanitizerShare : full; }

constexpr int inputSize(int full) { return rounds(full); }

// The stack of an ordinary thread, 8 MiB (an eighth of it under the sanitizers).
inline constexpr std::size_t kOrdinaryStack = (std::size_t{8} << 20) / (kSanitizerBuild ? kSanitizerShare : 1);

// A copy of the cases, so that it may be given a temporary list.
template <class T>
std::vector<T> sampled(const std::vector<T>& all) {
    if (!kSanitizerBuild) return all;
    std::vector<T> out;
    for (std::size_t i = 0; i < all.size(); i += kSanitizerShare) out.push_back(all[i]);
    return out;
}

}  // namespace plim::test
