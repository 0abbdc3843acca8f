#include "support/big_stack.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/errors.h"

namespace plim {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(LargeStack, ReturnsResultsAndRethrows) {
    std::function<long(long)> depth = [&](long n) -> long { return n == 0 ? 0 : 1 + depth(n - 1); };
    EXPECT_EQ(runOnLargeStack([&] { return depth(1'000'000); }), 1'000'000);
    EXPECT_THROW(runOnLargeStack([]() -> int { failInternal("inner"); }), InternalError);
}

TEST(LargeStack, TheWorkKnowsTheStackItGot) {
    EXPECT_FALSE(onLargeStackNow());
    EXPECT_GT(stackBytesNow(), 0u);
    EXPECT_EQ(runOnLargeStack([] { return stackBytesNow(); }, 64 * kMiB), 64 * kMiB);
    EXPECT_TRUE(runOnLargeStack([] { return onLargeStackNow(); }, 64 * kMiB));
    EXPECT_EQ(runOnLargeStack([] { return onLargeStack([] { return stackBytesNow(); }); }, 64 * kMiB), 64 * kMiB);
}

// Under an address-space cap the first try is a quarter of the cap in whole MiB, so that most
// of the room stays for the heap; without a cap, or with a large one, it is the request.
TEST(LargeStack, TheFirstTryFitsTheAddressSpaceCap) {
    EXPECT_EQ(firstStackTry(kLargeStackBytes, std::nullopt), kLargeStackBytes);
    EXPECT_EQ(firstStackTry(kLargeStackBytes, 1024 * kMiB), 256 * kMiB);
    EXPECT_EQ(firstStackTry(kLargeStackBytes, 2048 * kMiB + 12345), 512 * kMiB);
    EXPECT_EQ(firstStackTry(kLargeStackBytes, 64 * 1024 * kMiB), kLargeStackBytes);
    EXPECT_EQ(firstStackTry(8 * kMiB, 1024 * kMiB), 8 * kMiB);
}

}  // namespace
}  // namespace plim
