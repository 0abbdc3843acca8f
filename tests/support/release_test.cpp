// Releasing trees without failing: with the allocator finding no memory, the work lists of the
// release walks fall back to releasing at once (and, nested too deep, to leaving the rest
// allocated) instead of ending the program from a destructor.
#include "support/release.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/failing_allocations.h"
#include "support/lazy.h"
#include "support/memory_reserve.h"
#include "support/sanitizer_build.h"

namespace plim::test {
namespace {

// A node of a tree released by releaseSoleChildren; counts the nodes alive.
struct Node {
    static inline long alive = 0;
    std::vector<std::shared_ptr<const Node>> children;

    explicit Node(std::vector<std::shared_ptr<const Node>> c) : children(std::move(c)) {
        ++alive;
        // Kept where the leak checker of the sanitizer build looks, for the nodes that a release
        // nested too deeply leaves allocated on purpose.
        static auto* everMade = new std::vector<const Node*>();
        everMade->push_back(this);
    }
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node() {
        --alive;
        releaseSoleChildren(*this, [](Node& n, auto take) {
            for (auto& c : n.children) take(c);
        });
    }
};

std::shared_ptr<const Node> leaf() { return std::make_shared<const Node>(std::vector<std::shared_ptr<const Node>>{}); }

// A spine n long whose every node holds a leaf first and the rest of the spine second: a walk
// taking children in order leaves a leaf waiting at every level, so its list grows to n.
std::shared_ptr<const Node> spineOfLeaves(int n) {
    std::shared_ptr<const Node> spine = leaf();
    for (int i = 0; i < n; ++i) spine = std::make_shared<const Node>(std::vector{leaf(), spine});
    return spine;
}

TEST(ReleaseSoleChildren, WithoutMemoryTheListReleasesAtOnceWhatItCannotHold) {
    const long before = Node::alive;
    std::shared_ptr<const Node> tree = spineOfLeaves(500);
    std::size_t refused = 0;
    {
        const RefusedAllocations none;
        tree.reset();
        refused = none.refused();
    }
    EXPECT_GT(refused, 0u);  // the list would have grown
    EXPECT_EQ(Node::alive, before);
}

// Nested deeper than kNestedReleases, what is still unreleased stays allocated, and nothing
// fails.  With memory the same tree is released whole.
TEST(ReleaseSoleChildren, NestedTooDeepTheRestIsLeftAllocated) {
    const long before = Node::alive;
    std::shared_ptr<const Node> tree = spineOfLeaves(20000);
    {
        const RefusedAllocations none;
        tree.reset();
    }
    EXPECT_GT(Node::alive, before);
    const long leftOver = Node::alive;
    tree = spineOfLeaves(20000);
    tree.reset();
    EXPECT_EQ(Node::alive, leftOver);
}

// An allocation that fails in a release gives the memory reserve back and is tried again, as
// it is when a command runs out: here the second try finds memory, and every node is released.
TEST(ReleaseSoleChildren, TheMemoryReserveIsGivenBackForTheList) {
    ASSERT_TRUE(holdMemoryReserve());
    const long before = Node::alive;
    std::shared_ptr<const Node> tree = spineOfLeaves(20000);
    std::size_t refused = 0;
    {
        const RefusedAllocations untilReserve(RefusedAllocations::Until::ReserveGivenBack);
        tree.reset();
        refused = untilReserve.refused();
    }
    EXPECT_EQ(refused, 1u);
    EXPECT_FALSE(memoryReserveHeld());
    EXPECT_EQ(Node::alive, before);
}

TEST(ReleaseSoleChildren, AddWithoutFailingTriesOnceMoreAfterTheReserve) {
    std::vector<int> v;
    {
        const RefusedAllocations none;
        EXPECT_FALSE(addWithoutFailing([&] { v.push_back(1); }));
    }
    EXPECT_TRUE(v.empty());
    ASSERT_TRUE(holdMemoryReserve());
    {
        const RefusedAllocations untilReserve(RefusedAllocations::Until::ReserveGivenBack);
        EXPECT_TRUE(addWithoutFailing([&] { v.push_back(2); }));
    }
    EXPECT_EQ(v, std::vector<int>{2});
}

// A chain of lazy values, each computed from the one before, is released one cell at a time
// from the thread's own room: without asking the allocator at all.
TEST(LazyRelease, AChainOfCellsIsReleasedWithoutTheAllocator) {
    const long before = Node::alive;
    Lazy<int> chain(0);
    for (int i = 0; i < inputSize(100000); ++i)
        chain = Lazy<int>::defer([before = chain, payload = leaf()] { return before.get() + 1; });
    Lazy<int> done(0);
    std::size_t refused = 0;
    {
        const RefusedAllocations none;
        chain = std::move(done);
        refused = none.refused();
    }
    EXPECT_EQ(refused, 0u);
    EXPECT_EQ(Node::alive, before);
}

}  // namespace
}  // namespace plim::test
