// The reference engine adapted to the matcher interface.
#include "engine/matching/reference/record.h"

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

}  // namespace plim
