#include "engine/rewriting/positions.h"

#include <algorithm>

#include "frontend/printer/expressions.h"
#include "lang/expressions_rebuild.h"
#include "support/errors.h"
#include "support/work_room.h"

namespace plim {

// --- paths ------------------------------------------------------------------------------------

std::string showStep(Step s) {
    switch (s) {
    case Step::First: return "First";
    case Step::Second: return "Second";
    case Step::Body: return "Body";
    }
    return "";
}

std::string showPath(const Path& p) {
    std::string out = "[";
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (i > 0) out += ",";
        out += showStep(p[i]);
    }
    return out + "]";
}

bool pathLess(const Path& a, const Path& b) { return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end()); }

bool isPathPrefix(const Path& p1, const Path& p2) {
    return p1.size() <= p2.size() && std::equal(p1.begin(), p1.end(), p2.begin());
}

// --- subpaths ---------------------------------------------------------------------------------

namespace {

Path extended(Path p, Step s) {
    p.push_back(s);
    return p;
}

Path prefixed(Step s, const Path& p) {
    Path out;
    out.reserve(p.size() + 1);
    out.push_back(s);
    out.insert(out.end(), p.begin(), p.end());
    return out;
}

BoundVars withPatternVars(const Expr& pattern, const BoundVars& binders) { return binders.inside(freevars(pattern)); }

// The entries still to deliver, the next one first: delivering an entry first pushes its
// children, so the walk is a pre-order one without nested thunks.
List<SubPath> walkPending(List<SubPath> pending);

List<SubPath> deliver(const SubPath& entry, List<SubPath> rest) {
    return List<SubPath>::cons(entry, List<SubPath>::defer([entry, rest]() {
        const auto& [at, path] = entry;
        const Expr& e = at.expr;
        List<SubPath> pending = rest;
        switch (e.kind()) {
        case ExprKind::Lam:
            pending = List<SubPath>::cons(
                SubPath{TermCtx{e.body(), withPatternVars(e.pattern(), at.bound)}, extended(path, Step::Body)},
                pending);
            break;
        case ExprKind::Ap:
            pending = List<SubPath>::cons(SubPath{TermCtx{e.fun(), at.bound}, extended(path, Step::First)}, pending);
            pending = List<SubPath>::cons(SubPath{TermCtx{e.arg(), at.bound}, extended(path, Step::Second)}, pending);
            break;
        case ExprKind::Let: patternFail(CodedFailure::SubpathsLet);
        default: break;
        }
        return walkPending(pending);
    }));
}

List<SubPath> walkPending(List<SubPath> pending) {
    if (pending.empty()) return {};
    return deliver(pending.head(), pending.tail());
}

}  // namespace

List<SubPath> subpaths(const TermCtx& at) { return deliver(SubPath{at, Path{}}, List<SubPath>()); }

List<SubPath> subpathsFrom(const Expr& e, const std::vector<TypedVar>& binders) {
    return subpaths(TermCtx{e, binders});
}

// --- select, replace, findvar ---------------------------------------------------------------------

namespace {

// The child that step s leads to, or nothing when it does not fit.
const Expr* childAt(const Expr& e, Step s) {
    switch (s) {
    case Step::First: return e.isAp() ? &e.fun() : nullptr;
    case Step::Second: return e.isAp() ? &e.arg() : nullptr;
    case Step::Body: return e.isLam() ? &e.body() : nullptr;
    }
    return nullptr;
}

}  // namespace

Expr select(const Expr& e, const Path& path) {
    const Expr* at = &e;
    for (Step s : path) {
        at = childAt(*at, s);
        if (!at) failInternal("invalid select");
    }
    return *at;
}

Expr replace(const Expr& e, const Path& path, const Expr& replacement) {
    std::vector<const Expr*> spine;  // the nodes the path passes through, inside e
    spine.reserve(path.size());
    const Expr* at = &e;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const Expr* next = childAt(*at, path[i]);
        if (!next) failInternal("invalid replace: " + showExpr(*at) + " " + showPath(Path(path.begin() + i, path.end())));
        spine.push_back(at);
        at = next;
    }
    Expr built = replacement;
    for (std::size_t i = path.size(); i-- > 0;) {
        const Expr& node = *spine[i];
        switch (path[i]) {
        case Step::First: built = mkApAs(node, std::move(built), node.arg()); break;
        case Step::Second: built = mkApAs(node, node.fun(), std::move(built)); break;
        case Step::Body: built = mkLamAs(node, node.pattern(), std::move(built)); break;
        }
    }
    return built;
}

namespace {

// The work space of equalAfterReplace, kept from one call to the next.
struct ReplaceCompareRoom {
    std::vector<std::string> bound;        // the names the path's lambdas bind, innermost first
    std::vector<const Expr*> afterwards;   // arguments beside the path, read once below is equal
    std::vector<const Expr*> reads;
    void clear() {
        bound.clear();
        afterwards.clear();
        reads.clear();
    }
};

}  // namespace

bool equalAfterReplace(const Expr& e, const Path& path, const Expr& replacement) {
    BorrowedRoom<ReplaceCompareRoom> room;
    const Expr* at = &e;
    for (const Step s : path) {
        const Expr* next = childAt(*at, s);
        if (!next) failInternal("invalid select");
        at->type();
        switch (s) {
        case Step::First: room->afterwards.push_back(&at->arg()); break;
        case Step::Second:
            if (!readsAsItself(at->fun(), room->reads)) return false;
            break;
        case Step::Body: {
            std::vector<std::string> names = freeNames(at->pattern());
            room->bound.insert(room->bound.begin(), names.begin(), names.end());
            if (!readsAsItself(at->pattern(), room->reads)) return false;
            break;
        }
        }
        at = next;
    }
    if (!exprEq(room->bound, room->bound, replacement, *at)) return false;
    for (auto it = room->afterwards.rbegin(); it != room->afterwards.rend(); ++it)
        if (!readsAsItself(**it, room->reads)) return false;
    return true;
}

std::vector<Path> findvar(const std::string& x, const Expr& e) {
    std::vector<Path> out;
    std::vector<std::pair<Expr, Path>> stack{{e, Path{}}};
    while (!stack.empty()) {
        auto [node, path] = std::move(stack.back());
        stack.pop_back();
        switch (node.kind()) {
        case ExprKind::Var:
            if (node.name() == x) out.push_back(path);
            break;
        case ExprKind::Con: break;
        case ExprKind::Lam: stack.emplace_back(node.body(), extended(path, Step::Body)); break;
        case ExprKind::Ap:
            stack.emplace_back(node.arg(), extended(path, Step::Second));
            stack.emplace_back(node.fun(), extended(path, Step::First));
            break;
        case ExprKind::Let: patternFail(CodedFailure::FindVariableLet);
        }
    }
    return out;
}

// --- occurrences ------------------------------------------------------------------------------

namespace {

bool sameUpToEta(const Expr& a, const Expr& b) { return exprEq({}, {}, etared(a), etared(b)); }

// Does s mention a free name of the pattern?
bool invalid(const std::vector<std::string>& patternNames, const Expr& s) {
    switch (s.kind()) {
    case ExprKind::Var:
        return std::find(patternNames.begin(), patternNames.end(), s.name()) != patternNames.end();
    case ExprKind::Con: return false;
    case ExprKind::Ap: return invalid(patternNames, s.fun()) || invalid(patternNames, s.arg());
    case ExprKind::Lam: return invalid(patternNames, s.body());
    case ExprKind::Let: patternFail(CodedFailure::InvalidLet);
    }
    return false;
}

std::vector<Path> prefixedAll(Step s, const std::vector<Path>& ps) {
    std::vector<Path> out;
    out.reserve(ps.size());
    for (const Path& p : ps) out.push_back(prefixed(s, p));
    return out;
}

std::vector<Occurrences> prefixedPairs(Step s, const std::vector<Occurrences>& pairs) {
    std::vector<Occurrences> out;
    for (const auto& [x, ps] : pairs) out.emplace_back(x, prefixedAll(s, ps));
    return out;
}

std::vector<OccurrenceTriple> prefixedTriples(Step s, std::vector<OccurrenceTriple> triples) {
    for (auto& t : triples) t.paths = prefixedAll(s, t.paths);
    return triples;
}

template <class Entry>
std::vector<Entry> mergeEntries(const std::vector<Entry>& entries, const Expr& (*exprOf)(const Entry&),
                                std::vector<Path>& (*pathsOf)(Entry&)) {
    std::vector<Entry> out;
    for (Entry entry : entries) {
        auto equal = std::find_if(out.begin(), out.end(),
                                  [&](const Entry& old) { return sameUpToEta(exprOf(entry), exprOf(old)); });
        if (equal == out.end()) {
            out.push_back(std::move(entry));
            continue;
        }
        std::vector<Path>& ps = pathsOf(entry);
        ps.insert(ps.end(), pathsOf(*equal).begin(), pathsOf(*equal).end());
        *equal = std::move(entry);
    }
    return out;
}

const Expr& pairExpr(const Occurrences& o) { return o.first; }
std::vector<Path>& pairPaths(Occurrences& o) { return o.second; }
const Expr& tripleExpr(const OccurrenceTriple& t) { return t.expr; }
std::vector<Path>& triplePaths(OccurrenceTriple& t) { return t.paths; }

}  // namespace

std::vector<Occurrences> mergeOccurrences(const std::vector<Occurrences>& entries) {
    return mergeEntries<Occurrences>(entries, pairExpr, pairPaths);
}

std::vector<OccurrenceTriple> mergeOccurrenceTriples(const std::vector<OccurrenceTriple>& entries) {
    return mergeEntries<OccurrenceTriple>(entries, tripleExpr, triplePaths);
}

bool occursMoreThanOnce(const Occurrences& o) { return o.second.size() > 1; }

std::vector<OccurrenceTriple> subsubexps(const Expr& e) {
    const std::vector<Path> here{Path{}};
    switch (e.kind()) {
    case ExprKind::Var:
    case ExprKind::Con: return {OccurrenceTriple{e, here, {Occurrences{e, here}}}};
    case ExprKind::Lam: {
        std::vector<OccurrenceTriple> body = subsubexps(e.body());
        const std::vector<std::string> names = freeNames(e.pattern());
        std::vector<Occurrences> inner{Occurrences{e, here}};
        for (const auto& [x, ps] : body.front().inner)
            if (!invalid(names, x)) inner.emplace_back(x, prefixedAll(Step::Body, ps));
        std::vector<OccurrenceTriple> out{OccurrenceTriple{e, here, std::move(inner)}};
        for (auto& t : prefixedTriples(Step::Body, std::move(body))) out.push_back(std::move(t));
        return out;
    }
    case ExprKind::Ap: {
        std::vector<OccurrenceTriple> f = prefixedTriples(Step::First, subsubexps(e.fun()));
        std::vector<OccurrenceTriple> a = prefixedTriples(Step::Second, subsubexps(e.arg()));
        std::vector<Occurrences> both = prefixedPairs(Step::First, f.front().inner);
        for (auto& p : prefixedPairs(Step::Second, a.front().inner)) both.push_back(std::move(p));
        std::vector<Occurrences> inner{Occurrences{e, here}};
        for (auto& p : mergeOccurrences(both)) inner.push_back(std::move(p));
        std::vector<OccurrenceTriple> fa = std::move(f);
        for (auto& t : a) fa.push_back(std::move(t));
        std::vector<OccurrenceTriple> out{OccurrenceTriple{e, here, std::move(inner)}};
        for (auto& t : mergeOccurrenceTriples(fa)) out.push_back(std::move(t));
        return out;
    }
    case ExprKind::Let: patternFail(CodedFailure::SubSubexpressionsLet);
    }
    return {};
}

// --- local definitions ------------------------------------------------------------------------

Defs revAppendDefs(const Defs& ds, Defs acc) {
    for (const DefItem& d : ds) acc = mkOneDef(d.decl, acc, d.line);
    return acc;
}

std::pair<Expr, NameSupply> elim(const Expr& let, const Expr& x, const std::vector<Path>& paths,
                                 const NameSupply& supply) {
    if (!let.isLet()) patternFail(CodedFailure::EliminateNonLet);
    auto [name, rest] = nextName(supply);
    const Expr v = mkVar(name, exprType(x));
    const Expr& body = let.body();
    Defs defs = mkOneDef(mkFun(v, select(body, paths.front())), let.defs().defs, 0);
    Expr newBody = body;
    for (std::size_t i = paths.size(); i-- > 0;) newBody = replace(newBody, paths[i], v);
    return {mkLet(mkDList(std::move(defs)), newBody, let.lazyType()), rest};
}

Expr revdefs(const Expr& e) {
    if (!e.isLet()) patternFail(CodedFailure::ReverseDefinitionsNonLet);
    Defs reversed = revAppendDefs(e.defs().defs, mkNoDef());
    if (reversed.isEnd()) return e.body();
    return mkLet(mkDList(std::move(reversed)), e.body(), e.lazyType());
}

}  // namespace plim
