#include "engine/matching/substitutions.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_set>
#include <unordered_map>

#include "frontend/printer/expressions.h"
#include "lang/expressions_rebuild.h"
#include "support/errors.h"
#include "layout/document.h"

namespace plim {

namespace {

// The first binding of each name.
class FirstBindings {
public:
    explicit FirstBindings(const Substitution& s) {
        map_.reserve(s.size());
        for (const auto& [name, e] : s) map_.emplace(name, &e);
    }
    const Expr* find(const std::string& name) const {
        auto it = map_.find(name);
        return it == map_.end() ? nullptr : it->second;
    }

private:
    std::unordered_map<std::string_view, const Expr*> map_;
};

// The node's type with ts applied; a type still to be computed stays so.
Lazy<Type> substNodeType(const TypeSubst& ts, const Expr& e) {
    if (ts.isIdentity()) return e.lazyType();
    if (e.typeIsEvaluated()) return substType(ts, e.type());
    return e.lazyType().map([ts](const Type& t) { return substType(ts, t); });
}

std::vector<Expr> substChildren(const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Lam: return {e.pattern(), e.body()};
    case ExprKind::Ap: return {e.fun(), e.arg()};
    case ExprKind::Let: patternFail(CodedFailure::SubstituteLet);
    default: return {};
    }
}

// The lines of a text: split at newlines, a final newline ending the last line.
std::vector<std::string> textLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

Html bindingHtml(const Binding& b) {
    const std::string text =
        renderDocAtBounds(ppExpr(static_cast<Precedence>(b.first.size()), b.second), PageBounds(160, 160));
    Html para = stringToHtml(b.first);
    para.push_back(stringToHtml(" := ").front());
    for (const HtmlElement& el : linesHtml(textLines(text))) para.push_back(el);
    return withAttributes(divTag(pTag(std::move(para))), {classAttr("expression")});
}

}  // namespace

const MatchResult& emptyMatch() {
    static const MatchResult empty{Substitution{}, identitySubst()};
    return empty;
}

Expr appSubst(const Substitution& s, const TypeSubst& ts, const Expr& e) {
    const FirstBindings bound(s);
    auto combine = [&](const Expr& node, const std::vector<Expr>& done) -> Expr {
        switch (node.kind()) {
        case ExprKind::Var: {
            if (const Expr* value = bound.find(node.name())) return *value;
            if (ts.isIdentity()) return node;
            return mkVar(node.name(), substType(ts, node.type()));
        }
        case ExprKind::Con:
            if (ts.isIdentity()) return node;
            return mkCon(node.constant(), substType(ts, node.type()));
        case ExprKind::Lam:
            if (ts.isIdentity() && done[0].sameNode(node.pattern()) && done[1].sameNode(node.body())) return node;
            return mkLam(done[0], done[1], substNodeType(ts, node));
        case ExprKind::Ap:
            if (ts.isIdentity() && done[0].sameNode(node.fun()) && done[1].sameNode(node.arg())) return node;
            return mkApLazy(done[0], done[1], substNodeType(ts, node));
        case ExprKind::Let: break;
        }
        patternFail(CodedFailure::SubstituteLet);
    };
    return expr_detail::rebuild(e, substChildren, combine);
}

namespace {

// What the variables in scope stand for during a substitution without capture: a bound
// expression (types as bound), or a new name for a renamed binder's variable.
struct ScopeEntry {
    std::optional<Expr> value;
    std::string renamed;
};
// The free names of all bound expressions, computed when a lambda first asks for them.
struct ValueNames {
    const Substitution* subst;
    std::optional<std::unordered_set<std::string>> names;
    const std::unordered_set<std::string>& get() {
        if (!names) {
            names.emplace();
            for (const auto& [name, value] : *subst)
                for (std::string& n : freeNames(value)) names->insert(std::move(n));
        }
        return *names;
    }
};
struct Scope {
    std::unordered_map<std::string, ScopeEntry> entries;
    std::shared_ptr<ValueNames> valueNames;   // may hold names no entry brings any more
    std::unordered_set<std::string> renamedTo;  // the new names of renamed binders
    bool mayBring(const std::string& n) const { return renamedTo.count(n) || valueNames->get().count(n); }
};
using ScopePtr = std::shared_ptr<const Scope>;

struct ScopedExpr {
    Expr e;
    ScopePtr scope;
};

bool containsName(const std::vector<std::string>& names, const std::string& n) {
    return std::find(names.begin(), names.end(), n) != names.end();
}

// True when the entry of key brings the name b into the body (so a binder b would capture it).
bool brings(const ScopeEntry& entry, const std::string& b) {
    if (!entry.value) return entry.renamed == b;
    return containsName(freeNames(*entry.value), b);
}

// base followed by the smallest number that is a name none of the given sets holds.
std::string variantName(const std::string& base, const std::vector<std::string>& taken, const Scope& scope) {
    for (std::size_t i = 1;; ++i) {
        std::string name = base + std::to_string(i);
        if (!containsName(taken, name) && !scope.mayBring(name) && !scope.entries.count(name)) return name;
    }
}

// The scopes of a lambda's pattern (only renamed binders) and body (the outer scope without the
// pattern's names, renamed binders added).
std::pair<ScopePtr, ScopePtr> lambdaScopes(const Expr& lam, const ScopePtr& outer) {
    const std::vector<std::string> binders = freeNames(lam.pattern());
    auto inner = std::make_shared<Scope>(*outer);
    for (const std::string& b : binders) inner->entries.erase(b);
    auto patternScope = std::make_shared<Scope>();
    patternScope->valueNames = outer->valueNames;
    std::optional<std::vector<std::string>> bodyFree;
    std::optional<std::vector<std::string>> taken;
    for (const std::string& b : binders) {
        if (inner->entries.empty() || !outer->mayBring(b)) continue;
        if (!bodyFree) bodyFree = freeNames(lam.body());
        bool captures = false;
        for (const auto& [key, entry] : inner->entries)
            if (brings(entry, b) && containsName(*bodyFree, key)) captures = true;
        if (!captures) continue;
        if (!taken) {
            taken = allNames(lam.body());
            for (const std::string& n : binders) taken->push_back(n);
        }
        std::string fresh = variantName(b, *taken, *inner);
        taken->push_back(fresh);
        inner->entries[b] = ScopeEntry{std::nullopt, fresh};
        inner->renamedTo.insert(fresh);
        patternScope->entries[b] = ScopeEntry{std::nullopt, fresh};
    }
    return {patternScope, inner};
}

}  // namespace

Expr appSubstAvoidingCapture(const Substitution& s, const TypeSubst& ts, const Expr& e) {
    auto top = std::make_shared<Scope>();
    top->valueNames = std::make_shared<ValueNames>(ValueNames{&s, std::nullopt});
    for (const auto& [name, value] : s)
        if (!top->entries.count(name)) top->entries.emplace(name, ScopeEntry{value, {}});
    auto children = [](const ScopedExpr& item) -> std::vector<ScopedExpr> {
        const Expr& node = item.e;
        switch (node.kind()) {
        case ExprKind::Lam: {
            auto [patternScope, bodyScope] = lambdaScopes(node, item.scope);
            return {ScopedExpr{node.pattern(), patternScope}, ScopedExpr{node.body(), bodyScope}};
        }
        case ExprKind::Ap: return {ScopedExpr{node.fun(), item.scope}, ScopedExpr{node.arg(), item.scope}};
        case ExprKind::Let: patternFail(CodedFailure::SubstituteLet);
        default: return {};
        }
    };
    const bool sameTypes = ts.isIdentity();
    auto combine = [&ts, sameTypes](const ScopedExpr& item, const std::vector<Expr>& done) -> Expr {
        const Expr& node = item.e;
        switch (node.kind()) {
        case ExprKind::Var: {
            auto it = item.scope->entries.find(node.name());
            if (it == item.scope->entries.end())
                return sameTypes ? node : mkVar(node.name(), substNodeType(ts, node));
            if (it->second.value) return *it->second.value;
            return mkVar(it->second.renamed, substNodeType(ts, node));
        }
        case ExprKind::Con: return sameTypes ? node : mkCon(node.constant(), substNodeType(ts, node));
        case ExprKind::Lam:
            if (sameTypes && done[0].sameNode(node.pattern()) && done[1].sameNode(node.body())) return node;
            return mkLam(done[0], done[1], substNodeType(ts, node));
        case ExprKind::Ap:
            if (sameTypes && done[0].sameNode(node.fun()) && done[1].sameNode(node.arg())) return node;
            return mkApLazy(done[0], done[1], substNodeType(ts, node));
        case ExprKind::Let: break;
        }
        patternFail(CodedFailure::SubstituteLet);
    };
    return expr_detail::rebuildItems<ScopedExpr>(ScopedExpr{e, top}, children, combine);
}

Expr applyMatch(const MatchResult& r, const Expr& e) { return appSubst(r.subst, r.types, e); }

std::vector<std::string> matchDomain(const MatchResult& r) {
    std::vector<std::string> out;
    out.reserve(r.subst.size());
    for (const auto& b : r.subst) out.push_back(b.first);
    return out;
}

MatchResult composeMatch(const MatchResult& r1, const MatchResult& r2) {
    MatchResult out;
    out.subst.reserve(r1.subst.size() + r2.subst.size());
    const FirstBindings inner(r2.subst);
    for (const auto& [name, e] : r2.subst) out.subst.emplace_back(name, appSubst(r1.subst, r1.types, e));
    for (const auto& b : r1.subst)
        if (!inner.find(b.first)) out.subst.push_back(b);
    out.types = substTypeOf(r1.types, r2.types);
    return out;
}

std::string showSubst(const Substitution& s) {
    std::string out;
    for (const auto& [name, e] : s) {
        out += name;
        out += " := ";
        out += showExpr(e);
        out += '\n';
    }
    return out;
}

std::string showSubstBlock(const Substitution& s) { return showSubst(s) + "\n---\n"; }

std::string showSubsts(const MatchResults& rs) {
    std::string out;
    for (List<MatchResult> at = rs; !at.empty(); at = at.tail()) out += showSubstBlock(at.head().subst);
    return out;
}

std::string showMatchResult(const MatchResult& r) { return showSubst(r.subst); }

Html substHtml(const Substitution& s) {
    Html out;
    for (const Binding& b : s)
        for (const HtmlElement& el : bindingHtml(b)) out.push_back(el);
    return out;
}

std::vector<MatchResult> liftTypeMatches(const std::vector<TypeSubst>& typeMatches) {
    std::vector<MatchResult> out;
    out.reserve(typeMatches.size());
    for (const TypeSubst& ts : typeMatches) out.push_back(MatchResult{Substitution{}, ts});
    return out;
}

std::vector<MatchResult> matchTypes(const Type& pattern, const Type& t) {
    std::vector<TypeSubst> found;
    if (auto ts = matchType(identitySubst(), pattern, t)) found.push_back(std::move(*ts));
    return liftTypeMatches(found);
}

std::vector<MatchResult> bindVar(const std::string& name, const Type& ty, const Expr& e) {
    std::vector<MatchResult> out;
    if (auto ts = matchType(identitySubst(), ty, e.type())) out.push_back(MatchResult{{{name, e}}, std::move(*ts)});
    return out;
}

std::pair<Expr, NameSupply> applyMatchExpand(const MatchResult& r, const Expr& e, const NameSupply& supply) {
    return recexpand(applyMatch(r, e), supply);
}

}  // namespace plim
