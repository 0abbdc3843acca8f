// The checker's passes over expressions and definition lists.
#include "frontend/infer_expr.h"

#include <algorithm>
#include <unordered_set>

#include "frontend/pprint_expr.h"
#include "model/constants.h"
#include "text/errors.h"

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
    static const Lazy<Type> unchecked = Lazy<Type>::defer([]() -> Type { failWith("file not yet typechecked"); });
    return unchecked;
}

std::vector<std::string> exprDefines(const Expr& e) {
    const Expr* at = &e;
    while (at->isAp()) at = &at->fun();
    switch (at->kind()) {
    case ExprKind::Var: return {at->name()};
    case ExprKind::Con: return {};
    case ExprKind::Lam: failWith("cannot define an abstraction");
    case ExprKind::Let: failWith("cannot define a let-expression");
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
    const std::vector<std::string> args = funArguments(d.fun().lhs);
    std::vector<std::string> out;
    for (const auto& n : exprFreeVars(d.fun().rhs))
        if (std::find(args.begin(), args.end(), n) == args.end()) out.push_back(n);
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

std::vector<std::string> exprFreeVars(const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Var: return {e.name()};
    case ExprKind::Con: return {};
    case ExprKind::Ap: return unionNames(exprFreeVars(e.fun()), exprFreeVars(e.arg()));
    case ExprKind::Lam: return minusNames(exprFreeVars(e.body()), exprFreeVars(e.pattern()));
    case ExprKind::Let:
        return minusNames(unionNames(defsFreeVars(e.defs()), exprFreeVars(e.body())), defsDefines(e.defs()));
    }
    return {};
}

std::vector<std::string> exprConstrsUsed(const Expr& e) {
    std::vector<std::string> out;
    auto add = [&out](std::vector<std::string> more) { out.insert(out.end(), more.begin(), more.end()); };
    switch (e.kind()) {
    case ExprKind::Var: break;
    case ExprKind::Con:
        if (e.constant().kind() == ConstantKind::Constr && upperInitial(e.constant().constrName()))
            out.push_back(e.constant().constrName());
        break;
    case ExprKind::Ap:
        out = exprConstrsUsed(e.fun());
        add(exprConstrsUsed(e.arg()));
        break;
    case ExprKind::Lam:
        out = exprConstrsUsed(e.pattern());
        add(exprConstrsUsed(e.body()));
        break;
    case ExprKind::Let:
        for (const DefItem& item : e.defs().defs) add(declConstrsUsed(item.decl));
        add(exprConstrsUsed(e.body()));
        break;
    }
    return out;
}

Expr plainExpr(const Expr& e) {
    const Lazy<Type>& t = uncheckedType();
    switch (e.kind()) {
    case ExprKind::Var: return mkVar(e.name(), t);
    case ExprKind::Con: return mkCon(e.constant(), t);
    case ExprKind::Ap: return mkAp(plainExpr(e.fun()), plainExpr(e.arg()), t);
    case ExprKind::Lam: return mkLam(plainExpr(e.pattern()), plainExpr(e.body()), t);
    case ExprKind::Let: return mkLet(plainDList(e.defs()), plainExpr(e.body()), t);
    }
    return e;
}

Decl plainDecl(const Decl& d) {
    switch (d.kind()) {
    case DeclKind::Fun: return mkFun(plainExpr(d.fun().lhs), plainExpr(d.fun().rhs));
    case DeclKind::Dec: return mkDec(plainExpr(d.dec().name), d.dec().type);
    case DeclKind::Data: return d;
    }
    return d;
}

namespace {

template <class F>
DList mapDList(const DList& d, F f) {
    std::vector<DefItem> items;
    for (const DefItem& item : d.defs) items.push_back(DefItem{f(item.decl), item.line});
    return mkDList(Defs::fromVector(std::move(items)));
}

}  // namespace

DList plainDList(const DList& d) {
    return mapDList(d, [](const Decl& decl) { return plainDecl(decl); });
}

// --- the pass record ---------------------------------------------------------------------------------

Type PassRecord::finalType(std::size_t slot) const {
    Type t = state->resolve(raw[slot]);
    return after ? substType(*after, t) : t;
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

// The instance of a scheme with the next fresh names for its bound names.
Type instantiate(CheckState& st, const Type& s) {
    const std::size_t k = numBoundVars(s);
    if (k == 0) return s;
    std::vector<std::string> names;
    names.reserve(k);
    for (std::size_t i = 0; i < k; ++i) names.push_back(st.freshName());
    return inst(NameList::fromVector(std::move(names)), s);
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
    if (std::optional<Type> t = env.lookup(name)) return p.st().resolve(*t);
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

Type checkExpr(Pass& p, const Expr& e, const CheckEnv& env) {
    const std::size_t slot = p.newSlot();
    const std::uint64_t key = p.nextKey++;
    CheckState& st = p.st();
    Type type = placeholderType();
    switch (e.kind()) {
    case ExprKind::Var: type = instantiate(st, lookedUp(p, key, e.name(), env)); break;
    case ExprKind::Con: type = instantiate(st, constantScheme(p, key, e.constant(), env)); break;
    case ExprKind::Ap: {
        const Type alpha = mkTid(st.freshName());
        const Type f = checkExpr(p, e.fun(), env);
        const Type x = checkExpr(p, e.arg(), env);
        UnifyResult u = st.unifyIn({{mkArrow(x, alpha), f}});
        p.reportUnify(key, u, [rec = p.rec, e, slot] {
            std::size_t at = slot;
            return showExpr(typedExpr(e, at, *rec));
        });
        type = alpha;
        break;
    }
    case ExprKind::Lam: {
        const CheckEnv inner = env.with(freshPairs(st, exprFreeVars(e.pattern())));
        const Type pt = checkExpr(p, e.pattern(), inner);
        const Type bt = checkExpr(p, e.body(), inner);
        type = mkArrow(pt, bt);
        break;
    }
    case ExprKind::Let: {
        DListOut d = checkDListIn(p, e.defs(), env);
        type = checkExpr(p, e.body(), env.with(d.bindings));
        break;
    }
    }
    p.rec->raw[slot] = type;
    return type;
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

void checkDecl(Pass& p, const Decl& d, const CheckEnv& env) {
    switch (d.kind()) {
    case DeclKind::Fun: checkFun(p, d.fun(), env); break;
    case DeclKind::Dec: checkDec(p, d.dec(), env); break;
    case DeclKind::Data: checkData(p, d.data(), env); break;
    }
}

}  // namespace

DListOut checkDListIn(Pass& p, const DList& d, const CheckEnv& env) {
    CheckState& st = p.st();
    DListOut out;
    out.defines = defsDefines(d);
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
    for (const auto& [name, t] : fresh) solved.emplace_back(name, st.resolve(t));
    out.bindings = renameScheme(st.envTypeVars(env), solved);
    return out;
}

// --- typed trees -------------------------------------------------------------------------------------------

Expr typedExpr(const Expr& e, std::size_t& slot, const PassRecord& r) {
    const std::size_t own = slot++;
    switch (e.kind()) {
    case ExprKind::Var: {
        const Type t = r.finalType(own);
        if (r.isConstructor(e.name())) return mkCon(mkConstr(e.name()), t);
        return mkVar(e.name(), t);
    }
    case ExprKind::Con: return mkCon(e.constant(), r.finalType(own));
    case ExprKind::Ap: {
        Expr f = typedExpr(e.fun(), slot, r);
        Expr x = typedExpr(e.arg(), slot, r);
        return mkAp(std::move(f), std::move(x), r.finalType(own));
    }
    case ExprKind::Lam: {
        Expr pt = typedExpr(e.pattern(), slot, r);
        Expr bt = typedExpr(e.body(), slot, r);
        return mkLam(std::move(pt), std::move(bt), r.finalType(own));
    }
    case ExprKind::Let: {
        DList dt = typedDList(e.defs(), slot, r);
        Expr bt = typedExpr(e.body(), slot, r);
        return mkLet(std::move(dt), std::move(bt), r.finalType(own));
    }
    }
    return e;
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

std::size_t slotCount(const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Var:
    case ExprKind::Con: return 1;
    case ExprKind::Ap: return 1 + slotCount(e.fun()) + slotCount(e.arg());
    case ExprKind::Lam: return 1 + slotCount(e.pattern()) + slotCount(e.body());
    case ExprKind::Let: {
        std::size_t n = 1 + slotCount(e.body());
        for (const DefItem& item : e.defs().defs) {
            const Decl& decl = item.decl;
            if (decl.kind() == DeclKind::Fun) n += slotCount(decl.fun().lhs) + slotCount(decl.fun().rhs);
            if (decl.kind() == DeclKind::Dec) n += slotCount(decl.dec().name);
        }
        return n;
    }
    }
    return 0;
}

}  // namespace plim::infer
