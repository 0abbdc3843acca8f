#include "engine/matching/applicability_tables.h"

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

bool binderFits(const Expr& pattern) {
    const std::optional<fast::Term> converted = fast::convertIfPossible({}, pattern);
    return converted && fast::bindersFit(*converted);
}

SymbolSet symbolOf(const Constant& c, const std::vector<std::string>& symbols) {
    const std::optional<std::string> key = fast::rigidKey(fast::Rigid{fast::RigidKind::RigidCon, {}, c});
    if (!key) return 0;
    auto it = std::lower_bound(symbols.begin(), symbols.end(), *key);
    if (it == symbols.end() || *it != *key) return 0;
    return SymbolSet{1} << static_cast<std::size_t>(it - symbols.begin());
}

// A tuple constant that takes its arity of arguments is no symbol of the application.
bool saturatesTuple(const Expr& head, int arguments) {
    if (!head.isCon() || head.constant().kind() != ConstantKind::Tuple) return false;
    const int arity = head.constant().arity();
    return arity >= 1 && arity <= arguments;
}

}  // namespace

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

// The nodes of e in subpaths order, each with its parent and whether it is its parent's
// function; and for every node its children's indices (-1 where it has none).
struct Walk {
    struct Node {
        const Expr* expr;
        int parent;
        bool fun;
    };
    std::vector<Node> nodes;
    std::vector<int> funOf, argOf;  // argOf: also a lambda's body
};

// Nothing when a node fails `accept`.
template <class Accept>
std::optional<Walk> walk(const Expr& e, Accept accept) {
    Walk w;
    std::vector<Walk::Node> stack{{&e, -1, false}};
    while (!stack.empty()) {
        const Walk::Node n = stack.back();
        stack.pop_back();
        if (!accept(*n.expr)) return std::nullopt;
        const int i = static_cast<int>(w.nodes.size());
        w.nodes.push_back(n);
        const Expr& x = *n.expr;
        if (x.isLam()) stack.push_back({&x.body(), i, false});
        if (x.isAp()) {
            stack.push_back({&x.fun(), i, true});
            stack.push_back({&x.arg(), i, false});
        }
    }
    w.funOf.assign(w.nodes.size(), -1);
    w.argOf.assign(w.nodes.size(), -1);
    for (std::size_t k = 1; k < w.nodes.size(); ++k)
        (w.nodes[k].fun ? w.funOf : w.argOf)[static_cast<std::size_t>(w.nodes[k].parent)] = static_cast<int>(k);
    return w;
}

std::size_t at(int i) { return static_cast<std::size_t>(i); }

}  // namespace

// One backward pass (children after their parent) fills in what each node holds.  An
// application holds its spine's arguments' symbols and, unless it is a saturated tuple, its
// head's.
std::optional<std::vector<SymbolSet>> siteSymbols(const Expr& e, const RuleSymbols& table) {
    const std::optional<Walk> w = walk(e, [](const Expr& x) {
        return !x.isLet() && (!x.isLam() || binderFits(x.pattern()));
    });
    if (!w) return std::nullopt;
    const std::size_t n = w->nodes.size();
    std::vector<SymbolSet> held(n, 0), args(n, 0), head(n, 0);
    std::vector<int> spine(n, 0);
    std::vector<const Expr*> headNode(n, nullptr);
    for (std::size_t k = n; k-- > 0;) {
        const Expr& x = *w->nodes[k].expr;
        if (x.isCon()) held[k] = symbolOf(x.constant(), table.symbols);
        if (x.isLam()) held[k] = held[at(w->argOf[k])];
        if (!x.isAp()) continue;
        const std::size_t f = at(w->funOf[k]), a = at(w->argOf[k]);
        const bool inner = x.fun().isAp();
        args[k] = held[a] | (inner ? args[f] : 0);
        head[k] = inner ? head[f] : held[f];
        headNode[k] = inner ? headNode[f] : w->nodes[f].expr;
        spine[k] = (inner ? spine[f] : 0) + 1;
        held[k] = args[k] | (saturatesTuple(*headNode[k], spine[k]) ? 0 : head[k]);
    }
    return held;
}

}  // namespace plim
