// A reserve of memory held back for running out of memory.
//
// When an allocation fails, the reserve is given back before std::bad_alloc is raised, so that
// the work of unwinding (releasing the abandoned command's trees, whose release lists need a
// little memory of their own) finds memory to do it with.  An allocation that fails while an
// exception is already unwinding takes the reserve and tries again instead of raising a second
// exception there.  The command loop takes a new reserve after a command that ran out.
#pragma once

#include <cstddef>

namespace plim {

// Held back while nothing needs it: address space only, untouched.
inline constexpr std::size_t kMemoryReserveBytes = std::size_t{32} << 20;

// Takes the reserve when it is not held (and installs the handler that gives it back); false
// when the memory cannot be had just now.
bool holdMemoryReserve();

// True while the reserve is held.
bool memoryReserveHeld();

// Gives the reserve back to the allocator now, when it is held: for work that must not fail
// (releasing trees in destructors) and found no memory.
void giveBackMemoryReserve() noexcept;

}  // namespace plim
