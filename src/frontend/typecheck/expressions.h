// The checker's passes over expressions and definition lists, shared by the definition and
// theory checkers:
//   - the syntactic pass (defines, free variables, constructors used, plain trees);
//   - the type pass, which records each expression node's type in pre-order slots and
//     collects reports keyed by the pre-order position of the node that made them;
//   - the typed-tree builder, which walks the same tree in the same order and reads the slots
//     under the final substitution.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "frontend/typecheck/checker.h"

namespace plim::infer {

// --- walking expressions ------------------------------------------------------------------------

// A walk over an expression with an explicit stack, so that long spines (application chains,
// nested lambdas) never deepen the call stack; only the definitions of a let are walked by a
// nested call.
//   enter(e, ctx)            in pre-order, before e's children: e's own data (Pre)
//   childCtx(pre)            the context of e's children
//   leaf(e, pre)             the result of a variable or constant
//   binary(e, pre, a, b)     of an application (function, argument) or lambda (pattern, body)
//   let(e, pre, body)        of a let, from its body's result
template <class R, class Ctx, class Enter, class ChildCtx, class Leaf, class Binary, class LetF>
R walkExpr(const Expr& root, const Ctx& ctx, Enter enter, ChildCtx childCtx, Leaf leaf, Binary binary, LetF let) {
    using Pre = decltype(enter(root, ctx));
    struct Frame {
        const Expr* e;
        Pre pre;
        int stage;
        std::optional<R> first;
    };
    std::vector<Frame> stack;
    std::optional<R> last;
    // Enters e: a leaf's result at once, otherwise a frame to resume.
    auto start = [&](const Expr& e, const Ctx& c) {
        Pre pre = enter(e, c);
        if (e.isVar() || e.isCon()) {
            last.emplace(leaf(e, pre));
        } else {
            last.reset();
            stack.push_back(Frame{&e, std::move(pre), 0, std::nullopt});
        }
    };
    start(root, ctx);
    while (!stack.empty()) {
        Frame& f = stack.back();
        const Expr& e = *f.e;
        if (e.isLet()) {
            if (f.stage == 0) {
                f.stage = 1;
                const Ctx c = childCtx(f.pre);
                start(e.body(), c);
                continue;
            }
            R r = let(e, f.pre, std::move(*last));
            stack.pop_back();
            last.emplace(std::move(r));
            continue;
        }
        const Expr& firstChild = e.isAp() ? e.fun() : e.pattern();
        const Expr& secondChild = e.isAp() ? e.arg() : e.body();
        if (f.stage == 0) {
            f.stage = 1;
            const Ctx c = childCtx(f.pre);
            start(firstChild, c);
        } else if (f.stage == 1) {
            f.stage = 2;
            f.first.emplace(std::move(*last));
            const Ctx c = childCtx(f.pre);
            start(secondChild, c);
        } else {
            R r = binary(e, f.pre, std::move(*f.first), std::move(*last));
            stack.pop_back();
            last.emplace(std::move(r));
        }
    }
    return std::move(*last);
}

// --- the syntactic pass ------------------------------------------------------------------------

// The type of every plain node: reading it raises "file not yet typechecked".
const Lazy<Type>& uncheckedType();

// The names an expression defines as a left side; a lambda or let raises its error.
std::vector<std::string> exprDefines(const Expr& e);
// The free names of an expression (unions keep the left list, then the new names).
std::vector<std::string> exprFreeVars(const Expr& e);
// The constructor names of upper-case Constr constants, left to right, duplicates kept.
std::vector<std::string> exprConstrsUsed(const Expr& e);
std::vector<std::string> declDefines(const Decl& d);
std::vector<std::string> declFreeVars(const Decl& d);
std::vector<std::string> declConstrsUsed(const Decl& d);
std::vector<std::string> defsDefines(const DList& d);
std::vector<std::string> defsFreeVars(const DList& d);
// The trees with uncheckedType in every node; what is plain already is kept as it is.
Expr plainExpr(const Expr& e);
Decl plainDecl(const Decl& d);
DList plainDList(const DList& d);
// The plain form of a definition list, or nothing when it is plain already.
std::optional<DList> plainDListIfChanged(const DList& d);

// a, then the names of b that are not in a.
std::vector<std::string> unionNames(std::vector<std::string> a, const std::vector<std::string>& b);
// A union built from the left: each name added once, at its first occurrence.
class NameUnion {
public:
    void add(const std::vector<std::string>& names);
    std::vector<std::string> take() { return std::move(names_); }

private:
    std::vector<std::string> names_;
    std::unordered_set<std::string> seen_;
};
// a without the first occurrence of each name of b.
std::vector<std::string> minusNames(std::vector<std::string> a, const std::vector<std::string>& b);

// --- the type pass -----------------------------------------------------------------------------

// What one pass over a root leaves for its typed trees: each node's type by slot, and how the
// final substitution is applied.
struct PassRecord {
    CheckStatePtr state;
    std::vector<Type> raw;
    ConstructorNames constructors = noConstructors();
    // Applied after the state's substitution (the final substitution of a conditional
    // equation); set once the root is checked.
    mutable std::unique_ptr<SharedSubst> after;

    Type finalType(std::size_t slot) const;
    bool isConstructor(const std::string& name) const;
};

// A report of the pass: built when its text is first read.
struct PendingReport {
    std::uint64_t key;
    std::function<std::string()> text;
};

struct Pass {
    std::shared_ptr<PassRecord> rec;
    std::vector<PendingReport> reports;
    std::uint64_t nextKey = 0;
    std::int32_t line = 0;

    explicit Pass(CheckStatePtr state, ConstructorNames constructors = noConstructors());
    CheckState& st() const { return *rec->state; }
    std::size_t newSlot();
    // The reports in key order, each text built when read.
    Messages messages() const;
    // Adds the report of a failed unification whose detail is built when read.
    void reportUnify(std::uint64_t key, const UnifyResult& u, std::function<std::string()> detail);
};

// Checks an expression; returns its type (before the final substitution).
Type checkExpr(Pass& p, const Expr& e, const CheckEnv& env);

struct DListOut {
    TypeEnv bindings;
    std::vector<std::string> defines;
};
// Checks a definition list in the pass (the line in p is the list's context line).
DListOut checkDListIn(Pass& p, const DList& d, const CheckEnv& env);

// --- typed trees -----------------------------------------------------------------------------

// The typed tree of e whose first slot is `slot`; advances slot past e's nodes.
Expr typedExpr(const Expr& e, std::size_t& slot, const PassRecord& r);
DList typedDList(const DList& d, std::size_t& slot, const PassRecord& r);
Decl typedDecl(const Decl& d, std::size_t& slot, const PassRecord& r);

}  // namespace plim::infer
