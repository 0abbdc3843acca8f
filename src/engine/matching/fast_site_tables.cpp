// The fast matcher's tables for the rewriting driver (RuleTable, SiteTable): what the beta
// wrapper around the fast engine answers at every position of an expression, with the work
// shared between positions and between one expression and the next.
//
// Per theory: the symbols each left side requires, and each left side in beta-eta normal form
// and converted, where that needs no reduction.  Per node, once along the derivation: the
// symbols it holds and, where that needs no reduction, its beta-eta normal form, built from
// its children's; per normal form, once it is asked for, its term when it holds no lambda.
// The match then runs on those normal forms and terms, and an attempt whose rigid shape
// cannot fit is left out, where leaving it out cannot hide an error of the matcher.
#include <algorithm>
#include <span>
#include <utility>

#include "engine/matching/applicability_tables.h"
#include "engine/matching/fast/matcher.h"
#include "engine/matching/matcher_internal.h"
#include "support/identity_index.h"

namespace plim {

namespace {

// No lambda applied anywhere in e: beta reduction leaves it as it is, and cannot fail.
bool holdsNoRedex(const Expr& e) {
    std::vector<const Expr*> todo{&e};
    while (!todo.empty()) {
        const Expr& x = *todo.back();
        todo.pop_back();
        if (!x.holdsAny(ExprHolds::Lam | ExprHolds::Let)) continue;
        switch (x.kind()) {
        case ExprKind::Ap:
            if (x.fun().isLam()) return false;
            todo.push_back(&x.fun());
            todo.push_back(&x.arg());
            break;
        case ExprKind::Lam:
            todo.push_back(&x.pattern());
            todo.push_back(&x.body());
            break;
        case ExprKind::Let: return false;
        case ExprKind::Var:
        case ExprKind::Con: break;
        }
    }
    return true;
}

// betaEtaNormal(e) where it needs no contraction; nothing where it would reduce a redex.
std::optional<Expr> normalWithoutReduction(const Expr& e) {
    if (!holdsNoRedex(e)) return std::nullopt;
    return etared(e);
}

// The head of an application spine and the number of its arguments.
std::pair<const Expr*, std::size_t> spineHead(const Expr& e) {
    const Expr* at = &e;
    std::size_t n = 0;
    for (; at->isAp(); at = &at->fun()) ++n;
    return {at, n};
}

// False only when no match of the pattern can exist at the term, both in beta-eta normal
// form: wherever the pattern, followed down from its root through applications headed by a
// constant (not a tuple constant), has such an application, the term must have one with the
// same constant and as many arguments, whatever the substitution.  A lambda of the term there
// is left to the matcher.
bool rigidShapeFits(const Expr& pattern, const Expr& term) {
    std::vector<std::pair<const Expr*, const Expr*>> stack{{&pattern, &term}};
    while (!stack.empty()) {
        auto [p, t] = stack.back();
        stack.pop_back();
        const auto [ph, pn] = spineHead(*p);
        if (!ph->isCon() || ph->constant().kind() == ConstantKind::Tuple) continue;
        if (t->isLam()) continue;  // not told apart without the engine
        const auto [th, tn] = spineHead(*t);
        if (!th->isCon() || tn != pn || !eqConstant(ph->constant(), th->constant())) return false;
        for (const Expr *pa = p, *ta = t; pa->isAp(); pa = &pa->fun(), ta = &ta->fun())
            stack.emplace_back(&pa->arg(), &ta->arg());
    }
    return true;
}

// A subexpression's pattern constants count as its own (a tuple pattern of a lambda).
bool patternHoldsConstant(const Expr& pattern) {
    switch (pattern.kind()) {
    case ExprKind::Con: return true;
    case ExprKind::Ap: return patternHoldsConstant(pattern.fun()) || patternHoldsConstant(pattern.arg());
    case ExprKind::Lam: return patternHoldsConstant(pattern.pattern()) || patternHoldsConstant(pattern.body());
    default: return false;
    }
}

// What the tables know of one node; a node's facts follow from its children's.
struct NodeFacts {
    // As SiteSymbolFacts: the symbols held, and of an application those of its spine.
    SymbolSet held = 0, args = 0, head = 0;
    int spine = 0, headTuple = 0;
    SymbolSet below = 0;    // held by the node or any node under it
    bool fits = true;       // every lambda of the subtree has a binder the fast engine takes
    bool constant = false;  // a constant in the subtree, lambda patterns included
    bool full = false;      // met where it is its own expansion in full
    bool noRedex = true;    // no lambda applied and no let in the subtree (patterns included)
    std::optional<Expr> normal;  // with noRedex: betaEtaNormal of the node (the node when unchanged)
};

// What is known of the nodes of a chain of expressions, each built from the one before, by
// node: a node shared with an earlier expression keeps what it had, so a step computes only
// for the nodes it built.  The entries keep their nodes alive (an identity stays unique);
// those no longer reachable are dropped when the table has grown to twice what it kept at
// the last sweep, so an endless chain costs flat memory.
template <class Value>
class NodeCache {
public:
    Value* find(const Expr& x) {
        const std::uint32_t k = slot(x.identity());
        return slots_.empty() || !slots_[k].id ? nullptr : &entries_[slots_[k].value].value;
    }
    Value& add(const Expr& x) {
        if (2 * (entries_.size() + 1) > slots_.size()) rehash(std::max<std::size_t>(64, 4 * entries_.size()));
        const std::uint32_t k = slot(x.identity());
        slots_[k] = Slot{x.identity(), static_cast<std::uint32_t>(entries_.size())};
        entries_.push_back(Entry{x, Value{}});
        return entries_.back().value;
    }
    // The table has grown enough since the last sweep.
    bool due() const { return entries_.size() >= 2 * kept_ + 1024; }
    // Keeps only the entries of the nodes reachable from the roots through nodes with entries.
    void keepReachable(std::vector<const Expr*> todo) {
        std::vector<Entry> old = std::move(entries_);
        entries_.clear();
        std::vector<Slot> oldSlots = std::move(slots_);
        slots_.assign(oldSlots.size(), Slot{nullptr, 0});
        auto oldFind = [&](const void* id) -> Entry* {
            for (std::size_t k = home(id, oldSlots.size()); oldSlots[k].id; k = (k + 1) & (oldSlots.size() - 1))
                if (oldSlots[k].id == id) return &old[oldSlots[k].value];
            return nullptr;
        };
        while (!todo.empty()) {
            const Expr& x = *todo.back();
            todo.pop_back();
            if (find(x)) continue;
            Entry* e = oldFind(x.identity());
            if (!e) continue;
            add(x) = std::move(e->value);
            if (x.isLam()) todo.push_back(&x.body());
            if (x.isAp()) {
                todo.push_back(&x.fun());
                todo.push_back(&x.arg());
            }
        }
        kept_ = entries_.size();
    }
    template <class F>
    void forEach(const F& f) const {
        for (const Entry& e : entries_) f(e.node, e.value);
    }

private:
    struct Entry {
        Expr node;
        Value value;
    };
    struct Slot {
        const void* id;
        std::uint32_t value;
    };
    std::vector<Entry> entries_;
    std::vector<Slot> slots_;
    std::size_t kept_ = 0;

    static std::size_t home(const void* id, std::size_t size) {
        const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(id));
        return static_cast<std::size_t>((bits >> 4) * 0x9E3779B97F4A7C15ull) & (size - 1);
    }
    // The slot of the identity, or the empty slot where it would go.
    std::uint32_t slot(const void* id) const {
        if (slots_.empty()) return 0;
        std::size_t k = home(id, slots_.size());
        for (; slots_[k].id && slots_[k].id != id; k = (k + 1) & (slots_.size() - 1)) {}
        return static_cast<std::uint32_t>(k);
    }
    void rehash(std::size_t size) {
        std::size_t capacity = 64;
        while (capacity < size) capacity *= 2;
        slots_.assign(capacity, Slot{nullptr, 0});
        for (std::size_t i = 0; i < entries_.size(); ++i)
            slots_[slot(entries_[i].node.identity())] = Slot{entries_[i].node.identity(), static_cast<std::uint32_t>(i)};
    }
};

using FactCache = NodeCache<NodeFacts>;
// The terms of normal forms (convertPrime under the chain's context), by normal-form node.
using TermCache = NodeCache<std::optional<fast::Term>>;

// The caches of one chain: the facts of the expressions' nodes, the terms of their normal forms.
struct ChainCaches {
    FactCache facts;
    TermCache terms;

    // Drops what the latest expression no longer reaches, when the tables have grown enough.
    void sweep(const Expr& root) {
        if (facts.due()) facts.keepReachable({&root});
        if (!terms.due()) return;
        std::vector<const Expr*> normals;
        facts.forEach([&normals](const Expr&, const NodeFacts& f) {
            if (f.normal) normals.push_back(&*f.normal);
        });
        terms.keepReachable(std::move(normals));
    }
};

// A tuple constant's arity (at least 1); 0 for any other expression.
int tupleArity(const Expr& head) {
    if (!head.isCon() || head.constant().kind() != ConstantKind::Tuple) return 0;
    return std::max(head.constant().arity(), 0);
}

// etared of a node whose children's normal forms are known (the node holds no redex, so
// its normal form is its eta contraction).
Expr contracted(const Expr& x, FactCache& cache) {
    if (!x.holdsAny(ExprHolds::Lam)) return x;
    const auto normal = [&cache](const Expr& child) -> const Expr& { return *cache.find(child)->normal; };
    if (x.isAp()) {
        const Expr& f = normal(x.fun());
        const Expr& a = normal(x.arg());
        return f.sameNode(x.fun()) && a.sameNode(x.arg()) ? x : mkAp(f, a, x.lazyType());
    }
    if (!x.isLam()) return x;
    const Expr& body = x.body();
    if (body.isAp()) return etaTest(x, body.fun(), normal(body.fun()), normal(body.arg()), body.lazyType());
    const Expr& reduced = normal(body);
    if (reduced.isAp())
        return etaTest(x, reduced.fun(), etared(reduced.fun()), etared(reduced.arg()), reduced.lazyType());
    return reduced.sameNode(body) ? x : mkLam(x.pattern(), reduced, x.lazyType());
}

// The facts of a node from its children's (cached already).
void nodeFacts(const Expr& x, FactCache& cache, const std::optional<RuleSymbols>& symbols, NodeFacts& out) {
    switch (x.kind()) {
    case ExprKind::Con:
        out.constant = true;
        if (symbols) out.held = symbolOf(x.constant(), symbols->symbols);
        break;
    case ExprKind::Var: break;
    case ExprKind::Let:
        out.fits = false;
        out.noRedex = false;
        break;
    case ExprKind::Lam: {
        const NodeFacts& b = *cache.find(x.body());
        out.held = b.held;
        out.below = b.below;
        out.fits = b.fits && binderFits(x.pattern());
        out.constant = b.constant || patternHoldsConstant(x.pattern());
        out.noRedex = b.noRedex && holdsNoRedex(x.pattern());
        break;
    }
    case ExprKind::Ap: {
        const NodeFacts& f = *cache.find(x.fun());
        const NodeFacts& a = *cache.find(x.arg());
        const bool inner = x.fun().isAp();
        out.args = a.held | (inner ? f.args : 0);
        out.head = inner ? f.head : f.held;
        out.headTuple = inner ? f.headTuple : tupleArity(x.fun());
        out.spine = (inner ? f.spine : 0) + 1;
        const bool saturated = out.headTuple >= 1 && out.headTuple <= out.spine;
        out.held = out.args | (saturated ? 0 : out.head);
        out.below = f.below | a.below;
        out.fits = f.fits && a.fits;
        out.constant = f.constant || a.constant;
        out.noRedex = f.noRedex && a.noRedex && !x.fun().isLam();
        break;
    }
    }
    out.below |= out.held;
    if (out.noRedex) out.normal = contracted(x, cache);
}

// The facts of every node of e not met before, children before parents; the nodes met where
// they stand in full are marked so.
void addFacts(const Expr& e, FactCache& cache, const std::optional<RuleSymbols>& symbols) {
    struct Item {
        const Expr* expr;
        bool full;
        bool after;  // its children are done
    };
    std::vector<Item> stack{{&e, true, false}};
    while (!stack.empty()) {
        const Item it = stack.back();
        stack.pop_back();
        const Expr& x = *it.expr;
        if (it.after) {
            NodeFacts facts;
            nodeFacts(x, cache, symbols, facts);
            facts.full = it.full;
            cache.add(x) = std::move(facts);
            continue;
        }
        if (NodeFacts* known = cache.find(x)) {
            known->full = known->full || it.full;
            continue;
        }
        stack.push_back({&x, it.full, true});
        if (x.isLam()) stack.push_back({&x.body(), true, false});
        if (x.isAp()) {
            stack.push_back({&x.fun(), false, false});
            stack.push_back({&x.arg(), true, false});
        }
    }
}

// The term of e (which holds no lambda or let), and of its nodes not converted before, kept
// in the cache.  The converter takes a converted node's term as it is, except inside an
// application spine whose outermost node is new: its inner applications are converted again.
// Its subterms come in the order of `order` below.
std::optional<fast::Term> termOf(const Expr& e, TermCache& cache, const std::vector<std::string>& context) {
    if (const std::optional<fast::Term>* known = cache.find(e)) return *known;
    std::vector<const Expr*> order;
    std::vector<std::pair<const Expr*, bool>> todo{{&e, true}};  // (node, may be taken as known)
    while (!todo.empty()) {
        auto [x, known] = todo.back();
        todo.pop_back();
        order.push_back(x);
        if ((known && cache.find(*x)) || !x->isAp()) continue;
        todo.emplace_back(&x->fun(), !x->fun().isAp());
        todo.emplace_back(&x->arg(), true);
    }
    const fast::KnownSubterms lookup = [&cache](const Expr& x) -> std::span<const fast::Term> {
        const std::optional<fast::Term>* known = cache.find(x);
        if (!known) return {};
        return std::span<const fast::Term>(&**known, 1);
    };
    std::optional<std::vector<fast::Term>> terms = fast::convertSubexpressions(context, e, lookup);
    if (!terms) return std::nullopt;
    if (terms->size() == order.size())
        for (std::size_t k = 0; k < order.size(); ++k)
            if (!cache.find(*order[k])) cache.add(*order[k]) = (*terms)[k];
    return terms->front();
}

// Some variable of e is bound neither by the context nor by a lambda around it: its term
// holds a pattern variable.
bool holdsFreeVariable(const Expr& e, const std::vector<std::string>& context) {
    struct Item {
        const Expr* expr;  // null: leave the innermost lambda, `names` of its names
        std::size_t names;
    };
    std::vector<std::string> binders;  // the names of the lambdas around, innermost last
    std::vector<Item> todo{{&e, 0}};
    while (!todo.empty()) {
        const Item it = todo.back();
        todo.pop_back();
        if (!it.expr) {
            binders.resize(binders.size() - it.names);
            continue;
        }
        const Expr& x = *it.expr;
        if (!x.holdsAny(ExprHolds::Var)) continue;
        if (x.isVar() && std::find(binders.rbegin(), binders.rend(), x.name()) == binders.rend() &&
            std::find(context.begin(), context.end(), x.name()) == context.end())
            return true;
        if (x.isLam()) {
            const std::vector<std::string> names = freeNames(x.pattern());
            binders.insert(binders.end(), names.begin(), names.end());
            todo.push_back({nullptr, names.size()});
            todo.push_back({&x.body(), 0});
        }
        if (x.isAp()) {
            todo.push_back({&x.fun(), 0});
            todo.push_back({&x.arg(), 0});
        }
    }
    return false;
}

class FastRuleTable;

class FastSiteTable final : public SiteTable {
public:
    FastSiteTable(std::shared_ptr<const FastRuleTable> rules, const Expr& e, const std::vector<TypedVar>& ctx,
                  const FastSiteTable* previous);
    bool answersAll() const override { return symbols_; }
    bool holdsConstant(const Expr& sub) const override;
    bool ownExpansion(const Expr& sub, bool full) const override;
    bool applicable(std::size_t rule, const Expr& sub, const std::vector<TypedVar>& bound) const override;
    Visit visit(std::size_t rule, const Expr& sub, bool top, const std::vector<TypedVar>& bound) const override;
    bool mayMatch(std::size_t rule, const Expr& sub) const override;
    MatchRun matchOneStep(std::size_t rule, const TermCtx& at, const NameSupply& supply) const override;

private:
    std::shared_ptr<const FastRuleTable> rules_;
    Expr expr_;
    std::shared_ptr<ChainCaches> cache_;  // shared along the chain
    std::vector<std::string> context_;    // the names bound around the expression
    bool symbols_ = false;  // the symbol facts answer the applicability test
    // Every variable of the expression is bound, by the context or by a lambda: the shape test
    // may leave attempts out.
    bool shapes_ = false;

    const NodeFacts* facts(const Expr& sub) const { return cache_->facts.find(sub); }

    friend class FastRuleTable;
};

class FastRuleTable final : public RuleTable, public std::enable_shared_from_this<FastRuleTable> {
public:
    explicit FastRuleTable(std::vector<Expr> leftSides) : lhs(std::move(leftSides)), symbols(ruleSymbols(lhs)) {
        for (const Expr& l : lhs) {
            normal.push_back(normalWithoutReduction(l));
            terms.push_back(normal.back() ? fast::convertIfPossible({}, *normal.back()) : std::nullopt);
        }
    }
    std::shared_ptr<const SiteTable> sites(const Expr& e, const std::vector<TypedVar>& ctx,
                                           const SiteTable* previous) const override {
        return std::make_shared<const FastSiteTable>(shared_from_this(), e, ctx,
                                                     dynamic_cast<const FastSiteTable*>(previous));
    }

    std::vector<Expr> lhs;
    std::optional<RuleSymbols> symbols;
    std::vector<std::optional<Expr>> normal;       // nothing: left to the beta wrapper
    std::vector<std::optional<fast::Term>> terms;  // `normal` converted
};

FastSiteTable::FastSiteTable(std::shared_ptr<const FastRuleTable> rules, const Expr& e,
                             const std::vector<TypedVar>& ctx, const FastSiteTable* previous)
    : rules_(std::move(rules)), expr_(e),
      cache_(previous ? previous->cache_ : std::make_shared<ChainCaches>()), context_(fast::contextNames(ctx)) {
    addFacts(e, cache_->facts, rules_->symbols);
    symbols_ = rules_->symbols && facts(e)->fits;
    shapes_ = !holdsFreeVariable(e, context_);
    cache_->sweep(e);
}

bool FastSiteTable::holdsConstant(const Expr& sub) const {
    const NodeFacts* f = facts(sub);
    if (f) return f->constant;
    std::vector<const Expr*> todo{&sub};
    while (!todo.empty()) {
        const Expr& x = *todo.back();
        todo.pop_back();
        if (x.isCon() || (x.isLam() && patternHoldsConstant(x.pattern()))) return true;
        if (x.isLam()) todo.push_back(&x.body());
        if (x.isAp()) {
            todo.push_back(&x.fun());
            todo.push_back(&x.arg());
        }
    }
    return false;
}

bool FastSiteTable::ownExpansion(const Expr& sub, bool full) const {
    const NodeFacts* f = facts(sub);
    return f && (f->full || !full);
}

bool FastSiteTable::applicable(std::size_t rule, const Expr& sub, const std::vector<TypedVar>& bound) const {
    if (symbols_ && rules_->symbols->required[rule])
        if (const NodeFacts* f = facts(sub)) return holdsAll(f->held, *rules_->symbols->required[rule]);
    return fastApplicableExpr(rules_->lhs[rule], TermCtx{sub, bound});
}

SiteTable::Visit FastSiteTable::visit(std::size_t rule, const Expr& sub, bool top,
                                      const std::vector<TypedVar>& bound) const {
    const NodeFacts* f = symbols_ ? facts(sub) : nullptr;
    if (!f) return Visit{holdsConstant(sub) && (top || applicable(rule, sub, bound)) && mayMatch(rule, sub), true};
    const std::optional<SymbolSet>& required = rules_->symbols->required[rule];
    if (required && !holdsAll(f->below, *required)) return Visit{false, false};
    const bool passes = top || (required ? holdsAll(f->held, *required) : applicable(rule, sub, bound));
    return Visit{f->constant && passes && mayMatch(rule, sub), true};
}

// Only for an expression without free variables, at a subexpression whose normal form needs
// no reduction and converts: then the match finds nothing where the shape does not fit, and
// raises nothing either.
bool FastSiteTable::mayMatch(std::size_t rule, const Expr& sub) const {
    if (!shapes_ || !rules_->normal[rule]) return true;
    const NodeFacts* f = facts(sub);
    return !f || !f->normal || !f->fits || rigidShapeFits(*rules_->normal[rule], *f->normal);
}

// What the beta wrapper would do, with the normal form kept for the subexpression and, where
// it holds no lambda and no lambda is around it, its term.
MatchRun FastSiteTable::matchOneStep(std::size_t rule, const TermCtx& at, const NameSupply& supply) const {
    const NodeFacts* f = facts(at.expr);
    const std::optional<Expr>& pattern = rules_->normal[rule];
    if (!pattern || !f || !f->normal) return fastMatcher()->matchOneStep(rules_->lhs[rule], at, supply);
    const Expr& normal = *f->normal;
    if (rules_->terms[rule] && at.bound.size() == context_.size() && !normal.holdsAny(ExprHolds::Lam | ExprHolds::Let))
        if (const std::optional<fast::Term> term = termOf(normal, cache_->terms, context_))
            return fastConvertRun(fastEngine(fastOneStepStep, fast::identitySubst(), *rules_->terms[rule], {},
                                             *term, at.bound, supply));
    return fastRecord()->matchOneStep(*pattern, TermCtx{normal, at.bound}, supply);
}

}  // namespace

std::shared_ptr<const RuleTable> fastRuleTable(const std::vector<Expr>& leftSides) {
    return std::make_shared<const FastRuleTable>(leftSides);
}

}  // namespace plim
