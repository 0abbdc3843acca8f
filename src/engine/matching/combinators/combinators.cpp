// The debugging combinators of the matcher interface: comparing two matchers, tracing the
// calls of one, answering two-step requests by one-step matching, and checking every result.
//
// Every operation of a combinator returns at once; the inner matchers are called, and the
// trace lines and dumps written to standard error, only when the results (or the supply) are
// first examined.
#include <iostream>
#include <string>
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
    auto wrapRun = [wrap](const Expr& p, const Expr& t, auto run) {
        return deferredRun([wrap, p, t, run] {
            MatchRun x = run();
            return MatchRun{wrap(p, t, x.results), x.rest};
        });
    };
    Matcher m;
    m.matchSimple = [inner, wrap](const Expr& p, const Expr& t) {
        return wrap(p, t, MatchResults::defer([inner, p, t] { return inner->matchSimple(p, t); }));
    };
    m.matchSimpleWith = [inner, wrap](const MatchResult& b, const TermCtx& p, const TermCtx& t) {
        return wrap(p.expr, t.expr, MatchResults::defer([inner, b, p, t] { return inner->matchSimpleWith(b, p, t); }));
    };
    m.matchOneStep = [inner, wrapRun](const Expr& p, const TermCtx& t, const NameSupply& s) {
        return wrapRun(p, t.expr, [inner, p, t, s] { return inner->matchOneStep(p, t, s); });
    };
    m.matchOneStepWith = [inner, wrapRun](const MatchResult& b, const TermCtx& p, const TermCtx& t,
                                          const NameSupply& s) {
        return wrapRun(p.expr, t.expr, [inner, b, p, t, s] { return inner->matchOneStepWith(b, p, t, s); });
    };
    m.matchTwoStep = [inner, wrapRun](const Expr& p, const TermCtx& t, const NameSupply& s) {
        return wrapRun(p, t.expr, [inner, p, t, s] { return inner->matchTwoStep(p, t, s); });
    };
    m.matchTwoStepWith = [inner, wrapRun](const MatchResult& b, const TermCtx& p, const TermCtx& t,
                                          const NameSupply& s) {
        return wrapRun(p.expr, t.expr, [inner, b, p, t, s] { return inner->matchTwoStepWith(b, p, t, s); });
    };
    m.applicable = inner->applicable;
    return std::make_shared<const Matcher>(std::move(m));
}

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
    Matcher m;
    m.matchSimple = [first, second](const Expr& p, const Expr& t) {
        return MatchResults::defer([first, second, p, t] {
            MatchResults r2 = second->matchSimple(p, t);
            r2.empty();
            MatchResults r1 = first->matchSimple(p, t);
            r1.empty();
            return compareResults(p, t, r1, r2);
        });
    };
    m.matchSimpleWith = [first, second](const MatchResult& b, const TermCtx& p, const TermCtx& t) {
        return MatchResults::defer([first, second, b, p, t] {
            MatchResults r2 = second->matchSimpleWith(b, p, t);
            r2.empty();
            MatchResults r1 = first->matchSimpleWith(b, p, t);
            r1.empty();
            return compareResults(p.expr, t.expr, r1, r2);
        });
    };
    // The first matcher runs from s, the second from the supply the first leaves.
    auto both = [](const Expr& p, const Expr& t, auto runFirst, auto runSecond) {
        return deferredRun([p, t, runFirst, runSecond] {
            MatchRun x = runFirst();
            MatchRun y = runSecond(supplyAfter(x));
            return MatchRun{compareResults(p, t, x.results, y.results), y.rest};
        });
    };
    m.matchOneStep = [first, second, both](const Expr& p, const TermCtx& t, const NameSupply& s) {
        return both(
            p, t.expr, [first, p, t, s] { return first->matchOneStep(p, t, s); },
            [second, p, t](const NameSupply& s2) { return second->matchOneStep(p, t, s2); });
    };
    m.matchOneStepWith = [first, second, both](const MatchResult& b, const TermCtx& p, const TermCtx& t,
                                               const NameSupply& s) {
        return both(
            p.expr, t.expr, [first, b, p, t, s] { return first->matchOneStepWith(b, p, t, s); },
            [second, b, p, t](const NameSupply& s2) { return second->matchOneStepWith(b, p, t, s2); });
    };
    m.matchTwoStep = [first, second, both](const Expr& p, const TermCtx& t, const NameSupply& s) {
        return both(
            p, t.expr, [first, p, t, s] { return first->matchTwoStep(p, t, s); },
            [second, p, t](const NameSupply& s2) { return second->matchTwoStep(p, t, s2); });
    };
    m.matchTwoStepWith = [first, second, both](const MatchResult& b, const TermCtx& p, const TermCtx& t,
                                               const NameSupply& s) {
        return both(
            p.expr, t.expr, [first, b, p, t, s] { return first->matchTwoStepWith(b, p, t, s); },
            [second, b, p, t](const NameSupply& s2) { return second->matchTwoStepWith(b, p, t, s2); });
    };
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
