// Runs work on a thread with a large stack, so that deep (but finite) recursion over long
// inputs cannot overflow the small default stack of the main thread.
//
// The large stack is reserved as address space only.  Where the process may not reserve that
// much (an address-space cap, ulimit -v), a smaller stack is taken: a quarter of the cap at
// most, halved again while the reservation fails.  stackBytesNow() tells the work how
// much it got, so that limits on the depth of input can be scaled to it.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace plim {

// 4 GiB of address space; pages are committed only as they are used.  Reading input at the
// deepest nesting the readers accept takes about a twentieth of it (a good deal more in a
// sanitizer build).
inline constexpr std::size_t kLargeStackBytes = std::size_t{4} << 30;

// Runs `body` on a fresh thread with a stack of `stackBytes` (or, where that much cannot be
// reserved, the largest smaller stack the fallback finds) and waits for it.  An exception
// thrown by `body` is rethrown in the caller.
void runOnLargeStackVoid(const std::function<void()>& body, std::size_t stackBytes = kLargeStackBytes);

// Runs `body` on a large stack and returns its result (or rethrows its exception).
template <class F>
auto runOnLargeStack(F&& body, std::size_t stackBytes = kLargeStackBytes) -> decltype(body()) {
    using R = decltype(body());
    if constexpr (std::is_void_v<R>) {
        runOnLargeStackVoid(std::function<void()>(std::forward<F>(body)), stackBytes);
    } else {
        std::optional<R> result;
        runOnLargeStackVoid([&] { result.emplace(body()); }, stackBytes);
        return std::move(*result);
    }
}

// True on a thread started by runOnLargeStack.
bool onLargeStackNow();

// The stack of this thread: the size obtained on a thread started by runOnLargeStack, else
// the system's stack limit for the main thread (8 MiB where it is unlimited).
std::size_t stackBytesNow();

// The first stack size runOnLargeStack tries for a request, given the process's address-space
// cap (none when nullopt): the request, or a quarter of the cap where that is less.
std::size_t firstStackTry(std::size_t requested, std::optional<std::size_t> addressSpaceCap);

// Runs `body` here when this thread already has the large stack, else on a large stack.
template <class F>
auto onLargeStack(F&& body) -> decltype(body()) {
    if (onLargeStackNow()) return body();
    return runOnLargeStack(std::forward<F>(body));
}

}  // namespace plim
