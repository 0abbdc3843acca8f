#include "engine/calculations/calculation.h"

#include <string_view>

#include "engine/rewriting/common_subexpressions.h"
#include "frontend/printer/expressions.h"
#include "lang/expressions.h"

namespace plim {

// --- text -----------------------------------------------------------------------------------

Expr displayForm(const Expr& e) {
    auto supplyFor = [&e] { return freshFor(e, {})(initialNameSupply()); };
    if (!e.holdsAny(ExprHolds::Lam | ExprHolds::Let)) {
        // The lambda-free shortcut (named in common_subexpressions.h): without lambdas there
        // is no body to share in and no redex, so the let of shareCommon, with names fresh
        // for e made only when something is shared, is the display form.
        auto written = shareLambdaFree(e, {}, supplyFor);
        return written ? written->first : e;
    }
    const NameSupply supply0 = supplyFor();
    auto [shared, s1] = shareCommon(CtxExpr{e, {}}, supply0);
    auto [shown, s2] = csesTop(shared, s1);
    return nearbetas(shown.first);
}

namespace {

// The documents of one derivation's expressions.
struct DerivationLayout {
    ExprDocCache docs;
};

// layoutExpr, with the documents of the subexpressions it shares with the expression laid out
// before taken from the cache where there is one; the cache then keeps this expression's.
std::string layoutExpr(LayoutInt width, LayoutInt n, const Expr& e, DerivationLayout* derivation) {
    std::string out;
    if (width < 0) {
        negativeWidthText(out);
        return out;
    }
    const Expr shown = displayForm(e);
    const Doc d = derivation != nullptr ? ppExpr(0, shown, derivation->docs) : ppExpr(0, shown);
    renderDocTo(out, indentDoc(n + 3, d), width);
    if (derivation != nullptr) derivation->docs.endRound();
    return out;
}

}  // namespace

std::string layoutExpr(LayoutInt width, LayoutInt n, const Expr& e) { return layoutExpr(width, n, e, nullptr); }

namespace {

std::string hint(LayoutInt width, LayoutInt n, const Calculation& c) {
    std::string out = c.label();
    if (!c.isConditional()) return out;
    const std::vector<Derivation>& nested = c.conditions();
    if (!nested.empty()) {
        out += "\n\n";
        for (std::size_t i = 0; i < nested.size(); ++i) {
            if (i > 0) out += "\n\n";
            out += showCalculation(width, n + 3, nested[i].start, nested[i].steps);
        }
    }
    out += "\n";
    out += std::string(static_cast<std::size_t>(n), ' ');
    out += " ";
    return out;
}

std::string stepText(LayoutInt width, LayoutInt n, const CalcStep& step, DerivationLayout& derivation) {
    std::string out(static_cast<std::size_t>(n), ' ');
    out += "= { ";
    out += hint(width, n, step.first);
    out += " }\n";
    out += layoutExpr(width, n, step.second, &derivation);
    return out;
}

}  // namespace

void writeCalculation(LayoutInt width, LayoutInt n, const Expr& start, CalcSteps steps, const TextSink& sink) {
    // Each step's expression shares all but the path to its redex with the one before.
    DerivationLayout derivation;
    sink(layoutExpr(width, n, start, &derivation) + "\n");
    bool first = true;
    while (!steps.empty()) {
        std::string piece = first ? std::string() : std::string("\n");
        piece += stepText(width, n, steps.head(), derivation);
        first = false;
        steps = steps.tail();
        sink(piece);
    }
}

std::string showCalculation(LayoutInt width, LayoutInt n, const Expr& start, const CalcSteps& steps) {
    std::string out;
    writeCalculation(width, n, start, steps, [&out](std::string_view piece) { out += piece; });
    return out;
}

}  // namespace plim
