// The fast matcher's entries: freeze the variables bound around pattern and term, apply the
// initial bindings, run the core with the right step, thaw and compose the results.
#include "engine/matching/fast/matcher.h"

#include <string>
#include <utility>
#include <vector>

#include "support/errors.h"

namespace plim {

using fast::Term;
using fast::TermSubst;

namespace {

// The bindings map with `f` applied to every bound term.
template <class F>
TermSubst mapBindings(const TermSubst& s, F f) {
    return TermSubst{s.bindings.mapped(f), s.types};
}

// The different names bound in a context, in ascending order: taken once per match, for
// freezing and thawing alike (none, and no allocation, outside any binder).
std::vector<std::string> frozenNames(const BoundVars& ctx) {
    return ctx.empty() ? std::vector<std::string>{} : ctx.names().sorted();
}

// A side with the names bound around it frozen.
Term frozen(const std::vector<std::string>& names, const Term& t) {
    return names.empty() ? t : fast::freezeLocals(names, t);
}

// The problem of pattern and term with the names bound around them, the bindings applied to
// both.
fast::Problem preparedProblem(const TermSubst& b, const Term& p, const std::vector<std::string>& pnames,
                              const Term& t, const std::vector<std::string>& tnames) {
    return {fast::applyTermSubst(b, frozen(pnames, p)), fast::applyTermSubst(b, frozen(tnames, t))};
}

}  // namespace

TermSubst fastConvertBindings(const MatchResult& bindings) {
    fast::TermBindings m;
    for (const auto& [name, e] : bindings.subst) m.bind(name, fast::convertPrime({}, e));
    return TermSubst{std::move(m), bindings.types};
}

// The bindings carry the term's types: the images the steps build are typed from the pattern
// (an abstraction variable standing for an argument, a binder opened from a tuple), and the
// match's type substitution says what the pattern's type variables stood for.  Without it
// the pattern instantiated with the bindings would not be the term, nor beta-reduce to it.
MatchResult fastConvertSolution(const TermSubst& s) { return fast::convertInstantiatedBindings(s); }

MatchResults fastConvertSolutions(const FastSolutions& ss) {
    return map([](const TermSubst& s) { return fastConvertSolution(s); }, ss);
}

MatchRun fastConvertRun(const FastRun& run) { return MatchRun{fastConvertSolutions(run.solutions), run.rest}; }

FastSolutions fastSimpleMatch(const Term& p, const Term& t) {
    return FastSolutions::defer([p, t]() {
        auto sols = fast::solveProblems(fast::ApStep::Simple, fast::identitySubst(), {{p, t}}, emptySupply());
        return map([](const fast::Solution& s) { return s.first; }, sols);
    });
}

FastSolutions fastSimpleMatchWith(const TermSubst& b, const Term& p, const BoundVars& pctx, const Term& t,
                                  const BoundVars& tctx) {
    return FastSolutions::defer([b, p, pctx, t, tctx]() {
        const auto tnames = frozenNames(tctx);
        auto sols = fast::solveProblems(fast::ApStep::Simple, fast::identitySubst(),
                                        {preparedProblem(b, p, frozenNames(pctx), t, tnames)}, emptySupply());
        return map(
            [b, tnames](const fast::Solution& s) {
                const TermSubst m = mapBindings(s.first, [&](const Term& u) { return fast::thawLocals(tnames, u); });
                const TermSubst initial = mapBindings(b, [&](const Term& u) { return fast::applyTermSubst(m, u); });
                fast::TermBindings all = initial.bindings;
                m.bindings.forEachSlot([&all](const fast::TermBindings::Slot& b) {
                    all.bind(b.var, b.term, fast::TermBindings::OnBound::Keep);
                });
                return TermSubst{std::move(all), substTypeOf(m.types, b.types)};
            },
            sols);
    });
}

namespace {

// What the solutions of a match go through: the names bound around the term thawed (nothing
// to thaw without them).
std::function<TermSubst(TermSubst)> thawing(std::vector<std::string> tnames) {
    if (tnames.empty()) return nullptr;
    return [tnames = std::move(tnames)](TermSubst s) {
        return mapBindings(s, [&](const Term& u) { return fast::thawLocals(tnames, u); });
    };
}

// One call of the engine, kept for the run it starts when first read.
struct EngineCall {
    fast::ApStep step;
    TermSubst b;
    Term p;
    BoundVars pctx;
    Term t;
    BoundVars tctx;
    NameSupply supply;

    fast::SolutionRun run() const {
        std::vector<std::string> tnames = frozenNames(tctx);
        fast::Problems problems{preparedProblem(b, p, frozenNames(pctx), t, tnames)};
        return fast::solveRun(step, b, std::move(problems), supply, thawing(std::move(tnames)));
    }
};

// The step of two-step matching for the pattern (one-step for a pattern that does not suit it).
fast::ApStep twoStepFor(const Term& p) {
    return fast::twoStepApplicable(p) ? fast::ApStep::TwoStep : fast::ApStep::OneStep;
}

}  // namespace

FastRun fastEngine(fast::ApStep step, const TermSubst& b, const Term& p, const BoundVars& pctx,
                   const Term& t, const BoundVars& tctx, const NameSupply& supply) {
    auto run = delay([call = EngineCall{step, b, p, pctx, t, tctx, supply}]() {
        return call.run();
    });
    return FastRun{FastSolutions::defer([run]() { return run->substs; }), delay([run]() { return run->rest.get(); })};
}

// Set up at once: the records defer the call, and the solver's results and rest are lazy
// themselves, so a run rejected up front costs no further layer.
MatchRun fastEngineConverted(fast::ApStep step, const TermSubst& b, const Term& p, const BoundVars& pctx,
                             const Term& t, const BoundVars& tctx, const NameSupply& supply) {
    std::vector<std::string> tnames = frozenNames(tctx);
    fast::Problem problem = preparedProblem(b, p, frozenNames(pctx), t, tnames);
    std::function<MatchResult(TermSubst)> finish;
    if (tnames.empty()) {
        finish = [](TermSubst s) { return fastConvertSolution(s); };
    } else {
        finish = [thaw = thawing(std::move(tnames))](TermSubst s) { return fastConvertSolution(thaw(std::move(s))); };
    }
    fast::ConvertedRun run = fast::solveRunConverted(step, b, std::move(problem), supply, std::move(finish));
    return MatchRun{std::move(run.results), std::move(run.rest)};
}

MatchRun fastTwoStepConverted(const TermSubst& b, const Term& p, const BoundVars& pctx, const Term& t,
                              const BoundVars& tctx, const NameSupply& supply) {
    // The choice is made once, on the whole pattern.
    return fastEngineConverted(twoStepFor(p), b, p, pctx, t, tctx, supply);
}

FastRun fastTwoStep(const Term& p, const Term& t, const BoundVars& tctx, const NameSupply& supply) {
    // The choice is made once, on the whole pattern, when the results are first read.
    auto run = delay([=]() { return fastEngine(twoStepFor(p), fast::identitySubst(), p, {}, t, tctx, supply); });
    return FastRun{FastSolutions::defer([run]() { return run->solutions; }), delay([run]() { return run->rest.get(); })};
}

bool fastApplicable(const Term& p, const Term& t) { return fast::mayMatch(p, t); }

bool fastApplicableExpr(const Expr& p, const TermCtx& t) {
    return fast::mayMatch(fast::convertPrime({}, p), fast::convertPrime(t.bound.names(), t.expr));
}

}  // namespace plim
