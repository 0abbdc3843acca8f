// Fast matcher terms: nodes, binders, printed forms and the operations on single terms.
#include "engine/matching/fast/terms.h"

#include "engine/matching/fast/term_node.h"
#include "engine/matching/self_typed_applications.h"
#include "support/errors.h"
#include "support/release.h"

namespace plim::fast {

// --- binders ----------------------------------------------------------------------------

void LamBinding::refuse() { failUser("can't handle non-variable/tuple lambda bindings"); }

LamBinding refusedBinding() {
    LamBinding b;
    b.refused_ = true;
    return b;
}

const std::vector<LamBinding>& LamBinding::components() const {
    if (refused_) refuse();
    static const std::vector<LamBinding> none;
    return components_ ? *components_ : none;
}

void LamBinding::releaseComponents() {
    if (components_.use_count() != 1) return;
    using Components = std::vector<LamBinding>;
    const std::shared_ptr<const Components> mine = std::move(components_);
    releaseSoleChildren(const_cast<Components&>(*mine), [](Components& cs, auto take) {
        for (LamBinding& c : cs) take(c.components_);
    });
}

LamBinding LamVar(std::string name) {
    LamBinding b;
    b.kind_ = BindingKind::LamVar;
    b.name_ = std::move(name);
    return b;
}

LamBinding LamTup(std::vector<LamBinding> components) {
    LamBinding b;
    b.kind_ = BindingKind::LamTup;
    b.components_ = std::make_shared<const std::vector<LamBinding>>(std::move(components));
    return b;
}

// --- terms ------------------------------------------------------------------------------


namespace {

// What firstOrderPattern answers, as bits: 1 with any heads, 2 with rigid heads only.
std::int8_t firstOrderBits(const Term& root) {
    bool rigid = true;
    std::vector<const Term*> todo{&root};
    std::vector<const std::string*> names;
    while (!todo.empty()) {
        const Term& u = *todo.back();
        todo.pop_back();
        switch (u.kind()) {
        case TermKind::PVar: names.push_back(&u.name()); break;
        case TermKind::Con: {
            const Constant& c = u.constant();
            if (c.kind() == ConstantKind::Error || (c.kind() == ConstantKind::FNumber && c.fnumber() != c.fnumber()))
                return 0;
            break;
        }
        case TermKind::Ap:
            rigid = rigid && !flexibleHead(u.fun());
            todo.push_back(&u.arg());
            todo.push_back(&u.fun());
            break;
        case TermKind::Tupl:
            for (const Term& e : u.elems()) todo.push_back(&e);
            break;
        case TermKind::LVar:
        case TermKind::Lam: return 0;
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string* a, const std::string* b) { return *a < *b; });
    for (std::size_t i = 1; i < names.size(); ++i)
        if (*names[i - 1] == *names[i]) return 0;
    return rigid ? 3 : 1;
}

}  // namespace

bool Term::firstOrderPattern(bool rigidHeads) const {
    const TermNode& n = *node_;
    if (n.firstOrder < 0) n.firstOrder = firstOrderBits(*this);
    return (n.firstOrder & (rigidHeads ? 2 : 1)) != 0;
}

bool problemMatchesNothing(const Term& p, const Term& t) {
    return plim::problemMatchesNothing(p, t,
                                       [](const Term& u) -> std::int8_t& { return TermBuilder::of(u).selfTyped; });
}

void Term::release(const TermNode* n) noexcept {
    auto* node = const_cast<TermNode*>(n);
    node->~TermNode();
    PoolAllocator<TermNode>().deallocate(node, 1);
}

Term withOrigin(Term t, const Expr& e) {
    TermBuilder::of(t).origin.emplace(e);
    return t;
}

Term LVar(std::string name, Type type) {
    Term t = TermBuilder::node(TermKind::LVar, std::move(type), std::move(name));
    TermBuilder::edit(t).holds |= TermNode::LVars;
    return t;
}

Term PVar(std::string name, Type type) {
    Term t = TermBuilder::node(TermKind::PVar, std::move(type), std::move(name));
    TermBuilder::edit(t).holds |= TermNode::PVars;
    return t;
}

Term Con(Constant constant, Type type) {
    const bool constr = constant.kind() == ConstantKind::Constr;
    Term t = TermBuilder::node(std::move(type), constant);
    if (constr) TermBuilder::edit(t).holds |= TermNode::Constrs;
    return t;
}

Term Ap(Term fun, Term arg, Type type) {
    Term t = TermBuilder::node(std::move(type), std::move(fun), std::move(arg));
    TermBuilder::finishAp(TermBuilder::edit(t));
    return t;
}

namespace {

// The binder is copied or moved straight into the node.
template <class Binder>
Term lambda(Binder&& binder, Term body, Type type) {
    Term t = TermBuilder::node(std::move(type), std::forward<Binder>(binder), std::move(body));
    TermNode& n = TermBuilder::edit(t);
    TermBuilder::absorb(n, n.first);
    n.holds |= TermNode::Lams;
    return t;
}

}  // namespace

Term Lam(const LamBinding& binder, Term body, Type type) { return lambda(binder, std::move(body), std::move(type)); }
Term Lam(LamBinding&& binder, Term body, Type type) {
    return lambda(std::move(binder), std::move(body), std::move(type));
}

Term Tupl(std::vector<Term> elems, Type type) {
    Term t = TermBuilder::node(std::move(type), std::move(elems));
    TermNode& n = TermBuilder::edit(t);
    for (const Term& e : n.elems) TermBuilder::absorb(n, e);
    return t;
}

Term rebuildNode(const Term& u, std::vector<Term>& kids, bool changed) {
    if (!changed) return u;
    switch (u.kind()) {
    case TermKind::Ap: return Ap(std::move(kids[0]), std::move(kids[1]), u.type());
    case TermKind::Lam: return Lam(u.binder(), std::move(kids[0]), u.type());
    case TermKind::Tupl: return Tupl(std::move(kids), u.type());
    default: return u;
    }
}

Term rebuilt(const Term& u, std::vector<Term>& kids) {
    bool changed = false;
    for (std::size_t i = 0; i < kids.size() && !changed; ++i)
        changed = !kids[i].sameNode(term_ops::childOf(u, i));
    return rebuildNode(u, kids, changed);
}

// --- term operations --------------------------------------------------------------------

const Type& termType(const Term& t) { return t.type(); }

// A lambda that binds x again hides its body's x from the outer binder: opening
// \x -> \x -> x must not free the inner x.
Term freeLVar(const std::string& x, const Term& t) {
    return local_renaming::mapFreeLocals({{x, x}}, t,
                                         [](const std::string& n, const Type& ty) { return PVar(n, ty); });
}

}  // namespace plim::fast
