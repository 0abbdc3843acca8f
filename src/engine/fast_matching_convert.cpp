// Conversion between expressions and fast matcher terms, in both directions.
#include <unordered_map>

#include "engine/fast_matching.h"
#include "text/errors.h"

namespace plim::fast {

namespace {

constexpr const char* kBadBinder = "can't handle non-variable/tuple lambda bindings";

// The names bound around the expression being converted, with how often each is bound.
class Scope {
public:
    explicit Scope(const std::vector<std::string>& names) {
        for (const auto& n : names) ++count_[n];
    }
    bool binds(const std::string& n) const {
        if (count_.empty()) return false;
        auto it = count_.find(n);
        return it != count_.end() && it->second > 0;
    }
    void enter(const std::vector<std::string>& names) {
        for (const auto& n : names) ++count_[n];
    }
    void leave(const std::vector<std::string>& names) {
        for (const auto& n : names) --count_[n];
    }

private:
    std::unordered_map<std::string, int> count_;
};

Term convertIn(Scope& scope, const Expr& e);

bool hasVariable(const Expr& e) {
    std::vector<Expr> todo{e};
    while (!todo.empty()) {
        const Expr at = todo.back();
        todo.pop_back();
        switch (at.kind()) {
        case ExprKind::Var: return true;
        case ExprKind::Ap:
        case ExprKind::Lam:
            todo.push_back(at.isAp() ? at.fun() : at.pattern());
            todo.push_back(at.isAp() ? at.arg() : at.body());
            break;
        case ExprKind::Let: return true;  // its conversion fails anyway
        case ExprKind::Con: break;
        }
    }
    return false;
}

// The binder of a lambda and the names it binds.  A pattern that is neither a variable nor a
// tuple of variables is refused when the binder is examined; a body with variables cannot be
// classified without the binder's names, so then the refusal comes at once.
std::pair<LamBinding, std::vector<std::string>> lambdaBinder(const Expr& lam) {
    const Term pattern = convertPrime({}, lam.pattern());
    if (bindersFit(pattern) || hasVariable(lam.body())) return binders(pattern);
    return {refusedBinding(), {}};
}

// An application chain whose head is no saturated tuple at any of its nodes.
Term convertApChain(Scope& scope, const Expr& e) {
    if (!e.isAp()) return convertIn(scope, e);
    Term f = convertApChain(scope, e.fun());
    return Ap(std::move(f), convertIn(scope, e.arg()), e.type());
}

// An application spine: the head and its arguments, first argument first.  A saturated
// tuple at the head takes exactly its arity of arguments; the rest are applied to it.
Term convertSpine(Scope& scope, const Expr& e) {
    std::size_t n = 0;
    Expr head = e;
    for (; head.isAp(); head = head.fun()) ++n;
    const bool tuple = head.isCon() && head.constant().kind() == ConstantKind::Tuple;
    const auto k = tuple ? static_cast<std::size_t>(head.constant().arity()) : 0;
    if (!tuple || k < 1 || k > n) return convertApChain(scope, e);
    std::vector<Expr> spine;  // the application nodes, outermost first
    spine.reserve(n);
    for (Expr at = e; at.isAp(); at = at.fun()) spine.push_back(at);
    std::vector<Term> es;
    es.reserve(k);
    for (std::size_t i = 0; i < k; ++i) es.push_back(convertIn(scope, spine[n - 1 - i].arg()));
    Term at = Tupl(std::move(es), spine[n - k].type());
    for (std::size_t i = k; i < n; ++i) {
        const Expr& node = spine[n - 1 - i];
        at = Ap(std::move(at), convertIn(scope, node.arg()), node.type());
    }
    return at;
}

Term convertIn(Scope& scope, const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Var: return scope.binds(e.name()) ? LVar(e.name(), e.type()) : PVar(e.name(), e.type());
    case ExprKind::Con: return Con(e.constant(), e.type());
    case ExprKind::Ap: return convertSpine(scope, e);
    case ExprKind::Lam: {
        auto [binder, names] = lambdaBinder(e);
        scope.enter(names);
        Term body = convertIn(scope, e.body());
        scope.leave(names);
        return Lam(std::move(binder), std::move(body), e.type());
    }
    case ExprKind::Let: break;
    }
    patternFail("FastMatching:167|function convert'");
}

}  // namespace

Term convertPrime(const std::vector<std::string>& context, const Expr& e) {
    Scope scope(context);
    return convertIn(scope, e);
}

bool bindersFit(const Term& pattern) {
    if (pattern.is(TermKind::PVar)) return true;
    if (!pattern.is(TermKind::Tupl)) return false;
    for (const Term& el : pattern.elems())
        if (!bindersFit(el)) return false;
    return true;
}

std::pair<LamBinding, std::vector<std::string>> binders(const Term& pattern) {
    if (pattern.is(TermKind::PVar)) return {LamVar(pattern.name()), {pattern.name()}};
    if (!pattern.is(TermKind::Tupl)) failWith(kBadBinder);
    std::vector<LamBinding> bs;
    std::vector<std::string> names;
    for (const Term& el : pattern.elems()) {
        auto [b, ns] = binders(el);
        bs.push_back(std::move(b));
        names.insert(names.end(), ns.begin(), ns.end());
    }
    return {LamTup(std::move(bs)), std::move(names)};
}

std::optional<std::vector<Expr>> saturatedTupleArgs(const Expr& e) {
    std::vector<Expr> args;
    Expr at = e;
    while (at.isAp()) {
        args.push_back(at.arg());
        at = at.fun();
    }
    if (!at.isCon() || at.constant().kind() != ConstantKind::Tuple) return std::nullopt;
    if (static_cast<std::size_t>(at.constant().arity()) != args.size() || args.empty()) return std::nullopt;
    return std::vector<Expr>(args.rbegin(), args.rend());
}

Expr mkTupleExpr(const std::vector<Expr>& components) {
    std::vector<Type> ts;
    ts.reserve(components.size() + 1);
    for (const Expr& c : components) ts.push_back(exprType(c));
    ts.push_back(mkTupleType(std::vector<Type>(ts.begin(), ts.end())));
    Expr out = mkCon(mkTuple(static_cast<std::int32_t>(components.size())), arrowTypes(ts));
    for (const Expr& c : components) out = typedAp(out, c);
    return out;
}

namespace {

// gettupletypes: the binder rebuilt against its type, variables by `var`, tuples by `tuple`.
template <class R, class Var, class Tuple>
R gettupletypes(const Var& var, const Tuple& tuple, const Type& ty, const LamBinding& b) {
    if (b.isVar()) return var(b.name(), ty);
    if (!ty.isTCon() || ty.name().rfind("Tuple", 0) != 0) patternFail("FastMatching:239|function gettupletypes");
    std::vector<R> parts;
    const auto& cs = b.components();
    for (std::size_t i = 0; i < cs.size() && i < ty.args().size(); ++i)
        parts.push_back(gettupletypes<R>(var, tuple, ty.args()[i], cs[i]));
    return tuple(std::move(parts), ty);
}

}  // namespace

Expr binderPattern(const Type& argumentType, const LamBinding& b) {
    return gettupletypes<Expr>([](const std::string& n, const Type& t) { return mkVar(n, t); },
                               [](std::vector<Expr> parts, const Type&) { return mkTupleExpr(parts); },
                               argumentType, b);
}

Term binderTerm(const Type& argumentType, const LamBinding& b) {
    return gettupletypes<Term>([](const std::string& n, const Type& t) { return LVar(n, t); },
                               [](std::vector<Term> parts, const Type& t) { return Tupl(std::move(parts), t); },
                               argumentType, b);
}

Expr convert(const Term& t) {
    switch (t.kind()) {
    case TermKind::LVar:
    case TermKind::PVar: return mkVar(t.name(), t.type());
    case TermKind::Con: return mkCon(t.constant(), t.type());
    case TermKind::Ap: {
        // The function spine iteratively: long application chains nest on the left.
        std::vector<Term> spine;
        Term head = t;
        while (head.is(TermKind::Ap)) {
            spine.push_back(head);
            head = head.fun();
        }
        Expr out = convert(head);
        for (std::size_t i = spine.size(); i-- > 0;) out = mkAp(out, convert(spine[i].arg()), spine[i].type());
        return out;
    }
    case TermKind::Lam:
        return mkLam(binderPattern(argType(t.type()), t.binder()), convert(t.body()), t.type());
    case TermKind::Tupl: {
        std::vector<Expr> es;
        es.reserve(t.elems().size());
        for (const Term& e : t.elems()) es.push_back(convert(e));
        return mkTupleExpr(es);
    }
    }
    return mkVar(t.name(), t.type());
}

MatchResult convertBindings(const TermSubst& s) {
    MatchResult r;
    for (const auto& [name, term] : fmToList(NaturalOrd{}, s.bindings)) r.subst.emplace_back(name, convert(term));
    r.types = s.types;
    return r;
}

std::vector<std::string> contextNames(const std::vector<TypedVar>& context) {
    std::vector<std::string> out;
    out.reserve(context.size());
    for (const auto& v : context) out.push_back(v.first);
    return out;
}

}  // namespace plim::fast
