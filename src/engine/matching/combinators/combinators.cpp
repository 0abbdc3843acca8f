// The debugging combinators of the matcher interface: comparing two matchers, tracing the
// calls of one, answering two-step requests by one-step matching, and checking every result.
//
// Every operation of a combinator returns at once; the inner matchers are called, and the
// trace lines and dumps written to standard error, only when the results (or the supply) are
// first examined.
#include <iostream>
#include <string>
#include <type_traits>
#include <utility>

#include "engine/matching/combinators/combinators.h"

#include "engine/matching/beta.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/reference/record.h"
#include "engine/matching/matcher_internal.h"
#include "frontend/printer/expressions.h"
#include "scanning/string_literal.h"

namespace plim {

// The raw constructor form of an expression (lang/syntax_dump.h, whose raw `showExpr` must
// not meet the printer's in one file).
void appendSyntaxText(std::string& out, int prec, const Expr& e);

namespace {

using matching_detail::deferredRun;
using matching_detail::eachMatchOperation;
using matching_detail::sidesOf;
using matching_detail::supplyAfter;

void writeStderr(const std::string& text) { std::cerr << text << std::flush; }

std::string rawExpr(const Expr& e) {
    std::string out;
    appendSyntaxText(out, 0, e);
    return out;
}

// "[(\"x\",<raw expression>),...]".
std::string rawSubst(const Substitution& s) {
    std::string out = "[";
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i > 0) out += ',';
        out += '(';
        appendStringLiteral(out, s[i].first);
        out += ',';
        appendSyntaxText(out, 0, s[i].second);
        out += ')';
    }
    return out + "]";
}

std::string mismatchDump(const Expr& p, const Expr& t, const MatchResults& r1, const MatchResults& r2) {
    return "\n\nMismatch!\nWhile matching " + showExpr(p) + " against " + showExpr(t) +
           "\nFirst gives results:\n" + showSubsts(r1) + "\nSecond gives results:\n" + showSubsts(r2) +
           "\n(End of error dump)\n\n";
}

std::string checkDump(const Expr& p, const Expr& t, const Substitution& s, const Expr& substpat,
                      const Expr& betasubstpat) {
    return "\n\nMismatch!\nWhile matching " + showExpr(p) + " against " + showExpr(t) + "\nBad match:\n" +
           showSubst(s) + "\nsubstituted pattern: " + showExpr(substpat) + "\nbetareduced: " +
           showExpr(betasubstpat) + "\n[Raw terms: pattern = " + rawExpr(p) + "\n" + "\n term = " + rawExpr(t) +
           "\n" + "\n subst = " + rawSubst(s) + "\n" + "\n substpat = " + rawExpr(substpat) + "\n" +
           "\n betasubstpat = " + rawExpr(betasubstpat) + "\n" + "\n(End of error dump)\n\n";
}

// The matcher whose six match operations give inner's results passed through
// wrap(shown pattern, shown term, results); the inner operation runs when the results or the
// supply are first examined.  `applicable` is inner's.
template <class Wrap>
MatcherRef wrapResults(MatcherRef inner, Wrap wrap) {
    Matcher m = eachMatchOperation([inner, wrap](auto op) {
        return [inner, wrap, op](const auto&... args) {
            const auto [p, t] = sidesOf(args...);
            auto call = [inner, op, args...] { return ((*inner).*op)(args...); };
            if constexpr (std::is_same_v<decltype(call()), MatchResults>) {
                return wrap(p, t, MatchResults::defer(std::move(call)));
            } else {
                return deferredRun([wrap, p, t, call] {
                    MatchRun x = call();
                    return MatchRun{wrap(p, t, x.results), x.rest};
                });
            }
        };
    });
    m.applicable = inner->applicable;
    return std::make_shared<const Matcher>(std::move(m));
}

// An argument of an operation as it is, the supply replaced by s.
template <class Arg>
const Arg& withSupply(const Arg& a, const NameSupply&) {
    return a;
}
const NameSupply& withSupply(const NameSupply&, const NameSupply& s) { return s; }

}  // namespace

// --- comparing --------------------------------------------------------------------------------

MatchResults compareResults(const Expr& pattern, const Expr& term, MatchResults r1, MatchResults r2) {
    return MatchResults::defer([pattern, term, r1, r2] {
        std::size_t n1 = length(r1);
        std::size_t n2 = length(r2);
        if (n1 != n2) writeStderr(mismatchDump(pattern, term, r1, r2));
        return r2;
    });
}

MatcherRef compareMatchers(MatcherRef first, MatcherRef second) {
    Matcher m = eachMatchOperation([first, second](auto op) {
        return [first, second, op](const auto&... args) {
            const auto [p, t] = sidesOf(args...);
            if constexpr (std::is_same_v<decltype(((*first).*op)(args...)), MatchResults>) {
                // Operations 1 and 2: the second matcher first.
                return MatchResults::defer([first, second, op, p, t, args...] {
                    MatchResults r2 = ((*second).*op)(args...);
                    r2.empty();
                    MatchResults r1 = ((*first).*op)(args...);
                    r1.empty();
                    return compareResults(p, t, r1, r2);
                });
            } else {
                // 3 to 6: the first from the given supply, the second from the supply the first
                // leaves.
                return deferredRun([first, second, op, p, t, args...] {
                    MatchRun x = ((*first).*op)(args...);
                    const NameSupply rest = supplyAfter(x);
                    MatchRun y = ((*second).*op)(withSupply(args, rest)...);
                    return MatchRun{compareResults(p, t, x.results, y.results), y.rest};
                });
            }
        };
    });
    m.applicable = second->applicable;
    return std::make_shared<const Matcher>(std::move(m));
}

// --- tracing ----------------------------------------------------------------------------------

MatchResults traceMatch(const Expr& pattern, const Expr& term, MatchResults rs) {
    return onFirstRead<MatchResult>(
        [pattern, term] { writeStderr("matching " + showExpr(pattern) + " against " + showExpr(term) + "\n"); },
        std::move(rs));
}

MatcherRef traceMatcher(MatcherRef inner) { return wrapResults(std::move(inner), traceMatch); }

// --- one-step only ----------------------------------------------------------------------------

MatcherRef oneStepOnly(MatcherRef inner) {
    Matcher m = *inner;
    m.matchTwoStep = inner->matchOneStep;
    m.matchTwoStepWith = inner->matchOneStepWith;
    return std::make_shared<const Matcher>(std::move(m));
}

// --- checking ---------------------------------------------------------------------------------

MatchResult checkResult(const Expr& pattern, const Expr& term, const MatchResult& r) {
    Expr substpat = appSubstAvoidingCapture(r.subst, r.types, pattern);
    Expr betasubstpat = betareduce(substpat);
    if (!exprEq({}, {}, etared(betasubstpat), etared(term)))
        writeStderr(checkDump(pattern, term, r.subst, substpat, betasubstpat));
    return r;
}

MatcherRef checkMatcher(MatcherRef inner) {
    return wrapResults(std::move(inner), [](const Expr& p, const Expr& t, const MatchResults& rs) {
        return map([p, t](const MatchResult& r) { return checkResult(p, t, r); }, rs);
    });
}

MatcherRef refMatcher() {
    static const MatcherRef matcher = betaMatcher(refRecord(), fastRecord());
    return matcher;
}

}  // namespace plim
