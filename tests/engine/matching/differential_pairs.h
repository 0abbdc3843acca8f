// The fast and the reference matcher side by side on random pattern/term pairs over a probe
// program of small polymorphic functions: simple, one-step and two-step matching, the two
// result sets compared (and, where equal, the order of their first results), and every result
// of both checked three ways:
//   - sound: the pattern with the bindings substituted has the term's beta-eta normal form,
//     by a normaliser of this file's own (capture-free substitution, tuple binders, equality up
//     to the names of bound variables);
//   - typed: the pattern with the bindings substituted is typable and its type unifies with
//     the term's, by a Hindley-Milner checker of this file's own over the erased terms (the
//     probe program's signatures, the constants' own types);
//   - checked: plim's own check of results writes no dump.
// Terms hold lambdas with variable and (nested) tuple binders, shadowing, redexes (some stuck:
// a tuple binder against an argument that is no tuple), `if`, lists, pairs and polymorphic
// functions; patterns put pattern variables in, flexible heads, several function variables,
// tuple arguments, a variable twice, binders renamed to pattern variables' names.  A few pairs
// are ill-typed on purpose: their match must end in a user error at worst.
//
// The tests run a few hundred pairs; tests/fuzz/matcher_differential.cpp runs any number.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/combinators/combinators.h"
#include "engine/matching/fast/record.h"
#include "engine/matching/matcher.h"
#include "engine/matching/program_matches.h"
#include "engine/matching/reference/record.h"
#include "frontend/printer/expressions.h"
#include "lang/constants.h"
#include "support/errors.h"

namespace plim::difftest {

using progtest::Kind;

// ---------------------------------------------------------------------------------------
// Random pairs
// ---------------------------------------------------------------------------------------

struct Ty {
    enum class K { Int, Bool, List, Pair, Fun } k = K::Int;
    std::vector<Ty> args;
};

inline Ty tInt() { return Ty{Ty::K::Int, {}}; }
inline Ty tBool() { return Ty{Ty::K::Bool, {}}; }
inline Ty tList(Ty a) { return Ty{Ty::K::List, {std::move(a)}}; }
inline Ty tPair(Ty a, Ty b) { return Ty{Ty::K::Pair, {std::move(a), std::move(b)}}; }
inline Ty tFun(Ty a, Ty b) { return Ty{Ty::K::Fun, {std::move(a), std::move(b)}}; }

inline bool operator==(const Ty& a, const Ty& b) { return a.k == b.k && a.args == b.args; }

// An expression as text, kept as a tree so that a pattern can be made from a term.
struct Node {
    enum class Form { Atom, Apply, Infix, Lam, Tuple, List, If } form = Form::Atom;
    Ty ty;
    std::string text;                // Atom: the text; Infix: the operator; Lam: the binder
    std::vector<std::string> bound;  // Lam: the names the binder binds
    std::vector<Node> kids;          // Apply: head and arguments; Infix: two sides; Lam: body; If: three parts
};

inline std::string render(const Node& n) {
    auto joined = [&n](const char* sep) {
        std::string out;
        for (std::size_t i = 0; i < n.kids.size(); ++i) out += (i ? sep : "") + render(n.kids[i]);
        return out;
    };
    switch (n.form) {
    case Node::Form::Atom: return n.text;
    case Node::Form::Apply: return "(" + joined(" ") + ")";
    case Node::Form::Infix: return "(" + render(n.kids[0]) + " " + n.text + " " + render(n.kids[1]) + ")";
    case Node::Form::Lam: return "(\\ " + n.text + " -> " + render(n.kids[0]) + ")";
    case Node::Form::Tuple: return "(" + joined(", ") + ")";
    case Node::Form::List: return "[" + joined(", ") + "]";
    case Node::Form::If:
        return "(if " + render(n.kids[0]) + " then " + render(n.kids[1]) + " else " + render(n.kids[2]) + ")";
    }
    return "";
}

inline Node atom(Ty ty, std::string text) { return Node{Node::Form::Atom, std::move(ty), std::move(text), {}, {}}; }
inline Node apply(Ty ty, std::vector<Node> kids) { return Node{Node::Form::Apply, std::move(ty), "", {}, std::move(kids)}; }
inline Node infix(Ty ty, std::string op, Node a, Node b) {
    return Node{Node::Form::Infix, std::move(ty), std::move(op), {}, {std::move(a), std::move(b)}};
}
inline Node tuple(Node a, Node b) {
    Ty ty = tPair(a.ty, b.ty);
    return Node{Node::Form::Tuple, std::move(ty), "", {}, {std::move(a), std::move(b)}};
}

// Binder names; f and g are pattern variables' names as well.
inline const std::vector<std::string>& binderNames() {
    static const std::vector<std::string> names = {"x", "y", "z", "k", "c", "a", "b", "f", "g"};
    return names;
}
inline const std::vector<std::string>& patternNames() {
    static const std::vector<std::string> names = {"f", "g", "h", "p", "q"};
    return names;
}

using Scope = std::vector<std::pair<std::string, Ty>>;

class Generator {
public:
    explicit Generator(std::uint64_t seed) : rng_(seed) {}

    int below(int n) { return static_cast<int>(rng_() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <class T>
    const T& pick(const std::vector<T>& v) {
        return v[static_cast<std::size_t>(below(static_cast<int>(v.size())))];
    }

    Ty smallType() {
        static const std::vector<Ty> small = {tInt(), tInt(), tBool(), tList(tInt()), tPair(tInt(), tInt()),
                                              tPair(tInt(), tBool())};
        return pick(small);
    }

    Ty topType() {
        static const std::vector<Ty> tops = {tInt(),
                                             tInt(),
                                             tBool(),
                                             tList(tInt()),
                                             tList(tInt()),
                                             tPair(tInt(), tInt()),
                                             tFun(tInt(), tInt()),
                                             tPair(tPair(tInt(), tInt()), tInt()),
                                             tList(tPair(tInt(), tBool())),
                                             tFun(tPair(tInt(), tInt()), tInt())};
        return pick(tops);
    }

    Node term(const Ty& ty, int depth, const Scope& scope) {
        if (depth <= 0 || chance(20)) return leaf(ty, scope);
        switch (ty.k) {
        case Ty::K::Int: return intTerm(depth - 1, scope);
        case Ty::K::Bool: return boolTerm(depth - 1, scope);
        case Ty::K::List: return listTerm(ty, depth - 1, scope);
        case Ty::K::Pair: return pairTerm(ty, depth - 1, scope);
        case Ty::K::Fun: return funTerm(ty, depth - 1, scope);
        }
        return leaf(ty, scope);
    }

    Node leaf(const Ty& ty, const Scope& scope) {
        std::vector<std::string> vars;
        for (const auto& [n, t] : scope)
            if (t == ty) vars.push_back(n);
        if (!vars.empty() && chance(50)) return atom(ty, pick(vars));
        switch (ty.k) {
        case Ty::K::Int: return atom(ty, std::to_string(below(4)));
        case Ty::K::Bool: return atom(ty, chance(50) ? "True" : "False");
        case Ty::K::List:
            return chance(50) ? atom(ty, "[]") : Node{Node::Form::List, ty, "", {}, {leaf(ty.args[0], scope)}};
        case Ty::K::Pair: return tuple(leaf(ty.args[0], scope), leaf(ty.args[1], scope));
        case Ty::K::Fun: return functionLeaf(ty, scope);
        }
        return atom(ty, "0");
    }

private:
    static Scope bind(const Scope& scope, const Scope& names) {
        Scope out = names;
        for (const auto& entry : scope) {
            bool shadowed = false;
            for (const auto& n : names) shadowed = shadowed || n.first == entry.first;
            if (!shadowed) out.push_back(entry);
        }
        return out;
    }

    // A binder for an argument of type ty: a variable, or for a pair sometimes a tuple of
    // binders (nested as the pair nests); the names it binds, with their types.
    std::string binder(const Ty& ty, Scope& names) {
        if (ty.k == Ty::K::Pair && chance(60)) {
            const std::string a = binder(ty.args[0], names);
            const std::string b = binder(ty.args[1], names);
            return "(" + a + ", " + b + ")";
        }
        std::string n = pick(binderNames());
        for (int tries = 0; tries < 10 && std::any_of(names.begin(), names.end(), [&](const auto& e) { return e.first == n; });
             ++tries)
            n = pick(binderNames());
        if (std::any_of(names.begin(), names.end(), [&](const auto& e) { return e.first == n; }))
            n += std::to_string(names.size());
        names.emplace_back(n, ty);
        return n;
    }

    Node lambdaOf(const Ty& fn, int depth, const Scope& scope) {
        Scope names;
        const std::string b = binder(fn.args[0], names);
        std::vector<std::string> bound;
        for (const auto& e : names) bound.push_back(e.first);
        Node body = term(fn.args[1], depth, bind(scope, names));
        return Node{Node::Form::Lam, fn, b, std::move(bound), {std::move(body)}};
    }

    Node functionLeaf(const Ty& ty, const Scope& scope) {
        const Ty& a = ty.args[0];
        const Ty& b = ty.args[1];
        std::vector<std::string> named;
        if (a == tInt() && b == tInt()) named = {"inc", "square", "ident"};
        else if (a == tBool() && b == tBool()) named = {"neg", "ident"};
        else if (a == b) named = {"ident"};
        else if (a.k == Ty::K::Pair && a.args[0] == b) named = {"first"};
        else if (a.k == Ty::K::Pair && b == tPair(a.args[1], a.args[0])) named = {"swap"};
        else if (a.k == Ty::K::List && b == tInt()) named = {"len"};
        if (!named.empty() && chance(70)) return atom(ty, pick(named));
        return lambdaOf(ty, 0, scope);
    }

    // A redex: a lambda applied to an argument of a random type (a tuple binder against an
    // argument that is no tuple stays a redex).
    Node redex(const Ty& result, int depth, const Scope& scope) {
        const Ty arg = smallType();
        return apply(result, {lambdaOf(tFun(arg, result), depth, scope), term(arg, depth, scope)});
    }

    Node ifThen(const Ty& ty, int depth, const Scope& scope) {
        return Node{Node::Form::If, ty, "", {}, {term(tBool(), depth, scope), term(ty, depth, scope), term(ty, depth, scope)}};
    }

    Node intTerm(int d, const Scope& s) {
        const Ty i = tInt();
        switch (below(12)) {
        case 0: return apply(i, {atom(tFun(i, i), "inc"), term(i, d, s)});
        case 1: return apply(i, {atom(tFun(i, i), "square"), term(i, d, s)});
        case 2: return infix(i, chance(50) ? "+" : "*", term(i, d, s), term(i, d, s));
        case 3: {
            const Ty e = smallType();
            return apply(i, {atom(tFun(tList(e), i), "len"), term(tList(e), d, s)});
        }
        case 4: {
            const Ty other = smallType();
            return apply(i, {atom(tFun(tPair(i, other), i), "first"), term(tPair(i, other), d, s)});
        }
        case 5: return apply(i, {atom(i, "konst"), term(i, d, s), term(smallType(), d, s)});
        case 6: return apply(i, {atom(tFun(i, i), "ident"), term(i, d, s)});
        case 7: return ifThen(i, d, s);
        case 8: return redex(i, d, s);
        case 9: return apply(i, {atom(i, "foldr"), term(tFun(i, tFun(i, i)), d, s), term(i, d, s), term(tList(i), d, s)});
        case 10: return apply(i, {atom(i, "twice"), term(tFun(i, i), d, s), term(i, d, s)});
        default: {
            const Ty arg = smallType();
            return apply(i, {term(tFun(arg, i), d, s), term(arg, d, s)});
        }
        }
    }

    Node boolTerm(int d, const Scope& s) {
        const Ty b = tBool();
        switch (below(6)) {
        case 0: return apply(b, {atom(tFun(b, b), "neg"), term(b, d, s)});
        case 1: return ifThen(b, d, s);
        case 2: return apply(b, {atom(b, "konst"), term(b, d, s), term(smallType(), d, s)});
        case 3: return redex(b, d, s);
        case 4: return apply(b, {atom(b, "first"), term(tPair(b, smallType()), d, s)});
        default: return apply(b, {term(tFun(tInt(), b), d, s), term(tInt(), d, s)});
        }
    }

    Node listTerm(const Ty& ty, int d, const Scope& s) {
        const Ty& e = ty.args[0];
        switch (below(7)) {
        case 0: return infix(ty, ":", term(e, d, s), term(ty, d, s));
        case 1: return infix(ty, "++", term(ty, d, s), term(ty, d, s));
        case 2: {
            const Ty from = smallType();
            return apply(ty, {atom(ty, "map"), term(tFun(from, e), d, s), term(tList(from), d, s)});
        }
        case 3: return Node{Node::Form::List, ty, "", {}, {term(e, d, s), term(e, d, s)}};
        case 4: return apply(ty, {atom(tFun(ty, ty), "ident"), term(ty, d, s)});
        case 5: return ifThen(ty, d, s);
        default: return redex(ty, d, s);
        }
    }

    Node pairTerm(const Ty& ty, int d, const Scope& s) {
        switch (below(5)) {
        case 0: return apply(ty, {atom(ty, "swap"), term(tPair(ty.args[1], ty.args[0]), d, s)});
        case 1: return apply(ty, {atom(ty, "first"), term(tPair(ty, smallType()), d, s)});
        case 2: return redex(ty, d, s);
        default: return tuple(term(ty.args[0], d, s), term(ty.args[1], d, s));
        }
    }

    Node funTerm(const Ty& ty, int d, const Scope& s) {
        const Ty& a = ty.args[0];
        const Ty& b = ty.args[1];
        switch (below(6)) {
        case 0:
            if (a == b) return apply(ty, {atom(ty, "twice"), term(ty, d, s)});
            break;
        case 1:
            if (a == tInt() && b == tInt()) return apply(ty, {atom(ty, chance(50) ? "(+)" : "(*)"), term(a, d, s)});
            break;
        case 2: {
            const Ty mid = smallType();
            return infix(ty, ".", term(tFun(mid, b), d, s), term(tFun(a, mid), d, s));
        }
        case 3: return apply(ty, {atom(ty, "konst"), term(b, d, s)});
        default: break;
        }
        return lambdaOf(ty, d, s);
    }

    std::mt19937_64 rng_;
};

// A node of a tree with the names bound around it.
struct Site {
    Node* node;
    std::vector<std::string> bound;
};

inline void collectSites(Node& n, std::vector<std::string> bound, std::vector<Site>& out) {
    out.push_back(Site{&n, bound});
    if (n.form == Node::Form::Lam) bound.insert(bound.end(), n.bound.begin(), n.bound.end());
    for (Node& k : n.kids) collectSites(k, bound, out);
}

// A pattern-variable name that no binder around the site binds: usually a pattern variable's
// name, sometimes a binder name (so that pattern variables and the term's binders share names).
inline std::string freeName(Generator& g, const std::vector<std::string>& bound) {
    for (int tries = 0; tries < 20; ++tries) {
        const std::string& n = g.chance(75) ? g.pick(patternNames()) : g.pick(binderNames());
        if (std::find(bound.begin(), bound.end(), n) == bound.end()) return n;
    }
    return "q";
}

inline const Site& pickSite(Generator& g, const std::vector<Site>& sites) { return sites[static_cast<std::size_t>(g.below(static_cast<int>(sites.size())))]; }

// One change that turns (part of) a term into a pattern.
inline void mutate(Generator& g, Node& pattern) {
    std::vector<Site> sites;
    collectSites(pattern, {}, sites);
    Site site = pickSite(g, sites);
    Node& n = *site.node;
    const std::string v = freeName(g, site.bound);
    std::vector<Site> inner;
    collectSites(n, site.bound, inner);
    switch (g.below(9)) {
    case 0:  // a first-order pattern variable
        n = atom(n.ty, v);
        break;
    case 1:  // a flexible head: the function of an application
        if (n.form == Node::Form::Apply) n.kids[0] = atom(n.kids[0].ty, v);
        else n = atom(n.ty, v);
        break;
    case 2: {  // a higher-order variable applied to a part of the subterm
        Node a = *pickSite(g, inner).node;
        n = apply(n.ty, {atom(n.ty, v), std::move(a)});
        break;
    }
    case 3: {  // the same variable at two places of one type
        const Ty ty = n.ty;
        n = atom(ty, v);
        std::vector<Site> again;
        collectSites(pattern, {}, again);
        std::vector<Site> others;
        for (const Site& s : again)
            if (s.node->ty == ty && !(s.node->form == Node::Form::Atom && s.node->text == v) &&
                std::find(s.bound.begin(), s.bound.end(), v) == s.bound.end())
                others.push_back(s);
        if (!others.empty()) *pickSite(g, others).node = atom(ty, v);
        break;
    }
    case 4:  // a lambda's body abstracted over its variables
        if (n.form == Node::Form::Lam) {
            std::vector<Node> kids{atom(n.kids[0].ty, v)};
            for (const std::string& b : n.bound) kids.push_back(atom(tInt(), b));
            n.kids[0] = apply(n.kids[0].ty, std::move(kids));
        } else {
            n = apply(n.ty, {atom(n.ty, v), atom(tInt(), "1")});
        }
        break;
    case 5: {  // several function variables: one applied to another's application
        const std::string w = freeName(g, site.bound);
        Node a = *pickSite(g, inner).node;
        n = apply(n.ty, {atom(n.ty, v), apply(a.ty, {atom(a.ty, w == v ? v + "2" : w), std::move(a)})});
        break;
    }
    case 6: {  // a tuple argument, sometimes nested
        Node a = *pickSite(g, inner).node;
        Node b = *pickSite(g, inner).node;
        Node arg = tuple(std::move(a), std::move(b));
        if (g.chance(40)) arg = tuple(std::move(arg), *pickSite(g, inner).node);
        n = apply(n.ty, {atom(n.ty, v), std::move(arg)});
        break;
    }
    case 7:  // a lambda's binder renamed (names shared with the term, shadowing included)
        if (n.form == Node::Form::Lam && n.bound.size() == 1) {
            const std::string to = g.chance(50) ? g.pick(binderNames()) : v;
            const std::string from = n.bound[0];
            std::function<void(Node&)> rename = [&](Node& m) {
                if (m.form == Node::Form::Atom && m.text == from) m.text = to;
                if (m.form == Node::Form::Lam && std::find(m.bound.begin(), m.bound.end(), from) != m.bound.end()) return;
                for (Node& k : m.kids) rename(k);
            };
            rename(n.kids[0]);
            n.text = to;
            n.bound[0] = to;
            break;
        }
        n = atom(n.ty, v);
        break;
    default: {  // a part of a lambda's body that mentions its variable, as a pattern variable
        std::vector<Site> under;
        for (const Site& s : inner)
            if (s.bound.size() > site.bound.size()) under.push_back(s);
        if (under.empty()) {
            n = atom(n.ty, v);
            break;
        }
        const Site& s = pickSite(g, under);
        *s.node = atom(s.node->ty, freeName(g, s.bound));
    }
    }
}

// A change that makes the pair ill-typed: a function replaced by a number, or a part by a
// value of another type.
inline void spoil(Generator& g, Node& pattern) {
    std::vector<Site> sites;
    collectSites(pattern, {}, sites);
    Node& n = *pickSite(g, sites).node;
    if (n.form == Node::Form::Apply && g.chance(60)) n.kids[0] = atom(tInt(), "1");
    else n = atom(n.ty.k == Ty::K::Bool ? tInt() : tBool(), n.ty.k == Ty::K::Bool ? "1" : "True");
}

struct Pair {
    std::string pattern;
    std::string term;
};

inline Pair randomPair(Generator& g) {
    const Ty ty = g.topType();
    const Node term = g.term(ty, 3, {});
    Node pattern = term;
    const int changes = 1 + g.below(3);
    for (int i = 0; i < changes; ++i) mutate(g, pattern);
    if (g.chance(8)) pattern = g.term(ty, 2, {});  // an unrelated pattern, mostly no match
    Node spoiledTerm = term;
    if (g.chance(4)) spoil(g, pattern);
    else if (g.chance(2)) spoil(g, spoiledTerm);
    return Pair{render(pattern), render(spoiledTerm)};
}

// ---------------------------------------------------------------------------------------
// Untyped terms, their beta-eta normal form and their types
// ---------------------------------------------------------------------------------------

// Untyped terms with named variables; constants by their printed text and kept whole for
// their types.
struct Tm;
using TmPtr = std::shared_ptr<const Tm>;
struct Tm {
    enum class K { Var, Con, App, Lam } k;
    std::string name;  // Var, Con
    TmPtr a, b;        // App: function, argument; Lam: pattern, body
    std::optional<Constant> constant;
};

inline TmPtr tvar(std::string n) { return std::make_shared<const Tm>(Tm{Tm::K::Var, std::move(n), nullptr, nullptr, {}}); }
inline TmPtr tapp(TmPtr f, TmPtr x) { return std::make_shared<const Tm>(Tm{Tm::K::App, "", std::move(f), std::move(x), {}}); }
inline TmPtr tlam(TmPtr p, TmPtr body) { return std::make_shared<const Tm>(Tm{Tm::K::Lam, "", std::move(p), std::move(body), {}}); }

inline TmPtr fromExpr(const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Var: return tvar(e.name());
    case ExprKind::Con: return std::make_shared<const Tm>(Tm{Tm::K::Con, showExpr(e), nullptr, nullptr, e.constant()});
    case ExprKind::Ap: return tapp(fromExpr(e.fun()), fromExpr(e.arg()));
    case ExprKind::Lam: return tlam(fromExpr(e.pattern()), fromExpr(e.body()));
    case ExprKind::Let: break;
    }
    throw std::runtime_error("let in a result");
}

inline void namesOfPattern(const TmPtr& p, std::vector<std::string>& out) {
    if (p->k == Tm::K::Var) out.push_back(p->name);
    if (p->k == Tm::K::App) {
        namesOfPattern(p->a, out);
        namesOfPattern(p->b, out);
    }
}

inline bool has(const std::vector<std::string>& v, const std::string& n) { return std::find(v.begin(), v.end(), n) != v.end(); }

inline void freeIn(const TmPtr& t, std::vector<std::string> bound, std::set<std::string>& out) {
    switch (t->k) {
    case Tm::K::Var:
        if (!has(bound, t->name)) out.insert(t->name);
        return;
    case Tm::K::Con: return;
    case Tm::K::App:
        freeIn(t->a, bound, out);
        freeIn(t->b, bound, out);
        return;
    case Tm::K::Lam:
        namesOfPattern(t->a, bound);
        freeIn(t->b, bound, out);
        return;
    }
}

inline std::set<std::string> freeOf(const TmPtr& t) {
    std::set<std::string> out;
    freeIn(t, {}, out);
    return out;
}

inline TmPtr renamePattern(const TmPtr& p, const std::map<std::string, std::string>& r) {
    if (p->k == Tm::K::Var) {
        auto it = r.find(p->name);
        return it == r.end() ? p : tvar(it->second);
    }
    if (p->k == Tm::K::App) return tapp(renamePattern(p->a, r), renamePattern(p->b, r));
    return p;
}

// t with the free variables of s replaced, renaming binders that would capture.
inline TmPtr subst(const TmPtr& t, const std::map<std::string, TmPtr>& s, int& fresh) {
    if (s.empty()) return t;
    switch (t->k) {
    case Tm::K::Var: {
        auto it = s.find(t->name);
        return it == s.end() ? t : it->second;
    }
    case Tm::K::Con: return t;
    case Tm::K::App: return tapp(subst(t->a, s, fresh), subst(t->b, s, fresh));
    case Tm::K::Lam: {
        std::vector<std::string> names;
        namesOfPattern(t->a, names);
        std::map<std::string, TmPtr> inner = s;
        for (const auto& n : names) inner.erase(n);
        std::set<std::string> incoming;
        const std::set<std::string> bodyFree = freeOf(t->b);
        for (const auto& [k, v] : inner)
            if (bodyFree.count(k))
                for (const auto& n : freeOf(v)) incoming.insert(n);
        std::map<std::string, std::string> renaming;
        for (const auto& n : names)
            if (incoming.count(n)) {
                const std::string name = "#" + std::to_string(++fresh);
                renaming[n] = name;
                inner[n] = tvar(name);
            }
        return tlam(renamePattern(t->a, renaming), subst(t->b, inner, fresh));
    }
    }
    return t;
}

// The bindings of a lambda pattern against an argument; false when they do not fit (a tuple
// pattern against anything but a tuple of the same shape).
inline bool bindPattern(const TmPtr& p, const TmPtr& x, std::map<std::string, TmPtr>& out) {
    if (p->k == Tm::K::Var) {
        out[p->name] = x;
        return true;
    }
    if (p->k == Tm::K::Con) return x->k == Tm::K::Con && x->name == p->name;
    if (p->k == Tm::K::App && x->k == Tm::K::App) return bindPattern(p->a, x->a, out) && bindPattern(p->b, x->b, out);
    return false;
}

struct OutOfFuel {};

// Beta normal form, normal order; fuel bounds the contractions.
inline TmPtr beta(const TmPtr& t, int& fuel, int& fresh) {
    switch (t->k) {
    case Tm::K::Var:
    case Tm::K::Con: return t;
    case Tm::K::Lam: return tlam(t->a, beta(t->b, fuel, fresh));
    case Tm::K::App: {
        const TmPtr f = beta(t->a, fuel, fresh);
        if (f->k == Tm::K::Lam) {
            const TmPtr x = beta(t->b, fuel, fresh);
            std::map<std::string, TmPtr> s;
            if (bindPattern(f->a, x, s)) {
                if (--fuel < 0) throw OutOfFuel{};
                return beta(subst(f->b, s, fresh), fuel, fresh);
            }
            return tapp(f, x);
        }
        return tapp(f, beta(t->b, fuel, fresh));
    }
    }
    return t;
}

inline bool sameTm(const TmPtr& a, const TmPtr& b) {
    if (a->k != b->k) return false;
    if (a->k == Tm::K::Var || a->k == Tm::K::Con) return a->name == b->name;
    if (a->k == Tm::K::App) return sameTm(a->a, b->a) && sameTm(a->b, b->b);
    return false;
}

// Eta normal form: \p -> f p becomes f when p's names are not free in f, except at the head
// of a redex that never contracts (a tuple pattern its argument does not fit).  Without
// `tupleBinders`, only a lambda whose binder is one variable is contracted: \(a, b) -> f (a, b)
// takes its argument apart (f applied to what is no pair stays stuck), and so differs from f as a
// result, though the two terms agree wherever the argument is a pair.
inline TmPtr eta(const TmPtr& t, bool tupleBinders = true) {
    switch (t->k) {
    case Tm::K::Var:
    case Tm::K::Con: return t;
    case Tm::K::App: {
        const TmPtr x = eta(t->b, tupleBinders);
        std::map<std::string, TmPtr> s;
        if (t->a->k == Tm::K::Lam && t->a->a->k != Tm::K::Var && !bindPattern(t->a->a, x, s))
            return tapp(tlam(t->a->a, eta(t->a->b, tupleBinders)), x);
        return tapp(eta(t->a, tupleBinders), x);
    }
    case Tm::K::Lam: {
        const TmPtr body = eta(t->b, tupleBinders);
        if ((tupleBinders || t->a->k == Tm::K::Var) && body->k == Tm::K::App && sameTm(body->b, t->a)) {
            std::vector<std::string> names;
            namesOfPattern(t->a, names);
            const std::set<std::string> fFree = freeOf(body->a);
            bool clear = true;
            for (const auto& n : names) clear = clear && !fFree.count(n);
            if (clear) return body->a;
        }
        return tlam(t->a, body);
    }
    }
    return t;
}

// A text in which bound variables are numbered by their binders: equal texts are equal terms
// up to the names of bound variables.
inline void canonical(const TmPtr& t, const std::vector<std::string>& bound, std::string& out) {
    switch (t->k) {
    case Tm::K::Var:
        for (std::size_t i = bound.size(); i-- > 0;)
            if (bound[i] == t->name) {
                out += "#" + std::to_string(i);
                return;
            }
        out += t->name;
        return;
    case Tm::K::Con: out += "'" + t->name + "'"; return;
    case Tm::K::App:
        out += "(";
        canonical(t->a, bound, out);
        out += " ";
        canonical(t->b, bound, out);
        out += ")";
        return;
    case Tm::K::Lam: {
        std::vector<std::string> names;
        namesOfPattern(t->a, names);
        std::vector<std::string> inner = bound;
        inner.insert(inner.end(), names.begin(), names.end());
        out += "(\\";
        canonical(t->a, inner, out);
        out += ".";
        canonical(t->b, inner, out);
        out += ")";
        return;
    }
    }
}

inline std::string canonicalText(const TmPtr& t) {
    std::string out;
    canonical(t, {}, out);
    return out;
}

inline std::string normalForm(const TmPtr& t, int& fresh) {
    int fuel = 2000;
    return canonicalText(eta(beta(t, fuel, fresh)));
}

// Hindley-Milner types of erased terms: type variables are numbers, bound in a table as
// unification goes.
class Typing {
public:
    struct T {
        int var = -1;  // >= 0: a type variable
        std::string con;
        std::vector<T> args;
    };

    static T con(std::string name, std::vector<T> args = {}) { return T{-1, std::move(name), std::move(args)}; }
    static T fn(T a, T b) { return con("->", {std::move(a), std::move(b)}); }
    static T list(T a) { return con("List", {std::move(a)}); }

    T fresh() {
        bound_.emplace_back();
        return T{static_cast<int>(bound_.size()) - 1, "", {}};
    }

    // The type of t, with its free variables typed by env (monomorphic) or, for the probe
    // program's functions, by their signatures; nothing when t is not typable.
    std::optional<T> infer(const TmPtr& t, std::map<std::string, T>& env) {
        switch (t->k) {
        case Tm::K::Var: {
            if (auto it = env.find(t->name); it != env.end()) return it->second;
            if (std::optional<T> s = signature(t->name)) return s;
            return env[t->name] = fresh();  // a pattern variable left unbound
        }
        case Tm::K::Con: return constantType(*t->constant);
        case Tm::K::App: {
            std::optional<T> f = infer(t->a, env);
            if (!f) return std::nullopt;
            std::optional<T> x = infer(t->b, env);
            if (!x) return std::nullopt;
            T r = fresh();
            if (!unify(*f, fn(*x, r))) return std::nullopt;
            return r;
        }
        case Tm::K::Lam: {
            std::map<std::string, T> inner = env;
            std::vector<std::string> names;
            namesOfPattern(t->a, names);
            for (const std::string& n : names) inner[n] = fresh();
            std::optional<T> p = infer(t->a, inner);
            if (!p) return std::nullopt;
            std::optional<T> body = infer(t->b, inner);
            if (!body) return std::nullopt;
            return fn(*p, *body);
        }
        }
        return std::nullopt;
    }

    bool unify(const T& a0, const T& b0) {
        const T a = resolve(a0);
        const T b = resolve(b0);
        if (a.var >= 0 && b.var >= 0 && a.var == b.var) return true;
        if (a.var >= 0) return bindVar(a.var, b);
        if (b.var >= 0) return bindVar(b.var, a);
        if (a.con != b.con || a.args.size() != b.args.size()) return false;
        for (std::size_t i = 0; i < a.args.size(); ++i)
            if (!unify(a.args[i], b.args[i])) return false;
        return true;
    }

private:
    T resolve(const T& t) const {
        T at = t;
        while (at.var >= 0 && bound_[static_cast<std::size_t>(at.var)]) at = *bound_[static_cast<std::size_t>(at.var)];
        return at;
    }

    bool occurs(int v, const T& t) const {
        const T r = resolve(t);
        if (r.var >= 0) return r.var == v;
        return std::any_of(r.args.begin(), r.args.end(), [&](const T& a) { return occurs(v, a); });
    }

    bool bindVar(int v, const T& t) {
        if (occurs(v, t)) return false;
        bound_[static_cast<std::size_t>(v)] = t;
        return true;
    }

    T tuple(std::vector<T> parts) {
        const std::string name = "Tuple" + std::to_string(parts.size());
        return con(name, std::move(parts));
    }

    std::optional<T> signature(const std::string& name) {
        const T a = fresh(), b = fresh(), i = con("Int"), bo = con("Bool");
        if (name == "map") return fn(fn(a, b), fn(list(a), list(b)));
        if (name == "foldr") return fn(fn(a, fn(b, b)), fn(b, fn(list(a), b)));
        if (name == "inc" || name == "square") return fn(i, i);
        if (name == "neg") return fn(bo, bo);
        if (name == "ident") return fn(a, a);
        if (name == "konst") return fn(a, fn(b, a));
        if (name == "twice") return fn(fn(a, a), fn(a, a));
        if (name == "swap") return fn(tuple({a, b}), tuple({b, a}));
        if (name == "first") return fn(tuple({a, b}), a);
        if (name == "len") return fn(list(a), i);
        return std::nullopt;
    }

    T constantType(const Constant& c) {
        const T i = con("Int"), bo = con("Bool"), fl = con("Float");
        const T a = fresh(), b = fresh(), r = fresh();
        switch (c.kind()) {
        case ConstantKind::Number: return i;
        case ConstantKind::FNumber: return fl;
        case ConstantKind::Boolean: return bo;
        case ConstantKind::Nul: return list(a);
        case ConstantKind::If: return fn(bo, fn(a, fn(a, a)));
        case ConstantKind::Tuple: {
            std::vector<T> parts;
            for (std::int32_t k = 0; k < c.arity(); ++k) parts.push_back(fresh());
            T out = tuple(parts);
            for (auto it = parts.rbegin(); it != parts.rend(); ++it) out = fn(*it, out);
            return out;
        }
        case ConstantKind::Binop:
            switch (c.op()) {
            case Op::App: return fn(fn(a, b), fn(a, b));
            case Op::Idx: return fn(list(a), fn(i, a));
            case Op::Comp: return fn(fn(b, r), fn(fn(a, b), fn(a, r)));
            case Op::FExp:
            case Op::FTim:
            case Op::FDiv:
            case Op::FPlus:
            case Op::FMin: return fn(fl, fn(fl, fl));
            case Op::Cat: return fn(list(a), fn(list(a), list(a)));
            case Op::Cons: return fn(a, fn(list(a), list(a)));
            case Op::Eq:
            case Op::Neq:
            case Op::Le:
            case Op::Leq:
            case Op::Ge:
            case Op::Geq: return fn(a, fn(a, bo));
            case Op::And:
            case Op::Or: return fn(bo, fn(bo, bo));
            default: return fn(i, fn(i, i));
            }
        case ConstantKind::Constr:
            if (c.constrName() == "Leaf") return con("Tree", {a});
            if (c.constrName() == "Node") return fn(con("Tree", {a}), fn(a, fn(con("Tree", {a}), con("Tree", {a}))));
            return a;
        case ConstantKind::Error: return a;
        }
        return a;
    }

    std::vector<std::optional<T>> bound_;
};

// ---------------------------------------------------------------------------------------
// The run
// ---------------------------------------------------------------------------------------

inline const char* kindWord(Kind k) {
    switch (k) {
    case Kind::Simple: return "simplematch";
    case Kind::OneStep: return "onestepmatch";
    case Kind::TwoStep: return "twostepmatch";
    }
    return "";
}

// The result as a set element: each binding's expression in eta normal form, up to bound names.
// Lambdas with a tuple binder stay (eta, without tupleBinders): two results that differ by one
// are two results.
inline std::string resultKey(const MatchResult& r) {
    std::vector<std::string> parts;
    for (const auto& [name, e] : r.subst) parts.push_back(name + "=" + canonicalText(eta(fromExpr(e), false)));
    std::sort(parts.begin(), parts.end());
    std::string out;
    for (const auto& p : parts) out += p + "; ";
    return out;
}

// The pattern with the result's bindings substituted (the first binding of a name wins).
inline TmPtr instantiated(const Expr& pattern, const MatchResult& r, int& fresh) {
    std::map<std::string, TmPtr> s;
    for (const auto& [name, e] : r.subst)
        if (!s.count(name)) s[name] = fromExpr(e);
    return subst(fromExpr(pattern), s, fresh);
}

// Why a result is wrong ("unsound", "ill-typed", "check dump"), or "" when it is right.
// plim's check compares with the term as given, so it is given the term's normal form (a
// term with a redex would fail it for every result).
inline std::string fault(const Expr& pattern, const Expr& term, const Expr& normalTerm, const MatchResult& r) {
    int fresh = 0;
    const TmPtr p = instantiated(pattern, r, fresh);
    const TmPtr t = fromExpr(term);
    try {
        if (normalForm(p, fresh) != normalForm(t, fresh)) return "unsound";
    } catch (const OutOfFuel&) {
        return "unsound";
    }
    Typing typing;
    std::map<std::string, Typing::T> env;
    const std::optional<Typing::T> pt = typing.infer(p, env);
    std::map<std::string, Typing::T> termEnv;
    const std::optional<Typing::T> tt = typing.infer(t, termEnv);
    if (!pt || !tt || !typing.unify(*pt, *tt)) return "ill-typed";
    std::ostringstream dump;
    std::streambuf* saved = std::cerr.rdbuf(dump.rdbuf());
    try {
        checkResult(pattern, normalTerm, r);
    } catch (...) {
        std::cerr.rdbuf(saved);
        throw;
    }
    std::cerr.rdbuf(saved);
    if (!dump.str().empty()) return "check dump";
    return "";
}

// What one matcher gave on one pair: the set of results, the faults among them, or the
// failure that ended the match (a user error, or anything else: a session lost).
struct Outcome {
    std::set<std::string> keys;
    std::vector<std::string> order;  // the keys in the order of their first results
    std::map<std::string, std::string> faults;  // key -> why
    std::string failure;
    bool lost = false;
    bool capped = false;     // the cap was reached: the results after it were not asked for
    bool outOfTime = false;  // the time budget ran out before the results did
    // Only the first results were read (in order, as far as the cap or the budget let them).
    bool partial() const { return capped || outOfTime; }
};

// The results read of one match.  A tuple argument whose elements are all flexible can have
// hundreds of thousands; the matchers give their results lazily and in one order, so the
// first ones read of each are compared in order, and the sets only when neither reached it.
constexpr std::size_t kResultCap = 5000;

// A time budget for the results of one match (zero: none), looked at between results.
using Budget = std::chrono::milliseconds;

// The results judged when normalTerm is given (each distinct result once).
inline Outcome outcomeOf(const MatcherRef& m, Kind kind, const Expr& p, const Expr& t, const Expr* normalTerm,
                         Budget budget = Budget{0}, std::size_t cap = kResultCap) {
    Outcome out;
    const auto deadline = std::chrono::steady_clock::now() + budget;
    try {
        // The cap and the budget are looked at before the next result is asked for: a search
        // can go on long after its last result, and a result computed is a result read.
        List<MatchResult> at = progtest::runMatch(m, kind, p, t);
        for (std::size_t n = 0;; ++n, at = at.tail()) {
            if (n == cap) {
                out.capped = true;
                break;
            }
            if (budget.count() > 0 && std::chrono::steady_clock::now() > deadline) {
                out.outOfTime = true;
                break;
            }
            if (at.empty()) break;
            const std::string key = resultKey(at.head());
            if (!out.keys.insert(key).second) continue;
            out.order.push_back(key);
            if (!normalTerm) continue;
            const std::string why = fault(p, t, *normalTerm, at.head());
            if (!why.empty()) out.faults[key] = why;
        }
    } catch (const UserError& e) {
        out.failure = e.what();
    } catch (const std::exception& e) {
        out.failure = e.what();
        out.lost = true;
    }
    return out;
}

struct Finding {
    std::string kind;     // "fast missing", "fast extra", "fast unsound", ..., "ref lost session"
    std::string command;  // the match command that shows it
    std::string detail;
};

struct Counts {
    std::size_t pairs = 0, illTyped = 0, matches = 0, fastResults = 0, refResults = 0, outOfTime = 0;
    std::size_t capped = 0, cappedPairs = 0;  // matches (and the pairs with one) whose results reached the cap
    std::size_t cap = kResultCap;
    std::map<std::string, std::size_t> byKind;
};

inline std::string command(Kind kind, const Pair& pr) {
    return std::string(kindWord(kind)) + " \"" + pr.pattern + "\" \"" + pr.term + "\"";
}

inline void report(Counts& counts, std::vector<Finding>& found, const std::string& what, std::string cmd,
                   std::string detail) {
    ++counts.byKind[what];
    found.push_back(Finding{what, std::move(cmd), std::move(detail)});
}

// The first results of two matches read only in part: the distinct results in the order
// of their first appearance agree as far as both were read.
inline bool samePrefix(const Outcome& fast, const Outcome& ref) {
    const std::size_t n = std::min(fast.order.size(), ref.order.size());
    return std::equal(fast.order.begin(), fast.order.begin() + static_cast<std::ptrdiff_t>(n), ref.order.begin());
}

// A well-typed pair: both matchers, every result read judged, the sets compared (in order as
// far as they were read when the results went past the cap or the time budget).
inline void compareOne(Kind kind, const Pair& pr, const Expr& p, const Expr& t, Counts& counts,
                       std::vector<Finding>& found, Budget budget = Budget{0}, std::size_t cap = kResultCap) {
    const Expr normal = betareduce(t);
    const Outcome fast = outcomeOf(fastMatcher(), kind, p, t, &normal, budget, cap);
    const Outcome ref = outcomeOf(refMatcher(), kind, p, t, &normal, budget, cap);
    ++counts.matches;
    if (fast.outOfTime || ref.outOfTime) ++counts.outOfTime;
    if (fast.capped || ref.capped) ++counts.capped;
    counts.fastResults += fast.keys.size();
    counts.refResults += ref.keys.size();
    const std::string cmd = command(kind, pr);
    if (fast.lost) report(counts, found, "fast lost session", cmd, fast.failure);
    if (ref.lost) report(counts, found, "ref lost session", cmd, ref.failure);
    if (!fast.failure.empty() && !fast.lost) report(counts, found, "fast user error", cmd, fast.failure);
    if (!ref.failure.empty() && !ref.lost) report(counts, found, "ref user error", cmd, ref.failure);
    if (!fast.failure.empty() || !ref.failure.empty()) return;
    for (const auto& [key, why] : fast.faults) report(counts, found, "fast " + why, cmd, key);
    for (const auto& [key, why] : ref.faults) report(counts, found, "ref " + why, cmd, key);
    if (fast.partial() || ref.partial()) {
        const Outcome& past = fast.partial() ? fast : ref;
        const Outcome& other = fast.partial() ? ref : fast;
        if (!samePrefix(fast, ref))
            report(counts, found, "fast order", cmd, "the first results read differ");
        else if (!other.partial() && past.order.size() > other.order.size())
            report(counts, found, fast.partial() ? "fast extra" : "fast missing", cmd,
                   std::to_string(past.order.size()) + " distinct results against " +
                       std::to_string(other.order.size()));
        return;
    }
    for (const auto& key : ref.keys)
        if (!fast.keys.count(key)) report(counts, found, "fast missing", cmd, key);
    for (const auto& key : fast.keys)
        if (!ref.keys.count(key)) report(counts, found, "fast extra", cmd, key);
    if (fast.keys == ref.keys && fast.order != ref.order)
        report(counts, found, "fast order", cmd, fast.order.front() + " / " + ref.order.front());
}

// An ill-typed pair, matched as the match commands match it after the type reports: a user
// error may end the match, nothing else may.
inline void survivesOne(Kind kind, const Pair& pr, const Expr& p, const Expr& t, Counts& counts,
                        std::vector<Finding>& found, Budget budget = Budget{0}, std::size_t cap = kResultCap) {
    for (const auto& [m, name] : {std::pair{fastMatcher(), "fast"}, std::pair{refMatcher(), "ref"}}) {
        const Outcome o = outcomeOf(m, kind, p, t, nullptr, budget, cap);
        if (o.outOfTime) ++counts.outOfTime;
        if (o.capped) ++counts.capped;
        if (o.lost) report(counts, found, std::string(name) + " lost session", command(kind, pr), o.failure);
    }
}

struct RunResult {
    Counts counts;
    std::vector<Finding> found;
};

struct RunOptions {
    std::size_t first = 0;  // the pairs before it are drawn but not run
    bool trace = false;     // each pair's number and text written to the log before it runs
    Budget perMatch{0};     // the time each matcher has for the results of one match (zero: no limit)
    std::size_t resultCap = kResultCap;  // the results read of each match
};

// One pair: an ill-typed one must not lose the session, a well-typed one is compared.
inline void runPairMatches(const Pair& pr, const RunOptions& options, RunResult& run) {
    const progtest::Checked c = progtest::readPair(pr.pattern, pr.term, progtest::probeSignature());
    if (!c.reports.empty()) {
        ++run.counts.illTyped;
        const std::optional<std::pair<Expr, Expr>> both =
            progtest::checkedDespiteReports(c.lhs, c.rhs, progtest::probeSignature());
        if (both)
            for (Kind kind : {Kind::Simple, Kind::OneStep, Kind::TwoStep})
                survivesOne(kind, pr, both->first, both->second, run.counts, run.found, options.perMatch,
                            options.resultCap);
        return;
    }
    for (Kind kind : {Kind::Simple, Kind::OneStep, Kind::TwoStep})
        compareOne(kind, pr, c.lhs, c.rhs, run.counts, run.found, options.perMatch, options.resultCap);
}

// Calls f(i, pair, run) for the pairs i = first .. first + pairs - 1 of the seed's sequence,
// each counted in the run, naming each in `log` first when tracing.
template <class F>
RunResult runEachPair(std::uint64_t seed, std::size_t pairs, const RunOptions& options, std::ostream& log, F f) {
    RunResult run;
    run.counts.cap = options.resultCap;
    Generator g(seed);
    for (std::size_t i = 0; i < options.first; ++i) randomPair(g);
    for (std::size_t i = options.first; i < options.first + pairs; ++i) {
        const Pair pr = randomPair(g);
        if (options.trace) log << "pair " << i << ": " << command(Kind::OneStep, pr) << std::endl;
        ++run.counts.pairs;
        f(i, pr, run);
    }
    return run;
}

inline void runPair(const Pair& pr, const RunOptions& options, RunResult& run) {
    const std::size_t cappedBefore = run.counts.capped;
    runPairMatches(pr, options, run);
    if (run.counts.capped > cappedBefore) ++run.counts.cappedPairs;
}

// Runs `pairs` random pairs from the seed, writing slow pairs to `log`.
inline RunResult runPairs(std::uint64_t seed, std::size_t pairs, std::ostream& log, const RunOptions& options = {}) {
    return runEachPair(seed, pairs, options, log, [&](std::size_t i, const Pair& pr, RunResult& run) {
        const auto started = std::chrono::steady_clock::now();
        runPair(pr, options, run);
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        if (took.count() > 1000)
            log << "slow (pair " << i << ", " << took.count() << " ms): " << command(Kind::OneStep, pr) << "\n";
    });
}

inline void writeSummary(const RunResult& run, std::ostream& out) {
    const Counts& c = run.counts;
    out << "pairs " << c.pairs << ", ill-typed pairs " << c.illTyped << ", matches " << c.matches << " ("
        << c.capped << " capped at " << c.cap << " results, in " << c.cappedPairs << " pairs, " << c.outOfTime
        << " out of time), fast results " << c.fastResults
        << ", reference results " << c.refResults << "\n";
    for (const auto& [kind, n] : c.byKind) out << "  " << kind << ": " << n << "\n";
}

inline void writeFindings(const RunResult& run, std::ostream& out) {
    for (const Finding& f : run.found) out << f.kind << ": " << f.command << "\n    " << f.detail << "\n";
}

}  // namespace plim::difftest
