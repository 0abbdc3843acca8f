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
    explicit Scopes(const BoundVars& ctx) { reset(ctx); }
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

// The positions of one expression: every subexpression in subpaths order, with whether it
// holds a constant; paths and binders are rebuilt only for the positions an attempt uses.
struct Site {
    const Expr* expr;  // inside the expression, which the positions' owner keeps
    int parent;
    Step step;
    int scope;
    bool full;  // not an application's function: its own eta expansion there
    bool hasConstant = false;
};

struct Positions {
    explicit Positions(const BoundVars& ctx) : scopes(ctx) {}
    std::vector<Site> sites;  // in subpaths order
    Scopes scopes;

    const Expr& exprAt(std::size_t i) const { return *sites[i].expr; }
    const BoundVars& boundAt(std::size_t i) const { return scopes.boundIn(sites[i].scope); }
    TermCtx at(std::size_t i) const { return TermCtx{exprAt(i), boundAt(i)}; }

    Path pathOf(int i) const {
        Path p;
        for (; sites[i].parent >= 0; i = sites[i].parent) p.push_back(sites[i].step);
        std::reverse(p.begin(), p.end());
        return p;
    }
};
using PositionsRef = std::shared_ptr<const Positions>;

PositionsRef positionsOf(const Expr& e, const BoundVars& ctx) {
    auto out = std::make_shared<Positions>(ctx);
    std::vector<Site>& sites = out->sites;
    std::vector<Site> stack{Site{&e, -1, Step::First, 0, true}};
    while (!stack.empty()) {
        const Site s = stack.back();
        stack.pop_back();
        const int i = static_cast<int>(sites.size());
        sites.push_back(s);
        const Expr& node = *s.expr;
        switch (node.kind()) {
        case ExprKind::Lam: {
            const int inner = out->scopes.enter(s.scope, freevars(node.pattern()));
            stack.push_back(Site{&node.body(), i, Step::Body, inner, true});
            // A constant of the pattern (a tuple pattern) counts too.
            if (holdsConstant(node.pattern())) sites.back().hasConstant = true;
            break;
        }
        case ExprKind::Ap:
            stack.push_back(Site{&node.fun(), i, Step::First, s.scope, false});
            stack.push_back(Site{&node.arg(), i, Step::Second, s.scope, true});
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
    auto full = std::make_shared<IdentityIndex>(pos.sites.size());
    for (const bool pass : {true, false})
        for (const Site& s : pos.sites)
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
    PositionsRef positions;  // every position of e; only where the tables cannot guide the walk
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

// The path of an attempt's subexpression: given, or rebuilt from the positions when first read.
class SitePath {
public:
    explicit SitePath(const Path& known) : known_(&known) {}
    SitePath(const CurrentRef& cur, int site) : cur_(&cur), site_(site) {}

    const Path& get() {
        if (!known_) known_ = &built_.emplace((*cur_)->positions->pathOf(site_));
        return *known_;
    }
    // For the lists of a conditional attempt, which outlive the walk.
    Lazy<Path> lazy() const {
        if (known_) return Lazy<Path>(*known_);
        return delay([cur = *cur_, site = site_] { return cur->positions->pathOf(site); });
    }

private:
    const Path* known_ = nullptr;
    const CurrentRef* cur_ = nullptr;
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
    };
    std::vector<Item> stack;
    Path steps;  // steps[d - 1]: the last step of the path of the node at depth d walked last
    Path path;   // the path of the subexpression tried
    Scopes scopes;
    void clear() {
        stack.clear();
        steps.clear();
        path.clear();
        scopes.clear();
    }
};

// The positions of one rule where the tables answer every test: the subexpressions in subpaths
// order, a subtree where the rule's test fails everywhere passed over.
class RuleWalk {
public:
    RuleWalk(const Current& cur, std::size_t rule, WalkRoom& room) : table_(*cur.table), rule_(rule), room_(room) {
        room_.clear();
        room_.scopes.reset(cur.level->bound);
        room_.stack.push_back(WalkRoom::Item{&cur.e, 0, Step::First, 0});
    }

    // The next subexpression to try, null at the end; path() and bound() are its own then.
    const Expr* next() {
        std::vector<WalkRoom::Item>& stack = room_.stack;
        while (hasFollowing_ || !stack.empty()) {
            const WalkRoom::Item it = hasFollowing_ ? following_ : stack.back();
            if (hasFollowing_) hasFollowing_ = false;
            else stack.pop_back();
            const Expr& x = *it.expr;
            const BoundVars& bound = room_.scopes.boundIn(it.scope);
            const SiteTable::Visit visit = table_.visit(rule_, x, it.depth == 0, bound);
            if (!visit.below) continue;
            // The nodes walked since this one's parent are in its siblings' subtrees: the steps
            // above it are still those of its path.
            if (it.depth > 0) {
                if (room_.steps.size() < it.depth) room_.steps.resize(it.depth);
                room_.steps[it.depth - 1] = it.step;
            }
            // The child walked next is kept aside, not pushed.
            // A child the table rules out is passed over as its own visit would.
            if (x.isLam() && visit.first) {
                const int inner = room_.scopes.enter(it.scope, freevars(x.pattern()));
                follow(WalkRoom::Item{&x.body(), it.depth + 1, Step::Body, inner});
            } else if (x.isAp()) {
                if (visit.first) stack.push_back(WalkRoom::Item{&x.fun(), it.depth + 1, Step::First, it.scope});
                if (visit.second) follow(WalkRoom::Item{&x.arg(), it.depth + 1, Step::Second, it.scope});
            }
            if (visit.attempt) {
                room_.path.assign(room_.steps.begin(), room_.steps.begin() + it.depth);
                scope_ = it.scope;
                return &x;
            }
        }
        return nullptr;
    }
    const Path& path() const { return room_.path; }
    const BoundVars& bound() const { return room_.scopes.boundIn(scope_); }

private:
    const SiteTable& table_;
    std::size_t rule_;
    WalkRoom& room_;
    WalkRoom::Item following_{nullptr, 0, Step::First, 0};  // walked before the stack's top, when there is one
    bool hasFollowing_ = false;

    void follow(const WalkRoom::Item& item) {
        following_ = item;
        hasFollowing_ = true;
    }
    int scope_ = 0;
};

// The matcher's applicability test of the rule's left side at the subexpression.
bool applicableAt(const Current& cur, std::size_t r, const Expr& sub, const BoundVars& bound) {
    if (cur.table) return cur.table->applicable(r, sub, bound);
    return cur.level->matcher->applicable(cur.level->rule(r).equation.first, TermCtx{sub, bound});
}

// Every rule at every position that holds a constant, by the positions' list: every test made
// before the first attempt.
bool searchByPositions(StepSearch& search, const CurrentRef& cur) {
    const Positions& pos = *cur->positions;
    const SiteTable* table = cur->table.get();
    std::vector<std::pair<std::size_t, int>> attempts;
    for (std::size_t r = 0; r < cur->level->copies.front()->size(); ++r) {
        if (!applicableAt(*cur, r, pos.exprAt(0), pos.boundAt(0))) continue;
        for (std::size_t i = 0; i < pos.sites.size(); ++i) {
            if (!pos.sites[i].hasConstant || (i > 0 && !applicableAt(*cur, r, pos.exprAt(i), pos.boundAt(i))))
                continue;
            if (table && !table->mayMatch(r, pos.exprAt(i))) continue;  // may leave out what gives no match
            attempts.emplace_back(r, static_cast<int>(i));
        }
    }
    search.start();
    for (const auto& [r, site] : attempts) {
        SitePath path(cur, site);
        if (search.tryAt(r, pos.at(static_cast<std::size_t>(site)), path)) return true;
    }
    return false;
}

// Where the tables answer every test, the positions of each rule are visited one at a time
// between the attempts, and only where the rule may apply.
bool searchByTables(StepSearch& search, const CurrentRef& cur) {
    std::vector<std::size_t> rules;
    for (std::size_t r = 0; r < cur->level->copies.front()->size(); ++r)
        if (cur->table->applicable(r, cur->e, cur->level->bound)) rules.push_back(r);
    search.start();
    BorrowedRoom<WalkRoom> room;
    for (const std::size_t r : rules) {
        RuleWalk walk(*cur, r, *room);
        while (const Expr* x = walk.next()) {
            SitePath path(walk.path());
            if (search.tryAt(r, TermCtx{*x, walk.bound()}, path)) return true;
        }
    }
    return false;
}

// Every rule at every position that holds a constant, the rules in theory order and the
// positions in subpaths order, until a result makes progress; a rule the matcher rejects at
// the whole expression is not tried below.
bool searchStep(StepSearch& search, const CurrentRef& cur) {
    if (cur->table && cur->table->answersAll()) return searchByTables(search, cur);
    return searchByPositions(search, cur);
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
        PositionsRef positions = table && table->answersAll() ? nullptr : positionsOf(e, level->bound);
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
