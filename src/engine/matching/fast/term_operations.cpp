// Fast matcher terms: positions and replacement, local variables, rigid symbols, freezing
// and renaming.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "engine/matching/fast/term_node.h"
#include "engine/matching/fast/terms.h"
#include "support/errors.h"
#include "support/hashing.h"

namespace plim::fast {

// --- positions ----------------------------------------------------------------------------

PositionTable::PositionTable(Term root) : root_(root) { reset(std::move(root)); }

void PositionTable::reset(Term root) {
    root_ = std::move(root);
    entries_.clear();
    entries_.reserve(root_.size() == UINT32_MAX ? 0 : root_.size());
    // The later children wait on a stack, kept for the next table (nothing below builds one);
    // the walk goes on to the first child at once.
    thread_local std::vector<Entry> stack;
    stack.clear();
    Entry e{&root_, -1, First};
    for (;;) {
        const auto at = static_cast<std::int32_t>(entries_.size());
        entries_.push_back(e);
        const TermNode& n = TermBuilder::of(*e.term);
        switch (n.kind) {
        case TermKind::Ap:
            stack.push_back({&n.second, at, Second});
            e = Entry{&n.first, at, First};
            continue;
        case TermKind::Lam: e = Entry{&n.first, at, Body}; continue;
        case TermKind::Tupl:
            if (n.elems.empty()) break;
            for (std::size_t i = n.elems.size(); i-- > 1;)
                stack.push_back({&n.elems[i], at, TupElem(static_cast<std::int32_t>(i))});
            e = Entry{&n.elems[0], at, TupElem(0)};
            continue;
        default: break;
        }
        if (stack.empty()) return;
        e = stack.back();
        stack.pop_back();
    }
}

Path PositionTable::path(std::size_t i) const {
    Path p;
    pathInto(i, p);
    return p;
}

void PositionTable::pathInto(std::size_t i, Path& out) const {
    const auto parent = [this](std::int32_t at) { return entries_[static_cast<std::size_t>(at)].parent; };
    std::size_t depth = 0;
    for (auto at = static_cast<std::int32_t>(i); parent(at) >= 0; at = parent(at)) ++depth;
    // Sized once, filled from the innermost step outwards.
    out.resize(depth);
    for (auto at = static_cast<std::int32_t>(i); parent(at) >= 0; at = parent(at))
        out[--depth] = entries_[static_cast<std::size_t>(at)].step;
}

namespace {

// Small nodes rebuilt with one child replaced, by the very nodes of the parent and of the new
// child and by the child's position: the candidates of a search abstract the same few parts
// of its term again and again (the subsets of a group's occurrences share the spines above
// each occurrence), and a node rebuilt before comes back with what was learnt about it (the
// bits of its symbols, its conversion back) instead of as a new node.  Only tuples of at most
// kSmall nodes and applications and lambdas of at most kSmallSpine are kept, so that the long
// spine of a large term, rebuilt once per candidate, does not run through the memo.  The
// thread keeps a fixed table: each key has two places, the one used last first, and a new
// node pushes out the older of the two, so the memo neither grows nor allocates.
class RebuiltNodes {
public:
    static constexpr std::uint32_t kSmall = 64;       // tuples
    static constexpr std::uint32_t kSmallSpine = 16;  // applications and lambdas
    // The positions of the children of applications and lambdas.
    static constexpr std::int32_t kFirst = -1;
    static constexpr std::int32_t kSecond = -2;
    static constexpr std::int32_t kBody = -3;
    static std::int32_t positionOf(const TermStep& s) {
        switch (s.kind) {
        case StepKind::First: return kFirst;
        case StepKind::Second: return kSecond;
        case StepKind::Body: return kBody;
        case StepKind::TupElem: return s.position;
        }
        return s.position;
    }

    template <class Build>
    Term get(const Term& t, std::int32_t position, const Term& e, const Build& build) {
        const std::uint64_t h = mixHash(mixHash(reinterpret_cast<std::uintptr_t>(t.node()),
                                                reinterpret_cast<std::uintptr_t>(e.node())),
                                        static_cast<std::uint32_t>(position));
        std::optional<Entry>* pair = &slots_[(h >> (64 - kPairBits)) * 2];  // the best mixed bits
        if (holds(pair[0], t, position, e)) return pair[0]->result;
        if (holds(pair[1], t, position, e)) {
            std::swap(pair[0], pair[1]);
            return pair[0]->result;
        }
        Term out = build();
        pair[1] = std::move(pair[0]);
        pair[0].emplace(Entry{t, out, e.node(), position});
        return out;
    }

private:
    // The parent keeps its node, and so the key, alive; the result holds the child, whose node
    // is kept beside it so that a lookup reads the table alone.
    struct Entry {
        Term parent;
        Term result;
        const TermNode* child;
        std::int32_t position;
    };
    static bool holds(const std::optional<Entry>& slot, const Term& t, std::int32_t position, const Term& e) {
        return slot && slot->position == position && slot->parent.sameNode(t) && slot->child == e.node();
    }
    static constexpr int kPairBits = 9;
    std::vector<std::optional<Entry>> slots_ = std::vector<std::optional<Entry>>(std::size_t{2} << kPairBits);
};

// An application of t's type: as Ap, with the type copied straight into the node.
Term apLike(const Term& t, Term&& fun, const Term& arg) {
    Term out = TermBuilder::node(t.type(), std::move(fun), arg);
    TermBuilder::finishAp(TermBuilder::edit(out));
    return out;
}

Term rebuiltWithChild(const Term& t, const TermStep& s, Term&& c) {
    switch (s.kind) {
    case StepKind::First: return apLike(t, std::move(c), t.arg());
    case StepKind::Second: return apLike(t, Term(t.fun()), c);
    case StepKind::Body: return Lam(t.binder(), std::move(c), t.type());
    case StepKind::TupElem: {
        std::vector<Term> es = t.elems();
        es[static_cast<std::size_t>(s.position)] = std::move(c);
        return Tupl(std::move(es), t.type());
    }
    }
    return t;
}

}  // namespace

Term withChild(const Term& t, const TermStep& s, Term&& c) {
    if (t.size() > (s.kind == StepKind::TupElem ? RebuiltNodes::kSmall : RebuiltNodes::kSmallSpine))
        return rebuiltWithChild(t, s, std::move(c));
    thread_local RebuiltNodes rebuilt;
    return rebuilt.get(t, RebuiltNodes::positionOf(s), c, [&] { return rebuiltWithChild(t, s, Term(c)); });
}

Term PositionTable::replacedAt(std::size_t i, const Term& replacement) const {
    Path p;
    pathInto(i, p);
    return replaceAtEta(p, root_, replacement);
}

// --- variables ------------------------------------------------------------------------------

namespace {

std::vector<std::string> sortedUnique(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    return v;
}

const std::vector<std::string>& noNames() {
    static const std::vector<std::string> none;
    return none;
}

}  // namespace

const std::vector<std::string>& freeLocalSet(const Term& t) {
    if (!t.hasLVar() || TermBuilder::of(t).closed) return noNames();
    TermCache& c = TermBuilder::of(t).memo();
    if (!c.freeLocalSet) c.freeLocalSet = sortedUnique(freeLocalsOf(t));
    return *c.freeLocalSet;
}

bool hasFreeLocalsBelow(const Term& t) {
    if (!freeLocalSet(t).empty()) return true;
    TermBuilder::of(t).closed = true;  // known from now on
    return false;
}

void recordClosed(const Term& t) { TermBuilder::of(t).closed = true; }

bool flexibleHead(const Term& t) {
    switch (t.kind()) {
    case TermKind::PVar:
    case TermKind::Lam: return true;
    case TermKind::Ap: return TermBuilder::of(t).headFlexible;
    default: return false;
    }
}

// --- rigid symbols ------------------------------------------------------------------------------

namespace {

template <class Emit>
void collectRigid(const Term& t, bool pattern, std::vector<std::string>& bound, const Emit& emit) {
    walkScoped(t, bound, [&](const Term& u) {
        switch (u.kind()) {
        case TermKind::LVar:
            if (!listed(bound, u.name())) emit(Rigid{RigidKind::RigidVar, u.name(), std::nullopt});
            return false;
        case TermKind::Con: emit(Rigid{RigidKind::RigidCon, {}, u.constant()}); return false;
        case TermKind::Ap: return !(pattern && flexibleHead(u));
        default: return true;
        }
    });
}

std::vector<Rigid> rigidList(const Term& t, bool pattern) {
    std::vector<Rigid> out;
    std::vector<std::string> bound;
    collectRigid(t, pattern, bound, [&](Rigid r) { out.push_back(std::move(r)); });
    return out;
}

// A key is a tag letter and a text.  Built by appending: g++ 12 takes `"f" + std::string&&`
// for an overflowing copy (a false -Wstringop-overflow).
std::string taggedKey(char tag, const std::string& text) {
    std::string key(1, tag);
    key += text;
    return key;
}

}  // namespace

std::optional<std::string> rigidKey(const Rigid& r) {
    if (r.kind == RigidKind::RigidVar) return taggedKey('v', r.name);
    const Constant& c = *r.constant;
    switch (c.kind()) {
    case ConstantKind::FNumber: {
        const float x = c.fnumber();
        if (x != x) return std::nullopt;
        if (x == 0.0f) return std::string("f0");
        std::uint32_t bits = 0;
        static_assert(sizeof bits == sizeof x);
        std::memcpy(&bits, &x, sizeof bits);
        return taggedKey('f', std::to_string(bits));
    }
    case ConstantKind::Constr: return taggedKey('k', c.constrName());
    default: return taggedKey('c', constantText(c));
    }
}

namespace {

std::vector<std::string> rigidKeys(const Term& t, bool pattern) {
    std::vector<std::string> keys;
    std::vector<std::string> bound;
    collectRigid(t, pattern, bound, [&](const Rigid& r) {
        auto k = rigidKey(r);
        // A pattern symbol equal to nothing can be found in no term.
        if (k) keys.push_back(std::move(*k));
        else if (pattern) keys.push_back(std::string());
    });
    return sortedUnique(std::move(keys));
}

}  // namespace

std::vector<Rigid> rigidSymbols(const Term& p) { return rigidList(p, true); }

// --- rigid symbols as bits ---------------------------------------------------------------------
//
// Every key is interned once as a small number; the first 64 keys that patterns require get a
// bit of their own.  A term node keeps the bits of the symbols it holds, computed bottom-up
// from its children's, so the test of a pattern whose keys all have bits is one mask
// comparison, and a term is walked once for all the questions asked of its subterms.  A new
// bit starts a new epoch, after which the nodes' bits are brought up to date when next asked.

namespace {

// The table of the work thread, as every cache of the matcher: a term, whose nodes keep their
// symbols' numbers, is built and read on one thread.
class SymbolTable {
public:
    static SymbolTable& instance() {
        thread_local SymbolTable table;
        return table;
    }
    std::int32_t intern(const std::string& key) {
        auto [it, added] = ids_.emplace(key, static_cast<std::int32_t>(bitOf_.size()));
        if (added) bitOf_.push_back(-1);
        return it->second;
    }
    // The bit of the symbol, -1 when it has none.
    int bit(std::int32_t id) const { return bitOf_[static_cast<std::size_t>(id)]; }
    // Gives the symbol a bit when one is left.
    int claim(std::int32_t id) {
        int& b = bitOf_[static_cast<std::size_t>(id)];
        if (b < 0 && next_ < 64) {
            b = next_++;
            ++epoch_;
        }
        return b;
    }
    std::uint32_t epoch() const { return epoch_; }

private:
    std::unordered_map<std::string, std::int32_t> ids_;
    std::vector<int> bitOf_;
    int next_ = 0;
    std::uint32_t epoch_ = 0;
};

// The symbol of a local variable, by its name.
std::int32_t variableSymbol(const std::string& name) {
    return SymbolTable::instance().intern(*rigidKey(Rigid{RigidKind::RigidVar, name, std::nullopt}));
}

// The symbol of a variable or constant node, or of the variable a lambda binds, looked up once
// per node (-1: a symbol equal to nothing, or a tuple binder).
std::int32_t ownSymbol(const Term& t) {
    const TermNode& n = TermBuilder::of(t);
    if (n.ownSymbol == -2) {
        std::optional<std::string> key;
        switch (t.kind()) {
        case TermKind::LVar: return n.ownSymbol = variableSymbol(t.name());
        case TermKind::Con: key = rigidKey(Rigid{RigidKind::RigidCon, {}, t.constant()}); break;
        case TermKind::Lam:
            if (t.binder().isVar()) return n.ownSymbol = variableSymbol(t.binder().name());
            break;
        default: break;
        }
        n.ownSymbol = key ? SymbolTable::instance().intern(*key) : -1;
    }
    return n.ownSymbol;
}

std::uint64_t symbolMask(const Term& t) {
    const std::int32_t id = ownSymbol(t);
    const int b = id < 0 ? -1 : SymbolTable::instance().bit(id);
    return b < 0 ? 0 : std::uint64_t{1} << b;
}

std::uint64_t binderMask(const LamBinding& b) {
    std::uint64_t m = 0;
    anyBinderName(b, [&m](const std::string& name) {
        const int bit = SymbolTable::instance().bit(variableSymbol(name));
        if (bit >= 0) m |= std::uint64_t{1} << bit;
        return false;
    });
    return m;
}

bool bitsCurrent(const Term& t, std::uint32_t epoch) { return TermBuilder::of(t).bitsEpoch == epoch; }

std::uint64_t nodeBits(const Term& t) {
    switch (t.kind()) {
    case TermKind::LVar:
    case TermKind::Con: return symbolMask(t);
    case TermKind::Ap: return TermBuilder::of(t.fun()).bits | TermBuilder::of(t.arg()).bits;
    case TermKind::Lam:
        return TermBuilder::of(t.body()).bits & ~(t.binder().isVar() ? symbolMask(t) : binderMask(t.binder()));
    case TermKind::Tupl: {
        std::uint64_t m = 0;
        for (const Term& e : t.elems()) m |= TermBuilder::of(e).bits;
        return m;
    }
    default: return 0;
    }
}

std::uint64_t termBits(const Term& root) {
    const std::uint32_t epoch = SymbolTable::instance().epoch();
    const TermNode& top = TermBuilder::of(root);
    if (top.bitsEpoch == epoch) return top.bits;
    // Kept for the next walk (nothing below asks for bits again).
    thread_local std::vector<std::pair<const Term*, bool>> stack;
    stack.assign(1, {&root, false});
    while (!stack.empty()) {
        auto [t, childrenDone] = stack.back();
        stack.pop_back();
        if (bitsCurrent(*t, epoch)) continue;
        if (childrenDone) {
            const TermNode& n = TermBuilder::of(*t);
            n.bits = nodeBits(*t);
            n.bitsEpoch = epoch;
            continue;
        }
        stack.push_back({t, true});
        auto visit = [&](const Term& child) {
            if (!bitsCurrent(child, epoch)) stack.push_back({&child, false});
        };
        switch (t->kind()) {
        case TermKind::Ap: visit(t->fun()); visit(t->arg()); break;
        case TermKind::Lam: visit(t->body()); break;
        case TermKind::Tupl: for (const Term& e : t->elems()) visit(e); break;
        default: break;
        }
    }
    return TermBuilder::of(root).bits;
}

// The pattern's required bits, and whether every key it requires has one (a key equal to
// nothing never has).
const std::pair<std::uint64_t, bool>& patternBits(const Term& p) {
    TermCache& pc = TermBuilder::of(p).memo();
    if (!pc.patternBits) {
        if (!pc.patternKeys) pc.patternKeys = rigidKeys(p, true);
        std::uint64_t mask = 0;
        bool exact = true;
        for (const std::string& k : *pc.patternKeys) {
            const int b = k.empty() ? -1 : SymbolTable::instance().claim(SymbolTable::instance().intern(k));
            if (b < 0) exact = false;
            else mask |= std::uint64_t{1} << b;
        }
        pc.patternBits = std::make_pair(mask, exact);
    }
    return *pc.patternBits;
}

}  // namespace

bool mayMatchRequired(const Term& p, const Term& t) {
    const auto& [mask, exact] = patternBits(p);
    if (exact) return mask == 0 || (mask & ~termBits(t)) == 0;
    TermCache& pc = TermBuilder::of(p).memo();
    if (!pc.patternKeys) pc.patternKeys = rigidKeys(p, true);
    if (pc.patternKeys->empty()) return true;
    TermCache& tc = TermBuilder::of(t).memo();
    if (!tc.termKeys) tc.termKeys = rigidKeys(t, false);
    return std::includes(tc.termKeys->begin(), tc.termKeys->end(), pc.patternKeys->begin(), pc.patternKeys->end());
}

}  // namespace plim::fast

namespace plim::term_ops {
template fast::Term replaceAt(const fast::Path&, const fast::Term&, const fast::Term&);
template fast::Term replaceAll(const std::vector<const fast::Path*>&, const fast::Term&, const fast::Term&);
template fast::Term replaceAll(const std::vector<fast::Path>&, const fast::Term&, const fast::Term&);
template fast::Term replaceAtEta(const fast::Path&, const fast::Term&, const fast::Term&);
}  // namespace plim::term_ops
