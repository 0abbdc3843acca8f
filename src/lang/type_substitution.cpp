// Type substitution, instantiation and generalisation.
#include <algorithm>

#include "lang/types.h"
#include "support/errors.h"

namespace plim {

namespace {

using SubstMap = std::map<std::string, Type, std::less<>>;

bool isHidden(const std::vector<std::string>& hidden, const std::string& name) {
    return std::find(hidden.begin(), hidden.end(), name) != hidden.end();
}

// Rebuilds t with replace(tid) for each free Tid; unchanged parts keep their nodes.
template <class Replace>
Type substWith(const Replace& replace, const Type& t, std::vector<std::string>& hidden) {
    switch (t.kind()) {
    case TypeKind::Tid: return isHidden(hidden, t.name()) ? t : replace(t);
    case TypeKind::TCon: {
        if (t.isGround()) return t;
        std::vector<Type> args;
        args.reserve(t.args().size());
        bool changed = false;
        for (const auto& a : t.args()) {
            args.push_back(substWith(replace, a, hidden));
            changed = changed || !args.back().sameNode(a);
        }
        return changed ? mkTCon(t.name(), std::move(args)) : t;
    }
    case TypeKind::TAbs: {
        const std::size_t before = hidden.size();
        hidden.insert(hidden.end(), t.boundVars().begin(), t.boundVars().end());
        Type body = substWith(replace, t.body(), hidden);
        hidden.resize(before);
        return body.sameNode(t.body()) ? t : mkTAbs(t.boundVars(), std::move(body));
    }
    }
    return t;
}

const SubstMap& emptySubstMap() {
    static const SubstMap empty;
    return empty;
}

}  // namespace

// --- TypeSubst ------------------------------------------------------------------------------

Type TypeSubst::operator()(const std::string& name) const {
    if (const Type* t = find(name)) return *t;
    return mkTid(name);
}

const Type* TypeSubst::find(const std::string& name) const {
    if (!map_) return nullptr;
    auto it = map_->find(name);
    return it == map_->end() ? nullptr : &it->second;
}

const std::map<std::string, Type, std::less<>>& TypeSubst::bindings() const { return map_ ? *map_ : emptySubstMap(); }

TypeSubst TypeSubst::fromMap(std::map<std::string, Type, std::less<>> bindings) {
    TypeSubst s;
    if (!bindings.empty()) s.map_ = std::make_shared<const SubstMap>(std::move(bindings));
    return s;
}

TypeSubst bindVar(const std::string& v, const Type& t) { return TypeSubst::fromMap({{v, t}}); }

Type substType(const TypeSubst& f, const Type& t) {
    if (f.isIdentity()) return t;
    std::vector<std::string> hidden;
    return substWith(
        [&f](const Type& tid) {
            const Type* bound = f.find(tid.name());
            return bound ? *bound : tid;
        },
        t, hidden);
}

Type SharedSubst::operator()(const Type& t) {
    if (f_.isIdentity()) return t;
    std::vector<std::string> hidden;
    // Only terms outside every scheme are kept: inside one, the hidden names change the result.
    auto replace = [this](const Type& tid) {
        const Type* bound = f_.find(tid.name());
        return bound ? *bound : tid;
    };
    std::function<Type(const Type&)> walk = [&](const Type& at) -> Type {
        if (at.isGround()) return at;
        if (!at.isTCon() || !hidden.empty()) return substWith(replace, at, hidden);
        auto it = done_.find(at.nodeAddress());
        if (it != done_.end()) return it->second.second;
        std::vector<Type> args;
        args.reserve(at.args().size());
        bool changed = false;
        for (const auto& a : at.args()) {
            args.push_back(walk(a));
            changed = changed || !args.back().sameNode(a);
        }
        Type r = changed ? mkTCon(at.name(), std::move(args)) : at;
        done_.emplace(at.nodeAddress(), std::make_pair(at, r));
        return r;
    };
    return walk(t);
}

Type substTypeWith(const std::function<Type(const std::string&)>& f, const Type& t) {
    std::vector<std::string> hidden;
    return substWith([&f](const Type& tid) { return f(tid.name()); }, t, hidden);
}

TypeSubst substTypeOf(const TypeSubst& f, const TypeSubst& g) {
    if (f.isIdentity()) return g;
    if (g.isIdentity()) return f;
    SubstMap out;
    for (const auto& [name, t] : g.bindings()) out.emplace_hint(out.end(), name, substType(f, t));
    for (const auto& [name, t] : f.bindings()) out.emplace(name, t);  // kept where g binds the name
    return TypeSubst::fromMap(std::move(out));
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
    SubstMap out;
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
