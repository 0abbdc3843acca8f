// Patterns that no term can match whatever is bound, for both matchers' term types: those
// that must meet an application whose function is typed by a type variable that its own
// argument's type holds.  A pattern variable applied to itself is typed so (g g gives both g
// the type a, which the checker reports as an occurs-check failure): binding g gives the
// function a type that its argument's type holds, so no binding makes it a function from its
// argument's type, and every way of matching the application fails at the function (one-way
// type matching never binds a variable to a type that holds it).  A problem of such a
// pattern ends every search it is part of, however late it is reached; since new problems go
// to the end of the worklist, the alternatives opened before it is reached are a product of
// their candidate counts.  Knowing it when those open saves them all.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lang/types.h"
#include "engine/matching/term_vocabulary.h"

namespace plim {

// The variable occurs free in t.
inline bool typeHoldsFreeVar(const Type& root, const std::string& var) {
    if (!root.hasTypeVars()) return false;
    std::vector<std::pair<const Type*, std::size_t>> work{{&root, 0}};  // (type, schemes it is under)
    std::vector<const std::vector<std::string>*> schemes;
    while (!work.empty()) {
        auto [t, depth] = work.back();
        work.pop_back();
        schemes.resize(depth);
        if (!t->hasTypeVars()) continue;
        switch (t->kind()) {
        case TypeKind::Tid: {
            if (t->name() != var) break;
            bool bound = false;
            for (const auto* names : schemes)
                for (const std::string& n : *names) bound = bound || n == var;
            if (!bound) return true;
            break;
        }
        case TypeKind::TCon:
            for (const Type& a : t->args()) work.emplace_back(&a, depth);
            break;
        case TypeKind::TAbs:
            schemes.push_back(&t->boundVars());
            work.emplace_back(&t->body(), depth + 1);
            break;
        }
    }
    return false;
}

// An application of a function of type `fun` to an argument of type `arg` that no binding
// can type: fun is a type variable that arg holds.
inline bool selfTypedApplication(const Type& fun, const Type& arg) {
    return fun.isTid() && typeHoldsFreeVar(arg, fun.name());
}

namespace self_typed {

// The facts a node keeps, as bits in one byte (negative: not yet worked out).
enum : std::int8_t {
    Known = 1,
    MustMeet = 2,  // matching the node as a pattern must match such an application
    Holds = 4,     // such an application occurs anywhere in the node
    Flexible = 8,  // as the head of an application, the node is flexible
};

// The facts of t, worked out for every node below it that does not know them yet, children
// first, without recursion.  `slot` gives a node's byte.  An application pattern's function
// part is always matched (against the decomposition's or the step's image); its argument is
// matched whenever the head is rigid (decomposition only).  A lambda's body and every element
// of a tuple are always matched.
template <TermVocabulary Term, class Slot>
std::int8_t facts(const Term& root, Slot slot) {
    using K = decltype(root.kind());
    if (slot(root) >= 0) return slot(root);
    std::vector<std::pair<const Term*, bool>> work{{&root, false}};  // (node, children pushed)
    auto known = [&slot](const Term& t) { return slot(t) >= 0; };
    while (!work.empty()) {
        auto [t, expanded] = work.back();
        if (known(*t)) {
            work.pop_back();
            continue;
        }
        if (!expanded) {
            work.back().second = true;
            switch (t->kind()) {
            case K::Ap:
                if (!known(t->arg())) work.emplace_back(&t->arg(), false);
                if (!known(t->fun())) work.emplace_back(&t->fun(), false);
                break;
            case K::Lam:
                if (!known(t->body())) work.emplace_back(&t->body(), false);
                break;
            case K::Tupl:
                for (const Term& e : t->elems())
                    if (!known(e)) work.emplace_back(&e, false);
                break;
            default: break;
            }
            continue;
        }
        work.pop_back();
        std::int8_t out = Known;
        switch (t->kind()) {
        case K::PVar: out |= Flexible; break;
        case K::Lam: out |= Flexible | (slot(t->body()) & (MustMeet | Holds)); break;
        case K::Ap: {
            const std::int8_t f = slot(t->fun());
            const std::int8_t x = slot(t->arg());
            const bool clash = selfTypedApplication(t->fun().type(), t->arg().type());
            const bool mustMeet = clash || (f & MustMeet) || (!(f & Flexible) && (x & MustMeet));
            out |= (f & Flexible) | (mustMeet ? MustMeet : 0) | ((clash || ((f | x) & Holds)) ? Holds : 0);
            break;
        }
        case K::Tupl:
            for (const Term& e : t->elems()) out |= slot(e) & (MustMeet | Holds);
            break;
        default: break;
        }
        slot(*t) = out;
    }
    return slot(root);
}

}  // namespace self_typed

// The problem (p, t) has no solution: p must meet an application that no binding can type,
// and t holds none (a term typed as loosely could match it) and no pattern variable (whose
// error the search reports when it reaches the problem).
template <TermVocabulary Term, class Slot>
bool problemMatchesNothing(const Term& p, const Term& t, Slot slot) {
    if (t.hasPVar() || !(self_typed::facts(p, slot) & self_typed::MustMeet)) return false;
    return !(self_typed::facts(t, slot) & self_typed::Holds);
}

}  // namespace plim
