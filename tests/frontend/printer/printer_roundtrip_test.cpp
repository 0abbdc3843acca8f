// Reading, printing and reading again gives the same tree wherever the printed form is valid
// input: the example programs and theories, and a table of expressions.  The constructs whose
// printed form is not valid input are named in the last test.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "frontend/reader/reader.h"
#include "frontend/printer/printer.h"
#include "frontend/printer/printer_test_util.h"
#include "support/big_stack.h"
#include "layout/combinators.h"

namespace plim {
namespace {

using namespace pptest;

// --- structural equality, ignoring source lines and expression types ----------------------

bool sameDefs(const Defs& a, const Defs& b);

bool sameExpr(const Expr& a0, const Expr& b0) {
    std::vector<std::pair<Expr, Expr>> todo{{a0, b0}};
    while (!todo.empty()) {
        auto [a, b] = todo.back();
        todo.pop_back();
        if (a.kind() != b.kind()) return false;
        switch (a.kind()) {
        case ExprKind::Lam:
            todo.emplace_back(a.pattern(), b.pattern());
            todo.emplace_back(a.body(), b.body());
            break;
        case ExprKind::Let:
            if (!sameDefs(a.defs().defs, b.defs().defs)) return false;
            todo.emplace_back(a.body(), b.body());
            break;
        case ExprKind::Ap:
            todo.emplace_back(a.fun(), b.fun());
            todo.emplace_back(a.arg(), b.arg());
            break;
        case ExprKind::Var:
            if (a.name() != b.name()) return false;
            break;
        case ExprKind::Con:
            if (!eqConstant(a.constant(), b.constant())) return false;
            break;
        }
    }
    return true;
}

bool sameTypes(const std::vector<Type>& a, const std::vector<Type>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!eqType(a[i], b[i])) return false;
    return true;
}

bool sameDecl(const Decl& a, const Decl& b) {
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
    case DeclKind::Fun: return sameExpr(a.fun().lhs, b.fun().lhs) && sameExpr(a.fun().rhs, b.fun().rhs);
    case DeclKind::Dec: return sameExpr(a.dec().name, b.dec().name) && eqType(a.dec().type, b.dec().type);
    case DeclKind::Data: {
        std::vector<Alt> x = a.data().alts.toVector(), y = b.data().alts.toVector();
        if (!eqType(a.data().type, b.data().type) || x.size() != y.size()) return false;
        for (std::size_t i = 0; i < x.size(); ++i)
            if (x[i].name != y[i].name || !sameTypes(x[i].args, y[i].args)) return false;
        return true;
    }
    }
    return false;
}

bool sameDefs(const Defs& a, const Defs& b) {
    std::vector<DefItem> x = a.toVector(), y = b.toVector();
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i)
        if (!sameDecl(x[i].decl, y[i].decl)) return false;
    return true;
}

bool sameEqn(const Eqn& a, const Eqn& b) { return sameExpr(a.lhs, b.lhs) && sameExpr(a.rhs, b.rhs); }

bool sameTheo(const Theo& a, const Theo& b) {
    std::vector<TheoItem> x = a.toVector(), y = b.toVector();
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i].kind() != y[i].kind()) return false;
        if (x[i].kind() == TheoKind::DefnTheo) {
            if (x[i].defnName() != y[i].defnName()) return false;
            continue;
        }
        const Ceq &c = x[i].ceq(), &d = y[i].ceq();
        std::vector<Eqn> cc = c.conds.toVector(), dc = d.conds.toVector();
        if (c.label != d.label || !sameEqn(c.eqn, d.eqn) || cc.size() != dc.size()) return false;
        for (std::size_t j = 0; j < cc.size(); ++j)
            if (!sameEqn(cc[j], dc[j])) return false;
    }
    return true;
}

bool sameElems(const Elems& a, const Elems& b) {
    std::vector<ElemItem> x = a.toVector(), y = b.toVector();
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const Elem &e = x[i].elem, &f = y[i].elem;
        if (e.kind() != f.kind()) return false;
        if (e.kind() == ElemKind::DefElem) {
            if (!sameDecl(e.decl(), f.decl())) return false;
            continue;
        }
        const Rewrite &r = e.rewrite(), &s = f.rewrite();
        if (r.name != s.name || r.names != s.names || !sameDefs(r.redefs.defs, s.redefs.defs) ||
            !sameDefs(r.specs.defs, s.specs.defs) || !sameTheo(r.theory.elems, s.theory.elems))
            return false;
    }
    return true;
}

// --- readers -----------------------------------------------------------------------------

std::string exampleText(const std::string& name) {
    std::ifstream in(std::string(PLIM_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Expr readExpr(const std::string& text) {
    std::ostringstream log;
    Expr e = parseExpression(text, log);
    EXPECT_EQ(log.str(), "") << text;
    return e;
}

Theory readTheory(const std::string& text) {
    std::ostringstream log;
    Theory t = parseTheory(text, log);
    EXPECT_EQ(log.str(), "") << text;
    return t;
}

SourceFile readSource(const std::string& text) {
    Reading<SourceFile> r = readProgram(text);
    EXPECT_EQ(r.messages, "") << text;
    return r.value.get();
}

const std::vector<std::string> kPrograms = {"mapfusion.p", "foldfusion.p", "accumulation.p"};
const std::vector<std::string> kTheories = {"mapfusion.eq", "foldfusion.eq", "accumulation.eq"};

TEST(PrintRoundTrip, ExamplePrograms) {
    for (const std::string& name : kPrograms) {
        const std::string text = exampleText(name);
        ASSERT_FALSE(text.empty()) << name;
        const SourceFile first = readSource(text);
        for (LayoutInt width : {160, 80}) {
            const std::string printed = renderDoc(showProgram(first.elems), width);
            const SourceFile second = readSource(printed);
            EXPECT_TRUE(sameElems(first.elems, second.elems)) << name << " at width " << width << ":\n" << printed;
            EXPECT_EQ(renderDoc(showProgram(second.elems), width), printed) << name;
        }
    }
}

// The interpreter's listing, written part by part, is the text of the whole document at every
// width, where parts fit and where they show markers, and past the budget.
TEST(PrintRoundTrip, ListingPartByPartIsTheWholeDocument) {
    for (const std::string& name : kPrograms) {
        const SourceFile file = readSource(exampleText(name));
        for (LayoutInt width = -1; width <= 90; ++width) {
            std::string parts = "before ";
            renderProgramTo(parts, file.elems, width);
            std::string whole = "before ";
            renderDocTo(whole, showProgram(file.elems), width);
            EXPECT_EQ(parts, whole) << name << " at width " << width;
        }
    }
}

TEST(PrintRoundTrip, ExampleTheories) {
    for (const std::string& name : kTheories) {
        const std::string text = exampleText(name);
        ASSERT_FALSE(text.empty()) << name;
        const Theory first = readTheory(text);
        const std::string printed = renderAtPrinterBounds(ppTheo(first.elems));
        const Theory second = readTheory(printed);
        EXPECT_TRUE(sameTheo(first.elems, second.elems)) << name << ":\n" << printed;
        std::vector<RuleTriple> rules;
        for (const TheoryItem& item : theoItems(first.elems))
            if (const RuleTriple* r = std::get_if<RuleTriple>(&item)) rules.push_back(*r);
        const Theory third = readTheory(showTheory(rules));
        EXPECT_EQ(third.elems.length(), rules.size()) << name;
    }
}

TEST(PrintRoundTrip, Expressions) {
    const std::vector<std::string> texts = {
        "f x y",
        "f (g x) (h y z)",
        "a + b * c - d",
        "(a + b) * c",
        "a - b - c",
        "a - (b - c)",
        "a ++ b ++ c",
        "(a ++ b) ++ c",
        "x : xs ++ ys",
        "f . g . h",
        "[1, 2, 3]",
        "[]",
        "(a, b)",
        "(a, (b, c), [d])",
        "(+)",
        "(mod)",
        "(+) 1",
        "(a + b) c",
        "\\ x y -> x + y",
        "\\ (a, b) -> a",
        "\\ x (a, b) [c] -> c",
        "if a < b then a else b",
        "f (if c then 1 else 2) x",
        "(if c then f else g) x",
        "x mod 2 == 0 && not (y >= 3) || z",
        "let y = 1 in y + 1",
        "y + z where { y = 1; z = 2 }",
        "f (y where y = 1) x",
        "g (\\ x -> x) (let a = b in a)",
        "2.5 *. x +. 0.5",
        "1234567.0",
        "True && False",
        "Node Leaf 1 Leaf",
        "xs ! 0 ^ 2 / 3",
        "f x y where { f a b = a; g = \\ c -> c }",
    };
    for (const std::string& text : texts) {
        const Expr first = readExpr(text);
        const std::string printed = showExpr(first);
        const Expr second = readExpr(printed);
        EXPECT_TRUE(sameExpr(first, second)) << text << " printed as " << printed;
    }
}

TEST(PrintRoundTrip, LongListLiteral) {
    runOnLargeStack([] {
        std::string text = "f [";
        for (int i = 0; i < 20; ++i) text += std::to_string(i) + (i < 19 ? ", " : "]");
        const Expr first = readExpr(text);
        EXPECT_TRUE(sameExpr(first, readExpr(showExpr(first))));
    });
}

// Printed forms that the reader does not take back: what each one reads as instead.
TEST(PrintRoundTrip, PrintedFormsThatAreNotInput) {
    const Expr f = var("f"), a = var("a"), b = var("b");
    struct Case {
        const char* construct;
        Expr tree;
        std::string printed;
    };
    const std::vector<Case> cases = {
        // A negative literal: "-" is the minus operator, so as an argument it subtracts.
        {"negative literal as argument", ap(f, num(-1)), "f -1"},
        // After another minus sign it even starts a comment.
        {"negative literal after minus", binop(Op::Min, a, num(-1)), "a - -1"},
        // Literals have no exponent: "1.0e-2" reads as 1.0, then e, minus and 2.
        {"float in scientific notation", fnum(0.01f), "1.0e-2"},
        {"negative float", fnum(-0.5f), "-0.5"},
        // "Tuple" and "If" are ordinary constructor names to the reader.
        {"partly applied tuple", ap(con(mkTuple(2)), a), "Tuple 2 a"},
        {"conditional with fewer than three arguments", ap(con(mkIf()), a), "If a"},
        // The error constant prints as a constructor name.
        {"error constant", con(mkError()), "Error"},
        // Application used as an operator reads back as plain application.
        {"application operator", binop(Op::App, f, a), "f   a"},
        // A local definition without definitions: "where" needs a definition after it.
        {"empty where block", let({}, a), "a\nwhere "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(showExpr(c.tree), c.printed) << c.construct;
        std::ostringstream log;
        const Expr back = parseExpression(c.printed, log);
        const bool takenBack = log.str().empty() && sameExpr(back, c.tree);
        EXPECT_FALSE(takenBack) << c.construct;
    }
    // A listing laid out at a width it cannot fit shows the too-wide marker in place of the
    // part that does not fit: here the second REDEFINE definition at width 40.
    const SourceFile file = readSource(exampleText("accumulation.p"));
    EXPECT_NE(renderDoc(showProgram(file.elems), 40).find("= divide (sumlen xs);<*"), std::string::npos);
    // A type constructor applied to a constructor name and more reads the name as applied to
    // the rest: Pair Int Bool is Pair (Int Bool) to the reader.
    EXPECT_EQ(showType(tcon("Pair", {tcon("Int"), tcon("Bool")})), "Pair Int Bool");
}

}  // namespace
}  // namespace plim
