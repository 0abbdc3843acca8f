// The fast matcher's walk over a term with the names bound above each subterm, shared by the
// term operations and the candidates' body hash.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/fast/terms.h"
#include "lang/names.h"

namespace plim::fast {

// Visits t and its subterms in pre-order, left to right, with an explicit stack: a long
// spine costs no native stack.  `bound` holds the names bound by the lambdas above the
// visited subterm; `enter(u)` is called for each subterm and says whether to go below it.
template <class Name, class Enter>
void walkScoped(const Term& t, std::vector<Name>& bound, const Enter& enter) {
    struct Item {
        const Term* term;     // null: leave a lambda
        std::size_t binds;    // the names its binder put on `bound`
    };
    // Stacks are kept for the next walk: the walks are many and mostly short.
    thread_local std::vector<std::vector<Item>> spare;
    std::vector<Item> stack;
    if (!spare.empty()) {
        stack = std::move(spare.back());
        spare.pop_back();
    }
    stack.assign(1, Item{&t, 0});
    while (!stack.empty()) {
        const Item it = stack.back();
        stack.pop_back();
        if (!it.term) {
            bound.resize(bound.size() - it.binds);
            continue;
        }
        const Term& u = *it.term;
        if (!enter(u)) continue;
        switch (u.kind()) {
        case TermKind::Ap:
            stack.push_back({&u.arg(), 0});
            stack.push_back({&u.fun(), 0});
            break;
        case TermKind::Lam:
            stack.push_back({nullptr, pushNames(bound, u.binder())});
            stack.push_back({&u.body(), 0});
            break;
        case TermKind::Tupl:
            for (std::size_t i = u.elems().size(); i-- > 0;) stack.push_back({&u.elems()[i], 0});
            break;
        default: break;
        }
    }
    spare.push_back(std::move(stack));
}

}  // namespace plim::fast
