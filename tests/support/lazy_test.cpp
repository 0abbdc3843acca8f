#include "support/lazy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/sanitizer_build.h"

namespace plim {
namespace {

TEST(Lazy, ComputesOnceOnFirstRead) {
    int runs = 0;
    auto v = delay([&] { ++runs; return 42; });
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(v.isEvaluated());
    EXPECT_EQ(v.get(), 42);
    auto copy = v;
    EXPECT_EQ(*copy, 42);
    EXPECT_EQ(runs, 1);
}

TEST(Lazy, FailureIsRememberedAndRethrown) {
    int runs = 0;
    auto v = delay([&]() -> int { ++runs; failInternal("boom"); });
    for (int i = 0; i < 2; ++i) {
        try {
            v.get();
            FAIL() << "expected an error";
        } catch (const InternalError& e) {
            EXPECT_EQ(e.message(), "boom");
        }
    }
    EXPECT_EQ(runs, 1);
}

TEST(Lazy, SelfDependencyIsAnInternalError) {
    std::shared_ptr<Lazy<int>> self;
    self = std::make_shared<Lazy<int>>(delay([&] { return self->get() + 1; }));
    EXPECT_THROW(self->get(), InternalError);
    self.reset();
}

TEST(Lazy, OnFirstReadActsOnce) {
    std::string log;
    auto v = onFirstRead<int>([&] { log += "read;"; }, Lazy<int>(7));
    EXPECT_EQ(log, "");
    EXPECT_EQ(v.get() + v.get(), 14);
    EXPECT_EQ(log, "read;");
}

TEST(LazyList, EndlessListsAreSafe) {
    auto naturals = iterate<long>([](long n) { return n + 1; }, 0);
    auto evens = filter([](long n) { return n % 2 == 0; }, naturals);
    auto squares = map([](long n) { return n * n; }, evens);
    EXPECT_EQ(toVector(take(4, squares)), (std::vector<long>{0, 4, 16, 36}));
    EXPECT_EQ(toVector(squares, 3), (std::vector<long>{0, 4, 16}));
    EXPECT_EQ(drop(1000, naturals).head(), 1000);
}

TEST(LazyList, TailsAreComputedOnceAndShared) {
    int calls = 0;
    auto xs = map([&](int x) { ++calls; return x * 10; }, fromVector<int>({1, 2, 3}));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(toVector(xs), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(toVector(xs), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(calls, 3);
}

TEST(LazyList, UnfoldTakesOneStepPerCellWhenFirstExamined) {
    int steps = 0;
    auto xs = List<int>::unfold([&steps, n = 0]() mutable -> std::optional<int> {
        ++steps;
        if (n == 3) return std::nullopt;
        return n++;
    });
    EXPECT_EQ(steps, 0);
    const List<int> rest = xs.tail();
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(toVector(rest), (std::vector<int>{1, 2}));
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(toVector(xs), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(toVector(rest), (std::vector<int>{1, 2}));
    EXPECT_EQ(steps, 4);
}

TEST(LazyList, AppendConcatAndFold) {
    auto a = fromVector<int>({1, 2});
    auto b = fromVector<int>({3});
    EXPECT_EQ(toVector(append(a, b)), (std::vector<int>{1, 2, 3}));
    auto lists = fromVector<List<int>>({List<int>(), a, List<int>(), b, List<int>()});
    EXPECT_EQ(toVector(concat(lists)), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(foldl([](int acc, int x) { return acc * 10 + x; }, 0, concat(lists)), 123);
    auto pairs = concatMap([](int x) { return fromVector<int>({x, x}); }, a);
    EXPECT_EQ(toVector(pairs), (std::vector<int>{1, 1, 2, 2}));
    int n = 0;
    for (int x : a) n += x;
    EXPECT_EQ(n, 3);
}

TEST(LazyList, ConcatOfEndlessListOfEmptyListsIsLazyUntilRead) {
    // The first non-empty inner list is found without touching later ones.
    auto lists = generate([](std::size_t i) { return i == 5 ? fromVector<int>({9}) : List<int>(); });
    EXPECT_EQ(concat(lists).head(), 9);
}

TEST(LazyList, FailureInATailFiresOnlyWhenRead) {
    auto xs = List<int>::cons(1, List<int>::defer([]() -> List<int> { failInternal("bad tail"); }));
    EXPECT_EQ(xs.head(), 1);
    EXPECT_THROW(xs.tail().empty(), InternalError);
    EXPECT_THROW(xs.tail().empty(), InternalError);
}

TEST(LazyList, OnFirstReadActsWhenFirstCellIsExamined) {
    int acts = 0;
    auto xs = onFirstRead<int>([&] { ++acts; }, fromVector<int>({1}));
    EXPECT_EQ(acts, 0);
    EXPECT_FALSE(xs.empty());
    EXPECT_FALSE(xs.empty());
    EXPECT_EQ(acts, 1);
}

// The cells of a list of elements that each note, by a weak handle, whether they are still
// held: built on demand, held by nothing but the list itself.
List<std::shared_ptr<const int>> notedElements(std::vector<std::weak_ptr<const int>>& notes, int from = 0) {
    return List<std::shared_ptr<const int>>::defer([&notes, from]() {
        auto e = std::make_shared<const int>(from);
        notes.push_back(e);
        return List<std::shared_ptr<const int>>::cons(e, notedElements(notes, from + 1));
    });
}

// How many of the elements noted before the last two are still held.
long heldBefore(const std::vector<std::weak_ptr<const int>>& notes) {
    long held = 0;
    for (std::size_t i = 0; i + 2 < notes.size(); ++i) held += notes[i].expired() ? 0 : 1;
    return held;
}

TEST(LazyList, FilterAndConcatLetGoOfWhatTheyPassOver) {
    // A search that rejects a long run of elements before it finds one must not keep the run
    // while it goes on: each element is let go once the next one is looked at.
    std::vector<std::weak_ptr<const int>> notes;
    long mostHeld = 0;
    const auto kept = filter(
        [&](const std::shared_ptr<const int>& e) {
            mostHeld = std::max(mostHeld, heldBefore(notes));
            return *e == 1000;
        },
        notedElements(notes));
    EXPECT_EQ(*kept.head(), 1000);
    EXPECT_EQ(mostHeld, 0);

    std::vector<std::weak_ptr<const int>> innerNotes;
    long mostHeldInner = 0;
    const auto joined = concatMap(
        [&](const std::shared_ptr<const int>& e) {
            mostHeldInner = std::max(mostHeldInner, heldBefore(innerNotes));
            return *e == 1000 ? List<int>::cons(*e, List<int>()) : List<int>();
        },
        notedElements(innerNotes));
    EXPECT_EQ(joined.head(), 1000);
    EXPECT_EQ(mostHeldInner, 0);
}

TEST(LazyList, TenMillionCellsAreDestroyedWithoutDeepRecursion) {
    // Runs on the default-sized stack of a plain test thread on purpose (a million and more
    // cells under the sanitizers: a few bytes of that stack a cell).
    const int cells = test::inputSize(10'000'000), dropped = test::inputSize(1'000'000);
    std::size_t n = 0;
    {
        List<int> xs;
        for (int i = 0; i < cells; ++i) xs = List<int>::cons(i, xs);
        n = length(xs);
    }
    EXPECT_EQ(n, std::size_t(cells));
    {
        auto naturals = iterate<int>([](int k) { return k + 1; }, 0);
        EXPECT_EQ(drop(dropped, naturals).head(), dropped);
    }
}

// Pending computations that hold the lazy values they read: dropping the last one frees the
// whole chain in a loop.
TEST(LazyList, ChainsOfPendingComputationsAreDestroyedWithoutDeepRecursion) {
    constexpr int kLength = 300'000;
    {
        Lazy<int> x(0);
        for (int i = 0; i < kLength; ++i) x = x.map([](int k) { return k + 1; });
        EXPECT_FALSE(x.isEvaluated());
    }
    {
        List<int> xs = fromVector(std::vector<int>{1});
        for (int i = 0; i < kLength; ++i) xs = map([](int k) { return k + 1; }, xs);
        List<int> ys;
        for (int i = 0; i < kLength; ++i) ys = append(List<int>::cons(i, List<int>()), ys);
        EXPECT_FALSE(xs.isEvaluated());
        EXPECT_FALSE(ys.isEvaluated());
    }
}

}  // namespace
}  // namespace plim
