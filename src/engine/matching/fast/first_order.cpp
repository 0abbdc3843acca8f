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
#include "engine/matching/fast/solver.h"

#include <algorithm>

namespace plim::fast {

namespace {

enum class Fit : std::uint8_t { No, Yes, Unsure };

// The balanced map of the bindings, which are in ascending name order.
TermBindings sortedBindings(const std::vector<std::pair<const std::string*, const Term*>>& bs, std::size_t from,
                            std::size_t to) {
    if (from == to) return {};
    const std::size_t mid = from + (to - from) / 2;
    return TermBindings::Node(*bs[mid].first, *bs[mid].second, static_cast<std::int32_t>(to - from),
                              sortedBindings(bs, from, mid), sortedBindings(bs, mid + 1, to));
}

// The walk's stacks and findings; one per thread, cleared for each match (a match starts no
// other one while it runs).
class FirstOrderWalk {
public:
    static FirstOrderWalk& cleared() {
        thread_local FirstOrderWalk walk;
        walk.work_.clear();
        walk.bindings_.clear();
        walk.types_.clear();
        return walk;
    }

    Fit run(const Term& p, const Term& t) {
        work_.emplace_back(&p, &t);
        while (!work_.empty()) {
            const auto [pn, tn] = work_.back();
            work_.pop_back();
            const Fit f = node(*pn, *tn);
            if (f != Fit::Yes) return f;
        }
        return Fit::Yes;
    }

    // The bindings as a map, the type bindings composed in the order they were found.
    TermSubst solution() {
        std::sort(bindings_.begin(), bindings_.end(), [](const auto& a, const auto& b) { return *a.first < *b.first; });
        TypeSubst types;
        for (const auto& [name, type] : types_) types = substTypeOf(bindVar(*name, type), types);
        return TermSubst{sortedBindings(bindings_, 0, bindings_.size()), std::move(types)};
    }

private:
    std::vector<std::pair<const Term*, const Term*>> work_;
    std::vector<std::pair<const Type*, const Type*>> typeWork_;
    std::vector<std::pair<const std::string*, const Term*>> bindings_;
    std::vector<std::pair<const std::string*, Type>> types_;  // few: a linear search serves

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

    Fit node(const Term& p, const Term& t) {
        if (!t.type().isGround()) return Fit::Unsure;
        const Fit typed = matchType(p.type(), t.type());
        if (typed != Fit::Yes) return typed;
        switch (p.kind()) {
        case TermKind::PVar:
            if (hasFreeLocals(t)) return Fit::No;
            bindings_.emplace_back(&p.name(), &t);
            return Fit::Yes;
        case TermKind::Con: return t.is(TermKind::Con) && eqConstant(p.constant(), t.constant()) ? Fit::Yes : Fit::No;
        case TermKind::Ap:
            if (!t.is(TermKind::Ap)) return Fit::No;
            work_.emplace_back(&p.arg(), &t.arg());
            work_.emplace_back(&p.fun(), &t.fun());
            return Fit::Yes;
        case TermKind::Tupl:
            if (!t.is(TermKind::Tupl) || t.elems().size() != p.elems().size()) return Fit::No;
            for (std::size_t i = p.elems().size(); i-- > 0;) work_.emplace_back(&p.elems()[i], &t.elems()[i]);
            return Fit::Yes;
        case TermKind::LVar:
        case TermKind::Lam: break;
        }
        return Fit::Unsure;
    }
};

}  // namespace

std::optional<FirstOrderMatch> matchFirstOrder(ApStep step, const Term& p, const Term& t) {
    if (t.hasPVar() || t.hasLam() || !p.firstOrderPattern(step != ApStep::Simple) || t.hasTypeVars())
        return std::nullopt;
    FirstOrderWalk& walk = FirstOrderWalk::cleared();
    switch (walk.run(p, t)) {
    case Fit::Unsure: return std::nullopt;
    case Fit::No: return FirstOrderMatch{};
    case Fit::Yes: break;
    }
    return FirstOrderMatch{walk.solution()};
}

}  // namespace plim::fast
