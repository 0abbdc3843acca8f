// Type substitution, instantiation and generalisation.
#include <algorithm>
#include <set>
#include <unordered_map>

#include "lang/type_rebuild.h"
#include "lang/types.h"
#include "support/errors.h"
#include "support/finite_maps.h"

namespace plim {

// The persistent representation of a substitution: each bound name's type, read as it stands
// or, in a triangular substitution, with the bindings applied to it when it is read.  A plain
// one keeps (built when first needed, then kept up to date) for each type variable the bound
// names whose types hold it free, so that a composition touches only the bindings that it
// changes.  A triangular one holds no cycle and no scheme, and keeps the types read so far.
using NameSet = FiniteMap<std::string, char>;

struct TypeSubst::Rep {
    FiniteMap<std::string, Type> types;
    mutable std::optional<FiniteMap<std::string, NameSet>> users;
    bool triangular = false;
    mutable std::unordered_map<std::string, Type> read;  // triangular: the types read so far
};

namespace {

using Rep = TypeSubst::Rep;

const Type* findType(const FiniteMap<std::string, Type>& m, const std::string& name) {
    const FiniteMap<std::string, Type>* at = &m;
    while (!at->isEmpty()) {
        if (name == at->key()) return &at->elt();
        at = name < at->key() ? &at->smaller() : &at->greater();
    }
    return nullptr;
}

std::vector<std::string> freeVarsOf(const Type* t) {
    if (!t || t->isGround()) return {};
    return typeVarsOf(*t);
}

void addUser(FiniteMap<std::string, NameSet>& users, const std::string& var, const std::string& key) {
    const NameSet now = lookupWithDefaultFM(NaturalOrd{}, users, NameSet(), var);
    users = addToFM(NaturalOrd{}, var, addToFM(NaturalOrd{}, key, char{1}, now), users);
}

void dropUser(FiniteMap<std::string, NameSet>& users, const std::string& var, const std::string& key) {
    const NameSet now = delFromFM(NaturalOrd{}, key, lookupWithDefaultFM(NaturalOrd{}, users, NameSet(), var));
    users = now.isEmpty() ? delFromFM(NaturalOrd{}, var, users) : addToFM(NaturalOrd{}, var, now, users);
}

const FiniteMap<std::string, NameSet>& usersOf(const Rep& rep) {
    if (!rep.users) {
        FiniteMap<std::string, NameSet> users;
        foldFM([&users](const std::string& key, const Type& t, char) {
            for (const auto& v : freeVarsOf(&t)) addUser(users, v, key);
            return char{0};
        }, char{0}, rep.types);
        rep.users = std::move(users);
    }
    return *rep.users;
}

// Binds key to t in rep, keeping the index of users up to date when there is one.
void setBinding(Rep& rep, const std::string& key, const Type& t) {
    if (rep.users) {
        for (const auto& v : freeVarsOf(findType(rep.types, key))) dropUser(*rep.users, v, key);
        for (const auto& v : freeVarsOf(&t)) addUser(*rep.users, v, key);
    }
    rep.types = addToFM(NaturalOrd{}, key, t, rep.types);
}

std::vector<std::pair<std::string, Type>> typePairs(const Rep& rep) { return fmToList(NaturalOrd{}, rep.types); }

// The balanced tree of pairs[from, to), which are in ascending name order.
FiniteMap<std::string, Type> sortedTree(const std::vector<std::pair<std::string, Type>>& pairs, std::size_t from,
                                        std::size_t to) {
    if (from == to) return {};
    const std::size_t mid = from + (to - from) / 2;
    return FiniteMap<std::string, Type>::Node(pairs[mid].first, pairs[mid].second, static_cast<std::int32_t>(to - from),
                                              sortedTree(pairs, from, mid), sortedTree(pairs, mid + 1, to));
}

template <class Replace>
Type replaceVars(const Replace& replace, const Type& t) {
    ReplaceVars<Replace> policy{replace};
    return rebuildType(t, policy);
}

// Reads the bindings of a triangular substitution: a bound variable stands for its type with
// the bindings applied, each found once.
struct TriangularRead {
    const Rep& rep;
    bool leaf(const Type& tid, Type& out) const {
        const Type* bound = findType(rep.types, tid.name());
        if (!bound) return true;
        if (!bound->hasTypeVars()) {
            out = *bound;
            return true;
        }
        auto it = rep.read.find(tid.name());
        if (it == rep.read.end()) return false;
        out = it->second;
        return true;
    }
    const Type& expansion(const Type& tid) const { return *findType(rep.types, tid.name()); }
    void expanded(const Type& tid, const Type& result) const { rep.read.emplace(tid.name(), result); }
    bool known(const Type&, Type&) const { return false; }
    void rebuilt(const Type&, const Type&) const {}
};

// The type bound to name in a triangular substitution, the bindings applied.
const Type* readTriangular(const Rep& rep, const std::string& name) {
    const Type* bound = findType(rep.types, name);
    if (!bound || !bound->hasTypeVars()) return bound;
    auto it = rep.read.find(name);
    if (it != rep.read.end()) return &it->second;
    TriangularRead policy{rep};
    Type result = rebuildType(*bound, policy);
    return &rep.read.insert_or_assign(name, std::move(result)).first->second;
}

// True when a variable of t is bound in `in` or, when `self` is given, in `self`, or t holds
// a scheme: t cannot join a triangular substitution as it is.
bool blocksTriangle(const Type& t, const FiniteMap<std::string, Type>& in, const FiniteMap<std::string, Type>* self) {
    return holdsSchemeOrVar(t, [&](const std::string& name) { return findType(in, name) || (self && findType(*self, name)); });
}

// g followed by f, when g is triangular and f's bindings hold no variable that g binds (nor,
// when f is read as it stands, one that f binds) and no scheme: g's bindings and f's bindings
// for the names g leaves unbound, triangular.
std::shared_ptr<const Rep> addedToTriangle(const Rep& f, const Rep& g) {
    if (!g.triangular) return nullptr;
    const FiniteMap<std::string, Type>* self = f.triangular ? nullptr : &f.types;
    bool blocked = false;
    foldFM([&](const std::string&, const Type& t, char) {
        blocked = blocked || blocksTriangle(t, g.types, self);
        return char{0};
    }, char{0}, f.types);
    if (blocked) return nullptr;
    auto out = std::make_shared<Rep>();
    out->triangular = true;
    out->types = g.types;
    foldFM([&](const std::string& name, const Type& t, char) {
        if (!findType(g.types, name)) out->types = addToFM(NaturalOrd{}, name, t, out->types);
        return char{0};
    }, char{0}, f.types);
    return out;
}

// The bindings of a triangular substitution as they read, as a plain substitution.
std::shared_ptr<const Rep> plainOf(const std::shared_ptr<const Rep>& rep) {
    if (!rep->triangular) return rep;
    std::vector<std::pair<std::string, Type>> pairs;
    pairs.reserve(static_cast<std::size_t>(rep->types.size()));
    for (const auto& [name, t] : typePairs(*rep)) pairs.emplace_back(name, *readTriangular(*rep, name));
    auto out = std::make_shared<Rep>();
    out->types = sortedTree(pairs, 0, pairs.size());
    return out;
}

}  // namespace

// --- TypeSubst ------------------------------------------------------------------------------

Type TypeSubst::operator()(const std::string& name) const {
    if (const Type* t = find(name)) return *t;
    return mkTid(name);
}

const Type* TypeSubst::find(const std::string& name) const {
    if (!rep_) return nullptr;
    return rep_->triangular ? readTriangular(*rep_, name) : findType(rep_->types, name);
}

std::size_t TypeSubst::size() const { return rep_ ? static_cast<std::size_t>(rep_->types.size()) : 0; }

std::vector<std::pair<std::string, Type>> TypeSubst::bindings() const {
    return rep_ ? typePairs(*plainOf(rep_)) : std::vector<std::pair<std::string, Type>>{};
}

TypeSubst TypeSubst::fromMap(const std::map<std::string, Type, std::less<>>& bindings) {
    if (bindings.empty()) return TypeSubst();
    auto rep = std::make_shared<Rep>();
    const std::vector<std::pair<std::string, Type>> pairs(bindings.begin(), bindings.end());
    rep->types = sortedTree(pairs, 0, pairs.size());
    return TypeSubst(std::move(rep));
}

TypeSubst TypeSubst::fromTriangular(const std::map<std::string, Type, std::less<>>& bindings) {
    if (bindings.empty()) return TypeSubst();
    auto rep = std::make_shared<Rep>();
    const std::vector<std::pair<std::string, Type>> pairs(bindings.begin(), bindings.end());
    rep->types = sortedTree(pairs, 0, pairs.size());
    rep->triangular = true;
    return TypeSubst(std::move(rep));
}

TypeSubst bindVar(const std::string& v, const Type& t) {
    auto rep = std::make_shared<Rep>();
    rep->types = unitFM(NaturalOrd{}, v, t);
    return TypeSubst(std::move(rep));
}

Type substType(const TypeSubst& f, const Type& t) {
    if (f.isIdentity() || t.isGround()) return t;
    return replaceVars(
        [&f](const Type& tid) {
            const Type* bound = f.find(tid.name());
            return bound ? *bound : tid;
        },
        t);
}

namespace {

// substType f, remembering each rebuilt constructor term outside schemes by its node.
struct SharedReplace {
    const TypeSubst& f;
    std::unordered_map<const void*, std::pair<Type, Type>>& done;
    bool leaf(const Type& tid, Type& out) const {
        const Type* bound = f.find(tid.name());
        out = bound ? *bound : tid;
        return true;
    }
    const Type& expansion(const Type& tid) const { return tid; }
    void expanded(const Type&, const Type&) const {}
    bool known(const Type& t, Type& out) const {
        auto it = done.find(t.nodeAddress());
        if (it == done.end()) return false;
        out = it->second.second;
        return true;
    }
    void rebuilt(const Type& t, const Type& result) const { done.emplace(t.nodeAddress(), std::make_pair(t, result)); }
};

}  // namespace

Type SharedSubst::operator()(const Type& t) {
    if (f_.isIdentity() || t.isGround()) return t;
    SharedReplace policy{f_, done_};
    return rebuildType(t, policy);
}

Type substTypeWith(const std::function<Type(const std::string&)>& f, const Type& t) {
    return replaceVars([&f](const Type& tid) { return f(tid.name()); }, t);
}

TypeSubst substTypeOf(const TypeSubst& f, const TypeSubst& g) {
    if (f.isIdentity()) return g;
    if (g.isIdentity()) return f;
    if (auto added = addedToTriangle(*f.rep_, *g.rep_)) return TypeSubst(std::move(added));
    const std::shared_ptr<const Rep> fPlain = plainOf(f.rep_);
    const std::shared_ptr<const Rep> gPlain = plainOf(g.rep_);
    const TypeSubst fRead(fPlain);
    const std::vector<std::pair<std::string, Type>> fPairs = typePairs(*fPlain);
    if (f.size() <= g.size()) {
        // Start from g: only its bindings whose types hold a variable that f binds change.
        auto out = std::make_shared<Rep>();
        out->types = gPlain->types;
        out->users = usersOf(*gPlain);
        std::set<std::string> changed;
        for (const auto& [v, t] : fPairs)
            foldFM([&changed](const std::string& key, char, char) {
                changed.insert(key);
                return char{0};
            }, char{0}, lookupWithDefaultFM(NaturalOrd{}, *out->users, NameSet(), v));
        for (const auto& key : changed) setBinding(*out, key, substType(fRead, *findType(gPlain->types, key)));
        for (const auto& [v, t] : fPairs)
            if (!findType(gPlain->types, v)) setBinding(*out, v, t);
        return TypeSubst(std::move(out));
    }
    // Start from f: every binding of g is applied and takes the place of f's for its name.
    auto out = std::make_shared<Rep>();
    out->types = fPlain->types;
    out->users = fPlain->users;
    for (const auto& [name, t] : typePairs(*gPlain)) setBinding(*out, name, substType(fRead, t));
    return TypeSubst(std::move(out));
}

TypeEnv substEnv(const TypeSubst& f, const TypeEnv& env) {
    if (f.isIdentity()) return env;
    TypeEnv out;
    out.reserve(env.size());
    for (const auto& [name, t] : env) out.emplace_back(name, substType(f, t));
    return out;
}

// --- list shape -----------------------------------------------------------------------------

Type substVar(const TypeEnv& s, const std::string& name) {
    for (const auto& [n, t] : s)
        if (n == name) return t;
    return mkTid(name);
}

TypeSubst substFromList(const TypeEnv& s) {
    std::map<std::string, Type, std::less<>> out;
    for (const auto& [n, t] : s) out.emplace(n, t);  // the first pair for a name wins
    return TypeSubst::fromMap(std::move(out));
}

TypeEnv addBinding(const std::string& name, const Type& t, const TypeEnv& s) {
    TypeEnv out;
    out.reserve(s.size() + 1);
    out.emplace_back(name, t);
    out.insert(out.end(), s.begin(), s.end());
    return out;
}

TypeEnv freshBindings(const NameList& supply, const std::vector<std::string>& names) {
    TypeEnv out;
    NameList at = supply;
    for (const auto& n : names) {
        if (at.empty()) break;
        out.emplace_back(n, mkTid(at.head()));
        at = at.tail();
    }
    return out;
}

// --- schemes --------------------------------------------------------------------------------

NameList typeVarNames() {
    static const NameList names = NameList::sequence();
    return names;
}

Type inst(const NameList& supply, const Type& t) {
    if (supply.empty()) return t;
    if (!t.isTAbs()) patternFail(CodedFailure::InstantiateNonScheme);
    return substType(substFromList(freshBindings(supply, t.boundVars())), t.body());
}

namespace {

// TAbs names (t with the i-th of vars replaced by Tid of the i-th of names).
Type bindAs(const std::vector<std::string>& names, const std::vector<std::string>& vars, const Type& t) {
    return mkTAbs(names, substType(substFromList(freshBindings(NameList::fromVector(names), vars)), t));
}

}  // namespace

Type generalise(const Type& t) {
    const std::vector<std::string> vars = typeVarsOf(t);
    if (vars.empty()) return t;
    return bindAs(typeVarNames().take(vars.size()), vars, t);
}

TypeEnv renameScheme(const std::vector<std::string>& used, const TypeEnv& env) {
    const NameList candidates = typeVarNames().without(used);
    TypeEnv out;
    out.reserve(env.size());
    for (const auto& [name, t] : env) {
        std::vector<std::string> vars;
        for (const auto& v : typeVarsOf(t))
            if (std::find(used.begin(), used.end(), v) == used.end()) vars.push_back(v);
        out.emplace_back(name, vars.empty() ? t : bindAs(candidates.take(vars.size()), vars, t));
    }
    return out;
}

}  // namespace plim
