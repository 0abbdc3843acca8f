// Fast matcher terms: renaming of local variables without capture, freezing of the free
// occurrences of local variables into constants and back.
#include <algorithm>
#include <unordered_set>

#include "engine/matching/fast/term_node.h"
#include "engine/matching/fast/terms.h"
#include "engine/matching/local_renaming.h"

namespace plim::fast {

namespace {

// The fast matcher's terms as the shared renaming code sees them.
struct FastOps : local_renaming::KindTests<fast::Term, TermKind> {
    using Term = fast::Term;
    using Binding = LamBinding;
    static std::size_t childCount(const Term& t) {
        switch (t.kind()) {
        case TermKind::Ap: return 2;
        case TermKind::Lam: return 1;
        case TermKind::Tupl: return t.elems().size();
        default: return 0;
        }
    }
    static const Term& child(const Term& t, std::size_t i) {
        if (t.is(TermKind::Ap)) return i == 0 ? t.fun() : t.arg();
        if (t.is(TermKind::Lam)) return t.body();
        return t.elems()[i];
    }
    static Term rebuilt(const Term& u, std::vector<Term>& kids) {
        bool changed = false;
        for (std::size_t i = 0; i < kids.size(); ++i) changed = changed || !kids[i].sameNode(child(u, i));
        return rebuildNode(u, kids, changed);
    }
    static Term lvar(std::string n, Type t) { return LVar(std::move(n), std::move(t)); }
    static Term constr(const std::string& n, Type t) { return Con(mkConstr(n), std::move(t)); }
    static Term lam(Binding b, Term body, Type t) { return Lam(std::move(b), std::move(body), std::move(t)); }
    static Binding var(std::string n) { return LamVar(std::move(n)); }
    static Binding tup(std::vector<Binding> cs) { return LamTup(std::move(cs)); }
};

using Shared = local_renaming::Renaming<FastOps>;

}  // namespace

// --- names --------------------------------------------------------------------------------

void collectNames(const Term& t, std::unordered_set<std::string>& out) { Shared::collectNames(t, out); }

std::string freshVariant(const std::string& base, std::unordered_set<std::string>& used) {
    return local_renaming::freshVariant(base, used);
}

std::unordered_set<std::string>& NamesInUse::get() {
    if (!names_) {
        names_.emplace();
        for (const Term* t : terms_) collectNames(*t, *names_);
    }
    return *names_;
}

LamBinding renameBinder(const LamBinding& b, const NameMap& renaming) { return Shared::renameBinder(b, renaming); }

Term renameFreeLocals(const NameMap& renaming, const Term& t, NamesInUse& used) {
    return Shared::renameFreeLocals(renaming, t, [&used]() -> std::unordered_set<std::string>& { return used.get(); });
}

// --- freezing -------------------------------------------------------------------------------

Term freezeLocalsAs(const NameMap& names, const Term& t) { return Shared::freezeLocalsAs(names, t); }

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

Term freezeLocals(const std::vector<std::string>& names, const Term& t) { return Shared::freezeLocals(names, t); }

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
