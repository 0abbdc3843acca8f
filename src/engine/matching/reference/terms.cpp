#include "engine/matching/reference/terms.h"
#include "engine/matching/reference/term_operations.h"

#include <algorithm>
#include <map>
#include <span>
#include <unordered_map>
#include <unordered_set>

#include "engine/matching/binder_walks.h"
#include "engine/matching/self_typed_applications.h"
#include "lang/expressions.h"
#include "support/errors.h"
#include "support/release.h"
#include "support/tree_walk.h"

namespace plim::ref {

// ---------------------------------------------------------------------------------------
// Binders and nodes
// ---------------------------------------------------------------------------------------

LamBinding LamBinding::LamVar(std::string name) {
    return LamBinding(std::make_shared<const Node>(Node{true, std::move(name), {}}));
}

LamBinding LamBinding::LamTup(std::vector<LamBinding> elems) {
    return LamBinding(std::make_shared<const Node>(Node{false, {}, std::move(elems)}));
}

LamBinding::Node::~Node() {
    releaseSoleChildren(*this, [](Node& n, auto take) {
        for (LamBinding& e : n.elems) take(e.node_);
    });
}

TermNode::~TermNode() {
    releaseSoleChildren(*this, [](TermNode& n, auto take) {
        for (Term& c : n.children) take(c.node_);
    });
}

struct TermBuilder {
    static Term make(TermKind k, Type type, std::vector<Term> children, std::string name = {},
                     std::optional<Constant> constant = std::nullopt,
                     std::optional<LamBinding> binder = std::nullopt) {
        auto n = std::make_shared<TermNode>(k, std::move(type));
        n->hasPVar = k == TermKind::PVar;
        n->hasTypeVars = n->type.hasTypeVars();
        n->hasLVar = k == TermKind::LVar;
        n->hasLam = k == TermKind::Lam;
        n->hasConstr = constant && constant->kind() == ConstantKind::Constr;
        for (const Term& c : children) {
            n->hasPVar = n->hasPVar || c.hasPVar();
            n->hasTypeVars = n->hasTypeVars || c.hasTypeVars();
            n->hasLVar = n->hasLVar || c.hasLVar();
            n->hasLam = n->hasLam || c.hasLam();
            n->hasConstr = n->hasConstr || c.hasConstr();
        }
        n->children = std::move(children);
        n->name = std::move(name);
        n->constant = std::move(constant);
        n->binder = std::move(binder);
        return Term(std::move(n));
    }
    static std::int8_t& selfTyped(const Term& t) { return t.node_->selfTyped; }
};

Term LVar(std::string name, Type type) { return TermBuilder::make(TermKind::LVar, std::move(type), {}, std::move(name)); }
Term PVar(std::string name, Type type) { return TermBuilder::make(TermKind::PVar, std::move(type), {}, std::move(name)); }
Term Con(Constant k, Type type) {
    return TermBuilder::make(TermKind::Con, std::move(type), {}, {}, std::move(k));
}
Term Ap(Term f, Term x, Type type) {
    return TermBuilder::make(TermKind::Ap, std::move(type), {std::move(f), std::move(x)});
}
Term Lam(LamBinding b, Term body, Type type) {
    return TermBuilder::make(TermKind::Lam, std::move(type), {std::move(body)}, {}, std::nullopt, std::move(b));
}
Term Tupl(std::vector<Term> elems, Type type) {
    return TermBuilder::make(TermKind::Tupl, std::move(type), std::move(elems));
}

bool problemMatchesNothing(const Term& p, const Term& t) {
    return plim::problemMatchesNothing(p, t, [](const Term& u) -> std::int8_t& { return TermBuilder::selfTyped(u); });
}

Term withSubterms(const Term& t, std::vector<Term> children, Type type) {
    switch (t.kind()) {
    case TermKind::LVar: return LVar(t.name(), std::move(type));
    case TermKind::PVar: return PVar(t.name(), std::move(type));
    case TermKind::Con: return Con(t.constant(), std::move(type));
    case TermKind::Ap: return Ap(std::move(children[0]), std::move(children[1]), std::move(type));
    case TermKind::Lam: return Lam(t.binder(), std::move(children[0]), std::move(type));
    case TermKind::Tupl: return Tupl(std::move(children), std::move(type));
    }
    return t;
}

Term rebuilt(const Term& t, std::vector<Term> children) {
    const std::vector<Term>& old = subterms(t);
    bool same = true;
    for (std::size_t i = 0; i < children.size() && same; ++i) same = children[i].sameNode(old[i]);
    return same ? t : withSubterms(t, std::move(children), t.type());
}

// ---------------------------------------------------------------------------------------
// Tuples and binders
// ---------------------------------------------------------------------------------------

std::optional<std::vector<Expr>> saturatedTupleArgs(const Expr& e) {
    std::vector<Expr> args;
    Expr at = e;
    while (at.isAp()) {
        args.push_back(at.arg());
        at = at.fun();
    }
    if (!at.isCon() || at.constant().kind() != ConstantKind::Tuple) return std::nullopt;
    if (static_cast<std::size_t>(at.constant().arity()) != args.size()) return std::nullopt;
    return std::vector<Expr>(args.rbegin(), args.rend());
}

Expr mkTupleExpr(const std::vector<Expr>& es) {
    std::vector<Type> components;
    components.reserve(es.size());
    for (const Expr& e : es) components.push_back(e.type());
    const std::int32_t n = static_cast<std::int32_t>(es.size());
    Type constantType = mkTCon(tupleTypeName(n), components);
    for (auto it = components.rbegin(); it != components.rend(); ++it) constantType = arrowType(*it, constantType);
    Expr out = mkCon(mkTuple(n), constantType);
    for (const Expr& e : es) out = typedAp(out, e);
    return out;
}

TypeArgs gettupletypes(const Type& t) {
    if (!t.isTCon() || t.name().rfind("Tuple", 0) != 0) patternFail(CodedFailure::ReferenceTupleTypesNonTuple);
    return t.args();
}

std::pair<LamBinding, std::vector<std::string>> convertBinding(const Term& p) {
    return binder_walks::ofPattern<LamBinding>(p, LamVar, LamTup,
                                               [] { failUser("can't handle non-variable/tuple lambda bindings"); });
}

namespace {

// A binder against its type, variables by `var` and tuples by `tuple`.
template <class R, class Var, class Tuple>
R againstType(const Type& t, const LamBinding& b, const Var& var, const Tuple& tuple) {
    return binder_walks::againstType<R>(
        b, t, [](const LamBinding& x) -> const auto& { return x.components(); }, gettupletypes, var, tuple);
}

}  // namespace

Expr bindingToExpr(const Type& t, const LamBinding& b) {
    if (b.isVar()) return mkVar(b.name(), t);
    return againstType<Expr>(
        t, b, [](const std::string& n, const Type& ty) { return mkVar(n, ty); },
        [](std::vector<Expr> parts, const Type&) { return mkTupleExpr(parts); });
}

Term bindingToTerm(const Type& t, const LamBinding& b) {
    if (b.isVar()) return LVar(b.name(), t);
    return againstType<Term>(
        t, b, [](const std::string& n, const Type& ty) { return LVar(n, ty); },
        [](std::vector<Term> parts, const Type& ty) { return Tupl(std::move(parts), ty); });
}

// ---------------------------------------------------------------------------------------
// Conversion
// ---------------------------------------------------------------------------------------

namespace {

// The names bound around the node being converted: those of the lambdas inside the expression
// converted, counted so that a walk can enter and leave lambdas in O(1) per name, and those of
// its context.  The different inner names, as a set per open lambda, say how the node converts
// in its context.
class BoundNames {
public:
    explicit BoundNames(const std::vector<std::string>& context)
        : context_(context.begin(), context.end()), sets_{NameSet()} {}
    void add(const std::vector<std::string>& ns) {
        NameSet inner = sets_.back();
        for (const auto& n : ns) {
            ++inner_[n];
            inner = inner.with(n);
        }
        sets_.push_back(std::move(inner));
    }
    void remove(const std::vector<std::string>& ns) {
        for (const auto& n : ns) --inner_[n];
        sets_.pop_back();
    }
    const NameSet& innerNames() const { return sets_.back(); }
    bool innerBound(const std::string& n) const {
        auto it = inner_.find(n);
        return it != inner_.end() && it->second > 0;
    }
    bool inContext(const std::string& n) const { return context_.count(n) > 0; }

private:
    std::unordered_map<std::string, int> inner_;
    std::unordered_set<std::string> context_;
    std::vector<NameSet> sets_;
};

// The nodes of expressions converted frozen in one context, each with its term by the different
// names that lambdas of the expression bind around it; the node is held, so that its address
// names it as long as the entry lives.
class ContextMemo {
public:
    const Term* find(const Expr& e, const NameSet& inner) const {
        if (auto it = byNode_.find(e.identity()); it != byNode_.end())
            for (const Entry& x : it->second)
                if (x.inner == inner) return &x.term;
        return nullptr;
    }
    void keep(const Expr& e, const NameSet& inner, const Term& t) {
        byNode_[e.identity()].push_back(Entry{e, inner, t});
        ++size_;
    }
    // The entries kept.
    std::size_t size() const { return size_; }

private:
    struct Entry {
        Expr expr;
        NameSet inner;
        Term term;
    };
    std::unordered_map<const void*, std::vector<Entry>> byNode_;
    std::size_t size_ = 0;
};

// How a walk converts: the context's variables as local variables, or frozen into constants
// with the nodes remembered in `memo`: nested lambdas whose bodies are converted in turn (a
// match at every position under them) convert each node once per set of inner names.
struct Conversion {
    bool freeze = false;
    ContextMemo* memo = nullptr;

    std::optional<Term> known(const Expr& e, const BoundNames& bound) const {
        if (!memo) return std::nullopt;
        if (const Term* t = memo->find(e, bound.innerNames())) return *t;
        return std::nullopt;
    }
    void keep(const Expr& e, const Term& t, const NameSet& inner) const {
        if (memo) memo->keep(e, inner, t);
    }
    Term variable(const Expr& e, const BoundNames& bound) const {
        const std::string& n = e.name();
        if (bound.innerBound(n)) return LVar(n, e.type());
        if (!bound.inContext(n)) return PVar(n, e.type());
        return freeze ? Con(mkConstr(n), e.type()) : LVar(n, e.type());
    }
};

// The application spine e rebuilt from its head's and arguments' terms: every prefix whose
// head is a tuple constant of exactly its number of arguments becomes a Tupl.  Each prefix is
// what its own node converts to, and is kept as that node's.
Term buildSpine(const Expr& e, std::span<Term> parts, const Conversion& how, const NameSet& inner) {
    std::vector<Expr> spine;  // the application nodes, innermost first
    Expr head = e;
    for (; head.isAp(); head = head.fun()) spine.push_back(head);
    std::reverse(spine.begin(), spine.end());
    const bool tupleHead = head.isCon() && head.constant().kind() == ConstantKind::Tuple;
    Term out = parts[0];
    for (std::size_t k = 1; k < parts.size(); ++k) {
        const Expr& node = spine[k - 1];
        if (tupleHead && static_cast<std::size_t>(head.constant().arity()) == k)
            out = Tupl(std::vector<Term>(parts.begin() + 1, parts.begin() + static_cast<std::ptrdiff_t>(k) + 1),
                       node.type());
        else
            out = Ap(std::move(out), parts[k], node.type());
        how.keep(node, out, inner);
    }
    return out;
}

// One conversion on the iterative visitor: an application spine is one item, whose children
// are its head and its arguments in order; a lambda's binder is converted on entering it, and
// its names stay bound until it is left.
struct ConvertWalk {
    BoundNames& bound;
    const Conversion& how;
    std::vector<std::pair<LamBinding, std::vector<std::string>>> lambdas;  // entered, innermost last

    std::optional<Term> enter(const Expr& e, std::vector<Expr>& children) {
        if (std::optional<Term> t = how.known(e, bound)) return t;
        switch (e.kind()) {
        case ExprKind::Var: return kept(e, how.variable(e, bound));
        case ExprKind::Con: return kept(e, Con(e.constant(), e.type()));
        case ExprKind::Ap: {
            const auto first = static_cast<std::ptrdiff_t>(children.size());
            Expr at = e;
            for (; at.isAp(); at = at.fun()) children.push_back(at.arg());
            children.push_back(at);
            std::reverse(children.begin() + first, children.end());
            return std::nullopt;
        }
        case ExprKind::Lam: {
            // A pattern with a local block is no variable or tuple of variables either.
            if (holdsLet(e.pattern())) failUser("can't handle non-variable/tuple lambda bindings");
            auto binder = convertBinding(convertClosed(e.pattern()));
            bound.add(binder.second);
            lambdas.push_back(std::move(binder));
            children.push_back(e.body());
            return std::nullopt;
        }
        case ExprKind::Let: break;
        }
        patternFail(CodedFailure::ReferenceConvertLet);
    }
    Term leave(const Expr& e, std::span<Term> parts) {
        if (e.kind() == ExprKind::Ap) return kept(e, buildSpine(e, parts, how, bound.innerNames()));
        auto [binder, names] = std::move(lambdas.back());
        lambdas.pop_back();
        bound.remove(names);
        return kept(e, Lam(std::move(binder), std::move(parts[0]), e.type()));
    }
    Term kept(const Expr& e, Term t) const {
        how.keep(e, t, bound.innerNames());
        return t;
    }
};

Term convertAs(const std::vector<std::string>& context, const Expr& e, const Conversion& how) {
    BoundNames bound(context);
    ConvertWalk walk{bound, how, {}};
    return rebuildTree<Expr, Term>(e, walk);
}

// The memos of the contexts met lately.  A match at every subexpression of an expression asks
// for the nodes of one context again and again; they are converted once.  The memos are
// dropped together once they hold several times as many nodes as the most that one conversion
// added since they were last dropped, so that they hold about what the latest walks read.
class ConversionMemos {
public:
    ContextMemo& of(const std::vector<std::string>& context) {
        if (entries_ > kFloor + 4 * largest_) {
            memos_.clear();
            entries_ = 0;
            largest_ = 0;
        }
        return memos_[context];
    }
    void added(std::size_t nodes) {
        entries_ += nodes;
        largest_ = std::max(largest_, nodes);
    }

private:
    static constexpr std::size_t kFloor = 1 << 16;
    std::map<std::vector<std::string>, ContextMemo> memos_;
    std::size_t entries_ = 0;
    std::size_t largest_ = 0;
};

}  // namespace

Term convert(const std::vector<std::string>& boundOuter, const Expr& e) { return convertAs(boundOuter, e, Conversion{}); }

Term convertFrozen(const std::vector<std::string>& context, const Expr& e) {
    thread_local ConversionMemos memos;
    ContextMemo& memo = memos.of(context);
    // Counted also when the conversion fails part-way.
    struct Count {
        ConversionMemos& memos;
        const ContextMemo& memo;
        std::size_t before;
        ~Count() { memos.added(memo.size() - before); }
    } count{memos, memo, memo.size()};
    return convertAs(context, e, Conversion{true, &memo});
}

Expr unconvert(const Term& root) {
    struct Visitor {
        std::optional<Expr> enter(const Term* t, std::vector<const Term*>& children) {
            switch (t->kind()) {
            case TermKind::LVar:
            case TermKind::PVar: return mkVar(t->name(), t->type());
            case TermKind::Con: return mkCon(t->constant(), t->type());
            default: break;
            }
            for (const Term& part : subterms(*t)) children.push_back(&part);
            return std::nullopt;
        }
        Expr leave(const Term* t, std::span<Expr> done) {
            switch (t->kind()) {
            case TermKind::Ap: return mkAp(done[0], done[1], t->type());
            case TermKind::Lam: return mkLam(bindingToExpr(argType(t->type()), t->binder()), done[0], t->type());
            default: return mkTupleExpr(std::vector<Expr>(done.begin(), done.end()));
            }
        }
    } visitor;
    return rebuildTree<const Term*, Expr>(&root, visitor);
}

// ---------------------------------------------------------------------------------------
// Bindings
// ---------------------------------------------------------------------------------------

const Bindings& identityBindings() {
    static const Bindings identity{VarMap(), identitySubst()};
    return identity;
}

MatchResult unconvertBindings(const Bindings& b) {
    MatchResult out{Substitution{}, b.types};
    out.subst.reserve(static_cast<std::size_t>(b.vars.size()));
    for (const auto& [name, t] : fmToList(NaturalOrd{}, b.vars)) out.subst.emplace_back(name, unconvert(t));
    return out;
}

Bindings convertBindings(const MatchResult& r) {
    std::vector<std::pair<std::string, Term>> pairs;
    pairs.reserve(r.subst.size());
    for (const auto& [name, e] : r.subst) pairs.emplace_back(name, convertClosed(e));
    auto later = [](const Term& newer, const Term&) { return newer; };
    return Bindings{listToCombFM(NaturalOrd{}, later, pairs), r.types};
}

}  // namespace plim::ref
