#include "shell/state.h"

#include "engine/matching/fast/record.h"
#include "lang/expressions_rebuild.h"
#include "support/errors.h"

namespace plim {

CmdState initialState() {
    CmdState s;
    s.matcher = fastMatcher();
    return s;
}

const std::vector<Rule>& currentTheory(const CmdState& s) {
    if (!s.theory) failUser("no theory loaded");
    return *s.theory;
}

const LoadedProgram& loadedProgram(const CmdState& s) {
    if (!s.program) failUser("no program loaded");
    return *s.program;
}

std::string normalisePath(const std::string& p) {
    if (p.empty() || p.back() == '/') return p;
    return p + "/";
}

namespace {

// The definitions with the right sides of the function definitions replaced, in order, by the
// unfrozen ones from `rhss`.
DList unfrozenDefinitions(const DList& defs, const Expr* rhss) {
    std::vector<DefItem> items;
    for (const DefItem& item : defs.defs) {
        if (item.decl.isFun()) {
            items.push_back(DefItem{mkFun(item.decl.fun().lhs, *rhss++), item.line});
        } else {
            items.push_back(item);
        }
    }
    return mkDList(Defs::fromVector(std::move(items)));
}

}  // namespace

Expr unfreeze(const Expr& e) {
    // A let's children: its body, then the right sides of its function definitions.
    auto children = [](const Expr& x) -> std::vector<Expr> {
        if (!x.isLet()) return expr_detail::lamApChildren(x);
        std::vector<Expr> out{x.body()};
        for (const DefItem& item : x.defs().defs)
            if (item.decl.isFun()) out.push_back(item.decl.fun().rhs);
        return out;
    };
    auto combine = [](const Expr& x, const std::vector<Expr>& done) -> Expr {
        switch (x.kind()) {
        case ExprKind::Lam: return mkLam(x.pattern(), done[0], x.lazyType());
        case ExprKind::Let: return mkLet(unfrozenDefinitions(x.defs(), done.data() + 1), done[0], x.lazyType());
        case ExprKind::Ap: return mkAp(done[0], done[1], x.lazyType());
        case ExprKind::Var: return x;
        case ExprKind::Con:
            if (x.constant().kind() == ConstantKind::Constr) return mkVar(x.constant().constrName(), x.type());
            return x;
        }
        return x;
    };
    return expr_detail::rebuild(e, children, combine);
}

}  // namespace plim
