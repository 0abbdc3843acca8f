// The arena of a render's texts and candidates, kept on the thread from one render to the next:
// emptied between layouts, it keeps the room the last one reached (the steps of a calculation
// need about as much each) within bounds, and gives the rest back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layout/differential.h"
#include "layout/nodes_internal.h"

namespace plim {
namespace {

using namespace pretty_detail;

// "(1 : (2 : ... (n : [])))" as the printer lays a list out, each level a list of hvSpList.
template <class L>
typename L::D consList(int length) {
    typename L::D d = L::text("[]");
    for (int i = length; i > 0; --i) d = L::parens(L::hvSp({L::text(std::to_string(i)), L::text(":"), d}));
    return d;
}

// The text of the first candidate of the document's layout at the width, laid out in the arena.
std::string firstText(TextArena& arena, const Doc& d, LayoutInt width) {
    ArenaScope scope(arena);
    const NodeResult r = layOut(*d.node(), width, 1);
    std::string out;
    if (!r.reply.first.empty()) writeText(*r.reply.first.front().text, 0, out);
    return out;
}

void makeTexts(TextArena& arena, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) arena.make(TextTree::Kind::Leaf, 0, nullptr, nullptr, "x");
}

void makeCandidates(TextArena& arena, std::size_t chunks) {
    for (std::size_t i = 0; i < chunks; ++i) arena.cands(kCandidateChunk);
}

TEST(TextArenaRoom, KeepsWhatTheLastLayoutReachedWithinItsBounds) {
    TextArena arena;
    makeTexts(arena, 4 * kKeptArenaTexts);
    makeCandidates(arena, 2 * kKeptArenaChunks);
    const std::size_t texts = arena.textRoom();
    arena.clear();
    EXPECT_EQ(arena.textRoom(), texts);
    // Candidates: the first few chunks.
    const std::size_t candidates = arena.candidateRoom();
    EXPECT_LE(candidates, kKeptArenaChunks * kCandidateChunk);
    // Made again, in the room kept.
    makeTexts(arena, 4 * kKeptArenaTexts);
    makeCandidates(arena, kKeptArenaChunks - 2);
    EXPECT_EQ(arena.textRoom(), texts);
    EXPECT_EQ(arena.candidateRoom(), candidates);
    arena.clear();
    EXPECT_EQ(arena.textRoom(), texts);
    // A small layout next: the room past what most layouts need is given back, that room kept.
    makeTexts(arena, 10);
    arena.clear();
    EXPECT_LE(arena.textRoom(), kKeptArenaTexts + kTextBlock);
    EXPECT_GE(arena.textRoom(), kKeptArenaTexts - kTextBlock);
    EXPECT_LE(arena.candidateRoom(), kKeptArenaChunks * kCandidateChunk);
    // Past the bounds, the room beyond them is given back.
    makeTexts(arena, kReachedArenaTexts + 4 * kTextBlock);
    arena.clear();
    EXPECT_LE(arena.textRoom(), kReachedArenaTexts);
    EXPECT_GE(arena.textRoom(), kReachedArenaTexts - kTextBlock);
}

TEST(TextArenaRoom, GivesBackAChunkMadeForOneLongListOfCandidates) {
    TextArena arena;
    makeCandidates(arena, 2);
    arena.cands(16 * kCandidateChunk);
    makeCandidates(arena, 2);
    arena.clear();
    EXPECT_EQ(arena.candidateRoom(), 4 * kCandidateChunk);  // the chunks of the usual size
}

TEST(TextArenaRoom, LayoutsInTheRoomKeptWriteWhatTheRulesGive) {
    // Nested lists whose inner levels fit make many texts; made one after another in one arena,
    // larger and smaller ones, each writes its first candidate as the oracle does.
    TextArena arena;
    std::size_t most = 0;
    for (int length : {72, 8, 80, 72}) {
        const LayoutInt width = 5 * length;
        const std::string text = firstText(arena, consList<difftest::Pruned>(length), width);
        EXPECT_EQ(text, difftest::Exhaustive::render(consList<difftest::Exhaustive>(length), width)) << length;
        most = std::max(most, arena.textRoom());
        arena.clear();
    }
    EXPECT_GT(most, kKeptArenaTexts);  // the room past what most layouts need was used
}

}  // namespace
}  // namespace plim
