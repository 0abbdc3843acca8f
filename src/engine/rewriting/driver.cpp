#include "engine/rewriting/driver.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "engine/matching/fast/record.h"
#include "engine/rewriting/attempts.h"
#include "engine/rewriting/positions.h"
#include "engine/rewriting/rule_preparation.h"
#include "lang/constants.h"
#include "support/errors.h"
#include "support/identity_index.h"
#include "support/work_room.h"

namespace plim {

namespace {

using Attempt = FailList<Calculation, CalcStep>;

// What every step of one derivation shares.
struct Level {
    MatcherRef matcher;
    RuleCopies copies;
    std::vector<TypedVar> ctx;
    BoundVars bound;       // ctx, shared by the positions' contexts
    NameSupply canonical;  // the supply of canonical names: fresh for ctx alone
    std::shared_ptr<const RuleTable> table;  // the matcher's tables for the rules; may be null
    std::vector<std::vector<std::string>> needed;  // per rule: the names a complete match binds
    std::size_t depth = 0;  // how many conditions this derivation is nested in

    const Rule& rule(std::size_t r) const { return (*copies.front())[r]; }
};
using LevelRef = std::shared_ptr<const Level>;

// Where a derivation's loop stopped: the failures at the final expression and the supply.
struct LoopEnd {
    std::optional<Failures> failures;
    std::optional<NameSupply> supply;
};
using LoopEndRef = std::shared_ptr<LoopEnd>;

Expr canonicalWith(const NameSupply& canonical, const Expr& e) {
    return etared(scrub(e, RenameState{canonical, Renaming(), Renaming()}).first);
}

NameSupply canonicalSupply(const std::vector<TypedVar>& ctx) {
    static const Expr zero = mkCon(mkNumber(0), mkTCon("Int"));
    return freshFor(zero, ctx)(initialNameSupply());
}

// The matcher's tables for the rules' left sides, where it offers them.
std::shared_ptr<const RuleTable> ruleTableFor(const MatcherRef& matcher, const std::vector<Rule>& rules) {
    if (!matcher->ruleTable) return nullptr;
    std::vector<Expr> leftSides;
    for (const Rule& r : rules) leftSides.push_back(r.equation.first);
    return matcher->ruleTable(leftSides);
}

LevelRef makeLevel(MatcherRef matcher, RuleCopies copies, std::vector<TypedVar> ctx,
                   std::shared_ptr<const RuleTable> table, std::size_t depth = 0) {
    NameSupply canonical = canonicalSupply(ctx);
    std::vector<std::vector<std::string>> needed;
    for (const Rule& r : *copies.front()) needed.push_back(freeNames(r.equation.first));
    BoundVars bound(ctx);
    return std::make_shared<const Level>(Level{std::move(matcher), std::move(copies), std::move(ctx), std::move(bound),
                                               std::move(canonical), std::move(table), std::move(needed), depth});
}

// --- positions ------------------------------------------------------------------------------

// The binders in scope under nested lambdas: scope 0 is the level's context, each other scope
// the context inside one more lambda, which shares the binders around it (BoundVars), so
// nested lambdas cost space linear in their number.
class Scopes {
public:
    Scopes() { clear(); }
    void reset(const BoundVars& ctx) {
        scopes_.clear();
        scopes_.push_back(ctx);
    }
    void clear() { reset(BoundVars()); }
    // A new scope inside `outer`, binding `own`.
    int enter(int outer, std::vector<TypedVar> own) {
        scopes_.push_back(boundIn(outer).inside(std::move(own)));
        return static_cast<int>(scopes_.size() - 1);
    }
    const BoundVars& boundIn(int scope) const { return scopes_[static_cast<std::size_t>(scope)]; }

private:
    std::vector<BoundVars> scopes_;  // scope k at k
};

// The positions of one expression where the matcher offers no tables: every subexpression in
// subpaths order, with whether it holds a constant.
struct Site {
    const Expr* expr;  // inside the expression, which the positions' owner keeps
    int parent;
    bool full;  // not an application's function: its own eta expansion there
    bool hasConstant = false;
};

using Positions = std::vector<Site>;  // in subpaths order
using PositionsRef = std::shared_ptr<const Positions>;

PositionsRef positionsOf(const Expr& e) {
    auto out = std::make_shared<Positions>();
    Positions& sites = *out;
    std::vector<Site> stack{Site{&e, -1, true}};
    while (!stack.empty()) {
        const Site s = stack.back();
        stack.pop_back();
        const int i = static_cast<int>(sites.size());
        sites.push_back(s);
        const Expr& node = *s.expr;
        switch (node.kind()) {
        case ExprKind::Lam:
            stack.push_back(Site{&node.body(), i, true});
            // A constant of the pattern (a tuple pattern) counts too.
            if (holdsConstant(node.pattern())) sites.back().hasConstant = true;
            break;
        case ExprKind::Ap:
            stack.push_back(Site{&node.fun(), i, false});
            stack.push_back(Site{&node.arg(), i, true});
            break;
        case ExprKind::Let: patternFail(CodedFailure::SubpathsLet);
        case ExprKind::Con: sites.back().hasConstant = true; break;
        case ExprKind::Var: break;
        }
    }
    // Children come after their parent in pre-order: one backward pass spreads the flags up.
    for (std::size_t k = sites.size(); k-- > 1;)
        if (sites[k].hasConstant) sites[static_cast<std::size_t>(sites[k].parent)].hasConstant = true;
    return out;
}

// The subexpressions of an expression that eta expansion gave: each is its own expansion
// where it stands (in full unless it is an application's function), so expanding a new
// expression built from them need not walk them again.
std::function<bool(const Expr&, bool)> expandedParts(const Positions& pos) {
    auto full = std::make_shared<IdentityIndex>(pos.size());
    for (const bool pass : {true, false})
        for (const Site& s : pos)
            if (s.full == pass) full->add(s.expr->identity(), pass ? 1 : 0);
    return [full](const Expr& x, bool inFull) {
        const std::optional<std::uint32_t> known = full->find(x.identity());
        return known && (*known == 1 || !inFull);
    };
}

// --- one attempt --------------------------------------------------------------------------------

bool bindsAll(const MatchResult& m, const std::vector<std::string>& names) {
    const std::vector<std::string> domain = matchDomain(m);
    return std::all_of(names.begin(), names.end(), [&](const std::string& n) {
        return std::find(domain.begin(), domain.end(), n) != domain.end();
    });
}

// What an attempt needs to know of the expression it works on.
struct Current {
    LevelRef level;
    Expr e;
    std::shared_ptr<const SiteTable> table;  // the level's tables for e; may be null
    PositionsRef positions;  // every position of e; only where the matcher offers no tables
    Lazy<NameSupply> fresh;  // the supply without the names of e and of the context
};
using CurrentRef = std::shared_ptr<const Current>;

Expr instantiate(const Current& cur, const Path& path, const Rule& rule, const MatchResult& m) {
    return betareduce(replace(cur.e, path, applyMatch(m, rule.equation.second)));
}

// (nested derivations so far, match).
using Candidate = std::pair<std::vector<Derivation>, MatchResult>;
using CondList = FailList<Candidate, Candidate>;

struct CondOutcome {
    CondList result;
    NameSupply rest;
};

std::pair<Derivation, Lazy<NameSupply>> deriveAt(const LevelRef& level, const Expr& e, const NameSupply& supply);

// The user error of a condition of rule r that would nest kMaxConditionDepth + 1 deep.
[[noreturn]] void conditionsTooDeep(const Level& level, std::size_t r) {
    failUser("conditions nested too deeply (more than " + std::to_string(kMaxConditionDepth) + " levels) in rule \"" +
             level.rule(r).label + "\"");
}

// The context of a side of a condition: the variables bound around the attempt's position, then
// the side's own free variables (the condition's variables that the rule's left side leaves
// unbound), which are fixed while the side is rewritten and matched.
std::vector<TypedVar> withFreeVars(const std::vector<TypedVar>& subctx, const Expr& side) {
    std::vector<TypedVar> ctx = subctx;
    for (TypedVar& v : freevars(side)) ctx.push_back(std::move(v));
    return ctx;
}

bool bound(const std::vector<TypedVar>& ctx, const std::string& name) {
    return std::any_of(ctx.begin(), ctx.end(), [&](const TypedVar& v) { return v.first == name; });
}

// The matches that meet a condition once both sides are rewritten: the final right side `fr`
// matched against the final left side `fl` in the left side's context `fixed`, so that the left
// side's own variables stand for themselves on both sides.  A kept match binds every other free
// name of the right side, to an expression free of the left side's own variables: these stand
// for any value, so what the condition finds cannot depend on them.
MatchRun conditionMatches(const Matcher& matcher, const MatchResult& m, const std::vector<TypedVar>& fixed,
                          const std::vector<TypedVar>& subctx, const Expr& fl, const Expr& fr, const NameSupply& s) {
    MatchRun run = matcher.matchTwoStepWith(m, TermCtx{fr, fixed}, TermCtx{fl, fixed}, s);
    std::vector<std::string> needed;
    for (const std::string& n : freeNames(fr))
        if (!bound(fixed, n)) needed.push_back(n);
    std::vector<std::string> own;
    for (std::size_t k = subctx.size(); k < fixed.size(); ++k)
        if (!bound(subctx, fixed[k].first)) own.push_back(fixed[k].first);
    auto meets = [needed, own](const MatchResult& x) {
        if (!bindsAll(x, needed)) return false;
        if (own.empty()) return true;
        for (const auto& [name, value] : x.subst) {
            if (std::find(needed.begin(), needed.end(), name) == needed.end()) continue;
            for (const std::string& n : freeNames(value))
                if (std::find(own.begin(), own.end(), n) != own.end()) return false;
        }
        return true;
    };
    return MatchRun{filter(meets, run.results), run.rest};
}

Lazy<CondOutcome> checkCondition(const LevelRef& level, std::size_t r, const Equation& cond,
                                 const std::vector<TypedVar>& subctx, const Candidate& cand,
                                 const Lazy<NameSupply>& supply) {
    return delay([level, r, cond, subctx, cand, supply]() -> CondOutcome {
        if (level->depth >= kMaxConditionDepth) conditionsTooDeep(*level, r);
        const auto& [nested, m] = cand;
        const Expr l = betareduce(applyMatch(m, cond.first));
        const Expr r = betareduce(applyMatch(m, cond.second));
        auto [copies, s1] = advance(level->copies, supply.get());
        auto table = ruleTableFor(level->matcher, *copies.front());
        LevelRef left = makeLevel(level->matcher, copies, withFreeVars(subctx, l), table, level->depth + 1);
        LevelRef right = makeLevel(level->matcher, copies, withFreeVars(subctx, r), table, level->depth + 1);
        auto [dl, s2] = deriveAt(left, l, s1);
        auto [dr, s3] = deriveAt(right, r, s2.get());
        MatchRun run = conditionMatches(*level->matcher, m, left->ctx, subctx, finalExpression(dl), finalExpression(dr),
                                        s3.get());
        const MatchResults& kept = run.results;
        std::vector<Derivation> nested2;
        if (!dl.steps.empty()) nested2.push_back(dl);
        if (!dr.steps.empty()) nested2.push_back(dr);
        nested2.insert(nested2.end(), nested.begin(), nested.end());
        CondList out;
        if (kept.empty())
            out.failures = List<Candidate>::cons(Candidate{nested2, m}, {});
        else
            out.results = map([nested2](const MatchResult& x) { return Candidate{nested2, x}; }, kept);
        return CondOutcome{out, run.rest.get()};
    });
}

// The run of one condition on one candidate, and the supply after it.
struct CondRun {
    CondList result;
    Lazy<NameSupply> rest;
};

// checkCondition on every candidate in order, the supply threaded from one to the next.
List<CondRun> conditionRuns(const LevelRef& level, std::size_t r, const Equation& cond,
                            const std::vector<TypedVar>& subctx, const List<Candidate>& cands,
                            const Lazy<NameSupply>& supply) {
    return List<CondRun>::defer([=]() -> List<CondRun> {
        if (cands.empty()) return {};
        Lazy<CondOutcome> outcome = checkCondition(level, r, cond, subctx, cands.head(), supply);
        CondList lazyList{List<Candidate>::defer([outcome] { return outcome.get().result.failures; }),
                          List<Candidate>::defer([outcome] { return outcome.get().result.results; })};
        Lazy<NameSupply> rest = outcome.map([](const CondOutcome& o) { return o.rest; });
        return List<CondRun>::cons(CondRun{lazyList, rest},
                                   conditionRuns(level, r, cond, subctx, cands.tail(), rest));
    });
}

// The supply after the last run (the given one when there are none).
Lazy<NameSupply> afterRuns(const List<CondRun>& runs, const Lazy<NameSupply>& supply) {
    return delay([runs, supply]() {
        Lazy<NameSupply> s = supply;
        for (List<CondRun> at = runs; !at.empty(); at = at.tail()) s = at.head().rest;
        return s.get();
    });
}

// The conditions from the last to the first; a candidate that fails one is not checked
// against the earlier ones.
CondList checkConditions(const LevelRef& level, std::size_t r, const std::vector<TypedVar>& subctx,
                         const MatchResults& matches, const Lazy<NameSupply>& supply) {
    const std::vector<Equation>& conds = level->rule(r).conditions;
    CondList state{{}, map([](const MatchResult& m) { return Candidate{{}, m}; }, matches)};
    Lazy<NameSupply> s = supply;
    for (std::size_t k = conds.size(); k-- > 0;) {
        List<CondRun> runs = conditionRuns(level, r, conds[k], subctx, state.results, s);
        List<CondList> lists = map([](const CondRun& r) { return r.result; }, runs);
        state = joinResults(FailList<Candidate, CondList>{state.failures, lists});
        s = afterRuns(runs, s);
    }
    return state;
}

// The one-step match of the rule's left side at a subexpression: through the level's tables
// where the matcher offers them.
MatchRun matchOneStep(const Current& cur, std::size_t r, const TermCtx& term) {
    if (cur.table) return cur.table->matchOneStep(r, term, cur.fresh.get());
    return cur.level->matcher->matchOneStep(cur.level->rule(r).equation.first, term, cur.fresh.get());
}

// The attempt of a conditional rule: its candidates checked against the conditions when its
// lists are first read.
Attempt conditionalAttempt(const CurrentRef& cur, std::size_t r, const TermCtx& term, const Lazy<Path>& path) {
    auto checked = delay([cur, r, term]() {
        MatchRun run = matchOneStep(*cur, r, term);
        const Level* level = cur->level.get();
        MatchResults complete =
            filter([cur, level, r](const MatchResult& m) { return bindsAll(m, level->needed[r]); }, run.results);
        return checkConditions(cur->level, r, term.bound.vars(), complete, run.rest);
    });
    // The lists read the rule from the level they keep alive: no copy per attempt.
    return Attempt{
        List<Calculation>::defer([cur, r, checked]() {
            return map(
                [cur, r](const Candidate& c) { return conditionalStep(cur->level->rule(r).label, c.second, c.first); },
                checked.get().failures);
        }),
        List<CalcStep>::defer([cur, r, checked, path]() {
            return map(
                [cur, r, path](const Candidate& c) {
                    const Rule& rule = cur->level->rule(r);
                    return CalcStep{conditionalStep(rule.label, c.second, c.first),
                                    instantiate(*cur, path.get(), rule, c.second)};
                },
                checked.get().results);
        })};
}

// The sites a walk went through, where its attempts are listed before the first is made: each
// site's parent (-1 at the top) and the step from the parent.
using WalkSites = std::vector<std::pair<int, Step>>;

// The path of an attempt's subexpression: given, or rebuilt from the walk's sites when first
// read.
class SitePath {
public:
    explicit SitePath(const Path& known) : known_(&known) {}
    SitePath(const WalkSites& sites, int site) : sites_(&sites), site_(site) {}

    const Path& get() {
        if (known_) return *known_;
        Path& p = built_.emplace();
        for (auto at = (*sites_)[static_cast<std::size_t>(site_)]; at.first >= 0;
             at = (*sites_)[static_cast<std::size_t>(at.first)])
            p.push_back(at.second);
        std::reverse(p.begin(), p.end());
        known_ = &p;
        return p;
    }
    // For the lists of a conditional attempt, which outlive the walk.
    Lazy<Path> lazy() { return Lazy<Path>(get()); }

private:
    const Path* known_ = nullptr;
    const WalkSites* sites_ = nullptr;
    int site_ = 0;
    std::optional<Path> built_;
};

// The search of one step: the attempts in order (the rules in theory order, each at its
// positions in subpaths order) and the results of each in order, until one makes progress: its
// expression differs from the current one after eta contraction.  Each attempt runs to its end
// before the next position is looked for.  The failures of the attempts tried are kept for
// when none makes progress; only conditional attempts have any.
class StepSearch {
public:
    explicit StepSearch(CurrentRef cur) : cur_(std::move(cur)) {}

    // Once the positions to try are known, before the first attempt.
    void start() { reduced_ = etared(cur_->e); }
    // Rule r at the term; true when one of its results makes progress.
    bool tryAt(std::size_t r, const TermCtx& term, SitePath& path) {
        if (cur_->level->rule(r).conditions.empty()) return tryPlain(r, term, path);
        Attempt attempt = conditionalAttempt(cur_, r, term, path.lazy());
        failed_.push_back(attempt.failures);
        for (List<CalcStep> at = attempt.results; !at.empty(); at = at.tail())
            if (progresses(at.head())) return true;
        return false;
    }
    const CalcStep& found() const { return *found_; }
    // Where a plain rule's instance went, when beta reduction left the result as replace made
    // it: the found expression is the current one with `replacement` put at `path`.
    struct Placed {
        Path path;
        Expr replacement;
    };
    const std::optional<Placed>& placed() const { return placed_; }
    // Computed when read.
    Failures failures() const { return concat(fromVector(failed_)); }

private:
    bool tryPlain(std::size_t r, const TermCtx& term, SitePath& path) {
        const Level& level = *cur_->level;
        MatchRun run = matchOneStep(*cur_, r, term);
        for (MatchResults at = run.results; !at.empty(); at = at.tail()) {
            const MatchResult& m = at.head();
            if (!bindsAll(m, level.needed[r])) continue;
            const Rule& rule = level.rule(r);
            Calculation c = plainStep(rule.label, m);
            const Path& where = path.get();
            Expr replacement = applyMatch(m, rule.equation.second);
            Expr replaced = replace(cur_->e, where, replacement);
            Expr next = betareduce(replaced);
            const bool asPlaced = next.sameNode(replaced);
            const Expr reducedNext = etared(next);
            // As placed, and no lambda contracted on either side: only the path is compared.
            const bool same = asPlaced && reducedNext.sameNode(next) && reduced_->sameNode(cur_->e)
                                  ? equalAfterReplace(cur_->e, where, replacement)
                                  : exprEq({}, {}, reducedNext, *reduced_);
            if (!same) {
                found_ = CalcStep{std::move(c), std::move(next)};
                if (asPlaced) placed_ = Placed{where, std::move(replacement)};
                return true;
            }
        }
        return false;
    }
    bool progresses(const CalcStep& step) {
        if (exprEq({}, {}, etared(step.second), *reduced_)) return false;
        found_ = step;
        return true;
    }

    CurrentRef cur_;
    std::optional<Expr> reduced_;
    std::vector<Failures> failed_;
    std::optional<CalcStep> found_;
    std::optional<Placed> placed_;
};

// The work space of the walks of one step, kept from one step to the next.
struct WalkRoom {
    struct Item {
        const Expr* expr;
        std::uint32_t depth;
        Step step;  // the last step of its path
        int scope;
        int parent;  // its parent's place among the sites, when they are kept
    };
    std::vector<Item> stack;
    Path steps;  // steps[d - 1]: the last step of the path of the node at depth d walked last
    Path path;   // the path of the subexpression tried
    Scopes scopes;
    WalkSites sites;  // of every walk of the step, when its attempts are listed
    void clear() {
        stack.clear();
        steps.clear();
        path.clear();
        scopes.clear();
        sites.clear();
    }
};

// What the walk asks at a subexpression for one rule: whether the rule is tried there and
// whether any subexpression below may be tried.  The matcher's tables answer where it offers
// them; otherwise the rule is tried where the subexpression holds a constant and the matcher's
// test succeeds (asked by the caller at the top), and nothing below a subexpression without a
// constant is tried.
class SiteQuestions {
public:
    explicit SiteQuestions(const Current& cur) : cur_(cur), table_(cur.table.get()) {
        if (table_) return;
        constants_.emplace(cur.positions->size());
        for (const Site& s : *cur.positions)
            if (s.hasConstant) constants_->add(s.expr->identity(), 1);
    }
    [[gnu::always_inline]] SiteTable::Visit visit(std::size_t rule, const Expr& x, bool top,
                                                 const BoundVars& bound) const {
        if (table_) return table_->visit(rule, x, top, bound);
        return asked(rule, x, top, bound);
    }

private:
    const Current& cur_;
    const SiteTable* table_;

    [[gnu::noinline]] SiteTable::Visit asked(std::size_t rule, const Expr& x, bool top,
                                            const BoundVars& bound) const {
        const bool constant = constants_->find(x.identity()).has_value();
        const Expr& lhs = cur_.level->rule(rule).equation.first;
        return SiteTable::Visit{constant && (top || cur_.level->matcher->applicable(lhs, TermCtx{x, bound})), constant};
    }
    std::optional<IdentityIndex> constants_;  // the nodes that hold a constant, without tables
};

// The positions of one rule: the subexpressions in subpaths order where the rule is tried, a
// subtree where nothing may be tried passed over.  With `listing`, the scopes and sites of
// the walks before it are kept and each node walked is added to the sites.
class RuleWalk {
public:
    RuleWalk(const Current& cur, const SiteQuestions& questions, std::size_t rule, WalkRoom& room, bool listing)
        : questions_(questions), rule_(rule), room_(room), listing_(listing) {
        if (listing_) {
            room_.stack.clear();
            room_.steps.clear();
        } else {
            room_.clear();
            room_.scopes.reset(cur.level->bound);
        }
        room_.stack.push_back(WalkRoom::Item{&cur.e, 0, Step::First, 0, -1});
    }

    // The next subexpression to try, null at the end; path(), bound(), scope() and site() are
    // its own then.
    const Expr* next() {
        std::vector<WalkRoom::Item>& stack = room_.stack;
        while (hasFollowing_ || !stack.empty()) {
            const WalkRoom::Item it = hasFollowing_ ? following_ : stack.back();
            if (hasFollowing_) hasFollowing_ = false;
            else stack.pop_back();
            const Expr& x = *it.expr;
            const BoundVars& bound = room_.scopes.boundIn(it.scope);
            const SiteTable::Visit visit = questions_.visit(rule_, x, it.depth == 0, bound);
            if (!visit.below) continue;
            // The nodes walked since this one's parent are in its siblings' subtrees: the steps
            // above it are still those of its path.
            if (it.depth > 0) {
                if (room_.steps.size() < it.depth) room_.steps.resize(it.depth);
                room_.steps[it.depth - 1] = it.step;
            }
            const int self = listing_ ? static_cast<int>(room_.sites.size()) : -1;
            if (listing_) room_.sites.emplace_back(it.parent, it.step);
            // The child walked next is kept aside, not pushed.
            // A child the questions rule out is passed over as its own visit would.
            if (x.isLam() && visit.first) {
                const int inner = room_.scopes.enter(it.scope, freevars(x.pattern()));
                follow(WalkRoom::Item{&x.body(), it.depth + 1, Step::Body, inner, self});
            } else if (x.isAp()) {
                if (visit.first) stack.push_back(WalkRoom::Item{&x.fun(), it.depth + 1, Step::First, it.scope, self});
                if (visit.second) follow(WalkRoom::Item{&x.arg(), it.depth + 1, Step::Second, it.scope, self});
            }
            if (visit.attempt) {
                if (!listing_) room_.path.assign(room_.steps.begin(), room_.steps.begin() + it.depth);
                scope_ = it.scope;
                site_ = self;
                return &x;
            }
        }
        return nullptr;
    }
    const Path& path() const { return room_.path; }
    const BoundVars& bound() const { return room_.scopes.boundIn(scope_); }
    int scope() const { return scope_; }
    int site() const { return site_; }

private:
    const SiteQuestions& questions_;
    std::size_t rule_;
    WalkRoom& room_;
    bool listing_;
    WalkRoom::Item following_{nullptr, 0, Step::First, 0, -1};  // walked before the stack's top, when there is one
    bool hasFollowing_ = false;
    int scope_ = 0;
    int site_ = -1;

    void follow(const WalkRoom::Item& item) {
        following_ = item;
        hasFollowing_ = true;
    }
};

// The matcher's applicability test of the rule's left side at the whole expression.
bool applicableAtTop(const Current& cur, std::size_t r) {
    if (cur.table) return cur.table->applicable(r, cur.e, cur.level->bound);
    return cur.level->matcher->applicable(cur.level->rule(r).equation.first, TermCtx{cur.e, cur.level->bound});
}

// Every rule at every position where it is tried, the rules in theory order and the positions
// in subpaths order, until a result makes progress; a rule the matcher rejects at the whole
// expression is not tried below.
//
// Where the tables answer every question, none raises an error: each rule's positions are
// walked between the attempts, up to the first that makes progress.  Otherwise a question (the
// matcher's applicability test) may raise one, and every question is asked before the first
// attempt: the walks list the attempts, which are then made in order.
bool searchStep(StepSearch& search, const CurrentRef& cur) {
    const bool listing = !cur->table || !cur->table->answersAll();
    if (listing && cur->e.holdsAny(ExprHolds::Let)) patternFail(CodedFailure::SubpathsLet);
    const SiteQuestions questions(*cur);
    BorrowedRoom<WalkRoom> room;
    room->scopes.reset(cur->level->bound);
    struct Listed {
        std::size_t rule;
        const Expr* expr;
        int scope;
        int site;
    };
    std::vector<Listed> listed;
    // Walked between the attempts, the rules are first tested at the whole expression.
    std::vector<std::size_t> rules;
    for (std::size_t r = 0; r < cur->level->copies.front()->size(); ++r)
        if (listing || applicableAtTop(*cur, r)) rules.push_back(r);
    if (!listing) search.start();
    for (const std::size_t r : rules) {
        if (listing && !applicableAtTop(*cur, r)) continue;
        RuleWalk walk(*cur, questions, r, *room, listing);
        while (const Expr* x = walk.next()) {
            if (listing) {
                listed.push_back(Listed{r, x, walk.scope(), walk.site()});
                continue;
            }
            SitePath path(walk.path());
            if (search.tryAt(r, TermCtx{*x, walk.bound()}, path)) return true;
        }
    }
    if (!listing) return false;
    search.start();
    for (const Listed& a : listed) {
        SitePath path(room->sites, a.site);
        if (search.tryAt(a.rule, TermCtx{*a.expr, room->scopes.boundIn(a.scope)}, path)) return true;
    }
    return false;
}

// --- the loop ---------------------------------------------------------------------------------

// The eta expansion of the expression a step found.  The current expression is expanded
// already: only what the step built is walked.  Where the step only put an instance in place,
// the path down to it is made of nodes rebuilt as they were (of the same forms and types, in
// the same positions) around parts already expanded, so only the instance is walked.
std::pair<Expr, NameSupply> expandFound(const StepSearch& search, const NameSupply& s,
                                        const std::function<bool(const Expr&, bool)>& expanded) {
    const Expr& next = search.found().second;
    if (!search.placed()) return recexpand(next, s, expanded);
    const auto& [path, replacement] = *search.placed();
    const bool full = path.empty() || path.back() != Step::First;
    auto [inside, rest] = recexpand(replacement, s, expanded, full);
    if (inside.sameNode(replacement)) return {next, std::move(rest)};
    return {replace(next, path, inside), std::move(rest)};
}

// The steps from e on; when no result makes progress the failures and the supply are left in
// `end`.  Each step is computed in its own cell, so reading them costs no stack.
// `before`: the tables of the expression before (null at the start).
CalcSteps rewriteLoop(const LevelRef& level, const Expr& e, const NameSupply& s, const LoopEndRef& end,
                      const std::shared_ptr<const SiteTable>& before) {
    return CalcSteps::defer([level, e, s, end, before]() -> CalcSteps {
        std::shared_ptr<const SiteTable> table = before ? before->next(e, level->ctx)
                                                 : level->table ? level->table->sites(e, level->ctx) : nullptr;
        PositionsRef positions = table ? nullptr : positionsOf(e);
        auto cur = std::make_shared<const Current>(Current{level, e, table, positions,
                                                           delay([e, level, s] { return freshFor(e, level->ctx)(s); })});
        StepSearch search(cur);
        if (!searchStep(search, cur)) {
            end->failures = search.failures();
            end->supply = s;
            return {};
        }
        std::function<bool(const Expr&, bool)> expanded;
        if (table)
            expanded = [table](const Expr& x, bool full) { return table->ownExpansion(x, full); };
        else
            expanded = expandedParts(*positions);
        auto [e2, s2] = expandFound(search, s, expanded);
        return CalcSteps::cons(CalcStep{search.found().first, canonicalWith(level->canonical, e2)},
                               rewriteLoop(level, e2, s2, end, table));
    });
}

void readAll(CalcSteps steps) {
    while (!steps.empty()) steps = steps.tail();
}

std::pair<Derivation, Lazy<NameSupply>> deriveAt(const LevelRef& level, const Expr& e, const NameSupply& supply) {
    auto [e1, s1] = recexpand(e, supply);
    auto end = std::make_shared<LoopEnd>();
    CalcSteps steps = rewriteLoop(level, e1, s1, end, nullptr);
    Failures failures = Failures::defer([steps, end]() {
        readAll(steps);
        return *end->failures;
    });
    Lazy<NameSupply> rest = delay([steps, end]() {
        readAll(steps);
        return *end->supply;
    });
    return {Derivation{canonicalWith(level->canonical, e1), steps, failures}, rest};
}

}  // namespace

Expr canonicalForm(const std::vector<TypedVar>& ctx, const Expr& e) { return canonicalWith(canonicalSupply(ctx), e); }

std::pair<RuleCopies, NameSupply> advance(const RuleCopies& copies, const NameSupply& supply) {
    if (copies.size() > 1) return {RuleCopies(copies.begin() + 1, copies.end()), supply};
    auto [renamed, rest] = renameRules(*copies.front(), supply);
    return {RuleCopies{std::make_shared<const std::vector<Rule>>(std::move(renamed))}, rest};
}

std::pair<Derivation, Lazy<NameSupply>> derive(MatcherRef matcher, const RuleCopies& copies, const Expr& e,
                                               const std::vector<TypedVar>& ctx, const NameSupply& supply) {
    auto table = ruleTableFor(matcher, *copies.front());
    return deriveAt(makeLevel(std::move(matcher), copies, ctx, std::move(table)), e, supply);
}

Derivation rewriteDefinition(MatcherRef matcher, const std::vector<Rule>& theory, const Expr& expr,
                             const std::vector<TypedVar>& ctx) {
    const std::vector<Rule> prepared = unletRules(theory);
    NameSupply s = freshFor(expr, ctx)(initialNameSupply());
    RuleCopies copies;
    for (int k = 0; k < 3; ++k) {
        auto [copy, rest] = renameRules(prepared, s);
        copies.push_back(std::make_shared<const std::vector<Rule>>(std::move(copy)));
        s = rest;
    }
    return derive(std::move(matcher), copies, unlet(expr), ctx, s).first;
}

Derivation rewriteDefinition(const Matcher& matcher, const std::vector<Rule>& theory, const Expr& expr,
                             const std::vector<TypedVar>& ctx) {
    return rewriteDefinition(std::make_shared<const Matcher>(matcher), theory, expr, ctx);
}

}  // namespace plim
