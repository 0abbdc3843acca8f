// The one vocabulary of the matchers' terms.
//
// Each matcher converts expressions into a term type of its own (fast/terms.h,
// reference/terms.h), and the two stay independent so that each can check the other.  They
// speak of their terms in the same words, though, with the same argument orders, and the
// helpers that both use (head_binders.h, repeated_elements.h, term_type_vars.h, ...) require
// exactly what is written here.
//
// A term is a cheap handle to an immutable node of one of six kinds, LVar (a bound variable),
// PVar (a matchable one), Con, Ap, Lam and Tupl (a saturated tuple as one node).  A lambda
// binds a variable or a nested tuple of variables.  A path leads from a term to one of its
// subterms, outermost step first.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "lang/constants.h"
#include "lang/types.h"

namespace plim {

// A lambda's binder: one variable, or a tuple of binders.
template <class B>
concept TermBinder = requires(const B& b) {
    { b.isVar() } -> std::same_as<bool>;
    // A variable: its name.
    { b.name() } -> std::same_as<const std::string&>;
    // A tuple: its components, first component first.
    { b.components() } -> std::same_as<const std::vector<B>&>;
    // The names it binds, left to right.
    { binderNames(b) } -> std::same_as<std::vector<std::string>>;
    // Pattern binder first: the renaming that makes the two alike, or none.
    { matchBinders(b, b) } -> std::same_as<std::optional<std::vector<std::pair<std::string, std::string>>>>;
};

// The kinds, in the tag order of the terms.
template <class K>
concept TermKindEnum = std::is_enum_v<K> && requires {
    K::LVar;
    K::PVar;
    K::Con;
    K::Ap;
    K::Lam;
    K::Tupl;
};

// Steps: First and Second into an application, Body into a lambda, TupElem i into a tuple
// (i its position).
template <class S>
concept TermStepType = std::equality_comparable<S> && requires(const S& s) {
    s.kind;
    { s.position } -> std::convertible_to<std::int32_t>;
};

// The node: what the operations written once for both matchers (vocabulary_operations.h)
// may ask of a term.
template <class T>
concept TermNodes =
    TermKindEnum<typename T::Kind> && TermBinder<typename T::Binding> && TermStepType<typename T::Step> &&
    std::copyable<T> && requires(const T& t) {
        { t.kind() } -> std::same_as<typename T::Kind>;
        { t.is(t.kind()) } -> std::same_as<bool>;
        { t.name() } -> std::same_as<const std::string&>;                  // LVar, PVar
        { t.constant() } -> std::same_as<const Constant&>;                 // Con
        { t.fun() } -> std::same_as<const T&>;                             // Ap
        { t.arg() } -> std::same_as<const T&>;                             // Ap
        { t.binder() } -> std::same_as<const typename T::Binding&>;        // Lam
        { t.body() } -> std::same_as<const T&>;                            // Lam
        { t.elems() } -> std::same_as<const std::vector<T>&>;              // Tupl
        { t.type() } -> std::same_as<const Type&>;                         // every kind
        { termType(t) } -> std::same_as<const Type&>;
        // Facts about the whole subtree, known without a walk.
        { t.hasPVar() } -> std::same_as<bool>;
        { t.hasLVar() } -> std::same_as<bool>;
        { t.hasLam() } -> std::same_as<bool>;
        { t.hasConstr() } -> std::same_as<bool>;
        { t.hasTypeVars() } -> std::same_as<bool>;
        // The very same node.
        { t.sameNode(t) } -> std::same_as<bool>;
    };

// The leaves and the variable binder that the operations written once build, given by each
// matcher beside its term type T: lvar(name, type), pvar(name, type), constr(name, type) (the
// constructor constant of that name) and var(name).
template <class T>
struct TermMakers;

// The node and the operations on terms.
template <class T>
concept TermVocabulary =
    TermNodes<T> &&
    requires(const T& t, const std::vector<typename T::Step>& path, const std::vector<std::vector<typename T::Step>>& paths,
             const std::string& x, const std::vector<std::string>& names,
             const std::vector<std::pair<std::string, std::string>>& renaming, std::vector<T>& kids) {
        // --- positions and replacement --------------------------------------------------
        // The node with the child that the step enters replaced.
        { withChild(t, path.front(), T(t)) } -> std::same_as<T>;
        // The node with new children (in the order of term_ops::childOf, taken from the
        // vector), the node itself when none changed.
        { rebuilt(t, kids) } -> std::same_as<T>;
        // The subterm at the path replaced; a path that does not fit raises "invalid replace:".
        { replaceAt(path, t, t) } -> std::same_as<T>;
        // replaceAt for each path in turn; note the order (paths, replacement, t).
        { replaceAll(paths, t, t) } -> std::same_as<T>;
        // As replaceAt, a lambda on the way that becomes an eta redex contracted.
        { replaceAtEta(path, t, t) } -> std::same_as<T>;
        // The names bound by the lambdas the path passes, on its way down.
        { bindersOnPath(t, path) } -> std::same_as<std::vector<std::string>>;

        // --- variables ------------------------------------------------------------------
        // The free local variables, left to right, repetitions kept.
        { freeLocalsOf(t) } -> std::same_as<std::vector<std::string>>;
        { occursLVar(x, t) } -> std::same_as<bool>;
        // x is among the free local variables of t.
        { isFreeLocal(x, t) } -> std::same_as<bool>;
        // The body under the leading lambdas, and their names (innermost first) before `names`.
        { stripLams(t, names) } -> std::same_as<std::pair<T, std::vector<std::string>>>;
        // The chain of one-variable lambdas at the top: its variables as PVars, and the body
        // with them made free.
        { leadingLamVars(t) } -> std::same_as<std::vector<T>>;
        { openLeadingLams(t) } -> std::same_as<T>;
        // Free LVars renamed without capture avoidance: one name, or each pair (old, new) at once.
        { renameLocal(x, x, t) } -> std::same_as<T>;
        { renameLocals(renaming, t) } -> std::same_as<T>;
        // Free LVars named in `names` turned into constructor constants, and back.
        { freezeLocals(names, t) } -> std::same_as<T>;
        { thawLocals(names, t) } -> std::same_as<T>;

        // --- eta, equality, the head ----------------------------------------------------
        // A lambda that is an eta redex contracted, any other term as it is.
        { etaReduce(t) } -> std::same_as<T>;
        // Every eta redex contracted, bottom-up.
        { etaNormalise(t) } -> std::same_as<T>;
        // Equality up to eta and the renaming of lambda-bound variables.
        { termEq(t, t) } -> std::same_as<bool>;
        // A PVar or a lambda at the head of the application spine.
        { flexibleHead(t) } -> std::same_as<bool>;
    };

}  // namespace plim
