// The fast matcher's tables for the rewriting driver (RuleTable, SiteTable): what the beta
// wrapper around the fast engine answers at every position of an expression, with the work
// shared between positions and between one expression and the next.
//
// Per theory: the symbols each left side requires, and each left side in beta-eta normal form
// and converted, where that needs no reduction.  Per expression: the symbols every
// subexpression holds and, when the expression is its own normal form and holds no lambda,
// the term of every subexpression; a subexpression that the previous expression shared keeps
// the terms it had there.  The match then runs on those terms, and an attempt whose rigid
// shape cannot fit is left out, where leaving it out cannot hide an error of the matcher.
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
// same constant and as many arguments, whatever the substitution.
bool rigidShapeFits(const Expr& pattern, const Expr& term) {
    std::vector<std::pair<const Expr*, const Expr*>> stack{{&pattern, &term}};
    while (!stack.empty()) {
        auto [p, t] = stack.back();
        stack.pop_back();
        const auto [ph, pn] = spineHead(*p);
        if (!ph->isCon() || ph->constant().kind() == ConstantKind::Tuple) continue;
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
    std::optional<fast::Term> term;  // convertPrime under the chain's context, once made
};

// The facts of the nodes of a chain of expressions, each built from the one before: a node
// shared with an earlier expression keeps its facts, so a step computes only those of the
// nodes it built.  The entries keep their nodes alive (an identity stays unique); those no
// longer in the latest expression are dropped when the table has grown to twice what it
// kept at the last sweep, so an endless chain costs flat memory.
class NodeCache {
public:
    NodeFacts* find(const Expr& x) {
        const std::uint32_t k = slot(x.identity());
        return slots_.empty() || !slots_[k].id ? nullptr : &entries_[slots_[k].value].facts;
    }
    NodeFacts& add(const Expr& x) {
        if (2 * (entries_.size() + 1) > slots_.size()) rehash(std::max<std::size_t>(64, 4 * entries_.size()));
        const std::uint32_t k = slot(x.identity());
        slots_[k] = Slot{x.identity(), static_cast<std::uint32_t>(entries_.size())};
        entries_.push_back(Entry{x, NodeFacts{}});
        return entries_.back().facts;
    }
    // Drops the entries of the nodes not under `root`, when the table has grown enough.
    void sweep(const Expr& root) {
        if (entries_.size() < 2 * kept_ + 1024) return;
        std::vector<Entry> old = std::move(entries_);
        entries_.clear();
        std::vector<Slot> oldSlots = std::move(slots_);
        slots_.assign(oldSlots.size(), Slot{nullptr, 0});
        auto oldFind = [&](const void* id) -> Entry* {
            for (std::size_t k = home(id, oldSlots.size()); oldSlots[k].id; k = (k + 1) & (oldSlots.size() - 1))
                if (oldSlots[k].id == id) return &old[oldSlots[k].value];
            return nullptr;
        };
        std::vector<const Expr*> todo{&root};
        while (!todo.empty()) {
            const Expr& x = *todo.back();
            todo.pop_back();
            if (find(x)) continue;
            Entry* e = oldFind(x.identity());
            if (!e) continue;
            add(x) = std::move(e->facts);
            if (x.isLam()) todo.push_back(&x.body());
            if (x.isAp()) {
                todo.push_back(&x.fun());
                todo.push_back(&x.arg());
            }
        }
        kept_ = entries_.size();
    }

private:
    struct Entry {
        Expr node;
        NodeFacts facts;
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

// A tuple constant's arity (at least 1); 0 for any other expression.
int tupleArity(const Expr& head) {
    if (!head.isCon() || head.constant().kind() != ConstantKind::Tuple) return 0;
    return std::max(head.constant().arity(), 0);
}

// The facts of a node from its children's (cached already).
void nodeFacts(const Expr& x, NodeCache& cache, const std::optional<RuleSymbols>& symbols, NodeFacts& out) {
    switch (x.kind()) {
    case ExprKind::Con:
        out.constant = true;
        if (symbols) out.held = symbolOf(x.constant(), symbols->symbols);
        break;
    case ExprKind::Var: break;
    case ExprKind::Let: out.fits = false; break;
    case ExprKind::Lam: {
        const NodeFacts& b = *cache.find(x.body());
        out.held = b.held;
        out.below = b.below;
        out.fits = b.fits && binderFits(x.pattern());
        out.constant = b.constant || patternHoldsConstant(x.pattern());
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
        break;
    }
    }
    out.below |= out.held;
}

// The facts of every node of e not met before, children before parents; the nodes met where
// they stand in full are marked so.
void addFacts(const Expr& e, NodeCache& cache, const std::optional<RuleSymbols>& symbols) {
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
// with their facts.  The converter takes a converted node's term as it is, except inside an
// application spine whose outermost node is new: its inner applications are converted again.
// Its subterms come in the order of `order` below.
std::optional<fast::Term> termOf(const Expr& e, NodeCache& cache, const std::vector<std::string>& context) {
    auto converted = [&cache](const Expr& x) {
        const NodeFacts* f = cache.find(x);
        return f && f->term;
    };
    if (const NodeFacts* f = cache.find(e); f && f->term) return f->term;
    std::vector<const Expr*> order;
    std::vector<std::pair<const Expr*, bool>> todo{{&e, true}};  // (node, may be taken as known)
    while (!todo.empty()) {
        auto [x, known] = todo.back();
        todo.pop_back();
        order.push_back(x);
        if ((known && converted(*x)) || !x->isAp()) continue;
        todo.emplace_back(&x->fun(), !x->fun().isAp());
        todo.emplace_back(&x->arg(), true);
    }
    const fast::KnownSubterms lookup = [&cache](const Expr& x) -> std::span<const fast::Term> {
        const NodeFacts* f = cache.find(x);
        if (!f || !f->term) return {};
        return std::span<const fast::Term>(&*f->term, 1);
    };
    std::optional<std::vector<fast::Term>> terms = fast::convertSubexpressions(context, e, lookup);
    if (!terms) return std::nullopt;
    if (terms->size() == order.size())
        for (std::size_t k = 0; k < order.size(); ++k)
            if (NodeFacts* f = cache.find(*order[k]); f && !f->term) f->term = (*terms)[k];
    return terms->front();
}

// Some variable of e is not bound by the context: its term holds a pattern variable.
bool holdsFreeVariable(const Expr& e, const std::vector<std::string>& context) {
    std::vector<const Expr*> todo{&e};
    while (!todo.empty()) {
        const Expr& x = *todo.back();
        todo.pop_back();
        if (!x.holdsAny(ExprHolds::Var)) continue;
        if (x.isVar() && std::find(context.begin(), context.end(), x.name()) == context.end()) return true;
        if (x.isLam()) todo.push_back(&x.body());
        if (x.isAp()) {
            todo.push_back(&x.fun());
            todo.push_back(&x.arg());
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
    std::shared_ptr<NodeCache> cache_;  // shared along the chain
    std::vector<std::string> context_;  // the names bound around the expression
    bool symbols_ = false;  // the symbol facts answer the applicability test
    // The expression is its own beta-eta normal form: so is every subexpression, and the fast
    // engine can be given them as they stand; when it holds no lambda, as converted terms.
    bool normal_ = false;
    bool terms_ = false;   // ... and holds no lambda: the nodes' terms serve the match
    bool shapes_ = false;  // the shape test may leave attempts out

    const NodeFacts* facts(const Expr& sub) const { return cache_->find(sub); }

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
      cache_(previous ? previous->cache_ : std::make_shared<NodeCache>()) {
    addFacts(e, *cache_, rules_->symbols);
    symbols_ = rules_->symbols && facts(e)->fits;
    const std::optional<Expr> normal = normalWithoutReduction(e);
    normal_ = normal && normal->sameNode(e);
    terms_ = normal_ && !e.holdsAny(ExprHolds::Lam | ExprHolds::Let);
    if (terms_) {
        context_ = fast::contextNames(ctx);
        shapes_ = !holdsFreeVariable(e, context_);
    }
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

// Only for an expression without free variables, whose conversion succeeded: then the match
// finds nothing where the shape does not fit, and raises nothing either.
bool FastSiteTable::mayMatch(std::size_t rule, const Expr& sub) const {
    return !shapes_ || !rules_->normal[rule] || rigidShapeFits(*rules_->normal[rule], sub);
}

// What the beta wrapper would do, without normalising again what is normal already.
MatchRun FastSiteTable::matchOneStep(std::size_t rule, const TermCtx& at, const NameSupply& supply) const {
    if (terms_ && rules_->terms[rule])
        if (const std::optional<fast::Term> term = termOf(at.expr, *cache_, context_))
            return fastConvertRun(fastEngine(fastOneStepStep, fast::identitySubst(), *rules_->terms[rule], {},
                                             *term, at.bound, supply));
    if (normal_ && rules_->normal[rule]) return fastRecord()->matchOneStep(*rules_->normal[rule], at, supply);
    return fastMatcher()->matchOneStep(rules_->lhs[rule], at, supply);
}

}  // namespace

std::shared_ptr<const RuleTable> fastRuleTable(const std::vector<Expr>& leftSides) {
    return std::make_shared<const FastRuleTable>(leftSides);
}

}  // namespace plim
