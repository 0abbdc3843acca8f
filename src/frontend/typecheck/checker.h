// The type checker: type inference for expressions, equations, theories, definition lists
// and data declarations, with its reports and the rewrite rules that checking produces.
//
// Checking runs in two passes over the parsed trees:
//   - a syntactic pass, which needs no types: the names a definition defines, its free
//     variables, the constructors it uses, its plain tree and its rewrite rules
//     (`declSyntax`, `dlistSyntax`);
//   - a type pass, which threads one `CheckState` (the fresh-name supply and the type
//     substitution found so far) through the nodes in checking order.  The typed trees and
//     the report texts read the substitution when they are first read, so they must be read
//     only after the whole root has been checked; they then see the root's final
//     substitution.
//
//   TheoryCheck tc = checkTheory(theory.elems, lazyEnv, lazyTable);
//   writeTheoryErrors(tc.messages, std::cout);   // reports in order; fatal values fire here
//   const std::vector<Rule>& rules = tc.rules.get();
//
// Program checking (blocks, source elements, transformation blocks) is built on top of
// `checkDList`, `dlistSyntax`, `declSyntax` and `checkTheory` by the program assembly.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "frontend/printer/theories.h"
#include "frontend/typecheck/position_set.h"
#include "support/address_table.h"
#include "support/finite_maps.h"
#include "lang/syntax.h"
#include "lang/types.h"
#include "support/lazy.h"

namespace plim {

class BoundScope;

// ---------------------------------------------------------------------------------------------
// Reports
// ---------------------------------------------------------------------------------------------

// A list of reports, each a complete multi-line text ending in "\n".  Lazy: a report is
// built when its cell is first read, and a fatal value (a DEFINITION header checked outside
// a transformation block) fires only when its cell is reached.
using Messages = List<std::string>;

// The reports of a, then those of b (b examined only once a is exhausted).
Messages appendMessages(const Messages& a, const Messages& b);
// The reports one after another as one text.  Reaching a fatal cell raises its error.
std::string concatTheoryErrors(const Messages& messages);
// The reports written to `out` one at a time (flushed), so the reports before a fatal cell
// are written before its error is raised.
void writeTheoryErrors(const Messages& messages, std::ostream& out);

// ">TYPE ERROR near line " line "\n" detail "\n" and the reason, when u failed; else nothing.
std::vector<std::string> typeerror(const UnifyResult& u, std::int32_t line, const std::string& detail);
// The reason text of a failed unification (">mismatch of type constructors\n>between type: "
// ... or ">occurs check failed for type variable: " ...).  UnifyOk raises
// "Infer:50|function erroruni".
std::string erroruni(const UnifyResult& u);
// ">TYPE ERROR near line " line "\n" detail "\n>declaration of built-in type: " name "\n": a
// data declaration whose type has the name of a built-in type, which it would take over.
std::string builtinTypeError(std::int32_t line, const std::string& detail, const std::string& typeName);
// ">UNDEFINED near line " line " : " name "\n" for a NotFound; Found raises
// "Infer:61|function errorapp".
std::string errorapp(const TypeLookup& lookup, std::int32_t line);

// ---------------------------------------------------------------------------------------------
// Definition rules
// ---------------------------------------------------------------------------------------------

// The rules of one name.  Lazy, because a table entry that merges two tables may hold an error
// that fires only when the entry is used.
using CeqList = Lazy<std::vector<Ceq>>;
// The definition-rule table: a definition's name to its rules.
using DefnRules = FiniteMap<std::string, CeqList>;

// The string order used by every table of the checker.
using NameOrd = NaturalOrd;

// The table mapping each of `names` to the one rule Ceq (prefix ++ names joined by ",") NoEq
// (Eqn lhs rhs) 0 of a Fun declaration.  Any other declaration raises
// "Infer:32|function makedefnrewrite" when an entry is used.
DefnRules makedefnrewrite(const std::string& prefix, const std::vector<std::string>& names, const Decl& decl);
// plusCombFM of the two tables where, for a name in both, the second table's rules stand in
// front of the first's (the combination computed when the entry is read).
DefnRules unionRulesRestFirst(const DefnRules& first, const DefnRules& second);
// The rules of a list of (defined names, declaration) pairs labelled "definition of ".
DefnRules rulesOfDefinitions(const std::vector<std::pair<std::vector<std::string>, Decl>>& pairs);
// Theory of: every rule of the table (names ascending, each name's rules in order) as a
// CeqTheo element in front of theo.
Theory addDefinitionRules(const DefnRules& table, const Theo& theo);

// ---------------------------------------------------------------------------------------------
// Environments and the state of a type pass
// ---------------------------------------------------------------------------------------------

// A typing environment: names to types (monotypes or schemes), the binding put in front last
// hiding earlier ones.  Persistent: extending shares the rest.  The types are stored as they
// were bound; the checker applies the substitution found so far when it looks them up.
class CheckEnv {
public:
    CheckEnv() = default;
    // The first pair of a name wins, as a lookup of the list would find it.
    static CheckEnv fromTypeEnv(const TypeEnv& env);

    // The environment with (name, t) in front.
    CheckEnv with(const std::string& name, const Type& t) const;
    // The environment with the pairs in front (the first pair of a name in front of all).
    CheckEnv with(const TypeEnv& pairs) const;

    // The type bound to the name, as it was bound.
    std::optional<Type> lookup(const std::string& name) const;
    bool binds(const std::string& name) const;
    // The distinct names bound, in name order.
    std::vector<std::string> names() const;
    std::size_t size() const;

    struct Entry {
        Type type;
        std::uint64_t id;  // identifies the binding (a later binding of the name has another)
        bool open;         // the type has free type variables
    };
    // The bindings whose types had free type variables when bound, newest first, and the
    // bindings without them that hide such a binding of their name; a shadowed binding is
    // told by its entry id, which differs from the name's entry.
    struct OpenCell {
        std::string name;
        std::uint64_t id;
        Type type;
        bool open;           // false: a binding without free type variables that hides one
        std::size_t depth;   // the number of cells below this one
        std::shared_ptr<const OpenCell> next;
    };
    const FiniteMap<std::string, Entry>& entries() const { return map_; }
    const std::shared_ptr<const OpenCell>& openBindings() const { return open_; }

private:
    FiniteMap<std::string, Entry> map_;
    std::shared_ptr<const OpenCell> open_;
};

// One type pass: the supply of fresh type-variable names (typeVarNames from "a", consumed
// from the front) and the substitution found so far.  Shared by every node of one root;
// mutable while the pass runs, read by the typed trees and reports afterwards.
class CheckState {
public:
    // A pass whose supply starts at "a" and whose substitution is the identity.
    static std::shared_ptr<CheckState> fresh();
    // A pass whose supply starts after `used` names and whose substitution is the identity.
    static std::shared_ptr<CheckState> startingAfter(std::uint64_t used);

    // The next fresh name, consumed.
    std::string freshName();
    // The remaining supply.
    NameList supply() const;
    // The number of names consumed so far.
    std::uint64_t used() const { return next_; }
    // The place in the supply of the next fresh name, consumed (its name is nthName of it).
    std::uint64_t reserveName() { return next_++; }

    // The type with the substitution found so far applied.
    Type resolve(const Type& t) const;
    // The same for reading the typed trees once the pass is over: each constructor term met is
    // resolved once (a cache kept until the next binding).
    Type resolveFinal(const Type& t) const;
    // Unifies the equations under the substitution found so far and, when they unify, adds the
    // unifier to the substitution; a failure leaves the substitution unchanged.  The result's
    // types are resolved as of the failure; a success carries no unifier (it is in the state).
    UnifyResult unifyIn(const std::vector<TypeEquation>& eqs);
    // The type t stands for at its top: t itself unless it is a bound variable, else the end of
    // its chain of bindings (the chain is pointed at its end).
    Type headOf(const Type& t);
    // The free type variables of the environment's bindings, after the substitution, in order
    // of first occurrence: a walk of every binding.
    std::vector<std::string> envTypeVars(const CheckEnv& env) const;
    // The same set kept from one environment to the next (env_levels.cpp).  `enterEnv` makes
    // env the environment it is kept for: the bindings env shares with the one entered last
    // stay as they are, the others are dropped and env's new ones added; unification keeps it
    // up to date.  The two questions are answered for the environment entered last.
    void enterEnv(const CheckEnv& env);
    // The variable occurs free in the environment.
    bool freeInEnv(const std::string& var) const;
    // The first place in the fresh-name sequence from `position` on whose name does not occur
    // free in the environment.
    std::uint64_t nextNameNotInEnv(std::uint64_t position) const;
    // The substitution as an explicit map (for tests and for callers that need a TypeSubst).
    TypeSubst asSubst() const;

private:
    // A variable's binding: its type, and the number of bindings made when that type was last
    // found fully resolved (no binding since means no need to look at it again); kUnbound for a
    // variable without a binding.
    struct Bound {
        Type type;
        std::uint64_t resolvedAt;
        bool bound() const { return resolvedAt != kUnbound; }
    };
    static constexpr std::uint64_t kUnbound = ~std::uint64_t{0};
    struct Resolver;
    struct Unifier;
    // The place by which a variable is kept: its position in the fresh-name sequence, or
    // nothing when it is kept by name.
    static std::optional<std::uint32_t> keptPosition(const Type& tid);
    static std::optional<std::uint32_t> keptPosition(const std::string& name);
    // The binding of a variable (a Tid), or null.
    Bound* boundType(const Type& tid) const;
    // The end of t's chain of bindings: t unbound, a variable without a binding or a type that
    // is not a variable.  Every link of a chain longer than one is pointed at its end, which
    // resolves every variable on it to the same type, so that a chain is walked once; the
    // links are recorded as they were in `shortened` when given (a failed unification puts
    // them back).
    Type followChain(const Type& t, std::vector<std::pair<Type, Bound>>* shortened);
    void bind(const Type& tid, const Type& t);
    void unbind(const Type& tid);
    // The variables of t's nodes not looked at before are marked as held by a binding; the
    // nodes newly looked at are added to `seen`.
    void noteHeld(const Type& t, std::vector<const void*>& seen);
    bool isHeld(const Type& tid) const;
    // True when the variable tid is free in t with the substitution applied.
    bool occurs(const Type& tid, const Type& t) const;

    std::uint64_t next_ = 0;
    // Each bound variable's type, triangular: a bound type may hold variables bound later.
    // Lookups store the fully resolved type back; unification points a chain of variables at
    // its end (taken back with the bindings when it fails).  Names of the fresh-name sequence
    // are kept by their position in it, any other name by the name.
    mutable std::vector<Bound> boundByPosition_;
    mutable std::unordered_map<std::string, Bound> boundByName_;
    // Resolved constructor terms by node, valid while no binding has been added since
    // (`resolvedMade_` is the number of bindings when the entries were made); the type itself
    // is kept so its node stays alive.
    using Resolved = std::optional<std::pair<Type, Type>>;  // the node's type and its result
    mutable AddressTable<Resolved> resolved_;
    mutable std::uint64_t resolvedMade_ = 0;
    // The constructor terms without variables that resolving for the typed trees has built, one
    // node for each distinct term (a type written once for every use of a constructor comes out
    // of resolution the same each time).
    class GroundTerms {
    public:
        // The node kept for a term equal to t (a ground constructor term whose arguments are
        // such nodes or other ground terms), t itself when it is the first.
        Type share(Type t);

    private:
        std::vector<std::optional<Type>> slots_;
        std::size_t size_ = 0;
        static std::size_t hashOf(const Type& t);
        void grow();
    };
    mutable GroundTerms groundTerms_;
    std::uint64_t made_ = 0;
    // The variables that occur in some binding's type (or did: the marks are never taken
    // back), by position in the fresh-name sequence or by name, and the nodes already looked at
    // for them that other holders may reach again (a node held only by its parent is reached
    // again only through it), which the types as they were bound keep alive: a variable not
    // marked can occur in a type only where it is written, which the occurs check tests first.
    std::vector<bool> heldByPosition_;
    std::unordered_set<std::string> heldByName_;
    AddressSet heldNodes_;
    // The types as bound whose nodes were recorded in heldNodes_ (resolution may replace a
    // binding's type), which keep those nodes alive.
    std::vector<Type> boundTypes_;

    // --- the free variables of the environment entered last (env_levels.cpp) ---
    // The environment is kept as a stack of slots, one per cell of its chain, oldest first.  A
    // variable's level is the lowest visible slot whose type holds it free once the
    // substitution is applied (kNoLevel: none), and a bound variable's the lowest whose type
    // reaches it, so the variables of its binding are at that level or lower.  A variable
    // free in the environment is an unbound one with a level.  Levels only fall as bindings
    // are made; a slot dropped from the top takes its level away from the variables at it
    // (no slot above it is left to hold them).  Each slot also keeps the variables at its level
    // that a higher slot was found to hold as well (a walk stopped at them, or they fell from
    // that slot's level to this one), so a slot hidden by a later binding of its name hands
    // its variables on to those slots without a walk of the slots in between.
    static constexpr std::uint32_t kNoLevel = ~std::uint32_t{0};
    static constexpr std::size_t kNoSlot = ~std::size_t{0};
    struct EnvSlot {
        std::shared_ptr<const CheckEnv::OpenCell> cell;
        std::size_t hides;    // the slot of the same name that this one hides, or kNoSlot
        bool visible;
        std::uint64_t serial;  // tells this slot from one pushed at its place later
    };
    // A variable that a higher slot holds too, met there under schemes binding `captured`.
    struct HeldAbove {
        Type var;
        std::uint32_t slot;
        std::uint64_t serial;
        std::shared_ptr<const BoundScope> captured;
    };
    // What a unification changed, to put back when it fails: levels as they were, and the
    // slots whose lists of variables held above grew.
    struct LevelUndo {
        std::vector<std::pair<Type, std::uint32_t>> levels;
        std::vector<std::uint32_t> heldAbove;
    };
    std::uint32_t levelOf(const Type& tid) const;
    void setLevel(const Type& tid, std::uint32_t level, LevelUndo* undo);
    // Marks the variable's position as free in the environment or not.
    void refreshInEnv(const Type& tid);
    // Every variable that t holds free (after the substitution) gets at most `level`; t stands
    // under schemes binding `captured`.
    void lowerLevels(const Type& t, std::uint32_t level, LevelUndo* undo,
                     const std::shared_ptr<const BoundScope>& captured = nullptr);
    // A new binding of tid to t: t's variables join the environment wherever tid was in it.
    void noteBoundInEnv(const Type& tid, const Type& t, LevelUndo& undo);
    void restoreLevels(const LevelUndo& undo, const std::vector<Type>& unbound);
    // Notes that slot `above` holds tid, which is at the lower level `level`.
    void noteHeldAbove(std::uint32_t level, const Type& tid, std::uint32_t above, LevelUndo* undo,
                       const std::shared_ptr<const BoundScope>& captured = nullptr);
    void dropLevel(std::size_t slot);
    void pushEnvSlot(std::shared_ptr<const CheckEnv::OpenCell> cell);
    void popEnvSlot();
    void hideEnvSlot(std::size_t slot);

    std::vector<EnvSlot> envSlots_;
    std::unordered_map<std::string, std::size_t> visibleSlot_;  // each name's visible slot
    std::vector<std::vector<Type>> atLevel_;  // per slot, the variables given its level since
    std::vector<std::vector<HeldAbove>> heldAbove_;  // per slot, its variables held above too
    std::uint64_t slotsPushed_ = 0;
    std::vector<std::uint32_t> levelByPosition_;
    std::unordered_map<std::string, std::uint32_t> levelByName_;
    PositionSet inEnvPositions_;  // the positions of the variables free in the environment
};
using CheckStatePtr = std::shared_ptr<CheckState>;

// The names that the typed tree turns into constants (`Con` (`Constr` name)): none for a
// program, every name bound in the environment for a theory.  Computed when first needed.
using ConstructorNames = Lazy<std::unordered_set<std::string>>;
ConstructorNames noConstructors();

// ---------------------------------------------------------------------------------------------
// Definitions
// ---------------------------------------------------------------------------------------------

// What a declaration is without types: the syntactic attributes.
struct DeclSyntax {
    std::vector<std::string> defines;      // the names defined ("cannot define ..." raised here)
    std::vector<std::string> freeVars;     // free names of the right side, arguments removed
    std::vector<std::string> constrsUsed;  // constructor names used
    Decl plain;                            // rebuilt with uncheckedType in every node
};
// The syntactic attributes of a declaration.  A left side that is a lambda or a let raises
// "cannot define an abstraction" / "cannot define a let-expression".
DeclSyntax declSyntax(const Decl& d);
// The rules of a declaration under `ruleLabel` (makedefnrewrite of its plain form); a data
// declaration or signature gives the empty table.
DefnRules declRules(const Decl& d, const std::string& ruleLabel);

// The syntactic attributes of a definition list: defines and freeVars are the unions over its
// definitions, constrsUsed their concatenation.
struct DListSyntax {
    std::vector<std::string> defines;
    std::vector<std::string> freeVars;
    std::vector<std::string> constrsUsed;
    DList plain;
};
DListSyntax dlistSyntax(const DList& d);
// The rules of the list's definitions under `ruleLabel`: per name, the last definition's rule
// first.
DefnRules dlistRules(const DList& d, const std::string& ruleLabel);

// The context of a definition list in the type pass.
struct DListContext {
    std::int32_t line = 0;  // the line reported for definitions whose own line is 0
    CheckStatePtr state;    // the supply and the substitution, threaded through
    CheckEnv env;
    ConstructorNames constructors = noConstructors();
};

// The result of checking a definition list.  `messages` and `typed` read the state's
// substitution when first read.
struct DListCheck {
    Messages messages;
    TypeEnv bindings;  // each defined name with its generalised type, in defines order
    std::vector<std::string> defines;
    std::vector<std::string> freeVars;
    std::vector<std::string> constrsUsed;
    DList plain;
    Lazy<DList> typed = DList{};
};
// Checks a definition list as one group of mutually recursive definitions: every defined name
// gets one fresh type variable, the definitions are checked in order, and the defined names'
// types are generalised over the variables not free in the environment.
DListCheck checkDList(const DList& d, const DListContext& ctx);

// ---------------------------------------------------------------------------------------------
// Theories
// ---------------------------------------------------------------------------------------------

// What checkTheory returns.
struct TheoryCheck {
    Messages messages;               // the reports, in file order; fatal at a DEFINITION header
    std::vector<std::string> names;  // the rule variables (and DEFINITION names) of the theory
    Lazy<Theory> headed = Theory{};  // plain, with the DEFINITION headers kept
    Lazy<Theory> expanded = Theory{};         // plain, the headers replaced by the definitions' rules
    Lazy<std::vector<Rule>> rules = std::vector<Rule>{}; // the checked rules in file order; fatal at a header
    Lazy<Theory> typed = Theory{};            // the typed theory; fatal at a header
    // The DEFINITION names that the definition-rule table does not hold, in order (each
    // expands to nothing; the program reports them as undefined).  Reads the table.
    Lazy<std::vector<std::string>> undefinedDefinitions = std::vector<std::string>{};
};

// Checks a theory against an environment: every name bound in env is a constant of the
// theory, every other variable of an equation is the rule's own.  Each conditional equation
// starts from the supply "a", "b", ... and is checked when its reports, rules or typed form are
// first read; `names`, `headed` and `expanded` need no types.  `env` is read when an equation
// that has variables or constructors is checked; `table` only when a DEFINITION header is
// expanded.
TheoryCheck checkTheory(const Theo& t, const Lazy<CheckEnv>& env, const Lazy<DefnRules>& table);
// The constructor names that a theory's conditions and equations use, left to right,
// duplicates kept; a DEFINITION header adds none.
std::vector<std::string> theoConstrsUsed(const Theo& t);

// The error texts of a DEFINITION header in a theory checked outside a transformation block.
inline constexpr std::string_view defnTheoText = "instances of DefnTheo should be eliminated by type-checking time";

}  // namespace plim
