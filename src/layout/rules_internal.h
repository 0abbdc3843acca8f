// Shared workings of the layout library: the work budget and the error texts.
// Only the layout library's own sources include this header.
#pragma once

#include <string>

#include "layout/document.h"
#include "layout/tuning.h"

namespace plim::pretty_detail {

// The work budget of a render (kCandidateBudget and kCandidatesPerText, layout/tuning.h).
struct Budget {
    LayoutInt used = 0;
    LayoutInt allowed = kCandidateBudget;
    int renders = 0;  // renders in progress on this thread
};
inline thread_local Budget budget;
// Abandons the render in progress.
[[noreturn]] void budgetExhausted();

// Counts one candidate built; past the budget, inside a render, abandons the render.
inline void countCandidate() {
    if (++budget.used > budget.allowed && budget.renders > 0) budgetExhausted();
}
// Counts n candidates built at once, with no text counted between them: past the budget where
// counting them one by one would have passed it.
inline void countCandidates(LayoutInt n) {
    if (n <= 0) return;
    budget.used += n;
    if (budget.used > budget.allowed && budget.renders > 0) budgetExhausted();
}
// Counts texts laid out, each of which raises the budget of the render.
inline void countText(LayoutInt texts = 1) {
    budget.allowed += kCandidatesPerText * texts;
}

// The error texts of the library.
inline constexpr const char* kNegativeWidthError = "<Error: negative page width >";
inline constexpr const char* kRenderPairError = "<Error: can't render a pair>";
inline constexpr const char* kFilterPairError = "<Error: can not filter a pair>";
inline constexpr const char* kDupDupError = "<Error: can't dup a dup>";
inline constexpr const char* kBesidePairsError = "<Error: can't beside two pairs>";
inline constexpr const char* kAbovePairsError = "<Error: can't above two pairs>";
inline constexpr const char* kJoinSingleError = "<Error: can't join a single result>";
inline constexpr const char* kFillPairError = "<Error: element in fill list is a pair>";
inline constexpr const char* kFillHigherError = "<Error: element in fill higher than 1>";
inline constexpr const char* kFillBlockWidthError = "<Error: negative page width in fillblock>";
inline constexpr const char* kNegativeIndentError = "<Error: negative indentation>";
std::string choiceCountError(LayoutInt left, LayoutInt right);
std::string applyCountError(LayoutInt params, LayoutInt args);

}  // namespace plim::pretty_detail
