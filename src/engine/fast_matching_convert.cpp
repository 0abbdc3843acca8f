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

// An application spine: the head and its arguments, first argument first.  A saturated
// tuple at the head takes exactly its arity of arguments; the rest are applied to it.
Term convertSpine(Scope& scope, const Expr& e) {
    std::vector<Expr> spine;  // the application nodes, outermost first
    Expr head = e;
    while (head.isAp()) {
        spine.push_back(head);
        head = head.fun();
    }
    const std::size_t n = spine.size();
    std::size_t used = 0;  // arguments taken by the head
    Term at = [&] {
        if (head.isCon() && head.constant().kind() == ConstantKind::Tuple) {
            const auto k = static_cast<std::size_t>(head.constant().arity());
            if (k >= 1 && k <= n) {
                std::vector<Term> es;
                es.reserve(k);
                for (std::size_t i = 0; i < k; ++i) es.push_back(convertIn(scope, spine[n - 1 - i].arg()));
                used = k;
                return Tupl(std::move(es), spine[n - k].type());
            }
        }
        return convertIn(scope, head);
    }();
    for (std::size_t i = used; i < n; ++i) {
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
        auto [binder, names] = binders(convertPrime({}, e.pattern()));
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
