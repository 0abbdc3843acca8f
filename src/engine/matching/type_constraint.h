// A type substitution as a matching problem, for both matchers: two copies of one constant,
// the pattern's typed by the substituted type variables, the term's by what they stand for.
// Its type match holds the match to the substitution (and fails on a variable the match has
// bound to another type); the constants then agree.  The constant and its type's name are no
// program's.
#pragma once

#include <utility>
#include <vector>

#include "lang/constants.h"
#include "lang/types.h"

namespace plim {

inline const Constant& typeConstraintMarker() {
    static const Constant marker = mkConstr(" types");
    return marker;
}

// (the pattern side's type, the term side's type).
inline std::pair<Type, Type> typeConstraintTypes(const TypeSubst& s) {
    std::vector<Type> vars;
    std::vector<Type> values;
    for (auto& [v, t] : s.bindings()) {
        vars.push_back(mkTid(v));
        values.push_back(std::move(t));
    }
    return {mkTCon(" types", std::move(vars)), mkTCon(" types", std::move(values))};
}

}  // namespace plim
