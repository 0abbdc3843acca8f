// The fast matcher's core: substitutions over terms, the type match, the rules by pattern
// constructor and the lazy depth-first worklist search.
#include "engine/fast_matching_core.h"

#include "engine/fast_matching.h"
#include "frontend/pprint_expr.h"
#include "text/errors.h"

namespace plim::fast {

const TermSubst& identitySubst() {
    static const TermSubst id{};
    return id;
}

bool isIdentity(const TermSubst& s) { return s.bindings.isEmpty() && s.types.isIdentity(); }

namespace {

Term substAll(const TermSubst& s, const Term& t) {
    const bool bindsVars = !s.bindings.isEmpty();
    const bool typed = !s.types.isIdentity();
    auto touches = [&](const Term& u) { return (bindsVars && u.hasPVar()) || (typed && u.hasTypeVars()); };
    auto ty = [&](const Type& x) { return typed ? substType(s.types, x) : x; };
    auto leaf = [&](const Term& u) -> Term {
        switch (u.kind()) {
        case TermKind::PVar:
            if (bindsVars)
                if (auto bound = lookupFM(NaturalOrd{}, s.bindings, u.name())) return *bound;
            return PVar(u.name(), ty(u.type()));
        case TermKind::LVar: return LVar(u.name(), ty(u.type()));
        default: return Con(u.constant(), ty(u.type()));
        }
    };
    auto make = [&](const Term& u, std::vector<Term>& kids, bool) -> Term {
        switch (u.kind()) {
        case TermKind::Ap: return Ap(std::move(kids[0]), std::move(kids[1]), ty(u.type()));
        case TermKind::Lam: return Lam(u.binder(), std::move(kids[0]), ty(u.type()));
        default: return Tupl(std::move(kids), ty(u.type()));
        }
    };
    return mapTerm(
        t, touches, leaf, [](const LamBinding&) { return true; }, [](const LamBinding&) {}, make);
}

}  // namespace

Term applyTermSubst(const TermSubst& s, const Term& t) { return isIdentity(s) ? t : substAll(s, t); }

TermSubst composeSubst(const TermSubst& s1, const TermSubst& s2) {
    if (isIdentity(s1)) return s2;
    if (isIdentity(s2)) return s1;
    TermBindings mapped = mapFM([&s1](const std::string&, const Term& t) { return applyTermSubst(s1, t); }, s2.bindings);
    return TermSubst{plusFM(NaturalOrd{}, mapped, s1.bindings), substTypeOf(s1.types, s2.types)};
}

// --- one problem ----------------------------------------------------------------------------

namespace {

using RuleResult = std::pair<TermSubst, Problems>;
using RuleResults = List<std::pair<RuleResult, NameSupply>>;

// An application pattern with a flexible head under a higher-order step: the only rule that
// may give more than one result or draw on the supply.
bool branches(ApStep step, const Term& p) {
    return p.is(TermKind::Ap) && step != ApStep::Simple && flexibleHead(p.fun());
}

// The result of every other rule: at most one, the supply unchanged.
std::optional<RuleResult> singleRule(const Term& p, const Term& t) {
    const RuleResult done{identitySubst(), {}};
    switch (p.kind()) {
    case TermKind::LVar:
        if (t.is(TermKind::LVar) && t.name() == p.name()) return done;
        return std::nullopt;
    case TermKind::PVar: {
        if (hasFreeLocals(t)) return std::nullopt;
        return RuleResult{{TermBindings::Node(p.name(), t, 1, TermBindings(), TermBindings()), TypeSubst()}, {}};
    }
    case TermKind::Con:
        if (t.is(TermKind::Con) && eqConstant(p.constant(), t.constant())) return done;
        return std::nullopt;
    case TermKind::Ap:  // a rigid head, or the simple step: first-order decomposition
        if (!t.is(TermKind::Ap)) return std::nullopt;
        return RuleResult{identitySubst(), {{p.fun(), t.fun()}, {p.arg(), t.arg()}}};
    case TermKind::Lam: {
        if (t.is(TermKind::Lam)) {
            auto r = matchBinders(p.binder(), t.binder());
            if (!r) return std::nullopt;
            return RuleResult{identitySubst(), {{p.body(), renameLocals(*r, t.body())}}};
        }
        const Term a = binderTerm(argType(p.type()), p.binder());
        return RuleResult{identitySubst(), {{p.body(), Ap(t, a, resType(t.type()))}}};
    }
    case TermKind::Tupl: {
        if (!t.is(TermKind::Tupl) || t.elems().size() != p.elems().size()) return std::nullopt;
        Problems probs;
        for (std::size_t i = 0; i < p.elems().size(); ++i) probs.emplace_back(p.elems()[i], t.elems()[i]);
        return RuleResult{identitySubst(), std::move(probs)};
    }
    }
    return std::nullopt;
}

// The application rule under a higher-order step: (f, u) in front of the step's problems.
RuleResults branchingRule(ApStep step, const Term& p, const Term& t, const NameSupply& s) {
    const Term f = p.fun();
    return map(
        [f](const std::pair<StepResult, NameSupply>& r) {
            Problems probs;
            probs.reserve(r.first.second.size() + 1);
            probs.emplace_back(f, r.first.first);
            probs.insert(probs.end(), r.first.second.begin(), r.first.second.end());
            return std::pair<RuleResult, NameSupply>{{identitySubst(), std::move(probs)}, r.second};
        },
        runStep(step, true, p.arg(), t, s));
}

// A rule result under the problem's type match: σ composed with it, the type substitution
// applied to the new problems' patterns.
RuleResult withTypes(const TermSubst& ts, const RuleResult& r) {
    if (isIdentity(ts)) return r;
    Problems probs;
    probs.reserve(r.second.size());
    for (const auto& [pp, tt] : r.second) probs.emplace_back(applyTermSubst(ts, pp), tt);
    return {composeSubst(r.first, ts), std::move(probs)};
}

[[noreturn]] void freeVariablesInTerm(const Term& t) { failWith("free variables in term: " + showExpr(convert(t))); }

// The type match of a problem as a substitution, or nothing.  The term must hold no PVar.
std::optional<TermSubst> typeMatch(const Term& p, const Term& t) {
    if (t.hasPVar()) freeVariablesInTerm(t);
    // A type matched against the very same type gives the identity.
    if (p.type().sameNode(t.type())) return identitySubst();
    std::optional<TypeSubst> ts = matchTypeFresh(p.type(), t.type());
    if (!ts) return std::nullopt;
    return TermSubst{TermBindings(), std::move(*ts)};
}

using Worklist = std::shared_ptr<const Problems>;

List<Solution> solveFrom(ApStep step, const TermSubst& acc, const Worklist& wl, const NameSupply& s);

bool allMayMatch(const Problems& ps) {
    for (const auto& [p, t] : ps)
        if (!mayMatch(p, t)) return false;
    return true;
}

// The search after one result of a branching rule: the rest of the worklist, then the new
// problems, each with σ applied to its pattern side.
List<Solution> continueWith(ApStep step, const TermSubst& acc, const Worklist& rest,
                            const std::pair<RuleResult, NameSupply>& sol) {
    const auto& [sigma, fresh] = sol.first;
    if (!allMayMatch(fresh)) return List<Solution>();
    auto next = std::make_shared<Problems>();
    next->reserve(rest->size() + fresh.size());
    for (const auto& [p, t] : *rest) next->emplace_back(applyTermSubst(sigma, p), t);
    for (const auto& [p, t] : fresh) next->emplace_back(applyTermSubst(sigma, p), t);
    return solveFrom(step, composeSubst(sigma, acc), next, sol.second);
}

// Problems whose rules cannot branch are solved in a loop, in worklist order; the first
// branching problem hands the rest of the worklist to a lazy search over its results.
List<Solution> solveFrom(ApStep step, const TermSubst& acc, const Worklist& wl, const NameSupply& s) {
    return List<Solution>::defer([step, acc, wl, s]() {
        TermSubst sofar = acc;
        Problems work = *wl;
        for (std::size_t i = 0; i < work.size(); ++i) {
            const Term p = work[i].first;
            const Term t = work[i].second;
            const std::optional<TermSubst> ts = typeMatch(p, t);
            if (!ts) return List<Solution>();
            if (branches(step, p)) {
                const TermSubst types = *ts;
                auto rest = std::make_shared<const Problems>(work.begin() + static_cast<std::ptrdiff_t>(i) + 1, work.end());
                return concatMap(
                    [step, sofar, rest, types](const std::pair<RuleResult, NameSupply>& sol) {
                        return continueWith(step, sofar, rest, {withTypes(types, sol.first), sol.second});
                    },
                    branchingRule(step, p, t, s));
            }
            std::optional<RuleResult> r = singleRule(p, t);
            if (!r) return List<Solution>();
            auto [sigma, fresh] = withTypes(*ts, *r);
            if (!allMayMatch(fresh)) return List<Solution>();
            sofar = composeSubst(sigma, sofar);
            if (!isIdentity(sigma)) {
                for (std::size_t j = i + 1; j < work.size(); ++j) work[j].first = applyTermSubst(sigma, work[j].first);
                for (auto& pr : fresh) pr.first = applyTermSubst(sigma, pr.first);
            }
            for (auto& pr : fresh) work.push_back(std::move(pr));
        }
        return List<Solution>::cons({sofar, s}, List<Solution>());
    });
}

}  // namespace

List<Solution> solveProblems(ApStep step, const TermSubst& acc, Problems worklist, const NameSupply& s) {
    return solveFrom(step, acc, std::make_shared<const Problems>(std::move(worklist)), s);
}

// --- the two-step test ------------------------------------------------------------------------

namespace {

bool hasCon(const Term& t) {
    switch (t.kind()) {
    case TermKind::Con: return true;
    case TermKind::LVar:
    case TermKind::PVar: return false;
    case TermKind::Ap: return hasCon(t.fun()) || hasCon(t.arg());
    case TermKind::Lam: return hasCon(t.body());
    case TermKind::Tupl:
        for (const Term& e : t.elems())
            if (hasCon(e)) return true;
        return false;
    }
    return false;
}

// xs minus ys, one occurrence removed per element of ys.
std::vector<std::string> listDifference(std::vector<std::string> xs, const std::vector<std::string>& ys) {
    for (const auto& y : ys) {
        auto it = std::find(xs.begin(), xs.end(), y);
        if (it != xs.end()) xs.erase(it);
    }
    return xs;
}

bool argumentSuitsTwoStep(const Term& x) {
    auto [body, names] = stripLams(x);
    if (body.hasPVar()) return false;
    const auto locals = freeLocalsOf(body);
    if (!listDifference(names, locals).empty()) return false;
    if (hasCon(body)) return true;
    return !listDifference(locals, names).empty();
}

}  // namespace

bool twoStepApplicable(const Term& p) {
    switch (p.kind()) {
    case TermKind::LVar:
    case TermKind::PVar:
    case TermKind::Con: return true;
    case TermKind::Lam: return twoStepApplicable(p.body());
    case TermKind::Tupl:
        for (const Term& e : p.elems())
            if (!twoStepApplicable(e)) return false;
        return true;
    case TermKind::Ap:
        if (flexibleHead(p.fun()) && !argumentSuitsTwoStep(p.arg())) return false;
        return twoStepApplicable(p.fun()) && twoStepApplicable(p.arg());
    }
    return false;
}

}  // namespace plim::fast
