#include "lang/syntax.h"

#include <bit>
#include <cstring>
#include <vector>

#include "support/block_pool.h"
#include "support/hashing.h"

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

// The hashes of the forms (Expr::hashCode): a leaf's from its name or constant, an
// application's, a lambda's and a let's from their children's (a let's definitions aside).
// Each form has its own seed, so that forms of equal children differ.
constexpr std::uint64_t kLamSeed = 0x4c616d, kLetSeed = 0x4c6574, kVarSeed = 0x566172;

// A name's hash, byte by byte (names are short).
std::uint64_t textHash(const std::string& text) {
    std::uint64_t h = 0xcbf29ce484222325ULL ^ text.size();
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    return h;
}

// Equal constants (eqConstant) hash alike: floats by their bits, 0 for both zeros.
std::uint64_t constantHash(const Constant& c) {
    const auto kind = static_cast<std::uint64_t>(c.kind()) + 1;
    switch (c.kind()) {
    case ConstantKind::Constr: return mixHash(kind, textHash(c.constrName()));
    case ConstantKind::Number: return mixHash(kind, static_cast<std::uint32_t>(c.number()));
    case ConstantKind::Binop: return mixHash(kind, static_cast<std::uint64_t>(c.op()));
    case ConstantKind::Tuple: return mixHash(kind, static_cast<std::uint32_t>(c.arity()));
    case ConstantKind::Boolean: return mixHash(kind, c.boolean() ? 1 : 0);
    case ConstantKind::FNumber: {
        const float x = c.fnumber();
        std::uint32_t bits = 0;
        if (x != 0.0f) std::memcpy(&bits, &x, sizeof bits);
        return mixHash(kind, bits);
    }
    default: return mixHash(kind, 0);
    }
}

}  // namespace

// Builds expression handles from nodes; the only code that may.
struct ExprBuilder {
    static std::uint64_t hashOf(const Expr& e) { return e.node_ ? e.node_->hash_ : 0; }

    // What a Lam's or Ap's subtree holds and its hash, from its children's, each read once.
    // One multiplication: a pair is built on every step of a calculation for every node on
    // the path to the rewritten site.
    struct PairFacts {
        std::uint8_t holds;
        std::uint64_t hash;
    };
    static PairFacts pairFacts(ExprKind kind, const Expr& first, const Expr& second) {
        const bool lam = kind == ExprKind::Lam;
        std::uint8_t holds = lam ? ExprHolds::Lam : 0;
        std::uint64_t left = lam ? kLamSeed : 0, right = 0;
        if (const ExprNode* n = first.node_) {
            holds |= n->holds;
            left ^= n->hash_;
        }
        if (const ExprNode* n = second.node_) {
            holds |= n->holds;
            right = n->hash_;
        }
        return PairFacts{holds, (left ^ std::rotl(right, 29)) * 0xff51afd7ed558ccdULL};
    }
    // The node, its hash set.
    static Expr hashed(ExprNode* node, std::uint64_t hash) {
        node->hash_ = hash;
        return Expr(node);
    }

    // A Lam or Ap with its two children; the type is a Type or a Lazy<Type>.
    template <class T>
    static Expr pair(ExprKind kind, Expr first, Expr second, T type) {
        const PairFacts facts = pairFacts(kind, first, second);
        return hashed(newNode<ExprPairNode>(kind, facts.holds, std::move(type), std::move(first), std::move(second)), facts.hash);
    }

    static Expr pairAs(const Expr& like, Expr&& first, Expr&& second) {
        const ExprNode& node = *like.node_;
        const PairFacts facts = pairFacts(node.kind, first, second);
        return hashed(newNode<ExprPairNode>(facts.holds, node, std::move(first), std::move(second)), facts.hash);
    }

    template <class T>
    static Expr let(DList defs, Expr body, T type) {
        // The definitions are not looked at.
        const std::uint8_t holds = ExprHolds::Lam | ExprHolds::Var | ExprHolds::Let;
        const std::uint64_t hash = mixHash(kLetSeed, hashOf(body));
        return hashed(newNode<ExprLetNode>(holds, std::move(type), std::move(defs), std::move(body)), hash);
    }

    template <class T>
    static Expr var(std::string name, T type) {
        const std::uint64_t hash = mixHash(kVarSeed, textHash(name));
        return hashed(newNode<ExprVarNode>(ExprHolds::Var, std::move(type), std::move(name)), hash);
    }

    template <class T>
    static Expr con(Constant constant, T type) {
        const std::uint64_t hash = constantHash(constant);
        return hashed(newNode<ExprConNode>(std::uint8_t{0}, std::move(type), std::move(constant)), hash);
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

    // The node's children taken (those it held alone wait), then the node destroyed: one
    // switch on its form.
    static void release(ExprNode* n) {
        switch (n->kind) {
        case ExprKind::Lam:
        case ExprKind::Ap: {
            auto* p = static_cast<ExprPairNode*>(n);
            take(p->first);
            take(p->second);
            deleteNode<ExprPairNode>(n);
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
            deleteNode<ExprLetNode>(n);
            break;
        }
        case ExprKind::Var: deleteNode<ExprVarNode>(n); break;
        case ExprKind::Con: deleteNode<ExprConNode>(n); break;
        }
    }
};

void releaseExprNode(ExprNode* node) noexcept {
    if (ExprRelease::releasing) {
        ExprRelease::wait(node);
        return;
    }
    ExprRelease::releasing = true;
    for (ExprNode* n = node; n != nullptr; n = ExprRelease::next()) ExprRelease::release(n);
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
