// The one-step and two-step engine of the reference matcher and its six match operations.

#include "engine/matching/reference/matcher.h"

#include <algorithm>
#include <functional>
#include <optional>

#include "engine/matching/abstraction_types.h"
#include "engine/matching/reference/solver.h"
#include "engine/matching/reference/term_operations.h"
#include "engine/matching/repeated_elements.h"
#include "engine/matching/rigid_tops.h"
#include "engine/matching/tuple_typing.h"
#include "engine/matching/type_constraint.h"

namespace plim::ref {

namespace {

// ---------------------------------------------------------------------------------------
// Candidate generators
// ---------------------------------------------------------------------------------------

// Every sublist of paths[i..], in the order of the list utilities' powerset.
List<std::vector<Path>> pathSubsets(std::shared_ptr<const std::vector<Path>> paths, std::size_t i) {
    return List<std::vector<Path>>::defer([paths, i]() {
        if (i == paths->size()) return List<std::vector<Path>>::cons({}, List<std::vector<Path>>());
        List<std::vector<Path>> without = pathSubsets(paths, i + 1);
        const Path first = (*paths)[i];
        auto with = map(
            [first](const std::vector<Path>& rest) {
                std::vector<Path> out{first};
                out.insert(out.end(), rest.begin(), rest.end());
                return out;
            },
            without);
        return append(without, with);
    });
}

// True when the subterm at the path may stand for x: it mentions no variable bound by a lambda
// of t above it (by name alone, a variable bound further out and one bound inside t can look
// alike), and every local variable it mentions is free in x as well (names in xFree).  The
// problem (x, u) of any other subterm fails whatever comes: bindings hold no local variable,
// and every rule hands each local variable of a problem's term on to a problem whose pattern
// is part of this one's, so no pattern is ever left to meet it.  Its abstractions, and every
// search after them (a tuple argument's later elements above all, which see the variables
// of the binders opened before them), are not built.
bool mayStandFor(const std::vector<std::string>& xFree, const Term& t, const Position& pos) {
    for (const auto& [n, boundAbove] : freeLocalsAt(t, pos))
        if (boundAbove || std::find(xFree.begin(), xFree.end(), n) == xFree.end()) return false;
    return true;
}

// The distinct subterms of t that may stand for x, with the paths of all their occurrences,
// in order of first occurrence.  (Subterms equal under termEq mention the same free local
// variables, so a group is kept or left out whole.)
std::vector<std::pair<Term, std::vector<Path>>> abstractableGroups(const Term& x, const Term& t) {
    std::vector<std::pair<Term, std::vector<Path>>> groups;
    std::vector<Term> keys;  // eta-contracted group keys
    const std::vector<std::string> xFree = x.hasLVar() ? freeLocalsOf(x) : std::vector<std::string>{};
    for (List<Position> at = positions(t); !at.empty(); at = at.tail()) {
        const Position& pos = at.head();
        if (!mayStandFor(xFree, t, pos)) continue;
        const Term key = etaNormalise(pos.sub);
        std::size_t g = 0;
        while (g < keys.size() && !termEqUpTo({}, {}, key, keys[g])) ++g;
        if (g == keys.size()) {
            keys.push_back(key);
            groups.push_back({pos.sub, {}});
        }
        groups[g].second.push_back(pos.path.toPath());
    }
    return groups;
}

bool isPrefix(const Path& a, const Path& b) {
    return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// True when one path of the subset leads into the subterm at another.  That happens only when
// a term equals, up to eta, a subterm of itself (\z -> g z and g); the inner occurrence is
// gone once the outer one is replaced, so such a subset offers nothing of its own.
bool overlapping(const std::vector<Path>& subset) {
    for (std::size_t i = 0; i < subset.size(); ++i)
        for (std::size_t j = 0; j < subset.size(); ++j)
            if (i != j && isPrefix(subset[i], subset[j])) return true;
    return false;
}

// An abstraction whose problem (x, u) fails at once (rigid_tops.h: for a lambda x, at the
// top of its body), or has no solution whatever is bound (self_typed_applications.h), gives
// no solution.
bool shapeAllows(const Term& x, const Term& u) {
    return lambdaTopAllows(x, u) && !problemMatchesNothing(x, u);
}

// An abstraction whose problem (x, u) fails at its type match whatever comes
// (abstraction_types.h: the types cannot meet, or their constructors clash; `closedTypes`:
// the types of the term that u is taken from hold no type variable) gives no solution.
bool typesAllow(const Term& x, const Term& u, bool closedTypes) {
    return abstractionTypesAllow(x.type(), u.type(), closedTypes) && !typeShapesClash(x.type(), u.type());
}

// Which abstractions a search leaves out before their bodies are built: those of groups whose
// binder type the tuple search rules out (`binderTypes`, null for none), and, with
// `problemTypes`, those whose problem fails at its type match (typesAllow).  Without it only
// the rigid tops and self-typed applications are looked at (shapeAllows), as the generator
// alone gives its candidates.
using BinderTypeFilter = std::function<bool(const Type&)>;
struct GroupChecks {
    BinderTypeFilter binderTypes;
    bool problemTypes = false;
};

bool groupAllowed(const Term& x, const Term& t, const Term& u, const GroupChecks& checks) {
    if (checks.binderTypes && !checks.binderTypes(termType(u))) return false;
    if (!shapeAllows(x, u)) return false;
    return !checks.problemTypes || typesAllow(x, u, !t.hasTypeVars());
}

// The abstractions of the occurrences of u in t over the variable v.
AppCandidates groupAbstractions(const Term& x, const Term& t, const Term& u, std::vector<Path> paths,
                                const std::string& v, const NameSupply& rest, const GroupChecks& checks) {
    if (!groupAllowed(x, t, u, checks)) return AppCandidates();
    auto subsets = filter([](const std::vector<Path>& subset) { return !overlapping(subset); },
                          pathSubsets(std::make_shared<const std::vector<Path>>(std::move(paths)), 0).tail());
    const Term var = LVar(v, termType(u));
    auto candidates = map(
        [t, var, v](const std::vector<Path>& subset) {
            Term body = replaceAll(subset, var, t);
            Type ty = arrowType(termType(var), termType(body));
            return Lam(LamVar(v), std::move(body), std::move(ty));
        },
        subsets);
    auto fitting = filter([](const Term& c) { return isEtaNormal(c) && bindersFit(c); }, candidates);
    return map([x, u, rest](const Term& c) { return AppCandidate{c, {Problem{x, u}}, rest}; }, fitting);
}

AppCandidates oneStepCandidates(const Term& x, const Term& t, const NameSupply& s, const GroupChecks& checks) {
    AppCandidates abstractions = AppCandidates::defer([x, t, s, checks]() {
        auto [v, rest] = nextName(s);
        AppCandidates perGroup = concatMap(
            [x, t, v, rest, checks](const std::pair<Term, std::vector<Path>>& g) {
                return groupAbstractions(x, t, g.first, g.second, v, rest, checks);
            },
            fromVector(abstractableGroups(x, t)));
        AppCandidate constant{Lam(LamVar(v), t, arrowType(termType(x), termType(t))), {}, rest};
        return append(perGroup, AppCandidates::cons(std::move(constant), AppCandidates()));
    });
    if (!t.is(TermKind::Ap) || problemMatchesNothing(x, t.arg())) return abstractions;
    return AppCandidates::cons(AppCandidate{t.fun(), {Problem{x, t.arg()}}, s}, abstractions);
}

// The candidates of the levels from `level` on, up to the first empty level.  The abstraction
// variable is typed as the body's instances instantiate x's type, and the candidate brings
// their type substitution along, so that the match's types say what x's type variables stood
// for, also those only x's inner parts mention.
AppCandidates levelCandidates(List<TypedBody> level, const std::string& v, const Term& x, const NameSupply& rest) {
    return AppCandidates::defer([level, v, x, rest]() {
        if (level.empty()) return AppCandidates();
        auto here = map(
            [v, x, rest](const TypedBody& b) {
                const Term& r = b.body;
                Term candidate = etaReduce(Lam(LamVar(v), r, arrowType(substType(b.types, termType(x)), termType(r))));
                Problems problems;
                if (!b.types.isIdentity()) problems.push_back(typeConstraint<Problem>(b.types, Con));
                return AppCandidate{std::move(candidate), std::move(problems), rest};
            },
            level);
        return append(here, levelCandidates(abstractNextTypedLevel(level, v, x), v, x, rest));
    });
}

AppCandidates twoStepCandidates(bool flexible, const Term& x, const Term& t, const NameSupply& s) {
    if (!flexible) return simpleAppRule(x, t, s);
    return AppCandidates::defer([x, t, s]() {
        auto [v, rest] = nextName(s);
        return levelCandidates(List<TypedBody>::cons(TypedBody{t, TypeSubst()}, List<TypedBody>()), v, x, rest);
    });
}

AppCandidates generate(AppRule rule, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                       const GroupChecks& checks) {
    if (rule == AppRule::TwoStep) return twoStepCandidates(flexible, x, t, s);
    return oneStepCandidates(x, t, s, checks);
}

// ---------------------------------------------------------------------------------------
// Tuple arguments: components abstracted one after another
// ---------------------------------------------------------------------------------------

struct OpenedBinder {
    LamBinding binder;
    Type type;
};

using Repeats = std::shared_ptr<const repeated_elements::Checked<Problem>>;

// The types of the binders a tuple argument's image opens, against the head's argument type,
// when the images' argument types follow their binders' (tuple_typing.h,
// imageTypesFollowBinders): every image closes into a lambda whose argument type is the tuple
// of its binders' types, nested as the argument is, and the head's type must meet it.  So the
// pairs (part of the head's argument type at an element, type of the binder opened for it)
// taken so far must be unifiable all at once, or no combination that goes on from them can
// match.  `part` is the part at the tuple being searched (none: nothing is checked).
// `problemTypes` as for GroupChecks, for every generator of the search.
struct BinderTyping {
    std::optional<Type> part;
    std::shared_ptr<const std::vector<std::pair<Type, Type>>> pairs;
    bool problemTypes = false;
};

// The typing with the pair (part, binder) added; nothing when the pairs cannot all meet.
std::optional<BinderTyping> withBinder(const BinderTyping& typing, const Type& part, const Type& binder) {
    auto pairs = std::make_shared<std::vector<std::pair<Type, Type>>>();
    if (typing.pairs) *pairs = *typing.pairs;
    pairs->emplace_back(part, binder);
    if (!typePairsMayUnify(*pairs)) return std::nullopt;
    return BinderTyping{typing.part, std::move(pairs), typing.problemTypes};
}

// The typing for the element i of n of the tuple: its part of the tuple's part.
BinderTyping elementTyping(const BinderTyping& typing, std::size_t i, std::size_t n) {
    return BinderTyping{tupleTypeComponent(typing.part, i, n), typing.pairs, typing.problemTypes};
}

// What the element's generator checks its groups for.
GroupChecks checksOf(const BinderTyping& element) {
    GroupChecks out{nullptr, element.problemTypes};
    if (element.part)
        out.binderTypes = [element](const Type& binder) { return withBinder(element, *element.part, binder).has_value(); };
    return out;
}

AppCandidates higherOrder(AppRule rule, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                          const Repeats& repeated, const BinderTyping& typing);

AppCandidate closeTuple(const std::vector<OpenedBinder>& bs, const Term& body, Problems ps, NameSupply s) {
    Term candidate = body;
    if (bs.size() == 1) {
        candidate = Lam(bs[0].binder, body, arrowType(bs[0].type, termType(body)));
    } else if (bs.size() >= 2) {
        std::vector<LamBinding> binders;
        std::vector<Type> types;
        for (const OpenedBinder& b : bs) {
            binders.push_back(b.binder);
            types.push_back(b.type);
        }
        Type tuple = mkTCon(tupleTypeName(static_cast<std::int64_t>(bs.size())), std::move(types));
        candidate = Lam(LamTup(std::move(binders)), body, arrowType(std::move(tuple), termType(body)));
    }
    return AppCandidate{etaReduce(candidate), std::move(ps), std::move(s)};
}

AppCandidates tupleSearch(AppRule rule, std::shared_ptr<const std::vector<Term>> ys, std::size_t i,
                          std::vector<OpenedBinder> bs, Term u, Problems ps, NameSupply s, Repeats repeated,
                          BinderTyping typing) {
    if (i == ys->size()) return AppCandidates::cons(closeTuple(bs, u, std::move(ps), std::move(s)), AppCandidates());
    const BinderTyping element = elementTyping(typing, i, ys->size());
    return concatMap(
        [rule, ys, i, bs, ps, u, repeated, typing, element](const AppCandidate& c) {
            auto pattern = [](const Problem& p) -> const Term& { return p.pattern; };
            auto term = [](const Problem& p) -> const Term& { return p.term; };
            if (repeated_elements::disagreesWith(*repeated, c.problems, ps, pattern, term)) return AppCandidates();
            const Term& h = c.candidate;
            std::vector<OpenedBinder> more = bs;
            Term body = h;
            NameSupply next = c.supply;
            // The term's own lambda at the head of a redex that never contracts (its binder does
            // not fit the argument), taken by the decomposition of u, is not opened: its binder
            // would stand for the element, which is matched against that very argument, and the
            // image would not give the term back.
            const bool stuckHead = u.is(TermKind::Ap) && h.sameNode(u.fun()) && h.is(TermKind::Lam) &&
                                   !bindBinder(h.binder(), u.arg());
            if (h.is(TermKind::Lam) && !stuckHead) {
                more.push_back(OpenedBinder{h.binder(), argType(h.type())});
                body = h.body();
            } else {
                auto [w, rest] = nextName(c.supply);
                const Type& tau = termType(h);
                more.push_back(OpenedBinder{LamVar(w), argType(tau)});
                body = Ap(h, LVar(w, argType(tau)), resType(tau));
                next = std::move(rest);
            }
            BinderTyping after = typing;
            if (element.part) {
                std::optional<BinderTyping> fits = withBinder(typing, *element.part, more.back().type);
                if (!fits) return AppCandidates();
                after = std::move(*fits);
            }
            Problems newps = c.problems;
            newps.insert(newps.end(), ps.begin(), ps.end());
            return tupleSearch(rule, ys, i + 1, std::move(more), std::move(body), std::move(newps), std::move(next),
                               repeated, std::move(after));
        },
        higherOrder(rule, true, (*ys)[i], u, s, repeated_elements::checkedFor(repeated, (*ys)[i], ps),
                    element));
}

// The application rule's candidates, from the rule's generator.  Under the two-step rule an
// application with a rigid head is only decomposed, also when its argument is a tuple:
// searching the tuple's components as if the head were flexible would drop their pattern
// variables unbound (the two-step candidates bring no problems), giving results that do not
// match.  The binder types are checked inside tuples of two or more elements; another
// argument's candidates are checked by the tuple around it.
AppCandidates higherOrder(AppRule rule, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                          const Repeats& repeated, const BinderTyping& typing) {
    if (!x.is(TermKind::Tupl) || (rule == AppRule::TwoStep && !flexible))
        return generate(rule, flexible, x, t, s, checksOf(typing));
    auto ys = std::make_shared<const std::vector<Term>>(x.elems());
    const BinderTyping inner = ys->size() >= 2 ? typing : BinderTyping{std::nullopt, nullptr, typing.problemTypes};
    return AppCandidates::defer(
        [rule, ys, t, s, repeated, inner]() { return tupleSearch(rule, ys, 0, {}, t, {}, s, repeated, inner); });
}

}  // namespace

AppCandidates appRuleCandidates(AppRule rule, bool flexible, const Term& x, const Term& t, const NameSupply& s,
                                bool wholeArgument, std::vector<std::string> repeated, std::optional<Type> headArg,
                                bool problemTypes) {
    if (rule == AppRule::Simple) return simpleAppRule(x, t, s);
    if (wholeArgument) return generate(rule, flexible, x, t, s, GroupChecks{nullptr, problemTypes});
    if (!x.is(TermKind::Tupl) || (headArg && !tupleTypeConstrains(*headArg))) headArg.reset();
    return higherOrder(rule, flexible, x, t, s,
                       std::make_shared<const repeated_elements::Checked<Problem>>(
                           repeated_elements::Checked<Problem>{std::move(repeated), {}}),
                       BinderTyping{std::move(headArg), nullptr, problemTypes});
}

// ---------------------------------------------------------------------------------------
// The match operations
// ---------------------------------------------------------------------------------------

namespace {

// The different names of a context, in ascending order: all that the conversions, freezing and
// thawing read of it.
std::vector<std::string> namesOf(const BoundVars& ctx) { return ctx.names().sorted(); }

// The reference match from initial bindings: context variables frozen into constants on
// both sides (the term comes frozen, from convertFrozen), the bindings applied to the pattern
// and composed into every solution, the term's context variables thawed again in the bound
// terms.
Solutions runReferenceMatch(AppRule rule, const Bindings& b0, const Term& p, const std::vector<std::string>& pctx,
                            const Term& t1, const std::vector<std::string>& tctx, const NameSupply& s) {
    Term p1 = applyBindings(b0, freezeLocals(pctx, p));
    return map(
        [b0, tctx](const Solution& sol) {
            Bindings b = composeBindings(sol.bindings, b0);
            if (!tctx.empty())
                b.vars = mapFM([&](const std::string&, const Term& u) { return thawLocals(tctx, u); }, b.vars);
            return Solution{std::move(b), sol.supply};
        },
        matchProblems(rule, {Problem{std::move(p1), t1}}, s));
}

// The bindings with the match's type substitution applied: the images the candidates build
// are typed from the pattern, and the bindings must carry the term's types.
Bindings instantiated(const Bindings& b) {
    if (b.types.isIdentity()) return b;
    const Bindings types{VarMap(), b.types};
    return Bindings{
        mapFM([&types](const std::string&, const Term& t) { return t.hasTypeVars() ? applyBindings(types, t) : t; },
              b.vars),
        b.types};
}

MatchResults resultsOf(const Solutions& sols) {
    return map([](const Solution& sol) { return unconvertBindings(instantiated(sol.bindings)); }, sols);
}

// What is left of the supply: the supply given when there is no solution, else the
// supplies of all solutions combined from the right.
NameSupply restOf(const Solutions& sols, const NameSupply& given) {
    std::vector<NameSupply> supplies;
    for (List<Solution> at = sols; !at.empty(); at = at.tail()) supplies.push_back(at.head().supply);
    if (supplies.empty()) return given;
    NameSupply acc = supplies.back();
    for (std::size_t i = supplies.size() - 1; i-- > 0;) {
        acc = combPair(supplies[i], acc);
        // Each combination is decided at once, so a long fold leaves no chain to unwind.
        (void)acc.vars.empty();
        (void)acc.tyvars.empty();
    }
    return acc;
}

MatchRun runOf(const Solutions& sols, const NameSupply& s) {
    return MatchRun{resultsOf(sols), delay([sols, s] { return restOf(sols, s); })};
}

// The solutions of a match from the bindings (none: the identity) of the pattern in context
// against the term in context, by `rule`, or, without one, by the rule of two-step matching
// that suits the converted pattern.
Solutions matchInContext(std::optional<AppRule> rule, const std::optional<MatchResult>& bindings,
                         const TermCtx& pattern, const TermCtx& term, const NameSupply& supply) {
    return Solutions::defer([rule, bindings, pattern, term, supply]() {
        const auto pnames = namesOf(pattern.bound);
        const Term p = convert(pnames, pattern.expr);
        const auto tnames = namesOf(term.bound);
        const AppRule r = rule ? *rule : isTwoStepPattern(p) ? AppRule::TwoStep : AppRule::OneStep;
        return runReferenceMatch(r, bindings ? convertBindings(*bindings) : identityBindings(), p, pnames,
                                 convertFrozen(tnames, term.expr), tnames, supply);
    });
}

}  // namespace

MatchResults simpleMatch(const Expr& pattern, const Expr& term) {
    return resultsOf(Solutions::defer([pattern, term]() {
        return matchProblems(AppRule::Simple, {Problem{convertClosed(pattern), convertClosed(term)}}, emptySupply());
    }));
}

MatchResults simpleMatchWith(const MatchResult& bindings, const TermCtx& pattern, const TermCtx& term) {
    return resultsOf(matchInContext(AppRule::Simple, bindings, pattern, term, emptySupply()));
}

MatchRun oneStepMatch(const Expr& pattern, const TermCtx& term, const NameSupply& supply) {
    return runOf(matchInContext(AppRule::OneStep, std::nullopt, TermCtx{pattern, {}}, term, supply), supply);
}

MatchRun oneStepMatchWith(const MatchResult& bindings, const TermCtx& pattern, const TermCtx& term,
                          const NameSupply& supply) {
    return runOf(matchInContext(AppRule::OneStep, bindings, pattern, term, supply), supply);
}

MatchRun twoStepMatch(const Expr& pattern, const TermCtx& term, const NameSupply& supply) {
    return runOf(matchInContext(std::nullopt, std::nullopt, TermCtx{pattern, {}}, term, supply), supply);
}

MatchRun twoStepMatchWith(const MatchResult& bindings, const TermCtx& pattern, const TermCtx& term,
                          const NameSupply& supply) {
    return runOf(matchInContext(std::nullopt, bindings, pattern, term, supply), supply);
}

}  // namespace plim::ref
