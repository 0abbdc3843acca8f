// The fast matcher's core: substitutions over terms, the type match, the rules by pattern
// constructor and the lazy depth-first worklist search.
#include "engine/matching/fast/solver.h"

#include <algorithm>

#include "engine/matching/abstraction_types.h"
#include "engine/matching/fast/matcher.h"
#include "engine/matching/fast/types_by_node.h"
#include "engine/matching/head_binders.h"
#include "engine/matching/local_renaming.h"
#include "engine/matching/repeated_elements.h"
#include "engine/matching/repeated_problems.h"
#include "engine/matching/term_type_vars.h"
#include "engine/matching/tuple_typing.h"
#include "engine/matching/two_step_patterns.h"
#include "frontend/printer/expressions.h"
#include "support/errors.h"
#include "support/small_vec.h"

namespace plim::fast {

const TermSubst& identitySubst() {
    static const TermSubst id{};
    return id;
}

namespace {

bool isIdentity(const TermSubst& s) { return s.bindings.isEmpty() && s.types.isIdentity(); }

// What one rule finds: at most one binding (a bare pattern variable to its term) and the
// problem's type match.  The variable and the term are read in place from the worklist.
struct RuleSubst {
    const Term* var = nullptr;  // the PVar; null: the rule binds no variable
    const Term* term = nullptr;
    TypeSubst types;
};

bool isIdentity(const RuleSubst& s) { return !s.var && s.types.isIdentity(); }
bool bindsVars(const TermSubst& s) { return !s.bindings.isEmpty(); }
bool bindsVars(const RuleSubst& s) { return s.var != nullptr; }
const Term* boundTo(const TermSubst& s, const std::string& n) { return s.bindings.find(n); }
const Term* boundTo(const RuleSubst& s, const std::string& n) { return s.var && sameName(s.var->name(), n) ? s.term : nullptr; }

// f(var, term) for each binding, var the bound PVar.
template <class F>
void forEachBinding(const TermSubst& s, const F& f) {
    s.bindings.forEachSlot([&f](const TermBindings::Slot& b) { f(b.var, b.term); });
}
template <class F>
void forEachBinding(const RuleSubst& s, const F& f) {
    if (s.var) f(*s.var, *s.term);
}

// Terms from this size on share one memo of substituted types: the types of a long
// application spine share their nodes, and substituting each on its own is quadratic.
constexpr std::uint32_t sharedTypesFrom = 32;

template <class S>
Term substAll(const S& s, const Term& t) {
    const bool bindsVar = bindsVars(s);
    const bool typed = !s.types.isIdentity();
    auto touches = [&](const Term& u) { return (bindsVar && u.hasPVar()) || (typed && u.hasTypeVars()); };
    if (!touches(t)) return t;
    std::optional<SharedSubst> shared;
    if (typed && t.size() >= sharedTypesFrom) shared.emplace(s.types);
    auto ty = [&](const Type& x) {
        if (!typed || x.isGround()) return x;
        return shared ? (*shared)(x) : substType(s.types, x);
    };
    auto leaf = [&](const Term& u) -> Term {
        if (bindsVar && u.is(TermKind::PVar))
            if (const Term* bound = boundTo(s, u.name())) return *bound;
        Type t2 = ty(u.type());
        if (t2.sameNode(u.type())) return u;
        switch (u.kind()) {
        case TermKind::PVar: return PVar(u.name(), std::move(t2));
        case TermKind::LVar: return LVar(u.name(), std::move(t2));
        default: return Con(u.constant(), std::move(t2));
        }
    };
    // A leaf on its own (a pattern variable, most often) needs no walk.
    if (t.is(TermKind::PVar) || t.is(TermKind::LVar) || t.is(TermKind::Con)) return leaf(t);
    auto make = [&](const Term& u, std::vector<Term>& kids, bool changed) -> Term {
        Type t2 = ty(u.type());
        if (!changed && t2.sameNode(u.type())) return u;
        switch (u.kind()) {
        case TermKind::Ap: return Ap(std::move(kids[0]), std::move(kids[1]), std::move(t2));
        case TermKind::Lam: return Lam(u.binder(), std::move(kids[0]), std::move(t2));
        default: return Tupl(std::move(kids), std::move(t2));
        }
    };
    return mapTerm(t, touches, leaf, [](const LamBinding&) { return true; }, make);
}

// s2 = composeSubst(s1, s2) in place: s2's terms with s1 applied, then s1's bindings added (a
// name that both bind keeps s2's term), the type substitutions composed.
template <class S>
void composeInto(const S& s1, TermSubst& s2) {
    if (isIdentity(s1)) return;
    // s1 leaves the terms alone when it binds no type variable and they hold no pattern
    // variable (the usual case: bound terms come from the term side).
    if (!s1.types.isIdentity() || s2.bindings.anyHoldsPVar())
        s2.bindings = s2.bindings.mapped([&s1](const Term& t) { return substAll(s1, t); });
    forEachBinding(s1, [&s2](const Term& var, const Term& t) { s2.bindings.bind(var, t, TermBindings::OnBound::Keep); });
    if (!s1.types.isIdentity()) s2.types = substTypeOf(s1.types, s2.types);
}

}  // namespace

Term applyTermSubst(const TermSubst& s, const Term& t) { return isIdentity(s) ? t : substAll(s, t); }

TermSubst composeSubst(const TermSubst& s1, const TermSubst& s2) {
    // One named result, built in place of the caller's.
    const bool onlyS1 = isIdentity(s2);
    TermSubst out = onlyS1 ? s1 : s2;
    if (!onlyS1) composeInto(s1, out);
    return out;
}

// --- one problem ----------------------------------------------------------------------------

namespace {

// An application pattern with a flexible head under a higher-order step: the only rule that
// may give more than one result or draw on the supply.
bool branches(ApStep step, const Term& p) {
    return p.is(TermKind::Ap) && step != ApStep::Simple && flexibleHead(p.fun());
}

// What the renaming of a pattern lambda against a term asks of the problem (p, t)
// (local_renaming.h): t's free local variables are kept with its nodes, and the names of both
// are collected when first needed.
struct ProblemNames {
    const Term& t;
    NamesInUse used;
    bool freeInTerm(const std::string& n) const {
        if (!t.hasLVar()) return false;
        const auto& fs = freeLocalSet(t);
        return std::binary_search(fs.begin(), fs.end(), n);
    }
    std::string fresh(const std::string& n) { return freshVariant(n, used.get()); }
    Term renameFree(const NameMap& renaming, const Term& u) { return renameFreeLocals(renaming, u, used); }
};

// The result of every other rule: at most one, the supply unchanged.  Nothing when the rule
// fails; else whether it binds the pattern (a PVar) to the term, the problems it brings
// appended to `out` (which p and t must not be part of).
std::optional<bool> singleRule(const Term& p, const Term& t, Problems& out) {
    switch (p.kind()) {
    case TermKind::LVar:
        if (t.is(TermKind::LVar) && t.name() == p.name()) return false;
        return std::nullopt;
    case TermKind::PVar:
        if (hasFreeLocals(t)) return std::nullopt;
        return true;
    case TermKind::Con:
        if (t.is(TermKind::Con) && eqConstant(p.constant(), t.constant())) return false;
        return std::nullopt;
    case TermKind::Ap:  // a rigid head, or the simple step: first-order decomposition
        if (!t.is(TermKind::Ap)) return std::nullopt;
        out.emplace_back(p.fun(), t.fun());
        out.emplace_back(p.arg(), t.arg());
        return false;
    case TermKind::Lam: {
        if (t.is(TermKind::Lam)) {
            auto r = matchBinders(p.binder(), t.binder());
            if (!r) return std::nullopt;
            ProblemNames names{t, NamesInUse({&p, &t})};
            out.push_back(local_renaming::lambdaBodies(p, t, *r, names));
            return false;
        }
        ProblemNames names{t, NamesInUse({&p, &t})};
        const Term q = local_renaming::clearBinder(p, t, names);
        const Term a = binderTerm(argType(q.type()), q.binder());
        out.emplace_back(q.body(), Ap(t, a, resType(t.type())));
        return false;
    }
    case TermKind::Tupl: {
        if (!t.is(TermKind::Tupl) || t.elems().size() != p.elems().size()) return std::nullopt;
        for (std::size_t i = 0; i < p.elems().size(); ++i) out.emplace_back(p.elems()[i], t.elems()[i]);
        return false;
    }
    }
    return std::nullopt;
}

[[noreturn]] void freeVariablesInTerm(const Term& t) { failUser("free variables in term: " + showExpr(convert(t))); }

// The type match of a problem as a substitution, or nothing.  The term must hold no PVar.
std::optional<TypeSubst> typeMatch(const Term& p, const Term& t) {
    if (t.hasPVar()) freeVariablesInTerm(t);
    // A type matched against the very same type gives the identity.
    if (p.type().sameNode(t.type()) || eqType(p.type(), t.type())) return TypeSubst();
    // Kept by the very nodes of the two types: the alternatives of one branch point match the
    // same head against images whose types the step built once and shared.
    thread_local TypesByNode<std::pair<Type, Type>, std::optional<TypeSubst>> matches;
    return matches.get({p.type(), t.type()}, [](const std::pair<Type, Type>& k) {
        TypeSubst found;
        return matchTypeInto(found, k.first, k.second) ? std::optional<TypeSubst>(std::move(found)) : std::nullopt;
    });
}

// A problem with a substitution applied in place: to the pattern, and its types to the term
// too.  A side that the substitution does not change is left as it is, without a copy.
template <class S>
void substInPlace(const S& s, Problem& pr) {
    const bool typed = !s.types.isIdentity();
    if (!typed && pr.first.is(TermKind::PVar)) {
        if (const Term* bound = boundTo(s, pr.first.name())) pr.first = *bound;
    } else if ((bindsVars(s) && pr.first.hasPVar()) || (typed && pr.first.hasTypeVars())) {
        Term p = substAll(s, pr.first);
        if (!p.sameNode(pr.first)) pr.first = std::move(p);
    }
    if (typed && pr.second.hasTypeVars()) {
        Term t = substAll(RuleSubst{nullptr, nullptr, s.types}, pr.second);
        if (!t.sameNode(pr.second)) pr.second = std::move(t);
    }
}

// The search is depth first over the results of the branching problems.  It runs as one
// generator with an explicit stack of open branch points, so a solution found deep down is
// handed out directly instead of through one lazy layer per enclosing branch point.  The list
// cells are forced in order, so the generator's state is advanced in place.
//
// Every alternative of a branch point goes on with the same problems first: the rest of the
// worklist, with the same type match applied.  Their problems up to the first one that
// branches are solved once, when the branch point is opened; when one of them fails, no
// alternative can succeed and the step is not run at all.  Each alternative then starts
// where that prefix stopped, its own problems taking the prefix's substitutions, and the
// problems the prefix's rules brought following its own, as the worklist order has them.
struct BranchPoint {
    Term f;                    // the head of the branching problem
    StepSourcePtr alternatives;  // the step's results on its argument not yet tried (none: no result)
    TermSubst types;           // its type match
    TermSubst sofar;           // the substitution after the type match and the rest's prefix
    TermSubst pending;         // what the prefix bound, for the alternatives' problems
    Problems rest;             // the rest of the worklist from its first branching problem on
    Problems derived;          // the problems the prefix's rules brought
    Problem taken;             // the branching problem, its type match applied (repeated_problems.h)
    bool nonLambdaImages;      // an image that is no lambda may match f (head_binders.h)
    // The term has no free local variable, so neither has an image: the step builds them from
    // the term's parts and binds every variable it adds.
    bool closedImages;
};

// The type variables of the terms a search starts from, read when a type match first binds a
// variable: most type matches of a large term's problems bind none, and reading them walks it.
class TermTypes {
public:
    std::vector<Term> roots;  // the terms that hold a type variable

    // The type substitution binds one of them to another type.
    bool boundBy(const TypeSubst& s) const {
        if (roots.empty() || s.isIdentity()) return false;
        if (!vars_) {
            std::vector<const Term*> rs;
            for (const Term& t : roots) rs.push_back(&t);
            vars_ = termTypeVars(rs);
        }
        return bindsTermTypeVar(s, *vars_);
    }

private:
    mutable std::optional<TermTypeVars> vars_;
};

struct Search {
    ApStep step;
    TermTypes termTypes;  // the term's type variables, which no type match may bind
    std::optional<std::pair<Solution, Problems>> start;  // the first worklist, until it is run
    std::vector<BranchPoint> open;
    Problems spare;  // the storage of the last worklist run, for the next alternative's
    // No pattern variable occurs twice in the first worklist's patterns.  Every later pattern
    // is a part of one of them (with types substituted), no two problems share a part, and
    // the term sides hold no pattern variable: a binding then occurs in no other problem.
    bool linear = false;
};

// The pattern variables of the patterns are all distinct.  Only the parts that hold one are
// walked; most patterns are small, and their walk needs no heap block.
bool patternsLinear(const Problems& work) {
    SmallVec<const std::string*, 16> seen;
    SmallVec<const Term*, 16> walk;
    auto push = [&walk](const Term& p) {
        if (p.hasPVar()) walk.push_back(&p);
    };
    for (const Problem& pr : work) push(pr.first);
    while (!walk.empty()) {
        const Term& p = *walk.back();
        walk.pop_back();
        switch (p.kind()) {
        case TermKind::PVar:
            for (const std::string* n : seen)
                if (sameName(*n, p.name())) return false;
            seen.push_back(&p.name());
            break;
        case TermKind::Ap:
            push(p.arg());
            push(p.fun());
            break;
        case TermKind::Lam: push(p.body()); break;
        case TermKind::Tupl:
            for (const Term& e : p.elems()) push(e);
            break;
        default: break;
        }
    }
    return true;
}

enum class Progress : std::uint8_t { Failed, Branches, Done };

// The branching problem (p, t), whose type match is the identity, was taken apart by a branch
// point above the worklist, or by the one being opened: every solution below it solves (p, t)
// (repeated_problems.h).  A linear search has no two such problems: both would hold the head.
bool repeatsBranched(const Search& g, const Term& p, const Term& t, const Problem* opening) {
    if (g.linear) return false;
    auto same = [&p, &t](const Problem& q) { return repeated_problems::sameProblem(p, t, q.first, q.second); };
    if (opening && same(*opening)) return true;
    return std::any_of(g.open.begin(), g.open.end(), [&same](const BranchPoint& b) { return same(b.taken); });
}

// Solves the problems of the worklist from `from` on, in order, while their rules cannot
// branch; the problems the rules bring are appended to the worklist.  With a prefix length
// and `pending`, only the problems before that length are taken (the rules' problems are left
// behind them) and every substitution found is also composed into `pending`.  Stops at the
// first problem that branches, leaving its index in `from` and its type match in `ts`; a branching
// problem that a branch point above took apart already, or `opening`, is passed over.  Every
// substitution found is applied to the later problems and composed into `sofar`.
Progress solveWhileSingle(const Search& g, TermSubst& sofar, Problems& work, std::size_t& from,
                          std::optional<TermSubst>& ts, TermSubst* pending = nullptr, std::size_t prefix = 0,
                          const Problem* opening = nullptr) {
    const ApStep step = g.step;
    for (; from < (pending ? prefix : work.size()); ++from) {
        // Copies: the rule's problems go to the end of the worklist.
        const Term p = work[from].first;
        const Term t = work[from].second;
        std::optional<TypeSubst> types = typeMatch(p, t);
        if (!types || g.termTypes.boundBy(*types)) return Progress::Failed;
        if (branches(step, p)) {
            if (types->isIdentity() && repeatsBranched(g, p, t, opening)) continue;
            ts = TermSubst{TermBindings(), std::move(*types)};
            return Progress::Branches;
        }
        const std::size_t fresh = work.size();
        std::optional<bool> binds = singleRule(p, t, work);
        if (!binds) return Progress::Failed;
        // σ: the binding the rule made under the type match, which the new problems take.
        RuleSubst sigma{*binds ? &p : nullptr, *binds ? &t : nullptr, std::move(*types)};
        if (!sigma.types.isIdentity())
            for (std::size_t i = fresh; i < work.size(); ++i) substInPlace(sigma, work[i]);
        for (std::size_t i = fresh; i < work.size(); ++i)
            if (!mayMatch(work[i].first, work[i].second)) return Progress::Failed;
        if (!isIdentity(sigma)) {
            composeInto(sigma, sofar);
            if (!g.linear || !sigma.types.isIdentity())
                for (std::size_t j = from + 1; j < fresh; ++j) substInPlace(sigma, work[j]);
            // A linear search substitutes only the types of what the prefix bound.
            if (pending && (!g.linear || !sigma.types.isIdentity())) composeInto(sigma, *pending);
        }
    }
    return Progress::Done;
}

// The patterns of the rest of the worklist, each passed to visit: what the tests of a tuple
// argument below are told of the problems solved before the image's.
auto earlierPatterns(const Problems& rest) {
    return [&rest](auto visit) {
        for (const auto& pr : rest) visit(pr.first);
    };
}

// The one-step images for a flexible head applied to a tuple cannot match: the types of head
// and elements do not fit (every problem of the worklist is solved before the image's).
bool tupleImagesRuledOut(ApStep step, const Term& p, const Term& t, const Problems& rest) {
    if (step != ApStep::OneStep || !p.arg().is(TermKind::Tupl)) return false;
    return plim::tupleImagesRuledOut(p, t, earlierPatterns(rest));
}

// The repeated elements of a flexible head's tuple argument whose problems are checked against
// each other (repeated_elements.h): every problem of the worklist is solved before them.
std::vector<std::string> checkedRepeats(ApStep step, const Term& p, const Term& t, const Problems& rest) {
    if (step != ApStep::OneStep || !p.arg().is(TermKind::Tupl)) return {};
    return repeated_elements::checkedLeaves(p.fun(), p.arg(), t, earlierPatterns(rest));
}

// Some problem has no solution whatever is bound (self_typed_applications.h).  Every
// alternative of a branch point keeps the problems after it, so when one of them, or the
// branching problem itself, is such a problem, no alternative can succeed: none is tried.
bool anyMatchesNothing(const Problems& ps) {
    // A variable or a constant must meet no application: most problems of a step are such.
    auto leaf = [](const Term& p) { return p.is(TermKind::PVar) || p.is(TermKind::LVar) || p.is(TermKind::Con); };
    return std::any_of(ps.begin(), ps.end(),
                       [&leaf](const Problem& pr) { return !leaf(pr.first) && problemMatchesNothing(pr.first, pr.second); });
}

// The images of the tuple argument of p against t have argument types that follow their
// binders' types (tuple_typing.h): every problem of the worklist is solved before the image's.
bool tupleImagesTyped(const Term& p, const Term& t, const Problems& rest) {
    if (!p.arg().is(TermKind::Tupl)) return false;
    return imageTypesFollowBinders(p, t, earlierPatterns(rest));
}

// Opens the branch point of the problem work[at] with type match ts, unless the problems
// after it fail before the next one that branches.
void openBranchPoint(Search& g, TermSubst sofar, Problems& work, std::size_t at, const TermSubst& ts,
                     const NameSupply& s) {
    const Term p = work[at].first;
    const Term t = work[at].second;
    Problems rest(std::make_move_iterator(work.begin() + static_cast<std::ptrdiff_t>(at) + 1),
                  std::make_move_iterator(work.end()));
    const bool whole = p.arg().is(TermKind::Tupl) && headBinderTakesArgumentWhole(p.fun());
    const bool ruledOut = !whole && tupleImagesRuledOut(g.step, p, t, rest);
    std::vector<std::string> repeated =
        whole || ruledOut ? std::vector<std::string>{} : checkedRepeats(g.step, p, t, rest);
    const bool typedImages = !whole && !ruledOut && tupleImagesTyped(p, t, rest);
    Problem taken{p, t};
    if (!isIdentity(ts)) {
        for (auto& pr : rest) substInPlace(ts, pr);
        substInPlace(ts, taken);
    }
    sofar = composeSubst(ts, sofar);
    TermSubst pending = identitySubst();
    std::size_t from = 0;
    const std::size_t original = rest.size();
    std::optional<TermSubst> restTypes;
    if (solveWhileSingle(g, sofar, rest, from, restTypes, &pending, original, &taken) == Progress::Failed) return;
    Problems derived(std::make_move_iterator(rest.begin() + static_cast<std::ptrdiff_t>(original)),
                     std::make_move_iterator(rest.end()));
    rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(original), rest.end());
    rest.erase(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(from));
    if (problemMatchesNothing(p, t) || anyMatchesNothing(rest) || anyMatchesNothing(derived)) return;
    const Type headType = isIdentity(ts) ? p.fun().type() : substType(ts.types, p.fun().type());
    StepSourcePtr alts = ruledOut ? nullptr
                                  : stepSource(g.step, true, p.arg(), t, s, HeadType{headType, ts.types, typedImages},
                                               whole, std::move(repeated));
    g.open.push_back(BranchPoint{p.fun(), std::move(alts), ts, std::move(sofar), std::move(pending), std::move(rest),
                                 std::move(derived), std::move(taken), nonLambdaImagesFit(p.fun(), t),
                                 !hasFreeLocals(t)});
}

// Problems whose rules cannot branch are solved in a loop, in worklist order: the solution
// when the worklist runs out, nothing when a problem fails, and nothing when a branching
// problem is reached, which then opens a branch point over the rest of the worklist.
std::optional<Solution> runWorklist(Search& g, TermSubst sofar, Problems work, NameSupply s) {
    std::size_t at = 0;
    std::optional<TermSubst> ts;
    const Progress progress = solveWhileSingle(g, sofar, work, at, ts);
    if (progress == Progress::Branches) openBranchPoint(g, std::move(sofar), work, at, *ts, s);
    work.clear();
    g.spare = std::move(work);
    if (progress != Progress::Done) return std::nullopt;
    return Solution{std::move(sofar), std::move(s)};
}

// The next alternative of the innermost open branch point: the rest of its worklist from its
// first branching problem, the alternative's new problems (the type match and the prefix's
// substitutions applied), then the problems the prefix brought.
std::optional<Solution> tryNextAlternative(Search& g) {
    BranchPoint& top = g.open.back();
    std::optional<std::pair<StepResult, NameSupply>> taken;
    if (!top.alternatives || !(taken = top.alternatives->next())) {
        g.open.pop_back();
        return std::nullopt;
    }
    std::pair<StepResult, NameSupply>& alt = *taken;
    if (!top.nonLambdaImages && !alt.first.first.is(TermKind::Lam)) return std::nullopt;
    if (top.closedImages) recordClosed(alt.first.first);
    // The application rule: (f, u) in front of the step's problems, all under the type match.
    Problems& stepProblems = alt.first.second;
    if (anyMatchesNothing(stepProblems)) return std::nullopt;
    Problems next = std::move(g.spare);
    next.clear();
    next.reserve(top.rest.size() + stepProblems.size() + 1 + top.derived.size());
    next.insert(next.end(), top.rest.begin(), top.rest.end());
    const std::size_t first = next.size();
    next.emplace_back(top.f, std::move(alt.first.first));
    next.insert(next.end(), std::make_move_iterator(stepProblems.begin()), std::make_move_iterator(stepProblems.end()));
    if (!isIdentity(top.types))
        for (std::size_t i = first; i < next.size(); ++i) substInPlace(top.types, next[i]);
    for (std::size_t i = first; i < next.size(); ++i)
        if (!mayMatch(next[i].first, next[i].second)) return std::nullopt;
    if (!isIdentity(top.pending) && (!g.linear || !top.pending.types.isIdentity()))
        for (std::size_t i = first; i < next.size(); ++i) substInPlace(top.pending, next[i]);
    next.insert(next.end(), top.derived.begin(), top.derived.end());
    return runWorklist(g, top.sofar, std::move(next), std::move(alt.second));
}

// The next solution of the search, nothing once it is exhausted.
std::optional<Solution> nextSolution(Search& g) {
    for (;;) {
        std::optional<Solution> found;
        if (g.start) {
            auto [first, work] = std::move(*g.start);
            g.start.reset();
            g.linear = patternsLinear(work);
            found = runWorklist(g, std::move(first.first), std::move(work), std::move(first.second));
        } else if (g.open.empty()) {
            return std::nullopt;
        } else {
            found = tryNextAlternative(g);
        }
        if (found) return found;
    }
}

// Combines the supplies of the solutions so far into `best`: for each name list the one
// whose first name comes furthest, the leftmost of equals.
void combineInto(std::optional<NameSupply>& best, const NameSupply& s) {
    if (!best) {
        best = s;
        return;
    }
    // Most solutions leave the supply where others left it: no names to compare.
    if (!best->vars.sameList(s.vars) && best->vars.headBefore(s.vars)) best->vars = s.vars;
    if (!best->tyvars.sameList(s.tyvars) && best->tyvars.headBefore(s.tyvars)) best->tyvars = s.tyvars;
}

// The type variables of the worklist's terms.
TermTypes typeVarsOfTerms(const Problems& worklist) {
    TermTypes found;
    for (const auto& pr : worklist)
        if (pr.second.hasTypeVars()) found.roots.push_back(pr.second);
    return found;
}

// The search that starts from `acc` and `s` on the worklist.
Search searchFrom(ApStep step, const TermSubst& acc, Problems worklist, const NameSupply& s) {
    TermTypes termTypes = typeVarsOfTerms(worklist);
    std::pair<Solution, Problems> start{Solution{acc, s}, std::move(worklist)};
    return Search{step, std::move(termTypes), std::move(start), {}, {}};
}

// The results of a search, each solution's substitution passed through `finish`, with the
// supplies of its solutions combined as they come (combPair from the right: for each name
// list the one whose first name comes furthest, the leftmost of equals).  The supply is read
// by running the search to its end; the solutions found then wait, unfinished, for the
// results to be read.
template <class R>
struct RunSearch {
    // Built in place: the search starts from `acc` and `s` on the worklist.
    RunSearch(ApStep step, const TermSubst& acc, Problems worklist, const NameSupply& s,
              std::function<R(TermSubst)> f)
        : search(searchFrom(step, acc, std::move(worklist), s)), finish(std::move(f)) {}

    Search search;
    std::function<R(TermSubst)> finish;
    std::optional<NameSupply> combined;
    std::vector<TermSubst> waiting;  // found while reading the supply, the first `read` read as results
    std::size_t read = 0;
    bool exhausted = false;

    std::optional<TermSubst> nextFound() {
        if (exhausted) return std::nullopt;
        std::optional<Solution> found = nextSolution(search);
        if (!found) {
            exhausted = true;
            return std::nullopt;
        }
        combineInto(combined, found->second);
        return std::move(found->first);
    }
    std::optional<TermSubst> nextSubst() {
        if (read == waiting.size()) return nextFound();
        return std::move(waiting[read++]);
    }
    NameSupply restAfter(const NameSupply& given) {
        while (std::optional<TermSubst> s = nextFound()) waiting.push_back(std::move(*s));
        return combined ? *combined : given;
    }
};

template <class R>
List<R> resultsOf(std::shared_ptr<RunSearch<R>> g) {
    return List<R>::unfold([g]() -> std::optional<R> {
        std::optional<TermSubst> s = g->nextSubst();
        if (!s) return std::nullopt;
        return g->finish(std::move(*s));
    });
}

// A worklist of one problem (p, t) that has no solution, as its types show before any search:
// p branches on a flexible head applied to a tuple whose images tupleImagesRuledOut rules out.
// The search would fail on its type match or find so on opening its branch point (the rest of
// the worklist being empty).
bool ruledOutUpFront(ApStep step, const Problems& worklist) {
    if (worklist.size() != 1) return false;
    const auto& [p, t] = worklist.front();
    if (!branches(step, p) || headBinderTakesArgumentWhole(p.fun())) return false;
    return tupleImagesRuledOut(step, p, t, {});
}

}  // namespace

List<Solution> solveProblems(ApStep step, const TermSubst& acc, Problems worklist, const NameSupply& s) {
    auto g = std::make_shared<Search>(searchFrom(step, acc, std::move(worklist), s));
    return List<Solution>::unfold([g]() { return nextSolution(*g); });
}

std::optional<TermSubst> solveSimple(Problems worklist) {
    Search g{ApStep::Simple, typeVarsOfTerms(worklist), std::nullopt, {}, {}};
    g.linear = patternsLinear(worklist);
    std::optional<Solution> found = runWorklist(g, identitySubst(), std::move(worklist), emptySupply());
    if (!found) return std::nullopt;
    return std::move(found->first);
}

namespace {

// The run of the search over the worklist; a match decided up front by the types needs no search.
template <class R>
std::pair<List<R>, Lazy<NameSupply>> searchRun(ApStep step, const TermSubst& acc, Problems worklist,
                                               const NameSupply& s, std::function<R(TermSubst)> finish) {
    if (ruledOutUpFront(step, worklist)) return {List<R>(), Lazy<NameSupply>(s)};
    auto g = std::make_shared<RunSearch<R>>(step, acc, std::move(worklist), s, std::move(finish));
    Lazy<NameSupply> rest = delay([g, s]() { return g->restAfter(s); });
    List<R> results = resultsOf(std::move(g));
    return {std::move(results), std::move(rest)};
}

}  // namespace

SolutionRun solveRun(ApStep step, const TermSubst& acc, Problems worklist, const NameSupply& s,
                     std::function<TermSubst(TermSubst)> finish) {
    if (!finish) finish = [](TermSubst t) { return t; };
    auto [substs, rest] = searchRun<TermSubst>(step, acc, std::move(worklist), s, std::move(finish));
    return SolutionRun{std::move(substs), std::move(rest)};
}

ConvertedRun solveRunConverted(ApStep step, const TermSubst& acc, Problem problem, const NameSupply& s,
                               std::function<MatchResult(TermSubst)> finish) {
    Problems worklist;
    worklist.push_back(std::move(problem));
    auto [results, rest] = searchRun(step, acc, std::move(worklist), s, std::move(finish));
    return ConvertedRun{std::move(results), std::move(rest)};
}

bool twoStepApplicable(const Term& p) { return suitsTwoStep(p); }

}  // namespace plim::fast
