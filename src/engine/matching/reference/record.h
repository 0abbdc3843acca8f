// The reference matcher as a record of the matcher interface.
#pragma once

#include "engine/matching/matcher.h"

namespace plim {

// The reference engine adapted to the interface; `applicable` is always true.
MatcherRef refRecord();
// betaMatcher(refRecord()): the matcher "ref".  Built once, on first use.
MatcherRef refMatcher();

}  // namespace plim
