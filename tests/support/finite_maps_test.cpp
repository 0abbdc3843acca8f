#include "support/finite_maps.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace plim {
namespace {

using IntMap = FiniteMap<int, std::string>;
const NaturalOrd ord;

std::string showInt(int k) { return std::to_string(k); }
std::string showStr(const std::string& s) { return s; }
std::string tree(const IntMap& m) { return showTreeFM(showInt, showStr, m); }

IntMap insertAll(const std::vector<int>& keys) {
    IntMap m;
    for (int k : keys) m = addToFM(ord, k, std::string("v").append(std::to_string(k)), m);
    return m;
}

// Keys compared by their number alone, so that equal keys can still be told apart.
struct ByNumber {
    bool eq(const std::pair<int, char>& a, const std::pair<int, char>& b) const { return a.first == b.first; }
    bool lt(const std::pair<int, char>& a, const std::pair<int, char>& b) const { return a.first < b.first; }
    bool gt(const std::pair<int, char>& a, const std::pair<int, char>& b) const { return a.first > b.first; }
};

// An ordering that answers no question with yes.
struct Inconsistent {
    bool eq(int, int) const { return false; }
    bool lt(int, int) const { return false; }
    bool gt(int, int) const { return false; }
};

const char* const kThreeTree =
    "2 --> v2 (size: 3)\n"
    "  1 --> v1 (size: 1)\n"
    "  3 --> v3 (size: 1)\n";

TEST(FiniteMaps, ShapesAfterThreeInsertions) {
    EXPECT_EQ(tree(insertAll({1, 2, 3})), kThreeTree);  // single rotation
    EXPECT_EQ(tree(insertAll({1, 3, 2})), kThreeTree);  // double rotation
    EXPECT_EQ(tree(insertAll({1, 2})), "1 --> v1 (size: 2)\n  2 --> v2 (size: 1)\n");
    EXPECT_EQ(tree(IntMap()), "");
}

TEST(FiniteMaps, BalanceThresholds) {
    auto side = [](int from, int count) {
        std::vector<int> keys;
        for (int i = 0; i < count; ++i) keys.push_back(from + i);
        return insertAll(keys);
    };
    // 1 against 5: plain node; 1 against 6: rotated.
    IntMap plain = balanceNode(10, std::string("r"), side(1, 1), side(20, 5));
    EXPECT_EQ(plain.key(), 10);
    EXPECT_EQ(plain.size(), 7);
    IntMap rotated = balanceNode(10, std::string("r"), side(1, 1), side(20, 6));
    EXPECT_NE(rotated.key(), 10);
    EXPECT_EQ(rotated.size(), 8);
    // 0 against 1: plain; 0 against 2: rotated.
    EXPECT_EQ(balanceNode(10, std::string("r"), IntMap(), side(20, 1)).key(), 10);
    EXPECT_EQ(balanceNode(10, std::string("r"), IntMap(), side(20, 2)).key(), 20);
    // The mirror image on the left.
    EXPECT_EQ(balanceNode(30, std::string("r"), side(1, 5), side(40, 1)).key(), 30);
    EXPECT_NE(balanceNode(30, std::string("r"), side(1, 6), side(40, 1)).key(), 30);
}

TEST(FiniteMaps, ReplacingAKeyKeepsShapeAndPassesNewElementFirst) {
    using Key = std::pair<int, char>;
    using M = FiniteMap<Key, std::string>;
    auto cat = [](const std::string& neu, const std::string& old) { return neu + old; };
    M m = listToCombFM(ByNumber{}, cat,
                       std::vector<std::pair<Key, std::string>>{{{1, 'a'}, "x"}, {{2, 'a'}, "y"}, {{3, 'a'}, "z"}});
    M replaced = addToCombFM(ByNumber{}, cat, Key{2, 'b'}, std::string("N"), m);
    EXPECT_EQ(replaced.size(), 3);
    EXPECT_EQ(replaced.key(), (Key{2, 'b'}));  // the key given last is stored
    EXPECT_EQ(replaced.elt(), "Ny");           // comb(new, old)
    EXPECT_TRUE(replaced.smaller().sameTree(m.smaller()));
    EXPECT_TRUE(replaced.greater().sameTree(m.greater()));
}

TEST(FiniteMaps, ListToFMLastPairWinsAndCombOrder) {
    std::vector<std::pair<int, std::string>> pairs{{1, "a"}, {2, "b"}, {1, "c"}};
    EXPECT_EQ(fmToList(ord, listToFM(ord, pairs)), (std::vector<std::pair<int, std::string>>{{1, "c"}, {2, "b"}}));
    auto cat = [](const std::string& a, const std::string& b) { return a + b; };
    EXPECT_EQ(fmToList(ord, listToCombFM(ord, cat, pairs)),
              (std::vector<std::pair<int, std::string>>{{1, "ca"}, {2, "b"}}));
}

TEST(FiniteMaps, PlusMinusIntersect) {
    using Pairs = std::vector<std::pair<int, std::string>>;
    auto cat = [](const std::string& a, const std::string& b) { return a + "+" + b; };
    IntMap m1 = listToFM(ord, Pairs{{1, "x"}});
    IntMap m2 = listToFM(ord, Pairs{{1, "y"}, {2, "z"}});
    EXPECT_EQ(fmToList(ord, plusFM(ord, m1, m2)), (Pairs{{1, "x"}, {2, "z"}}));
    EXPECT_EQ(fmToList(ord, plusCombFM(ord, cat, m1, m2)), (Pairs{{1, "x+y"}, {2, "z"}}));

    IntMap a = listToFM(ord, Pairs{{1, "a"}, {2, "b"}});
    IntMap c = listToFM(ord, Pairs{{2, "c"}, {3, "d"}});
    EXPECT_EQ(fmToList(ord, intersectCombFM(ord, cat, a, c)), (Pairs{{2, "b+c"}}));
    EXPECT_EQ(fmToList(ord, intersectFM(ord, a, c)), (Pairs{{2, "b"}}));
    EXPECT_TRUE(intersectCombFM(ord, cat, IntMap(), c).isEmpty());
    EXPECT_TRUE(intersectCombFM(ord, cat, a, IntMap()).isEmpty());

    EXPECT_EQ(fmToList(ord, minusFM(ord, a, c)), (Pairs{{1, "a"}}));
    EXPECT_TRUE(minusFM(ord, a, IntMap()).sameTree(a));
    EXPECT_TRUE(minusFM(ord, IntMap(), a).isEmpty());
}

TEST(FiniteMaps, FoldLookupDeleteFilterMap) {
    IntMap m = insertAll({5, 3, 8, 1});
    List<std::pair<int, std::string>> listed =
        foldFM(fmToListStep<int, std::string>, List<std::pair<int, std::string>>(), m);
    EXPECT_EQ(toVector(listed), fmToList(ord, m));
    EXPECT_EQ(fmToList(ord, m).front().first, 1);
    EXPECT_TRUE(fmToList(ord, IntMap()).empty());

    EXPECT_EQ(lookupFM(ord, m, 3), std::optional<std::string>("v3"));
    EXPECT_EQ(lookupFM(ord, m, 4), std::nullopt);
    EXPECT_EQ(lookupWithDefaultFM(ord, m, "none", 4), "none");

    EXPECT_EQ(fmToList(ord, delFromFM(ord, 4, m)), fmToList(ord, m));
    EXPECT_EQ(delFromFM(ord, 5, m).size(), 3);

    IntMap odd = filterFM(ord, [](int k, const std::string&) { return k % 2 == 1; }, m);
    EXPECT_EQ(fmToList(ord, odd).size(), 3u);

    auto lengths = mapFM([](int k, const std::string& e) { return k + static_cast<int>(e.size()); }, m);
    EXPECT_EQ(lengths.size(), m.size());
    EXPECT_EQ(lookupFM(ord, lengths, 8), std::optional<int>(10));

    EXPECT_EQ(m, insertAll({1, 3, 5, 8}));
    EXPECT_LT(insertAll({1, 2}), insertAll({1, 3}));
}

// An ordering that must not be asked anything.
struct NeverAsked {
    bool eq(int, int) const { return asked(); }
    bool lt(int, int) const { return asked(); }
    bool gt(int, int) const { return asked(); }
    static bool asked() {
        ADD_FAILURE() << "the ordering was asked";
        return false;
    }
};

TEST(FiniteMaps, MapOrdFMIgnoresTheOrderingAndKeepsTheTree) {
    const IntMap m = insertAll({5, 3, 8, 1, 9, 7});
    const IntMap tagged = mapOrdFM(NeverAsked{}, [](int k, const std::string& e) { return e + "/" + std::to_string(k * 10); }, m);
    EXPECT_EQ(tree(tagged),
              "5 --> v5/50 (size: 6)\n"
              "  3 --> v3/30 (size: 2)\n"
              "    1 --> v1/10 (size: 1)\n"
              "  8 --> v8/80 (size: 3)\n"
              "    7 --> v7/70 (size: 1)\n"
              "    9 --> v9/90 (size: 1)\n");
    EXPECT_EQ(tree(m), tree(insertAll({5, 3, 8, 1, 9, 7})));  // the argument is left as it was
    EXPECT_TRUE(mapOrdFM(NeverAsked{}, [](int, const std::string& e) { return e; }, IntMap()).isEmpty());
}

TEST(FiniteMaps, InconsistentOrderingIsAnInternalError) {
    FiniteMap<int, int> m = FiniteMap<int, int>::Node(1, 1, 1, {}, {});
    try {
        lookupFM(Inconsistent{}, m, 1);
        FAIL() << "expected a pattern-match failure";
    } catch (const PatternMatchFailure& e) {
        EXPECT_EQ(e.coded(), "FiniteMaps:413|function lookupFM");
    }
}

// Checks the stored sizes and the search order; returns the size.
int checkTree(const FiniteMap<int, int>& m, std::optional<int> lo, std::optional<int> hi) {
    if (m.isEmpty()) return 0;
    if (lo) {
        EXPECT_GT(m.key(), *lo);
    }
    if (hi) {
        EXPECT_LT(m.key(), *hi);
    }
    int size = 1 + checkTree(m.smaller(), lo, m.key()) + checkTree(m.greater(), m.key(), hi);
    EXPECT_EQ(size, m.size());
    return size;
}

TEST(FiniteMaps, RandomisedAgainstReference) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> key(0, 300);
    std::uniform_int_distribution<int> what(0, 9);
    FiniteMap<int, int> m;
    std::map<int, int> ref;
    auto contents = [](const std::map<int, int>& r) { return std::vector<std::pair<int, int>>(r.begin(), r.end()); };
    auto randomMap = [&](std::map<int, int>& r) {
        FiniteMap<int, int> out;
        for (int i = 0, n = what(rng) * 10; i < n; ++i) {
            int k = key(rng);
            out = addToFM(ord, k, -k, out);
            r[k] = -k;
        }
        return out;
    };
    for (int step = 0; step < 3000; ++step) {
        int k = key(rng);
        switch (what(rng)) {
        case 0: case 1: case 2: case 3:
            m = addToFM(ord, k, step, m);
            ref[k] = step;
            break;
        case 4: case 5:
            m = delFromFM(ord, k, m);
            ref.erase(k);
            break;
        case 6: {
            std::map<int, int> other;
            FiniteMap<int, int> o = randomMap(other);
            m = plusFM(ord, m, o);
            ref.insert(other.begin(), other.end());  // keeps ref's own entries
            break;
        }
        case 7: {
            std::map<int, int> other;
            FiniteMap<int, int> o = randomMap(other);
            m = minusFM(ord, m, o);
            for (auto& [ok, ov] : other) ref.erase(ok);
            break;
        }
        case 8: {
            if (ref.size() < 50) break;
            std::map<int, int> other;
            FiniteMap<int, int> o = randomMap(other);
            m = plusFM(ord, m, intersectFM(ord, m, o));
            break;
        }
        default:
            EXPECT_EQ(lookupFM(ord, m, k).has_value(), ref.count(k) == 1);
        }
        ASSERT_EQ(fmToList(ord, m), contents(ref)) << "step " << step;
        checkTree(m, std::nullopt, std::nullopt);
    }
}

}  // namespace
}  // namespace plim
