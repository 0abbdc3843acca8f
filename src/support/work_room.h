// Work space kept from one call to the next for its room: the work stacks of a walk run once
// per rewriting step need not be allocated and grown again each time.
//
// A call borrows a room for its time and gives it back emptied (`clear()`); a call made while
// it runs (a nested one) borrows another, so walks may nest.  Rooms are thread_local, as the
// threading rule wants of state kept between calls.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace plim {

template <class Room>
class BorrowedRoom {
public:
    BorrowedRoom() {
        auto& rooms = spare();
        if (rooms.empty()) {
            // Room to give every room back without allocating then.
            rooms.reserve(++made());
            room_ = std::make_unique<Room>();
        } else {
            room_ = std::move(rooms.back());
            rooms.pop_back();
        }
    }
    BorrowedRoom(const BorrowedRoom&) = delete;
    BorrowedRoom& operator=(const BorrowedRoom&) = delete;
    ~BorrowedRoom() {
        room_->clear();
        spare().push_back(std::move(room_));
    }

    Room& operator*() const { return *room_; }
    Room* operator->() const { return room_.get(); }

private:
    static std::vector<std::unique_ptr<Room>>& spare() {
        static thread_local std::vector<std::unique_ptr<Room>> rooms;
        return rooms;
    }
    static std::size_t& made() {
        static thread_local std::size_t count = 0;
        return count;
    }
    std::unique_ptr<Room> room_;
};

}  // namespace plim
