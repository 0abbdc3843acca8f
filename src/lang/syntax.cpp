#include "lang/syntax.h"

#include <vector>

#include "support/block_pool.h"

namespace plim {

namespace {

// Nodes come from this thread's block lists (support/block_pool.h): a tree is built and dropped
// node by node, and each form has its own block size.
template <class Node, class... Args>
Node* newNode(Args&&... args) {
    Node* n = PoolAllocator<Node>().allocate(1);
    try {
        return new (n) Node(std::forward<Args>(args)...);
    } catch (...) {
        PoolAllocator<Node>().deallocate(n, 1);
        throw;
    }
}

template <class Node>
void deleteNode(ExprNode* n) {
    auto* node = static_cast<Node*>(n);
    node->~Node();
    PoolAllocator<Node>().deallocate(node, 1);
}

}  // namespace

// Builds expression handles from nodes; the only code that may.
struct ExprBuilder {
    static std::uint8_t holdsOf(const Expr& e) { return e.node_ ? e.node_->holds : 0; }

    // A Lam or Ap with its two children; the type is a Type or a Lazy<Type>.
    template <class T>
    static Expr pair(ExprKind kind, Expr first, Expr second, T type) {
        const auto holds = static_cast<std::uint8_t>(holdsOf(first) | holdsOf(second) |
                                                     (kind == ExprKind::Lam ? ExprHolds::Lam : 0));
        return Expr(newNode<ExprPairNode>(kind, holds, std::move(type), std::move(first), std::move(second)));
    }

    static Expr pairAs(const Expr& like, Expr&& first, Expr&& second) {
        const ExprNode& node = *like.node_;
        const auto holds = static_cast<std::uint8_t>(holdsOf(first) | holdsOf(second) |
                                                     (node.kind == ExprKind::Lam ? ExprHolds::Lam : 0));
        return Expr(newNode<ExprPairNode>(holds, node, std::move(first), std::move(second)));
    }

    template <class T>
    static Expr let(DList defs, Expr body, T type) {
        // The definitions are not looked at.
        const std::uint8_t holds = ExprHolds::Lam | ExprHolds::Var | ExprHolds::Let;
        return Expr(newNode<ExprLetNode>(holds, std::move(type), std::move(defs), std::move(body)));
    }

    template <class T>
    static Expr var(std::string name, T type) {
        return Expr(newNode<ExprVarNode>(ExprHolds::Var, std::move(type), std::move(name)));
    }

    template <class T>
    static Expr con(Constant constant, T type) {
        return Expr(newNode<ExprConNode>(std::uint8_t{0}, std::move(type), std::move(constant)));
    }
};

// Releases nodes that nobody holds any more, without nested calls and without asking the
// allocator for anything (a destructor may not fail): the nodes waiting to be released are
// linked through their release links.
struct ExprRelease {
    // The nodes waiting on this thread, the newest first; `releasing` while a release runs (a
    // node released meanwhile, one that a type computed on demand held, joins the list).
    static inline thread_local ExprNode* waiting = nullptr;
    static inline thread_local bool releasing = false;

    static void wait(ExprNode* n) {
        n->releaseLink_ = waiting;
        waiting = n;
    }
    static ExprNode* next() {
        ExprNode* n = waiting;
        if (n != nullptr) waiting = n->releaseLink_;
        return n;
    }

    // The child's handle emptied; the child itself waits when this was its last holder.
    static void take(Expr& child) {
        ExprNode* n = child.node_;
        child.node_ = nullptr;
        if (n && n->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) wait(n);
    }

    static void takeChildren(ExprNode* n) {
        switch (n->kind) {
        case ExprKind::Lam:
        case ExprKind::Ap: {
            auto* p = static_cast<ExprPairNode*>(n);
            take(p->first);
            take(p->second);
            break;
        }
        case ExprKind::Let: {
            auto* l = static_cast<ExprLetNode*>(n);
            take(l->body);
            l->defs.defs.eachSoleItem([&](DefItem& item) {
                if (auto* f = std::get_if<FunDecl>(&item.decl.v_)) {
                    take(f->lhs);
                    take(f->rhs);
                } else if (auto* d = std::get_if<DecDecl>(&item.decl.v_)) {
                    take(d->name);
                }
            });
            break;
        }
        case ExprKind::Var:
        case ExprKind::Con: break;
        }
    }

    static void destroy(ExprNode* n) {
        switch (n->kind) {
        case ExprKind::Lam:
        case ExprKind::Ap: deleteNode<ExprPairNode>(n); break;
        case ExprKind::Let: deleteNode<ExprLetNode>(n); break;
        case ExprKind::Var: deleteNode<ExprVarNode>(n); break;
        case ExprKind::Con: deleteNode<ExprConNode>(n); break;
        }
    }
};

void releaseExprNode(ExprNode* node) noexcept {
    ExprRelease::wait(node);
    if (ExprRelease::releasing) return;
    ExprRelease::releasing = true;
    while (ExprNode* n = ExprRelease::next()) {
        ExprRelease::takeChildren(n);
        ExprRelease::destroy(n);
    }
    ExprRelease::releasing = false;
}

Lazy<Type> Expr::lazyType() const {
    if (node_->lazy) return node_->pending;
    return Lazy<Type>(node_->known);
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

Expr mkVar(std::string name, Type type) { return ExprBuilder::var(std::move(name), std::move(type)); }
Expr mkCon(Constant constant, Type type) { return ExprBuilder::con(std::move(constant), std::move(type)); }
Expr mkVar(std::string name, Lazy<Type> type) { return ExprBuilder::var(std::move(name), std::move(type)); }
Expr mkCon(Constant constant, Lazy<Type> type) { return ExprBuilder::con(std::move(constant), std::move(type)); }

Expr mkPairAs(const Expr& like, Expr&& first, Expr&& second) {
    return ExprBuilder::pairAs(like, std::move(first), std::move(second));
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
