// The layout engine against its oracle, the lazy attribute rules with every candidate built
// (layout/lazy_rules.{h,cpp}, see layout/differential.h): random documents rendered at
// widths 1 to 200 must give the same text.  The tests of long and odd lists check the pruning
// against the exhaustive copy alone.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/big_stack.h"
#include "layout/differential.h"
#include "support/sanitizer_build.h"

namespace plim {
namespace {

using namespace difftest;

// A random document as a tree of combinator applications, built with either library.
struct Shape {
    int kind = 0;
    std::string text;
    LayoutInt n = 0;
    std::vector<std::shared_ptr<Shape>> parts;
};
using ShapePtr = std::shared_ptr<Shape>;

constexpr int kShapeKinds = 20;  // the last two stand for 21 and 22

ShapePtr randomShape(Random& r, int budget) {
    auto s = std::make_shared<Shape>();
    s->kind = budget <= 1 ? 0 : static_cast<int>(r.below(kShapeKinds));
    if (s->kind >= 18) s->kind += 3;
    if (s->kind == 0) {
        s->text = std::string(r.below(7), static_cast<char>('a' + r.below(26)));
        return s;
    }
    s->n = r.below(4);
    const unsigned count = s->kind >= 9 ? 1 + r.below(4) : (s->kind >= 5 ? 1 : 2);
    for (unsigned i = 0; i < count; ++i) s->parts.push_back(randomShape(r, (budget - 1) / static_cast<int>(count)));
    if (s->kind == 14) s->parts.resize(3, s->parts.back());  // a conditional has three parts
    return s;
}

// The shape as a term, for the failure messages.
std::string describe(const Shape& s) {
    if (s.kind == 0) return '"' + s.text + '"';
    std::string out = std::to_string(s.kind) + "/" + std::to_string(s.n) + "(";
    for (std::size_t i = 0; i < s.parts.size(); ++i) out += (i == 0 ? "" : ", ") + describe(*s.parts[i]);
    return out + ")";
}

template <class L>
typename L::D build(const Shape& s) {
    std::vector<typename L::D> ps;
    for (const ShapePtr& p : s.parts) ps.push_back(build<L>(*p));
    switch (s.kind) {
    case 0: return s.text.empty() && s.n == 0 ? L::empty() : L::text(s.text);
    case 1: return L::beside(ps[0], ps[1]);
    case 2: return L::above(ps[0], ps[1]);
    case 3: return L::besideSpace(ps[0], ps[1]);
    case 4: return L::join(ps[0], ps[1]);
    case 5: return L::filter(ps[0]);
    case 6: return L::indent(s.n, ps[0]);
    case 7: return L::parens(ps[0]);
    case 8: return funDef<L>(ps[0], L::beside(L::text(" = "), ps[0]));
    case 9: return L::hv(ps);
    case 10: return L::hvSp(ps);
    case 11: return L::aboves(ps);
    case 12: return L::spaced(ps);
    case 13: return L::block(ps);
    case 14: return L::cond(ps[0], ps[1], ps[2]);
    case 15: return hvEach<L>(ps);
    case 16: return tightBlock<L>(ps);
    case 18: return L::dup(ps[0], ps[1]);
    case 19: return L::joinOf(ps[0]);
    case 20: return L::joinOf(L::dup(ps[0], L::above(ps[1], ps[2])));
    case 21: return L::centred(ps);
    case 22: return L::zeroSize(ps[0]);
    default: {  // words only, as the exhaustive fill soon runs out of stack
        std::vector<typename L::D> words;
        for (const ShapePtr& p : s.parts) words.push_back(L::text(p->text.empty() ? "w" : p->text));
        return s.n == 0 ? L::fill(words) : L::fillBlock(4 * s.n - 1, words);
    }
    }
}

// On a large stack: the exhaustive evaluation recurses deeply on some documents.
TEST(PrettyDifferential, RandomDocuments) {
    runOnLargeStack([] {
        Random r{12345};
        for (int round = 0; round < test::rounds(10000) && !::testing::Test::HasFatalFailure(); ++round) {
            const ShapePtr s = randomShape(r, 4 + static_cast<int>(r.below(24)));
            expectSameTexts(build<Pruned>(*s), build<Exhaustive>(*s), r, "document " + std::to_string(round) + " " + describe(*s));
        }
        return 0;
    });
}

// Documents made to exercise the pruning of candidate lists: dups and joins of parts that have
// several layouts, side by side and stacked, of texts up to ten characters long, rendered at every
// width up to a little past their lines.  The pruning drops a candidate only where an earlier one
// is as good wherever it goes; one dropped wrongly (a shorter one wider by a column on its last
// line taken as dominating a taller one) leaves a marker where the taller one fitted beside what
// follows it.
ShapePtr pruningShape(Random& r, int budget) {
    static constexpr int kKinds[] = {1, 1, 1, 2, 2, 4, 6, 10, 18, 19, 19, 20, 20, 20};
    static constexpr unsigned kLengths[] = {1, 1, 2, 3, 5, 8, 9, 9, 10, 10};
    auto s = std::make_shared<Shape>();
    s->kind = budget <= 1 ? 0 : kKinds[r.below(std::size(kKinds))];
    if (s->kind == 0) {
        s->text = std::string(kLengths[r.below(std::size(kLengths))], static_cast<char>('a' + r.below(3)));
        return s;
    }
    s->n = r.below(3);
    const unsigned count = s->kind == 6 || s->kind == 19 ? 1 : s->kind == 10 ? 2 + r.below(2) : s->kind == 20 ? 3 : 2;
    for (unsigned i = 0; i < count; ++i) s->parts.push_back(pruningShape(r, (budget - 1) / static_cast<int>(count)));
    return s;
}

// Half of them after a text, whose line the first layout of the rest may leave too short.
TEST(PrettyDifferential, PruningAtTightWidths) {
    Random r{2718};
    for (int round = 0; round < test::rounds(4000) && !::testing::Test::HasFailure(); ++round) {
        ShapePtr s = pruningShape(r, 3 + static_cast<int>(r.below(10)));
        if (round % 2 == 1) {
            auto after = std::make_shared<Shape>();
            after->kind = 1;
            after->parts = {std::make_shared<Shape>(), s};
            after->parts[0]->text = std::string(1 + round % 4, 'x');
            s = after;
        }
        const Pruned::D pruned = build<Pruned>(*s);
        const Exhaustive::D exhaustive = build<Exhaustive>(*s);
        for (LayoutInt w = 1; w <= 24; ++w)
            ASSERT_EQ(Pruned::render(pruned, w), Exhaustive::render(exhaustive, w)) << "document " << round << " at width " << w;
    }
}

// A join of a line and a two-line layout whose last line is one column shorter, beside a text:
// at width 10 only the two-line layout leaves room for it.
TEST(PrettyDifferential, AJoinKeepsTheLayoutOneColumnShorterAtItsEnd) {
    const auto doc = [](auto lib) {
        using L = decltype(lib);
        return L::beside(L::joinOf(L::dup(L::text("aaaaaaaaaa"), L::above(L::text("aaaaaaaaaa"), L::text("aaaaaaaaa")))),
                         L::text("x"));
    };
    EXPECT_EQ(Pruned::render(doc(Pruned{}), 10), "aaaaaaaaaa\naaaaaaaaax");
    EXPECT_EQ(Exhaustive::render(doc(Exhaustive{}), 10), "aaaaaaaaaa\naaaaaaaaax");
}

// Templates whose choices or fillings have the wrong count of parameters: their error texts, and
// the bounds their parameters get (a choice pairs its arrangements' bounds up to the shorter
// list, so the parameters after it take the bounds of the places before them; a filling's inner
// templates are laid out, its outer one is not), with arguments whose layouts change with them.
TEST(PrettyDifferential, TemplatesOfWrongCounts) {
    const auto doc = [](auto lib) {
        using L = decltype(lib);
        const auto p = [] { return L::hole(); };
        const auto list = [](const std::string& w) { return L::hvSp({L::text(w), L::text(w + w), L::text(w)}); };
        const auto three = L::besideP(p(), L::besideP(p(), p()));
        const auto unequal = L::besideP(L::choiceP(three, L::aboveP(p(), p())), L::besideP(p(), L::indentP(1, p())));
        const auto wrong = L::substP(L::besideP(L::lift(list("q")), p()), {L::besideP(p(), p()), p()});
        const auto outer = L::besideP(L::bestOf(L::besideP(p(), p()), L::aboveP(p(), p())), p());
        const auto filled = L::substP(outer, {unequal, wrong, L::filterP(p())});
        std::vector<typename L::D> args;
        for (const char* w : {"a", "bb", "c", "dd", "e", "ff", "g", "hh", "i"}) args.push_back(list(w));
        return L::apply(filled, args);
    };
    const Pruned::D pruned = doc(Pruned{});
    const Exhaustive::D exhaustive = doc(Exhaustive{});
    for (LayoutInt w = 1; w <= 70; ++w) ASSERT_EQ(Pruned::render(pruned, w), Exhaustive::render(exhaustive, w)) << "width " << w;
}

// Each document that `docs` makes with the library as it runs renders what the oracle's does at
// every width from 1 to `widest`.
template <class MakeDocs>
void expectSameRendersUpTo(const MakeDocs& docs, LayoutInt widest) {
    const std::vector<Pruned::D> pruned = docs(Pruned{});
    const std::vector<Exhaustive::D> exhaustive = docs(Exhaustive{});
    for (std::size_t i = 0; i < pruned.size(); ++i)
        for (LayoutInt w = 1; w <= widest; ++w)
            ASSERT_EQ(Pruned::render(pruned[i], w), Exhaustive::render(exhaustive[i], w)) << "document " << i << " at width " << w;
}

// What a filled template is sure of as it is made: its sizes, and whether its first layout is its
// one line, which is then written without being laid out.  A joined choice of unequal counts is
// its error text, a hole taking an alternative of a one-line argument and a template filled
// with templates are written with all their parts, and a filling of the wrong count is as wide
// as its error text, which sets the bound of a list beside it.
TEST(PrettyDifferential, TemplatesSureOfTheirLine) {
    const auto docs = [](auto lib) {
        using L = decltype(lib);
        const auto p = [] { return L::hole(); };
        const auto list = L::hvSp({L::text("a"), L::text("bb"), L::text("c")});
        return std::vector<typename L::D>{
            L::apply(L::bestOf(L::besideP(p(), p()), L::aboveP(p(), L::lift(L::text("z")))), {L::text("x"), L::text("y")}),
            L::apply(L::besideP(p(), L::first()), {L::text("x"), L::text("y")}),
            L::apply(L::besideP(L::second(), p()), {L::text("x"), L::text("y")}),
            L::apply(L::substP(L::besideP(p(), p()), {L::lift(L::text("x")), p()}), {L::text("y")}),
            L::apply(L::besideP(L::substP(L::besideP(p(), p()), {p()}), p()), {L::text("x"), list}),
        };
    };
    expectSameRendersUpTo(docs, 70);
}

// A template over an argument whose sizes follow its bound (a fill to the line's end): what
// follows it on its last line, a later argument or a lifted list, takes its bound from the
// sizes of the argument's layout, not from those the fill has before it is laid out.
TEST(PrettyDifferential, TemplatesOverArgumentsWhoseSizesFollowTheBound) {
    const auto docs = [](auto lib) {
        using L = decltype(lib);
        const auto p = [] { return L::hole(); };
        const auto list = [](const std::string& w) { return L::hvSp({L::text(w), L::text(w + w), L::text(w)}); };
        const auto fill = L::fill({L::text("aaa"), L::text("bb"), L::text("cccc"), L::text("d"), L::text("ee")});
        const auto layout = L::besideP(p(), L::besideP(p(), L::lift(list("y"))));
        return std::vector<typename L::D>{L::apply(layout, {fill, list("x")}), L::apply(layout, {list("x"), fill})};
    };
    expectSameRendersUpTo(docs, 40);
}

// Lists longer than the shared templates take the list's own node; their items are random
// documents, some of them long lists again.
TEST(PrettyDifferential, LongHorizontalOrVerticalLists) {
    runOnLargeStack([] {
        Random r{777};
        for (int round = 0; round < test::rounds(300) && !::testing::Test::HasFailure(); ++round) {
            std::vector<ShapePtr> items;
            const unsigned length = 33 + r.below(40);
            for (unsigned i = 0; i < length; ++i) items.push_back(randomShape(r, 1 + static_cast<int>(r.below(4))));
            auto list = std::make_shared<Shape>();
            list->kind = 10;
            list->parts = items;
            if (round % 3 == 0) list->parts[r.below(length)] = std::make_shared<Shape>(*list);
            const Pruned::D pruned = build<Pruned>(*list);
            const Exhaustive::D exhaustive = build<Exhaustive>(*list);
            const LayoutInt any = 1 + static_cast<LayoutInt>(r.below(200));
            for (LayoutInt w : std::vector<LayoutInt>{any, 80, 120, 160, 200, 260, 330, 400})
                EXPECT_EQ(Pruned::render(pruned, w), Exhaustive::render(exhaustive, w)) << "list " << round << " " << describe(*list) << " at width " << w;
        }
        return 0;
    });
}

// Long stacks whose items have several layouts, some of them stacks themselves: a render keeps
// only the texts of each item's chosen layouts, and releases the long chain in a loop.
template <class L>
typename L::D stackOfChoices(int items, bool nested) {
    std::vector<typename L::D> ds;
    for (int i = 0; i < items; ++i) {
        const std::string n = std::to_string(i);
        typename L::D call = L::hvSp({L::text("f" + n), L::text("alpha"), L::parens(L::hvSp({L::text("g"), L::text(n)}))});
        typename L::D item = i % 3 == 0   ? L::cond(L::text("c" + n), call, L::text("e"))
                             : i % 3 == 1 ? L::aboves({call, L::block({L::text("a"), call})})
                                          : funDef<L>(L::text("x" + n), call);
        ds.push_back(item);
    }
    if (!nested) return L::aboves(ds);
    typename L::D acc = L::empty();
    for (auto it = ds.rbegin(); it != ds.rend(); ++it) acc = L::above(*it, acc);
    return acc;
}

TEST(PrettyDifferential, LongStacksOfChoices) {
    runOnLargeStack([] {
        for (bool nested : {false, true}) {
            const Pruned::D pruned = stackOfChoices<Pruned>(400, nested);
            const Exhaustive::D exhaustive = stackOfChoices<Exhaustive>(400, nested);
            for (LayoutInt w : {5, 12, 25, 40, 80})
                EXPECT_EQ(Pruned::render(pruned, w), Exhaustive::render(exhaustive, w)) << nested << " at width " << w;
        }
        return 0;
    });
}

// Items whose parts each fit but whose side-by-side layouts may all be too wide: such an item
// has no layout without being too wide, and neither may the stack of a list of them, so the
// list's line, too wide itself, can still be the only layout there is.
template <class L>
typename L::D choicesSideBySide(int k) {
    const auto choice = [](const std::string& a, const std::string& b) {
        return L::join(L::text(std::string(static_cast<std::size_t>(a.size()), 'a') + a),
                       L::above(L::text(b + b + b), L::text("c")));
    };
    return L::beside(choice(std::string(static_cast<std::size_t>(k), 'x'), "yy"), choice("z", std::string(static_cast<std::size_t>(k), 'w')));
}

template <class L>
typename L::D listOfChoices(int items, int k, bool mixed) {
    std::vector<typename L::D> ds;
    for (int i = 0; i < items; ++i)
        ds.push_back(mixed && i % 2 == 1 ? L::text(std::string(static_cast<std::size_t>(1 + i), 'q')) : choicesSideBySide<L>(k + i));
    return L::hvSp(std::move(ds));
}

TEST(PrettyDifferential, HorizontalOrVerticalListsOfItemsWithoutLayouts) {
    for (int items : {1, 2, 3, 5, 40})
        for (int k : {1, 3, 6})
            for (bool mixed : {false, true}) {
                const Pruned::D pruned = listOfChoices<Pruned>(items, k, mixed);
                const Exhaustive::D exhaustive = listOfChoices<Exhaustive>(items, k, mixed);
                for (LayoutInt w = 1; w <= 48; ++w)
                    EXPECT_EQ(Pruned::render(pruned, w), Exhaustive::render(exhaustive, w))
                        << items << " items, k " << k << (mixed ? ", mixed" : "") << ", width " << w;
            }
}

// Documents whose first layout may or may not be certain to be one line: a part without lines
// but with a marker beside or below a line, a choice between a line and a taller arrangement,
// templates with a choice inside, lists with an empty item, a pair below a line.  Rendered
// alone and as parts of a stack (where only the first layout of each is read), at every width
// up to past their lines.
template <class L>
std::vector<typename L::D> maybeOneLine() {
    const auto d = [](const char* s) { return L::text(s); };
    const typename L::D noLines = L::filter(L::empty());
    return {hvEach<L>({L::indent(1, d("qqqqq")), L::above(noLines, L::beside(d("uuuu"), d("pppppp")))}),
            L::beside(L::join(d("a long line"), L::above(d("short"), d("lines"))), d(";")),
            funDef<L>(L::join(d("lhs"), L::above(d("l"), d("hs"))), L::beside(d(" = "), L::hvSp({d("f"), d("x"), d("y")}))),
            tightBlock<L>({d("a"), L::hvSp({d("g"), d("b")}), tightBlock<L>({d("c"), d("d")})}),
            L::beside(d("x"), L::beside(L::indent(2, L::empty()), d("y"))),
            L::hvSp({d("f"), L::empty(), d("z")}),
            L::hvSp({d("f"), noLines, d("z")}),
            L::cond(d("c"), L::hvSp({d("g"), d("x")}), L::join(d("e"), L::above(d("e1"), d("e2")))),
            L::join(L::beside(noLines, d("wide")), d("w")),
            L::join(d("a line longer than the error text of a pair"), L::above(d("x"), L::dup(d("p"), d("q"))))};
}

TEST(PrettyDifferential, DocumentsThatMayBeOneLine) {
    const std::vector<Pruned::D> pruned = maybeOneLine<Pruned>();
    const std::vector<Exhaustive::D> exhaustive = maybeOneLine<Exhaustive>();
    for (std::size_t i = 0; i < pruned.size(); ++i) {
        const Pruned::D ps = Pruned::aboves({pruned[i], Pruned::text("next"), pruned[i]});
        const Exhaustive::D es = Exhaustive::aboves({exhaustive[i], Exhaustive::text("next"), exhaustive[i]});
        for (LayoutInt w = 1; w <= 60; ++w) {
            EXPECT_EQ(Pruned::render(pruned[i], w), Exhaustive::render(exhaustive[i], w)) << "document " << i << " at width " << w;
            EXPECT_EQ(Pruned::render(ps, w), Exhaustive::render(es, w)) << "stack of document " << i << " at width " << w;
        }
    }
}

// Stacks rendered as a whole write each part as it is laid out; where a part is a pair, has
// lines but no layout, or has no lines (and maybe a marker), the stack's own rules decide.
template <class L>
std::vector<typename L::D> oddParts() {
    const auto d = [](const char* s) { return L::text(s); };
    return {L::filter(L::empty()),                                           // no lines, a marker
            L::empty(),                                                      // no lines
            L::dup(d("pair"), d("of two")),                                    // a pair
            choicesSideBySide<L>(1),                                         // no layout at width 3
            L::indent(3, L::empty()),                                        // no lines, indented
            L::hvSp({d("ok"), L::above(L::filter(L::empty()), d("below"))}),  // a line beside a part without lines
            d("plain text")};
}

TEST(PrettyDifferential, StacksOfOddParts) {
    const std::vector<Pruned::D> pruned = oddParts<Pruned>();
    const std::vector<Exhaustive::D> exhaustive = oddParts<Exhaustive>();
    Random r{4242};
    for (int round = 0; round < test::rounds(3000) && !::testing::Test::HasFailure(); ++round) {
        const unsigned n = 1 + r.below(5);
        std::vector<Pruned::D> ps;
        std::vector<Exhaustive::D> es;
        for (unsigned i = 0; i < n; ++i) {
            const unsigned k = r.below(static_cast<unsigned>(pruned.size()));
            ps.push_back(pruned[k]);
            es.push_back(exhaustive[k]);
        }
        const bool list = round % 2 == 0;
        Pruned::D p = list ? Pruned::aboves(ps) : ps.back();
        Exhaustive::D e = list ? Exhaustive::aboves(es) : es.back();
        for (std::size_t i = ps.size() - 1; !list && i-- > 0;) {
            p = Pruned::above(ps[i], p);
            e = Exhaustive::above(es[i], e);
        }
        for (LayoutInt w : {1, 3, 4, 9, 16, 30, 80})
            EXPECT_EQ(Pruned::render(p, w), Exhaustive::render(e, w)) << "stack " << round << " at width " << w;
    }
}

// Numerals nested past the end of the line, where nothing fits and most of each is laid out from
// what its nodes know (see DocNode::below), with the texts after them.
TEST(PrettyDifferential, NumeralsPastTheEndOfTheLine) {
    const auto numeral = [](auto lib, int depth) {
        using L = decltype(lib);
        typename L::D d = L::text("Z");
        for (int i = 0; i < depth; ++i) d = L::besideSpace(L::text("S"), L::hvSp({L::parens(d)}));
        return L::hvSp({d, L::text("++"), L::hvSp({L::text("1"), L::text(":"), L::text("[]")})});
    };
    for (const int depth : {1, 6, 40}) {
        for (LayoutInt w = 0; w <= 14; ++w) {
            ASSERT_EQ(Pruned::render(numeral(Pruned{}, depth), w), Exhaustive::render(numeral(Exhaustive{}, depth), w))
                << depth << " levels at width " << w;
        }
    }
}

// Applications of numerals too wide for the line, where the texts around them fit: such a list
// is laid out from what its nodes know (see BelowZero::upTo) at every bound where a numeral is
// too wide, though the texts before it on the line are written as they are.
TEST(PrettyDifferential, NumeralsTooWideWhereTheTextsAroundThemFit) {
    const auto application = [](auto lib, int depth) {
        using L = decltype(lib);
        typename L::D d = L::text("Z");
        for (int i = 0; i < depth; ++i) d = L::besideSpace(L::text("S"), L::hvSp({L::parens(d)}));
        typename L::D inner = L::besideSpace(L::text("g"), L::hvSp({L::text("ab"), L::parens(d), L::text("c")}));
        return L::besideSpace(L::text("f"), L::hvSp({L::parens(inner), L::text("xyz")}));
    };
    for (const int depth : {2, 12}) {
        for (LayoutInt w = 0; w <= 60; w += 3) {
            ASSERT_EQ(Pruned::render(application(Pruned{}, depth), w), Exhaustive::render(application(Exhaustive{}, depth), w))
                << depth << " levels at width " << w;
        }
    }
}

// Random stacks of random documents, half of them indented.
TEST(PrettyDifferential, RandomStacks) {
    runOnLargeStack([] {
        Random r{99};
        for (int round = 0; round < test::rounds(2000) && !::testing::Test::HasFatalFailure(); ++round) {
            auto stack = std::make_shared<Shape>();
            stack->kind = round % 2 == 0 ? 11 : 2;
            const unsigned n = stack->kind == 2 ? 2 : 1 + r.below(6);
            for (unsigned i = 0; i < n; ++i) stack->parts.push_back(randomShape(r, 2 + static_cast<int>(r.below(16))));
            ShapePtr doc = stack;
            if (round % 4 >= 2) {  // indented, as a calculation indents its expressions
                doc = std::make_shared<Shape>();
                doc->kind = 6;
                doc->n = round % 3;
                doc->parts = {stack};
            }
            expectSameTexts(build<Pruned>(*doc), build<Exhaustive>(*doc), r, "stack " + std::to_string(round));
        }
        return 0;
    });
}

}  // namespace
}  // namespace plim
