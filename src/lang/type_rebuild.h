// Rebuilding a type bottom-up on an explicit work stack: the one walk behind substitution and
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
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "lang/types.h"

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
    using Hidden = BoundScopePtr;
    enum class Step : unsigned char { Enter, BuildCon, BuildAbs, Expanded };
    struct Frame {
        const Type* type;
        Hidden hidden;
        Step step;
    };
    // A root answered at once needs no walk.
    if (root.isTid() || root.isTCon()) {
        Type out = root;
        if (root.isTid() ? policy.leaf(root, out) : root.isGround() || policy.known(root, out)) return out;
    }
    std::vector<Frame> work;
    std::vector<Type> done;
    work.reserve(16);
    done.reserve(16);
    work.push_back({&root, nullptr, Step::Enter});
    while (!work.empty()) {
        Frame f = std::move(work.back());
        work.pop_back();
        const Type& t = *f.type;
        switch (f.step) {
        case Step::Enter:
            switch (t.kind()) {
            case TypeKind::Tid: {
                Type out = t;
                if (scopeHolds(f.hidden, t.name()) || policy.leaf(t, out)) {
                    done.push_back(std::move(out));
                } else {
                    work.push_back({&t, nullptr, Step::Expanded});
                    work.push_back({&policy.expansion(t), nullptr, Step::Enter});
                }
                break;
            }
            case TypeKind::TCon: {
                Type out = t;
                if (t.isGround() || (!f.hidden && policy.known(t, out))) {
                    done.push_back(std::move(out));
                    break;
                }
                work.push_back({&t, f.hidden, Step::BuildCon});
                for (std::size_t i = t.args().size(); i-- > 0;) work.push_back({&t.args()[i], f.hidden, Step::Enter});
                break;
            }
            case TypeKind::TAbs: {
                work.push_back({&t, nullptr, Step::BuildAbs});
                work.push_back({&t.body(), BoundScope::inside(f.hidden, t.boundVars()), Step::Enter});
                break;
            }
            }
            break;
        case Step::BuildCon: {
            const std::size_t n = t.args().size();
            const std::size_t first = done.size() - n;
            bool changed = false;
            for (std::size_t i = 0; i < n; ++i) changed = changed || !done[first + i].sameNode(t.args()[i]);
            Type out = t;
            if (changed) out = mkTConLike(t, done.data() + first);
            done.erase(done.begin() + static_cast<std::ptrdiff_t>(first), done.end());
            if (!f.hidden) policy.rebuilt(t, out);
            done.push_back(std::move(out));
            break;
        }
        case Step::BuildAbs:
            if (!done.back().sameNode(t.body())) done.back() = mkTAbs(t.boundVars(), std::move(done.back()));
            else done.back() = t;
            break;
        case Step::Expanded: policy.expanded(t, done.back()); break;
        }
    }
    return std::move(done.back());
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
