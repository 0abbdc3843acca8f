#include "engine/reference_matching_core.h"

#include "engine/reference_matching_utils.h"
#include "frontend/pprint_expr.h"
#include "text/errors.h"

namespace plim::ref {

// ---------------------------------------------------------------------------------------
// Bindings
// ---------------------------------------------------------------------------------------

namespace {

// Rebuilds a term bottom-up with an explicit stack; skip(t) may answer for t without
// entering it, leaf(t) gives a leaf's result and node(t, parts) an inner node's.
template <class Skip, class Leaf, class Node>
Term rebuildWith(const Term& root, const Skip& skip, const Leaf& leaf, const Node& node) {
    if (auto r = skip(root)) return *r;
    struct Frame {
        Term t;
        std::vector<Term> done;
    };
    std::vector<Frame> stack;
    stack.push_back(Frame{root, {}});
    for (;;) {
        Frame& top = stack.back();
        const std::vector<Term>& parts = subterms(top.t);
        if (top.done.size() < parts.size()) {
            const Term& next = parts[top.done.size()];
            if (auto r = skip(next)) {
                top.done.push_back(std::move(*r));
            } else {
                stack.push_back(Frame{next, {}});
            }
            continue;
        }
        Term built = parts.empty() ? leaf(top.t) : node(top.t, std::move(top.done));
        stack.pop_back();
        if (stack.empty()) return built;
        stack.back().done.push_back(std::move(built));
    }
}

}  // namespace

Term applyBindings(const Bindings& b, const Term& p) {
    const bool noVars = b.vars.isEmpty();
    const bool noTypes = b.types.isIdentity();
    if (noVars && noTypes) return p;
    auto retype = [&](const Type& t) { return noTypes ? t : substType(b.types, t); };
    auto skip = [&](const Term& t) -> std::optional<Term> {
        if ((noVars || !t.hasPVar()) && (noTypes || !t.hasTypeVar())) return t;
        return std::nullopt;
    };
    auto leaf = [&](const Term& t) -> Term {
        switch (t.kind()) {
        case TermKind::PVar:
            if (auto bound = lookupFM(NaturalOrd{}, b.vars, t.name())) return *bound;
            return PVar(t.name(), retype(t.type()));
        case TermKind::LVar: return LVar(t.name(), retype(t.type()));
        case TermKind::Con: return Con(t.constant(), retype(t.type()));
        default: return t;
        }
    };
    auto node = [&](const Term& t, std::vector<Term> parts) -> Term {
        switch (t.kind()) {
        case TermKind::Ap: return Ap(std::move(parts[0]), std::move(parts[1]), retype(t.type()));
        case TermKind::Lam: return Lam(t.binder(), std::move(parts[0]), retype(t.type()));
        case TermKind::Tupl: return Tupl(std::move(parts), retype(t.type()));
        default: return t;
        }
    };
    return rebuildWith(p, skip, leaf, node);
}

Bindings composeBindings(const Bindings& s, const Bindings& h) {
    if (isIdentity(h)) return s;
    if (isIdentity(s)) return h;
    VarMap applied = mapFM([&](const std::string&, const Term& t) { return applyBindings(s, t); }, h.vars);
    return Bindings{plusFM(NaturalOrd{}, s.vars, applied), substTypeOf(s.types, h.types)};
}

std::optional<Bindings> matchTermTypes(const Term& p, const Term& t) {
    const Type& pt = p.type();
    const Type& tt = t.type();
    switch (pt.kind()) {
    case TypeKind::TAbs: return std::nullopt;
    case TypeKind::Tid:
        if (eqType(pt, tt)) return identityBindings();
        return Bindings{VarMap(), bindVar(pt.name(), tt)};
    case TypeKind::TCon:
        if (!tt.isTCon() || tt.name() != pt.name()) return std::nullopt;
        if (auto ts = matchType(identitySubst(), pt, tt)) return Bindings{VarMap(), *ts};
        return std::nullopt;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// The solver
// ---------------------------------------------------------------------------------------

AppCandidates simpleAppRule(const Term& x, const Term& t, const NameSupply& s) {
    if (!t.is(TermKind::Ap)) return AppCandidates();
    return AppCandidates::cons(AppCandidate{t.fun(), {Problem{x, t.arg()}}, s}, AppCandidates());
}

namespace {

using WorkItems = std::shared_ptr<const Problems>;

// One step of one rule: bindings, new problems and the supply after it.
struct RuleResult {
    Bindings bindings;
    Problems fresh;
    NameSupply supply;
};

[[noreturn]] void freeVariablesInTerm(const Term& t) { failWith("free variables in term: " + showExpr(unconvert(t))); }

// The result of every rule but the one for an application pattern under a higher-order rule:
// at most one.
std::optional<RuleResult> singleStep(const Term& p, const Term& t, const NameSupply& s) {
    const Bindings& id = identityBindings();
    switch (p.kind()) {
    case TermKind::LVar:
        if (t.is(TermKind::LVar) && t.name() == p.name()) return RuleResult{id, {}, s};
        return std::nullopt;
    case TermKind::PVar:
        if (!freeLocalVars(t).empty()) return std::nullopt;
        return RuleResult{Bindings{VarMap::Node(p.name(), t, 1, {}, {}), identitySubst()}, {}, s};
    case TermKind::Con:
        if (t.is(TermKind::Con) && eqConstant(p.constant(), t.constant())) return RuleResult{id, {}, s};
        return std::nullopt;
    case TermKind::Ap:
        if (!t.is(TermKind::Ap)) return std::nullopt;
        return RuleResult{id, {Problem{p.fun(), t.fun()}, Problem{p.arg(), t.arg()}}, s};
    case TermKind::Lam: {
        if (t.is(TermKind::Lam)) {
            auto pairs = matchBinders(p.binder(), t.binder());
            if (!pairs) return std::nullopt;
            std::vector<std::pair<std::string, std::string>> back;
            for (const auto& [v, w] : *pairs) back.emplace_back(w, v);
            return RuleResult{id, {Problem{p.body(), renameLocals(back, t.body())}}, s};
        }
        Term xb = bindingToTerm(argType(p.type()), p.binder());
        return RuleResult{id, {Problem{p.body(), Ap(t, std::move(xb), resType(t.type()))}}, s};
    }
    case TermKind::Tupl: {
        if (!t.is(TermKind::Tupl) || t.elems().size() != p.elems().size()) return std::nullopt;
        Problems fresh;
        for (std::size_t i = 0; i < p.elems().size(); ++i) fresh.push_back(Problem{p.elems()[i], t.elems()[i]});
        return RuleResult{id, std::move(fresh), s};
    }
    }
    return std::nullopt;
}

Problems applyToProblems(const Bindings& b, Problems ps) {
    if (isIdentity(b)) return ps;
    for (Problem& p : ps) p.pattern = applyBindings(b, p.pattern);
    return ps;
}

// The worklist after a step: the remaining problems, then the new ones, all with m applied.
std::pair<WorkItems, std::size_t> nextWorklist(const Bindings& m, const WorkItems& items, std::size_t from,
                                               Problems fresh) {
    if (isIdentity(m) && fresh.empty()) return {items, from};
    auto next = std::make_shared<Problems>();
    next->reserve(items->size() - from + fresh.size());
    for (std::size_t i = from; i < items->size(); ++i) {
        const Problem& p = (*items)[i];
        next->push_back(Problem{isIdentity(m) ? p.pattern : applyBindings(m, p.pattern), p.term});
    }
    for (Problem& p : fresh) {
        if (!isIdentity(m)) p.pattern = applyBindings(m, p.pattern);
        next->push_back(std::move(p));
    }
    return {std::move(next), 0};
}

// Every solution composed with the bindings of the steps taken before it, latest first.
Solutions composeAll(const Solutions& sols, std::vector<Bindings> ms) {
    if (ms.empty()) return sols;
    return map(
        [ms = std::move(ms)](const Solution& sol) {
            Bindings b = sol.bindings;
            for (auto it = ms.rbegin(); it != ms.rend(); ++it) b = composeBindings(b, *it);
            return Solution{std::move(b), sol.supply};
        },
        sols);
}

Solutions solve(AppRule rule, WorkItems items, std::size_t at, NameSupply supply);

// The solutions that follow one rule result of the problem at the front.
Solutions continueAfter(AppRule rule, const Bindings& h, const RuleResult& rr, const WorkItems& items,
                        std::size_t from) {
    const Bindings m = composeBindings(rr.bindings, h);
    auto [next, start] = nextWorklist(m, items, from, applyToProblems(h, rr.fresh));
    Solutions inner = solve(rule, std::move(next), start, rr.supply);
    if (isIdentity(m)) return inner;
    return composeAll(inner, {m});
}

// The rule results of an application pattern under a higher-order rule.
List<RuleResult> appSteps(AppRule rule, const Term& p, const Term& t, const NameSupply& s) {
    const Term f = p.fun();
    return map(
        [f](const AppCandidate& c) {
            Problems fresh;
            fresh.reserve(c.problems.size() + 1);
            fresh.push_back(Problem{f, c.candidate});
            fresh.insert(fresh.end(), c.problems.begin(), c.problems.end());
            return RuleResult{identityBindings(), std::move(fresh), c.supply};
        },
        appRuleCandidates(rule, isFlexible(f), p.arg(), t, s));
}

Solutions solve(AppRule rule, WorkItems items, std::size_t at, NameSupply supply) {
    return Solutions::defer([rule, items = std::move(items), at, supply = std::move(supply)]() -> Solutions {
        WorkItems work = items;
        std::size_t i = at;
        NameSupply s = supply;
        std::vector<Bindings> ms;
        // Problems with at most one way forward are solved in this loop; the first problem with
        // alternatives hands the rest of the search to a lazy list per alternative.
        for (;;) {
            if (i == work->size())
                return composeAll(Solutions::cons(Solution{identityBindings(), s}, Solutions()), std::move(ms));
            const Problem& pr = (*work)[i];
            if (pr.term.hasPVar()) freeVariablesInTerm(pr.term);
            const std::optional<Bindings> h = matchTermTypes(pr.pattern, pr.term);
            if (!h) return Solutions();
            if (pr.pattern.is(TermKind::Ap) && rule != AppRule::Simple) {
                const Bindings hb = *h;
                const WorkItems rest = work;
                const std::size_t from = i + 1;
                Solutions branches = concatMap(
                    [rule, hb, rest, from](const RuleResult& rr) { return continueAfter(rule, hb, rr, rest, from); },
                    appSteps(rule, pr.pattern, pr.term, s));
                return composeAll(branches, std::move(ms));
            }
            std::optional<RuleResult> rr = singleStep(pr.pattern, pr.term, s);
            if (!rr) return Solutions();
            const Bindings m = composeBindings(rr->bindings, *h);
            auto [next, start] = nextWorklist(m, work, i + 1, applyToProblems(*h, std::move(rr->fresh)));
            if (!isIdentity(m)) ms.push_back(m);
            work = std::move(next);
            i = start;
            s = std::move(rr->supply);
        }
    });
}

}  // namespace

Solutions matchProblems(AppRule rule, const Problems& problems, const NameSupply& supply) {
    return solve(rule, std::make_shared<const Problems>(problems), 0, supply);
}

// ---------------------------------------------------------------------------------------
// Abstraction
// ---------------------------------------------------------------------------------------

namespace {

// What every body of a level is searched with: the abstraction variable, the argument
// pattern's parameters and its body with the parameters as pattern variables.
struct Abstraction {
    std::string v;
    Term var;
    std::vector<Term> params;
    Term instance;
};

Abstraction abstractionOf(const std::string& v, const Term& x) {
    const Term opened = openLambdas(x);
    return Abstraction{v, LVar(v, termType(x)), lambdaParams(x), freezeLocals(freeLocalVars(opened), opened)};
}

Term replacementFor(const Abstraction& a, const Bindings& m) {
    Term out = a.var;
    for (const Term& param : a.params) {
        Type r = resType(termType(out));
        out = Ap(std::move(out), applyBindings(m, param), std::move(r));
    }
    return out;
}

// The new bodies from one position of one body.
List<Term> bodiesAt(const std::shared_ptr<const Abstraction>& a, const Term& b, const Position& pos) {
    if (occursLocal(a->v, pos.sub)) return List<Term>();
    const std::vector<std::string> fs = freeLocalVars(pos.sub);
    Solutions sols = matchProblems(AppRule::Simple, {Problem{a->instance, freezeLocals(fs, pos.sub)}}, emptySupply());
    const StepList path = pos.path;
    return map(
        [a, b, fs, path](const Solution& sol) {
            Bindings thawed{mapFM([&](const std::string&, const Term& t) { return thawLocals(fs, t); }, sol.bindings.vars),
                            sol.bindings.types};
            return replaceAtEta(b, path.toPath(), replacementFor(*a, thawed));
        },
        sols);
}

// Bodies already listed, eta-contracted, newest first.
struct Seen {
    Term contracted;
    std::shared_ptr<const Seen> next;
};

bool seenBefore(const std::shared_ptr<const Seen>& seen, const Term& contracted) {
    for (const Seen* s = seen.get(); s; s = s->next.get())
        if (termEqUpTo({}, {}, s->contracted, contracted)) return true;
    return false;
}

// The list without the bodies equal (termEq) to an earlier one.
List<Term> distinctBodies(List<Term> xs, std::shared_ptr<const Seen> seen) {
    return List<Term>::defer([xs, seen]() {
        for (List<Term> at = xs; !at.empty(); at = at.tail()) {
            Term contracted = etaContract(at.head());
            if (seenBefore(seen, contracted)) continue;
            auto more = std::make_shared<const Seen>(Seen{std::move(contracted), seen});
            return List<Term>::cons(at.head(), distinctBodies(at.tail(), std::move(more)));
        }
        return List<Term>();
    });
}

}  // namespace

List<Term> abstractNextLevel(const List<Term>& previous, const std::string& v, const Term& x) {
    return List<Term>::defer([previous, v, x]() {
        auto a = std::make_shared<const Abstraction>(abstractionOf(v, x));
        List<Term> all = concatMap(
            [a](const Term& b) {
                return concatMap([a, b](const Position& pos) { return bodiesAt(a, b, pos); }, positions(b));
            },
            previous);
        return distinctBodies(all, nullptr);
    });
}

List<Term> abstractssub(std::int64_t n, const std::string& v, const Term& x, const Term& t) {
    if (n < 0) return List<Term>::defer([]() -> List<Term> { patternFail("ReferenceMatching:575|function abstractssub"); });
    List<Term> level = List<Term>::cons(t, List<Term>());
    for (std::int64_t i = 0; i < n; ++i) level = abstractNextLevel(level, v, x);
    return level;
}

}  // namespace plim::ref
