// Unification and one-way type matching.
#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "lang/type_rebuild.h"
#include "lang/types.h"
#include "support/small_vec.h"
#include "support/tree_walk.h"

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

// The bindings found so far, triangular: a bound type may hold variables bound later.  The
// equations are taken apart by their outermost constructors only (`head`), so a binding costs
// what its type adds, not a walk of every waiting type; types are resolved in full only for a
// failure's report and for the unifier.  That gives the same results as applying every binding
// to the waiting equations as soon as it is found.
class Bindings {
public:
    // t with bound variables at its top replaced until a constructor term, a scheme or an
    // unbound variable shows.
    Type head(Type t) const {
        while (t.isTid()) {
            auto it = bound_.find(t.name());
            if (it == bound_.end()) break;
            t = it->second.type;
        }
        return t;
    }
    // t with every binding applied.  A binding's resolved type is kept until the next binding
    // (which may bind a variable that it still holds).
    Type resolve(const Type& t) {
        if (bound_.empty()) return t;
        return rebuildType(t, *this);
    }
    void bind(const std::string& v, const Type& t) {
        bound_.insert_or_assign(v, Bound{t, kNever});
        order_.push_back(v);
    }
    // True when v is free in t once the bindings are applied.
    bool occurs(const std::string& v, const Type& t) const;
    // s followed by the bindings: x in s's domain maps to its type resolved, every other
    // bound variable to its resolved type.  The composition touches only the bindings of s
    // whose types hold a variable bound here, so threading one substitution through many
    // calls costs what each call binds, not the size of s each time.
    // Without schemes the bindings go in as they are, triangular, and are resolved only when
    // read: a call whose bindings hold no variable that s binds then only adds them.
    TypeSubst composedOnto(const TypeSubst& s) {
        if (order_.empty()) return s;
        std::map<std::string, Type, std::less<>> bindings;
        if (holdSchemes()) {
            for (const auto& v : order_) bindings.emplace(v, resolve(mkTid(v)));
            return substTypeOf(TypeSubst::fromMap(bindings), s);
        }
        for (const auto& v : order_) bindings.emplace(v, bound_.find(v)->second.type);
        return substTypeOf(TypeSubst::fromTriangular(bindings), s);
    }
    // True when a bound type holds a scheme.
    bool holdSchemes() const;

    // The policy of rebuildType: a bound variable is replaced by its resolved type.
    bool leaf(const Type& tid, Type& out) const {
        auto it = bound_.find(tid.name());
        if (it == bound_.end()) return true;
        if (it->second.resolvedAt != order_.size()) return false;
        out = it->second.type;
        return true;
    }
    const Type& expansion(const Type& tid) const { return bound_.find(tid.name())->second.type; }
    void expanded(const Type& tid, const Type& result) { bound_.find(tid.name())->second = Bound{result, order_.size()}; }
    bool known(const Type&, Type&) const { return false; }
    void rebuilt(const Type&, const Type&) const {}

private:
    struct Bound {
        Type type;
        // The number of bindings made when the type was found with no bound variable left in
        // it; kNever while it has not been resolved.
        std::size_t resolvedAt;
    };
    static constexpr std::size_t kNever = ~std::size_t{0};

    std::unordered_map<std::string, Bound> bound_;
    std::vector<std::string> order_;
};

bool Bindings::occurs(const std::string& v, const Type& t) const {
    // Each entry: a type and the scheme-bound names in scope there.  A bound variable's type is
    // looked at once (its own free variables do not depend on where it occurs).
    struct Item {
        const Type* type;
        BoundScopePtr hidden;
    };
    std::unordered_set<std::string> visited;
    std::vector<Item> work{{&t, nullptr}};
    while (!work.empty()) {
        const Item item = work.back();
        work.pop_back();
        const Type& at = *item.type;
        switch (at.kind()) {
        case TypeKind::Tid: {
            if (scopeHolds(item.hidden, at.name())) break;
            if (at.name() == v) return true;
            auto it = bound_.find(at.name());
            if (it != bound_.end() && visited.insert(at.name()).second) work.push_back({&it->second.type, nullptr});
            break;
        }
        case TypeKind::TCon:
            if (at.isGround()) break;
            for (auto a = at.args().rbegin(); a != at.args().rend(); ++a) work.push_back({&*a, item.hidden});
            break;
        case TypeKind::TAbs: work.push_back({&at.body(), BoundScope::inside(item.hidden, at.boundVars())}); break;
        }
    }
    return false;
}

bool Bindings::holdSchemes() const {
    for (const auto& [name, b] : bound_)
        if (holdsSchemeOrVar(b.type, [](const std::string&) { return false; })) return true;
    return false;
}

}  // namespace

UnifyResult unify(const std::vector<TypeEquation>& eqs, const TypeSubst& start) {
    // The equations still to solve, the next one at the back.
    std::vector<TypeEquation> work(eqs.rbegin(), eqs.rend());
    Bindings b;
    while (!work.empty()) {
        const Type t1 = b.head(work.back().first);
        const Type t2 = b.head(work.back().second);
        work.pop_back();
        if (t1.isTCon() && t2.isTCon()) {
            if (t1.name() != t2.name() || t1.args().size() != t2.args().size())
                return UnifyResult::constructorMismatch(b.resolve(t1), b.resolve(t2));
            for (std::size_t i = t1.args().size(); i-- > 0;) work.emplace_back(t1.args()[i], t2.args()[i]);
        } else if (t1.isTid() && t2.isTid()) {
            if (t1.name() != t2.name()) b.bind(t1.name(), t2);
        } else if (t1.isTid()) {
            if (b.occurs(t1.name(), t2)) return UnifyResult::occursFailure(t1.name(), b.resolve(t2));
            b.bind(t1.name(), t2);
        } else if (t2.isTid()) {
            if (b.occurs(t2.name(), t1)) return UnifyResult::occursFailure(t2.name(), b.resolve(t1));
            b.bind(t2.name(), t1);
        } else {
            // A scheme against a constructor term or a different scheme.
            const Type r1 = b.resolve(t1);
            const Type r2 = b.resolve(t2);
            if (!eqType(r1, r2)) return UnifyResult::constructorMismatch(r1, r2);
        }
    }
    return UnifyResult::ok(b.composedOnto(start));
}

UnifyResult unifyPair(const Type& a, const Type& b) { return unify({{a, b}}, identitySubst()); }

UnifyResult unifyFresh(const std::vector<TypeEquation>& eqs) { return unify(eqs, identitySubst()); }

std::optional<TypeSubst> matchType(const TypeSubst& s, const Type& p, const Type& t) {
    return matchAll(s, {{p, t}});
}

std::optional<TypeSubst> matchAll(const TypeSubst& s, const std::vector<TypeEquation>& pairs) {
    // The pairs still to match, the next at the back: a constructor's argument pairs are matched
    // before the pairs that follow it.
    std::vector<std::pair<const Type*, const Type*>> work;
    for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) work.emplace_back(&it->first, &it->second);
    TypeSubst at = s;
    while (!work.empty()) {
        const auto [p, t] = work.back();
        work.pop_back();
        switch (p->kind()) {
        case TypeKind::Tid: {
            const Type* u = at.find(p->name());
            if (u ? eqType(*u, *t) : (t->isTid() && t->name() == p->name())) break;
            if (u && !(u->isTid() && u->name() == p->name())) return std::nullopt;
            at = substTypeOf(bindVar(p->name(), *t), at);
            break;
        }
        case TypeKind::TCon: {
            if (!t->isTCon() || t->name() != p->name()) return std::nullopt;
            const std::size_t n = std::min(p->args().size(), t->args().size());
            for (std::size_t i = n; i-- > 0;) work.emplace_back(&p->args()[i], &t->args()[i]);
            break;
        }
        case TypeKind::TAbs: return std::nullopt;
        }
    }
    return at;
}

std::optional<TypeSubst> matchTypeFresh(const Type& p, const Type& t) { return matchType(identitySubst(), p, t); }

namespace {

// occursOrScheme of large types: the matches at every position under nested lambdas ask it of
// one variable and of types each a part of the one before (a lambda's type holds its body's),
// so the answers are kept per node and variable on this thread (the nodes held, so that their
// addresses name them) and a part asked before is not walked again.  Dropped whole past kLimit
// answers.
class OccursMemo {
public:
    bool occursOrScheme(const std::string& v, const Type& t) {
        if (known_.size() > kLimit) known_.clear();
        Walk walk{*this, v};
        return rebuildTree<const Type*, Answer>(&t, walk).yes;
    }

private:
    static constexpr std::size_t kLimit = 1 << 18;
    struct Answer {
        bool yes;
    };
    using Key = NodeAndVar;
    using KeyHash = NodeAndVarHash;
    struct Walk {
        OccursMemo& memo;
        const std::string& v;
        std::optional<Answer> enter(const Type* t, std::vector<const Type*>& children) {
            switch (t->kind()) {
            case TypeKind::Tid: return Answer{t->name() == v};
            case TypeKind::TAbs: return Answer{true};
            case TypeKind::TCon: break;
            }
            if (t->isGround()) return Answer{false};
            if (auto it = memo.known_.find(Key{t->nodeAddress(), v}); it != memo.known_.end())
                return Answer{it->second.second};
            for (const Type& a : t->args()) children.push_back(&a);
            return std::nullopt;
        }
        Answer leave(const Type* t, std::span<Answer> parts) {
            const bool any = std::any_of(parts.begin(), parts.end(), [](const Answer& a) { return a.yes; });
            memo.known_.emplace(Key{t->nodeAddress(), v}, std::make_pair(*t, any));
            return Answer{any};
        }
    };
    std::unordered_map<Key, std::pair<Type, bool>, KeyHash> known_;
};

// v occurs in t, or t holds a scheme.  A type of at most kSmall nodes is walked as it is;
// past that, the walk starts again with the answers kept (OccursMemo), a shortcut:
// bench_input_growth BM_RewriteInsideNestedLambdasRef/8000 takes 0.94 s without it, 0.46 s
// with it.  A walk that stops early, on a stack of its own.
bool occursOrScheme(const std::string& v, const Type& t) {
    constexpr std::size_t kSmall = 64;
    SmallVec<const Type*, 16> work;
    work.push_back(&t);
    for (std::size_t seen = 0; !work.empty(); ++seen) {
        if (seen == kSmall) {
            thread_local OccursMemo memo;
            return memo.occursOrScheme(v, t);
        }
        const Type& at = *work.back();
        work.resize(work.size() - 1);
        switch (at.kind()) {
        case TypeKind::Tid:
            if (at.name() == v) return true;
            break;
        case TypeKind::TCon:
            if (!at.isGround())
                for (const Type& a : at.args()) work.push_back(&a);
            break;
        case TypeKind::TAbs: return true;
        }
    }
    return false;
}

}  // namespace

bool matchTypeInto(TypeSubst& s, const Type& pattern, const Type& term) {
    // The pairs still to match, the next at the back, so that a constructor's argument pairs
    // are matched in order before the pairs that follow it; `held` keeps alive the term sides
    // read through s, whose arguments the pairs point into.
    // Most types are small: the pairs are kept without a heap block.
    SmallVec<std::pair<const Type*, const Type*>, 8> work;
    work.push_back({&pattern, &term});
    std::vector<Type> held;
    while (!work.empty()) {
        const auto [p, t] = work.back();
        work.resize(work.size() - 1);
        switch (p->kind()) {
        case TypeKind::TAbs: return false;
        case TypeKind::Tid: {
            const Type target = substType(s, *t);
            if (const Type* bound = s.find(p->name())) {
                if (!eqType(*bound, target)) return false;
            } else if (!eqType(*p, target)) {
                if (occursOrScheme(p->name(), target)) return false;
                s = substTypeOf(bindVar(p->name(), target), s);
            }
            break;
        }
        case TypeKind::TCon: {
            const Type* target = t;
            if (t->isTid() && s.find(t->name())) target = &held.emplace_back(substType(s, *t));
            if (!target->isTCon() || target->name() != p->name() || target->args().size() != p->args().size())
                return false;
            for (std::size_t i = p->args().size(); i-- > 0;) work.push_back({&p->args()[i], &target->args()[i]});
            break;
        }
        }
    }
    return true;
}

}  // namespace plim
