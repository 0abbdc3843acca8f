// Common subexpressions of expressions without lambdas, from their hash-consed values (see
// common_subexpressions.h for the algorithm and its costs).
//
// The walks over the expression keep work stacks of their own, as hand-made loops of a hot
// path (they run on every step of a calculation): belowSpine goes down one path, mayRepeat
// stops at the first repeat, valueTree enters a node shared in memory once.  The other walks
// go over the values, a graph, not a tree.
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "engine/rewriting/common_subexpressions.h"
#include "engine/rewriting/shared_display_copies.h"
#include "engine/rewriting/shared_display_sites.h"
#include "support/work_room.h"

namespace plim {

namespace {

using shared_display_detail::isArrowType;
using shared_display_detail::KnownCopies;
using shared_display_detail::leafKey;
using shared_display_detail::mix;
using shared_display_detail::sameLeaf;

// One distinct subtree of the expression, as the walk makes it.  Values are numbered parts
// first, so a value's parents come after it.
struct Value {
    int fun = -1;  // an application's parts' values, -1 for a leaf
    int arg = -1;
    const Expr* node = nullptr;  // its first node met
    const void* type = nullptr;  // its type's node when known without computing, else null
    bool mentions = false;       // mentions a variable of the context
};

// The facts of the graph of values, made after the walk.
struct Facts {
    std::uint32_t parents = 0;  // incoming edges (an application of v to v gives v two)
    int parent = -1;            // the last parent met
    int rank = -1;              // a group's place in order of first occurrence
    int kept = -1;              // its place among the kept groups
    int written = -1;           // its written form, when a kept group occurs strictly inside
    int local = -1;             // its place among the values that order the groups
    std::uint32_t pending = 0;  // parts not yet taken, while ordering innermost first
    bool twice = false;         // occurs twice or more
    bool group = false;         // a liftable application that occurs twice or more
    bool covered = false;       // reached from a group through single parents
    bool inside = false;        // lies strictly inside a group
    bool holdsGroup = false;    // is or holds a group
    bool keptBelow = false;     // a kept group occurs strictly inside
    bool entered = false;
};

// The slots of the tables below are kept from call to call: a slot is taken in this call when
// its stamp is the call's, so a call starts without clearing them.
struct ValueSlot {  // a value by its key: an application's hash (Expr::hashCode), or a leaf's (top bit set)
    std::uint64_t key = 0;
    int value = -1;
    std::uint32_t call = 0;
};
struct LeafSlot {  // a leaf's fields as they stand and its type's node (see fieldsOf), and its value
    std::uint64_t fields = 0;
    const void* type = nullptr;
    int value = -1;
    std::uint32_t call = 0;
};
struct TwigSlot {
    std::uint64_t key = 0;
    std::uint32_t call = 0;
};

// An application in the walk of valueTree, its function's value once known, and where the
// search for its key ended (its slot is there or after, unless the table grew since: the
// table's size then).
struct Frame {
    const Expr* node;
    std::size_t slot;
    std::size_t tableSize;
    int fun;
};

constexpr std::size_t kLeafMemo = 512;
// The frame of an application not looked up (see valueTree).
constexpr std::size_t kNotLookedUp = SIZE_MAX;
constexpr std::uint64_t kLeafKey = std::uint64_t{1} << 63;  // no application's key has it

// A leaf's fields as they stand: equal for two leaves with one name or constant, that is one
// value when their types' nodes are one too (the converse need not hold: two copies of a name
// or of a type).  A constructor by the one copy of its name its constants share, a variable by
// its node's address (the node names itself), a constant of another kind by its kind and its
// field (odd, so never a copy's address); 0, no key, for a float (NaN is no float's equal).
inline std::uint64_t fieldsOf(const Expr& leaf) {
    if (!leaf.isCon()) return reinterpret_cast<std::uintptr_t>(leaf.identity());
    const Constant& c = leaf.constant();
    // Constructors, the usual leaves, before the switch.
    if (c.kind() == ConstantKind::Constr) [[likely]] return reinterpret_cast<std::uintptr_t>(&c.constrName());
    const auto kind = static_cast<std::uint64_t>(c.kind()) << 1 | 1;
    switch (c.kind()) {
    case ConstantKind::Number: return std::uint64_t{static_cast<std::uint32_t>(c.number())} << 8 | kind;
    case ConstantKind::Tuple: return std::uint64_t{static_cast<std::uint32_t>(c.arity())} << 8 | kind;
    case ConstantKind::Binop: return static_cast<std::uint64_t>(c.op()) << 8 | kind;
    case ConstantKind::Boolean: return std::uint64_t{c.boolean()} << 8 | kind;
    case ConstantKind::FNumber: return 0;
    default: return kind;
    }
}

// Equal types, the usual case (one node) without a call.
inline bool sameType(const Type& a, const Type& b) { return a.sameNode(b) || eqType(a, b); }

// The node of e's type when it is known without computing it, else null.
inline const void* knownTypeNode(const Expr& e) { return e.typeIsEvaluated() ? e.type().nodeAddress() : nullptr; }

// The slot of a key in a table of mask + 1 slots (a power of two): the high half of a product
// with an odd constant, so that numbers and addresses spread too.
inline std::size_t slotOf(std::uint64_t key, std::size_t mask) {
    return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15ULL) >> 32) & mask;
}

// The work space of the calls of a thread: capacity only, nothing read from one call in the
// next (the stamps tell this call's slots), but for the copies known equal.
struct ValueRoom {
    std::uint32_t call = 0;
    std::vector<Value> values;  // room for the values: the first valueCount are this call's
    std::size_t valueCount = 0;
    std::vector<Facts> facts;
    std::vector<ValueSlot> valueSlots;  // open addressing by key
    std::array<LeafSlot, kLeafMemo> leaves{};  // leaves met, by their fields, one per slot
    std::vector<TwigSlot> twigs;               // open addressing by key
    std::size_t twigCount = 0;
    std::vector<Frame> frames;
    std::vector<const Expr*> nodeStack, spine;
    std::vector<std::pair<const Expr*, const Expr*>> pairs;
    std::vector<int> valueStack, groups, order, kept, ordering, above, edgeStart, edges, readyGroups;
    std::vector<Expr> written, vars;
    KnownCopies copies;  // kept from call to call, swept at the start of each

    // A new call's stamp; at the wrap, the slots of the calls before are freed for good.
    void startCall() {
        if (++call != 0) return;
        call = 1;
        std::fill(valueSlots.begin(), valueSlots.end(), ValueSlot{});
        leaves.fill(LeafSlot{});
        std::fill(twigs.begin(), twigs.end(), TwigSlot{});
    }
    void clear() {
        written.clear();  // no node held past the call
        vars.clear();
    }
};

// At least four slots for each entry the last call made, at least 64, the table kept while it
// has at most four times that: it neither grows step by step in a calculation nor stays large
// after a large expression.
template <class Slot>
void startTable(std::vector<Slot>& slots, std::size_t lastCount) {
    std::size_t size = 64;
    while (size < 4 * lastCount) size *= 2;
    if (slots.size() < size || slots.size() > 4 * size) slots.assign(size, Slot{});
}

// The table grown to twice its size, its slots of this call placed again by `place`.
template <class Slot, class Place>
void growTable(std::vector<Slot>& slots, std::uint32_t call, Place place) {
    std::vector<Slot> old(2 * slots.size());
    old.swap(slots);
    for (const Slot& s : old)
        if (s.call == call) place(s);
}

// A slot of this call's entries, placed in its table again after the table grew.
template <class Slot, class Key>
void placeAgain(std::vector<Slot>& slots, const Slot& s, Key key) {
    const std::size_t mask = slots.size() - 1;
    std::size_t at = slotOf(key(s), mask);
    while (slots[at].call == s.call) at = (at + 1) & mask;
    slots[at] = s;
}

// The walk of valueTree's frames, in locals: a frame is pushed per application, so its stack
// is grown by hand.
struct WalkState {
    explicit WalkState(ValueRoom& room) : call(room.call) {
        if (room.frames.size() < 64) room.frames.resize(64);
        frames = room.frames.data();
        capacity = room.frames.size();
    }
    void grow(std::vector<Frame>& room) {
        room.resize(2 * capacity);
        frames = room.data();
        capacity = room.size();
    }

    const std::uint32_t call;
    LeafSlot last;  // the last leaf valued by its fields (none at first: no leaf's fields are 0)
    const ValueSlot* slots = nullptr;  // the table of values, as LambdaFreeSharing keeps it
    std::size_t slotMask = 0;
    const Value* values = nullptr;
    Frame* frames = nullptr;
    std::size_t top = 0, capacity = 0;
    // Subtrees are looked up while top < quiet: not below an application whose look-up met
    // an unequal subtree of its hash (see valueTree).
    std::size_t quiet = SIZE_MAX;
};

class LambdaFreeSharing {
public:
    LambdaFreeSharing(const std::vector<TypedVar>& ctx, ValueRoom& room) : ctx_(ctx), r_(room) {}

    // shareLambdaFree of e, whose repeats all lie in `body`, below the applications of
    // `spine` (see belowSpine).
    std::optional<std::pair<Expr, NameSupply>> share(const Expr& e, const Expr& body,
                                                     const std::function<NameSupply()>& supply);

private:
    int valueTree(const Expr& e);
    int subtreeValue(WalkState& w, const Expr& node, std::size_t& at);
    int newApplication(WalkState& w, const Frame& done, int arg);
    bool sameTree(const Expr& a, const Expr& b);
    bool sameValue(const Expr& x, const Expr& first);
    int leafValue(WalkState& w, const Expr& leaf);
    int leafRemembered(const Expr& leaf, std::uint64_t fields, const void* type);
    int leafMissed(const Expr& leaf, std::uint64_t fields, const void* type, LeafSlot& seen);
    int leafByContent(const Expr& leaf);
    int applicationValue(WalkState& w, const Expr& node, int fun, int arg);
    int applicationMissed(const Expr& node, int fun, int arg, std::uint64_t key, std::size_t at);
    void valuesOf(WalkState& w) const {
        w.slots = slots_;
        w.slotMask = slotMask_;
        w.values = values_;
    }
    int intern(const Expr& node, int fun, int arg, std::uint64_t key, std::size_t at);
    void growValues();
    void tableGrown();
    bool findGroups(int root);
    void markAbove();
    void rankGroups(int root);
    void orderInnermostFirst();
    void keepUncovered();
    void nameKept(NameSupply& supply);
    Expr shown(int value, const Expr& node) const;
    Expr writtenForm(int value) const;

    const std::vector<TypedVar>& ctx_;
    ValueRoom& r_;
    int valueCount_ = 0;  // the values so far, the first of r_.values
    int valueLimit_ = 0;  // the most values the table of values holds, half its slots
    Value* values_ = nullptr;     // r_.values.data(), room for valueLimit_ + 1 values
    ValueSlot* slots_ = nullptr;  // r_.valueSlots.data()
    std::size_t slotMask_ = 0;    // r_.valueSlots.size() - 1
};

std::optional<std::pair<Expr, NameSupply>> LambdaFreeSharing::share(const Expr& e, const Expr& body,
                                                                      const std::function<NameSupply()>& supply) {
    startTable(r_.valueSlots, r_.valueCount);
    r_.copies.sweep();
    tableGrown();
    const int root = valueTree(body);  // the last value: it holds all others
    r_.valueCount = static_cast<std::size_t>(valueCount_);
    r_.facts.assign(r_.valueCount, Facts{});
    if (!findGroups(root)) return std::nullopt;
    markAbove();
    rankGroups(root);
    orderInnermostFirst();
    keepUncovered();
    NameSupply names = supply();
    nameKept(names);
    r_.written.clear();
    for (int v : r_.above) {
        const Value& x = r_.values[v];
        Expr fun = shown(x.fun, x.node->fun());
        r_.written.push_back(mkApAs(*x.node, std::move(fun), shown(x.arg, x.node->arg())));
        r_.facts[v].written = static_cast<int>(r_.written.size()) - 1;
    }
    Defs defs = mkNoDef();
    for (std::size_t k = r_.kept.size(); k-- > 0;)
        defs = mkOneDef(mkFun(r_.vars[k], writtenForm(r_.kept[k])), std::move(defs), 0);
    Expr written = writtenForm(root);
    for (std::size_t k = r_.spine.size(); k-- > 0;) {
        const Expr& x = *r_.spine[k];
        written = x.fun().isAp() ? mkApAs(x, std::move(written), x.arg()) : mkApAs(x, x.fun(), std::move(written));
    }
    return std::pair<Expr, NameSupply>{mkLet(mkDList(std::move(defs)), std::move(written), e.lazyType()),
                                       std::move(names)};
}

// --- values -----------------------------------------------------------------------------------

// The values of e's nodes, parts first, the function's before the argument's: so a value's
// first node met is its first occurrence in path order.  Values are found by their key, an
// application's the hash of its form (Expr::hashCode, made when its node was built), so equal
// applications share it.  A subtree equal to one valued before is not entered: an application
// is looked up on the way down and compared with the values of its key (sameValue), and when
// none is equal, it is a new value, entered on the way up in the slot where the search ended
// (or after).  So a copy of a subtree costs a comparison, not a valuation.  One frame per
// application: down the function side, then its argument (a leaf function valued on the way
// down, so the frame is met once on the way up).
//
// Below an application whose look-up met an unequal value of its key (one that differs in
// types, which the hash leaves out), nothing is looked up on the way down: the values there
// are found on the way up by their parts' values.  So no node is compared in vain twice, and
// the walk stays linear in the nodes.
int LambdaFreeSharing::valueTree(const Expr& e) {
    WalkState w(r_);
    valuesOf(w);
    const Expr* x = &e;
    for (;;) {
        int v = -1;
        for (;;) {
            if (!x->isAp()) {
                v = leafValue(w, *x);
                break;
            }
            std::size_t at = kNotLookedUp;
            if (w.top < w.quiet) {
                v = subtreeValue(w, *x, at);
                if (v >= 0) break;
            }
            if (w.top == w.capacity) w.grow(r_.frames);
            const Expr& fun = x->fun();
            if (fun.isAp()) {
                w.frames[w.top++] = Frame{x, at, w.slotMask + 1, -1};
                x = &fun;
            } else {  // the function's value at once: the frame waits for the argument only
                w.frames[w.top++] = Frame{x, at, w.slotMask + 1, leafValue(w, fun)};
                x = &x->arg();
            }
        }
        for (;;) {
            if (w.top == 0) return v;
            Frame& f = w.frames[w.top - 1];
            if (f.fun < 0) {
                f.fun = v;
                x = &f.node->arg();
                break;
            }
            const Frame done = f;
            if (--w.top < w.quiet) w.quiet = SIZE_MAX;  // out of the quiet subtree
            v = done.slot == kNotLookedUp ? applicationValue(w, *done.node, done.fun, v) : newApplication(w, done, v);
        }
    }
}

// An application's key: the hash of its form and its type's, without the bit that marks
// leaves' keys.  The type's counts: applications of one form and many types (the partial
// tuples of a nested tuple, `(,) 1` of a new type at every level) would otherwise share a
// key, and each would be compared with all the others.
inline std::uint64_t applicationKey(const Expr& node) {
    return mix(node.hashCode(), node.type().hashCode()) & ~kLeafKey;
}

// The value equal to the application among the values of its key; else -1, and `at` the free
// slot where the search ended.  An unequal value of its key quiets the look-ups below it.
[[gnu::always_inline]] inline int LambdaFreeSharing::subtreeValue(WalkState& w, const Expr& node, std::size_t& at) {
    const std::uint64_t key = applicationKey(node);
    at = slotOf(key, w.slotMask);
    for (; w.slots[at].call == w.call; at = (at + 1) & w.slotMask) {
        if (w.slots[at].key != key) continue;
        const int c = w.slots[at].value;
        if (sameValue(node, *w.values[c].node)) return c;
        w.quiet = w.top + 1;
    }
    return -1;
}

// The value of an application that its look-up on the way down did not find: a new one, in
// the first free slot from where that search ended (the search made again if the table grew).
[[gnu::always_inline]] inline int LambdaFreeSharing::newApplication(WalkState& w, const Frame& done, int arg) {
    const std::uint64_t key = applicationKey(*done.node);
    std::size_t at = done.tableSize == w.slotMask + 1 ? done.slot : slotOf(key, w.slotMask);
    while (w.slots[at].call == w.call) at = (at + 1) & w.slotMask;
    const int v = applicationMissed(*done.node, done.fun, arg, key, at);
    valuesOf(w);
    return v;
}

// Is x the value whose first node is `first`: one node, nodes known to be of one class from
// the calls before, or else compared (and then entered in one class).
[[gnu::noinline]] bool LambdaFreeSharing::sameValue(const Expr& x, const Expr& first) {
    if (x.sameNode(first)) return true;
    const std::uint64_t known = r_.copies.classOf(first);
    if (known != 0 && r_.copies.classOf(x) == known) return true;
    if (!sameTree(x, first)) return false;
    r_.copies.remember(x, first, known);
    return true;
}

// Equal types of two nodes, the usual case (one node) without a call.
inline bool sameTypeOf(const Expr& x, const Expr& y) { return sameType(x.type(), y.type()); }

// Equal names or constants of two leaves of one form: constructors, the usual leaves, by the
// one copy of its name that every constant of a name shares.
inline bool sameName(const Expr& x, const Expr& y) {
    if (x.isCon() && x.constant().kind() == ConstantKind::Constr && y.constant().kind() == ConstantKind::Constr)
        return &x.constant().constrName() == &y.constant().constrName();
    return sameLeaf(x, y);
}

// Are the expressions one value: one form, names and constants, equal types everywhere?  A
// node both share is not entered, and the first difference ends the walk (a hash that
// differs, mostly).  Down the arguments of leaf functions without a stack (Peano numbers,
// lists' cells).
[[gnu::noinline]] bool LambdaFreeSharing::sameTree(const Expr& a, const Expr& b) {
    std::vector<std::pair<const Expr*, const Expr*>>& todo = r_.pairs;
    todo.clear();
    const Expr* x = &a;
    const Expr* y = &b;
    for (;;) {
        while (!x->sameNode(*y)) {
            if (x->hashCode() != y->hashCode() || x->kind() != y->kind() || !sameTypeOf(*x, *y)) return false;
            if (!x->isAp()) {
                if (!sameName(*x, *y)) return false;
                break;
            }
            const Expr& f = x->fun();
            const Expr& g = y->fun();
            if (f.isAp()) {
                todo.emplace_back(&x->arg(), &y->arg());
                x = &f;
                y = &g;
                continue;
            }
            const bool sameFun = f.sameNode(g) || (f.hashCode() == g.hashCode() && f.kind() == g.kind() &&
                                                   sameTypeOf(f, g) && sameName(f, g));
            if (!sameFun) return false;
            x = &x->arg();
            y = &y->arg();
        }
        if (todo.empty()) return true;
        x = todo.back().first;
        y = todo.back().second;
        todo.pop_back();
    }
}

// Leaves of one name or constant and one type are one value.  A leaf whose fields and type's
// node were met before in the call is found in the memo by them, without hashing its name or
// type nor comparing: an expression's leaves are many nodes of few names and types.
[[gnu::always_inline]] inline int LambdaFreeSharing::leafValue(WalkState& w, const Expr& leaf) {
    const std::uint64_t fields = fieldsOf(leaf);
    const void* type = leaf.type().nodeAddress();
    if (fields == w.last.fields && type == w.last.type && fields != 0) return w.last.value;
    const int v = leafRemembered(leaf, fields, type);
    valuesOf(w);  // a new leaf may have grown the table
    w.last = LeafSlot{fields, type, v, w.call};
    return v;
}

// A leaf not the last one, from the memo or else by its name or constant and type.
[[gnu::always_inline]] inline int LambdaFreeSharing::leafRemembered(const Expr& leaf, std::uint64_t fields, const void* type) {
    if (fields == 0) return leafByContent(leaf);
    LeafSlot& seen = r_.leaves[slotOf(fields ^ reinterpret_cast<std::uintptr_t>(type) >> 4, kLeafMemo - 1)];
    if (seen.call != r_.call || seen.fields != fields || seen.type != type) leafMissed(leaf, fields, type, seen);
    return seen.value;
}

// A leaf not in the memo, put there.
[[gnu::noinline]] int LambdaFreeSharing::leafMissed(const Expr& leaf, std::uint64_t fields, const void* type, LeafSlot& seen) {
    const int v = leafByContent(leaf);
    seen = LeafSlot{fields, type, v, r_.call};
    return v;
}

// A leaf's value by its name or constant and its type, hashed and compared.
int LambdaFreeSharing::leafByContent(const Expr& leaf) {
    const std::uint64_t key = mix(leafKey(leaf), leaf.type().hashCode()) | kLeafKey;
    const std::size_t mask = r_.valueSlots.size() - 1;
    std::size_t at = slotOf(key, mask);
    for (; r_.valueSlots[at].call == r_.call; at = (at + 1) & mask) {
        const ValueSlot& s = r_.valueSlots[at];
        if (s.key != key) continue;
        const Value& c = values_[s.value];
        if (sameLeaf(*c.node, leaf) && sameType(c.node->type(), leaf.type())) return s.value;
    }
    const int v = intern(leaf, -1, -1, key, at);
    for (const TypedVar& c : ctx_)
        if (leaf.isVar() && c.first == leaf.name() && eqType(c.second, leaf.type())) values_[v].mentions = true;
    return v;
}

// An application not looked up on the way down: one value with an application of its key
// whose parts are its parts' values, when their types are equal, which their parts' equal
// types make the rule: their types' nodes are compared first, the types only when these
// differ or one is not known yet.
[[gnu::always_inline]] inline int LambdaFreeSharing::applicationValue(WalkState& w, const Expr& node, int fun, int arg) {
    const std::uint64_t key = applicationKey(node);
    std::size_t at = slotOf(key, w.slotMask);
    for (; w.slots[at].call == w.call; at = (at + 1) & w.slotMask) {
        if (w.slots[at].key != key) continue;
        const int c = w.slots[at].value;
        const Value& x = w.values[c];
        if (x.fun != fun || x.arg != arg) continue;
        const Type& type = node.type();
        if ((x.type != nullptr && x.type == type.nodeAddress()) || sameType(x.node->type(), type)) return c;
    }
    const int v = applicationMissed(node, fun, arg, key, at);
    valuesOf(w);
    return v;
}

// A new application's value.
[[gnu::noinline]] int LambdaFreeSharing::applicationMissed(const Expr& node, int fun, int arg, std::uint64_t key, std::size_t at) {
    const int v = intern(node, fun, arg, key, at);
    if (!ctx_.empty()) {
        values_[v].mentions = values_[fun].mentions || values_[arg].mentions;
    }
    return v;
}

// A new value, put in the free slot `at` where its search ended; the table stays at most
// half full.
[[gnu::always_inline]] inline int LambdaFreeSharing::intern(const Expr& node, int fun, int arg, std::uint64_t key, std::size_t at) {
    const int v = valueCount_++;
    values_[v] = Value{fun, arg, &node, knownTypeNode(node), false};
    slots_[at] = ValueSlot{key, v, r_.call};
    if (valueCount_ > valueLimit_) growValues();
    return v;
}

// The table of values grown, every value placed again.
[[gnu::noinline]] void LambdaFreeSharing::growValues() {
    std::vector<ValueSlot>& slots = r_.valueSlots;
    growTable(slots, r_.call, [&slots](const ValueSlot& s) { placeAgain(slots, s, [](const ValueSlot& t) { return t.key; }); });
    tableGrown();
}

// The table of values' address, mask and limit, kept in fields (the hot path reads them).
void LambdaFreeSharing::tableGrown() {
    slots_ = r_.valueSlots.data();
    slotMask_ = r_.valueSlots.size() - 1;
    valueLimit_ = static_cast<int>(r_.valueSlots.size() / 2);
    // Room for every value the table takes before it grows, kept while at most four times that.
    const std::size_t room = static_cast<std::size_t>(valueLimit_) + 1;
    if (r_.values.size() < room) r_.values.resize(room);
    if (r_.values.size() > 4 * room) std::vector<Value>(room).swap(r_.values);
    values_ = r_.values.data();
}

// --- the graph of values ------------------------------------------------------------------------

// Parents before parts (the values in reverse): how often each value occurs (twice or more
// when it has two incoming edges or one from a value that occurs twice), its groups (the
// liftable applications that occur twice or more), the covered ones and those inside a
// group.  False when there is no group.
bool LambdaFreeSharing::findGroups(int root) {
    const Value* values = r_.values.data();
    Facts* facts = r_.facts.data();
    bool found = false;
    for (int v = root; v >= 0; --v) {
        const Value& x = values[v];
        if (x.fun < 0) continue;
        Facts& fx = facts[v];
        if (fx.parents > 0) {
            const Facts& p = facts[fx.parent];
            fx.twice = fx.parents > 1 || p.twice;
            fx.covered = fx.parents == 1 && (p.group || p.covered);
        }
        fx.group = fx.twice && !x.mentions && !isArrowType(x.node->type());
        found = found || fx.group;
        for (int part : {x.fun, x.arg}) {
            Facts& y = facts[part];
            ++y.parents;
            y.parent = v;
            y.inside = y.inside || fx.group || fx.inside;
        }
    }
    return found;
}

// Parts before parents: the values that hold a group, those above a kept group (in `above`)
// and those that order the groups (in `ordering`): the groups and the values inside one that
// hold one.
void LambdaFreeSharing::markAbove() {
    const Value* values = r_.values.data();
    Facts* facts = r_.facts.data();
    r_.above.clear();
    r_.ordering.clear();
    for (int v = 0; v < valueCount_; ++v) {
        const Value& x = values[v];
        if (x.fun < 0) continue;
        Facts& fx = facts[v];
        const Facts& f = facts[x.fun];
        const Facts& a = facts[x.arg];
        fx.keptBelow = (f.group && !f.covered) || f.keptBelow || (a.group && !a.covered) || a.keptBelow;
        fx.holdsGroup = fx.group || f.holdsGroup || a.holdsGroup;
        if (fx.keptBelow) r_.above.push_back(v);
        if (fx.group || (fx.inside && fx.holdsGroup)) {
            fx.local = static_cast<int>(r_.ordering.size());
            r_.ordering.push_back(v);
        }
    }
}

// The groups in order of first occurrence in visiting order (a value, its argument's, its
// function's), from a walk of the graph that enters no value twice and only those that hold
// a group.
void LambdaFreeSharing::rankGroups(int root) {
    const Value* values = r_.values.data();
    Facts* facts = r_.facts.data();
    std::vector<int>& todo = r_.valueStack;
    todo.assign(1, root);
    r_.groups.clear();
    while (!todo.empty()) {
        const int v = todo.back();
        todo.pop_back();
        Facts& fx = facts[v];
        if (fx.entered) continue;
        fx.entered = true;
        if (fx.group) {
            fx.rank = static_cast<int>(r_.groups.size());
            r_.groups.push_back(v);
        }
        const Value& x = values[v];
        if (facts[x.fun].holdsGroup && !facts[x.fun].entered) todo.push_back(x.fun);
        if (facts[x.arg].holdsGroup && !facts[x.arg].entered) todo.push_back(x.arg);
    }
}

// The groups innermost first, into order: repeatedly the first group (in order of first
// occurrence) that holds no group not yet taken.  That is a topological order of the graph,
// parts first, in which the values that are no group are taken as soon as their parts are,
// and of the groups whose parts are all taken the first.  Only the values in `ordering` can
// hold back a group: the others hold no group or lie in none.
void LambdaFreeSharing::orderInnermostFirst() {
    const Value* values = r_.values.data();
    Facts* facts = r_.facts.data();
    const std::vector<int>& ordering = r_.ordering;
    const std::size_t n = ordering.size();
    std::vector<int>& start = r_.edgeStart;  // the parents of every value in `ordering`
    std::vector<int>& list = r_.edges;
    start.assign(n + 1, 0);
    for (int v : ordering) {
        facts[v].pending = 0;
        for (int part : {values[v].fun, values[v].arg}) {
            if (facts[part].local < 0) continue;
            ++start[facts[part].local + 1];
            ++facts[v].pending;
        }
    }
    for (std::size_t k = 0; k < n; ++k) start[k + 1] += start[k];
    list.resize(static_cast<std::size_t>(start[n]));
    std::vector<int>& fill = r_.valueStack;
    fill.assign(start.begin(), start.end() - 1);
    for (int v : ordering) {
        for (int part : {values[v].fun, values[v].arg})
            if (facts[part].local >= 0) list[fill[facts[part].local]++] = v;
    }
    std::vector<int>& ready = r_.kept;  // values ready that are no group
    ready.clear();
    std::vector<int>& readyGroups = r_.readyGroups;  // ranks, a heap of the least first
    readyGroups.clear();
    auto becomesReady = [&](int v) {
        if (!facts[v].group) {
            ready.push_back(v);
            return;
        }
        readyGroups.push_back(facts[v].rank);
        std::push_heap(readyGroups.begin(), readyGroups.end(), std::greater<int>());
    };
    for (int v : ordering)
        if (facts[v].pending == 0) becomesReady(v);
    auto take = [&](int v) {
        const int at = facts[v].local;
        for (int k = start[at]; k < start[at + 1]; ++k)
            if (--facts[list[k]].pending == 0) becomesReady(list[k]);
    };
    r_.order.clear();
    for (;;) {
        while (!ready.empty()) {
            const int v = ready.back();
            ready.pop_back();
            take(v);
        }
        if (readyGroups.empty()) break;
        std::pop_heap(readyGroups.begin(), readyGroups.end(), std::greater<int>());
        const int g = readyGroups.back();
        readyGroups.pop_back();
        r_.order.push_back(g);
        take(r_.groups[g]);
    }
}

// The groups not covered (found only inside another group's occurrences, one in each: on a
// chain of single parents up to it) are kept, in writing order.
void LambdaFreeSharing::keepUncovered() {
    r_.kept.clear();
    for (int g : r_.order) {
        Facts& x = r_.facts[r_.groups[g]];
        if (x.covered) continue;
        x.kept = static_cast<int>(r_.kept.size());
        r_.kept.push_back(r_.groups[g]);
    }
}

// The kept groups' variables, named from the supply in turn (as nextName draws them, its
// list of type variables left as it is).
void LambdaFreeSharing::nameKept(NameSupply& supply) {
    r_.vars.clear();
    NameList names = std::move(supply.vars);
    for (int v : r_.kept) {
        r_.vars.push_back(mkVar(names.head(), exprType(*r_.values[v].node)));
        names = names.tail();
    }
    supply.vars = std::move(names);
}

// --- written forms ------------------------------------------------------------------------------

// A part of the value, `node` where it stands: a kept group's variable, else its written form.
Expr LambdaFreeSharing::shown(int value, const Expr& node) const {
    const Facts& x = r_.facts[value];
    if (x.kept >= 0) return r_.vars[x.kept];
    return x.keptBelow ? r_.written[x.written] : node;
}

// The value with the kept groups' occurrences strictly inside it replaced by their variables:
// its first node when there are none, else one node made for it, as for every value above an
// occurrence (equal subtrees are written alike).
Expr LambdaFreeSharing::writtenForm(int value) const {
    const Facts& x = r_.facts[value];
    return x.keptBelow ? r_.written[x.written] : *r_.values[value].node;
}

// The applications from e down that have a leaf on one side and an application on the other,
// into spine, and the application below them.  Each occurs once (its parent does, and it lies
// in no sibling, the siblings being leaves), so whatever repeats lies below them.
const Expr& belowSpine(const Expr& e, std::vector<const Expr*>& spine) {
    spine.clear();
    const Expr* x = &e;
    for (;;) {
        const bool funAp = x->fun().isAp();
        if (funAp == x->arg().isAp()) return *x;
        spine.push_back(x);
        x = funAp ? &x->fun() : &x->arg();
    }
}

// May e hold two equal applications?  False only when it does not.  Two equal applications
// hold, at the same place inside each, an application of a leaf to a leaf (a twig: take one
// of the deepest applications in them), and so does one application met twice where the
// expression shares a node in memory.  So it is enough that no two twigs have one key, made
// from their leaves' names and constants: a walk that reads no type, hashes only twigs and
// stops at the first key met twice (so it meets a shared node at most twice).
bool mayRepeat(const Expr& e, ValueRoom& room) {
    std::vector<TwigSlot>& twigs = room.twigs;
    startTable(twigs, room.twigCount);
    // The table and the count in locals, read again only when the table grows.
    const std::uint32_t call = room.call;
    TwigSlot* slots = twigs.data();
    std::size_t mask = twigs.size() - 1;
    std::size_t& count = room.twigCount;
    // A walk stopped early says little of the expression's twigs: the last count stays then,
    // so that the table neither shrinks nor grows again step by step.
    const std::size_t counted = count;
    count = 0;
    std::vector<const Expr*>& todo = room.nodeStack;
    todo.clear();
    const Expr* x = &e;
    for (;;) {
        const Expr& fun = x->fun();
        const Expr& arg = x->arg();
        const bool funAp = fun.isAp(), argAp = arg.isAp();
        if (funAp || argAp) {
            if (funAp && argAp) todo.push_back(&arg);
            x = funAp ? &fun : &arg;
            continue;
        }
        const std::uint64_t key = leafKey(fun) * 0x9e3779b97f4a7c15ULL + leafKey(arg);
        if (2 * (count + 1) > mask + 1) {
            growTable(twigs, call, [&twigs](const TwigSlot& s) {
                std::size_t at = slotOf(s.key, twigs.size() - 1);
                while (twigs[at].call == s.call) at = (at + 1) & (twigs.size() - 1);
                twigs[at] = s;
            });
            slots = twigs.data();
            mask = twigs.size() - 1;
        }
        std::size_t at = slotOf(key, mask);
        for (; slots[at].call == call; at = (at + 1) & mask)
            if (slots[at].key == key) {
                count = std::max(count, counted);
                return true;
            }
        slots[at] = TwigSlot{key, call};
        ++count;
        if (todo.empty()) return false;
        x = todo.back();
        todo.pop_back();
    }
}

}  // namespace

std::optional<std::pair<Expr, NameSupply>> shareLambdaFree(const Expr& e, const std::vector<TypedVar>& ctx,
                                                           const std::function<NameSupply()>& supply) {
    if (!e.isAp()) return std::nullopt;  // a leaf repeats nothing
    BorrowedRoom<ValueRoom> room;
    room->startCall();
    const Expr& body = belowSpine(e, room->spine);
    if (!mayRepeat(body, *room)) [[likely]] return std::nullopt;  // most steps repeat nothing
    return LambdaFreeSharing(ctx, *room).share(e, body, supply);
}

}  // namespace plim
