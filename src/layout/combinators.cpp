// Higher-level layouts: enclosing, lists, horizontal-or-vertical lists, Printable instances, small helpers.
#include "layout/combinators.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "layout/nodes.h"
#include "support/lazy.h"

namespace plim {

using namespace pretty_detail;

// --- Printable instances -------------------------------------------------------------------

std::string showFloat(float x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "Infinity" : "-Infinity";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, x);
    std::string s(buf, res.ptr);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

// --- enclosing -----------------------------------------------------------------------------

// The nodes composed at once, as besideDoc would compose them: the printer encloses and spaces out most of its parts.
Doc encloseDoc(char open, char close, Doc d) {
    return Doc(enclosedNode(open, std::move(d).node(), close));
}

Doc besideSpace(Doc a, Doc b) {
    return Doc(spacedNode(std::move(a).node(), std::move(b).node()));
}

// --- lists of documents --------------------------------------------------------------------

Doc aboveList(Docs items) {
    if (items.empty()) return emptyDoc();
    return Doc(aboveListNode(nodesOf(items)));
}

Doc besideSpaceList(Docs items) {
    Doc acc = emptyDoc();
    for (auto it = items.rbegin(); it != items.rend(); ++it) acc = besideSpace(*it, acc);
    return acc;
}

Doc filteredBesideList(Docs items) {
    if (items.empty()) return emptyDoc();
    Doc acc = filterDoc(items.back());
    for (auto it = items.rbegin() + 1; it != items.rend(); ++it) acc = besideDoc(filterDoc(*it), acc);
    return acc;
}

Doc paddedTextDoc(LayoutInt n, const std::string& s) {
    const auto len = static_cast<LayoutInt>(s.size());
    if (len > n) return ppString(s);
    std::string padded = s;
    padded.append(static_cast<std::size_t>(n - len), ' ');
    return textDoc(std::move(padded));
}

std::string renderLines(LayoutInt width, const std::vector<Doc>& docs) {
    std::string out;
    for (const Doc& d : docs) {
        renderDocTo(out, d, width);
        out += '\n';
    }
    return out;
}

// --- building blocks on parameterised documents ------------------------------------------

ParDoc bestOfParDoc(ParDoc l, ParDoc r) {
    return joinParDoc(choiceParDoc(std::move(l), std::move(r)));
}

ParDoc stringBesideParDoc(const std::string& s, ParDoc p) {
    return besideParDoc(liftParDoc(ppString(s)), std::move(p));
}

ParDoc besideSpaceParDoc(ParDoc l, ParDoc r) {
    return besideParDoc(std::move(l), stringBesideParDoc(" ", std::move(r)));
}

// --- horizontal or vertical ----------------------------------------------------------------

namespace {

// An item on one line before the rest's first alternative, or above the rest's second.
ParDoc hvStep() {
    static const ParDoc step = choiceParDoc(besideParDoc(filterParDoc(parDoc()), firstParDoc()),
                                            aboveParDoc(parDoc(), secondParDoc()));
    return step;
}

Doc emptyPairDoc() {
    static const Doc pair = dupDoc(emptyDoc(), emptyDoc());
    return pair;
}

}  // namespace

Doc hvList(Docs items) {
    Doc alternatives = emptyPairDoc();
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        alternatives = applyParDoc(hvStep(), std::vector<Doc>{*it, alternatives});
    return joinDoc(alternatives);
}

Doc hvSpList(Docs items) {
    if (items.empty()) return emptyDoc();
    return Doc(hvSpListNode(items));
}

Doc spacedListDoc(Doc* head, std::span<Doc> items, bool parens) {
    return Doc(spacedListNode(head, items, parens));
}

// --- conditional and block layouts -----------------------------------------------------------

namespace {

ParDoc p() {
    return parDoc();
}

// p1 beside (p2 above p3), or p1 above (p2 above p3).
ParDoc branchesLayout() {
    static const ParDoc layout =
        substParDoc(joinParDoc(choiceParDoc(besideParDoc(p(), p()), aboveParDoc(p(), p()))),
                    std::vector<ParDoc>{p(), aboveParDoc(p(), p())});
    return layout;
}

ParDoc ifThenElseLayout() {
    static const ParDoc layout = joinParDoc(
        choiceParDoc(filterParDoc(besideParDoc(p(), besideParDoc(p(), besideParDoc(p(), p())))),
                     aboveParDoc(branchesLayout(), p())));
    return layout;
}

// The first item of a block steps to the rest as an item of hvList does.
ParDoc blockFirstStep() {
    return hvStep();
}

ParDoc blockItemStep(LayoutInt itemIndent) {
    return choiceParDoc(besideParDoc(p(), besideParDoc(filterParDoc(p()), firstParDoc())),
                        aboveParDoc(besideParDoc(p(), indentParDoc(itemIndent, p())), secondParDoc()));
}

Doc emptyBlock(const std::string& open, const std::string& close) {
    return hvList(std::vector<Doc>{nonEmptyDoc(open), nonEmptyDoc(close)});
}

}  // namespace

Doc ifThenElseParts(Doc ifPart, Doc thenPart, Doc elsePart, Doc closing) {
    return applyParDoc(ifThenElseLayout(),
                       docList(std::move(ifPart), std::move(thenPart), std::move(elsePart), std::move(closing)));
}

Doc blockDoc(const std::string& open, const std::string& close, const std::string& separator,
             Docs items) {
    if (items.empty()) return emptyBlock(open, close);
    const auto lo = static_cast<LayoutInt>(open.size());
    const auto ls = static_cast<LayoutInt>(separator.size());
    const LayoutInt m = std::max(ls, lo);
    Doc first = besideDoc(nonEmptyDoc(open), indentDoc(m - lo, items.front()));
    Doc rest = applyParDoc(choiceParDoc(indentParDoc(m - lo, p()), p()), std::vector<Doc>{nonEmptyDoc(close)});
    const ParDoc step = blockItemStep(m - ls);
    const Doc sep = nonEmptyDoc(separator);
    for (std::size_t i = items.size(); i-- > 1;) rest = applyParDoc(step, std::vector<Doc>{sep, items[i], rest});
    return joinDoc(applyParDoc(blockFirstStep(), std::vector<Doc>{first, rest}));
}

Doc blockFillDoc(LayoutInt blockWidth, const std::string& open, const std::string& close,
                 const std::string& separator, Docs items) {
    if (items.empty()) return emptyBlock(open, close);
    const auto lead = std::max<LayoutInt>(0, static_cast<LayoutInt>(separator.size()) - 1);
    std::vector<Doc> parts{nonEmptyDoc(open), besideDoc(textDoc(blanks(lead)), items.front())};
    for (std::size_t i = 1; i < items.size(); ++i) parts.push_back(besideDoc(nonEmptyDoc(separator), items[i]));
    Doc body = fillBlockDoc(blockWidth, std::move(parts));
    static const ParDoc closeAfterBody =
        joinParDoc(choiceParDoc(filterParDoc(besideParDoc(p(), p())), aboveParDoc(p(), p())));
    return applyParDoc(closeAfterBody, std::vector<Doc>{body, nonEmptyDoc(close)});
}

// --- small helpers -----------------------------------------------------------------------------

Doc spaceDoc() {
    static const Doc blank = ppChar(' ');
    return blank;
}

const List<char>& endlessBlanks() {
    // One cell whose tail is the cell itself.  It lives as long as the program.
    static const List<char>* blanks = new List<char>(List<char>::defer([] { return List<char>::cons(' ', *blanks); }));
    return *blanks;
}

}  // namespace plim
