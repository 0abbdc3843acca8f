#include "lang/expressions.h"

#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "lang/expressions_rebuild.h"
#include "support/errors.h"
#include "support/work_room.h"

namespace plim {

using expr_detail::rebuild;
using expr_detail::unchanged;

namespace {

bool isArrow(const Type& t) { return t.isTCon() && t.name() == arrowName && t.args().size() == 2; }

// TCon "Arrow" [type of p, type of b], computed when first read unless both are known.
Lazy<Type> arrowOf(const Expr& p, const Expr& b) {
    if (p.typeIsEvaluated() && b.typeIsEvaluated()) return Lazy<Type>(mkArrow(p.type(), b.type()));
    Lazy<Type> from = p.lazyType();
    Lazy<Type> to = b.lazyType();
    return delay([from, to] { return mkArrow(from.get(), to.get()); });
}

// A multiset of typed variables, for the binders around a point of a walk.
class TypedVarBag {
public:
    bool contains(const std::string& name, const Type& t) const {
        auto it = bag_.find(name);
        if (it == bag_.end()) return false;
        for (const Type& u : it->second)
            if (eqType(u, t)) return true;
        return false;
    }
    void add(const TypedVar& v) { bag_[v.first].push_back(v.second); }
    void remove(const TypedVar& v) {
        auto& types = bag_[v.first];
        for (auto it = types.end(); it != types.begin();) {
            if (eqType(*--it, v.second)) {
                types.erase(it);
                return;
            }
        }
    }

private:
    std::unordered_map<std::string, std::vector<Type>> bag_;
};

// One step of a binding walk: an expression to visit, or the binders to release on leaving a
// lambda's body.
template <class Binder>
struct Step {
    std::optional<Expr> visit;
    std::vector<Binder> unbind;
};

// The patterns' binding walk shared by freevars and freeNames: keeps the free occurrences,
// each once, in order of first occurrence.  Let nodes are walked through unlet.
template <class Binder, class PatternVars, class Bound, class Occurrence>
void walkFree(const Expr& root, const PatternVars& patternVars, Bound& bound, const Occurrence& occurrence) {
    std::vector<Step<Binder>> steps;
    steps.push_back({root, {}});
    while (!steps.empty()) {
        Step<Binder> step = std::move(steps.back());
        steps.pop_back();
        if (!step.visit) {
            for (const Binder& b : step.unbind) bound.remove(b);
            continue;
        }
        const Expr& e = *step.visit;
        if (!e.holdsAny(ExprHolds::Var | ExprHolds::Let)) continue;  // nothing free below
        switch (e.kind()) {
        case ExprKind::Var: occurrence(e); break;
        case ExprKind::Con: break;
        case ExprKind::Ap:
            steps.push_back({e.arg(), {}});
            steps.push_back({e.fun(), {}});
            break;
        case ExprKind::Lam: {
            std::vector<Binder> binders = patternVars(e.pattern());
            for (const Binder& b : binders) bound.add(b);
            steps.push_back({std::nullopt, std::move(binders)});
            steps.push_back({e.body(), {}});
            break;
        }
        case ExprKind::Let: steps.push_back({unlet(e), {}}); break;
        }
    }
}

class NameBag {
public:
    bool contains(const std::string& name) const {
        auto it = bag_.find(name);
        return it != bag_.end() && it->second > 0;
    }
    void add(const std::string& name) { ++bag_[name]; }
    void remove(const std::string& name) { --bag_[name]; }

private:
    std::unordered_map<std::string, int> bag_;
};

// Pre-order over the nodes, children from left to right (pattern before body, function before
// argument), Let nodes through unlet; visit(e) answers whether to go below e.
template <class Visit>
void preOrder(const Expr& root, const Visit& visit) {
    std::vector<Expr> stack{root};
    while (!stack.empty()) {
        Expr e = std::move(stack.back());
        stack.pop_back();
        if (!visit(e)) continue;
        switch (e.kind()) {
        case ExprKind::Lam:
            stack.push_back(e.body());
            stack.push_back(e.pattern());
            break;
        case ExprKind::Ap:
            stack.push_back(e.arg());
            stack.push_back(e.fun());
            break;
        case ExprKind::Let: stack.push_back(unlet(e)); break;
        default: break;
        }
    }
}

// The bound names of an equality check: a persistent list, innermost binder's names first.
struct EnvCell {
    std::string name;
    std::shared_ptr<const EnvCell> rest;
};
using Env = std::shared_ptr<const EnvCell>;

Env extend(const std::vector<std::string>& names, Env env) {
    for (auto it = names.rbegin(); it != names.rend(); ++it) env = std::make_shared<const EnvCell>(EnvCell{*it, env});
    return env;
}

std::optional<std::size_t> position(const Env& env, const std::string& name) {
    std::size_t i = 0;
    for (const EnvCell* c = env.get(); c; c = c->rest.get(), ++i)
        if (c->name == name) return i;
    return std::nullopt;
}

}  // namespace

bool eqTypedVar(const TypedVar& a, const TypedVar& b) { return a.first == b.first && eqType(a.second, b.second); }

TermCtx atTop(const Expr& e) { return TermCtx{e, {}}; }

Expr typedAp(const Expr& f, const Expr& x) {
    if (f.typeIsEvaluated() && isArrow(f.type())) return mkAp(f, x, f.type().args()[1]);
    return mkApLazy(f, x, f.lazyType().map([](const Type& t) { return Type(resType(t)); }));
}

Expr typedVar(const TypedVar& v) { return mkVar(v.first, v.second); }

Expr typedLam(const std::string& name, const Type& a, const Expr& body) {
    Expr pattern = mkVar(name, a);
    return mkLam(pattern, body, arrowOf(pattern, body));
}

const Type& exprType(const Expr& e) { return e.type(); }

std::vector<Constant> cons(const Expr& e, std::vector<Constant> acc) {
    std::vector<Constant> out;
    preOrder(e, [&out](const Expr& node) {
        if (node.isLet()) patternFail(CodedFailure::ConsLet);
        if (node.isCon()) out.push_back(node.constant());
        return true;
    });
    out.insert(out.end(), std::make_move_iterator(acc.begin()), std::make_move_iterator(acc.end()));
    return out;
}

std::vector<TypedVar> freevars(const Expr& e) {
    std::vector<TypedVar> out;
    TypedVarBag bound;
    TypedVarBag seen;
    auto occurrence = [&](const Expr& v) {
        if (bound.contains(v.name(), v.type()) || seen.contains(v.name(), v.type())) return;
        seen.add({v.name(), v.type()});
        out.emplace_back(v.name(), v.type());
    };
    walkFree<TypedVar>(e, [](const Expr& p) { return freevars(p); }, bound, occurrence);
    return out;
}

std::vector<std::string> freeNames(const Expr& e) {
    std::vector<std::string> out;
    NameBag bound;
    std::unordered_set<std::string> seen;
    auto occurrence = [&](const Expr& v) {
        if (!bound.contains(v.name()) && seen.insert(v.name()).second) out.push_back(v.name());
    };
    walkFree<std::string>(e, [](const Expr& p) { return freeNames(p); }, bound, occurrence);
    return out;
}

std::vector<std::string> allNames(const Expr& e) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    // A subtree without variables adds nothing: the walk does not go below it.
    preOrder(e, [&](const Expr& node) {
        if (node.isVar() && seen.insert(node.name()).second) out.push_back(node.name());
        return node.holdsAny(ExprHolds::Var);
    });
    return out;
}

namespace {

// The expression nodes of e, post-order: a node's children from left to right, then the node;
// each handed to `visit` (a let through its let-free form).
template <class Visit>
void eachNodePostOrder(const Expr& e, Visit visit) {
    std::vector<std::pair<Expr, bool>> stack{{e, false}};
    while (!stack.empty()) {
        auto [node, childrenDone] = std::move(stack.back());
        stack.pop_back();
        if (node.isLet()) {
            stack.push_back({unlet(node), false});
            continue;
        }
        if (childrenDone || node.isVar() || node.isCon()) {
            visit(node);
            continue;
        }
        stack.push_back({node, true});
        if (node.isLam()) {
            stack.push_back({node.body(), false});
            stack.push_back({node.pattern(), false});
        } else {
            stack.push_back({node.arg(), false});
            stack.push_back({node.fun(), false});
        }
    }
}

// The type variables of e's annotations, post-order: a node's children from left to right,
// then its own type; each handed to `take`.
template <class Take>
void eachTyvar(const Expr& e, Take take) {
    eachNodePostOrder(e, [&](const Expr& node) {
        for (std::string& n : freeTypeVars({}, node.type())) take(std::move(n));
    });
}

// Hands `take` the type variables of t from left to right, except in the subterms walked
// before (recorded in `walked` by node), all of whose variables were handed over then.
template <class Take>
void eachTyvarNotWalked(const Type& t, std::unordered_set<const void*>& walked, Take take) {
    std::vector<const Type*> work{&t};
    while (!work.empty()) {
        const Type* at = work.back();
        work.pop_back();
        if (at->isGround() || !walked.insert(at->nodeAddress()).second) continue;
        switch (at->kind()) {
        case TypeKind::Tid: take(at->name()); break;
        case TypeKind::TCon:
            for (std::size_t i = at->args().size(); i-- > 0;) work.push_back(&at->args()[i]);
            break;
        case TypeKind::TAbs:
            for (std::string& n : freeTypeVars({}, *at)) take(std::move(n));
            break;
        }
    }
}

// distinctNames(addTyvars(e, acc)) without the repeats in between: the annotations of nested
// nodes share most of their terms (the type of [[x]] holds the type of [x]), so the list
// with repeats grows with the square of the depth.  A shared subterm is walked once.
std::vector<std::string> distinctTyvars(const Expr& e, std::vector<std::string> acc) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    auto take = [&](std::string n) {
        if (seen.insert(n).second) out.push_back(std::move(n));
    };
    std::unordered_set<const void*> walked;
    eachNodePostOrder(e, [&](const Expr& node) { eachTyvarNotWalked(node.type(), walked, take); });
    for (std::string& n : acc) take(std::move(n));
    return out;
}

}  // namespace

std::vector<std::string> addTyvars(const Expr& e, std::vector<std::string> acc) {
    std::vector<std::string> out;
    eachTyvar(e, [&](std::string n) { out.push_back(std::move(n)); });
    out.insert(out.end(), std::make_move_iterator(acc.begin()), std::make_move_iterator(acc.end()));
    return out;
}

std::vector<std::string> tyvars(const Expr& e) { return distinctTyvars(e, {}); }

std::function<NameSupply(const NameSupply&)> freshFor(const Expr& e, const std::vector<TypedVar>& ctx) {
    return [e, ctx](const NameSupply& supply) {
        std::vector<std::string> names;
        for (const TypedVar& v : ctx) names.push_back(v.first);
        for (std::string& n : allNames(e)) names.push_back(std::move(n));
        NameList tyvarsLeft = supply.tyvars;
        // The type variables are collected when the second list is first examined.
        NameList freshTyvars = NameList::deferred([e, ctx, tyvarsLeft] {
            std::vector<std::string> ctxTyvars;
            for (auto it = ctx.rbegin(); it != ctx.rend(); ++it) ctxTyvars = freeTypeVars({}, it->second, std::move(ctxTyvars));
            return tyvarsLeft.without(distinctTyvars(e, std::move(ctxTyvars)));
        });
        return NameSupply{supply.vars.without(names), std::move(freshTyvars)};
    };
}

bool unletApplies(const Expr& e) {
    std::vector<Expr> todo{e};
    while (!todo.empty()) {
        const Expr at = std::move(todo.back());
        todo.pop_back();
        if (!at.isLet()) {
            if (at.isLam() && holdsLet(at.pattern())) return false;
            for (Expr& c : expr_detail::lamApChildren(at)) todo.push_back(std::move(c));
            continue;
        }
        for (const DefItem& d : at.defs().defs) {
            if (!d.decl.isFun()) return false;
            todo.push_back(d.decl.fun().rhs);
        }
        todo.push_back(at.body());
    }
    return true;
}

namespace {

// A node of the kind occurs in e, lambda patterns included, without looking into lets.
bool holdsKind(const Expr& e, ExprKind kind) {
    std::vector<const Expr*> todo{&e};
    while (!todo.empty()) {
        const Expr* at = todo.back();
        todo.pop_back();
        if (at->kind() == kind) return true;
        switch (at->kind()) {
        case ExprKind::Lam:
            todo.push_back(&at->pattern());
            todo.push_back(&at->body());
            break;
        case ExprKind::Ap:
            todo.push_back(&at->fun());
            todo.push_back(&at->arg());
            break;
        default: break;
        }
    }
    return false;
}

}  // namespace

bool holdsLet(const Expr& e) { return holdsKind(e, ExprKind::Let); }

bool holdsConstant(const Expr& e) { return holdsKind(e, ExprKind::Con); }

Expr unlet(const Expr& e) {
    auto children = [](const Expr& node) -> std::vector<Expr> {
        if (node.isLam() && holdsLet(node.pattern())) failUser(std::string(letInPatternText));
        if (!node.isLet()) return expr_detail::lamApChildren(node);
        std::vector<Expr> out;
        for (const DefItem& d : node.defs().defs) {
            if (!d.decl.isFun()) failUser(std::string(localDeclarationText));
            out.push_back(d.decl.fun().rhs);
        }
        out.push_back(node.body());
        return out;
    };
    auto combine = [&children](const Expr& node, const std::vector<Expr>& done) -> Expr {
        switch (node.kind()) {
        case ExprKind::Lam:
            if (unchanged(children(node), done)) return node;
            return mkLam(node.pattern(), done[0], node.lazyType());
        case ExprKind::Ap:
            if (unchanged(children(node), done)) return node;
            return mkAp(done[0], done[1], node.lazyType());
        case ExprKind::Let: {
            // The first definition outermost: build from the innermost outwards.
            std::vector<DefItem> defs = node.defs().defs.toVector();
            Expr inner = done.back();
            for (std::size_t i = defs.size(); i-- > 0;) {
                const Expr& lhs = defs[i].decl.fun().lhs;
                inner = mkAp(mkLam(lhs, inner, arrowOf(lhs, inner)), done[i], node.lazyType());
            }
            return inner;
        }
        default: return node;
        }
    };
    return rebuild(e, children, combine);
}

bool readsAsItself(const Expr& x, std::vector<const Expr*>& stack) {
    // Every type known and no let: reading them all changes nothing.
    if (!x.holdsAny(ExprHolds::Let | ExprHolds::Unread)) return true;
    if (x.isVar() || x.isCon()) {
        x.type();
        return true;
    }
    stack.push_back(&x);
    while (!stack.empty()) {
        const Expr& a = *stack.back();
        stack.pop_back();
        if (a.isLet()) return false;
        a.type();
        switch (a.kind()) {
        case ExprKind::Ap:
            stack.push_back(&a.arg());
            stack.push_back(&a.fun());
            break;
        case ExprKind::Lam:
            stack.push_back(&a.body());
            stack.push_back(&a.pattern());
            break;
        default: break;
        }
    }
    return true;
}

namespace {

// The pairs still to compare in an equality check, with their binder lists (indices into
// `envs`), and the stack of the walk that reads a shared subtree's types.
struct EqPair {
    std::size_t env1, env2;
    const Expr* e1;
    const Expr* e2;
};
struct EqRoom {
    std::vector<EqPair> pairs;
    std::vector<Env> envs;
    std::vector<const Expr*> reads;
    void clear() {
        pairs.clear();
        envs.clear();
        reads.clear();
    }
};

bool sameType(const Type& x, const Type& y) { return x.sameNode(y) || eqType(x, y); }

// The pair and, down their first children, the pairs below it: false when they show the trees
// differ.  The second children wait on the stack, to be compared after the first ones.
bool compareDown(EqPair p, EqRoom& room) {
    std::vector<Env>& envs = room.envs;
    for (;;) {
        const Expr& a = *p.e1;
        const Expr& b = *p.e2;
        // A node compared with itself under the same binders is equal once every type in it
        // has been read.
        if (a.sameNode(b) && envs[p.env1] == envs[p.env2]) return readsAsItself(a, room.reads);
        if (a.isLet() || b.isLet() || a.kind() != b.kind()) return false;
        if (!sameType(a.type(), b.type())) return false;
        switch (a.kind()) {
        case ExprKind::Var: {
            auto pa = position(envs[p.env1], a.name());
            auto pb = position(envs[p.env2], b.name());
            if (!pa && !pb) return a.name() == b.name();
            return pa && pb && *pa == *pb;
        }
        case ExprKind::Con: return eqConstant(a.constant(), b.constant());
        case ExprKind::Ap:
            room.pairs.push_back({p.env1, p.env2, &a.arg(), &b.arg()});
            p = {p.env1, p.env2, &a.fun(), &b.fun()};
            break;
        case ExprKind::Lam: {
            const std::vector<std::string> names1 = freeNames(a.pattern());
            const std::vector<std::string> names2 = freeNames(b.pattern());
            const std::size_t inner1 = envs.size();
            envs.push_back(extend(names1, envs[p.env1]));
            std::size_t inner2 = inner1;
            // The same names bound around the same binders: one list serves both sides.
            if (envs[p.env1] != envs[p.env2] || names1 != names2) {
                inner2 = envs.size();
                envs.push_back(extend(names2, envs[p.env2]));
            }
            room.pairs.push_back({inner1, inner2, &a.body(), &b.body()});
            p = {inner1, inner2, &a.pattern(), &b.pattern()};
            break;
        }
        case ExprKind::Let: return false;
        }
    }
}

}  // namespace

bool exprEq(const std::vector<std::string>& env1, const std::vector<std::string>& env2, const Expr& e1,
            const Expr& e2) {
    // The trees stay alive through e1 and e2; the work stacks are kept from one call to the next.
    // The same names around both sides are one list: a node then compares with itself at once.
    BorrowedRoom<EqRoom> room;
    room->envs.push_back(extend(env1, nullptr));
    room->envs.push_back(env1 == env2 ? room->envs.front() : extend(env2, nullptr));
    room->pairs.push_back({0, 1, &e1, &e2});
    while (!room->pairs.empty()) {
        const EqPair p = room->pairs.back();
        room->pairs.pop_back();
        if (!compareDown(p, *room)) return false;
    }
    return true;
}

}  // namespace plim
