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

// The nodes of an expression in subpaths order: the number of sites of each node's subtree
// (its block starts at its own site), found by the node's identity.
class NodeBlocks {
public:
    explicit NodeBlocks(const Expr& e) {
        std::vector<std::pair<const Expr*, int>> stack{{&e, -1}};
        std::vector<const void*> ids;
        std::vector<int> parent;
        while (!stack.empty()) {
            auto [x, up] = stack.back();
            stack.pop_back();
            const int i = static_cast<int>(ids.size());
            ids.push_back(x->identity());
            parent.push_back(up);
            if (x->isLam()) stack.emplace_back(&x->body(), i);
            if (x->isAp()) {
                stack.emplace_back(&x->fun(), i);
                stack.emplace_back(&x->arg(), i);
            }
        }
        sizes_.assign(ids.size(), 1);
        for (std::size_t k = ids.size(); k-- > 1;) sizes_[static_cast<std::size_t>(parent[k])] += sizes_[k];
        index_ = IdentityIndex(ids.size());
        for (std::size_t k = 0; k < ids.size(); ++k) index_.add(ids[k], static_cast<std::uint32_t>(k));
    }
    // The site of the node, and the number of sites of its subtree; nothing for a node not here.
    std::optional<std::pair<std::size_t, std::size_t>> find(const Expr& x) const {
        const std::optional<std::uint32_t> site = index_.find(x.identity());
        if (!site) return std::nullopt;
        return std::pair{std::size_t{*site}, sizes_[*site]};
    }

private:
    std::vector<std::size_t> sizes_;
    IdentityIndex index_;
};

class FastRuleTable;

class FastSiteTable final : public SiteTable {
public:
    FastSiteTable(std::shared_ptr<const FastRuleTable> rules, const Expr& e, const std::vector<TypedVar>& ctx,
                  const FastSiteTable* previous);
    bool applicable(std::size_t rule, std::size_t site, const Expr& sub,
                    const std::vector<TypedVar>& bound) const override;
    bool mayMatch(std::size_t rule, std::size_t site, const Expr& sub) const override;
    MatchRun matchOneStep(std::size_t rule, std::size_t site, const TermCtx& at,
                          const NameSupply& supply) const override;

private:
    std::shared_ptr<const FastRuleTable> rules_;
    Expr expr_;  // keeps the nodes of `blocks_` alive
    std::optional<SiteSymbolFacts> symbols_;
    // The expression is its own beta-eta normal form: so is every subexpression, and the fast
    // engine can be given them as they stand; when it holds no lambda, converted all at once.
    bool normal_ = false;
    std::optional<std::vector<fast::Term>> terms_;
    NodeBlocks blocks_;
    bool shapes_ = false;               // the shape test may leave attempts out

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
    : rules_(std::move(rules)), expr_(e), blocks_(e) {
    if (rules_->symbols) {
        const KnownSymbols known = [previous](const Expr& x)
            -> std::optional<std::tuple<const SiteSymbolFacts*, std::size_t, std::size_t>> {
            if (!previous || !previous->symbols_) return std::nullopt;
            const auto block = previous->blocks_.find(x);
            if (!block) return std::nullopt;
            return std::tuple{&*previous->symbols_, block->first, block->second};
        };
        symbols_ = siteSymbolFacts(e, *rules_->symbols, known);
    }
    const std::optional<Expr> normal = normalWithoutReduction(e);
    normal_ = normal && normal->sameNode(e);
    if (!normal_ || e.holdsAny(ExprHolds::Lam)) return;
    const fast::KnownSubterms known = [previous](const Expr& x) -> std::span<const fast::Term> {
        if (!previous || !previous->terms_) return {};
        const auto block = previous->blocks_.find(x);
        if (!block) return {};
        return std::span<const fast::Term>(*previous->terms_).subspan(block->first, block->second);
    };
    terms_ = fast::convertSubexpressions(fast::contextNames(ctx), e, known);
    if (!terms_) return;
    shapes_ = !terms_->front().hasPVar();
}

bool FastSiteTable::applicable(std::size_t rule, std::size_t site, const Expr& sub,
                               const std::vector<TypedVar>& bound) const {
    if (symbols_ && rules_->symbols->required[rule])
        return holdsAll(symbols_->held[site], *rules_->symbols->required[rule]);
    return fastApplicableExpr(rules_->lhs[rule], TermCtx{sub, bound});
}

// Only for an expression without free variables, whose conversion succeeded: then the match
// finds nothing where the shape does not fit, and raises nothing either.
bool FastSiteTable::mayMatch(std::size_t rule, std::size_t, const Expr& sub) const {
    return !shapes_ || !rules_->normal[rule] || rigidShapeFits(*rules_->normal[rule], sub);
}

// What the beta wrapper would do, without normalising again what is normal already.
MatchRun FastSiteTable::matchOneStep(std::size_t rule, std::size_t site, const TermCtx& at,
                                     const NameSupply& supply) const {
    if (terms_ && rules_->terms[rule])
        return fastConvertRun(fastEngine(fastOneStepStep, fast::identitySubst(), *rules_->terms[rule], {},
                                         (*terms_)[site], at.bound, supply));
    if (normal_ && rules_->normal[rule]) return fastRecord()->matchOneStep(*rules_->normal[rule], at, supply);
    return fastMatcher()->matchOneStep(rules_->lhs[rule], at, supply);
}

}  // namespace

std::shared_ptr<const RuleTable> fastRuleTable(const std::vector<Expr>& leftSides) {
    return std::make_shared<const FastRuleTable>(leftSides);
}

}  // namespace plim
