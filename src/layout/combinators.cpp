// Higher-level layouts: enclosing, lists, horizontal-or-vertical lists and the Printable
// instances for strings and numbers.
#include "layout/combinators.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <iterator>

#include "layout/rules_internal.h"
#include "layout/engines.h"
#include "layout/nodes.h"

namespace plim {

using namespace pretty_detail;

// --- Printable instances -------------------------------------------------------------------

std::string showString(const std::string& s) {
    return showCharList(s);
}

std::string showInt(std::int32_t n) {
    return std::to_string(n);
}

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

// Where the parts are trees, their nodes are composed at once, as besideDoc would compose them:
// the printer encloses and spaces out most of its parts.
Doc encloseDoc(char open, char close, Doc d) {
    if (allTrees({&d})) return Doc(enclosedNode(open, std::move(d).node(), close));
    return besideDoc(ppChar(open), besideDoc(std::move(d), ppChar(close)));
}

Doc besideSpace(Doc a, Doc b) {
    if (allTrees({&a, &b})) return Doc(spacedNode(std::move(a).node(), std::move(b).node()));
    return besideDoc(std::move(a), besideDoc(ppChar(' '), std::move(b)));
}

Doc parensDoc(Doc d) {
    return encloseDoc('(', ')', std::move(d));
}

Doc bracketsDoc(Doc d) {
    return encloseDoc('[', ']', std::move(d));
}

Doc bracesDoc(Doc d) {
    return encloseDoc('{', '}', std::move(d));
}

Doc doubleQuotesDoc(Doc d) {
    return encloseDoc('"', '"', std::move(d));
}

Doc backQuotesDoc(Doc d) {
    return encloseDoc('`', '\'', std::move(d));
}

// --- stacking a long list --------------------------------------------------------------------
//
// aboveList stacks its items as the right-nested aboveDoc of them would, but walks the list in
// loops: a stack of n candidate lists yields the candidates that n - 1 nested aboveFormats would,
// each step advancing the first of the lists whose head is the widest.

namespace {

List<Format> stackFormats(std::shared_ptr<const std::vector<List<Format>>> lists);

// The lists with the one at `advanced` moved on by one candidate.
List<Format> stackFormatsAfter(std::shared_ptr<const std::vector<List<Format>>> lists, std::size_t advanced) {
    return List<Format>::defer([lists, advanced] {
        auto next = std::make_shared<std::vector<List<Format>>>(*lists);
        (*next)[advanced] = (*next)[advanced].tail();
        return stackFormats(std::move(next));
    });
}

List<Format> stackFormats(std::shared_ptr<const std::vector<List<Format>>> lists) {
    if (lists->size() == 1) return lists->front();
    return List<Format>::defer([lists]() -> List<Format> {
        std::vector<FormatText> texts;
        texts.reserve(lists->size());
        Format f;
        std::size_t widest = 0;
        for (std::size_t i = 0; i < lists->size(); ++i) {
            const List<Format>& l = (*lists)[i];
            if (l.empty()) return List<Format>();
            const Format& h = l.head();
            f.height += h.height;
            f.lastWidth = h.lastWidth;
            if (i == 0 || h.width > f.width) {
                f.width = h.width;
                widest = i;
            }
            texts.push_back(h.text);
        }
        f.text = FormatText([texts = std::move(texts)](LayoutInt c, std::string& out) {
            for (std::size_t i = 0; i < texts.size(); ++i) {
                if (i > 0) {
                    out += '\n';
                    if (c > 0) out.append(static_cast<std::size_t>(c), ' ');
                }
                texts[i].write(c, out);
            }
        });
        return List<Format>::cons(std::move(f), stackFormatsAfter(lists, widest));
    });
}

// The candidate lists still to be stacked, top first; a list of one entry stands for itself.
using Stack = List<List<Format>>;

List<Format> formatsOfStack(const Stack& s) {
    return stackFormats(std::make_shared<const std::vector<List<Format>>>(toVector(s)));
}

struct StackedReply {
    bool pair = false;
    Stack first;   // the single stack, or the first alternative's
    Stack second;  // the second alternative's
    bool firstTooWide = false;
    bool secondTooWide = false;
    bool failed = false;  // two pairs met somewhere
};

StackedReply stackItems(const std::vector<DocAttrs>& items) {
    StackedReply acc;
    acc.first = Stack::cons(List<Format>(), Stack());
    LayoutInt below = 0;  // the height of the items stacked so far
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const LayoutInt h = it->height();
        const DocReply& r = *it->reply;
        auto stack = [&](const List<Format>& x, const Stack& y) {
            if (h == 0) return y;
            if (below == 0) return Stack::cons(x, Stack());
            return Stack::cons(x, y);
        };
        const auto* single = std::get_if<SingleReply>(&r);
        if (single && !acc.pair) {
            acc.first = stack(single->formats, acc.first);
        } else if (single) {
            acc.first = stack(single->formats, acc.first);
            acc.second = stack(single->formats, acc.second);
        } else if (!acc.pair) {
            const auto& p = std::get<PairReply>(r);
            Stack y = acc.first;
            acc.pair = true;
            acc.first = stack(p.first, y);
            acc.second = stack(p.second, y);
            acc.firstTooWide = p.firstTooWide;
            acc.secondTooWide = p.secondTooWide;
        } else {
            acc.pair = false;
            acc.failed = true;
            acc.first = Stack::cons(errorFormats(kAbovePairsError), Stack());
            acc.second = Stack();
        }
        below += h;
    }
    return acc;
}

}  // namespace

Doc aboveList(std::vector<Doc> items) {
    if (items.empty()) return emptyDoc();
    if (allTrees(items)) return Doc(aboveListNode(takeNodes(items)));
    return Doc([items = std::move(items)](const PageBounds& b) {
        std::vector<DocAttrs> laidOut;
        laidOut.reserve(items.size());
        for (const Doc& item : items) laidOut.push_back(item(b));
        auto shared = std::make_shared<const std::vector<DocAttrs>>(std::move(laidOut));
        Lazy<Sizes> sizes = delay([shared] {
            Sizes s;  // the last item stands above emptyDoc: the last-line width is 0
            for (const DocAttrs& a : *shared) {
                s.height += a.height();
                s.width = std::max(s.width, a.width());
            }
            return s;
        });
        Lazy<StackedReply> stacked = delay([shared] { return stackItems(*shared); });
        Lazy<DocReply> reply = delay([stacked]() -> DocReply {
            const StackedReply& s = *stacked;
            if (!s.pair) return SingleReply{formatsOfStack(s.first)};
            return PairReply{formatsOfStack(s.first), formatsOfStack(s.second), s.firstTooWide, s.secondTooWide};
        });
        Lazy<bool> tooWide = delay([shared, stacked] {
            for (auto it = shared->rbegin(); it != shared->rend(); ++it)
                if (*it->tooWide) return true;
            return stacked->failed;
        });
        return DocAttrs{reply, tooWide, sizes};
    });
}

// --- lists of documents --------------------------------------------------------------------

Doc besideList(std::vector<Doc> items) {
    return ppListDefault(items);
}

Doc besideSpaceList(std::vector<Doc> items) {
    Doc acc = emptyDoc();
    for (auto it = items.rbegin(); it != items.rend(); ++it) acc = besideSpace(*it, acc);
    return acc;
}

Doc filteredBesideList(std::vector<Doc> items) {
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

void renderLinesTo(std::string& out, LayoutInt width, const std::vector<Doc>& docs) {
    for (const Doc& d : docs) {
        renderDocTo(out, d, width);
        out += '\n';
    }
}

std::string renderLines(LayoutInt width, const std::vector<Doc>& docs) {
    std::string out;
    renderLinesTo(out, width, docs);
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

// The one-line arrangement of an item and the rest's first alternative, or the item above the
// rest's second alternative.
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

Doc hvList(std::vector<Doc> items) {
    Doc alternatives = emptyPairDoc();
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        alternatives = applyParDoc(hvStep(), std::vector<Doc>{*it, alternatives});
    return joinDoc(alternatives);
}

std::pair<ParDoc, ParDoc> hvSpArrangements(std::size_t length) {
    ParDoc h = parDoc();
    ParDoc v = parDoc();
    for (std::size_t i = 1; i < length; ++i) {
        h = besideSpaceParDoc(filterParDoc(parDoc()), h);
        v = aboveParDoc(parDoc(), v);
    }
    return {h, v};
}

namespace {

ParDoc buildHvSpTemplate(std::size_t length) {
    auto [h, v] = hvSpArrangements(length);
    return joinParDoc(choiceParDoc(h, v));
}

std::vector<ParDoc> buildHvSpTemplates(std::size_t upTo) {
    std::vector<ParDoc> all;
    for (std::size_t n = 1; n <= upTo; ++n) all.push_back(buildHvSpTemplate(n));
    return all;
}

// The joined choice of hvSpList for `length` items; the short ones, which the printer asks
// for again and again, built once.
ParDoc hvSpTemplate(std::size_t length) {
    if (length > kSharedTemplates) return buildHvSpTemplate(length);
    static const std::vector<ParDoc> shared = buildHvSpTemplates(kSharedTemplates);
    return shared[length - 1];
}

}  // namespace

Doc hvSpList(std::vector<Doc> items) { return hvSpList(std::span<Doc>(items)); }

namespace {

// The node of hvSpList of trees: the template as one tree node, laid out in loops; the short
// ones, which the printer asks for again and again, built once.
DocNodeRef hvSpListNode(std::span<Doc> items) {
    const std::size_t n = items.size();
    // The table is never freed: its layouts are handed out by handles that own nothing, which
    // are copied and dropped without an atomic update of a count.
    static const std::vector<ParNodeRef>* const shortLayouts = [] {
        auto* all = new std::vector<ParNodeRef>();
        for (std::size_t k = 1; k <= kSharedTemplates; ++k) all->push_back(hvSpNode(k));
        return all;
    }();
    if (n > kSharedTemplates) return hvSpApplyNode(hvSpNode(n), items);
    return hvSpApplyNode(ParNodeRef(ParNodeRef(), (*shortLayouts)[n - 1].get()), items);
}

}  // namespace

Doc hvSpList(std::span<Doc> items) {
    if (items.empty()) return emptyDoc();
    if (!allTrees(std::span<const Doc>(items)))
        return applyParDoc(hvSpTemplate(items.size()), std::vector<Doc>(std::make_move_iterator(items.begin()),
                                                                        std::make_move_iterator(items.end())));
    return Doc(hvSpListNode(items));
}

Doc spacedListDoc(Doc* head, std::span<Doc> items, bool parens) {
    const bool trees = !items.empty() && (head == nullptr || isTree(*head)) && allTrees(std::span<const Doc>(items));
    if (!trees) {
        Doc d = hvSpList(items);
        if (head != nullptr) d = besideSpace(std::move(*head), std::move(d));
        return parens ? parensDoc(std::move(d)) : d;
    }
    DocNodeRef d = hvSpListNode(items);
    if (head != nullptr) d = spacedNode(std::move(*head).node(), std::move(d));
    return Doc(parens ? enclosedNode('(', std::move(d), ')') : std::move(d));
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

ParDoc blockFirstStep() {
    static const ParDoc step =
        choiceParDoc(besideParDoc(filterParDoc(p()), firstParDoc()), aboveParDoc(p(), secondParDoc()));
    return step;
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
             std::vector<Doc> items) {
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
                 const std::string& separator, std::vector<Doc> items) {
    if (items.empty()) return emptyBlock(open, close);
    const auto lead = std::max<LayoutInt>(0, static_cast<LayoutInt>(separator.size()) - 1);
    std::vector<Doc> parts{nonEmptyDoc(open), besideDoc(textDoc(blanks(lead)), items.front())};
    for (std::size_t i = 1; i < items.size(); ++i) parts.push_back(besideDoc(nonEmptyDoc(separator), items[i]));
    Doc body = fillBlockDoc(blockWidth, std::move(parts));
    static const ParDoc closeAfterBody =
        joinParDoc(choiceParDoc(filterParDoc(besideParDoc(p(), p())), aboveParDoc(p(), p())));
    return applyParDoc(closeAfterBody, std::vector<Doc>{body, nonEmptyDoc(close)});
}

}  // namespace plim
