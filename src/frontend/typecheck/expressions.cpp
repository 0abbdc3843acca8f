// The checker's passes over expressions and definition lists.
#include "frontend/typecheck/expressions.h"

#include <algorithm>
#include <deque>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "frontend/printer/expressions.h"
#include "lang/constants.h"
#include "lang/type_rebuild.h"
#include "support/errors.h"

namespace plim::infer {

// --- name lists ----------------------------------------------------------------------------------

std::vector<std::string> unionNames(std::vector<std::string> a, const std::vector<std::string>& b) {
    if (b.empty()) return a;
    if (a.empty()) return b;
    std::unordered_set<std::string> seen(a.begin(), a.end());
    for (const auto& n : b)
        if (seen.insert(n).second) a.push_back(n);
    return a;
}

void NameUnion::add(const std::vector<std::string>& names) {
    for (const auto& n : names)
        if (seen_.insert(n).second) names_.push_back(n);
}

std::vector<std::string> minusNames(std::vector<std::string> a, const std::vector<std::string>& b) {
    for (const auto& n : b) {
        auto it = std::find(a.begin(), a.end(), n);
        if (it != a.end()) a.erase(it);
    }
    return a;
}

// --- the syntactic pass ----------------------------------------------------------------------------

const Lazy<Type>& uncheckedType() {
    static const Lazy<Type> unchecked = Lazy<Type>::defer([]() -> Type { failInternal("file not yet typechecked"); });
    return unchecked;
}

std::vector<std::string> exprDefines(const Expr& e) {
    const Expr* at = &e;
    while (at->isAp()) at = &at->fun();
    switch (at->kind()) {
    case ExprKind::Var: return {at->name()};
    case ExprKind::Con: return {};
    case ExprKind::Lam: failUser("cannot define an abstraction");
    case ExprKind::Let: failUser("cannot define a let-expression");
    case ExprKind::Ap: break;
    }
    return {};
}

std::vector<std::string> defsDefines(const DList& d) {
    NameUnion out;
    for (const DefItem& item : d.defs) out.add(declDefines(item.decl));
    return out.take();
}

std::vector<std::string> defsFreeVars(const DList& d) {
    NameUnion out;
    for (const DefItem& item : d.defs) out.add(declFreeVars(item.decl));
    return out.take();
}

namespace {

std::vector<std::string> funDefines(const Expr& lhs) {
    std::vector<std::string> defs = exprDefines(lhs);
    return defs.empty() ? exprFreeVars(lhs) : defs;
}

// The argument variables of a left side: none when it defines nothing by itself.
std::vector<std::string> funArguments(const Expr& lhs) {
    std::vector<std::string> defs = exprDefines(lhs);
    if (defs.empty()) return {};
    std::vector<std::string> out;
    for (const auto& n : exprFreeVars(lhs))
        if (std::find(defs.begin(), defs.end(), n) == defs.end()) out.push_back(n);
    return out;
}

}  // namespace

std::vector<std::string> declDefines(const Decl& d) {
    switch (d.kind()) {
    case DeclKind::Fun: return funDefines(d.fun().lhs);
    case DeclKind::Dec: return exprFreeVars(d.dec().name);
    case DeclKind::Data: {
        NameUnion out;
        for (const Alt& a : d.data().alts) out.add({a.name});
        return out.take();
    }
    }
    return {};
}

std::vector<std::string> declFreeVars(const Decl& d) {
    if (!d.isFun()) return {};
    const std::vector<std::string> argList = funArguments(d.fun().lhs);
    const std::unordered_set<std::string> args(argList.begin(), argList.end());
    std::vector<std::string> out;
    for (auto& n : exprFreeVars(d.fun().rhs))
        if (!args.count(n)) out.push_back(std::move(n));
    return out;
}

std::vector<std::string> declConstrsUsed(const Decl& d) {
    if (!d.isFun()) return {};
    std::vector<std::string> out = exprConstrsUsed(d.fun().lhs);
    std::vector<std::string> r = exprConstrsUsed(d.fun().rhs);
    out.insert(out.end(), r.begin(), r.end());
    return out;
}

namespace {

bool upperInitial(const std::string& name) {
    if (name.empty()) return false;
    const unsigned c = static_cast<unsigned char>(name[0]);
    return (c >= 65 && c <= 90) || (c >= 192 && c <= 214) || (c >= 216 && c <= 222);
}

}  // namespace

namespace {

struct NoCtx {};
const NoCtx noCtx{};
NoCtx noEnter(const Expr&, const NoCtx&) { return {}; }
const NoCtx& sameCtx(const NoCtx&) { return noCtx; }

}  // namespace

namespace {

std::vector<const Decl*> declsOf(const DList& d) {
    std::vector<const Decl*> out;
    for (const DefItem& item : d.defs) out.push_back(&item.decl);
    return out;
}

// Raises the error of the first left side of a local definition that defines nothing it can
// (exprDefines), in the order in which the free names of e were always worked out: children
// from left to right, a let's body first, then the names each definition defines, then each
// definition's arguments and right side.
void checkLocalLeftSides(const Expr& e) {
    enum class Step { Walk, Defines, Arguments };
    struct Task {
        Step step;
        const Expr* expr;
        const Decl* decl;
    };
    std::vector<Task> todo{{Step::Walk, &e, nullptr}};
    while (!todo.empty()) {
        const Task t = todo.back();
        todo.pop_back();
        if (t.step == Step::Defines) {
            if (t.decl->isFun() && exprDefines(t.decl->fun().lhs).empty()) todo.push_back({Step::Walk, &t.decl->fun().lhs, nullptr});
            if (t.decl->kind() == DeclKind::Dec) todo.push_back({Step::Walk, &t.decl->dec().name, nullptr});
            continue;
        }
        if (t.step == Step::Arguments) {
            if (!exprDefines(t.decl->fun().lhs).empty()) todo.push_back({Step::Walk, &t.decl->fun().lhs, nullptr});
            continue;
        }
        const Expr& x = *t.expr;
        if (x.isAp() || x.isLam()) {
            todo.push_back({Step::Walk, x.isAp() ? &x.arg() : &x.body(), nullptr});
            todo.push_back({Step::Walk, x.isAp() ? &x.fun() : &x.pattern(), nullptr});
        } else if (x.isLet()) {
            const std::vector<const Decl*> decls = declsOf(x.defs());
            for (auto d = decls.rbegin(); d != decls.rend(); ++d) {
                if (!(*d)->isFun()) continue;
                todo.push_back({Step::Walk, &(*d)->fun().rhs, nullptr});
                todo.push_back({Step::Arguments, nullptr, *d});
            }
            for (auto d = decls.rbegin(); d != decls.rend(); ++d) todo.push_back({Step::Defines, nullptr, *d});
            todo.push_back({Step::Walk, &x.body(), nullptr});
        }
    }
}

// The free names of an expression whose local left sides pass checkLocalLeftSides, in one
// walk: each binder's names are bound around its scope (a lambda's pattern names around its
// body; a let's defined names around its definitions and body, each definition's arguments
// around its right side), and a variable is free where no binder around it binds its name.
// A name is kept at its first free occurrence, children taken from left to right and a let's
// definitions before its body.
class FreeNameWalk {
public:
    std::vector<std::string> run(const Expr& e) {
        todo_.push_back(Task{&e, {}, false});
        while (!todo_.empty()) {
            Task t = std::move(todo_.back());
            todo_.pop_back();
            if (t.expr) visit(*t.expr);
            else if (t.bind) bind(t.names);
            else unbind(t.names);
        }
        return out_.take();
    }

private:
    // An expression to visit, else names to bind or unbind.
    struct Task {
        const Expr* expr;
        std::vector<std::string> names;
        bool bind;
    };

    void visit(const Expr& x) {
        switch (x.kind()) {
        case ExprKind::Var:
            if (!bound_.count(x.name())) out_.add({x.name()});
            break;
        case ExprKind::Con: break;
        case ExprKind::Ap:
            todo_.push_back(Task{&x.arg(), {}, false});
            todo_.push_back(Task{&x.fun(), {}, false});
            break;
        case ExprKind::Lam: scoped(FreeNameWalk().run(x.pattern()), &x.body()); break;
        case ExprKind::Let: visitLet(x); break;
        }
    }
    // The definitions, each with its arguments bound, then the body, all with the defined
    // names bound.
    void visitLet(const Expr& x) {
        std::vector<std::string> defined = defsDefines(x.defs());
        todo_.push_back(Task{nullptr, defined, false});
        todo_.push_back(Task{&x.body(), {}, false});
        const std::vector<const Decl*> decls = declsOf(x.defs());
        for (auto d = decls.rbegin(); d != decls.rend(); ++d)
            if ((*d)->isFun()) scoped(funArguments((*d)->fun().lhs), &(*d)->fun().rhs);
        todo_.push_back(Task{nullptr, std::move(defined), true});
    }
    // Plans the visit of `body` with `names` bound.
    void scoped(std::vector<std::string> names, const Expr* body) {
        todo_.push_back(Task{nullptr, names, false});
        todo_.push_back(Task{body, {}, false});
        todo_.push_back(Task{nullptr, std::move(names), true});
    }
    void bind(const std::vector<std::string>& names) {
        for (const std::string& n : names) ++bound_[n];
    }
    void unbind(const std::vector<std::string>& names) {
        for (const std::string& n : names)
            if (--bound_[n] == 0) bound_.erase(n);
    }

    std::vector<Task> todo_;
    std::unordered_map<std::string, std::size_t> bound_;  // the names bound around the visit
    NameUnion out_;
};

}  // namespace

std::vector<std::string> exprFreeVars(const Expr& e) {
    checkLocalLeftSides(e);
    return FreeNameWalk().run(e);
}

std::vector<std::string> exprConstrsUsed(const Expr& e) {
    std::vector<std::string> out;
    std::vector<const Expr*> todo{&e};
    while (!todo.empty()) {
        const Expr& x = *todo.back();
        todo.pop_back();
        switch (x.kind()) {
        case ExprKind::Var: break;
        case ExprKind::Con:
            if (x.constant().kind() == ConstantKind::Constr && upperInitial(x.constant().constrName()))
                out.push_back(x.constant().constrName());
            break;
        case ExprKind::Ap:
            todo.push_back(&x.arg());
            todo.push_back(&x.fun());
            break;
        case ExprKind::Lam:
            todo.push_back(&x.body());
            todo.push_back(&x.pattern());
            break;
        case ExprKind::Let: {
            // The definitions' left and right sides, then the body.
            todo.push_back(&x.body());
            const std::vector<const Decl*> decls = declsOf(x.defs());
            for (auto d = decls.rbegin(); d != decls.rend(); ++d) {
                if (!(*d)->isFun()) continue;
                todo.push_back(&(*d)->fun().rhs);
                todo.push_back(&(*d)->fun().lhs);
            }
            break;
        }
        }
    }
    return out;
}

// A plain tree met again (a definition checked once more) is kept as it is: a node is rebuilt
// only when it is not plain itself or a child of it was rebuilt.
Expr plainExpr(const Expr& e) {
    const Lazy<Type>& unchecked = uncheckedType();
    return walkExpr<Expr>(
        e, noCtx, noEnter, sameCtx,
        [&unchecked](const Expr& x, NoCtx) {
            if (x.holdsLazyType(unchecked)) return x;
            return x.isVar() ? mkVar(x.name(), unchecked) : mkCon(x.constant(), unchecked);
        },
        [&unchecked](const Expr& x, NoCtx, Expr a, Expr b) {
            const bool ap = x.isAp();
            if (x.holdsLazyType(unchecked) && a.sameNode(ap ? x.fun() : x.pattern()) && b.sameNode(ap ? x.arg() : x.body()))
                return x;
            return ap ? mkAp(std::move(a), std::move(b), unchecked) : mkLam(std::move(a), std::move(b), unchecked);
        },
        [&unchecked](const Expr& x, NoCtx, Expr body) {
            std::optional<DList> defs = plainDListIfChanged(x.defs());
            if (!defs && x.holdsLazyType(unchecked) && body.sameNode(x.body())) return x;
            return mkLet(defs ? std::move(*defs) : x.defs(), std::move(body), unchecked);
        });
}

namespace {

// The plain form of a declaration, or nothing when it is plain already.
std::optional<Decl> plainDeclIfChanged(const Decl& d) {
    switch (d.kind()) {
    case DeclKind::Fun: {
        Expr l = plainExpr(d.fun().lhs);
        Expr r = plainExpr(d.fun().rhs);
        if (l.sameNode(d.fun().lhs) && r.sameNode(d.fun().rhs)) return std::nullopt;
        return mkFun(std::move(l), std::move(r));
    }
    case DeclKind::Dec: {
        Expr n = plainExpr(d.dec().name);
        if (n.sameNode(d.dec().name)) return std::nullopt;
        return mkDec(std::move(n), d.dec().type);
    }
    case DeclKind::Data: return std::nullopt;
    }
    return std::nullopt;
}

template <class F>
DList mapDList(const DList& d, F f) {
    std::vector<DefItem> items;
    for (const DefItem& item : d.defs) items.push_back(DefItem{f(item.decl), item.line});
    return mkDList(Defs::fromVector(std::move(items)));
}

}  // namespace

std::optional<DList> plainDListIfChanged(const DList& d) {
    std::vector<std::optional<Decl>> changed;
    bool any = false;
    for (const DefItem& item : d.defs) {
        changed.push_back(plainDeclIfChanged(item.decl));
        any = any || changed.back().has_value();
    }
    if (!any) return std::nullopt;
    std::vector<DefItem> items;
    items.reserve(changed.size());
    std::size_t i = 0;
    for (const DefItem& item : d.defs) {
        std::optional<Decl>& c = changed[i++];
        items.push_back(DefItem{c ? std::move(*c) : item.decl, item.line});
    }
    return mkDList(Defs::fromVector(std::move(items)));
}

Decl plainDecl(const Decl& d) {
    std::optional<Decl> p = plainDeclIfChanged(d);
    return p ? std::move(*p) : d;
}

DList plainDList(const DList& d) {
    std::optional<DList> p = plainDListIfChanged(d);
    return p ? std::move(*p) : d;
}

// --- the pass record ---------------------------------------------------------------------------------

Type PassRecord::finalType(std::size_t slot) const {
    Type t = state->resolveFinal(raw[slot]);
    return after ? (*after)(t) : t;
}

bool PassRecord::isConstructor(const std::string& name) const { return constructors.get().count(name) > 0; }

Pass::Pass(CheckStatePtr state, ConstructorNames constructors) : rec(std::make_shared<PassRecord>()) {
    rec->state = std::move(state);
    rec->constructors = std::move(constructors);
}

std::size_t Pass::newSlot() {
    rec->raw.push_back(placeholderType());
    return rec->raw.size() - 1;
}

namespace {

Messages messagesFrom(std::shared_ptr<const std::vector<PendingReport>> reports, std::size_t i) {
    if (i == reports->size()) return Messages();
    return Messages::defer([reports, i] {
        return Messages::cons((*reports)[i].text(), messagesFrom(reports, i + 1));
    });
}

}  // namespace

Messages Pass::messages() const {
    if (reports.empty()) return Messages();
    auto sorted = std::make_shared<std::vector<PendingReport>>(reports);
    std::stable_sort(sorted->begin(), sorted->end(),
                     [](const PendingReport& a, const PendingReport& b) { return a.key < b.key; });
    return messagesFrom(std::move(sorted), 0);
}

void Pass::reportUnify(std::uint64_t key, const UnifyResult& u, std::function<std::string()> detail) {
    if (u.isOk()) return;
    const std::int32_t at = line;
    reports.push_back(PendingReport{key, [u, at, detail = std::move(detail)] {
                                        return typeerror(u, at, detail()).front();
                                    }});
}

// --- the type pass -------------------------------------------------------------------------------------

namespace {

// Replaces a scheme's bound variables, giving the instance one node for equal constructor
// terms (a -> [a] -> [a] has one [b] in its instance): a term rebuilt from the same parts as one
// rebuilt before is that one.  The first few terms rebuilt are looked at.
template <class Replace>
struct ReplaceVarsShared : ReplaceVars<Replace> {
    static constexpr std::size_t kLooked = 16;
    std::vector<Type> built;

    void rebuilt(const Type&, Type& result) {
        for (const Type& b : built)
            if (sameConParts(b, result)) {
                result = b;
                return;
            }
        if (built.size() < kLooked) built.push_back(result);
    }
};

// The instance of a scheme with the next fresh names for its bound names (as `inst` with a
// supply of those names: the first of two equal bound names decides, variables bound by inner
// schemes are left alone).
Type instantiate(CheckState& st, const Type& s) {
    const std::size_t k = numBoundVars(s);
    if (k == 0) return s;
    std::vector<std::pair<const std::string*, Type>> fresh;
    fresh.reserve(k);
    for (const std::string& v : s.boundVars()) fresh.emplace_back(&v, mkTid(st.freshName()));
    std::unordered_map<std::string_view, const Type*> byName;
    if (k > 8)
        for (const auto& [v, t] : fresh) byName.emplace(*v, &t);
    const auto replace = [&fresh, &byName, k](const Type& tid) -> Type {
        if (k > 8) {
            auto it = byName.find(tid.name());
            return it == byName.end() ? tid : *it->second;
        }
        for (const auto& [v, t] : fresh)
            if (*v == tid.name()) return t;
        return tid;
    };
    if (s.body().isGround()) return s.body();
    ReplaceVarsShared<decltype(replace)> policy{{replace}, {}};
    return rebuildType(s.body(), policy);
}

TypeEnv freshPairs(CheckState& st, const std::vector<std::string>& names) {
    TypeEnv out;
    out.reserve(names.size());
    for (const auto& n : names) out.emplace_back(n, mkTid(st.freshName()));
    return out;
}

void reportUndefined(Pass& p, std::uint64_t key, const std::string& name) {
    std::string text = errorapp(TypeLookup::NotFound(name), p.line);
    p.reports.push_back(PendingReport{key, [text] { return text; }});
}

// The scheme of a name or constant, with a report when there is none.
Type lookedUp(Pass& p, std::uint64_t key, const std::string& name, const CheckEnv& env) {
    // A scheme is instantiated with the substitution applied to it; any other type may stay as
    // it was bound, as unification and the typed tree look through the bindings themselves.
    if (std::optional<Type> t = env.lookup(name)) return t->isTAbs() ? p.st().resolve(*t) : *t;
    reportUndefined(p, key, name);
    return placeholderType();
}

Type constantScheme(Pass& p, std::uint64_t key, const Constant& c, const CheckEnv& env) {
    if (c.kind() == ConstantKind::Constr) return lookedUp(p, key, c.constrName(), env);
    TypeLookup l = constantType({}, c);
    if (l.found()) return l.type();
    reportUndefined(p, key, l.name());
    return placeholderType();
}

}  // namespace

namespace {

// A node's slot and report key, the environment of its children (the node's own for a leaf)
// and, for an application, the place in the supply of the name of its result variable.
struct CheckPre {
    std::size_t slot;
    std::uint64_t key;
    const CheckEnv* env;
    std::uint64_t result = 0;
};

bool isArrowTerm(const Type& t) { return t.isTCon() && t.args().size() == 2 && t.name() == arrowName; }

}  // namespace

Type checkExpr(Pass& p, const Expr& e, const CheckEnv& env) {
    CheckState& st = p.st();
    // The environments of the lambdas and lets being checked, innermost last (a deque keeps
    // their places as it grows).
    std::deque<CheckEnv> scopes;
    auto enter = [&p, &st, &scopes](const Expr& x, const CheckEnv* outer) {
        CheckPre pre{p.newSlot(), p.nextKey++, outer};
        switch (x.kind()) {
        case ExprKind::Ap: pre.result = st.reserveName(); break;
        case ExprKind::Lam:
            pre.env = &scopes.emplace_back(outer->with(freshPairs(st, exprFreeVars(x.pattern()))));
            break;
        case ExprKind::Let: pre.env = &scopes.emplace_back(outer->with(checkDListIn(p, x.defs(), *outer).bindings)); break;
        case ExprKind::Var:
        case ExprKind::Con: break;
        }
        return pre;
    };
    auto leaf = [&p, &st](const Expr& x, const CheckPre& pre) {
        const Type scheme = x.isVar() ? lookedUp(p, pre.key, x.name(), *pre.env)
                                      : constantScheme(p, pre.key, x.constant(), *pre.env);
        return p.rec->raw[pre.slot] = instantiate(st, scheme);
    };
    auto binary = [&p, &st, &scopes](const Expr& x, const CheckPre& pre, Type a, Type b) {
        if (x.isLam()) {
            scopes.pop_back();
            return p.rec->raw[pre.slot] = mkArrow(std::move(a), std::move(b));
        }
        // The function's type against the argument's to a fresh result variable, which comes
        // out bound to the function's result type when the function's type is a function type:
        // that type is then the result without the variable.
        const Type fun = st.headOf(a);
        const bool arrow = isArrowTerm(fun);
        UnifyResult u = arrow ? st.unifyIn({{std::move(b), fun.args()[0]}}) : UnifyResult::ok(identitySubst());
        if (arrow && u.isOk()) return p.rec->raw[pre.slot] = fun.args()[1];
        const Type alpha = p.rec->raw[pre.slot] = mkTid(nthName(pre.result));
        if (!arrow) u = st.unifyIn({{mkArrow(std::move(b), alpha), std::move(a)}});
        p.reportUnify(pre.key, u, [rec = p.rec, x, slot = pre.slot] {
            std::size_t at = slot;
            return showExpr(typedExpr(x, at, *rec));
        });
        return alpha;
    };
    auto let = [&p, &scopes](const Expr&, const CheckPre& pre, Type body) {
        scopes.pop_back();
        return p.rec->raw[pre.slot] = std::move(body);
    };
    return walkExpr<Type>(e, &env, enter, [](const CheckPre& pre) { return pre.env; }, leaf, binary, let);
}

namespace {

void checkFun(Pass& p, const FunDecl& fun, const CheckEnv& env) {
    const std::uint64_t key = p.nextKey++;
    CheckState& st = p.st();
    const CheckEnv inner = env.with(freshPairs(st, funArguments(fun.lhs)));
    const std::size_t lhsSlot = p.rec->raw.size();
    const Type l = checkExpr(p, fun.lhs, inner);
    const std::size_t rhsSlot = p.rec->raw.size();
    const Type r = checkExpr(p, fun.rhs, inner);
    UnifyResult u = st.unifyIn({{l, r}});
    p.reportUnify(key, u, [rec = p.rec, fun, lhsSlot, rhsSlot] {
        std::size_t a = lhsSlot;
        std::size_t b = rhsSlot;
        Expr tl = typedExpr(fun.lhs, a, *rec);
        Expr tr = typedExpr(fun.rhs, b, *rec);
        return showDecl(mkFun(tl, tr));
    });
}

void checkDec(Pass& p, const DecDecl& dec, const CheckEnv& env) {
    p.nextKey++;
    CheckState& st = p.st();
    const Type instance = instantiate(st, dec.type);
    const Type named = checkExpr(p, dec.name, env);
    st.unifyIn({{named, instance}});  // a contradicting signature adds no report
}

void checkData(Pass& p, const DataDecl& data, const CheckEnv& env) {
    p.nextKey++;
    CheckState& st = p.st();
    for (const Alt& alt : data.alts) {
        std::vector<Type> parts = alt.args;
        parts.push_back(data.type);
        const Type declared = generalise(arrowTypes(parts));
        std::optional<Type> known = env.lookup(alt.name);
        st.unifyIn({{known ? *known : placeholderType(), declared}});  // failures are silent
    }
}

// Whether a type name is that of a built-in type: "Int", "Float", "Bool", "Arrow", "List", or
// any name that begins with "Tuple" (the printer and the matchers read every such name as a
// tuple type).
bool isBuiltinTypeName(std::string_view name) {
    return name == "Int" || name == "Float" || name == "Bool" || name == arrowName || name == listName ||
           name.starts_with(tupleName);
}

// The name of the built-in type that a data declaration would take over, if it would.
std::optional<std::string> takenBuiltinType(const Decl& d) {
    if (d.kind() != DeclKind::Data || !d.data().type.isTCon()) return std::nullopt;
    const std::string& name = d.data().type.name();
    if (!isBuiltinTypeName(name)) return std::nullopt;
    return name;
}

// The names a definition list defines, less the constructors of the data declarations it
// leaves out.
std::vector<std::string> checkedDefines(const DList& d) {
    NameUnion out;
    for (const DefItem& item : d.defs)
        if (!takenBuiltinType(item.decl)) out.add(declDefines(item.decl));
    return out.take();
}

// A data declaration of a built-in type is reported and defines nothing: its constructors are
// undefined wherever they are used.
void refuseData(Pass& p, const Decl& d, const std::string& typeName) {
    const std::uint64_t key = p.nextKey++;
    const std::int32_t at = p.line;
    p.reports.push_back(PendingReport{key, [d, at, typeName] { return builtinTypeError(at, showDecl(d), typeName); }});
}

void checkDecl(Pass& p, const Decl& d, const CheckEnv& env) {
    if (const std::optional<std::string> taken = takenBuiltinType(d)) return refuseData(p, d, *taken);
    switch (d.kind()) {
    case DeclKind::Fun: checkFun(p, d.fun(), env); break;
    case DeclKind::Dec: checkDec(p, d.dec(), env); break;
    case DeclKind::Data: checkData(p, d.data(), env); break;
    }
}

// Each type generalised over its variables that are not free in the environment entered last,
// the bound names being the first names of the fresh-name sequence not free there, as
// renameScheme does with the environment's variables as the names in use.
TypeEnv generaliseOutsideEnv(const CheckState& st, TypeEnv solved) {
    std::vector<std::string> names;  // the first names not free in the environment, as far as needed
    std::uint64_t next = 0;
    for (auto& [name, t] : solved) {
        std::vector<std::string> vars;
        for (std::string& v : typeVarsOf(t))
            if (!st.freeInEnv(v)) vars.push_back(std::move(v));
        if (vars.empty()) continue;
        for (; names.size() < vars.size(); ++next) names.push_back(nthName(next = st.nextNameNotInEnv(next)));
        std::vector<std::string> bound(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(vars.size()));
        const TypeSubst rename = substFromList(freshBindings(NameList::fromVector(bound), vars));
        t = mkTAbs(std::move(bound), substType(rename, t));
    }
    return solved;
}

}  // namespace

DListOut checkDListIn(Pass& p, const DList& d, const CheckEnv& env) {
    CheckState& st = p.st();
    DListOut out;
    out.defines = checkedDefines(d);
    const TypeEnv fresh = freshPairs(st, out.defines);
    const CheckEnv inner = env.with(fresh);
    const std::int32_t contextLine = p.line;
    for (const DefItem& item : d.defs) {
        if (item.line > 0) p.line = item.line;
        p.nextKey++;  // the list cell itself
        checkDecl(p, item.decl, inner);
    }
    p.line = contextLine;
    TypeEnv solved;
    solved.reserve(fresh.size());
    bool anyVariable = false;
    for (const auto& [name, t] : fresh) {
        solved.emplace_back(name, st.resolve(t));
        anyVariable = anyVariable || !solved.back().second.isGround();
    }
    // Types without variables generalise to themselves: the environment's variables are
    // needed only otherwise.
    if (anyVariable) {
        st.enterEnv(env);
        solved = generaliseOutsideEnv(st, std::move(solved));
    }
    out.bindings = std::move(solved);
    return out;
}

// --- typed trees -------------------------------------------------------------------------------------------

namespace {

// A node's own slot, and the typed definitions of a let (whose slots follow the let's own).
struct TypedPre {
    std::size_t own;
    std::optional<DList> defs;
};

}  // namespace

Expr typedExpr(const Expr& e, std::size_t& slot, const PassRecord& r) {
    return walkExpr<Expr>(
        e, noCtx,
        [&slot, &r](const Expr& x, NoCtx) {
            TypedPre pre{slot++, std::nullopt};
            if (x.isLet()) pre.defs = typedDList(x.defs(), slot, r);
            return pre;
        },
        [](const TypedPre&) { return noCtx; },
        [&r](const Expr& x, const TypedPre& pre) {
            const Type t = r.finalType(pre.own);
            if (x.isCon()) return mkCon(x.constant(), t);
            if (r.isConstructor(x.name())) return mkCon(mkConstr(x.name()), t);
            return mkVar(x.name(), t);
        },
        [&r](const Expr& x, const TypedPre& pre, Expr a, Expr b) {
            const Type t = r.finalType(pre.own);
            return x.isAp() ? mkAp(std::move(a), std::move(b), t) : mkLam(std::move(a), std::move(b), t);
        },
        [&r](const Expr&, const TypedPre& pre, Expr body) { return mkLet(*pre.defs, std::move(body), r.finalType(pre.own)); });
}

Decl typedDecl(const Decl& d, std::size_t& slot, const PassRecord& r) {
    switch (d.kind()) {
    case DeclKind::Fun: {
        Expr l = typedExpr(d.fun().lhs, slot, r);
        Expr rt = typedExpr(d.fun().rhs, slot, r);
        return mkFun(std::move(l), std::move(rt));
    }
    case DeclKind::Dec: return mkDec(typedExpr(d.dec().name, slot, r), d.dec().type);
    case DeclKind::Data: return d;
    }
    return d;
}

DList typedDList(const DList& d, std::size_t& slot, const PassRecord& r) {
    return mapDList(d, [&slot, &r](const Decl& decl) { return typedDecl(decl, slot, r); });
}

}  // namespace plim::infer
