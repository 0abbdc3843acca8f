// Checking theories: equations, conditional equations and DEFINITION headers.
#include "frontend/typecheck/expressions.h"
#include "frontend/printer/expressions.h"
#include "frontend/printer/theories.h"
#include "support/errors.h"

namespace plim {

using namespace infer;

namespace {

struct NoCtx {};

bool mentionsConstr(const Expr& e) {
    auto inDecl = [](const Decl& d) {
        if (d.isFun()) return mentionsConstr(d.fun().lhs) || mentionsConstr(d.fun().rhs);
        return d.kind() == DeclKind::Dec && mentionsConstr(d.dec().name);
    };
    return walkExpr<bool>(
        e, NoCtx{}, [](const Expr&, NoCtx) { return NoCtx{}; }, [](NoCtx) { return NoCtx{}; },
        [](const Expr& x, NoCtx) { return x.isCon() && x.constant().kind() == ConstantKind::Constr; },
        [](const Expr&, NoCtx, bool a, bool b) { return a || b; },
        [inDecl](const Expr& x, NoCtx, bool body) {
            bool found = body;
            for (const DefItem& item : x.defs().defs) found = found || inDecl(item.decl);
            return found;
        });
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

// What checking a conditional equation gives: its reports, its rule and its typed form.
struct CeqChecked {
    Messages messages;
    Rule rule;
    Ceq typed;
};

// A conditional equation: its names and plain form (no types needed), and its check, made
// when first read.
struct CeqOut {
    std::vector<std::string> freeVars;
    Lazy<Ceq> plain;  // a copy of the equation: made only where it is read
    Lazy<CeqChecked> checked;
};

std::vector<std::string> ceqFreeVars(const Ceq& ceq) {
    NameUnion names;
    for (const Eqn& c : ceq.conds) names.add(eqnFreeVars(c));
    names.add(eqnFreeVars(ceq.eqn));
    return names.take();
}

Ceq plainCeq(const Ceq& ceq) {
    std::vector<Eqn> conds;
    for (const Eqn& c : ceq.conds) conds.push_back(mkEqn(plainExpr(c.lhs), plainExpr(c.rhs)));
    return mkCeq(ceq.label, Eqs::fromVector(std::move(conds)), mkEqn(plainExpr(ceq.eqn.lhs), plainExpr(ceq.eqn.rhs)),
                 ceq.line);
}

CeqChecked checkCeq(const Ceq& ceq, const Lazy<CheckEnv>& lazyEnv, const ConstructorNames& constructors) {
    const std::vector<Eqn> conds = ceq.conds.toVector();
    bool constr = mentionsConstr(ceq.eqn.lhs) || mentionsConstr(ceq.eqn.rhs);
    for (const Eqn& c : conds) constr = constr || mentionsConstr(c.lhs) || mentionsConstr(c.rhs);
    const std::vector<std::string> freeVars = ceqFreeVars(ceq);
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
    for (std::size_t i = 0; i < conds.size(); ++i) {
        if (!finalSubst.isIdentity()) condPasses[i].rec->after = std::make_unique<SharedSubst>(finalSubst);
        auto [l, r] = typedSides(conds[i], *condPasses[i].rec);
        condRules.emplace_back(l, r);
        typedConds.push_back(mkEqn(l, r));
    }
    if (!finalSubst.isIdentity()) eqPass.rec->after = std::make_unique<SharedSubst>(finalSubst);
    Rule rule{ceq.label, std::move(condRules), typedSides(ceq.eqn, *eqPass.rec)};
    Ceq typed = mkCeq(ceq.label, Eqs::fromVector(typedConds), mkEqn(rule.equation.first, rule.equation.second),
                      ceq.line);

    Messages messages = eqPass.messages();
    for (auto it = condPasses.rbegin(); it != condPasses.rend(); ++it) messages = appendMessages(it->messages(), messages);
    if (!k.isOk())
        messages = Messages::cons(typeerror(k, ceq.line, showEquation(ceq.label, rule.conditions, rule.equation)).front(),
                                  messages);
    return CeqChecked{messages, std::move(rule), std::move(typed)};
}

// The theory's names, built from its last element to its first: an equation's names go in
// front by unionNames (its names, then the others not among them, each once), a DEFINITION
// name goes in front as it is.  Entries that a later union drops are marked, not erased, so
// each step costs what it adds.
class NamesFromBack {
public:
    void prepend(const std::string& name) {
        std::vector<std::size_t>& at = add(name);
        if (at.size() == 2) repeated_.push_back(name);
    }
    // unionNames(names, the list so far); `names` holds no name twice.
    void unite(const std::vector<std::string>& names) {
        if (names.empty() || live_ == 0) {
            for (auto it = names.rbegin(); it != names.rend(); ++it) add(*it);
            return;
        }
        for (const auto& n : repeated_) keepNewest(n);
        repeated_.clear();
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            add(*it);
            keepNewest(*it);
        }
    }
    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.reserve(live_);
        for (std::size_t i = reversed_.size(); i-- > 0;)
            if (liveFlags_[i]) out.push_back(std::move(reversed_[i]));
        return out;
    }

private:
    std::vector<std::size_t>& add(const std::string& name) {
        reversed_.push_back(name);
        liveFlags_.push_back(true);
        ++live_;
        std::vector<std::size_t>& at = at_[name];
        at.push_back(reversed_.size() - 1);
        return at;
    }
    // Only the entry nearest the front stays.
    void keepNewest(const std::string& name) {
        std::vector<std::size_t>& at = at_[name];
        for (std::size_t k = 0; k + 1 < at.size(); ++k) {
            liveFlags_[at[k]] = false;
            --live_;
        }
        at.erase(at.begin(), at.end() - 1);
    }

    std::vector<std::string> reversed_;  // the list, its front last
    std::vector<bool> liveFlags_;
    std::size_t live_ = 0;
    std::unordered_map<std::string, std::vector<std::size_t>> at_;  // each name's live entries
    std::vector<std::string> repeated_;  // names that DEFINITION headers put in twice since the last union
};

using CeqOuts = std::shared_ptr<const std::vector<std::optional<CeqOut>>>;

// The reports of the elements from i on, `current` being what is left of the element before
// i; an element is checked when its reports are reached, and a DEFINITION header fires there.
Messages theoryMessages(CeqOuts outs, std::size_t i, Messages current) {
    return Messages::defer([outs, i, current]() -> Messages {
        Messages at = current;
        std::size_t next = i;
        while (at.empty()) {
            if (next == outs->size()) return Messages();
            const std::optional<CeqOut>& o = (*outs)[next++];
            if (!o) failUser(std::string(defnTheoText));
            at = o->checked.get().messages;
        }
        return Messages::cons(at.head(), theoryMessages(outs, next, at.tail()));
    });
}

}  // namespace

std::vector<std::string> theoConstrsUsed(const Theo& t) {
    std::vector<std::string> out;
    auto add = [&out](const Eqn& e) {
        for (const Expr* side : {&e.lhs, &e.rhs}) {
            std::vector<std::string> used = exprConstrsUsed(*side);
            out.insert(out.end(), used.begin(), used.end());
        }
    };
    for (const TheoItem& item : t) {
        if (item.kind() != TheoKind::CeqTheo) continue;
        const Ceq& ceq = item.ceq();
        for (const Eqn& c : ceq.conds) add(c);
        add(ceq.eqn);
    }
    return out;
}

TheoryCheck checkTheory(const Theo& t, const Lazy<CheckEnv>& env, const Lazy<DefnRules>& table) {
    const std::vector<TheoItem> items = t.toVector();
    const ConstructorNames constructors = delay([env] {
        std::vector<std::string> names = env.get().names();
        return std::unordered_set<std::string>(names.begin(), names.end());
    });
    auto all = std::make_shared<std::vector<std::optional<CeqOut>>>();
    all->reserve(items.size());
    bool headers = false;
    for (const TheoItem& item : items) {
        if (item.kind() == TheoKind::CeqTheo) {
            const Ceq ceq = item.ceq();
            all->emplace_back(CeqOut{ceqFreeVars(ceq), delay([ceq] { return plainCeq(ceq); }),
                                     delay([ceq, env, constructors] { return checkCeq(ceq, env, constructors); })});
        } else {
            all->emplace_back();  // in place: g++ 12 takes a moved empty optional for an uninitialised one
            headers = true;
        }
    }
    const CeqOuts outs = all;

    TheoryCheck tc;
    tc.messages = theoryMessages(outs, 0, Messages());
    NamesFromBack names;
    for (std::size_t i = items.size(); i-- > 0;) {
        const std::optional<CeqOut>& o = (*outs)[i];
        if (o) names.unite(o->freeVars);
        else names.prepend(items[i].defnName());
    }
    tc.names = names.take();
    tc.headed = delay([outs, items] {
        Theo headed;
        for (std::size_t i = items.size(); i-- > 0;) {
            const std::optional<CeqOut>& o = (*outs)[i];
            headed = o ? mkCeqTheo(o->plain.get(), headed) : mkDefnTheo(items[i].defnName(), headed);
        }
        return mkTheory(headed);
    });
    tc.expanded = delay([outs, items, table] {
        Theo out;
        for (std::size_t i = items.size(); i-- > 0;) {
            if ((*outs)[i]) {
                out = mkCeqTheo((*outs)[i]->plain.get(), out);
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
        if (headers) failInternal(std::string(defnTheoText) + " (theor)");
        std::vector<Rule> rules;
        rules.reserve(outs->size());
        for (const auto& o : *outs) rules.push_back(o->checked.get().rule);
        return rules;
    });
    tc.typed = delay([outs, headers] {
        if (headers) failInternal(std::string(defnTheoText) + " (term)");
        Theo out;
        for (auto it = outs->rbegin(); it != outs->rend(); ++it) out = mkCeqTheo((**it).checked.get().typed, out);
        return mkTheory(out);
    });
    return tc;
}

}  // namespace plim
