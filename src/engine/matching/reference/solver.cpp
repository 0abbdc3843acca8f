#include "engine/matching/reference/solver.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "engine/matching/head_binders.h"
#include "engine/matching/local_renaming.h"
#include "engine/matching/reference/term_operations.h"
#include "engine/matching/repeated_elements.h"
#include "engine/matching/repeated_problems.h"
#include "engine/matching/term_type_vars.h"
#include "engine/matching/tuple_typing.h"
#include "engine/matching/type_constraint.h"
#include "frontend/printer/expressions.h"
#include "support/errors.h"
#include "support/release.h"

namespace plim::ref {

// ---------------------------------------------------------------------------------------
// Bindings
// ---------------------------------------------------------------------------------------

Term applyBindings(const Bindings& b, const Term& p) {
    const bool noVars = b.vars.isEmpty();
    const bool noTypes = b.types.isIdentity();
    if (noVars && noTypes) return p;
    auto skip = [&](const Term& t) -> std::optional<Term> {
        if ((noVars || !t.hasPVar()) && (noTypes || !t.hasTypeVars())) return t;
        return std::nullopt;
    };
    return term_detail::rebuildTerm(p, skip, [&](const Term& t, std::vector<Term> parts) -> Term {
        if (t.is(TermKind::PVar))
            if (auto bound = lookupFM(NaturalOrd{}, b.vars, t.name())) return *bound;
        if (noTypes) return rebuilt(t, std::move(parts));
        return withSubterms(t, std::move(parts), substType(b.types, t.type()));
    });
}

Bindings composeBindings(const Bindings& s, const Bindings& h) {
    if (isIdentity(h)) return s;
    if (isIdentity(s)) return h;
    VarMap applied = mapFM([&](const std::string&, const Term& t) { return applyBindings(s, t); }, h.vars);
    return Bindings{plusFM(NaturalOrd{}, s.vars, applied), substTypeOf(s.types, h.types)};
}

// ---------------------------------------------------------------------------------------
// The solver
// ---------------------------------------------------------------------------------------

namespace {

// The one-way type match of p's type against t's type, as type-only bindings; a variable
// the match binds stands for its type on the term side too.
std::optional<Bindings> matchTermTypes(const Term& p, const Term& t) {
    const Type& pt = p.type();
    const Type& tt = t.type();
    if (eqType(pt, tt)) return identityBindings();
    TypeSubst s = identitySubst();
    if (!matchTypeInto(s, pt, tt)) return std::nullopt;
    return Bindings{VarMap(), s};
}

// The problem with b applied to its pattern, and b's types to its term (terms from the
// higher-order rules carry type variables of the pattern).
Problem withBindings(const Bindings& b, const Problem& p) {
    const bool retype = !b.types.isIdentity() && p.term.hasTypeVars();
    return Problem{applyBindings(b, p.pattern), retype ? applyBindings(Bindings{VarMap(), b.types}, p.term) : p.term};
}

}  // namespace

AppCandidates simpleAppRule(const Term& x, const Term& t, const NameSupply& s) {
    if (!t.is(TermKind::Ap)) return AppCandidates();
    return AppCandidates::cons(AppCandidate{t.fun(), {Problem{x, t.arg()}}, s}, AppCandidates());
}

namespace {

// The worklist: a persistent queue (a front list and a back list kept in reverse), so that
// taking the first problem and adding new ones at the end cost O(1) however long it grows,
// and alternatives of a search share it.
class Worklist {
    struct Cell {
        Problem problem;
        mutable std::shared_ptr<const Cell> next;  // unlinked by the destructor
        Cell(Problem p, std::shared_ptr<const Cell> n) : problem(std::move(p)), next(std::move(n)) {}
        Cell(const Cell&) = delete;
        Cell& operator=(const Cell&) = delete;
        ~Cell() {
            releaseSoleChildren(*this, [](Cell& c, auto take) { take(c.next); });
        }
    };
    using CellPtr = std::shared_ptr<const Cell>;

public:
    Worklist() = default;
    explicit Worklist(const Problems& ps) {
        for (auto it = ps.rbegin(); it != ps.rend(); ++it) front_ = std::make_shared<const Cell>(*it, front_);
    }

    bool empty() const { return !front_ && !back_; }

    // The first problem and the rest.
    std::pair<Problem, Worklist> pop() const {
        Worklist w = *this;
        if (!w.front_) {
            for (const Cell* c = w.back_.get(); c; c = c->next.get())
                w.front_ = std::make_shared<const Cell>(c->problem, w.front_);
            w.back_ = nullptr;
        }
        Problem first = w.front_->problem;
        w.front_ = w.front_->next;
        return {std::move(first), std::move(w)};
    }

    Worklist pushed(Problem p) const {
        Worklist w = *this;
        w.back_ = std::make_shared<const Cell>(std::move(p), back_);
        return w;
    }

    // The problem pop() would take, without taking it.
    const Problem& first() const {
        if (front_) return front_->problem;
        const Cell* c = back_.get();
        while (c->next) c = c->next.get();
        return c->problem;
    }

    // f called on every problem, in no particular order.
    template <class F>
    void forEach(F f) const {
        for (const Cell* c = front_.get(); c; c = c->next.get()) f(c->problem);
        for (const Cell* c = back_.get(); c; c = c->next.get()) f(c->problem);
    }

    // Every pattern with b applied; the queue itself when no pattern changes.
    Worklist applied(const Bindings& b) const {
        std::vector<Problem> all;
        bool changed = false;
        for (const Cell* c = front_.get(); c; c = c->next.get()) all.push_back(c->problem);
        const std::size_t fromBack = all.size();
        for (const Cell* c = back_.get(); c; c = c->next.get()) all.push_back(c->problem);
        std::reverse(all.begin() + static_cast<std::ptrdiff_t>(fromBack), all.end());
        for (Problem& p : all) {
            Problem q = withBindings(b, p);
            changed = changed || !q.pattern.sameNode(p.pattern) || !q.term.sameNode(p.term);
            p = std::move(q);
        }
        return changed ? Worklist(all) : *this;
    }

private:
    CellPtr front_;
    CellPtr back_;
};

// One step of one rule: bindings, new problems and the supply after it.
struct RuleResult {
    Bindings bindings;
    Problems fresh;
    NameSupply supply;
};

[[noreturn]] void freeVariablesInTerm(const Term& t) { failUser("free variables in term: " + showExpr(unconvert(t))); }

// What the renaming of a pattern lambda against a term asks of the problem (p, t)
// (local_renaming.h): t's free local variables and every name of both, each found when first
// needed.  A body without lambdas has nothing to capture: its variables are renamed as they are.
struct ProblemNames {
    const Term& p;
    const Term& t;
    std::optional<std::vector<std::string>> outer;
    std::optional<std::unordered_set<std::string>> used;
    bool freeInTerm(const std::string& n) {
        if (!outer) outer = t.hasLVar() ? freeLocalsOf(t) : std::vector<std::string>{};
        return std::find(outer->begin(), outer->end(), n) != outer->end();
    }
    std::unordered_set<std::string>& names() {
        if (!used) {
            used.emplace();
            collectNames(p, *used);
            collectNames(t, *used);
        }
        return *used;
    }
    std::string fresh(const std::string& n) { return freshVariant(n, names()); }
    Term renameFree(const NameMap& renaming, const Term& u) {
        if (!u.hasLam()) return renameLocals({renaming.begin(), renaming.end()}, u);
        return renameFreeLocals(renaming, u, names());
    }
};

// The result of every rule but the one for an application pattern under a higher-order rule:
// at most one.
std::optional<RuleResult> singleStep(const Term& p, const Term& t, const NameSupply& s) {
    const Bindings& id = identityBindings();
    switch (p.kind()) {
    case TermKind::LVar:
        if (t.is(TermKind::LVar) && t.name() == p.name()) return RuleResult{id, {}, s};
        return std::nullopt;
    case TermKind::PVar:
        if (!freeLocalsOf(t).empty()) return std::nullopt;
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
            ProblemNames names{p, t, std::nullopt, std::nullopt};
            auto [pbody, tbody] = local_renaming::lambdaBodies(p, t, *pairs, names);
            return RuleResult{id, {Problem{std::move(pbody), std::move(tbody)}}, s};
        }
        ProblemNames names{p, t, std::nullopt, std::nullopt};
        const Term q = local_renaming::clearBinder(p, t, names);
        Term xb = bindingToTerm(argType(q.type()), q.binder());
        return RuleResult{id, {Problem{q.body(), Ap(t, std::move(xb), resType(t.type()))}}, s};
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
    for (Problem& p : ps) p = withBindings(b, p);
    return ps;
}

// The worklist after a step: the remaining problems, then the new ones, all with m applied.
Worklist nextWorklist(const Bindings& m, const Worklist& rest, Problems fresh) {
    Worklist next = isIdentity(m) ? rest : rest.applied(m);
    for (Problem& p : applyToProblems(m, std::move(fresh))) next = next.pushed(std::move(p));
    return next;
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

// The type variables of the terms a match starts from (term_type_vars.h), read only when a type
// match binds a variable, and then only as far as it asks: most problems' types are equal or
// fail to match, and the walk over the whole term would cost each match at every position of a
// large term its size again.
using LazyTermTypes = std::shared_ptr<const TermTypes<Term>>;

// The flexible-head problems that the branch points above a worklist took apart, each as the
// branch point left it for the rest (its type match applied), innermost first
// (repeated_problems.h).
using Branched = List<Problem>;

Solutions solve(AppRule rule, const LazyTermTypes& termTypes, Worklist work, NameSupply supply,
                Branched branched);

// The solutions that follow one rule result of the problem at the front.
Solutions continueAfter(AppRule rule, const LazyTermTypes& termTypes, const Bindings& h, const RuleResult& rr,
                        const Worklist& rest, const Branched& branched) {
    const Bindings m = composeBindings(rr.bindings, h);
    Solutions inner =
        solve(rule, termTypes, nextWorklist(m, rest, applyToProblems(h, rr.fresh)), rr.supply, branched);
    if (isIdentity(m)) return inner;
    return composeAll(inner, {m});
}

// The patterns of the rest of the worklist, each passed to visit: what the tests of a tuple
// argument below are told of the problems solved before the image's.
auto earlierPatterns(const Worklist& rest) {
    return [&rest](auto visit) { rest.forEach([&visit](const Problem& pr) { visit(pr.pattern); }); };
}

// The one-step images for a flexible head applied to a tuple cannot match: the types of head
// and elements do not fit (the rest of the worklist is solved before the image's problem).
bool tupleImagesRuledOut(AppRule rule, const Term& p, const Term& t, const Worklist& rest) {
    if (rule != AppRule::OneStep || !p.arg().is(TermKind::Tupl) || !flexibleHead(p.fun())) return false;
    if (headBinderTakesArgumentWhole(p.fun())) return false;
    return plim::tupleImagesRuledOut(p, t, earlierPatterns(rest));
}

// The repeated elements of a flexible head's tuple argument whose problems are checked against
// each other (repeated_elements.h): every problem of the worklist is solved before them.
std::vector<std::string> checkedRepeats(AppRule rule, bool flexible, const Term& f, const Term& x, const Term& t,
                                        const Worklist& rest) {
    if (rule != AppRule::OneStep || !flexible || !x.is(TermKind::Tupl)) return {};
    return repeated_elements::checkedLeaves(f, x, t, earlierPatterns(rest));
}

// The head's argument type, the problem's type match applied, when the images of its tuple
// argument have argument types that follow their binders' (tuple_typing.h): the rest of the
// worklist is solved before the image's problem.
std::optional<Type> typedHeadArgument(const Bindings& hb, const Term& p, const Term& t, const Worklist& rest) {
    if (!p.arg().is(TermKind::Tupl)) return std::nullopt;
    if (!imageTypesFollowBinders(p, t, earlierPatterns(rest))) return std::nullopt;
    const Type head = hb.types.isIdentity() ? p.fun().type() : substType(hb.types, p.fun().type());
    if (!head.isTCon() || head.name() != arrowName || head.args().size() != 2) return std::nullopt;
    return head.args()[0];
}

// A rigid head (a constant, local variable or tuple, applied or not) never matches a lambda:
// against one, its applications only bring lambdas again, until the head itself fails.  The
// one-step images other than the decomposition are all lambdas when the argument is no
// tuple, so with a rigid head only the decomposition leads to a solution; the others would
// each open a search, as large as the term's subterms and their subsets, that ends in no
// solution and no error (their terms hold no pattern variable, their types are those of the
// term).  For a tuple argument the element-by-element search would leave one image of use,
// the term's own head h of t = h (a1, ..., an), reached when each element abstracts exactly
// its own part: the decomposition, with the elements' problems in another order.  But every
// lambda on the way had to keep its redexes contractible, so a redex elsewhere in t whose tuple
// binder does not fit its argument dropped it and lost every match; a tuple argument is taken
// apart like any other, as the fast matcher does.
AppCandidates appCandidates(AppRule rule, const Bindings& hb, const Term& p, const Term& t, const NameSupply& s,
                            const Worklist& rest) {
    const Term& f = p.fun();
    const Term& x = p.arg();
    const bool flexible = flexibleHead(f);
    if (rule == AppRule::OneStep && !flexible) return simpleAppRule(x, t, s);
    // A tuple argument that the head's binder takes whole (head_binders.h).
    if (x.is(TermKind::Tupl) && headBinderTakesArgumentWhole(f))
        return appRuleCandidates(rule, flexible, x, t, s, true, {}, std::nullopt, true);
    return appRuleCandidates(rule, flexible, x, t, s, false, checkedRepeats(rule, flexible, f, x, t, rest),
                             typedHeadArgument(hb, p, t, rest), true);
}

// The rule results of an application pattern under a higher-order rule.
List<RuleResult> appSteps(AppRule rule, const Bindings& hb, const Term& p, const Term& t, const NameSupply& s,
                          const Worklist& rest) {
    if (tupleImagesRuledOut(rule, p, t, rest)) return List<RuleResult>();
    const Term f = p.fun();
    AppCandidates candidates = appCandidates(rule, hb, p, t, s, rest);
    if (!nonLambdaImagesFit(f, t))
        candidates = filter([](const AppCandidate& c) { return c.candidate.is(TermKind::Lam); }, std::move(candidates));
    return map(
        [f](const AppCandidate& c) {
            Problems fresh;
            fresh.reserve(c.problems.size() + 1);
            fresh.push_back(Problem{f, c.candidate});
            fresh.insert(fresh.end(), c.problems.begin(), c.problems.end());
            return RuleResult{identityBindings(), std::move(fresh), c.supply};
        },
        candidates);
}

// Every alternative of an application problem goes on with the same next step: the rule results
// bind no pattern variable (their bindings are the identity), so the next worklist is the rest
// with the problem's type bindings applied, then the new problems; its first problem is the
// rest's first with those bindings, the same whatever the alternative.  When that problem fails
// at its type step, every alternative fails there, and none need be built: with a flexible head
// applied to a tuple they are a product over the tuple's elements.  A first problem whose term
// holds a pattern variable is left to the search, which reports it.
bool nextStepFailsForAll(const LazyTermTypes& termTypes, const Bindings& hb, const Worklist& rest) {
    if (rest.empty()) return false;
    const Problem pr = withBindings(hb, rest.first());
    if (pr.term.hasPVar()) return false;
    const std::optional<Bindings> h = matchTermTypes(pr.pattern, pr.term);
    return !h || bindsTermTypeVar(h->types, termTypes);
}

// The problem or one of the rest has no solution whatever is bound (self_typed_applications.h):
// every alternative keeps the rest, so none can succeed.
bool someProblemMatchesNothing(const Problem& pr, const Worklist& rest) {
    if (problemMatchesNothing(pr.pattern, pr.term)) return true;
    bool found = false;
    rest.forEach([&found](const Problem& q) { found = found || problemMatchesNothing(q.pattern, q.term); });
    return found;
}

// Two problems of the rest have one pattern variable as their whole pattern and terms that no
// term without pattern variables matches both (termsClash).  Whichever problem binds the
// variable first, or any other that binds it to such a term before, the second fails then; every
// alternative keeps the rest, so none can succeed.  Terms with pattern variables are left to the
// search, which reports them; terms with beta redexes are not compared (a redex may drop the
// place where the two differ).
bool repeatedVariableDisagrees(const Worklist& rest) {
    thread_local std::vector<const Problem*> bare;
    bare.clear();
    rest.forEach([](const Problem& q) {
        if (q.pattern.is(TermKind::PVar) && !q.term.hasPVar()) bare.push_back(&q);
    });
    for (std::size_t i = 1; i < bare.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (bare[i]->pattern.name() == bare[j]->pattern.name() && termsClash(bare[i]->term, bare[j]->term) &&
                !holdsBetaRedex(bare[i]->term) && !holdsBetaRedex(bare[j]->term))
                return true;
    return false;
}

// A flexible-head problem whose type match is the identity and that a branch point above took
// apart already: every solution below that branch point solves it (repeated_problems.h).
bool repeatsBranched(const Problem& pr, const Bindings& types, const Branched& branched) {
    if (!isIdentity(types) || !flexibleHead(pr.pattern.fun())) return false;
    for (Branched at = branched; !at.empty(); at = at.tail())
        if (repeated_problems::sameProblem(pr.pattern, pr.term, at.head().pattern, at.head().term)) return true;
    return false;
}

// `termTypes`: the type variables of the terms the match started from, which no type match may
// bind (term_type_vars.h).
Solutions solve(AppRule rule, const LazyTermTypes& termTypes, Worklist work, NameSupply supply, Branched branched) {
    return Solutions::defer([rule, termTypes, work = std::move(work), supply = std::move(supply),
                             branched = std::move(branched)]() -> Solutions {
        Worklist queue = work;
        NameSupply s = supply;
        std::vector<Bindings> ms;
        // Problems with at most one way forward are solved in this loop; the first problem with
        // alternatives hands the rest of the search to a lazy list per alternative.
        for (;;) {
            if (queue.empty())
                return composeAll(Solutions::cons(Solution{identityBindings(), s}, Solutions()), std::move(ms));
            auto [pr, rest] = queue.pop();
            if (pr.term.hasPVar()) freeVariablesInTerm(pr.term);
            const std::optional<Bindings> h = matchTermTypes(pr.pattern, pr.term);
            if (!h || bindsTermTypeVar(h->types, termTypes)) return Solutions();
            if (pr.pattern.is(TermKind::Ap) && rule != AppRule::Simple) {
                const Bindings hb = *h;
                if (repeatsBranched(pr, hb, branched)) {
                    queue = std::move(rest);
                    continue;
                }
                if (nextStepFailsForAll(termTypes, hb, rest) || someProblemMatchesNothing(pr, rest) ||
                    repeatedVariableDisagrees(rest))
                    return Solutions();
                const Branched above =
                    flexibleHead(pr.pattern.fun()) ? Branched::cons(withBindings(hb, pr), branched) : branched;
                Solutions branches = concatMap(
                    [rule, termTypes, hb, rest = rest, above](const RuleResult& rr) {
                        return continueAfter(rule, termTypes, hb, rr, rest, above);
                    },
                    appSteps(rule, hb, pr.pattern, pr.term, s, rest));
                return composeAll(branches, std::move(ms));
            }
            std::optional<RuleResult> rr = singleStep(pr.pattern, pr.term, s);
            if (!rr) return Solutions();
            const Bindings m = composeBindings(rr->bindings, *h);
            queue = nextWorklist(m, rest, applyToProblems(*h, std::move(rr->fresh)));
            if (!isIdentity(m)) ms.push_back(m);
            s = std::move(rr->supply);
        }
    });
}

}  // namespace

Solutions matchProblems(AppRule rule, const Problems& problems, const NameSupply& supply) {
    std::vector<Term> terms;
    for (const Problem& pr : problems) terms.push_back(pr.term);
    return solve(rule, std::make_shared<const TermTypes<Term>>(std::move(terms)), Worklist(problems), supply,
                 Branched());
}

// ---------------------------------------------------------------------------------------
// Abstraction
// ---------------------------------------------------------------------------------------

namespace {

// What every body of a level is searched with: the abstraction variable's name, the argument
// pattern's type, its parameters and its body with the parameters as pattern variables.
struct Abstraction {
    std::string v;
    Type argType;
    std::vector<Term> params;
    Term instance;
};

Abstraction abstractionOf(const std::string& v, const Term& x) {
    const Term opened = openLeadingLams(x);
    return Abstraction{v, termType(x), leadingLamVars(x), freezeLocals(freeLocalsOf(opened), opened)};
}

// The abstraction variable, typed as the instance's types make the argument's type, applied
// to the instantiated parameters; nothing when the match leaves a parameter unbound (the
// argument ignores it, and no term stands for it).
std::optional<Term> replacementFor(const Abstraction& a, const Bindings& m, const TypeSubst& types) {
    Term out = LVar(a.v, substType(types, a.argType));
    for (const Term& param : a.params) {
        Term arg = applyBindings(m, param);
        if (arg.is(TermKind::PVar)) return std::nullopt;
        Type r = resType(termType(out));
        out = Ap(std::move(out), std::move(arg), std::move(r));
    }
    return out;
}

// The constants that the free variables of the subterm at pos are frozen into: its own name
// for a variable bound outside b, which the argument pattern may mention as well; a name no
// variable has for one bound by a lambda of b above pos, which is another variable even when
// it looks like one of the pattern's.
NameMap frozenNames(const Term& b, const Position& pos) {
    NameMap out;
    for (const auto& [n, boundAbove] : freeLocalsAt(b, pos)) out.emplace(n, boundAbove ? " " + n : n);
    return out;
}

// The new bodies from one position of one body: an instance must give the argument's type
// variables the types the body's instances gave them (merged, not sought with them applied,
// which would let the match bind the term's type variables).
List<TypedBody> bodiesAt(const std::shared_ptr<const Abstraction>& a, const TypedBody& b, const Position& pos) {
    if (occursLVar(a->v, pos.sub)) return List<TypedBody>();
    const NameMap fs = frozenNames(b.body, pos);
    Solutions sols =
        matchProblems(AppRule::Simple, {Problem{a->instance, freezeLocalsAs(fs, pos.sub)}}, emptySupply());
    const StepList path = pos.path;
    return concatMap(
        [a, b, fs, path](const Solution& sol) {
            Bindings thawed{
                mapFM([&](const std::string&, const Term& t) { return thawLocalsAs(fs, t); }, sol.bindings.vars),
                sol.bindings.types};
            std::optional<TypeSubst> types = mergedInstanceTypes(b.types, sol.bindings.types);
            if (!types) return List<TypedBody>();
            std::optional<Term> r = replacementFor(*a, thawed, *types);
            if (!r) return List<TypedBody>();
            return List<TypedBody>::cons(TypedBody{replaceAtEta(path.toPath(), b.body, *r), std::move(*types)},
                                         List<TypedBody>());
        },
        sols);
}

// The bodies already listed, eta-contracted, by termHash: a body is compared only with those
// of its hash, so a level of n bodies is cleared of duplicates in about n comparisons, not n².
class SeenBodies {
public:
    // True, and the body kept, when no body seen is equal to it.
    bool isNew(Term contracted) {
        const std::uint64_t h = termHash(contracted);
        auto [from, to] = seen_.equal_range(h);
        for (auto it = from; it != to; ++it)
            if (termEqUpTo({}, {}, it->second, contracted)) return false;
        seen_.emplace(h, std::move(contracted));
        return true;
    }

private:
    std::unordered_multimap<std::uint64_t, Term> seen_;
};

// The list without the bodies equal (termEq) to an earlier one.  Its cells are forced once,
// in order, so they share one set of the bodies seen.
List<TypedBody> distinctBodies(List<TypedBody> xs, std::shared_ptr<SeenBodies> seen) {
    return List<TypedBody>::defer([xs, seen]() {
        for (List<TypedBody> at = xs; !at.empty(); at = at.tail())
            if (seen->isNew(etaNormalise(at.head().body)))
                return List<TypedBody>::cons(at.head(), distinctBodies(at.tail(), seen));
        return List<TypedBody>();
    });
}

}  // namespace

List<TypedBody> abstractNextTypedLevel(const List<TypedBody>& previous, const std::string& v, const Term& x) {
    return List<TypedBody>::defer([previous, v, x]() {
        auto a = std::make_shared<const Abstraction>(abstractionOf(v, x));
        List<TypedBody> all = concatMap(
            [a](const TypedBody& b) {
                return concatMap([a, b](const Position& pos) { return bodiesAt(a, b, pos); }, positions(b.body));
            },
            previous);
        return distinctBodies(all, std::make_shared<SeenBodies>());
    });
}

List<Term> abstractssub(std::int64_t n, const std::string& v, const Term& x, const Term& t) {
    if (n < 0) return List<Term>::defer([]() -> List<Term> { patternFail(CodedFailure::ReferenceAbstractsNegative); });
    List<TypedBody> level = List<TypedBody>::cons(TypedBody{t, TypeSubst()}, List<TypedBody>());
    for (std::int64_t i = 0; i < n; ++i) level = abstractNextTypedLevel(level, v, x);
    return map([](const TypedBody& b) { return b.body; }, level);
}

}  // namespace plim::ref
