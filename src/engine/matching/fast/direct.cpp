// Simple matching straight on the expressions.  Building terms for pattern and term costs an
// allocation per node while a simple match mostly looks at a handful of nodes near the top,
// so the worklist of the core is run here on pairs of expression nodes, read as the terms
// the conversion would build:
//   - a variable of the pattern is an LVar when a pattern lambda entered above binds it, else
//     a PVar; the term must be closed, so each of its variables is an LVar;
//   - an application spine headed by a tuple constant of arity k with exactly k arguments is
//     one Tupl node, its arguments the elements;
//   - a pattern variable already bound stands for its binding, a node of the term;
//   - the renaming of a term lambda's variable to the pattern lambda's is followed by name,
//     and eta expansion builds the application the core builds.
// The problems are taken in the core's order (from the front, new ones at the end) and the
// type substitution is composed exactly as there, so the result is the core's.  The walk
// hands the whole match to the term matcher when it meets what it does not follow: lambdas
// with tuple binders, a binding's own lambdas or variables met again, a type variable in a
// type taken from the term, a type match binding a type variable to a type with variables,
// bindings that would not convert back to themselves, and constants that the core's
// rigid-symbol test keys apart from their equality.  Inputs whose conversion fails or reads a
// type not yet computed go to the term matcher at once, so their errors are the conversion's.
#include <algorithm>
#include <forward_list>
#include <utility>
#include <vector>

#include "engine/matching/fast/applicability_tables.h"
#include "engine/matching/fast/matcher.h"

namespace plim {

namespace {

using fast::convertPrime;
using fast::isArrowType;

// --- the expressions as terms ---------------------------------------------------------------

using fast::saturatedTupleElements;
using fast::saturatedTupleSize;

// Puts the pattern's variables on `names`, the last tuple element's first.
void pushBinderNames(const Expr& pat, std::vector<const std::string*>& names) {
    if (pat.isVar()) {
        names.push_back(&pat.name());
        return;
    }
    std::vector<const Expr*> pending{&pat};
    while (!pending.empty()) {
        const Expr* at = pending.back();
        pending.pop_back();
        if (at->isVar()) {
            names.push_back(&at->name());
            continue;
        }
        const std::size_t mark = pending.size();
        for (; at->isAp(); at = &at->fun()) pending.push_back(&at->arg());
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(mark), pending.end());
    }
}

bool inScope(const std::vector<const std::string*>& scope, const std::string& n) {
    for (auto it = scope.rbegin(); it != scope.rend(); ++it)
        if (**it == n) return true;
    return false;
}

// What one walk over a tree of expressions learns.
struct Scan {
    bool convertsQuietly = true;  // no let, every lambda binder fits, every type computed
    bool freeVariables = false;   // a variable not bound by a lambda of the tree
};

// One walk on an explicit stack (kept per thread: the walk runs on every match); stops early
// once the conversion is known to complain.
Scan scan(const Expr& root) {
    Scan out;
    struct Item {
        const Expr* e;
        std::size_t leave;  // non-zero: a lambda's body is done, drop that many names
    };
    static thread_local std::vector<Item> todo;
    static thread_local std::vector<const std::string*> scope;
    todo.clear();
    scope.clear();
    todo.push_back({&root, 0});
    while (!todo.empty()) {
        const Item it = todo.back();
        todo.pop_back();
        if (it.leave) {
            scope.resize(scope.size() - it.leave);
            continue;
        }
        const Expr* e = it.e;
        for (; e->isAp(); e = &e->fun()) {  // down the spine, the arguments for later
            if (!e->typeIsEvaluated()) out.convertsQuietly = false;
            todo.push_back({&e->arg(), 0});
        }
        switch (e->kind()) {
        case ExprKind::Var:
            if (!inScope(scope, e->name())) out.freeVariables = true;
            break;
        case ExprKind::Lam: {
            if (!e->typeIsEvaluated() || !binderFits(e->pattern())) out.convertsQuietly = false;
            const std::size_t before = scope.size();
            pushBinderNames(e->pattern(), scope);
            if (scope.size() > before) todo.push_back({nullptr, scope.size() - before});
            todo.push_back({&e->body(), 0});
            break;
        }
        case ExprKind::Let: out.convertsQuietly = false; break;
        default: break;
        }
        if (!out.convertsQuietly) return out;
    }
    return out;
}

// --- types ---------------------------------------------------------------------------------

enum class TypeFit : std::uint8_t { No, Same, Open };

// matchTypeFresh for a pattern type without type variables, which gives the identity or
// nothing; Open when the pattern type has a variable after all.  The pairs are compared from
// left to right, the first one that is not the same deciding.
TypeFit matchClosed(const Type& pattern, const Type& term) {
    std::vector<std::pair<const Type*, const Type*>> work{{&pattern, &term}};
    while (!work.empty()) {
        const auto [p, t] = work.back();
        work.pop_back();
        if (p->sameNode(*t)) continue;
        switch (p->kind()) {
        case TypeKind::Tid: return TypeFit::Open;
        case TypeKind::TAbs: return TypeFit::No;
        case TypeKind::TCon: {
            if (!t->isTCon() || t->name() != p->name()) return TypeFit::No;
            const std::size_t n = std::min(p->args().size(), t->args().size());
            for (std::size_t i = n; i-- > 0;) work.emplace_back(&p->args()[i], &t->args()[i]);
            break;
        }
        }
    }
    return TypeFit::Same;
}

bool exprHasTypeVariables(const Expr& root) {
    std::vector<const Expr*> todo{&root};
    while (!todo.empty()) {
        const Expr& e = *todo.back();
        todo.pop_back();
        if (e.type().hasTypeVars()) return true;
        if (e.isAp()) {
            todo.push_back(&e.arg());
            todo.push_back(&e.fun());
        } else if (e.isLam()) {
            todo.push_back(&e.body());
        }
    }
    return false;
}

// Converting the closed expression to a term and back gives it again, node for node: every
// lambda binds a variable typed with the lambda's argument type, every saturated tuple is
// typed as the conversion builds one.
bool convertsBackAsItIs(const Expr& root) {
    std::vector<const Expr*> todo{&root};
    std::vector<const Expr*> elems;
    while (!todo.empty()) {
        const Expr& e = *todo.back();
        todo.pop_back();
        if (e.isLam()) {
            if (!e.pattern().isVar() || !isArrowType(e.type()) || !eqType(e.pattern().type(), e.type().args()[0]))
                return false;
            todo.push_back(&e.body());
        } else if (e.isAp()) {
            if (const std::size_t n = saturatedTupleSize(e)) {
                if (!fast::tupleTypedAsBuilt(e)) return false;
                saturatedTupleElements(e, n, elems);
                todo.insert(todo.end(), elems.begin(), elems.end());
            } else {
                todo.push_back(&e.arg());
                todo.push_back(&e.fun());
            }
        }
    }
    return true;
}

// --- the worklist ----------------------------------------------------------------------------

struct Problem {
    const Expr* p;
    const Expr* t;
    bool fromTerm;  // the pattern side is a node of a binding, not of the pattern
    int frame;      // the innermost pair of lambdas entered above, or -1
};

// A pattern lambda and a term lambda entered together: the core renames the term's variable
// to the pattern's in the term body, except below a term lambda that binds it again.  A
// pattern lambda met by a term that is no lambda enters no term lambda (termName null).
struct Frame {
    const std::string* termName;
    const std::string* patternName;
    int outer;
};

enum class Outcome : std::uint8_t { Matched, Failed, HandOver };

class DirectMatch {
public:
    DirectMatch(const Expr& p, const Expr& t, bool termHasVariables) : termHasVariables_(termHasVariables), term_(&t) {
        work_.push_back({&p, &t, false, -1});
    }

    Outcome run() {
        for (std::size_t i = 0; i < work_.size(); ++i) {
            const Outcome o = solve(work_[i]);
            if (o != Outcome::Matched) return o;
        }
        return finish();
    }

    MatchResult result() const {
        MatchResult r;
        r.subst.reserve(bindings_.size());
        for (const auto& [name, e] : bindings_) r.subst.emplace_back(*name, *e);
        r.types = types_;
        return r;
    }

private:
    bool termHasVariables_;  // or an eta expansion has put variables in
    const Expr* term_;
    std::optional<bool> termTypeVariables_;
    std::vector<Problem> work_;
    std::vector<std::pair<const std::string*, const Expr*>> bindings_;  // in name order
    bool bound_ = false;  // the accumulated substitution binds a variable
    TypeSubst types_;
    std::vector<const Expr*> pelems_, telems_;
    std::vector<Frame> frames_;
    std::vector<const Frame*> chain_;
    std::forward_list<Expr> made_;             // applications built by eta expansion
    std::vector<const Expr*> madeVariables_;  // their arguments

    // A variable of the pattern bound by a lambda entered above.
    bool patternBound(int frame, const std::string& n) const {
        for (int f = frame; f >= 0; f = frames_[static_cast<std::size_t>(f)].outer)
            if (*frames_[static_cast<std::size_t>(f)].patternName == n) return true;
        return false;
    }

    // The name a variable of the term has after the renamings of the lambdas entered above,
    // outermost first; a renaming passes over a variable below a later lambda of its name.
    const std::string& termName(int frame, const Expr& v) {
        const std::string& n = v.name();
        for (const Expr* made : madeVariables_)
            if (made == &v) return n;  // made by eta expansion after the renamings above
        chain_.clear();
        for (int f = frame; f >= 0; f = frames_[static_cast<std::size_t>(f)].outer)
            chain_.push_back(&frames_[static_cast<std::size_t>(f)]);
        const std::string* name = &n;
        for (std::size_t i = chain_.size(); i-- > 0;) {
            if (!chain_[i]->termName) continue;
            const std::string& from = *chain_[i]->termName;
            if (*name != from) continue;
            bool hidden = false;
            for (std::size_t j = i; j-- > 0 && !hidden;) hidden = chain_[j]->termName && *chain_[j]->termName == from;
            if (!hidden) name = chain_[i]->patternName;
        }
        return *name;
    }

    // A name of a new pair of lambdas is also a name of a pair entered above: renaming
    // might capture there, which the term matcher sorts out by renaming binders.
    bool namesClash(int frame, const std::string* termName, const std::string& patternName) const {
        auto clashes = [&](const std::string* n) { return n && (*n == patternName || (termName && *n == *termName)); };
        for (int f = frame; f >= 0; f = frames_[static_cast<std::size_t>(f)].outer) {
            const Frame& fr = frames_[static_cast<std::size_t>(f)];
            if (clashes(fr.termName) || clashes(fr.patternName)) return true;
        }
        return false;
    }

    bool termHasTypeVariables() {
        if (!termTypeVariables_) termTypeVariables_ = exprHasTypeVariables(*term_);
        return *termTypeVariables_;
    }

    bool accumulatedIsIdentity() const { return !bound_ && types_.isIdentity(); }

    // composeSubst(σ, accumulated), keeping only what the result needs.
    void compose(bool binds, const TypeSubst& sigmaTypes) {
        if (!binds && sigmaTypes.isIdentity()) return;
        if (accumulatedIsIdentity()) types_ = sigmaTypes;
        else types_ = substTypeOf(sigmaTypes, types_);
        bound_ = bound_ || binds;
    }

    const Expr* lookup(const std::string& n) const {
        for (const auto& [name, e] : bindings_)
            if (*name == n) return e;
        return nullptr;
    }

    // Constants that the rigid-symbol test of the core keys apart from their equality.
    static bool oddConstant(const Constant& c) {
        if (c.kind() == ConstantKind::Error) return true;
        return c.kind() == ConstantKind::FNumber && c.fnumber() != c.fnumber();
    }

    Outcome solve(Problem pr) {
        const bool local = !pr.fromTerm && pr.p->isVar() && patternBound(pr.frame, pr.p->name());
        if (!pr.fromTerm && pr.p->isVar() && !local)
            if (const Expr* b = lookup(pr.p->name())) pr.p = b, pr.fromTerm = true;
        const Expr& p = *pr.p;
        const Expr& t = *pr.t;
        if (pr.fromTerm && (p.isVar() || p.isLam())) return Outcome::HandOver;

        // The type match, the pattern side's type with the accumulated substitution applied.
        TypeSubst ts;
        const Type pty = pr.fromTerm || types_.isIdentity() ? p.type() : substType(types_, p.type());
        switch (matchClosed(pty, t.type())) {
        case TypeFit::No: return Outcome::Failed;
        case TypeFit::Same: break;
        case TypeFit::Open: {
            // A type variable the match binds stands for its type on the term side as well.
            if (pr.fromTerm || termHasTypeVariables()) return Outcome::HandOver;
            std::optional<TypeSubst> m = matchTypeFresh(pty, t.type());
            if (!m) return Outcome::Failed;
            for (const auto& [v, ty] : m->bindings())
                if (ty.hasTypeVars()) return Outcome::HandOver;
            ts = std::move(*m);
        }
        }

        switch (p.kind()) {
        case ExprKind::Var:
            if (!local) return bind(p.name(), t, ts);
            if (!t.isVar() || termName(pr.frame, t) != p.name()) return Outcome::Failed;
            compose(false, ts);
            return Outcome::Matched;
        case ExprKind::Lam: return enter(pr, pty, ts);
        case ExprKind::Con:
            if (oddConstant(p.constant())) return Outcome::HandOver;
            if (!t.isCon() || !eqConstant(p.constant(), t.constant())) return Outcome::Failed;
            compose(false, ts);
            return Outcome::Matched;
        case ExprKind::Ap: return decompose(pr, ts);
        default: return Outcome::HandOver;
        }
    }

    Outcome bind(const std::string& name, const Expr& t, const TypeSubst& ts) {
        // A binding may not hold a variable bound outside it.
        if (termHasVariables_ && scan(t).freeVariables) return Outcome::Failed;
        const auto at = std::lower_bound(bindings_.begin(), bindings_.end(), name,
                                         [](const auto& b, const std::string& n) { return *b.first < n; });
        bindings_.insert(at, {&name, &t});
        compose(true, ts.isIdentity() ? TypeSubst() : substTypeOf(TypeSubst(), ts));
        return Outcome::Matched;
    }

    // A lambda against a lambda, both binding one variable: the bodies, the term's variable
    // renamed.  Tuple binders and a term that is no lambda (eta expansion) are left to the
    // term matcher.
    Outcome enter(const Problem& pr, const Type& pty, const TypeSubst& ts) {
        const Expr& p = *pr.p;
        const Expr& t = *pr.t;
        if (!t.isLam()) return etaExpand(pr, pty, ts);
        if (!p.pattern().isVar() || !t.pattern().isVar()) return Outcome::HandOver;
        if (namesClash(pr.frame, &t.pattern().name(), p.pattern().name())) return Outcome::HandOver;
        frames_.push_back(Frame{&t.pattern().name(), &p.pattern().name(), pr.frame});
        work_.push_back({&p.body(), &t.body(), false, static_cast<int>(frames_.size()) - 1});
        compose(false, ts);
        return Outcome::Matched;
    }

    // The body against the term applied to the lambda's variable (typed with the pattern's
    // argument type), as the core builds it.
    Outcome etaExpand(const Problem& pr, const Type& pty, const TypeSubst& ts) {
        const Expr& p = *pr.p;
        const Expr& t = *pr.t;
        if (!p.pattern().isVar() || !isArrowType(pty) || !isArrowType(t.type())) return Outcome::HandOver;
        if (namesClash(pr.frame, nullptr, p.pattern().name())) return Outcome::HandOver;
        const Expr& applied = made_.emplace_front(mkAp(t, mkVar(p.pattern().name(), pty.args()[0]), t.type().args()[1]));
        madeVariables_.push_back(&applied.arg());
        termHasVariables_ = true;
        frames_.push_back(Frame{nullptr, &p.pattern().name(), pr.frame});
        work_.push_back({&p.body(), &applied, false, static_cast<int>(frames_.size()) - 1});
        compose(false, ts);
        return Outcome::Matched;
    }

    Outcome decompose(const Problem& pr, const TypeSubst& ts) {
        const Expr& p = *pr.p;
        const Expr& t = *pr.t;
        if (!t.isAp()) return Outcome::Failed;
        const std::size_t pn = saturatedTupleSize(p);
        const std::size_t tn = saturatedTupleSize(t);
        if (pn != 0 || tn != 0) {
            if (pn != tn || pn == 0) return Outcome::Failed;
            saturatedTupleElements(p, pn, pelems_);
            saturatedTupleElements(t, tn, telems_);
            for (std::size_t i = 0; i < pn; ++i) work_.push_back({pelems_[i], telems_[i], pr.fromTerm, pr.frame});
        } else {
            work_.push_back({&p.fun(), &t.fun(), pr.fromTerm, pr.frame});
            work_.push_back({&p.arg(), &t.arg(), pr.fromTerm, pr.frame});
        }
        compose(false, ts);
        return Outcome::Matched;
    }

    // A type substitution met on the way applies to the bindings made before it as well; the
    // walk follows that only for bindings without type variables.
    // The bindings must also come back from the term matcher's conversion as they are.
    Outcome finish() const {
        for (const auto& b : bindings_)
            if (!convertsBackAsItIs(*b.second)) return Outcome::HandOver;
        if (types_.isIdentity()) return Outcome::Matched;
        for (const auto& b : bindings_)
            if (exprHasTypeVariables(*b.second)) return Outcome::HandOver;
        return Outcome::Matched;
    }

};

MatchResults viaTerms(const Expr& p, const Expr& t) {
    return fastConvertSolutions(fastSimpleMatch(convertPrime({}, p), convertPrime({}, t)));
}

}  // namespace

MatchResults fastSimpleMatchExpr(const Expr& p, const Expr& t) {
    if (!scan(p).convertsQuietly) return viaTerms(p, t);
    const Scan ts = scan(t);
    if (!ts.convertsQuietly || ts.freeVariables) return viaTerms(p, t);
    DirectMatch m(p, t, t.holdsAny(ExprHolds::Var));
    switch (m.run()) {
    case Outcome::Matched: return MatchResults::cons(m.result(), MatchResults());
    case Outcome::Failed: return MatchResults();
    case Outcome::HandOver: break;
    }
    return viaTerms(p, t);
}

}  // namespace plim
