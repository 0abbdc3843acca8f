// Common subexpressions of expressions without lambdas, from their hash-consed values (see
// common_subexpressions.h for the algorithm and its costs).
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "engine/rewriting/common_subexpressions.h"
#include "engine/rewriting/shared_display_sites.h"
#include "support/work_room.h"

namespace plim {

namespace {

using shared_display_detail::isArrowType;
using shared_display_detail::leafKey;
using shared_display_detail::mix;
using shared_display_detail::sameLeaf;
using shared_display_detail::spread;

// One distinct subtree of the expression.
struct Value {
    int fun = -1;  // an application's parts' values, -1 for a leaf
    int arg = -1;
    const Expr* node = nullptr;  // its first occurrence in path order
    std::uint64_t hash = 0;
    // Facts of the graph of values:
    std::uint32_t parents = 0;  // incoming edges (an application of v to v gives v two)
    int parent = -1;            // the last parent met
    int group = -1;             // its group (index in order of first occurrence), or -1
    int kept = -1;              // its place among the kept groups, or -1
    std::uint32_t pending = 0;  // parts not yet taken, while ordering innermost first
    std::uint8_t occurs = 0;    // occurrences, counted up to 2
    bool entered = false;
    bool mentions = false;      // mentions a variable of the context
    bool covered = false;
    bool keptBelow = false;     // a kept group occurs strictly inside
};

// A node met, by address: its value and, once made, its written form.
struct Known {
    const void* node = nullptr;
    int value = -1;
    int written = -1;
};

// A node to visit, or (null) the mark that the application below it on the stack has its
// parts done; for an application, its slot among the nodes met.
struct Todo {
    const Expr* node;
    std::size_t slot;
};

// The work space of one call; nothing in it outlives the call but its room.
struct ValueRoom {
    std::vector<Value> values;
    std::vector<int> valueSlots;  // open addressing by hash: a value, or -1
    std::vector<Known> known;     // open addressing by node address
    std::size_t knownCount = 0;
    std::vector<Todo> todo;
    std::vector<const Expr*> nodeStack;
    std::vector<int> valueStack;
    std::vector<std::pair<int, bool>> frames;
    std::vector<int> visits, post, groups, order, kept;
    std::vector<int> parentStart, parentList;  // the parents of every value, in one array
    std::vector<Expr> written, vars;
    std::vector<std::uint64_t> twigKeys;  // open addressing: a twig's key, or 0 for none
    std::size_t twigCount = 0;
    void clear() {
        written.clear();  // no node held past the call
        vars.clear();
    }
};

// Room for twice as many entries as the last call made, at least 64: the table neither
// grows step by step in a calculation nor stays large after a large expression.
template <class Entry>
void startTable(std::vector<Entry>& slots, std::size_t lastCount, const Entry& free) {
    std::size_t size = 64;
    while (size < 4 * lastCount) size *= 2;
    slots.assign(size, free);
}

class LambdaFreeSharing {
public:
    LambdaFreeSharing(const std::vector<TypedVar>& ctx, ValueRoom& room) : ctx_(ctx), r_(room) {}

    // shareLambdaFree of e.
    std::optional<std::pair<Expr, NameSupply>> share(const Expr& e, const std::function<NameSupply()>& supply);

private:
    int valueTree(const Expr& e);
    int leafValue(const Expr& leaf);
    int applicationValue(const Expr& node, int fun, int arg);
    int intern(const Expr& node, int fun, int arg, std::uint64_t hash, std::size_t at);
    std::size_t knownSlot(const Expr& node) const;
    std::size_t claimSlot(const Expr& node, std::size_t at);
    void reach(int root);
    bool findGroups();
    void orderInnermostFirst();
    void keepUncovered();
    void nameKept(NameSupply& supply);
    Expr shown(const Expr& node);
    Expr writtenForm(const Expr& node);
    int valueOfNode(const Expr& node) const;

    const std::vector<TypedVar>& ctx_;
    ValueRoom& r_;
};

std::optional<std::pair<Expr, NameSupply>> LambdaFreeSharing::share(const Expr& e,
                                                                      const std::function<NameSupply()>& supply) {
    startTable(r_.valueSlots, r_.values.size(), -1);
    startTable(r_.known, r_.knownCount, Known{});
    r_.values.clear();
    r_.knownCount = 0;
    const int root = valueTree(e);
    reach(root);
    if (!findGroups()) return std::nullopt;
    orderInnermostFirst();
    keepUncovered();
    NameSupply names = supply();
    nameKept(names);
    for (int v : r_.post) {
        Value& x = r_.values[v];
        if (x.fun < 0) continue;
        const Value& f = r_.values[x.fun];
        const Value& a = r_.values[x.arg];
        x.keptBelow = f.kept >= 0 || f.keptBelow || a.kept >= 0 || a.keptBelow;
    }
    Defs defs = mkNoDef();
    for (std::size_t k = r_.kept.size(); k-- > 0;)
        defs = mkOneDef(mkFun(r_.vars[k], writtenForm(*r_.values[r_.kept[k]].node)), std::move(defs), 0);
    Expr body = writtenForm(e);
    return std::pair<Expr, NameSupply>{mkLet(mkDList(std::move(defs)), std::move(body), e.lazyType()),
                                       std::move(names)};
}

// --- values -----------------------------------------------------------------------------------

// The values of e's nodes, parts first, the function's before the argument's: so a value's
// first node met is its first occurrence in path order.  Applications met before are not
// entered again.
int LambdaFreeSharing::valueTree(const Expr& e) {
    // The stack holds nodes to visit and, marked by a null entry above them, applications
    // whose parts are done, with the slot that holds them among the nodes met.
    std::vector<Todo>& todo = r_.todo;
    std::vector<int>& done = r_.valueStack;
    todo.assign(1, Todo{&e, 0});
    done.clear();
    while (!todo.empty()) {
        const Todo t = todo.back();
        todo.pop_back();
        if (t.node == nullptr) {
            const Todo app = todo.back();
            todo.pop_back();
            const int arg = done.back();
            const int fun = done[done.size() - 2];
            done.resize(done.size() - 2);
            const int v = applicationValue(*app.node, fun, arg);
            r_.known[app.slot].value = v;
            done.push_back(v);
            continue;
        }
        const Expr& x = *t.node;
        if (!x.isAp()) {
            done.push_back(leafValue(x));
            continue;
        }
        const std::size_t slot = knownSlot(x);
        if (r_.known[slot].node != nullptr) {
            done.push_back(r_.known[slot].value);
            continue;
        }
        todo.push_back(Todo{&x, claimSlot(x, slot)});
        todo.push_back(Todo{nullptr, 0});
        todo.push_back(Todo{&x.arg(), 0});
        todo.push_back(Todo{&x.fun(), 0});
    }
    return done.back();
}

// Leaves of one name or constant and one type are one value.
int LambdaFreeSharing::leafValue(const Expr& leaf) {
    const std::uint64_t hash = mix(leafKey(leaf), leaf.type().hashCode());
    const std::size_t mask = r_.valueSlots.size() - 1;
    std::size_t at = spread(hash) & mask;
    for (; r_.valueSlots[at] >= 0; at = (at + 1) & mask) {
        const Value& c = r_.values[r_.valueSlots[at]];
        if (c.hash == hash && c.fun < 0 && sameLeaf(*c.node, leaf) && eqType(c.node->type(), leaf.type()))
            return r_.valueSlots[at];
    }
    return intern(leaf, -1, -1, hash, at);
}

// Applications of equal parts are one value when their types are equal, which their parts'
// equal types make the rule.
int LambdaFreeSharing::applicationValue(const Expr& node, int fun, int arg) {
    const std::uint64_t hash = mix(mix(3, static_cast<std::uint32_t>(fun)), static_cast<std::uint32_t>(arg));
    const std::size_t mask = r_.valueSlots.size() - 1;
    std::size_t at = spread(hash) & mask;
    for (; r_.valueSlots[at] >= 0; at = (at + 1) & mask) {
        const Value& c = r_.values[r_.valueSlots[at]];
        if (c.fun == fun && c.arg == arg && eqType(c.node->type(), node.type())) return r_.valueSlots[at];
    }
    return intern(node, fun, arg, hash, at);
}

// A new value, put in the free slot `at` where its search ended; the table stays at most
// half full.
int LambdaFreeSharing::intern(const Expr& node, int fun, int arg, std::uint64_t hash, std::size_t at) {
    const int v = static_cast<int>(r_.values.size());
    r_.values.emplace_back();
    Value& x = r_.values.back();
    x.fun = fun;
    x.arg = arg;
    x.node = &node;
    x.hash = hash;
    std::vector<int>& slots = r_.valueSlots;
    if (2 * r_.values.size() <= slots.size()) {
        slots[at] = v;
        return v;
    }
    slots.assign(2 * slots.size(), -1);
    const std::size_t mask = slots.size() - 1;
    for (int w = 0; w <= v; ++w) {
        std::size_t free = spread(r_.values[w].hash) & mask;
        while (slots[free] >= 0) free = (free + 1) & mask;
        slots[free] = w;
    }
    return v;
}

// The slot of the node among the nodes met, or the free slot where it belongs.
std::size_t LambdaFreeSharing::knownSlot(const Expr& node) const {
    const std::size_t mask = r_.known.size() - 1;
    std::size_t at = spread(reinterpret_cast<std::uintptr_t>(node.identity())) & mask;
    while (r_.known[at].node != nullptr && r_.known[at].node != node.identity()) at = (at + 1) & mask;
    return at;
}

// Takes the free slot `at` for the node, its value still to come; the slot it holds then
// (the table stays at most half full, and growing places every node again).
std::size_t LambdaFreeSharing::claimSlot(const Expr& node, std::size_t at) {
    ++r_.knownCount;
    if (2 * r_.knownCount <= r_.known.size()) {
        r_.known[at].node = node.identity();
        return at;
    }
    std::vector<Known> old(2 * r_.known.size());
    old.swap(r_.known);
    const std::size_t mask = r_.known.size() - 1;
    for (const Known& k : old) {
        if (k.node == nullptr) continue;
        std::size_t free = spread(reinterpret_cast<std::uintptr_t>(k.node)) & mask;
        while (r_.known[free].node != nullptr) free = (free + 1) & mask;
        r_.known[free] = k;
    }
    // The applications waiting for their values are placed anew.
    for (Todo& t : r_.todo)
        if (t.node != nullptr && r_.known[knownSlot(*t.node)].node == t.node->identity()) t.slot = knownSlot(*t.node);
    at = knownSlot(node);
    r_.known[at].node = node.identity();
    return at;
}

int LambdaFreeSharing::valueOfNode(const Expr& node) const {
    return node.isAp() ? r_.known[knownSlot(node)].value : -1;
}

// --- the graph of values ------------------------------------------------------------------------

// The values of the expression, each once, in visiting order (a value, its argument's, its
// function's: so first occurrences come in the order of a walk of the tree) and in
// post-order; with their parents and their occurrences, counted up to two.
void LambdaFreeSharing::reach(int root) {
    std::vector<Value>& values = r_.values;
    r_.visits.clear();
    r_.post.clear();
    r_.frames.assign(1, {root, false});
    while (!r_.frames.empty()) {
        auto [v, expanded] = r_.frames.back();
        if (expanded) {
            r_.frames.pop_back();
            r_.post.push_back(v);
            continue;
        }
        if (values[v].entered) {
            r_.frames.pop_back();
            continue;
        }
        values[v].entered = true;
        r_.visits.push_back(v);
        r_.frames.back().second = true;
        if (values[v].fun >= 0) {
            const int fun = values[v].fun, arg = values[v].arg;
            r_.frames.emplace_back(fun, false);
            r_.frames.emplace_back(arg, false);
        }
    }
    // Parents before parts: a value occurs as often as its parents together.
    values[root].occurs = 1;
    for (std::size_t k = r_.post.size(); k-- > 0;) {
        const int v = r_.post[k];
        const Value& x = values[v];
        if (x.fun < 0) continue;
        for (int part : {x.fun, x.arg}) {
            Value& p = values[part];
            p.occurs = static_cast<std::uint8_t>(std::min(2, p.occurs + x.occurs));
            ++p.parents;
            p.parent = v;
        }
    }
}

// The liftable applications that occur twice or more, in order of first occurrence.
bool LambdaFreeSharing::findGroups() {
    std::vector<Value>& values = r_.values;
    if (!ctx_.empty()) {
        for (int v : r_.post) {
            Value& x = values[v];
            const Expr& node = *x.node;
            if (x.fun >= 0) {
                x.mentions = values[x.fun].mentions || values[x.arg].mentions;
                continue;
            }
            for (const TypedVar& c : ctx_)
                if (node.isVar() && c.first == node.name() && eqType(c.second, node.type())) x.mentions = true;
        }
    }
    r_.groups.clear();
    for (int v : r_.visits) {
        Value& x = values[v];
        if (x.fun < 0 || x.occurs < 2 || x.mentions || isArrowType(x.node->type())) continue;
        x.group = static_cast<int>(r_.groups.size());
        r_.groups.push_back(v);
    }
    return !r_.groups.empty();
}

// The groups innermost first, into order: repeatedly the first group (in order of first
// occurrence) that holds no group not yet taken.  That is a topological order of the graph,
// parts first, in which the values that are no group are taken as soon as their parts are,
// and of the groups whose parts are all taken the first.
void LambdaFreeSharing::orderInnermostFirst() {
    std::vector<Value>& values = r_.values;
    const std::size_t n = values.size();
    std::vector<int>& start = r_.parentStart;
    std::vector<int>& list = r_.parentList;
    start.assign(n + 1, 0);
    for (int v : r_.post) start[v + 1] = static_cast<int>(values[v].parents);
    for (std::size_t v = 0; v < n; ++v) start[v + 1] += start[v];
    list.assign(static_cast<std::size_t>(start[n]), -1);
    std::vector<int>& fill = r_.valueStack;
    fill.assign(start.begin(), start.end() - 1);
    std::vector<int>& ready = r_.kept;  // values ready that are no group
    ready.clear();
    for (int v : r_.post) {
        Value& x = values[v];
        x.pending = x.fun >= 0 ? 2 : 0;
        if (x.fun >= 0) {
            list[fill[x.fun]++] = v;
            list[fill[x.arg]++] = v;
        } else {
            ready.push_back(v);
        }
    }
    std::priority_queue<int, std::vector<int>, std::greater<int>> readyGroups;
    r_.order.clear();
    auto take = [&](int v) {
        for (int k = start[v]; k < start[v + 1]; ++k) {
            Value& p = values[list[k]];
            if (--p.pending != 0) continue;
            if (p.group >= 0) readyGroups.push(p.group);
            else ready.push_back(list[k]);
        }
    };
    for (;;) {
        while (!ready.empty()) {
            const int v = ready.back();
            ready.pop_back();
            take(v);
        }
        if (readyGroups.empty()) break;
        const int g = readyGroups.top();
        readyGroups.pop();
        r_.order.push_back(g);
        take(r_.groups[g]);
    }
}

// A group found only inside another group's occurrences, one in each, lies on a chain of
// single parents up to it; the others are kept, in writing order.
void LambdaFreeSharing::keepUncovered() {
    std::vector<Value>& values = r_.values;
    for (std::size_t k = r_.post.size(); k-- > 0;) {
        Value& x = values[r_.post[k]];
        if (x.parents != 1) continue;
        const Value& p = values[x.parent];
        x.covered = p.group >= 0 || p.covered;
    }
    r_.kept.clear();
    for (int g : r_.order) {
        Value& x = values[r_.groups[g]];
        if (x.covered) continue;
        x.kept = static_cast<int>(r_.kept.size());
        r_.kept.push_back(r_.groups[g]);
    }
}

// The kept groups' variables, named from the supply in turn.
void LambdaFreeSharing::nameKept(NameSupply& supply) {
    r_.vars.clear();
    for (int v : r_.kept) {
        auto [name, rest] = nextName(supply);
        supply = std::move(rest);
        r_.vars.push_back(mkVar(std::move(name), exprType(*r_.values[v].node)));
    }
}

// --- written forms ------------------------------------------------------------------------------

// A node as it stands in its parent: a kept group's variable, else its written form.
Expr LambdaFreeSharing::shown(const Expr& node) {
    const int v = valueOfNode(node);
    if (v < 0) return node;
    if (r_.values[v].kept >= 0) return r_.vars[r_.values[v].kept];
    if (!r_.values[v].keptBelow) return node;
    return r_.written[r_.known[knownSlot(node)].written];
}

// The node with the kept groups' occurrences strictly inside it replaced by their variables:
// the node itself when there are none, else one node made, parts first, for each node met
// that stands above an occurrence.
Expr LambdaFreeSharing::writtenForm(const Expr& top) {
    const int topValue = valueOfNode(top);
    if (topValue < 0 || !r_.values[topValue].keptBelow) return top;
    auto waits = [this](const Expr& part) {
        const int v = valueOfNode(part);
        return v >= 0 && r_.values[v].kept < 0 && r_.values[v].keptBelow && r_.known[knownSlot(part)].written < 0;
    };
    std::vector<const Expr*>& todo = r_.nodeStack;
    todo.assign(1, &top);
    while (!todo.empty()) {
        const Expr& x = *todo.back();
        if (r_.known[knownSlot(x)].written >= 0) {
            todo.pop_back();
            continue;
        }
        const bool funWaits = waits(x.fun()), argWaits = waits(x.arg());
        if (funWaits) todo.push_back(&x.fun());
        if (argWaits) todo.push_back(&x.arg());
        if (funWaits || argWaits) continue;
        Expr fun = shown(x.fun());
        r_.written.push_back(mkApAs(x, std::move(fun), shown(x.arg())));
        r_.known[knownSlot(x)].written = static_cast<int>(r_.written.size()) - 1;
        todo.pop_back();
    }
    return r_.written[r_.known[knownSlot(top)].written];
}

// May e hold two equal applications?  False only when it does not.  Two equal applications
// hold, at the same place inside each, an application of a leaf to a leaf (a twig: take one
// of the deepest applications in them), and so does one application met twice where the
// expression shares a node in memory.  So it is enough that no two twigs have one key, made
// from their leaves' names and constants: a walk that reads no type, hashes only twigs and
// stops at the first key met twice (so it meets a shared node at most twice).
bool mayRepeat(const Expr& e, ValueRoom& room) {
    std::vector<std::uint64_t>& keys = room.twigKeys;
    startTable(keys, room.twigCount, std::uint64_t{0});
    room.twigCount = 0;
    std::vector<const Expr*>& todo = room.nodeStack;
    todo.assign(1, &e);
    while (!todo.empty()) {
        const Expr& x = *todo.back();
        todo.pop_back();
        const bool funAp = x.fun().isAp(), argAp = x.arg().isAp();
        if (funAp) todo.push_back(&x.fun());
        if (argAp) todo.push_back(&x.arg());
        if (funAp || argAp) continue;
        const std::uint64_t key = mix(mix(leafKey(x.fun()), leafKey(x.arg())), 0) | 1;  // never 0
        if (2 * (room.twigCount + 1) > keys.size()) {
            std::vector<std::uint64_t> old(2 * keys.size(), 0);
            old.swap(keys);
            for (std::uint64_t k : old) {
                if (k == 0) continue;
                std::size_t at = spread(k) & (keys.size() - 1);
                while (keys[at] != 0) at = (at + 1) & (keys.size() - 1);
                keys[at] = k;
            }
        }
        const std::size_t mask = keys.size() - 1;
        std::size_t at = spread(key) & mask;
        for (; keys[at] != 0; at = (at + 1) & mask)
            if (keys[at] == key) return true;
        keys[at] = key;
        ++room.twigCount;
    }
    return false;
}

}  // namespace

std::optional<std::pair<Expr, NameSupply>> shareLambdaFree(const Expr& e, const std::vector<TypedVar>& ctx,
                                                           const std::function<NameSupply()>& supply) {
    if (!e.isAp()) return std::nullopt;  // a leaf repeats nothing
    BorrowedRoom<ValueRoom> room;
    if (!mayRepeat(e, *room)) return std::nullopt;
    return LambdaFreeSharing(ctx, *room).share(e, supply);
}

}  // namespace plim
