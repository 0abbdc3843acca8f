// The fixed bounds of the layout library, in one place: work budgets, depths, and the sizes of
// the blocks and short lists it keeps.  None changes what a document renders as, except the work
// budget, which decides when a render gives up (see the header of layout/document.h); the others
// trade memory for speed or bound the use of the thread's stack.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plim::pretty_detail {

// --- work ----------------------------------------------------------------------------------

// The most candidate layouts one render may build before it answers with the too-wide marker
// of the document's width ...
inline constexpr std::int64_t kCandidateBudget = 1000000;
// ... and the further ones allowed for each text laid out, so that the budget grows with the
// document and only runaway choices reach it.
inline constexpr std::int64_t kCandidatesPerText = 64;

// --- templates -----------------------------------------------------------------------------

// The most places a template keeps (see ParNode::places); a larger one's are made when they are
// needed.
inline constexpr std::size_t kMaxPlaces = 48;
// The templates of hvSpList for up to this many items are made once and shared.
inline constexpr std::size_t kSharedTemplates = 32;

// --- candidate lists and their memory --------------------------------------------------------

// A node remembers its layout (see DocNode::memo) where it has at most this many candidates.
inline constexpr std::size_t kRememberedCandidates = 64;

// Candidates left above a mark are moved down only when they take more room than this: less
// stays in the cache and is freed with the enclosing layout's (see compactTo).
inline constexpr std::size_t kCompactSlack = 128;
// Candidates moved down are saved aside on the stack up to this many, in a heap block beyond.
inline constexpr std::size_t kCompactOnStack = 16;
// The arena of a layout's texts grows by blocks of this many texts, after a first block of
// this many and blocks growing from it ...
inline constexpr std::size_t kTextBlock = 1024;
inline constexpr std::size_t kFirstTextBlock = 16;
// ... and its candidates by chunks of at least this many (most layouts live in the first).
inline constexpr std::size_t kCandidateChunk = 4096;
// A render's arena keeps for the next one the room of this many texts and this many chunks of
// candidates, which most layouts need ...
inline constexpr std::size_t kKeptArenaTexts = std::size_t{1} << 14;
inline constexpr std::size_t kKeptArenaChunks = 8;
// ... and, up to this many, the texts it reached: the steps of a calculation need about as many
// each, whose room is then not asked of the system (its pages touched) afresh every step.
inline constexpr std::size_t kReachedArenaTexts = std::size_t{1} << 20;
// The buffer of the text writer is given back after writing a text larger than this.
inline constexpr std::size_t kWriterKeptBytes = std::size_t{1} << 22;

}  // namespace plim::pretty_detail
