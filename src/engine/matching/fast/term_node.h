// Inside the fast matcher's term module: the term node with the facts it keeps, the term's
// accessors (inline: every walk asks them at every node), and the small helpers that the term
// operations share.  terms.h includes it for the accessors; only terms.cpp,
// term_operations.cpp and renaming.cpp of this folder use the rest.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/matching/fast/terms.h"
#include "support/block_pool.h"
#include "support/release.h"

namespace plim::fast {

// What a node learns about itself on request and keeps.
struct TermCache {
    std::optional<std::vector<std::string>> freeLocalSet;
    std::optional<std::vector<std::string>> patternKeys;
    std::optional<std::vector<std::string>> termKeys;
    std::optional<Term> etaNormal;  // absent with etaNormalIsSelf: the node is its own normal form
    bool etaNormalIsSelf = false;
    // A pattern's required bits (term_operations.cpp, "rigid symbols as bits").
    std::optional<std::pair<std::uint64_t, bool>> patternBits;  // (mask, every key has a bit)
};

// A node holds the facts every kind has, the children of applications and lambdas, and the
// field of its own kind (a variable's name, a constant, a lambda's binder, a tuple's elements)
// in one place that the kind decides.
struct TermNode {
    mutable std::uint32_t holders = 0;  // the Terms that hold the node
    std::uint32_t size = 1;
    TermKind kind;
    // What the subtree holds (the Holds bits), a node's own or taken from its children.
    enum Holds : std::uint8_t { PVars = 1, LVars = 2, TypeVars = 4, Constrs = 8, Lams = 16 };
    std::uint8_t holds = 0;
    bool headFlexible = false;  // the head under the applications is a PVar or a lambda
    // No local variable of the subtree is free (every one is bound by a lambda in it): known
    // from its builder or worked out once.  False says nothing.
    mutable bool closed = false;
    // Unknown (-1) until asked: firstOrderBits below.
    mutable std::int8_t firstOrder = -1;
    // What self_typed_applications.h asks of the node, once worked out (negative: not yet).
    mutable std::int8_t selfTyped = -1;
    Type type;
    Term first;   // Ap: function; Lam: body
    Term second;  // Ap: argument
    union {
        std::string name;          // LVar, PVar
        Constant constant;         // Con
        LamBinding binder;         // Lam
        std::vector<Term> elems;   // Tupl
    };
    struct ReleaseCache {
        void operator()(TermCache* c) const {
            c->~TermCache();
            PoolAllocator<TermCache>().deallocate(c, 1);
        }
    };
    mutable std::unique_ptr<TermCache, ReleaseCache> cache;
    // The pre-check's facts (term_operations.cpp, "rigid symbols as bits"), kept in the node
    // itself since nearly every node is asked: the bits of the rigid symbols it holds, valid
    // while the table's epoch is `bitsEpoch`; the symbol of a variable or constant, or of the
    // variable a lambda binds (-2: not yet looked up; -1: none).
    mutable std::uint64_t bits = 0;
    mutable std::uint32_t bitsEpoch = UINT32_MAX;
    mutable std::int32_t ownSymbol = -2;
    // The expression the node converts back to: set by the conversion right after building
    // the node, or kept by the conversion back once it has converted the node with its types
    // as they are (a fact like the others, asked by one thread at a time).
    mutable std::optional<Expr> origin;

    // LVar, PVar
    TermNode(TermKind k, Type t, std::string n) : kind(k), type(std::move(t)), name(std::move(n)) {}
    TermNode(Type t, Constant c) : kind(TermKind::Con), type(std::move(t)), constant(c) {}
    TermNode(Type t, Term fun, Term arg)
        : kind(TermKind::Ap), type(std::move(t)), first(std::move(fun)), second(std::move(arg)) {}
    TermNode(Type t, const LamBinding& b, Term body)
        : kind(TermKind::Lam), type(std::move(t)), first(std::move(body)), binder(b) {}
    TermNode(Type t, LamBinding&& b, Term body)
        : kind(TermKind::Lam), type(std::move(t)), first(std::move(body)), binder(std::move(b)) {}
    TermNode(Type t, std::vector<Term> es) : kind(TermKind::Tupl), type(std::move(t)), elems(std::move(es)) {}
    TermNode(const TermNode&) = delete;
    TermNode& operator=(const TermNode&) = delete;
    // Children that only this node holds are released one at a time from a work list, so a
    // long spine is destroyed without nested destructor calls.
    ~TermNode() {
        if (holdsSoleChild()) releaseSoleChildren(*this, [](TermNode& n, auto take) {
            take(n.first);
            take(n.second);
            if (n.kind == TermKind::Tupl)
                for (Term& e : n.elems) take(e);
            if (n.cache && n.cache->etaNormal) take(*n.cache->etaNormal);
        });
        switch (kind) {
        case TermKind::LVar:
        case TermKind::PVar: name.~basic_string(); break;
        case TermKind::Con: break;
        case TermKind::Ap: break;
        case TermKind::Lam: binder.~LamBinding(); break;
        case TermKind::Tupl: elems.~vector(); break;
        }
    }
    // Some child has no other holder (a node whose children are all shared, or were taken over
    // by the release of its parent, has nothing more to release).
    bool holdsSoleChild() const {
        auto sole = [](const Term& c) { return c.node_ && c.node_->holders == 1; };
        if (sole(first) || sole(second)) return true;
        if (kind == TermKind::Tupl && std::any_of(elems.begin(), elems.end(), sole)) return true;
        return cache && cache->etaNormal && sole(*cache->etaNormal);
    }
    // The children that only `root` holds are taken over and released one at a time from a
    // work list (as support/release.h does for shared pointers); `eachChild(node, take)` calls
    // `take(term)` for each Term field of the node.
    template <class EachChild>
    static void releaseSoleChildren(TermNode& root, EachChild eachChild) noexcept {
        ReleaseList<Term> pending;
        auto take = [&pending](Term& child) {
            if (!child.node_ || child.node_->holders != 1) return;
            Term sole = std::move(child);
            if (!pending.push(sole)) releaseUnlisted(sole);
        };
        eachChild(root, take);
        while (!pending.empty()) {
            Term next = pending.pop();
            // The work list holds the last reference, so nobody can observe this node any more.
            eachChild(const_cast<TermNode&>(*next.node_), take);
        }
    }

    TermCache& memo() const {
        if (!cache) makeMemo();
        return *cache;
    }
    [[gnu::noinline]] void makeMemo() const {
        cache.reset(new (PoolAllocator<TermCache>().allocate(1)) TermCache());
    }
};

inline std::uint32_t addSizes(std::uint32_t a, std::uint32_t b) {
    const std::uint64_t s = std::uint64_t{a} + b;
    return s > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(s);
}

[[gnu::always_inline]] inline Term::Term(const Term& other) noexcept : node_(other.node_) {
    if (node_) ++node_->holders;
}
inline Term::Term(const TermNode* n) noexcept : node_(n) { ++n->holders; }
[[gnu::always_inline]] inline Term::~Term() {
    if (node_ && --node_->holders == 0) release(node_);
}

inline bool isFreeLocal(const std::string& x, const Term& t) {
    const std::vector<std::string>& free = freeLocalSet(t);  // sorted
    return std::binary_search(free.begin(), free.end(), x);
}

inline bool hasFreeLocals(const Term& t) {
    if (!t.hasLVar()) return false;
    if (!t.hasLam()) return true;  // no lambda in it binds its local variables
    if (t.node()->closed) return false;
    return hasFreeLocalsBelow(t);
}

// A pattern variable, and an application with a flexible head, require no symbol.
inline bool mayMatch(const Term& p, const Term& t) {
    if (p.is(TermKind::PVar) || (p.is(TermKind::Ap) && p.node()->headFlexible)) return true;
    return mayMatchRequired(p, t);
}

inline TermKind Term::kind() const { return node_->kind; }
inline const std::string& Term::name() const { return node_->name; }
inline const Constant& Term::constant() const { return node_->constant; }
inline const Term& Term::fun() const { return node_->first; }
inline const Term& Term::arg() const { return node_->second; }
inline const LamBinding& Term::binder() const { return node_->binder; }
inline const Term& Term::body() const { return node_->first; }
inline const std::vector<Term>& Term::elems() const { return node_->elems; }
inline const Type& Term::type() const { return node_->type; }
inline bool Term::hasPVar() const { return (node_->holds & TermNode::PVars) != 0; }
inline bool Term::hasLVar() const { return (node_->holds & TermNode::LVars) != 0; }
inline bool Term::hasTypeVars() const { return (node_->holds & TermNode::TypeVars) != 0; }
inline bool Term::hasConstr() const { return (node_->holds & TermNode::Constrs) != 0; }
inline bool Term::hasLam() const { return (node_->holds & TermNode::Lams) != 0; }
inline std::uint32_t Term::size() const { return node_->size; }
inline const Expr* Term::origin() const { return node_->origin ? &*node_->origin : nullptr; }
inline bool Term::heldElsewhere() const { return node_->holders > 1; }
inline void keepConversion(const Term& t, const Expr& e) { t.node()->origin.emplace(e); }

struct TermBuilder {
    // Nodes are many, small and short-lived: they come from the block pool.  The new node is
    // held by the term returned and filled in through `edit` before anyone else sees it.
    template <class... Fields>
    static Term node(Fields&&... fields) {
        void* room = PoolAllocator<TermNode>().allocate(1);
        auto* n = new (room) TermNode(std::forward<Fields>(fields)...);
        if (n->type.hasTypeVars()) n->holds = TermNode::TypeVars;
        return Term(n);
    }
    static TermNode& edit(const Term& fresh) { return const_cast<TermNode&>(*fresh.node_); }
    static void absorb(TermNode& n, const Term& child) {
        const TermNode& c = *child.node_;
        n.holds |= c.holds;
        n.size = addSizes(n.size, c.size);
    }
    static const TermNode& of(const Term& t) { return *t.node_; }
    // An application node's facts, from its children.
    static void finishAp(TermNode& n) {
        absorb(n, n.first);
        absorb(n, n.second);
        const TermNode& f = *n.first.node_;
        n.headFlexible = f.kind == TermKind::PVar || f.kind == TermKind::Lam || (f.kind == TermKind::Ap && f.headFlexible);
    }
};

// --- shared helpers -------------------------------------------------------------------------

inline bool listed(const std::vector<std::string>& names, const std::string& n) {
    return std::find(names.begin(), names.end(), n) != names.end();
}

}  // namespace plim::fast
