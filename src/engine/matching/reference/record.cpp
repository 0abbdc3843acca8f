// The reference engine adapted to the matcher interface, and the matcher "ref" built on it.
#include "engine/matching/reference/record.h"

#include "engine/matching/fast/beta.h"
#include "engine/matching/reference/matcher.h"

namespace plim {

// The reference engine converts its arguments and solutions itself.
MatcherRef refRecord() {
    static const MatcherRef record = [] {
        Matcher m;
        m.matchSimple = ref::simpleMatch;
        m.matchSimpleWith = ref::simpleMatchWith;
        m.matchOneStep = ref::oneStepMatch;
        m.matchOneStepWith = ref::oneStepMatchWith;
        m.matchTwoStep = ref::twoStepMatch;
        m.matchTwoStepWith = ref::twoStepMatchWith;
        m.applicable = [](const Expr&, const TermCtx&) { return true; };
        return std::make_shared<const Matcher>(std::move(m));
    }();
    return record;
}

MatcherRef refMatcher() {
    static const MatcherRef matcher = betaMatcher(refRecord());
    return matcher;
}

}  // namespace plim
