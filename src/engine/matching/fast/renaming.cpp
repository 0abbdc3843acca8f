// Fast matcher terms: renaming of local variables without capture, freezing of the free
// occurrences of local variables into constants and back.
#include <algorithm>
#include <unordered_set>

#include "engine/matching/fast/term_node.h"
#include "engine/matching/fast/terms.h"
#include "engine/matching/local_renaming.h"

namespace plim::fast {

// --- names --------------------------------------------------------------------------------

std::unordered_set<std::string>& NamesInUse::get() {
    if (!names_) {
        names_.emplace();
        for (const Term* t : terms_) collectNames(*t, *names_);
    }
    return *names_;
}

Term renameFreeLocals(const NameMap& renaming, const Term& t, NamesInUse& used) {
    auto names = [&used]() -> std::unordered_set<std::string>& { return used.get(); };
    return local_renaming::renameFreeLocals(renaming, t, names);
}

}  // namespace plim::fast

namespace plim::local_renaming {
template fast::Term thawLocals(const std::vector<std::string>&, const fast::Term&);
template fast::Term thawLocalsAs(const NameMap&, const fast::Term&);
}  // namespace plim::local_renaming
