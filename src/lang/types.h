// Type terms of the object language and the operations on them: builders, structural
// equality, the debugging text form, function-type accessors, typing environments and their
// lookup, queries on type variables, substitution, instantiation, generalisation,
// unification and one-way type matching.
//
// A `Type` is a cheap immutable handle that is shared freely.  Its three forms, in tag order:
//   TCon name args   a type constructor applied to argument types
//   Tid name         a type variable
//   TAbs vars body   a type scheme: body with vars universally quantified
// Function types are TCon "Arrow" [argument, result], lists TCon "List" [element], tuples
// TCon "Tuple<n>" [components...]; the base types are TCon "Int", "Float" and "Bool".
#pragma once

#include <atomic>
#include <cstdint>
#include <iterator>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "lang/names.h"
#include "support/lazy.h"
#include "scanning/string_literal.h"

namespace plim {

enum class TypeKind : std::uint8_t { TCon, Tid, TAbs };

struct TypeNode;
class Type;

class TypeArgs;

class Type {
public:
    Type(const Type& other) noexcept : node_(other.node_) { retain(); }
    Type(Type&& other) noexcept : node_(other.node_) { other.node_ = nullptr; }
    Type& operator=(const Type& other) noexcept {
        Type copy(other);
        std::swap(node_, copy.node_);
        return *this;
    }
    Type& operator=(Type&& other) noexcept {
        std::swap(node_, other.node_);
        return *this;
    }
    ~Type() {
        if (node_) drop();  // a moved-from handle costs no call
    }

    TypeKind kind() const;
    bool isTCon() const { return kind() == TypeKind::TCon; }
    bool isTid() const { return kind() == TypeKind::Tid; }
    bool isTAbs() const { return kind() == TypeKind::TAbs; }

    // The constructor name of a TCon, the variable name of a Tid.
    const std::string& name() const;
    // The argument types of a TCon.
    TypeArgs args() const;
    // The bound names of a TAbs.
    const std::vector<std::string>& boundVars() const;
    // The body of a TAbs.
    const Type& body() const;

    // A constructor term without type variables in it.
    bool isGround() const;
    // A type variable occurs in the term, bound by a scheme or free: read from the node's
    // range of variable positions, without a walk.
    bool hasTypeVars() const;
    // False when no type variable at the given position of the fresh-name sequence occurs in
    // the term (a variable named otherwise counts as occurring anywhere).
    bool mayHoldVarAt(std::uint64_t position) const;
    // The position of a Tid's name in the fresh-name sequence, when it has one that the node
    // keeps (names far along the sequence, and names outside it, have none).
    std::optional<std::uint32_t> varPosition() const;
    // A hash of the term's structure: equal types (eqType) hash alike, so types whose hashes
    // differ are not equal.  Kept in constructor terms and schemes, computed from the name for
    // a variable.
    std::uint64_t hashCode() const;
    // True when both TCons have the same constructor name.
    bool sameConName(const Type& other) const;
    // True when both handles share one node (then the types are equal).
    bool sameNode(const Type& other) const { return node_ == other.node_; }
    // The node's address: a key for caches that also hold the type (so the node stays alive).
    const void* nodeAddress() const { return node_; }
    // True when this handle is the node's only holder.
    bool soleHolder() const;

private:
    friend struct TypeBuilder;  // the builders
    friend struct TypeRelease;  // takes the children of a node that is being released

    explicit Type(TypeNode* node) noexcept : node_(node) {}  // takes over the node's first count
    void retain() const noexcept;
    void drop() noexcept;
    TypeNode* node_;
};

// The argument types of a constructor term, read in place.
class TypeArgs {
public:
    TypeArgs(const Type* first, std::size_t count) : first_(first), count_(count) {}
    const Type* begin() const { return first_; }
    const Type* end() const { return first_ + count_; }
    std::reverse_iterator<const Type*> rbegin() const { return std::reverse_iterator<const Type*>(end()); }
    std::reverse_iterator<const Type*> rend() const { return std::reverse_iterator<const Type*>(begin()); }
    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    const Type& operator[](std::size_t i) const { return first_[i]; }
    const Type& front() const { return first_[0]; }
    const Type& back() const { return first_[count_ - 1]; }
    std::vector<Type> toVector() const;

private:
    const Type* first_;
    std::size_t count_;
};

// The part every node shares: its count of holders, its form and the facts computed when it is
// built.  The fields of each form follow in a node of that form's own size (types.cpp).
struct TypeNode {
    std::atomic<std::uint32_t> refs{1};
    TypeKind kind;
    // A constructor term without type variables (its arguments ground): substitution, resolution
    // and the occurs check have nothing to do in it.
    bool ground = false;
    // A TCon's number of arguments; kWideCount: as many as the word before the node tells.
    std::uint16_t count = 0;
    static constexpr std::uint16_t kWideCount = 0xffff;
    // The lowest and highest positions in the fresh-name sequence of the type variables that
    // occur in the term (bound ones included), positions from kFarPosition on counted as
    // kFarPosition; a name outside the sequence widens the range to everything, a term without
    // variables has an empty range.
    std::uint32_t varLow = ~std::uint32_t{0};
    std::uint32_t varHigh = 0;
    static constexpr std::uint32_t kFarPosition = ~std::uint32_t{0};

    explicit TypeNode(TypeKind k) : kind(k) {}
    TypeNode(const TypeNode&) = delete;
    TypeNode& operator=(const TypeNode&) = delete;
};

// TCon: the interned constructor name, the hash of the term, then the arguments in place.
struct TypeConNode : TypeNode {
    const std::string* name;
    std::uint64_t hash = 0;  // once nobody holds the node: its link in the release list (types.cpp)
    explicit TypeConNode(const std::string* n) : TypeNode(TypeKind::TCon), name(n) {}
    Type* argsStart() { return reinterpret_cast<Type*>(this + 1); }
    const Type* argsStart() const { return reinterpret_cast<const Type*>(this + 1); }
    std::size_t argCount() const {
        return count != kWideCount ? count : reinterpret_cast<const std::size_t*>(this)[-1];
    }
};
static_assert(sizeof(TypeConNode) % alignof(Type) == 0);
struct TypeVarNode : TypeNode {
    std::string name;
    explicit TypeVarNode(std::string n) : TypeNode(TypeKind::Tid), name(std::move(n)) {}
};
struct TypeAbsNode : TypeNode {
    Type body;
    std::uint64_t hash = 0;  // once nobody holds the node: its link in the release list (types.cpp)
    std::vector<std::string> vars;
    TypeAbsNode(std::vector<std::string> v, Type b) : TypeNode(TypeKind::TAbs), body(std::move(b)), vars(std::move(v)) {}
};

inline TypeKind Type::kind() const { return node_->kind; }
inline bool Type::isGround() const { return node_->ground; }
inline bool Type::hasTypeVars() const { return node_->varLow <= node_->varHigh; }
inline bool Type::mayHoldVarAt(std::uint64_t position) const {
    const std::uint32_t at = position < TypeNode::kFarPosition ? static_cast<std::uint32_t>(position) : TypeNode::kFarPosition;
    return node_->varLow <= at && at <= node_->varHigh;
}
inline std::optional<std::uint32_t> Type::varPosition() const {
    if (node_->varLow != node_->varHigh || node_->varLow == TypeNode::kFarPosition) return std::nullopt;
    return node_->varLow;
}
// The empty name and bound-name list of the forms without them.
const std::string& noTypeName();
const std::vector<std::string>& noBoundVars();
inline const std::string& Type::name() const {
    switch (node_->kind) {
    case TypeKind::TCon: return *static_cast<const TypeConNode*>(node_)->name;
    case TypeKind::Tid: return static_cast<const TypeVarNode*>(node_)->name;
    case TypeKind::TAbs: break;
    }
    return noTypeName();
}
// The hash of a variable of that name.
std::uint64_t typeVarHash(const TypeNode& tid);
inline std::uint64_t Type::hashCode() const {
    switch (node_->kind) {
    case TypeKind::TCon: return static_cast<const TypeConNode*>(node_)->hash;
    case TypeKind::Tid: break;
    case TypeKind::TAbs: return static_cast<const TypeAbsNode*>(node_)->hash;
    }
    return typeVarHash(*node_);
}
inline bool Type::sameConName(const Type& other) const {
    return static_cast<const TypeConNode*>(node_)->name == static_cast<const TypeConNode*>(other.node_)->name;
}
inline TypeArgs Type::args() const {
    if (node_->kind != TypeKind::TCon) return TypeArgs(nullptr, 0);
    const auto* con = static_cast<const TypeConNode*>(node_);
    return TypeArgs(con->argsStart(), con->argCount());
}
inline const std::vector<std::string>& Type::boundVars() const {
    return node_->kind == TypeKind::TAbs ? static_cast<const TypeAbsNode*>(node_)->vars : noBoundVars();
}
inline const Type& Type::body() const { return static_cast<const TypeAbsNode*>(node_)->body; }
inline bool Type::soleHolder() const { return node_->refs.load(std::memory_order_acquire) == 1; }
inline void Type::retain() const noexcept {
    if (node_) node_->refs.fetch_add(1, std::memory_order_relaxed);
}
// Releases the node and every node that only it holds, one at a time (types.cpp).
void releaseTypeNode(TypeNode* node) noexcept;
inline void Type::drop() noexcept {
    if (node_ && node_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) releaseTypeNode(node_);
    node_ = nullptr;
}
inline std::vector<Type> TypeArgs::toVector() const { return std::vector<Type>(begin(), end()); }

// --- builders and reserved names ----------------------------------------------------------

inline constexpr std::string_view arrowName = "Arrow";
inline constexpr std::string_view listName = "List";
inline constexpr std::string_view tupleName = "Tuple";

Type mkTCon(std::string name, std::vector<Type> args = {});
Type mkTid(std::string name);
Type mkTAbs(std::vector<std::string> vars, Type body);
// A TCon with the name of the TCon `like` and as many arguments, moved from `args`.
Type mkTConLike(const Type& like, Type* args);

// TCon "Arrow" [argument, result].
Type mkArrow(Type argument, Type result);
inline Type arrowType(Type argument, Type result) { return mkArrow(std::move(argument), std::move(result)); }
// The right fold of mkArrow over a non-empty list: [t1, t2, t3] gives t1 -> (t2 -> t3).
Type arrowTypes(const std::vector<Type>& types);
// TCon "List" [element].
Type mkListType(Type element);
// "Tuple" followed by n in decimal: "Tuple2".
std::string tupleTypeName(std::int64_t n);
// TCon "Tuple<n>" components, n being the number of components.
Type mkTupleType(std::vector<Type> components);

// Shared constants.
const Type& intType();
const Type& floatType();
const Type& boolType();
// TAbs ["a"] (Tid "a"): the scheme whose instances are all types.
const Type& placeholderType();

// --- equality and text form ---------------------------------------------------------------

// Structural equality: same constructors, names, argument and bound-name lists, bodies.
bool eqType(const Type& a, const Type& b);
inline bool operator==(const Type& a, const Type& b) { return eqType(a, b); }
// Two constructor terms of the same constructor over the same argument nodes (equal without
// looking below their arguments).
bool sameConParts(const Type& a, const Type& b);

// The debugging text form: TCon "Arrow" [TCon "Int" [],Tid "a"], TAbs ["a"] (Tid "a");
// enclosed in parentheses when prec > 10.
std::string showsPrecType(int prec, const Type& t, const std::string& rest = {});
void appendTypeText(std::string& out, int prec, const Type& t);
// showsPrecType at precedence 0 with nothing after it.
std::string typeText(const Type& t);
// "[" the types at precedence 0 separated by "," "]".
std::string showsTypeList(const std::vector<Type>& types, const std::string& rest = {});
void appendTypeListText(std::string& out, const std::vector<Type>& types);

// --- function types -----------------------------------------------------------------------

// The argument and result of a TCon "Arrow" with exactly two arguments; anything else raises
// the user error "cannot take argument type of non-function" / "cannot take result type of
// non-function": only a tree whose type check failed (an application of a non-function the
// user wrote) has such a type where a function type belongs, and the command that met it
// fails while the session goes on.
const Type& argType(const Type& t);
const Type& resType(const Type& t);

// --- environments ---------------------------------------------------------------------------

// A list of (name, type) pairs, read from the front.  Also the list shape of substitutions.
using TypeEnv = std::vector<std::pair<std::string, Type>>;

// The result of looking a name up: Found (a type, computed when first examined) or NotFound
// (the name that was looked up).
class TypeLookup {
public:
    static TypeLookup Found(Lazy<Type> type) { return TypeLookup(std::move(type), {}); }
    static TypeLookup NotFound(std::string name) { return TypeLookup(std::nullopt, std::move(name)); }

    bool found() const { return type_.has_value(); }
    // The type of a Found (computing it now); an internal error for NotFound.
    const Type& type() const;
    const Lazy<Type>& lazyType() const;
    // The name of a NotFound.
    const std::string& name() const { return name_; }

private:
    TypeLookup(std::optional<Lazy<Type>> type, std::string name)
        : type_(std::move(type)), name_(std::move(name)) {}
    std::optional<Lazy<Type>> type_;
    std::string name_;
};

// Found with the type of the first pair with that name, else NotFound name.
TypeLookup lookupVarType(const TypeEnv& env, const std::string& name);

// The distinct first components, in order of first occurrence.
template <class Pairs>
std::vector<std::string> boundNames(const Pairs& pairs) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (const auto& p : pairs)
        if (seen.insert(p.first).second) out.push_back(p.first);
    return out;
}

// The free type variables of t, one entry per occurrence from left to right, not counting the
// names in `bound`, followed by `acc`.
std::vector<std::string> freeTypeVars(const std::vector<std::string>& bound, const Type& t,
                                      std::vector<std::string> acc = {});
// The distinct free type variables of t in order of first occurrence.
std::vector<std::string> typeVarsOf(const Type& t);
// The number of bound names of a scheme; 0 for any other type.
std::size_t numBoundVars(const Type& t);
// The constructor names in the types, in pre-order, duplicates kept.
std::vector<std::string> typeConNames(const std::vector<Type>& types);
// For each distinct name in order of first occurrence, the type of its first pair.
std::vector<Type> envBoundTypes(const TypeEnv& env);
// Each type's distinct free variables, the lists joined in order.
std::vector<std::string> typeListVars(const std::vector<Type>& types);
// The distinct free type variables of the environment's types, in order of first occurrence.
std::vector<std::string> envTypeVars(const TypeEnv& env);

// The list with duplicates removed, each element kept at its first occurrence.
std::vector<std::string> distinctNames(const std::vector<std::string>& names);

// --- substitution -----------------------------------------------------------------------------

// A type substitution in function shape: every name maps to a type; a name without a binding
// maps to Tid of itself.  Held as a persistent map from names to their types, so that copies
// are cheap and composing (substTypeOf) shares what it leaves unchanged.  The default value is
// the identity (mkTid).
class TypeSubst {
public:
    TypeSubst() = default;

    // The type for a variable name.
    Type operator()(const std::string& name) const;
    // The bound type for a name, or null when the name maps to Tid of itself by default.
    const Type* find(const std::string& name) const;
    bool isIdentity() const { return !rep_; }
    // The number of explicit bindings.
    std::size_t size() const;
    // The explicit bindings, in name order.
    std::vector<std::pair<std::string, Type>> bindings() const;

    static TypeSubst fromMap(const std::map<std::string, Type, std::less<>>& bindings);
    // Triangular bindings: a bound type may hold variables bound here, which stand for their
    // own types when it is read.  The bindings must hold no cycle and no scheme.  Composing
    // onto such a substitution bindings that hold none of its variables only adds them.
    static TypeSubst fromTriangular(const std::map<std::string, Type, std::less<>>& bindings);

    struct Rep;

private:
    explicit TypeSubst(std::shared_ptr<const Rep> rep) : rep_(std::move(rep)) {}
    friend TypeSubst substTypeOf(const TypeSubst& f, const TypeSubst& g);
    friend TypeSubst bindVar(const std::string& v, const Type& t);
    std::shared_ptr<const Rep> rep_;
};

// The identity substitution: every name v maps to Tid v.
inline TypeSubst identitySubst() { return TypeSubst(); }
// The substitution of one variable: v to t, every other x to Tid x.
TypeSubst bindVar(const std::string& v, const Type& t);

// The type with every free variable v replaced by f(v); a scheme's bound variables are never
// replaced inside it (no capture avoidance).
Type substType(const TypeSubst& f, const Type& t);
// The same with any function from a name to a type.
Type substTypeWith(const std::function<Type(const std::string&)>& f, const Type& t);
// substType f for many types that share nodes: a constructor term met again (the same node)
// gives the type built the first time, so the work is bounded by the distinct nodes.
class SharedSubst {
public:
    explicit SharedSubst(TypeSubst f) : f_(std::move(f)) {}
    Type operator()(const Type& t);

private:
    TypeSubst f_;
    // Each rebuilt node's result; the node itself is kept so that its address stays unique.
    std::unordered_map<const void*, std::pair<Type, Type>> done_;
};
// The composition "g, then f": x maps to substType f (g x).
TypeSubst substTypeOf(const TypeSubst& f, const TypeSubst& g);
// substType f applied to every type of the environment; names and order unchanged.
TypeEnv substEnv(const TypeSubst& f, const TypeEnv& env);

// List shape: the type of the first pair with that name, else Tid name.
Type substVar(const TypeEnv& s, const std::string& name);
// The list shape turned into the function shape.
TypeSubst substFromList(const TypeEnv& s);
// The list with (name, type) in front.
TypeEnv addBinding(const std::string& name, const Type& t, const TypeEnv& s);
// Each name paired with Tid of the next supply name, ending with the shorter list.
TypeEnv freshBindings(const NameList& supply, const std::vector<std::string>& names);

// The endless list of type-variable names "a", "b", ..., "z", "aa", ... (a shared constant).
NameList typeVarNames();

// The instance of a scheme with the first supply names for its bound names.  An empty supply
// gives t unchanged; a non-empty one with a TCon or Tid raises "Types:175|function inst".
Type inst(const NameList& supply, const Type& t);
// The scheme over all free variables of t, named "a", "b", ... in order of first occurrence;
// a type without free variables comes back unchanged.
Type generalise(const Type& t);
// Every type generalised over its free variables that are not in `used`, with bound names
// taken from typeVarNames without `used`.
TypeEnv renameScheme(const std::vector<std::string>& used, const TypeEnv& env);

// --- unification and matching -------------------------------------------------------------------

using TypeEquation = std::pair<Type, Type>;

enum class UnifyKind : std::uint8_t { UnifyOk, ConstructorMismatch, OccursFailure };

class UnifyResult {
public:
    static UnifyResult ok(TypeSubst unifier);
    static UnifyResult constructorMismatch(Type left, Type right);
    static UnifyResult occursFailure(std::string var, Type type);

    UnifyKind kind() const { return kind_; }
    bool isOk() const { return kind_ == UnifyKind::UnifyOk; }
    // UnifyOk: the unifier.
    const TypeSubst& unifier() const { return unifier_; }
    // ConstructorMismatch: the left and right types of the failing equation.
    const Type& left() const { return *left_; }
    const Type& right() const { return *right_; }
    // OccursFailure: the variable and the type it occurs in.
    const std::string& var() const { return var_; }
    const Type& occursIn() const { return *right_; }

private:
    UnifyKind kind_ = UnifyKind::UnifyOk;
    TypeSubst unifier_;
    std::optional<Type> left_;
    std::optional<Type> right_;
    std::string var_;
};

// The most general unifier of the equations composed onto s, or why there is none.  s is only
// extended, never applied to the equations.  A scheme meeting anything but an identical scheme
// is a constructor mismatch.
UnifyResult unify(const std::vector<TypeEquation>& eqs, const TypeSubst& s);
UnifyResult unifyPair(const Type& a, const Type& b);
UnifyResult unifyFresh(const std::vector<TypeEquation>& eqs);

// One-way matching: s extended so that the pattern p becomes t, binding only p's variables, or
// nothing.  Constructor arguments are paired as far as the shorter list reaches.
std::optional<TypeSubst> matchType(const TypeSubst& s, const Type& p, const Type& t);
// The pairs matched in order, threading the substitution.
std::optional<TypeSubst> matchAll(const TypeSubst& s, const std::vector<TypeEquation>& pairs);
std::optional<TypeSubst> matchTypeFresh(const Type& p, const Type& t);
// The matchers' one-way matching: s extended in place so that p becomes t, a variable of t that
// s binds standing for its type (the terms the matchers build carry the pattern's types, which
// follow its instantiation).  Argument lists must have equal lengths, a scheme in p matches
// nothing, and a variable is never bound to a type it occurs in (a scheme counts as holding
// every name).  On false, s may have been extended part way.
bool matchTypeInto(TypeSubst& s, const Type& p, const Type& t);

// A type or term node, by its address, with a type variable's name: the key of the answers
// that walks asking whether the variable occurs below the node keep per node.
struct NodeAndVar {
    const void* node;
    std::string var;
    bool operator==(const NodeAndVar&) const = default;
};
struct NodeAndVarHash {
    std::size_t operator()(const NodeAndVar& k) const {
        return std::hash<const void*>{}(k.node) ^ (std::hash<std::string>{}(k.var) * 31);
    }
};

}  // namespace plim
