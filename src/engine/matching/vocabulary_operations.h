// The term operations that both matchers' terms answer alike, written once over the one
// vocabulary (term_vocabulary.h).  Each matcher takes them into its own namespace with
// using-declarations, so that they are found as the vocabulary's names for its terms.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <optional>
#include <span>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/binder_walks.h"
#include "engine/matching/term_text.h"
#include "engine/matching/term_vocabulary.h"
#include "support/small_vec.h"
#include "support/tree_walk.h"

namespace plim::term_ops {

// A tuple binder's parts, nothing for a variable: how the binder walks go down.
template <class B>
const std::vector<B>* tupleParts(const B& b) {
    return b.isVar() ? nullptr : &b.components();
}

// Calls `visit(name)` for the binder's variables from left to right, on a work stack, until
// one call returns true; says whether one did.
template <class B, class Visit>
bool anyBinderName(const B& b, const Visit& visit) {
    return binder_walks::anyName(
        b, [](const B& x) -> const std::vector<B>& { return x.components(); }, visit);
}

// The names a binder binds, pushed on a walk's list of bound names: as strings, or as pointers
// into the binder (which the walked term keeps alive).  Returns how many.
template <class Name, class B>
std::size_t pushNames(std::vector<Name>& bound, const B& b) {
    const std::size_t before = bound.size();
    anyBinderName(b, [&bound](const std::string& n) {
        if constexpr (std::is_pointer_v<Name>) {
            bound.push_back(&n);
        } else {
            bound.push_back(n);
        }
        return false;
    });
    return bound.size() - before;
}

// The names a binder binds, left to right, appended to out.
template <class B>
void appendBinderNames(const B& b, std::vector<std::string>& out) {
    pushNames(out, b);
}

// The names a binder binds, left to right.
template <class B>
std::vector<std::string> binderNames(const B& b) {
    std::vector<std::string> out;
    appendBinderNames(b, out);
    return out;
}

// Pattern binder first: the pairs (pattern's name, term's name) that make the two alike, or
// nothing when their shapes differ.
template <class B>
std::optional<std::vector<std::pair<std::string, std::string>>> matchBinders(const B& pattern, const B& term) {
    if (pattern.isVar() && term.isVar()) return std::vector<std::pair<std::string, std::string>>{{pattern.name(), term.name()}};
    std::vector<std::pair<std::string, std::string>> out;
    const bool fit = binder_walks::zip(pattern, term, tupleParts<B>, tupleParts<B>, [&out](const B& p, const B& t) {
        if (!t.isVar()) return false;
        out.emplace_back(p.name(), t.name());
        return true;
    });
    if (!fit) return std::nullopt;
    return out;
}

// Pushes the parts of a term onto a walk's work stack, the first on top.
template <TermNodes Term, class Stack>
void pushChildren(const Term& t, Stack& work) {
    using K = typename Term::Kind;
    switch (t.kind()) {
    case K::Ap:
        work.push_back(&t.arg());
        work.push_back(&t.fun());
        break;
    case K::Lam: work.push_back(&t.body()); break;
    case K::Tupl:
        for (std::size_t i = t.elems().size(); i-- > 0;) work.push_back(&t.elems()[i]);
        break;
    default: break;
    }
}

// The number of children a node has: function and argument, a lambda's body, the elements.
template <TermNodes Term>
std::size_t childCount(const Term& t) {
    using K = typename Term::Kind;
    return t.is(K::Ap) ? 2 : t.is(K::Lam) ? 1 : t.is(K::Tupl) ? t.elems().size() : 0;
}

// The child i, in the order of childCount.
template <TermNodes Term>
const Term& childOf(const Term& t, std::size_t i) {
    using K = typename Term::Kind;
    if (t.is(K::Ap)) return i == 0 ? t.fun() : t.arg();
    if (t.is(K::Lam)) return t.body();
    return t.elems()[i];
}

// Some node of t (t itself included) answers `found`; `enter(u)` says whether the walk goes
// below u.  A work stack of its own: the walk stops at the first find.
template <TermNodes Term, class Found, class Enter>
bool anyNode(const Term& t, const Found& found, const Enter& enter) {
    SmallVec<const Term*, 16> work;  // most walks need no heap block
    work.push_back(&t);
    while (!work.empty()) {
        const Term& u = *work.back();
        work.resize(work.size() - 1);
        if (found(u)) return true;
        if (enter(u)) pushChildren(u, work);
    }
    return false;
}

// Rebuilds t bottom-up on the iterative visitor, so a long spine costs no native stack.  A
// subterm for which `touches` is false is kept as it is; a variable or constant becomes
// `leaf(u)`; a lambda is entered only when `enter(binder)` says so (else kept); an inner node
// becomes `make(u, children, changed)`.
template <TermNodes Term, class Touches, class Leaf, class Enter, class Make>
Term mapTerm(const Term& root, const Touches& touches, const Leaf& leaf, const Enter& enter,
             const Make& make) {
    using K = typename Term::Kind;
    struct Visitor {
        const Touches& touches;
        const Leaf& leafOf;
        const Enter& enterLam;
        const Make& make;
        std::vector<Term> kids;
        std::optional<Term> enter(const Term* u, std::vector<const Term*>& children) {
            if (!touches(*u)) return *u;
            switch (u->kind()) {
            case K::LVar:
            case K::PVar:
            case K::Con: return leafOf(*u);
            case K::Ap:
                children.push_back(&u->fun());
                children.push_back(&u->arg());
                return std::nullopt;
            case K::Lam:
                if (!enterLam(u->binder())) return *u;
                children.push_back(&u->body());
                return std::nullopt;
            case K::Tupl:
                for (const Term& e : u->elems()) children.push_back(&e);
                return std::nullopt;
            }
            return *u;
        }
        Term leave(const Term* u, std::span<Term> done) {
            kids.assign(std::make_move_iterator(done.begin()), std::make_move_iterator(done.end()));
            bool changed = false;
            if (u->is(K::Lam)) {
                changed = !kids[0].sameNode(u->body());
            } else if (u->is(K::Ap)) {
                changed = !kids[0].sameNode(u->fun()) || !kids[1].sameNode(u->arg());
            } else {
                for (std::size_t i = 0; i < kids.size(); ++i) changed = changed || !kids[i].sameNode(u->elems()[i]);
            }
            return make(*u, kids, changed);
        }
    } visitor{touches, leaf, enter, make, {}};
    return rebuildTree<const Term*, Term>(&root, visitor);
}

// Visits t and its subterms in pre-order, left to right, with an explicit stack: a long
// spine costs no native stack.  `bound` holds the names bound by the lambdas above the
// visited subterm (pushNames); `enter(u)` is called for each subterm and says whether to go
// below it.
template <TermNodes Term, class Name, class Enter>
void walkScoped(const Term& t, std::vector<Name>& bound, const Enter& enter) {
    using K = typename Term::Kind;
    struct Item {
        const Term* term;   // null: leave a lambda
        std::size_t binds;  // the names its binder put on `bound`
    };
    // Stacks are kept for the next walk: the walks are many and mostly short.
    thread_local std::vector<std::vector<Item>> spare;
    std::vector<Item> stack;
    if (!spare.empty()) {
        stack = std::move(spare.back());
        spare.pop_back();
    }
    stack.assign(1, Item{&t, 0});
    while (!stack.empty()) {
        const Item it = stack.back();
        stack.pop_back();
        if (!it.term) {
            bound.resize(bound.size() - it.binds);
            continue;
        }
        const Term& u = *it.term;
        if (!enter(u)) continue;
        switch (u.kind()) {
        case K::Ap:
            stack.push_back({&u.arg(), 0});
            stack.push_back({&u.fun(), 0});
            break;
        case K::Lam:
            stack.push_back({nullptr, pushNames(bound, u.binder())});
            stack.push_back({&u.body(), 0});
            break;
        case K::Tupl:
            for (std::size_t i = u.elems().size(); i-- > 0;) stack.push_back({&u.elems()[i], 0});
            break;
        default: break;
        }
    }
    spare.push_back(std::move(stack));
}

// The LVars not bound by a lambda inside t, in order of occurrence with repetitions.
template <TermNodes Term>
std::vector<std::string> freeLocalsOf(const Term& t) {
    std::vector<std::string> bound;
    std::vector<std::string> out;
    walkScoped(t, bound, [&](const Term& u) {
        if (!u.hasLVar()) return false;
        if (u.is(Term::Kind::LVar) && std::find(bound.begin(), bound.end(), u.name()) == bound.end())
            out.push_back(u.name());
        return true;
    });
    return out;
}

// The argument is the binder written as a term: an LVar of the name for a variable, a Tupl of
// the components for a tuple (an eta redex's argument).
template <TermNodes Term>
bool binderIsArgument(const typename Term::Binding& binder, const Term& arg) {
    using B = typename Term::Binding;
    using K = typename Term::Kind;
    return binder_walks::zip(
        binder, arg, tupleParts<B>, [](const Term& a) { return a.is(K::Tupl) ? &a.elems() : nullptr; },
        [](const B& b, const Term& a) { return a.is(K::LVar) && a.name() == b.name(); });
}

// The lambda t is an eta redex: \ b -> f b, with no variable of the binder b free in f.
template <TermNodes Term>
bool isEtaRedex(const Term& t) {
    using K = typename Term::Kind;
    if (!t.is(K::Lam) || !t.body().is(K::Ap) || !binderIsArgument(t.binder(), t.body().arg())) return false;
    const Term& f = t.body().fun();
    return !anyBinderName(t.binder(),
                          [&f](const std::string& n) { return occursLVar(n, f) && isFreeLocal(n, f); });
}

// The lambda t contracted when it is an eta redex, else t.
template <TermNodes Term>
Term etaReduce(const Term& t) {
    return isEtaRedex(t) ? t.body().fun() : t;
}

// The LVar x occurs in t (bound inside it or not).
template <TermNodes Term>
bool occursLVar(const std::string& x, const Term& t) {
    using K = typename Term::Kind;
    if (!t.hasLVar()) return false;
    return anyNode(
        t, [&x](const Term& u) { return u.is(K::LVar) && u.name() == x; }, [](const Term& u) { return u.hasLVar(); });
}

// The body under the leading lambdas, and their binders' names (innermost first) before acc.
template <TermNodes Term>
std::pair<Term, std::vector<std::string>> stripLams(const Term& t, std::vector<std::string> acc = {}) {
    Term at = t;
    while (at.is(Term::Kind::Lam)) {
        std::vector<std::string> names = binderNames(at.binder());
        names.insert(names.end(), acc.begin(), acc.end());
        acc = std::move(names);
        Term next = at.body();
        at = std::move(next);
    }
    return {at, std::move(acc)};
}

// --- positions and replacement ----------------------------------------------------------
//
// Each matcher rebuilds a node with one child replaced in its own way: withChild(t, step,
// child) (the fast matcher keeps the small nodes it rebuilt lately), and contracts a lambda
// that has become an eta redex with etaReduce(lambda).

// The child that a step enters, or null when the step does not fit the node.
template <TermNodes Term>
const Term* childAt(const Term& t, const typename Term::Step& s) {
    using K = typename Term::Kind;
    using S = decltype(s.kind);
    switch (s.kind) {
    case S::First: return t.is(K::Ap) ? &t.fun() : nullptr;
    case S::Second: return t.is(K::Ap) ? &t.arg() : nullptr;
    case S::Body: return t.is(K::Lam) ? &t.body() : nullptr;
    case S::TupElem:
        if (!t.is(K::Tupl) || s.position < 0 || static_cast<std::size_t>(s.position) >= t.elems().size()) return nullptr;
        return &t.elems()[static_cast<std::size_t>(s.position)];
    }
    return nullptr;
}

// The names bound by the lambdas that the path passes on its way down from t, up to where
// it leaves the term.
template <TermNodes Term>
std::vector<std::string> bindersOnPath(const Term& t, const std::vector<typename Term::Step>& path) {
    std::vector<std::string> out;
    const Term* at = &t;
    for (const typename Term::Step& step : path) {
        const Term* next = childAt(*at, step);
        if (!next) break;
        if (at->is(Term::Kind::Lam)) appendBinderNames(at->binder(), out);
        at = next;
    }
    return out;
}

// The term with the subterm at the path replaced; only the nodes on the path are rebuilt.  A
// path that does not fit raises the "invalid replace:" dump (term_text.h).
template <TermNodes Term>
Term replaceAt(const std::vector<typename Term::Step>& path, const Term& t, const Term& replacement) {
    // The nodes down the path, inside t, which holds them (kept for the next call: nothing
    // below replaces again).
    thread_local std::vector<const Term*> spine;
    spine.clear();
    const Term* at = &t;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const Term* next = childAt(*at, path[i]);
        if (!next) term_text::invalidReplace(*at, path, i, replacement);
        spine.push_back(at);
        at = next;
    }
    Term result = replacement;
    for (std::size_t i = path.size(); i-- > 0;) result = withChild(*spine[i], path[i], std::move(result));
    return result;
}

// replaceAt at each path in turn, in one walk: the nodes from the root down the last path
// replaced are kept, and the next path rebuilds only the part below the prefix it shares with
// that one, so occurrences deep under a common spine cost the spine once rather than once each.
template <TermNodes Term>
Term replaceAll(const std::vector<const std::vector<typename Term::Step>*>& paths, const Term& replacement,
                const Term& t) {
    using Path = std::vector<typename Term::Step>;
    // One path, the usual case: down and up again without keeping the nodes on the way.
    if (paths.size() == 1) return replaceAt(*paths.front(), t, replacement);
    // The stacks are kept for the next call (nothing below replaces again).
    thread_local std::vector<Term> nodes;  // nodes[i] is the node at depth i of the current path
    thread_local Path current;
    nodes.assign(1, t);
    current.clear();
    auto rise = [&](std::size_t depth) {
        while (current.size() > depth) {
            Term c = std::move(nodes.back());
            nodes.pop_back();
            nodes.back() = withChild(nodes.back(), current.back(), std::move(c));
            current.pop_back();
        }
    };
    for (const Path* at : paths) {
        const Path& p = *at;
        std::size_t shared = 0;
        while (shared < current.size() && shared < p.size() && current[shared] == p[shared]) ++shared;
        rise(shared);
        for (std::size_t i = shared; i < p.size(); ++i) {
            const Term* next = childAt(nodes.back(), p[i]);
            if (!next) term_text::invalidReplace(nodes.back(), p, i, replacement);
            nodes.push_back(*next);  // a child inside the node, not inside `nodes`
            current.push_back(p[i]);
        }
        nodes.back() = replacement;
    }
    rise(0);
    Term out = std::move(nodes.front());
    nodes.clear();
    return out;
}

// The same for paths held by value; note the order (paths, replacement, t).
template <TermNodes Term>
Term replaceAll(const std::vector<std::vector<typename Term::Step>>& paths, const Term& replacement, const Term& t) {
    std::vector<const std::vector<typename Term::Step>*> at;
    at.reserve(paths.size());
    for (const auto& p : paths) at.push_back(&p);
    return replaceAll(at, replacement, t);
}

// As replaceAt, but a lambda at the top of the path (below leading tuple elements) whose new
// body makes it an eta redex is contracted.
template <TermNodes Term>
Term replaceAtEta(const std::vector<typename Term::Step>& path, const Term& t, const Term& replacement) {
    using Path = std::vector<typename Term::Step>;
    using S = typename Term::Step;
    auto from = [&path](std::size_t i) { return Path(path.begin() + static_cast<std::ptrdiff_t>(i), path.end()); };
    // No lambda on the way: a plain replacement.
    if (std::none_of(path.begin(), path.end(), [](const S& s) { return s.kind == decltype(s.kind)::Body; }))
        return replaceAt(path, t, replacement);
    // Down the leading tuple elements, whose nodes are rebuilt around the result.
    std::vector<Term> spine;
    Term at = t;
    std::size_t i = 0;
    for (; i < path.size() && path[i].kind == decltype(path[i].kind)::TupElem; ++i) {
        const Term* next = childAt(at, path[i]);
        if (!next) break;
        spine.push_back(at);
        Term down = *next;
        at = std::move(down);
    }
    Term result = [&]() -> Term {
        if (i == path.size()) return replacement;
        if (path[i].kind == decltype(path[i].kind)::Body && at.is(Term::Kind::Lam))
            return etaReduce(Lam(at.binder(), replaceAt(from(i + 1), at.body(), replacement), at.type()));
        return replaceAt(from(i), at, replacement);
    }();
    for (std::size_t k = spine.size(); k-- > 0;) result = withChild(spine[k], path[k], std::move(result));
    return result;
}

}  // namespace plim::term_ops
