#include "lang/syntax.h"
#include "support/release.h"

namespace plim {

namespace {

std::shared_ptr<ExprNode> newNode(ExprKind kind) { return std::make_shared<ExprNode>(kind); }

}  // namespace

// Builds expression handles from nodes; the only code that may.
struct ExprBuilder {
    static std::uint8_t holdsOf(const Expr& e) { return e.node_ ? e.node_->holds : 0; }

    // A Lam or Ap with its two children; the type is a Type or a Lazy<Type>.
    template <class T>
    static Expr pair(ExprKind kind, Expr first, Expr second, T type) {
        auto n = newNode(kind);
        n->holds = static_cast<std::uint8_t>(holdsOf(first) | holdsOf(second) |
                                             (kind == ExprKind::Lam ? ExprHolds::Lam : 0));
        n->first = std::move(first);
        n->second = std::move(second);
        return withType(std::move(n), std::move(type));
    }

    template <class T>
    static Expr let(DList defs, Expr body, T type) {
        auto n = newNode(ExprKind::Let);
        n->holds = ExprHolds::Lam | ExprHolds::Var | ExprHolds::Let;  // the definitions are not looked at
        n->defs = std::move(defs);
        n->first = std::move(body);
        return withType(std::move(n), std::move(type));
    }

    // A known type is kept as is; a pending one is kept lazily unless it has been computed already.
    static Expr withType(std::shared_ptr<ExprNode> n, Type type) {
        n->type.emplace(std::move(type));
        return Expr(std::move(n));
    }

    static Expr withType(std::shared_ptr<ExprNode> n, Lazy<Type> type) {
        if (type.isEvaluated()) {
            n->type.emplace(type.get());
        } else {
            n->lazyType.emplace(std::move(type));
        }
        return Expr(std::move(n));
    }
};

ExprNode::~ExprNode() {
    // Children held by this node alone are taken over and released one at a time, so a long
    // spine, or a long nest of local definitions, is never destroyed by nested destructor calls.
    releaseSoleChildren(*this, [](ExprNode& n, auto take) {
        take(n.first.node_);
        take(n.second.node_);
        n.defs.defs.eachSoleItem([&](DefItem& item) {
            if (auto* f = std::get_if<FunDecl>(&item.decl.v_)) {
                take(f->lhs.node_);
                take(f->rhs.node_);
            } else if (auto* d = std::get_if<DecDecl>(&item.decl.v_)) {
                take(d->name.node_);
            }
        });
    });
}

Lazy<Type> Expr::lazyType() const {
    if (node_->type) return Lazy<Type>(*node_->type);
    return *node_->lazyType;
}

Expr mkLam(Expr pattern, Expr body, Type type) {
    return ExprBuilder::pair(ExprKind::Lam, std::move(pattern), std::move(body), std::move(type));
}

Expr mkLet(DList defs, Expr body, Type type) {
    return ExprBuilder::let(std::move(defs), std::move(body), std::move(type));
}

Expr mkAp(Expr fun, Expr arg, Type type) {
    return ExprBuilder::pair(ExprKind::Ap, std::move(fun), std::move(arg), std::move(type));
}

Expr mkApLazy(Expr fun, Expr arg, Lazy<Type> type) {
    return ExprBuilder::pair(ExprKind::Ap, std::move(fun), std::move(arg), std::move(type));
}

Expr mkLam(Expr pattern, Expr body, Lazy<Type> type) {
    return ExprBuilder::pair(ExprKind::Lam, std::move(pattern), std::move(body), std::move(type));
}

Expr mkLet(DList defs, Expr body, Lazy<Type> type) {
    return ExprBuilder::let(std::move(defs), std::move(body), std::move(type));
}

Expr mkVar(std::string name, Type type) {
    auto n = newNode(ExprKind::Var);
    n->holds = ExprHolds::Var;
    n->name = std::move(name);
    return ExprBuilder::withType(std::move(n), std::move(type));
}

Expr mkCon(Constant constant, Type type) {
    auto n = newNode(ExprKind::Con);
    n->constant.emplace(std::move(constant));
    return ExprBuilder::withType(std::move(n), std::move(type));
}

Expr mkVar(std::string name, Lazy<Type> type) {
    auto n = newNode(ExprKind::Var);
    n->holds = ExprHolds::Var;
    n->name = std::move(name);
    return ExprBuilder::withType(std::move(n), std::move(type));
}

Expr mkCon(Constant constant, Lazy<Type> type) {
    auto n = newNode(ExprKind::Con);
    n->constant.emplace(std::move(constant));
    return ExprBuilder::withType(std::move(n), std::move(type));
}

Eqn mkEqn(Expr lhs, Expr rhs) { return Eqn{std::move(lhs), std::move(rhs)}; }
Eqs mkNoEq() { return Eqs(); }
Eqs mkOneEq(Eqn eqn, Eqs rest) { return Eqs::cons(std::move(eqn), std::move(rest)); }
Alt mkAlt(std::string name, std::vector<Type> args) { return Alt{std::move(name), std::move(args)}; }
Alts mkNoAlt() { return Alts(); }
Alts mkOneAlt(Alt alt, Alts rest) { return Alts::cons(std::move(alt), std::move(rest)); }
Decl mkFun(Expr lhs, Expr rhs) { return Decl(FunDecl{std::move(lhs), std::move(rhs)}); }
Decl mkDec(Expr name, Type type) { return Decl(DecDecl{std::move(name), std::move(type)}); }
Decl mkData(Type type, Alts alts) { return Decl(DataDecl{std::move(type), std::move(alts)}); }
Defs mkNoDef() { return Defs(); }
Defs mkOneDef(Decl decl, Defs rest, std::int32_t line) { return Defs::cons(DefItem{std::move(decl), line}, std::move(rest)); }
DList mkDList(Defs defs) { return DList{std::move(defs)}; }

Ceq mkCeq(std::string label, Eqs conds, Eqn eqn, std::int32_t line) {
    return Ceq{std::move(label), std::move(conds), std::move(eqn), line};
}
Theo mkNoTheo() { return Theo(); }
Theo mkCeqTheo(Ceq ceq, Theo rest) { return Theo::cons(TheoItem(std::move(ceq)), std::move(rest)); }
Theo mkDefnTheo(std::string name, Theo rest) { return Theo::cons(TheoItem(std::move(name)), std::move(rest)); }
Theory mkTheory(Theo elems) { return Theory{std::move(elems)}; }

Rewrite mkRewrite(std::string name, std::vector<std::string> names, DList redefs, DList specs, Theory theory) {
    return Rewrite{std::move(name), std::move(names), std::move(redefs), std::move(specs), std::move(theory)};
}
Elem mkDefElem(Decl decl) { return Elem(std::move(decl)); }
Elem mkTrafoElem(Rewrite rewrite) { return Elem(std::move(rewrite)); }
Elems mkNoElem() { return Elems(); }
Elems mkOneElem(Elem elem, Elems rest, std::int32_t line) {
    return Elems::cons(ElemItem{std::move(elem), line}, std::move(rest));
}
SourceFile mkSourceFile(Elems elems) { return SourceFile{std::move(elems)}; }
Block mkEmptyBlock() { return Block(); }
Block mkDefsBlock(DList defs, Block rest) { return Block::cons(BlockItem(std::move(defs)), std::move(rest)); }
Block mkTrafoBlock(Rewrite rewrite, Block rest) { return Block::cons(BlockItem(std::move(rewrite)), std::move(rest)); }
Prog mkProg(Block blocks) { return Prog{std::move(blocks)}; }

}  // namespace plim
