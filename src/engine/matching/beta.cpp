// Beta reduction and the beta wrapper that normalises what a matcher sees.
#include "engine/matching/beta.h"

#include <algorithm>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/matching/matcher_internal.h"
#include "support/errors.h"
#include "support/tree_walk.h"

namespace plim {

using matching_detail::deferredCall;
using matching_detail::eachMatchOperation;

namespace {

// --- beta wrapper -----------------------------------------------------------------------------

// Whether expressions are their own beta-eta normal form as the wrapper computes it, told
// from their nodes alone: no application of a lambda, no let, and no lambda whose body applies
// something to a variable (which eta contraction might contract).  A node that fails the test
// may still be normal; the wrapper then computes its normal form.  The answers are kept by
// node on this thread, so the subexpressions of one expression, each asked in turn at its
// position (under n nested lambdas, n subexpressions of sizes 1 to n), cost one walk of the
// expression in all, not one walk each.  Dropped whole past kLimit nodes.
//
// A shortcut (the normal form computed says the same): bench_input_growth
// BM_RewriteInsideNestedLambdasRef/8000 takes 23.2 s without it, 0.46 s with it.
class PlainNodes {
public:
    bool plain(const Expr& root) {
        if (!root.holdsAny(ExprHolds::Lam | ExprHolds::Let)) return true;
        if (known_.size() > kLimit) known_.clear();
        Walk walk{*this};
        return rebuildTree<Expr, Answer>(root, walk).yes;
    }

private:
    static constexpr std::size_t kLimit = 1 << 18;
    struct Answer {
        bool yes;
    };
    // The node's own test, its children plain.
    static bool plainNode(const Expr& e) {
        if (e.isAp()) return !e.fun().isLam();
        if (!e.isLam()) return !e.isLet();
        return e.pattern().isVar() && !(e.body().isAp() && e.body().arg().isVar());
    }
    struct Walk {
        PlainNodes& nodes;
        std::optional<Answer> enter(const Expr& e, std::vector<Expr>& children) {
            if (!e.holdsAny(ExprHolds::Lam | ExprHolds::Let)) return Answer{true};
            if (auto it = nodes.known_.find(e.identity()); it != nodes.known_.end()) return Answer{it->second.second};
            if (!plainNode(e)) return Answer{false};
            if (e.isAp()) {
                children.push_back(e.fun());
                children.push_back(e.arg());
            } else if (e.isLam()) {
                children.push_back(e.body());
            }
            return std::nullopt;
        }
        Answer leave(const Expr& e, std::span<Answer> parts) {
            const bool all = std::all_of(parts.begin(), parts.end(), [](Answer a) { return a.yes; });
            nodes.known_.emplace(e.identity(), std::make_pair(e, all));
            return Answer{all};
        }
    };
    std::unordered_map<const void*, std::pair<Expr, bool>> known_;  // the node kept alive
};

// The normaliser of the wrapper: beta-reduced with the given matcher, then eta-contracted.  An
// expression that is plainly its own normal form is taken as it is.
struct Norm {
    MatcherRef patterns;
    Expr operator()(const Expr& e) const {
        thread_local PlainNodes plainNodes;
        if (plainNodes.plain(e)) return e;
        return etared(betareduce(e, *patterns));
    }
    TermCtx operator()(const TermCtx& c) const { return TermCtx{(*this)(c.expr), c.bound}; }
    // The initial bindings and the supply pass as they are.
    const MatchResult& operator()(const MatchResult& b) const { return b; }
    const NameSupply& operator()(const NameSupply& s) const { return s; }
};

}  // namespace

MatcherRef betaMatcher(MatcherRef raw, MatcherRef patterns) {
    const Norm norm{std::move(patterns)};
    Matcher m = eachMatchOperation([raw, norm](auto op) {
        return [raw, norm, op](const auto&... args) {
            return deferredCall([raw, norm, op, args...] { return ((*raw).*op)(norm(args)...); });
        };
    });
    m.applicable = raw->applicable;
    return std::make_shared<const Matcher>(std::move(m));
}

// --- beta reduction ---------------------------------------------------------------------------

namespace {

// Whether e holds a lambda with a tuple pattern.
bool holdsTupleBinder(const Expr& e) {
    struct Search {
        bool found = false;
        bool enter(const Expr& x, std::vector<Expr>& children) {
            if (found || !x.holdsAny(ExprHolds::Lam)) return false;
            found = x.isLam() && !x.pattern().isVar();
            if (found) return false;
            if (x.isAp()) children.insert(children.end(), {x.fun(), x.arg()});
            if (x.isLam()) children.push_back(x.body());
            return true;
        }
        void leave(const Expr&) {}
    } search;
    walkTree(e, search);
    return search.found;
}

// The argument as the match sees it: eta-contracted, as the wrapper shows terms, unless that
// drops the lambda of a tuple pattern.  Eta contraction keeps such a lambda only at the head of
// a redex that stays, and what the match binds may be put at such a head: the identity applied
// to \ (x, y) -> g (x, y), applied in turn to z, no pair, reduces to that stuck redex, not to
// g z.  Where both meet, the argument is bound as it is.
Expr argumentSeen(const Expr& arg) {
    Expr seen = etared(arg);
    return seen.sameNode(arg) || !holdsTupleBinder(arg) ? seen : arg;
}

// The contractum of the redex (lam arg), lam's body under the first solution of matching
// its pattern against the (reduced) argument with the argument's free variables held fixed;
// nothing when fun is no lambda or the match has no solution.  The match is `patterns`', raw,
// on the argument as it is (eta-contracted by argumentSeen): it is reduced already, and
// reducing it again inside the match would repeat, for every enclosing contraction, the work
// on a redex that stays: exponential in the nesting depth.
std::optional<Expr> contract(const Expr& fun, const Expr& arg, const Matcher& patterns) {
    if (!fun.isLam()) return std::nullopt;
    const Expr pattern = etared(betareduce(fun.pattern(), patterns));
    MatchResults rs = patterns.matchSimpleWith(emptyMatch(), TermCtx{pattern, {}}, TermCtx{argumentSeen(arg), freevars(arg)});
    if (rs.empty()) return std::nullopt;
    const MatchResult& first = rs.head();
    return appSubstAvoidingCapture(first.subst, first.types, fun.body());
}

// A pending step of the reduction: rebuild a lambda around its reduced body, reduce an
// application's argument once its function is reduced, or finish the application.
struct Pending {
    enum class Kind { LamBody, ApFun, ApArg } kind;
    Expr node;
    std::optional<Expr> fun;  // ApArg: the reduced function
};

// Normal order with an explicit stack: the function of an application is reduced first; a
// lambda there is contracted once the argument is reduced, and the contractum is reduced in
// turn without growing the stack.
}  // namespace

Expr betareduce(const Expr& root, const Matcher& patterns) {
    std::vector<Pending> stack;
    Expr current = root;
    for (;;) {
        // Descend to the leftmost part still to reduce; a subtree without a lambda (and without
        // a let, which must still be refused) holds no redex and is its own normal form.
        switch (current.holdsAny(ExprHolds::Lam | ExprHolds::Let) ? current.kind() : ExprKind::Con) {
        case ExprKind::Lam:
            stack.push_back(Pending{Pending::Kind::LamBody, current, std::nullopt});
            current = current.body();
            continue;
        case ExprKind::Ap:
            stack.push_back(Pending{Pending::Kind::ApFun, current, std::nullopt});
            current = current.fun();
            continue;
        case ExprKind::Let: patternFail(CodedFailure::BetaReduceLet);
        case ExprKind::Var:
        case ExprKind::Con: break;
        }
        // Climb, finishing pending steps, until one asks for more reduction.
        Expr done = current;
        bool descend = false;
        while (!descend) {
            if (stack.empty()) return done;
            Pending& top = stack.back();
            const Expr node = top.node;
            switch (top.kind) {
            case Pending::Kind::LamBody:
                stack.pop_back();
                if (!done.sameNode(node.body())) done = mkLam(node.pattern(), done, node.lazyType());
                else done = node;
                break;
            case Pending::Kind::ApFun:
                top.kind = Pending::Kind::ApArg;
                top.fun = done;
                current = node.arg();
                descend = true;
                break;
            case Pending::Kind::ApArg: {
                const Expr fun = *top.fun;
                stack.pop_back();
                if (std::optional<Expr> contractum = contract(fun, done, patterns)) {
                    current = *contractum;
                    descend = true;
                } else if (!fun.sameNode(node.fun()) || !done.sameNode(node.arg())) {
                    done = mkAp(fun, done, node.lazyType());
                } else {
                    done = node;
                }
                break;
            }
            }
        }
    }
}

}  // namespace plim
