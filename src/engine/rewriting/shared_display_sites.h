// The sites of an expression as the display form's sharing walks them, and the groups of
// equal ones (internal to shared_display*.cpp).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/rewriting/positions.h"
#include "lang/expressions.h"
#include "lang/names.h"

namespace plim::shared_display_detail {

// One subexpression met by the walk.  Sites point into the nodes of the walked expression,
// which the caller keeps alive for the whole walk.
struct Site {
    const Expr* expr;
    int parent;  // -1 for the root
    Step step;
    int depth;
    int kids[2];  // Ap: function, argument; Lam: body; -1 when absent
};

// The sites in visiting order: a node, its argument's subtree, its function's (the order of
// subpaths).  So the subtree of site i is the run of sites from i on, `size` of them, and
// children come after their parent.
struct Walk {
    std::vector<Site> sites;
    std::vector<int> size;  // per site, the number of sites in its subtree

    // The subtree of a holds b (or a is b).
    bool within(int a, int b) const { return a <= b && b < a + size[a]; }
    // Path order (a path before the paths that extend it, First before Second before Body),
    // that is the pre-order that visits a function before its argument: apart from nesting,
    // the reverse of the visiting order.
    bool pathBefore(int a, int b) const {
        if (within(a, b) || within(b, a)) return a < b;
        return a > b;
    }
};

// Every subexpression in visiting order, iteratively.  A let raises the error of subpaths, or
// is taken as a leaf.
Walk walkSites(const Expr& e, bool letsAreLeaves);

// For every site, whether its subexpression has a free variable that a lambda above it inside
// the walk, or the context around the whole expression, binds.
std::vector<char> mentionsBinders(const Walk& w, const std::vector<TypedVar>& ctx);

inline std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
    a ^= b + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2);
    return a * 0xff51afd7ed558ccdULL;
}

// Spreads a hash's bits over the low ones, for open addressing.
inline std::uint64_t spread(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

// Two variables of one name, or two equal constants (types not compared).
bool sameLeaf(const Expr& x, const Expr& y);

// A name's hash, byte by byte (names are short).
inline std::uint64_t nameHash(const std::string& name) {
    std::uint64_t h = 0xcbf29ce484222325ULL ^ name.size();
    for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    return h;
}

// Equal constants (eqConstant) hash alike; no text is built.
inline std::uint64_t constantHash(const Constant& c) {
    const auto kind = static_cast<std::uint64_t>(c.kind());
    // Numbers and operators first, without the switch's table: most leaves are those (a
    // shortcut named in common_subexpressions.h).
    if (c.kind() == ConstantKind::Number) return mix(kind, static_cast<std::uint32_t>(c.number()));
    if (c.kind() == ConstantKind::Binop) return mix(kind, static_cast<std::uint64_t>(c.op()));
    switch (c.kind()) {
    case ConstantKind::FNumber: {
        const float x = c.fnumber();
        std::uint32_t bits = 0;
        if (x != 0.0f) std::memcpy(&bits, &x, sizeof bits);
        return mix(kind, bits);
    }
    case ConstantKind::Boolean: return mix(kind, c.boolean() ? 1 : 0);
    case ConstantKind::Tuple: return mix(kind, static_cast<std::uint32_t>(c.arity()));
    case ConstantKind::Constr: return mix(kind, nameHash(c.constrName()));
    default: return kind;
    }
}

// A leaf's hash: equal constants hash alike, variables all alike.  In line, as the hashes
// below: the sharing of every step hashes most leaves of its expression.
inline std::uint64_t leafHash(const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Var: return 0x1234567ULL;
    case ExprKind::Con: return constantHash(e.constant());
    default: return 0;
    }
}

// A leaf's key by its name or constant, types not read: equal leaves (sameLeaf) have equal
// keys.  The hash its node was built with.
inline std::uint64_t leafKey(const Expr& leaf) { return leaf.hashCode(); }

// Is t a function type?
bool isArrowType(const Type& t);

// May the site be written once for all its occurrences: not a variable or constant, not of a
// function type, mentioning no binder?
bool liftable(const Site& s, bool mentions);

// Equal liftable sites, in visiting order; `expr` is the first one's expression.
struct Group {
    Expr expr;
    std::vector<int> sites;
};


// The groups in writing order, into `out`: repeatedly the least group that holds no group not
// yet taken, where holders[h] lists the groups directly above h (each once) and held[g] counts
// the groups g holds directly (used up).
void innermostFirst(const std::vector<std::vector<int>>& holders, std::vector<int>& held, std::vector<int>& out);

// The walk of an expression and its groups in order of first occurrence (as groupPairs
// gives them).
struct Grouping {
    Walk walk;
    std::vector<Group> groups;
};

// The let of one definition per group that is not found only inside another group's
// occurrences, innermost first, around e with the groups' occurrences replaced by their
// variables; the variables named from the supply in turn.
std::pair<Expr, NameSupply> writeOnce(const Expr& e, Grouping found, NameSupply supply);

}  // namespace plim::shared_display_detail
