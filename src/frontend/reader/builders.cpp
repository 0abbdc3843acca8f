#include "frontend/reader/builders.h"

#include <utility>

namespace plim {

Expr mkAp(Expr f, Expr x) { return mkAp(std::move(f), std::move(x), placeholderType()); }

Expr foldApplication(Expr f, const std::vector<Expr>& args) {
    for (const Expr& a : args) f = mkAp(std::move(f), a);
    return f;
}

Expr mkConExpr(Constant c) { return mkCon(std::move(c), placeholderType()); }

Expr mkVarExpr(std::string name) { return mkVar(std::move(name), placeholderType()); }

Expr errorExpr() { return mkConExpr(mkError()); }

Expr operatorApplication(Op op, Expr left, Expr right) {
    if (op == Op::App) return mkAp(std::move(left), std::move(right));
    return mkAp(mkAp(mkConExpr(mkBinop(op)), std::move(left)), std::move(right));
}

// Post-order with an explicit stack: operator trees of long chains are deep.
Expr opTreeToExpr(const OpTree<Expr>& tree) {
    struct Frame {
        const OpTree<Expr>* node;
        bool childrenDone;
    };
    std::vector<Frame> work{{&tree, false}};
    std::vector<Expr> done;
    while (!work.empty()) {
        Frame f = work.back();
        work.pop_back();
        if (f.node->isLeaf()) {
            done.push_back(f.node->operand());
        } else if (!f.childrenDone) {
            work.push_back({f.node, true});
            work.push_back({&f.node->right(), false});
            work.push_back({&f.node->left(), false});
        } else {
            Expr right = std::move(done.back());
            done.pop_back();
            Expr left = std::move(done.back());
            done.pop_back();
            done.push_back(operatorApplication(f.node->op(), std::move(left), std::move(right)));
        }
    }
    return std::move(done.back());
}

Type tupleTypeAction(std::vector<Type> types) {
    if (types.size() == 1) return std::move(types.front());
    return mkTupleType(std::move(types));
}

Type typeNameAction(std::string name) { return mkTCon(std::move(name)); }

}  // namespace plim
