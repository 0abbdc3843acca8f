// The environments and the substitution store of the type pass.
#include <algorithm>
#include <atomic>
#include <unordered_set>

#include "frontend/typecheck/checker.h"
#include "lang/type_rebuild.h"

namespace plim {

namespace {

std::uint64_t nextBindingId() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

bool hasFreeVars(const Type& t) { return t.isTid() || (!t.isGround() && !freeTypeVars({}, t).empty()); }

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
    // A binding without free variables is a cell only when it hides one with them.
    bool cell = open;
    if (!open && open_) {
        const std::optional<Entry> hidden = lookupFM(NameOrd{}, map_, name);
        cell = hidden && hidden->open;
    }
    out.map_ = addToFM(NameOrd{}, name, Entry{t, id, open}, map_);
    out.open_ = cell ? std::make_shared<const OpenCell>(OpenCell{name, id, t, open, open_ ? open_->depth + 1 : 0, open_}) : open_;
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

// The policy of rebuildType for resolution: a bound variable becomes its binding's type,
// resolved once and stored back until the next binding; with `cache`, each constructor term
// outside schemes that has other holders is rebuilt once until the next binding (a term held
// only by its parent is met again only with its parent).
struct CheckState::Resolver {
    const CheckState& st;
    bool cache;
    bool leaf(const Type& tid, Type& out) const {
        const Bound* bound = st.boundType(tid);
        if (!bound) return true;
        if (bound->resolvedAt != st.made_) return false;
        out = bound->type;
        return true;
    }
    const Type& expansion(const Type& tid) const { return st.boundType(tid)->type; }
    void expanded(const Type& tid, const Type& result) const { *st.boundType(tid) = Bound{result, st.made_}; }
    bool known(const Type& t, Type& out) const {
        if (!cache || t.soleHolder()) return false;
        const Resolved* r = st.resolved_.find(t.nodeAddress());
        if (!r) return false;
        out = (*r)->second;
        return true;
    }
    void rebuilt(const Type& t, Type& result) const {
        if (!cache) return;
        if (result.isGround() && !result.sameNode(t)) result = st.groundTerms_.share(std::move(result));
        if (!t.soleHolder()) st.resolved_.set(t.nodeAddress(), Resolved(std::in_place, t, result));
    }
};

// --- ground terms -------------------------------------------------------------------------------

std::size_t CheckState::GroundTerms::hashOf(const Type& t) {
    auto h = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&t.name()));
    for (const Type& a : t.args()) h = (h ^ static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(a.nodeAddress()))) * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

void CheckState::GroundTerms::grow() {
    std::vector<std::optional<Type>> old(std::max<std::size_t>(16, 2 * slots_.size()));
    old.swap(slots_);
    for (std::optional<Type>& t : old) {
        if (!t) continue;
        std::size_t at = hashOf(*t) & (slots_.size() - 1);
        while (slots_[at]) at = (at + 1) & (slots_.size() - 1);
        slots_[at] = std::move(t);
    }
}

Type CheckState::GroundTerms::share(Type t) {
    if (5 * (size_ + 1) > 4 * slots_.size()) grow();
    std::size_t at = hashOf(t) & (slots_.size() - 1);
    for (; slots_[at]; at = (at + 1) & (slots_.size() - 1))
        if (sameConParts(*slots_[at], t)) return *slots_[at];
    slots_[at] = t;
    ++size_;
    return t;
}

Type CheckState::resolve(const Type& t) const {
    if (made_ == 0 || t.isGround()) return t;
    Resolver policy{*this, false};
    return rebuildType(t, policy);
}

Type CheckState::resolveFinal(const Type& t) const {
    if (made_ == 0 || t.isGround()) return t;
    if (resolvedMade_ != made_) {
        resolved_.clear();
        resolvedMade_ = made_;
    }
    Resolver policy{*this, true};
    return rebuildType(t, policy);
}

namespace {

// Positions beyond this are kept by name.
constexpr std::uint64_t kPositionLimit = std::uint64_t{1} << 26;
// A binding's type not yet found fully resolved.
constexpr std::uint64_t kNotResolved = ~std::uint64_t{0} - 1;

}  // namespace

std::optional<std::uint32_t> CheckState::keptPosition(const Type& tid) {
    const std::optional<std::uint32_t> pos = tid.varPosition();
    if (pos && *pos < kPositionLimit) return pos;
    return std::nullopt;
}

std::optional<std::uint32_t> CheckState::keptPosition(const std::string& name) {
    const std::optional<std::uint64_t> pos = namePosition(name);
    if (pos && *pos < kPositionLimit) return static_cast<std::uint32_t>(*pos);
    return std::nullopt;
}

CheckState::Bound* CheckState::boundType(const Type& tid) const {
    if (const std::optional<std::uint32_t> pos = keptPosition(tid)) {
        if (*pos >= boundByPosition_.size() || !boundByPosition_[*pos].bound()) return nullptr;
        return &boundByPosition_[*pos];
    }
    auto it = boundByName_.find(tid.name());
    return it == boundByName_.end() ? nullptr : &it->second;
}

void CheckState::bind(const Type& tid, const Type& t) {
    if (const std::optional<std::uint32_t> pos = keptPosition(tid)) {
        if (*pos >= boundByPosition_.size())
            boundByPosition_.resize(std::max<std::uint64_t>(*pos + 1, 2 * boundByPosition_.size()),
                                    Bound{placeholderType(), kUnbound});
        boundByPosition_[*pos] = Bound{t, kNotResolved};
        return;
    }
    boundByName_.insert_or_assign(tid.name(), Bound{t, kNotResolved});
}

void CheckState::unbind(const Type& tid) {
    if (const std::optional<std::uint32_t> pos = keptPosition(tid)) boundByPosition_[*pos] = Bound{placeholderType(), kUnbound};
    else boundByName_.erase(tid.name());
}

void CheckState::noteHeld(const Type& t, std::vector<const void*>& seen) {
    std::vector<const Type*> work{&t};
    while (!work.empty()) {
        const Type* at = work.back();
        work.pop_back();
        if (at->isGround()) continue;
        if (at->isTid()) {
            if (const std::optional<std::uint32_t> pos = keptPosition(*at)) {
                if (*pos >= heldByPosition_.size()) heldByPosition_.resize(std::max<std::uint64_t>(*pos + 1, 2 * heldByPosition_.size()));
                heldByPosition_[*pos] = true;
            } else {
                heldByName_.insert(at->name());
            }
            continue;
        }
        if (!at->soleHolder()) {
            if (!heldNodes_.insert(at->nodeAddress())) continue;
            seen.push_back(at->nodeAddress());
        }
        if (at->isTAbs()) work.push_back(&at->body());
        for (const Type& a : at->args()) work.push_back(&a);
    }
}

bool CheckState::isHeld(const Type& tid) const {
    if (const std::optional<std::uint32_t> pos = keptPosition(tid)) return *pos < heldByPosition_.size() && heldByPosition_[*pos];
    return heldByName_.count(tid.name()) > 0;
}

bool CheckState::occurs(const Type& v, const Type& t) const {
    // A variable that no binding holds occurs only where it is written.
    if (!isHeld(v)) {
        const std::optional<std::uint64_t> pos = namePosition(v.name());
        if (t.isGround() || (pos && !t.mayHoldVarAt(*pos))) return false;
    }
    // Each entry: a type and the names bound by the schemes around it.  A bound variable's type
    // is looked at once (its free variables do not depend on where it occurs).
    std::unordered_set<std::string> visited;
    std::vector<std::pair<const Type*, BoundScopePtr>> work{{&t, nullptr}};
    while (!work.empty()) {
        const auto [at, hidden] = work.back();
        work.pop_back();
        switch (at->kind()) {
        case TypeKind::Tid: {
            if (scopeHolds(hidden, at->name())) break;
            if (at->name() == v.name()) return true;
            const Bound* bound = boundType(*at);
            if (bound && visited.insert(at->name()).second) work.emplace_back(&bound->type, nullptr);
            break;
        }
        case TypeKind::TCon:
            if (at->isGround()) break;
            for (auto a = at->args().rbegin(); a != at->args().rend(); ++a) work.emplace_back(&*a, hidden);
            break;
        case TypeKind::TAbs: work.emplace_back(&at->body(), BoundScope::inside(hidden, at->boundVars())); break;
        }
    }
    return false;
}

Type CheckState::followChain(const Type& t, std::vector<std::pair<Type, Bound>>* shortened) {
    if (!t.isTid()) return t;
    const Bound* first = boundType(t);
    if (!first) return t;
    Type end = first->type;
    std::size_t links = 0;
    for (const Bound* bound; end.isTid() && (bound = boundType(end)); ++links) end = bound->type;
    Type at = t;
    for (std::size_t i = 0; i < links; ++i) {
        Bound* bound = boundType(at);
        Type next = bound->type;
        if (shortened) shortened->emplace_back(std::move(at), *bound);
        *bound = Bound{end, kNotResolved};
        at = std::move(next);
    }
    return end;
}

Type CheckState::headOf(const Type& t) { return followChain(t, nullptr); }

// One unification against the substitution found so far.  The equations are taken apart by
// their outermost constructors after following bindings (`head`), and new bindings are added
// to the state as they are found (triangular: a bound type may hold variables bound later),
// which gives the same unifier as resolving the equations first and applying each binding to
// all that wait, without walking or rebuilding the types.  A failure takes the new bindings
// back out.
struct CheckState::Unifier {
    CheckState& st;
    std::vector<Type> added;        // the variables bound, in order
    std::vector<const void*> seen;  // the nodes looked at for the new bindings
    std::size_t kept = 0;           // the new bindings' types kept for the nodes in `seen`
    // The bindings shortened, as they were before.
    std::vector<std::pair<Type, Bound>> shortened;
    // The levels the new bindings changed, as they were before.
    LevelUndo levels;

    Type head(const Type& t) { return st.followChain(t, &shortened); }
    void bind(const Type& v, const Type& t) {
        st.bind(v, t);
        const std::size_t before = seen.size();
        st.noteHeld(t, seen);
        if (seen.size() > before) {
            st.boundTypes_.push_back(t);
            ++kept;
        }
        added.push_back(v);
        st.noteBoundInEnv(v, t, levels);
    }
    // The type with every binding applied, the state left as it is (no resolved type is stored
    // back, as the new bindings may yet be taken out).
    Type resolved(const Type& t) const {
        struct Policy {
            const CheckState& st;
            std::unordered_map<std::string, Type> done;
            bool leaf(const Type& tid, Type& out) const {
                if (!st.boundType(tid)) return true;
                auto it = done.find(tid.name());
                if (it == done.end()) return false;
                out = it->second;
                return true;
            }
            const Type& expansion(const Type& tid) const { return st.boundType(tid)->type; }
            void expanded(const Type& tid, const Type& result) { done.insert_or_assign(tid.name(), result); }
            bool known(const Type&, Type&) const { return false; }
            void rebuilt(const Type&, const Type&) const {}
        } policy{st, {}};
        return rebuildType(t, policy);
    }
    UnifyResult fail(UnifyResult r) {
        for (auto it = shortened.rbegin(); it != shortened.rend(); ++it) *st.boundType(it->first) = it->second;
        for (auto it = added.rbegin(); it != added.rend(); ++it) st.unbind(*it);
        st.restoreLevels(levels, added);
        // The nodes looked at for the bindings taken back may go; their addresses may be reused.
        for (const void* node : seen) st.heldNodes_.erase(node);
        st.boundTypes_.erase(st.boundTypes_.end() - static_cast<std::ptrdiff_t>(kept), st.boundTypes_.end());
        return r;
    }
    UnifyResult solve(const std::vector<TypeEquation>& eqs);
};

UnifyResult CheckState::Unifier::solve(const std::vector<TypeEquation>& eqs) {
    std::vector<TypeEquation> work(eqs.rbegin(), eqs.rend());
    while (!work.empty()) {
        const Type t1 = head(work.back().first);
        const Type t2 = head(work.back().second);
        work.pop_back();
        if (t1.isTCon() && t2.isTCon()) {
            if (!t1.sameConName(t2) || t1.args().size() != t2.args().size())
                return fail(UnifyResult::constructorMismatch(resolved(t1), resolved(t2)));
            for (std::size_t i = t1.args().size(); i-- > 0;) work.emplace_back(t1.args()[i], t2.args()[i]);
        } else if (t1.isTid() && t2.isTid()) {
            if (!t1.sameNode(t2) && t1.name() != t2.name()) bind(t1, t2);
        } else if (t1.isTid()) {
            if (st.occurs(t1, t2)) return fail(UnifyResult::occursFailure(t1.name(), resolved(t2)));
            bind(t1, t2);
        } else if (t2.isTid()) {
            if (st.occurs(t2, t1)) return fail(UnifyResult::occursFailure(t2.name(), resolved(t1)));
            bind(t2, t1);
        } else {
            // A scheme against a constructor term or a different scheme.
            const Type r1 = resolved(t1);
            const Type r2 = resolved(t2);
            if (!eqType(r1, r2)) return fail(UnifyResult::constructorMismatch(r1, r2));
        }
    }
    st.made_ += added.size();
    return UnifyResult::ok(identitySubst());
}

UnifyResult CheckState::unifyIn(const std::vector<TypeEquation>& eqs) { return Unifier{*this, {}, {}, 0, {}, {}}.solve(eqs); }

std::vector<std::string> CheckState::envTypeVars(const CheckEnv& env) const {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (const CheckEnv::OpenCell* c = env.openBindings().get(); c; c = c->next.get()) {
        std::optional<CheckEnv::Entry> e = lookupFM(NameOrd{}, env.entries(), c->name);
        if (!c->open || !e || e->id != c->id) continue;  // shadowed by a later binding
        for (const auto& v : freeTypeVars({}, resolve(e->type)))
            if (seen.insert(v).second) out.push_back(v);
    }
    return out;
}

TypeSubst CheckState::asSubst() const {
    std::map<std::string, Type, std::less<>> m;
    for (std::size_t i = 0; i < boundByPosition_.size(); ++i)
        if (boundByPosition_[i].bound()) m.emplace(nthName(i), resolve(boundByPosition_[i].type));
    for (const auto& [v, b] : boundByName_) m.emplace(v, resolve(b.type));
    return TypeSubst::fromMap(std::move(m));
}

}  // namespace plim
