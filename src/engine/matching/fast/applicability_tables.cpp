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

}  // namespace plim
