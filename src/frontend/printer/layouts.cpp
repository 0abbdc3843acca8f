#include "frontend/printer/layouts.h"

#include <utility>

#include "layout/combinators.h"

namespace plim {

std::string renderAtPrinterBounds(const Doc& d) {
    return renderDocAtBounds(d, PageBounds(kPrinterPageWidth, kPrinterPageWidth));
}

const ParDoc& funDefTemplate() {
    static const ParDoc layout = [] {
        ParDoc horizontal = besideParDoc(filterParDoc(parDoc()), parDoc());
        ParDoc vertical = aboveParDoc(parDoc(), indentParDoc(3, parDoc()));
        return joinParDoc(choiceParDoc(std::move(horizontal), std::move(vertical)));
    }();
    return layout;
}

Doc withSemicolon(Doc d) { return besideDoc(std::move(d), fixedText<";">()); }

Doc withSemicolonNewline(Doc d) { return besideDoc(std::move(d), fixedText<";\n">()); }

std::vector<Doc> punctuateInit(const std::function<Doc(Doc)>& f, std::vector<Doc> ds) {
    for (std::size_t i = 0; i + 1 < ds.size(); ++i) ds[i] = f(std::move(ds[i]));
    return ds;
}

namespace {

// One item of hvEachList and the rest: the item (one-line layouts only) directly followed by
// the rest, or the item above the rest; both laid out once and shared by the two arrangements.
const ParDoc& hvEachStep() {
    static const ParDoc step = joinParDoc(
        choiceParDoc(besideParDoc(filterParDoc(parDoc()), parDoc()), aboveParDoc(parDoc(), parDoc())));
    return step;
}

}  // namespace

Doc hvEachList(std::vector<Doc> items) {
    if (items.empty()) return emptyDoc();
    Doc rest = items.back();
    for (std::size_t i = items.size() - 1; i-- > 0;)
        rest = applyParDoc(hvEachStep(), docList(std::move(items[i]), std::move(rest)));
    return rest;
}

Doc wordsDoc(std::vector<Doc> words) {
    if (words.empty()) return emptyDoc();
    Doc acc = words.back();
    for (std::size_t i = words.size() - 1; i-- > 0;) acc = besideSpace(words[i], acc);
    return acc;
}

namespace {

// The template of a tight block of n (> 0) items.
ParDoc tightBlockTemplate(const std::string& open, const std::string& close, const std::string& separator,
                          std::size_t n) {
    // Each item is laid out once, for both arrangements.
    ParDoc line = liftParDoc(textDoc(close));
    ParDoc stack = liftParDoc(textDoc(close));
    for (std::size_t i = n; i-- > 0;) {
        line = besideParDoc(liftParDoc(textDoc(i == 0 ? open : separator)), besideParDoc(filterParDoc(parDoc()), line));
        stack = aboveParDoc(besideParDoc(liftParDoc(textDoc(i == 0 ? open + " " : separator)), parDoc()), stack);
    }
    return joinParDoc(choiceParDoc(line, stack));
}

}  // namespace

Doc tightBlockDoc(const std::string& open, const std::string& close, const std::string& separator,
                  std::vector<Doc> items) {
    if (items.empty()) return hvList(std::vector<Doc>{textDoc(open), textDoc(close)});
    // The templates of short tuples are built once.
    constexpr std::size_t kShared = 8;
    static const std::vector<ParDoc> tuples = [] {
        std::vector<ParDoc> ts;
        for (std::size_t n = 1; n <= kShared; ++n) ts.push_back(tightBlockTemplate("(", ")", ", ", n));
        return ts;
    }();
    const bool tuple = open == "(" && close == ")" && separator == ", " && items.size() <= kShared;
    ParDoc layout = tuple ? tuples[items.size() - 1] : tightBlockTemplate(open, close, separator, items.size());
    return applyParDoc(std::move(layout), std::move(items));
}

}  // namespace plim
