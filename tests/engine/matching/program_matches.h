// Matches as the match commands run them, with a bundled example program loaded: pattern
// and term read and checked against the program's names as one equation, the fresh names
// of a one-step or two-step match drawn from outside both, and the results written as the
// commands write them.
#pragma once

#include <algorithm>
#include <optional>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/matcher.h"
#include "engine/matching/substitutions.h"
#include "frontend/assembly/assembly.h"
#include "frontend/reader/reader.h"
#include "frontend/typecheck/checker.h"
#include "lang/expressions.h"

namespace plim::progtest {

inline std::string readSource(const std::string& relative) {
    std::ifstream in(std::string(PLIM_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The example program examples/<name>.p, assembled.
inline ProgramInfo loadExample(const std::string& name) {
    Reading<SourceFile> r = readProgram(readSource("examples/" + name + ".p"));
    return assembleProgram(r.value.get()).info;
}

inline const ProgramInfo& mapfusion() {
    static const ProgramInfo info = loadExample("mapfusion");
    return info;
}

// A program of small polymorphic functions over numbers, booleans, lists, pairs and trees, for
// probing the matchers.
inline const char* const kProbeSignature = R"(data Tree a = Leaf | Node (Tree a) a (Tree a);
map :: (a -> b) -> [a] -> [b];
map f [] = [];
map f (x : xs) = f x : map f xs;
foldr :: (a -> b -> b) -> b -> [a] -> b;
foldr f e [] = e;
foldr f e (x : xs) = f x (foldr f e xs);
inc :: Int -> Int;
inc x = x + 1;
square :: Int -> Int;
square x = x * x;
neg :: Bool -> Bool;
neg b = if b then False else True;
ident :: a -> a;
ident x = x;
konst :: a -> b -> a;
konst x y = x;
twice :: (a -> a) -> a -> a;
twice f x = f (f x);
swap :: (a, b) -> (b, a);
swap (x, y) = (y, x);
first :: (a, b) -> a;
first (x, y) = x;
len :: [a] -> Int;
len [] = 0;
len (x : xs) = 1 + len xs;
)";

inline const ProgramInfo& probeSignature() {
    static const ProgramInfo info = [] {
        Reading<SourceFile> r = readProgram(kProbeSignature);
        return assembleProgram(r.value.get()).info;
    }();
    return info;
}

inline Lazy<DefnRules> noDefinitions() {
    return Lazy<DefnRules>::defer([]() -> DefnRules { failInternal("no DEFINITION headers here"); });
}

// lhs = rhs checked as a one-equation theory; the reports, or the checked sides.
struct Checked {
    std::string reports;
    Expr lhs;
    Expr rhs;
};

inline Checked checkPair(const ProgramInfo& info, const Expr& lhs, const Expr& rhs) {
    const Theo theo = mkCeqTheo(mkCeq("", mkNoEq(), mkEqn(lhs, rhs), 0), mkNoTheo());
    TheoryCheck check = checkTheory(theo, delay([info] { return info.programCheckEnv(); }), noDefinitions());
    std::string reports;
    for (const std::string& m : check.messages) reports += m;
    const std::vector<Rule>& rules = check.rules.get();
    if (!reports.empty() || rules.size() != 1) return Checked{reports.empty() ? "no rule" : reports, lhs, rhs};
    return Checked{"", unlet(rules.front().equation.first), unlet(rules.front().equation.second)};
}

// The checked sides of lhs = rhs whatever the reports say, as the match commands take them
// on; nothing where the check gives no single rule (the commands stop there with a user error).
inline std::optional<std::pair<Expr, Expr>> equationDespiteReports(const ProgramInfo& info, const Expr& lhs,
                                                                   const Expr& rhs) {
    const Theo theo = mkCeqTheo(mkCeq("", mkNoEq(), mkEqn(lhs, rhs), 0), mkNoTheo());
    TheoryCheck check = checkTheory(theo, delay([info] { return info.programCheckEnv(); }), noDefinitions());
    const std::vector<Rule>& rules = check.rules.get();
    if (rules.size() != 1 || !rules.front().conditions.empty()) return std::nullopt;
    return rules.front().equation;
}

// Pattern and term of an ill-typed pair as the match commands go on with them after the
// reports: each side checked alone (any type), then both as one equation.
inline std::optional<std::pair<Expr, Expr>> checkedDespiteReports(const Expr& pattern, const Expr& term,
                                                                  const ProgramInfo& info) {
    const Expr anyType = mkCon(mkError(), mkTAbs({"a"}, mkTid("a")));
    const auto p = equationDespiteReports(info, pattern, anyType);
    const auto t = equationDespiteReports(info, term, anyType);
    if (!p || !t) return std::nullopt;
    return equationDespiteReports(info, unlet(p->first), unlet(t->first));
}

// Pattern and term as the match commands read them: each checked alone (any type), then
// both as one equation.
inline Checked readPair(const std::string& pattern, const std::string& term,
                        const ProgramInfo& info = mapfusion()) {
    std::ostringstream repairs;
    const Expr anyType = mkCon(mkError(), mkTAbs({"a"}, mkTid("a")));
    const Expr p = parseExpression(pattern, repairs);
    const Expr t = parseExpression(term, repairs);
    Checked cp = checkPair(info, p, anyType);
    Checked ct = checkPair(info, t, anyType);
    if (!repairs.str().empty() || !cp.reports.empty() || !ct.reports.empty())
        return Checked{repairs.str() + cp.reports + ct.reports, p, t};
    return checkPair(info, cp.lhs, ct.lhs);
}

// The names that neither side uses, as the match commands draw them.
inline NameSupply supplyOutside(const Expr& pattern, const Expr& term) {
    std::vector<std::string> used = allNames(pattern);
    for (const std::string& n : allNames(term))
        if (std::find(used.begin(), used.end(), n) == used.end()) used.push_back(n);
    return NameSupply{varNames().without(used), varNames()};
}

enum class Kind { Simple, OneStep, TwoStep };

inline MatchResults runMatch(const MatcherRef& m, Kind kind, const Expr& p, const Expr& t) {
    switch (kind) {
    case Kind::Simple: return m->matchSimple(p, t);
    case Kind::OneStep: return m->matchOneStep(p, atTop(t), supplyOutside(p, t)).results;
    case Kind::TwoStep: return m->matchTwoStep(p, atTop(t), supplyOutside(p, t)).results;
    }
    return MatchResults();
}

// What the command prints: each result's bindings, an empty line and "---".
inline std::string matchOutput(const MatcherRef& m, Kind kind, const std::string& pattern, const std::string& term,
                               const ProgramInfo& info = mapfusion()) {
    const Checked c = readPair(pattern, term, info);
    if (!c.reports.empty()) return "reports: " + c.reports;
    std::string out;
    for (List<MatchResult> at = runMatch(m, kind, c.lhs, c.rhs); !at.empty(); at = at.tail())
        out += showSubstBlock(at.head().subst);
    return out;
}

// A part that applies a variable to itself (g g, which no binding types), and the term it
// stands against: the pair behind the tests of copies of such a part.
inline const std::string kSelfAppliedPart = "(q (\\ a -> ident) (g g (1, True)) [0])";
inline const std::string kSelfAppliedPartTerm = "(foldr (\\ a -> ident) (konst 1 (1, True)) [0])";

// The pattern of copies of one part x standing as the leaves of a tuple argument, nested as
// ((x, x), x) for three: "f " followed by that tuple (f x for one copy).
inline std::string headOfCopies(const std::string& x, int copies) {
    std::string arg = x;
    for (int i = 1; i < copies; ++i) arg = "(" + arg + ", " + x + ")";
    return "f " + arg;
}

// How many results a pair whose check reports a type error gives, taken on as the match
// commands take it (the probe signature loaded); -1 when the check leaves no equation.
inline long resultCountDespiteReports(const MatcherRef& m, Kind kind, const std::string& pattern,
                                      const std::string& term) {
    const Checked read = readPair(pattern, term, probeSignature());
    const auto both = checkedDespiteReports(read.lhs, read.rhs, probeSignature());
    if (!both) return -1;
    long n = 0;
    for (List<MatchResult> at = runMatch(m, kind, both->first, both->second); !at.empty(); at = at.tail()) ++n;
    return n;
}

}  // namespace plim::progtest
