// The environments and the substitution store of the type pass.
#include <algorithm>
#include <atomic>
#include <unordered_set>

#include "frontend/typecheck/checker.h"

namespace plim {

namespace {

std::uint64_t nextBindingId() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

bool hasFreeVars(const Type& t) {
    switch (t.kind()) {
    case TypeKind::Tid: return true;
    case TypeKind::TCon:
        if (t.isGround()) return false;
        return std::any_of(t.args().begin(), t.args().end(), [](const Type& a) { return hasFreeVars(a); });
    case TypeKind::TAbs: return !freeTypeVars({}, t).empty();
    }
    return true;
}

}  // namespace

// --- CheckEnv -----------------------------------------------------------------------------------

CheckEnv CheckEnv::fromTypeEnv(const TypeEnv& env) {
    CheckEnv out;
    for (auto it = env.rbegin(); it != env.rend(); ++it) out = out.with(it->first, it->second);
    return out;
}

CheckEnv CheckEnv::with(const std::string& name, const Type& t) const {
    CheckEnv out;
    const std::uint64_t id = nextBindingId();
    const bool open = hasFreeVars(t);
    out.map_ = addToFM(NameOrd{}, name, Entry{t, id, open}, map_);
    out.open_ = open ? std::make_shared<const OpenCell>(OpenCell{name, id, open_}) : open_;
    return out;
}

CheckEnv CheckEnv::with(const TypeEnv& pairs) const {
    CheckEnv out = *this;
    for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) out = out.with(it->first, it->second);
    return out;
}

std::optional<Type> CheckEnv::lookup(const std::string& name) const {
    std::optional<Entry> e = lookupFM(NameOrd{}, map_, name);
    if (!e) return std::nullopt;
    return e->type;
}

bool CheckEnv::binds(const std::string& name) const { return lookupFM(NameOrd{}, map_, name).has_value(); }

std::vector<std::string> CheckEnv::names() const {
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(map_.size()));
    for (const auto& kv : fmToList(NameOrd{}, map_)) out.push_back(kv.first);
    return out;
}

std::size_t CheckEnv::size() const { return static_cast<std::size_t>(map_.size()); }

ConstructorNames noConstructors() {
    static const ConstructorNames none{std::unordered_set<std::string>{}};
    return none;
}

// --- CheckState ---------------------------------------------------------------------------------

std::shared_ptr<CheckState> CheckState::fresh() { return std::make_shared<CheckState>(); }

std::shared_ptr<CheckState> CheckState::startingAfter(std::uint64_t used) {
    auto s = std::make_shared<CheckState>();
    s->next_ = used;
    return s;
}

std::string CheckState::freshName() { return nthName(next_++); }

NameList CheckState::supply() const { return typeVarNames().drop(next_); }

Type CheckState::resolve(const Type& t) const {
    if (made_ == 0) return t;
    std::vector<std::string> hidden;
    return resolveHiding(t, hidden, false);
}

Type CheckState::resolveFinal(const Type& t) const {
    if (made_ == 0) return t;
    std::vector<std::string> hidden;
    return resolveHiding(t, hidden, true);
}

Type CheckState::resolveHiding(const Type& t, std::vector<std::string>& hidden, bool cache) const {
    switch (t.kind()) {
    case TypeKind::Tid: {
        if (std::find(hidden.begin(), hidden.end(), t.name()) != hidden.end()) return t;
        Bound* bound = boundType(t.name());
        if (!bound) return t;
        if (bound->resolvedAt == made_) return bound->type;
        std::vector<std::string> none;
        Type r = resolveHiding(bound->type, none, false);
        *boundType(t.name()) = Bound{r, made_};
        return r;
    }
    case TypeKind::TCon: {
        if (t.isGround()) return t;
        const bool cached = cache && hidden.empty();
        if (cached) {
            auto it = resolved_.find(t.nodeAddress());
            if (it != resolved_.end() && it->second.made == made_) return it->second.result;
        }
        std::vector<Type> args;
        args.reserve(t.args().size());
        bool changed = false;
        for (const auto& a : t.args()) {
            args.push_back(resolveHiding(a, hidden, cache));
            changed = changed || !args.back().sameNode(a);
        }
        Type r = changed ? mkTCon(t.name(), std::move(args)) : t;
        if (cached) resolved_.insert_or_assign(t.nodeAddress(), Resolved{t, r, made_});
        return r;
    }
    case TypeKind::TAbs: {
        const std::size_t before = hidden.size();
        hidden.insert(hidden.end(), t.boundVars().begin(), t.boundVars().end());
        Type body = resolveHiding(t.body(), hidden, cache);
        hidden.resize(before);
        return body.sameNode(t.body()) ? t : mkTAbs(t.boundVars(), std::move(body));
    }
    }
    return t;
}

namespace {

// Positions beyond this are kept by name.
constexpr std::uint64_t kPositionLimit = std::uint64_t{1} << 26;
// A binding's type not yet found fully resolved.
constexpr std::uint64_t kNotResolved = ~std::uint64_t{0};

}  // namespace

CheckState::Bound* CheckState::boundType(const std::string& name) const {
    const std::optional<std::uint64_t> pos = namePosition(name);
    if (pos && *pos < kPositionLimit) {
        if (*pos >= boundByPosition_.size() || !boundByPosition_[*pos]) return nullptr;
        return &*boundByPosition_[*pos];
    }
    auto it = boundByName_.find(name);
    return it == boundByName_.end() ? nullptr : &it->second;
}

void CheckState::bind(const std::string& name, const Type& t) {
    const std::optional<std::uint64_t> pos = namePosition(name);
    if (pos && *pos < kPositionLimit) {
        if (*pos >= boundByPosition_.size()) boundByPosition_.resize(std::max<std::uint64_t>(*pos + 1, 2 * boundByPosition_.size()));
        boundByPosition_[*pos] = Bound{t, kNotResolved};
        return;
    }
    boundByName_.insert_or_assign(name, Bound{t, kNotResolved});
}

UnifyResult CheckState::unifyIn(const std::vector<TypeEquation>& eqs) {
    std::vector<TypeEquation> resolved;
    resolved.reserve(eqs.size());
    for (const auto& [l, r] : eqs) resolved.emplace_back(resolve(l), resolve(r));
    UnifyResult u = unify(resolved, identitySubst());
    if (u.isOk())
        for (const auto& [v, t] : u.unifier().bindings())
            if (!(t.isTid() && t.name() == v)) {
                bind(v, t);
                ++made_;
            }
    return u;
}

std::vector<std::string> CheckState::envTypeVars(const CheckEnv& env) const {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (const CheckEnv::OpenCell* c = env.openBindings().get(); c; c = c->next.get()) {
        std::optional<CheckEnv::Entry> e = lookupFM(NameOrd{}, env.entries(), c->name);
        if (!e || e->id != c->id) continue;  // shadowed by a later binding
        for (const auto& v : freeTypeVars({}, resolve(e->type)))
            if (seen.insert(v).second) out.push_back(v);
    }
    return out;
}

TypeSubst CheckState::asSubst() const {
    std::map<std::string, Type, std::less<>> m;
    for (std::size_t i = 0; i < boundByPosition_.size(); ++i)
        if (boundByPosition_[i]) m.emplace(nthName(i), resolve(boundByPosition_[i]->type));
    for (const auto& [v, b] : boundByName_) m.emplace(v, resolve(b.type));
    return TypeSubst::fromMap(std::move(m));
}

}  // namespace plim
