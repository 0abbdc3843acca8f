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

struct TermNode {
    mutable std::uint32_t holders = 0;  // the Terms that hold the node
    TermKind kind;
    bool hasPVar = false;
    bool hasLVar = false;
    bool typeVars = false;  // a type in the subtree holds a type variable
    bool hasConstr = false;
    bool headFlexible = false;  // the head under the applications is a PVar or a lambda
    bool hasLam = false;
    // Unknown (-1) until asked: firstOrderBits below.
    mutable std::int8_t firstOrder = -1;
    // What self_typed_applications.h asks of the node, once worked out (negative: not yet).
    mutable std::int8_t selfTyped = -1;
    std::uint32_t size = 1;
    Type type;
    std::string name;                  // LVar, PVar
    std::optional<Constant> constant;  // Con
    Term first;                        // Ap: function; Lam: body
    Term second;                       // Ap: argument
    LamBinding binder;                 // Lam
    std::vector<Term> elems;           // Tupl
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

    TermNode(TermKind k, Type t) : kind(k), type(std::move(t)) {}
    TermNode(const TermNode&) = delete;
    TermNode& operator=(const TermNode&) = delete;
    // Children that only this node holds are released one at a time from a work list
    // (support/release.h), so a long spine is destroyed without nested destructor calls.
    ~TermNode() {
        releaseSoleChildren(*this, [](TermNode& n, auto take) {
            take(n.first);
            take(n.second);
            for (Term& e : n.elems) take(e);
            if (n.cache && n.cache->etaNormal) take(*n.cache->etaNormal);
        });
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
        if (!cache) cache.reset(new (PoolAllocator<TermCache>().allocate(1)) TermCache());
        return *cache;
    }
};

inline std::uint32_t addSizes(std::uint32_t a, std::uint32_t b) {
    const std::uint64_t s = std::uint64_t{a} + b;
    return s > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(s);
}

inline Term::Term(const Term& other) noexcept : node_(other.node_) {
    if (node_) ++node_->holders;
}
inline Term::Term(const TermNode* n) noexcept : node_(n) { ++n->holders; }
inline Term::~Term() {
    if (node_ && --node_->holders == 0) release(node_);
}

inline TermKind Term::kind() const { return node_->kind; }
inline const std::string& Term::name() const { return node_->name; }
inline const Constant& Term::constant() const { return *node_->constant; }
inline const Term& Term::fun() const { return node_->first; }
inline const Term& Term::arg() const { return node_->second; }
inline const LamBinding& Term::binder() const { return node_->binder; }
inline const Term& Term::body() const { return node_->first; }
inline const std::vector<Term>& Term::elems() const { return node_->elems; }
inline const Type& Term::type() const { return node_->type; }
inline bool Term::hasPVar() const { return node_->hasPVar; }
inline bool Term::hasLVar() const { return node_->hasLVar; }
inline bool Term::hasTypeVars() const { return node_->typeVars; }
inline bool Term::hasConstr() const { return node_->hasConstr; }
inline bool Term::hasLam() const { return node_->hasLam; }
inline std::uint32_t Term::size() const { return node_->size; }
inline const Expr* Term::origin() const { return node_->origin ? &*node_->origin : nullptr; }

struct TermBuilder {
    // Nodes are many, small and short-lived: they come from the block pool.  The new node is
    // held by the term returned and filled in through `edit` before anyone else sees it.
    static Term node(TermKind k, Type t) {
        void* room = PoolAllocator<TermNode>().allocate(1);
        auto* n = new (room) TermNode(k, std::move(t));
        n->typeVars = n->type.hasTypeVars();
        return Term(n);
    }
    static TermNode& edit(const Term& fresh) { return const_cast<TermNode&>(*fresh.node_); }
    static void absorb(TermNode& n, const Term& child) {
        const TermNode& c = *child.node_;
        n.typeVars = n.typeVars || c.typeVars;
        n.hasPVar = n.hasPVar || c.hasPVar;
        n.hasLVar = n.hasLVar || c.hasLVar;
        n.hasConstr = n.hasConstr || c.hasConstr;
        n.hasLam = n.hasLam || c.hasLam;
        n.size = addSizes(n.size, c.size);
    }
    static const TermNode& of(const Term& t) { return *t.node_; }
};

// --- shared helpers -------------------------------------------------------------------------

// A tuple binder's parts, nothing for a variable: how the binder walks go down.
inline const std::vector<LamBinding>* tupleParts(const LamBinding& b) { return b.isVar() ? nullptr : &b.components(); }

inline bool binds(const LamBinding& b, const std::string& x) {
    return anyBinderName(b, [&x](const std::string& n) { return n == x; });
}

// Rebuilds t with `leaf` applied to its variables and constants, sharing every subtree for
// which `touches` is false; a lambda for which `stop` holds is kept as it is.
template <class Touches, class Leaf, class Stop>
Term rebuild(const Term& t, const Touches& touches, const Leaf& leaf, const Stop& stop) {
    return mapTerm(
        t, touches, leaf, [&stop](const LamBinding& b) { return !stop(b); }, [](const LamBinding&) {}, rebuildNode);
}

inline bool hasLVarNode(const Term& t) { return t.hasLVar(); }
inline bool neverStop(const LamBinding&) { return false; }

// Puts the binder's names at the end of `bound`; returns how many.
inline std::size_t pushBinder(std::vector<std::string>& bound, const LamBinding& b) {
    const std::size_t before = bound.size();
    anyBinderName(b, [&bound](const std::string& n) {
        bound.push_back(n);
        return false;
    });
    return bound.size() - before;
}

inline bool listed(const std::vector<std::string>& names, const std::string& n) {
    return std::find(names.begin(), names.end(), n) != names.end();
}

}  // namespace plim::fast
