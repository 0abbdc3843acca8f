// Conversion between expressions and fast matcher terms, in both directions.
#include <algorithm>
#include <optional>
#include <span>
#include <unordered_map>

#include "engine/matching/fast/matcher.h"
#include "support/errors.h"

namespace plim::fast {

namespace {

constexpr const char* kBadBinder = "can't handle non-variable/tuple lambda bindings";

// The different names bound around the node being converted: the context's, then those of
// the lambdas entered on the way down, one set per lambda open.  A set is all that a
// conversion depends on, and it keys the memo in constant time.
class Scope {
public:
    explicit Scope(const NameSet& context) : sets_{context} {}
    bool binds(const std::string& n) const { return sets_.back().contains(n); }
    void enter(const std::vector<std::string>& names) {
        NameSet inner = sets_.back();
        for (const auto& n : names) inner = inner.with(n);
        sets_.push_back(std::move(inner));
    }
    void leave() { sets_.pop_back(); }
    const NameSet& names() const { return sets_.back(); }

private:
    std::vector<NameSet> sets_;
};

// The binder of a lambda and the names it binds.  A pattern that is neither a variable nor a
// tuple of variables is refused when the binder is examined; a body with variables cannot be
// classified without the binder's names, so then the refusal comes at once.  When `tolerant`,
// such a pattern gives nothing, so that no refusal is left for later.
std::optional<std::pair<LamBinding, std::vector<std::string>>> lambdaBinder(const Expr& lam, bool tolerant) {
    if (lam.pattern().holdsAny(ExprHolds::Let)) {  // no variable or tuple of variables either
        if (tolerant) return std::nullopt;
        if (lam.body().holdsAny(ExprHolds::Var)) failUser(kBadBinder);
        return std::pair{refusedBinding(), std::vector<std::string>{}};
    }
    const std::optional<Term> pattern = tolerant ? convertIfPossible({}, lam.pattern()) : convertPrime({}, lam.pattern());
    if (!pattern || (tolerant && !bindersFit(*pattern))) return std::nullopt;
    if (bindersFit(*pattern) || lam.body().holdsAny(ExprHolds::Var)) return binders(*pattern);
    return std::pair{refusedBinding(), std::vector<std::string>{}};
}

// Terms converted lately, by expression node and the different names bound around it.
class ConversionMemo {
public:
    const Term* find(const Expr& e, const NameSet& names) const {
        if (auto it = byNode_.find(e.identity()); it != byNode_.end())
            for (const Entry& x : it->second)
                if (x.names == names) return &x.term;
        return nullptr;
    }
    void keep(const Expr& e, const NameSet& names, Term t) {
        byNode_[e.identity()].push_back(Entry{e, names, std::move(t)});
    }
    void clear() { byNode_.clear(); }

private:
    struct Entry {
        Expr expr;  // keeps the node, and so its address, alive
        NameSet names;
        Term term;
    };
    std::unordered_map<const void*, std::vector<Entry>> byNode_;
};

// The conversion runs on an explicit stack of tasks, so that a long spine (a list of
// 100,000 elements nests that deep) costs no native stack.  Converted subterms wait on a
// stack of results until the task that builds their parent takes them.  Nodes are finished
// in post-order, function before argument.
class Converter {
public:
    // A tolerant converter answers nothing where the plain one raises its error.
    explicit Converter(const NameSet& context, bool tolerant = false, ConversionMemo* memo = nullptr)
        : scope_(context), tolerant_(tolerant), memo_(memo) {
        tasks_.reserve(32);
        results_.reserve(16);
    }

    // Nothing when refused.
    std::optional<Term> run(const Expr& e) {
        tasks_.push_back(Task{Task::Convert, &e, 0});
        while (!tasks_.empty()) {
            const Task task = tasks_.back();
            tasks_.pop_back();
            step(task);
        }
        if (refused_) return std::nullopt;
        return std::move(results_.back());
    }
    // The nodes of the term that came from the memo.
    std::size_t reused() const { return reused_; }

private:
    struct Task {
        enum Kind : std::uint8_t { Convert, BuildAp, BuildTupl, BuildLam } kind;
        const Expr* expr;   // Convert: the expression; builds: the node built
        std::size_t count;  // BuildTupl: the number of elements
    };

    Scope scope_;
    bool tolerant_;
    ConversionMemo* memo_;  // lambdas converted before, and kept
    std::size_t reused_ = 0;
    bool refused_ = false;
    std::vector<Task> tasks_;
    std::vector<Term> results_;
    std::vector<LamBinding> lambdas_;  // the binders of the lambdas whose bodies are converting
    std::vector<const Expr*> nodes_;   // scratch: the nodes of one application spine

    Term pop() {
        Term t = std::move(results_.back());
        results_.pop_back();
        return t;
    }
    void refuse() {
        refused_ = true;
        tasks_.clear();
    }

    void step(const Task& task) {
        switch (task.kind) {
        case Task::Convert: convert(*task.expr); return;
        case Task::BuildAp: {
            Term x = pop();
            Term f = pop();
            const bool back = f.origin() && x.origin();
            Term ap = Ap(std::move(f), std::move(x), task.expr->type());
            results_.push_back(back ? withOrigin(std::move(ap), *task.expr) : std::move(ap));
            return;
        }
        case Task::BuildTupl: buildTupl(*task.expr, task.count); return;
        case Task::BuildLam: {
            Term body = pop();
            LamBinding binder = std::move(lambdas_.back());
            lambdas_.pop_back();
            scope_.leave();
            const Expr& e = *task.expr;
            const bool back = body.origin() && e.pattern().isVar() && isArrowType(e.type()) &&
                              eqType(e.pattern().type(), e.type().args()[0]);
            Term l = Lam(std::move(binder), std::move(body), e.type());
            if (back) l = withOrigin(std::move(l), e);
            if (memo_) memo_->keep(e, scope_.names(), l);
            results_.push_back(std::move(l));
            return;
        }
        }
    }

    // The tuple of the last `count` results.
    void buildTupl(const Expr& e, std::size_t count) {
        const auto from = results_.end() - static_cast<std::ptrdiff_t>(count);
        std::vector<Term> es(std::make_move_iterator(from), std::make_move_iterator(results_.end()));
        results_.erase(from, results_.end());
        bool back = true;
        for (const Term& el : es) back = back && el.origin();
        Term tup = Tupl(std::move(es), e.type());
        back = back && tupleTypedAsBuilt(e);
        results_.push_back(back ? withOrigin(std::move(tup), e) : std::move(tup));
    }

    void convert(const Expr& e) {
        switch (e.kind()) {
        case ExprKind::Var:
            results_.push_back(
                withOrigin(scope_.binds(e.name()) ? LVar(e.name(), e.type()) : PVar(e.name(), e.type()), e));
            return;
        case ExprKind::Con: results_.push_back(withOrigin(Con(e.constant(), e.type()), e)); return;
        case ExprKind::Ap: spine(e); return;
        case ExprKind::Lam: {
            if (const Term* known = memo_ ? memo_->find(e, scope_.names()) : nullptr) {
                reused_ += known->size();
                results_.push_back(*known);
                return;
            }
            std::optional<std::pair<LamBinding, std::vector<std::string>>> bound = lambdaBinder(e, tolerant_);
            if (!bound) return refuse();
            auto& [binder, names] = *bound;
            scope_.enter(names);
            lambdas_.push_back(std::move(binder));
            tasks_.push_back(Task{Task::BuildLam, &e, 0});
            tasks_.push_back(Task{Task::Convert, &e.body(), 0});
            return;
        }
        case ExprKind::Let:
            if (tolerant_) return refuse();
            break;
        }
        patternFail(CodedFailure::FastConvertLet);
    }

    // An application spine: the head and its arguments, first argument first.  A saturated
    // tuple at the head takes exactly its arity of arguments into one Tupl; the arguments after
    // them are applied to it.  The tasks go on the stack in reverse order of running.
    void spine(const Expr& e) {
        nodes_.clear();  // the application nodes, outermost first
        const Expr* head = &e;
        for (; head->isAp(); head = &head->fun()) nodes_.push_back(head);
        const std::size_t n = nodes_.size();
        const bool tuple = head->isCon() && head->constant().kind() == ConstantKind::Tuple;
        const auto k = tuple ? static_cast<std::size_t>(head->constant().arity()) : 0;
        const bool saturated = tuple && k >= 1 && k <= n;
        const std::size_t taken = saturated ? k : 0;  // arguments taken by the head
        for (std::size_t i = 0; i + taken < n; ++i) {  // nodes_[0] is applied last
            tasks_.push_back(Task{Task::BuildAp, nodes_[i], 0});
            tasks_.push_back(Task{Task::Convert, &nodes_[i]->arg(), 0});
        }
        if (taken == 0) {
            tasks_.push_back(Task{Task::Convert, head, 0});
            return;
        }
        tasks_.push_back(Task{Task::BuildTupl, nodes_[n - k], k});
        for (std::size_t i = n - k; i < n; ++i) tasks_.push_back(Task{Task::Convert, &nodes_[i]->arg(), 0});
    }
};

// The conversions made lately on this thread, by expression node and the different names
// bound around it: one term is matched against pattern after pattern, and one pattern against
// term after term, and each is converted once.  The lambdas inside are kept too, by the names
// bound around each: a rewrite tries its rules at every position under nested lambdas, and
// each position's term holds the next one's lambda, so without them n nested lambdas cost
// n^2 / 2 conversions of a lambda.  Terms of every size are kept; the memo is dropped whole
// before it would hold more than kFloor new nodes and four times the largest term kept, so
// that it holds a few large terms as well as many small ones.
class RecentConversions {
public:
    Term get(const NameSet& context, const Expr& e) {
        if (const Term* known = memo_.find(e, context)) return *known;
        Converter converter(context, false, &memo_);
        Term t = *converter.run(e);
        const std::size_t built = t.size() - converter.reused();
        largest_ = std::max<std::size_t>(largest_, t.size());
        if (nodes_ + built > kFloor + 4 * largest_) {
            memo_.clear();
            nodes_ = t.size();
            largest_ = t.size();
        } else {
            nodes_ += built;
        }
        memo_.keep(e, context, t);
        return t;
    }

private:
    static constexpr std::size_t kFloor = 1 << 15;
    ConversionMemo memo_;
    std::size_t nodes_ = 0;    // the nodes the memo holds, at most
    std::size_t largest_ = 0;  // the largest term kept
};

}  // namespace

Term convertPrime(const NameSet& context, const Expr& e) {
    thread_local RecentConversions recent;
    return recent.get(context, e);
}

std::optional<Term> convertIfPossible(const NameSet& context, const Expr& e) {
    return Converter(context, true).run(e);
}

bool bindersFit(const Term& pattern) {
    if (pattern.is(TermKind::PVar)) return true;
    std::vector<const Term*> pending{&pattern};
    while (!pending.empty()) {
        const Term& at = *pending.back();
        pending.pop_back();
        if (at.is(TermKind::PVar)) continue;
        if (!at.is(TermKind::Tupl)) return false;
        for (const Term& el : at.elems()) pending.push_back(&el);
    }
    return true;
}

std::pair<LamBinding, std::vector<std::string>> binders(const Term& pattern) {
    if (pattern.is(TermKind::PVar)) return {LamVar(pattern.name()), {pattern.name()}};
    return binder_walks::ofPattern<LamBinding>(pattern, LamVar, LamTup, [] { failUser(kBadBinder); });
}

std::optional<std::vector<Expr>> saturatedTupleArgs(const Expr& e) {
    std::vector<Expr> args;
    Expr at = e;
    while (at.isAp()) {
        args.push_back(at.arg());
        at = at.fun();
    }
    if (!at.isCon() || at.constant().kind() != ConstantKind::Tuple) return std::nullopt;
    if (static_cast<std::size_t>(at.constant().arity()) != args.size()) return std::nullopt;
    return std::vector<Expr>(args.rbegin(), args.rend());
}

std::size_t saturatedTupleSize(const Expr& e) {
    std::size_t depth = 0;
    const Expr* at = &e;
    for (; at->isAp(); at = &at->fun()) ++depth;
    if (!at->isCon() || at->constant().kind() != ConstantKind::Tuple) return 0;
    const std::int32_t k = at->constant().arity();
    return k >= 1 && depth == static_cast<std::size_t>(k) ? depth : 0;
}

bool tupleTypedAsBuilt(const Expr& e) {
    std::vector<const Expr*> spine;  // the applications, innermost first
    const Expr* head = &e;
    for (; head->isAp(); head = &head->fun()) spine.push_back(head);
    std::reverse(spine.begin(), spine.end());
    const Type* at = &head->type();
    for (const Expr* ap : spine) {
        if (!isArrowType(*at) || !eqType(at->args()[0], ap->arg().type())) return false;
        at = &at->args()[1];
        if (!eqType(ap->type(), *at)) return false;
    }
    if (!at->isTCon() || at->name() != tupleTypeName(static_cast<std::int64_t>(spine.size())) ||
        at->args().size() != spine.size())
        return false;
    for (std::size_t i = 0; i < spine.size(); ++i)
        if (!eqType(at->args()[i], spine[i]->arg().type())) return false;
    return true;
}

namespace {

// `known` when it is the tuple type of the components' very type nodes (so equal to the type
// that mkTupleType would build of them).
bool isTupleTypeOf(const Type* known, std::span<const Expr> components) {
    if (!known || !known->isTCon() || known->args().size() != components.size() ||
        known->name().rfind(tupleName, 0) != 0)
        return false;
    for (std::size_t i = 0; i < components.size(); ++i)
        if (!known->args()[i].sameNode(exprType(components[i]))) return false;
    return true;
}

// The tuple constructor's type, built from the tuple type back: each application's type is
// the result part of its function's.
Type tupleConType(const Type& tuple) {
    Type conType = tuple;
    for (std::size_t i = tuple.args().size(); i-- > 0;) conType = mkArrow(tuple.args()[i], std::move(conType));
    return conType;
}

// The constructor applied to the components.  Its type is a chain of function types
// (tupleConType): each application is typed by the result part of its function's type, as
// typedAp would type it.  The components are moved into the applications.
Expr appliedTo(Expr constructor, std::span<Expr> components) {
    for (Expr& c : components) {
        Type result = constructor.type().args()[1];
        constructor = mkAp(std::move(constructor), std::move(c), std::move(result));
    }
    return constructor;
}

// The saturated tuple application; its type is `known` when that is the components' tuple
// type.  The components are moved into it.
Expr tupleExpr(std::span<Expr> components, const Type* known) {
    const auto k = static_cast<std::int32_t>(components.size());
    Expr constructor = [&] {
        if (isTupleTypeOf(known, components)) return mkCon(mkTuple(k), tupleConType(*known));
        std::vector<Type> ts;
        ts.reserve(components.size());
        for (const Expr& c : components) ts.push_back(exprType(c));
        return mkCon(mkTuple(k), tupleConType(mkTupleType(std::move(ts))));
    }();
    return appliedTo(std::move(constructor), components);
}

}  // namespace

Expr mkTupleExpr(std::vector<Expr> components) { return tupleExpr(components, nullptr); }

namespace {

// gettupletypes: the binder rebuilt against its type, variables by `var`, tuples by `tuple`.
template <class R, class Var, class Tuple>
R gettupletypes(const Var& var, const Tuple& tuple, const Type& ty, const LamBinding& b) {
    if (b.isVar()) return var(b.name(), ty);
    return binder_walks::againstType<R>(
        b, ty, [](const LamBinding& t) -> const auto& { return t.components(); },
        [](const Type& t) {
            if (!t.isTCon() || t.name().rfind("Tuple", 0) != 0) patternFail(CodedFailure::FastTupleTypesNonTuple);
            return t.args();
        },
        var, tuple);
}

Expr builtBinderPattern(const Type& argumentType, const LamBinding& b) {
    return gettupletypes<Expr>([](const std::string& n, const Type& t) { return mkVar(n, t); },
                               [](std::vector<Expr> parts, const Type& t) { return tupleExpr(parts, &t); },
                               argumentType, b);
}

// The tuple binder patterns built before on this thread, by binder and argument type: the
// results of one search bind their functions to lambdas with a few binders at a few types,
// and a tuple pattern is a chain of applications whose types take long to build.
class BinderPatterns {
public:
    Expr get(const Type& argumentType, const LamBinding& b) {
        // The binder of the last call again: the results of a search share their images' binders.
        if (last_ && last_->binder.sameComponents(b) && last_->sameType(argumentType)) return last_->pattern;
        writeSignature(b);
        const std::uint64_t key = (argumentType.hashCode() ^ std::hash<std::string>{}(signature_)) * 0x100000001b3ULL;
        std::vector<Entry>& bucket = byKey_[key];
        for (Entry& e : bucket)
            if (e.signature == signature_ && e.sameType(argumentType)) {
                last_.emplace(Entry{{}, b, argumentType, {}, e.pattern});
                return e.pattern;
            }
        Expr pattern = builtBinderPattern(argumentType, b);
        last_.emplace(Entry{{}, b, argumentType, {}, pattern});
        if (++count_ > kLimit) {
            byKey_.clear();
            count_ = 0;
            return pattern;
        }
        byKey_[key].push_back(Entry{signature_, b, argumentType, {}, pattern});
        return pattern;
    }

private:
    struct Entry {
        std::string signature;
        LamBinding binder;
        Type type;
        std::vector<Type> alike;  // other nodes of the same type met since, a few
        Expr pattern;

        bool sameType(const Type& t) {
            if (type.sameNode(t)) return true;
            for (const Type& a : alike)
                if (a.sameNode(t)) return true;
            if (!eqType(type, t)) return false;
            if (alike.size() < kAlike) alike.push_back(t);
            return true;
        }
    };
    static constexpr std::size_t kLimit = 4096;
    static constexpr std::size_t kAlike = 8;

    // The binder written out into signature_, in pre-order: a tuple as its brackets around its
    // parts, a variable as a tag, the length of its name and the name (so that the text reads
    // back one way only): two binders are the same exactly when their signatures are.
    void writeSignature(const LamBinding& b) {
        signature_.clear();
        walk_.assign(1, &b);
        while (!walk_.empty()) {
            const LamBinding* c = walk_.back();
            walk_.pop_back();
            if (!c) {
                signature_ += ')';
                continue;
            }
            if (c->isVar()) {
                const std::uint32_t n = static_cast<std::uint32_t>(c->name().size());
                signature_ += 'v';
                signature_.append(reinterpret_cast<const char*>(&n), sizeof n);
                signature_ += c->name();
                continue;
            }
            signature_ += '(';
            walk_.push_back(nullptr);
            const std::vector<LamBinding>& parts = c->components();
            for (std::size_t i = parts.size(); i-- > 0;) walk_.push_back(&parts[i]);
        }
    }

    std::unordered_map<std::uint64_t, std::vector<Entry>> byKey_;
    std::size_t count_ = 0;
    std::optional<Entry> last_;  // the last call's binder, type and pattern
    std::string signature_;
    std::vector<const LamBinding*> walk_;
};

}  // namespace

Expr binderPattern(const Type& argumentType, const LamBinding& b) {
    if (b.isVar()) return mkVar(b.name(), argumentType);
    thread_local BinderPatterns patterns;
    return patterns.get(argumentType, b);
}

Term binderTerm(const Type& argumentType, const LamBinding& b) {
    return gettupletypes<Term>([](const std::string& n, const Type& t) { return LVar(n, t); },
                               [](std::vector<Term> parts, const Type& t) { return Tupl(std::move(parts), t); },
                               argumentType, b);
}

namespace {

// The types substituted before on this thread, by the type's very node and the types that
// the substitution gives its variables: the results of one search bind their functions to
// images whose types the search built once and shared, and whose variables most results bind
// alike.  Types with a scheme in them are substituted every time.  The memo is dropped
// whole before it holds more than kLimit types.
class SubstitutedTypes {
public:
    Type get(const TypeSubst& f, const Type& t) {
        if (count_ >= kLimit) {
            byNode_.clear();
            count_ = 0;
        }
        auto [it, fresh] = byNode_.try_emplace(t.nodeAddress());
        Slot& slot = it->second;
        if (fresh) {
            slot.type.emplace(t);
            slot.vars = freeVarsOf(t);
            ++count_;
        }
        if (!slot.vars) return substType(f, t);
        std::vector<const Type*>& bound = bound_;  // reused: nothing below asks again
        bound.clear();
        for (const std::string& v : *slot.vars) bound.push_back(f.find(v));
        for (const Entry& e : slot.entries)
            if (sameBindings(e.bound, bound)) return e.result;
        Type result = substType(f, t);
        Entry e{{}, result};
        for (const Type* b : bound) e.bound.push_back(b ? std::optional<Type>(*b) : std::nullopt);
        slot.entries.push_back(std::move(e));
        ++count_;
        return result;
    }

private:
    struct Entry {
        std::vector<std::optional<Type>> bound;  // what each variable was bound to (none: itself)
        Type result;
    };
    struct Slot {
        std::optional<Type> type;  // keeps the node, and so its address, alive
        std::optional<std::vector<std::string>> vars;  // none: the type holds a scheme
        std::vector<Entry> entries;
    };
    static constexpr std::size_t kLimit = 4096;

    static std::optional<std::vector<std::string>> freeVarsOf(const Type& t) {
        std::vector<std::string> vars;
        std::vector<const Type*> todo{&t};
        while (!todo.empty()) {
            const Type& u = *todo.back();
            todo.pop_back();
            if (u.isGround()) continue;
            if (u.isTid()) {
                if (std::find(vars.begin(), vars.end(), u.name()) == vars.end()) vars.push_back(u.name());
            } else if (u.isTCon()) {
                for (const Type& a : u.args()) todo.push_back(&a);
            } else {
                return std::nullopt;
            }
        }
        return vars;
    }
    static bool sameBindings(const std::vector<std::optional<Type>>& kept, const std::vector<const Type*>& now) {
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (!kept[i] != !now[i]) return false;
            if (kept[i] && !kept[i]->sameNode(*now[i]) && !eqType(*kept[i], *now[i])) return false;
        }
        return true;
    }

    std::unordered_map<const void*, Slot> byNode_;
    std::size_t count_ = 0;
    std::vector<const Type*> bound_;
};

bool isLeaf(const Term& u) { return u.is(TermKind::LVar) || u.is(TermKind::PVar) || u.is(TermKind::Con); }

// A variable or constant converted back (it keeps its conversion when `typing` says so).
template <class Typing>
Expr convertLeaf(const Term& u, Typing& typing) {
    Expr e = u.is(TermKind::Con) ? mkCon(u.constant(), typing.type(u)) : mkVar(u.name(), typing.type(u));
    if (typing.keeps(u)) keepConversion(u, e);
    return e;
}

// A child that converts without being entered: to what it is known to convert to, or as a leaf.
template <class Typing>
bool atOnce(const Term& c, Typing& typing) {
    return typing.known(c) || isLeaf(c);
}
template <class Typing>
Expr convertedAtOnce(const Term& c, Typing& typing) {
    if (const Expr* o = typing.known(c)) return *o;
    return convertLeaf(c, typing);
}

// The stacks of the conversion back, kept for the next conversion (nothing below converts
// again): the nodes entered, each with the child being converted, and the converted children
// that wait for a sibling.
struct BackStacks {
    struct Frame {
        const Term* term;
        // Ap: 0 while the function is converted; 1 while the argument is, the function
        // converting at once; 2 while the argument is, the function's conversion waiting on
        // the results.  Tupl: 1 + the element being converted, those before it waiting on
        // the results.  Lam: 0.
        std::uint32_t next;
    };
    std::vector<Frame> frames;
    std::vector<Expr> results;
};

// The conversion back of a node that is neither known nor a leaf.  Down from a node, the walk
// enters its first child that does not convert at once, until a node converts in full; up
// from there, each parent is built from it and the children converting at once, or enters
// its next such child.  Along a spine of applications that have one child entered, nothing
// waits on the results.  `typing` says what a node converts to when that is known already
// (`known`), the type of the node built for it (`type`), and whether the node keeps its
// conversion (`keeps`).
//
// A walk of its own, not the tree walk of support/tree_walk.h: the tree walk enters every
// child, and a child that converts at once (most are) costs it a push and an entry.  One of
// the listed shortcuts (fast/matcher.h): on the tree walk, BM_FastOneStepCorpus costs +14.1%.
template <class Typing>
class BackWalk {
public:
    BackWalk(BackStacks& stacks, Typing& typing)
        : frames_(stacks.frames), results_(stacks.results), typing_(typing) {
        frames_.clear();  // an error may have left the last conversion's work behind
        results_.clear();
    }

    Expr run(const Term& t) {
        const Term* u = &t;
        for (;;) {
            Expr e = down(u);
            // Up: e is u's conversion.  Each parent is built in turn, until one has a child
            // still to enter, which is then entered.
            for (;;) {
                // A node converted as it is (whatever the substitution) keeps its conversion
                // where a later conversion may meet it again: the results of one search share
                // the nodes of the images built for its earlier elements.  A node that only its
                // parent holds is met again only through that parent, whose conversion is kept
                // where it matters.
                if (typing_.keeps(*u) && (frames_.empty() || u->heldElsewhere())) keepConversion(*u, e);
                if (frames_.empty()) return e;
                if (up(u, e)) break;
            }
        }
    }

private:
    using Frame = BackStacks::Frame;
    std::vector<Frame>& frames_;
    std::vector<Expr>& results_;
    Typing& typing_;

    Expr pop() {
        Expr e = std::move(results_.back());
        results_.pop_back();
        return e;
    }
    // The tuple of the last results.
    Expr tuple(const Term& u) {
        const std::size_t k = u.elems().size();
        const Type type = typing_.type(u);
        Expr e = tupleExpr(std::span<Expr>(results_.data() + (results_.size() - k), k), &type);
        results_.erase(results_.end() - static_cast<std::ptrdiff_t>(k), results_.end());
        return e;
    }
    // Elements from the i-th on go onto the results until one must be entered: its index + 1
    // (the frame's next), or 0 when every element is on the results.
    std::uint32_t elementsFrom(const Term& u, std::size_t i) {
        const std::vector<Term>& es = u.elems();
        for (; i < es.size(); ++i) {
            if (!atOnce(es[i], typing_)) return static_cast<std::uint32_t>(i + 1);
            results_.push_back(convertedAtOnce(es[i], typing_));
        }
        return 0;
    }
    Expr lambda(const Term& u, Expr body) {
        Type type = typing_.type(u);
        Expr pattern = binderPattern(argType(type), u.binder());
        return mkLam(std::move(pattern), std::move(body), std::move(type));
    }
    // Enters u and its first children that do not convert at once, until a node converts in
    // full; u is left at that node, whose conversion is returned.
    Expr down(const Term*& u) {
        for (;;) {
            switch (u->kind()) {
            case TermKind::Ap:
                if (!atOnce(u->fun(), typing_)) {
                    frames_.push_back({u, 0});
                    u = &u->fun();
                } else if (!atOnce(u->arg(), typing_)) {
                    frames_.push_back({u, 1});
                    u = &u->arg();
                } else {
                    return mkAp(convertedAtOnce(u->fun(), typing_), convertedAtOnce(u->arg(), typing_),
                                typing_.type(*u));
                }
                break;
            case TermKind::Lam:
                if (atOnce(u->body(), typing_)) return lambda(*u, convertedAtOnce(u->body(), typing_));
                frames_.push_back({u, 0});
                u = &u->body();
                break;
            default: {
                const std::uint32_t next = elementsFrom(*u, 0);
                if (next == 0) return tuple(*u);
                frames_.push_back({u, next});
                u = &u->elems()[next - 1];
                break;
            }
            }
        }
    }
    // e, u's conversion, given to the innermost open node: true when that node has a child
    // still to enter, which u then is; false when the node is built, which u and e then are.
    bool up(const Term*& u, Expr& e) {
        Frame& top = frames_.back();
        const Term& p = *top.term;
        switch (p.kind()) {
        case TermKind::Ap:
            if (top.next == 0) {
                if (atOnce(p.arg(), typing_)) {
                    e = mkAp(std::move(e), convertedAtOnce(p.arg(), typing_), typing_.type(p));
                } else {
                    results_.push_back(std::move(e));
                    top.next = 2;
                    u = &p.arg();
                    return true;
                }
            } else {
                Expr f = top.next == 1 ? convertedAtOnce(p.fun(), typing_) : pop();
                e = mkAp(std::move(f), std::move(e), typing_.type(p));
            }
            break;
        case TermKind::Lam: e = lambda(p, std::move(e)); break;
        default:
            results_.push_back(std::move(e));
            if (const std::uint32_t next = elementsFrom(p, top.next)) {
                top.next = next;
                u = &p.elems()[next - 1];
                return true;
            }
            e = tuple(p);
            break;
        }
        frames_.pop_back();
        u = &p;
        return false;
    }
};

template <class Typing>
Expr convertNodes(const Term& t, Typing& typing) {
    thread_local BackStacks stacks;
    return BackWalk<Typing>(stacks, typing).run(t);
}

// Every type as it is: a node converts to its origin when it has one, and keeps its conversion.
struct AsTyped {
    static const Expr* known(const Term& u) { return u.origin(); }
    static const Type& type(const Term& u) { return u.type(); }
    static bool keeps(const Term&) { return true; }
};

// The types with a substitution applied: a subterm without type variables keeps its types, and
// converts to its origin when it has one.
struct Instantiated {
    const TypeSubst& types;

    static bool typed(const Term& u) { return u.hasTypeVars(); }
    static const Expr* known(const Term& u) { return typed(u) ? nullptr : u.origin(); }
    static bool keeps(const Term& u) { return !typed(u); }
    Type type(const Term& u) {
        if (!typed(u) || u.type().isGround()) return u.type();
        thread_local SubstitutedTypes substituted;
        return substituted.get(types, u.type());
    }
};

// The conversion of t with the type substitution applied to every type in it (none: as they
// are).  On explicit stacks, as the conversion the other way.  Out of line: inlined into the
// loop over the bindings, it costs that loop more than the call.
[[gnu::noinline]] Expr convertTyped(const Term& t, const TypeSubst* types) {
    if (types && (types->isIdentity() || !t.hasTypeVars())) types = nullptr;
    if (!types) {
        if (const Expr* o = t.origin()) return *o;
        AsTyped typing;
        return isLeaf(t) ? convertLeaf(t, typing) : convertNodes(t, typing);
    }
    Instantiated typing{*types};
    return isLeaf(t) ? convertLeaf(t, typing) : convertNodes(t, typing);
}

}  // namespace

Expr convert(const Term& t) { return convertTyped(t, nullptr); }

namespace {

// The bindings in ascending name order, converted with the type substitution applied to their
// types (none: as they are); the type substitution unchanged.
MatchResult converted(const TermSubst& s, const TypeSubst* types) {
    MatchResult r;
    r.subst.reserve(static_cast<std::size_t>(s.bindings.size()));
    const bool typed = types && !types->isIdentity();
    for (const auto& [name, t] : s.bindings) {
        // Most bound terms are parts of the term, converted from an expression that they keep.
        const Expr* origin = typed && t.hasTypeVars() ? nullptr : t.origin();
        r.subst.emplace_back(name, origin ? *origin : convertTyped(t, types));
    }
    r.types = s.types;
    return r;
}

}  // namespace

MatchResult convertBindings(const TermSubst& s) { return converted(s, nullptr); }

MatchResult convertInstantiatedBindings(const TermSubst& s) { return converted(s, &s.types); }

std::vector<std::string> contextNames(const BoundVars& context) { return context.nameList(); }

}  // namespace plim::fast
