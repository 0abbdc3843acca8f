// Documents, rendering, and the combinators of the layout library as adapters on its nodes.
#include "layout/document.h"

#include <algorithm>
#include <cstdio>

#include "layout/nodes.h"
#include "scanning/string_literal.h"

namespace plim {

using namespace pretty_detail;

// --- texts -----------------------------------------------------------------------------------

std::string markerText(LayoutInt n) {
    if (n == 0) return "";
    if (n == 1) return "*";
    std::string out = "<";
    if (n > 2) out.append(static_cast<std::size_t>(n - 2), '*');
    return out + ">";
}

std::string blanks(LayoutInt n) {
    return n > 0 ? std::string(static_cast<std::size_t>(n), ' ') : std::string();
}

namespace pretty_detail {

std::string choiceCountError(LayoutInt left, LayoutInt right) {
    return "<Error: incorrect choice expression. #pars left " + std::to_string(left) + " /= #pars right " +
           std::to_string(right) + ">";
}

std::string applyCountError(LayoutInt params, LayoutInt args) {
    return "<Error: incorrect apply expression. #pars " + std::to_string(params) + " /= #args " +
           std::to_string(args) + ">";
}

// --- work budget -----------------------------------------------------------------------------

namespace {

// Thrown when a render has built more candidates than the budget allows.
struct BudgetExhausted {};

}  // namespace

void budgetExhausted() {
    throw BudgetExhausted{};
}

}  // namespace pretty_detail

// --- primitive documents -------------------------------------------------------------------

Doc textDoc(std::string text) {
    return Doc(textNode(std::move(text)));
}

Doc ppChar(char c) {
    // The one-character texts are made once and shared: parentheses and blanks are everywhere.
    return Doc(charNode(c));
}

Doc emptyDoc() {
    static const Doc doc(emptyNode());
    return doc;
}

// A character shows as in a string literal, but the apostrophe is escaped and the double quote is not.
std::string showChar(char c) {
    if (c == '\'') return "'\\''";
    if (c == '"') return "'\"'";
    const std::string literal = showStringLiteral(std::string(1, c));
    // Appended, not `"'" + std::string&&`: g++ 12 takes that for an overflowing copy.
    std::string shown = "'";
    shown.append(literal, 1, literal.size() - 2);
    shown += '\'';
    return shown;
}

std::string showCharList(const std::string& s) {
    return showStringLiteral(s);
}

// --- rendering -------------------------------------------------------------------------------

void negativeWidthText(std::string& out) {
    out += kNegativeWidthError;
}

void renderPairText(std::string& out) {
    out += kRenderPairError;
}

namespace {

// Runs a render (`body` writes to `out` and answers whether it rendered), its budget started
// afresh where it is the outermost one.  Past the budget, the outermost render's text is undone
// and false returned; a nested render passes it on.
template <class Body>
bool withinBudget(std::string& out, Body body) {
    if (budget.renders++ == 0) {
        budget.used = 0;
        budget.allowed = kCandidateBudget;
    }
    struct Leave {
        ~Leave() { --budget.renders; }
    } leave;
    const std::size_t start = out.size();
    try {
        return body();
    } catch (const BudgetExhausted&) {
        if (budget.renders != 1) throw;
        out.resize(start);
        return false;
    }
}

// The engine lays a document out at the line bound alone.
void renderDocAtBoundsTo(std::string& out, const Doc& d, const PageBounds& b) {
    const auto render = [&] {
        renderNode(out, d.node(), b.lineBound);
        return true;
    };
    if (!withinBudget(out, render))
        out += markerText(d.node()->sizes.width);
}

void writeStdout(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

}  // namespace

std::string renderDocAtBounds(const Doc& d, const PageBounds& b) {
    std::string out;
    renderDocAtBoundsTo(out, d, b);
    return out;
}

void renderDocTo(std::string& out, const Doc& d, LayoutInt width) {
    if (width < 0) {
        negativeWidthText(out);
        return;
    }
    renderDocAtBoundsTo(out, d, PageBounds(width, width));
}

void renderStackTo(std::string& out, std::size_t count, const std::function<Doc(std::size_t)>& partAt,
                   LayoutInt width) {
    if (width < 0) {
        negativeWidthText(out);
        return;
    }
    // Laid out part by part where the stack's layout is its parts' one below the other;
    // otherwise, or past the budget (the marker needs the whole stack's width), as a whole.
    const bool done = withinBudget(
        out, [&] { return renderMadeStack(out, count, [&partAt](std::size_t i) { return partAt(i).node(); }, width); });
    if (done) return;
    Doc stack = emptyDoc();
    for (std::size_t i = count; i-- > 0;) stack = aboveDoc(partAt(i), std::move(stack));
    renderDocTo(out, stack, width);
}

std::string renderDoc(const Doc& d, LayoutInt width) {
    std::string out;
    renderDocTo(out, d, width);
    return out;
}

void renderStdout(const Doc& d, LayoutInt width) {
    writeStdout(renderDoc(d, width));
}

void renderAllStdout(const Doc& d, LayoutInt width) {
    std::string out;
    if (width < 0) {
        out += kNegativeWidthError;
        out += "\n\n";
    } else {
        writeAllCandidates(out, d.node(), width);
    }
    writeStdout(out);
}

// --- plain combinators ---------------------------------------------------------------------

Doc besideDoc(Doc left, Doc right) {
    return Doc(besideNode(std::move(left).node(), std::move(right).node()));
}

Doc aboveDoc(Doc upper, Doc lower) {
    return Doc(aboveNode(std::move(upper).node(), std::move(lower).node()));
}

Doc joinDoc(Doc d) {
    return Doc(joinNode(std::move(d).node()));
}

Doc indentDoc(LayoutInt n, Doc d) {
    return Doc(indentNode(n, std::move(d).node()));
}

Doc filterDoc(Doc d) {
    return Doc(filterNode(std::move(d).node()));
}

Doc dupDoc(Doc x, Doc y) {
    return Doc(dupNode(std::move(x).node(), std::move(y).node()));
}

Doc zeroSizeDoc(Doc d) {
    return Doc(zeroSizeNode(std::move(d).node()));
}

// --- fill layouts and centred column ------------------------------------------------------

Doc fillDoc(Docs items) {
    return Doc(fillNode(true, 0, nodesOf(items)));
}

Doc fillBlockDoc(LayoutInt blockWidth, Docs items) {
    return Doc(fillNode(false, blockWidth, nodesOf(items)));
}

// Each item indented by half of what it lacks of the widest; where widths depend on the bound, by a node that measures.
Doc centredAboveList(Docs items) {
    if (std::any_of(items.begin(), items.end(), [](const Doc& d) { return d.node()->boundSizes; }))
        return Doc(centredNode(nodesOf(items)));
    LayoutInt widest = 0;
    for (const Doc& d : items) widest = std::max<LayoutInt>(widest, d.node()->sizes.width);
    Doc column = emptyDoc();
    for (Doc& d : items) {
        const LayoutInt lack = widest - d.node()->sizes.width;
        column = aboveDoc(std::move(column), indentDoc(lack / 2, std::move(d)));
    }
    return column;
}

// --- parameterised documents ------------------------------------------------------------

ParDoc::ParDoc(std::shared_ptr<const ParNode> node) : paramCount_(node->params), node_(std::move(node)) {}

ParDoc parDoc() {
    static const ParDoc hole(holeNode(ParNode::Kind::Hole));
    return hole;
}

ParDoc firstParDoc() {
    static const ParDoc hole(holeNode(ParNode::Kind::First));
    return hole;
}

ParDoc secondParDoc() {
    static const ParDoc hole(holeNode(ParNode::Kind::Second));
    return hole;
}

ParDoc liftParDoc(Doc d) {
    return ParDoc(liftNode(std::move(d).node()));
}

ParDoc filterParDoc(ParDoc p) {
    return ParDoc(parUnaryNode(ParNode::Kind::Filter, p.node()));
}

ParDoc besideParDoc(ParDoc left, ParDoc right) {
    return ParDoc(parBinaryNode(ParNode::Kind::Beside, left.node(), right.node()));
}

ParDoc aboveParDoc(ParDoc upper, ParDoc lower) {
    return ParDoc(parBinaryNode(ParNode::Kind::Above, upper.node(), lower.node()));
}

ParDoc joinParDoc(ParDoc p) {
    return ParDoc(parUnaryNode(ParNode::Kind::Join, p.node()));
}

ParDoc indentParDoc(LayoutInt n, ParDoc p) {
    return ParDoc(parUnaryNode(ParNode::Kind::Indent, p.node(), n));
}

ParDoc choiceParDoc(ParDoc left, ParDoc right) {
    return ParDoc(parBinaryNode(ParNode::Kind::Choice, left.node(), right.node()));
}

Doc applyParDoc(ParDoc p, Docs args) {
    return Doc(applyNode(p.node(), nodesOf(args)));
}

ParDoc substParDoc(ParDoc outer, std::vector<ParDoc> inners) {
    std::vector<ParNodeRef> innerNodes;
    innerNodes.reserve(inners.size());
    for (const ParDoc& d : inners) innerNodes.push_back(d.node());
    return ParDoc(substNode(outer.node(), std::move(innerNodes)));
}

}  // namespace plim
