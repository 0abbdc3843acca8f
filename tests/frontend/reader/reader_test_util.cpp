#include "frontend/reader/reader_test_util.h"

#include "lang/constants.h"
#include "lang/types.h"

namespace plim::test {

std::string showConstant(const Constant& c) {
    switch (c.kind()) {
    case ConstantKind::If: return "If";
    case ConstantKind::Number: return std::to_string(c.number());
    case ConstantKind::FNumber: return constantText(c);
    case ConstantKind::Binop: return "(" + std::string(opSymbol(c.op())) + ")";
    case ConstantKind::Boolean: return c.boolean() ? "True" : "False";
    case ConstantKind::Nul: return "[]";
    case ConstantKind::Tuple: return "Tuple" + std::to_string(c.arity());
    case ConstantKind::Constr: return c.constrName();
    case ConstantKind::Error: return "Error";
    }
    return "?";
}

namespace {

bool isBinop(const Expr& e) { return e.isCon() && e.constant().kind() == ConstantKind::Binop; }

}  // namespace

std::string showExpr(const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Var: return e.name();
    case ExprKind::Con: return showConstant(e.constant());
    case ExprKind::Lam: return "(\\" + showExpr(e.pattern()) + " -> " + showExpr(e.body()) + ")";
    case ExprKind::Let: return "(let {" + showDefs(e.defs().defs) + "} in " + showExpr(e.body()) + ")";
    case ExprKind::Ap:
        if (e.fun().isAp() && isBinop(e.fun().fun()))
            return "(" + showExpr(e.fun().arg()) + " " + std::string(opSymbol(e.fun().fun().constant().op())) + " " +
                   showExpr(e.arg()) + ")";
        return "(" + showExpr(e.fun()) + " " + showExpr(e.arg()) + ")";
    }
    return "?";
}

std::string showDecl(const Decl& d) {
    switch (d.kind()) {
    case DeclKind::Fun: return showExpr(d.fun().lhs) + " = " + showExpr(d.fun().rhs);
    case DeclKind::Dec: return showExpr(d.dec().name) + " :: " + typeText(d.dec().type);
    case DeclKind::Data: {
        std::string out = "data " + typeText(d.data().type) + " =";
        const char* sep = " ";
        for (const Alt& a : d.data().alts) {
            out += sep + a.name;
            for (const Type& t : a.args) out += " " + showsPrecType(11, t);
            sep = " | ";
        }
        return out;
    }
    }
    return "?";
}

std::string showDefs(const Defs& defs) {
    std::string out;
    for (const DefItem& item : defs) {
        if (!out.empty()) out += "; ";
        out += showDecl(item.decl) + " @" + std::to_string(item.line);
    }
    return out;
}

std::string showTheo(const Theo& theo) {
    std::string out;
    for (const TheoItem& item : theo) {
        if (!out.empty()) out += " | ";
        if (item.kind() == TheoKind::DefnTheo) {
            out += "DEFINITION " + item.defnName();
            continue;
        }
        const Ceq& c = item.ceq();
        out += c.label + " @" + std::to_string(c.line) + ": " + showExpr(c.eqn.lhs) + " = " + showExpr(c.eqn.rhs);
        if (!c.conds.isEnd()) {
            out += " if {";
            const char* sep = "";
            for (const Eqn& e : c.conds) {
                out += sep + showExpr(e.lhs) + " = " + showExpr(e.rhs);
                sep = "; ";
            }
            out += "}";
        }
    }
    return out;
}

bool allPlaceholder(const Expr& e) {
    std::vector<Expr> work{e};
    while (!work.empty()) {
        Expr x = work.back();
        work.pop_back();
        if (!eqType(x.type(), placeholderType())) return false;
        switch (x.kind()) {
        case ExprKind::Lam: work.push_back(x.pattern()); work.push_back(x.body()); break;
        case ExprKind::Ap: work.push_back(x.fun()); work.push_back(x.arg()); break;
        case ExprKind::Let:
            work.push_back(x.body());
            for (const DefItem& d : x.defs().defs)
                if (d.decl.isFun()) {
                    work.push_back(d.decl.fun().lhs);
                    work.push_back(d.decl.fun().rhs);
                }
            break;
        default: break;
        }
    }
    return true;
}

}  // namespace plim::test
