#include "engine/calculations/calculation.h"

#include <algorithm>
#include <string_view>

#include "engine/rewriting/positions.h"
#include "frontend/printer/expressions.h"
#include "lang/expressions.h"

namespace plim {

// --- text -----------------------------------------------------------------------------------

Expr displayForm(const Expr& e) {
    if (firstOrderRepeatsNothing(e)) return e;  // nothing to share, no redex, no let
    const NameSupply supply0 = freshFor(e, {})(initialNameSupply());
    auto [shared, s1] = shareCommon(CtxExpr{e, {}}, supply0);
    auto [shown, s2] = csesTop(shared, s1);
    return nearbetas(shown.first);
}

namespace {

// The widest line of the text.
std::size_t widestLine(std::string_view text) {
    std::size_t widest = 0;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        widest = std::max(widest, end - at);
        at = end + 1;
    }
    return widest;
}

// A text the renderer answers in place of a layout: a marker ("<***>"), the pair error, nothing.
bool standsInForLayout(std::string_view text) {
    std::string pair;
    renderPairText(pair);
    return text.empty() || text == pair || text.find_first_not_of("<*>") == std::string_view::npos;
}

// The text of `indentDoc(indent, d)` at the width, when it is d's first layout at the width less
// the indentation with the indentation put before each line: where that layout fits (an
// indentation keeps the candidates from the first that fits) and is a layout.  Only the first
// layout of d is then made, where the indentation would have made them all.
bool renderIndentedFirst(std::string& out, LayoutInt width, LayoutInt indent, const Doc& d) {
    if (indent > width) return false;
    std::string text;
    renderDocTo(text, d, width - indent);
    if (standsInForLayout(text) || static_cast<LayoutInt>(widestLine(text)) > width - indent) return false;
    const std::string blanks(static_cast<std::size_t>(indent), ' ');
    out.reserve(out.size() + text.size() + blanks.size() * (std::count(text.begin(), text.end(), '\n') + 1));
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        if (at > 0) out += '\n';
        out += blanks;
        out.append(text, at, end - at);
        at = end + 1;
    }
    return true;
}

// Whether the next expression of a derivation is worth a try of its first layout alone: after a
// try that did not serve (the expression does not fit, and the steps of a derivation seldom
// change that), the next 1, 2, 4, ... up to kMostSkipped expressions are laid out in full
// without one, so that a derivation that never fits pays for few tries.
class FirstLayoutTries {
public:
    bool worthTrying() {
        if (skip_ == 0) return true;
        --skip_;
        return false;
    }
    void record(bool served) {
        failures_ = served ? 0 : std::min<std::size_t>(2 * failures_ + 1, kMostSkipped);
        skip_ = failures_;
    }

private:
    static constexpr std::size_t kMostSkipped = 64;
    std::size_t failures_ = 0;
    std::size_t skip_ = 0;
};

// The documents and tries of one derivation's expressions.
struct DerivationLayout {
    ExprDocCache docs;
    FirstLayoutTries tries;
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
    bool served = false;
    if (derivation == nullptr || derivation->tries.worthTrying()) {
        served = renderIndentedFirst(out, width, n + 3, d);
        if (derivation != nullptr) derivation->tries.record(served);
    }
    if (!served) renderDocTo(out, indentDoc(n + 3, d), width);
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
