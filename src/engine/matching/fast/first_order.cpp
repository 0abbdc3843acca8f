// The fast matcher's walk for the commonest match: a first-order pattern against a term
// without pattern variables and lambdas.  The worklist would take the same pairs of nodes,
// only in another order: with nothing in the term that a type substitution changes and no
// rule that can raise an error, the order decides neither the solution nor its failure.
//
// The type substitution is built as the worklist builds it, one binding at a time: the
// worklist applies what it has found to each later pattern type and then matches that
// against the term's type; matching the pattern type itself under what has been found, each
// bound variable compared with its (ground) type, is the same test and finds the same
// bindings.
//
// The walk runs on the expression itself, read as the term its conversion builds
// (matchFirstOrderExpr), so that a match at a large term needs no term built for it.
#include "engine/matching/fast/solver.h"

#include <algorithm>

#include "engine/matching/fast/matcher.h"

namespace plim::fast {

namespace {

enum class Fit : std::uint8_t { No, Yes, Unsure };

// The walk's stacks and findings; one per thread, cleared for each match (a match
// starts no other one while it runs).  The term side is an expression read as its conversion
// under no bound names makes it: a saturated tuple (an application spine of a tuple constant
// of arity k >= 1 with k arguments) is a Tupl of the arguments; other applications and
// constants are themselves; the expression holds nothing else.
class FirstOrderWalk {
public:
    static FirstOrderWalk& cleared() {
        thread_local FirstOrderWalk walk;
        walk.work_.clear();
        walk.bindings_.clear();
        walk.types_.clear();
        return walk;
    }

    Fit run(const Term& p, const Expr& t) {
        work_.emplace_back(&p, &t);
        while (!work_.empty()) {
            const auto [pn, tn] = work_.back();
            work_.pop_back();
            const Fit f = node(*pn, *tn);
            if (f != Fit::Yes) return f;
        }
        return Fit::Yes;
    }

    // The match result, the bindings in the order of their names, the type bindings composed
    // in the order they were found.
    MatchResult result() {
        sortBindings();
        MatchResult r;
        r.subst.reserve(bindings_.size());
        for (const auto& [var, node] : bindings_) r.subst.emplace_back(var->name(), *node);
        r.types = composedTypes();
        return r;
    }

private:
    std::vector<std::pair<const Term*, const Expr*>> work_;
    std::vector<std::pair<const Type*, const Type*>> typeWork_;
    std::vector<std::pair<const Term*, const Expr*>> bindings_;  // (PVar, its term)
    std::vector<std::pair<const std::string*, Type>> types_;  // few: a linear search serves
    std::vector<const Expr*> elements_;  // scratch: a tuple's elements

    void sortBindings() {
        std::sort(bindings_.begin(), bindings_.end(), [](const auto& a, const auto& b) { return a.first->name() < b.first->name(); });
    }
    TypeSubst composedTypes() const {
        TypeSubst types;
        for (const auto& [name, type] : types_) types = substTypeOf(bindVar(*name, type), types);
        return types;
    }

    const Type* boundType(const std::string& name) const {
        for (const auto& [n, t] : types_)
            if (*n == name) return &t;
        return nullptr;
    }

    // The pattern type matched against a ground type under the type bindings found so far,
    // which are extended.  Unsure where a scheme in the pattern type needs the worklist's own
    // test.
    Fit matchType(const Type& pattern, const Type& ground) {
        typeWork_.clear();
        typeWork_.emplace_back(&pattern, &ground);
        while (!typeWork_.empty()) {
            const auto [p, t] = typeWork_.back();
            typeWork_.pop_back();
            if (p->sameNode(*t)) continue;
            switch (p->kind()) {
            case TypeKind::TAbs: return Fit::Unsure;
            case TypeKind::Tid:
                if (const Type* bound = boundType(p->name())) {
                    if (!bound->sameNode(*t) && !eqType(*bound, *t)) return Fit::No;
                } else {
                    types_.emplace_back(&p->name(), *t);
                }
                break;
            case TypeKind::TCon:
                if (!t->isTCon() || !t->sameConName(*p) || t->args().size() != p->args().size()) return Fit::No;
                for (std::size_t i = p->args().size(); i-- > 0;) typeWork_.emplace_back(&p->args()[i], &t->args()[i]);
                break;
            }
        }
        return Fit::Yes;
    }

    Fit node(const Term& p, const Expr& t) {
        if (!t.type().isGround()) return Fit::Unsure;
        const Fit typed = matchType(p.type(), t.type());
        if (typed != Fit::Yes) return typed;
        switch (p.kind()) {
        case TermKind::PVar:
            bindings_.emplace_back(&p, &t);
            return Fit::Yes;
        case TermKind::Con: return t.isCon() && eqConstant(p.constant(), t.constant()) ? Fit::Yes : Fit::No;
        case TermKind::Ap:
            if (!t.isAp() || saturatedTupleSize(t) != 0) return Fit::No;
            work_.emplace_back(&p.arg(), &t.arg());
            work_.emplace_back(&p.fun(), &t.fun());
            return Fit::Yes;
        case TermKind::Tupl: {
            const std::size_t n = t.isAp() ? saturatedTupleSize(t) : 0;
            if (n == 0 || n != p.elems().size()) return Fit::No;
            saturatedTupleElements(t, n, elements_);
            for (std::size_t i = p.elems().size(); i-- > 0;) work_.emplace_back(&p.elems()[i], elements_[i]);
            return Fit::Yes;
        }
        case TermKind::LVar:
        case TermKind::Lam: break;
        }
        return Fit::Unsure;
    }
};

}  // namespace

std::optional<std::optional<MatchResult>> matchFirstOrderExpr(ApStep step, const Term& p, const Expr& e) {
    if (!p.firstOrderPattern(step != ApStep::Simple)) return std::nullopt;
    auto& walk = FirstOrderWalk::cleared();
    switch (walk.run(p, e)) {
    case Fit::Unsure: return std::nullopt;
    case Fit::No: return std::optional<MatchResult>();
    case Fit::Yes: break;
    }
    return std::optional<MatchResult>(walk.result());
}

}  // namespace plim::fast
