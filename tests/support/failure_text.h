// What a call fails with, as the tests compare it: the coded text of a pattern-match failure,
// the message of any other error of the family, or "no failure".
#pragma once

#include <functional>
#include <string>

#include "support/errors.h"

namespace plim {

inline std::string failureText(const std::function<void()>& f) {
    try {
        f();
    } catch (const PatternMatchFailure& e) {
        return e.coded();
    } catch (const PlimError& e) {
        return e.message();
    }
    return "no failure";
}

}  // namespace plim
