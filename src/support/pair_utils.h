// The unit step of state-passing code: a value paired with the unchanged state.
#pragma once

#include <utility>

namespace plim {

template <class A, class S>
std::pair<A, S> mkPair(A value, S state) {
    return {std::move(value), std::move(state)};
}

}  // namespace plim
