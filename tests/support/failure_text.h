// What a call fails with, as the tests compare it: failureText gives the coded text of a
// pattern-match failure and the message of any other error of the family; failureMessage gives
// the message of every error, as the fatal-error report prints it.  Both give "no failure" when
// the call returns.
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

inline std::string failureMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const PlimError& e) {
        return e.message();
    }
    return "no failure";
}

}  // namespace plim
