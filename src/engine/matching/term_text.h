// The derived text form of the matchers' terms, shared by both: "Ap (LVar \"f\" (TCon ...))
// (Con (Number 1) (TCon ...)) (TCon ...)", each constructor with its fields and last its type,
// in parentheses at precedence 11.  Written on a work stack, so no nesting costs call depth.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "lang/constants.h"
#include "lang/types.h"
#include "scanning/string_literal.h"
#include "engine/matching/term_vocabulary.h"

namespace plim::term_text {

template <TermVocabulary Term>
using KindOf = decltype(std::declval<const Term&>().kind());

// `appendBinder(out, prec, binder)` writes a lambda's binder.
template <TermVocabulary Term, class AppendBinder>
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

}  // namespace plim::term_text
