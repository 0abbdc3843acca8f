#include "engine/rewriting/shared_display_steps.h"

#include <algorithm>
#include <functional>

#include "engine/rewriting/shared_display_sites.h"
#include "lang/expressions.h"

namespace plim::shared_display_detail {

namespace {

// The tables start afresh past this many values and nodes, or past some times the values of
// the last expression, whichever is more.  Small tables pay: the nodes they hold stay alive, and
// a step's lookups miss the processor's caches in large ones, which costs more than finding the
// values of an expression afresh every few dozen steps.
constexpr std::size_t kMostKept = std::size_t{1} << 12;
constexpr std::size_t kTimesLastReach = 16;
// The slots of the hash tables kept when they start afresh (see clear).
constexpr std::size_t kKeptSlots = 4 * kMostKept;

std::uint64_t spreadNode(const void* node) { return spread(reinterpret_cast<std::uintptr_t>(node)); }

}  // namespace

StepSharing& StepSharing::mine() {
    static thread_local StepSharing table;
    return table;
}

std::optional<std::pair<Expr, NameSupply>> StepSharing::share(const Expr& e, NameSupply supply) {
    clearIfLarge();
    ++call_;
    // An application with a leaf on one side and an application on the other has a shape
    // found nowhere else when all above it are such (the path of a step runs down such
    // chains): the groups lie below them, and the chain is built anew above the written part.
    const Expr* part = &e;
    spine_.clear();
    for (; part->isAp() && part->fun().isAp() != part->arg().isAp(); part = part->fun().isAp() ? &part->fun() : &part->arg())
        spine_.push_back(part);
    const int root = valueOf(*part);
    reach(root);
    countOccurrences(root);
    lastReach_ = visits_.size();
    if (!findGroups()) return std::nullopt;
    orderGroups();
    markCovered();
    nameKept(supply);
    for (int v : post_) {
        Value& x = values_[v];
        if (x.fun < 0) continue;
        const Value& f = values_[x.fun];
        const Value& a = values_[x.arg];
        x.keptBelow = f.kept >= 0 || f.keptBelow || a.kept >= 0 || a.keptBelow;
    }
    Defs defs = mkNoDef();
    for (std::size_t k = kept_.size(); k-- > 0;) defs = mkOneDef(mkFun(vars_[k], inside(kept_[k])), std::move(defs), 0);
    Expr body = shown(root);
    for (std::size_t k = spine_.size(); k-- > 0;) {
        const Expr& node = *spine_[k];
        body = node.fun().isAp() ? mkApAs(node, std::move(body), node.arg()) : mkApAs(node, node.fun(), std::move(body));
    }
    return std::pair<Expr, NameSupply>{mkLet(mkDList(std::move(defs)), std::move(body), e.lazyType()), std::move(supply)};
}

// --- values -----------------------------------------------------------------------------------

// The value of every node of e not met before, children first; the nodes met before are not
// entered.
int StepSharing::valueOf(const Expr& e) {
    // The stack holds nodes to visit and, marked by a null entry above them, applications
    // whose children are done.
    std::vector<const Expr*>& todo = nodeStack_;
    std::vector<int>& done = valueStack_;
    todo.assign(1, &e);
    done.clear();
    while (!todo.empty()) {
        const Expr* x = todo.back();
        todo.pop_back();
        if (x == nullptr) {
            x = todo.back();
            todo.pop_back();
            const int arg = done.back();
            const int fun = done[done.size() - 2];
            done.resize(done.size() - 2);
            const int v = applicationValue(*x, fun, arg);
            remember(*x, v);
            done.push_back(v);
            continue;
        }
        int v = known(*x);
        if (v < 0 && x->isAp()) {
            todo.push_back(x);
            todo.push_back(nullptr);
            todo.push_back(&x->arg());
            todo.push_back(&x->fun());
            continue;
        }
        if (v < 0) {
            v = leafValue(*x);
            remember(*x, v);
        }
        done.push_back(v);
    }
    return done.back();
}

int StepSharing::known(const Expr& node) const {
    if (knownSlots_.empty()) return -1;
    const std::size_t mask = knownSlots_.size() - 1;
    for (std::size_t at = spreadNode(node.identity()) & mask; knownSlots_[at].node != nullptr; at = (at + 1) & mask)
        if (knownSlots_[at].node == node.identity()) return knownSlots_[at].value;
    return -1;
}

void StepSharing::remember(const Expr& node, int value) {
    if (2 * (held_.size() + 1) > knownSlots_.size()) {
        std::vector<Known> old(std::max<std::size_t>(1024, 2 * knownSlots_.size()));
        old.swap(knownSlots_);
        const std::size_t mask = knownSlots_.size() - 1;
        for (const Known& k : old) {
            if (k.node == nullptr) continue;
            std::size_t at = spreadNode(k.node) & mask;
            while (knownSlots_[at].node != nullptr) at = (at + 1) & mask;
            knownSlots_[at] = k;
        }
    }
    const std::size_t mask = knownSlots_.size() - 1;
    std::size_t at = spreadNode(node.identity()) & mask;
    while (knownSlots_[at].node != nullptr) at = (at + 1) & mask;
    knownSlots_[at] = Known{node.identity(), value};
    held_.push_back(node);
}

// Values of one shape (equal parts, or equal leaves) differ at most in their types, which are
// read only when the shape is met again.
int StepSharing::applicationValue(const Expr& node, int fun, int arg) {
    const std::uint64_t hash = mix(mix(3, static_cast<std::uint32_t>(fun)), static_cast<std::uint32_t>(arg));
    return findOrAdd(node, fun, arg, hash, [&](int c) {
        return values_[c].fun == fun && values_[c].arg == arg && eqType(forms_[c].node.type(), node.type());
    });
}

int StepSharing::leafValue(const Expr& node) {
    const std::uint64_t hash =
        node.isVar() ? mix(0x1234567ULL, std::hash<std::string>{}(node.name())) : leafHash(node);
    return findOrAdd(node, -1, -1, hash, [&](int c) {
        const Expr& other = forms_[c].node;
        return values_[c].fun < 0 && sameLeaf(other, node) && eqType(other.type(), node.type());
    });
}

// The value with that hash for which `same` holds, or a new one made from the node.
template <class Same>
int StepSharing::findOrAdd(const Expr& node, int fun, int arg, std::uint64_t hash, const Same& same) {
    roomForValue();
    const std::size_t mask = valueSlots_.size() - 1;
    std::size_t at = spread(hash) & mask;
    for (; valueSlots_[at].value >= 0; at = (at + 1) & mask)
        if (valueSlots_[at].hash == hash && same(valueSlots_[at].value)) return valueSlots_[at].value;
    return addValue(node, fun, arg, hash, at);
}

void StepSharing::roomForValue() {
    if (2 * (values_.size() + 1) <= valueSlots_.size()) return;
    std::vector<ValueSlot> old(std::max<std::size_t>(1024, 2 * valueSlots_.size()));
    old.swap(valueSlots_);
    const std::size_t mask = valueSlots_.size() - 1;
    for (const ValueSlot& slot : old) {
        if (slot.value < 0) continue;
        std::size_t at = spread(slot.hash) & mask;
        while (valueSlots_[at].value >= 0) at = (at + 1) & mask;
        valueSlots_[at] = slot;
    }
}

int StepSharing::addValue(const Expr& node, int fun, int arg, std::uint64_t hash, std::size_t slot) {
    const int v = static_cast<int>(values_.size());
    values_.emplace_back();
    values_.back().fun = fun;
    values_.back().arg = arg;
    forms_.emplace_back(node);
    valueSlots_[slot] = ValueSlot{hash, v};
    return v;
}

// --- the graph of the expression ---------------------------------------------------------------

// The values of the expression, each once, in visiting order (a value, its argument's, its
// function's) and in post-order; their facts of the last call reset.
void StepSharing::reach(int root) {
    visits_.clear();
    post_.clear();
    frames_.assign(1, {root, false});
    while (!frames_.empty()) {
        auto [v, expanded] = frames_.back();
        if (expanded) {
            frames_.pop_back();
            post_.push_back(v);
            continue;
        }
        Value& x = values_[v];
        if (x.seen == call_) {
            frames_.pop_back();
            continue;
        }
        x.seen = call_;
        x.occurrences = 0;
        x.parents = 0;
        x.parent = -1;
        x.group = -1;
        x.kept = -1;
        x.covered = false;
        x.keptBelow = false;
        visits_.push_back(v);
        frames_.back().second = true;
        if (x.fun >= 0) {
            const int fun = x.fun, arg = x.arg;
            frames_.emplace_back(fun, false);
            frames_.emplace_back(arg, false);
        }
    }
}

// Parents before children (the reverse of post-order): a value occurs as often as its
// parents together.
void StepSharing::countOccurrences(int root) {
    values_[root].occurrences = 1;
    for (std::size_t k = post_.size(); k-- > 0;) {
        const int v = post_[k];
        const Value& x = values_[v];
        if (x.fun < 0) continue;
        for (int part : {x.fun, x.arg}) {
            Value& p = values_[part];
            p.occurrences += x.occurrences;
            ++p.parents;
            p.parent = v;
        }
    }
}

// The liftable applications that occur twice or more, in order of first occurrence.
bool StepSharing::findGroups() {
    groups_.clear();
    for (int v : visits_) {
        Value& x = values_[v];
        if (x.fun < 0 || x.occurrences < 2) continue;
        Form& form = forms_[v];
        if (form.liftable < 0) form.liftable = liftable(Site{&form.node, -1, Step::First, 0, {-1, -1}}, false) ? 1 : 0;
        if (form.liftable == 0) continue;
        x.group = static_cast<int>(groups_.size());
        groups_.push_back(v);
    }
    return !groups_.empty();
}

// Repeatedly the first group that holds no group not yet taken, into order_.  A group holds
// directly the groups reached from it through values that are no group.
void StepSharing::orderGroups() {
    const std::size_t n = groups_.size();
    if (holders_.size() < n) holders_.resize(n);
    for (std::size_t g = 0; g < n; ++g) holders_[g].clear();
    heldCount_.assign(n, 0);
    std::vector<int>& todo = valueStack_;
    for (std::size_t g = 0; g < n; ++g) {
        const Value& top = values_[groups_[g]];
        ++holderMarks_;
        todo.assign({top.fun, top.arg});
        while (!todo.empty()) {
            Value& x = values_[todo.back()];
            todo.pop_back();
            if (x.holderMark == holderMarks_) continue;
            x.holderMark = holderMarks_;
            if (x.group >= 0) {
                holders_[x.group].push_back(static_cast<int>(g));
                ++heldCount_[g];
            } else if (x.fun >= 0) {
                todo.push_back(x.fun);
                todo.push_back(x.arg);
            }
        }
    }
    innermostFirst(holders_, heldCount_, order_);
}

// A group found only inside another group's occurrences, one in each, lies on a chain of
// single parents up to it; the others are kept, in writing order.
void StepSharing::markCovered() {
    for (std::size_t k = post_.size(); k-- > 0;) {
        Value& x = values_[post_[k]];
        if (x.parents != 1) continue;
        const Value& p = values_[x.parent];
        x.covered = p.group >= 0 || p.covered;
    }
    kept_.clear();
    for (int g : order_) {
        Value& x = values_[groups_[g]];
        if (x.covered) continue;
        x.kept = static_cast<int>(kept_.size());
        kept_.push_back(groups_[g]);
    }
}

// The kept groups' variables, named from the supply in turn; the written forms made under the
// names of the last call stay when the names are the same.  A group named as when it was last
// kept keeps its variable's node.
void StepSharing::nameKept(NameSupply& supply) {
    bool same = naming_.size() == kept_.size();
    std::vector<std::string> names;
    names.reserve(kept_.size());
    for (std::size_t k = 0; k < kept_.size(); ++k) {
        auto [name, rest] = nextName(supply);
        supply = std::move(rest);
        same = same && naming_[k].first == kept_[k] && naming_[k].second == name;
        names.push_back(std::move(name));
    }
    if (same) return;
    ++namingGeneration_;
    naming_.clear();
    vars_.clear();
    for (std::size_t k = 0; k < kept_.size(); ++k) {
        Form& form = forms_[kept_[k]];
        if (!form.var || form.var->name() != names[k]) form.var = mkVar(names[k], exprType(form.node));
        vars_.push_back(*form.var);
        naming_.emplace_back(kept_[k], std::move(names[k]));
    }
}

// --- written forms ------------------------------------------------------------------------------

// The value as it stands in its parent: a kept group's variable, else its written form.
Expr StepSharing::shown(int value) {
    const int kept = values_[value].kept;
    return kept >= 0 ? vars_[kept] : inside(value);
}

// The value with the kept groups' occurrences strictly inside it replaced by their variables:
// its own node when there are none, else a node made once per naming, parts first, and kept
// under a new naming where its parts' written forms are the same nodes as before.
Expr StepSharing::inside(int value) {
    auto ready = [this](int v) {
        const Form& form = forms_[v];
        return !values_[v].keptBelow || (form.writtenIn == namingGeneration_ && form.written.has_value());
    };
    std::vector<int>& todo = valueStack_;
    todo.assign(1, value);
    while (!todo.empty()) {
        const int v = todo.back();
        if (ready(v)) {
            todo.pop_back();
            continue;
        }
        const Value& x = values_[v];
        bool waiting = false;
        for (int part : {x.fun, x.arg}) {
            if (values_[part].kept < 0 && !ready(part)) {
                todo.push_back(part);
                waiting = true;
            }
        }
        if (waiting) continue;
        Expr fun = written(x.fun);
        Expr arg = written(x.arg);
        Form& form = forms_[v];
        if (!form.written || !form.written->fun().sameNode(fun) || !form.written->arg().sameNode(arg))
            form.written = mkApAs(form.node, std::move(fun), std::move(arg));
        form.writtenIn = namingGeneration_;
        todo.pop_back();
    }
    return written(value, false);
}

// shown(value) for a value whose written form is made; `asPart` false for the value itself
// where it is a kept group.
Expr StepSharing::written(int value, bool asPart) const {
    const Value& x = values_[value];
    if (asPart && x.kept >= 0) return vars_[x.kept];
    return x.keptBelow ? *forms_[value].written : forms_[value].node;
}

// --- upkeep ---------------------------------------------------------------------------------

void StepSharing::clearIfLarge() {
    if (values_.size() + held_.size() > std::max(kMostKept, kTimesLastReach * lastReach_)) clear();
}

void StepSharing::clear() {
    values_.clear();
    forms_.clear();
    // Slots for as many as the tables hold before they start afresh keep their room: the next
    // values fill them again as fast as these did.  Larger ones are given back.
    if (valueSlots_.size() <= kKeptSlots) std::fill(valueSlots_.begin(), valueSlots_.end(), ValueSlot{});
    else valueSlots_ = std::vector<ValueSlot>();
    if (knownSlots_.size() <= kKeptSlots) std::fill(knownSlots_.begin(), knownSlots_.end(), Known{});
    else knownSlots_ = std::vector<Known>();
    held_.clear();
    naming_.clear();
    vars_.clear();
}

}  // namespace plim::shared_display_detail
