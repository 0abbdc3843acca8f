// The fast matcher's tables for the rewriting driver (RuleTable, SiteTable): what the beta
// wrapper around the fast engine answers at every position of an expression, with the work
// shared between positions and between one expression and the next.
//
// Per theory: the symbols each left side requires, and each left side in beta-eta normal form
// and converted, where that needs no reduction.  Per node, once along the derivation: the
// symbols it holds and, where that needs no reduction, its beta-eta normal form, built from
// its children's; per normal form, once it is asked for, its term when it holds no lambda.
// The match then runs on those normal forms and terms, and an attempt whose rigid shape
// cannot fit is left out, where leaving it out cannot hide an error of the matcher.
//
// Memory follows what the walks read, not the size of the expression: where every walk goes
// by the facts alone, a node under which no rule is tried keeps no entries below it (addFacts),
// and a first-order match at a subexpression that reads as its term runs on the expression
// itself, with no term built.
#include <algorithm>
#include <array>
#include <bit>
#include <span>
#include <utility>

#include "engine/matching/fast/applicability_tables.h"
#include "engine/matching/fast/matcher.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/fast/solver.h"
#include "support/identity_index.h"

namespace plim {

namespace {

// No lambda applied anywhere in e: beta reduction leaves it as it is, and cannot fail.
bool holdsNoRedex(const Expr& e) {
    std::vector<const Expr*> todo{&e};
    while (!todo.empty()) {
        const Expr& x = *todo.back();
        todo.pop_back();
        if (!x.holdsAny(ExprHolds::Lam | ExprHolds::Let)) continue;
        switch (x.kind()) {
        case ExprKind::Ap:
            if (x.fun().isLam()) return false;
            todo.push_back(&x.fun());
            todo.push_back(&x.arg());
            break;
        case ExprKind::Lam:
            todo.push_back(&x.pattern());
            todo.push_back(&x.body());
            break;
        case ExprKind::Let: return false;
        case ExprKind::Var:
        case ExprKind::Con: break;
        }
    }
    return true;
}

// The beta-eta normal form of e (etared(betareduce(e))) where it needs no contraction; nothing
// where it would reduce a redex.
std::optional<Expr> normalWithoutReduction(const Expr& e) {
    if (!holdsNoRedex(e)) return std::nullopt;
    return etared(e);
}

// The head of an application spine and the number of its arguments.
std::pair<const Expr*, std::size_t> spineHead(const Expr& e) {
    const Expr* at = &e;
    std::size_t n = 0;
    for (; at->isAp(); at = &at->fun()) ++n;
    return {at, n};
}

// A constant that heads a rigid application of a pattern (not a tuple constant).
bool rigidHead(const Expr& head) { return head.isCon() && head.constant().kind() != ConstantKind::Tuple; }

// The rigid shape of a pattern in beta-eta normal form: its applications headed by a constant
// (not a tuple constant) reached from its root through such applications.  No match of the
// pattern can exist at a term (in normal form too) without the same shape: at each of those
// places, an application of the same constant to as many arguments, whatever the substitution.
// A lambda of the term at such a place is left to the matcher.
class Shape {
public:
    Shape() = default;
    explicit Shape(const Expr& pattern) {
        std::vector<std::pair<const Expr*, std::int32_t>> todo{{&pattern, -1}};  // (application, parent)
        std::vector<std::uint32_t> skips{0};
        while (!todo.empty()) {
            const auto [p, parent] = todo.back();
            const std::uint32_t skip = skips.back();
            todo.pop_back();
            skips.pop_back();
            const auto [head, args] = spineHead(*p);
            if (!rigidHead(*head)) continue;
            const auto self = static_cast<std::int32_t>(nodes_.size());
            nodes_.push_back(Node{parent, skip, &head->constant(), args});
            std::uint32_t fromLast = 0;
            for (const Expr* a = p; a->isAp(); a = &a->fun(), ++fromLast) {
                todo.emplace_back(&a->arg(), self);
                skips.push_back(fromLast);
            }
        }
    }
    // The term has the shape.
    bool fits(const Expr& term) const {
        constexpr std::size_t inPlace = 16;
        if (nodes_.size() <= inPlace) {
            std::array<const Expr*, inPlace> at;
            return fitsWith(term, at.data());
        }
        std::vector<const Expr*> at(nodes_.size());
        return fitsWith(term, at.data());
    }

private:
    struct Node {
        std::int32_t parent;       // -1: the root
        std::uint32_t skip;        // its place among the parent's arguments, from the last
        const Constant* constant;  // in the pattern
        std::size_t args;
    };
    std::vector<Node> nodes_;  // parents first

    // `at`: room for the term's subexpression at each place (null: under a lambda of the term).
    bool fitsWith(const Expr& term, const Expr** at) const {
        for (std::size_t k = 0; k < nodes_.size(); ++k) {
            const Node& n = nodes_[k];
            const Expr* t = &term;
            if (n.parent >= 0) {
                t = at[static_cast<std::size_t>(n.parent)];
                if (!t) {
                    at[k] = nullptr;
                    continue;
                }
                for (std::uint32_t i = 0; i < n.skip; ++i) t = &t->fun();
                t = &t->arg();
            }
            at[k] = t->isLam() ? nullptr : t;
            if (t->isLam()) continue;
            const auto [head, args] = spineHead(*t);
            if (args != n.args || !head->isCon() || head->constant().kind() != n.constant->kind() ||
                !eqConstant(*n.constant, head->constant()))
                return false;
        }
        return true;
    }
};

// A set of rules by their place in the theory: bit k stands for rule k (of the first 64).
using RuleSet = std::uint64_t;
constexpr std::size_t ruleSetBits = 64;
constexpr std::size_t symbolBits = 64;

// What the per-node facts need of the theory's left sides.  The rules whose visits the node
// facts answer, "tabled", are those among the first 64 that require known symbols; they are
// indexed by the symbol at the head of their normal form and its number of arguments.
struct RuleIndex {
    std::optional<RuleSymbols> symbols;
    std::vector<std::optional<Expr>> normal;  // beta-eta normal forms; nothing: left to the beta wrapper
    std::vector<Shape> shapes;                // of the normal forms; none without one
    RuleSet tabled = 0;
    std::vector<SymbolSet> required;  // of each tabled rule, by its place
    // The tabled rules whose normal form is an application of a constant with a symbol (not a
    // tuple constant), by that symbol and by the number of arguments; the others.
    std::array<RuleSet, symbolBits> byHead{};
    std::vector<RuleSet> byArgs;
    RuleSet flexible = 0;

    explicit RuleIndex(const std::vector<Expr>& lhs) : symbols(ruleSymbols(lhs)) {
        for (const Expr& l : lhs) normal.push_back(normalWithoutReduction(l));
        for (const std::optional<Expr>& n : normal) shapes.push_back(n ? Shape(*n) : Shape());
        if (!symbols) return;
        for (std::size_t r = 0; r < lhs.size() && r < ruleSetBits; ++r)
            if (const std::optional<SymbolSet>& needs = symbols->required[r]) add(r, *needs);
    }
    // The node facts answer the visits of every rule.
    bool tablesAll(std::size_t rules) const {
        return rules <= ruleSetBits && tabled == (rules == ruleSetBits ? ~RuleSet{0} : (RuleSet{1} << rules) - 1);
    }
    // The rule's bit when the node facts answer its visits; 0 otherwise.
    RuleSet tabledBit(std::size_t rule) const { return rule < ruleSetBits ? tabled & (RuleSet{1} << rule) : 0; }
    // The tabled rules whose rigid shape may fit a term (in normal form, not a lambda) whose
    // spine has `args` arguments and the symbols `head` at its head.
    RuleSet candidates(SymbolSet head, std::size_t args) const {
        if (head == 0 || (head & (head - 1)) != 0 || args >= byArgs.size()) return flexible;  // one symbol
        return flexible | (byHead[static_cast<std::size_t>(std::countr_zero(head))] & byArgs[args]);
    }

private:
    void add(std::size_t rule, SymbolSet needs) {
        const RuleSet bit = RuleSet{1} << rule;
        tabled |= bit;
        required.resize(rule + 1);
        required[rule] = needs;
        const auto [head, args] = normal[rule] ? spineHead(*normal[rule]) : std::make_pair(nullptr, 0ul);
        const SymbolSet symbol = head && rigidHead(*head) ? symbolOf(head->constant(), symbols->symbols) : 0;
        if (!symbol) {
            flexible |= bit;
            return;
        }
        byHead[static_cast<std::size_t>(std::countr_zero(symbol))] |= bit;
        if (byArgs.size() <= args) byArgs.resize(args + 1);
        byArgs[args] |= bit;
    }
};

// What the tables know of one node; a node's facts follow from its children's.
struct NodeFacts {
    // As SiteSymbolFacts: the symbols held, and of an application those of its spine.
    SymbolSet held = 0, args = 0, head = 0;
    std::int32_t spine = 0, headTuple = 0;
    SymbolSet below = 0;  // held by the node or any node under it
    // Of the tabled rules, when the expression has no free variable: those tried at the node
    // below the top (it holds a constant and the symbols they require, and their rigid shape
    // fits), and those tried at the node or anywhere under it.
    RuleSet fitting = 0, fittingUnder = 0;
    RuleSet firstUnder = 0, secondUnder = 0;  // the children's fittingUnder
    bool fits = true;       // every lambda of the subtree has a binder the fast engine takes
    bool constant = false;  // a constant in the subtree, lambda patterns included
    bool full = false;      // met where it is its own expansion in full
    bool noRedex = true;    // no lambda applied and no let in the subtree (patterns included)
    // Read as the term its conversion gives (fast::matchFirstOrderExpr): only applications and
    // constants, every type known and without type variables, every saturated tuple typed as
    // the conversion builds one.
    bool readsAsTerm = false;
    std::optional<Expr> reduced;  // with noRedex: the beta-eta normal form of the node where not the node itself
};

// The beta-eta normal form of the node x where its facts tell it.
const Expr* normalOf(const Expr& x, const NodeFacts& f) {
    if (!f.noRedex) return nullptr;
    return f.reduced ? &*f.reduced : &x;
}

// The shape test of FastSiteTable::shapeMayFit for the rule at the node x with those facts.
bool shapeFits(const RuleIndex& rules, std::size_t rule, const Expr& x, const NodeFacts& f) {
    const Expr* normal = normalOf(x, f);
    return !normal || !f.fits || rules.shapes[rule].fits(*normal);
}

// Node identities to words: open addressing from the top bits of the identity's
// multiplicative (Fibonacci) hash, at most half full.  A word at or above `firstRound` marks
// the round in which the node was met; when the table fills, the marks of the rounds before
// the current one are dropped, and the table grows only when what is left still fills half.
// A slot holds an identity only in the table's current generation: emptying the table starts
// a new one and writes nothing.
class NodeWords {
public:
    static constexpr std::uint32_t none = ~std::uint32_t{0};
    static constexpr std::uint32_t firstRound = std::uint32_t{1} << 31;

    NodeWords() { rebuild(64); }
    // The word of the identity, or `none`.
    [[gnu::always_inline]] std::uint32_t find(const void* id) const {
        const Slot& s = slots_[slot(id)];
        return s.generation == generation_ ? s.word : none;
    }
    // The slot of the identity, made with the word `none` where it had none: good until the
    // epoch changes.
    [[gnu::always_inline]] std::uint32_t claim(const void* id) {
        std::size_t k = slot(id);
        if (slots_[k].generation != generation_) {
            if (count_ >= limit_) {
                makeRoom();
                k = slot(id);
            }
            slots_[k] = Slot{id, none, generation_};
            ++count_;
        }
        return static_cast<std::uint32_t>(k);
    }
    [[gnu::always_inline]] std::uint32_t& wordAt(std::uint32_t k) { return slots_[k].word; }
    [[gnu::always_inline]] std::uint32_t& wordFor(const void* id) { return wordAt(claim(id)); }
    // Changes whenever slots move.
    std::uint32_t epoch() const { return epoch_; }
    void setRound(std::uint32_t round) { round_ = round; }
    // Empty, with the room it had.
    void clear() {
        if (++generation_ == unused) {  // every generation used: the slots are made unused again
            std::fill(slots_.begin(), slots_.end(), Slot{nullptr, none, unused});
            generation_ = 0;
        }
        count_ = 0;
        ++epoch_;
    }

private:
    // The generation of the slots never used.
    static constexpr std::uint32_t unused = ~std::uint32_t{0};
    struct Slot {
        const void* id;
        std::uint32_t word;
        std::uint32_t generation;  // empty unless the table's
    };
    std::vector<Slot> slots_;  // a power of two of them
    int shift_ = 64;           // 64 less the bits of a slot's place
    std::size_t mask_ = 0;     // the number of slots less one
    std::size_t count_ = 0;
    std::size_t limit_ = 0;    // half the slots
    std::uint32_t round_ = none;
    std::uint32_t epoch_ = 0;
    std::uint32_t generation_ = 0;

    // The slot of the identity, or the empty slot where it would go (which may hold the
    // identity from an earlier generation).
    [[gnu::always_inline]] std::size_t slot(const void* id) const {
        // Nodes are aligned to 16 bytes: the bits below carry nothing, and nodes 48 bytes apart
        // would crowd a few slots.
        const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(id)) >> 4;
        auto k = static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> shift_);
        for (; slots_[k].id != id && slots_[k].generation == generation_; k = (k + 1) & mask_) {}
        return k;
    }
    bool kept(const Slot& s) const {
        return s.generation == generation_ && (s.word < firstRound || s.word == round_);
    }
    [[gnu::noinline]] void makeRoom() {
        const auto left = static_cast<std::size_t>(
            std::count_if(slots_.begin(), slots_.end(), [this](const Slot& s) { return kept(s); }));
        rebuild(4 * (left + 1) > slots_.size() ? 2 * slots_.size() : slots_.size());
    }
    // The kept words in `capacity` slots (a power of two, at least 64), all of the first
    // generation.
    void rebuild(std::size_t capacity) {
        std::vector<Slot> old = std::move(slots_);
        const std::uint32_t oldGeneration = generation_;
        slots_.assign(capacity, Slot{nullptr, none, unused});
        mask_ = capacity - 1;
        limit_ = capacity / 2;
        ++epoch_;
        shift_ = 64 - std::countr_zero(capacity);
        count_ = 0;
        generation_ = 0;
        for (const Slot& s : old)
            if (s.generation == oldGeneration && (s.word < firstRound || s.word == round_)) {
                slots_[slot(s.id)] = Slot{s.id, s.word, 0};
                ++count_;
            }
    }
};

// A growing array in blocks that never move: growing copies nothing, and an item stays where
// it is until the array is cut below it.
template <class T>
class BlockArray {
public:
    BlockArray() = default;
    BlockArray(const BlockArray&) = delete;
    BlockArray& operator=(const BlockArray&) = delete;
    ~BlockArray() { cut(0); }

    std::size_t size() const { return size_; }
    [[gnu::always_inline]] T& operator[](std::size_t k) { return blocks_[k >> kShift][k & kMask]; }
    [[gnu::always_inline]] const T& operator[](std::size_t k) const { return blocks_[k >> kShift][k & kMask]; }
    template <class... Args>
    void emplace_back(Args&&... args) {
        if ((size_ >> kShift) == blocks_.size()) blocks_.push_back(static_cast<T*>(::operator new(sizeof(T) << kShift)));
        new (&(*this)[size_]) T(std::forward<Args>(args)...);
        ++size_;
    }
    // Drops the items from n on, and the blocks that then hold none.
    void cut(std::size_t n) {
        for (std::size_t k = n; k < size_; ++k) (*this)[k].~T();
        size_ = std::min(size_, n);
        const std::size_t keep = (size_ + kMask) >> kShift;
        for (std::size_t b = keep; b < blocks_.size(); ++b) ::operator delete(blocks_[b]);
        blocks_.resize(keep);
    }

private:
    static constexpr std::size_t kShift = 8, kMask = (std::size_t{1} << kShift) - 1;
    std::vector<T*> blocks_;
    std::size_t size_ = 0;
};

// What is known of the nodes of a chain of expressions, each built from the one before, by
// node: a node shared with an earlier expression keeps what it had, so a step computes only
// for the nodes it built.  The entries keep their nodes alive (an identity stays unique);
// those no longer reachable are dropped when the table has grown to four times what it kept
// at the last sweep, so an endless chain costs flat memory.  The entries sit in blocks that
// never move: growing copies nothing, and a place's value stays where it is until a sweep.
//
// A node's word, kept beside the table by the node's identity, is the place of its entry, or
// the round in which the walks last met it without entering it (at or above `firstRound`).
// A node with an entry is alive, since the entry holds it; a node met without being entered
// may have died since and its identity gone to a new node, which then seems met in an earlier
// round: the marks serve only to tell a node met twice in one walk and to count work done
// again, and those of earlier rounds are dropped at every sweep and whenever they would make
// the words grow.
template <class Value>
class NodeCache {
public:
    static constexpr std::uint32_t none = NodeWords::none;
    static constexpr std::uint32_t firstRound = NodeWords::firstRound;

    // The place of x's entry (stable until the next sweep), or `none`.
    [[gnu::always_inline]] std::uint32_t indexOf(const Expr& x) const {
        const std::uint32_t word = words_.find(x.identity());
        return word < firstRound ? word : none;
    }
    Value& at(std::uint32_t index) { return entries_[index].value; }
    Value* find(const Expr& x) {
        const std::uint32_t k = indexOf(x);
        return k == none ? nullptr : &at(k);
    }
    // The place of x's entry, made with an empty value where there was none, and whether
    // there was one.
    [[gnu::always_inline]] std::pair<std::uint32_t, bool> enter(const Expr& x) {
        std::uint32_t& word = words_.wordFor(x.identity());
        if (word < firstRound) return {word, true};
        word = static_cast<std::uint32_t>(entries_.size());
        entries_.emplace_back(x);
        return {word, false};
    }
    // Enters x (not entered yet) with its value; its entry's place.
    std::uint32_t add(const Expr& x, Value&& value) {
        const std::uint32_t index = enter(x).first;
        at(index) = std::move(value);
        return index;
    }
    // Enters x, which has no entry, with its value; its entry's place.
    std::uint32_t addNew(const Expr& x, Value&& value) { return addNew(x, std::move(value), 0, epoch() + 1); }
    // The same, x's slot known from `epoch`.
    std::uint32_t addNew(const Expr& x, Value&& value, std::uint32_t slot, std::uint32_t epoch) {
        const auto k = static_cast<std::uint32_t>(entries_.size());
        entries_.emplace_back(x, std::move(value));
        (epoch == words_.epoch() ? words_.wordAt(slot) : words_.wordFor(x.identity())) = k;
        return k;
    }
    // A new round of meetings (rounds tell a node met twice in one walk from one met before).
    std::uint32_t newRound() {
        round_ = round_ + 1 >= none ? firstRound : round_ + 1;
        words_.setRound(round_);
        return round_;
    }
    // x's slot among the words, made with the word `none` where x had none, and the word there
    // (a round in which x was met without an entry is written there): good until the epoch
    // changes.
    [[gnu::always_inline]] std::uint32_t claim(const Expr& x) { return words_.claim(x.identity()); }
    [[gnu::always_inline]] std::uint32_t& wordAt(std::uint32_t slot) { return words_.wordAt(slot); }
    std::uint32_t epoch() const { return words_.epoch(); }
    // The table has grown enough since the last sweep.
    bool due() const { return entries_.size() >= 4 * kept_ + 4096; }
    // Keeps only the entries of the nodes reachable from the roots through nodes with entries,
    // moved down in place.
    void keepReachable(std::vector<const Expr*> todo) {
        std::vector<bool> reached(entries_.size());
        while (!todo.empty()) {
            const Expr& x = *todo.back();
            todo.pop_back();
            const std::uint32_t k = indexOf(x);
            if (k == none || reached[k]) continue;
            reached[k] = true;
            if (x.isLam()) todo.push_back(&x.body());
            if (x.isAp()) {
                todo.push_back(&x.fun());
                todo.push_back(&x.arg());
            }
        }
        words_.clear();
        std::uint32_t kept = 0;
        for (std::size_t k = 0; k < entries_.size(); ++k) {
            if (!reached[k]) continue;
            if (k != kept) std::swap(entries_[kept], entries_[k]);
            place(entries_[kept].node, kept);
            ++kept;
        }
        entries_.cut(kept);
        kept_ = entries_.size();
    }

private:
    struct Entry {
        explicit Entry(const Expr& x) : node(x) {}
        Entry(const Expr& x, Value&& v) : node(x), value(std::move(v)) {}
        Expr node;
        Value value{};
    };
    BlockArray<Entry> entries_;
    NodeWords words_;
    std::size_t kept_ = 0;
    std::uint32_t round_ = firstRound;

    // Gives x (just entered at k) its place.
    void place(const Expr& x, std::uint32_t k) { words_.wordFor(x.identity()) = k; }
};

using FactCache = NodeCache<NodeFacts>;

// The caches of one chain: the facts of the expressions' nodes.
struct ChainCaches {
    FactCache facts;
    // The facts of nodes no walk asks of may be left out (addFacts); once a table of the chain
    // needs them all, the chain keeps them all.
    bool pruning = true;
    // The work of the first table, and the nodes computed again since, left out before.
    std::size_t firstWork = 0;
    std::size_t againWork = 0;
    // Finding left-out facts again may cost at most a few times the first table's work:
    // past that (a derivation that takes its parts from where nothing is tried, step after
    // step), the chain keeps every node's facts, so that each step costs what it builds.
    bool againTooOften() const { return againWork > 4 * firstWork + 1024; }

    // Drops what the latest expression no longer reaches, when the tables have grown enough.
    void sweep(const Expr& root) {
        if (facts.due()) facts.keepReachable({&root});
    }
};

// A tuple constant's arity (at least 1); 0 for any other expression.
int tupleArity(const Expr& head) {
    if (!head.isCon() || head.constant().kind() != ConstantKind::Tuple) return 0;
    return std::max(head.constant().arity(), 0);
}

// etared of a node whose children's normal forms are known (the node holds no redex, so
// its normal form is its eta contraction).
Expr contracted(const Expr& x, FactCache& cache) {
    // A child without a lambda is its own normal form; one with a lambda has an entry.
    return etaredNode(x, [&cache](const Expr& child, std::size_t) -> const Expr& {
        return child.holdsAny(ExprHolds::Lam) ? *normalOf(child, *cache.find(child)) : child;
    });
}

// The node's type is known and holds no type variable.
bool typeReadsAsTerm(const Expr& x) { return x.typeIsEvaluated() && !x.type().hasTypeVars(); }

// The facts of a node from its children's: `first` those of an application's function or
// a lambda's body, `second` those of an application's argument.
void nodeFacts(const Expr& x, const NodeFacts* first, const NodeFacts* second, FactCache& cache,
               const RuleIndex& rules, NodeFacts& out) {
    switch (x.kind()) {
    case ExprKind::Con:
        out.constant = true;
        if (rules.symbols) out.held = symbolOf(x.constant(), rules.symbols->symbols);
        out.readsAsTerm = typeReadsAsTerm(x);
        break;
    case ExprKind::Var: break;
    case ExprKind::Let:
        out.fits = false;
        out.noRedex = false;
        break;
    case ExprKind::Lam: {
        const NodeFacts& b = *first;
        out.held = b.held;
        out.below = b.below;
        out.fits = b.fits && binderFits(x.pattern());
        out.constant = b.constant || plim::holdsConstant(x.pattern());
        out.noRedex = b.noRedex && holdsNoRedex(x.pattern());
        break;
    }
    case ExprKind::Ap: {
        const NodeFacts& f = *first;
        const NodeFacts& a = *second;
        const bool inner = x.fun().isAp();
        out.args = a.held | (inner ? f.args : 0);
        out.head = inner ? f.head : f.held;
        out.headTuple = inner ? f.headTuple : tupleArity(x.fun());
        out.spine = (inner ? f.spine : 0) + 1;
        const bool saturated = out.headTuple >= 1 && out.headTuple <= out.spine;
        out.held = out.args | (saturated ? 0 : out.head);
        out.below = f.below | a.below;
        out.fits = f.fits && a.fits;
        out.constant = f.constant || a.constant;
        out.noRedex = f.noRedex && a.noRedex && !x.fun().isLam();
        out.readsAsTerm = f.readsAsTerm && a.readsAsTerm && typeReadsAsTerm(x) &&
                          (out.headTuple < 1 || out.headTuple != out.spine || fast::tupleTypedAsBuilt(x));
        break;
    }
    }
    out.below |= out.held;
    if (out.noRedex && x.holdsAny(ExprHolds::Lam)) {
        Expr normal = contracted(x, cache);
        if (!normal.sameNode(x)) out.reduced = std::move(normal);
    }
}

// The tabled rules tried at the node x and under it, from its other facts and its children's.
void ruleFacts(const RuleIndex& rules, const Expr& x, const NodeFacts* first, const NodeFacts* second,
               NodeFacts& out) {
    if (out.constant) {
        // A node that is its own normal form has its spine's head and arguments to go by.
        const bool own = out.noRedex && !out.reduced && out.fits && !x.isLam();
        const RuleSet candidates = !own        ? rules.tabled
                                   : x.isAp() ? rules.candidates(out.head, static_cast<std::size_t>(out.spine))
                                              : rules.candidates(out.held, 0);
        for (RuleSet left = candidates; left != 0; left &= left - 1) {
            const auto rule = static_cast<std::size_t>(std::countr_zero(left));
            if (holdsAll(out.held, rules.required[rule]) && shapeFits(rules, rule, x, out))
                out.fitting |= RuleSet{1} << rule;
        }
    }
    out.firstUnder = first ? first->fittingUnder : 0;
    out.secondUnder = second ? second->fittingUnder : 0;
    out.fittingUnder = out.fitting | out.firstUnder | out.secondUnder;
}

// The facts of every node of e not met before, children before parents; the nodes met where
// they stand in full are marked so.  The place of e's entry.
//
// With `prune`, only the nodes the walks and later steps ask of are entered: e itself, the
// children of a node under which some rule is tried, and every node that holds a lambda (whose
// normal form its parent's is built from).  Below a node under which nothing is tried no walk
// goes, and a later expression that takes a part from there finds its facts again.  A node met
// twice in one walk without having been entered is entered the second time, with what it holds.
// How many nodes a call of addFacts computed, and how many of them it had computed before
// without entering them.
struct FactWork {
    std::size_t computed = 0;
    std::size_t again = 0;
};

// A node on addFacts' work stack.
struct FactItem {
    const Expr* expr;
    std::uint32_t entry;  // FactCache::none: new, its facts to be found
    std::uint32_t slot;  // of its word, in the walk's epoch
    bool full;
    bool enter;        // new and to be entered, whatever its parent
    bool met = false;  // its children have been met
};
// A finished node's facts: its entry's place, or (entry none) the place of the facts themselves
// on `loose`, where the facts of the finished nodes not entered lie in the order they finished.
// A node found entered carries no facts of its own: most nodes met are.
struct FactDone {
    std::uint32_t entry;
    std::uint32_t loose;
};

// Finishes x from the facts of its children, the last entries of `done`, which give way to its
// own; a child's facts are entered in the cache where some rule is tried under x.
void finishFacts(const FactItem& item, std::uint32_t epoch, FactCache& cache, const RuleIndex& rules,
                 std::vector<FactDone>& done, std::vector<NodeFacts>& loose) {
    const Expr& x = *item.expr;
    const auto factsOf = [&](const FactDone& d) -> NodeFacts& {
        return d.entry == FactCache::none ? loose[d.loose] : cache.at(d.entry);
    };
    const std::size_t children = x.isAp() ? 2 : x.isLam() ? 1 : 0;
    FactDone* kids = done.data() + (done.size() - children);
    const NodeFacts* first = children > 0 ? &factsOf(kids[children - 1]) : nullptr;
    const NodeFacts* second = children > 1 ? &factsOf(kids[0]) : nullptr;
    NodeFacts facts;
    nodeFacts(x, first, second, cache, rules, facts);
    ruleFacts(rules, x, first, second, facts);
    facts.full = item.full;
    const std::size_t looseKids = (children > 0 && kids[0].entry == FactCache::none ? 1 : 0) +
                                  (children > 1 && kids[1].entry == FactCache::none ? 1 : 0);
    if (facts.fittingUnder != 0) {
        if (children > 1 && kids[0].entry == FactCache::none) cache.add(x.arg(), std::move(factsOf(kids[0])));
        if (children > 0 && kids[children - 1].entry == FactCache::none)
            cache.add(x.isAp() ? x.fun() : x.body(), std::move(factsOf(kids[children - 1])));
    }
    done.resize(done.size() - children);
    loose.resize(loose.size() - looseKids);
    // No other occurrence of x can have been entered while its children were found.
    if (item.enter || x.holdsAny(ExprHolds::Lam)) {
        done.push_back(FactDone{cache.addNew(x, std::move(facts), item.slot, epoch), 0});
    } else {
        done.push_back(FactDone{FactCache::none, static_cast<std::uint32_t>(loose.size())});
        loose.push_back(std::move(facts));
    }
}

std::uint32_t addFacts(const Expr& e, FactCache& cache, const RuleIndex& rules, bool prune, FactWork& work) {
    using Item = FactItem;
    using Done = FactDone;
    static thread_local std::vector<Item> stack;
    static thread_local std::vector<Done> done;
    static thread_local std::vector<NodeFacts> loose;
    stack.clear();
    done.clear();
    loose.clear();
    const std::uint32_t round = cache.newRound();
    // A new node is marked met in the round; with `prune`, it is entered when met twice in the
    // walk, and one met in an earlier walk without being entered is computed again.
    bool metTwice = false;
    const std::uint32_t epoch = cache.epoch();
    const auto meet = [&](const Expr& x, bool full) __attribute__((always_inline)) {
        const std::uint32_t slot = cache.claim(x);
        std::uint32_t& word = cache.wordAt(slot);
        const std::uint32_t k = word < FactCache::firstRound ? word : FactCache::none;
        bool enter = false;
        if (k == FactCache::none) {
            enter = !prune || word == round;
            metTwice = metTwice || word == round;
            if (prune && word != round && word != FactCache::none) ++work.again;
            word = round;
        }
        stack.push_back(Item{&x, k, slot, full, enter});
    };
    meet(e, true);
    stack.back().enter = true;
    while (!stack.empty()) {
        const std::size_t top = stack.size() - 1;
        Item& it = stack[top];
        const Expr& x = *it.expr;
        // Met twice before either was done: the other one may have entered it since.
        if (metTwice && !it.met && it.entry == FactCache::none) it.entry = cache.indexOf(x);
        if (it.entry != FactCache::none) {
            if (it.full) cache.at(it.entry).full = true;
            done.push_back(Done{it.entry, 0});
            stack.pop_back();
            continue;
        }
        if (!it.met) {
            it.met = true;
            // An application's argument is finished before its function.
            if (x.isLam()) meet(x.body(), true);
            if (x.isAp()) {
                meet(x.fun(), false);
                meet(x.arg(), true);
            }
            continue;
        }
        const Item left = it;
        stack.pop_back();
        ++work.computed;
        finishFacts(left, epoch, cache, rules, done, loose);
    }
    const std::uint32_t root = done.back().entry;
    // A deep expression's work stacks are not kept: the next steps' walks are mostly shallow.
    if (stack.capacity() > (std::size_t{1} << 16)) std::vector<Item>().swap(stack);
    if (done.capacity() > (std::size_t{1} << 12)) std::vector<Done>().swap(done);
    if (loose.capacity() > (std::size_t{1} << 12)) std::vector<NodeFacts>().swap(loose);
    return root;
}

// Some variable of e is bound neither by the context nor by a lambda around it: its term
// holds a pattern variable.
bool holdsFreeVariable(const Expr& e, const std::vector<std::string>& context) {
    struct Item {
        const Expr* expr;  // null: leave the innermost lambda, `names` of its names
        std::size_t names;
    };
    std::vector<std::string> binders;  // the names of the lambdas around, innermost last
    std::vector<Item> todo{{&e, 0}};
    while (!todo.empty()) {
        const Item it = todo.back();
        todo.pop_back();
        if (!it.expr) {
            binders.resize(binders.size() - it.names);
            continue;
        }
        const Expr& x = *it.expr;
        if (!x.holdsAny(ExprHolds::Var)) continue;
        if (x.isVar() && std::find(binders.rbegin(), binders.rend(), x.name()) == binders.rend() &&
            std::find(context.begin(), context.end(), x.name()) == context.end())
            return true;
        if (x.isLam()) {
            const std::vector<std::string> names = freeNames(x.pattern());
            binders.insert(binders.end(), names.begin(), names.end());
            todo.push_back({nullptr, names.size()});
            todo.push_back({&x.body(), 0});
        }
        if (x.isAp()) {
            todo.push_back({&x.fun(), 0});
            todo.push_back({&x.arg(), 0});
        }
    }
    return false;
}

class FastRuleTable;

class FastSiteTable final : public SiteTable {
public:
    FastSiteTable(std::shared_ptr<const FastRuleTable> rules, const Expr& e, const std::vector<TypedVar>& ctx,
                  const FastSiteTable* previous);
    bool answersAll() const override { return symbols_; }
    bool holdsConstant(const Expr& sub) const;
    bool ownExpansion(const Expr& sub, bool full) const override;
    bool applicable(std::size_t rule, const Expr& sub, const BoundVars& bound) const override;
    Visit visit(std::size_t rule, const Expr& sub, bool top, const BoundVars& bound) const override;
    MatchRun matchOneStep(std::size_t rule, const TermCtx& at, const NameSupply& supply) const override;
    std::shared_ptr<const SiteTable> next(const Expr& e, const std::vector<TypedVar>& ctx) const override {
        return std::make_shared<const FastSiteTable>(rules_, e, ctx, this);
    }

private:
    std::shared_ptr<const FastRuleTable> rules_;
    Expr expr_;
    std::shared_ptr<ChainCaches> cache_;  // shared along the chain
    std::vector<std::string> context_;    // the names bound around the expression
    bool symbols_ = false;  // the symbol facts answer the applicability test
    // Every variable of the expression is bound, by the context or by a lambda: the shape test
    // may leave attempts out.
    bool shapes_ = false;

    const NodeFacts* facts(const Expr& sub) const { return cache_->facts.find(sub); }
    bool shapeMayFit(std::size_t rule, const Expr& sub) const;
    [[gnu::noinline]] Visit visitAsked(std::size_t rule, const Expr& sub, bool top,
                                       const BoundVars& bound, const NodeFacts* f) const;

    friend class FastRuleTable;
};

class FastRuleTable final : public RuleTable, public std::enable_shared_from_this<FastRuleTable> {
public:
    explicit FastRuleTable(std::vector<Expr> leftSides) : lhs(std::move(leftSides)), index(lhs) {
        for (const std::optional<Expr>& n : index.normal)
            terms.push_back(n ? fast::convertIfPossible({}, *n) : std::nullopt);
    }
    std::shared_ptr<const SiteTable> sites(const Expr& e, const std::vector<TypedVar>& ctx) const override {
        return std::make_shared<const FastSiteTable>(shared_from_this(), e, ctx, nullptr);
    }

    std::vector<Expr> lhs;
    RuleIndex index;
    std::vector<std::optional<fast::Term>> terms;  // the normal forms converted
};

FastSiteTable::FastSiteTable(std::shared_ptr<const FastRuleTable> rules, const Expr& e,
                             const std::vector<TypedVar>& ctx, const FastSiteTable* previous)
    : rules_(std::move(rules)), expr_(e),
      cache_(previous && previous->rules_ == rules_ ? previous->cache_ : std::make_shared<ChainCaches>()),
      context_(fast::contextNames(ctx)) {
    shapes_ = !holdsFreeVariable(e, context_);
    const RuleIndex& index = rules_->index;
    // Only where every walk goes down by the facts alone may the facts of nodes no walk
    // reaches be left out; a table that needs them all starts a chain that keeps them all.
    const auto keepAll = [this] {
        cache_ = std::make_shared<ChainCaches>();
        cache_->pruning = false;
    };
    if (cache_->pruning && !(shapes_ && index.tablesAll(rules_->lhs.size()))) keepAll();
    const bool first = !previous || cache_ != previous->cache_;
    FactWork work;
    std::uint32_t root = addFacts(e, cache_->facts, index, cache_->pruning, work);
    if (first) cache_->firstWork = work.computed;
    cache_->againWork += work.again;
    symbols_ = index.symbols && cache_->facts.at(root).fits;
    if (cache_->pruning && (!symbols_ || cache_->againTooOften())) {
        keepAll();
        root = addFacts(e, cache_->facts, index, false, work);
    }
    cache_->sweep(e);
}

bool FastSiteTable::holdsConstant(const Expr& sub) const {
    const NodeFacts* f = facts(sub);
    return f ? f->constant : plim::holdsConstant(sub);
}

bool FastSiteTable::ownExpansion(const Expr& sub, bool full) const {
    const NodeFacts* f = facts(sub);
    return f && (f->full || !full);
}

bool FastSiteTable::applicable(std::size_t rule, const Expr& sub, const BoundVars& bound) const {
    const std::optional<RuleSymbols>& symbols = rules_->index.symbols;
    if (symbols_ && symbols->required[rule])
        if (const NodeFacts* f = facts(sub)) return holdsAll(f->held, *symbols->required[rule]);
    return fastApplicableExpr(rules_->lhs[rule], TermCtx{sub, bound});
}

// Below the top of an expression without free variables, a tabled rule is answered from the
// node's rule sets alone.
SiteTable::Visit FastSiteTable::visit(std::size_t rule, const Expr& sub, bool top,
                                      const BoundVars& bound) const {
    const NodeFacts* f = symbols_ ? facts(sub) : nullptr;
    const RuleSet bit = f && shapes_ ? rules_->index.tabledBit(rule) : 0;
    if (bit && !top) return Visit{(f->fitting & bit) != 0, (f->fittingUnder & bit) != 0, (f->firstUnder & bit) != 0,
                                  (f->secondUnder & bit) != 0};
    Visit v = visitAsked(rule, sub, top, bound, f);
    if (bit) {
        v.first = (f->firstUnder & bit) != 0;
        v.second = (f->secondUnder & bit) != 0;
    }
    return v;
}

// Where the node's rule sets do not answer: its symbols, and the questions asked.
SiteTable::Visit FastSiteTable::visitAsked(std::size_t rule, const Expr& sub, bool top,
                                           const BoundVars& bound, const NodeFacts* f) const {
    if (!f) return Visit{holdsConstant(sub) && (top || applicable(rule, sub, bound)) && shapeMayFit(rule, sub), true};
    const std::optional<SymbolSet>& required = rules_->index.symbols->required[rule];
    if (required && !holdsAll(f->below, *required)) return Visit{false, false};
    const bool passes = top || (required ? holdsAll(f->held, *required) : applicable(rule, sub, bound));
    return Visit{f->constant && passes && shapeMayFit(rule, sub), true};
}

// False only when the one-step match at the subexpression would give no result and raise no
// error: for an expression without free variables, at a subexpression whose normal form needs
// no reduction and converts, the match finds nothing where the rule's rigid shape does not fit,
// and raises nothing either.
bool FastSiteTable::shapeMayFit(std::size_t rule, const Expr& sub) const {
    if (!shapes_) return true;
    const NodeFacts* f = facts(sub);
    if (!f) return true;
    return shapeFits(rules_->index, rule, sub, *f);
}

// What the beta wrapper would do, with the normal form kept for the subexpression and, where
// it holds no lambda and no lambda is around it, its term.  Where nothing is bound around a
// subexpression that reads as its term, the first-order walk runs on the subexpression itself
// and no term is built (a large term would cost far more than the few nodes the walk reads).
MatchRun FastSiteTable::matchOneStep(std::size_t rule, const TermCtx& at, const NameSupply& supply) const {
    const NodeFacts* f = facts(at.expr);
    const std::optional<Expr>& pattern = rules_->index.normal[rule];
    const Expr* reduced = f ? normalOf(at.expr, *f) : nullptr;
    if (!pattern || !reduced) return fastMatcher()->matchOneStep(rules_->lhs[rule], at, supply);
    const Expr& normal = *reduced;
    if (rules_->terms[rule] && at.bound.empty() && f->readsAsTerm)  // `normal` is the subexpression itself
        if (const auto m = fast::matchFirstOrderExpr(fastOneStepStep, *rules_->terms[rule], normal))
            return MatchRun{*m ? MatchResults::cons(**m, {}) : MatchResults(), Lazy<NameSupply>(supply)};
    return fastRecord()->matchOneStep(*pattern, TermCtx{normal, at.bound}, supply);
}

}  // namespace

std::shared_ptr<const RuleTable> fastRuleTable(const std::vector<Expr>& leftSides) {
    return std::make_shared<const FastRuleTable>(leftSides);
}

}  // namespace plim
