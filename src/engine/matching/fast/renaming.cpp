// Fast matcher terms: renaming of local variables without capture, freezing of the free
// occurrences of local variables into constants and back, and the binders on a path.
#include <algorithm>

#include "engine/matching/fast/term_node.h"
#include "engine/matching/fast/terms.h"

namespace plim::fast {

namespace {

using NameMapPtr = std::shared_ptr<const NameMap>;

// The map without the names that a binder binds: they are shadowed below it.
NameMapPtr withoutBound(const NameMapPtr& env, const LamBinding& b) {
    NameMapPtr out = env;
    for (const std::string& n : binderNames(b)) {
        if (!out->count(n)) continue;
        auto copy = std::make_shared<NameMap>(*out);
        copy->erase(n);
        out = std::move(copy);
    }
    return out;
}

bool sameBinderNames(const LamBinding& a, const LamBinding& b) {
    if (a.isVar() != b.isVar()) return false;
    if (a.isVar()) return a.name() == b.name();
    if (a.components().size() != b.components().size()) return false;
    for (std::size_t i = 0; i < a.components().size(); ++i)
        if (!sameBinderNames(a.components()[i], b.components()[i])) return false;
    return true;
}

std::size_t childCount(const Term& t) {
    switch (t.kind()) {
    case TermKind::Ap: return 2;
    case TermKind::Lam: return 1;
    case TermKind::Tupl: return t.elems().size();
    default: return 0;
    }
}

const Term& childAt(const Term& t, std::size_t i) {
    if (t.is(TermKind::Ap)) return i == 0 ? t.fun() : t.arg();
    if (t.is(TermKind::Lam)) return t.body();
    return t.elems()[i];
}

// Rebuilds t bottom-up with a map of names in scope that the lambdas change on the way down:
// enter(lam, env) gives the lambda's binder and the map for its body; leaf(u, env) the new
// leaf.  Subterms without LVars, and every subterm once the map is empty, stay as they are.
// An explicit stack keeps long spines from costing native stack.
template <class Enter, class Leaf>
Term rebuildScoped(const Term& root, const NameMapPtr& env0, const Enter& enter, const Leaf& leaf) {
    auto untouched = [](const Term& u, const NameMapPtr& env) { return env->empty() || !u.hasLVar(); };
    if (untouched(root, env0)) return root;
    struct Frame {
        Term t;
        NameMapPtr env;
        std::optional<LamBinding> binder;  // a lambda: the binder the rebuilt lambda takes
        bool binderChanged = false;
        std::vector<Term> done;
    };
    std::vector<Frame> stack;
    auto push = [&](const Term& t, const NameMapPtr& env) {
        Frame f{t, env, std::nullopt, false, {}};
        if (t.is(TermKind::Lam)) {
            auto [b, inner] = enter(t, env);
            f.binderChanged = !sameBinderNames(b, t.binder());
            f.binder = std::move(b);
            f.env = std::move(inner);
        }
        stack.push_back(std::move(f));
    };
    push(root, env0);
    for (;;) {
        Frame& top = stack.back();
        const std::size_t n = childCount(top.t);
        if (top.done.size() < n) {
            const Term& next = childAt(top.t, top.done.size());
            if (untouched(next, top.env)) {
                top.done.push_back(next);
            } else {
                const NameMapPtr env = top.env;
                push(next, env);
            }
            continue;
        }
        Term built = top.t;
        if (n == 0) {
            built = leaf(top.t, *top.env);
        } else if (top.binderChanged) {
            built = Lam(*top.binder, std::move(top.done[0]), top.t.type());
        } else {
            bool changed = false;
            for (std::size_t i = 0; i < n; ++i) changed = changed || !top.done[i].sameNode(childAt(top.t, i));
            built = rebuildNode(top.t, top.done, changed);
        }
        stack.pop_back();
        if (stack.empty()) return built;
        stack.back().done.push_back(std::move(built));
    }
}

}  // namespace

// --- names --------------------------------------------------------------------------------

void collectNames(const Term& t, std::unordered_set<std::string>& out) {
    std::vector<const Term*> stack{&t};
    while (!stack.empty()) {
        const Term& u = *stack.back();
        stack.pop_back();
        switch (u.kind()) {
        case TermKind::LVar:
        case TermKind::PVar: out.insert(u.name()); break;
        case TermKind::Con:
            if (u.constant().kind() == ConstantKind::Constr) out.insert(u.constant().constrName());
            break;
        case TermKind::Ap:
            stack.push_back(&u.arg());
            stack.push_back(&u.fun());
            break;
        case TermKind::Lam:
            for (std::string& n : binderNames(u.binder())) out.insert(std::move(n));
            stack.push_back(&u.body());
            break;
        case TermKind::Tupl:
            for (std::size_t i = u.elems().size(); i-- > 0;) stack.push_back(&u.elems()[i]);
            break;
        }
    }
}

std::string freshVariant(const std::string& base, std::unordered_set<std::string>& used) {
    for (std::size_t i = 1;; ++i) {
        std::string name = base + std::to_string(i);
        if (used.insert(name).second) return name;
    }
}

std::unordered_set<std::string>& NamesInUse::get() {
    if (!names_) {
        names_.emplace();
        for (const Term* t : terms_) collectNames(*t, *names_);
    }
    return *names_;
}

LamBinding renameBinder(const LamBinding& b, const NameMap& renaming) {
    if (b.isVar()) {
        auto it = renaming.find(b.name());
        return it == renaming.end() ? b : LamVar(it->second);
    }
    std::vector<LamBinding> cs;
    for (const LamBinding& c : b.components()) cs.push_back(renameBinder(c, renaming));
    return LamTup(std::move(cs));
}

Term renameFreeLocals(const NameMap& renaming, const Term& t, NamesInUse& used) {
    NameMap active;
    for (const auto& [from, to] : renaming)
        if (from != to) active.emplace(from, to);
    if (active.empty()) return t;
    auto enter = [&used](const Term& lam, const NameMapPtr& env) {
        NameMapPtr inner = withoutBound(env, lam.binder());
        // A binder named like the new name of a variable that occurs below it would capture it.
        NameMap fresh;
        for (const std::string& b : binderNames(lam.binder())) {
            for (const auto& [from, to] : *inner) {
                if (to != b || !occursLVar(from, lam.body())) continue;
                fresh.emplace(b, freshVariant(b, used.get()));
                break;
            }
        }
        if (fresh.empty()) return std::make_pair(lam.binder(), inner);
        auto extended = std::make_shared<NameMap>(*inner);
        for (const auto& [b, n] : fresh) (*extended)[b] = n;
        return std::make_pair(renameBinder(lam.binder(), fresh), NameMapPtr(std::move(extended)));
    };
    return rebuildScoped(t, std::make_shared<const NameMap>(std::move(active)), enter,
                         [](const Term& u, const NameMap& env) {
                             if (!u.is(TermKind::LVar)) return u;
                             auto it = env.find(u.name());
                             return it == env.end() ? u : LVar(it->second, u.type());
                         });
}

std::vector<std::string> bindersOnPath(const Term& t, const Path& path) {
    std::vector<std::string> out;
    const Term* at = &t;
    for (const TermStep& step : path) {
        switch (step.kind) {
        case StepKind::First:
            if (!at->is(TermKind::Ap)) return out;
            at = &at->fun();
            break;
        case StepKind::Second:
            if (!at->is(TermKind::Ap)) return out;
            at = &at->arg();
            break;
        case StepKind::Body:
            if (!at->is(TermKind::Lam)) return out;
            pushBinder(out, at->binder());
            at = &at->body();
            break;
        case StepKind::TupElem:
            if (!at->is(TermKind::Tupl) || step.position < 0 ||
                static_cast<std::size_t>(step.position) >= at->elems().size())
                return out;
            at = &at->elems()[static_cast<std::size_t>(step.position)];
            break;
        }
    }
    return out;
}

// --- freezing -------------------------------------------------------------------------------

Term freezeLocalsAs(const NameMap& names, const Term& t) {
    if (names.empty()) return t;
    return rebuildScoped(
        t, std::make_shared<const NameMap>(names),
        [](const Term& lam, const NameMapPtr& env) { return std::make_pair(lam.binder(), withoutBound(env, lam.binder())); },
        [](const Term& u, const NameMap& env) {
            if (!u.is(TermKind::LVar)) return u;
            auto it = env.find(u.name());
            return it == env.end() ? u : Con(mkConstr(it->second), u.type());
        });
}

Term thawLocalsAs(const NameMap& names, const Term& t) {
    if (names.empty()) return t;
    NameMap back;
    for (const auto& [v, c] : names) back.emplace(c, v);
    return rebuild(
        t, [](const Term& u) { return u.hasConstr(); },
        [&back](const Term& v) {
            if (!v.is(TermKind::Con) || v.constant().kind() != ConstantKind::Constr) return v;
            auto it = back.find(v.constant().constrName());
            return it == back.end() ? v : LVar(it->second, v.type());
        },
        neverStop);
}

namespace {

NameMap identityMap(const std::vector<std::string>& names) {
    NameMap out;
    for (const std::string& n : names) out.emplace(n, n);
    return out;
}

}  // namespace

Term freezeLocals(const std::vector<std::string>& names, const Term& t) { return freezeLocalsAs(identityMap(names), t); }

Term thawLocals(const std::vector<std::string>& names, const Term& t) {
    if (names.empty()) return t;
    return rebuild(
        t, [](const Term& u) { return u.hasConstr(); },
        [&](const Term& v) {
            if (v.is(TermKind::Con) && v.constant().kind() == ConstantKind::Constr &&
                listed(names, v.constant().constrName()))
                return LVar(v.constant().constrName(), v.type());
            return v;
        },
        neverStop);
}

}  // namespace plim::fast
