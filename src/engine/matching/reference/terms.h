// The reference matcher's own terms: variables already split into locally bound ones (`LVar`,
// rigid) and the others (`PVar`, matchable), lambda binders reduced to variables and tuples of
// them, saturated tuple applications collapsed into one `Tupl` node.  Conversion from and back
// to expressions, the derived text forms and the paths into terms.
//
// A `Term` is a cheap immutable handle; every node carries the type of the node it came from.
// Each node also knows whether a pattern variable or a type variable occurs anywhere below it,
// so the matcher's repeated questions about them cost nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/substitutions.h"
#include "engine/matching/term_text.h"
#include "engine/matching/term_vocabulary.h"
#include "lang/constants.h"
#include "support/finite_maps.h"
#include "lang/syntax.h"
#include "lang/types.h"

namespace plim::ref {

// --- binders --------------------------------------------------------------------------------

// LamVar name | LamTup binders.
class LamBinding {
public:
    static LamBinding LamVar(std::string name);
    static LamBinding LamTup(std::vector<LamBinding> elems);

    bool isVar() const { return node_->isVar; }
    const std::string& name() const { return node_->name; }
    const std::vector<LamBinding>& components() const { return node_->elems; }

private:
    struct Node {
        bool isVar;
        std::string name;
        std::vector<LamBinding> elems;
        // Binders nested to any depth are released one at a time from a work list.
        ~Node();
    };
    explicit LamBinding(std::shared_ptr<const Node> n) : node_(std::move(n)) {}
    std::shared_ptr<const Node> node_;
};

inline LamBinding LamVar(std::string name) { return LamBinding::LamVar(std::move(name)); }
inline LamBinding LamTup(std::vector<LamBinding> elems) { return LamBinding::LamTup(std::move(elems)); }

// --- terms ----------------------------------------------------------------------------------

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
    // Tupl: the elements.
    const std::vector<Term>& elems() const;
    // The last field of every node.
    const Type& type() const;

    // A PVar occurs in the term.
    bool hasPVar() const;
    // A type variable occurs in some type annotation of the term.
    bool hasTypeVars() const;
    // An LVar occurs in the term (bound inside it or not).
    bool hasLVar() const;
    // A lambda occurs in the term.
    bool hasLam() const;
    // A constructor constant occurs in the term.
    bool hasConstr() const;

    bool sameNode(const Term& other) const { return node_ == other.node_; }

private:
    friend struct TermBuilder;
    friend struct TermNode;
    explicit Term(std::shared_ptr<const TermNode> n) : node_(std::move(n)) {}
    std::shared_ptr<const TermNode> node_;
};

struct TermNode {
    TermKind kind;
    bool hasPVar = false;
    bool hasTypeVars = false;
    bool hasLVar = false;
    bool hasLam = false;
    bool hasConstr = false;
    // What self_typed_applications.h asks of the node, once worked out (negative: not yet).
    mutable std::int8_t selfTyped = -1;
    std::string name;
    std::optional<Constant> constant;
    std::optional<LamBinding> binder;
    std::vector<Term> children;  // Ap: function, argument; Lam: body; Tupl: elements
    Type type;

    TermNode(TermKind k, Type t) : kind(k), type(std::move(t)) {}
    TermNode(const TermNode&) = delete;
    TermNode& operator=(const TermNode&) = delete;
    // Releases the subterms only this node holds without deep recursion.
    ~TermNode();
};

inline TermKind Term::kind() const { return node_->kind; }
inline const std::string& Term::name() const { return node_->name; }
inline const Constant& Term::constant() const { return *node_->constant; }
inline const Term& Term::fun() const { return node_->children[0]; }
inline const Term& Term::arg() const { return node_->children[1]; }
inline const LamBinding& Term::binder() const { return *node_->binder; }
inline const Term& Term::body() const { return node_->children[0]; }
inline const std::vector<Term>& Term::elems() const { return node_->children; }
inline const Type& Term::type() const { return node_->type; }
inline bool Term::hasPVar() const { return node_->hasPVar; }
inline bool Term::hasTypeVars() const { return node_->hasTypeVars; }
inline bool Term::hasLVar() const { return node_->hasLVar; }
inline bool Term::hasLam() const { return node_->hasLam; }
inline bool Term::hasConstr() const { return node_->hasConstr; }

Term LVar(std::string name, Type type);
Term PVar(std::string name, Type type);
Term Con(Constant k, Type type);
Term Ap(Term f, Term x, Type type);
Term Lam(LamBinding b, Term body, Type type);
Term Tupl(std::vector<Term> elems, Type type);

inline const Type& termType(const Term& t) { return t.type(); }

}  // namespace plim::ref

// The leaves and binders that the operations written once build (term_vocabulary.h).
template <>
struct plim::TermMakers<plim::ref::Term> {
    using Term = ref::Term;
    static Term lvar(std::string n, Type t) { return ref::LVar(std::move(n), std::move(t)); }
    static Term pvar(std::string n, Type t) { return ref::PVar(std::move(n), std::move(t)); }
    static Term constr(const std::string& n, Type t) { return ref::Con(mkConstr(n), std::move(t)); }
    static ref::LamBinding var(std::string n) { return ref::LamVar(std::move(n)); }
};

namespace plim::ref {

// The problem (p, t) has no solution whatever is bound: p must meet an application that no
// binding can type (self_typed_applications.h).
bool problemMatchesNothing(const Term& p, const Term& t);

// The subterms a walk enters: function and argument, a lambda's body, the tuple elements.
inline const std::vector<Term>& subterms(const Term& t) {
    static const std::vector<Term> none;
    switch (t.kind()) {
    case TermKind::Ap:
    case TermKind::Lam:
    case TermKind::Tupl: return t.elems();
    default: return none;
    }
}

// The same node with new subterms (in the order of `subterms`, none for a leaf) and the given
// type, its other fields kept.
Term withSubterms(const Term& t, std::vector<Term> children, Type type);
// The node itself when no subterm changed, else a copy with the new subterms.
Term rebuilt(const Term& t, std::vector<Term> children);

// --- steps and paths ------------------------------------------------------------------------

enum class StepKind : std::uint8_t { First, Second, Body, TupElem };

struct TermStep {
    StepKind kind;
    std::int32_t position = 0;  // TupElem
    bool operator==(const TermStep&) const = default;
};
inline constexpr TermStep First{StepKind::First};
inline constexpr TermStep Second{StepKind::Second};
inline constexpr TermStep Body{StepKind::Body};
inline TermStep TupElem(std::int32_t i) { return TermStep{StepKind::TupElem, i}; }

// A path from the root, outermost step first.
using Path = std::vector<TermStep>;

// --- text forms -------------------------------------------------------------------------------

// The constructor forms: "LVar \"x\" (Tid \"a\")", "Lam (LamVar \"x\") ...", "TupElem 2";
// in parentheses when prec > 10 (engine/matching/term_text.h).
using term_text::appendBinding;
using term_text::appendStep;
using term_text::appendTerm;
using term_text::show;
using term_text::showList;

// --- conversion -------------------------------------------------------------------------------

// A variable named in `bound` (newest binder first) becomes LVar, any other PVar.  A local
// definition raises "ReferenceMatching:138|function convert'"; a lambda pattern that is
// neither a variable nor a tuple of them raises "can't handle non-variable/tuple lambda
// bindings".  Long spines and deep nesting cost no stack.
Term convert(const std::vector<std::string>& bound, const Expr& e);
inline Term convertClosed(const Expr& e) { return convert({}, e); }
// The term side of a match: e converted with the context's variables frozen, that is
// freezeLocals(context, convert(context, e)) (term_operations.h).  The nodes are remembered
// per context and per set of names that e's lambdas bind around them, on this thread (about as
// many as the latest walks read), so a match at every subexpression of one expression, nested
// lambdas included, converts each node once per context and set, not once per enclosing
// subexpression.
Term convertFrozen(const std::vector<std::string>& context, const Expr& e);

// The expression again: a binder's type comes from its lambda's argument type, a tuple is
// rebuilt with the pair (triple, ...) constant from its elements' types.
Expr unconvert(const Term& t);

// The arguments of a saturated tuple application, in source order.
std::optional<std::vector<Expr>> saturatedTupleArgs(const Expr& e);
// The tuple constant applied to the elements.
Expr mkTupleExpr(const std::vector<Expr>& es);
// The binder of a converted lambda pattern and the names it binds, left to right.
std::pair<LamBinding, std::vector<std::string>> convertBinding(const Term& p);
// The component types of a "Tuple..." type; any other raises
// "ReferenceMatching:210|function gettupletypes".
TypeArgs gettupletypes(const Type& t);
// The binder rebuilt as a lambda pattern of type t.
Expr bindingToExpr(const Type& t, const LamBinding& b);
// The binder rebuilt as a term of type t: LVar for a variable, Tupl for a tuple.
Term bindingToTerm(const Type& t, const LamBinding& b);

// --- bindings -----------------------------------------------------------------------------------

using VarMap = FiniteMap<std::string, Term>;

// (variable map, type substitution).
struct Bindings {
    VarMap vars;
    TypeSubst types;
};
const Bindings& identityBindings();
inline bool isIdentity(const Bindings& b) { return b.vars.isEmpty() && b.types.isIdentity(); }

// The map's entries in ascending name order, each converted back; the types kept.
MatchResult unconvertBindings(const Bindings& b);
// The substitution's pairs converted closed and collected into a map (a later pair for a name
// wins); the types kept.
Bindings convertBindings(const MatchResult& r);

}  // namespace plim::ref
