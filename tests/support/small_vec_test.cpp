#include "support/small_vec.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace plim {
namespace {

// Strings long enough to live in blocks of their own, so that an element copied without its
// constructor, or destroyed twice or never, shows under the sanitizers and in the count.
struct Counted {
    static inline int live = 0;
    std::string text;
    explicit Counted(int i) : text("element number " + std::to_string(i) + " of the vector") { ++live; }
    Counted(const Counted& other) : text(other.text) { ++live; }
    Counted(Counted&& other) noexcept : text(std::move(other.text)) { ++live; }
    Counted& operator=(const Counted&) = default;
    Counted& operator=(Counted&&) noexcept = default;
    ~Counted() { --live; }
};

using Vec = SmallVec<Counted, 2>;

Vec numbered(int n) {
    Vec v;
    for (int i = 0; i < n; ++i) v.push_back(Counted(i));
    return v;
}

std::vector<std::string> texts(const Vec& v) {
    std::vector<std::string> out;
    for (const Counted& c : v) out.push_back(c.text);
    return out;
}

std::vector<std::string> expected(int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(Counted(i).text);
    return out;
}

// Each operation on a vector held in itself (n <= 2) and on one in a heap block.
TEST(SmallVec, KeepsItsElementsInItselfOrInABlockThroughCopiesMovesAndCuts) {
    for (const int n : {0, 1, 2, 3, 9}) {
        {
            Vec v = numbered(n);
            EXPECT_EQ(texts(v), expected(n)) << n;
            const Vec copy = v;
            EXPECT_EQ(texts(copy), expected(n)) << n;
            Vec moved = std::move(v);
            EXPECT_EQ(texts(moved), expected(n)) << n;
            EXPECT_TRUE(v.empty()) << n;  // NOLINT: a moved-from vector is left empty
            v = moved;
            EXPECT_EQ(texts(v), expected(n)) << n;
            Vec& self = v;
            v = self;
            EXPECT_EQ(texts(v), expected(n)) << n;
            v = numbered(1);
            EXPECT_EQ(texts(v), expected(1)) << n;
            moved.resize(n / 2);
            EXPECT_EQ(texts(moved), expected(n / 2)) << n;
            moved.append(copy.begin(), copy.end());
            EXPECT_EQ(moved.size(), static_cast<std::size_t>(n / 2 + n)) << n;
            moved.clear();
            EXPECT_TRUE(moved.empty()) << n;
            moved.push_back(Counted(0));
            EXPECT_EQ(texts(moved), expected(1)) << n;
        }
        EXPECT_EQ(Counted::live, 0) << n;
    }
}

}  // namespace
}  // namespace plim
