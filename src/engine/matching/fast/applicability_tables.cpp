#include "engine/matching/fast/applicability_tables.h"

#include <algorithm>

#include "engine/matching/fast/matcher.h"

namespace plim {

namespace {

constexpr std::size_t symbolBits = 64;

// The keys of the rigid symbols a pattern requires; nothing when one is a bound variable
// (the test then depends on the term's context) or the pattern cannot be converted.
std::optional<std::vector<std::string>> patternKeys(const Expr& lhs) {
    const std::optional<fast::Term> pattern = fast::convertIfPossible({}, lhs);
    if (!pattern) return std::nullopt;
    std::vector<std::string> keys;
    for (const fast::Rigid& r : fast::rigidSymbols(*pattern)) {
        if (r.kind == fast::RigidKind::RigidVar) return std::nullopt;
        // A symbol equal to nothing (empty key) is held by no term.
        keys.push_back(fast::rigidKey(r).value_or(std::string()));
    }
    return keys;
}

}  // namespace

// The pattern converts to a variable or a nested tuple of variables (fast::bindersFit of its
// conversion), read from the expression: the nested tuples wait on a work stack.
bool binderFits(const Expr& pattern) {
    if (pattern.isVar()) return true;
    std::vector<const Expr*> pending{&pattern}, elems;
    while (!pending.empty()) {
        const Expr& at = *pending.back();
        pending.pop_back();
        if (at.isVar()) continue;
        const std::size_t n = at.isAp() ? fast::saturatedTupleSize(at) : 0;
        if (n == 0) return false;
        fast::saturatedTupleElements(at, n, elems);
        pending.insert(pending.end(), elems.begin(), elems.end());
    }
    return true;
}

SymbolSet symbolOf(const Constant& c, const std::vector<std::string>& symbols) {
    const std::optional<std::string> key = fast::rigidKey(fast::Rigid{fast::RigidKind::RigidCon, {}, c});
    if (!key) return 0;
    auto it = std::lower_bound(symbols.begin(), symbols.end(), *key);
    if (it == symbols.end() || *it != *key) return 0;
    return SymbolSet{1} << static_cast<std::size_t>(it - symbols.begin());
}

std::optional<RuleSymbols> ruleSymbols(const std::vector<Expr>& leftSides) {
    std::vector<std::optional<std::vector<std::string>>> keys;
    RuleSymbols out;
    for (const Expr& lhs : leftSides) {
        keys.push_back(patternKeys(lhs));
        if (keys.back()) out.symbols.insert(out.symbols.end(), keys.back()->begin(), keys.back()->end());
    }
    std::sort(out.symbols.begin(), out.symbols.end());
    out.symbols.erase(std::unique(out.symbols.begin(), out.symbols.end()), out.symbols.end());
    if (out.symbols.size() > symbolBits) return std::nullopt;
    for (const auto& ks : keys) {
        if (!ks) {
            out.required.emplace_back();
            continue;
        }
        SymbolSet s = 0;
        for (const std::string& k : *ks) {
            auto it = std::lower_bound(out.symbols.begin(), out.symbols.end(), k);
            s |= SymbolSet{1} << static_cast<std::size_t>(it - out.symbols.begin());
        }
        out.required.emplace_back(s);
    }
    return out;
}

namespace {

// A tuple constant's arity (at least 1); 0 for any other expression.
int tupleArity(const Expr& head) {
    if (!head.isCon() || head.constant().kind() != ConstantKind::Tuple) return 0;
    return std::max(head.constant().arity(), 0);
}

// The nodes of e in subpaths order, each with its parent and whether it is its parent's
// function; a node whose facts are known stands for its whole subtree, whose sites follow
// it unwalked.  Nothing when a walked node fails `accept`.
struct Walk {
    struct Node {
        const Expr* expr;  // null: inside a known subtree
        int parent;
        bool fun;
        bool known = false;  // the root of a known subtree
    };
    std::vector<Node> nodes;
    std::vector<int> funOf, argOf;  // argOf: also a lambda's body
};

template <class Accept>
std::optional<Walk> walk(const Expr& e, Accept accept, const KnownSymbols& known, SiteSymbolFacts& out) {
    Walk w;
    std::vector<Walk::Node> stack{{&e, -1, false}};
    while (!stack.empty()) {
        const Walk::Node n = stack.back();
        stack.pop_back();
        const int i = static_cast<int>(w.nodes.size());
        w.nodes.push_back(n);
        const Expr& x = *n.expr;
        if (const auto block = known ? known(x) : std::nullopt) {
            const auto& [facts, first, size] = *block;
            out.copyBlock(*facts, first, size);
            w.nodes.back().known = true;
            w.nodes.resize(w.nodes.size() + size - 1, Walk::Node{nullptr, i, false});
            continue;
        }
        out.grow();
        if (!accept(x)) return std::nullopt;
        if (x.isLam()) stack.push_back({&x.body(), i, false});
        if (x.isAp()) {
            stack.push_back({&x.fun(), i, true});
            stack.push_back({&x.arg(), i, false});
        }
    }
    w.funOf.assign(w.nodes.size(), -1);
    w.argOf.assign(w.nodes.size(), -1);
    for (std::size_t k = 1; k < w.nodes.size(); ++k)
        if (w.nodes[k].expr)
            (w.nodes[k].fun ? w.funOf : w.argOf)[static_cast<std::size_t>(w.nodes[k].parent)] = static_cast<int>(k);
    return w;
}

std::size_t at(int i) { return static_cast<std::size_t>(i); }

}  // namespace

void SiteSymbolFacts::grow() {
    held.push_back(0);
    args.push_back(0);
    head.push_back(0);
    spine.push_back(0);
    headTuple.push_back(0);
}

void SiteSymbolFacts::copyBlock(const SiteSymbolFacts& from, std::size_t first, std::size_t size) {
    const auto b = static_cast<std::ptrdiff_t>(first), e = static_cast<std::ptrdiff_t>(first + size);
    held.insert(held.end(), from.held.begin() + b, from.held.begin() + e);
    args.insert(args.end(), from.args.begin() + b, from.args.begin() + e);
    head.insert(head.end(), from.head.begin() + b, from.head.begin() + e);
    spine.insert(spine.end(), from.spine.begin() + b, from.spine.begin() + e);
    headTuple.insert(headTuple.end(), from.headTuple.begin() + b, from.headTuple.begin() + e);
}

// One backward pass (children after their parent) fills in what each walked node holds.  An
// application holds its spine's arguments' symbols and, unless it is a saturated tuple, its
// head's.
std::optional<SiteSymbolFacts> siteSymbolFacts(const Expr& e, const RuleSymbols& table, const KnownSymbols& known) {
    SiteSymbolFacts out;
    const std::optional<Walk> w = walk(
        e, [](const Expr& x) { return !x.isLet() && (!x.isLam() || binderFits(x.pattern())); }, known, out);
    if (!w) return std::nullopt;
    for (std::size_t k = w->nodes.size(); k-- > 0;) {
        if (!w->nodes[k].expr || w->nodes[k].known) continue;
        const Expr& x = *w->nodes[k].expr;
        if (x.isCon()) out.held[k] = symbolOf(x.constant(), table.symbols);
        if (x.isLam()) out.held[k] = out.held[at(w->argOf[k])];
        if (!x.isAp()) continue;
        const std::size_t f = at(w->funOf[k]), a = at(w->argOf[k]);
        const bool inner = x.fun().isAp();
        out.args[k] = out.held[a] | (inner ? out.args[f] : 0);
        out.head[k] = inner ? out.head[f] : out.held[f];
        out.headTuple[k] = inner ? out.headTuple[f] : tupleArity(x.fun());
        out.spine[k] = (inner ? out.spine[f] : 0) + 1;
        const bool saturated = out.headTuple[k] >= 1 && out.headTuple[k] <= out.spine[k];
        out.held[k] = out.args[k] | (saturated ? 0 : out.head[k]);
    }
    return out;
}

std::optional<std::vector<SymbolSet>> siteSymbols(const Expr& e, const RuleSymbols& table) {
    std::optional<SiteSymbolFacts> facts = siteSymbolFacts(e, table);
    if (!facts) return std::nullopt;
    return std::move(facts->held);
}

}  // namespace plim
