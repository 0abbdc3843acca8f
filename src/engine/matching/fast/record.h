// The fast matcher as a record of the matcher interface, and its tables for every position.
#pragma once

#include <memory>
#include <vector>

#include "engine/matching/matcher.h"

namespace plim {

// The fast engine adapted to the interface (pattern and term taken as given).
MatcherRef fastRecord();
// betaMatcher(fastRecord(), fastRecord()): the default matcher, "fast".  Built once, on first
// use.
MatcherRef fastMatcher();
// The system's beta reduction: lambda patterns matched by the fast matcher (beta.h).
Expr betareduce(const Expr& e);

// The fast matcher's tables for the left sides (engine/matching/fast/site_tables.cpp): they
// answer as fastMatcher() does.
std::shared_ptr<const RuleTable> fastRuleTable(const std::vector<Expr>& leftSides);

}  // namespace plim
