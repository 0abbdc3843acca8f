// The derived text form of the matchers' terms, shared by both: "Ap (LVar \"f\" (TCon ...))
// (Con (Number 1) (TCon ...)) (TCon ...)", each constructor with its fields and last its type,
// in parentheses at precedence 11, and the same forms of binders, steps and paths.  Written on
// work stacks, so no nesting costs call depth.  Each matcher takes these names into its own
// namespace with using-declarations.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "lang/constants.h"
#include "lang/types.h"
#include "scanning/string_literal.h"
#include "engine/matching/binder_walks.h"
#include "engine/matching/term_vocabulary.h"
#include "support/errors.h"

namespace plim::term_text {

template <TermNodes Term>
using KindOf = decltype(std::declval<const Term&>().kind());

// `appendBinder(out, prec, binder)` writes a lambda's binder.
template <TermNodes Term, class AppendBinder>
void appendTerm(std::string& out, int prec, const Term& root, const AppendBinder& appendBinder) {
    using K = KindOf<Term>;
    // A task writes a term at a precedence, a lambda's binder, a term's type or a fixed text.
    struct Task {
        const Term* term;
        int prec;
        enum class What : unsigned char { Node, Binder, Type, Text } what;
        const char* text;
    };
    std::vector<Task> work{{&root, prec, Task::What::Node, nullptr}};
    auto text = [&work](const char* s) { work.push_back({nullptr, 0, Task::What::Text, s}); };
    while (!work.empty()) {
        const Task task = work.back();
        work.pop_back();
        switch (task.what) {
        case Task::What::Text: out += task.text; continue;
        case Task::What::Type: appendTypeText(out, 11, task.term->type()); continue;
        case Task::What::Binder: appendBinder(out, 11, task.term->binder()); continue;
        case Task::What::Node: break;
        }
        const Term& t = *task.term;
        const bool parens = task.prec > 10;
        if (parens) out += '(';
        // What follows the fields, pushed first: the type and the closing parenthesis.
        if (parens) text(")");
        work.push_back({&t, 0, Task::What::Type, nullptr});
        text(" ");
        switch (t.kind()) {
        case K::LVar:
        case K::PVar:
            out += t.is(K::LVar) ? "LVar " : "PVar ";
            appendStringLiteral(out, t.name());
            break;
        case K::Con:
            out += "Con ";
            appendConstantText(out, 11, t.constant());
            break;
        case K::Ap:
            out += "Ap ";
            work.push_back({&t.arg(), 11, Task::What::Node, nullptr});
            text(" ");
            work.push_back({&t.fun(), 11, Task::What::Node, nullptr});
            break;
        case K::Lam:
            out += "Lam ";
            work.push_back({&t.body(), 11, Task::What::Node, nullptr});
            text(" ");
            work.push_back({&t, 0, Task::What::Binder, nullptr});
            break;
        case K::Tupl:
            out += "Tupl [";
            text("]");
            for (std::size_t i = t.elems().size(); i-- > 0;) {
                work.push_back({&t.elems()[i], 0, Task::What::Node, nullptr});
                if (i > 0) text(",");
            }
            break;
        }
    }
}

// A binder: LamVar "x", LamTup [...].
template <TermBinder B>
void appendBinding(std::string& out, int prec, const B& b) {
    binder_walks::appendText(out, prec, b, [](const B& x) -> const std::vector<B>& { return x.components(); });
}

template <TermNodes Term>
void appendTerm(std::string& out, int prec, const Term& t) {
    appendTerm(out, prec, t, appendBinding<typename Term::Binding>);
}

// A step: First, Second, Body, TupElem i.
template <TermStepType Step>
void appendStep(std::string& out, int prec, const Step& s) {
    using K = decltype(s.kind);
    switch (s.kind) {
    case K::First: out += "First"; return;
    case K::Second: out += "Second"; return;
    case K::Body: out += "Body"; return;
    case K::TupElem:
        if (prec > 10) out += '(';
        out += "TupElem ";
        appendIntText(out, 11, s.position);
        if (prec > 10) out += ')';
        return;
    }
}

// The text of a term, binder or step at precedence 0.
template <class X>
    requires TermNodes<X> || TermStepType<X> || TermBinder<X>
std::string show(const X& x) {
    std::string out;
    if constexpr (TermNodes<X>) appendTerm(out, 0, x);
    else if constexpr (TermStepType<X>) appendStep(out, 0, x);
    else appendBinding(out, 0, x);
    return out;
}

// A list of them: [a,b,c].
template <class X>
    requires TermNodes<X> || TermStepType<X> || TermBinder<X>
std::string showList(const std::vector<X>& xs) {
    std::string out = "[";
    for (std::size_t i = 0; i < xs.size(); ++i) {
        if (i > 0) out += ',';
        out += show(xs[i]);
    }
    return out + "]";
}

// Raises the internal error of a replacement whose path does not fit: the term reached, the
// steps of the path from there on, and the replacement.
template <TermNodes Term>
[[noreturn]] void invalidReplace(const Term& at, const std::vector<typename Term::Step>& path, std::size_t from,
                                 const Term& replacement) {
    const std::vector<typename Term::Step> rest(path.begin() + static_cast<std::ptrdiff_t>(from), path.end());
    failInternal("invalid replace:\ne=" + show(at) + "\nl=" + showList(rest) + "\nr=" + show(replacement) + "\n");
}

}  // namespace plim::term_text
