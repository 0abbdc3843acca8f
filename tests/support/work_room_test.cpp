#include "support/work_room.h"

#include <gtest/gtest.h>

#include <vector>

namespace plim {
namespace {

struct Stack {
    std::vector<int> items;
    void clear() { items.clear(); }
};

TEST(BorrowedRoom, ARoomComesBackEmptyWithItsRoom) {
    const int* data = nullptr;
    {
        BorrowedRoom<Stack> room;
        room->items.assign(1000, 7);
        data = room->items.data();
    }
    BorrowedRoom<Stack> again;
    EXPECT_TRUE(again->items.empty());
    EXPECT_GE(again->items.capacity(), 1000u);
    EXPECT_EQ(again->items.data(), data);
}

TEST(BorrowedRoom, NestedBorrowersWorkInRoomsOfTheirOwn) {
    BorrowedRoom<Stack> outer;
    outer->items.push_back(1);
    {
        BorrowedRoom<Stack> inner;
        EXPECT_NE(&*inner, &*outer);
        EXPECT_TRUE(inner->items.empty());
        inner->items.push_back(2);
    }
    EXPECT_EQ(outer->items, std::vector<int>{1});
}

}  // namespace
}  // namespace plim
