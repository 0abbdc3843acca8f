#include "support/block_pool.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace plim {
namespace {

struct Node {
    std::shared_ptr<const Node> next;
    long payload[6] = {};
};

std::shared_ptr<const Node> chain(int n) {
    std::shared_ptr<const Node> head;
    for (int i = 0; i < n; ++i) {
        auto node = std::allocate_shared<Node>(PoolAllocator<Node>());
        node->next = std::move(head);
        node->payload[0] = i;
        head = std::move(node);
    }
    return head;
}

long sum(const std::shared_ptr<const Node>& head) {
    long total = 0;
    for (const Node* at = head.get(); at != nullptr; at = at->next.get()) total += at->payload[0];
    return total;
}

// Releases a chain without one destructor call per element on the stack.
void release(std::shared_ptr<const Node> head) {
    while (head && head.use_count() == 1) head = std::shared_ptr<const Node>(head->next);
}

TEST(BlockPool, BlocksAreDistinctAndReusedAfterRelease) {
    std::set<const void*> seen;
    std::vector<std::shared_ptr<const Node>> nodes;
    for (int i = 0; i < 5000; ++i) {
        nodes.push_back(std::allocate_shared<Node>(PoolAllocator<Node>()));
        EXPECT_TRUE(seen.insert(nodes.back().get()).second);
    }
    const void* last = nodes.back().get();
    nodes.pop_back();
    // The block just given back is the next one taken.
    if (kPoolBlocks) {
        EXPECT_EQ(std::allocate_shared<Node>(PoolAllocator<Node>()).get(), last);
    }
}

TEST(BlockPool, NodesBuiltOnOneThreadAreFreedAndReusedOnOthers) {
    std::shared_ptr<const Node> built;
    std::thread([&] { built = chain(20000); }).join();
    EXPECT_EQ(sum(built), 20000L * 19999 / 2);
    // Freed on a second thread, which ends holding the blocks; a third thread takes them up.
    std::thread([&] { release(std::move(built)); }).join();
    std::shared_ptr<const Node> again;
    std::thread([&] {
        again = chain(20000);
        EXPECT_EQ(sum(again), 20000L * 19999 / 2);
        release(std::move(again));
    }).join();
}

// After a large tree is dropped, the chunks that hold only its blocks go back to the general
// allocator; a chunk that still holds a block in use stays, and blocks are handed out after.
TEST(BlockPool, ChunksWhoseBlocksAreAllFreeGoBack) {
    if (!kPoolBlocks) GTEST_SKIP() << "blocks come from the general allocator";
    std::thread([] {
        std::shared_ptr<const Node> big = chain(20000);
        const std::shared_ptr<const Node> kept = chain(3);
        const std::size_t held = pooledBytes();
        release(std::move(big));
        releaseFreeChunks();
        EXPECT_LT(pooledBytes(), held);
        EXPECT_EQ(sum(kept), 3L);
        std::shared_ptr<const Node> again = chain(20000);
        EXPECT_EQ(sum(again), 20000L * 19999 / 2);
        release(std::move(again));
    }).join();
}

TEST(BlockPool, ArraysGoToTheGeneralAllocator) {
    PoolAllocator<Node> pool;
    Node* many = pool.allocate(3);
    ASSERT_NE(many, nullptr);
    pool.deallocate(many, 3);
}

}  // namespace
}  // namespace plim
