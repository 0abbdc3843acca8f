// The reference matcher as a record of the matcher interface.
#pragma once

#include "engine/matching/matcher.h"

namespace plim {

// The reference engine adapted to the interface; `applicable` is always true.
MatcherRef refRecord();
// The matcher "ref" built on it is refMatcher() (combinators.h): its beta reduction matches
// with the fast matcher.

}  // namespace plim
