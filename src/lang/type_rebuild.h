// Rebuilding a type bottom-up on the iterative visitor: the one walk behind substitution and
// the resolution of triangular bindings, so that a type nested a hundred thousand deep (or a
// chain of bindings that long) costs no stack.
//
// The policy decides what a free type variable becomes:
//   bool leaf(const Type& tid, Type& out)      true with `out` set when the answer is at hand
//                                             (an unbound variable, a memoised binding)
//   const Type& expansion(const Type& tid)     otherwise: the type to rebuild in its place, walked
//                                             with no scheme-bound names in scope
//   void expanded(const Type& tid, const Type& result)   the rebuilt expansion, for memoising
//   bool known(const Type& tcon, Type& out)    a constructor term already rebuilt (outside schemes)
//   void rebuilt(const Type& tcon, Type& result)   a constructor term just rebuilt there (the
//                                             policy may put an equal type in its place)
// A variable bound by an enclosing scheme is never handed to the policy.  Parts that come out
// unchanged keep their nodes.
#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "lang/types.h"
#include "support/tree_walk.h"

namespace plim {

// The names bound by the schemes around a place in a type: a list, and a hash set once the list
// grows long, so that a scheme binding many names costs no scan of them per variable.
class BoundScope {
public:
    // The scope inside a scheme binding `names` within `outer` (null: no scheme around).
    static std::shared_ptr<const BoundScope> inside(const std::shared_ptr<const BoundScope>& outer,
                                                    const std::vector<std::string>& names) {
        auto s = std::make_shared<BoundScope>();
        if (outer) s->names_ = outer->names_;
        s->names_.insert(s->names_.end(), names.begin(), names.end());
        if (s->names_.size() > 8) s->set_.insert(s->names_.begin(), s->names_.end());
        return s;
    }
    bool holds(const std::string& name) const {
        if (names_.size() > 8) return set_.count(name) > 0;
        return std::find(names_.begin(), names_.end(), name) != names_.end();
    }

private:
    std::vector<std::string> names_;
    std::unordered_set<std::string_view> set_;
};
using BoundScopePtr = std::shared_ptr<const BoundScope>;

inline bool scopeHolds(const BoundScopePtr& scope, const std::string& name) { return scope && scope->holds(name); }

template <class Policy>
Type rebuildType(const Type& root, Policy& policy) {
    // A root answered at once needs no walk.
    if (root.isTid() || root.isTCon()) {
        Type out = root;
        if (root.isTid() ? policy.leaf(root, out) : root.isGround() || policy.known(root, out)) return out;
    }
    // A place in the type with the names bound by the schemes around it.
    struct Item {
        const Type* type;
        BoundScopePtr hidden;
    };
    struct Visitor {
        Policy& policy;
        std::optional<Type> enter(const Item& item, std::vector<Item>& children) {
            const Type& t = *item.type;
            Type out = t;
            switch (t.kind()) {
            case TypeKind::Tid:
                // A variable the policy cannot answer is replaced by its rebuilt expansion.
                if (scopeHolds(item.hidden, t.name()) || policy.leaf(t, out)) return out;
                children.push_back(Item{&policy.expansion(t), nullptr});
                return std::nullopt;
            case TypeKind::TCon:
                if (t.isGround() || (!item.hidden && policy.known(t, out))) return out;
                for (const Type& a : t.args()) children.push_back(Item{&a, item.hidden});
                return std::nullopt;
            case TypeKind::TAbs:
                children.push_back(Item{&t.body(), BoundScope::inside(item.hidden, t.boundVars())});
                return std::nullopt;
            }
            return out;
        }
        Type leave(const Item& item, std::span<Type> done) {
            const Type& t = *item.type;
            switch (t.kind()) {
            case TypeKind::Tid: policy.expanded(t, done[0]); return std::move(done[0]);
            case TypeKind::TCon: {
                bool changed = false;
                for (std::size_t i = 0; i < done.size(); ++i) changed = changed || !done[i].sameNode(t.args()[i]);
                Type out = changed ? mkTConLike(t, done.data()) : t;
                if (!item.hidden) policy.rebuilt(t, out);
                return out;
            }
            case TypeKind::TAbs:
                if (done[0].sameNode(t.body())) return t;
                return mkTAbs(t.boundVars(), std::move(done[0]));
            }
            return t;
        }
    } visitor{policy};
    return rebuildTree<Item, Type>(Item{&root, nullptr}, visitor);
}

// True when t holds a scheme or a type variable (outside ground terms) for whose name
// `pick` holds.
template <class Pick>
bool holdsSchemeOrVar(const Type& t, const Pick& pick) {
    std::vector<const Type*> work{&t};
    while (!work.empty()) {
        const Type& at = *work.back();
        work.pop_back();
        switch (at.kind()) {
        case TypeKind::Tid:
            if (pick(at.name())) return true;
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

// A policy with nothing to expand and nothing to memoise: each free variable is replaced by
// what `replace` gives for it.
template <class Replace>
struct ReplaceVars {
    const Replace& replace;
    bool leaf(const Type& tid, Type& out) const {
        out = replace(tid);
        return true;
    }
    const Type& expansion(const Type& tid) const { return tid; }
    void expanded(const Type&, const Type&) const {}
    bool known(const Type&, Type&) const { return false; }
    void rebuilt(const Type&, const Type&) const {}
};

}  // namespace plim
