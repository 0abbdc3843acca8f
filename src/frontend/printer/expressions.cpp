#include "frontend/printer/expressions.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "frontend/printer/layouts.h"
#include "frontend/printer/types.h"
#include "layout/combinators.h"
#include "support/release.h"

namespace plim {

namespace {

// The printer walks the tree with an explicit stack of parts still to be printed and a stack
// of frames, each waiting for the documents of its parts.  A part that is a leaf yields its
// document at once; any other part opens a frame, whose documents collect, in order, on one
// document stack, and whose combined document replaces them there.

// A part still to be printed: an expression at a context precedence, or a declaration.
struct Part {
    const Expr* expr = nullptr;  // null for a declaration
    const Decl* decl = nullptr;
    Precedence prec = 0;
    bool variable = false;  // the expression is a variable (read early, while its parent is at hand)
};

Part exprPart(const Expr& e, Precedence p) { return Part{&e, nullptr, p, e.isVar()}; }
Part declPart(const Decl& d) { return Part{nullptr, &d, 0, false}; }

enum class Combine {
    Application,      // the first document (in parentheses when `flag`) applied to the rest
    Conditional,      // if-then-else of the first three documents, applied to the rest
    PartialTuple,     // "Tuple n" (n = `count`) and the documents as words
    Tuple,            // the first `count` documents in parentheses, applied to the rest
    Infix,            // the operator `op` between the first two documents, applied to the rest
    Lambda,           // the patterns of `lambda` (each document but the last) and the body
    LocalDefinition,  // the body and the definitions of a where block
    Function,         // a definition: the left side, " = " and the right side
    Signature,        // the name, " :: " and `type`
};

struct Frame {
    Combine how = Combine::Application;
    std::size_t firstDoc = 0;  // where its documents begin on the document stack
    std::size_t docCount = 0;  // how many it combines
    Precedence prec = 0;
    Op op = Op::App;
    std::int32_t count = 0;
    bool flag = false;
    const Expr* lambda = nullptr;
    const Type* type = nullptr;
    // The part whose document this is, to be kept in the cache, and its precedence there.
    const Expr* source = nullptr;
    Precedence sourcePrec = 0;
};

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

// A document for each operator, in the order of the operators.
template <class Make>
std::vector<Doc> docPerOp(Make make) {
    std::vector<Doc> docs;
    for (Op o : allOps()) docs.push_back(make(o));
    return docs;
}

// The operator's text, built once and kept to the end of the run, in a table never freed:
// an operator's document is copied into every operation printed, and then counts nothing.
const Doc& opDoc(Op op) {
    static const std::vector<Doc>* const docs = [] {
        auto* all = new std::vector<Doc>(docPerOp([](Op o) { return textDoc(printedOpSymbol(o)); }));
        for (const Doc& d : *all) keepForever(d);
        return all;
    }();
    return (*docs)[static_cast<std::size_t>(op)];
}

// The operator as a section, "(op)", built once.
const Doc& sectionDoc(Op op) {
    static const std::vector<Doc> docs = docPerOp([](Op o) { return parensDoc(opDoc(o)); });
    return docs[static_cast<std::size_t>(op)];
}

// The text of a constructor's name, made once on each thread and kept while the thread runs: a name is held
// in one place that lives as long (see mkConstr), so its address is its key.  A direct-mapped table of recent
// names comes first.
class ConstructorTexts {
public:
    const Doc& get(const std::string& name) {
        Recent& r = recent_[(reinterpret_cast<std::uintptr_t>(&name) >> 4) % kRecent];
        if (r.name != &name) r = Recent{&name, &find(name)};
        return *r.doc;
    }

private:
    [[gnu::noinline]] const Doc& find(const std::string& name) {
        auto [it, added] = all_.try_emplace(&name, pretty_detail::DocNodeRef());
        if (added) it->second = textDoc(name);
        return it->second;
    }
    struct Recent {
        const std::string* name = nullptr;
        const Doc* doc = nullptr;
    };
    static constexpr std::size_t kRecent = 64;
    std::array<Recent, kRecent> recent_{};
    std::unordered_map<const std::string*, Doc> all_;
};

ConstructorTexts& constructorTexts() {
    static thread_local ConstructorTexts texts;  // its documents are given back when the thread ends
    return texts;
}

std::vector<Doc> moveDocs(Doc* from, Doc* to) {
    return std::vector<Doc>(std::make_move_iterator(from), std::make_move_iterator(to));
}

Doc ppApplication(Precedence p, Doc head, Doc* args, Doc* end) {
    if (args == end) return head;
    return spacedListDoc(&head, std::span<Doc>(args, end), p >= 100);
}

// The operands and the operator between them as an hvSpList, in parentheses where `parens`.
Doc infixList(Doc left, Op op, Doc right, bool parens) {
    Doc items[] = {std::move(left), opDoc(op), std::move(right)};
    return spacedListDoc(nullptr, std::span<Doc>(items), parens);
}

// "(\ p1 p2 ... -> body)".  A pattern after the first that is not a variable goes on the line
// below the head built so far, on one line.
Doc lambdaDoc(const Expr& lambda, Doc* docs, std::size_t count) {
    Doc head = besideSpace(fixedText<"\\">(), std::move(docs[0]));
    const Expr* at = &lambda.body();
    for (std::size_t i = 1; i + 1 < count; ++i, at = &at->body())
        head = at->pattern().isVar() ? besideSpace(std::move(head), std::move(docs[i]))
                                     : aboveDoc(std::move(head), filterDoc(std::move(docs[i])));
    head = besideDoc(std::move(head), fixedText<" ->">());
    return hvList(docList(besideDoc(fixedText<"(">(), std::move(head)),
                          besideDoc(fixedText<" ">(), std::move(docs[count - 1])), fixedText<")">()));
}

// The definitions of a where block: none, one alone, or several in braces, one per line.
Doc whereBlock(Doc* defs, Doc* end) {
    if (defs == end) return emptyDoc();
    if (end - defs == 1) return std::move(*defs);
    std::vector<Doc> lines;
    lines.reserve(static_cast<std::size_t>(end - defs) + 2);
    lines.push_back(fixedText<"{">());
    for (Doc* d = defs; d + 1 != end; ++d) lines.push_back(withSemicolon(std::move(*d)));
    lines.push_back(std::move(end[-1]));
    lines.push_back(fixedText<"}">());
    return aboveList(std::move(lines));
}

// The step's document from the documents of its parts.
Doc combine(const Frame& f, Doc* docs) {
    const Precedence p = f.prec;
    Doc* const end = docs + f.docCount;
    switch (f.how) {
    case Combine::Application: {
        Doc head = f.flag ? parensDoc(std::move(docs[0])) : std::move(docs[0]);
        return ppApplication(p, std::move(head), docs + 1, end);
    }
    case Combine::Conditional: {
        Doc c = ifThenElseParts(besideDoc(fixedText<"if ">(), std::move(docs[0])),
                                besideDoc(fixedText<" then ">(), std::move(docs[1])),
                                besideDoc(fixedText<" else ">(), std::move(docs[2])), fixedText<"">());
        if (f.docCount == 3) return p >= 1 ? parensDoc(std::move(c)) : c;
        return ppApplication(p, parensDoc(std::move(c)), docs + 3, end);
    }
    case Combine::PartialTuple: {
        std::vector<Doc> words{textDoc("Tuple " + intText(f.count))};
        words.insert(words.end(), std::make_move_iterator(docs), std::make_move_iterator(end));
        return wordsDoc(std::move(words));
    }
    case Combine::Tuple: {
        Doc* const rest = docs + f.count;
        Doc t = tightBlockDoc("(", ")", ", ", moveDocs(docs, rest));
        if (rest == end) return t;
        std::vector<Doc> words{std::move(t)};
        words.insert(words.end(), std::make_move_iterator(rest), std::make_move_iterator(end));
        return wordsDoc(std::move(words));
    }
    case Combine::Infix: {
        // Between two variables the operator is always on one line.
        const bool parens = f.docCount > 2 || opPrecedenceInteger(f.op) <= p;
        if (!f.flag) {
            Doc infix = infixList(std::move(docs[0]), f.op, std::move(docs[1]), parens);
            return f.docCount == 2 ? infix : ppApplication(p, std::move(infix), docs + 2, end);
        }
        Doc infix = besideSpace(std::move(docs[0]), besideSpace(opDoc(f.op), std::move(docs[1])));
        if (f.docCount == 2) return parens ? parensDoc(std::move(infix)) : infix;
        return ppApplication(p, parensDoc(std::move(infix)), docs + 2, end);
    }
    case Combine::Lambda: return lambdaDoc(*f.lambda, docs, f.docCount);
    case Combine::LocalDefinition: {
        Doc d = aboveDoc(std::move(docs[0]), besideDoc(fixedText<"where ">(), whereBlock(docs + 1, end)));
        return p >= 1 ? parensDoc(std::move(d)) : d;
    }
    case Combine::Function:
        return applyParDoc(funDefTemplate(),
                           docList(std::move(docs[0]), besideDoc(fixedText<" = ">(), std::move(docs[1]))));
    case Combine::Signature:
        return besideDoc(std::move(docs[0]), besideDoc(fixedText<" :: ">(), ppType(*f.type)));
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
        items.push_back(besideDoc(items.empty() ? fixedText<" = ">() : fixedText<" | ">(),
                                  ppType(mkTCon(alt.name, alt.args))));
    Doc alternatives = emptyDoc();
    if (items.size() == 1) alternatives = items[0];
    if (items.size() >= 2) {
        auto [h, v] = altsTemplate(items.size() - 1);
        alternatives = applyParDoc(joinParDoc(choiceParDoc(h, v)), std::move(items));
    }
    return besideDoc(fixedText<"data ">(), besideDoc(ppType(data.type), alternatives));
}

// Whether the frame's document is the same for the same parts, fields and precedence (SameDocs):
// a signature's reads its type, which is not among them.  A where block's is not looked for:
// the display form puts its one block at the top, which any change below makes anew.
bool keptByParts(const Frame& f) {
    return f.how != Combine::Signature && f.how != Combine::LocalDefinition &&
           !(f.how == Combine::Lambda && f.docCount > 64);
}

std::uint64_t fieldsOf(const Frame& f) {
    return static_cast<std::uint64_t>(f.how) | static_cast<std::uint64_t>(f.flag) << 8 | static_cast<std::uint64_t>(f.op) << 16 |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(f.count)) << 32;
}

// What else lambdaDoc reads: which patterns after the first are variables, a bit each.
[[gnu::noinline]] std::uintptr_t lambdaShape(const Expr& lambda, std::size_t count) {
    std::uintptr_t bits = 0;
    const Expr* at = &lambda.body();
    for (std::size_t i = 1; i + 1 < count; ++i, at = &at->body())
        if (at->pattern().isVar()) bits |= std::uintptr_t{1} << i;
    return bits;
}

std::uintptr_t extraOf(const Frame& f) { return f.how == Combine::Lambda ? lambdaShape(*f.lambda, f.docCount) : 0; }

// The texts of the variable names and the numbers printed last on this thread: a calculation prints the same
// few at every step, each held by its own node.  Direct-mapped by a hash of the name or the number; a text comes
// from `same` where that keeps one.
class RecentTexts {
public:
    const Doc& name(const std::string& name, SameDocs* same) {
        Slot& s = slots_[slotOf(name)];
        if (!s.doc || s.isNumber || s.text != name) keep(s, name, false, 0, same);
        return *s.doc;
    }
    const Doc& number(std::int32_t n, SameDocs* same) {
        Slot& s = slots_[slotOf(n)];
        if (!s.doc || !s.isNumber || s.number != n) keep(s, intText(n), true, n, same);
        return *s.doc;
    }

private:
    static constexpr int kSlotBits = 8;
    // The slot of a key's hash: its top bits, once multiplied.
    static std::size_t slotOfHash(std::uint64_t h) {
        return static_cast<std::size_t>((h * 0x9E3779B97F4A7C15ULL) >> (64 - kSlotBits));
    }
    static std::size_t slotOf(std::int32_t n) { return slotOfHash(std::uint64_t{static_cast<std::uint32_t>(n)} + 1); }
    static std::size_t slotOf(const std::string& name) {
        std::uint64_t h = name.size();
        for (const char c : name) h = h * 131 + static_cast<unsigned char>(c);
        return slotOfHash(h);
    }
    struct Slot {
        std::string text;  // the name, or the number's text
        std::int32_t number = 0;
        bool isNumber = false;
        std::optional<Doc> doc;
    };
    [[gnu::noinline]] static void keep(Slot& s, std::string text, bool isNumber, std::int32_t n, SameDocs* same) {
        s.doc = same != nullptr ? same->text(text) : textDoc(text);
        s.text = std::move(text);
        s.isNumber = isNumber;
        s.number = n;
    }
    std::array<Slot, std::size_t{1} << kSlotBits> slots_;
};

RecentTexts& recentTexts() {
    static thread_local RecentTexts texts;  // its documents are given back when the thread ends
    return texts;
}

// The stacks of a printer.  Those of a printer that is done are kept on its thread for the next
// one (a printer within a printer takes others): most printers print one definition or one
// expression, and making their room anew would cost more than printing.
struct PrinterStacks {
    std::vector<Part> pending;
    std::vector<Frame> frames;
    std::vector<Doc> docs;
};

class StacksLease {
public:
    StacksLease() {
        std::vector<std::unique_ptr<PrinterStacks>>& spare = spares();
        if (!spare.empty()) {
            stacks_ = std::move(spare.back());
            spare.pop_back();
            return;
        }
        constexpr std::size_t kTypical = 32;  // room for a typical definition
        stacks_ = std::make_unique<PrinterStacks>();
        stacks_->pending.reserve(kTypical);
        stacks_->frames.reserve(kTypical);
        stacks_->docs.reserve(kTypical);
    }
    ~StacksLease() {
        constexpr std::size_t kKept = 4096;  // the room of a very large expression is not kept
        stacks_->pending.clear();
        stacks_->frames.clear();
        stacks_->docs.clear();
        // Without memory to keep them, they are freed (a destructor may not fail).
        if (stacks_->pending.capacity() <= kKept && stacks_->docs.capacity() <= kKept)
            (void)addWithoutFailing([&] { spares().push_back(std::move(stacks_)); });
    }
    StacksLease(const StacksLease&) = delete;
    StacksLease& operator=(const StacksLease&) = delete;
    PrinterStacks& operator*() const { return *stacks_; }

private:
    static std::vector<std::unique_ptr<PrinterStacks>>& spares() {
        static thread_local std::vector<std::unique_ptr<PrinterStacks>> spare;
        return spare;
    }
    std::unique_ptr<PrinterStacks> stacks_;
};

class Printer {
public:
    Printer() { takeStacks(); }
    Printer(ExprDocCache* cache, SameDocs* same) : cache_(cache), same_(same) { takeStacks(); }
    ~Printer() { takeStacks(); }  // gives them back
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    Doc expr(Precedence p, const Expr& e) {
        startPart(p, e);
        return finish();
    }
    Doc decl(const Decl& d) {
        startDecl(d);
        return finish();
    }
    Doc constant(Precedence p, const Constant& c, const std::vector<Expr>& args) {
        for (auto it = args.rbegin(); it != args.rend(); ++it) pending_.push_back(exprPart(*it, 100));
        startConstant(p, c, args.size());
        return finish();
    }

private:
    // Runs the parts and frames until only the document of the first part is left.
    Doc finish() {
        for (;;) {
            if (!frames_.empty() && docs_.size() - frames_.back().firstDoc == frames_.back().docCount) {
                const Frame& f = frames_.back();  // combine opens no frame
                Doc d = same_ != nullptr ? combineOnce(f) : combine(f, docs_.data() + f.firstDoc);
                if (f.source != nullptr) cache_->add(*f.source, f.sourcePrec, d);
                docs_.erase(docs_.begin() + static_cast<std::ptrdiff_t>(f.firstDoc), docs_.end());
                docs_.push_back(std::move(d));
                frames_.pop_back();
                continue;
            }
            if (pending_.empty()) break;
            const Part part = pending_.back();
            pending_.pop_back();
            if (part.variable) {
                docs_.push_back(nameDoc(part.expr->name()));
            } else if (part.expr) {
                startPart(part.prec, *part.expr);
            } else {
                startDecl(*part.decl);
            }
        }
        Doc d = std::move(docs_.back());
        docs_.pop_back();
        return d;
    }

    // A frame for the `count` documents from now on.
    Frame& open(Combine how, Precedence p, std::size_t count) {
        Frame& f = frames_.emplace_back();
        f.how = how;
        f.firstDoc = docs_.size();
        f.docCount = count;
        f.prec = p;
        return f;
    }

    // The pending part `i` places below the top (the first part of the newest frame is at 0).
    Part& partAt(std::size_t i) { return pending_[pending_.size() - 1 - i]; }

    const Doc& nameDoc(const std::string& name) { return texts_.name(name, same_); }

    // The frame's document: the one of a recent round made of the same parts the same way, or made
    // now and kept, so that a combination that lasts, however new its parts, is found in the next
    // round (see SameDocs).
    Doc combineOnce(const Frame& f) {
        Doc* const parts = docs_.data() + f.firstDoc;
        if (!keptByParts(f)) {
            same_->madeApart();
            return combine(f, parts);
        }
        if (const Doc* kept = same_->find(fieldsOf(f), f.prec, parts, f.docCount, extraOf(f))) return *kept;
        Doc d = combine(f, parts);
        same_->add(d);
        return d;
    }

    // The texts of small numbers are made once on each thread, the others kept while they recur.
    const Doc& numberDoc(std::int32_t n) {
        constexpr std::int32_t kSmall = 1024;
        if (n < 0 || n >= kSmall) return texts_.number(n, same_);
        static thread_local std::vector<std::optional<Doc>> small(kSmall);
        std::optional<Doc>& d = small[static_cast<std::size_t>(n)];
        if (!d) d = textDoc(intText(n));
        return *d;
    }

    // An expression part: its kept document, or its frame, whose document is kept once made.
    void startPart(Precedence p, const Expr& e) {
        if (cache_ == nullptr || e.isVar() || e.isCon() || !ExprDocCache::keeps(p)) return startExpr(p, e);
        if (const Doc* kept = cache_->find(e, p)) {
            docs_.push_back(*kept);
            return;
        }
        const std::size_t opened = frames_.size();
        startExpr(p, e);  // opens one frame at most
        if (frames_.size() == opened) return;
        frames_[opened].source = &e;
        frames_[opened].sourcePrec = p;
    }

    void startExpr(Precedence p, const Expr& e) {
        switch (e.kind()) {
        case ExprKind::Var: docs_.push_back(nameDoc(e.name())); return;
        case ExprKind::Con: startConstant(p, e.constant(), 0); return;
        case ExprKind::Ap: startSpine(p, e); return;
        case ExprKind::Lam: startLambda(e); return;
        case ExprKind::Let: startLocalDefinition(p, e); return;
        }
    }

    // An application spine: its arguments become pending parts at precedence 100, and the
    // head decides.
    void startSpine(Precedence p, const Expr& e) {
        std::size_t n = 0;
        const Expr* head = &e;
        for (; head->isAp(); head = &head->fun(), ++n) pending_.push_back(exprPart(head->arg(), 100));
        switch (head->kind()) {
        case ExprKind::Var: application(p, nameDoc(head->name()), n); return;
        case ExprKind::Con: startConstant(p, head->constant(), n); return;
        case ExprKind::Lam:
        case ExprKind::Let:
            open(Combine::Application, p, n + 1).flag = head->isLet();  // a lambda prints its own parentheses
            pending_.push_back(exprPart(*head, 0));
            return;
        case ExprKind::Ap: return;
        }
    }

    // The head applied to the n pending parts.
    void application(Precedence p, const Doc& head, std::size_t n) {
        if (n > 0) open(Combine::Application, p, n + 1);
        docs_.push_back(head);
    }

    // The constant applied to the n pending parts.
    [[gnu::flatten]] void startConstant(Precedence p, const Constant& c, std::size_t n) {
        switch (c.kind()) {
        case ConstantKind::If: return conditional(p, n);
        case ConstantKind::Number:
            return application(p, numberDoc(c.number()), n);
        case ConstantKind::FNumber: return application(p, textDoc(floatText(c.fnumber())), n);
        case ConstantKind::Binop: return binop(p, c.op(), n);
        case ConstantKind::Boolean:
            return application(p, c.boolean() ? fixedText<"True">() : fixedText<"False">(), n);
        case ConstantKind::Nul: return application(p, fixedText<"[]">(), n);
        case ConstantKind::Tuple: return tuple(c.arity(), n);
        case ConstantKind::Constr: return application(p, constructors_.get(c.constrName()), n);
        case ConstantKind::Error: return application(p, fixedText<"Error">(), n);
        }
    }

    void conditional(Precedence p, std::size_t n) {
        if (n < 3) return application(p, fixedText<"If">(), n);
        for (std::size_t i = 0; i < 3; ++i) partAt(i).prec = 0;
        open(Combine::Conditional, p, n);
    }

    void tuple(std::int32_t arity, std::size_t n) {
        if (static_cast<std::int64_t>(n) < arity) {
            if (n == 0) {  // the words of "Tuple n" alone
                docs_.push_back(textDoc("Tuple " + intText(arity)));
                return;
            }
            open(Combine::PartialTuple, 0, n).count = arity;
            return;
        }
        const std::int32_t count = std::max<std::int32_t>(arity, 0);
        for (std::int32_t i = 0; i < count; ++i) partAt(static_cast<std::size_t>(i)).prec = 0;
        open(Combine::Tuple, 0, n).count = count;
    }

    void binop(Precedence p, Op op, std::size_t n) {
        if (n < 2) return application(p, sectionDoc(op), n);
        const Precedence opPrec = opPrecedenceInteger(op);
        Part& left = partAt(0);
        Part& right = partAt(1);
        left.prec = opPrec;
        right.prec = opPrec;
        Frame& f = open(Combine::Infix, p, n);
        f.op = op;
        f.flag = left.variable && right.variable;
    }

    // Nested lambdas merged into one: the patterns at precedence 100, then the body.
    void startLambda(const Expr& e) {
        std::size_t n = 0;
        const Expr* body = &e;
        for (; body->isLam(); body = &body->body()) ++n;
        open(Combine::Lambda, 0, n + 1).lambda = &e;
        pending_.push_back(exprPart(*body, 0));
        pending_.resize(pending_.size() + n);
        std::size_t i = 0;
        for (const Expr* at = &e; at->isLam(); at = &at->body(), ++i) partAt(i) = exprPart(at->pattern(), 100);
    }

    // The body at precedence 1, then the local definitions.
    void startLocalDefinition(Precedence p, const Expr& e) {
        const Defs& defs = e.defs().defs;
        const std::size_t n = defs.length();
        open(Combine::LocalDefinition, p, n + 1);
        pending_.resize(pending_.size() + n + 1);
        partAt(0) = exprPart(e.body(), 1);
        std::size_t i = 1;
        for (const DefItem& item : defs) partAt(i++) = declPart(item.decl);
    }

    void startDecl(const Decl& d) {
        switch (d.kind()) {
        case DeclKind::Fun:
            open(Combine::Function, 0, 2);
            pending_.push_back(exprPart(d.fun().rhs, 0));
            pending_.push_back(exprPart(d.fun().lhs, 0));
            return;
        case DeclKind::Dec:
            open(Combine::Signature, 0, 1).type = &d.dec().type;
            pending_.push_back(exprPart(d.dec().name, 0));
            return;
        case DeclKind::Data: docs_.push_back(ppData(d.data())); return;
        }
    }

    // The leased stacks, held by the printer itself while it prints (a member is reached
    // without going through the lease).
    void takeStacks() {
        PrinterStacks& leased = *stacks_;
        pending_.swap(leased.pending);
        frames_.swap(leased.frames);
        docs_.swap(leased.docs);
    }

    StacksLease stacks_;
    std::vector<Part> pending_;
    std::vector<Frame> frames_;
    std::vector<Doc> docs_;
    ExprDocCache* cache_ = nullptr;
    SameDocs* same_ = nullptr;
    RecentTexts& texts_ = recentTexts();
    ConstructorTexts& constructors_ = constructorTexts();
};

}  // namespace

Doc ppExpr(Precedence p, const Expr& e) { return Printer().expr(p, e); }

Doc ppExpr(Precedence p, const Expr& e, ExprDocCache& cache) {
    SameDocs* const same = cache.same().paused() ? nullptr : &cache.same();
    if (cache.paused()) return Printer(nullptr, same).expr(p, e);
    cache.hold(e);
    return Printer(&cache, same).expr(p, e);
}

Doc ppConstant(Precedence p, const Constant& c, const std::vector<Expr>& args) {
    return Printer().constant(p, c, args);
}

Doc ppDecl(const Decl& d) { return Printer().decl(d); }

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
