// The fast matcher's bindings: name order, keep or replace, and copies that share one block
// until one of them changes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/matching/fast/term_bindings.h"
#include "lang/constants.h"
#include "lang/types.h"

namespace plim::fast {
namespace {

Term num(std::int32_t n) { return Con(mkNumber(n), intType()); }

std::string listed(const TermBindings& b) {
    std::string out;
    for (const auto& [name, t] : b) out += name + "=" + constantText(t.constant()) + " ";
    return out;
}

TEST(FastTermBindings, NamesKeptInOrderAcrossTheBlocksOwnRoom) {
    TermBindings b;
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(b.find("x"), nullptr);
    // More names than the block holds itself, bound out of order, a longer name after its prefix.
    for (const std::string n : {"g", "b", "f", "a", "e", "c", "d", "bb"}) b.bind(n, num(static_cast<std::int32_t>(n.size())));
    EXPECT_EQ(listed(b), "a=Number 1 b=Number 1 bb=Number 2 c=Number 1 d=Number 1 e=Number 1 f=Number 1 g=Number 1 ");
    ASSERT_NE(b.find("bb"), nullptr);
    EXPECT_EQ(b.find("bb")->constant(), mkNumber(2));
    EXPECT_EQ(b.find("h"), nullptr);
    EXPECT_EQ(b.find(""), nullptr);

    b.bind("c", num(7), TermBindings::OnBound::Keep);
    b.bind("d", num(8));
    EXPECT_EQ(b.find("c")->constant(), mkNumber(1));
    EXPECT_EQ(b.find("d")->constant(), mkNumber(8));
    EXPECT_EQ(b.size(), 8u);
}

TEST(FastTermBindings, ACopyThatChangesLeavesTheOtherAsItWas) {
    for (std::size_t before : {1u, 4u, 6u}) {  // inside the block's own room, at its end, beyond it
        TermBindings a;
        for (std::size_t i = 0; i < before; ++i) a.bind(std::string(1, static_cast<char>('a' + i)), num(1));
        const std::string original = listed(a);

        TermBindings added = a;
        added.bind("z", num(2));
        TermBindings replaced = a;
        replaced.bind("a", num(3));
        EXPECT_EQ(listed(a), original) << before;
        EXPECT_EQ(added.size(), before + 1) << before;
        EXPECT_EQ(added.find("z")->constant(), mkNumber(2));
        EXPECT_EQ(replaced.find("a")->constant(), mkNumber(3));
        EXPECT_EQ(a.find("a")->constant(), mkNumber(1));

        // The copy that changed owns its block now: changing it again leaves its sibling alone.
        TermBindings sibling = added;
        added.bind("y", num(4));
        EXPECT_EQ(sibling.find("y"), nullptr) << before;
        EXPECT_EQ(listed(a), original) << before;
    }
}

TEST(FastTermBindings, APatternVariableBindsItsNameAndInsertsInOrder) {
    const Term x = PVar("x", intType());
    const Term b = PVar("b", intType());
    TermBindings m;
    m.bind("c", num(1));
    m.bind(x, num(2));
    m.bind(b, num(3));
    m.bind("a", num(4));
    m.bind(x, num(5), TermBindings::OnBound::Keep);
    EXPECT_EQ(listed(m), "a=Number 4 b=Number 3 c=Number 1 x=Number 2 ");
    // Slots moved up by an insertion below them keep their holders right: dropping every
    // copy leaves the variables as they were.
    {
        TermBindings copy = m;
        copy.bind("aa", num(6));
        EXPECT_EQ(listed(copy), "a=Number 4 aa=Number 6 b=Number 3 c=Number 1 x=Number 2 ");
    }
    m.bind(b, num(7));
    EXPECT_EQ(listed(m), "a=Number 4 b=Number 7 c=Number 1 x=Number 2 ");
    EXPECT_EQ(x.name(), "x");
}

TEST(FastTermBindings, MappedSharesWhatNothingChanges) {
    TermBindings b;
    for (const std::string n : {"a", "b", "c", "d", "e"}) b.bind(n, num(1));
    const TermBindings same = b.mapped([](const Term& t) { return t; });
    EXPECT_EQ(same.begin(), b.begin());

    const TermBindings changed = b.mapped([](const Term& t) { return num(t.constant() == mkNumber(1) ? 5 : 6); });
    EXPECT_NE(changed.begin(), b.begin());
    EXPECT_EQ(listed(changed), "a=Number 5 b=Number 5 c=Number 5 d=Number 5 e=Number 5 ");
    EXPECT_EQ(listed(b), "a=Number 1 b=Number 1 c=Number 1 d=Number 1 e=Number 1 ");
}

}  // namespace
}  // namespace plim::fast
