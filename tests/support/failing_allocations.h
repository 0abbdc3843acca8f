// An allocator that can be told to find no memory.  The test executables built with
// failing_allocations.cpp (tests/CMakeLists.txt) replace the global operator new with one that,
// while a RefusedAllocations lives on the thread, refuses every request the way an exhausted
// heap does: the new-handler is called (the memory reserve's hands its reserve back), then
// std::bad_alloc is raised, or null returned by the non-throwing forms.
#pragma once

#include <cstddef>

namespace plim::test {

class RefusedAllocations {
public:
    enum class Until {
        ScopeEnds,           // every request is refused
        ReserveGivenBack,    // requests are refused while the memory reserve is held
    };
    explicit RefusedAllocations(Until until = Until::ScopeEnds);
    ~RefusedAllocations();
    RefusedAllocations(const RefusedAllocations&) = delete;
    RefusedAllocations& operator=(const RefusedAllocations&) = delete;

    // The requests refused on this thread since the scope began.
    std::size_t refused() const;
};

}  // namespace plim::test
