// Checking theories: equations, conditional equations and DEFINITION headers.
#include "frontend/infer_expr.h"
#include "frontend/pprint_expr.h"
#include "frontend/pprint_theory.h"
#include "text/errors.h"

namespace plim {

using namespace infer;

namespace {

bool mentionsConstr(const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Var: return false;
    case ExprKind::Con: return e.constant().kind() == ConstantKind::Constr;
    case ExprKind::Ap: return mentionsConstr(e.fun()) || mentionsConstr(e.arg());
    case ExprKind::Lam: return mentionsConstr(e.pattern()) || mentionsConstr(e.body());
    case ExprKind::Let: {
        for (const DefItem& item : e.defs().defs) {
            const Decl& d = item.decl;
            if (d.isFun() && (mentionsConstr(d.fun().lhs) || mentionsConstr(d.fun().rhs))) return true;
            if (d.kind() == DeclKind::Dec && mentionsConstr(d.dec().name)) return true;
        }
        return mentionsConstr(e.body());
    }
    }
    return false;
}

std::vector<std::string> eqnFreeVars(const Eqn& e) { return unionNames(exprFreeVars(e.lhs), exprFreeVars(e.rhs)); }

// One equation in a pass: both sides, then the unification of their types.
void checkEqnIn(Pass& p, const Eqn& eqn, const CheckEnv& env) {
    const std::uint64_t key = p.nextKey++;
    const Type l = checkExpr(p, eqn.lhs, env);
    const Type r = checkExpr(p, eqn.rhs, env);
    UnifyResult u = p.st().unifyIn({{l, r}});
    p.reportUnify(key, u, [rec = p.rec, eqn] {
        std::size_t slot = 0;
        Expr tl = typedExpr(eqn.lhs, slot, *rec);
        Expr tr = typedExpr(eqn.rhs, slot, *rec);
        return showFunDef(tl, tr);
    });
}

// The typed sides of the equation checked by a pass of its own.
std::pair<Expr, Expr> typedSides(const Eqn& eqn, const PassRecord& rec) {
    std::size_t slot = 0;
    Expr l = typedExpr(eqn.lhs, slot, rec);
    Expr r = typedExpr(eqn.rhs, slot, rec);
    return {std::move(l), std::move(r)};
}

struct CeqOut {
    Messages messages;
    std::vector<std::string> freeVars;
    Ceq plain;
    Rule rule;
    Ceq typed;
};

CeqOut checkCeq(const Ceq& ceq, const Lazy<CheckEnv>& lazyEnv, const ConstructorNames& constructors) {
    const std::vector<Eqn> conds = ceq.conds.toVector();
    std::vector<std::string> condVars;
    bool constr = mentionsConstr(ceq.eqn.lhs) || mentionsConstr(ceq.eqn.rhs);
    for (const Eqn& c : conds) {
        condVars = unionNames(std::move(condVars), eqnFreeVars(c));
        constr = constr || mentionsConstr(c.lhs) || mentionsConstr(c.rhs);
    }
    std::vector<std::string> freeVars = unionNames(condVars, eqnFreeVars(ceq.eqn));
    const CheckEnv env = (!freeVars.empty() || constr) ? lazyEnv.get() : CheckEnv();

    // The rule variables, each with a fresh type variable; every equation starts at "a".
    std::vector<std::string> ruleVars;
    for (const auto& v : freeVars)
        if (!env.binds(v)) ruleVars.push_back(v);
    CheckStatePtr names = CheckState::fresh();
    std::vector<Type> varTypes;
    TypeEnv bound;
    for (const auto& v : ruleVars) {
        varTypes.push_back(mkTid(names->freshName()));
        bound.emplace_back(v, varTypes.back());
    }
    const CheckEnv withVars = env.with(bound);

    // The conditions: each sees the rule variables as bound, not what the others found.
    std::uint64_t used = names->used();
    std::vector<Pass> condPasses;
    TypeSubst condSubst;
    for (const Eqn& c : conds) {
        condPasses.emplace_back(CheckState::startingAfter(used), constructors);
        Pass& p = condPasses.back();
        p.line = ceq.line;
        checkEqnIn(p, c, withVars);
        used = p.st().used();
        condSubst = substTypeOf(p.st().asSubst(), condSubst);
    }

    // The equation, in the environment after the conditions.
    TypeEnv afterConds;
    for (std::size_t i = 0; i < ruleVars.size(); ++i)
        afterConds.emplace_back(ruleVars[i], substType(condSubst, varTypes[i]));
    Pass eqPass(CheckState::startingAfter(used), constructors);
    eqPass.line = ceq.line;
    checkEqnIn(eqPass, ceq.eqn, env.with(afterConds));

    // Each rule variable's type after the conditions against its type after the equation.
    std::vector<TypeEquation> agree;
    for (const auto& [name, t] : afterConds) agree.emplace_back(t, eqPass.st().resolve(t));
    const UnifyResult k = unify(agree, identitySubst());
    const TypeSubst unifier = k.isOk() ? k.unifier() : identitySubst();
    // The final substitution: the conditions', the equation's, then k's.  The equation's own
    // substitution is already applied to its types; without conditions only k remains.
    const TypeSubst finalSubst =
        conds.empty() ? unifier : substTypeOf(unifier, substTypeOf(eqPass.st().asSubst(), condSubst));

    std::vector<std::pair<Expr, Expr>> condRules;
    std::vector<Eqn> typedConds;
    std::vector<Eqn> plainConds;
    for (std::size_t i = 0; i < conds.size(); ++i) {
        if (!finalSubst.isIdentity()) condPasses[i].rec->after = finalSubst;
        auto [l, r] = typedSides(conds[i], *condPasses[i].rec);
        condRules.emplace_back(l, r);
        typedConds.push_back(mkEqn(l, r));
        plainConds.push_back(mkEqn(plainExpr(conds[i].lhs), plainExpr(conds[i].rhs)));
    }
    if (!finalSubst.isIdentity()) eqPass.rec->after = finalSubst;
    Rule rule{ceq.label, std::move(condRules), typedSides(ceq.eqn, *eqPass.rec)};
    Ceq typed = mkCeq(ceq.label, Eqs::fromVector(typedConds), mkEqn(rule.equation.first, rule.equation.second),
                      ceq.line);
    Ceq plain = mkCeq(ceq.label, Eqs::fromVector(plainConds), mkEqn(plainExpr(ceq.eqn.lhs), plainExpr(ceq.eqn.rhs)),
                      ceq.line);

    Messages messages = eqPass.messages();
    for (auto it = condPasses.rbegin(); it != condPasses.rend(); ++it) messages = appendMessages(it->messages(), messages);
    if (!k.isOk())
        messages = Messages::cons(typeerror(k, ceq.line, showEquation(ceq.label, rule.conditions, rule.equation)).front(),
                                  messages);
    return CeqOut{messages, std::move(freeVars), std::move(plain), std::move(rule), std::move(typed)};
}

Messages fatalMessages() {
    return Messages::defer([]() -> Messages { failWith(std::string(defnTheoText)); });
}

}  // namespace

TheoryCheck checkTheory(const Theo& t, const Lazy<CheckEnv>& env, const Lazy<DefnRules>& table) {
    const std::vector<TheoItem> items = t.toVector();
    const ConstructorNames constructors = delay([env] {
        std::vector<std::string> names = env.get().names();
        return std::unordered_set<std::string>(names.begin(), names.end());
    });
    auto outs = std::make_shared<std::vector<std::optional<CeqOut>>>();
    outs->reserve(items.size());
    bool headers = false;
    for (const TheoItem& item : items) {
        if (item.kind() == TheoKind::CeqTheo) {
            outs->push_back(checkCeq(item.ceq(), env, constructors));
        } else {
            outs->push_back(std::nullopt);
            headers = true;
        }
    }

    TheoryCheck tc;
    Theo headed;
    for (std::size_t i = items.size(); i-- > 0;) {
        const std::optional<CeqOut>& o = (*outs)[i];
        if (o) {
            tc.messages = appendMessages(o->messages, tc.messages);
            tc.names = unionNames(o->freeVars, tc.names);
            headed = mkCeqTheo(o->plain, headed);
        } else {
            tc.messages = fatalMessages();
            tc.names.insert(tc.names.begin(), items[i].defnName());
            headed = mkDefnTheo(items[i].defnName(), headed);
        }
    }
    tc.headed = mkTheory(headed);
    tc.expanded = delay([outs, items, table] {
        Theo out;
        for (std::size_t i = items.size(); i-- > 0;) {
            if ((*outs)[i]) {
                out = mkCeqTheo((*outs)[i]->plain, out);
                continue;
            }
            std::optional<CeqList> rules = lookupFM(NameOrd{}, table.get(), items[i].defnName());
            if (!rules) continue;  // reported by the program as undefined
            const std::vector<Ceq>& ceqs = rules->get();
            for (auto it = ceqs.rbegin(); it != ceqs.rend(); ++it) out = mkCeqTheo(*it, out);
        }
        return mkTheory(out);
    });
    tc.undefinedDefinitions = delay([items, table] {
        std::vector<std::string> missing;
        for (const TheoItem& item : items)
            if (item.kind() == TheoKind::DefnTheo && !lookupFM(NameOrd{}, table.get(), item.defnName()))
                missing.push_back(item.defnName());
        return missing;
    });
    tc.rules = delay([outs, headers] {
        if (headers) failWith(std::string(defnTheoText) + " (theor)");
        std::vector<Rule> rules;
        rules.reserve(outs->size());
        for (const auto& o : *outs) rules.push_back(o->rule);
        return rules;
    });
    tc.typed = delay([outs, headers] {
        if (headers) failWith(std::string(defnTheoText) + " (term)");
        Theo out;
        for (auto it = outs->rbegin(); it != outs->rend(); ++it) out = mkCeqTheo((**it).typed, out);
        return mkTheory(out);
    });
    return tc;
}

}  // namespace plim
