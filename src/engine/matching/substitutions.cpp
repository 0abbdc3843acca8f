#include "engine/matching/substitutions.h"

#include <string_view>
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
    case ExprKind::Let: patternFail("Substitutions:19|function appSubst");
    default: return {};
    }
}

// Haskell-style lines: the text split at newlines, a final newline ending the last line.
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
        patternFail("Substitutions:19|function appSubst");
    };
    return expr_detail::rebuild(e, substChildren, combine);
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

MatchResult mapMatchExprs(const std::function<Expr(const Expr&)>& f, const MatchResult& r) {
    MatchResult out{Substitution{}, r.types};
    out.subst.reserve(r.subst.size());
    for (const auto& [name, e] : r.subst) out.subst.emplace_back(name, f(e));
    return out;
}

Html matchResultHtml(const MatchResult& r) { return substHtml(r.subst); }

std::pair<Expr, NameSupply> applyMatchExpand(const MatchResult& r, const Expr& e, const NameSupply& supply) {
    return recexpand(applyMatch(r, e), supply);
}

}  // namespace plim
