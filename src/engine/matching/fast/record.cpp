// The fast engine adapted to the matcher interface, and the default matcher built on it.
#include "engine/matching/fast/record.h"

#include <utility>

#include "engine/matching/beta.h"
#include "engine/matching/fast/matcher.h"
#include "engine/matching/matcher_internal.h"

namespace plim {

using matching_detail::deferredRun;
using fast::convertPrime;

namespace {

// A side converted with the names bound around it.
fast::Term termOf(const TermCtx& side) { return convertPrime(side.bound.names(), side.expr); }

}  // namespace

// The fast engine on converted terms: the pattern of operations 1, 3 and 5 and the term of
// operation 1 with no bound names, every other side with the names of its bound list.  The
// simple match without bindings reads the expressions directly, with the same results as on
// the converted terms.
MatcherRef fastRecord() {
    static const MatcherRef record = [] {
        Matcher m;
        m.matchSimple = [](const Expr& p, const Expr& t) {
            return MatchResults::defer([p, t] { return fastSimpleMatchExpr(p, t); });
        };
        m.matchSimpleWith = [](const MatchResult& b, const TermCtx& p, const TermCtx& t) {
            return MatchResults::defer([b, p, t] {
                return fastConvertSolutions(
                    fastSimpleMatchWith(fastConvertBindings(b), termOf(p), p.bound, termOf(t), t.bound));
            });
        };
        m.matchOneStep = [](const Expr& p, const TermCtx& t, const NameSupply& s) {
            return deferredRun([p, t, s] {
                return fastEngineConverted(fastOneStepStep, fast::identitySubst(), convertPrime({}, p), {}, termOf(t),
                                           t.bound, s);
            });
        };
        m.matchOneStepWith = [](const MatchResult& b, const TermCtx& p, const TermCtx& t, const NameSupply& s) {
            return deferredRun([b, p, t, s] {
                return fastEngineConverted(fastOneStepStep, fastConvertBindings(b), termOf(p), p.bound, termOf(t),
                                           t.bound, s);
            });
        };
        m.matchTwoStep = [](const Expr& p, const TermCtx& t, const NameSupply& s) {
            return deferredRun([p, t, s] {
                return fastTwoStepConverted(fast::identitySubst(), convertPrime({}, p), {}, termOf(t), t.bound, s);
            });
        };
        m.matchTwoStepWith = [](const MatchResult& b, const TermCtx& p, const TermCtx& t, const NameSupply& s) {
            return deferredRun([b, p, t, s] {
                return fastTwoStepConverted(fastConvertBindings(b), termOf(p), p.bound, termOf(t), t.bound, s);
            });
        };
        m.applicable = fastApplicableExpr;
        return std::make_shared<const Matcher>(std::move(m));
    }();
    return record;
}

Expr betareduce(const Expr& e) { return betareduce(e, *fastRecord()); }

MatcherRef fastMatcher() {
    static const MatcherRef matcher = [] {
        Matcher m = *betaMatcher(fastRecord(), fastRecord());
        m.ruleTable = fastRuleTable;
        return std::make_shared<const Matcher>(std::move(m));
    }();
    return matcher;
}

}  // namespace plim
