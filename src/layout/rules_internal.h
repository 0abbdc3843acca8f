// Shared workings of the layout combinators: the attribute rules that the plain and the
// parameterised forms of a combinator have in common, and the error documents.
// Only the layout library's own sources include this header.
#pragma once

#include <optional>
#include <string>

#include "layout/document.h"
#include "layout/tuning.h"

namespace plim::pretty_detail {

// A value that is defined only after the attributes that refer to it have been built: the
// knot that lets two siblings' bounds depend on each other's sizes.
template <class T>
class Later {
public:
    void define(T value) { *cell_ = std::move(value); }
    const T& get() const {
        if (!cell_->has_value()) failInternal("internal error: a layout attribute was read before it was defined");
        return **cell_;
    }

private:
    std::shared_ptr<std::optional<T>> cell_ = std::make_shared<std::optional<T>>();
};

// The text with the escapes of a quoted literal: the quote character and the backslash
// escaped, control characters by name, others outside the printable range in decimal.
void appendEscaped(std::string& out, const std::string& text, char quote);

// The sizes computed from two parts' sizes: at once when both are known, otherwise when first
// read.
template <class F>
Lazy<Sizes> combineSizes(const Lazy<Sizes>& a, const Lazy<Sizes>& b, F combine) {
    if (a.isEvaluated() && b.isEvaluated()) return Lazy<Sizes>(combine(*a, *b));
    return delay([a, b, combine] { return combine(*a, *b); });
}

// Whether the list is empty or has one candidate, known without computing anything.
inline bool knownShort(const List<Format>& xs) {
    if (!xs.isEvaluated()) return false;
    if (xs.empty()) return true;
    const List<Format> rest = xs.tail();
    return rest.isEvaluated() && rest.empty();
}

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

// A flag already known, shared by all documents.
Lazy<bool> knownFlag(bool value);

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

// The candidates of a fixed error text, built once per text and shared.
const List<Format>& errorFormats(const char* text);
DocReply errorReply(const char* text);
// The whole attributes of an error document of a text: flagged, one line of its length.
DocAttrs errorAttrs(const std::string& text);
// The attributes of the empty document, flagged too wide: a hole without an argument.
DocAttrs missingArgumentAttrs();

// The candidates of one alternative: a pair in its place shows the "dup a dup" error.
List<Format> alternativeFormats(const DocReply& r);
bool isPair(const DocReply& r);

// The bounds of the two sides of a side-by-side composition at b.
PageBounds besideLeftBounds(const PageBounds& b, const Later<Lazy<Sizes>>& rightSizes);
PageBounds besideRightBounds(const PageBounds& b, const Lazy<Sizes>& leftSizes);

// The attribute rules of the combinators, given their parts' attributes.
DocAttrs besideAttrs(const DocAttrs& l, const DocAttrs& r, const PageBounds& b);
DocAttrs aboveAttrs(const DocAttrs& u, const DocAttrs& d);
DocAttrs joinAttrs(const DocAttrs& e);
DocAttrs filterAttrs(const DocAttrs& e);
DocAttrs indentAttrs(Lazy<LayoutInt> n, const DocAttrs& inner, const PageBounds& b);

}  // namespace plim::pretty_detail
