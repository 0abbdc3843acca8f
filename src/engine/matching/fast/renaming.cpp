// Fast matcher terms: renaming of local variables without capture, freezing of the free
// occurrences of local variables into constants and back.
#include <algorithm>
#include <unordered_set>

#include "engine/matching/fast/term_node.h"
#include "engine/matching/fast/terms.h"
#include "engine/matching/local_renaming.h"

namespace plim::fast {

// --- names --------------------------------------------------------------------------------

std::unordered_set<std::string>& NamesInUse::get() {
    if (!names_) {
        names_.emplace();
        for (const Term* t : terms_) collectNames(*t, *names_);
    }
    return *names_;
}

Term renameFreeLocals(const NameMap& renaming, const Term& t, NamesInUse& used) {
    return local_renaming::renameFreeLocals(renaming, t, [&used]() -> std::unordered_set<std::string>& { return used.get(); });
}

// --- freezing -------------------------------------------------------------------------------

Term thawLocalsAs(const NameMap& names, const Term& t) {
    if (names.empty()) return t;
    NameMap back;
    for (const auto& [v, c] : names) back.emplace(c, v);
    return rebuild(
        t, [](const Term& u) { return u.hasConstr(); },
        [&back](const Term& v) {
            if (!v.is(TermKind::Con) || v.constant().kind() != ConstantKind::Constr) return v;
            auto it = back.find(v.constant().constrName());
            return it == back.end() ? v : LVar(it->second, v.type());
        },
        neverStop);
}

Term thawLocals(const std::vector<std::string>& names, const Term& t) {
    if (names.empty() || !t.hasConstr()) return t;
    // A set, not a scan of the list per constant: a term under many local names holds about as
    // many constants.
    const std::unordered_set<std::string> local(names.begin(), names.end());
    return rebuild(
        t, [](const Term& u) { return u.hasConstr(); },
        [&local](const Term& v) {
            if (v.is(TermKind::Con) && v.constant().kind() == ConstantKind::Constr &&
                local.count(v.constant().constrName()) > 0)
                return LVar(v.constant().constrName(), v.type());
            return v;
        },
        neverStop);
}

}  // namespace plim::fast
