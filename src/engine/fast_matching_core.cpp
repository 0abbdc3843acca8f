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
    if (!(bindsVars && t.hasPVar()) && !(typed && t.hasTypeVars())) return t;
    auto ty = [&](const Type& x) { return typed ? substType(s.types, x) : x; };
    switch (t.kind()) {
    case TermKind::PVar: {
        if (bindsVars)
            if (auto bound = lookupFM(NaturalOrd{}, s.bindings, t.name())) return *bound;
        return PVar(t.name(), ty(t.type()));
    }
    case TermKind::LVar: return LVar(t.name(), ty(t.type()));
    case TermKind::Con: return Con(t.constant(), ty(t.type()));
    case TermKind::Ap: return Ap(substAll(s, t.fun()), substAll(s, t.arg()), ty(t.type()));
    case TermKind::Lam: return Lam(t.binder(), substAll(s, t.body()), ty(t.type()));
    case TermKind::Tupl: {
        std::vector<Term> es;
        es.reserve(t.elems().size());
        for (const Term& e : t.elems()) es.push_back(substAll(s, e));
        return Tupl(std::move(es), ty(t.type()));
    }
    }
    return t;
}

}  // namespace

Term applyTermSubst(const TermSubst& s, const Term& t) { return substAll(s, t); }

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

RuleResults one(RuleResult r, const NameSupply& s) {
    return RuleResults::cons({std::move(r), s}, RuleResults());
}
RuleResults none() { return RuleResults(); }
RuleResults succeed(const NameSupply& s) { return one({identitySubst(), {}}, s); }

RuleResults rules(ApStep step, const Term& p, const Term& t, const NameSupply& s) {
    switch (p.kind()) {
    case TermKind::LVar: return t.is(TermKind::LVar) && t.name() == p.name() ? succeed(s) : none();
    case TermKind::PVar: {
        if (hasFreeLocals(t)) return none();
        TermSubst bind{TermBindings::Node(p.name(), t, 1, TermBindings(), TermBindings()), TypeSubst()};
        return one({std::move(bind), {}}, s);
    }
    case TermKind::Con:
        return t.is(TermKind::Con) && eqConstant(p.constant(), t.constant()) ? succeed(s) : none();
    case TermKind::Ap: {
        const Term f = p.fun();
        return map(
            [f](const std::pair<StepResult, NameSupply>& r) {
                Problems probs;
                probs.reserve(r.first.second.size() + 1);
                probs.emplace_back(f, r.first.first);
                probs.insert(probs.end(), r.first.second.begin(), r.first.second.end());
                return std::pair<RuleResult, NameSupply>{{identitySubst(), std::move(probs)}, r.second};
            },
            runStep(step, flexibleHead(f), p.arg(), t, s));
    }
    case TermKind::Lam: {
        if (t.is(TermKind::Lam)) {
            auto r = matchBinders(p.binder(), t.binder());
            if (!r) return none();
            return one({identitySubst(), {{p.body(), renameLocals(*r, t.body())}}}, s);
        }
        const Term a = binderTerm(argType(p.type()), p.binder());
        const Term applied = Ap(t, a, resType(t.type()));
        return one({identitySubst(), {{p.body(), applied}}}, s);
    }
    case TermKind::Tupl: {
        if (!t.is(TermKind::Tupl) || t.elems().size() != p.elems().size()) return none();
        Problems probs;
        for (std::size_t i = 0; i < p.elems().size(); ++i) probs.emplace_back(p.elems()[i], t.elems()[i]);
        return one({identitySubst(), std::move(probs)}, s);
    }
    }
    return none();
}

[[noreturn]] void freeVariablesInTerm(const Term& t) { failWith("free variables in term: " + showExpr(convert(t))); }

// The solutions of one problem: its rules under the one type match, if any.
RuleResults solveOne(ApStep step, const Term& p, const Term& t, const NameSupply& s) {
    if (t.hasPVar()) freeVariablesInTerm(t);
    // A type matched against the very same type gives the identity.
    std::optional<TypeSubst> ts = p.type().sameNode(t.type()) ? TypeSubst() : matchTypeFresh(p.type(), t.type());
    if (!ts) return none();
    RuleResults rs = rules(step, p, t, s);
    if (ts->isIdentity()) return rs;
    const TermSubst tsub{TermBindings(), *ts};
    return map(
        [tsub](const std::pair<RuleResult, NameSupply>& r) {
            Problems probs;
            probs.reserve(r.first.second.size());
            for (const auto& [pp, tt] : r.first.second) probs.emplace_back(applyTermSubst(tsub, pp), tt);
            return std::pair<RuleResult, NameSupply>{{composeSubst(r.first.first, tsub), std::move(probs)}, r.second};
        },
        rs);
}

using Worklist = std::shared_ptr<const Problems>;

List<Solution> solveFrom(ApStep step, const TermSubst& acc, const Worklist& wl, std::size_t at, const NameSupply& s);

// The worklist after a solution σ of its front problem: the rest, then the new problems,
// each with σ applied to its pattern side.
Worklist nextWorklist(const Worklist& wl, std::size_t at, const TermSubst& sigma, const Problems& fresh) {
    auto next = std::make_shared<Problems>();
    next->reserve(wl->size() - at - 1 + fresh.size());
    const bool id = isIdentity(sigma);
    for (std::size_t i = at + 1; i < wl->size(); ++i)
        next->emplace_back(id ? (*wl)[i].first : applyTermSubst(sigma, (*wl)[i].first), (*wl)[i].second);
    for (const auto& [p, t] : fresh) next->emplace_back(id ? p : applyTermSubst(sigma, p), t);
    return next;
}

List<Solution> continueWith(ApStep step, const TermSubst& acc, const Worklist& wl, std::size_t at,
                            const std::pair<RuleResult, NameSupply>& sol) {
    const auto& [sigma, fresh] = sol.first;
    for (const auto& [p, t] : fresh)
        if (!mayMatch(p, t)) return List<Solution>();
    const TermSubst acc2 = composeSubst(sigma, acc);
    // Without new problems and without a substitution the same worklist goes on.
    if (fresh.empty() && isIdentity(sigma)) return solveFrom(step, acc2, wl, at + 1, sol.second);
    return solveFrom(step, acc2, nextWorklist(wl, at, sigma, fresh), 0, sol.second);
}

List<Solution> solveFrom(ApStep step, const TermSubst& acc, const Worklist& wl, std::size_t at, const NameSupply& s) {
    return List<Solution>::defer([step, acc, wl, at, s]() {
        if (at == wl->size()) return List<Solution>::cons({acc, s}, List<Solution>());
        const auto& [p, t] = (*wl)[at];
        RuleResults sols = solveOne(step, p, t, s);
        return concatMap(
            [step, acc, wl, at](const std::pair<RuleResult, NameSupply>& sol) {
                return continueWith(step, acc, wl, at, sol);
            },
            sols);
    });
}

}  // namespace

List<Solution> solveProblems(ApStep step, const TermSubst& acc, Problems worklist, const NameSupply& s) {
    return solveFrom(step, acc, std::make_shared<const Problems>(std::move(worklist)), 0, s);
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
