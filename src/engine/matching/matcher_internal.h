// Helpers shared by the matcher records and combinators (internal to the matching module).
#pragma once

#include <utility>

#include "engine/matching/matcher.h"

namespace plim::matching_detail {

// A run started when its results or its rest supply is first read, and shared by both.
template <class Start>
MatchRun deferredRun(Start start) {
    Lazy<MatchRun> run = delay(std::move(start));
    return MatchRun{MatchResults::defer([run] { return run->results; }),
                    Lazy<NameSupply>::defer([run] { return run->rest.get(); })};
}

// The supply a run leaves, as a supply whose lists are read (and the run forced) on demand.
inline NameSupply supplyAfter(const MatchRun& run) {
    Lazy<NameSupply> rest = run.rest;
    return NameSupply{NameList::deferred([rest] { return rest->vars; }),
                      NameList::deferred([rest] { return rest->tyvars; })};
}

}  // namespace plim::matching_detail
