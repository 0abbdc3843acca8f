// Whether the type of an argument pattern x can still meet the type of a subterm b that an
// abstraction would hand it as the problem (x, b), for both matchers' one-step candidates.
// Both sides of a problem take the same type substitutions before its type match, which
// matches x's type one way against b's.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "lang/types.h"

namespace plim {

// Whether the type variable v occurs in t as a proper part, found on a walk that meets no
// scheme (after one, the answer is no).
inline bool properlyHolds(const Type& t, const std::string& v) {
    if (t.isGround() || t.isTid()) return false;
    std::vector<const Type*> todo{&t};
    while (!todo.empty()) {
        const Type& u = *todo.back();
        todo.pop_back();
        if (u.isTid()) {
            if (u.name() == v) return true;
        } else if (u.isTCon()) {
            if (u.isGround()) continue;
            for (std::size_t i = u.args().size(); i-- > 0;) todo.push_back(&u.args()[i]);
        } else {
            return false;
        }
    }
    return false;
}

// Some later substitution may make the types of x and b meet: a type variable of x's type that
// b's type holds as a proper part stays a proper part of it, so the type match of (x, b) fails
// whatever comes.
inline bool typesMayMeet(const Type& x, const Type& b) { return !x.isTid() || !properlyHolds(b, x.name()); }

// The one-way type match of p against t succeeds.
inline bool oneWayTypesMatch(const Type& p, const Type& t) {
    if (p.sameNode(t)) return true;
    // A type variable matches a type without variables (nor schemes) at once.
    if (p.isTid() && t.isGround()) return true;
    if (eqType(p, t)) return true;
    // A type without variables matches only a type equal to it.
    if (p.isGround()) return false;
    TypeSubst ts;
    return matchTypeInto(ts, p, t);
}

// The type constructors of a and b differ at some place that both reach by constructors
// alone (a type variable or a scheme on either side stops the walk there).  No substitution
// changes those places, so no one-way match of the two, whatever is substituted first, can
// succeed.
inline bool typeShapesClash(const Type& a, const Type& b) {
    std::vector<std::pair<const Type*, const Type*>> todo{{&a, &b}};
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        if (x->sameNode(*y) || !x->isTCon() || !y->isTCon()) continue;
        if (x->name() != y->name() || x->args().size() != y->args().size()) return true;
        for (std::size_t i = 0; i < x->args().size(); ++i) todo.emplace_back(&x->args()[i], &y->args()[i]);
    }
    return false;
}

// The problem (x, b) may pass its type match when it is reached.  When the types of the term
// that b is taken from hold no type variable (`closedTypes`), no later substitution changes
// b's, and one only makes x's more specific: x's type must match b's now.  Otherwise x's type
// and b's must be able to meet (typesMayMeet).
inline bool abstractionTypesAllow(const Type& x, const Type& b, bool closedTypes) {
    return closedTypes ? oneWayTypesMatch(x, b) : typesMayMeet(x, b);
}

}  // namespace plim
