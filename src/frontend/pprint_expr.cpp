#include "frontend/pprint_expr.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <variant>

#include "frontend/pprint_layout.h"
#include "frontend/pprint_types.h"
#include "text/ko_pretty_ext.h"

namespace plim {

namespace {

// The printer walks the tree with an explicit stack of steps.  A step names the parts it
// needs printed first (expressions at a precedence, or declarations) and how it combines their
// documents, in the same order, into its own.
struct ExprTask {
    Expr expr;
    Precedence prec;
};
using Task = std::variant<ExprTask, Decl>;

enum class Combine {
    Leaf,          // `doc` itself
    Application,   // `doc` applied to all parts
    Conditional,   // if-then-else of the first three parts, applied to the rest
    PartialTuple,  // "Tuple n" and the parts as words
    Tuple,         // the first `count` parts in parentheses, applied to the rest
    Infix,         // the operator `doc` between the first two parts, applied to the rest
    LetHead,       // the first part (in parentheses when `flag`) applied to the rest
    Lambda,        // `patterns` and the body, the last part
    LocalDefinition,
    Function,      // a definition: the left side, " = " and the right side
    Signature,     // the name, " :: " and `type`
};

struct Step {
    std::vector<Task> parts;
    Combine how = Combine::Leaf;
    Precedence prec = 0;
    Precedence opPrec = 0;
    std::size_t count = 0;
    bool flag = false;
    Doc doc = emptyDoc();
    std::string text;
    std::vector<bool> patterns;  // whether each lambda pattern is a variable
    std::optional<Type> type;
};

Step leaf(Doc d) {
    Step s;
    s.doc = std::move(d);
    return s;
}

void addExprs(std::vector<Task>& parts, const std::vector<Expr>& es, std::size_t from, std::size_t to,
              Precedence p) {
    for (std::size_t i = from; i < to; ++i) parts.emplace_back(ExprTask{es[i], p});
}

std::vector<Doc> slice(std::vector<Doc>& docs, std::size_t from) {
    return std::vector<Doc>(std::make_move_iterator(docs.begin() + static_cast<std::ptrdiff_t>(from)),
                            std::make_move_iterator(docs.end()));
}

Doc ppApplication(Precedence p, Doc head, std::vector<Doc> args) {
    if (args.empty()) return head;
    Doc a = besideSpace(head, hvSpList(std::move(args)));
    return p >= 100 ? parensDoc(std::move(a)) : a;
}

// The head applied to the arguments, each printed as an argument (precedence 100).
Step application(Precedence p, Doc head, const std::vector<Expr>& args) {
    Step s;
    addExprs(s.parts, args, 0, args.size(), 100);
    s.how = Combine::Application;
    s.prec = p;
    s.doc = std::move(head);
    return s;
}

std::string intText(std::int32_t n) {
    std::string out;
    appendIntText(out, 0, n);
    return out;
}

std::string floatText(float x) {
    std::string out;
    appendFloatText(out, 0, x);
    return out;
}

Step conditional(Precedence p, const std::vector<Expr>& args) {
    if (args.size() < 3) return application(p, textDoc("If"), args);
    Step s;
    addExprs(s.parts, args, 0, 3, 0);
    addExprs(s.parts, args, 3, args.size(), 100);
    s.how = Combine::Conditional;
    s.prec = p;
    return s;
}

Step tuple(std::int32_t n, const std::vector<Expr>& args) {
    Step s;
    if (static_cast<std::int64_t>(args.size()) < n) {
        addExprs(s.parts, args, 0, args.size(), 100);
        s.how = Combine::PartialTuple;
        s.text = "Tuple " + intText(n);
        return s;
    }
    s.count = static_cast<std::size_t>(std::max<std::int32_t>(n, 0));
    addExprs(s.parts, args, 0, s.count, 0);
    addExprs(s.parts, args, s.count, args.size(), 100);
    s.how = Combine::Tuple;
    return s;
}

// The operator's text, built once.
const Doc& opDoc(Op op) {
    static const std::vector<Doc> docs = [] {
        std::vector<Doc> ds;
        for (Op o : allOps()) ds.push_back(textDoc(printedOpSymbol(o)));
        return ds;
    }();
    return docs[static_cast<std::size_t>(op)];
}

Step binop(Precedence p, Op op, const std::vector<Expr>& args) {
    const std::string symbol = printedOpSymbol(op);
    if (args.empty()) return leaf(parensDoc(textDoc(symbol)));
    if (args.size() == 1) return application(p, parensDoc(textDoc(symbol)), args);
    Step s;
    s.opPrec = opPrecedenceInteger(op);
    addExprs(s.parts, args, 0, 2, s.opPrec);
    addExprs(s.parts, args, 2, args.size(), 100);
    s.how = Combine::Infix;
    s.prec = p;
    s.flag = args[0].isVar() && args[1].isVar();
    s.doc = opDoc(op);
    return s;
}

Step constantStep(Precedence p, const Constant& c, const std::vector<Expr>& args) {
    switch (c.kind()) {
    case ConstantKind::If: return conditional(p, args);
    case ConstantKind::Number: return application(p, textDoc(intText(c.number())), args);
    case ConstantKind::FNumber: return application(p, textDoc(floatText(c.fnumber())), args);
    case ConstantKind::Binop: return binop(p, c.op(), args);
    case ConstantKind::Boolean: return application(p, textDoc(c.boolean() ? "True" : "False"), args);
    case ConstantKind::Nul: return application(p, textDoc("[]"), args);
    case ConstantKind::Tuple: return tuple(c.arity(), args);
    case ConstantKind::Constr: return application(p, textDoc(c.constrName()), args);
    case ConstantKind::Error: return application(p, textDoc("Error"), args);
    }
    return leaf(emptyDoc());
}

// An application spine: the head decides, and sees all the arguments.
Step applicationSpine(Precedence p, const Expr& e) {
    std::vector<Expr> args;
    Expr head = e;
    while (head.isAp()) {
        args.push_back(head.arg());
        head = head.fun();
    }
    std::reverse(args.begin(), args.end());
    switch (head.kind()) {
    case ExprKind::Var: return application(p, textDoc(head.name()), args);
    case ExprKind::Con: return constantStep(p, head.constant(), args);
    case ExprKind::Lam:
    case ExprKind::Let: {
        Step s;
        s.parts.emplace_back(ExprTask{head, 0});
        addExprs(s.parts, args, 0, args.size(), 100);
        s.how = Combine::LetHead;
        s.prec = p;
        s.flag = head.isLet();  // a lambda prints its own parentheses
        return s;
    }
    case ExprKind::Ap: break;
    }
    return leaf(emptyDoc());
}

// Nested lambdas merged into one: "(\ p1 p2 ... -> body)".  A pattern after the first that
// is not a variable goes on the line below the head built so far, on one line.
Step lambda(const Expr& e) {
    std::vector<Expr> patterns;
    Expr body = e;
    while (body.isLam()) {
        patterns.push_back(body.pattern());
        body = body.body();
    }
    Step s;
    for (const Expr& q : patterns) s.patterns.push_back(q.isVar());
    addExprs(s.parts, patterns, 0, patterns.size(), 100);
    s.parts.emplace_back(ExprTask{body, 0});
    s.how = Combine::Lambda;
    return s;
}

Doc lambdaDoc(const std::vector<bool>& isVariable, std::vector<Doc> docs) {
    Doc head = besideSpace(textDoc("\\"), docs[0]);
    for (std::size_t i = 1; i < isVariable.size(); ++i)
        head = isVariable[i] ? besideSpace(head, docs[i]) : aboveDoc(head, filterDoc(docs[i]));
    head = besideDoc(head, textDoc(" ->"));
    return hvList(std::vector<Doc>{besideDoc(textDoc("("), head), besideDoc(textDoc(" "), docs.back()), textDoc(")")});
}

// The definitions of a where block: none, one alone, or several in braces, one per line.
Doc whereBlock(std::vector<Doc> defs) {
    if (defs.empty()) return emptyDoc();
    if (defs.size() == 1) return defs[0];
    std::vector<Doc> lines{textDoc("{")};
    for (Doc& d : punctuateInit(withSemicolon, std::move(defs))) lines.push_back(std::move(d));
    lines.push_back(textDoc("}"));
    return aboveList(std::move(lines));
}

Step localDefinition(Precedence p, const Expr& e) {
    Step s;
    s.parts.emplace_back(ExprTask{e.body(), 1});
    for (const DefItem& item : e.defs().defs) s.parts.emplace_back(item.decl);
    s.how = Combine::LocalDefinition;
    s.prec = p;
    return s;
}

Step exprStep(Precedence p, const Expr& e) {
    switch (e.kind()) {
    case ExprKind::Var: return leaf(textDoc(e.name()));
    case ExprKind::Con: return constantStep(p, e.constant(), {});
    case ExprKind::Ap: return applicationSpine(p, e);
    case ExprKind::Lam: return lambda(e);
    case ExprKind::Let: return localDefinition(p, e);
    }
    return leaf(emptyDoc());
}

// The step's document from the documents of its parts.
Doc combine(Step& s, std::vector<Doc> docs) {
    const Precedence p = s.prec;
    switch (s.how) {
    case Combine::Leaf: return s.doc;
    case Combine::Application: return ppApplication(p, s.doc, std::move(docs));
    case Combine::Conditional: {
        Doc c = ifThenElseDoc(std::string("if "), std::string(" then "), std::string(" else "), std::string(), docs[0],
                              docs[1], docs[2]);
        if (docs.size() == 3) return p >= 1 ? parensDoc(std::move(c)) : c;
        return ppApplication(p, parensDoc(std::move(c)), slice(docs, 3));
    }
    case Combine::PartialTuple:
        docs.insert(docs.begin(), textDoc(s.text));
        return wordsDoc(std::move(docs));
    case Combine::Tuple: {
        std::vector<Doc> rest = slice(docs, s.count);
        docs.erase(docs.begin() + static_cast<std::ptrdiff_t>(s.count), docs.end());
        Doc t = tightBlockDoc("(", ")", ", ", std::move(docs));
        if (rest.empty()) return t;
        rest.insert(rest.begin(), std::move(t));
        return wordsDoc(std::move(rest));
    }
    case Combine::Infix: {
        // Between two variables the operator is always on one line.
        std::vector<Doc> operands{docs[0], s.doc, docs[1]};
        Doc infix = s.flag ? wordsDoc(std::move(operands)) : hvSpList(std::move(operands));
        if (docs.size() == 2) return s.opPrec <= p ? parensDoc(std::move(infix)) : infix;
        return ppApplication(p, parensDoc(std::move(infix)), slice(docs, 2));
    }
    case Combine::LetHead: {
        Doc h = s.flag ? parensDoc(docs[0]) : docs[0];
        return ppApplication(p, std::move(h), slice(docs, 1));
    }
    case Combine::Lambda: return lambdaDoc(s.patterns, std::move(docs));
    case Combine::LocalDefinition: {
        Doc d = aboveDoc(docs[0], besideDoc(textDoc("where "), whereBlock(slice(docs, 1))));
        return p >= 1 ? parensDoc(std::move(d)) : d;
    }
    case Combine::Function:
        return applyParDoc(funDefTemplate(), std::vector<Doc>{docs[0], besideDoc(textDoc(" = "), docs[1])});
    case Combine::Signature: return besideDoc(docs[0], besideDoc(textDoc(" :: "), ppType(*s.type)));
    }
    return emptyDoc();
}

// The alternatives' template for n + 1 alternatives: n one-line parameters and a free one
// side by side, or n + 1 parameters one above another.
std::pair<ParDoc, ParDoc> altsTemplate(std::size_t n) {
    ParDoc h = parDoc();
    ParDoc v = parDoc();
    for (std::size_t i = 0; i < n; ++i) {
        h = besideParDoc(filterParDoc(parDoc()), h);
        v = aboveParDoc(parDoc(), v);
    }
    return {h, v};
}

Doc ppData(const DataDecl& data) {
    std::vector<Doc> items;
    for (const Alt& alt : data.alts)
        items.push_back(besideDoc(textDoc(items.empty() ? " = " : " | "), ppType(mkTCon(alt.name, alt.args))));
    Doc alternatives = emptyDoc();
    if (items.size() == 1) alternatives = items[0];
    if (items.size() >= 2) {
        auto [h, v] = altsTemplate(items.size() - 1);
        alternatives = applyParDoc(joinParDoc(choiceParDoc(h, v)), std::move(items));
    }
    return besideDoc(textDoc("data "), besideDoc(ppType(data.type), alternatives));
}

Step declStep(const Decl& d) {
    Step s;
    switch (d.kind()) {
    case DeclKind::Fun:
        s.parts.emplace_back(ExprTask{d.fun().lhs, 0});
        s.parts.emplace_back(ExprTask{d.fun().rhs, 0});
        s.how = Combine::Function;
        return s;
    case DeclKind::Dec:
        s.parts.emplace_back(ExprTask{d.dec().name, 0});
        s.how = Combine::Signature;
        s.type = d.dec().type;
        return s;
    case DeclKind::Data: return leaf(ppData(d.data()));
    }
    return leaf(emptyDoc());
}

Step taskStep(const Task& t) {
    if (const ExprTask* e = std::get_if<ExprTask>(&t)) return exprStep(e->prec, e->expr);
    return declStep(std::get<Decl>(t));
}

// Runs a step and every step below it, depth first, without recursion.
Doc run(Step root) {
    struct Frame {
        Step step;
        std::size_t next = 0;
        std::vector<Doc> docs;
    };
    std::vector<Frame> stack;
    stack.push_back(Frame{std::move(root), 0, {}});
    for (;;) {
        Frame& top = stack.back();
        if (top.next < top.step.parts.size()) {
            Step child = taskStep(top.step.parts[top.next++]);
            stack.push_back(Frame{std::move(child), 0, {}});
            continue;
        }
        Doc done = combine(top.step, std::move(top.docs));
        stack.pop_back();
        if (stack.empty()) return done;
        stack.back().docs.push_back(std::move(done));
    }
}

}  // namespace

Doc ppExpr(Precedence p, const Expr& e) { return run(exprStep(p, e)); }

Doc ppConstant(Precedence p, const Constant& c, const std::vector<Expr>& args) { return run(constantStep(p, c, args)); }

Doc ppDecl(const Decl& d) { return run(declStep(d)); }

std::string printedOpSymbol(Op op) { return op == Op::App ? std::string(" ") : std::string(opSymbol(op)); }

std::vector<Decl> defsToList(const Defs& defs) {
    std::vector<Decl> out;
    for (const DefItem& item : defs) out.push_back(item.decl);
    return out;
}

std::string showExpr(const Expr& e) { return renderAtPrinterBounds(ppExpr(0, e)); }

std::string showDecl(const Decl& d) { return renderAtPrinterBounds(ppDecl(d)); }

std::string showFunDef(const Expr& lhs, const Expr& rhs) { return showDecl(mkFun(lhs, rhs)); }

std::string showDefs(const DList& defs) {
    std::vector<Doc> docs;
    for (const Decl& d : defsToList(defs.defs)) docs.push_back(ppDecl(d));
    return renderAtPrinterBounds(aboveList(punctuateInit(withSemicolon, std::move(docs))));
}

}  // namespace plim
