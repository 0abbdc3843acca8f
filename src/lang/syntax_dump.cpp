#include "lang/syntax_dump.h"

#include <string_view>

namespace plim {

namespace {

// Opens a constructor with fields: "(" when enclosed, then the name and a blank.
bool open(std::string& out, int prec, std::string_view name) {
    const bool parens = prec > 10;
    if (parens) out += '(';
    out += name;
    out += ' ';
    return parens;
}

void close(std::string& out, bool parens) {
    if (parens) out += ')';
}

// A chain as nested cells: each cell opens with its prefix (constructor, fields before the
// rest, and a blank), the rest follows at precedence 11, and the cell closes with its suffix
// (the fields after the rest) and ")" when enclosed.  Walked in a loop, however long.
template <class Item, class Prefix, class Suffix>
void appendChain(std::string& out, int prec, const Chain<Item>& chain, std::string_view endName,
                 const Prefix& prefix, const Suffix& suffix) {
    std::vector<const Item*> opened;
    std::vector<bool> parens;
    int at = prec;
    for (const Item& item : chain) {
        parens.push_back(at > 10);
        if (at > 10) out += '(';
        prefix(out, item);
        opened.push_back(&item);
        at = 11;
    }
    out += endName;
    for (std::size_t i = opened.size(); i-- > 0;) {
        suffix(out, *opened[i]);
        close(out, parens[i]);
    }
}

void noSuffix(std::string&, const auto&) {}

// One step of the expression walk: a literal text, an expression at a precedence, or the
// type of an expression at precedence 11.
struct Step {
    enum class What { Text, Expr, TypeOf, Defs } what;
    const char* text = nullptr;
    const Expr* expr = nullptr;
    int prec = 11;
};

}  // namespace

void appendSyntaxText(std::string& out, int prec, const Expr& root) {
    std::vector<Step> steps{{Step::What::Expr, nullptr, &root, prec}};
    auto push = [&steps](std::initializer_list<Step> later) {
        for (auto it = later.end(); it != later.begin();) steps.push_back(*--it);
    };
    const Step blank{Step::What::Text, " "};
    while (!steps.empty()) {
        const Step step = steps.back();
        steps.pop_back();
        switch (step.what) {
        case Step::What::Text: out += step.text; continue;
        case Step::What::TypeOf: appendTypeText(out, 11, step.expr->type()); continue;
        case Step::What::Defs: appendSyntaxText(out, 11, step.expr->defs()); continue;
        case Step::What::Expr: break;
        }
        const Expr& e = *step.expr;
        const bool parens = step.prec > 10;
        const Step closing{Step::What::Text, parens ? ")" : ""};
        const Step typeOf{Step::What::TypeOf, nullptr, &e};
        switch (e.kind()) {
        case ExprKind::Lam:
            open(out, step.prec, "Lam");
            push({{Step::What::Expr, nullptr, &e.pattern()}, blank, {Step::What::Expr, nullptr, &e.body()}, blank,
                  typeOf, closing});
            break;
        case ExprKind::Let:
            open(out, step.prec, "Let");
            push({{Step::What::Defs, nullptr, &e}, blank, {Step::What::Expr, nullptr, &e.body()}, blank, typeOf,
                  closing});
            break;
        case ExprKind::Ap:
            open(out, step.prec, "Ap");
            push({{Step::What::Expr, nullptr, &e.fun()}, blank, {Step::What::Expr, nullptr, &e.arg()}, blank, typeOf,
                  closing});
            break;
        case ExprKind::Var:
            open(out, step.prec, "Var");
            appendStringLiteral(out, e.name());
            out += ' ';
            appendTypeText(out, 11, e.type());
            close(out, parens);
            break;
        case ExprKind::Con:
            open(out, step.prec, "Con");
            appendConstantText(out, 11, e.constant());
            out += ' ';
            appendTypeText(out, 11, e.type());
            close(out, parens);
            break;
        }
    }
}

void appendSyntaxText(std::string& out, int prec, const Eqn& eqn) {
    const bool parens = open(out, prec, "Eqn");
    appendSyntaxText(out, 11, eqn.lhs);
    out += ' ';
    appendSyntaxText(out, 11, eqn.rhs);
    close(out, parens);
}

void appendSyntaxText(std::string& out, int prec, const Eqs& eqs) {
    auto prefix = [](std::string& o, const Eqn& eqn) {
        o += "OneEq ";
        appendSyntaxText(o, 11, eqn);
        o += ' ';
    };
    appendChain(out, prec, eqs, "NoEq", prefix, [](std::string& o, const Eqn& x) { noSuffix(o, x); });
}

void appendSyntaxText(std::string& out, int prec, const Ceq& ceq) {
    const bool parens = open(out, prec, "Ceq");
    appendStringLiteral(out, ceq.label);
    out += ' ';
    appendSyntaxText(out, 11, ceq.conds);
    out += ' ';
    appendSyntaxText(out, 11, ceq.eqn);
    out += ' ';
    appendIntText(out, 11, ceq.line);
    close(out, parens);
}

void appendSyntaxText(std::string& out, int prec, const Theo& theo) {
    auto prefix = [](std::string& o, const TheoItem& item) {
        if (item.kind() == TheoKind::CeqTheo) {
            o += "CeqTheo ";
            appendSyntaxText(o, 11, item.ceq());
        } else {
            o += "DefnTheo ";
            appendStringLiteral(o, item.defnName());
        }
        o += ' ';
    };
    appendChain(out, prec, theo, "NoTheo", prefix, [](std::string& o, const TheoItem& x) { noSuffix(o, x); });
}

void appendSyntaxText(std::string& out, int prec, const Theory& theory) {
    const bool parens = open(out, prec, "Theory");
    appendSyntaxText(out, 11, theory.elems);
    close(out, parens);
}

void appendSyntaxText(std::string& out, int prec, const Alt& alt) {
    const bool parens = open(out, prec, "Alt");
    appendStringLiteral(out, alt.name);
    out += ' ';
    appendTypeListText(out, alt.args);
    close(out, parens);
}

void appendSyntaxText(std::string& out, int prec, const Alts& alts) {
    auto prefix = [](std::string& o, const Alt& alt) {
        o += "OneAlt ";
        appendSyntaxText(o, 11, alt);
        o += ' ';
    };
    appendChain(out, prec, alts, "NoAlt", prefix, [](std::string& o, const Alt& x) { noSuffix(o, x); });
}

void appendSyntaxText(std::string& out, int prec, const Rewrite& rewrite) {
    const bool parens = open(out, prec, "Rewrite");
    appendStringLiteral(out, rewrite.name);
    out += ' ';
    appendStringListLiteral(out, rewrite.names);
    out += ' ';
    appendSyntaxText(out, 11, rewrite.redefs);
    out += ' ';
    appendSyntaxText(out, 11, rewrite.specs);
    out += ' ';
    appendSyntaxText(out, 11, rewrite.theory);
    close(out, parens);
}

void appendSyntaxText(std::string& out, int prec, const Decl& decl) {
    bool parens = false;
    switch (decl.kind()) {
    case DeclKind::Fun:
        parens = open(out, prec, "Fun");
        appendSyntaxText(out, 11, decl.fun().lhs);
        out += ' ';
        appendSyntaxText(out, 11, decl.fun().rhs);
        break;
    case DeclKind::Dec:
        parens = open(out, prec, "Dec");
        appendSyntaxText(out, 11, decl.dec().name);
        out += ' ';
        appendTypeText(out, 11, decl.dec().type);
        break;
    case DeclKind::Data:
        parens = open(out, prec, "Data");
        appendTypeText(out, 11, decl.data().type);
        out += ' ';
        appendSyntaxText(out, 11, decl.data().alts);
        break;
    }
    close(out, parens);
}

void appendSyntaxText(std::string& out, int prec, const Defs& defs) {
    auto prefix = [](std::string& o, const DefItem& item) {
        o += "OneDef ";
        appendSyntaxText(o, 11, item.decl);
        o += ' ';
    };
    auto suffix = [](std::string& o, const DefItem& item) {
        o += ' ';
        appendIntText(o, 11, item.line);
    };
    appendChain(out, prec, defs, "NoDef", prefix, suffix);
}

void appendSyntaxText(std::string& out, int prec, const DList& dlist) {
    const bool parens = open(out, prec, "DList");
    appendSyntaxText(out, 11, dlist.defs);
    close(out, parens);
}

void appendSyntaxText(std::string& out, int prec, const Elem& elem) {
    bool parens = false;
    if (elem.kind() == ElemKind::DefElem) {
        parens = open(out, prec, "DefElem");
        appendSyntaxText(out, 11, elem.decl());
    } else {
        parens = open(out, prec, "TrafoElem");
        appendSyntaxText(out, 11, elem.rewrite());
    }
    close(out, parens);
}

void appendSyntaxText(std::string& out, int prec, const Elems& elems) {
    auto prefix = [](std::string& o, const ElemItem& item) {
        o += "OneElem ";
        appendSyntaxText(o, 11, item.elem);
        o += ' ';
    };
    auto suffix = [](std::string& o, const ElemItem& item) {
        o += ' ';
        appendIntText(o, 11, item.line);
    };
    appendChain(out, prec, elems, "NoElem", prefix, suffix);
}

void appendSyntaxText(std::string& out, int prec, const SourceFile& file) {
    const bool parens = open(out, prec, "SourceFile");
    appendSyntaxText(out, 11, file.elems);
    close(out, parens);
}

void appendSyntaxText(std::string& out, int prec, const Block& block) {
    auto prefix = [](std::string& o, const BlockItem& item) {
        if (item.kind() == BlockKind::DefsBlock) {
            o += "DefsBlock ";
            appendSyntaxText(o, 11, item.defs());
        } else {
            o += "TrafoBlock ";
            appendSyntaxText(o, 11, item.rewrite());
        }
        o += ' ';
    };
    appendChain(out, prec, block, "Empty", prefix, [](std::string& o, const BlockItem& x) { noSuffix(o, x); });
}

void appendSyntaxText(std::string& out, int prec, const Prog& prog) {
    const bool parens = open(out, prec, "Prog");
    appendSyntaxText(out, 11, prog.blocks);
    close(out, parens);
}

}  // namespace plim
