// Unification and one-way type matching.
#include <algorithm>

#include "model/types.h"

namespace plim {

UnifyResult UnifyResult::ok(TypeSubst unifier) {
    UnifyResult r;
    r.kind_ = UnifyKind::UnifyOk;
    r.unifier_ = std::move(unifier);
    return r;
}

UnifyResult UnifyResult::constructorMismatch(Type left, Type right) {
    UnifyResult r;
    r.kind_ = UnifyKind::ConstructorMismatch;
    r.left_ = std::move(left);
    r.right_ = std::move(right);
    return r;
}

UnifyResult UnifyResult::occursFailure(std::string var, Type type) {
    UnifyResult r;
    r.kind_ = UnifyKind::OccursFailure;
    r.var_ = std::move(var);
    r.right_ = std::move(type);
    return r;
}

namespace {

bool occursFree(const std::string& v, const Type& t) {
    const auto free = freeTypeVars({}, t);
    return std::find(free.begin(), free.end(), v) != free.end();
}

// The equations still to solve, the next one at the back.
using WorkList = std::vector<TypeEquation>;

void bindInWork(const std::string& v, const Type& t, WorkList& work, TypeSubst& s) {
    const TypeSubst b = bindVar(v, t);
    for (auto& [l, r] : work) {
        l = substType(b, l);
        r = substType(b, r);
    }
    s = substTypeOf(b, s);
}

}  // namespace

UnifyResult unify(const std::vector<TypeEquation>& eqs, const TypeSubst& start) {
    WorkList work(eqs.rbegin(), eqs.rend());
    TypeSubst s = start;
    while (!work.empty()) {
        const auto [t1, t2] = work.back();
        work.pop_back();
        if (t1.isTCon() && t2.isTCon()) {
            if (t1.name() != t2.name() || t1.args().size() != t2.args().size())
                return UnifyResult::constructorMismatch(t1, t2);
            for (std::size_t i = t1.args().size(); i-- > 0;) work.emplace_back(t1.args()[i], t2.args()[i]);
        } else if (t1.isTid() && t2.isTid()) {
            if (t1.name() != t2.name()) bindInWork(t1.name(), t2, work, s);
        } else if (t1.isTid()) {
            if (occursFree(t1.name(), t2)) return UnifyResult::occursFailure(t1.name(), t2);
            bindInWork(t1.name(), t2, work, s);
        } else if (t2.isTid()) {
            if (occursFree(t2.name(), t1)) return UnifyResult::occursFailure(t2.name(), t1);
            bindInWork(t2.name(), t1, work, s);
        } else if (!eqType(t1, t2)) {
            // A scheme against a constructor term or a different scheme.
            return UnifyResult::constructorMismatch(t1, t2);
        }
    }
    return UnifyResult::ok(std::move(s));
}

UnifyResult unifyPair(const Type& a, const Type& b) { return unify({{a, b}}, identitySubst()); }

UnifyResult unifyFresh(const std::vector<TypeEquation>& eqs) { return unify(eqs, identitySubst()); }

std::optional<TypeSubst> matchType(const TypeSubst& s, const Type& p, const Type& t) {
    switch (p.kind()) {
    case TypeKind::Tid: {
        const Type u = s(p.name());
        if (eqType(u, t)) return s;
        if (eqType(u, p)) return substTypeOf(bindVar(p.name(), t), s);
        return std::nullopt;
    }
    case TypeKind::TCon: {
        if (!t.isTCon() || t.name() != p.name()) return std::nullopt;
        std::vector<TypeEquation> pairs;
        const std::size_t n = std::min(p.args().size(), t.args().size());
        for (std::size_t i = 0; i < n; ++i) pairs.emplace_back(p.args()[i], t.args()[i]);
        return matchAll(s, pairs);
    }
    case TypeKind::TAbs: return std::nullopt;
    }
    return std::nullopt;
}

std::optional<TypeSubst> matchAll(const TypeSubst& s, const std::vector<TypeEquation>& pairs) {
    TypeSubst at = s;
    for (const auto& [p, t] : pairs) {
        auto next = matchType(at, p, t);
        if (!next) return std::nullopt;
        at = std::move(*next);
    }
    return at;
}

std::optional<TypeSubst> matchTypeFresh(const Type& p, const Type& t) { return matchType(identitySubst(), p, t); }

}  // namespace plim
