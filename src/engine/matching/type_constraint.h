// Type substitutions of the two-step abstractions, for both matchers.
//
// A type substitution as a matching problem: two copies of one constant,
// the pattern's typed by the substituted type variables, the term's by what they stand for.
// Its type match holds the match to the substitution (and fails on a variable the match has
// bound to another type); the constants then agree.  The constant and its type's name are no
// program's.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lang/constants.h"
#include "lang/types.h"

namespace plim {

inline const Constant& typeConstraintMarker() {
    static const Constant marker = mkConstr(" types");
    return marker;
}

// The problem that holds the match to the substitution, its two constants built by `con`.
template <class Problem, class MakeCon>
Problem typeConstraint(const TypeSubst& s, MakeCon con) {
    std::vector<Type> vars;
    std::vector<Type> values;
    for (auto& [v, t] : s.bindings()) {
        vars.push_back(mkTid(v));
        values.push_back(std::move(t));
    }
    return Problem{con(typeConstraintMarker(), mkTCon(" types", std::move(vars))),
                   con(typeConstraintMarker(), mkTCon(" types", std::move(values)))};
}

// The two type substitutions of instances found apart, as one: nothing when they give one
// type variable different types.  Both map the pattern's type variables to types of the term,
// whose own type variables stay as they are (an instance is not sought with the other's
// types applied, which would let the match bind the term's type variables).
inline std::optional<TypeSubst> mergedInstanceTypes(const TypeSubst& a, const TypeSubst& b) {
    if (b.isIdentity()) return a;
    if (a.isIdentity()) return b;
    std::map<std::string, Type, std::less<>> all;
    for (auto& [v, t] : a.bindings()) all.emplace(v, std::move(t));
    for (auto& [v, t] : b.bindings()) {
        auto [at, added] = all.emplace(v, t);
        if (!added && !eqType(at->second, t)) return std::nullopt;
    }
    return TypeSubst::fromMap(all);
}

}  // namespace plim
