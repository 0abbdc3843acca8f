// The fast matcher's own terms: variables classified once as bound (`LVar`) or matchable
// (`PVar`), saturated tuples folded into one `Tupl` node, lambda binders reduced to a
// variable or a nested tuple of variables.  Positions inside terms, replacement at a
// position, and the small questions the matcher asks of terms again and again.
//
// A `Term` is a cheap handle to an immutable node.  Every node knows at once whether its
// subtree holds a `PVar`, an `LVar` or a constructor constant, and its size; whether it holds
// a type variable, its free local variables, its rigid symbols and its eta-normal form are
// worked out on first request and kept with the node.  Long spines are destroyed iteratively.
#pragma once

#include <cstdint>
#include <map>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/matching/binder_walks.h"
#include "engine/matching/local_renaming.h"
#include "engine/matching/term_text.h"
#include "engine/matching/term_vocabulary.h"
#include "engine/matching/vocabulary_operations.h"
#include "lang/constants.h"
#include "lang/syntax.h"
#include "lang/types.h"
#include "support/tree_walk.h"

namespace plim::fast {

// ---------------------------------------------------------------------------------------
// Binders
// ---------------------------------------------------------------------------------------

enum class BindingKind : std::uint8_t { LamVar, LamTup };

// LamVar name | LamTup components.  The binder of a lambda whose pattern is neither a
// variable nor a tuple of variables is a refused binder: examining it raises "can't handle
// non-variable/tuple lambda bindings".
class LamBinding {
public:
    LamBinding() = default;
    LamBinding(const LamBinding&) = default;
    LamBinding(LamBinding&&) noexcept = default;
    // Assignment goes through a copy, so components held only here are released by the
    // destructor's iterative walk.
    LamBinding& operator=(LamBinding other) noexcept {
        std::swap(kind_, other.kind_);
        std::swap(refused_, other.refused_);
        name_.swap(other.name_);
        components_.swap(other.components_);
        return *this;
    }
    ~LamBinding() {
        if (components_) releaseComponents();
    }

    BindingKind kind() const {
        if (refused_) refuse();
        return kind_;
    }
    bool isVar() const { return kind() == BindingKind::LamVar; }
    const std::string& name() const {
        if (refused_) refuse();
        return name_;
    }
    const std::vector<LamBinding>& components() const;
    // Both are tuples sharing their very components (so equal).
    bool sameComponents(const LamBinding& other) const {
        return components_ != nullptr && components_ == other.components_;
    }

private:
    friend LamBinding LamVar(std::string name);
    friend LamBinding LamTup(std::vector<LamBinding> components);
    friend LamBinding refusedBinding();
    [[noreturn]] static void refuse();
    // Tuples nested to any depth are released one at a time from a work list.
    void releaseComponents();
    BindingKind kind_ = BindingKind::LamVar;
    bool refused_ = false;
    std::string name_;
    std::shared_ptr<const std::vector<LamBinding>> components_;
};

LamBinding LamVar(std::string name);
LamBinding LamTup(std::vector<LamBinding> components);
LamBinding refusedBinding();

using term_ops::anyBinderName;

// ---------------------------------------------------------------------------------------
// Terms
// ---------------------------------------------------------------------------------------

enum class TermKind : std::uint8_t { LVar, PVar, Con, Ap, Lam, Tupl };

struct TermNode;
struct TermStep;

class Term {
public:
    // The names of the matchers' common vocabulary (engine/matching/term_vocabulary.h).
    using Kind = TermKind;
    using Binding = LamBinding;
    using Step = TermStep;

    TermKind kind() const;
    bool is(TermKind k) const { return kind() == k; }

    // LVar, PVar: the name.
    const std::string& name() const;
    // Con: the constant.
    const Constant& constant() const;
    // Ap: function and argument.
    const Term& fun() const;
    const Term& arg() const;
    // Lam: binder and body.
    const LamBinding& binder() const;
    const Term& body() const;
    // Tupl: the elements, first component first.
    const std::vector<Term>& elems() const;
    // The type field (every constructor's last field).
    const Type& type() const;

    // Facts about the whole subtree, known without a walk.
    bool hasPVar() const;
    bool hasLVar() const;
    bool hasConstr() const;
    bool hasLam() const;
    // Whether some type of the subtree has a type variable: worked out on first request.
    bool hasTypeVars() const;
    // The number of nodes (saturating).
    std::uint32_t size() const;
    // Read as a pattern, the term is first order: constants that equal only what their rigid
    // symbol keys alike (no error constant, no NaN), applications, tuples and pattern
    // variables, no variable twice; with `rigidHeads`, no application has a flexible head.
    // Worked out on first request.
    bool firstOrderPattern(bool rigidHeads) const;

    // The expression the node was converted from, when converting the node back gives that
    // very expression; null for every node built otherwise.
    const Expr* origin() const;
    // Some other handle holds the node too (for a child: something besides its parent).
    bool heldElsewhere() const;

    bool sameNode(const Term& other) const { return node_ == other.node_; }
    const TermNode* node() const { return node_; }

    // A term's nodes are counted plainly, as everything the matcher builds on demand: they are
    // read and dropped by one thread at a time (they keep what is learnt about them).
    Term(const Term& other) noexcept;
    Term(Term&& other) noexcept : node_(other.node_) { other.node_ = nullptr; }
    Term& operator=(const Term& other) noexcept {
        Term copy(other);
        std::swap(node_, copy.node_);
        return *this;
    }
    Term& operator=(Term&& other) noexcept {
        std::swap(node_, other.node_);
        return *this;
    }
    ~Term();

private:
    friend struct TermBuilder;
    friend struct TermNode;
    Term() = default;  // only inside nodes, for fields a form does not have
    // Takes over a node nobody holds yet.
    explicit Term(const TermNode* n) noexcept;
    // Destroys a node whose last holder has gone, and the children only it held.
    static void release(const TermNode* n) noexcept;
    const TermNode* node_ = nullptr;
};

Term LVar(std::string name, Type type);
Term PVar(std::string name, Type type);
Term Con(Constant constant, Type type);
Term Ap(Term fun, Term arg, Type type);
Term Lam(const LamBinding& binder, Term body, Type type);
Term Lam(LamBinding&& binder, Term body, Type type);
Term Tupl(std::vector<Term> elems, Type type);
// The node just built by the conversion, marked as converting back to `e`.
Term withOrigin(Term t, const Expr& e);
// The same for a node the conversion back has just converted to `e` (a cache, like the
// node's other facts): the node's types hold no variable, or `e` keeps them as they are.
void keepConversion(const Term& t, const Expr& e);  // inline, in term_node.h

}  // namespace plim::fast

// The leaves and binders that the operations written once build (term_vocabulary.h).
template <>
struct plim::TermMakers<plim::fast::Term> {
    using Term = fast::Term;
    static Term lvar(std::string n, Type t) { return fast::LVar(std::move(n), std::move(t)); }
    static Term pvar(std::string n, Type t) { return fast::PVar(std::move(n), std::move(t)); }
    static Term constr(const std::string& n, Type t) { return fast::Con(mkConstr(n), std::move(t)); }
    static fast::LamBinding var(std::string n) { return fast::LamVar(std::move(n)); }
};

namespace plim::fast {

// ---------------------------------------------------------------------------------------
// Steps and paths
// ---------------------------------------------------------------------------------------

enum class StepKind : std::uint8_t { First, Second, Body, TupElem };

struct TermStep {
    StepKind kind;
    std::int32_t position = 0;  // TupElem
};
inline constexpr TermStep First{StepKind::First, 0};
inline constexpr TermStep Second{StepKind::Second, 0};
inline constexpr TermStep Body{StepKind::Body, 0};
inline TermStep TupElem(std::int32_t position) { return TermStep{StepKind::TupElem, position}; }

inline bool operator==(const TermStep& a, const TermStep& b) {
    return a.kind == b.kind && (a.kind != StepKind::TupElem || a.position == b.position);
}

// A position inside a term, outermost step first.
using Path = std::vector<TermStep>;

// The printed forms (derived constructor notation) and the operations written once for both
// matchers' terms.
using term_text::appendBinding;
using term_text::appendStep;
using term_text::appendTerm;
using term_text::show;
using term_text::showList;
using term_ops::binderNames;
using term_ops::matchBinders;
using term_ops::occursLVar;
using term_ops::stripLams;

// ---------------------------------------------------------------------------------------
// Term operations
// ---------------------------------------------------------------------------------------

const Type& termType(const Term& t);
// Every LVar x turned into PVar x.
Term freeLVar(const std::string& x, const Term& t);

// ---------------------------------------------------------------------------------------
// Rebuilding
// ---------------------------------------------------------------------------------------

// The node u of an inner kind rebuilt from new children (function and argument, body, or
// elements), u itself when none changed.
Term rebuildNode(const Term& u, std::vector<Term>& kids, bool changed);
// The same, with `changed` found by comparing the children (term_vocabulary.h).
Term rebuilt(const Term& u, std::vector<Term>& kids);

using term_ops::mapTerm;

// ---------------------------------------------------------------------------------------
// Positions and replacement
// ---------------------------------------------------------------------------------------

// All positions at once, in pre-order (the whole term first, function before argument,
// elements in order): each subterm with the index of its parent and the step from there, so
// that a path is built only when asked for.  Linear in the size, with no allocation per
// position; the table keeps the whole term alive.
class PositionTable {
public:
    explicit PositionTable(Term root);
    // The table of another term, in the storage of this one.
    void reset(Term root);
    std::size_t size() const { return entries_.size(); }
    // The number of positions the storage holds without growing.
    std::size_t capacity() const { return entries_.capacity(); }
    const Term& term(std::size_t i) const { return i == 0 ? root_ : *entries_[i].term; }
    Path path(std::size_t i) const;
    // The same into `out`, whose storage is reused.
    void pathInto(std::size_t i, Path& out) const;
    // replaceAtEta of the path to position i: the root with that subterm replaced.
    Term replacedAt(std::size_t i, const Term& replacement) const;

private:
    struct Entry {
        const Term* term;     // inside the root's nodes; unused for the root itself
        std::int32_t parent;  // -1 for the root
        TermStep step;
    };
    Term root_;
    std::vector<Entry> entries_;
};
// The node t with the child that the step enters replaced (for replaceAt and the rest, which
// are written once for both matchers: engine/matching/vocabulary_operations.h).  The small
// nodes rebuilt lately come back as the same nodes, with what was learnt about them.
Term withChild(const Term& t, const TermStep& s, Term&& c);
using term_ops::replaceAll;
using term_ops::replaceAt;
using term_ops::replaceAtEta;
}  // namespace plim::fast

// Instantiated once, in term_operations.cpp: the hot callers (the candidates' abstraction)
// keep the code around them as it was compiled before these were shared.
namespace plim::term_ops {
extern template fast::Term replaceAt(const fast::Path&, const fast::Term&, const fast::Term&);
extern template fast::Term replaceAll(const std::vector<const fast::Path*>&, const fast::Term&, const fast::Term&);
extern template fast::Term replaceAll(const std::vector<fast::Path>&, const fast::Term&, const fast::Term&);
extern template fast::Term replaceAtEta(const fast::Path&, const fast::Term&, const fast::Term&);
}  // namespace plim::term_ops
// The same for thawing, in renaming.cpp.
namespace plim::local_renaming {
extern template fast::Term thawLocals(const std::vector<std::string>&, const fast::Term&);
extern template fast::Term thawLocalsAs(const NameMap&, const fast::Term&);
}  // namespace plim::local_renaming

namespace plim::fast {

using term_ops::freeLocalsOf;
// The walk with the names bound above each subterm, as the term operations and the
// candidates' body hash go down a term (engine/matching/vocabulary_operations.h).
using term_ops::walkScoped;
// The distinct free local names of t, sorted (kept with the node after the first request).
const std::vector<std::string>& freeLocalSet(const Term& t);
bool isFreeLocal(const std::string& x, const Term& t);  // inline, in term_node.h
bool hasFreeLocals(const Term& t);  // inline, in term_node.h
// What hasFreeLocals answers when the node's facts do not: from freeLocalSet, and kept.
bool hasFreeLocalsBelow(const Term& t);
// Records what its builder knows: t has no free local variable (every local variable in it is
// bound by a lambda of t), so that asking costs no walk.
void recordClosed(const Term& t);

bool flexibleHead(const Term& t);

// The problem (p, t) has no solution whatever is bound: p must meet an application that no
// binding can type (self_typed_applications.h).
bool problemMatchesNothing(const Term& p, const Term& t);

// A symbol that a term must contain for a pattern to match it.
enum class RigidKind : std::uint8_t { RigidVar, RigidCon };
struct Rigid {
    RigidKind kind;
    std::string name;                 // RigidVar
    std::optional<Constant> constant; // RigidCon
};
// A text that two rigid symbols share exactly when they are equal; nothing for a symbol
// equal to nothing (a NaN constant).
std::optional<std::string> rigidKey(const Rigid& r);
std::vector<Rigid> rigidSymbols(const Term& p);
// Every rigid symbol of the pattern is among those of the term (cached per node); inline, in
// term_node.h.
bool mayMatch(const Term& p, const Term& t);
// The same for a pattern that requires some symbol.
bool mayMatchRequired(const Term& p, const Term& t);

// Freezing, renaming and opening of local variables are written once for both matchers
// (engine/matching/local_renaming.h).
using local_renaming::freezeLocals;
using local_renaming::freezeLocalsAs;
using local_renaming::leadingLamVars;
using local_renaming::openLeadingLams;
using local_renaming::renameLocal;
using local_renaming::renameLocals;
using local_renaming::thawLocals;
using local_renaming::thawLocalsAs;
using NameMap = std::map<std::string, std::string>;

// --- renaming without capture ------------------------------------------------------------

using local_renaming::collectNames;
// Such names never come from a name supply, whose names are letters only.
using local_renaming::freshVariant;
// The names that some terms use, collected when first needed.
class NamesInUse {
public:
    explicit NamesInUse(std::vector<const Term*> terms) : terms_(std::move(terms)) {}
    std::unordered_set<std::string>& get();

private:
    std::vector<const Term*> terms_;
    std::optional<std::unordered_set<std::string>> names_;
};
// The free LVars named as keys renamed to their values at once.  A lambda inside t whose
// binder would capture a renamed variable gets a fresh binder (a variant not in use) first.
Term renameFreeLocals(const NameMap& renaming, const Term& t, NamesInUse& used);
inline LamBinding renameBinder(const LamBinding& b, const NameMap& renaming) {
    return local_renaming::renameBinder<Term>(b, renaming);
}
using term_ops::bindersOnPath;

using term_ops::binderIsArgument;
using term_ops::etaReduce;
using term_ops::isEtaRedex;
Term etaNormalise(const Term& t);
// etaNormalise(t) is not t itself: some lambda of t is an eta redex.  Nothing is rebuilt.
bool holdsEtaRedex(const Term& t);
// Equality up to eta and the renaming of lambda-bound variables, types compared everywhere.
bool termEq(const Term& s, const Term& t);

}  // namespace plim::fast

// The term node, for the accessors' inline definitions.
#include "engine/matching/fast/term_node.h"

static_assert(plim::TermVocabulary<plim::fast::Term>);
