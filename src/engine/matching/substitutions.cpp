#include "engine/matching/substitutions.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_set>
#include <unordered_map>

#include "frontend/printer/expressions.h"
#include "lang/expressions_rebuild.h"
#include "support/errors.h"
#include "support/tree_walk.h"
#include "layout/document.h"

namespace plim {

namespace {

// The first binding of each name: a substitution of a few names is searched in order, a
// longer one through a map.
class FirstBindings {
public:
    explicit FirstBindings(const Substitution& s) : subst_(s) {
        if (s.size() <= fewNames) return;
        map_.reserve(s.size());
        for (const auto& [name, e] : s) map_.emplace(name, &e);
    }
    const Expr* find(const std::string& name) const {
        if (subst_.size() <= fewNames) {
            for (const auto& [n, e] : subst_)
                if (n == name) return &e;
            return nullptr;
        }
        auto it = map_.find(name);
        return it == map_.end() ? nullptr : it->second;
    }

private:
    static constexpr std::size_t fewNames = 8;
    const Substitution& subst_;
    std::unordered_map<std::string_view, const Expr*> map_;
};

// substType for the types of the expressions that matches are applied to.  A rule's right
// side is instantiated again and again under type substitutions of the same content, so the
// results are kept by type node for the last few substitutions (the type itself is kept
// with its result, so that its address stays its own).
class TypeMemo {
public:
    static TypeMemo& of(const TypeSubst& ts) {
        thread_local std::vector<std::unique_ptr<TypeMemo>> recent;  // the last one used first
        std::vector<std::pair<std::string, Type>> key = ts.bindings();
        for (std::size_t i = 0; i < recent.size(); ++i)
            if (recent[i]->holds(key)) {
                std::rotate(recent.begin(), recent.begin() + static_cast<std::ptrdiff_t>(i),
                            recent.begin() + static_cast<std::ptrdiff_t>(i) + 1);
                return *recent.front();
            }
        if (recent.size() == kept) recent.pop_back();
        recent.insert(recent.begin(), std::make_unique<TypeMemo>(ts, std::move(key)));
        return *recent.front();
    }

    TypeMemo(TypeSubst ts, std::vector<std::pair<std::string, Type>> key) : ts_(std::move(ts)), key_(std::move(key)) {}

    Type operator()(const Type& t) {
        if (t.isGround()) return t;
        auto it = done_.find(t.nodeAddress());
        if (it != done_.end()) return it->second.second;
        if (done_.size() >= typesKept) done_.clear();
        Type out = substType(ts_, t);
        done_.emplace(t.nodeAddress(), std::make_pair(t, out));
        return out;
    }

private:
    static constexpr std::size_t kept = 8;
    static constexpr std::size_t typesKept = 4096;
    TypeSubst ts_;
    std::vector<std::pair<std::string, Type>> key_;
    std::unordered_map<const void*, std::pair<Type, Type>> done_;

    bool holds(const std::vector<std::pair<std::string, Type>>& key) const {
        if (key.size() != key_.size()) return false;
        for (std::size_t i = 0; i < key.size(); ++i)
            if (key[i].first != key_[i].first || !eqType(key[i].second, key_[i].second)) return false;
        return true;
    }
};

// The node's type with ts applied; a type still to be computed stays so.
Lazy<Type> substNodeType(const TypeSubst& ts, const Expr& e) {
    if (ts.isIdentity()) return e.lazyType();
    if (e.typeIsEvaluated()) return substType(ts, e.type());
    return e.lazyType().map([ts](const Type& t) { return substType(ts, t); });
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

namespace {

// appSubst's walk on the iterative visitor (support/tree_walk.h): children in order, a let
// refused when met.
class Substituter {
public:
    Substituter(const Substitution& s, const TypeSubst& ts)
        : bound_(s), ts_(ts), types_(ts.isIdentity() ? nullptr : &TypeMemo::of(ts)) {}

    std::optional<Expr> enter(const Expr* node, std::vector<const Expr*>& children) {
        switch (node->kind()) {
        case ExprKind::Var:
        case ExprKind::Con: return leaf(*node);
        case ExprKind::Lam:
        case ExprKind::Ap:
            children.push_back(node->isAp() ? &node->fun() : &node->pattern());
            children.push_back(node->isAp() ? &node->arg() : &node->body());
            return std::nullopt;
        case ExprKind::Let: break;
        }
        patternFail(CodedFailure::SubstituteLet);
    }

    Expr leave(const Expr* node, std::span<Expr> parts) {
        const bool same = node->isAp() ? parts[0].sameNode(node->fun()) && parts[1].sameNode(node->arg())
                                       : parts[0].sameNode(node->pattern()) && parts[1].sameNode(node->body());
        if (!types_ && same) return *node;
        if (node->isAp()) return mkApLazy(std::move(parts[0]), std::move(parts[1]), nodeType(*node));
        return mkLam(std::move(parts[0]), std::move(parts[1]), nodeType(*node));
    }

private:
    FirstBindings bound_;
    const TypeSubst& ts_;
    TypeMemo* types_;  // null for the identity

    // The node's type with the substitution applied; a type still to be computed stays so.
    Lazy<Type> nodeType(const Expr& e) {
        if (!types_ || !e.typeIsEvaluated()) return substNodeType(ts_, e);
        return (*types_)(e.type());
    }

    Expr leaf(const Expr& node) {
        if (node.isVar()) {
            if (const Expr* value = bound_.find(node.name())) return *value;
            if (!types_) return node;
            return mkVar(node.name(), (*types_)(node.type()));
        }
        if (!types_) return node;
        return mkCon(node.constant(), (*types_)(node.type()));
    }
};

}  // namespace

Expr appSubst(const Substitution& s, const TypeSubst& ts, const Expr& e) {
    Substituter walk(s, ts);
    return rebuildTree<const Expr*, Expr>(&e, walk);
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

}  // namespace plim
