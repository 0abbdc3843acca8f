// The abstract syntax of the object language: typed expressions, and the equations, theories,
// declarations, definition lists, transformation blocks and programs that hold them.
//
// Every value is immutable and shared freely.  `Expr` is a cheap handle to a node; every node
// carries its type as its last field.  The type of an application may be computed on first
// read (see mkApLazy): building an application of a non-function is allowed, and only reading
// its type raises the error.
//
// The list-like types (Eqs, Theo, Alts, Defs, Elems, Block) are persistent chains of cells
// ending in their end constructor; cells are shared between lists, prepending costs nothing,
// and long chains (and long expression spines) are destroyed without deep recursion.
//
// Constructors are the functions mk<Constructor>: mkLam, mkLet, mkAp, mkVar, mkCon; mkEqn,
// mkNoEq, mkOneEq, ... mkProg.  Values are read by kind() and field accessors.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "lang/constants.h"
#include "lang/types.h"
#include "support/lazy.h"

namespace plim {

// ---------------------------------------------------------------------------------------
// Expressions
// ---------------------------------------------------------------------------------------

// The five forms, in tag order.
enum class ExprKind : std::uint8_t { Lam, Let, Ap, Var, Con };

struct ExprNode;
struct DList;

class Expr {
public:
    Expr(const Expr& other) noexcept : node_(other.node_) { retain(); }
    Expr(Expr&& other) noexcept : node_(other.node_) { other.node_ = nullptr; }
    Expr& operator=(const Expr& other) noexcept {
        Expr copy(other);
        std::swap(node_, copy.node_);
        return *this;
    }
    Expr& operator=(Expr&& other) noexcept {
        std::swap(node_, other.node_);
        return *this;
    }
    ~Expr() {
        if (node_) drop();  // a moved-from handle costs no call
    }

    ExprKind kind() const;
    bool isLam() const { return kind() == ExprKind::Lam; }
    bool isLet() const { return kind() == ExprKind::Let; }
    bool isAp() const { return kind() == ExprKind::Ap; }
    bool isVar() const { return kind() == ExprKind::Var; }
    bool isCon() const { return kind() == ExprKind::Con; }

    // Lam: the pattern.
    const Expr& pattern() const;
    // Lam, Let: the body.
    const Expr& body() const;
    // Let: the definitions.
    const DList& defs() const;
    // Ap: the function and the argument.
    const Expr& fun() const;
    const Expr& arg() const;
    // Var: the name.
    const std::string& name() const;
    // Con: the constant.
    const Constant& constant() const;

    // The subtree holds a lambda, a variable, a let-expression or a node built with a type
    // still to be computed (bits of ExprHolds).
    bool holdsAny(std::uint8_t kinds) const;

    // The node's type, its last field (for an application, computed when first read).
    const Type& type() const;
    // The type as a lazy value, without reading it.
    Lazy<Type> lazyType() const;
    // True when the type is known without computing anything.
    bool typeIsEvaluated() const;
    // True when the node holds `type` itself, not yet read (a type shared by many nodes).
    bool holdsLazyType(const Lazy<Type>& type) const;

    // A hash of the expression's form, names and constants, types aside: equal expressions
    // (one form, equal names and constants) hash alike.  Set when the node is built.
    std::uint64_t hashCode() const;

    // True when no other handle holds the node (a holder of handles may let it go then).
    bool heldOnce() const;

    // True when both handles share one node (then the expressions are the same).
    bool sameNode(const Expr& other) const { return node_ == other.node_; }
    // The node's address: a key for facts kept per node, equal for two live handles exactly
    // when they share the node.
    const void* identity() const { return node_; }

private:
    friend struct ExprBuilder;  // the mk* builders
    friend struct ExprRelease;  // takes the children of a node that is being released

    explicit Expr(ExprNode* node) noexcept : node_(node) {}  // takes over the node's first count
    void retain() const noexcept;
    void drop() noexcept;
    ExprNode* node_;
};

Expr mkLam(Expr pattern, Expr body, Type type);
Expr mkLet(DList defs, Expr body, Type type);
Expr mkAp(Expr fun, Expr arg, Type type);
// An application whose type is computed when first read.
Expr mkApLazy(Expr fun, Expr arg, Lazy<Type> type);
// The same forms with a type that may be computed when first read (held as a known type when
// it has been computed already).
Expr mkLam(Expr pattern, Expr body, Lazy<Type> type);
Expr mkLet(DList defs, Expr body, Lazy<Type> type);
inline Expr mkAp(Expr fun, Expr arg, Lazy<Type> type) { return mkApLazy(std::move(fun), std::move(arg), std::move(type)); }
Expr mkVar(std::string name, Type type);
Expr mkCon(Constant constant, Type type);
// A variable or constant whose type is computed (or raises its error) when first read.
Expr mkVar(std::string name, Lazy<Type> type);
Expr mkCon(Constant constant, Lazy<Type> type);
// A node of the form of `like` (a Lam or an Ap) with new children and like's type held as
// like holds it: a known type as it is, one still to be computed unread.  Rebuilding a path
// makes one per node.
Expr mkPairAs(const Expr& like, Expr&& first, Expr&& second);

// ---------------------------------------------------------------------------------------
// Chains: the list-like syntax types
// ---------------------------------------------------------------------------------------

// A persistent list of items: the end, or a cell holding an item and the rest.
template <class Item>
class Chain {
    struct Cell {
        Item item;
        std::shared_ptr<Cell> rest;

        Cell(Item i, std::shared_ptr<Cell> r) : item(std::move(i)), rest(std::move(r)) {}
        Cell(const Cell&) = delete;
        Cell& operator=(const Cell&) = delete;
        // Unlinks the cells that only this one holds, one at a time.
        ~Cell() {
            std::shared_ptr<Cell> next = std::move(rest);
            while (next && next.use_count() == 1) {
                std::shared_ptr<Cell> after = std::move(next->rest);
                next.reset();
                next = std::move(after);
            }
        }
    };

public:
    Chain() = default;  // the end
    static Chain cons(Item item, Chain rest) {
        return Chain(std::make_shared<Cell>(std::move(item), std::move(rest.cell_)));
    }
    // The items in order, ending with the end.
    static Chain fromVector(std::vector<Item> items) {
        Chain out;
        for (auto it = items.rbegin(); it != items.rend(); ++it) out = cons(std::move(*it), std::move(out));
        return out;
    }

    bool isEnd() const { return !cell_; }
    // The item and the rest of a cell; only for a chain that is not at its end.
    const Item& item() const { return cell_->item; }
    Chain rest() const { return Chain(cell_->rest); }

    std::size_t length() const {
        std::size_t n = 0;
        for (const Cell* c = cell_.get(); c; c = c->rest.get()) ++n;
        return n;
    }
    std::vector<Item> toVector() const {
        std::vector<Item> out;
        for (const Cell* c = cell_.get(); c; c = c->rest.get()) out.push_back(c->item);
        return out;
    }
    bool sameCell(const Chain& other) const { return cell_ == other.cell_; }
    // Hands the items of the leading cells that only this chain holds to `take`, which may
    // change them: for a destructor that releases what the items hold without recursion.
    template <class Take>
    void eachSoleItem(Take take) {
        for (Cell* c = cell_.get(), *prev = nullptr; c; prev = c, c = c->rest.get()) {
            if ((prev ? prev->rest : cell_).use_count() != 1) return;
            take(c->item);
        }
    }

    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Item;
        using difference_type = std::ptrdiff_t;
        using pointer = const Item*;
        using reference = const Item&;
        iterator() = default;
        explicit iterator(const Cell* c) : at_(c) {}
        const Item& operator*() const { return at_->item; }
        const Item* operator->() const { return &at_->item; }
        iterator& operator++() {
            at_ = at_->rest.get();
            return *this;
        }
        iterator operator++(int) {
            iterator old = *this;
            ++*this;
            return old;
        }
        bool operator==(const iterator& other) const { return at_ == other.at_; }

    private:
        const Cell* at_ = nullptr;
    };
    // The chain must outlive the iteration.
    iterator begin() const { return iterator(cell_.get()); }
    iterator end() const { return iterator(); }

private:
    explicit Chain(std::shared_ptr<Cell> cell) : cell_(std::move(cell)) {}
    std::shared_ptr<Cell> cell_;
};

// ---------------------------------------------------------------------------------------
// Equations, data alternatives, declarations and definition lists
// ---------------------------------------------------------------------------------------

// Eqn: left side "=" right side.
struct Eqn {
    Expr lhs;
    Expr rhs;
};

// Eqs: NoEq | OneEq (equation, rest).
using Eqs = Chain<Eqn>;

// Alt: a data constructor and its argument types.
struct Alt {
    std::string name;
    std::vector<Type> args;
};

// Alts: NoAlt | OneAlt (alternative, rest).
using Alts = Chain<Alt>;

// The three forms of a declaration, in tag order.
enum class DeclKind : std::uint8_t { Fun, Dec, Data };

struct FunDecl {
    Expr lhs;
    Expr rhs;
};
struct DecDecl {
    Expr name;  // the declared variable, as an expression
    Type type;
};
struct DataDecl {
    Type type;  // the declared head
    Alts alts;
};

// Decl: Fun (left side, right side) | Dec (name, type) | Data (type, alternatives).
class Decl {
public:
    explicit Decl(FunDecl d) : v_(std::move(d)) {}
    explicit Decl(DecDecl d) : v_(std::move(d)) {}
    explicit Decl(DataDecl d) : v_(std::move(d)) {}

    DeclKind kind() const { return static_cast<DeclKind>(v_.index()); }
    bool isFun() const { return kind() == DeclKind::Fun; }
    const FunDecl& fun() const { return std::get<FunDecl>(v_); }
    const DecDecl& dec() const { return std::get<DecDecl>(v_); }
    const DataDecl& data() const { return std::get<DataDecl>(v_); }

private:
    friend struct ExprRelease;  // releases the expressions of the declarations it holds alone
    std::variant<FunDecl, DecDecl, DataDecl> v_;
};

// One cell of a definition list: the declaration and its source line.
struct DefItem {
    Decl decl;
    std::int32_t line;
};

// Defs: NoDef | OneDef (declaration, rest, line).
using Defs = Chain<DefItem>;

// DList: a definition list (the local definitions of a Let, a group of program definitions,
// a REDEFINE or SPECIFYING part).
struct DList {
    Defs defs;
};

Eqn mkEqn(Expr lhs, Expr rhs);
Eqs mkNoEq();
Eqs mkOneEq(Eqn eqn, Eqs rest);
Alt mkAlt(std::string name, std::vector<Type> args);
Alts mkNoAlt();
Alts mkOneAlt(Alt alt, Alts rest);
Decl mkFun(Expr lhs, Expr rhs);
Decl mkDec(Expr name, Type type);
Decl mkData(Type type, Alts alts);
Defs mkNoDef();
Defs mkOneDef(Decl decl, Defs rest, std::int32_t line);
DList mkDList(Defs defs);

// ---------------------------------------------------------------------------------------
// The expression node (after DList, which it holds)
// ---------------------------------------------------------------------------------------

namespace ExprHolds {
inline constexpr std::uint8_t Lam = 1, Var = 2, Let = 4;
// A node built with a type still to be computed (it may have been computed since).
inline constexpr std::uint8_t Unread = 8;
}

// The part every node shares: its count of holders, its form, what its subtree holds and its
// type.  The fields of each form follow in a node of that form's own size (syntax.cpp).
struct ExprNode {
    std::atomic<std::uint32_t> refs{1};
    ExprKind kind;
    // What the subtree holds, set when the node is built: lambdas, variables, let-expressions
    // (bits of ExprHolds).  A walk that only changes such nodes returns a subtree without them
    // as it is.
    std::uint8_t holds;
    bool lazy = false;  // which member of the type is live
    union {
        Type known;          // the type
        Lazy<Type> pending;  // a type computed on first read
    };

    ExprNode(ExprKind k, std::uint8_t h, Type t) : kind(k), holds(h), known(std::move(t)) {}
    // A pending type is kept lazily unless it has been computed already.
    ExprNode(ExprKind k, std::uint8_t h, Lazy<Type> t) : kind(k), holds(h) {
        if (t.isEvaluated()) {
            new (&known) Type(t.get());
        } else {
            lazy = true;
            holds |= ExprHolds::Unread;
            new (&pending) Lazy<Type>(std::move(t));
        }
    }
    // The type of `like`, held as like holds it.
    ExprNode(ExprKind k, std::uint8_t h, const ExprNode& like) : kind(k), holds(h) {
        if (!like.lazy) {
            new (&known) Type(like.known);
        } else if (like.pending.isEvaluated()) {
            new (&known) Type(like.pending.get());
        } else {
            lazy = true;
            holds |= ExprHolds::Unread;
            new (&pending) Lazy<Type>(like.pending);
        }
    }
    ExprNode(const ExprNode&) = delete;
    ExprNode& operator=(const ExprNode&) = delete;
    ~ExprNode() {
        if (lazy) {
            pending.~Lazy<Type>();
        } else {
            known.~Type();
        }
    }

    // The hash of the subtree's form (Expr::hashCode).
    std::uint64_t hash() const { return hash_; }

private:
    friend struct ExprBuilder;
    friend struct ExprRelease;
    union {
        std::uint64_t hash_;  // made from the children's when the node is built
        // Once nobody holds the node (its hash read no more): the next node in the list of
        // nodes waiting to be released (syntax.cpp), so that releasing a deep tree needs
        // neither nested calls nor room asked of the allocator.
        ExprNode* releaseLink_;
    };
};

// Lam (pattern, body) and Ap (function, argument).
struct ExprPairNode : ExprNode {
    template <class T>
    ExprPairNode(ExprKind k, std::uint8_t h, T t, Expr a, Expr b)
        : ExprNode(k, h, std::move(t)), first(std::move(a)), second(std::move(b)) {}
    ExprPairNode(std::uint8_t h, const ExprNode& like, Expr&& a, Expr&& b)
        : ExprNode(like.kind, h, like), first(std::move(a)), second(std::move(b)) {}
    Expr first;
    Expr second;
};
struct ExprLetNode : ExprNode {
    template <class T>
    ExprLetNode(std::uint8_t h, T t, DList d, Expr b) : ExprNode(ExprKind::Let, h, std::move(t)), body(std::move(b)), defs(std::move(d)) {}
    Expr body;
    DList defs;
};
struct ExprVarNode : ExprNode {
    template <class T>
    ExprVarNode(std::uint8_t h, T t, std::string n) : ExprNode(ExprKind::Var, h, std::move(t)), name(std::move(n)) {}
    std::string name;
};
struct ExprConNode : ExprNode {
    template <class T>
    ExprConNode(std::uint8_t h, T t, Constant c) : ExprNode(ExprKind::Con, h, std::move(t)), constant(std::move(c)) {}
    Constant constant;
};

inline ExprKind Expr::kind() const { return node_->kind; }
inline const Expr& Expr::pattern() const { return static_cast<const ExprPairNode*>(node_)->first; }
inline const Expr& Expr::body() const {
    if (node_->kind == ExprKind::Let) return static_cast<const ExprLetNode*>(node_)->body;
    return static_cast<const ExprPairNode*>(node_)->second;
}
inline const DList& Expr::defs() const { return static_cast<const ExprLetNode*>(node_)->defs; }
inline const Expr& Expr::fun() const { return static_cast<const ExprPairNode*>(node_)->first; }
inline const Expr& Expr::arg() const { return static_cast<const ExprPairNode*>(node_)->second; }
inline const std::string& Expr::name() const { return static_cast<const ExprVarNode*>(node_)->name; }
inline const Constant& Expr::constant() const { return static_cast<const ExprConNode*>(node_)->constant; }
inline bool Expr::holdsAny(std::uint8_t kinds) const { return (node_->holds & kinds) != 0; }
inline std::uint64_t Expr::hashCode() const { return node_->hash(); }
inline bool Expr::heldOnce() const { return node_->refs.load(std::memory_order_relaxed) == 1; }
inline const Type& Expr::type() const { return node_->lazy ? node_->pending.get() : node_->known; }
inline bool Expr::typeIsEvaluated() const { return !node_->lazy || node_->pending.isEvaluated(); }
inline bool Expr::holdsLazyType(const Lazy<Type>& type) const { return node_->lazy && node_->pending.sameCell(type); }
inline void Expr::retain() const noexcept {
    if (node_) node_->refs.fetch_add(1, std::memory_order_relaxed);
}
// Releases the node and every node that only it holds, one at a time (syntax.cpp).
void releaseExprNode(ExprNode* node) noexcept;
inline void Expr::drop() noexcept {
    if (node_ && node_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) releaseExprNode(node_);
    node_ = nullptr;
}

// ---------------------------------------------------------------------------------------
// Theories
// ---------------------------------------------------------------------------------------

// Ceq: a labelled conditional equation; an unconditional one has NoEq as conditions.
struct Ceq {
    std::string label;
    Eqs conds;
    Eqn eqn;
    std::int32_t line;
};

// The two kinds of theory cell, in tag order after NoTheo.
enum class TheoKind : std::uint8_t { CeqTheo, DefnTheo };

// One cell of a theory's element list: an equation, or a name from a DEFINITION header.
class TheoItem {
public:
    explicit TheoItem(Ceq ceq) : v_(std::move(ceq)) {}
    explicit TheoItem(std::string defnName) : v_(std::move(defnName)) {}
    TheoKind kind() const { return static_cast<TheoKind>(v_.index()); }
    const Ceq& ceq() const { return std::get<Ceq>(v_); }
    const std::string& defnName() const { return std::get<std::string>(v_); }

private:
    std::variant<Ceq, std::string> v_;
};

// Theo: NoTheo | CeqTheo (rule, rest) | DefnTheo (name, rest).
using Theo = Chain<TheoItem>;

struct Theory {
    Theo elems;
};

Ceq mkCeq(std::string label, Eqs conds, Eqn eqn, std::int32_t line);
Theo mkNoTheo();
Theo mkCeqTheo(Ceq ceq, Theo rest);
Theo mkDefnTheo(std::string name, Theo rest);
Theory mkTheory(Theo elems);

// ---------------------------------------------------------------------------------------
// Transformation blocks and programs
// ---------------------------------------------------------------------------------------

// TRANSFORM name ":" names REDEFINE redefs SPECIFYING specs USING theory END: the
// definitions to redefine and the definitions they are to satisfy.
struct Rewrite {
    std::string name;
    std::vector<std::string> names;
    DList redefs;
    DList specs;
    Theory theory;
};

enum class ElemKind : std::uint8_t { DefElem, TrafoElem };

// Elem: DefElem (declaration) | TrafoElem (transformation).
class Elem {
public:
    explicit Elem(Decl decl) : v_(std::move(decl)) {}
    explicit Elem(Rewrite rewrite) : v_(std::move(rewrite)) {}
    ElemKind kind() const { return static_cast<ElemKind>(v_.index()); }
    const Decl& decl() const { return std::get<Decl>(v_); }
    const Rewrite& rewrite() const { return std::get<Rewrite>(v_); }

private:
    std::variant<Decl, Rewrite> v_;
};

// One cell of an element list: the element and its source line.
struct ElemItem {
    Elem elem;
    std::int32_t line;
};

// Elems: NoElem | OneElem (element, rest, line).
using Elems = Chain<ElemItem>;

struct SourceFile {
    Elems elems;
};

enum class BlockKind : std::uint8_t { DefsBlock, TrafoBlock };

// One cell of a program's block list: a group of definitions or a transformation.
class BlockItem {
public:
    explicit BlockItem(DList defs) : v_(std::move(defs)) {}
    explicit BlockItem(Rewrite rewrite) : v_(std::move(rewrite)) {}
    BlockKind kind() const { return static_cast<BlockKind>(v_.index()); }
    const DList& defs() const { return std::get<DList>(v_); }
    const Rewrite& rewrite() const { return std::get<Rewrite>(v_); }

private:
    std::variant<DList, Rewrite> v_;
};

// Block: Empty | DefsBlock (definitions, rest) | TrafoBlock (transformation, rest).
using Block = Chain<BlockItem>;

struct Prog {
    Block blocks;
};

Rewrite mkRewrite(std::string name, std::vector<std::string> names, DList redefs, DList specs, Theory theory);
Elem mkDefElem(Decl decl);
Elem mkTrafoElem(Rewrite rewrite);
Elems mkNoElem();
Elems mkOneElem(Elem elem, Elems rest, std::int32_t line);
SourceFile mkSourceFile(Elems elems);
Block mkEmptyBlock();
Block mkDefsBlock(DList defs, Block rest);
Block mkTrafoBlock(Rewrite rewrite, Block rest);
Prog mkProg(Block blocks);

}  // namespace plim
