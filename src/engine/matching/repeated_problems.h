// A branching problem met again on the search's path, written once for both matchers' terms.
//
// A pattern such as (\ g -> (g, g)) (h 1 x) brings, once beta reduced, one flexible-head problem
// (h 1 x, t) several times into the worklist.  Solved front first, every copy is taken apart
// before the binding of h that the first copy's alternative leads to is made (its problems wait
// behind the copies), so each copy opens a branch point of its own over the same images, and the
// search tries every combination of them: k copies with n images each cost n^k alternatives, of
// which only the n whose copies took the same image survive, as the bindings of h must then agree.
// A copy equal to a problem that a branch point above it took apart is solved by every solution
// found below that branch point (the problem holds, and so does its copy), and is passed over
// instead: for each alternative of the first, the search for the copy found that alternative's
// own image again and nothing else, so the results are the same substitutions, in the same
// order.  Only the names of the images' bound variables may differ: the copy's images no longer
// draw names from the supply, so the images made after them draw earlier ones, and the supply
// left after the match is less used.  A copy is passed over only when its type match is the
// identity, and when it is equal to the problem as the branch point left it for the rest of the
// worklist (its type match applied to both sides); a problem that bindings made since then
// change is no copy.
#pragma once

#include "engine/matching/renaming_equality.h"
#include "engine/matching/term_vocabulary.h"

namespace plim::repeated_problems {

// (p1, t1) and (p2, t2) are one problem: the patterns are equal, and the terms, up to the
// renaming of lambda-bound variables, types compared everywhere.
template <TermNodes Term>
bool sameProblem(const Term& p1, const Term& t1, const Term& p2, const Term& t2) {
    const auto differ = [](const Term&, const Term&) { return false; };
    return renaming_equality::eqUpTo(p1, p2, differ) && renaming_equality::eqUpTo(t1, t2, differ);
}

}  // namespace plim::repeated_problems
